// The picture keeping time by its sound, on a movie clock with wall time
// passed in: what the sound is asked to play, how the sound's reports move
// the clock, and which picture each task shows.
#include <gtest/gtest.h>

#include "engine/playback/av_sync.h"

using namespace vmedia;

namespace {

constexpr int32_t kScale = 600;
constexpr int32_t kFrame = 24;  // 25 frames a second

// One second of 25 frames, with an empty edit from 481 until the frame at
// 504.
Timeline Frames() {
  Timeline tl;
  tl.timeScale = kScale;
  tl.duration = kScale;
  tl.hasVideo = true;
  for (int32_t t = 0; t < kScale; t += kFrame) tl.videoTimes.push_back(t);
  tl.blankTimes = {481};
  return tl;
}

MovieClock Clock(int32_t time, double rate, double now = 0) {
  MovieClock c;
  c.Reset(kScale, kScale);
  c.SetTime(time, now);
  c.SetRate(rate, now);
  return c;
}

// The picture shown at a task at `now`, after tasks `interval` apart.
int32_t ShowAt(MovieClock& c, double now, double interval) {
  TaskPace pace{-1, interval};
  return ShowTime(c, pace, now);
}

}  // namespace

// The sound is asked for what the clock shows: its time and segment in
// seconds, round a loop but not a palindrome, whose way back is silent.
TEST(AvSync, SoundPlanIsTheClocksTime) {
  MovieClock c = Clock(300, 1.0);
  c.SetSegment(120, 360, 0);
  c.SetFlags(kLoopFlag, 0);
  SoundPlan p = SoundPlanAt(c, 0.25, 1.0);
  EXPECT_DOUBLE_EQ(p.from, 0.75);
  EXPECT_DOUBLE_EQ(p.segmentStart, 0.2);
  EXPECT_DOUBLE_EQ(p.segmentEnd, 0.8);
  EXPECT_TRUE(p.loop);
  // Past the segment's end the loop has come round to its start.
  EXPECT_NEAR(SoundPlanAt(c, 0.35, 1.0).from, 0.25, 1e-9);
  c.SetFlags(kLoopFlag | kPalindromeFlag, 0.35);
  EXPECT_FALSE(SoundPlanAt(c, 0.35, 1.0).loop);
  // The rate asked for goes as it is: preroll primes at the rate to come.
  EXPECT_EQ(SoundPlanAt(c, 0.35, 0.5).rate, 0.5);
}

// Preroll's sound starts a little after the clock was set going: the clock
// holds until the sound is heard, then takes the sound's time, and from
// then on a small gap is closed by running faster or slower. A sound later
// than a second lets the picture go on alone, and when it then comes the
// clock does not run back to it.
TEST(AvSync, ClockWaitsForTheSoundThenKeepsItsTime) {
  MovieClock c = Clock(300, 1.0);
  SoundFollow follow;
  MoveClock(c, FollowReport(follow, c, SoundState::Starting, 0, 0.0), 0.0);
  MoveClock(c, FollowReport(follow, c, SoundState::Starting, 0, 0.1), 0.1);
  EXPECT_EQ(c.TimeAt(0.1), 300);
  MoveClock(c, FollowReport(follow, c, SoundState::Playing, 0.5125, 0.12), 0.12);
  EXPECT_EQ(c.TimeAt(0.12), 307);  // 0.5125 s, to the unit below
  EXPECT_EQ(c.trim(), 1.0);
  // 30 ms behind the sound: faster by 6 %, and its rate stays 1.
  const double heard = c.ExactTimeAt(0.22) / kScale + 0.03;
  MoveClock(c, FollowReport(follow, c, SoundState::Playing, heard, 0.22), 0.22);
  EXPECT_NEAR(c.trim(), 1.06, 1e-9);
  EXPECT_EQ(c.rate(), 1.0);

  MovieClock late = Clock(300, 1.0);
  SoundFollow lateFollow;
  MoveClock(late, FollowReport(lateFollow, late, SoundState::Starting, 0, 0.0), 0.0);
  MoveClock(late, FollowReport(lateFollow, late, SoundState::Starting, 0, kSoundWaitSeconds), kSoundWaitSeconds);
  EXPECT_EQ(late.trim(), 1.0);
  EXPECT_EQ(late.TimeAt(kSoundWaitSeconds + 0.25), 450);
  // The sound comes from where it was asked to start, 0.25 s behind: the
  // clock holds for it rather than run back.
  MoveClock(late, FollowReport(lateFollow, late, SoundState::Playing, 0.5, 1.25), 1.25);
  EXPECT_EQ(late.TimeAt(1.5), 450);
}

