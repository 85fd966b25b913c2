#include "engine/objects/handles.h"

#include <string.h>

#include <new>
#include <unordered_set>

namespace vmedia {
namespace {

// The master pointer comes first, so a handle is the block's address.
struct HandleBlock {
  char* master;
  int32_t size;
  bool locked;
};

std::unordered_set<HandleBlock*>& Blocks() {
  static std::unordered_set<HandleBlock*> blocks;
  return blocks;
}

HandleBlock* Find(Handle h) {
  auto* block = reinterpret_cast<HandleBlock*>(h);
  return h && Blocks().count(block) ? block : nullptr;
}

}  // namespace

Handle NewHandleWithBytes(const void* data, size_t size) {
  if (size > 0x7FFFFFFF) return nullptr;
  auto* block = new (std::nothrow) HandleBlock{nullptr, static_cast<int32_t>(size), false};
  if (!block) return nullptr;
  block->master = new (std::nothrow) char[size ? size : 1];
  if (!block->master) {
    delete block;
    return nullptr;
  }
  if (size && data) memcpy(block->master, data, size);
  try {
    Blocks().insert(block);
  } catch (...) {
    delete[] block->master;
    delete block;
    return nullptr;
  }
  return reinterpret_cast<Handle>(block);
}

bool IsHandle(Handle h) { return Find(h) != nullptr; }

int32_t HandleSize(Handle h) {
  HandleBlock* block = Find(h);
  return block ? block->size : 0;
}

void SetHandleLocked(Handle h, bool locked) {
  if (HandleBlock* block = Find(h)) block->locked = locked;
}

void DisposeHandle(Handle h) {
  HandleBlock* block = Find(h);
  if (!block) return;
  Blocks().erase(block);
  delete[] block->master;
  delete block;
}

void CopyBytes(const void* source, void* destination, int32_t count) {
  if (count <= 0 || !source || !destination) return;
  memmove(destination, source, static_cast<size_t>(count));
}

}  // namespace vmedia
