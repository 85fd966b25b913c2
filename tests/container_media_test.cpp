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

#include "engine/container/media_time.h"
#include "engine/container/movie_file.h"
#include "media_probe.h"

using namespace vmedia;

namespace {

// The decode index of the sample shown from each video sample time.
std::vector<uint32_t> ShownSampleIndices(const MovieModel& m) {
  std::vector<uint32_t> indices;
  VideoSamples(m, nullptr, &indices);
  return indices;
}

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
    if (t.sampleCount) {
      EXPECT_EQ(SampleData::Whole, SampleDataInFile(t));
    }
    if (t.kind == TrackKind::Video || t.kind == TrackKind::Sound) {
      // What the decoder is given: ffmpeg's codec tag and extradata, byte
      // for byte.
      const SampleDescription& d = t.description;
      const std::string tag = probe[k + "codec_tag_string"];
      if (tag.size() == 4) {
        EXPECT_EQ(tag, FourCCText(d.format));
      }
      EXPECT_EQ(Extradata(name, i), Hex(d.config));
      if (t.kind == TrackKind::Sound) {
        EXPECT_EQ(atof(probe[k + "sample_rate"].c_str()), d.sampleRate);
        // ISO entries say two channels whatever the stream holds.
        if (name.find(".mov") != std::string::npos) {
          EXPECT_EQ(strtoul(probe[k + "channels"].c_str(), nullptr, 10), d.channels);
        }
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
    EXPECT_EQ(strtoul(probe[k + "width"].c_str(), nullptr, 10), t.description.width);
    EXPECT_EQ(strtoul(probe[k + "height"].c_str(), nullptr, 10), t.description.height);
    // Shown at ffprobe's pixel aspect and turn (counterclockwise there);
    // ffprobe 5.1 has no word for mirroring.
    unsigned sarH = 1, sarV = 1;
    if (sscanf(probe[k + "sample_aspect_ratio"].c_str(), "%u:%u", &sarH, &sarV) != 2 || !sarH || !sarV) sarH = sarV = 1;
    const PictureSize shown = DisplaySize(t);
    EXPECT_EQ(int(floor(t.description.width * double(sarH) / sarV + 0.5)), t.turn % 180 ? shown.height : shown.width);
    EXPECT_EQ(int(t.description.height), t.turn % 180 ? shown.width : shown.height);
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
    if (v.description.format == 0x6a706567) {  // 'jpeg': every sample starts a JPEG
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
  for (const Track& t : m.tracks) {
    EXPECT_GT(t.sampleCount, 0u);
    EXPECT_EQ(t.sampleCount, t.fragmentSamples);
    EXPECT_GT(t.samples.chunkOffsets.size(), 1u) << "a run (a chunk) from each of several fragments";
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
    EXPECT_EQ(320u, t.description.width) << c.name;
    EXPECT_EQ(c.width, m.width) << c.name;
    EXPECT_EQ(c.height, m.height) << c.name;
  }
  // Non-square pixels widen the picture; the QuickTime movie keeps the
  // coded size in tkhd and the aspect in pasp only.
  MovieModel m = ParseFile(ReadAll("aspect.mp4"));
  EXPECT_EQ(4u, m.tracks[0].description.aspectH);
  EXPECT_EQ(3u, m.tracks[0].description.aspectV);
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
      const std::vector<uint32_t> shown = ShownSampleIndices(m);
      EXPECT_EQ(VideoSampleTimes(m).size(), shown.size());
      for (uint32_t sample : shown) EXPECT_LT(sample, m.tracks[size_t(m.videoTrack())].sampleCount);
      for (const Track& t : m.tracks) {
        SampleRef r;
        for (uint32_t sample : {0u, t.sampleCount - 1})
          if (SampleAt(t, sample, &r)) {
            EXPECT_LE(r.offset + r.size, file.size());
          }
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
        if (t.samples.Offset(sample, &offset)) {
          EXPECT_LE(offset + t.samples.Size(sample), size);
        }
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

// The sound fields a decoder sets up from, per format: QuickTime version 0
// PCM, version 1 with 'wave' (frma, enda, esds, alac), version 2 'lpcm'
// above 65535 Hz, and ISO entries.
TEST(MediaFiles, SoundDescriptions) {
  REQUIRE_MEDIA();
  struct Want {
    const char* format;
    uint32_t version, bits, bytesPerFrame, samplesPerPacket;
    bool bigEndian;
    const char* wave;
    double rate;
    size_t config;
    uint8_t objectType;
  };
  const Want mov[] = {
      {"twos", 0, 16, 0, 0, true, "", 44100, 0, 0},         {"sowt", 0, 16, 0, 0, false, "", 44100, 0, 0},
      {"in24", 1, 16, 3, 1, true, "in24", 44100, 0, 0},     {"in24", 1, 16, 3, 1, false, "in24", 44100, 0, 0},
      {"fl32", 1, 16, 4, 1, true, "fl32", 44100, 0, 0},     {"ulaw", 0, 16, 0, 0, false, "", 44100, 0, 0},
      {"alaw", 0, 16, 0, 0, false, "", 44100, 0, 0},        {"ima4", 1, 16, 0, 64, false, "", 44100, 0, 0},
      {".mp3", 1, 16, 0, 1152, false, "", 44100, 0, 0},     {"mp4a", 1, 16, 0, 1024, false, "mp4a", 44100, 5, 0x40},
      {"alac", 1, 16, 0, 4096, false, "alac", 44100, 36, 0}, {"lpcm", 2, 24, 0, 0, false, "", 96000, 0, 0},
  };
  MovieModel m = ParseFile(ReadAll("sounds.mov"));
  ASSERT_EQ(12u, m.tracks.size());
  for (size_t i = 0; i < 12; ++i) {
    const SampleDescription& d = m.tracks[i].description;
    const Want& w = mov[i];
    SCOPED_TRACE(w.format);
    EXPECT_EQ(w.format, FourCCText(d.format));
    EXPECT_EQ(w.version, d.version);
    EXPECT_EQ(w.bits, d.bitsPerSample);
    EXPECT_EQ(w.bytesPerFrame, d.bytesPerFrame);
    EXPECT_EQ(w.samplesPerPacket, d.samplesPerPacket);
    EXPECT_EQ(w.bigEndian, d.bigEndian);
    EXPECT_EQ(w.wave, d.waveFormat ? FourCCText(d.waveFormat) : "");
    EXPECT_EQ(w.rate, d.sampleRate);
    EXPECT_EQ(1u, d.channels);
    EXPECT_EQ(w.config, d.config.size());
    EXPECT_EQ(w.objectType, d.objectType);
  }
  // Version 2: little-endian signed packed integers, 3 bytes a frame.
  const SampleDescription& v2 = m.tracks[11].description;
  EXPECT_EQ(kLpcmSignedInteger | kLpcmPacked, v2.lpcmFlags);
  EXPECT_EQ(3u, v2.constBytesPerPacket);
  EXPECT_EQ(1u, v2.constFramesPerPacket);
  // ALAC: the box header rebuilt, then the config naming 16 bits, one
  // channel, 44100 Hz.
  const std::vector<uint8_t>& alac = m.tracks[10].description.config;
  ASSERT_EQ(36u, alac.size());
  EXPECT_EQ("00000024616c616300000000", Hex(std::vector<uint8_t>(alac.begin(), alac.begin() + 12)));
  EXPECT_EQ(16, alac[12 + 5]);
  EXPECT_EQ(1, alac[12 + 9]);
  EXPECT_EQ("0000ac44", Hex(std::vector<uint8_t>(alac.end() - 4, alac.end())));

  m = ParseFile(ReadAll("sounds.mp4"));
  ASSERT_EQ(4u, m.tracks.size());
  EXPECT_EQ(0x40, m.tracks[0].description.objectType);
  EXPECT_EQ(0x6B, m.tracks[1].description.objectType);  // MP3: no decoder specific info
  EXPECT_TRUE(m.tracks[1].description.config.empty());
  EXPECT_EQ("ac-3", FourCCText(m.tracks[2].description.format));
  EXPECT_EQ(36u, m.tracks[3].description.config.size());
  for (const Track& t : m.tracks) EXPECT_EQ(0u, t.description.version);
}

// Picture entries: depth, grey, fields; the palette picture's first sample
// drawn through the entry's colour table is ffmpeg's decoded frame, and
// the 2vuy movie's first sample is the frame's bytes.
TEST(MediaFiles, PictureDescriptionsAndPixels) {
  REQUIRE_MEDIA();
  struct Want { const char* name; const char* format; uint16_t depth; bool grey; size_t palette; uint32_t fields; };
  for (const Want& w : {Want{"qtrle.mov", "rle ", 24, false, 0, 1}, Want{"qtrle_grey.mov", "rle ", 40, true, 256, 1},
                        Want{"pal8.mov", "raw ", 8, false, 256, 1}, Want{"uyvy.mov", "2vuy", 24, false, 0, 1},
                        Want{"dv.mov", "dvcp", 24, false, 0, 1}, Want{"mpeg4.mp4", "mp4v", 24, false, 0, 0}}) {
    SCOPED_TRACE(w.name);
    MovieModel m = ParseFile(ReadAll(w.name));
    ASSERT_EQ(0, m.videoTrack());
    const SampleDescription& d = m.tracks[0].description;
    EXPECT_EQ(w.format, FourCCText(d.format));
    EXPECT_EQ(w.depth, d.depth);
    EXPECT_EQ(w.grey, d.greyscale);
    EXPECT_EQ(w.palette, d.palette.size());
    EXPECT_EQ(w.fields, d.fieldCount);
  }
  // Grey: white down to black.
  MovieModel grey = ParseFile(ReadAll("qtrle_grey.mov"));
  EXPECT_EQ(0xFFFFFFFFu, grey.tracks[0].description.palette[0]);
  EXPECT_EQ(0xFF000000u, grey.tracks[0].description.palette[255]);

  const std::vector<uint8_t> file = ReadAll("pal8.mov");
  MovieModel m = ParseFile(file);
  const Track& t = m.tracks[0];
  SampleRef r;
  ASSERT_TRUE(SampleAt(t, 0, &r));
  ASSERT_EQ(160u * 120, r.size);
  const std::vector<uint8_t> rgb = ReadAll("pal8.mov.rgb");
  ASSERT_EQ(160u * 120 * 3, rgb.size());
  size_t wrong = 0;
  for (size_t i = 0; i < r.size; ++i) {
    uint32_t argb = t.description.palette[file[r.offset + i]];
    if (uint8_t(argb >> 16) != rgb[3 * i] || uint8_t(argb >> 8) != rgb[3 * i + 1] || uint8_t(argb) != rgb[3 * i + 2]) ++wrong;
  }
  EXPECT_EQ(0u, wrong);
  // The table is the picture's own, not the standard one.
  EXPECT_NE(DefaultPalette(8, false), t.description.palette);

  const std::vector<uint8_t> uyvy = ReadAll("uyvy.mov");
  m = ParseFile(uyvy);
  ASSERT_TRUE(SampleAt(m.tracks[0], 0, &r));
  const std::vector<uint8_t> frame = ReadAll("uyvy.mov.frame");
  ASSERT_EQ(160u * 120 * 2, frame.size());
  ASSERT_EQ(frame.size(), r.size);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), uyvy.begin() + ptrdiff_t(r.offset)));
}

// A movie edited by hand: nothing for 0.4 s, media 1.0-1.8 s, then media
// 0.2-0.8 s, of B-frames. The frame shown at each video sample time is the
// one the unedited copy shows at the matching media time, and ffmpeg shows
// the same frames in the same order (its times run a frame late after the
// first edit, so only the order is compared).
TEST(MediaFiles, SeveralEdits) {
  REQUIRE_MEDIA();
  const MovieModel base = ParseFile(ReadAll("edit_base.mov"));
  const MovieModel m = ParseFile(ReadAll("edited.mov"));
  ASSERT_EQ(0, m.videoTrack());
  ASSERT_EQ(3u, m.tracks[0].edits.size());
  const Track& t = m.tracks[0];
  const std::vector<int32_t> times = VideoSampleTimes(m);
  const std::vector<uint32_t> indices = ShownSampleIndices(m);
  ASSERT_EQ(times.size(), indices.size());

  // By hand from the unedited copy's frame times (ffprobe's, 25 fps): in the
  // edit starting at movie time t0 with media from s, the frame at media
  // time s + (t - t0).
  const std::vector<double> basePts = VideoPts("edit_base.mov");
  const std::vector<StreamPacket> packets = Packets("edit_base.mov", 0);
  ASSERT_EQ(50u, packets.size());
  std::vector<std::pair<int32_t, uint64_t>> want;  // movie time (ms), sample offset
  const double edits[2][3] = {{0.4, 0.8, 1.0}, {1.2, 0.6, 0.2}};
  for (const auto& e : edits)
    for (int f = 0; f < 50; ++f) {
      double pts = basePts[size_t(f)];
      if (pts + 1e-9 < e[2] || pts + 1e-9 >= e[2] + e[1]) continue;
      // The packet of that frame, by ffprobe's pts in media units.
      for (const StreamPacket& p : packets)
        if (p.pts == llround(pts * t.mediaTimeScale)) want.push_back({int32_t(llround((e[0] + pts - e[2]) * 1000)), p.pos});
    }
  ASSERT_EQ(35u, want.size());
  ASSERT_EQ(want.size(), times.size());
  std::vector<uint64_t> shownAt;
  for (size_t i = 0; i < times.size(); ++i) {
    SampleRef r;
    ASSERT_TRUE(SampleAt(t, indices[i], &r));
    EXPECT_EQ(want[i].first, times[i] * 1000 / int32_t(m.timeScale)) << i;
    EXPECT_EQ(want[i].second, r.offset) << i;
    shownAt.push_back(r.offset);
  }
  std::vector<uint64_t> ffmpeg;
  std::ifstream in(MediaPath("edited.mov.frames"));
  for (unsigned long long pos; in >> pos;) ffmpeg.push_back(pos);
  EXPECT_EQ(ffmpeg, shownAt);
  EXPECT_EQ(base.tracks[0].sampleCount, t.sampleCount);
}

// The same media with 1 s of nothing in the middle: its frames stop at
// 0.6 s and go on at 1.6 s with the frame of media 1.0 s, and the walk
// marks the span as showing nothing.
TEST(MediaFiles, EmptyEditInTheMiddle) {
  REQUIRE_MEDIA();
  const MovieModel m = ParseFile(ReadAll("edited_gap.mov"));
  const MovieModel base = ParseFile(ReadAll("edit_base.mov"));
  std::vector<int32_t> times, blanks;
  std::vector<uint32_t> indices;
  VideoSamples(m, &times, &indices, &blanks);
  const int32_t scale = int32_t(m.timeScale);
  EXPECT_EQ(std::vector<int32_t>({scale * 6 / 10}), blanks);
  ASSERT_EQ(30u, times.size());
  EXPECT_LT(times[14], scale * 6 / 10);
  EXPECT_EQ(scale * 16 / 10, times[15]);
  EXPECT_EQ(ShownSampleIndices(base)[25], indices[15]) << "media 1.0 s";
}

// An hour of still slides: 108,000 samples in the one chunk, each one where
// ffprobe finds it. (Placing them walked the chunk for each sample, some
// five billion additions for the lot.)
TEST(MediaFiles, HourLongMovieInOneChunk) {
  REQUIRE_MEDIA();
  const MovieModel m = ParseFile(ReadAll("lecture.mp4"));
  ASSERT_EQ(0, m.videoTrack());
  const Track& t = m.tracks[0];
  ASSERT_EQ(108000u, t.sampleCount);
  EXPECT_EQ(1u, t.samples.chunkOffsets.size());
  const std::vector<Packet> packets = VideoPackets("lecture.mp4");
  ASSERT_EQ(packets.size(), t.sampleCount);
  for (uint32_t i = 0; i < t.sampleCount; ++i) {
    SampleRef r;
    ASSERT_TRUE(SampleAt(t, i, &r)) << i;
    ASSERT_EQ(packets[i].pos, r.offset) << i;
    ASSERT_EQ(packets[i].size, r.size) << i;
    ASSERT_EQ(packets[i].key, r.sync) << i;
  }
  EXPECT_EQ(108000u, VideoSampleTimes(m).size());
}

// An edit that starts 225/600 s into the media, between two frames, of
// frames of varying length. The frame showing at a movie time is the last
// whose presentation time less the edit's media time is at or before it:
// at 1.000 s the 40th (0.990 s), since the 41st starts at 1.005 s.
// ffmpeg's times for the same frames are 6/600 s earlier throughout (it
// counts the edit from the first frame at or after its media time), which
// puts the 41st at 0.995 s and makes it ffmpeg's frame at 1.000 s.
TEST(MediaFiles, EditBetweenFramesOfVaryingLength) {
  REQUIRE_MEDIA();
  const MovieModel m = ParseFile(ReadAll("vfr_edited.mp4"));
  ASSERT_EQ(0, m.videoTrack());
  const Track& t = m.tracks[0];
  ASSERT_EQ(1u, t.edits.size());
  const int64_t start = t.edits[0].mediaTime;
  ASSERT_EQ(600u, t.mediaTimeScale);
  const std::vector<int64_t>& shown = t.samples.presentationTimes;
  // The frames after the edit's start, as the tables place them.
  auto into = [&](size_t frame) { return shown[frame] - start; };
  ASSERT_GT(shown.size(), 41u);
  EXPECT_EQ(594, into(39));
  EXPECT_EQ(603, into(40));
  const size_t first = size_t(std::lower_bound(shown.begin(), shown.end(), start) - shown.begin());
  EXPECT_EQ(6, into(first)) << "the first frame after the edit's start";

  std::vector<int32_t> times;
  std::vector<uint32_t> indices;
  VideoSamples(m, &times, &indices);
  const int32_t second = int32_t(m.timeScale);
  auto at = std::upper_bound(times.begin(), times.end(), second) - 1;
  EXPECT_EQ(t.samples.presentationOrder[39], indices[size_t(at - times.begin())]);
  EXPECT_EQ(int32_t(MulDiv(603, m.timeScale, 600)), *(at + 1));

  // ffmpeg's presentation times of the same frames, 6/600 s earlier.
  const std::vector<double> pts = VideoPts("vfr_edited.mp4");
  ASSERT_GT(pts.size(), 41u);
  const size_t offset = pts.size() - shown.size();  // frames ffmpeg lists from the edit's start
  EXPECT_NEAR(0.995, pts[40 + offset], 1e-6);
  EXPECT_NEAR(pts[40 + offset] + 6.0 / 600, double(into(40)) / 600, 1e-6);
  EXPECT_NEAR(pts[39 + offset] + 6.0 / 600, double(into(39)) / 600, 1e-6);
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
