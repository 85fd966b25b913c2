// The engine's platform-free pieces: picture conversion, time line lookups
// and the movie clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "engine/playback/clock.h"
#include "engine/playback/sound_follow.h"
#include "engine/video/orient.h"
#include "engine/playback/timeline.h"
#include "engine/video/yuv.h"

using namespace vmedia;

namespace {

struct Yuv {
  uint8_t y, u, v;
};
// BT.601 limited-range codes of reference colours, and the colours.
const Yuv kRed{81, 90, 240}, kGreen{145, 54, 34}, kBlue{41, 240, 110}, kWhite{235, 128, 128}, kBlack{16, 128, 128};

void ExpectColour(const uint8_t* bgrx, int r, int g, int b) {
  EXPECT_NEAR(bgrx[2], r, 2);
  EXPECT_NEAR(bgrx[1], g, 2);
  EXPECT_NEAR(bgrx[0], b, 2);
  EXPECT_EQ(bgrx[3], 0xFF);
}

// A 4x4 NV12 picture whose four 2x2 blocks are red, green, blue and white,
// with `pitch` bytes a row and optionally stored bottom-up.
std::vector<uint8_t> Nv12Quadrants(int pitch, bool bottomUp) {
  const Yuv quad[2][2] = {{kRed, kGreen}, {kBlue, kWhite}};
  std::vector<uint8_t> buf(size_t(pitch) * 6, 0xEE);
  for (int r = 0; r < 4; ++r) {
    int stored = bottomUp ? 3 - r : r;
    for (int x = 0; x < 4; ++x) buf[size_t(stored) * pitch + x] = quad[r / 2][x / 2].y;
  }
  for (int r = 0; r < 2; ++r) {
    int stored = bottomUp ? 1 - r : r;
    for (int x = 0; x < 2; ++x) {
      buf[size_t(4 + stored) * pitch + 2 * x] = quad[r][x].u;
      buf[size_t(4 + stored) * pitch + 2 * x + 1] = quad[r][x].v;
    }
  }
  return buf;
}

void ExpectQuadrants(const std::vector<uint8_t>& out) {
  for (int r = 0; r < 4; ++r) {
    for (int x = 0; x < 4; ++x) {
      const uint8_t* px = &out[size_t(r * 4 + x) * 4];
      SCOPED_TRACE(testing::Message() << "row " << r << " col " << x);
      if (r < 2 && x < 2) ExpectColour(px, 255, 0, 0);
      if (r < 2 && x >= 2) ExpectColour(px, 0, 255, 0);
      if (r >= 2 && x < 2) ExpectColour(px, 0, 0, 255);
      if (r >= 2 && x >= 2) ExpectColour(px, 255, 255, 255);
    }
  }
}

}  // namespace

TEST(EngineConvert, Nv12WithPaddedPitchTopDownAndBottomUp) {
  for (bool bottomUp : {false, true}) {
    SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
    std::vector<uint8_t> in = Nv12Quadrants(16, bottomUp);
    std::vector<uint8_t> out(4 * 4 * 4, 0);
    SourcePicture s{PixelLayout::NV12, in.data(), in.size(), 4, 4, bottomUp ? -16 : 16, 4, YuvMatrix::Bt601};
    ASSERT_TRUE(ConvertToBgrx(s, out.data(), 16));
    ExpectQuadrants(out);
  }
}

TEST(EngineConvert, I420AndYuy2PlaceChromaPerPixelPair) {
  // I420 2x2: one chroma sample for all four pixels; luma varies.
  std::vector<uint8_t> i420 = {16, 235, 235, 16, 128, 128};
  std::vector<uint8_t> out(2 * 2 * 4);
  SourcePicture s{PixelLayout::I420, i420.data(), i420.size(), 2, 2, 2, 2, YuvMatrix::Bt601};
  ASSERT_TRUE(ConvertToBgrx(s, out.data(), 8));
  ExpectColour(&out[0], 0, 0, 0);
  ExpectColour(&out[4], 255, 255, 255);
  ExpectColour(&out[8], 255, 255, 255);
  ExpectColour(&out[12], 0, 0, 0);

  // YUY2 4x1: Y0 U Y1 V per pair; red pair then blue pair.
  std::vector<uint8_t> yuy2 = {kRed.y, kRed.u, kRed.y, kRed.v, kBlue.y, kBlue.u, kBlue.y, kBlue.v};
  std::vector<uint8_t> out2(4 * 4);
  SourcePicture s2{PixelLayout::YUY2, yuy2.data(), yuy2.size(), 4, 1, 8, 1, YuvMatrix::Bt601};
  ASSERT_TRUE(ConvertToBgrx(s2, out2.data(), 16));
  ExpectColour(&out2[0], 255, 0, 0);
  ExpectColour(&out2[4], 255, 0, 0);
  ExpectColour(&out2[8], 0, 0, 255);
  ExpectColour(&out2[12], 0, 0, 255);
}

