// Opening a movie or sound file to read it. Other programs keep every right
// to the file meanwhile: one still writing it (a capture under way, a copy
// not yet closed) goes on, and what it has written so far plays; it may be
// renamed or deleted too.
#pragma once
#include <windows.h>

#include <string>

namespace vmedia {

// INVALID_HANDLE_VALUE on failure, with GetLastError telling why.
HANDLE OpenMediaFile(const std::wstring& path);

}  // namespace vmedia
