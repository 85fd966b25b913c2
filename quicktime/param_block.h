// The parameter block of a component request with one 4-byte parameter,
// laid out byte by byte so the layout does not depend on the compiler.
#pragma once
#include <stdint.h>

#include "media_interface/operations.h"

static_assert(sizeof(ComponentParameters) == 8, "component request block is 8 bytes");

// flags 0, size 4, the request number, the parameter; little-endian words.
ComponentParameters MakeComponentParameters(int16_t what, uint32_t param);
