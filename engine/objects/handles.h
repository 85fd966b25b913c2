// Mac-style handles: a handle points at a master pointer that points at the
// bytes. Only handles made here are accepted; anything else is ignored or
// answered with a zero size.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "media_interface/operations.h"

namespace vmedia {

Handle NewHandleWithBytes(const void* data, size_t size);
bool IsHandle(Handle h);
int32_t HandleSize(Handle h);
void SetHandleLocked(Handle h, bool locked);
void DisposeHandle(Handle h);
// Copies `count` bytes; overlapping ranges are fine. Nothing for count <= 0
// or a null pointer.
void CopyBytes(const void* source, void* destination, int32_t count);

}  // namespace vmedia
