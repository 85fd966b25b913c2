// Gate state and the loader. The state starts unbound and changes once, when
// a library with all three entry points is found; after that the entries
// only read it.
#include "quicktime/gate.h"

#include "quicktime/library_path.h"

extern "C" {
GateHook loadHook = LoadMediaEngine;
GateCode dispatchEntry = QuickTimeUnavailable;
GateCode callComponentEntry = QuickTimeUnavailable;
GateCode callComponentWithStorageEntry = QuickTimeUnavailable;
HMODULE libraryHandle = nullptr;
}

namespace {

GateCode Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<GateCode>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// All or nothing: binds only when every entry point is there; otherwise
// gives back the reference this attempt took.
bool BindLibrary(bool tookReference) {
  GateCode withStorage = Resolve(libraryHandle, "_CallComponentFunctionWithStorage");
  GateCode component = withStorage ? Resolve(libraryHandle, "_CallComponent") : nullptr;
  GateCode dispatcher = component ? Resolve(libraryHandle, "theQuickTimeDispatcher") : nullptr;
  if (dispatcher != nullptr) {
    callComponentWithStorageEntry = withStorage;
    callComponentEntry = component;
    dispatchEntry = dispatcher;
    loadHook = nullptr;
    return true;
  }
  if (tookReference) {
    FreeLibrary(libraryHandle);
    libraryHandle = nullptr;
  }
  return false;
}

// Our own engine, by full path from the folder of the module that holds this
// code (the plug-in, or a test program linking the gate).
HMODULE LoadOwnEngine() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&LoadMediaEngine), &self)) {
    return nullptr;
  }
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  if (!ReplaceFileName(path, MAX_PATH, kOwnEngineLibraryName)) return nullptr;
  return LoadLibraryA(path);
}

}  // namespace

// Entered from an entry with the caller's arguments still on the stack, whose
// alignment nobody promised; realign for the compiler's sake.
extern "C" __attribute__((force_align_arg_pointer)) void LoadMediaEngine(void) {
  bool tookReference = false;
  if (libraryHandle == nullptr) {
    libraryHandle = LocateQuickTimeLibrary(kQuickTimeLibraryName);
    tookReference = libraryHandle != nullptr;
  }
  if (libraryHandle != nullptr && BindLibrary(tookReference)) return;

  // A QuickTime that is missing or incomplete leaves room for our engine.
  if (libraryHandle == nullptr) {
    libraryHandle = LoadOwnEngine();
    if (libraryHandle != nullptr) BindLibrary(true);
  }
}