TEST(EngineConvert, OddSizesAndBgrxRowsFlip) {
  // 3x3 NV12: the last column and row share chroma with their neighbours.
  std::vector<uint8_t> in(3 * 3 + 4 * 2, 0);
  for (int i = 0; i < 9; ++i) in[i] = kBlack.y;
  SourcePicture s{PixelLayout::NV12, in.data(), in.size(), 3, 3, 3, 3, YuvMatrix::Bt601};
  // 3-byte pitch gives a 3-byte chroma row, too short for two pairs.
  EXPECT_FALSE(ConvertToBgrx(s, std::vector<uint8_t>(36).data(), 12));
  std::vector<uint8_t> in4(4 * 3 + 4 * 2, 128);
  for (int i = 0; i < 12; ++i) in4[i] = kBlack.y;
  SourcePicture s4{PixelLayout::NV12, in4.data(), in4.size(), 3, 3, 4, 3, YuvMatrix::Bt601};
  std::vector<uint8_t> out(36, 0x11);
  ASSERT_TRUE(ConvertToBgrx(s4, out.data(), 12));
  for (int i = 0; i < 9; ++i) ExpectColour(&out[i * 4], 0, 0, 0);

  // Bottom-up BGRX rows come out top row first.
  std::vector<uint8_t> bgrx = {1, 2, 3, 0, 4, 5, 6, 0};  // stored: bottom row, then top row
  std::vector<uint8_t> flipped(8);
  SourcePicture b{PixelLayout::BGRX, bgrx.data(), bgrx.size(), 1, 2, -4, 2, YuvMatrix::Bt601};
  ASSERT_TRUE(ConvertToBgrx(b, flipped.data(), 4));
  EXPECT_EQ(flipped, (std::vector<uint8_t>{4, 5, 6, 0xFF, 1, 2, 3, 0xFF}));
}

TEST(EngineConvert, RefusesShortBuffersAndBadSizes) {
  std::vector<uint8_t> in = Nv12Quadrants(4, false);
  std::vector<uint8_t> out(64, 0x5A);
  SourcePicture s{PixelLayout::NV12, in.data(), in.size() - 1, 4, 4, 4, 4, YuvMatrix::Bt601};
  EXPECT_FALSE(ConvertToBgrx(s, out.data(), 16));
  s.bufferSize = in.size();
  s.pitch = 3;  // narrower than a row
  EXPECT_FALSE(ConvertToBgrx(s, out.data(), 16));
  s.pitch = 4;
  s.planeRows = 3;  // fewer rows than the picture
  EXPECT_FALSE(ConvertToBgrx(s, out.data(), 16));
  s.planeRows = 4;
  s.width = 0;
  EXPECT_FALSE(ConvertToBgrx(s, out.data(), 16));
  EXPECT_EQ(out, std::vector<uint8_t>(64, 0x5A));
}

TEST(EngineConvert, Bt709MatrixDiffersFrom601ForColour) {
  std::vector<uint8_t> in = {kRed.y, kRed.y, kRed.y, kRed.y, kRed.u, kRed.v};
  std::vector<uint8_t> a(16), b(16);
  SourcePicture s{PixelLayout::NV12, in.data(), in.size(), 2, 2, 2, 2, YuvMatrix::Bt601};
  ASSERT_TRUE(ConvertToBgrx(s, a.data(), 8));
  s.matrix = YuvMatrix::Bt709;
  ASSERT_TRUE(ConvertToBgrx(s, b.data(), 8));
  EXPECT_NE(a, b);
}

