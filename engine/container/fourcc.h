// Four-character codes (box types, sample formats) as the big-endian
// 32-bit numbers the files store.
#pragma once
#include <stdint.h>

namespace vmedia {

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
         uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
}

// Whether all four characters are printable ASCII, as those of every box
// type are: what tells a box header from other bytes.
constexpr bool PrintableFourCC(uint32_t code) {
  for (int shift = 0; shift < 32; shift += 8) {
    const uint8_t c = uint8_t(code >> shift);
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

}  // namespace vmedia
