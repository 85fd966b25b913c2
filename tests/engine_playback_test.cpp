// Decoding, the movie clock and drawing, through the dispatcher, compared
// with ffmpeg's own decode of the same frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tests/engine_harness.h"

#include <mmsystem.h>

using namespace enginetest;

namespace {

constexpr int kW = 320, kH = 240;


// How a picture differs from ffmpeg's BGRA decode of a frame: the mean
// absolute difference per channel, and the share of pixels off by more than
// codec noise (neighbouring frames differ in few pixels, but clearly).
struct Difference {
  double mean = 1e9;
  double offPixels = 1;
};

Difference Compare(const Picture& pic, const std::vector<uint8_t>& bgra) {
  Difference d;
  if (pic.width != kW || pic.height != kH || bgra.size() != size_t(kW) * kH * 4) return d;
  double sum = 0;
  size_t off = 0;
  for (size_t i = 0; i < size_t(kW) * kH; ++i) {
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
      int e = std::abs(int(pic.rgb[i * 3 + c]) - int(bgra[i * 4 + 2 - c]));
      sum += e;
      worst = std::max(worst, e);
    }
    off += worst > 60;
  }
  d.mean = sum / (double(kW) * kH * 3);
  d.offPixels = double(off) / (double(kW) * kH);
  return d;
}


class TestWindow {
 public:
  TestWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "EngineTestWindow";
    RegisterClassA(&wc);
    hwnd = CreateWindowA("EngineTestWindow", "movie", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr,
                         nullptr, nullptr);
    Fill();
  }
  ~TestWindow() { DestroyWindow(hwnd); }
  void Fill() {
    HDC dc = GetDC(hwnd);
    HBRUSH b = CreateSolidBrush(kBackground);
    RECT r = {0, 0, 400, 300};
    FillRect(dc, &r, b);
    DeleteObject(b);
    ReleaseDC(hwnd, dc);
  }
  COLORREF Pixel(int x, int y) {
    HDC dc = GetDC(hwnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return c;
  }
  static constexpr COLORREF kBackground = RGB(255, 0, 255);
  HWND hwnd;
};

struct PlayingMovie {
  explicit PlayingMovie(const char* file) {
    Opened o = OpenMovie(MediaPath(file));
    movie = o.movie;
    if (movie) times = FrameTimes(movie);
  }
  ~PlayingMovie() {
    if (movie) Op(kSel_DisposeMovie, movie);
  }
  Movie movie = nullptr;
  std::vector<TimeValue> times;
};

}  // namespace

TEST(EnginePlayback, PicturesAreTheExactFramesAskedFor) {
  PlayingMovie mp4("clip.mp4");
  ASSERT_NE(mp4.movie, nullptr);
  ASSERT_EQ(mp4.times.size(), 50u);
  struct {
    int frame;
    const char* reference;
  } cases[] = {{37, "frame37.bgra"}, {0, "frame0.bgra"}, {49, "frame49.bgra"}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.reference);
    std::vector<uint8_t> ref = ReadFileBytes(MediaPath(c.reference));
    TimeValue t = mp4.times[c.frame];
    Difference exact = Compare(PictureAt(mp4.movie, t), ref);
    EXPECT_LT(exact.mean, 3.0);
    EXPECT_LT(exact.offPixels, 0.001);
    // Any time while the frame shows gives the same frame.
    TimeValue end = c.frame + 1 < 50 ? mp4.times[c.frame + 1] : TimeValue(Op(kSel_GetMovieDuration, mp4.movie));
    Difference late = Compare(PictureAt(mp4.movie, end - 1), ref);
    EXPECT_LT(late.mean, 3.0);
    EXPECT_LT(late.offPixels, 0.001);
    // And its neighbour is told apart from it.
    if (c.frame > 0) {
      Difference before = Compare(PictureAt(mp4.movie, mp4.times[c.frame - 1]), ref);
      EXPECT_GT(before.mean, 2 * exact.mean + 1.0);
    }
  }
}

