// Where the container readers get their bytes: a buffer here, an open file
// from the layers that have files. Every read is exact: all n bytes or
// failure.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace vmedia {

class ByteSource {
 public:
  virtual ~ByteSource();
  virtual uint64_t Size() const = 0;
  // Reads exactly n bytes at offset; false (dst unspecified) if any is
  // missing.
  virtual bool Read(uint64_t offset, void* dst, size_t n) = 0;
};

// Borrows the buffer; it must outlive the source.
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size);
  uint64_t Size() const override;
  bool Read(uint64_t offset, void* dst, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace vmedia
