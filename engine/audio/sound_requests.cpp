#include "engine/audio/sound_requests.h"

namespace vmedia {

bool SoundRequests::Prime(const SoundPlan& plan, uint32_t* generation) {
  if (broken_ || !SoundPlaysAt(plan.rate)) return false;
  plan_ = plan;
  playing_ = true;
  held_ = true;
  done_ = false;
  *generation = ++generation_;
  return true;
}

bool SoundRequests::Settled(uint32_t generation) const {
  return broken_ || ready_ == generation || generation_ != generation;
}

SoundRequests::PlayStep SoundRequests::Play(const SoundPlan& plan, bool jumped) {
  if (broken_) return PlayStep::None;
  if (!SoundPlaysAt(plan.rate)) {
    if (!playing_) return PlayStep::None;
    Silence();
    return PlayStep::Silence;
  }
  const double late = plan.from - plan_.from;
  if (playing_ && held_ && SameButFrom(plan, plan_) && late >= 0 && late <= kReleaseSlackSeconds && !jumped) {
    held_ = false;
    return ready_ == generation_ ? PlayStep::ReleaseNow : PlayStep::Release;
  }
  if (playing_ && !held_ && !jumped && SameButFrom(plan, plan_)) return PlayStep::None;
  plan_ = plan;
  playing_ = true;
  held_ = false;
  done_ = false;
  ++generation_;
  return PlayStep::Start;
}

void SoundRequests::Silence() {
  playing_ = false;
  held_ = false;
  ++generation_;
}

SoundState SoundRequests::StateOf(DeviceState device) const {
  switch (device) {
    case DeviceState::Playing:
      return SoundState::Playing;
    case DeviceState::Waiting:
      return SoundState::Starting;
    case DeviceState::Empty:
    case DeviceState::Drained:
      break;
  }
  // Played out: the sound has ended, or the device starves and the clock
  // waits for it.
  return done_ ? SoundState::Silent : SoundState::Starting;
}

SoundRequests::Task SoundRequests::Next() {
  Task task;
  if (generation_ != taken_) {
    taken_ = generation_;
    task.generation = taken_;
    // Silence is ready as soon as it is seen: there is nothing to queue.
    if (!playing_) {
      ready_ = taken_;
      return task;
    }
    task.kind = Task::Begin;
    task.plan = plan_;
    return task;
  }
  task.generation = taken_;
  if (playing_ && !done_) task.kind = Task::Feed;
  return task;
}

bool SoundRequests::Queued(uint32_t generation, bool* startDevice) {
  if (generation != generation_) return false;
  ready_ = generation;
  *startDevice = !held_;
  return true;
}

}  // namespace vmedia