TEST(EngineTimeline, NextTimeForwardBackwardAndEdges) {
  std::vector<int32_t> t = {0, 24, 48, 72};
  int32_t len = 0;
  EXPECT_EQ(NextTime(t, 0, false, true, 96, &len), 0);
  EXPECT_EQ(len, 24);
  EXPECT_EQ(NextTime(t, 0, false, false, 96, &len), 24);
  EXPECT_EQ(NextTime(t, 72, false, true, 96, &len), 72);
  EXPECT_EQ(len, 24);  // to the end of the movie
  EXPECT_EQ(NextTime(t, 72, false, false, 96, &len), -1);
  EXPECT_EQ(NextTime(t, 50, true, false, 96, &len), 48);
  EXPECT_EQ(NextTime(t, 48, true, false, 96, &len), 24);
  EXPECT_EQ(NextTime(t, 0, true, false, 96, &len), -1);
  EXPECT_EQ(NextTime({}, 0, false, true, 96, &len), -1);
  // A walk with a hint answers as the search does, also where it jumps.
  std::vector<int32_t> steps;
  for (int32_t k = 0; k < 1000; ++k) steps.push_back(k * 3);
  size_t hint = 0;
  for (int32_t at : {0, 1, 3, 4, 6, 600, 9, 2997, 2998, -5, 30}) {
    for (bool edge : {false, true}) {
      int32_t a = 0, b = 0;
      EXPECT_EQ(NextTime(steps, at, false, edge, 3000, &a, &hint), NextTime(steps, at, false, edge, 3000, &b)) << at;
      EXPECT_EQ(a, b) << at;
    }
  }
  int32_t at = 0, count = 0;
  hint = 0;
  for (int32_t next; (next = NextTime(steps, at, false, count == 0, 3000, nullptr, &hint)) >= 0; at = next) ++count;
  EXPECT_EQ(count, 1000);

  EXPECT_EQ(IndexAtOrBefore(t, -1), -1);
  EXPECT_EQ(IndexAtOrBefore(t, 47), 1);
  EXPECT_EQ(IndexAtOrBefore(t, 48), 2);
  EXPECT_EQ(IndexAtOrBefore(t, 1000), 3);
  EXPECT_EQ(NearestIndex(t, 35.9), 1);
  EXPECT_EQ(NearestIndex(t, 36.1), 2);
}

// No picture before the first frame, nor from the start of a blank to the
// next frame; a frame that starts with the blank shows.
TEST(EngineTimeline, ShownIndexLeavesBlanksEmpty) {
  Timeline tl;
  tl.videoTimes = {60, 84, 168, 192};
  tl.blankTimes = {0, 108, 192};
  EXPECT_EQ(ShownIndex(tl, 0), -1);
  EXPECT_EQ(ShownIndex(tl, 59), -1);
  EXPECT_EQ(ShownIndex(tl, 60), 0);
  EXPECT_EQ(ShownIndex(tl, 107), 1);
  EXPECT_EQ(ShownIndex(tl, 108), -1);
  EXPECT_EQ(ShownIndex(tl, 167), -1);
  EXPECT_EQ(ShownIndex(tl, 168), 2);
  EXPECT_EQ(ShownIndex(tl, 5000), 3);
  tl.blankTimes.clear();
  EXPECT_EQ(ShownIndex(tl, 120), 1) << "without blanks the last frame holds";
}

TEST(EngineTimeline, UniformTimesCoverTheDurationOnly) {
  std::vector<int32_t> t = UniformTimes(1200, 600, 25);  // 2 s at 25 fps
  ASSERT_EQ(t.size(), 50u);
  EXPECT_EQ(t[1], 24);
  EXPECT_EQ(t.back(), 1176);
  EXPECT_EQ(UniformTimes(1200, 600, 29.97).size(), 60u);
  EXPECT_TRUE(UniformTimes(1200, 600, 0).empty());
  EXPECT_TRUE(UniformTimes(0, 600, 25).empty());
}

TEST(EngineClock, RunsAtRateAndStopsAtSegmentEnd) {
  MovieClock c;
  c.Reset(600, 1200);
  c.SetTime(0, 10.0);
  EXPECT_EQ(c.TimeAt(11.0), 0);  // rate 0 stands still
  EXPECT_FALSE(c.IsDone(11.0));
  c.SetRate(1.0, 11.0);
  EXPECT_EQ(c.TimeAt(11.5), 300);
  c.SetRate(2.0, 11.5);
  EXPECT_EQ(c.TimeAt(12.0), 900);
  EXPECT_FALSE(c.IsDone(12.0));
  EXPECT_EQ(c.TimeAt(13.0), 1200);  // held at the end
  EXPECT_TRUE(c.IsDone(13.0));

  c.SetSegment(300, 300, 13.0);
  c.SetTime(300, 13.0);
  c.SetRate(1.0, 13.0);
  EXPECT_FALSE(c.IsDone(13.4));
  EXPECT_EQ(c.TimeAt(13.6), 600);
  EXPECT_TRUE(c.IsDone(13.6));
  c.SetSegment(-1, 0, 13.6);
  EXPECT_EQ(c.segmentEnd(), 1200);
  EXPECT_FALSE(c.IsDone(13.6));
}

