// The record the host passes on every call of FMExternCallProc, and the host's
// memory routines reached through it. Offsets are fixed by the host; the
// plug-in writes none of the reserved bytes.
#pragma once
#include <stddef.h>
#include <stdint.h>

// A host handle points to a master pointer, which points to the data. The
// data may move while the handle is unlocked.
typedef char** HostHandle;

#define HOST_API __stdcall

extern "C" {
typedef void(HOST_API* HostSetHandleSizeProc)(HostHandle handle, int32_t size);
typedef int32_t(HOST_API* HostGetHandleSizeProc)(HostHandle handle);
typedef void(HOST_API* HostLockHandleProc)(HostHandle handle);
typedef void(HOST_API* HostUnlockHandleProc)(HostHandle handle);
typedef void*(HOST_API* HostNewBlockProc)(int32_t size);
typedef void(HOST_API* HostDisposeBlockProc)(void* block);
typedef int16_t(HOST_API* HostMemoryErrorProc)(void);
}

#pragma pack(push, 1)
struct HostCallRecord {
  int16_t hostVersion;                      // 0x00
  uint8_t reserved02[7];
  uint8_t callCode;                         // 0x09
  uint8_t reserved0A[2];
  int32_t functionNumber;                   // 0x0C
  HostHandle parameterHandle;               // 0x10
  void* moduleInstance;                     // 0x14
  union {                                   // 0x18
    int32_t initResult;                     //   call code 0
    HostHandle resultHandle;                //   call code 3
  } result;
  uint8_t reserved1C[8];
  HostSetHandleSizeProc hostSetHandleSize;  // 0x24
  HostGetHandleSizeProc hostGetHandleSize;  // 0x28
  uint8_t reserved2C[8];
  HostLockHandleProc hostLockHandle;        // 0x34
  HostUnlockHandleProc hostUnlockHandle;    // 0x38
  HostNewBlockProc hostNewBlock;            // 0x3C
  HostDisposeBlockProc hostDisposeBlock;    // 0x40
  HostMemoryErrorProc hostMemoryError;      // 0x44
};
#pragma pack(pop)

static_assert(sizeof(void*) == 4, "the host call record is a 32-bit layout");
static_assert(offsetof(HostCallRecord, callCode) == 0x09, "callCode");
static_assert(offsetof(HostCallRecord, functionNumber) == 0x0C, "functionNumber");
static_assert(offsetof(HostCallRecord, parameterHandle) == 0x10, "parameterHandle");
static_assert(offsetof(HostCallRecord, moduleInstance) == 0x14, "moduleInstance");
static_assert(offsetof(HostCallRecord, result) == 0x18, "result");
static_assert(offsetof(HostCallRecord, hostSetHandleSize) == 0x24, "hostSetHandleSize");
static_assert(offsetof(HostCallRecord, hostGetHandleSize) == 0x28, "hostGetHandleSize");
static_assert(offsetof(HostCallRecord, hostLockHandle) == 0x34, "hostLockHandle");
static_assert(offsetof(HostCallRecord, hostUnlockHandle) == 0x38, "hostUnlockHandle");
static_assert(offsetof(HostCallRecord, hostNewBlock) == 0x3C, "hostNewBlock");
static_assert(offsetof(HostCallRecord, hostDisposeBlock) == 0x40, "hostDisposeBlock");
static_assert(offsetof(HostCallRecord, hostMemoryError) == 0x44, "hostMemoryError");

enum HostCallCode : uint8_t {
  kCallInitialise = 0,
  kCallIdle = 1,
  kCallExternal = 3,
  kCallShutdown = 4
};

// The plug-in's one export.
extern "C" void FMExternCallProc(HostCallRecord* record);
typedef void (*FMExternCallProcPtr)(HostCallRecord* record);
