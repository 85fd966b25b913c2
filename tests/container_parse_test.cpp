// The movie reader on movies built byte by byte: edit lists, reordered
// frames, chunk tables, and damaged or hostile files.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "engine/container/movie_file.h"

using namespace vmedia;

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}
Bytes U32(uint64_t v) { Bytes b; Put(b, v, 4); return b; }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}
Bytes Atom(const char* type, const Bytes& body) {
  Bytes b;
  Put(b, body.size() + 8, 4);
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}
Bytes Zeros(size_t n) { return Bytes(n, 0); }
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

struct Edit { uint32_t duration; int32_t mediaTime; int32_t rate; };

// One track (video unless told otherwise) of equal-sized samples laid out
// in an mdat before the moov.
struct Movie {
  uint32_t timeScale = 600, duration = 240, tkhdDuration = 240;
  uint32_t mediaScale = 2500;
  std::vector<uint32_t> deltas = std::vector<uint32_t>(10, 100);
  std::vector<int32_t> offsets;  // ctts, none when empty
  std::vector<uint32_t> sync;    // stss (1-based), none when empty
  std::vector<Edit> edits;       // elst, none when empty
  const char* handler = "vide";
  uint32_t sampleSize = 10, perChunk = 4;
  bool wideOffsets = false;

  Bytes Build() const {
    const uint32_t n = uint32_t(deltas.size());
    Bytes ftyp = Atom("ftyp", Cat({U32(0x69736f6d), U32(0x200), U32(0x69736f6d)}));
    const uint64_t data = ftyp.size() + 8;
    Bytes mdat = Atom("mdat", Bytes(size_t(n) * sampleSize, 0xAB));

    Bytes stts;
    uint32_t runs = 0;
    for (uint32_t i = 0; i < n;) {
      uint32_t j = i;
      while (j < n && deltas[j] == deltas[i]) ++j;
      Append(stts, Cat({U32(j - i), U32(deltas[i])}));
      ++runs;
      i = j;
    }
    Bytes stbl = Cat({Atom("stsd", Cat({U32(0), U32(1), Atom("avc1", Zeros(78))})),
                      Atom("stts", Cat({U32(0), U32(runs), stts}))});
    if (!offsets.empty()) {
      Bytes c = Cat({U32(0), U32(offsets.size())});
      for (int32_t o : offsets) Append(c, Cat({U32(1), U32(uint32_t(o))}));
      stbl = Cat({stbl, Atom("ctts", c)});
    }
    if (!sync.empty()) {
      Bytes s = Cat({U32(0), U32(sync.size())});
      for (uint32_t v : sync) Append(s, U32(v));
      stbl = Cat({stbl, Atom("stss", s)});
    }
    const uint32_t chunks = (n + perChunk - 1) / perChunk;
    Bytes co = Cat({U32(0), U32(chunks)});
    for (uint32_t c = 0; c < chunks; ++c) {
      uint64_t at = data + uint64_t(c) * perChunk * sampleSize;
      if (wideOffsets) Put(co, at, 8); else Put(co, at, 4);
    }
    stbl = Cat({stbl, Atom("stsz", Cat({U32(0), U32(sampleSize), U32(n)})),
                Atom("stsc", Cat({U32(0), U32(1), U32(1), U32(perChunk), U32(1)})),
                Atom(wideOffsets ? "co64" : "stco", co)});

    Bytes tkhd = Cat({U32(1), Zeros(8), U32(1), Zeros(4), U32(tkhdDuration), Zeros(52),
                      U32(320u << 16), U32(240u << 16)});
    Bytes mdia = Cat({Atom("mdhd", Cat({U32(0), Zeros(8), U32(mediaScale), U32(n * 100), Zeros(4)})),
                      Atom("hdlr", Cat({U32(0), U32(0), Bytes(handler, handler + 4), Zeros(12)})),
                      Atom("minf", Atom("stbl", stbl))});
    Bytes trak = Cat({Atom("tkhd", tkhd)});
    if (!edits.empty()) {
      Bytes e = Cat({U32(0), U32(edits.size())});
      for (const Edit& x : edits)
        Append(e, Cat({U32(x.duration), U32(uint32_t(x.mediaTime)), U32(uint32_t(x.rate))}));
      trak = Cat({trak, Atom("edts", Atom("elst", e))});
    }
    trak = Cat({trak, Atom("mdia", mdia)});
    Bytes mvhd = Cat({U32(0), Zeros(8), U32(timeScale), U32(duration), Zeros(80)});
    return Cat({ftyp, mdat, Atom("moov", Cat({Atom("mvhd", mvhd), Atom("trak", trak)}))});
  }
};