// The device stops counting while wall time goes on: the clock slows as
// the gap grows, then holds where it got; after a second the sound is
// started again from there.
TEST(AvSync, StalledDeviceHoldsTheClockThenRestartsTheSound) {
  MovieClock c = Clock(300, 1.0);
  SoundFollow follow;
  MoveClock(c, FollowReport(follow, c, SoundState::Playing, 0.6, 0.1), 0.1);
  EXPECT_NEAR(c.trim(), 1.0, 1e-9);
  MoveClock(c, FollowReport(follow, c, SoundState::Playing, 0.6, 0.25), 0.25);
  EXPECT_NEAR(c.trim(), 1 - kMaxTrim, 1e-9);
  FollowStep step = FollowReport(follow, c, SoundState::Playing, 0.6, 0.4);
  EXPECT_EQ(step.trim, 0.0);
  MoveClock(c, step, 0.4);
  const double held = c.ExactTimeAt(0.4);
  EXPECT_NEAR(held, 522, 1e-6);  // 0.75 s and 0.15 s at 0.8
  for (int k = 1; k <= 4; ++k) {
    const double now = 0.4 + 0.2 * k;
    step = FollowReport(follow, c, SoundState::Playing, 0.6, now);
    EXPECT_FALSE(step.restartSound);
    MoveClock(c, step, now);
    EXPECT_EQ(c.ExactTimeAt(now), held);
  }
  step = FollowReport(follow, c, SoundState::Playing, 0.6, 0.5 + kSoundWaitSeconds);
  EXPECT_TRUE(step.restartSound);
  MoveClock(c, step, 0.5 + kSoundWaitSeconds);
  EXPECT_NEAR(SoundPlanAt(c, 0.5 + kSoundWaitSeconds, c.rate()).from, held / kScale, 1e-9);
}

// The gap to the sound is judged in wall time at the clock's rate, and
// round a loop the shorter way.
TEST(AvSync, GapsFollowTheRateAndTheLoop) {
  SoundFollow follow;
  MovieClock fast = Clock(300, 2.0);
  // 0.3 s of movie ahead at rate 2 is 0.15 s: closed by trimming.
  EXPECT_FALSE(FollowReport(follow, fast, SoundState::Playing, 0.8, 0).jump);
  MovieClock slow = Clock(300, 0.5);
  // At rate 0.5, 0.3125 s is 0.625 s: a jump.
  FollowStep step = FollowReport(follow, slow, SoundState::Playing, 0.8125, 0);
  EXPECT_TRUE(step.jump);
  MoveClock(slow, step, 0);
  EXPECT_EQ(slow.TimeAt(0), 487);
  // A loop of 0.2 to 0.8 s: the sound has come round to 0.21 while the
  // clock reads 0.78 s, 30 ms behind it, not 570 ms ahead.
  MovieClock loop = Clock(468, 1.0);
  loop.SetSegment(120, 360, 0);
  loop.SetFlags(kLoopFlag, 0);
  step = FollowReport(follow, loop, SoundState::Playing, 0.21, 0);
  EXPECT_FALSE(step.jump);
  EXPECT_FALSE(step.restartSound);
  EXPECT_NEAR(step.trim, 1.06, 1e-9);
  // Silence leaves the clock to itself.
  step = FollowReport(follow, loop, SoundState::Silent, 0, 0);
  EXPECT_EQ(step.trim, 1.0);
  EXPECT_FALSE(step.jump);
}

// Tasks every 16 ms: a picture goes up 8 ms (4.8 units) early, at the task
// nearest its time; never more than 10 ms early however far apart tasks
// come. The first task has no pace yet, a still clock is shown as it is,
// and a pause between tasks is not taken for their pace.
TEST(AvSync, ShowTimeLooksAheadByHalfATask) {
  MovieClock c = Clock(0, 1.0);
  TaskPace pace;
  EXPECT_EQ(ShowTime(c, pace, 0.0), 0);
  EXPECT_EQ(ShowTime(c, pace, 0.016), 13);  // 9.6 + 4.8
  EXPECT_EQ(ShowTime(c, pace, 0.032), 23);  // 19.2 + 4.8
  EXPECT_EQ(ShowTime(c, pace, 0.532), 323);
  MovieClock slowTasks = Clock(0, 1.0);
  EXPECT_EQ(ShowAt(slowTasks, 0.0305, 0.0305), 24);  // 18.3 + 6
  MovieClock still = Clock(100, 0.0);
  EXPECT_EQ(ShowTime(still, pace, 2.0), 100);
  // Backward, a little before the clock; never before the segment's start.
  MovieClock back = Clock(300, -1.0);
  TaskPace backPace;
  ShowTime(back, backPace, 0.0);
  EXPECT_EQ(ShowTime(back, backPace, 0.016), 285);  // 290.4 - 4.8
  EXPECT_EQ(ShowTime(back, backPace, 0.6), 0);
}

