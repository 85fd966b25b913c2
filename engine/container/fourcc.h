// Four-character codes (box types, sample formats) as the big-endian
// 32-bit numbers the files store.
#pragma once
#include <stdint.h>

namespace vmedia {

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
         uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
}

}  // namespace vmedia
