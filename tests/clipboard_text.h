// Text on the clipboard, to tell whether a call left the clipboard alone.
#pragma once
#include <windows.h>
#include <string.h>

#include <string>

inline bool PutClipboardText(const char* text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
  if (block) {
    memcpy(GlobalLock(block), text, strlen(text) + 1);
    GlobalUnlock(block);
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
  }
  CloseClipboard();
  return block != nullptr;
}

// The clipboard's text, "<none>" without one, "<busy>" when it cannot be opened.
inline std::string ClipboardText() {
  if (!OpenClipboard(nullptr)) return "<busy>";
  std::string text = "<none>";
  if (HANDLE block = GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(GlobalLock(block));
    GlobalUnlock(block);
  }
  CloseClipboard();
  return text;
}
