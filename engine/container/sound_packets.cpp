#include "engine/container/sound_packets.h"

#include <algorithm>

namespace vmedia {

namespace {

// Runs of samples the tables cannot place are skipped this far in one call
// before the walk counts as over.
constexpr uint32_t kMaxSkipped = 1u << 16;

bool EveryDeltaOne(const SampleTable& s) {
  if (s.times.empty()) return false;
  for (const SampleTable::TimeRun& r : s.times)
    if (r.delta != 1) return false;
  return true;
}

}  // namespace

SoundPackets::SoundPackets(const Track& track, FrameLayout layout)
    : track_(&track), layout_(layout), byChunk_(layout.Constant() && EveryDeltaOne(track.samples)) {}

SoundPackets::SoundPackets(uint64_t offset, uint64_t frames, FrameLayout layout)
    : layout_(layout), byChunk_(layout.Constant()), spanOffset_(offset), spanFrames_(byChunk_ ? frames : 0) {}

bool SoundPackets::ChunkAt(uint64_t chunk, Chunk* out) const {
  if (!track_) {
    if (chunk != 0) return false;
    *out = Chunk{0, spanFrames_, spanOffset_};
    return true;
  }
  const SampleTable& s = track_->samples;
  if (chunk >= s.chunkOffsets.size()) return false;
  auto it = std::upper_bound(s.chunks.begin(), s.chunks.end(), chunk,
                             [](uint64_t c, const SampleTable::ChunkRun& r) { return c < r.firstChunk; });
  if (it == s.chunks.begin()) return false;
  const SampleTable::ChunkRun& run = *(it - 1);
  const uint64_t first = run.firstSample + (chunk - run.firstChunk) * run.samplesPerChunk;
  out->firstSample = first;
  out->frames = first < track_->sampleCount ? std::min<uint64_t>(run.samplesPerChunk, track_->sampleCount - first) : 0;
  out->offset = s.chunkOffsets[size_t(chunk)];
  return true;
}

void SoundPackets::Seek(int64_t time, uint32_t preroll) {
  if (time < 0) time = 0;
  if (!byChunk_) {
    uint32_t s = track_ ? track_->samples.SampleAtTime(time) : 0;
    sample_ = s > preroll ? s - preroll : 0;
    return;
  }
  chunk_ = frameInChunk_ = 0;
  uint64_t sample = track_ ? track_->samples.SampleAtTime(time) : uint64_t(time);
  const uint64_t back = uint64_t(preroll) * layout_.framesPerPacket;
  sample = sample > back ? sample - back : 0;
  if (!track_) {
    frameInChunk_ = std::min(sample, spanFrames_);
  } else {
    const SampleTable& s = track_->samples;
    auto it = std::upper_bound(s.chunks.begin(), s.chunks.end(), sample,
                               [](uint64_t v, const SampleTable::ChunkRun& r) { return v < r.firstSample; });
    if (it == s.chunks.begin() || (it - 1)->samplesPerChunk == 0) return;
    const SampleTable::ChunkRun& run = *(it - 1);
    const uint64_t inRun = sample - run.firstSample;
    chunk_ = run.firstChunk + inRun / run.samplesPerChunk;
    frameInChunk_ = inRun % run.samplesPerChunk;
  }
  frameInChunk_ -= frameInChunk_ % layout_.framesPerPacket;
}

bool SoundPackets::Next(SoundPacket* out) { return byChunk_ ? NextSlice(out) : NextSample(out); }

bool SoundPackets::NextSlice(SoundPacket* out) {
  const uint64_t fileEnd = track_ ? track_->samples.dataEnd : UINT64_MAX;
  const uint64_t fpp = layout_.framesPerPacket, bpp = layout_.bytesPerPacket;
  for (uint32_t skipped = 0; skipped < kMaxSkipped; ++skipped) {
    Chunk c;
    if (!ChunkAt(chunk_, &c)) return false;
    if (frameInChunk_ >= c.frames) {
      ++chunk_;
      frameInChunk_ = 0;
      continue;
    }
    // Whole packets, a last partial one counted whole.
    uint64_t packets = std::min<uint64_t>(std::max<uint32_t>(1, kSoundSliceBytes / uint32_t(bpp)),
                                          (c.frames - frameInChunk_ + fpp - 1) / fpp);
    const uint64_t at = frameInChunk_ / fpp * bpp;
    const uint64_t sample = c.firstSample + frameInChunk_;
    frameInChunk_ += packets * fpp;
    if (c.offset > fileEnd || at > fileEnd - c.offset) continue;
    packets = std::min(packets, (fileEnd - c.offset - at) / bpp);
    if (packets == 0) continue;
    int64_t time = int64_t(sample);
    if (track_ && !track_->samples.DecodeTime(uint32_t(sample), &time)) continue;
    out->offset = c.offset + at;
    out->size = uint32_t(packets * bpp);
    out->time = time;
    return true;
  }
  return false;
}

bool SoundPackets::NextSample(SoundPacket* out) {
  if (!track_) return false;
  for (uint32_t skipped = 0; skipped < kMaxSkipped && sample_ < track_->sampleCount; ++skipped) {
    SampleRef ref;
    if (!SampleAt(*track_, sample_++, &ref) || ref.size == 0 || ref.size > kMaxSoundSampleBytes) continue;
    out->offset = ref.offset;
    out->size = ref.size;
    out->time = ref.decodeTime;
    return true;
  }
  return false;
}

std::vector<SoundSegment> SoundSegments(const Track& track, const MovieModel& movie) {
  std::vector<SoundSegment> out;
  int64_t t0 = 0;
  for (const EditSegment& e : PresentedEdits(track, movie)) {
    if (t0 >= movie.duration) break;
    const int64_t end = std::min(movie.duration, t0 + std::max<int64_t>(0, e.movieDuration));
    if (end > t0) {
      const int64_t media = e.rateFixed == 0 ? -1 : e.mediaTime;
      out.push_back(SoundSegment{t0, end, media < 0 ? -1 : media});
    }
    t0 = end;
  }
  return out;
}

}  // namespace vmedia