TEST(EnginePlayback, DrawsThePrerolledFrameIntoTheBoxOnly) {
  TestWindow window;
  PlayingMovie mp4("clip.mp4");
  ASSERT_NE(mp4.movie, nullptr);
  auto port = reinterpret_cast<CGrafPtr>(Op(kSel_CreatePortAssociation, window.hwnd, 0, 0));
  ASSERT_NE(port, nullptr);
  Op(kSel_SetMovieGWorld, mp4.movie, port, 0);
  Rect box = {20, 10, 20 + kH, 10 + kW};
  Op(kSel_SetMovieBox, mp4.movie, &box);
  Op(kSel_SetMovieActive, mp4.movie, 1);
  TimeValue t = mp4.times[37];
  Op(kSel_SetMovieTimeValue, mp4.movie, t);
  ASSERT_EQ(St(Op(kSel_PrePrerollMovie, mp4.movie, t, 0x10000, 0, 0)), 0);
  ASSERT_EQ(St(Op(kSel_PrerollMovie, mp4.movie, t, 0x10000)), 0);
  ASSERT_EQ(St(Op(kSel_UpdateMovie, mp4.movie)), 0);

  std::vector<uint8_t> ref = ReadFileBytes(MediaPath("frame37.bgra"));
  ASSERT_EQ(ref.size(), size_t(kW) * kH * 4);
  int mismatched = 0;
  for (int y = 5; y < kH; y += 23) {
    for (int x = 3; x < kW; x += 29) {
      COLORREF c = window.Pixel(box.left + x, box.top + y);
      const uint8_t* r = &ref[(size_t(y) * kW + x) * 4];
      int d = std::abs(GetRValue(c) - r[2]) + std::abs(GetGValue(c) - r[1]) + std::abs(GetBValue(c) - r[0]);
      if (d > 45) ++mismatched;
    }
  }
  EXPECT_LE(mismatched, 3);
  for (POINT p : {POINT{5, 5}, POINT{9, 100}, POINT{box.right, 100}, POINT{100, box.bottom}, POINT{100, box.top - 1}})
    EXPECT_EQ(window.Pixel(p.x, p.y), TestWindow::kBackground) << p.x << "," << p.y;

  // A smaller box scales the picture into it.
  window.Fill();
  Rect half = {0, 0, kH / 2, kW / 2};
  Op(kSel_SetMovieBox, mp4.movie, &half);
  Op(kSel_UpdateMovie, mp4.movie);
  EXPECT_NE(window.Pixel(kW / 4, kH / 4), TestWindow::kBackground);
  EXPECT_EQ(window.Pixel(kW / 2 + 1, kH / 4), TestWindow::kBackground);
  EXPECT_EQ(window.Pixel(kW / 4, kH / 2 + 1), TestWindow::kBackground);
  Op(kSel_DestroyPortAssociation, port);
}

