// FMExternCallProc: the host's one way into the plug-in.
#include <windows.h>
#include <string.h>

#include "host/call_record.h"
#include "host/host_record.h"
#include "host/parameters.h"
#include "player/clipboard_formats.h"
#include "player/core.h"
#include "player/function_table.h"
#include "player/session.h"

namespace {

void Initialise(HostCallRecord* record) {
  int16_t version = record->hostVersion;
  if (version < 4 || version > 255) {
    record->result.initResult = -1;
    return;
  }
  if (OpenClipboard(GetClipboardOwner())) {
    DeclareClipboardFormats();
    CloseClipboard();
  }
  // A repeated initialisation must not strand a playing movie: close it
  // properly before the record is cleared, or its window would keep our
  // procedure with nothing to hand its messages back to.
  if (movieSession.movie) CloseMovie(movieSession);
  memset(&movieSession, 0, sizeof movieSession);
  FillFunctionTable();
  record->result.initResult = 4;
}

void CallExternal(HostCallRecord* record) {
  int32_t number = record->functionNumber;
  if (number < 0 || number >= kFunctionCount) return;
  ExternalFunction function = functionTable[number];
  if (!function) return;
  DisposeFinishedMovie();
  CallParameters parameters(record->parameterHandle);
  function(parameters, record->result.resultHandle);
}

}  // namespace

extern "C" void FMExternCallProc(HostCallRecord* record) {
  // Nothing may unwind into the host: each function has its own report
  // frame, and this is the last line of defence.
  try {
    HostRecordScope call(record);
    if (!record) return;
    switch (record->callCode) {
      case kCallInitialise: Initialise(record); break;
      case kCallIdle: break;
      case kCallExternal: CallExternal(record); break;
      case kCallShutdown: StopSession(); break;
      default: break;
    }
  } catch (...) {
  }
}
