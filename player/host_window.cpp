// FindHostWindow: the first child of the MDI client in the host's main window.
#include "player/host_window.h"

#include <string.h>

namespace {

const char kMainTitlePrefix[] = "FileMaker";
const char kMDIClientClass[] = "MDIClient";

// A window of another program can neither be subclassed nor drawn into.
HWND OwnForegroundWindow() {
  HWND window = GetForegroundWindow();
  if (!window) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId() ? window : nullptr;
}

HWND FindDocument(HWND main) {
  HWND result = nullptr;
  EnumChildWindows(main, MatchMDIClient, reinterpret_cast<LPARAM>(&result));
  return result;
}

}  // namespace

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM mainWindow) {
  char title[256];
  int length = GetWindowTextA(window, title, 255);
  if (length >= 9 && memcmp(title, kMainTitlePrefix, 9) == 0) {
    *reinterpret_cast<HWND*>(mainWindow) = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK MatchMDIClient(HWND window, LPARAM result) {
  char className[256];
  className[0] = 0;
  GetClassNameA(window, className, sizeof className);
  if (strcmp(className, kMDIClientClass) != 0) return TRUE;
  *reinterpret_cast<HWND*>(result) = GetWindow(window, GW_CHILD);
  return FALSE;
}

HWND FindHostWindow() {
  HWND main = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), MatchMainWindow, reinterpret_cast<LPARAM>(&main));
  if (!main) main = OwnForegroundWindow();
  if (!main) {
    MessageBoxA(nullptr, "Unable to find main window!!!", "", MB_OK | MB_ICONEXCLAMATION);
    return nullptr;
  }
  HWND result = FindDocument(main);
  if (!result) {
    HWND foreground = OwnForegroundWindow();
    if (foreground && foreground != main) result = FindDocument(foreground);
  }
  return result;
}
