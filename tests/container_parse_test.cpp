// The movie reader on movies built byte by byte: edit lists, reordered
// frames, chunk tables, and damaged or hostile files.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "engine/container/atom_reader.h"
#include "engine/container/movie_file.h"
#include "engine/container/top_level_boxes.h"

using namespace vmedia;

namespace {

// The decode index of the sample shown from each video sample time.
std::vector<uint32_t> ShownSampleIndices(const MovieModel& m) {
  std::vector<uint32_t> indices;
  VideoSamples(m, nullptr, &indices);
  return indices;
}

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
  uint32_t flags = 1;                         // tkhd: enabled
  std::vector<int32_t> matrix;                // tkhd a, b, c, d (16.16); zeros when empty
  uint32_t tkhdWidth = 320u << 16, tkhdHeight = 240u << 16;
  uint16_t codedWidth = 0, codedHeight = 0;   // visual sample entry
  uint32_t paspH = 0, paspV = 0;              // no pasp when 0
  Bytes mvex;                                 // its payload; no mvex when empty
  Bytes sampleEntry;                          // the whole stsd entry; an avc1 one when empty

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
    Bytes entry = Cat({Zeros(24), Bytes{uint8_t(codedWidth >> 8), uint8_t(codedWidth), uint8_t(codedHeight >> 8),
                                        uint8_t(codedHeight)},
                       Zeros(50)});
    if (paspH) Append(entry, Atom("pasp", Cat({U32(paspH), U32(paspV)})));
    Bytes stbl = Cat({Atom("stsd", Cat({U32(0), U32(1), sampleEntry.empty() ? Atom("avc1", entry) : sampleEntry})),
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

    Bytes m = Zeros(36);
    for (size_t i = 0; i < matrix.size() && i < 4; ++i)
      for (int k = 0; k < 4; ++k) m[(i < 2 ? i : i + 1) * 4 + size_t(k)] = uint8_t(uint32_t(matrix[i]) >> (24 - 8 * k));
    Bytes tkhd = Cat({U32(flags), Zeros(8), U32(1), Zeros(4), U32(tkhdDuration), Zeros(16), m,
                      U32(tkhdWidth), U32(tkhdHeight)});
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
    Bytes moov = Cat({Atom("mvhd", mvhd), Atom("trak", trak)});
    if (!mvex.empty()) Append(moov, Atom("mvex", mvex));
    return Cat({ftyp, mdat, Atom("moov", moov)});
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
  EXPECT_EQ(0x61766331u, t.description.format);
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

// Where an edit shows nothing from its start (empty, or media with no
// frame on there), the walk says so; the frames' times and the steps of
// time code text leave the span out.
TEST(ContainerParse, EditsThatShowNothingFromTheirStart) {
  Movie spec;
  // Frames 0 and 1, 120 units of nothing, then frames 5 and 6.
  spec.edits = {{48, 0, 0x10000}, {120, -1, 0x10000}, {48, 500, 0x10000}};
  spec.duration = 216;
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  std::vector<int32_t> times, blanks;
  std::vector<uint32_t> indices;
  VideoSamples(m, &times, &indices, &blanks);
  EXPECT_EQ(Times({0, 24, 168, 192}), times);
  EXPECT_EQ(std::vector<uint32_t>({0, 1, 5, 6}), indices);
  EXPECT_EQ(Times({48}), blanks);
  EXPECT_EQ(times, StepTimes(m));

  // Empty first; media past the media's end (its last frame ends at 1000);
  // then media within the last frame, which shows from the edit's start.
  spec.edits = {{60, -1, 0x10000}, {48, 0, 0x10000}, {48, 5000, 0x10000}, {48, 950, 0x10000}};
  spec.duration = 204;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  VideoSamples(m, &times, &indices, &blanks);
  EXPECT_EQ(Times({60, 84, 156}), times);
  EXPECT_EQ(std::vector<uint32_t>({0, 1, 9}), indices);
  EXPECT_EQ(Times({0, 108}), blanks);

  // Media that starts late (shown 200 units after its decode): nothing
  // until the first frame; edits of no length mark nothing.
  spec.offsets.assign(10, 200);
  spec.edits = {{0, -1, 0x10000}, {96, 0, 0x10000}};
  spec.duration = 96;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  VideoSamples(m, &times, nullptr, &blanks);
  EXPECT_EQ(Times({48, 72}), times);
  EXPECT_EQ(Times({0}), blanks);
}

// The steps of sound alone, whatever its time scale: a movie's, a WAV
// file's frame rate, Media Foundation's 600.
TEST(ContainerParse, HundredthSteps) {
  EXPECT_EQ(Times({0, 6, 12, 18}), HundredthSteps(19, 600));
  EXPECT_EQ(Times({0, 6, 12}), HundredthSteps(18, 600)) << "only times before the end";
  std::vector<int32_t> wave = HundredthSteps(22050 * 3 / 2, 22050);
  ASSERT_EQ(150u, wave.size());
  EXPECT_EQ(220, wave[1]) << "floor(220.5)";
  EXPECT_EQ(441, wave[2]);
  EXPECT_EQ(149 * 22050 / 100, wave.back());
  // Fewer units than hundredths a second: each unit once.
  EXPECT_EQ(Times({0, 1, 2, 3, 4}), HundredthSteps(5, 50));
  EXPECT_TRUE(HundredthSteps(0, 600).empty());
  EXPECT_TRUE(HundredthSteps(-5, 600).empty());
  EXPECT_TRUE(HundredthSteps(600, 0).empty());
  // Past kMaxSteps hundredths the step widens evenly: 13 hours.
  const int64_t hours13 = int64_t(13) * 3600 * 600;
  std::vector<int32_t> longSound = HundredthSteps(hours13, 600);
  ASSERT_LE(longSound.size(), size_t(kMaxSteps));
  ASSERT_GT(longSound.size(), size_t(kMaxSteps) / 2);
  EXPECT_EQ(12, longSound[1]) << "every second hundredth";
  EXPECT_GE(longSound.back(), hours13 - 12);
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

// One list of top-level types decides both whether a file is one for the
// movie reader at all and whether a first box that overruns the file is a
// cut movie or some other kind of file.
TEST(ContainerHostile, FirstBoxOfAKnownType) {
  const Bytes movie = Movie().Build();
  for (const char* type : {"ftyp", "moov", "mdat", "free", "skip", "uuid", "meta", "wide", "pnot", "junk", "moof",
                           "mfra", "styp", "sidx"}) {
    SCOPED_TRACE(type);
    const Bytes first = Atom(type, Zeros(8));
    Bytes file = Cat({first, movie});
    MemorySource src(file.data(), file.size());
    EXPECT_TRUE(StartsWithKnownBox(src));
    if (strcmp(type, "moov") != 0) {
      EXPECT_EQ(ParseStatus::Ok, Parse(file));
    }
    Set32(file, 0, uint32_t(file.size() + 1));
    EXPECT_EQ(ParseStatus::Truncated, Parse(file)) << "a movie cut short";
  }
  for (const char* type : {"RIFF", "abcd", "mp4a", "trak"}) {
    SCOPED_TRACE(type);
    Bytes file = Cat({Atom(type, Zeros(8)), movie});
    MemorySource src(file.data(), file.size());
    EXPECT_FALSE(StartsWithKnownBox(src));
    EXPECT_EQ(ParseStatus::Ok, Parse(file)) << "a box of any type may come before the moov";
    Set32(file, 0, uint32_t(file.size() + 1));
    EXPECT_EQ(ParseStatus::NotAMovie, Parse(file)) << "some other kind of file";
  }
  Bytes tiny(7, 0);
  MemorySource src(tiny.data(), tiny.size());
  EXPECT_FALSE(StartsWithKnownBox(src));
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

TEST(ContainerParse, TurnsMirrorsAndPixelAspect) {
  const int32_t one = 0x10000, minus = -0x10000;
  struct Case { std::vector<int32_t> abcd; int turn; bool mirrored; };
  for (const Case& c : {Case{{one, 0, 0, one}, 0, false}, Case{{0, one, minus, 0}, 90, false},
                        Case{{minus, 0, 0, minus}, 180, false}, Case{{0, minus, one, 0}, 270, false},
                        Case{{minus, 0, 0, one}, 0, true}, Case{{0, minus, minus, 0}, 90, true},
                        Case{{one, 0, 0, minus}, 180, true}, Case{{0, one, one, 0}, 270, true},
                        // Twice the size, still a quarter turn; 45 degrees and a shear are none.
                        Case{{0, 2 * one, -2 * one, 0}, 90, false}, Case{{46341, 46341, -46341, 46341}, 0, false},
                        Case{{one, one, 0, one}, 0, false}}) {
    Movie spec;
    spec.matrix = c.abcd;
    MovieModel m;
    ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
    EXPECT_EQ(c.turn, m.tracks[0].turn) << c.abcd[0] << " " << c.abcd[1];
    EXPECT_EQ(c.mirrored, m.tracks[0].mirrored) << c.abcd[0] << " " << c.abcd[1];
    const bool sideways = c.turn % 180 != 0;
    EXPECT_EQ(sideways ? 240 : 320, m.width);
    EXPECT_EQ(sideways ? 320 : 240, m.height);
  }

  // Without a tkhd size: the coded size at the pixel aspect.
  Movie spec;
  spec.tkhdWidth = spec.tkhdHeight = 0;
  spec.codedWidth = 720;
  spec.codedHeight = 480;
  spec.paspH = 32;
  spec.paspV = 27;
  spec.matrix = {0, 0x10000, -0x10000, 0};
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  const Track& t = m.tracks[0];
  EXPECT_EQ(720u, t.description.width);
  EXPECT_EQ(32u, t.description.aspectH);
  EXPECT_NEAR(853.33, t.width, 0.01);
  EXPECT_EQ(480, m.width);  // turned
  EXPECT_EQ(853, m.height);
  // The tkhd repeating the coded size of non-square pixels: the same.
  spec.tkhdWidth = 720u << 16;
  spec.tkhdHeight = 480u << 16;
  spec.matrix.clear();
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(853, m.width);
  // Any other tkhd size is the display size.
  spec.tkhdWidth = 640u << 16;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(640, m.width);
  EXPECT_EQ(480, m.height);
  // A zero spacing is no aspect.
  spec.tkhdWidth = spec.tkhdHeight = 0;
  spec.paspV = 0;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(720, m.width);
}

// The video track is the first enabled one with samples; the times and the
// size are its alone.
TEST(ContainerParse, OneVideoTrackOfSeveral) {
  Movie empty;  // enabled, no samples
  empty.deltas.clear();
  Movie disabled;
  disabled.flags = 0;
  disabled.deltas.assign(10, 50);
  Movie chosen;
  chosen.tkhdWidth = 160u << 16;
  chosen.tkhdHeight = 120u << 16;
  Movie later;
  later.deltas.assign(10, 37);
  auto trakOf = [](const Movie& spec) {
    Bytes file = spec.Build();
    size_t at = Find(file, "trak");
    return Bytes(file.begin() + ptrdiff_t(at), file.end());  // the moov ends with it
  };
  Bytes file = chosen.Build();
  const size_t moov = Find(file, "moov");
  Bytes body(file.begin() + ptrdiff_t(moov) + 8, file.end());
  const size_t trak = Find(body, "trak");
  Bytes moovBody = Cat({Bytes(body.begin(), body.begin() + ptrdiff_t(trak)), trakOf(empty), trakOf(disabled),
                        Bytes(body.begin() + ptrdiff_t(trak), body.end()), trakOf(later)});
  file = Cat({Bytes(file.begin(), file.begin() + ptrdiff_t(moov)), Atom("moov", moovBody)});
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(file, &m));
  ASSERT_EQ(4u, m.tracks.size());
  EXPECT_EQ(2, m.videoTrack());
  EXPECT_TRUE(m.hasVideo());
  EXPECT_EQ(160, m.width);
  EXPECT_EQ(120, m.height);
  EXPECT_EQ(Times({0, 24, 48, 72, 96, 120, 144, 168, 192, 216}), VideoSampleTimes(m));
}

TEST(ContainerParse, SampleDataInFile) {
  Movie spec;
  Bytes file = spec.Build();
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(file, &m));
  EXPECT_EQ(SampleData::Whole, SampleDataInFile(m.tracks[0]));
  const size_t co = Find(file, "stco") + 16;
  Bytes bad = file;  // the last chunk past the end: cut
  Set32(bad, co + 4 * 2, uint32_t(bad.size()));
  ASSERT_EQ(ParseStatus::Ok, Parse(bad, &m));
  EXPECT_EQ(SampleData::Cut, SampleDataInFile(m.tracks[0]));
  bad = file;  // the first: nothing to show
  Set32(bad, co, uint32_t(bad.size() - 5));
  ASSERT_EQ(ParseStatus::Ok, Parse(bad, &m));
  EXPECT_EQ(SampleData::None, SampleDataInFile(m.tracks[0]));
  EXPECT_EQ(240, m.duration) << "the moov still answers its duration";
  spec.deltas.clear();
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(SampleData::None, SampleDataInFile(m.tracks[0]));
  EXPECT_FALSE(m.hasVideo());
}

namespace {

Bytes Box(const char* type, uint32_t versionFlags, const Bytes& body) { return Atom(type, Cat({U32(versionFlags), body})); }

struct Sample { uint32_t duration, size, flags; int32_t offset; };

// A trun: per-sample fields as its flags say, or count samples of the
// defaults when samples is empty.
Bytes Trun(uint32_t flags, const std::vector<Sample>& samples, int32_t dataOffset = 0, uint32_t firstFlags = 0,
           uint32_t count = 0) {
  Bytes b = U32(samples.empty() ? count : uint32_t(samples.size()));
  if (flags & 0x1) Append(b, U32(uint32_t(dataOffset)));
  if (flags & 0x4) Append(b, U32(firstFlags));
  for (const Sample& s : samples) {
    if (flags & 0x100) Append(b, U32(s.duration));
    if (flags & 0x200) Append(b, U32(s.size));
    if (flags & 0x400) Append(b, U32(s.flags));
    if (flags & 0x800) Append(b, U32(uint32_t(s.offset)));
  }
  return Box("trun", flags, b);
}

Bytes Tfdt(uint64_t time) {
  Bytes b;
  Put(b, time, 8);
  return Box("tfdt", 1u << 24, b);
}

constexpr uint32_t kNonSync = 0x10000;

// A video track with no samples in its moov, defaults of 100 units, 10
// bytes and not sync, then fragments appended by Add.
struct Fragmented {
  Movie spec;
  Bytes file;
  Fragmented(bool moovSamples = false) {
    if (!moovSamples) spec.deltas.clear();
    spec.duration = spec.tkhdDuration = moovSamples ? 240 : 0;
    spec.mvex = Box("trex", 0, Cat({U32(1), U32(1), U32(100), U32(10), U32(kNonSync)}));
    file = spec.Build();
  }
  // Appends moof{mfhd, trafs} and an mdat of payload bytes, each byte the
  // value marker; the moof's offset is returned.
  size_t Add(const Bytes& trafs, size_t payload, uint8_t marker) {
    const size_t at = file.size();
    Append(file, Atom("moof", Cat({Box("mfhd", 0, U32(1)), trafs})));
    Append(file, Atom("mdat", Bytes(payload, marker)));
    return at;
  }
};

// Size of moof{mfhd, traf{trafBody}} and the mdat header: where a moof's
// data starts when its mdat follows it.
int32_t DataStart(const Bytes& trafBody) { return int32_t(8 + 16 + 8 + trafBody.size() + 8); }

uint8_t ByteAt(const Bytes& file, const SampleTable& s, uint32_t sample) {
  uint64_t at;
  if (!s.Offset(sample, &at)) return 0;
  return file[size_t(at)];
}

}  // namespace

TEST(ContainerFragments, RunsDefaultsOffsetsAndSyncSamples) {
  Fragmented f;
  // First moof: offsets from the moof; four samples of the defaults, the
  // first a sync sample, then two of their own sizes and composition
  // offsets, whose data follows on.
  Bytes traf1 = Cat({Box("tfhd", 0x20000, U32(1)), Tfdt(0),
                     Trun(0x1 | 0x4, {}, 0, 0, 4),
                     Trun(0x200 | 0x800, {{0, 5, 0, 200}, {0, 7, 0, -100}})});
  const int32_t start1 = DataStart(traf1);
  traf1 = Cat({Box("tfhd", 0x20000, U32(1)), Tfdt(0), Trun(0x1 | 0x4, {}, start1, 0, 4),
               Trun(0x200 | 0x800, {{0, 5, 0, 200}, {0, 7, 0, -100}})});
  f.Add(Atom("traf", traf1), 52, 0xA1);
  // Second: an explicit base and defaults of its own, no tfdt (the time
  // runs on); a track the moov does not have is stepped over.
  const uint64_t base2 = f.file.size() + 16 + 8 + 2 * 60 + 8;  // see below
  Bytes tfhd2 = Cat({U32(1), U32(0), U32(uint32_t(base2)), U32(50), U32(3)});
  Bytes traf2 = Cat({Box("tfhd", 0x1 | 0x8 | 0x10, tfhd2), Trun(0x1, {}, 0, 0, 3)});
  Bytes other = Cat({Box("tfhd", 0x1 | 0x8 | 0x10, Cat({U32(9), U32(0), U32(uint32_t(base2)), U32(50), U32(3)})),
                     Trun(0x1, {}, 0, 0, 3)});
  ASSERT_EQ(60u, Atom("traf", traf2).size());
  ASSERT_EQ(60u, Atom("traf", other).size());
  f.Add(Cat({Atom("traf", traf2), Atom("traf", other)}), 9, 0xB2);
  // Third: a gap in decode time, durations and flags per sample.
  Bytes traf3 = Cat({Box("tfhd", 0, U32(1)), Tfdt(1000), Trun(0x1 | 0x100 | 0x400, {{100, 0, 0, 0}, {100, 0, kNonSync, 0}})});
  const size_t at3 = f.file.size();
  traf3 = Cat({Box("tfhd", 0, U32(1)), Tfdt(1000),
               Trun(0x1 | 0x100 | 0x400, {{100, 0, 0, 0}, {100, 0, kNonSync, 0}}, DataStart(traf3))});
  ASSERT_EQ(at3, f.Add(Atom("traf", traf3), 20, 0xC3));

  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(f.file, &m));
  const Track& t = m.tracks[0];
  ASSERT_EQ(11u, t.sampleCount);
  EXPECT_EQ(11u, t.fragmentSamples);
  const SampleTable& s = t.samples;
  const uint32_t sizes[11] = {10, 10, 10, 10, 5, 7, 3, 3, 3, 10, 10};
  const uint32_t durations[11] = {100, 100, 100, 100, 100, 100, 50, 50, 50, 100, 100};
  const uint8_t markers[11] = {0xA1, 0xA1, 0xA1, 0xA1, 0xA1, 0xA1, 0xB2, 0xB2, 0xB2, 0xC3, 0xC3};
  for (uint32_t i = 0; i < 11; ++i) {
    EXPECT_EQ(sizes[i], s.Size(i)) << i;
    EXPECT_EQ(durations[i], s.Duration(i)) << i;
    EXPECT_EQ(markers[i], ByteAt(f.file, s, i)) << i;
  }
  uint64_t a, b;
  ASSERT_TRUE(s.Offset(3, &a));
  ASSERT_TRUE(s.Offset(4, &b));
  EXPECT_EQ(a + 10, b) << "a run without an offset follows the one before";
  ASSERT_TRUE(s.Offset(5, &a));
  EXPECT_EQ(b + 5, a);
  ASSERT_TRUE(s.Offset(6, &a));
  EXPECT_EQ(base2, a);
  EXPECT_EQ(0u, s.SyncAtOrBefore(8));
  EXPECT_EQ(9u, s.SyncAtOrBefore(9));
  EXPECT_EQ(9u, s.SyncAtOrBefore(10));
  EXPECT_EQ(0u, s.SyncAtOrBefore(3));
  // Presentation: the composition offsets and the tfdt gap.
  EXPECT_EQ(std::vector<int64_t>({0, 100, 200, 300, 400, 600, 600, 650, 700, 1000, 1100}),
            std::vector<int64_t>(s.presentationTimes.begin(), s.presentationTimes.end()));
  // No duration in the moov: what the samples cover, 1200 of 2500 a second.
  EXPECT_EQ(288, m.duration);
  EXPECT_EQ(10u, VideoSampleTimes(m).size());  // two frames start at 600
}

TEST(ContainerFragments, AfterTheMoovsSamplesAndLongerThanItSays) {
  Fragmented f(true);
  Bytes traf = Cat({Box("tfhd", 0x20000, U32(1)), Tfdt(1000), Trun(0x1, {}, 0, 0, 2)});
  traf = Cat({Box("tfhd", 0x20000, U32(1)), Tfdt(1000), Trun(0x1, {}, DataStart(traf), 0, 2)});
  f.Add(Atom("traf", traf), 20, 0xD4);
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(f.file, &m));
  const Track& t = m.tracks[0];
  ASSERT_EQ(12u, t.sampleCount);
  EXPECT_EQ(2u, t.fragmentSamples);
  EXPECT_EQ(0xAB, ByteAt(f.file, t.samples, 9));
  EXPECT_EQ(0xD4, ByteAt(f.file, t.samples, 10));
  EXPECT_EQ(0xD4, ByteAt(f.file, t.samples, 11));
  // Without stss every moov sample is a sync sample; the fragment's are
  // not (trex's flags).
  EXPECT_EQ(9u, t.samples.SyncAtOrBefore(9));
  EXPECT_EQ(9u, t.samples.SyncAtOrBefore(11));
  EXPECT_EQ(288, m.duration);  // not the moov's 240
  EXPECT_EQ(288, t.tkhdDuration);
  EXPECT_EQ(12u, VideoSampleTimes(m).size());

  // mehd says longer still.
  f.spec.mvex = Cat({Box("mehd", 0, U32(500)), f.spec.mvex});
  Bytes withMehd = f.spec.Build();
  const size_t moofAt = Find(f.file, "moof");
  Bytes rest(f.file.begin() + ptrdiff_t(moofAt), f.file.end());
  // The moov grew by the mehd; the moof's own offsets are relative to it.
  Append(withMehd, rest);
  ASSERT_EQ(ParseStatus::Ok, Parse(withMehd, &m));
  EXPECT_EQ(500, m.duration);
}

// The first fragment that cannot be read whole ends the fragments; those
// before it stand, and nothing after it is read.
TEST(ContainerFragments, DamagedFragmentsEndTheScan) {
  Fragmented good;
  auto addGood = [](Fragmented& f) {
    Bytes traf = Cat({Box("tfhd", 0x20000, U32(1)), Tfdt(0), Trun(0x1 | 0x4, {}, 0, 0, 2)});
    traf = Cat({Box("tfhd", 0x20000, U32(1)), Tfdt(0), Trun(0x1 | 0x4, {}, DataStart(traf), 0, 2)});
    f.Add(Atom("traf", traf), 20, 0xE5);
  };
  addGood(good);
  const size_t goodSize = good.file.size();

  struct Case { const char* what; Bytes traf; };
  const Bytes tfhd = Box("tfhd", 0x20000, U32(1));
  Bytes overrun = Trun(0x200, {{0, 10, 0, 0}, {0, 10, 0, 0}});
  Set32(overrun, 12, 1000);  // a thousand sizes in a box of two
  const Case cases[] = {
      {"a sample table overrunning its box", Cat({tfhd, overrun})},
      {"2^31 samples of the defaults", Cat({tfhd, Trun(0x1, {}, 40, 0, 0x80000000u)})},
      {"data past the end", Cat({tfhd, Trun(0x1, {}, 0x7fffffff, 0, 1)})},
      {"data before the file", Cat({tfhd, Trun(0x1, {}, -0x7fffffff, 0, 1)})},
      {"a base past the end", Cat({Box("tfhd", 0x1, Cat({U32(1), U32(0), U32(0x7fffffff)})), Trun(0, {}, 0, 0, 1)})},
      {"no tfhd", Cat({Tfdt(0), Trun(0x1, {}, 40, 0, 1)})},
      {"a tfhd cut short", Cat({Box("tfhd", 0x1 | 0x8, U32(1)), Trun(0x1, {}, 40, 0, 1)})},
      {"a trun cut short", Cat({tfhd, Box("trun", 0x5, U32(1))})},
      {"a decode time past 2^62", Cat({tfhd, Tfdt(uint64_t(1) << 63), Trun(0x1, {}, 40, 0, 1)})},
  };
  for (const Case& c : cases) {
    Fragmented f = good;
    f.Add(Atom("traf", c.traf), 100, 0xEE);
    addGood(f);  // never read
    MovieModel m;
    ASSERT_EQ(ParseStatus::Ok, Parse(f.file, &m)) << c.what;
    EXPECT_EQ(2u, m.tracks[0].sampleCount) << c.what;
    EXPECT_EQ(0xE5, ByteAt(f.file, m.tracks[0].samples, 1)) << c.what;
  }

  // Other boxes between the fragments, one with a 64-bit size, are stepped
  // over.
  {
    Fragmented f = good;
    Append(f.file, Cat({U32(1), Bytes{'f', 'r', 'e', 'e'}, U32(0), U32(20), Zeros(4)}));
    Append(f.file, Atom("sidx", Zeros(24)));
    addGood(f);
    MovieModel m;
    ASSERT_EQ(ParseStatus::Ok, Parse(f.file, &m));
    EXPECT_EQ(4u, m.tracks[0].sampleCount);
    EXPECT_EQ(0xE5, ByteAt(f.file, m.tracks[0].samples, 3));
    // A 64-bit size that the file ends inside of ends the scan.
    f = good;
    Append(f.file, Cat({U32(1), Bytes{'f', 'r', 'e', 'e'}, U32(0)}));
    ASSERT_EQ(ParseStatus::Ok, Parse(f.file, &m));
    EXPECT_EQ(2u, m.tracks[0].sampleCount);
  }

  // A moof cut by the end of the file.
  Fragmented f = good;
  addGood(f);
  MovieModel m;
  for (size_t cut = goodSize + 8; cut < f.file.size(); cut += 7) {
    ASSERT_EQ(ParseStatus::Ok, Parse(Bytes(f.file.begin(), f.file.begin() + ptrdiff_t(cut)), &m)) << cut;
    // The moof whole or not at all; its mdat may be cut.
    const uint32_t n = m.tracks[0].sampleCount;
    EXPECT_TRUE(n == 2 || n == 4) << cut;
    EXPECT_EQ(n == 2 ? SampleData::Whole : SampleData::Cut, SampleDataInFile(m.tracks[0]))
        << cut;
  }

  // Data that starts in the file but runs past its end is listed: the file
  // was cut in its last mdat.
  f = good;
  Bytes traf = Cat({tfhd, Trun(0x1 | 0x200, {{0, 1000000, 0, 0}}, 0)});
  traf = Cat({tfhd, Trun(0x1 | 0x200, {{0, 1000000, 0, 0}}, DataStart(traf))});
  f.Add(Atom("traf", traf), 10, 0xEE);
  ASSERT_EQ(ParseStatus::Ok, Parse(f.file, &m));
  ASSERT_EQ(3u, m.tracks[0].sampleCount);
  EXPECT_EQ(SampleData::Cut, SampleDataInFile(m.tracks[0]));

  // A flood of empty fragments stays bounded.
  f = good;
  for (int i = 0; i < 300000; ++i) Append(f.file, Cat({U32(8), Bytes{'m', 'o', 'o', 'f'}}));
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(ParseStatus::Ok, Parse(f.file, &m));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_EQ(2u, m.tracks[0].sampleCount);

  // Fragments add no more video frames than kMaxVideoSamples, though the
  // file could back them.
  f = good;
  f.Add(Atom("traf", Cat({tfhd, Trun(0x1, {}, 0, 0, kMaxVideoSamples)})), kMaxVideoSamples, 0);
  EXPECT_EQ(ParseStatus::TooLarge, Parse(f.file));
}

namespace {

Bytes U16(uint32_t v) { Bytes b; Put(b, v, 2); return b; }

// A visual sample entry's fixed fields, then what follows them.
Bytes VisualEntry(const char* format, uint16_t depth, int16_t tableId, const Bytes& after) {
  return Atom(format, Cat({Zeros(6), U16(1), Zeros(16), U16(64), U16(48), U32(0x480000), U32(0x480000), U32(0),
                           U16(1), Zeros(32), U16(depth), U16(uint16_t(tableId)), after}));
}

// A QuickTime sound entry: version 0 or 1 fields (v1's four more given),
// then boxes.
Bytes SoundEntry(const char* format, uint16_t version, uint16_t channels, uint16_t bits, uint32_t rate,
                 const Bytes& v1, const Bytes& boxes) {
  return Atom(format, Cat({Zeros(6), U16(1), U16(version), Zeros(6), U16(channels), U16(bits), U16(0), U16(0),
                           U32(rate << 16), v1, boxes}));
}

SampleDescription Describe(const Bytes& entry, const char* handler = "vide") {
  Movie spec;
  spec.handler = handler;
  spec.sampleEntry = entry;
  MovieModel m;
  EXPECT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  return m.tracks.empty() ? SampleDescription() : m.tracks[0].description;
}

Bytes Esds(const Bytes& es) { return Atom("esds", Cat({U32(0), es})); }

}  // namespace

TEST(ContainerDescription, PalettesInlineDefaultAndGrey) {
  // An inline table of three colours, then fiel and pasp boxes after it.
  Bytes table = Cat({U32(0), U16(0), U16(2)});
  for (uint32_t c : {0x123456u, 0xABCDEFu, 0x00FF00u})
    Append(table, Cat({U16(0), U16((c >> 16 & 0xFF) * 0x101), U16((c >> 8 & 0xFF) * 0x101), U16((c & 0xFF) * 0x101)}));
  SampleDescription d = Describe(VisualEntry(
      "raw ", 8, 0,
      Cat({table, Atom("fiel", Bytes{2, 6}), Atom("pasp", Cat({U32(4), U32(3)})), Atom("pasp", Cat({U32(9), U32(9)}))})));
  EXPECT_EQ(64, d.width);
  EXPECT_EQ(48, d.height);
  ASSERT_EQ(256u, d.palette.size());
  EXPECT_EQ(0xFF123456u, d.palette[0]);
  EXPECT_EQ(0xFFABCDEFu, d.palette[1]);
  EXPECT_EQ(0xFF00FF00u, d.palette[2]);
  EXPECT_EQ(DefaultPalette(8, false)[3], d.palette[3]) << "entries the table leaves out";
  EXPECT_EQ(2u, d.fieldCount) << "boxes after the table are still read";
  EXPECT_EQ(4u, d.aspectH) << "the first pasp";
  EXPECT_EQ(3u, d.aspectV);

  // A table that runs past the entry: the standard one, and no crash.
  Bytes cut = Cat({U32(0), U16(0), U16(200), Zeros(16)});
  d = Describe(VisualEntry("raw ", 8, 0, cut));
  EXPECT_EQ(DefaultPalette(8, false), d.palette);

  // Standard tables (id -1) by depth; 16 bits and up have none.
  d = Describe(VisualEntry("rle ", 4, -1, {}));
  ASSERT_EQ(16u, d.palette.size());
  EXPECT_EQ(0xFFFCF305u, d.palette[1]);
  EXPECT_EQ(0xFF000000u, d.palette[15]);
  const std::vector<uint32_t> p8 = DefaultPalette(8, false);
  ASSERT_EQ(256u, p8.size());
  EXPECT_EQ(0xFFFFFFFFu, p8[0]);
  EXPECT_EQ(0xFFFFFFCCu, p8[1]);
  EXPECT_EQ(0xFFCC0000u, p8[36 + 5 * 6 + 5]);  // the cube: red 1 step down, green and blue 5
  EXPECT_EQ(0xFF000033u, p8[214]);
  EXPECT_EQ(0xFFEE0000u, p8[215]);
  EXPECT_EQ(0xFF00EE00u, p8[225]);
  EXPECT_EQ(0xFF0000EEu, p8[235]);
  EXPECT_EQ(0xFF111111u, p8[254]);
  EXPECT_EQ(0xFF000000u, p8[255]);
  EXPECT_TRUE(Describe(VisualEntry("rle ", 16, -1, {})).palette.empty());
  EXPECT_TRUE(Describe(VisualEntry("rle ", 32, -1, {})).palette.empty());
  EXPECT_EQ(std::vector<uint32_t>({0xFFFFFFFF, 0xFF000000}), Describe(VisualEntry("rle ", 1, -1, {})).palette);

  // Grey depths: 2-bit grey (34) in even steps, 8-bit grey (40).
  d = Describe(VisualEntry("rle ", 34, -1, {}));
  EXPECT_TRUE(d.greyscale);
  EXPECT_EQ(34, d.depth);
  EXPECT_EQ(std::vector<uint32_t>({0xFFFFFFFF, 0xFFAAAAAA, 0xFF555555, 0xFF000000}), d.palette);
  d = Describe(VisualEntry("rle ", 40, -1, {}));
  ASSERT_EQ(256u, d.palette.size());
  EXPECT_EQ(0xFF7F7F7Fu, d.palette[128]);
  EXPECT_FALSE(Describe(VisualEntry("rle ", 24, -1, {})).greyscale);
}

TEST(ContainerDescription, ConfigurationBoxes) {
  const Bytes avcC = {1, 0x64, 0, 0x1f, 0xff, 0xe1, 0, 2, 0x67, 0x42};
  SampleDescription d = Describe(VisualEntry("avc1", 24, -1, Cat({Atom("pasp", Cat({U32(1), U32(1)})), Atom("avcC", avcC)})));
  EXPECT_EQ(FourCC("avc1"), d.format);
  EXPECT_EQ(avcC, d.config);
  EXPECT_EQ(24, d.depth);
  EXPECT_EQ(0u, d.fieldCount);

  // glbl only where no configuration box comes first.
  d = Describe(VisualEntry("mp4v", 24, -1, Atom("glbl", Bytes{9, 8, 7})));
  EXPECT_EQ(Bytes({9, 8, 7}), d.config);
  d = Describe(VisualEntry("hvc1", 24, -1, Cat({Atom("glbl", Bytes{9}), Atom("hvcC", Bytes{1, 2})})));
  EXPECT_EQ(Bytes({1, 2}), d.config);

  // esds: an ES_Descriptor with the stream dependence, URL and OCR fields
  // before its DecoderConfigDescriptor and DecoderSpecificInfo; sizes in the
  // four-byte form some writers use.
  const Bytes dsi = {0x12, 0x10};
  Bytes decoderConfig = Cat({Bytes{0x04, 0x80, 0x80, 0x80, 13 + 2 + 2, 0x40, 0x15}, Zeros(11), Bytes{0x05, 2}, dsi});
  Bytes es = Cat({Bytes{0x03, uint8_t(3 + 2 + 4 + 2 + decoderConfig.size()), 0, 1, 0xE0, 0, 7, 3, 'a', 'b', 'c', 0, 9},
                  decoderConfig});
  d = Describe(VisualEntry("mp4v", 24, -1, Esds(es)));
  EXPECT_EQ(0x40, d.objectType);
  EXPECT_EQ(dsi, d.config);
  // The decoder config alone, without the ES_Descriptor around it.
  d = Describe(VisualEntry("mp4v", 24, -1, Esds(decoderConfig)));
  EXPECT_EQ(dsi, d.config);
  // A descriptor longer than its box: the object type at most, no bytes.
  Bytes longDsi = decoderConfig;
  longDsi[longDsi.size() - 3] = 100;
  d = Describe(VisualEntry("mp4v", 24, -1, Esds(longDsi)));
  EXPECT_EQ(0x40, d.objectType);
  EXPECT_TRUE(d.config.empty());

  // SVQ3: the SMI box payload, from its SEQH.
  const Bytes smi = {'S', 'E', 'Q', 'H', 0, 0, 0, 1, 0x55};
  EXPECT_EQ(smi, Describe(VisualEntry("SVQ3", 24, -1, Atom("SMI ", smi))).config);

  // Past 1 MiB the configuration is refused; the movie still opens.
  d = Describe(VisualEntry("avc1", 24, -1, Atom("avcC", Bytes(kMaxDescriptionConfig + 1, 1))));
  EXPECT_TRUE(d.config.empty());
  EXPECT_EQ(FourCC("avc1"), d.format);
  d = Describe(VisualEntry("avc1", 24, -1, Atom("avcC", Bytes(kMaxDescriptionConfig, 1))));
  EXPECT_EQ(kMaxDescriptionConfig, d.config.size());
}

TEST(ContainerDescription, SoundEntries) {
  // Version 0 'twos' is big-endian; 'enda' in a 'wave' box makes it little.
  SampleDescription d = Describe(SoundEntry("twos", 0, 2, 16, 22050, {}, {}), "soun");
  EXPECT_EQ(2u, d.channels);
  EXPECT_EQ(16u, d.bitsPerSample);
  EXPECT_EQ(22050.0, d.sampleRate);
  EXPECT_TRUE(d.bigEndian);
  EXPECT_EQ(0u, d.samplesPerPacket);
  d = Describe(SoundEntry("in24", 1, 1, 16, 48000, Cat({U32(1), U32(3), U32(3), U32(2)}),
                          Atom("wave", Cat({Atom("frma", U32(FourCC("in24"))), Atom("enda", U16(1)), Zeros(8)}))),
               "soun");
  EXPECT_FALSE(d.bigEndian);
  EXPECT_EQ(FourCC("in24"), d.waveFormat);
  EXPECT_EQ(1u, d.samplesPerPacket);
  EXPECT_EQ(3u, d.bytesPerPacket);
  EXPECT_EQ(3u, d.bytesPerFrame);
  EXPECT_EQ(2u, d.bytesPerSample);
  EXPECT_FALSE(Describe(SoundEntry("sowt", 0, 2, 16, 44100, {}, {}), "soun").bigEndian);

  // AAC in QuickTime: esds inside wave.
  Bytes decoderConfig = Cat({Bytes{0x04, 13 + 4, 0x40, 0x15}, Zeros(11), Bytes{0x05, 2, 0x12, 0x08}});
  Bytes es = Cat({Bytes{0x03, uint8_t(3 + decoderConfig.size()), 0, 1, 0}, decoderConfig});
  d = Describe(SoundEntry("mp4a", 1, 2, 16, 44100, Cat({U32(1024), U32(0), U32(2), U32(2)}),
                          Atom("wave", Cat({Atom("frma", U32(FourCC("mp4a"))), Atom("mp4a", U32(0)), Esds(es), Zeros(8)}))),
               "soun");
  EXPECT_EQ(0x40, d.objectType);
  EXPECT_EQ(Bytes({0x12, 0x08}), d.config);
  EXPECT_EQ(1024u, d.samplesPerPacket);

  // ALAC: the 24 config bytes behind a rebuilt 'alac' box header, whether
  // the box has its version field or not.
  Bytes alacConfig;
  for (int i = 0; i < 24; ++i) alacConfig.push_back(uint8_t(0xA0 + i));
  const Bytes want = Cat({Bytes{0, 0, 0, 36, 'a', 'l', 'a', 'c', 0, 0, 0, 0}, alacConfig});
  EXPECT_EQ(want, Describe(SoundEntry("alac", 0, 2, 16, 44100, {}, Atom("alac", Cat({U32(0), alacConfig}))), "soun").config);
  EXPECT_EQ(want, Describe(SoundEntry("alac", 0, 2, 16, 44100, {}, Atom("alac", alacConfig)), "soun").config);
  EXPECT_TRUE(Describe(SoundEntry("alac", 0, 2, 16, 44100, {}, Atom("alac", Zeros(20))), "soun").config.empty());

  // Version 2: the rate as a double, channels, bits, flags and packet sizes.
  Bytes v2 = Cat({Zeros(6), U16(1), U16(2), Zeros(6), U16(3), U16(16), U16(0xFFFE), U16(0), U32(0x10000), U32(72)});
  double rate = 192000.0;
  uint64_t bits;
  memcpy(&bits, &rate, 8);
  Put(v2, bits, 8);
  Append(v2, Cat({U32(6), U32(0x7F000000), U32(32), U32(kLpcmFloat | kLpcmBigEndian | kLpcmPacked), U32(24), U32(1)}));
  d = Describe(Atom("lpcm", v2), "soun");
  EXPECT_EQ(2u, d.version);
  EXPECT_EQ(192000.0, d.sampleRate);
  EXPECT_EQ(6u, d.channels);
  EXPECT_EQ(32u, d.bitsPerSample);
  EXPECT_EQ(kLpcmFloat | kLpcmBigEndian | kLpcmPacked, d.lpcmFlags);
  EXPECT_EQ(24u, d.constBytesPerPacket);
  EXPECT_EQ(1u, d.constFramesPerPacket);
  EXPECT_TRUE(d.bigEndian);
  // A rate that is not a number reads as none.
  Bytes nan = v2;
  for (size_t i = 0; i < 8; ++i) nan[32 + i] = 0xFF;
  EXPECT_EQ(0.0, Describe(Atom("lpcm", nan), "soun").sampleRate);

  // ISO's version 1 entry has boxes straight after the version 0 fields; a
  // rate above 65535 Hz comes from srat.
  d = Describe(SoundEntry("mp4a", 1, 2, 16, 0, {}, Atom("srat", Cat({U32(0), U32(96000)}))), "soun");
  EXPECT_EQ(96000.0, d.sampleRate);
  EXPECT_EQ(0u, d.samplesPerPacket);
}

// Every entry cut at every length, and every byte of one flipped: fields
// lost, never a crash or a read outside the entry (the sanitizers watch).
TEST(ContainerDescription, DamagedEntries) {
  Bytes table = Cat({U32(0), U16(0), U16(1), Zeros(16)});
  Bytes decoderConfig = Cat({Bytes{0x04, 13 + 4, 0x40, 0x15}, Zeros(11), Bytes{0x05, 2, 0x12, 0x08}});
  Bytes es = Cat({Bytes{0x03, uint8_t(3 + decoderConfig.size()), 0, 1, 0}, decoderConfig});
  const std::pair<Bytes, const char*> entries[] = {
      {VisualEntry("raw ", 8, 0, Cat({table, Atom("fiel", Bytes{1, 0}), Atom("glbl", Bytes{1})})), "vide"},
      {VisualEntry("mp4v", 24, -1, Esds(es)), "vide"},
      {SoundEntry("mp4a", 1, 2, 16, 44100, Cat({U32(1024), U32(0), U32(2), U32(2)}),
                  Atom("wave", Cat({Atom("frma", U32(FourCC("mp4a"))), Atom("enda", U16(1)), Esds(es),
                                    Atom("alac", Zeros(28))}))),
       "soun"},
  };
  for (const auto& e : entries) {
    for (size_t n = 8; n <= e.first.size(); ++n) {
      Bytes cut(e.first.begin(), e.first.begin() + ptrdiff_t(n));
      Set32(cut, 0, uint32_t(n));
      SampleDescription d = Describe(cut, e.second);
      EXPECT_LE(d.palette.size(), 256u);
      EXPECT_LE(d.config.size(), n);
    }
    for (size_t i = 8; i < e.first.size(); ++i) {
      Bytes bad = e.first;
      bad[i] ^= 0xFF;
      SampleDescription d = Describe(bad, e.second);
      EXPECT_LE(d.config.size(), bad.size());
    }
  }
}

// Decode order I0 P3 B1 B2 P5 B4 shown 200 units late, key frames 0 and 4.
TEST(ContainerSamples, SampleAtIndicesAndMediaTimes) {
  Movie spec;
  spec.deltas.assign(6, 100);
  const int display[6] = {0, 3, 1, 2, 5, 4};
  for (int i = 0; i < 6; ++i) spec.offsets.push_back((display[i] - i) * 100 + 200);
  spec.sync = {1, 5};
  // Nothing for 60 movie units; from media 450 (within the frame shown at
  // 400) for 120; then the frame at media 200 held for 24.
  spec.edits = {{60, -1, 0x10000}, {120, 450, 0x10000}, {24, 200, 0}};
  spec.duration = spec.tkhdDuration = 204;
  const Bytes file = spec.Build();
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(file, &m));
  const Track& t = m.tracks[0];