// A palindrome runs to the segment's end and back, and round again, in
// whichever direction it starts; it never ends.
TEST(EngineClock, PalindromeTurnsAtBothEnds) {
  MovieClock c;
  c.Reset(600, 1200);
  c.SetSegment(600, 300, 0);  // 600..900
  c.SetTime(600, 0);
  c.SetFlags(kLoopFlag | kPalindromeFlag, 0);
  c.SetRate(1.0, 0);
  EXPECT_EQ(c.TimeAt(0.25), 750);
  EXPECT_EQ(c.TimeAt(0.75), 750) << "turned at 900, on the way back";
  EXPECT_LT(c.ExactTimeAt(0.8), 750) << "still going back";
  EXPECT_EQ(c.TimeAt(1.25), 750) << "turned at 600, forward again";
  EXPECT_GT(c.ExactTimeAt(1.3), 750);
  // Several ends in one step: from 780, 900 units on is 120 up to 900,
  // 300 down, 300 up and 180 down again.
  EXPECT_EQ(c.TimeAt(2.8), 720);
  EXPECT_FALSE(c.IsDone(100.0));

  MovieClock back;
  back.Reset(600, 1200);
  back.SetSegment(600, 300, 0);
  back.SetTime(700, 0);
  back.SetFlags(kLoopFlag | kPalindromeFlag, 0);
  back.SetRate(-1.0, 0);
  EXPECT_EQ(back.TimeAt(0.5), 800) << "turned at 600, now forward";
  EXPECT_EQ(back.TimeAt(0.75), 850) << "turned at 900, back again";
  EXPECT_LT(back.ExactTimeAt(0.8), 850);
}

TEST(EngineClock, LoopsAndRunsBackward) {
  MovieClock c;
  c.Reset(600, 1200);
  c.SetSegment(600, 300, 0);
  c.SetTime(600, 0);
  c.SetFlags(kLoopFlag, 0);
  c.SetRate(1.0, 0);
  EXPECT_EQ(c.TimeAt(0.25), 750);
  EXPECT_EQ(c.TimeAt(0.75), 750);  // one lap later
  EXPECT_FALSE(c.IsDone(10.0));  // looping never ends

  MovieClock back;
  back.Reset(600, 1200);
  back.SetTime(600, 0);
  back.SetRate(-1.0, 0);
  EXPECT_EQ(back.TimeAt(0.5), 300);
  EXPECT_FALSE(back.IsDone(0.5));
  EXPECT_EQ(back.TimeAt(2.0), 0);
  EXPECT_TRUE(back.IsDone(2.0));
}

// Following the sound: a trim of 0 holds the clock while the sound starts,
// other trims speed it up or slow it down, and none of it changes the rate
// it answers or its segment's end.
TEST(EngineClock, TrimHoldsAndCatchesUp) {
  MovieClock c;
  c.Reset(600, 1200);
  c.SetRate(1.0, 0);
  c.SetTrim(0, 0);
  EXPECT_EQ(c.TimeAt(0.3), 0);
  EXPECT_EQ(c.rate(), 1.0);
  c.SetTrim(1.1, 0.3);
  EXPECT_NEAR(c.ExactTimeAt(1.3), 660.0, 1e-6);
  c.SetTrim(0.9, 1.3);
  EXPECT_NEAR(c.ExactTimeAt(2.3), 1200.0, 1e-6);  // 660 + 540
  EXPECT_TRUE(c.IsDone(2.3));
  c.SetTrim(-3, 2.3);  // nonsense holds rather than runs backward
  EXPECT_EQ(c.trim(), 0.0);
  c.Reset(600, 1200);
  EXPECT_EQ(c.trim(), 1.0);
}

// The picture following its sound, as the engine's task sees it.
TEST(SoundFollow, HoldsWhileTheSoundStartsThenTakesItsTime) {
  SoundFollow s;
  FollowStep step = FollowStarting(s, 10.0);
  EXPECT_EQ(step.trim, 0.0);
  EXPECT_EQ(FollowStarting(s, 10.5).trim, 0.0);
  // The device's count first shows the sound 15 ms in: the clock, held at
  // 3.000, jumps there rather than run late for a second.
  step = FollowHeard(s, 3.015, 3.000, 1.0, 0, 10.6);
  EXPECT_TRUE(step.jump);
  EXPECT_DOUBLE_EQ(step.to, 3.015);
  EXPECT_EQ(step.trim, 1.0);
  // From then on a small gap is closed by running faster or slower.
  step = FollowHeard(s, 3.115, 3.100, 1.0, 0, 10.7);
  EXPECT_FALSE(step.jump);
  EXPECT_NEAR(step.trim, 1.03, 1e-9);
  EXPECT_NEAR(FollowHeard(s, 3.0, 3.2 - 0.01, 1.0, 0, 10.8).trim, 1 - kMaxTrim, 1e-9);
  // A sound that never starts lets the picture go on alone after a second.
  SoundFollow late;
  FollowStarting(late, 20.0);
  EXPECT_EQ(FollowStarting(late, 20.0 + kSoundWaitSeconds).trim, 1.0);
  // A sound behind the held clock is not jumped to: the clock never runs back.
  SoundFollow behind;
  FollowStarting(behind, 0);
  EXPECT_FALSE(FollowHeard(behind, 2.99, 3.0, 1.0, 0, 0.1).jump);
}