ParseStatus Parse(const Bytes& b, MovieModel* m) {
  MemorySource src(b.data(), b.size());
  return ParseMovie(src, m);
}

ParseStatus Parse(const Bytes& b) {
  MovieModel m;
  return Parse(b, &m);
}

// Offset of the first atom of this type (its size field).
size_t Find(const Bytes& b, const char* type) {
  for (size_t i = 4; i + 4 <= b.size(); ++i)
    if (memcmp(&b[i], type, 4) == 0) return i - 4;
  ADD_FAILURE() << "no " << type;
  return 0;
}

void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

std::vector<int32_t> Times(std::initializer_list<int32_t> t) { return t; }

}  // namespace

TEST(ContainerParse, PlainVideoTrack) {
  MovieModel m;
  Movie spec;
  Bytes file = spec.Build();
  ASSERT_EQ(ParseStatus::Ok, Parse(file, &m));
  EXPECT_EQ(600u, m.timeScale);
  EXPECT_EQ(240, m.duration);
  EXPECT_EQ(320, m.width);
  EXPECT_EQ(240, m.height);
  ASSERT_EQ(1u, m.tracks.size());
  const Track& t = m.tracks[0];
  EXPECT_EQ(TrackKind::Video, t.kind);
  EXPECT_EQ(0x61766331u, t.codec);
  EXPECT_EQ(10u, t.sampleCount);
  EXPECT_TRUE(m.hasVideo());
  EXPECT_FALSE(m.hasSound());

  EXPECT_EQ(Times({0, 24, 48, 72, 96, 120, 144, 168, 192, 216}), VideoSampleTimes(m));
  EXPECT_EQ(VideoSampleTimes(m), StepTimes(m));

  uint64_t at = 0;
  for (uint32_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(t.samples.Offset(i, &at));
    EXPECT_EQ(28u + 10 * i, at) << i;
    EXPECT_EQ(10u, t.samples.Size(i));
    EXPECT_EQ(i, t.samples.SyncAtOrBefore(i)) << "without stss every sample is a sync sample";
  }
  EXPECT_FALSE(t.samples.Offset(10, &at));
}

TEST(ContainerParse, ChunkOffsetsWideAndPastTheEnd) {
  Movie spec;
  spec.wideOffsets = true;
  spec.perChunk = 3;
  Bytes file = spec.Build();
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(file, &m));
  uint64_t at;
  ASSERT_TRUE(m.tracks[0].samples.Offset(7, &at));
  EXPECT_EQ(28u + 70, at);

  // An offset past the end of the file parses, but locates nothing.
  size_t co = Find(file, "co64");
  Set32(file, co + 16 + 8 * 2, 0xFFFFFFFF);
  ASSERT_EQ(ParseStatus::Ok, Parse(file, &m));
  EXPECT_FALSE(m.tracks[0].samples.Offset(7, &at));
  EXPECT_TRUE(m.tracks[0].samples.Offset(5, &at));
}

TEST(ContainerParse, ReorderedFramesThroughEditList) {
  // Decode order I0 P3 B1 B2 P5 B4, shown 200 units late; the edit skips
  // the delay.
  Movie spec;
  spec.deltas.assign(6, 100);
  const int display[6] = {0, 3, 1, 2, 5, 4};
  for (int i = 0; i < 6; ++i) spec.offsets.push_back(display[i] * 100 + 200 - i * 100);
  spec.sync = {1, 5};
  spec.edits = {{144, 200, 0x10000}};
  spec.duration = spec.tkhdDuration = 144;
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(Times({0, 24, 48, 72, 96, 120}), VideoSampleTimes(m));

  // In presentation order the fourth frame is the one decoded second, and
  // decoding it starts from the first sync sample.
  const SampleTable& s = m.tracks[0].samples;
  EXPECT_EQ(std::vector<uint32_t>({0, 2, 3, 1, 5, 4}), s.presentationOrder);
  EXPECT_EQ(std::vector<int64_t>({200, 300, 400, 500, 600, 700}), s.presentationTimes);
  EXPECT_EQ(0u, s.SyncAtOrBefore(1));
  EXPECT_EQ(4u, s.SyncAtOrBefore(5));
  EXPECT_EQ(4u, s.SyncAtOrBefore(4));
}

