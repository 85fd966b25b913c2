// Where the sound read from a source lies in movie time: to a segment's
// end, round a loop, at rates other than 1.
#include <gtest/gtest.h>

#include "engine/audio/source_times.h"

using namespace vmedia;

namespace {

constexpr int kRate = 1000;

SoundPlan Plan(double from, double start, double end, bool loop, double rate = 1.0) {
  SoundPlan p;
  p.from = from;
  p.rate = rate;
  p.segmentStart = start;
  p.segmentEnd = end;
  p.loop = loop;
  return p;
}

}  // namespace

// From 1.0 in a segment from 0.5 to 1.5: 500 frames to its end, then round
// to its start for a whole lap of 1000, and again.
TEST(SourceTimes, ReadsToTheSegmentsEndAndRoundTheLoop) {
  SourceTimes s;
  s.Begin(Plan(1.0, 0.5, 1.5, true), kRate);
  EXPECT_EQ(s.FramesToEnd(), 500);
  s.Read(300);
  EXPECT_EQ(s.FramesToEnd(), 200);
  s.Read(200);
  EXPECT_EQ(s.FramesToEnd(), 0);
  ASSERT_TRUE(s.WrapAtEnd());
  EXPECT_EQ(s.FramesToEnd(), 1000);
  EXPECT_DOUBLE_EQ(s.MovieAt(0), 1.0);
  EXPECT_NEAR(s.MovieAt(499.5), 1.4995, 1e-9);
  EXPECT_DOUBLE_EQ(s.MovieAt(500), 0.5);
  EXPECT_DOUBLE_EQ(s.MovieAt(750), 0.75);
  s.Read(1000);
  ASSERT_TRUE(s.WrapAtEnd());
  EXPECT_DOUBLE_EQ(s.MovieAt(1500), 0.5);
  EXPECT_NEAR(s.MovieAt(1501), 0.501, 1e-9);

  // A start between two frames reads the part frame's worth no further.
  s.Begin(Plan(1.0004, 0.5, 1.5, true), kRate);
  EXPECT_EQ(s.FramesToEnd(), 499);
  // Once, or round a segment of no length: the sound ends at its end.
  s.Begin(Plan(1.0, 0.5, 1.5, false), kRate);
  s.Read(500);
  EXPECT_FALSE(s.WrapAtEnd());
  s.Begin(Plan(0.5, 0.5, 0.5, true), kRate);
  EXPECT_EQ(s.FramesToEnd(), 0);
  EXPECT_FALSE(s.WrapAtEnd());
  // Begun beyond the end: nothing to read.
  s.Begin(Plan(2.0, 0.5, 1.5, false), kRate);
  EXPECT_LT(s.FramesToEnd(), 0);
}

// The device's queue takes whole blocks, but a block ends at a loop's wrap
// so that all of its frames map to one pass: at rate 2 each output frame
// takes two input frames.
TEST(SourceTimes, BlocksStopAtTheWrap) {
  SourceTimes s;
  s.Begin(Plan(1.0, 0.5, 1.5, true, 2.0), kRate);
  EXPECT_EQ(s.BlockRoom(0, 2.0, 20), 20u);  // no wrap read yet
  s.Read(500);
  ASSERT_TRUE(s.WrapAtEnd());
  EXPECT_EQ(s.BlockRoom(400, 2.0, 20), 20u);
  EXPECT_EQ(s.BlockRoom(480, 2.0, 20), 10u);
  EXPECT_EQ(s.BlockRoom(480, 1.0, 20), 20u);
  EXPECT_EQ(s.BlockRoom(490, 1.0, 20), 10u);
  // Less than a frame before it, the block runs on over it: a block of no
  // frames would end the sound there.
  EXPECT_EQ(s.BlockRoom(499.5, 1.0, 20), 20u);
  // Once the output has passed the wrap, whole blocks again.
  s.MovieAt(500);
  EXPECT_EQ(s.BlockRoom(500, 1.0, 20), 20u);
}

// Each output frame advances movie time by the rate's share of an input
// frame; what is heard lies where the stretcher says, dated by the pass of
// the input it has got to, past the segment's end if need be.
TEST(SourceTimes, StepAndHeardTimeFollowTheRate) {
  SourceTimes s;
  s.Begin(Plan(0.0, 0.0, 10.0, false, 0.5), 44100);
  EXPECT_DOUBLE_EQ(s.Step(), 0.5 / 44100);
  s.Begin(Plan(1.0, 0.5, 1.5, true, 2.0), kRate);
  EXPECT_DOUBLE_EQ(s.Step(), 0.002);
  s.Read(500);
  ASSERT_TRUE(s.WrapAtEnd());
  EXPECT_NEAR(s.HeardAt(498, 5), 1.503, 1e-9);
  EXPECT_NEAR(s.HeardAt(502, -5), 0.497, 1e-9);
}