  SampleRef r;
  ASSERT_TRUE(SampleAt(t, 1, &r));
  EXPECT_EQ(38u, r.offset);
  EXPECT_EQ(10u, r.size);
  EXPECT_EQ(100, r.decodeTime);
  EXPECT_EQ(500, r.presentationTime);
  EXPECT_EQ(100u, r.duration);
  EXPECT_FALSE(r.sync);
  ASSERT_TRUE(SampleAt(t, 4, &r));
  EXPECT_TRUE(r.sync);
  EXPECT_EQ(68u, r.offset) << "the second chunk";
  EXPECT_EQ(400, r.decodeTime);
  EXPECT_EQ(700, r.presentationTime);
  ASSERT_TRUE(SampleAt(t, 0, &r));
  EXPECT_TRUE(r.sync);
  const SampleRef untouched = r;
  EXPECT_FALSE(SampleAt(t, 6, &r));
  EXPECT_EQ(untouched.offset, r.offset);

  // The shown frames by hand (sample k shows at 200 + 100 x display[k]):
  // 3 at the edit's start (media 450 is within its 400..500), 1 at 500, 5
  // at 600, 4 at 700 (media to movie: x 600 / 2500), then 0 held at 180.
  EXPECT_EQ(Times({60, 72, 96, 120, 180}), VideoSampleTimes(m));
  EXPECT_EQ(std::vector<uint32_t>({3, 1, 5, 4, 0}), ShownSampleIndices(m));


