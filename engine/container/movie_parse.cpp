// ParseMovie: the top-level scan for moov and the reading of its tables.
#include <math.h>

#include <algorithm>
#include <limits>

#include "engine/container/atom_reader.h"
#include "engine/container/media_time.h"
#include "engine/container/movie_file.h"
#include "engine/container/movie_fragments.h"
#include "engine/container/top_level_boxes.h"

namespace vmedia {

namespace {

// Stop a scan of tiny top-level atoms from turning into millions of reads.
constexpr int kMaxTopLevelAtoms = 1 << 16;

class MoovParser {
 public:
  explicit MoovParser(uint64_t fileSize) : fileSize_(fileSize) {}

  ParseStatus Parse(const uint8_t* moov, size_t size, MovieModel* out);

  // What mvex says: whether movie fragments follow, with the tracks'
  // defaults for them and the whole movie's duration (mehd, movie units).
  bool fragmented = false;
  std::vector<FragmentDefaults> trex;
  uint64_t fragmentDuration = 0;

 private:
  ParseStatus ParseMvhd(const uint8_t* p, size_t n, MovieModel* m);
  ParseStatus ParseMvex(const uint8_t* p, size_t n);
  ParseStatus ParseTrak(const uint8_t* p, size_t n, Track* t);
  ParseStatus ParseTkhd(const uint8_t* p, size_t n, Track* t);
  ParseStatus ParseElst(const uint8_t* p, size_t n, Track* t);
  ParseStatus ParseMdia(const uint8_t* p, size_t n, Track* t);
  ParseStatus ParseMdhd(const uint8_t* p, size_t n, Track* t);
  ParseStatus ParseStbl(const uint8_t* p, size_t n, Track* t);
  ParseStatus ParseStsd(const uint8_t* p, size_t n, Track* t);
  ParseStatus ParseStts(const uint8_t* p, size_t n, SampleTable* s);
  ParseStatus ParseCtts(const uint8_t* p, size_t n, SampleTable* s);
  ParseStatus ParseStss(const uint8_t* p, size_t n, SampleTable* s);
  ParseStatus ParseStsz(const uint8_t* p, size_t n, SampleTable* s, uint64_t* count);
  ParseStatus ParseStz2(const uint8_t* p, size_t n, SampleTable* s, uint64_t* count);
  ParseStatus ParseStsc(const uint8_t* p, size_t n, std::vector<uint32_t>* raw);
  ParseStatus ParseChunkOffsets(const uint8_t* p, size_t n, bool wide, SampleTable* s);

