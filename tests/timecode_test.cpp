#include "player/timecode.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <limits>
#include <random>
#include <string>

namespace {

std::string Time(int32_t t, int32_t scale, double fps) {
  char buffer[64];
  return TimeToText(t, scale, fps, buffer);
}

std::string Duration(int32_t t, int32_t scale, double fps) {
  char buffer[64];
  return DurationToText(t, scale, fps, buffer);
}

TEST(TimeToText, RoundsTheFrameFieldUpWhereDurationTruncates) {
  EXPECT_EQ(Time(3725, 600, 29.97), "00:00:06.07");
  EXPECT_EQ(Duration(3725, 600, 29.97), "00:00:06.06");
  EXPECT_EQ(Time(599, 600, 29.97), "00:00:00.30");
  EXPECT_EQ(Time(600, 600, 25), "00:00:01.00");
}

// The frame rate comes from a division, so times on a frame can land a
// hair off it; they still count as that frame, in both directions.
TEST(TimeToText, TimesOnAFrameCountAsThatFrame) {
  double fps = 8 / (34 / 100.0);  // 8 frames in 0.34 s
  EXPECT_EQ(Duration(34, 100, fps), "00:00:00.08");
  EXPECT_EQ(Time(34, 100, fps), "00:00:00.08");
  for (int32_t frames : {7, 25, 30, 250, 1799}) {
    for (int32_t scale : {100, 600, 1000, 30000, 90000}) {
      for (int32_t units : {7, 34, 97, 1001}) {
        // A movie of `frames` frames lasting `units` ticks per frame's worth.
        int32_t duration = units * frames;
        double rate = frames / (double(duration) / scale);
        for (int32_t k = 0; k <= frames; ++k) {
          int32_t t = k * units;
          int32_t expect = int32_t((int64_t(t % scale) * frames) / duration);
          char want[32];
          snprintf(want, sizeof want, "%02d:%02d:%02d.%02d", t / scale / 3600, t / scale / 60 % 60, t / scale % 60,
                   expect);
          EXPECT_EQ(Duration(t, scale, rate), want) << frames << " frames, scale " << scale << ", t " << t;
        }
      }
    }
  }
  // Just off a frame still rounds as before.
  EXPECT_EQ(Time(3725, 600, 29.97), "00:00:06.07");
  EXPECT_EQ(Duration(3724, 600, 25), "00:00:06.05");
}

TEST(TimeToText, ZeroAndZeroFrameRate) {
  EXPECT_EQ(Time(0, 600, 25), "00:00:00.00");
  EXPECT_EQ(Time(1000, 600, 0), "00:00:01.00");
  EXPECT_EQ(Duration(1000, 600, 0), "00:00:01.00");
}

TEST(TimeToText, HoursTakeAsManyDigitsAsTheyNeed) {
  EXPECT_EQ(Time(216000000, 600, 25), "100:00:00.00");
  EXPECT_EQ(Time(3723 * 600 + 300, 600, 25), "01:02:03.13");
}

TEST(TimeToText, FrameRateThatIsNotANumberGivesFrameZero) {
  double inf = std::numeric_limits<double>::infinity();
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Time(0, 600, nan), "00:00:00.00");
  EXPECT_EQ(Time(300, 600, inf), "00:00:00.00");
  EXPECT_EQ(Duration(300, 600, nan), "00:00:00.00");
}

TEST(TimeToText, ExtremeInputsStayInTheBuffer) {
  char buffer[32];
  TimeToText(INT32_MIN, 1, 25, buffer);
  TimeToText(INT32_MAX, 1, 1e300, buffer);
  TimeToText(INT32_MAX, INT32_MAX, 1e300, buffer);
  TimeToText(5, 0, 25, buffer);  // never divides by zero
  EXPECT_STREQ(buffer, "00:00:00.00");
}