TEST(SoundFollow, FarAheadJumpsFarBehindWaitsThenRestarts) {
  SoundFollow s;
  FollowStep step = FollowHeard(s, 5.5, 5.0, 1.0, 0, 0);
  EXPECT_TRUE(step.jump);
  EXPECT_DOUBLE_EQ(step.to, 5.5);
  // A stalled device: the picture waits for it, and the sound is not
  // started again (which would skip what it has not played) ...
  step = FollowHeard(s, 5.0, 5.3, 1.0, 0, 1.0);
  EXPECT_EQ(step.trim, 0.0);
  EXPECT_FALSE(step.restartSound);
  step = FollowHeard(s, 5.05, 5.3, 1.0, 0, 1.5);
  EXPECT_EQ(step.trim, 0.0);
  EXPECT_FALSE(step.restartSound);
  // ... unless it stays behind for a second.
  step = FollowHeard(s, 5.06, 5.3, 1.0, 0, 1.0 + kSoundWaitSeconds);
  EXPECT_TRUE(step.restartSound);
  EXPECT_EQ(step.trim, 0.0);
  // Coming back within the jump's reach ends the wait: a later stall waits
  // its own second again.
  FollowHeard(s, 5.25, 5.3, 1.0, 0, 3.0);
  EXPECT_FALSE(FollowHeard(s, 5.0, 5.5, 1.0, 0, 3.1).restartSound);
  EXPECT_FALSE(FollowHeard(s, 5.0, 5.5, 1.0, 0, 3.1 + kSoundWaitSeconds - 0.01).restartSound);
}

TEST(SoundFollow, GapsAreInWallTimeAndRoundALoop) {
  SoundFollow s;
  // At rate 2, 0.3 s of movie is 0.15 s of wall time: closed by trimming.
  EXPECT_FALSE(FollowHeard(s, 1.3, 1.0, 2.0, 0, 0).jump);
  // At rate 0.5 the same gap is 0.6 s: a jump.
  EXPECT_TRUE(FollowHeard(s, 1.3, 1.0, 0.5, 0, 0).jump);
  // Round a 1 s loop the sound has wrapped to 0.02 while the clock reads
  // 0.98: 40 ms ahead, not 960 ms behind.
  FollowStep step = FollowHeard(s, 0.02, 0.98, 1.0, 1.0, 0);
  EXPECT_FALSE(step.jump);
  EXPECT_FALSE(step.restartSound);
  EXPECT_NEAR(step.trim, 1 + 0.04 / kSoundCatchUpSeconds, 1e-9);
  // Silence leaves the clock to itself and forgets any wait.
  FollowStarting(s, 0);
  step = FollowSilence(s);
  EXPECT_EQ(step.trim, 1.0);
  EXPECT_LT(s.waitSince, 0);
}

