// A sound's bytes as the packets a decoder takes, and its edits as
// segments of movie time. Platform-free: the file is read by whoever walks
// the packets.
//
// QuickTime's PCM-like tracks list every frame as a sample of its own (stts
// delta 1, and a stsz size that is often 1 whatever the frame takes):
// those are walked by chunk, in slices of whole packets sized from the
// sample description. Other tracks are walked sample by sample.
#pragma once
#include <stdint.h>

#include <vector>

#include "engine/container/movie_file.h"
#include "engine/container/sound_coding.h"

namespace vmedia {

struct SoundPacket {
  uint64_t offset = 0;
  uint32_t size = 0;
  int64_t time = 0;  // media units: the decode time of its first frame
};

// Slices of a chunk stay near this size.
constexpr uint32_t kSoundSliceBytes = 64u << 10;
// A varying packet larger than this is taken for damage and left out.
constexpr uint32_t kMaxSoundSampleBytes = 4u << 20;

class SoundPackets {
 public:
  // The track's packets. By chunk when the layout is Constant and every
  // sample lasts one media unit; the track must outlive the walk.
  SoundPackets(const Track& track, FrameLayout layout);
  // `frames` frames laid out as `layout` from file offset `offset` on (a
  // WAV file's data); media time counts frames.
  SoundPackets(uint64_t offset, uint64_t frames, FrameLayout layout);

  bool byChunk() const { return byChunk_; }
  // The next packet given holds media time `time` (the first one when
  // `time` precedes them all), or is `preroll` packets before it for
  // decoders that need what came before.
  void Seek(int64_t time, uint32_t preroll);
  // The next packet in decode order; false at the end. Packets whose bytes
  // the tables place outside the file are left out.
  bool Next(SoundPacket* out);

 private:
  struct Chunk {
    uint64_t firstSample = 0, frames = 0, offset = 0;
  };
  bool ChunkAt(uint64_t chunk, Chunk* out) const;
  bool NextSlice(SoundPacket* out);
  bool NextSample(SoundPacket* out);

  const Track* track_ = nullptr;  // null for a span
  FrameLayout layout_;
  bool byChunk_ = false;
  uint64_t spanOffset_ = 0, spanFrames_ = 0;
  uint64_t chunk_ = 0, frameInChunk_ = 0;  // by chunk
  uint32_t sample_ = 0;                    // by sample
};

// A stretch of the movie's time line in which the track sounds its media
// from mediaTime on (media units), or is silent (mediaTime -1: an empty
// edit, or one that holds a single instant). Movie units, in order, none
// empty, none past the movie's duration. Edits at rates other than 1 sound
// their media at its own speed.
struct SoundSegment {
  int64_t movieStart = 0, movieEnd = 0;
  int64_t mediaTime = -1;
};
std::vector<SoundSegment> SoundSegments(const Track& track, const MovieModel& movie);

}  // namespace vmedia
