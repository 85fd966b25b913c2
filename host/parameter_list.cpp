#include "host/parameter_list.h"

#include <string.h>

namespace {

// Offset of the first '|' at or after from, or size when there is none.
size_t NextSeparator(const char* text, size_t size, size_t from) {
  const void* bar = memchr(text + from, '|', size - from);
  return bar ? static_cast<size_t>(static_cast<const char*>(bar) - text) : size;
}

}  // namespace

ParameterList::ParameterList(const char* text, size_t size) : text_(text), size_(text ? size : 0) {
  if (size_ == 0) return;
  size_t from = 0;
  int32_t count = 0;
  for (;;) {
    size_t end = NextSeparator(text_, size_, from);
    if (count < kIndexedFields) ends_[count] = end;
    ++count;
    if (end == size_ || count == kMaxParameterCount) break;
    from = end + 1;
  }
  count_ = static_cast<int16_t>(count);
}

bool ParameterList::Field(int32_t n, const char** start, size_t* length) const {
  if (n < 1) return false;
  size_t from;
  size_t end;
  if (n <= kIndexedFields) {
    if (n > count_) return false;
    from = n == 1 ? 0 : ends_[n - 2] + 1;
    end = ends_[n - 1];
  } else {
    // Beyond the indexed fields, and beyond the count's cap, walk on from
    // the last indexed one.
    if (count_ < kIndexedFields) return false;
    end = ends_[kIndexedFields - 1];
    from = end;
    for (int32_t i = kIndexedFields; i < n; ++i) {
      if (end == size_) return false;
      from = end + 1;
      end = NextSeparator(text_, size_, from);
    }
  }
  *start = text_ + from;
  *length = end - from;
  return true;
}
