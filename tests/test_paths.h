// Where a test finds things: its own folder (beside it the plug-in, the
// engines and the fake plug-in), and the ffmpeg-made media.
#pragma once
#include <windows.h>

#include <string>

// The running program's folder, with a trailing backslash.
inline std::string Folder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n < MAX_PATH ? n : 0);
  return s.substr(0, s.find_last_of("\\/") + 1);
}

// The folder above it (build/bin, where the tests that run from a folder of
// their own find the engines), with a trailing backslash.
inline std::string ParentFolder() {
  std::string folder = Folder();
  folder.pop_back();
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

inline std::string WindowsPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

#ifdef VANTORO_MEDIA_DIR
inline std::string MediaPath(const std::string& name) {
  return WindowsPath(std::string(VANTORO_MEDIA_DIR) + "/" + name);
}
#endif
