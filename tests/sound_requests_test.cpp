// The numbered requests between the host's thread and the sound thread:
// which requests start the sound anew, which the thread drops, when the
// device runs, and where the picture is told the sound is.
#include <gtest/gtest.h>

#include "engine/audio/sound_requests.h"

using namespace vmedia;

namespace {

SoundPlan Plan(double from, double rate = 1.0) {
  SoundPlan p;
  p.from = from;
  p.rate = rate;
  p.segmentStart = 0;
  p.segmentEnd = 10;
  return p;
}

// A device that answers `state` and counts how often it was asked.
struct Device {
  DeviceState state = DeviceState::Playing;
  int asked = 0;
  DeviceState operator()() {
    ++asked;
    return state;
  }
};

SoundState StateWith(const SoundRequests& r, Device& device) {
  return r.State([&] { return device(); });
}

// The thread takes up the newest request; it must be a start.
SoundRequests::Task Begin(SoundRequests& r) {
  SoundRequests::Task task = r.Next();
  EXPECT_EQ(task.kind, SoundRequests::Task::Begin);
  return task;
}

// A new start of `plan`, which the thread then queues and runs.
SoundRequests::Task StartQueued(SoundRequests& r, const SoundPlan& plan) {
  EXPECT_EQ(r.Play(plan, true), SoundRequests::PlayStep::Start);
  SoundRequests::Task task = Begin(r);
  bool startDevice = false;
  EXPECT_TRUE(r.Queued(task.generation, &startDevice));
  EXPECT_TRUE(startDevice);
  return task;
}

}  // namespace

// Preroll primes the sound with the device held; the Play of the same plan
// that follows only lets the device go, at once when the sound is queued
// and else as soon as it is. The picture is not sent to the device while
// it is held.
TEST(SoundRequests, PrimedSoundIsLetGoByThePlayThatFollows) {
  SoundRequests r;
  Device device;
  uint32_t primed = 0;
  ASSERT_TRUE(r.Prime(Plan(2.0), &primed));
  EXPECT_FALSE(r.Settled(primed));
  SoundRequests::Task task = Begin(r);
  EXPECT_EQ(task.generation, primed);
  EXPECT_EQ(task.plan.from, 2.0);
  bool startDevice = true;
  ASSERT_TRUE(r.Queued(task.generation, &startDevice));
  EXPECT_FALSE(startDevice);
  EXPECT_TRUE(r.Settled(primed));
  EXPECT_EQ(StateWith(r, device), SoundState::Starting);
  EXPECT_EQ(device.asked, 0);
  EXPECT_EQ(r.Play(Plan(2.0), false), SoundRequests::PlayStep::ReleaseNow);
  EXPECT_EQ(StateWith(r, device), SoundState::Playing);
  EXPECT_EQ(device.asked, 1);
  EXPECT_EQ(r.Next().kind, SoundRequests::Task::Feed);

  // Let go before the thread has queued it: the thread runs the device.
  SoundRequests late;
  ASSERT_TRUE(late.Prime(Plan(2.0), &primed));
  EXPECT_EQ(late.Play(Plan(2.0), false), SoundRequests::PlayStep::Release);
  task = Begin(late);
  ASSERT_TRUE(late.Queued(task.generation, &startDevice));
  EXPECT_TRUE(startDevice);

  // The clock runs from the moment the rate is set, so the Play that
  // follows may ask a moment past the prime: still the primed sound, which
  // a new start would drop (a device that had begun on it would be heard
  // twice over). A block past it, or before it, is a new start.
  SoundRequests moment;
  ASSERT_TRUE(moment.Prime(Plan(1.0), &primed));
  task = Begin(moment);
  ASSERT_TRUE(moment.Queued(task.generation, &startDevice));
  EXPECT_EQ(moment.Play(Plan(1.0 + 0.0001), false), SoundRequests::PlayStep::ReleaseNow);
  for (double from : {1.0 + kReleaseSlackSeconds + 0.001, 0.999}) {
    SoundRequests far;
    ASSERT_TRUE(far.Prime(Plan(1.0), &primed));
    EXPECT_EQ(far.Play(Plan(from), false), SoundRequests::PlayStep::Start) << from;
  }

  // A prime at a rate the player does not sound at is refused at once.
  SoundRequests refused;
  EXPECT_FALSE(refused.Prime(Plan(0, 3.0), &primed));
  EXPECT_EQ(refused.Next().kind, SoundRequests::Task::Wait);
}

