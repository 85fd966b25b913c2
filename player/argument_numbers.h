// Numbers in argument text, read as C's strtol (base 10) and strtod read
// them: white space skipped, text that holds no number gives 0. Platform-
// free, and the same on every platform: a whole number beyond 32 bits gives
// the nearest 32-bit limit, as on Windows, where long has 32 bits.
#pragma once
#include <stdint.h>

int32_t ReadWholeNumber(const char* text);
double ReadRealNumber(const char* text);
