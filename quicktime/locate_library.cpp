// The search for the media library: already loaded, the host program's
// folder, the registry (machine, then user), the system folder. Every
// candidate is composed in one MAX_PATH buffer; one that does not fit is
// skipped rather than cut short, so no wrong file is ever tried.
#include <string.h>

#include "quicktime/gate.h"
#include "quicktime/library_path.h"

namespace {

const char kQuickTimeKey[] = "Software\\Apple Computer, Inc.\\QuickTime";
const char kQuickTimeFolderValue[] = "QuickTime.qts folder";

// A module's full path, or false when it is empty or did not fit.
bool ModulePath(HMODULE module, char* path) {
  DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return length > 0 && length < MAX_PATH;
}

HMODULE LoadFromHostFolder(const char* name) {
  char path[MAX_PATH];
  if (!ModulePath(nullptr, path) || !ReplaceFileName(path, MAX_PATH, name)) return nullptr;
  return LoadLibraryA(path);
}

HMODULE LoadFromRegistryFolder(HKEY hive, const char* name) {
  char path[MAX_PATH];
  HKEY key;
  if (RegOpenKeyExA(hive, kQuickTimeKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  DWORD size = MAX_PATH;
  LONG status = RegQueryValueExA(key, kQuickTimeFolderValue, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(key);
  // Any value type is accepted, so the text may come without its terminator.
  if (status != ERROR_SUCCESS || !TerminateValueText(path, MAX_PATH, size)) return nullptr;
  // An empty folder would name the root of the current drive.
  if (path[0] == '\0') return nullptr;
  if (!EndsWithSeparator(path) && !AppendText(path, MAX_PATH, "\\")) return nullptr;
  if (!AppendText(path, MAX_PATH, name)) return nullptr;
  return LoadLibraryA(path);
}

}  // namespace

extern "C" HMODULE LocateQuickTimeLibrary(const char* name) {
  if (name == nullptr) return nullptr;

  char path[MAX_PATH];
  if (HMODULE loaded = GetModuleHandleA(name)) {
    if (ModulePath(loaded, path)) return LoadLibraryA(path);
  }

  if (HMODULE module = LoadFromHostFolder(name)) return module;
  if (HMODULE module = LoadFromRegistryFolder(HKEY_LOCAL_MACHINE, name)) return module;
  if (HMODULE module = LoadFromRegistryFolder(HKEY_CURRENT_USER, name)) return module;

  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  if (!AppendText(path, MAX_PATH, "\\") || !AppendText(path, MAX_PATH, name)) return nullptr;
  return LoadLibraryA(path);
}
