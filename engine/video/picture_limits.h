// Largest picture the engine decodes: bounds what a file can make it
// allocate for one frame.
#pragma once
#include <stdint.h>

namespace vmedia {

constexpr int32_t kMaxPictureSide = 8192;
constexpr int64_t kMaxPicturePixels = 8192 * 4608;

}  // namespace vmedia
