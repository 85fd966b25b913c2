// The movie files the caller has open, known by 16-bit reference numbers.
#pragma once
#include <windows.h>

#include <string>

#include "media_interface/operations.h"

namespace vmedia {

// Opens the file an FSSpec stands for, read-only.
OSErr OpenFileForSpec(const FSSpec* spec, int8_t permission, int16_t* refNum);
// The open file behind a reference number; false for an unknown one.
bool RefFile(int16_t refNum, HANDLE* file, std::wstring* path);
OSErr CloseFileRef(int16_t refNum);

}  // namespace vmedia
