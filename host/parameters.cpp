#include "host/parameters.h"

#include <string.h>

#include <new>

#include "host/host_record.h"

ParameterList CallParameters::Lock(HostHandle handle) {
  if (!handle) return ParameterList(nullptr, 0);
  HostLockHandle(handle);
  int32_t size = HostGetHandleSize(handle);
  if (size <= 0 || !*handle) return ParameterList(nullptr, 0);
  return ParameterList(*handle, static_cast<size_t>(size));
}

CallParameters::CallParameters(HostHandle handle) : handle_(handle), list_(Lock(handle)) {}

CallParameters::~CallParameters() {
  if (handle_) HostUnlockHandle(handle_);
}

int16_t CountParameters(const CallParameters& parameters) { return parameters.List().Count(); }

char* CopyParameter(const CallParameters& parameters, int16_t n) {
  const char* field;
  size_t length;
  if (!parameters.List().Field(n, &field, &length)) return nullptr;
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