TEST(EnginePlayback, PlaysToTheSegmentEndWithoutBlocking) {
  TestWindow window;
  PlayingMovie mp4("clip.mp4");  // with sound: no device here, so it plays silent
  ASSERT_NE(mp4.movie, nullptr);
  auto port = reinterpret_cast<CGrafPtr>(Op(kSel_CreatePortAssociation, window.hwnd, 0, 0));
  Op(kSel_SetMovieGWorld, mp4.movie, port, 0);
  TimeScale scale = TimeScale(Op(kSel_GetMovieTimeScale, mp4.movie));
  TimeValue start = mp4.times[10], length = scale * 6 / 10;
  Op(kSel_SetMovieActive, mp4.movie, 1);
  Op(kSel_SetMovieTimeValue, mp4.movie, start);
  Op(kSel_SetMovieActiveSegment, mp4.movie, start, length);
  ASSERT_EQ(St(Op(kSel_PrerollMovie, mp4.movie, start, 0x10000)), 0);
  Op(kSel_SetMovieRate, mp4.movie, 0x10000);
  // Movie time follows the wall clock: the segment cannot end sooner than
  // its length, however fast the machine. How long MoviesTask takes is a
  // figure for scripts/bench, not a test.
  double begin = Now(), doneAt = 0;
  TimeValue last = start;
  bool monotonic = true;
  while (Now() - begin < kDeadline) {
    Op(kSel_MoviesTask, mp4.movie, 0);
    TimeValue t = TimeValue(Op(kSel_GetMovieTime, mp4.movie, 0));
    monotonic = monotonic && t >= last;
    last = t;
    if (uint8_t(Op(kSel_IsMovieDone, mp4.movie))) {
      doneAt = Now() - begin;
      break;
    }
    Sleep(5);
  }
  EXPECT_TRUE(monotonic);
  ASSERT_GT(doneAt, 0.0) << "never finished";
  EXPECT_GT(doneAt, 0.5);
  EXPECT_EQ(TimeValue(Op(kSel_GetMovieTime, mp4.movie, 0)), start + length);
  // The last frame of the segment is on screen.
  EXPECT_NE(window.Pixel(100, 100), TestWindow::kBackground);
  Op(kSel_StopMovie, mp4.movie);
  Op(kSel_DestroyPortAssociation, port);
}

TEST(EnginePlayback, LoopFlagRepeatsTheSegmentAndRateZeroStandsStill) {
  PlayingMovie mov("clip.mov");
  ASSERT_NE(mov.movie, nullptr);
  TimeScale scale = TimeScale(Op(kSel_GetMovieTimeScale, mov.movie));
  TimeValue start = scale / 2, length = scale / 5;
  Op(kSel_SetMovieActive, mov.movie, 1);
  Op(kSel_SetMoviePlayHints, mov.movie, hintsLoop, hintsLoop);
  auto base = reinterpret_cast<TimeBase>(Op(kSel_GetMovieTimeBase, mov.movie));
  ASSERT_NE(base, nullptr);
  int32_t flags = int32_t(Op(kSel_GetTimeBaseFlags, base));
  Op(kSel_SetTimeBaseFlags, base, (flags | loopTimeBase) & ~palindromeLoopTimeBase);
  EXPECT_EQ(int32_t(Op(kSel_GetTimeBaseFlags, base)), loopTimeBase);
  Op(kSel_SetMovieTimeValue, mov.movie, start);
  Op(kSel_SetMovieActiveSegment, mov.movie, start, length);
  Op(kSel_SetMovieRate, mov.movie, 0x10000);
  // Until the time has wrapped twice: every time seen stays in the segment,
  // and a looping movie is never done.
  int wraps = 0;
  TimeValue last = start;
  double begin = Now();
  while (wraps < 2 && Now() - begin < kDeadline) {
    Op(kSel_MoviesTask, mov.movie, 0);
    TimeValue t = TimeValue(Op(kSel_GetMovieTime, mov.movie, 0));
    EXPECT_GE(t, start);
    EXPECT_LE(t, start + length);
    if (t < last) ++wraps;
    last = t;
    EXPECT_EQ(uint8_t(Op(kSel_IsMovieDone, mov.movie)), 0);
    Sleep(10);
  }
  EXPECT_EQ(wraps, 2);

  Op(kSel_SetMovieRate, mov.movie, 0);
  TimeValue held = TimeValue(Op(kSel_GetMovieTime, mov.movie, 0));
  Sleep(100);
  Op(kSel_MoviesTask, mov.movie, 0);
  EXPECT_EQ(TimeValue(Op(kSel_GetMovieTime, mov.movie, 0)), held);
}

