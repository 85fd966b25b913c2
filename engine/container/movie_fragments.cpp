// ReadFragments: each moof's track fragments (traf: tfhd, tfdt, trun) are
// checked whole against their boxes and the file, then appended to the
// tracks' sample tables in the tables' own run-length form.
#include "engine/container/movie_fragments.h"

#include <algorithm>
#include <limits>

#include "engine/container/atom_reader.h"
#include "engine/container/media_time.h"
#include "engine/container/top_level_boxes.h"

namespace vmedia {

namespace {

// Top-level boxes read after the moov: enough for a fragment per frame of a
// long movie, not for an endless flood of tiny boxes.
constexpr int kMaxFragmentAtoms = 1 << 20;
// Table entries the fragments may add one by one (sizes, sync samples, time
// and offset runs), over all tracks; runs of equal samples add one.
constexpr uint64_t kMaxListedEntries = uint64_t(1) << 24;

constexpr uint32_t kNonSyncSample = 0x00010000;  // in sample flags

// tfhd flags
constexpr uint32_t kBaseDataOffset = 0x1, kDescriptionIndex = 0x2, kDefaultDuration = 0x8,
                   kDefaultSize = 0x10, kDefaultFlags = 0x20, kBaseIsMoof = 0x20000;
// trun flags
constexpr uint32_t kDataOffset = 0x1, kFirstSampleFlags = 0x4, kDurations = 0x100, kSizes = 0x200,
                   kSampleFlags = 0x400, kCompositionOffsets = 0x800;

// One trun, checked.
struct Run {
  uint32_t flags = 0, count = 0, firstFlags = 0;
  const uint8_t* table = nullptr;  // count entries of entrySize bytes
  size_t entrySize = 0;
  uint64_t start = 0;     // file offset of the first sample's bytes
  uint64_t duration = 0;  // of all its samples, media units
};

// One traf whose track the moov has.
struct TrackFragment {
  size_t track;
  FragmentDefaults d;
  bool haveTime;  // tfdt
  uint64_t time;
  size_t firstRun, runCount;
};

struct Entry {
  uint32_t duration, size, flags;
  int32_t offset;
};

Entry EntryAt(const Run& r, uint32_t k, const FragmentDefaults& d) {
  Entry e{d.duration, d.size, d.flags, 0};
  if (r.entrySize) {
    FieldReader f(r.table + size_t(k) * r.entrySize, r.entrySize);
    if (r.flags & kDurations) e.duration = f.U32();
    if (r.flags & kSizes) e.size = f.U32();
    if (r.flags & kSampleFlags) e.flags = f.U32();
    // Version 0 is unsigned on paper; as with ctts, nothing real is past 2^31.
    if (r.flags & kCompositionOffsets) e.offset = int32_t(f.U32());
  }
  if (k == 0 && (r.flags & kFirstSampleFlags)) e.flags = r.firstFlags;
  return e;
}

// Decode time at which the given sample starts: the end of those before it.
uint64_t DecodeTimeOf(const SampleTable& s, uint32_t sample) {
  for (const SampleTable::TimeRun& run : s.times)
    if (sample - run.firstSample <= run.count && sample >= run.firstSample)
      return uint64_t(run.firstTime) + uint64_t(sample - run.firstSample) * run.delta;
  return 0;
}

class FragmentReader {
 public:
  FragmentReader(MovieModel* m, const std::vector<FragmentDefaults>& defaults, uint64_t fileSize)
      : m_(m), defaults_(defaults), fileSize_(fileSize), prepared_(m->tracks.size()) {
    for (const Track& t : m->tracks) nextTime_.push_back(DecodeTimeOf(t.samples, t.sampleCount));
  }

  // Whether the moof can be read whole; nothing is added yet.
  bool Check(const uint8_t* p, size_t n, uint64_t moofStart);
  // Appends what Check accepted.
  ParseStatus Commit();