namespace {

// Decoders pad rows without saying so; the guess must find the padding from
// the buffer's length alone, or every row starts a little further off.
TEST(GuessLayout, FindsRowAndPlanePadding) {
  struct Case {
    PixelLayout layout;
    int width, height, pitch, rows;
  } cases[] = {
      {PixelLayout::NV12, 320, 240, 320, 240},   {PixelLayout::NV12, 854, 480, 856, 480},
      {PixelLayout::NV12, 854, 480, 864, 480},   {PixelLayout::NV12, 1920, 1080, 1920, 1088},
      {PixelLayout::NV12, 426, 240, 432, 240},   {PixelLayout::YUY2, 853, 480, 1708, 480},
      {PixelLayout::I420, 854, 480, 856, 480},
  };
  for (const Case& c : cases) {
    ptrdiff_t pitch = 0;
    int rows = 0;
    GuessLayout(c.layout, c.width, c.height, RequiredBufferSize(c.layout, c.pitch, c.rows), &pitch, &rows);
    EXPECT_EQ(pitch, c.pitch) << c.width << "x" << c.height;
    EXPECT_EQ(rows, c.rows) << c.width << "x" << c.height;
  }
  ptrdiff_t pitch = 0;
  int rows = 0;
  GuessLayout(PixelLayout::NV12, 320, 240, 12345, &pitch, &rows);  // matches nothing
  EXPECT_EQ(pitch, 320);
  EXPECT_EQ(rows, 240);
}

// An NV12 picture 854 wide in rows of 856: a white left half stays a
// straight edge down the whole picture instead of a slant.
TEST(GuessLayout, PaddedRowsComeOutUnsheared) {
  const int w = 854, h = 480, p = 856;
  std::vector<uint8_t> buffer(RequiredBufferSize(PixelLayout::NV12, p, h), 128);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < p; ++x) buffer[size_t(y) * p + x] = x < w / 2 ? 235 : x < w ? 16 : 77;
  SourcePicture src{PixelLayout::NV12, buffer.data(), buffer.size(), w, h, 0, 0, YuvMatrix::Bt601};
  GuessLayout(src.layout, w, h, buffer.size(), &src.pitch, &src.planeRows);
  std::vector<uint8_t> out(size_t(w) * h * 4);
  ASSERT_TRUE(ConvertToBgrx(src, out.data(), w * 4));
  for (int y : {0, 1, h / 2, h - 1}) {
    const uint8_t* row = &out[size_t(y) * w * 4];
    EXPECT_GT(row[(w / 2 - 2) * 4 + 1], 200) << "row " << y;
    EXPECT_LT(row[(w / 2 + 2) * 4 + 1], 40) << "row " << y;
    EXPECT_LT(row[(w - 1) * 4 + 1], 40) << "row " << y;
  }
}

}  // namespace

