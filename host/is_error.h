// Failures inside an external function travel as ISError to the function's
// report frame, which answers the code as decimal text.
#pragma once
#include <stdint.h>

#include "host/call_record.h"

struct ISError {
  int32_t code;
  int16_t unused1;  // -1 at every throw
  int16_t unused2;  // 0 at every throw
};

enum ErrorCode : int32_t {
  kErrArgumentCount = 70001,
  kErrWrongArguments = 70005,
  kErrBadPath = 72008,
  kErrClipboard = 73003,
  kErrOpenFile = 74001,
  kErrNewMovie = 74002,
  kErrPreroll = 74003,
  kErrTimer = 74004,
  kErrNoMovie = 74005,
  kErrNoPicture = 74006,
  kErrNoHostWindow = 77100,
  kErrNoPort = 77101,
  kErrTimeRange = 77102,
  kErrOther = 80008
};

[[noreturn]] void RaiseError(int32_t code);

// Runs work(); an ISError answers its code, any other exception 80008.
// cleanup() runs in both catching steps before the code is written.
template <class Work, class Cleanup>
void RunReportFrame(HostHandle result, Work&& work, Cleanup&& cleanup);
template <class Work>
void RunReportFrame(HostHandle result, Work&& work) {
  RunReportFrame(result, static_cast<Work&&>(work), [] {});
}

void WriteErrorCode(HostHandle result, int32_t code);

template <class Work, class Cleanup>
void RunReportFrame(HostHandle result, Work&& work, Cleanup&& cleanup) {
  int32_t pending = 0;
  try {
    work();
  } catch (const ISError& error) {
    pending = error.code;
    try { cleanup(); } catch (...) {}
  } catch (...) {
    if (pending == 0) pending = kErrOther;
    try { cleanup(); } catch (...) {}
  }
  if (pending != 0) WriteErrorCode(result, pending);
}
