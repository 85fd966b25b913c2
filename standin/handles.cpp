#include "standin/handles.h"

#include <stdlib.h>
#include <string.h>

#include <deque>
#include <map>
#include <set>

namespace standin {
namespace {

// Bytes behind every block and handle's data that must never change.
constexpr size_t kGuard = 16;
constexpr unsigned char kGuardByte = 0xFD;
constexpr unsigned char kFreshByte = 0xCD;
constexpr unsigned char kDeadByte = 0xDD;
// Retired blocks stay allocated (and poisoned) this long so that a stale
// pointer reads 0xDD rather than whatever the allocator put there next.
constexpr size_t kQuarantine = 64;

// The handle points at `data`, the first member: a master pointer cell.
struct Cell {
  char* data;
  int32_t size;
  int32_t capacity;
  int locks;
  int resizes;
  bool overrunCounted;
};

struct State {
  std::set<Cell*> cells;
  std::map<void*, int32_t> blocks;
  std::deque<char*> quarantine;
  int16_t memoryError = kNoErr;
  int failNewBlockIn = 0;
  bool failAllNewBlocks = false;
  int failResizeIn = 0;
  int badDisposals = 0;
  int badHandleUses = 0;
  int unbalancedUnlocks = 0;
  int overruns = 0;
  int newBlockCalls = 0;
  int resizeCalls = 0;
};

State& S() {
  static State state;
  return state;
}

char* AllocateData(int32_t capacity) {
  char* p = static_cast<char*>(malloc(static_cast<size_t>(capacity) + kGuard));
  if (p) memset(p, kFreshByte, static_cast<size_t>(capacity));
  return p;
}

// Everything from `from` to the end of the guard must hold the guard byte.
void ArmGuard(char* p, int32_t from, int32_t capacity) {
  memset(p + from, kGuardByte, static_cast<size_t>(capacity - from) + kGuard);
}

bool GuardIntact(const char* p, int32_t from, int32_t capacity) {
  size_t n = static_cast<size_t>(capacity - from) + kGuard;
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(p[from + i]) != kGuardByte) return false;
  return true;
}

void Retire(char* p, size_t bytes) {
  memset(p, kDeadByte, bytes);
  State& s = S();
  s.quarantine.push_back(p);
  if (s.quarantine.size() > kQuarantine) {
    free(s.quarantine.front());
    s.quarantine.pop_front();
  }
}

void CheckCellGuard(Cell* c) {
  if (!c->overrunCounted && !GuardIntact(c->data, c->size, c->capacity)) {
    c->overrunCounted = true;
    ++S().overruns;
  }
}

Cell* Find(HostHandle handle) {
  Cell* c = reinterpret_cast<Cell*>(handle);
  if (!handle || !S().cells.count(c)) {
    ++S().badHandleUses;
    return nullptr;
  }
  return c;
}

bool Countdown(int& counter) {
  if (counter <= 0) return false;
  return --counter == 0;
}

}  // namespace

void HOST_API HostSetHandleSize(HostHandle handle, int32_t size) {
  State& s = S();
  ++s.resizeCalls;
  Cell* c = Find(handle);
  if (!c) {
    s.memoryError = kNilHandleErr;
    return;
  }
  if (size < 0) {
    s.memoryError = kParamErr;
    return;
  }
  if (Countdown(s.failResizeIn)) {
    s.memoryError = kMemFullErr;
    return;
  }
  CheckCellGuard(c);
  if (c->locks > 0) {
    if (size > c->capacity) {
      s.memoryError = kMemLockedErr;
      return;
    }
    if (size > c->size) memset(c->data + c->size, kFreshByte, static_cast<size_t>(size - c->size));
    c->size = size;
    ArmGuard(c->data, size, c->capacity);
    c->overrunCounted = false;
    ++c->resizes;
    s.memoryError = kNoErr;
    return;
  }
  // Unlocked: always move, so that a pointer kept across the resize is caught.
  char* moved = AllocateData(size);
  if (!moved) {
    s.memoryError = kMemFullErr;
    return;
  }
  memcpy(moved, c->data, static_cast<size_t>(size < c->size ? size : c->size));
  ArmGuard(moved, size, size);
  Retire(c->data, static_cast<size_t>(c->capacity) + kGuard);
  c->data = moved;
  c->size = size;
  c->capacity = size;
  c->overrunCounted = false;
  ++c->resizes;
  s.memoryError = kNoErr;
}

int32_t HOST_API HostGetHandleSize(HostHandle handle) {
  Cell* c = Find(handle);
  if (!c) {
    S().memoryError = kNilHandleErr;
    return 0;
  }
  S().memoryError = kNoErr;
  return c->size;
}

