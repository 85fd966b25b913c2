#include "host/parameter_list.h"

#include <string.h>

int16_t ParameterList::Count() const {
  if (size_ == 0) return 0;
  int32_t count = 1;
  const char* p = text_;
  const char* end = text_ + size_;
  while (count < kMaxParameterCount) {
    const void* bar = memchr(p, '|', static_cast<size_t>(end - p));
    if (!bar) break;
    ++count;
    p = static_cast<const char*>(bar) + 1;
  }
  return static_cast<int16_t>(count);
}

bool ParameterList::Field(int32_t n, const char** start, size_t* length) const {
  if (n < 1 || size_ == 0) return false;
  const char* p = text_;
  const char* end = text_ + size_;
  for (int32_t i = 1; i < n; ++i) {
    const void* bar = memchr(p, '|', static_cast<size_t>(end - p));
    if (!bar) return false;
    p = static_cast<const char*>(bar) + 1;
  }
  const void* bar = memchr(p, '|', static_cast<size_t>(end - p));
  *start = p;
  *length = static_cast<size_t>((bar ? static_cast<const char*>(bar) : end) - p);
  return true;
}
