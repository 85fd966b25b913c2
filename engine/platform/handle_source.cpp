#include "engine/platform/handle_source.h"

namespace vmedia {

HandleSource::HandleSource(HANDLE file) : file_(file) {
  LARGE_INTEGER size;
  size_ = GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool HandleSource::Read(uint64_t offset, void* dst, size_t n) {
  if (offset > size_ || n > size_ - offset) return false;
  auto* out = static_cast<uint8_t*>(dst);
  while (n > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n), got = 0;
    if (!ReadFile(file_, out, chunk, &got, &at) || got == 0) return false;
    out += got;
    offset += got;
    n -= got;
  }
  return true;
}

}  // namespace vmedia