// The end of the movie or the segment is shown as its last unit; round a
// loop, the first frame goes up at the task nearest the wrap.
TEST(AvSync, ShowTimeAtTheEndAndRoundALoop) {
  MovieClock once = Clock(596, 1.0);
  EXPECT_EQ(ShowAt(once, 0.0, 0.02), 599);
  MovieClock loop = Clock(470, 1.0);
  loop.SetSegment(120, 360, 0);
  loop.SetFlags(kLoopFlag, 0);
  EXPECT_EQ(ShowAt(loop, 0.0, 0.02), 476);  // 470 + 6
  EXPECT_EQ(ShowAt(loop, 0.0125, 0.02), 123);  // 477 + 6, 3 units round
  // A palindrome turns rather than wraps.
  MovieClock turn = Clock(470, 1.0);
  turn.SetSegment(120, 360, 0);
  turn.SetFlags(kLoopFlag | kPalindromeFlag, 0);
  EXPECT_EQ(ShowAt(turn, 0.0125, 0.02), 479);
}

// A task shows the picture due: frames whose time has passed are dropped,
// never shown behind the sound; where nothing is due the picture goes.
TEST(AvSync, TasksTakeTheFrameDueAndDropLateOnes) {
  const Timeline tl = Frames();
  EXPECT_EQ(PictureAt(tl, 80, 3).kind, PictureStep::Keep);
  PictureStep step = PictureAt(tl, 130, 3);
  EXPECT_EQ(step.kind, PictureStep::Take);
  EXPECT_EQ(step.index, 5);
  step = PictureAt(tl, 0, -1);
  EXPECT_EQ(step.kind, PictureStep::Take);
  EXPECT_EQ(step.index, 0);
  EXPECT_EQ(PictureAt(tl, 490, 20).kind, PictureStep::Blank);
  EXPECT_EQ(PictureAt(tl, 490, -1).kind, PictureStep::Blank);
  step = PictureAt(tl, 510, -1);
  EXPECT_EQ(step.kind, PictureStep::Take);
  EXPECT_EQ(step.index, 21);

  // A task 100 ms after frame 3 went up (the host was busy): frame 4's
  // time has gone by, and frame 5 goes up in its place.
  MovieClock c = Clock(kFrame * 3, 1.0);
  step = PictureAt(tl, ShowAt(c, 0.1, 0.02), 3);
  EXPECT_EQ(step.kind, PictureStep::Take);
  EXPECT_EQ(step.index, 5);
}

// Before playing, the decode is readied at the frame showing then, or in a
// gap, at the one that shows next.
TEST(AvSync, ReadiesTheFrameShowingOrNext) {
  const Timeline tl = Frames();
  EXPECT_EQ(ReadyIndex(tl, 100), 4);
  EXPECT_EQ(ReadyIndex(tl, 490), 21);
  Timeline late = tl;
  late.videoTimes.erase(late.videoTimes.begin());
  EXPECT_EQ(ReadyIndex(late, 0), 0);
  EXPECT_EQ(ReadyIndex(Timeline(), 0), 0);
}

// Once a forward loop's last picture is up the decode goes back to its
// first; nowhere else, and not for a palindrome, backward, or a segment
// within one frame.
TEST(AvSync, DecodeGoesRoundTheLoopEarly) {
  const Timeline tl = Frames();
  MovieClock c = Clock(120, 1.0);
  c.SetSegment(120, 360, 0);  // frames 5 to 19
  c.SetFlags(kLoopFlag, 0);
  EXPECT_EQ(LoopRewind(c, tl, 19), 5);
  EXPECT_EQ(LoopRewind(c, tl, 18), -1);
  MovieClock turn = c;
  turn.SetFlags(kLoopFlag | kPalindromeFlag, 0);
  EXPECT_EQ(LoopRewind(turn, tl, 19), -1);
  MovieClock back = c;
  back.SetRate(-1.0, 0);
  EXPECT_EQ(LoopRewind(back, tl, 19), -1);
  MovieClock once = c;
  once.SetFlags(0, 0);
  EXPECT_EQ(LoopRewind(once, tl, 19), -1);
  MovieClock oneFrame = c;
  oneFrame.SetSegment(121, 10, 0);
  EXPECT_EQ(LoopRewind(oneFrame, tl, 5), -1);
}
