#include "engine/picture/pict_writer.h"

#include <algorithm>

namespace vmedia {

namespace {

constexpr uint32_t kDpi72 = 72u << 16;

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>* out) : out_(out) {}
  void U8(uint8_t v) { out_->push_back(v); }
  void U16(uint16_t v) {
    U8(uint8_t(v >> 8));
    U8(uint8_t(v));
  }
  void U32(uint32_t v) {
    U16(uint16_t(v >> 16));
    U16(uint16_t(v));
  }
  void Rect(int top, int left, int bottom, int right) {
    U16(uint16_t(top));
    U16(uint16_t(left));
    U16(uint16_t(bottom));
    U16(uint16_t(right));
  }
  void Bytes(const std::vector<uint8_t>& b) { out_->insert(out_->end(), b.begin(), b.end()); }

 private:
  std::vector<uint8_t>* out_;
};

// Length of the run of equal bytes starting at i, at most 128.
size_t RunAt(const uint8_t* d, size_t n, size_t i) {
  size_t j = i + 1;
  while (j < n && j - i < 128 && d[j] == d[i]) ++j;
  return j - i;
}

// Width of the pixel map that carries the image. QuickDraw stores rows
// unpacked below 8 rowBytes and counts packed rows in words above 250;
// ImageMagick's reader decides both from the width instead (3 bytes a
// pixel: below 8, above 200). Widths where the two disagree get a wider
// pixel map, padded on the right; srcRect and the frame still cut the
// picture to its own width.
int PixMapWidth(int width) {
  if (width < 3) return 3;
  if (width >= 63 && width <= 66) return 67;
  return width;
}

}  // namespace

std::vector<uint8_t> PackBits(const uint8_t* data, size_t n) {
  std::vector<uint8_t> out;
  out.reserve(n + n / 128 + 1);
  size_t i = 0;
  while (i < n) {
    size_t run = RunAt(data, n, i);
    if (run >= 3) {
      out.push_back(uint8_t(1 - int(run)));
      out.push_back(data[i]);
      i += run;
      continue;
    }
    // A literal lasts until a run of three begins; shorter repeats cost
    // less inside it than as runs of their own.
    size_t start = i;
    while (i < n && i - start < 128) {
      if (RunAt(data, n, i) >= 3) break;
      ++i;
    }
    out.push_back(uint8_t(i - start - 1));
    out.insert(out.end(), data + start, data + i);
  }
  return out;
}

std::vector<uint8_t> WritePict(const uint8_t* bgrx, int width, int height, int strideBytes) {
  std::vector<uint8_t> pict;
  if (!bgrx || width < 1 || height < 1 || width > kMaxPictWidth || height > kMaxPictHeight ||
      strideBytes < width * 4)
    return pict;
  try {
    Writer w(&pict);
    const int pixWidth = PixMapWidth(width);
    const uint16_t rowBytes = uint16_t(pixWidth * 4);
    w.U16(0);  // size, low 16 bits; set below
    w.Rect(0, 0, height, width);
    w.U16(0x0011);  // version
    w.U16(0x02FF);
    w.U16(0x0C00);  // extended version-2 header
    w.U16(0xFFFE);
    w.U16(0);
    w.U32(kDpi72);
    w.U32(kDpi72);
    w.Rect(0, 0, height, width);
    w.U32(0);
    w.U16(0x0001);  // clip region: the frame
    w.U16(10);
    w.Rect(0, 0, height, width);

    w.U16(0x009A);  // DirectBitsRect
    w.U32(0x000000FF);
    w.U16(uint16_t(0x8000 | rowBytes));
    w.Rect(0, 0, height, pixWidth);
    w.U16(0);   // pmVersion
    w.U16(4);   // packType: component planes, PackBits
    w.U32(0);   // packSize
    w.U32(kDpi72);
    w.U32(kDpi72);
    w.U16(16);  // pixelType: direct RGB
    w.U16(32);  // pixelSize
    w.U16(3);   // cmpCount
    w.U16(8);   // cmpSize
    w.U32(0);   // planeBytes
    w.U32(0);   // pmTable
    w.U32(0);   // pmReserved
    w.Rect(0, 0, height, width);  // srcRect
    w.Rect(0, 0, height, width);  // dstRect
    w.U16(0);   // srcCopy

    const size_t start = pict.size();
    std::vector<uint8_t> planes(size_t(pixWidth) * 3);
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = bgrx + size_t(y) * size_t(strideBytes);
      for (int x = 0; x < pixWidth; ++x) {
        const uint8_t* px = row + 4 * std::min(x, width - 1);  // padding repeats the edge
        planes[size_t(x)] = px[2];
        planes[size_t(pixWidth + x)] = px[1];
        planes[size_t(2 * pixWidth + x)] = px[0];
      }
      std::vector<uint8_t> packed = PackBits(planes.data(), planes.size());
      if (rowBytes > 250) w.U16(uint16_t(packed.size()));
      else w.U8(uint8_t(packed.size()));
      w.Bytes(packed);
    }
    if ((pict.size() - start) & 1) w.U8(0);  // opcodes start on even bytes
    w.U16(0x00FF);
    pict[0] = uint8_t(pict.size() >> 8);
    pict[1] = uint8_t(pict.size());
  } catch (...) {
    pict.clear();
  }
  return pict;
}

}  // namespace vmedia
