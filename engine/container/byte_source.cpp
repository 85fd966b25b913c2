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

namespace {

int SeekTo(FILE* f, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET);
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

bool SizeOf(FILE* f, uint64_t* size) {
#ifdef _WIN32
  if (_fseeki64(f, 0, SEEK_END) != 0) return false;
  long long end = _ftelli64(f);
#else
  if (fseeko(f, 0, SEEK_END) != 0) return false;
  off_t end = ftello(f);
#endif
  if (end < 0) return false;
  *size = static_cast<uint64_t>(end);
  return true;
}

}  // namespace

FileSource::~FileSource() { Close(); }

bool FileSource::Open(const char* path) {
  Close();
  if (!path) return false;
  file_ = fopen(path, "rb");
  if (!file_) return false;
  if (!SizeOf(file_, &size_)) {
    Close();
    return false;
  }
  return true;
}

void FileSource::Close() {
  if (file_) fclose(file_);
  file_ = nullptr;
  size_ = 0;
}

uint64_t FileSource::Size() const { return size_; }

bool FileSource::Read(uint64_t offset, void* dst, size_t n) {
  if (!file_ || offset > size_ || n > size_ - offset) return false;
  if (n == 0) return true;
  if (SeekTo(file_, offset) != 0) return false;
  return fread(dst, 1, n, file_) == n;
}

}  // namespace vmedia
