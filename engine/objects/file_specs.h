// FSSpecs for host paths. An FSSpec cannot hold a Windows path,
// so the engine keeps each path in a bounded table and puts its token in
// the FSSpec.
#pragma once
#include <string>

#include "media_interface/operations.h"

namespace vmedia {

// Host path (ANSI code page) to an FSSpec of an existing file.
OSErr PathToSpec(const char* path, FSSpec* spec);
// The full wide path an FSSpec stands for; false if it is not one of
// ours or has been recycled.
bool SpecPath(const FSSpec* spec, std::wstring* path);

// Wide path that Windows accepts whatever its length: relative paths made
// full, long ones given the \\?\ prefix.
std::wstring FullWidePath(const std::wstring& path);

}  // namespace vmedia