namespace {

// Pixels numbered in their blue byte, so a picture reads back as the
// numbers of the stored pixels it shows.
std::vector<uint8_t> Numbered(int w, int h) {
  std::vector<uint8_t> p(size_t(w) * h * 4, 0xFF);
  for (int i = 0; i < w * h; ++i) p[size_t(i) * 4] = uint8_t(i);
  return p;
}

std::vector<int> Shown(const std::vector<uint8_t>& src, int w, int h, Orientation how, int dw, int dh) {
  std::vector<uint8_t> out(size_t(dw) * dh * 4, 0);
  EXPECT_TRUE(OrientPicture(src.data(), w, h, w * 4, how, out.data(), dw, dh, dw * 4));
  std::vector<int> numbers;
  for (int i = 0; i < dw * dh; ++i) numbers.push_back(out[size_t(i) * 4]);
  return numbers;
}

// The stored picture     0 1 2
//                        3 4 5
// as a viewer sees it for each matrix a phone or an editor writes.
TEST(OrientPicture, TurnsAndMirrorsExactly) {
  std::vector<uint8_t> src = Numbered(3, 2);
  EXPECT_EQ(Shown(src, 3, 2, {0, false}, 3, 2), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Shown(src, 3, 2, {90, false}, 2, 3), (std::vector<int>{3, 0, 4, 1, 5, 2}));
  EXPECT_EQ(Shown(src, 3, 2, {180, false}, 3, 2), (std::vector<int>{5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(Shown(src, 3, 2, {270, false}, 2, 3), (std::vector<int>{2, 5, 1, 4, 0, 3}));
  EXPECT_EQ(Shown(src, 3, 2, {0, true}, 3, 2), (std::vector<int>{2, 1, 0, 5, 4, 3}));
  // Mirrored first, then turned: a quarter turn of 2 1 0 / 5 4 3.
  EXPECT_EQ(Shown(src, 3, 2, {90, true}, 2, 3), (std::vector<int>{5, 2, 4, 1, 3, 0}));
  EXPECT_EQ(Shown(src, 3, 2, {180, true}, 3, 2), (std::vector<int>{3, 4, 5, 0, 1, 2}));
}

// Non-square pixels: a picture stored 4 wide shown 6 wide keeps its left
// and right halves where they are and blends only at the seam.
TEST(OrientPicture, ScalesToTheDisplaySize) {
  std::vector<uint8_t> src(4 * 2 * 4, 0xFF);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) src[(size_t(y) * 4 + x) * 4 + 1] = x < 2 ? 200 : 20;
  std::vector<uint8_t> out(6 * 2 * 4, 0);
  ASSERT_TRUE(OrientPicture(src.data(), 4, 2, 16, {0, false}, out.data(), 6, 2, 24));
  for (int y = 0; y < 2; ++y) {
    const uint8_t* row = &out[size_t(y) * 24];
    EXPECT_EQ(row[0 * 4 + 1], 200);
    EXPECT_EQ(row[1 * 4 + 1], 200);
    EXPECT_EQ(row[4 * 4 + 1], 20);
    EXPECT_EQ(row[5 * 4 + 1], 20);
    EXPECT_GT(row[2 * 4 + 1], 20);
    EXPECT_LT(row[3 * 4 + 1], 200);
    EXPECT_EQ(row[3], 0xFF);
  }
  // Turned and scaled at once: a 2x4 portrait shown 6 wide, 2 high.
  std::vector<uint8_t> tall(2 * 4 * 4, 0xFF);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 2; ++x) tall[(size_t(y) * 2 + x) * 4 + 1] = y < 2 ? 200 : 20;
  ASSERT_TRUE(OrientPicture(tall.data(), 2, 4, 8, {270, false}, out.data(), 6, 2, 24));
  EXPECT_EQ(out[0 * 4 + 1], 200) << "the stored top is the shown left after a turn of 270";
  EXPECT_EQ(out[5 * 4 + 1], 20);
}

TEST(OrientPicture, RefusesWhatItCannotShow) {
  std::vector<uint8_t> src = Numbered(3, 2), out(64, 0);
  EXPECT_FALSE(OrientPicture(src.data(), 3, 2, 12, {45, false}, out.data(), 3, 2, 12));
  EXPECT_FALSE(OrientPicture(src.data(), 3, 2, 8, {0, false}, out.data(), 3, 2, 12));
  EXPECT_FALSE(OrientPicture(src.data(), 0, 2, 12, {0, false}, out.data(), 3, 2, 12));
  EXPECT_FALSE(OrientPicture(nullptr, 3, 2, 12, {0, false}, out.data(), 3, 2, 12));
  EXPECT_FALSE(OrientPicture(src.data(), 3, 2, 12, {0, false}, out.data(), 40000, 1, 160000));
  EXPECT_EQ(out, std::vector<uint8_t>(64, 0));
}

}  // namespace

namespace {

// Bytes of the narrowest row of each layout, as a decoder without padding
// hands it over.
ptrdiff_t TightPitch(PixelLayout layout, int w) {
  switch (layout) {
    case PixelLayout::NV12: return (w + 1) / 2 * 2;
    case PixelLayout::I420: return w;
    case PixelLayout::YUY2: return (w + 1) / 2 * 4;
    case PixelLayout::BGRX: return ptrdiff_t(w) * 4;
  }
  return 0;
}

// A grey picture of that layout, exactly as many bytes as it needs, whose
// level at (x, y) is 20 + (3x + 7y) mod 200: neutral chroma, so that full
// range gives back the level itself in every colour byte.
std::vector<uint8_t> GreyPicture(PixelLayout layout, int w, int h, ptrdiff_t pitch) {
  std::vector<uint8_t> b(RequiredBufferSize(layout, pitch, h), 128);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t level = uint8_t(20 + (3 * x + 7 * y) % 200);
      uint8_t* row = b.data() + y * pitch;
      if (layout == PixelLayout::YUY2) row[x * 2] = level;
      else if (layout == PixelLayout::BGRX) row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = level;
      else row[x] = level;
    }
  return b;
}

}  // namespace

// Every width from 1 to 400 at small and odd heights, in buffers of exactly
// the bytes each layout needs, into rows exactly as wide as the picture
// (the sanitizers catch a byte read or written past either): every pixel
// shows its own level.
TEST(PictureSizes, ConvertsEveryWidthExactly) {
  for (PixelLayout layout : {PixelLayout::NV12, PixelLayout::I420, PixelLayout::YUY2, PixelLayout::BGRX}) {
    for (int w = 1; w <= 400; ++w) {
      for (int h : {1, 2, 3, 5, 17}) {
        const ptrdiff_t pitch = TightPitch(layout, w);
        std::vector<uint8_t> in = GreyPicture(layout, w, h, pitch);
        SourcePicture s{layout, in.data(), in.size(), w, h, pitch, h, YuvMatrix::Bt601, true};
        std::vector<uint8_t> out(size_t(w) * h * 4);
        ASSERT_TRUE(ConvertToBgrx(s, out.data(), ptrdiff_t(w) * 4)) << int(layout) << " " << w << "x" << h;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const uint8_t* px = &out[(size_t(y) * w + x) * 4];
            const int level = 20 + (3 * x + 7 * y) % 200;
            ASSERT_TRUE(px[0] == level && px[1] == level && px[2] == level && px[3] == 0xFF)
                << int(layout) << " " << w << "x" << h << " at " << x << "," << y;
          }
      }
    }
  }
}

