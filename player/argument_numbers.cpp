#include "player/argument_numbers.h"

#include <stdlib.h>

int32_t ReadWholeNumber(const char* text) {
  long value = strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

double ReadRealNumber(const char* text) { return strtod(text, nullptr); }
