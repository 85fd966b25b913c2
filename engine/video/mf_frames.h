// Pictures through Media Foundation's source reader: the last resort for
// files our own codecs do not read.
#pragma once
#include <memory>

#include "engine/video/frame_reader.h"

namespace vmedia {

// Media Foundation's source reader of shape.path, opened on the calling
// thread (which must have entered the media layer); null when it cannot
// be opened or gives no picture.
std::unique_ptr<FrameReader> OpenMediaFoundationFrames(const FrameRequest& shape);

}  // namespace vmedia
