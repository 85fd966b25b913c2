// The containers and codecs libavformat and libavcodec read for the engine,
// one file of each made by ffmpeg or, where it cannot, by the media script
// (tests/media/make_format_media.sh; AMR in 3GP goes through our own movie
// reader), run with Wine's GStreamer off so that Media Foundation decodes
// nothing: what plays here, our own engine played.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/engine_harness.h"

using namespace enginetest;

namespace {

struct Expected {
  std::string name;
  double seconds = 0;
  int width = 0, height = 0;
  TimeScale scale = 0;
  double lead = 0;  // seconds from the file's start to its first frame
};

std::vector<Expected> Formats() {
  std::vector<Expected> all;
  std::ifstream in("format-media/formats.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Expected e;
    if (fields >> e.name >> e.seconds >> e.width >> e.height >> e.scale >> e.lead) all.push_back(e);
  }
  return all;
}

std::string FormatPath(const std::string& name) { return "format-media\\" + name; }

struct OpenedMovie {
  explicit OpenedMovie(const std::string& name) : opened(OpenMovie(FormatPath(name))) {}
  ~OpenedMovie() {
    if (opened.movie) Op(kSel_DisposeMovie, opened.movie);
  }
  Opened opened;
};


// The mean absolute difference per channel from ffmpeg's BGRA decode; a
// large figure when the sizes differ.
double MeanDifference(const Picture& pic, const std::vector<uint8_t>& bgra, int w, int h) {
  if (pic.width != w || pic.height != h || bgra.size() != size_t(w) * h * 4) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < size_t(w) * h; ++i)
    for (int c = 0; c < 3; ++c) sum += std::abs(int(pic.rgb[i * 3 + c]) - int(bgra[i * 4 + 2 - c]));
  return sum / (double(w) * h * 3);
}

TEST(EngineFormats, EveryFileOpensWithFfprobesLengthSizeAndItsOwnTimeScale) {
  std::vector<Expected> formats = Formats();
  ASSERT_GE(formats.size(), 20u) << "format-media/formats.txt missing";
  for (const Expected& e : formats) {
    SCOPED_TRACE(e.name);
    OpenedMovie m(e.name);
    ASSERT_EQ(m.opened.movieErr, 0);
    ASSERT_NE(m.opened.movie, nullptr);
    TimeScale scale = TimeScale(Op(kSel_GetMovieTimeScale, m.opened.movie));
    TimeValue duration = TimeValue(Op(kSel_GetMovieDuration, m.opened.movie));
    // Sound alone counts in its sample rate, video in its time base.
    EXPECT_EQ(scale, e.scale);
    // Within a frame of video (the longer stream sets the length).
    EXPECT_NEAR(double(duration) / scale, e.seconds, 0.045);
    Rect box = {};
    Op(kSel_GetMovieBox, m.opened.movie, &box);
    EXPECT_EQ(box.right - box.left, e.width);
    EXPECT_EQ(box.bottom - box.top, e.height);
  }
}

TEST(EngineFormats, ThePictureAtATimeIsFfmpegsAndItsNeighbourIsNot) {
  for (const Expected& e : Formats()) {
    if (e.width == 0) continue;
    SCOPED_TRACE(e.name);
    OpenedMovie m(e.name);
    ASSERT_NE(m.opened.movie, nullptr);
    const TimeScale scale = TimeScale(Op(kSel_GetMovieTimeScale, m.opened.movie));
    std::vector<uint8_t> at40 = ReadFileBytes(FormatPath(e.name + ".at40.bgra"));
    std::vector<uint8_t> at48 = ReadFileBytes(FormatPath(e.name + ".at48.bgra"));
    auto at = [&](double seconds) { return TimeValue(std::lround((e.lead + seconds) * scale)); };
    // A later time first, then back, then on: a seek either way and going
    // on from there land on the frames ffmpeg shows at those times. Lossy
    // codings differ from ffmpeg's decode by its scaler's rounding.
    Picture later = PictureAt(m.opened.movie, at(0.48));
    Picture first = PictureAt(m.opened.movie, at(0.40));
    Picture stillFirst = PictureAt(m.opened.movie, at(0.44) - 1);
    EXPECT_LT(MeanDifference(later, at48, e.width, e.height), 4.0);
    double exact = MeanDifference(first, at40, e.width, e.height);
    EXPECT_LT(exact, 4.0);
    EXPECT_LT(MeanDifference(stillFirst, at40, e.width, e.height), 4.0);
    // Neighbours two frames apart differ clearly (the hue turns).
    EXPECT_GT(MeanDifference(later, at40, e.width, e.height), 2 * exact + 2.0);
  }
}

