// The time line the engine answers from for files its own readers read:
// the picture size a viewer sees, the frames and steps that time code text
// counts, the stretches where nothing shows, and the flags that pick the
// decoders. Real files made by ffmpeg (tests/media/make_media.sh); models
// changed by hand where no real file goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "engine/playback/movie_timeline.h"

using namespace vmedia;

namespace {

std::vector<uint8_t> FileBytes(const std::string& name) {
  std::ifstream in(std::string(VANTORO_MEDIA_DIR) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

MovieModel Model(const std::string& name) {
  std::vector<uint8_t> bytes = FileBytes(name);
  MemorySource src(bytes.data(), bytes.size());
  MovieModel m;
  EXPECT_EQ(ParseStatus::Ok, ParseMovie(src, &m)) << name;
  return m;
}

Timeline Load(const std::string& name) {
  Timeline tl;
  EXPECT_TRUE(TimelineOfMovie(Model(name), &tl)) << name;
  return tl;
}

int32_t Seconds(const Timeline& tl, double s) { return int32_t(s * tl.timeScale + 0.5); }

}  // namespace

TEST(MovieTimeline, FramesStepsAndWhatTheDecodersGet) {
  // Motion JPEG at 25 frames a second with PCM, 3 s.
  Timeline tl = Load("mjpeg_pcm.mov");
  EXPECT_EQ(320, tl.width);
  EXPECT_EQ(240, tl.height);
  EXPECT_TRUE(tl.hasVideo);
  EXPECT_TRUE(tl.hasSound);
  EXPECT_TRUE(tl.fullRangeVideo) << "JPEG codes its pictures 0-255";
  EXPECT_FALSE(tl.mediaMissing);
  EXPECT_TRUE(tl.orientation.Plain());
  EXPECT_EQ(Seconds(tl, 3), tl.duration);
  ASSERT_EQ(75u, tl.videoTimes.size());
  EXPECT_EQ(Seconds(tl, 0.04), tl.videoTimes[1]);
  EXPECT_EQ(tl.videoTimes, tl.stepTimes) << "with video, time code steps are its frames";
  EXPECT_TRUE(tl.blankTimes.empty());
  ASSERT_TRUE(tl.model);
  ASSERT_TRUE(tl.videoSamples);
  std::vector<uint32_t> inOrder(75);
  std::iota(inOrder.begin(), inOrder.end(), 0u);
  EXPECT_EQ(inOrder, *tl.videoSamples) << "intra-only frames are shown in the order they are stored";

  EXPECT_TRUE(Load("mjpegb.mov").fullRangeVideo);

  // H.264 with B-frames: limited range, and frames shown out of their
  // stored order.
  tl = Load("h264_aac.mp4");
  EXPECT_FALSE(tl.fullRangeVideo);
  ASSERT_TRUE(tl.videoSamples);
  ASSERT_EQ(tl.videoTimes.size(), tl.videoSamples->size());
  std::vector<uint32_t> sorted = *tl.videoSamples;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_NE(sorted, *tl.videoSamples);
  std::vector<uint32_t> all(sorted.size());
  std::iota(all.begin(), all.end(), 0u);
  EXPECT_EQ(all, sorted) << "each stored frame shown once";
}

TEST(MovieTimeline, PicturesAsAViewerSeesThem) {
  struct Case {
    const char* file;
    int width, height, turn;
    bool mirrored;
  };
  for (const Case& c : {Case{"unturned.mp4", 320, 180, 0, false}, Case{"turned_90.mp4", 180, 320, 90, false},
                        Case{"turned_180.mp4", 320, 180, 180, false}, Case{"turned_270.mp4", 180, 320, 270, false},
                        Case{"mirrored.mp4", 320, 180, 0, true}, Case{"flipped.mp4", 320, 180, 180, true},
                        // 720x480 stored, pixels 32:27 wide, tkhd at the stored size.
                        Case{"aspect.mov", 853, 480, 0, false}}) {
    SCOPED_TRACE(c.file);
    Timeline tl = Load(c.file);
    EXPECT_EQ(c.width, tl.width);
    EXPECT_EQ(c.height, tl.height);
    EXPECT_EQ(c.turn, tl.orientation.turn);
    EXPECT_EQ(c.mirrored, tl.orientation.mirrored);
  }
}

TEST(MovieTimeline, StretchesWhereNothingShows) {
  // Media 0 s to 0.6 s, 1 s of nothing, then media from 1.0 s for 0.6 s.
  Timeline tl = Load("edited_gap.mov");
  ASSERT_EQ(1u, tl.blankTimes.size());
  EXPECT_EQ(Seconds(tl, 0.6), tl.blankTimes[0]);
  EXPECT_GE(ShownIndex(tl, Seconds(tl, 0.5)), 0);
  EXPECT_EQ(-1, ShownIndex(tl, Seconds(tl, 0.6)));
  EXPECT_EQ(-1, ShownIndex(tl, Seconds(tl, 1.5)));
  EXPECT_GE(ShownIndex(tl, Seconds(tl, 1.6)), 0);
  // Video a second after the sound: an empty edit first.
  tl = Load("delayed.mov");
  ASSERT_FALSE(tl.blankTimes.empty());
  EXPECT_EQ(0, tl.blankTimes[0]);
  EXPECT_EQ(-1, ShownIndex(tl, Seconds(tl, 0.5)));
  EXPECT_EQ(0, ShownIndex(tl, Seconds(tl, 1)));
  EXPECT_EQ(Seconds(tl, 1), tl.videoTimes[0]);
}

TEST(MovieTimeline, SoundAloneStepsInHundredths) {
  Timeline tl = Load("sound.m4a");
  EXPECT_FALSE(tl.hasVideo);
  EXPECT_TRUE(tl.hasSound);
  EXPECT_EQ(0, tl.width);
  EXPECT_TRUE(tl.videoTimes.empty());
  EXPECT_FALSE(tl.videoSamples);
  EXPECT_TRUE(tl.model) << "the sound decoder reads its track from the model";
  ASSERT_GE(tl.stepTimes.size(), 250u);
  EXPECT_EQ(HundredthSteps(tl.duration, uint32_t(tl.timeScale)), tl.stepTimes);

  // A WAV file: its frame rate is its time scale.
  std::vector<uint8_t> bytes = FileBytes("wave_s16_mono_48000.wav");
  MemorySource src(bytes.data(), bytes.size());
  WaveInfo wave;
  ASSERT_TRUE(ReadWave(src, &wave));
  tl = Timeline();
  ASSERT_TRUE(TimelineOfWave(wave, &tl));
  EXPECT_EQ(48000, tl.timeScale);
  EXPECT_EQ(int32_t(wave.frames), tl.duration);
  EXPECT_TRUE(tl.hasSound);
  EXPECT_FALSE(tl.hasVideo);
  EXPECT_FALSE(tl.mediaMissing);
  ASSERT_GT(tl.stepTimes.size(), 2u);
  EXPECT_EQ(480, tl.stepTimes[1]);
  EXPECT_EQ((wave.frames + 479) / 480, tl.stepTimes.size());

  // No frames: nothing to play. Rates and lengths past a time value: no
  // time line.
  WaveInfo empty = wave;
  empty.frames = 0;
  tl = Timeline();
  ASSERT_TRUE(TimelineOfWave(empty, &tl));
  EXPECT_FALSE(tl.hasSound);
  EXPECT_TRUE(tl.mediaMissing);
  EXPECT_TRUE(tl.stepTimes.empty());
  WaveInfo bad = wave;
  bad.rate = 0;
  EXPECT_FALSE(TimelineOfWave(bad, &tl));
  bad.rate = 0x80000000u;
  EXPECT_FALSE(TimelineOfWave(bad, &tl));
  bad = wave;
  bad.frames = 0x80000000u;
  EXPECT_FALSE(TimelineOfWave(bad, &tl));
}

TEST(MovieTimeline, MissingMediaAndPicturesTooLarge) {
  // The moov without its media data: the movie's times stand, but nothing
  // can be shown.
  Timeline tl = Load("moov_only.mp4");
  EXPECT_TRUE(tl.mediaMissing);
  EXPECT_FALSE(tl.videoTimes.empty());
  EXPECT_FALSE(Load("cut_short.mp4").mediaMissing) << "a cut file plays up to the cut";

  // The largest picture the engine shows, and one pixel more each way.
  const MovieModel movie = Model("mjpeg_pcm.mov");
  struct Case {
    int width, height;
    bool ok;
  };
  for (const Case& c : {Case{kMaxPictureSide, int(kMaxPicturePixels / kMaxPictureSide), true},
                        Case{kMaxPictureSide + 1, 2, false}, Case{2, kMaxPictureSide + 1, false},
                        Case{kMaxPictureSide, int(kMaxPicturePixels / kMaxPictureSide) + 1, false}}) {
    MovieModel m = movie;
    m.width = c.width;
    m.height = c.height;
    Timeline t;
    EXPECT_EQ(c.ok, TimelineOfMovie(m, &t)) << c.width << "x" << c.height;
  }

  // A video track of no size: no picture, but its frames still step the
  // time code, and the sound still plays.
  MovieModel m = movie;
  m.width = m.height = 0;
  tl = Timeline();
  ASSERT_TRUE(TimelineOfMovie(m, &tl));
  EXPECT_FALSE(tl.hasVideo);
  EXPECT_TRUE(tl.videoTimes.empty());
  EXPECT_EQ(75u, tl.stepTimes.size());
  EXPECT_TRUE(tl.model);
  EXPECT_FALSE(tl.videoSamples);

  // Every track disabled: a movie of its length with nothing in it.
  m = movie;
  for (Track& t : m.tracks) t.enabled = false;
  tl = Timeline();
  ASSERT_TRUE(TimelineOfMovie(m, &tl));
  EXPECT_FALSE(tl.hasVideo);
  EXPECT_FALSE(tl.hasSound);
  EXPECT_EQ(Seconds(tl, 3), tl.duration);
  EXPECT_TRUE(tl.stepTimes.empty());
  EXPECT_FALSE(tl.model);
}
