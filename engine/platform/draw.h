// Puts a BGRX picture into a window, scaled to a box in client coordinates.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "media_interface/operations.h"

namespace vmedia {

// Nothing is drawn outside the box; an empty box draws nothing.
void DrawPicture(HWND window, const Rect& box, const uint8_t* bgrx, int width, int height);
// The box in the window's own background: its class brush, else the
// system's window colour.
void DrawBackground(HWND window, const Rect& box);

}  // namespace vmedia