TEST(EngineFormats, EveryFilePlaysItsLastHalfSecondToItsEnd) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "EngineFormatsWindow";
  RegisterClassA(&wc);
  HWND window = CreateWindowA(wc.lpszClassName, "movie", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr,
                              nullptr, nullptr);
  auto port = reinterpret_cast<CGrafPtr>(Op(kSel_CreatePortAssociation, window, 0, 0));
  for (const Expected& e : Formats()) {
    SCOPED_TRACE(e.name);
    OpenedMovie m(e.name);
    ASSERT_NE(m.opened.movie, nullptr);
    Movie movie = m.opened.movie;
    Op(kSel_SetMovieGWorld, movie, port, 0);
    const TimeScale scale = TimeScale(Op(kSel_GetMovieTimeScale, movie));
    const TimeValue duration = TimeValue(Op(kSel_GetMovieDuration, movie));
    const TimeValue start = std::max<TimeValue>(0, duration - scale / 2);
    Op(kSel_SetMovieActive, movie, 1);
    Op(kSel_SetMovieTimeValue, movie, start);
    ASSERT_EQ(St(Op(kSel_PrerollMovie, movie, start, 0x10000)), 0);
    Op(kSel_SetMovieRate, movie, 0x10000);
    bool done = false;
    for (double begin = Now(); !done && Now() - begin < kDeadline;) {
      Op(kSel_MoviesTask, movie, 0);
      done = uint8_t(Op(kSel_IsMovieDone, movie)) != 0;
      if (!done) Sleep(5);
    }
    EXPECT_TRUE(done) << "never reached its end";
    EXPECT_EQ(TimeValue(Op(kSel_GetMovieTime, movie, 0)), duration);
    Op(kSel_StopMovie, movie);
  }
  Op(kSel_DestroyPortAssociation, port);
  DestroyWindow(window);
}

TEST(EngineFormats, AFileCutShortAnswersAnErrorOrPlaysUpToTheCut) {
  for (const Expected& e : Formats()) {
    SCOPED_TRACE(e.name);
    {
      // Only the head: streams, perhaps, but not one packet.
      OpenedMovie m(e.name + ".head");
      EXPECT_EQ(m.opened.openErr, 0);
      EXPECT_NE(m.opened.movieErr, 0);
      EXPECT_EQ(m.opened.movie, nullptr);
    }
    // Half of it: a movie no longer than the whole file that shows and
    // steps to its end, or an error; never a hang.
    OpenedMovie m(e.name + ".half");
    if (!m.opened.movie) {
      EXPECT_NE(m.opened.movieErr, 0);
      continue;
    }
    TimeScale scale = TimeScale(Op(kSel_GetMovieTimeScale, m.opened.movie));
    TimeValue duration = TimeValue(Op(kSel_GetMovieDuration, m.opened.movie));
    EXPECT_LE(double(duration) / scale, e.seconds + 0.045);
    if (e.width) {
      std::vector<TimeValue> times = FrameTimes(m.opened.movie);
      ASSERT_FALSE(times.empty());
      PictureAt(m.opened.movie, times.back());
      PictureAt(m.opened.movie, 0);
    }
  }
}

