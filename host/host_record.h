// The host call record of the call in progress, and thin wrappers over the
// host routines it carries.
#pragma once
#include "host/call_record.h"

HostCallRecord* CurrentHostRecord();
void SetCurrentHostRecord(HostCallRecord* record);

// Makes a call's record the current one for as long as the call lasts. A
// call can come in while another is in progress (a host script run from a
// message that a function caused); when it ends, the record of the call it
// interrupted is current again, not the one the host has since let go of.
class HostRecordScope {
 public:
  explicit HostRecordScope(HostCallRecord* record) : interrupted_(CurrentHostRecord()) {
    SetCurrentHostRecord(record);
  }
  ~HostRecordScope() { SetCurrentHostRecord(interrupted_); }
  HostRecordScope(const HostRecordScope&) = delete;
  HostRecordScope& operator=(const HostRecordScope&) = delete;

 private:
  HostCallRecord* interrupted_;
};

int32_t HostGetHandleSize(HostHandle handle);
void HostSetHandleSize(HostHandle handle, int32_t size);
void HostLockHandle(HostHandle handle);
void HostUnlockHandle(HostHandle handle);
void* HostNewBlock(int32_t size);
void HostDisposeBlock(void* block);
int16_t HostMemoryError();
