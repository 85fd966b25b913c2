// The host's memory: relocatable handles and plain blocks, served to the
// plug-in through the seven routines of the call record.
//
// A handle is a master pointer cell; its data moves on every resize while
// unlocked (the old block is filled with 0xDD and kept in quarantine for a
// while, so a stale pointer reads 0xDD instead of the text). A locked handle
// is resized in place or not at all. Blocks and handle data carry guard bytes
// behind their end; writing past the end is counted, not fatal.
//
//   HostHandle NewHandle(bytes) / DisposeHandle(h) / HandleBytes(h)
//   int LockCount(h), ResizeCount(h)
//   Fault injection: FailNewBlockAt(n), FailAllNewBlocks(on), FailResizeAt(n),
//                    ClearFaults()   (n = 1 is the next call, 0 = never)
//   Checks: OutstandingBlocks(), OutstandingHandles(), BadDisposals(),
//           BadHandleUses(), UnbalancedUnlocks(), Overruns(),
//           NewBlockCalls(), ResizeCalls(), ResetCounters()
//   FillRecordRoutines(record): puts the seven routines into a call record.
//
// Memory error codes: kMemFullErr after a failed allocation or resize,
// kMemLockedErr when a locked handle cannot grow in place, kNilHandleErr for a
// null or unknown handle, kParamErr for a negative size.
#pragma once
#include <stdint.h>

#include <string>

#include "host/call_record.h"

namespace standin {

enum MemoryError : int16_t {
  kNoErr = 0,
  kParamErr = -50,
  kMemFullErr = -108,
  kNilHandleErr = -109,
  kMemLockedErr = -117,
};

// The routines the plug-in reaches through the call record.
void HOST_API HostSetHandleSize(HostHandle handle, int32_t size);
int32_t HOST_API HostGetHandleSize(HostHandle handle);
void HOST_API HostLockHandle(HostHandle handle);
void HOST_API HostUnlockHandle(HostHandle handle);
void* HOST_API HostNewBlock(int32_t size);
void HOST_API HostDisposeBlock(void* block);
int16_t HOST_API HostMemoryError(void);

void FillRecordRoutines(HostCallRecord& record);

HostHandle NewHandle(const std::string& bytes);
void DisposeHandle(HostHandle handle);
std::string HandleBytes(HostHandle handle);
int LockCount(HostHandle handle);
// Successful resizes of this handle.
int ResizeCount(HostHandle handle);
bool IsLiveHandle(HostHandle handle);

void FailNewBlockAt(int nth);
void FailAllNewBlocks(bool on);
void FailResizeAt(int nth);
void ClearFaults();

int OutstandingBlocks();
int OutstandingHandles();
int BadDisposals();
int BadHandleUses();
int UnbalancedUnlocks();
int Overruns();
int NewBlockCalls();
int ResizeCalls();
// Zeroes the counters above that count events (not the outstanding ones).
void ResetCounters();

}  // namespace standin
