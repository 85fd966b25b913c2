// Reads back the pictures the engine writes (its PICTs), for tests that
// look at the pixels a user would get.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace enginetest {

// Pixels of a PICT as the engine writes it: version 2, one DirectBitsRect
// of 32-bit pixels in PackBits-packed component planes. Empty if the
// bytes are not that.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // R, G, B per pixel
};

inline Picture ReadPict(const uint8_t* p, size_t n) {
  Picture pic;
  auto be16 = [&](size_t at) { return at + 2 <= n ? (p[at] << 8) | p[at + 1] : -1; };
  if (n < 120 || be16(10) != 0x0011 || be16(12) != 0x02FF) return pic;
  int height = be16(6) - be16(2), width = be16(8) - be16(4);
  size_t at = 14 + 26 + 12;  // headers and the clip region
  if (be16(at) != 0x009A) return pic;
  int rowBytes = be16(at + 6) & 0x3FFF;
  int pixWidth = be16(at + 14) - be16(at + 10);
  at += 2 + 4 + 2 + 8 + 36 + 8 + 8 + 2;
  pic.width = width;
  pic.height = height;
  pic.rgb.resize(size_t(width) * height * 3);
  std::vector<uint8_t> planes;
  for (int y = 0; y < height; ++y) {
    size_t len = rowBytes > 250 ? size_t(be16(at)) : p[at];
    at += rowBytes > 250 ? 2 : 1;
    size_t end = at + len;
    if (end > n) return Picture();
    planes.clear();
    while (at < end) {
      int c = static_cast<int8_t>(p[at++]);
      if (c >= 0) {
        planes.insert(planes.end(), p + at, p + at + c + 1);
        at += c + 1;
      } else {
        planes.insert(planes.end(), size_t(1 - c), p[at++]);
      }
    }
    if (planes.size() < size_t(pixWidth) * 3) return Picture();
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) pic.rgb[(size_t(y) * width + x) * 3 + c] = planes[size_t(c) * pixWidth + x];
  }
  return pic;
}

}  // namespace enginetest
