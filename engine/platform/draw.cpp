#include "engine/platform/draw.h"

namespace vmedia {

void DrawPicture(HWND window, const Rect& box, const uint8_t* bgrx, int width, int height) {
  int w = box.right - box.left, h = box.bottom - box.top;
  if (!window || !bgrx || w <= 0 || h <= 0 || width <= 0 || height <= 0) return;
  HDC dc = GetDC(window);
  if (!dc) return;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  int saved = SaveDC(dc);
  IntersectClipRect(dc, box.left, box.top, box.right, box.bottom);
  SetStretchBltMode(dc, w < width || h < height ? HALFTONE : COLORONCOLOR);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchDIBits(dc, box.left, box.top, w, h, 0, 0, width, height, bgrx, &info, DIB_RGB_COLORS, SRCCOPY);
  RestoreDC(dc, saved);
  ReleaseDC(window, dc);
}

void DrawBackground(HWND window, const Rect& box) {
  if (!window || box.right <= box.left || box.bottom <= box.top) return;
  HDC dc = GetDC(window);
  if (!dc) return;
  HBRUSH brush = reinterpret_cast<HBRUSH>(GetClassLongPtrA(window, GCLP_HBRBACKGROUND));
  RECT r = {box.left, box.top, box.right, box.bottom};
  FillRect(dc, &r, brush ? brush : reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  ReleaseDC(window, dc);
}

}  // namespace vmedia