 private:
  bool CheckTraf(const uint8_t* p, size_t n, uint64_t moofStart, bool first, uint64_t* next);
  bool CheckRun(const uint8_t* p, size_t n, const FragmentDefaults& d, uint64_t base, bool firstRun,
                uint64_t* next, Run* run) const;
  void Prepare(Track* t);
  ParseStatus Append(Track* t, const Run& run, const FragmentDefaults& d, uint64_t time);
  bool List(uint64_t entries) {
    if (entries > kMaxListedEntries - listed_) return false;
    listed_ += entries;
    return true;
  }
  void AddTimes(SampleTable* s, uint32_t sample, uint32_t n, uint64_t time, uint32_t delta, bool* ok);
  void AddSizes(SampleTable* s, uint32_t before, uint32_t n, uint32_t size, bool* ok);
  void AddSync(SampleTable* s, uint32_t before, uint32_t n, bool sync, bool* ok);
  void AddOffset(SampleTable* s, uint32_t sample, int32_t offset, bool* ok);

  MovieModel* m_;
  const std::vector<FragmentDefaults>& defaults_;
  uint64_t fileSize_;
  std::vector<bool> prepared_;
  std::vector<uint64_t> nextTime_;  // per track: decode time after its last sample
  // The moof being checked: its track fragments and runs, and per track
  // the samples and decode time they reach.
  std::vector<TrackFragment> trafs_;
  std::vector<Run> runs_;
  std::vector<uint64_t> pendingCount_, pendingTime_;
  uint64_t listed_ = 0;
};

bool FragmentReader::Check(const uint8_t* p, size_t n, uint64_t moofStart) {
  trafs_.clear();
  runs_.clear();
  pendingCount_.assign(m_->tracks.size(), 0);
  pendingTime_ = nextTime_;
  AtomIterator it(p, n);
  AtomSpan a;
  bool first = true;
  uint64_t next = moofStart;  // end of the data of the track fragment before
  while (it.Next(&a)) {
    if (a.type != FourCC("traf")) continue;
    if (!CheckTraf(a.data, a.size, moofStart, first, &next)) return false;
    first = false;
  }
  return !it.corrupt();
}

bool FragmentReader::CheckTraf(const uint8_t* p, size_t n, uint64_t moofStart, bool first, uint64_t* next) {
  AtomIterator it(p, n);
  AtomSpan a, tfhd, tfdt;
  while (it.Next(&a)) {
    if (a.type == FourCC("tfhd") && !tfhd.data) tfhd = a;
    if (a.type == FourCC("tfdt") && !tfdt.data) tfdt = a;
  }
  if (it.corrupt() || !tfhd.data) return false;

  FieldReader r(tfhd.data, tfhd.size);
  const uint32_t flags = r.U32() & 0xffffff, id = r.U32();
  const uint64_t baseOffset = (flags & kBaseDataOffset) ? r.U64() : 0;
  if (flags & kDescriptionIndex) r.U32();
  FragmentDefaults d;
  for (const FragmentDefaults& x : defaults_)
    if (x.trackId == id) {
      d = x;
      break;
    }
  if (flags & kDefaultDuration) d.duration = r.U32();
  if (flags & kDefaultSize) d.size = r.U32();
  if (flags & kDefaultFlags) d.flags = r.U32();
  if (!r.ok() || baseOffset > fileSize_) return false;
  const uint64_t base = (flags & kBaseDataOffset) ? baseOffset
                        : (flags & kBaseIsMoof) || first ? moofStart
                                                         : *next;

  size_t track = m_->tracks.size();
  for (size_t i = 0; i < m_->tracks.size(); ++i)
    if (m_->tracks[i].id == id) {
      track = i;
      break;
    }
  TrackFragment f{track, d, tfdt.data != nullptr, 0, runs_.size(), 0};
  if (tfdt.data) {
    FieldReader t(tfdt.data, tfdt.size);
    f.time = t.U32() >> 24 == 1 ? t.U64() : t.U32();
    if (!t.ok() || f.time > kMaxMediaTime) return false;
  }

  AtomIterator runs(p, n);
  bool firstRun = true;
  uint64_t runNext = base, samples = 0, duration = 0;
  while (runs.Next(&a)) {
    if (a.type != FourCC("trun")) continue;
    Run run;
    if (!CheckRun(a.data, a.size, d, base, firstRun, &runNext, &run)) return false;
    firstRun = false;
    samples += run.count;
    duration += run.duration;  // each below 2^62
    if (duration > kMaxMediaTime) return false;
    if (run.count && track < m_->tracks.size()) {
      runs_.push_back(run);
      ++f.runCount;
    }
  }
  *next = runNext;
  // A track the moov does not have: its data is stepped over, not read.
  if (track == m_->tracks.size() || f.runCount == 0) return true;

  const uint64_t t0 = f.haveTime ? f.time : pendingTime_[track];
  if (t0 + duration > kMaxMediaTime) return false;
  pendingTime_[track] = t0 + duration;
  pendingCount_[track] += samples;
  if (m_->tracks[track].sampleCount + pendingCount_[track] > std::numeric_limits<uint32_t>::max())
    return false;
  trafs_.push_back(f);
  return true;
}

bool FragmentReader::CheckRun(const uint8_t* p, size_t n, const FragmentDefaults& d, uint64_t base,
                              bool firstRun, uint64_t* next, Run* run) const {
  FieldReader r(p, n);
  run->flags = r.U32() & 0xffffff;
  run->count = r.U32();
  const int32_t dataOffset = (run->flags & kDataOffset) ? int32_t(r.U32()) : 0;
  if (run->flags & kFirstSampleFlags) run->firstFlags = r.U32();
  if (!r.ok()) return false;
  run->entrySize = 4 * (!!(run->flags & kDurations) + !!(run->flags & kSizes) + !!(run->flags & kSampleFlags) +
                        !!(run->flags & kCompositionOffsets));
  run->table = r.Here();
  // Samples listed in the box must fit it; samples all of the defaults
  // still need a byte of the file each.
  if (run->entrySize ? run->count > r.Remaining() / run->entrySize : run->count > fileSize_) return false;

  // Without its own offset, a run's data follows the run before.
  const int64_t start = (run->flags & kDataOffset) ? int64_t(base) + dataOffset
                        : firstRun                 ? int64_t(base)
                                                   : int64_t(*next);
  if (start < 0 || uint64_t(start) > fileSize_) return false;
  run->start = uint64_t(start);

  uint64_t duration = 0, bytes = 0;
  if (run->entrySize) {
    for (uint32_t k = 0; k < run->count; ++k) {
      Entry e = EntryAt(*run, k, d);
      duration += e.duration;
      bytes = std::min<uint64_t>(bytes + e.size, kMaxMediaTime);
      if (duration > kMaxMediaTime) return false;
    }
  } else {
    duration = uint64_t(run->count) * d.duration;  // below 2^64: each below 2^32
    bytes = std::min<uint64_t>(uint64_t(run->count) * d.size, kMaxMediaTime);
  }
  if (duration > kMaxMediaTime) return false;
  run->duration = duration;
  *next = run->start + bytes;
  return true;
}

ParseStatus FragmentReader::Commit() {
  for (const TrackFragment& f : trafs_) {
    Track* t = &m_->tracks[f.track];
    if (!prepared_[f.track]) {
      Prepare(t);
      prepared_[f.track] = true;
    }
    uint64_t time = f.haveTime ? f.time : nextTime_[f.track];
    for (size_t i = f.firstRun; i < f.firstRun + f.runCount; ++i) {
      ParseStatus st = Append(t, runs_[i], f.d, time);
      if (st != ParseStatus::Ok) return st;
      time += runs_[i].duration;
    }
    nextTime_[f.track] = time;
  }
  return ParseStatus::Ok;
}

// The moov's tables may list more than the samples they agree on; cut them
// to those, so that fragment samples follow on at the same number in each.
void FragmentReader::Prepare(Track* t) {
  SampleTable& s = t->samples;
  const uint32_t n = s.count;
  s.dataEnd = fileSize_;
  while (!s.times.empty() && s.times.back().firstSample >= n) s.times.pop_back();
  if (!s.times.empty()) s.times.back().count = std::min(s.times.back().count, n - s.times.back().firstSample);
  while (!s.offsets.empty() && s.offsets.back().firstSample >= n) s.offsets.pop_back();
  if (!s.offsets.empty()) s.offsets.back().count = std::min(s.offsets.back().count, n - s.offsets.back().firstSample);
  s.syncSamples.erase(std::lower_bound(s.syncSamples.begin(), s.syncSamples.end(), n), s.syncSamples.end());
  if (!s.uniformSize && s.sizes.size() > n) s.sizes.resize(n);
  while (!s.chunks.empty() && s.chunks.back().firstSample >= n) s.chunks.pop_back();
}

void FragmentReader::AddTimes(SampleTable* s, uint32_t sample, uint32_t n, uint64_t time, uint32_t delta,
                              bool* ok) {
  if (!s->times.empty()) {
    SampleTable::TimeRun& b = s->times.back();
    if (b.delta == delta && b.firstSample + uint64_t(b.count) == sample &&
        uint64_t(b.firstTime) + uint64_t(b.count) * b.delta == time &&
        uint64_t(b.count) + n <= std::numeric_limits<uint32_t>::max()) {
      b.count += n;
      return;
    }
  }
  if (!List(1)) *ok = false;
  else s->times.push_back({sample, n, int64_t(time), delta});
}

void FragmentReader::AddSizes(SampleTable* s, uint32_t before, uint32_t n, uint32_t size, bool* ok) {
  if (before == 0 && !s->uniformSize && s->sizes.empty() && size) {
    s->uniformSize = size;
    return;
  }
  if (s->uniformSize) {
    if (size == s->uniformSize) return;
    // Sizes differ from here on: list the earlier ones too.
    if (!List(before)) {
      *ok = false;
      return;
    }
    s->sizes.assign(before, s->uniformSize);
    s->uniformSize = 0;
  }
  if (!List(n)) *ok = false;
  else s->sizes.insert(s->sizes.end(), n, size);
}

void FragmentReader::AddSync(SampleTable* s, uint32_t before, uint32_t n, bool sync, bool* ok) {
  if (n == 0) return;
  if (s->allSync) {
    if (sync) return;
    // The first sample that is not a sync sample: list the earlier ones.
    if (!List(before)) {
      *ok = false;
      return;
    }
    s->syncSamples.resize(before);
    for (uint32_t i = 0; i < before; ++i) s->syncSamples[i] = i;
    s->allSync = false;
    return;
  }
  if (!sync) return;
  if (!List(n)) {
    *ok = false;
    return;
  }
  for (uint32_t i = 0; i < n; ++i) s->syncSamples.push_back(before + i);
}

void FragmentReader::AddOffset(SampleTable* s, uint32_t sample, int32_t offset, bool* ok) {
  if (offset == 0) return;  // samples no run covers have none
  if (!s->offsets.empty()) {
    SampleTable::OffsetRun& b = s->offsets.back();
    if (b.offset == offset && b.firstSample + uint64_t(b.count) == sample) {
      ++b.count;
      return;
    }
  }
  if (!List(1)) *ok = false;
  else s->offsets.push_back({sample, 1, offset});
}

ParseStatus FragmentReader::Append(Track* t, const Run& run, const FragmentDefaults& d, uint64_t time) {
  SampleTable& s = t->samples;
  const uint32_t first = s.count;
  bool ok = true;

  // The run is a chunk of its own; runs of one length share a chunk run.
  if (s.chunkOffsets.size() >= std::numeric_limits<uint32_t>::max() || !List(1)) return ParseStatus::TooLarge;
  const SampleTable::ChunkRun* last = s.chunks.empty() ? nullptr : &s.chunks.back();
  if (!last || last->samplesPerChunk != run.count ||
      last->firstSample + uint64_t(s.chunkOffsets.size() - last->firstChunk) * run.count != first)
    s.chunks.push_back({uint32_t(s.chunkOffsets.size()), run.count, first});
  s.chunkOffsets.push_back(run.start);

  if (run.entrySize == 0) {
    // Every sample of the defaults, bar the first one's flags.
    AddTimes(&s, first, run.count, time, d.duration, &ok);
    AddSizes(&s, first, run.count, d.size, &ok);
    const uint32_t firstFlags = (run.flags & kFirstSampleFlags) ? run.firstFlags : d.flags;
    AddSync(&s, first, 1, !(firstFlags & kNonSyncSample), &ok);
    AddSync(&s, first + 1, run.count - 1, !(d.flags & kNonSyncSample), &ok);
  } else {
    for (uint32_t k = 0; k < run.count && ok; ++k) {
      const Entry e = EntryAt(run, k, d);
      AddTimes(&s, first + k, 1, time, e.duration, &ok);
      time += e.duration;
      AddSizes(&s, first + k, 1, e.size, &ok);
      AddSync(&s, first + k, 1, !(e.flags & kNonSyncSample), &ok);
      AddOffset(&s, first + k, e.offset, &ok);
    }
  }
  if (!ok) return ParseStatus::TooLarge;
  s.count += run.count;
  t->sampleCount = s.count;
  t->fragmentSamples += run.count;
  return ParseStatus::Ok;
}

}  // namespace

ParseStatus ReadFragments(ByteSource& src, uint64_t offset, const std::vector<FragmentDefaults>& defaults,
                          MovieModel* m) {
  FragmentReader reader(m, defaults, src.Size());
  std::vector<uint8_t> moof;
  uint64_t budget = kMaxMoovBytes;
  TopLevelBoxes boxes(src, offset, kMaxFragmentAtoms);
  BoxHeader box;
  // A cut or damaged box ends the fragments; those before it stand.
  while (boxes.Read(&box) == TopLevelBoxes::Next::Box) {
    if (box.type != FourCC("moof")) continue;
    const uint64_t payload = box.size - box.headerSize;
    if (payload > budget) return ParseStatus::TooLarge;
    budget -= payload;
    moof.resize(size_t(payload));
    if (!src.Read(box.offset + box.headerSize, moof.data(), moof.size())) break;
    if (!reader.Check(moof.data(), moof.size(), box.offset)) break;
    ParseStatus st = reader.Commit();
    if (st != ParseStatus::Ok) return st;
  }
  return ParseStatus::Ok;
}

int64_t CoverFragmentSamples(Track* t, uint32_t movieTimeScale) {
  const SampleTable& s = t->samples;
  uint64_t end = 0;  // media time at which the last sample stops showing
  for (const SampleTable::TimeRun& run : s.times)
    end = std::max(end, uint64_t(run.firstTime) + uint64_t(run.count) * run.delta);
  if (!s.presentationOrder.empty()) {
    const int64_t last = s.presentationTimes.back() + int64_t(s.Duration(s.presentationOrder.back()));
    if (last > 0) end = std::max(end, uint64_t(last));
  }
  end = std::min(end, kMaxMediaTime);
  t->mediaDuration = std::max(t->mediaDuration, int64_t(end));
  if (t->edits.empty()) {
    t->tkhdDuration = std::max(t->tkhdDuration, MulDiv(int64_t(end), movieTimeScale, t->mediaTimeScale));
    return t->tkhdDuration;
  }
  // An edit list written with the moov ends where its samples did (or has
  // a last edit of no length, meaning the same): its last edit runs on.
  EditSegment& e = t->edits.back();
  if (e.mediaTime >= 0 && e.rateFixed > 0 && int64_t(end) > e.mediaTime) {
    int64_t d = MulDiv(int64_t(end) - e.mediaTime, movieTimeScale, t->mediaTimeScale);
    if (e.rateFixed != 0x10000) d = MulDiv(d, 0x10000, uint64_t(e.rateFixed));
    e.movieDuration = std::max(e.movieDuration, std::min(d, int64_t(kMaxMediaTime)));
  }
  uint64_t total = 0;
  for (const EditSegment& x : t->edits) total = std::min<uint64_t>(total + uint64_t(x.movieDuration), kMaxMediaTime);
  t->tkhdDuration = std::max(t->tkhdDuration, int64_t(total));
  return int64_t(total);
}

}  // namespace vmedia
