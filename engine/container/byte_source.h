// Where the movie reader gets its bytes: a file, or a buffer in tests and
// fuzzing. Every read is exact: all n bytes or failure.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

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

// A read-only file through the C library, with 64-bit offsets. The path is
// handed to fopen as it is (on Windows: the ANSI code page).
class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Open(const char* path);
  void Close();
  uint64_t Size() const override;
  bool Read(uint64_t offset, void* dst, size_t n) override;

 private:
  FILE* file_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace vmedia
