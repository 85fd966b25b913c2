// An open file as the container readers' byte source: read by offset,
// leaving the file pointer alone, so that several readers can share one
// handle.
#pragma once
#include <windows.h>

#include "engine/container/byte_source.h"

namespace vmedia {

class HandleSource : public ByteSource {
 public:
  // Borrows the handle; its size is taken once.
  explicit HandleSource(HANDLE file);
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* dst, size_t n) override;

 private:
  HANDLE file_;
  uint64_t size_;
};

}  // namespace vmedia