namespace {

// Pixels numbered in all four bytes.
std::vector<uint32_t> NumberedWide(int w, int h) {
  std::vector<uint32_t> p(size_t(w) * h);
  for (size_t i = 0; i < p.size(); ++i) p[i] = uint32_t(i);
  return p;
}

}  // namespace

// Every width from 1 to 400 at odd heights, turned and mirrored each way,
// from rows padded as the scaler leaves them into rows exactly as wide as
// the picture: each stored pixel shows once, and the stored top left
// corner lands where the turn puts it.
TEST(PictureSizes, TurnsEveryWidthExactly) {
  const Orientation hows[] = {{0, false}, {90, false}, {180, false}, {270, false},
                              {0, true},  {90, true},  {180, true},  {270, true}};
  for (int w = 1; w <= 400; ++w) {
    for (int h : {1, 3, 7}) {
      const int padded = (w + 31) / 16 * 16;  // pixels a padded row holds
      std::vector<uint32_t> src(size_t(padded) * h, 0xDEADBEEF);
      std::vector<uint32_t> numbers = NumberedWide(w, h);
      for (int y = 0; y < h; ++y)
        std::copy(numbers.begin() + ptrdiff_t(y) * w, numbers.begin() + ptrdiff_t(y + 1) * w, src.begin() + ptrdiff_t(y) * padded);
      for (const Orientation& how : hows) {
        const int dw = how.Sideways() ? h : w, dh = how.Sideways() ? w : h;
        std::vector<uint32_t> out(size_t(dw) * dh);
        ASSERT_TRUE(OrientPicture(reinterpret_cast<const uint8_t*>(src.data()), w, h, ptrdiff_t(padded) * 4, how,
                                  reinterpret_cast<uint8_t*>(out.data()), dw, dh, ptrdiff_t(dw) * 4))
            << w << "x" << h << " " << how.turn << (how.mirrored ? " mirrored" : "");
        std::vector<uint32_t> sorted = out;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(numbers, sorted) << w << "x" << h << " " << how.turn << (how.mirrored ? " mirrored" : "");
        // Where stored pixel 0 shows: mirrored, it is the top right; a
        // quarter turn clockwise takes the top left to the top right.
        int corner = how.mirrored ? 1 : 0;  // 0 top left, 1 top right, 2 bottom right, 3 bottom left
        corner = (corner + how.turn / 90) % 4;
        const size_t at[4] = {0, size_t(dw) - 1, size_t(dw) * dh - 1, size_t(dw) * (dh - 1)};
        ASSERT_EQ(0u, out[at[corner]]) << w << "x" << h << " " << how.turn << (how.mirrored ? " mirrored" : "");
      }
    }
  }
}

// Every width from 1 to 400 at odd heights scaled to display sizes wider,
// narrower and of one pixel, upright and turned: a picture of one colour
// stays that colour, with nothing read or written outside the buffers.
TEST(PictureSizes, ScalesEveryWidth) {
  for (int w = 1; w <= 400; ++w) {
    for (int h : {1, 3, 9}) {
      const ptrdiff_t pitch = ptrdiff_t(w) * 4;
      std::vector<uint8_t> src(size_t(pitch) * h);
      for (size_t i = 0; i < src.size(); i += 4) {
        src[i] = 10;
        src[i + 1] = 120;
        src[i + 2] = 230;
        src[i + 3] = 0xFF;
      }
      for (Orientation how : {Orientation{0, false}, Orientation{90, true}}) {
        const int sw = how.Sideways() ? h : w, sh = how.Sideways() ? w : h;
        struct Size {
          int w, h;
        };
        for (Size size : {Size{sw * 4 / 3 + 1, sh}, Size{(sw + 1) / 2, sh * 2 + 1}, Size{1, 1}}) {
          const int dw = size.w, dh = size.h;
          if (dw == sw && dh == sh) continue;
          std::vector<uint8_t> out(size_t(dw) * dh * 4);
          ASSERT_TRUE(OrientPicture(src.data(), w, h, pitch, how, out.data(), dw, dh, ptrdiff_t(dw) * 4))
              << w << "x" << h << " to " << dw << "x" << dh;
          for (size_t i = 0; i < out.size(); i += 4)
            ASSERT_TRUE(out[i] == 10 && out[i + 1] == 120 && out[i + 2] == 230 && out[i + 3] == 0xFF)
                << w << "x" << h << " to " << dw << "x" << dh << " at " << i / 4;
        }
      }
    }
  }
}
