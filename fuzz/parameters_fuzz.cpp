// Splitting argument texts: any bytes, zero bytes and bars included.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "host/parameter_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  ParameterList list(text, size);
  int16_t count = list.Count();
  if (size == 0 ? count != 0 : count < 1) __builtin_trap();

  // Below the cap the fields put back together with bars are the text.
  std::string joined;
  for (int32_t n = 1; n <= count; ++n) {
    const char* start;
    size_t length;
    if (!list.Field(n, &start, &length)) __builtin_trap();
    if (start < text || start + length > text + size) __builtin_trap();
    if (memchr(start, '|', length)) __builtin_trap();
    if (n > 1) joined += '|';
    joined.append(start, length);
  }
  if (count < kMaxParameterCount && joined != std::string(text, size)) __builtin_trap();
  const char* start;
  size_t length;
  if (count < kMaxParameterCount && list.Field(count + 1, &start, &length)) __builtin_trap();
  if (list.Field(0, &start, &length) || list.Field(-1, &start, &length)) __builtin_trap();
  return 0;
}
