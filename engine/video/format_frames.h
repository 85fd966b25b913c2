// Pictures of a file libavformat reads: its video stream's packets decoded
// by libavcodec, from the key frame before the one wanted, and matched to
// the time line by presentation time.
#pragma once
#include <stdint.h>

#include <memory>

#include "engine/video/frame_reader.h"

namespace vmedia {

// Stream `stream` of the file at shape.path; `origin` is the time of the
// file's clock, in microseconds, that is movie time 0. Null when the file,
// the stream or its decoder cannot be opened.
std::unique_ptr<FrameReader> OpenFormatFrames(const FrameRequest& shape, int stream, int64_t origin);

}  // namespace vmedia
