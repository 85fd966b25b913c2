// The frame walk against files made by ffmpeg (tests/media/make_walk_media.sh):
// the samples it counts are the samples libavcodec decodes. And against
// frames made here: blocks, limits, junk, and what is no stream at all.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/container/frame_walk.h"

using namespace vmedia;

namespace {

std::string WalkPath(const std::string& name) { return std::string(VANTORO_MEDIA_DIR) + "/walk/" + name; }

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Counts what is read, and can fail from a given offset on.
class CountingSource : public ByteSource {
 public:
  explicit CountingSource(const std::vector<uint8_t>& bytes, uint64_t failFrom = ~uint64_t(0))
      : inner_(bytes.data(), bytes.size()), failFrom_(failFrom) {}
  uint64_t Size() const override { return inner_.Size(); }
  bool Read(uint64_t offset, void* dst, size_t n) override {
    ++reads;
    bytes += n;
    if (offset + n > failFrom_) return false;
    return inner_.Read(offset, dst, n);
  }
  int reads = 0;
  uint64_t bytes = 0;

 private:
  MemorySource inner_;
  uint64_t failFrom_;
};

FrameWalk Walk(const std::vector<uint8_t>& bytes, FrameKind kind, const WalkLimits& limits = {}) {
  MemorySource src(bytes.data(), bytes.size());
  return WalkFrames(src, kind, limits);
}

// MPEG-1 layer III, 128 kbit/s, 44.1 kHz: 417 bytes, 418 when padded.
void AddFrame(std::vector<uint8_t>* out, bool padded = false) {
  const uint8_t header[4] = {0xFF, 0xFB, uint8_t(padded ? 0x92 : 0x90), 0x00};
  out->insert(out->end(), header, header + 4);
  out->resize(out->size() + (padded ? 414 : 413), 0x55);
}

std::vector<uint8_t> Frames(int count) {
  std::vector<uint8_t> out;
  for (int i = 0; i < count; ++i) AddFrame(&out, i % 3 == 1);
  return out;
}

TEST(FrameWalk, CountsTheSamplesFfmpegDecodes) {
  std::ifstream list(WalkPath("walk.txt"));
  ASSERT_TRUE(list.good()) << "walk/walk.txt missing";
  std::string line;
  int files = 0;
  while (std::getline(list, line)) {
    std::istringstream fields(line);
    std::string name, kind;
    uint64_t samples = 0;
    uint32_t rate = 0;
    if (!(fields >> name >> kind >> samples >> rate)) continue;
    SCOPED_TRACE(name);
    ++files;
    std::vector<uint8_t> bytes = ReadAll(WalkPath(name));
    ASSERT_FALSE(bytes.empty());
    FrameWalk w = Walk(bytes, kind == "adts" ? FrameKind::Adts : FrameKind::MpegAudio);
    EXPECT_EQ(w.end, WalkEnd::Whole);
    EXPECT_EQ(w.samples, samples);
    EXPECT_EQ(w.sampleRate, rate);
  }
  // CBR, VBR, MPEG-2 mono, layer II, tags, an encoder's table, junk, cut
  // files; ADTS plain, tagged and cut.
  EXPECT_EQ(files, 11);
}

TEST(FrameWalk, TheOtherKindFindsNoFrames) {
  EXPECT_EQ(Walk(ReadAll(WalkPath("sound.aac")), FrameKind::MpegAudio).end, WalkEnd::NoFrames);
  EXPECT_EQ(Walk(ReadAll(WalkPath("cbr.mp3")), FrameKind::Adts).end, WalkEnd::NoFrames);
}

TEST(FrameWalk, JunkBeyondItsReachLeavesTheCountUnknown) {
  // 72,000 bytes of junk between two frames.
  FrameWalk w = Walk(ReadAll(WalkPath("junk_far.mp3")), FrameKind::MpegAudio);
  EXPECT_EQ(w.end, WalkEnd::Lost);
  // Junk that runs to the end closes the sound instead.
  std::vector<uint8_t> bytes = Frames(10);
  bytes.resize(bytes.size() + 5000, 0x12);
  w = Walk(bytes, FrameKind::MpegAudio);
  EXPECT_EQ(w.end, WalkEnd::Whole);
  EXPECT_EQ(w.frames, 10u);
}

TEST(FrameWalk, ReadsInLargeBlocksAcrossTheirEdges) {
  // About 5 MiB: headers fall across the blocks' edges.
  const int count = 12000;
  std::vector<uint8_t> bytes = Frames(count);
  CountingSource src(bytes);
  FrameWalk w = WalkFrames(src, FrameKind::MpegAudio, {});
  EXPECT_EQ(w.end, WalkEnd::Whole);
  EXPECT_EQ(w.frames, uint64_t(count));
  EXPECT_EQ(w.samples, uint64_t(count) * 1152);
  EXPECT_EQ(w.sampleRate, 44100u);
  // Each block once, give or take the frame it starts on.
  EXPECT_LE(src.reads, int(bytes.size() / kWalkBlockBytes) + 2);
  EXPECT_LE(src.bytes, bytes.size() + uint64_t(src.reads) * 418);
}

TEST(FrameWalk, StopsAtItsLimits) {
  std::vector<uint8_t> bytes = Frames(6000);  // 2.4 MiB
  {
    CountingSource src(bytes);
    WalkLimits limits;
    limits.maxBytes = kWalkBlockBytes + 1000;
    FrameWalk w = WalkFrames(src, FrameKind::MpegAudio, limits);
    EXPECT_EQ(w.end, WalkEnd::OverLimit);
    EXPECT_LE(src.bytes, limits.maxBytes);
  }
  {
    CountingSource src(bytes);
    int asked = 0;
    WalkLimits limits;
    limits.outOfTime = [&] { return ++asked > 2; };
    FrameWalk w = WalkFrames(src, FrameKind::MpegAudio, limits);
    EXPECT_EQ(w.end, WalkEnd::OverLimit);
    EXPECT_EQ(src.reads, 2);
  }
  CountingSource failing(bytes, 2 * kWalkBlockBytes);
  EXPECT_EQ(WalkFrames(failing, FrameKind::MpegAudio, {}).end, WalkEnd::Unreadable);
}

TEST(FrameWalk, WhatIsNoStreamGivesNoFrames) {
  EXPECT_EQ(Walk({}, FrameKind::MpegAudio).end, WalkEnd::NoFrames);
  EXPECT_EQ(Walk(std::vector<uint8_t>(100000, 0xFF), FrameKind::MpegAudio).end, WalkEnd::NoFrames);
  EXPECT_EQ(Walk(std::vector<uint8_t>(100000, 0xFF), FrameKind::Adts).end, WalkEnd::NoFrames);
  // Free format: no header says how long its frames are.
  std::vector<uint8_t> free;
  for (int i = 0; i < 20; ++i) {
    const uint8_t header[4] = {0xFF, 0xFB, 0x00, 0x00};
    free.insert(free.end(), header, header + 4);
    free.resize(free.size() + 600, 0);
  }
  EXPECT_EQ(Walk(free, FrameKind::MpegAudio).end, WalkEnd::NoFrames);
  // One plausible header and then noise: no second frame agrees.
  std::vector<uint8_t> noise = Frames(1);
  for (uint32_t i = 0, x = 1; i < 200000; ++i) noise.push_back(uint8_t((x = x * 1103515245u + 12345u) >> 16));
  FrameWalk w = Walk(noise, FrameKind::MpegAudio);
  EXPECT_NE(w.end, WalkEnd::Whole);
  // An ID3v2 tag that claims more than the file holds.
  std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
  tag.resize(4000, 0);
  EXPECT_EQ(Walk(tag, FrameKind::MpegAudio).end, WalkEnd::NoFrames);
}

TEST(FrameWalk, TagsBetweenFramesAreSkippedAndClosingTagsEndTheSound) {
  std::vector<uint8_t> bytes = Frames(5);
  const uint8_t id3[10] = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 0};  // 256 bytes of body
  bytes.insert(bytes.end(), id3, id3 + 10);
  bytes.resize(bytes.size() + 256, 0xFF);
  std::vector<uint8_t> more = Frames(4);
  bytes.insert(bytes.end(), more.begin(), more.end());
  FrameWalk w = Walk(bytes, FrameKind::MpegAudio);
  EXPECT_EQ(w.end, WalkEnd::Whole);
  EXPECT_EQ(w.frames, 9u);
  // Frames after a Lyrics3 tag are not the file's sound.
  std::vector<uint8_t> lyrics = Frames(3);
  const char text[] = "LYRICSBEGIN";
  lyrics.insert(lyrics.end(), text, text + 11);
  more = Frames(3);
  lyrics.insert(lyrics.end(), more.begin(), more.end());
  EXPECT_EQ(Walk(lyrics, FrameKind::MpegAudio).frames, 3u);
}

}  // namespace