TEST(ContainerParse, EmptyEditsMidFrameEditsAndHeldFrames) {
  Movie spec;
  spec.duration = 720;
  // A second of nothing, then media from the middle of its second frame.
  spec.edits = {{600, -1, 0x10000}, {120, 150, 0x10000}};
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(Times({600, 612, 636, 660, 684, 708}), VideoSampleTimes(m));

  // Rate 0 holds one frame for the whole edit.
  spec.edits = {{300, 400, 0}};
  spec.duration = 300;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(Times({0}), VideoSampleTimes(m));
}

TEST(ContainerParse, SoundOnlyStepsInHundredths) {
  Movie spec;
  spec.handler = "soun";
  spec.timeScale = spec.mediaScale = 44100;
  spec.deltas.assign(108, 1024);
  spec.duration = spec.tkhdDuration = 110250;  // 2.5 s
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_FALSE(m.hasVideo());
  EXPECT_TRUE(m.hasSound());
  EXPECT_EQ(0, m.width);
  EXPECT_TRUE(VideoSampleTimes(m).empty());
  std::vector<int32_t> steps = StepTimes(m);
  ASSERT_EQ(250u, steps.size());
  EXPECT_EQ(441, steps[1]);
  EXPECT_EQ(249 * 441, steps.back());

  // Very long sound: the step widens instead of the list growing.
  spec.timeScale = 1;
  spec.duration = 0x7fffffff;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  steps = StepTimes(m);
  EXPECT_LE(steps.size(), size_t(kMaxSteps) + 1);
  EXPECT_GT(steps.size(), size_t(kMaxSteps) / 2);
  EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
}

TEST(ContainerHostile, NotMoviesAndTruncation) {
  EXPECT_EQ(ParseStatus::NotAMovie, Parse(Bytes()));
  EXPECT_EQ(ParseStatus::NotAMovie, Parse(Bytes(7, 0)));
  std::string text = "hello, this is not a movie at all";
  EXPECT_EQ(ParseStatus::NotAMovie, Parse(Bytes(text.begin(), text.end())));
  EXPECT_EQ(ParseStatus::NotAMovie, Parse(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0}));

  // Cut anywhere before its last byte, a movie with its moov at the end is
  // not a movie we can read: cut inside an atom, it is truncated; cut
  // between atoms, it has no moov.
  Bytes file = Movie().Build();
  const size_t moov = Find(file, "moov");
  for (size_t cut = 0; cut < file.size(); ++cut) {
    Bytes part(file.begin(), file.begin() + ptrdiff_t(cut));
    ParseStatus st = Parse(part);
    bool boundary = cut < 8 || cut == 20 || cut == moov;
    EXPECT_EQ(boundary ? ParseStatus::NotAMovie : ParseStatus::Truncated, st) << cut;
  }
}

TEST(ContainerHostile, SizesPastTheEnd) {
  Bytes file = Movie().Build();
  Bytes bad = file;
  size_t moov = Find(bad, "moov");
  Set32(bad, moov, uint32_t(bad.size() - moov + 1));
  EXPECT_EQ(ParseStatus::Truncated, Parse(bad));

  bad = file;  // a 64-bit size far past the end
  Set32(bad, moov, 1);
  bad.insert(bad.begin() + ptrdiff_t(moov) + 8, {0x7f, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ParseStatus::Truncated, Parse(bad));

  bad = file;  // an atom inside the moov that overruns it
  Set32(bad, Find(bad, "stts"), 0x10000);
  EXPECT_EQ(ParseStatus::Corrupt, Parse(bad));
  bad = file;
  Set32(bad, Find(bad, "stbl"), 3);
  EXPECT_EQ(ParseStatus::Corrupt, Parse(bad));
}

TEST(ContainerHostile, HugeCounts) {
  Movie spec;
  spec.deltas = {100};
  Bytes file = spec.Build();
  const size_t stts = Find(file, "stts"), stsz = Find(file, "stsz");

  Bytes bad = file;  // 2^31 video samples, all said to be 10 bytes
  Set32(bad, stts + 16, 0x80000000u);
  Set32(bad, stsz + 16, 0x80000000u);
  EXPECT_EQ(ParseStatus::TooLarge, Parse(bad));

  bad = file;  // 2^31 sizes listed in a table of one
  Set32(bad, stsz + 12, 0);
  Set32(bad, stsz + 16, 0x80000000u);
  EXPECT_EQ(ParseStatus::Corrupt, Parse(bad));

  for (const char* table : {"stts", "stsc", "stco", "stsd"}) {
    bad = file;
    Set32(bad, Find(bad, table) + 12, 0x80000000u);  // entry count
    ParseStatus st = Parse(bad);
    if (strcmp(table, "stsd") == 0) EXPECT_EQ(ParseStatus::Ok, st);
    else EXPECT_EQ(ParseStatus::Corrupt, st) << table;
  }

  // More frames than the file has bytes.
  bad = file;
  Set32(bad, stts + 16, 100000);
  Set32(bad, stsz + 16, 100000);
  EXPECT_EQ(ParseStatus::TooLarge, Parse(bad));

  // Sound is never listed sample by sample, so 2^31 of them is fine.
  spec.handler = "soun";
  bad = spec.Build();
  Set32(bad, stts + 16, 0x80000000u);
  Set32(bad, stts + 20, 1);
  Set32(bad, stsz + 16, 0x80000000u);
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(bad, &m));
  EXPECT_EQ(0x80000000u, m.tracks[0].sampleCount);
  EXPECT_FALSE(StepTimes(m).empty());
}

