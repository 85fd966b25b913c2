// Pictures decoded by FFmpeg's libavcodec from the samples our own movie
// reader lists: each sample's bytes read from the file by offset, fed in
// decode order from the key frame before the one wanted, and matched to the
// time line by presentation time. Edits, trims and several segments come
// from our tables, not from a decoder's idea of the file.
#pragma once
#include <memory>
#include <vector>

#include "engine/container/movie_file.h"
#include "engine/video/frame_reader.h"

namespace vmedia {

// Whether the engine's own codecs can decode this track: the libraries are
// there and one of them reads the track's format.
bool CodecDecodes(const Track& track);

// A reader of the model's video track from the file at shape.path;
// `samples` gives, for each shown index, the decode index of its sample
// (VideoSamples' indices). Null when the track cannot be decoded this way
// or the file cannot be opened.
std::unique_ptr<FrameReader> OpenCodecFrames(const FrameRequest& shape, std::shared_ptr<const MovieModel> model,
                                             std::shared_ptr<const std::vector<uint32_t>> samples);

}  // namespace vmedia