// A picture is shown from its own time until the next one's, however
// unevenly they come, though the container gives one average rate.
TEST(EngineFormats, AVariableFrameRateKeepsEachPicturesOwnTime) {
  std::ifstream in(FormatPath("webm_vfr.webm.times"));
  std::vector<TimeValue> own;
  for (TimeValue t; in >> t;) own.push_back(t);
  ASSERT_GT(own.size(), 10u);
  OpenedMovie m("webm_vfr.webm");
  ASSERT_NE(m.opened.movie, nullptr);
  ASSERT_EQ(TimeValue(Op(kSel_GetMovieTimeScale, m.opened.movie)), 1000);
  EXPECT_EQ(FrameTimes(m.opened.movie), own);
  // 0.30 s falls within the picture of 0.24 s, shown until 0.40 s.
  Picture held = PictureAt(m.opened.movie, 240);
  Picture within = PictureAt(m.opened.movie, 300);
  Picture next = PictureAt(m.opened.movie, 400);
  std::vector<uint8_t> bgra(size_t(held.width) * held.height * 4);
  for (size_t i = 0; i < size_t(held.width) * held.height; ++i)
    for (int c = 0; c < 3; ++c) bgra[i * 4 + 2 - c] = held.rgb[i * 3 + c];
  EXPECT_LT(MeanDifference(within, bgra, held.width, held.height), 1.0);
  EXPECT_GT(MeanDifference(next, bgra, held.width, held.height), 4.0);
}

TEST(EngineFormats, AnMp3OrAdtsFileWithoutASeekTableLastsExactlyTheSamplesItDecodesTo) {
  // Sound alone counts in its sample rate: the duration is the count.
  for (const char* name : {"sound_cbr.mp3", "sound.aac"}) {
    SCOPED_TRACE(name);
    std::ifstream in(FormatPath(std::string(name) + ".samples"));
    long samples = 0;
    ASSERT_TRUE(in >> samples);
    OpenedMovie m(name);
    ASSERT_NE(m.opened.movie, nullptr);
    EXPECT_EQ(TimeValue(Op(kSel_GetMovieDuration, m.opened.movie)), samples);
  }
}

// The head of a real file up to its first packet, then noise: libavformat
// knows the file and reads on, finding nothing to play. An error, not a
// hang.
TEST(EngineFormats, NoiseBehindTheHeadOfARealFileIsNoMovie) {
  std::vector<uint8_t> noise(24u << 20);
  uint32_t x = 12345;
  for (uint8_t& b : noise) b = uint8_t((x = x * 1103515245u + 12345u) >> 23);
  // AVI: the headers through the fourcc of the movi list; Matroska: up to
  // its first cluster.
  const struct {
    const char* name;
    std::string mark;
    size_t keep;
  } heads[] = {{"avi_mpeg4.avi", "movi", 4}, {"mkv_vp9.mkv", "\x1F\x43\xB6\x75", 0}};
  for (const auto& h : heads) {
    SCOPED_TRACE(h.name);
    std::vector<uint8_t> file = ReadFileBytes(FormatPath(h.name));
    const std::vector<uint8_t> mark(h.mark.begin(), h.mark.end());
    auto at = std::search(file.begin(), file.end(), mark.begin(), mark.end());
    ASSERT_NE(at, file.end());
    file.erase(at + std::ptrdiff_t(h.keep), file.end());
    const std::string name = std::string("noise-behind-") + h.name;
    {
      std::ofstream out(FormatPath(name), std::ios::binary);
      out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
      out.write(reinterpret_cast<const char*>(noise.data()), std::streamsize(noise.size()));
    }
    {
      OpenedMovie m(name);
      EXPECT_EQ(m.opened.openErr, 0);
      EXPECT_NE(m.opened.movieErr, 0);
      EXPECT_EQ(m.opened.movie, nullptr);
    }
    DeleteFileA(FormatPath(name).c_str());
  }
}

}  // namespace