void HOST_API HostLockHandle(HostHandle handle) {
  Cell* c = Find(handle);
  if (!c) {
    S().memoryError = kNilHandleErr;
    return;
  }
  ++c->locks;
  S().memoryError = kNoErr;
}

void HOST_API HostUnlockHandle(HostHandle handle) {
  Cell* c = Find(handle);
  if (!c) {
    S().memoryError = kNilHandleErr;
    return;
  }
  if (c->locks == 0)
    ++S().unbalancedUnlocks;
  else
    --c->locks;
  S().memoryError = kNoErr;
}

void* HOST_API HostNewBlock(int32_t size) {
  State& s = S();
  ++s.newBlockCalls;
  if (size < 0) {
    s.memoryError = kParamErr;
    return nullptr;
  }
  bool fail = Countdown(s.failNewBlockIn) || s.failAllNewBlocks;
  char* p = fail ? nullptr : AllocateData(size);
  if (!p) {
    s.memoryError = kMemFullErr;
    return nullptr;
  }
  ArmGuard(p, size, size);
  s.blocks[p] = size;
  s.memoryError = kNoErr;
  return p;
}

void HOST_API HostDisposeBlock(void* block) {
  State& s = S();
  if (!block) {  // harmless, as with free()
    s.memoryError = kNoErr;
    return;
  }
  auto it = s.blocks.find(block);
  if (it == s.blocks.end()) {
    ++s.badDisposals;
    s.memoryError = kParamErr;
    return;
  }
  char* p = static_cast<char*>(block);
  if (!GuardIntact(p, it->second, it->second)) ++s.overruns;
  Retire(p, static_cast<size_t>(it->second) + kGuard);
  s.blocks.erase(it);
  s.memoryError = kNoErr;
}

int16_t HOST_API HostMemoryError(void) { return S().memoryError; }

void FillRecordRoutines(HostCallRecord& record) {
  record.hostSetHandleSize = &HostSetHandleSize;
  record.hostGetHandleSize = &HostGetHandleSize;
  record.hostLockHandle = &HostLockHandle;
  record.hostUnlockHandle = &HostUnlockHandle;
  record.hostNewBlock = &HostNewBlock;
  record.hostDisposeBlock = &HostDisposeBlock;
  record.hostMemoryError = &HostMemoryError;
}

HostHandle NewHandle(const std::string& bytes) {
  int32_t size = static_cast<int32_t>(bytes.size());
  char* data = AllocateData(size);
  if (!data) return nullptr;
  memcpy(data, bytes.data(), bytes.size());
  ArmGuard(data, size, size);
  Cell* c = new Cell{data, size, size, 0, 0, false};
  S().cells.insert(c);
  return &c->data;
}

void DisposeHandle(HostHandle handle) {
  if (!handle) return;
  Cell* c = Find(handle);
  if (!c) return;
  CheckCellGuard(c);
  Retire(c->data, static_cast<size_t>(c->capacity) + kGuard);
  S().cells.erase(c);
  delete c;
}

std::string HandleBytes(HostHandle handle) {
  Cell* c = Find(handle);
  if (!c) return std::string();
  CheckCellGuard(c);
  return std::string(c->data, static_cast<size_t>(c->size));
}

int LockCount(HostHandle handle) {
  Cell* c = Find(handle);
  return c ? c->locks : 0;
}

int ResizeCount(HostHandle handle) {
  Cell* c = Find(handle);
  return c ? c->resizes : 0;
}

bool IsLiveHandle(HostHandle handle) {
  return handle && S().cells.count(reinterpret_cast<Cell*>(handle)) != 0;
}

void FailNewBlockAt(int nth) { S().failNewBlockIn = nth > 0 ? nth : 0; }
void FailAllNewBlocks(bool on) { S().failAllNewBlocks = on; }
void FailResizeAt(int nth) { S().failResizeIn = nth > 0 ? nth : 0; }

void ClearFaults() {
  State& s = S();
  s.failNewBlockIn = 0;
  s.failAllNewBlocks = false;
  s.failResizeIn = 0;
}

int OutstandingBlocks() { return static_cast<int>(S().blocks.size()); }
int OutstandingHandles() { return static_cast<int>(S().cells.size()); }
int BadDisposals() { return S().badDisposals; }
int BadHandleUses() { return S().badHandleUses; }
int UnbalancedUnlocks() { return S().unbalancedUnlocks; }
int Overruns() { return S().overruns; }
int NewBlockCalls() { return S().newBlockCalls; }
int ResizeCalls() { return S().resizeCalls; }

void ResetCounters() {
  State& s = S();
  s.badDisposals = 0;
  s.badHandleUses = 0;
  s.unbalancedUnlocks = 0;
  s.overruns = 0;
  s.newBlockCalls = 0;
  s.resizeCalls = 0;
}

}  // namespace standin
