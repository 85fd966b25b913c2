#pragma once
#include "media_interface/operations.h"

// Measures the picture through the default graphics exporter and places it on
// the clipboard; raises 73003 when it cannot.
void CopyFrameToClipboard(PicHandle picture);
