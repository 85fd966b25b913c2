// QuickDraw pictures (PICT version 2) of 32-bit frames, as the clipboard
// carries them: no 512-byte file header in front.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace vmedia {

// Largest width a 32-bit pixel map row can describe (rowBytes has 14 bits).
constexpr int kMaxPictWidth = 4095;
constexpr int kMaxPictHeight = 32767;

// A picture of one image, top row first, 4 bytes a pixel in B, G, R, unused
// order (a Windows 32-bit DIB section). The picture holds the version-2
// header (72 dpi), a clip region of the whole frame and one DirectBitsRect
// with 32-bit pixels, three components and packType 4: each row split into
// its red, green and blue planes and PackBits-compressed. Empty when the
// size is out of range or the stride is too short.
std::vector<uint8_t> WritePict(const uint8_t* bgrx, int width, int height, int strideBytes);

// Apple's PackBits: literal runs (count - 1, then the bytes) and repeat
// runs (1 - count, then the byte), at most 128 bytes each.
std::vector<uint8_t> PackBits(const uint8_t* data, size_t n);

}  // namespace vmedia
