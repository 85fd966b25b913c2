#include "engine/container/sample_table.h"

#include <stddef.h>

#include <algorithm>

namespace vmedia {

namespace {

// Index of the last run whose first sample is at or before the given one;
// runs are sorted by first sample. -1 when the sample precedes them all.
template <typename Run, typename Key>
ptrdiff_t RunAt(const std::vector<Run>& runs, uint64_t sample, Key key) {
  auto it = std::upper_bound(runs.begin(), runs.end(), sample,
                             [&](uint64_t s, const Run& r) { return s < key(r); });
  return (it - runs.begin()) - 1;
}

}  // namespace

uint64_t SampleTable::TimedSamples() const {
  if (times.empty()) return 0;
  return uint64_t(times.back().firstSample) + times.back().count;
}

uint32_t SampleTable::Duration(uint32_t sample) const {
  ptrdiff_t r = RunAt(times, sample, [](const TimeRun& t) { return t.firstSample; });
  if (r < 0) return 0;
  const TimeRun& run = times[size_t(r)];
  return sample - run.firstSample < run.count ? run.delta : 0;
}

bool SampleTable::DecodeTime(uint32_t sample, int64_t* time) const {
  ptrdiff_t r = RunAt(times, sample, [](const TimeRun& t) { return t.firstSample; });
  if (r < 0) return false;
  const TimeRun& run = times[size_t(r)];
  if (sample - run.firstSample >= run.count) return false;
  // No overflow: the readers keep every run's end below kMaxMediaTime.
  *time = run.firstTime + int64_t(uint64_t(sample - run.firstSample) * run.delta);
  return true;
}

int32_t SampleTable::CompositionOffset(uint32_t sample) const {
  ptrdiff_t r = RunAt(offsets, sample, [](const OffsetRun& o) { return o.firstSample; });
  if (r < 0) return 0;
  const OffsetRun& run = offsets[size_t(r)];
  return sample - run.firstSample < run.count ? run.offset : 0;
}

bool SampleTable::IsSync(uint32_t sample) const {
  return allSync || std::binary_search(syncSamples.begin(), syncSamples.end(), sample);
}

uint32_t SampleTable::Size(uint32_t sample) const {
  if (uniformSize) return uniformSize;
  return sample < sizes.size() ? sizes[sample] : 0;
}

bool SampleTable::Offset(uint32_t sample, uint64_t* offset) const {
  if (sample >= count) return false;
  ptrdiff_t r = RunAt(chunks, sample, [](const ChunkRun& c) { return c.firstSample; });
  if (r < 0) return false;
  const ChunkRun& run = chunks[size_t(r)];
  if (run.samplesPerChunk == 0) return false;
  uint64_t inRun = sample - run.firstSample;
  uint64_t chunk = run.firstChunk + inRun / run.samplesPerChunk;
  uint64_t chunkEnd = size_t(r) + 1 < chunks.size() ? chunks[size_t(r) + 1].firstChunk
                                                    : chunkOffsets.size();
  if (chunk >= chunkEnd || chunk >= chunkOffsets.size()) return false;
  uint64_t first = sample - inRun % run.samplesPerChunk;
  uint64_t pos = chunkOffsets[size_t(chunk)];
  uint64_t before = 0;  // bytes of the chunk's earlier samples; below 2^64
  if (uniformSize) {
    before = (sample - first) * uniformSize;
  } else {
    if (sample >= sizes.size()) return false;
    before = SizeSum(first, sample);
  }
  if (pos > dataEnd || before > dataEnd - pos) return false;
  pos += before;
  if (Size(sample) > dataEnd - pos) return false;
  *offset = pos;
  return true;
}

void SampleTable::BuildSizeMarks() {
  sizeMarks.clear();
  sizeMarks.reserve(sizes.size() / kSizeMarkStep + 1);
  uint64_t sum = 0;
  for (size_t s = 0; s < sizes.size(); ++s) {
    if (s % kSizeMarkStep == 0) sizeMarks.push_back(sum);
    sum += sizes[s];
  }
  if (sizes.size() % kSizeMarkStep == 0) sizeMarks.push_back(sum);
}

uint64_t SampleTable::SizesBefore(uint64_t sample) const {
  const size_t mark = size_t(sample / kSizeMarkStep);
  uint64_t sum = sizeMarks[mark];
  for (uint64_t s = uint64_t(mark) * kSizeMarkStep; s < sample; ++s) sum += sizes[size_t(s)];
  return sum;
}

uint64_t SampleTable::SizeSum(uint64_t from, uint64_t to) const {
  if (sizeMarks.size() == sizes.size() / kSizeMarkStep + 1) return SizesBefore(to) - SizesBefore(from);
  uint64_t sum = 0;
  for (uint64_t s = from; s < to; ++s) sum += sizes[size_t(s)];
  return sum;
}

uint32_t SampleTable::SyncAtOrBefore(uint32_t sample) const {
  if (allSync) return sample;
  auto it = std::upper_bound(syncSamples.begin(), syncSamples.end(), sample);
  return it == syncSamples.begin() ? 0 : *(it - 1);
}

uint32_t SampleTable::SampleAtTime(int64_t time) const {
  auto it = std::upper_bound(times.begin(), times.end(), time,
                             [](int64_t t, const TimeRun& run) { return t < run.firstTime; });
  if (it == times.begin()) return 0;
  const TimeRun& run = *(it - 1);
  uint64_t into = run.delta ? uint64_t(time - run.firstTime) / run.delta : 0;
  if (into >= run.count) into = run.count ? run.count - 1 : 0;
  return uint32_t(run.firstSample + into);
}

void SampleTable::BuildPresentationIndex(uint32_t count) {
  std::vector<int64_t> ct;
  ct.reserve(count);
  // Walk both run tables in step rather than searching per sample.
  size_t oi = 0;
  for (const TimeRun& run : times) {
    for (uint32_t k = 0; k < run.count && ct.size() < count; ++k) {
      uint32_t s = uint32_t(ct.size());
      while (oi < offsets.size() && s >= offsets[oi].firstSample + uint64_t(offsets[oi].count)) ++oi;
      int32_t off = oi < offsets.size() && s >= offsets[oi].firstSample ? offsets[oi].offset : 0;
      ct.push_back(run.firstTime + int64_t(uint64_t(k) * run.delta) + off);
    }
    if (ct.size() >= count) break;
  }
  std::vector<uint32_t> order(ct.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  if (!std::is_sorted(ct.begin(), ct.end())) {
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      return ct[a] != ct[b] ? ct[a] < ct[b] : a < b;
    });
  }
  presentationTimes.resize(order.size());
  for (size_t k = 0; k < order.size(); ++k) presentationTimes[k] = ct[order[k]];
  presentationOrder = std::move(order);
}

}  // namespace vmedia
