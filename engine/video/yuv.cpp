#include "engine/video/yuv.h"

#include <initializer_list>

namespace vmedia {
namespace {

struct Coefficients {
  int ky, y0, rv, gu, gv, bu;
};

// Integer coefficients scaled by 256, for limited (16-235) or full range.
Coefficients CoefficientsFor(YuvMatrix matrix, bool fullRange) {
  if (fullRange) {
    if (matrix == YuvMatrix::Bt709) return {256, 0, 403, 48, 120, 475};
    return {256, 0, 359, 88, 183, 454};
  }
  if (matrix == YuvMatrix::Bt709) return {298, 16, 459, 55, 136, 541};
  return {298, 16, 409, 100, 208, 516};
}

inline uint8_t Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<uint8_t>(v); }

inline void PutPixel(uint8_t* out, int y, int u, int v, const Coefficients& k) {
  int c = k.ky * (y - k.y0) + 128;
  int d = u - 128;
  int e = v - 128;
  out[0] = Clamp((c + k.bu * d) >> 8);
  out[1] = Clamp((c - k.gu * d - k.gv * e) >> 8);
  out[2] = Clamp((c + k.rv * e) >> 8);
  out[3] = 0xFF;
}

ptrdiff_t Abs(ptrdiff_t v) { return v < 0 ? -v : v; }

// Row r of a plane that starts at `plane` and has `rows` rows; bottom-up
// storage when the pitch is negative.
inline const uint8_t* Row(const uint8_t* plane, ptrdiff_t pitch, int rows, int r) {
  return pitch >= 0 ? plane + r * pitch : plane + (rows - 1 - r) * (-pitch);
}

}  // namespace

size_t RequiredBufferSize(PixelLayout layout, ptrdiff_t pitch, int planeRows) {
  size_t p = static_cast<size_t>(Abs(pitch));
  size_t rows = static_cast<size_t>(planeRows);
  size_t chromaRows = (rows + 1) / 2;
  switch (layout) {
    case PixelLayout::NV12: return p * rows + p * chromaRows;
    case PixelLayout::I420: return p * rows + 2 * ((p + 1) / 2) * chromaRows;
    case PixelLayout::YUY2:
    case PixelLayout::BGRX: return p * rows;
  }
  return 0;
}

bool ConvertToBgrx(const SourcePicture& s, uint8_t* out, ptrdiff_t outPitch) {
  if (!s.buffer || !out || s.width <= 0 || s.height <= 0 || s.planeRows < s.height) return false;
  if (s.width > 32768 || s.height > 32768) return false;
  size_t pitch = static_cast<size_t>(Abs(s.pitch));
  // NV12 chroma rows hold whole U/V pairs, so an odd width needs one more.
  size_t rowBytes = s.layout == PixelLayout::YUY2   ? static_cast<size_t>((s.width + 1) / 2) * 4
                    : s.layout == PixelLayout::BGRX ? static_cast<size_t>(s.width) * 4
                    : s.layout == PixelLayout::NV12 ? static_cast<size_t>((s.width + 1) / 2) * 2
                                                    : static_cast<size_t>(s.width);
  if (pitch < rowBytes) return false;
  if (s.bufferSize < RequiredBufferSize(s.layout, s.pitch, s.planeRows)) return false;

  const Coefficients k = CoefficientsFor(s.matrix, s.fullRange);
  const int w = s.width, h = s.height, rows = s.planeRows;
  const int chromaRows = (rows + 1) / 2;
  const ptrdiff_t sign = s.pitch < 0 ? -1 : 1;

  switch (s.layout) {
    case PixelLayout::NV12: {
      const uint8_t* uvPlane = s.buffer + pitch * rows;
      for (int r = 0; r < h; ++r) {
        const uint8_t* y = Row(s.buffer, s.pitch, rows, r);
        const uint8_t* uv = Row(uvPlane, sign * static_cast<ptrdiff_t>(pitch), chromaRows, r / 2);
        uint8_t* o = out + r * outPitch;
        for (int x = 0; x < w; ++x) PutPixel(o + 4 * x, y[x], uv[x & ~1], uv[(x & ~1) + 1], k);
      }
      return true;
    }
    case PixelLayout::I420: {
      size_t chromaPitch = (pitch + 1) / 2;
      const uint8_t* uPlane = s.buffer + pitch * rows;
      const uint8_t* vPlane = uPlane + chromaPitch * chromaRows;
      ptrdiff_t cp = sign * static_cast<ptrdiff_t>(chromaPitch);
      for (int r = 0; r < h; ++r) {
        const uint8_t* y = Row(s.buffer, s.pitch, rows, r);
        const uint8_t* u = Row(uPlane, cp, chromaRows, r / 2);
        const uint8_t* v = Row(vPlane, cp, chromaRows, r / 2);
        uint8_t* o = out + r * outPitch;
        for (int x = 0; x < w; ++x) PutPixel(o + 4 * x, y[x], u[x / 2], v[x / 2], k);
      }
      return true;
    }
    case PixelLayout::YUY2: {
      for (int r = 0; r < h; ++r) {
        const uint8_t* p = Row(s.buffer, s.pitch, rows, r);
        uint8_t* o = out + r * outPitch;
        for (int x = 0; x < w; ++x) {
          const uint8_t* pair = p + (x / 2) * 4;
          PutPixel(o + 4 * x, pair[(x & 1) * 2], pair[1], pair[3], k);
        }
      }
      return true;
    }
    case PixelLayout::BGRX: {
      for (int r = 0; r < h; ++r) {
        const uint8_t* p = Row(s.buffer, s.pitch, rows, r);
        uint8_t* o = out + r * outPitch;
        for (int x = 0; x < w; ++x) {
          o[4 * x] = p[4 * x];
          o[4 * x + 1] = p[4 * x + 1];
          o[4 * x + 2] = p[4 * x + 2];
          o[4 * x + 3] = 0xFF;
        }
      }
      return true;
    }
  }
  return false;
}

void GuessLayout(PixelLayout layout, int width, int height, size_t length, ptrdiff_t* pitch, int* rows) {
  int unit = layout == PixelLayout::YUY2 ? 2 : layout == PixelLayout::BGRX ? 4 : 1;
  for (int ra : {1, 16, 32}) {
    for (int pa : {1, 2, 4, 8, 16, 32, 64, 128}) {
      ptrdiff_t p = ((static_cast<ptrdiff_t>(width) * unit + pa - 1) / pa) * pa;
      int r = ((height + ra - 1) / ra) * ra;
      if (RequiredBufferSize(layout, p, r) == length) {
        *pitch = p;
        *rows = r;
        return;
      }
    }
  }
  *pitch = static_cast<ptrdiff_t>(width) * unit;
  *rows = height;
}

}  // namespace vmedia
