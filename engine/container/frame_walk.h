// The exact length of a file of bare MPEG audio or ADTS AAC frames (an MP3
// without a seek table, an .aac file), from the headers of all its frames.
// Platform-free: the file is read through a ByteSource, in large blocks, and
// only each frame's header is looked at.
//
// The walk skips ID3v2 tags, stops at the tags that close a file (ID3v1,
// APE, Lyrics3), finds the next frame again past junk within a short reach,
// and counts a frame cut short at the end as libavcodec decodes it (an MPEG
// audio frame whole, an ADTS frame not at all).
#pragma once
#include <stdint.h>

#include <functional>

#include "engine/container/byte_source.h"
#include "engine/container/frame_headers.h"

namespace vmedia {

struct WalkLimits {
  uint64_t maxBytes = 0;  // read no more than this; 0: no limit
  // Asked before each block is read: true stops the walk.
  std::function<bool()> outOfTime;
};

enum class WalkEnd {
  Whole,       // every frame counted
  OverLimit,   // the limits stopped it
  Lost,        // junk beyond the reach of a resync: the count is not known
  NoFrames,    // no frame near the start
  Unreadable,  // the source failed a read
};

struct FrameWalk {
  WalkEnd end = WalkEnd::NoFrames;
  uint64_t frames = 0;
  uint64_t samples = 0;     // per channel, all frames counted
  uint32_t sampleRate = 0;  // of the first frame; every frame counted has it
  uint64_t firstFrame = 0;  // file offset of the first frame counted
};

// How far past a frame the walk looks for the next when the bytes there are
// no frame of the stream, and how far past the tags it looks for the first.
constexpr uint64_t kResyncBytes = 64u << 10;
// The walk reads blocks of this size.
constexpr uint32_t kWalkBlockBytes = 1u << 20;

FrameWalk WalkFrames(ByteSource& src, FrameKind kind, const WalkLimits& limits);

}  // namespace vmedia
