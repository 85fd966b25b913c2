// The movie reader against files made by ffmpeg, compared with what
// ffprobe reads from the same files (tests/media/make_media.sh).
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <string>

#include "engine/container/movie_file.h"
#include "media_probe.h"

using namespace vmedia;

namespace {

std::string MediaPath(const std::string& name) { return std::string(VANTORO_MEDIA_DIR) + "/" + name; }

std::map<std::string, std::string> Probe(const std::string& name) { return ReadProbe(MediaPath(name + ".probe")); }

std::vector<double> VideoPts(const std::string& name) {
  std::vector<double> pts;
  std::ifstream in(MediaPath(name + ".vpts"));
  double v;
  while (in >> v) pts.push_back(v);
  return pts;
}

struct Packet {
  uint32_t size;
  uint64_t pos;
  bool key;
};

// The first video stream's packets in decode order (NAME.vpackets).
std::vector<Packet> VideoPackets(const std::string& name) {
  std::vector<Packet> packets;
  std::ifstream in(MediaPath(name + ".vpackets"));
  std::string line;
  while (std::getline(in, line)) {
    unsigned size;
    unsigned long long pos;
    char flags[8] = {};
    if (sscanf(line.c_str(), "%u,%llu,%7s", &size, &pos, flags) == 3) packets.push_back({size, pos, flags[0] == 'K'});
  }
  return packets;
}

// Every stream's packets in file order (NAME.packets).
struct StreamPacket {
  unsigned stream;
  long long pts, dts;
  uint32_t size;
  uint64_t pos;
  bool key;
};

std::vector<StreamPacket> Packets(const std::string& name, unsigned stream) {
  std::vector<StreamPacket> packets;
  std::ifstream in(MediaPath(name + ".packets"));
  std::string line;
  while (std::getline(in, line)) {
    StreamPacket p;
    unsigned long long pos;
    char flags[8] = {};
    if (sscanf(line.c_str(), "%u,%lld,%lld,%u,%llu,%7s", &p.stream, &p.pts, &p.dts, &p.size, &pos, flags) != 6 ||
        p.stream != stream)
      continue;
    p.pos = pos;
    p.key = flags[0] == 'K';
    packets.push_back(p);
  }
  return packets;
}

// A stream's extradata as ffprobe reads it, in hex (NAME.extradata).
std::string Extradata(const std::string& name, size_t stream) {
  std::ifstream in(MediaPath(name + ".extradata"));
  std::string line;
  while (std::getline(in, line)) {
    size_t space = line.find(' ');
    if (space != std::string::npos && line.substr(0, space) == std::to_string(stream)) return line.substr(space + 1);
  }
  return "?";
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char b[3];
  for (uint8_t v : bytes) {
    snprintf(b, sizeof b, "%02x", v);
    s += b;
  }
  return s;
}

std::string FourCCText(uint32_t v) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s += char(v >> shift);
  return s;
}