TEST(EnginePlayback, NegativeRateStepsBackward) {
  TestWindow window;
  PlayingMovie mov("clip.mov");
  ASSERT_NE(mov.movie, nullptr);
  auto port = reinterpret_cast<CGrafPtr>(Op(kSel_CreatePortAssociation, window.hwnd, 0, 0));
  Op(kSel_SetMovieGWorld, mov.movie, port, 0);
  TimeScale scale = TimeScale(Op(kSel_GetMovieTimeScale, mov.movie));
  Op(kSel_SetMovieActive, mov.movie, 1);
  Op(kSel_SetMovieTimeValue, mov.movie, scale * 3 / 2);
  Op(kSel_SetMovieRate, mov.movie, -0x10000);
  // Backward until a quarter of a second has gone by in movie time; it
  // steps back from where it was and stays within the movie.
  TimeValue t = scale * 3 / 2;
  double begin = Now();
  while (t >= scale * 3 / 2 - scale / 4 && Now() - begin < kDeadline) {
    Op(kSel_MoviesTask, mov.movie, 0);
    t = TimeValue(Op(kSel_GetMovieTime, mov.movie, 0));
    EXPECT_LE(t, scale * 3 / 2);
    Sleep(10);
  }
  Op(kSel_SetMovieRate, mov.movie, 0);
  t = TimeValue(Op(kSel_GetMovieTime, mov.movie, 0));
  EXPECT_LT(t, scale * 3 / 2 - scale / 4);
  EXPECT_GE(t, 0);
  // Once still, the frame at that time is what gets drawn, as soon as the
  // decoder has it.
  Picture expected = PictureAt(mov.movie, t);
  ASSERT_EQ(expected.width, kW);
  const uint8_t* e = &expected.rgb[(size_t(200) * kW + 160) * 3];
  auto within8 = [](int a, int b) { return a - b <= 8 && b - a <= 8; };
  COLORREF c = window.Pixel(160, 200);
  begin = Now();
  while (!(within8(GetRValue(c), e[0]) && within8(GetGValue(c), e[1]) && within8(GetBValue(c), e[2])) &&
         Now() - begin < kDeadline) {
    Op(kSel_MoviesTask, mov.movie, 0);
    Sleep(5);
    c = window.Pixel(160, 200);
  }
  EXPECT_NEAR(GetRValue(c), e[0], 8);
  EXPECT_NEAR(GetGValue(c), e[1], 8);
  EXPECT_NEAR(GetBValue(c), e[2], 8);
  Op(kSel_DestroyPortAssociation, port);
}

TEST(EnginePlayback, SoundOnlyMoviePlaysSilentlyWithoutADevice) {
  if (waveOutGetNumDevs() != 0) GTEST_SKIP() << "this prefix has a sound device";
  PlayingMovie wav("tone.wav");
  ASSERT_NE(wav.movie, nullptr);
  Op(kSel_SetMovieVolume, wav.movie, int16_t(-128));
  EXPECT_EQ(int16_t(Op(kSel_GetMovieVolume, wav.movie)), -128);  // muted, value kept
  Op(kSel_SetMovieActive, wav.movie, 1);
  const uint32_t scale = Op(kSel_GetMovieTimeScale, wav.movie);  // the file's frame rate
  ASSERT_GT(scale, 0u);
  const uint32_t length = scale * 3 / 10;  // 0.3 s
  Op(kSel_SetMovieActiveSegment, wav.movie, 0, length);
  EXPECT_EQ(St(Op(kSel_PrerollMovie, wav.movie, 0, 0x10000)), 0);
  Op(kSel_SetMovieRate, wav.movie, 0x10000);
  // Without a device the movie runs on the wall clock: never sooner than
  // its length.
  double begin = Now();
  while (!uint8_t(Op(kSel_IsMovieDone, wav.movie)) && Now() - begin < kDeadline) {
    Op(kSel_MoviesTask, wav.movie, 0);
    Sleep(10);
  }
  ASSERT_TRUE(uint8_t(Op(kSel_IsMovieDone, wav.movie))) << "never finished";
  EXPECT_GT(Now() - begin, 0.25);
  EXPECT_EQ(Op(kSel_GetMovieTime, wav.movie, 0), length);
  EXPECT_EQ(Op(kSel_GetMoviePict, wav.movie, 0), 0u);  // no picture without video
}