// While the sound plays on by itself, the same plan from a later time
// changes nothing; a jump or a new rate starts it again, and the thread's
// work on the older start is dropped. A rate it does not sound at silences
// it once.
TEST(SoundRequests, JumpsAndRateChangesStartAgain) {
  SoundRequests r;
  Device device;
  const SoundRequests::Task first = StartQueued(r, Plan(1.0));
  EXPECT_EQ(r.Play(Plan(1.7), false), SoundRequests::PlayStep::None);
  EXPECT_EQ(r.Next().kind, SoundRequests::Task::Feed);

  EXPECT_EQ(r.Play(Plan(1.7), true), SoundRequests::PlayStep::Start);
  EXPECT_TRUE(r.Replaced(first.generation));
  bool startDevice = false;
  EXPECT_FALSE(r.Queued(first.generation, &startDevice));
  // Not ready until the thread has queued the new start: the picture waits.
  EXPECT_EQ(StateWith(r, device), SoundState::Starting);
  SoundRequests::Task jump = Begin(r);
  EXPECT_EQ(jump.plan.from, 1.7);

  // A new rate while the jump is still being queued: only the newest counts.
  EXPECT_EQ(r.Play(Plan(1.8, 0.5), false), SoundRequests::PlayStep::Start);
  EXPECT_FALSE(r.Queued(jump.generation, &startDevice));
  SoundRequests::Task slow = Begin(r);
  EXPECT_EQ(slow.plan.rate, 0.5);
  ASSERT_TRUE(r.Queued(slow.generation, &startDevice));
  EXPECT_EQ(StateWith(r, device), SoundState::Playing);

  EXPECT_EQ(r.Play(Plan(1.9, 4.0), false), SoundRequests::PlayStep::Silence);
  EXPECT_EQ(r.Play(Plan(1.9, -1.0), false), SoundRequests::PlayStep::None);
  EXPECT_EQ(StateWith(r, device), SoundState::Silent);
  // The thread sees the silence, has nothing to queue, and waits.
  SoundRequests::Task idle = r.Next();
  EXPECT_EQ(idle.kind, SoundRequests::Task::Wait);
  EXPECT_FALSE(r.Replaced(idle.generation));
  // Back to a rate it sounds at: a start from where the clock is.
  EXPECT_EQ(r.Play(Plan(2.5), false), SoundRequests::PlayStep::Start);
  EXPECT_TRUE(r.Replaced(idle.generation));
}

// A prime that a newer request replaces, before the thread took it up or
// while it queued it, no longer keeps the caller waiting; the thread goes
// straight to the newest.
TEST(SoundRequests, ReplacedPrimeSettles) {
  SoundRequests r;
  uint32_t primed = 0;
  ASSERT_TRUE(r.Prime(Plan(0), &primed));
  ASSERT_EQ(r.Play(Plan(5.0), true), SoundRequests::PlayStep::Start);
  EXPECT_TRUE(r.Settled(primed));
  SoundRequests::Task task = Begin(r);
  EXPECT_NE(task.generation, primed);
  EXPECT_EQ(task.plan.from, 5.0);

  ASSERT_TRUE(r.Prime(Plan(6.0), &primed));
  task = Begin(r);
  r.Silence();
  EXPECT_TRUE(r.Settled(primed));
  bool startDevice = false;
  EXPECT_FALSE(r.Queued(task.generation, &startDevice));
  EXPECT_EQ(r.Next().kind, SoundRequests::Task::Wait);
}

// Once queued, where the sound is comes from the device: a device that has
// not begun, or has played all it was given while more is to come (it
// starves), keeps the picture waiting; a sound played to its end lets the
// picture go on alone.
TEST(SoundRequests, DeviceStatesAsThePictureSeesThem) {
  SoundRequests r;
  Device device;
  StartQueued(r, Plan(0));
  device.state = DeviceState::Waiting;
  EXPECT_EQ(StateWith(r, device), SoundState::Starting);
  device.state = DeviceState::Drained;
  EXPECT_EQ(StateWith(r, device), SoundState::Starting);
  device.state = DeviceState::Empty;
  EXPECT_EQ(StateWith(r, device), SoundState::Starting);
  r.Ended();
  EXPECT_EQ(r.Next().kind, SoundRequests::Task::Wait);
  EXPECT_EQ(StateWith(r, device), SoundState::Silent);
  device.state = DeviceState::Drained;
  EXPECT_EQ(StateWith(r, device), SoundState::Silent);
  device.state = DeviceState::Playing;
  EXPECT_EQ(StateWith(r, device), SoundState::Playing);
  // A new start is not over because the last one was.
  ASSERT_EQ(r.Play(Plan(0), true), SoundRequests::PlayStep::Start);
  EXPECT_FALSE(r.done());
}

// A player whose thread ended (no source, no device) is silent for good,
// and a caller waiting on its prime is let go.
TEST(SoundRequests, BrokenIsSilentForGood) {
  SoundRequests r;
  Device device;
  uint32_t primed = 0;
  ASSERT_TRUE(r.Prime(Plan(0), &primed));
  r.Break();
  EXPECT_TRUE(r.Settled(primed));
  EXPECT_FALSE(r.Prime(Plan(0), &primed));
  EXPECT_EQ(r.Play(Plan(0), true), SoundRequests::PlayStep::None);
  EXPECT_EQ(StateWith(r, device), SoundState::Silent);
  EXPECT_EQ(device.asked, 0);
}