  uint64_t fileSize_;
};

// The turn and mirroring of a tkhd matrix {a b u, c d v, x y w}, which maps
// a picture point (x, y), y downwards, to (a x + c y, b x + d y): a quarter
// turn has a = d = 0 or b = c = 0, with |a| = |d| or |b| = |c|; a negative
// determinant mirrors. The scale is left alone, like the translation.
void ReadTurn(int64_t a, int64_t b, int64_t c, int64_t d, Track* t) {
  t->turn = 0;
  t->mirrored = false;
  if (b == 0 && c == 0 && a != 0 && (a == d || a == -d)) {
    t->mirrored = a != d;
    // Mirrored and turned 180 degrees is flipped top to bottom.
    t->turn = (a > 0) != t->mirrored ? 0 : 180;
  } else if (a == 0 && d == 0 && b != 0 && (b == c || b == -c)) {
    t->mirrored = b == c;
    t->turn = (b > 0) != t->mirrored ? 90 : 270;
  }
}

// Reads the version/flags word and an entry count, and checks that count
// entries of entrySize bytes fit what is left.
bool TableHeader(FieldReader& r, size_t entrySize, uint32_t* version, uint32_t* count) {
  uint32_t vf = r.U32();
  *version = vf >> 24;
  *count = r.U32();
  return r.ok() && *count <= r.Remaining() / entrySize;
}

// The start of mvhd and mdhd: version and flags, creation and modification
// times, the time scale and the duration, the times and the duration 64
// bits wide in version 1. Whether they are.
bool ReadScaleAndDuration(FieldReader& r, uint32_t* scale, uint64_t* duration) {
  const bool wide = r.U32() >> 24 == 1;
  r.Skip(wide ? 16 : 8);
  *scale = r.U32();
  *duration = wide ? r.U64() : r.U32();
  return wide;
}

ParseStatus MoovParser::Parse(const uint8_t* moov, size_t size, MovieModel* m) {
  AtomIterator it(moov, size);
  AtomSpan a;
  bool haveMvhd = false;
  while (it.Next(&a)) {
    ParseStatus st = ParseStatus::Ok;
    switch (a.type) {
      case FourCC("mvhd"):
        if (haveMvhd) break;
        haveMvhd = true;
        st = ParseMvhd(a.data, a.size, m);
        break;
      case FourCC("trak"):
        if (m->tracks.size() >= kMaxTracks) return ParseStatus::TooLarge;
        m->tracks.emplace_back();
        st = ParseTrak(a.data, a.size, &m->tracks.back());
        break;
      case FourCC("cmov"):
        return ParseStatus::Unsupported;
      case FourCC("mvex"):
        if (fragmented) break;
        fragmented = true;
        st = ParseMvex(a.data, a.size);
        break;
    }
    if (st != ParseStatus::Ok) return st;
  }
  if (it.corrupt() || !haveMvhd) return ParseStatus::Corrupt;
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseMvex(const uint8_t* p, size_t n) {
  AtomIterator it(p, n);
  AtomSpan a;
  while (it.Next(&a)) {
    FieldReader r(a.data, a.size);
    if (a.type == FourCC("mehd")) {
      fragmentDuration = r.U32() >> 24 == 1 ? r.U64() : r.U32();
      if (!r.ok()) fragmentDuration = 0;
    } else if (a.type == FourCC("trex") && trex.size() < kMaxTracks) {
      FragmentDefaults d;
      r.U32();
      d.trackId = r.U32();
      r.U32();  // sample description
      d.duration = r.U32();
      d.size = r.U32();
      d.flags = r.U32();
      if (r.ok()) trex.push_back(d);
    }
  }
  return ParseStatus::Ok;
}

// What the moov and any fragments say together: bounds, the presentation
// index, durations, the video track's size.
ParseStatus Finish(MovieModel* m, uint64_t fileSize, uint64_t fragmentDuration) {
  uint64_t videoSamples = 0;
  for (const Track& t : m->tracks)
    if (t.kind == TrackKind::Video) videoSamples += t.sampleCount;
  // Every video frame needs bytes of its own in the file.
  if (videoSamples > kMaxVideoSamples || videoSamples > fileSize) return ParseStatus::TooLarge;
  for (Track& t : m->tracks) {
    if (t.kind == TrackKind::Video) t.samples.BuildPresentationIndex(t.sampleCount);
    t.samples.BuildSizeMarks();
  }

  // The moov of a fragmented file knows the length of its own samples at
  // most; the fragments' samples may run on.
  for (Track& t : m->tracks)
    if (t.fragmentSamples) m->duration = std::max(m->duration, CoverFragmentSamples(&t, m->timeScale));
  m->duration = std::max(m->duration, int64_t(std::min(fragmentDuration, kMaxMediaTime)));
  if (m->duration == 0) {
    // Some writers leave mvhd's duration 0; the tracks still know theirs.
    for (const Track& t : m->tracks) {
      int64_t end = 0;
      for (const EditSegment& e : t.edits)
        end = int64_t(std::min<uint64_t>(uint64_t(end) + uint64_t(e.movieDuration), kMaxMediaTime));
      if (t.edits.empty()) end = t.tkhdDuration;
      m->duration = std::max(m->duration, end);
    }
  }
  if (m->duration > std::numeric_limits<int32_t>::max()) return ParseStatus::TooLarge;

  const int video = m->videoTrack();
  if (video >= 0) {
    PictureSize size = DisplaySize(m->tracks[size_t(video)]);
    m->width = size.width;
    m->height = size.height;
  }
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseMvhd(const uint8_t* p, size_t n, MovieModel* m) {
  FieldReader r(p, n);
  uint64_t duration;
  ReadScaleAndDuration(r, &m->timeScale, &duration);
  // Time scales are signed 32-bit numbers to the engine's callers: one past
  // that range would turn negative.
  if (!r.ok() || m->timeScale == 0 || m->timeScale > uint32_t(std::numeric_limits<int32_t>::max()))
    return ParseStatus::Corrupt;
  if (duration > uint64_t(std::numeric_limits<int32_t>::max())) return ParseStatus::TooLarge;
  m->duration = int64_t(duration);
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseTrak(const uint8_t* p, size_t n, Track* t) {
  AtomIterator it(p, n);
  AtomSpan a;
  bool haveTkhd = false, haveMdia = false;
  while (it.Next(&a)) {
    ParseStatus st = ParseStatus::Ok;
    if (a.type == FourCC("tkhd") && !haveTkhd) {
      haveTkhd = true;
      st = ParseTkhd(a.data, a.size, t);
    } else if (a.type == FourCC("mdia") && !haveMdia) {
      haveMdia = true;
      st = ParseMdia(a.data, a.size, t);
    } else if (a.type == FourCC("edts")) {
      AtomIterator e(a.data, a.size);
      AtomSpan edit;
      while (e.Next(&edit))
        if (edit.type == FourCC("elst")) {
          st = ParseElst(edit.data, edit.size, t);
          break;
        }
      if (e.corrupt()) st = ParseStatus::Corrupt;
    }
    if (st != ParseStatus::Ok) return st;
  }
  if (it.corrupt() || !haveTkhd || !haveMdia || t->mediaTimeScale == 0) return ParseStatus::Corrupt;
  if (t->kind == TrackKind::Video) {
    // Writers that keep the aspect in pasp (and QuickTime's tapt) leave the
    // coded size in tkhd; the picture is still shown at its aspect.
    const SampleDescription& d = t->description;
    const bool square = d.aspectH == d.aspectV;
    const bool tkhdSet = t->width > 0 && t->height > 0;
    const bool tkhdCoded = t->width == d.width && t->height == d.height;
    if (!tkhdSet || (tkhdCoded && !square)) {
      t->width = square ? d.width : double(d.width) * d.aspectH / d.aspectV;
      t->height = d.height;
    }
  }
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseTkhd(const uint8_t* p, size_t n, Track* t) {
  FieldReader r(p, n);
  uint32_t vf = r.U32();
  uint64_t duration;
  if (vf >> 24 == 1) {
    r.Skip(16);
    t->id = r.U32();
    r.Skip(4);
    duration = r.U64();
  } else {
    r.Skip(8);
    t->id = r.U32();
    r.Skip(4);
    duration = r.U32();
  }
  r.Skip(8 + 8);  // reserved, layer/group/volume
  int32_t matrix[9];
  for (int32_t& v : matrix) v = int32_t(r.U32());
  uint32_t w = r.U32(), h = r.U32();
  if (!r.ok()) return ParseStatus::Corrupt;
  // 0xffffffff (all ones) in a 32-bit duration means unknown.
  if (vf >> 24 != 1 && duration == 0xffffffffu) duration = 0;
  if (duration > kMaxMediaTime) return ParseStatus::TooLarge;
  t->enabled = (vf & 1) != 0;
  t->tkhdDuration = int64_t(duration);
  t->width = w / 65536.0;
  t->height = h / 65536.0;
  ReadTurn(matrix[0], matrix[1], matrix[3], matrix[4], t);
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseElst(const uint8_t* p, size_t n, Track* t) {
  FieldReader r(p, n);
  uint32_t version, count;
  size_t entry = 0;
  {
    FieldReader peek(p, n);
    entry = (peek.U32() >> 24) == 1 ? 20 : 12;
  }
  if (!TableHeader(r, entry, &version, &count)) return ParseStatus::Corrupt;
  t->edits.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    EditSegment e;
    uint64_t d;
    if (version == 1) {
      d = r.U64();
      e.mediaTime = int64_t(r.U64());
    } else {
      d = r.U32();
      e.mediaTime = int32_t(r.U32());
    }
    e.rateFixed = int32_t(r.U32());
    if (d > kMaxMediaTime) return ParseStatus::TooLarge;
    e.movieDuration = int64_t(d);
    if (e.mediaTime < 0) e.mediaTime = -1;
    t->edits.push_back(e);
  }
  return r.ok() ? ParseStatus::Ok : ParseStatus::Corrupt;
}

ParseStatus MoovParser::ParseMdia(const uint8_t* p, size_t n, Track* t) {
  AtomIterator it(p, n);
  AtomSpan a, minf;
  bool haveMdhd = false, haveHdlr = false;
  uint32_t handler = 0;
  while (it.Next(&a)) {
    if (a.type == FourCC("mdhd") && !haveMdhd) {
      haveMdhd = true;
      ParseStatus st = ParseMdhd(a.data, a.size, t);
      if (st != ParseStatus::Ok) return st;
    } else if (a.type == FourCC("hdlr") && !haveHdlr) {
      // The media's handler; minf may hold a data handler's hdlr too.
      haveHdlr = true;
      FieldReader r(a.data, a.size);
      r.Skip(8);
      handler = r.U32();
      if (!r.ok()) return ParseStatus::Corrupt;
    } else if (a.type == FourCC("minf") && !minf.data) {
      minf = a;
    }
  }
  if (it.corrupt() || !haveMdhd) return ParseStatus::Corrupt;
  if (handler == FourCC("vide")) t->kind = TrackKind::Video;
  else if (handler == FourCC("soun")) t->kind = TrackKind::Sound;
  if (!minf.data) return ParseStatus::Ok;

  AtomIterator mi(minf.data, minf.size);
  while (mi.Next(&a))
    if (a.type == FourCC("stbl")) return ParseStbl(a.data, a.size, t);
  return mi.corrupt() ? ParseStatus::Corrupt : ParseStatus::Ok;
}

ParseStatus MoovParser::ParseMdhd(const uint8_t* p, size_t n, Track* t) {
  FieldReader r(p, n);
  uint64_t duration;
  const bool wide = ReadScaleAndDuration(r, &t->mediaTimeScale, &duration);
  if (!wide && duration == 0xffffffffu) duration = 0;
  if (!r.ok() || t->mediaTimeScale == 0) return ParseStatus::Corrupt;
  if (duration > kMaxMediaTime) return ParseStatus::TooLarge;
  t->mediaDuration = int64_t(duration);
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseStbl(const uint8_t* p, size_t n, Track* t) {
  AtomIterator it(p, n);
  AtomSpan a;
  SampleTable& s = t->samples;
  s.dataEnd = fileSize_;
  std::vector<uint32_t> stsc;
  uint64_t sizeCount = 0;
  bool seen[8] = {};
  while (it.Next(&a)) {
    ParseStatus st = ParseStatus::Ok;
    int slot = -1;
    switch (a.type) {
      case FourCC("stsd"): slot = 0; break;
      case FourCC("stts"): slot = 1; break;
      case FourCC("ctts"): slot = 2; break;
      case FourCC("stss"): slot = 3; break;
      case FourCC("stsz"): case FourCC("stz2"): slot = 4; break;
      case FourCC("stsc"): slot = 5; break;
      case FourCC("stco"): case FourCC("co64"): slot = 6; break;
    }
    if (slot < 0 || seen[slot]) continue;  // the first of each counts
    seen[slot] = true;
    switch (a.type) {
      case FourCC("stsd"): st = ParseStsd(a.data, a.size, t); break;
      case FourCC("stts"): st = ParseStts(a.data, a.size, &s); break;
      case FourCC("ctts"): st = ParseCtts(a.data, a.size, &s); break;
      case FourCC("stss"): st = ParseStss(a.data, a.size, &s); break;
      case FourCC("stsz"): st = ParseStsz(a.data, a.size, &s, &sizeCount); break;
      case FourCC("stz2"): st = ParseStz2(a.data, a.size, &s, &sizeCount); break;
      case FourCC("stsc"): st = ParseStsc(a.data, a.size, &stsc); break;
      case FourCC("stco"): st = ParseChunkOffsets(a.data, a.size, false, &s); break;
      case FourCC("co64"): st = ParseChunkOffsets(a.data, a.size, true, &s); break;
    }
    if (st != ParseStatus::Ok) return st;
  }
  if (it.corrupt()) return ParseStatus::Corrupt;

  // Chunk runs: first chunks must rise; a run that does not is dropped.
  uint64_t chunkCount = s.chunkOffsets.size();
  uint64_t first = 0;
  for (size_t i = 0; i + 1 < stsc.size(); i += 2) {
    uint32_t firstChunk = stsc[i] - 1, perChunk = stsc[i + 1];
    if (stsc[i] == 0 || firstChunk >= chunkCount) break;
    if (!s.chunks.empty()) {
      SampleTable::ChunkRun& prev = s.chunks.back();
      if (firstChunk <= prev.firstChunk) continue;
      // Saturates long before 2^64; sample numbers stop at 2^32.
      first = std::min<uint64_t>(first + uint64_t(firstChunk - prev.firstChunk) * prev.samplesPerChunk,
                                 uint64_t(1) << 40);
    }
    s.chunks.push_back({firstChunk, perChunk, first});
  }

  uint64_t count = std::min(sizeCount, s.TimedSamples());
  t->sampleCount = uint32_t(std::min<uint64_t>(count, std::numeric_limits<uint32_t>::max()));
  s.count = t->sampleCount;
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseStsd(const uint8_t* p, size_t n, Track* t) {
  FieldReader r(p, n);
  r.Skip(4);
  uint32_t entries = r.U32();
  if (!r.ok() || entries == 0) return ParseStatus::Ok;  // nothing to learn
  FieldReader e(r.Here(), r.Remaining());
  const uint32_t entrySize = e.U32(), format = e.U32();
  if (!e.ok() || entrySize > r.Remaining() || entrySize < 8) return ParseStatus::Ok;
  ReadSampleDescription(format, r.Here() + 8, entrySize - 8, t->kind, &t->description);
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseStts(const uint8_t* p, size_t n, SampleTable* s) {
  FieldReader r(p, n);
  uint32_t version, count;
  if (!TableHeader(r, 8, &version, &count)) return ParseStatus::Corrupt;
  s->times.reserve(count);
  uint64_t sample = 0, time = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t c = r.U32(), delta = r.U32();
    if (c == 0) continue;
    if (sample + c > std::numeric_limits<uint32_t>::max()) return ParseStatus::TooLarge;
    s->times.push_back({uint32_t(sample), c, int64_t(time), delta});
    sample += c;
    time += uint64_t(c) * delta;  // below 2^64: each factor is below 2^32
    if (time > kMaxMediaTime) return ParseStatus::TooLarge;
  }
  return r.ok() ? ParseStatus::Ok : ParseStatus::Corrupt;
}

ParseStatus MoovParser::ParseCtts(const uint8_t* p, size_t n, SampleTable* s) {
  FieldReader r(p, n);
  uint32_t version, count;
  if (!TableHeader(r, 8, &version, &count)) return ParseStatus::Corrupt;
  s->offsets.reserve(count);
  uint64_t sample = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t c = r.U32();
    // Version 0 is unsigned on paper, but writers put negative offsets in
    // it too; nothing real is past 2^31.
    int32_t off = int32_t(r.U32());
    if (c == 0) continue;
    if (sample + c > std::numeric_limits<uint32_t>::max()) break;
    s->offsets.push_back({uint32_t(sample), c, off});
    sample += c;
  }
  return r.ok() ? ParseStatus::Ok : ParseStatus::Corrupt;
}

ParseStatus MoovParser::ParseStss(const uint8_t* p, size_t n, SampleTable* s) {
  FieldReader r(p, n);
  uint32_t version, count;
  if (!TableHeader(r, 4, &version, &count)) return ParseStatus::Corrupt;
  s->allSync = false;
  s->syncSamples.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t number = r.U32();
    if (number) s->syncSamples.push_back(number - 1);
  }
  if (!std::is_sorted(s->syncSamples.begin(), s->syncSamples.end()))
    std::sort(s->syncSamples.begin(), s->syncSamples.end());
  return r.ok() ? ParseStatus::Ok : ParseStatus::Corrupt;
}

ParseStatus MoovParser::ParseStsz(const uint8_t* p, size_t n, SampleTable* s, uint64_t* count) {
  FieldReader r(p, n);
  r.Skip(4);
  uint32_t uniform = r.U32(), c = r.U32();
  if (!r.ok()) return ParseStatus::Corrupt;
  *count = c;
  s->uniformSize = uniform;
  if (uniform) return ParseStatus::Ok;
  if (c > r.Remaining() / 4) return ParseStatus::Corrupt;
  s->sizes.resize(c);
  for (uint32_t i = 0; i < c; ++i) s->sizes[i] = r.U32();
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseStz2(const uint8_t* p, size_t n, SampleTable* s, uint64_t* count) {
  FieldReader r(p, n);
  r.Skip(4 + 3);
  uint8_t bits = r.U8();
  uint32_t c = r.U32();
  if (!r.ok() || (bits != 4 && bits != 8 && bits != 16)) return ParseStatus::Corrupt;
  if (uint64_t(c) * bits > uint64_t(r.Remaining()) * 8) return ParseStatus::Corrupt;
  *count = c;
  s->sizes.resize(c);
  const uint8_t* d = r.Here();
  for (uint32_t i = 0; i < c; ++i) {
    if (bits == 4) s->sizes[i] = (i & 1) ? d[i / 2] & 0x0f : d[i / 2] >> 4;
    else if (bits == 8) s->sizes[i] = d[i];
    else s->sizes[i] = uint32_t(d[2 * i]) << 8 | d[2 * i + 1];
  }
  return ParseStatus::Ok;
}

ParseStatus MoovParser::ParseStsc(const uint8_t* p, size_t n, std::vector<uint32_t>* raw) {
  FieldReader r(p, n);
  uint32_t version, count;
  if (!TableHeader(r, 12, &version, &count)) return ParseStatus::Corrupt;
  raw->reserve(size_t(count) * 2);
  for (uint32_t i = 0; i < count; ++i) {
    raw->push_back(r.U32());  // first chunk, 1-based
    raw->push_back(r.U32());  // samples per chunk
    r.U32();                  // sample description
  }
  return r.ok() ? ParseStatus::Ok : ParseStatus::Corrupt;
}

ParseStatus MoovParser::ParseChunkOffsets(const uint8_t* p, size_t n, bool wide,
                                          SampleTable* s) {
  FieldReader r(p, n);
  uint32_t version, count;
  if (!TableHeader(r, wide ? 8 : 4, &version, &count)) return ParseStatus::Corrupt;
  s->chunkOffsets.resize(count);
  for (uint32_t i = 0; i < count; ++i) s->chunkOffsets[i] = wide ? r.U64() : r.U32();
  return r.ok() ? ParseStatus::Ok : ParseStatus::Corrupt;
}

}  // namespace

ParseStatus ParseMovie(ByteSource& src, MovieModel* out) {
  *out = MovieModel();
  const uint64_t fileSize = src.Size();
  TopLevelBoxes boxes(src, 0, kMaxTopLevelAtoms);
  BoxHeader box;
  bool sawAtom = false;
  for (;;) {
    const TopLevelBoxes::Next next = boxes.Read(&box);
    if (next == TopLevelBoxes::Next::End) break;
    if (next == TopLevelBoxes::Next::Unreadable) return ParseStatus::Truncated;
    const bool plausible = sawAtom || KnownTopLevelBox(box.type);
    if (next == TopLevelBoxes::Next::CutHeader) return plausible ? ParseStatus::Truncated : ParseStatus::NotAMovie;
    if (!PrintableFourCC(box.type) || next == TopLevelBoxes::Next::Undersized)
      return sawAtom ? ParseStatus::Corrupt : ParseStatus::NotAMovie;
    if (next == TopLevelBoxes::Next::Overruns) return plausible ? ParseStatus::Truncated : ParseStatus::NotAMovie;

    if (box.type == FourCC("moov")) {
      uint64_t payload = box.size - box.headerSize;
      if (payload > kMaxMoovBytes) return ParseStatus::TooLarge;
      MovieModel model;
      ParseStatus st;
      try {
        MoovParser parser(fileSize);
        {
          std::vector<uint8_t> moov(static_cast<size_t>(payload));
          if (!src.Read(box.offset + box.headerSize, moov.data(), moov.size())) return ParseStatus::Truncated;
          st = parser.Parse(moov.data(), moov.size(), &model);
        }
        if (st == ParseStatus::Ok && parser.fragmented)
          st = ReadFragments(src, box.offset + box.size, parser.trex, &model);
        if (st == ParseStatus::Ok) st = Finish(&model, fileSize, parser.fragmentDuration);
      } catch (...) {  // allocation failure: nothing else throws here
        return ParseStatus::TooLarge;
      }
      if (st == ParseStatus::Ok) *out = std::move(model);
      return st;
    }
    sawAtom = true;
  }
  // Part of an atom header after complete atoms: the file was cut short.
  const uint64_t offset = boxes.offset();
  if (sawAtom && offset < fileSize && fileSize - offset < 8) return ParseStatus::Truncated;
  return ParseStatus::NotAMovie;
}

int MovieModel::videoTrack() const {
  for (size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].kind == TrackKind::Video && tracks[i].enabled && tracks[i].sampleCount) return int(i);
  return -1;
}

bool MovieModel::hasVideo() const { return videoTrack() >= 0; }

int MovieModel::soundTrack() const {
  for (size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].kind == TrackKind::Sound && tracks[i].enabled && tracks[i].sampleCount) return int(i);
  return -1;
}

bool MovieModel::hasSound() const { return soundTrack() >= 0; }

}  // namespace vmedia

namespace vmedia {

PictureSize DisplaySize(const Track& t) {
  const bool sideways = t.turn == 90 || t.turn == 270;
  auto pixels = [](double v) { return int(std::min(32767.0, std::max(0.0, floor(v + 0.5)))); };
  PictureSize size;
  size.width = pixels(sideways ? t.height : t.width);
  size.height = pixels(sideways ? t.width : t.height);
  return size;
}

SampleData SampleDataInFile(const Track& t) {
  uint64_t at;
  if (t.sampleCount == 0 || !t.samples.Offset(0, &at)) return SampleData::None;
  return t.samples.Offset(t.sampleCount - 1, &at) ? SampleData::Whole : SampleData::Cut;
}

}  // namespace vmedia