std::vector<uint8_t> ReadAll(const std::string& name) {
  std::ifstream in(MediaPath(name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool HaveMedia() {
  return std::ifstream(MediaPath("stamp")).good();
}

#define REQUIRE_MEDIA() \
  if (!HaveMedia()) GTEST_SKIP() << "no test media (ffmpeg missing?)"

class MediaFile : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(MediaFile, MatchesFfprobe) {
  REQUIRE_MEDIA();
  const std::string name = GetParam();
  auto probe = Probe(name);
  ASSERT_FALSE(probe.empty());
  const std::vector<uint8_t> file = ReadAll(name);
  ASSERT_FALSE(file.empty());
  MemorySource src(file.data(), file.size());
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, ParseMovie(src, &m));

  EXPECT_NEAR(atof(probe["format.duration"].c_str()), double(m.duration) / m.timeScale, 0.002);
  size_t videoTrack = m.tracks.size();  // ffprobe's first video stream
  ASSERT_EQ(m.tracks.size(), size_t(atoi(probe["format.nb_streams"].c_str())));
  for (size_t i = 0; i < m.tracks.size(); ++i) {
    const std::string k = "streams.stream." + std::to_string(i) + ".";
    const Track& t = m.tracks[i];
    SCOPED_TRACE(k);
    const std::string type = probe[k + "codec_type"];
    EXPECT_EQ(type == "video" ? TrackKind::Video : type == "audio" ? TrackKind::Sound : TrackKind::Other,
              t.kind);
    EXPECT_EQ("1/" + std::to_string(t.mediaTimeScale), probe[k + "time_base"]);
    // Uncompressed sound is one sample per sound frame; ffprobe reads it in
    // packets of many.
    // IMA ADPCM is in packets of 64 sound frames, one sample each.
    const bool pcm = t.kind == TrackKind::Sound && t.samples.uniformSize;
    const uint64_t framesPerSample = pcm ? std::max(1u, t.description.samplesPerPacket) : 1;
    EXPECT_EQ(strtoul(probe[k + (pcm ? "duration_ts" : "nb_read_packets")].c_str(), nullptr, 10),
              t.sampleCount * framesPerSample);
    if (t.sampleCount) EXPECT_EQ(SampleData::Whole, SampleDataInFile(t));
    if (t.kind == TrackKind::Video || t.kind == TrackKind::Sound) {
      // What the decoder is given: ffmpeg's codec tag and extradata, byte
      // for byte.
      const SampleDescription& d = t.description;
      const std::string tag = probe[k + "codec_tag_string"];
      if (tag.size() == 4) EXPECT_EQ(tag, FourCCText(d.format));
      EXPECT_EQ(t.codec, d.format);
      EXPECT_EQ(Extradata(name, i), Hex(d.config));
      if (t.kind == TrackKind::Sound) {
        EXPECT_EQ(atof(probe[k + "sample_rate"].c_str()), d.sampleRate);
        // ISO entries say two channels whatever the stream holds.
        if (name.find(".mov") != std::string::npos)
          EXPECT_EQ(strtoul(probe[k + "channels"].c_str(), nullptr, 10), d.channels);
      } else {
        EXPECT_EQ(t.codedWidth, d.width);
        EXPECT_EQ(t.codedHeight, d.height);
      }
    }
    // Where ffprobe reads a packet per sample (not PCM, which it groups),
    // SampleAt gives each packet's bytes, key flag and times; the times
    // less ffprobe's by one amount, the edit list's shift.
    const std::vector<StreamPacket> packets = Packets(name, unsigned(i));
    if (packets.size() == t.sampleCount && t.sampleCount) {
      SampleRef first;
      ASSERT_TRUE(SampleAt(t, 0, &first));
      const long long ptsShift = first.presentationTime - packets[0].pts, dtsShift = first.decodeTime - packets[0].dts;
      for (uint32_t n = 0; n < t.sampleCount; ++n) {
        SampleRef r;
        ASSERT_TRUE(SampleAt(t, n, &r)) << n;
        EXPECT_EQ(packets[n].pos, r.offset) << n;
        EXPECT_EQ(packets[n].size, r.size) << n;
        // ffmpeg calls every text sample a key frame.
        if (t.kind != TrackKind::Other) EXPECT_EQ(packets[n].key, r.sync) << n;
        EXPECT_EQ(ptsShift, r.presentationTime - packets[n].pts) << n;
        EXPECT_EQ(dtsShift, r.decodeTime - packets[n].dts) << n;
        if (n + 1 < t.sampleCount) EXPECT_EQ(packets[n + 1].dts - packets[n].dts, r.duration) << n;
      }
      SampleRef past;
      EXPECT_FALSE(SampleAt(t, t.sampleCount, &past));
    }
    if (t.kind != TrackKind::Video) continue;
    if (videoTrack == m.tracks.size()) videoTrack = i;
    EXPECT_EQ(strtoul(probe[k + "width"].c_str(), nullptr, 10), t.codedWidth);
    EXPECT_EQ(strtoul(probe[k + "height"].c_str(), nullptr, 10), t.codedHeight);
    // Shown at ffprobe's pixel aspect and turn (counterclockwise there);
    // ffprobe 5.1 has no word for mirroring.
    unsigned sarH = 1, sarV = 1;
    if (sscanf(probe[k + "sample_aspect_ratio"].c_str(), "%u:%u", &sarH, &sarV) != 2 || !sarH || !sarV) sarH = sarV = 1;
    const PictureSize shown = DisplaySize(t);
    EXPECT_EQ(int(floor(t.codedWidth * double(sarH) / sarV + 0.5)), t.turn % 180 ? shown.height : shown.width);
    EXPECT_EQ(int(t.codedHeight), t.turn % 180 ? shown.width : shown.height);
    if (!t.mirrored) {
      const int rotation = atoi(probe[k + "side_data_list.side_data.0.rotation"].c_str());
      EXPECT_EQ((360 - rotation) % 360, t.turn);
    }
  }

  // Every video packet's presentation time, in movie units, floored.
  std::vector<double> pts = VideoPts(name);
  std::vector<int32_t> times = VideoSampleTimes(m);
  ASSERT_EQ(pts.size(), times.size());
  for (size_t i = 0; i < times.size(); ++i)
    EXPECT_NEAR(pts[i], double(times[i]) / m.timeScale, 1.0 / m.timeScale + 1e-6) << i;
  if (videoTrack == m.tracks.size()) {
    EXPECT_FALSE(m.hasVideo());
    return;
  }
  ASSERT_EQ(int(videoTrack), m.videoTrack());
  EXPECT_EQ(m.width, DisplaySize(m.tracks[videoTrack]).width);
  EXPECT_EQ(m.height, DisplaySize(m.tracks[videoTrack]).height);

  // Every frame is shown once, in presentation order, and can be found in
  // the file, with a sync sample at or before it to decode from.
  const Track& v = m.tracks[videoTrack];
  ASSERT_EQ(v.sampleCount, v.samples.presentationOrder.size());
  std::vector<bool> shown(v.sampleCount);
  for (uint32_t sample : v.samples.presentationOrder) {
    ASSERT_LT(sample, v.sampleCount);
    EXPECT_FALSE(shown[sample]) << sample;
    shown[sample] = true;
    uint32_t sync = v.samples.SyncAtOrBefore(sample);
    EXPECT_LE(sync, sample);
    EXPECT_EQ(sync, v.samples.SyncAtOrBefore(sync));
    uint64_t offset;
    ASSERT_TRUE(v.samples.Offset(sample, &offset));
    if (v.codec == 0x6a706567) {  // 'jpeg': every sample starts a JPEG
      uint8_t soi[2];
      ASSERT_TRUE(src.Read(offset, soi, 2));
      EXPECT_EQ(0xFF, soi[0]);
      EXPECT_EQ(0xD8, soi[1]);
    }
  }
  EXPECT_EQ(std::vector<bool>(v.sampleCount, true), shown);

  // Sample by sample in decode order: the bytes ffprobe reads, and the
  // frames it calls key frames are the sync samples seeking starts from.
  const std::vector<Packet> packets = VideoPackets(name);
  ASSERT_EQ(v.sampleCount, packets.size());
  for (uint32_t i = 0; i < v.sampleCount; ++i) {
    uint64_t offset = 0;
    ASSERT_TRUE(v.samples.Offset(i, &offset)) << i;
    EXPECT_EQ(packets[i].pos, offset) << i;
    EXPECT_EQ(packets[i].size, v.samples.Size(i)) << i;
    EXPECT_EQ(packets[i].key, v.samples.SyncAtOrBefore(i) == i) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, MediaFile,
                         ::testing::Values("h264_aac.mp4", "h264_faststart.mp4", "mjpeg_pcm.mov",
                                           "delayed.mov", "sound.m4a", "mobile.3gp", "fragmented.mp4",
                                           "fragmented_moof_base.mp4", "fragmented_by_time.mp4",
                                           "fragmented_partly.mp4", "fragmented_text.mp4", "turned_90.mp4",
                                           "turned_180.mp4", "turned_270.mp4", "mirrored.mp4", "flipped.mp4",
                                           "aspect.mp4", "aspect.mov", "wide854.mp4", "two_videos.mp4",
                                           "qtrle.mov", "qtrle_grey.mov", "prores.mov", "cinepak.mov", "svq1.mov",
                                           "mpeg4.mp4", "h263.mov", "png.mov", "uyvy.mov", "pal8.mov", "dv.mov",
                                           "hevc.mp4", "av1.mp4", "sounds.mov", "sounds.mp4", "edit_base.mov"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string s = info.param;
                           for (char& c : s) if (c == '.') c = '_';
                           return s;
                         });

MovieModel ParseFile(const std::vector<uint8_t>& file) {
  MemorySource src(file.data(), file.size());
  MovieModel m;
  EXPECT_EQ(ParseStatus::Ok, ParseMovie(src, &m));
  return m;
}

TEST(MediaFiles, SoundOnly) {
  REQUIRE_MEDIA();
  MovieModel m = ParseFile(ReadAll("sound.m4a"));
  EXPECT_TRUE(m.hasSound());
  EXPECT_EQ(0, m.width);
  EXPECT_EQ(-1, m.videoTrack());
  std::vector<int32_t> steps = StepTimes(m);
  ASSERT_GT(steps.size(), 2u);
  EXPECT_EQ(size_t(ceil(m.duration * 100.0 / m.timeScale)), steps.size());
}

TEST(MediaFiles, FragmentSamplesFollowTheMoovs) {
  REQUIRE_MEDIA();
  // All samples in fragments.
  MovieModel m = ParseFile(ReadAll("fragmented.mp4"));
  EXPECT_GT(m.fragments, 1u);
  for (const Track& t : m.tracks) {
    EXPECT_GT(t.sampleCount, 0u);
    EXPECT_EQ(t.sampleCount, t.fragmentSamples);
  }
  // The moov's samples first: the 1.16 s movie whose moov covers only its
  // first ten frames is not 0.4 s long.
  m = ParseFile(ReadAll("fragmented_partly.mp4"));
  ASSERT_GE(m.videoTrack(), 0);
  const Track& v = m.tracks[size_t(m.videoTrack())];
  EXPECT_EQ(10u, v.sampleCount - v.fragmentSamples);
  EXPECT_EQ(29u, v.sampleCount);
  EXPECT_GT(double(m.duration) / m.timeScale, 1.15);
}

TEST(MediaFiles, TurnedAndMirroredPictures) {
  REQUIRE_MEDIA();
  struct Case { const char* name; int turn; bool mirrored; int width, height; };
  for (const Case& c : {Case{"turned_90.mp4", 90, false, 180, 320}, Case{"turned_180.mp4", 180, false, 320, 180},
                        Case{"turned_270.mp4", 270, false, 180, 320}, Case{"mirrored.mp4", 0, true, 320, 180},
                        Case{"flipped.mp4", 180, true, 320, 180}}) {
    MovieModel m = ParseFile(ReadAll(c.name));
    ASSERT_EQ(0, m.videoTrack()) << c.name;
    const Track& t = m.tracks[0];
    EXPECT_EQ(c.turn, t.turn) << c.name;
    EXPECT_EQ(c.mirrored, t.mirrored) << c.name;
    EXPECT_EQ(320u, t.codedWidth) << c.name;
    EXPECT_EQ(c.width, m.width) << c.name;
    EXPECT_EQ(c.height, m.height) << c.name;
  }
  // Non-square pixels widen the picture; the QuickTime movie keeps the
  // coded size in tkhd and the aspect in pasp only.
  MovieModel m = ParseFile(ReadAll("aspect.mp4"));
  EXPECT_EQ(4u, m.tracks[0].aspectH);
  EXPECT_EQ(3u, m.tracks[0].aspectV);
  EXPECT_EQ(427, m.width);
  EXPECT_EQ(240, m.height);
  m = ParseFile(ReadAll("aspect.mov"));
  EXPECT_EQ(853, m.width);
  EXPECT_EQ(480, m.height);
}

// A moov without its media data opens, keeps its duration, and says at once
// that nothing can be shown; cut halfway, the first samples are still there.
TEST(MediaFiles, MediaDataMissingOrCut) {
  REQUIRE_MEDIA();
  const MovieModel whole = ParseFile(ReadAll("h264_faststart.mp4"));
  const std::vector<uint8_t> moovOnly = ReadAll("moov_only.mp4");
  ASSERT_FALSE(moovOnly.empty());
  MovieModel m = ParseFile(moovOnly);
  EXPECT_EQ(whole.duration, m.duration);
  ASSERT_TRUE(m.hasVideo());
  ASSERT_EQ(2u, m.tracks.size());
  for (const Track& t : m.tracks) EXPECT_EQ(SampleData::None, SampleDataInFile(t));

  m = ParseFile(ReadAll("cut_short.mp4"));
  EXPECT_EQ(whole.duration, m.duration);
  EXPECT_EQ(SampleData::Cut, SampleDataInFile(m.tracks[size_t(m.videoTrack())]));
  for (const Track& t : whole.tracks) EXPECT_EQ(SampleData::Whole, SampleDataInFile(t));
}

// Cut short, or with any one byte of the moov changed, a real file gives a
// status or a model whose queries all answer; never a crash.
TEST(MediaFiles, DamagedCopies) {
  REQUIRE_MEDIA();
  for (const char* name : {"h264_faststart.mp4", "mjpeg_pcm.mov"}) {
    std::vector<uint8_t> file = ReadAll(name);
    ASSERT_GT(file.size(), 1000u);
    // Where the moov is: faststart puts it after ftyp.
    size_t moov = 0, end = file.size();
    for (size_t i = 4; i + 4 < file.size(); ++i)
      if (memcmp(&file[i], "moov", 4) == 0) {
        moov = i - 4;
        end = moov + (size_t(file[moov]) << 24 | file[moov + 1] << 16 | file[moov + 2] << 8 | file[moov + 3]);
        break;
      }
    ASSERT_GT(moov, 0u);
    for (size_t cut = 0; cut < end; cut += (cut < moov ? 1 : 3)) {
      MemorySource src(file.data(), cut);
      MovieModel m;
      EXPECT_NE(ParseStatus::Ok, ParseMovie(src, &m)) << name << " cut at " << cut;
    }
    for (size_t i = moov; i < end; ++i) {
      file[i] ^= 0xFF;
      MemorySource src(file.data(), file.size());
      MovieModel m;
      ParseStatus st = ParseMovie(src, &m);
      file[i] ^= 0xFF;
      if (st != ParseStatus::Ok) continue;
      std::vector<int32_t> times = StepTimes(m);
      EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
      for (const Track& t : m.tracks) {
        for (uint32_t sample : {0u, t.sampleCount / 2, t.sampleCount}) {
          uint64_t offset;
          if (t.samples.Offset(sample, &offset)) {
            EXPECT_LE(offset + t.samples.Size(sample), file.size());
          }
          EXPECT_LE(t.samples.SyncAtOrBefore(sample), sample);
        }
      }
    }
  }
}

// Cut anywhere after its moov, or with any one byte of its first fragment
// changed, a fragmented file still opens, with at most the samples it had,
// each within the file.
TEST(MediaFiles, DamagedFragments) {
  REQUIRE_MEDIA();
  std::vector<uint8_t> file = ReadAll("fragmented.mp4");
  const MovieModel intact = ParseFile(file);
  size_t moof = 0;
  for (size_t i = 4; i + 4 < file.size() && !moof; ++i)
    if (memcmp(&file[i], "moof", 4) == 0) moof = i - 4;
  ASSERT_GT(moof, 0u);
  auto check = [&](size_t size, ParseStatus st, const MovieModel& m) {
    if (st != ParseStatus::Ok) return;
    ASSERT_EQ(intact.tracks.size(), m.tracks.size());
    for (size_t k = 0; k < m.tracks.size(); ++k) {
      const Track& t = m.tracks[k];
      EXPECT_LE(t.sampleCount, intact.tracks[k].sampleCount);
      for (uint32_t sample = 0; sample < t.sampleCount; ++sample) {
        uint64_t offset;
        if (t.samples.Offset(sample, &offset)) EXPECT_LE(offset + t.samples.Size(sample), size);
        EXPECT_LE(t.samples.SyncAtOrBefore(sample), sample);
      }
    }
    std::vector<int32_t> times = VideoSampleTimes(m);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  };
  for (size_t cut = moof; cut < file.size(); cut += 97) {
    MemorySource src(file.data(), cut);
    MovieModel m;
    ParseStatus st = ParseMovie(src, &m);
    EXPECT_EQ(ParseStatus::Ok, st) << cut;
    check(cut, st, m);
  }
  const size_t moofEnd = moof + (size_t(file[moof + 2]) << 8 | file[moof + 3]);
  for (size_t i = moof; i < moofEnd; ++i) {
    file[i] ^= 0xFF;
    MemorySource src(file.data(), file.size());
    MovieModel m;
    ParseStatus st = ParseMovie(src, &m);
    file[i] ^= 0xFF;
    check(file.size(), st, m);
  }
}

// VANTORO_LONG_MOVIE=path to a long movie: reports how long reading its
// tables takes (a two-hour 25 fps movie should take well under 50 ms).
TEST(MediaFiles, LongMovieTiming) {
  const char* path = getenv("VANTORO_LONG_MOVIE");
  if (!path) GTEST_SKIP() << "VANTORO_LONG_MOVIE not set";
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  ASSERT_FALSE(file.empty()) << path;
  auto start = std::chrono::steady_clock::now();
  MemorySource src(file.data(), file.size());
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, ParseMovie(src, &m));
  auto parsed = std::chrono::steady_clock::now();
  std::vector<int32_t> times = VideoSampleTimes(m);
  auto listed = std::chrono::steady_clock::now();
  auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
  printf("duration %.3f s, %zu frames; parse %.2f ms, frame times %.2f ms\n",
         double(m.duration) / m.timeScale, times.size(), ms(start, parsed), ms(parsed, listed));
}