TEST(ContainerHostile, ZeroTimeScalesAndDurations) {
  Bytes file = Movie().Build();
  Bytes bad = file;
  Set32(bad, Find(bad, "mvhd") + 20, 0);
  EXPECT_EQ(ParseStatus::Corrupt, Parse(bad));
  bad = file;
  Set32(bad, Find(bad, "mdhd") + 20, 0);
  EXPECT_EQ(ParseStatus::Corrupt, Parse(bad));

  // No movie duration: the track's own.
  bad = file;
  Set32(bad, Find(bad, "mvhd") + 24, 0);
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(bad, &m));
  EXPECT_EQ(240, m.duration);

  // No duration anywhere: an empty movie, not an error.
  Set32(bad, Find(bad, "tkhd") + 28, 0);
  ASSERT_EQ(ParseStatus::Ok, Parse(bad, &m));
  EXPECT_EQ(0, m.duration);
  EXPECT_TRUE(VideoSampleTimes(m).empty());

  // Durations past 32 bits.
  Movie spec;
  spec.duration = 0x80000000u;
  EXPECT_EQ(ParseStatus::TooLarge, Parse(spec.Build()));
}

TEST(ContainerHostile, NestingAndFloodsStayBounded) {
  Bytes mvhd = Atom("mvhd", Cat({U32(0), Zeros(8), U32(600), U32(0), Zeros(80)}));
  // trak within trak, 100,000 deep: only headers, each sized to hold the rest.
  Bytes nest;
  const int depth = 100000;
  for (int i = 0; i < depth; ++i) {
    Put(nest, uint64_t(depth - i) * 8, 4);
    nest.insert(nest.end(), {'t', 'r', 'a', 'k'});
  }
  EXPECT_EQ(ParseStatus::Corrupt, Parse(Atom("moov", Cat({mvhd, nest}))));

  Bytes flood;
  for (int i = 0; i < 70000; ++i) Append(flood, Cat({U32(8), Bytes{'f', 'r', 'e', 'e'}}));
  EXPECT_EQ(ParseStatus::NotAMovie, Parse(Cat({flood, Atom("moov", mvhd)})));

  Bytes file = Movie().Build();
  const size_t at = Find(file, "trak");
  Bytes trak(file.begin() + ptrdiff_t(at), file.end());  // the moov ends with it
  Bytes tracks = mvhd;
  for (uint32_t i = 0; i <= kMaxTracks; ++i) Append(tracks, trak);
  EXPECT_EQ(ParseStatus::TooLarge, Parse(Cat({Bytes(file.begin(), file.begin() + 128), Atom("moov", tracks)})));

  EXPECT_EQ(ParseStatus::Unsupported, Parse(Atom("moov", Cat({mvhd, Atom("cmov", Zeros(16))}))));
  // Fragments announced but none there: an empty movie, not an error.
  EXPECT_EQ(ParseStatus::Ok, Parse(Atom("moov", Cat({mvhd, Atom("mvex", Zeros(16))}))));
  EXPECT_EQ(ParseStatus::Corrupt, Parse(Atom("moov", Bytes())));
}

TEST(ContainerHostile, EditsThatReplayTheMediaEndlessly) {
  // A thousand frames squeezed into one movie unit, replayed by 100,000
  // edits: the list is cut, the walk ends.
  Movie spec;
  spec.deltas.assign(1000, 1);
  spec.mediaScale = 0x7fffffff;
  spec.duration = 100000;
  spec.sampleSize = 1;
  spec.edits.assign(100000, Edit{1, 0, 0x10000});
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  std::vector<int32_t> times = VideoSampleTimes(m);
  EXPECT_FALSE(times.empty());
  EXPECT_LE(times.size(), 100000u);
}
