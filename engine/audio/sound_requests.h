// How the host's thread and the sound thread agree on what plays. Every
// request that starts the sound anew (a prime, a new plan, a jump, silence)
// takes the next generation number. The thread takes up the newest one,
// drops its work on an older one as soon as it sees a newer, and makes a
// generation ready once its first buffers are queued; until then the
// picture waits for it. The device is held while a start is queued; a
// prime keeps it held after, so that the Play that follows only lets it go. Platform-free; not
// thread-safe: the player calls every member under its one lock.
#pragma once
#include <stdint.h>

#include "engine/audio/device_time.h"
#include "engine/audio/sound_plan.h"

namespace vmedia {

// How far past a primed sound's start a Play may ask for it and still be
// given it: the clock runs from the moment the rate is set, before the Play
// that follows reads it. Starting again instead would drop the primed
// queue, and a device that had begun on it would be heard twice over. The
// clock waits for the sound, so a late start costs no more than this gap.
constexpr double kReleaseSlackSeconds = 0.02;

class SoundRequests {
 public:
  // --- The host's thread.

  // Asks for `plan` queued with the device held. False when it cannot
  // sound (the player is broken, or the rate is not one it sounds at);
  // else *generation is the number to wait for with Settled.
  bool Prime(const SoundPlan& plan, uint32_t* generation);
  // The prime numbered `generation` is queued, or it never will be: a newer
  // request replaced it, or the player broke.
  bool Settled(uint32_t generation) const;

  enum class PlayStep {
    None,        // nothing to do: it plays that plan already, or cannot sound
    Silence,     // the rate is not one it sounds at: the device stops
    Release,     // the primed sound goes on; the device starts once it is queued
    ReleaseNow,  // the primed sound is queued: the device starts now
    Start,       // a new start: what is queued goes, and the thread reads afresh
  };
  // Plays `plan`: what was primed, when it is the same plan from the same
  // time or a moment later (kReleaseSlackSeconds); else from plan.from,
  // unless only `from` differs from what plays and `jumped` is false.
  PlayStep Play(const SoundPlan& plan, bool jumped);
  // Nothing plays from now on.
  void Silence();
  // The thread has ended (or never started): silent for good.
  void Break() { broken_ = true; }

  // Where the sound is. `device` answers where the device is (a
  // DeviceState, the movie time heard in its own keeping), and is asked
  // only once the sound asked for last is queued and let go.
  template <class Device>
  SoundState State(Device device) const {
    if (broken_ || !playing_) return SoundState::Silent;
    if (held_ || ready_ != generation_) return SoundState::Starting;
    return StateOf(device());
  }

  // --- The sound thread.

  struct Task {
    enum Kind {
      Wait,   // until Replaced(generation)
      Begin,  // start `plan` afresh: queue its first buffers, then Queued
      Feed,   // keep the current start's queue full
    } kind = Wait;
    uint32_t generation = 0;
    SoundPlan plan;
  };
  Task Next();
  // A request newer than `generation` has come.
  bool Replaced(uint32_t generation) const { return generation != generation_; }
  // The first buffers of `generation` are queued. False when it was
  // replaced meanwhile; else it is ready, and *startDevice says whether the
  // device is to run (it was not primed, or it has been let go since).
  bool Queued(uint32_t generation, bool* startDevice);
  // Everything of the current start is queued: its sound ends there.
  void Ended() { done_ = true; }
  bool done() const { return done_; }

 private:
  SoundState StateOf(DeviceState device) const;

  SoundPlan plan_;
  bool playing_ = false;
  bool held_ = false;  // primed: queued with the device paused
  bool broken_ = false;
  uint32_t generation_ = 0;
  // The thread's side: the generation it took up last (none yet: one it
  // cannot see first), the one whose first buffers are queued, and whether
  // everything of it is.
  uint32_t taken_ = ~uint32_t(0);
  uint32_t ready_ = 0;
  bool done_ = false;
};

}  // namespace vmedia
