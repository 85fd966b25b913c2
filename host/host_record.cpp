#include "host/host_record.h"

namespace {
HostCallRecord* currentRecord = nullptr;
}

HostCallRecord* CurrentHostRecord() { return currentRecord; }
void SetCurrentHostRecord(HostCallRecord* record) { currentRecord = record; }

int32_t HostGetHandleSize(HostHandle handle) { return currentRecord->hostGetHandleSize(handle); }
void HostSetHandleSize(HostHandle handle, int32_t size) { currentRecord->hostSetHandleSize(handle, size); }
void HostLockHandle(HostHandle handle) { currentRecord->hostLockHandle(handle); }
void HostUnlockHandle(HostHandle handle) { currentRecord->hostUnlockHandle(handle); }
void* HostNewBlock(int32_t size) { return currentRecord->hostNewBlock(size); }
void HostDisposeBlock(void* block) { currentRecord->hostDisposeBlock(block); }
int16_t HostMemoryError() { return currentRecord->hostMemoryError(); }
