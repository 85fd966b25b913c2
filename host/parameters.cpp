#include "host/parameters.h"

#include <string.h>

#include <new>

#include "host/host_record.h"
#include "host/parameter_list.h"

namespace {

// Keeps the parameter handle locked, and its bytes in place, for its life.
class LockedText {
 public:
  explicit LockedText(HostHandle handle) : handle_(handle) {
    if (!handle_) return;
    HostLockHandle(handle_);
    int32_t size = HostGetHandleSize(handle_);
    if (size > 0 && *handle_) {
      data_ = *handle_;
      size_ = static_cast<size_t>(size);
    }
  }
  ~LockedText() {
    if (handle_) HostUnlockHandle(handle_);
  }
  LockedText(const LockedText&) = delete;
  LockedText& operator=(const LockedText&) = delete;
  ParameterList List() const { return ParameterList(data_, size_); }

 private:
  HostHandle handle_;
  const char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace

int16_t CountParameters(HostHandle parameters) {
  LockedText text(parameters);
  return text.List().Count();
}

char* CopyParameter(HostHandle parameters, int16_t n) {
  LockedText text(parameters);
  const char* field;
  size_t length;
  if (!text.List().Field(n, &field, &length)) return nullptr;
  if (length >= 0x7FFFFFFF) return nullptr;
  char* copy = static_cast<char*>(HostNewBlock(static_cast<int32_t>(length + 1)));
  if (!copy) return nullptr;
  // The copy ends at the field's first zero byte, although the block has
  // room for the whole field.
  const void* zero = memchr(field, 0, length);
  size_t used = zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : length;
  memcpy(copy, field, used);
  copy[used] = 0;
  return copy;
}

void SetResultText(HostHandle result, const char* text, int32_t length) {
  if (!result || length < 0) return;
  HostSetHandleSize(result, length);
  if (HostMemoryError() != 0) return;
  HostLockHandle(result);
  if (length > 0 && *result) memcpy(*result, text, static_cast<size_t>(length));
  HostUnlockHandle(result);
}

ParameterCopy::~ParameterCopy() {
  if (text_) HostDisposeBlock(text_);
}

const char* ParameterCopy::required() const {
  if (!text_) throw std::bad_alloc();
  return text_;
}
