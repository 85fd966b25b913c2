// The sound device's count of frames played, read as movie time: through
// each block's start and step, less the lead the device counts ahead of
// what sounds, across the 32-bit count's wrap.
#include <gtest/gtest.h>

#include "engine/audio/device_time.h"

using namespace vmedia;

namespace {

constexpr int kRate = 1000;

// The wall time at which a device running since `start` has played `frames`
// (half a frame on, so that the count of frames since is exact).
double WhenPlayed(double start, uint64_t frames) { return start + (double(frames) + 0.5) / kRate; }

// A running device at kRate given `frames` frames from movie time
// `movieStart` on, at rate 1, at wall time `start`.
DeviceTime Given(size_t frames, double movieStart, double start) {
  DeviceTime d;
  d.SetFrameRate(kRate);
  d.Queued(frames, movieStart, 1.0 / kRate, start);
  return d;
}

}  // namespace

// Blocks of a loop's end and its start, and one at rate 2: each frame heard
// is dated by the block it lies in.
TEST(DeviceTime, MapsTheCountThroughEachBlock) {
  DeviceTime d;
  d.SetFrameRate(kRate);
  double t = -1;
  EXPECT_EQ(d.Heard(0, 0, &t), DeviceState::Empty);
  d.Queued(100, 5.0, 0.001, 0);
  d.Queued(100, 0.0, 0.001, 0);   // the loop came round to 0
  d.Queued(100, 0.1, 0.002, 0);   // then the rate went to 2
  EXPECT_EQ(d.written(), 300u);
  EXPECT_TRUE(d.Running());
  EXPECT_EQ(d.Heard(0, 0, &t), DeviceState::Waiting);
  ASSERT_EQ(d.Heard(50, WhenPlayed(0, 50), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 5.05);
  ASSERT_EQ(d.Heard(150, WhenPlayed(0, 150), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 0.05);
  ASSERT_EQ(d.Heard(250, WhenPlayed(0, 250), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 0.2);
  // Everything played: the device starves, or the sound has ended.
  EXPECT_EQ(d.Heard(300, WhenPlayed(0, 300), &t), DeviceState::Drained);
  EXPECT_TRUE(d.RanDry(300));

  // A reset starts the count and the blocks again.
  d.Reset();
  EXPECT_EQ(d.Heard(0, 1, &t), DeviceState::Empty);
  EXPECT_FALSE(d.Running());
  d.Queued(100, 2.0, 0.001, 1.0);
  ASSERT_EQ(d.Heard(10, WhenPlayed(1.0, 10), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 2.01);
}

// A device that counts what it hands on (Wine's) leaps ahead at the start.
// The lead is the mean of the first readings, which jitter by the device's
// own steps, and it stays fixed after them.
TEST(DeviceTime, TakesTheMeanLeadOfTheFirstReadings) {
  DeviceTime d = Given(10000, 0.0, 0);
  double t = -1;
  // At first only the leap shows: nothing of it has sounded yet.
  EXPECT_EQ(d.Heard(40, WhenPlayed(0, 0), &t), DeviceState::Waiting);
  // Then readings 34 and 26 frames ahead in turn: sixteen of them make a
  // lead of 30 (494 / 16, in whole frames).
  for (int k = 1; k < kLeadReadings; ++k) {
    const uint64_t since = uint64_t(100 * k);
    ASSERT_EQ(d.Heard(uint32_t(since + (k % 2 ? 34 : 26)), WhenPlayed(0, since), &t), DeviceState::Playing);
  }
  // Later readings leave it as it is, however far ahead they run.
  ASSERT_EQ(d.Heard(5000 + 90, WhenPlayed(0, 5000), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, (5090 - 30) * 0.001);
  ASSERT_EQ(d.Heard(6000, WhenPlayed(0, 6000), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, (6000 - 30) * 0.001);
  // Until a reset, after which the next start measures its own.
  d.Reset();
  d.Queued(10000, 0.0, 0.001, 20.0);
  ASSERT_EQ(d.Heard(500, WhenPlayed(20.0, 500), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 0.5);
}

// The count is 32 bits wide: after 2^32 frames (a day at 48 kHz) it starts
// again from 0, and the time heard goes on.
TEST(DeviceTime, ReadsOnAcrossTheCountsWrap) {
  DeviceTime d;
  d.SetFrameRate(kRate);
  const uint64_t half = uint64_t(1) << 31;
  d.Queued(size_t(half), 0.0, 0.001, 0);
  d.Queued(size_t(half), double(half) * 0.001, 0.001, 0);
  d.Queued(size_t(half), double(2 * half) * 0.001, 0.001, 0);
  const uint64_t wrap = uint64_t(1) << 32;
  double t = -1;
  ASSERT_EQ(d.Heard(0xFFFFFF00u, WhenPlayed(0, 0xFFFFFF00u), &t), DeviceState::Playing);
  EXPECT_NEAR(t, 0xFFFFFF00u * 0.001, 1e-6);
  // 0x200 after the wrap is 2^32 + 0x200, not the start again.
  ASSERT_EQ(d.Heard(0x200u, WhenPlayed(0, wrap + 0x200), &t), DeviceState::Playing);
  EXPECT_NEAR(t, double(wrap + 0x200) * 0.001, 1e-6);
  EXPECT_FALSE(d.RanDry(0x300u));
  // Past everything queued, in the second round of the count.
  EXPECT_TRUE(d.RanDry(uint32_t(3 * half - wrap)));
  EXPECT_EQ(d.Heard(uint32_t(3 * half - wrap), WhenPlayed(0, 3 * half), &t), DeviceState::Drained);
}

// A device that stalls reports the same count while wall time goes on:
// the time heard stays where the sound stopped, and only a device that has
// played everything counts as run dry.
TEST(DeviceTime, StalledDeviceHoldsItsTime) {
  DeviceTime d = Given(400, 1.0, 0);
  double t = -1;
  ASSERT_EQ(d.Heard(200, WhenPlayed(0, 200), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 1.2);
  for (double now = 0.3; now < 2.0; now += 0.25) {
    ASSERT_EQ(d.Heard(200, now, &t), DeviceState::Playing);
    EXPECT_DOUBLE_EQ(t, 1.2);
  }
  EXPECT_FALSE(d.RanDry(200));
  EXPECT_TRUE(d.RanDry(400));
}

// Sound primed with the device held starts when the device is let go, not
// when it was queued: the lead is measured from then. Held, nothing counts
// as heard nor as run dry.
TEST(DeviceTime, HeldSoundStartsWhenLetGo) {
  DeviceTime d;
  d.SetFrameRate(kRate);
  d.Pause();
  d.Queued(1000, 3.0, 0.001, 0);
  d.Queued(1000, 4.0, 0.001, 0.02);
  double t = -1;
  EXPECT_FALSE(d.Running());
  EXPECT_EQ(d.Heard(0, 5.0, &t), DeviceState::Waiting);
  d.Restart(10.0);
  EXPECT_TRUE(d.Running());
  // 100 frames played and 30 handed on ahead: 100 are heard. Timed from
  // the queueing, the whole count would have looked heard.
  ASSERT_EQ(d.Heard(130, WhenPlayed(10.0, 100), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 3.1);

  // A reset keeps the device held: what is queued after it waits again.
  d.Pause();
  d.Reset();
  d.Queued(1000, 7.0, 0.001, 11.0);
  EXPECT_FALSE(d.Running());
  d.Restart(12.0);
  ASSERT_EQ(d.Heard(10, WhenPlayed(12.0, 10), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 7.01);
  // Letting a running device go again does not restart its clock.
  d.Restart(50.0);
  ASSERT_EQ(d.Heard(20, WhenPlayed(12.0, 20), &t), DeviceState::Playing);
  EXPECT_DOUBLE_EQ(t, 7.02);
}