TEST(TextToTime, ReadsTheExamples) {
  EXPECT_EQ(TextToTime(600, 29.97, "00:00:06.07"), 3740);
  for (const char* text : {"01:02:03.12", "01:02:03;12", "01:02:03:12", "01:02:03,12"}) {
    EXPECT_EQ(TextToTime(600, 25, text), 2234088) << text;
  }
  EXPECT_EQ(TextToTime(600, 25, "00:75:00.00"), 540000);
  EXPECT_EQ(TextToTime(600, 25, "00:00:90.150"), 19200);
  EXPECT_EQ(TextToTime(600, 25, "-1:00:00.00"), -2160000);
  EXPECT_EQ(TextToTime(600, 25, "1000:00:00.00"), INT32_MIN);
}

TEST(TextToTime, DotHasPriorityOverEarlierSeparators) {
  // Seconds field "01:02" reads as 1, frames are 03.
  EXPECT_EQ(TextToTime(600, 25, "00:00:01:02.03"), 600 + 72);
}

TEST(TextToTime, UnreadableTextGivesZero) {
  for (const char* text : {"1:2:3", "2.5", "", "12:30", "abc", ":", "::"}) {
    EXPECT_EQ(TextToTime(600, 25, text), 0) << text;
  }
  EXPECT_EQ(TextToTime(600, 25, nullptr), 0);
}

TEST(TextToTime, BlanksAndUnitLettersAreIgnored) {
  EXPECT_EQ(TextToTime(600, 25, " 01: 02: 03. 12"), 2234088);
  EXPECT_EQ(TextToTime(600, 25, "1h:2m:3s.12f"), 2234088);
}

TEST(TextToTime, FramesIgnoredWithoutAFrameRate) {
  EXPECT_EQ(TextToTime(600, 0, "00:00:01.12"), 600);
  EXPECT_EQ(TextToTime(600, std::numeric_limits<double>::quiet_NaN(), "00:00:01.12"), 600);
}

TEST(TextToTime, SaturatesHugeFieldsAndWrapsTheSum) {
  // Hours saturate at INT32_MAX, whose seconds wrap to -3600.
  EXPECT_EQ(TextToTime(600, 25, "99999999999:00:00.00"), -2160000);
  // INT32_MAX hours wrap in 32-bit arithmetic: (2^31 - 1) * 3600 is -3600.
  EXPECT_EQ(TextToTime(1, 25, "2147483647:00:00.00"), -3600);
  // INT32_MIN hours wrap to 0; minutes and seconds keep their negative
  // remainders.
  EXPECT_EQ(TextToTime(1, 0, "-3000000000:-61:-61.0"), -61);
}

TEST(TextToTime, LongTextIsReadAsItsFirst23Characters) {
  // 23 characters: the frame field is cut after "1".
  std::string text = "00:00:01.1234567890123456789";
  EXPECT_EQ(TextToTime(600, 25, text.c_str()), TextToTime(600, 25, text.substr(0, 23).c_str()));
  std::string huge(100000, '9');
  EXPECT_EQ(TextToTime(600, 25, huge.c_str()), 0);
  std::string colons = "1:2:3." + std::string(5000, '4');
  EXPECT_EQ(TextToTime(600, 25, colons.c_str()), TextToTime(600, 25, colons.substr(0, 23).c_str()));
}

// Reading back the text of a time lands within one frame of it.
TEST(TimeCodeRoundTrip, WithinOneFrame) {
  std::mt19937 random(12345);
  const int32_t scales[] = {600, 1000, 25, 30000, 44100, 90000};
  const double rates[] = {25, 29.97, 30, 23.976, 12.5, 60};
  for (int i = 0; i < 20000; ++i) {
    int32_t scale = scales[random() % 6];
    double fps = rates[random() % 6];
    int32_t limit = scale > 20000 ? 20000000 : 200000000;
    int32_t t = static_cast<int32_t>(random() % static_cast<uint32_t>(limit));
    char text[64];
    TimeToText(t, scale, fps, text);
    int32_t back = TextToTime(scale, fps, text);
    double frame = scale / fps;
    ASSERT_LE(std::abs(static_cast<double>(back) - t), frame + 1) << text << " t=" << t << " scale=" << scale
                                                                   << " fps=" << fps;
  }
}

}  // namespace
