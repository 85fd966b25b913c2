// The host call record of the call in progress, and thin wrappers over the
// host routines it carries.
#pragma once
#include "host/call_record.h"

HostCallRecord* CurrentHostRecord();
void SetCurrentHostRecord(HostCallRecord* record);

int32_t HostGetHandleSize(HostHandle handle);
void HostSetHandleSize(HostHandle handle, int32_t size);
void HostLockHandle(HostHandle handle);
void HostUnlockHandle(HostHandle handle);
void* HostNewBlock(int32_t size);
void HostDisposeBlock(void* block);
int16_t HostMemoryError();
