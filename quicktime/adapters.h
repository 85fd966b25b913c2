// The three operations whose argument form differs from what goes to the
// dispatcher: the fixed-point conversion and two graphics exporter requests.
#pragma once
#include "media_interface/operations.h"

// 16.16 fixed point of x (1.0 gives 0x00010000); 0 while no engine is bound.
Fixed X2Fix(double x);

ComponentResult GraphicsExportSetInputPicture(ComponentInstance ci, PicHandle picture);
ComponentResult GraphicsExportGetInputImageDimensions(ComponentInstance ci, Rect* dimensions);
