// A track's sample tables kept in the file's own run-length form, with the
// per-sample questions answered by binary search over cumulative runs. A
// two-hour movie's video track stays a few hundred kilobytes this way.
//
// The tables may disagree with each other in a damaged file; every query
// stays within bounds and answers 0/false rather than trusting them.
#pragma once
#include <stdint.h>

#include <vector>

namespace vmedia {

class SampleTable {
 public:
  // Decode time deltas (stts), with the first sample and time of each run.
  struct TimeRun {
    uint32_t firstSample;
    uint32_t count;
    int64_t firstTime;
    uint32_t delta;
  };
  // Composition offsets (ctts).
  struct OffsetRun {
    uint32_t firstSample;
    uint32_t count;
    int32_t offset;
  };
  // Samples per chunk (stsc), chunks 0-based; firstSample is cumulative.
  struct ChunkRun {
    uint32_t firstChunk;
    uint32_t samplesPerChunk;
    uint64_t firstSample;
  };

  std::vector<TimeRun> times;
  std::vector<OffsetRun> offsets;
  std::vector<uint32_t> syncSamples;  // 0-based, ascending
  bool allSync = true;                // no stss: every sample is a sync sample
  uint32_t uniformSize = 0;           // stsz: non-zero when all samples share it
  std::vector<uint32_t> sizes;        // otherwise one per sample
  // Bytes of sizes[0 .. k * kSizeMarkStep) for each k, so that a sample's
  // place in its chunk is a short sum: a still-picture hour at 30 frames a
  // second is 100,000 samples in one chunk, and walking it for each sample
  // took seconds. Built by BuildSizeMarks; tables built without them are
  // walked.
  static constexpr uint32_t kSizeMarkStep = 64;
  std::vector<uint64_t> sizeMarks;
  std::vector<ChunkRun> chunks;
  std::vector<uint64_t> chunkOffsets;
  uint64_t dataEnd = 0;  // size of the file the offsets point into
  uint32_t count = 0;    // samples the tables agree on (Track::sampleCount)

  // Composition times in ascending order and the decode index of each;
  // built for video tracks only.
  std::vector<int64_t> presentationTimes;
  std::vector<uint32_t> presentationOrder;

  // Samples the time table describes.
  uint64_t TimedSamples() const;
  // Decode duration (the stts delta), media units.
  uint32_t Duration(uint32_t sample) const;
  // Decode time, media units; false past the time table.
  bool DecodeTime(uint32_t sample, int64_t* time) const;
  // Composition offset (ctts), media units; 0 where the table has none.
  int32_t CompositionOffset(uint32_t sample) const;
  // Whether stss (or a fragment's flags) lists the sample; all are without.
  bool IsSync(uint32_t sample) const;

  // Where a sample's bytes are and where decoding must start to show it:
  // what reading samples from the file, rather than through Media
  // Foundation, needs.
  uint32_t Size(uint32_t sample) const;
  // File offset of the sample's bytes; false when the chunk tables do not
  // reach it, it is not below count, or its bytes lie past dataEnd.
  bool Offset(uint32_t sample, uint64_t* offset) const;
  // Nearest sync sample at or before the given one, decode order; the first
  // sample when none precedes it.
  uint32_t SyncAtOrBefore(uint32_t sample) const;
  // The last sample whose decode time is at or before `time`: the one a
  // decoder starts from to sound that media time. 0 before the first.
  uint32_t SampleAtTime(int64_t time) const;

  // Fills presentationTimes/presentationOrder for the first count samples.
  void BuildPresentationIndex(uint32_t count);
  // Fills sizeMarks from sizes; once the sizes are final.
  void BuildSizeMarks();

 private:
  // Bytes of sizes[from .. to), to <= sizes.size().
  uint64_t SizeSum(uint64_t from, uint64_t to) const;
  uint64_t SizesBefore(uint64_t sample) const;
};

}  // namespace vmedia
