// The plug-in with our own media engine and the stand-in host, on movies that
// ffmpeg made, compared with what ffprobe says of them.
#include <windows.h>

#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "host_rig_fixture.h"
#include "test_paths.h"
#include "media_probe.h"
#include "media_interface/operations.h"
#include "pict_reader.h"
#include "player/frame_count.h"

#ifndef VANTORO_MEDIA_DIR
#error VANTORO_MEDIA_DIR names the folder of the test media
#endif

namespace {

std::map<std::string, std::string> Probe(const std::string& name) { return ReadProbe(MediaPath(name + ".probe")); }

struct Expected {
  double duration = 0;
  int width = 0;
  int height = 0;
  long packets = 0;
};

// Of the first video stream, its size as a viewer sees it: the pixel
// aspect applied to the width, and turned for a quarter turn.
Expected ExpectedOf(const std::string& name) {
  auto probe = Probe(name);
  Expected e;
  e.duration = atof(probe["format.duration"].c_str());
  for (int i = 0; i < 4; ++i) {
    std::string key = "streams.stream." + std::to_string(i) + ".";
    if (probe[key + "codec_type"] != "video") continue;
    e.width = atoi(probe[key + "width"].c_str());
    e.height = atoi(probe[key + "height"].c_str());
    e.packets = atol(probe[key + "nb_read_packets"].c_str());
    int num = 0, den = 0;
    if (sscanf(probe[key + "sample_aspect_ratio"].c_str(), "%d:%d", &num, &den) == 2 && num > 0 && den > 0)
      e.width = static_cast<int>(lround(double(e.width) * num / den));
    int rotation = atoi(probe[key + "side_data_list.side_data.0.rotation"].c_str());
    if (rotation % 180 != 0) std::swap(e.width, e.height);
    break;
  }
  return e;
}

// hh:mm:ss.ff in seconds at the given frame rate.
double Seconds(const std::string& text, double fps) {
  int h = 0, m = 0, s = 0, f = 0;
  if (sscanf(text.c_str(), "%d:%d:%d.%d", &h, &m, &s, &f) != 4) return -1;
  return h * 3600.0 + m * 60.0 + s + (fps > 0 ? f / fps : 0);
}

// Only to keep a broken build from hanging the run; a slow or emulated
// machine stays far inside it.
constexpr DWORD kDeadlineMs = 30000;

class EndToEnd : public rig::HostRigTest {
 protected:
  void SetUp() override {
    if (GetFileAttributesA(MediaPath("stamp").c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "no test media (ffmpeg missing?)";
    }
    HostRigTest::SetUp();
  }

  // The picture GetVideoFrame put on the clipboard.
  enginetest::Picture ClipboardPicture() {
    enginetest::Picture picture;
    if (!OpenClipboard(nullptr)) return picture;
    if (HANDLE block = GetClipboardData(RegisterClipboardFormatA("Mac-PICT"))) {
      picture = enginetest::ReadPict(static_cast<const uint8_t*>(GlobalLock(block)), GlobalSize(block));
      GlobalUnlock(block);
    }
    CloseClipboard();
    return picture;
  }
};

const char* const kMovies[] = {
    "h264_aac.mp4", "h264_faststart.mp4", "mjpeg_pcm.mov", "delayed.mov", "mobile.3gp",
    // Fragmented, wholly and in part, and beside a text track.
    "fragmented.mp4", "fragmented_moof_base.mp4", "fragmented_by_time.mp4", "fragmented_partly.mp4",
    "fragmented_text.mp4",
    // Turned and mirrored by the track matrix, non-square pixels, a width
    // that is no multiple of 16, two video tracks.
    "turned_90.mp4", "turned_180.mp4", "turned_270.mp4", "mirrored.mp4", "aspect.mp4", "aspect.mov",
    "wide854.mp4", "two_videos.mp4",
    // Sizes whose rows are no multiple of 16 pixels, odd ones among them.
    "size_1x1.mp4", "size_2x2.mp4", "size_142x100.mp4", "size_190x240.mp4", "size_318x240.mp4",
    "size_201x151.mp4"};

TEST_F(EndToEnd, DurationAndSizeByPathMatchFfprobe) {
  for (const char* name : kMovies) {
    Expected e = ExpectedOf(name);
    std::string path = MediaPath(name);
    std::string size = Call("Vantoro-GetVideoSize", path);
    EXPECT_EQ(size, std::to_string(e.width) + "," + std::to_string(e.height)) << name;
    std::string duration = Call("Vantoro-GetDuration", path);
    double fps = e.packets / e.duration;
    EXPECT_NEAR(Seconds(duration, fps), e.duration, 1.0 / fps + 0.01) << name << " answered " << duration;
  }
  Expected sound = ExpectedOf("sound.m4a");
  std::string duration = Call("Vantoro-GetDuration", MediaPath("sound.m4a"));
  EXPECT_NEAR(Seconds(duration, 100), sound.duration, 0.05) << duration;
  EXPECT_EQ(Call("Vantoro-GetVideoSize", MediaPath("sound.m4a")), "0,0");
}

// The frame count behind the frame field is ffprobe's packet count.
TEST_F(EndToEnd, FrameCountIsThePacketCount) {
  for (const char* name : kMovies) {
    Expected e = ExpectedOf(name);
    std::string path = MediaPath(name);
    FSSpec spec;
    int16_t fileRef = 0;
    Movie movie = nullptr;
    int16_t resId = 0;
    Boolean changed = 0;
    ASSERT_EQ(NativePathNameToFSSpec(path.c_str(), &spec, 0), 0) << name;
    ASSERT_EQ(OpenMovieFile(&spec, &fileRef, 1), 0) << name;
    ASSERT_EQ(NewMovieFromFile(&movie, fileRef, &resId, nullptr, 0, &changed), 0) << name;
    CloseMovieFile(fileRef);
    EXPECT_EQ(CountVideoFrames(movie), static_cast<uint32_t>(e.packets)) << name;
    DisposeMovie(movie);
  }
}

TEST_F(EndToEnd, MissingAndBadFiles) {
  EXPECT_EQ(Call("Vantoro-GetDuration", "C:\\no such folder\\movie.mov"), "72008");
  EXPECT_EQ(Call("Vantoro-Play", "C:\\no such folder\\movie.mov"), "72008");
  std::string junk = Folder() + "junk.mov";
  {
    std::ofstream out(junk, std::ios::binary);
    out << "this is no movie at all";
  }
  std::string answer = Call("Vantoro-GetDuration", junk);
  EXPECT_TRUE(answer == "74001" || answer == "74002") << answer;
  answer = Call("Vantoro-Play", junk);
  EXPECT_TRUE(answer == "74001" || answer == "74002") << answer;
  EXPECT_FALSE(Subclassed());
  DeleteFileA(junk.c_str());
}

TEST_F(EndToEnd, PlaysToTheEndAndFinishes) {
  for (const char* name : {"mjpeg_pcm.mov", "h264_aac.mp4"}) {
    ASSERT_EQ(Call("Vantoro-Play", MediaPath(name)), "") << name;
    EXPECT_TRUE(Subclassed());
    std::string early;
    EXPECT_TRUE(windows.PumpUntil([&] { return Seconds(early = Call("Vantoro-GetTime"), 25) > 0.2; }, kDeadlineMs))
        << name << " does not advance: " << early;
    EXPECT_TRUE(PlayToEnd(kDeadlineMs)) << name << " never finished, at " << Call("Vantoro-GetTime");
    EXPECT_EQ(Call("Vantoro-GetTime"), "74005") << "the finished movie is closed at the next call";
  }
}

// Movies of each codec play through to their end and finish.
TEST_F(EndToEnd, EachCodecPlaysToTheEnd) {
  for (const char* name : {"qtrle.mov", "prores.mov", "cinepak.mov", "svq1.mov", "mpeg4.mp4", "h263.mov",
                           "png.mov", "uyvy.mov", "pal8.mov", "dv.mov", "hevc.mp4", "fragmented_partly.mp4",
                           "smc.mov", "rpza.mov", "mjpegb.mov", "h264_10bit.mp4", "h264_444.mp4", "hevc_10bit.mp4",
                           "av1.mp4"}) {
    ASSERT_EQ(Call("Vantoro-Play", MediaPath(name)), "") << name;
    EXPECT_TRUE(PlayToEnd(kDeadlineMs)) << name << " never finished, at " << Call("Vantoro-GetTime");
    EXPECT_EQ(Call("Vantoro-GetTime"), "74005") << name;
  }
}

TEST_F(EndToEnd, SoundOnlyPlaysSilentlyOnTheClock) {
  ASSERT_EQ(Call("Vantoro-Play", MediaPath("sound.m4a")), "");
  EXPECT_TRUE(PlayToEnd(kDeadlineMs));
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
}

// Times read while the segment plays never pass its end, and it ends: the
// time a script asks for after that finds no movie. Movie time follows the
// wall clock, so it cannot end sooner than its length; how soon after its
// end it is done is a figure of scripts/bench.
TEST_F(EndToEnd, EndTimeEndsTheSegment) {
  ASSERT_EQ(Call("Vantoro-Play", MediaPath("mjpeg_pcm.mov") + "|0|1|00:00:00.00|00:00:01.00"), "");
  DWORD start = GetTickCount();
  double latest = 0;
  std::string now;
  while ((now = Call("Vantoro-GetTime")) != "74005" && GetTickCount() - start < kDeadlineMs) {
    latest = std::max(latest, Seconds(now, 25));
    windows.Pump(20);
  }
  EXPECT_EQ(now, "74005") << "still playing at " << latest << " s";
  EXPECT_LE(latest, 1.0) << "played past the end time";
  EXPECT_GT(GetTickCount() - start, 600u) << "ended before the end time";
}

// Until the time has gone back to the segment's start twice, it stays in
// the segment and the movie is never done.
TEST_F(EndToEnd, LoopingSegmentNeverFinishes) {
  ASSERT_EQ(Call("Vantoro-Play", MediaPath("mjpeg_pcm.mov") + "|1|1|00:00:00.00|00:00:01.00"), "");
  DWORD start = GetTickCount();
  double last = 0;
  int wraps = 0;
  while (wraps < 2 && GetTickCount() - start < kDeadlineMs) {
    windows.Pump(20);
    std::string now = Call("Vantoro-GetTime");
    ASSERT_NE(now, "74005") << "a looping movie is not done";
    double at = Seconds(now, 25);
    EXPECT_GE(at, 0.0);
    EXPECT_LE(at, 1.05) << "stays within its segment";
    if (at < last) ++wraps;
    last = at;
  }
  EXPECT_EQ(wraps, 2);
  EXPECT_TRUE(Subclassed());
  EXPECT_EQ(Call("Vantoro-Stop"), "");
  EXPECT_FALSE(Subclassed());
}

// An empty edit shows no picture: there is no frame to copy until the
// media starts.
TEST_F(EndToEnd, EmptyEditShowsNoPicture) {
  ASSERT_EQ(Call("Vantoro-Play", MediaPath("edited.mov") + "|0|0"), "");
  ASSERT_EQ(Call("Vantoro-SetTime", "00:00:00.04"), "");  // 0.2 s
  windows.Pump(50);
  EXPECT_EQ(Call("Vantoro-GetVideoFrame"), "74006");
  ASSERT_EQ(Call("Vantoro-SetTime", "00:00:00.10"), "");  // 0.51 s
  windows.Pump(50);
  EXPECT_EQ(Call("Vantoro-GetVideoFrame"), "");
  EXPECT_EQ(Call("Vantoro-Stop"), "");
}

// Nor does one in the middle: the last frame goes from the window, the
// host's background shows where it was, and there is no frame to copy until
// the media goes on.
TEST_F(EndToEnd, EmptyEditInTheMiddleShowsNoPicture) {
  // Media 0-0.6 s, 1 s of nothing, media 1.0-1.6 s: 30 frames in 2.2 s.
  ASSERT_EQ(Call("Vantoro-Play", MediaPath("edited_gap.mov") + "|0|0"), "");
  auto background = [&] {
    UpdateWindow(document);
    HDC dc = GetDC(document);
    bool all = true;
    for (POINT p : {POINT{20, 20}, POINT{80, 60}, POINT{140, 100}})
      all = all && GetPixel(dc, p.x, p.y) == standin::kDocumentBackground;
    ReleaseDC(document, dc);
    return all;
  };
  auto picture = [&] { return !background(); };
  // 1.22 s, and 1.59 s, just before the media goes on.
  for (const char* nothing : {"00:00:01.03", "00:00:01.08"}) {
    ASSERT_EQ(Call("Vantoro-SetTime", "00:00:00.04"), "");  // 0.29 s
    EXPECT_TRUE(windows.PumpUntil(picture, kDeadlineMs)) << nothing;
    EXPECT_EQ(Call("Vantoro-GetVideoFrame"), "");
    ASSERT_EQ(Call("Vantoro-SetTime", nothing), "");
    EXPECT_TRUE(windows.PumpUntil(background, kDeadlineMs)) << "the last frame stays on at " << nothing;
    EXPECT_EQ(Call("Vantoro-GetVideoFrame"), "74006") << nothing;
  }
  ASSERT_EQ(Call("Vantoro-SetTime", "00:00:01.10"), "");  // 1.73 s
  EXPECT_TRUE(windows.PumpUntil(picture, kDeadlineMs));
  EXPECT_EQ(Call("Vantoro-GetVideoFrame"), "");
  EXPECT_EQ(Call("Vantoro-Stop"), "");
}

// A movie whose media data is gone (its moov cut from a camera file) still
// tells its duration and size, but is refused for playing straight away,
// not after the wait for a first frame that can never come.
TEST_F(EndToEnd, MovieWithoutMediaDataIsRefusedForPlaying) {
  std::string path = MediaPath("moov_only.mp4");
  std::string duration = Call("Vantoro-GetDuration", path);
  EXPECT_EQ(duration.size(), 11u) << duration;
  EXPECT_EQ(Call("Vantoro-GetVideoSize", path), "320,240");
  EXPECT_EQ(Call("Vantoro-Play", path), "74003");
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
}

// Pictures of chosen frames, for ImageMagick to compare with ffmpeg's decode
// (tests/end_to_end_pictures.sh). The picture goes behind the customary
// 512-byte file header.
TEST_F(EndToEnd, SetTimeThenFrameToClipboard) {
  struct Shot {
    const char* movie;
    const char* time;
    int frame;
    const char* frameOf = nullptr;  // the movie whose frame it is, when not the one played
  } shots[] = {{"h264_aac.mp4", "00:00:01.12", 37}, {"mjpeg_pcm.mov", "00:00:02.05", 55},
               {"h264_aac.mp4", "00:00:00.00", 0},
               // Shown as a viewer sees them: turned, with their pixel aspect.
               {"turned_90.mp4", "00:00:00.10", 10}, {"turned_270.mp4", "00:00:00.05", 5},
               {"turned_180.mp4", "00:00:00.12", 12}, {"aspect.mp4", "00:00:00.08", 8},
               {"wide854.mp4", "00:00:00.06", 6}, {"bt709.mp4", "00:00:00.09", 9},
               // The first video track of two; a frame from a fragment (its
               // first frame is at 0.08 s, so 1.2 s shows the 29th).
               {"two_videos.mp4", "00:00:00.15", 15}, {"fragmented.mp4", "00:00:01.05", 28},
               // The codecs of QuickTime-era archives and of today's cameras,
               // decoded by the engine's own libraries.
               {"qtrle.mov", "00:00:00.07", 7}, {"qtrle_grey.mov", "00:00:00.06", 6},
               {"prores.mov", "00:00:00.05", 5}, {"cinepak.mov", "00:00:00.07", 7},
               {"svq1.mov", "00:00:00.06", 6}, {"mpeg4.mp4", "00:00:01.12", 37}, {"h263.mov", "00:00:00.07", 7},
               {"png.mov", "00:00:00.04", 4}, {"uyvy.mov", "00:00:00.07", 7}, {"pal8.mov", "00:00:00.03", 3},
               {"dv.mov", "00:00:00.02", 2}, {"hevc.mp4", "00:00:00.07", 7},
               {"av1.mp4", "00:00:00.03", 3},
               {"smc.mov", "00:00:00.07", 7}, {"rpza.mov", "00:00:00.06", 6},
               {"mjpegb.mov", "00:00:00.05", 5},
               {"h264_10bit.mp4", "00:00:00.08", 8}, {"h264_444.mp4", "00:00:00.05", 5},
               {"hevc_10bit.mp4", "00:00:00.07", 7},
               // A frame that only a fragment lists, where the moov lists a
               // few: .20 at its 29 frames in 1.24 s is 0.855 s, where the
               // 20th frame (from 0.08 s) shows.
               {"fragmented_partly.mp4", "00:00:00.20", 19},
               // Edits: 0.4 s of nothing, then 0.8 s from 1.0 s of the
               // media, then 0.6 s from 0.2 s; 35 frames in 1.8 s. 0.772 s
               // shows media 1.372 s, 1.412 s shows 0.412 s.
               {"edited.mov", "00:00:00.15", 34, "edit_base.mov"},
               {"edited.mov", "00:00:01.08", 10, "edit_base.mov"},
               // After an empty edit in the middle: 1.733 s shows media
               // 1.133 s.
               {"edited_gap.mov", "00:00:01.10", 28, "edit_base.mov"},
               // Widths of no multiple of 16 pixels, through the scaler's
               // vector code.
               {"size_142x100.mp4", "00:00:00.05", 5}, {"size_190x240.mp4", "00:00:00.06", 6},
               {"size_318x240.mp4", "00:00:00.07", 7}, {"size_201x151.mp4", "00:00:00.08", 8},
               // A sample of 0xFFFFFFF0 bytes (the 13th) is left out and
               // the frames after the next key frame are whole; in the copy
               // whose later samples lie past 4 GiB too.
               {"huge_size.mp4", "00:00:00.20", 20, "huge_base.mp4"},
               {"huge_past_4gib.mp4", "00:00:00.21", 21, "huge_base.mp4"},
               // 1.000 s into the edit shows the 40th frame: the 41st starts
               // 603/600 s in by the tables (its time less the edit's media
               // time). ffmpeg shows the 41st at 0.995 s, since it counts
               // the edit from the first frame after its start, 6/600 s later.
               {"vfr_edited.mp4", "00:00:01.00", 39, "vfr_base.mp4"}};
  for (const Shot& shot : shots) {
    ASSERT_EQ(Call("Vantoro-Play", MediaPath(shot.movie) + "|0|0"), "");
    windows.Pump(50);
    ASSERT_EQ(Call("Vantoro-SetTime", shot.time), "");
    ASSERT_EQ(Call("Vantoro-GetVideoFrame"), "") << shot.movie << " " << shot.time;
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE block = GetClipboardData(RegisterClipboardFormatA("Mac-PICT"));
    ASSERT_NE(block, nullptr);
    const char* bytes = static_cast<const char*>(GlobalLock(block));
    std::string name = std::string(VANTORO_MEDIA_DIR) + "/" + (shot.frameOf ? shot.frameOf : shot.movie) + "." +
                       std::to_string(shot.frame) + ".pict";
    std::ofstream out(name, std::ios::binary);
    out << std::string(512, '\0');
    out.write(bytes, GlobalSize(block));
    GlobalUnlock(block);
    HANDLE size = GetClipboardData(RegisterClipboardFormatA("Mac-SIZE"));
    ASSERT_NE(size, nullptr);
    const uint8_t* s = static_cast<const uint8_t*>(GlobalLock(size));
    Expected e = ExpectedOf(shot.frameOf ? shot.frameOf : shot.movie);
    EXPECT_EQ((s[4] << 8) | s[5], e.width) << shot.movie;
    EXPECT_EQ((s[6] << 8) | s[7], e.height) << shot.movie;
    GlobalUnlock(size);
    CloseClipboard();
    EXPECT_EQ(Call("Vantoro-Stop"), "");
  }
}

// Pictures 1 to 318 pixels wide, odd sizes among them, play to their end
// and their frames come to the clipboard at their own size. (The scaler
// once wrote past rows exactly as wide as these pictures, and the host
// fell over.)
TEST_F(EndToEnd, OddPictureSizesPlayAndCapture) {
  for (const char* name : {"size_1x1.mp4", "size_2x2.mp4", "size_142x100.mp4", "size_190x240.mp4",
                           "size_318x240.mp4", "size_201x151.mp4"}) {
    ASSERT_EQ(Call("Vantoro-Play", MediaPath(name)), "") << name;
    EXPECT_TRUE(PlayToEnd(kDeadlineMs)) << name << " never finished, at " << Call("Vantoro-GetTime");
    ASSERT_EQ(Call("Vantoro-Play", MediaPath(name) + "|0|0"), "") << name;
    ASSERT_EQ(Call("Vantoro-SetTime", "00:00:00.09"), "") << name;
    ASSERT_EQ(Call("Vantoro-GetVideoFrame"), "") << name;
    Expected e = ExpectedOf(name);
    enginetest::Picture picture = ClipboardPicture();
    EXPECT_EQ(picture.width, e.width) << name;
    EXPECT_EQ(picture.height, e.height) << name;
    EXPECT_EQ(Call("Vantoro-Stop"), "") << name;
  }
}

// An hour of still slides, 108,000 samples in one chunk: it plays, and a
// seek near its end shows the frame asked for. Each frame around 55:00
// shows its number mod 256 as the grey levels of its left half (the low
// four bits) and its right half (the high four).
TEST_F(EndToEnd, HourLongMovieOfOneChunkSeeksToTheFrame) {
  const std::string path = MediaPath("lecture.mp4");
  EXPECT_EQ(Call("Vantoro-GetDuration", path), "01:00:00.00");
  ASSERT_EQ(Call("Vantoro-Play", path), "");
  std::string now;
  EXPECT_TRUE(windows.PumpUntil([&] { return Seconds(now = Call("Vantoro-GetTime"), 30) > 0.2; }, kDeadlineMs))
      << "does not advance: " << now;
  struct Shot {
    const char* time;
    int frame;
  } shots[] = {{"00:55:00.00", 99000}, {"00:54:59.29", 98999}, {"00:55:00.01", 99001}, {"00:54:55.00", 98850}};
  for (const Shot& shot : shots) {
    ASSERT_EQ(Call("Vantoro-SetTime", shot.time), "") << shot.time;
    ASSERT_EQ(Call("Vantoro-GetVideoFrame"), "") << shot.time;
    enginetest::Picture picture = ClipboardPicture();
    ASSERT_EQ(picture.width, 32) << shot.time;
    ASSERT_EQ(picture.height, 32) << shot.time;
    // Grey levels 16 apart (ffmpeg drew them in full range).
    const int n = shot.frame % 256;
    const uint8_t* middle = &picture.rgb[size_t(16 * 32) * 3];
    EXPECT_NEAR(middle[4 * 3 + 1], n % 16 * 16 + 8, 6) << shot.time << ": frame " << shot.frame;
    EXPECT_NEAR(middle[28 * 3 + 1], n / 16 * 16 + 8, 6) << shot.time << ": frame " << shot.frame;
  }
  EXPECT_EQ(Call("Vantoro-Stop"), "");
}

// Tables that claim a sample of 0xFFFFFFF0 bytes: the movie plays to its
// end without it (the frames after it are checked by the pictures above).
// In the copy past 4 GiB the file is large enough to hold such a sample.
TEST_F(EndToEnd, HugeSampleIsLeftOut) {
  for (const char* name : {"huge_size.mp4", "huge_past_4gib.mp4"}) {
    EXPECT_EQ(Call("Vantoro-GetVideoSize", MediaPath(name)), "160,120") << name;
    ASSERT_EQ(Call("Vantoro-Play", MediaPath(name)), "") << name;
    EXPECT_TRUE(PlayToEnd(kDeadlineMs)) << name << " never finished, at " << Call("Vantoro-GetTime");
    EXPECT_EQ(Call("Vantoro-GetTime"), "74005") << name;
  }
}

}  // namespace
