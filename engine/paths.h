// Paths and open movie files. An FSSpec cannot hold a Windows
// path, so the engine keeps the path in a bounded table and puts a token in
// the FSSpec; open files are known by 16-bit reference numbers.
#pragma once
#include <windows.h>

#include <string>

#include "media_interface/operations.h"

namespace vmedia {

// Host path (ANSI code page) to an FSSpec of an existing file.
OSErr PathToSpec(const char* path, FSSpec* spec);
// The full wide path an FSSpec stands for; false if it is not one of
// ours or has been recycled.
bool SpecPath(const FSSpec* spec, std::wstring* path);

OSErr OpenFileForSpec(const FSSpec* spec, int8_t permission, int16_t* refNum);
// The open file behind a reference number; false for an unknown one.
bool RefFile(int16_t refNum, HANDLE* file, std::wstring* path);
OSErr CloseFileRef(int16_t refNum);

// Wide path that Windows accepts whatever its length: relative paths made
// full, long ones given the \\?\ prefix.
std::wstring FullWidePath(const std::wstring& path);

}  // namespace vmedia
