// The engine's one entry: a selector and the caller's argument words, each
// argument one 32-bit word, in the order the operation lists them. The words
// are read as the operation list declares them (media_interface/).
#include <mutex>
#include <new>

#include "engine/api/answers.h"
#include "engine/objects/status.h"
#include "media_interface/operation_shapes.h"

namespace vmedia {
namespace {

uint32_t Status(OSErr err) { return static_cast<uint32_t>(static_cast<int32_t>(err)); }

uint32_t Operate(uint32_t selector, const uint32_t* words) {
  switch (selector) {
#define ENGINE_OPERATION(name, value, result, parameters) \
  case value:                                             \
    return media_interface::CallWithWords(operations::name, words);
    MEDIA_OPERATIONS(ENGINE_OPERATION)
#undef ENGINE_OPERATION
  }
  return Status(paramErr);
}

// What the caller sees when an operation could not finish.
uint32_t FailureResult(uint32_t selector, OSErr err) {
  switch (selector) {
    case kSel_ComponentRequest:
      return static_cast<uint32_t>(badComponentSelector);
    case kSel_IsMovieDone:
      return 1;
    case kSel_CloseComponent:
    case kSel_OpenADefaultComponent:
    case kSel_NativePathNameToFSSpec:
    case kSel_OpenMovieFile:
    case kSel_CloseMovieFile:
    case kSel_NewMovieFromFile:
    case kSel_PrerollMovie:
    case kSel_PrePrerollMovie:
    case kSel_UpdateMovie:
      return Status(err);
    default:
      return 0;
  }
}

std::recursive_mutex& EngineLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace
}  // namespace vmedia

// Called by the assembler entry with the caller's selector and the address
// of its first argument word. The caller's stack need not be 16-byte aligned.
extern "C" __attribute__((force_align_arg_pointer)) uint32_t VmDispatch(uint32_t selector, const uint32_t* args) {
  using namespace vmedia;
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  try {
    return Operate(selector, args);
  } catch (const std::bad_alloc&) {
    return FailureResult(selector, memFullErr);
  } catch (...) {
    return FailureResult(selector, paramErr);
  }
}

// Component calls by their own exports: the request form, and a storage
// form the engine's single component does not offer.
extern "C" __attribute__((force_align_arg_pointer)) int32_t VmCallComponent(ComponentInstance instance,
                                                                             ComponentParameters* params) {
  const uint32_t words[2] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance)),
                             static_cast<uint32_t>(reinterpret_cast<uintptr_t>(params))};
  return static_cast<int32_t>(VmDispatch(kSel_ComponentRequest, words));
}

extern "C" int32_t VmCallComponentFunctionWithStorage(void* storage, ComponentParameters* params, void* function) {
  return vmedia::badComponentSelector;
}
