// How Play reads its arguments, and numbers in argument text: the rectangle
// kept to 16 bits, the rate text, the start and end of the segment.
#include "player/play_arguments.h"

#include <gtest/gtest.h>

#include <stdint.h>

#include "player/argument_numbers.h"

namespace {

// Compared and printed as left, top, right, bottom.
struct Box {
  int left, top, right, bottom;
  bool operator==(const Box& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};
void PrintTo(const Box& b, std::ostream* os) {
  *os << "(" << b.left << ", " << b.top << ")-(" << b.right << ", " << b.bottom << ")";
}
Box Of(const Rect& r) { return Box{r.left, r.top, r.right, r.bottom}; }

TEST(ArgumentNumbers, WholeNumbersAsStrtolReadsThem) {
  EXPECT_EQ(ReadWholeNumber("42"), 42);
  EXPECT_EQ(ReadWholeNumber(" \t+12abc"), 12);
  EXPECT_EQ(ReadWholeNumber("-7"), -7);
  EXPECT_EQ(ReadWholeNumber("1.9"), 1);
  EXPECT_EQ(ReadWholeNumber(""), 0);
  EXPECT_EQ(ReadWholeNumber("x1"), 0);
  EXPECT_EQ(ReadWholeNumber("0x10"), 0);
  EXPECT_EQ(ReadWholeNumber("010"), 10);
}

TEST(ArgumentNumbers, WholeNumbersStopAt32BitsOnEveryPlatform) {
  EXPECT_EQ(ReadWholeNumber("2147483647"), INT32_MAX);
  EXPECT_EQ(ReadWholeNumber("2147483648"), INT32_MAX);
  EXPECT_EQ(ReadWholeNumber("99999999999999999999999"), INT32_MAX);
  EXPECT_EQ(ReadWholeNumber("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadWholeNumber("-2147483649"), INT32_MIN);
}

TEST(ArgumentNumbers, RealNumbersAsStrtodReadsThem) {
  EXPECT_EQ(ReadRealNumber("0.5"), 0.5);
  EXPECT_EQ(ReadRealNumber(" -2x"), -2.0);
  EXPECT_EQ(ReadRealNumber("1e3"), 1000.0);
  EXPECT_EQ(ReadRealNumber(".25"), 0.25);
  EXPECT_EQ(ReadRealNumber("fast"), 0.0);
  EXPECT_EQ(ReadRealNumber(""), 0.0);
}

TEST(PlayArguments, SidesNotGivenStayZero) {
  EXPECT_EQ(Of(DisplayRect(1, 11, 22, 33, 44)), (Box{0, 0, 0, 0}));
  EXPECT_EQ(Of(DisplayRect(5, 11, 22, 33, 44)), (Box{0, 0, 0, 0}));
  EXPECT_EQ(Of(DisplayRect(6, 100, 22, 33, 44)), (Box{100, 0, 0, 0}));
  EXPECT_EQ(Of(DisplayRect(7, 100, 50, 33, 44)), (Box{100, 50, 0, 0}));
  EXPECT_EQ(Of(DisplayRect(8, 100, 50, 320, 44)), (Box{100, 50, 420, 0}));
  EXPECT_EQ(Of(DisplayRect(9, 10, 10, 320, 240)), (Box{10, 10, 330, 250}));
  // Negative left and top without a size: the box runs up to (0, 0).
  EXPECT_EQ(Of(DisplayRect(7, -30, -20, 0, 0)), (Box{-30, -20, 0, 0}));
  // A negative size gives a box that is empty.
  EXPECT_EQ(Of(DisplayRect(9, 10, 10, -5, 0)), (Box{10, 10, 5, 10}));
}

TEST(PlayArguments, SidesKeepTheirLow16Bits) {
  EXPECT_EQ(Of(DisplayRect(7, 65546, -65536, 0, 0)), (Box{10, 0, 0, 0}));
  EXPECT_EQ(Of(DisplayRect(7, 32768, 70000, 0, 0)), (Box{-32768, 4464, 0, 0}));
  // right = left + width wraps past 32767.
  EXPECT_EQ(Of(DisplayRect(9, 32767, 32760, 1, 10)), (Box{32767, 32760, -32768, -32766}));
  // The largest numbers still add without overflow.
  EXPECT_EQ(Of(DisplayRect(9, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN)), (Box{-1, 0, -2, 0}));
}

TEST(PlayArguments, AnEmptyRectangleTakesTheMovieSize) {
  Rect movie = {0, 0, 240, 320};  // top, left, bottom, right
  EXPECT_EQ(Of(MovieSizeAt(DisplayRect(1, 0, 0, 0, 0), movie)), (Box{0, 0, 320, 240}));
  EXPECT_EQ(Of(MovieSizeAt(DisplayRect(7, 100, 50, 0, 0), movie)), (Box{100, 50, 420, 290}));
  // The movie's own origin does not move the box, only its size counts.
  Rect offset = {10, 20, 250, 340};
  EXPECT_EQ(Of(MovieSizeAt(DisplayRect(7, 100, 50, 0, 0), offset)), (Box{100, 50, 420, 290}));
  // Kept to 16 bits like the given sides.
  EXPECT_EQ(Of(MovieSizeAt(DisplayRect(7, 32700, 0, 0, 0), movie)), (Box{32700, 0, -32516, 240}));
  // A sound has no size: the box stays empty at its corner.
  Rect none = {0, 0, 0, 0};
  EXPECT_EQ(Of(MovieSizeAt(DisplayRect(7, 5, 6, 0, 0), none)), (Box{5, 6, 5, 6}));
}

TEST(PlayArguments, RateText) {
  EXPECT_EQ(PlayRate(nullptr), 1.0);
  EXPECT_EQ(PlayRate(""), 1.0);
  EXPECT_EQ(PlayRate("0.5"), 0.5);
  EXPECT_EQ(PlayRate("-1"), -1.0);
  EXPECT_EQ(PlayRate("0"), 0.0);
  EXPECT_EQ(PlayRate("fast"), 0.0);
  EXPECT_EQ(PlayRate(" "), 0.0);
  EXPECT_EQ(PlayRate("2x"), 2.0);
}

// Ten seconds at 600 units a second, 25 frames a second.
const MovieTiming kTiming = {6000, 600, 25.0};

TEST(PlayArguments, StartTime) {
  int32_t start = -1;
  EXPECT_TRUE(PlayStartTime(kTiming, nullptr, &start));
  EXPECT_EQ(start, 0);
  EXPECT_TRUE(PlayStartTime(kTiming, "00:00:02.00", &start));
  EXPECT_EQ(start, 1200);
  EXPECT_TRUE(PlayStartTime(kTiming, "00:00:02.05", &start));
  EXPECT_EQ(start, 1320);
  EXPECT_TRUE(PlayStartTime(kTiming, "", &start));
  EXPECT_EQ(start, 0);
  EXPECT_TRUE(PlayStartTime(kTiming, "2.5", &start));
  EXPECT_EQ(start, 0);
  EXPECT_TRUE(PlayStartTime(kTiming, "-1:00:00.00", &start)) << "a negative start is 0";
  EXPECT_EQ(start, 0);
  EXPECT_TRUE(PlayStartTime(kTiming, "00:00:10.00", &start)) << "the very end is a start";
  EXPECT_EQ(start, 6000);
  EXPECT_FALSE(PlayStartTime(kTiming, "00:00:10.01", &start));
  EXPECT_FALSE(PlayStartTime(kTiming, "01:00:00.00", &start));
}

TEST(PlayArguments, EndTime) {
  int32_t end = -1;
  EXPECT_TRUE(PlayEndTime(kTiming, nullptr, 0, &end));
  EXPECT_EQ(end, 6000);
  // Zero, however it comes, is the end of the movie.
  for (const char* zero : {"", "00:00:00.00", "garbage", "1:2:3"}) {
    end = -1;
    EXPECT_TRUE(PlayEndTime(kTiming, zero, 1200, &end)) << zero;
    EXPECT_EQ(end, 6000) << zero;
  }
  EXPECT_TRUE(PlayEndTime(kTiming, "00:00:08.00", 1200, &end));
  EXPECT_EQ(end, 4800);
  EXPECT_TRUE(PlayEndTime(kTiming, "00:00:10.00", 0, &end));
  EXPECT_EQ(end, 6000);
  EXPECT_FALSE(PlayEndTime(kTiming, "00:00:02.00", 1200, &end)) << "equal to the start";
  EXPECT_FALSE(PlayEndTime(kTiming, "00:00:01.00", 1200, &end)) << "before the start";
  EXPECT_FALSE(PlayEndTime(kTiming, "00:00:10.01", 0, &end)) << "beyond the end";
  // A negative end is not 0: it lies before any start.
  EXPECT_FALSE(PlayEndTime(kTiming, "-1:00:00.00", 0, &end));
}

// A movie of no length: the frame rate is not a number, and only the very
// start, or no times at all, can be played.
TEST(PlayArguments, MovieOfNoLength) {
  const MovieTiming empty = {0, 600, 0.0 / 0.0};
  int32_t start = -1;
  int32_t end = -1;
  EXPECT_TRUE(PlayStartTime(empty, "00:00:00.00", &start));
  EXPECT_EQ(start, 0);
  EXPECT_FALSE(PlayStartTime(empty, "00:00:01.00", &start));
  EXPECT_TRUE(PlayEndTime(empty, nullptr, 0, &end));
  EXPECT_EQ(end, 0);
  EXPECT_TRUE(PlayEndTime(empty, "00:00:00.05", 0, &end));
  EXPECT_EQ(end, 0);
}

}  // namespace
