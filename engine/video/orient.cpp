#include "engine/video/orient.h"

#include <math.h>
#include <string.h>

namespace vmedia {
namespace {

constexpr int kMaxSide = 32768;

// Where a point of the shown picture (before scaling) lies in the stored
// one. Shown is stored mirrored, then turned: undo the turn, then the
// mirror. Works on pixel centres, so it serves whole and fractional points.
struct SourceMap {
  double w1, h1;  // source width - 1, height - 1
  int turn;
  bool mirrored;

  void At(double u, double v, double* sx, double* sy) const {
    double x, y;
    switch (turn) {
      case 90: x = v; y = h1 - u; break;
      case 180: x = w1 - u; y = h1 - v; break;
      case 270: x = w1 - v; y = u; break;
      default: x = u; y = v; break;
    }
    *sx = mirrored ? w1 - x : x;
    *sy = y;
  }
};

inline const uint8_t* PixelAt(const uint8_t* src, ptrdiff_t pitch, int x, int y) {
  return src + y * pitch + static_cast<ptrdiff_t>(x) * 4;
}

}  // namespace

bool OrientPicture(const uint8_t* src, int srcWidth, int srcHeight, ptrdiff_t srcPitch, Orientation how,
                   uint8_t* dst, int dstWidth, int dstHeight, ptrdiff_t dstPitch) {
  if (!src || !dst || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return false;
  if (srcWidth > kMaxSide || srcHeight > kMaxSide || dstWidth > kMaxSide || dstHeight > kMaxSide) return false;
  if (srcPitch < static_cast<ptrdiff_t>(srcWidth) * 4 || dstPitch < static_cast<ptrdiff_t>(dstWidth) * 4) return false;
  if (how.turn != 0 && how.turn != 90 && how.turn != 180 && how.turn != 270) return false;

  const int shownWidth = how.Sideways() ? srcHeight : srcWidth;
  const int shownHeight = how.Sideways() ? srcWidth : srcHeight;
  const SourceMap map{double(srcWidth - 1), double(srcHeight - 1), how.turn, how.mirrored};

  if (shownWidth == dstWidth && shownHeight == dstHeight) {
    if (how.Plain()) {
      for (int y = 0; y < dstHeight; ++y) memcpy(dst + y * dstPitch, src + y * srcPitch, size_t(dstWidth) * 4);
      return true;
    }
    for (int y = 0; y < dstHeight; ++y) {
      uint8_t* out = dst + y * dstPitch;
      for (int x = 0; x < dstWidth; ++x, out += 4) {
        double sx, sy;
        map.At(x, y, &sx, &sy);
        memcpy(out, PixelAt(src, srcPitch, int(sx), int(sy)), 4);
      }
    }
    return true;
  }

  // Scaled: each display pixel's centre, in the shown picture's pixels,
  // sampled between the four stored pixels around it.
  const double kx = double(shownWidth) / dstWidth, ky = double(shownHeight) / dstHeight;
  for (int y = 0; y < dstHeight; ++y) {
    uint8_t* out = dst + y * dstPitch;
    double v = (y + 0.5) * ky - 0.5;
    for (int x = 0; x < dstWidth; ++x, out += 4) {
      double u = (x + 0.5) * kx - 0.5;
      double sx, sy;
      map.At(u, v, &sx, &sy);
      sx = fmin(fmax(sx, 0.0), map.w1);
      sy = fmin(fmax(sy, 0.0), map.h1);
      int x0 = int(sx), y0 = int(sy);
      int x1 = x0 < srcWidth - 1 ? x0 + 1 : x0, y1 = y0 < srcHeight - 1 ? y0 + 1 : y0;
      double fx = sx - x0, fy = sy - y0;
      const uint8_t* a = PixelAt(src, srcPitch, x0, y0);
      const uint8_t* b = PixelAt(src, srcPitch, x1, y0);
      const uint8_t* c = PixelAt(src, srcPitch, x0, y1);
      const uint8_t* d = PixelAt(src, srcPitch, x1, y1);
      for (int k = 0; k < 4; ++k) {
        double top = a[k] + (b[k] - a[k]) * fx, bottom = c[k] + (d[k] - c[k]) * fx;
        out[k] = uint8_t(top + (bottom - top) * fy + 0.5);
      }
    }
  }
  return true;
}

}  // namespace vmedia