  // A sample whose bytes lie past the end of the file is not given.
  Bytes cut(file);
  Set32(cut, Find(cut, "stco") + 16 + 4, 0x7FFFFFF0);
  ASSERT_EQ(ParseStatus::Ok, Parse(cut, &m));
  EXPECT_TRUE(SampleAt(m.tracks[0], 3, &r));
  EXPECT_FALSE(SampleAt(m.tracks[0], 4, &r));
}

TEST(ContainerSamples, RatesImplicitEditsAndFramesOnOneMovieTime) {
  // Without edits: media 0 at movie 0 for the track's duration.
  Movie spec;
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(std::vector<uint32_t>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), ShownSampleIndices(m));
  // Twice the rate: twice the media a movie unit.
  spec.edits = {{120, 100, 0x20000}};
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(VideoSampleTimes(m).size(), ShownSampleIndices(m).size());
  EXPECT_EQ(1u, ShownSampleIndices(m)[0]);

  // Media finer than the movie: frames at media 0, 1 and 2 all start at
  // movie time 0; the last of them is the one seen.
  spec.edits.clear();
  spec.deltas = {1, 1, 100, 100};
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_EQ(Times({0, 24}), VideoSampleTimes(m));
  EXPECT_EQ(std::vector<uint32_t>({2, 3}), ShownSampleIndices(m));

  // Sound: the same edits, no frames.
  spec.handler = "soun";
  spec.edits = {{60, -1, 0x10000}, {60, 1000, 0x10000}};
  ASSERT_EQ(ParseStatus::Ok, Parse(spec.Build(), &m));
  EXPECT_TRUE(ShownSampleIndices(m).empty());
}

