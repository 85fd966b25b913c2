#include "engine/container/byte_source.h"

#include <string.h>

namespace vmedia {

ByteSource::~ByteSource() = default;

MemorySource::MemorySource(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}

uint64_t MemorySource::Size() const { return size_; }

bool MemorySource::Read(uint64_t offset, void* dst, size_t n) {
  if (offset > size_ || n > size_ - offset) return false;
  if (n) memcpy(dst, data_ + offset, n);
  return true;
}

}  // namespace vmedia
