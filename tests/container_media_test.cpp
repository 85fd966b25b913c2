// The movie reader against files made by ffmpeg, compared with what
// ffprobe reads from the same files (tests/media/make_media.sh).
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

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
  size_t videoTrack = m.tracks.size();
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
    const bool pcm = t.kind == TrackKind::Sound && t.samples.uniformSize;
    EXPECT_EQ(strtoul(probe[k + (pcm ? "duration_ts" : "nb_read_packets")].c_str(), nullptr, 10),
              t.sampleCount);
    if (t.kind != TrackKind::Video) continue;
    if (videoTrack == m.tracks.size()) videoTrack = i;
    EXPECT_EQ(atoi(probe[k + "width"].c_str()), int(t.width));
    EXPECT_EQ(atoi(probe[k + "height"].c_str()), int(t.height));
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
  EXPECT_EQ(m.width, int(m.tracks[videoTrack].width));
  EXPECT_EQ(m.height, int(m.tracks[videoTrack].height));

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
}

INSTANTIATE_TEST_SUITE_P(Files, MediaFile,
                         ::testing::Values("h264_aac.mp4", "h264_faststart.mp4", "mjpeg_pcm.mov",
                                           "delayed.mov", "sound.m4a", "mobile.3gp"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string s = info.param;
                           for (char& c : s) if (c == '.') c = '_';
                           return s;
                         });

TEST(MediaFiles, SoundOnlyAndFragmented) {
  REQUIRE_MEDIA();
  const std::vector<uint8_t> sound = ReadAll("sound.m4a");
  MemorySource src(sound.data(), sound.size());
  MovieModel m;
  ASSERT_EQ(ParseStatus::Ok, ParseMovie(src, &m));
  EXPECT_TRUE(m.hasSound());
  EXPECT_EQ(0, m.width);
  std::vector<int32_t> steps = StepTimes(m);
  ASSERT_GT(steps.size(), 2u);
  EXPECT_EQ(size_t(ceil(m.duration * 100.0 / m.timeScale)), steps.size());

  const std::vector<uint8_t> fragmented = ReadAll("fragmented.mp4");
  ASSERT_FALSE(fragmented.empty());
  MemorySource fragments(fragmented.data(), fragmented.size());
  EXPECT_EQ(ParseStatus::Unsupported, ParseMovie(fragments, &m));
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