// A sample's offset is its chunk's plus the sizes before it there, found
// from marks every 64 samples as by walking the chunk: chunks that begin
// and end on either side of a mark, one chunk of every sample, and sizes
// whose sum passes 4 GiB.
TEST(ContainerSamples, OffsetsWithinLongChunks) {
  const uint32_t n = 1000;
  for (uint32_t per : {1u, 63u, 64u, 65u, 200u, n}) {
    SampleTable s;
    s.times.push_back({0, n, 0, 1});
    for (uint32_t i = 0; i < n; ++i) s.sizes.push_back(i == 700 ? 0xFFFFFFF0u : 1 + (i * 2654435761u >> 20) % 5000);
    s.chunks.push_back({0, per, 0});
    const uint32_t chunks = (n + per - 1) / per;
    for (uint32_t c = 0; c < chunks; ++c) s.chunkOffsets.push_back(1000 + uint64_t(c) * 8000000);
    s.count = n;
    s.dataEnd = uint64_t(1) << 40;
    SampleTable walked = s;
    s.BuildSizeMarks();
    for (uint32_t i = 0; i < n; ++i) {
      uint64_t want = s.chunkOffsets[i / per];
      for (uint32_t k = i / per * per; k < i; ++k) want += s.sizes[k];
      uint64_t at = 0, walkedAt = 0;
      ASSERT_TRUE(s.Offset(i, &at)) << per << " " << i;
      ASSERT_TRUE(walked.Offset(i, &walkedAt)) << per << " " << i;
      ASSERT_EQ(want, at) << per << " " << i;
      ASSERT_EQ(want, walkedAt) << per << " " << i;
    }
    // The same tables in a file that ends a byte short of the huge
    // sample's end even where it starts its chunk: neither it nor a sample
    // after it in its chunk is there.
    s.dataEnd = s.chunkOffsets[700 / per] + 0xFFFFFFF0u - 1;
    uint64_t at;
    EXPECT_FALSE(s.Offset(700, &at)) << per;
    EXPECT_TRUE(s.Offset(699, &at)) << per;
    EXPECT_EQ(701 / per != 700 / per, s.Offset(701, &at)) << per;
  }
}
