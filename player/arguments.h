// Reading numbers from argument copies, as strtol and strtod read them.
#pragma once
#include <stdlib.h>

#include "host/parameters.h"

inline long ReadWholeNumber(const CallParameters& parameters, int16_t n) {
  ParameterCopy copy(parameters, n);
  return strtol(copy.required(), nullptr, 10);
}

inline double ReadRealNumber(const char* text) { return strtod(text, nullptr); }
