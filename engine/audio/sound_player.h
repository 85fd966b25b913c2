// Sound of a movie, played on an engine thread: read from its source,
// time-stretched at rates other than 1, scaled to the volume and queued on
// the sound device, which then keeps the time that the picture follows.
// The thread plays ahead by itself, to a segment's end and round its loop,
// so nothing waits on the host's messages. Without a sound device, or at a
// rate it cannot play (backward, below 0.5, above 2), the movie runs silent.
#pragma once
#include <stdint.h>

#include <functional>
#include <memory>

#include "engine/audio/sound_plan.h"
#include "engine/audio/sound_source.h"

namespace vmedia {

class SoundPlayer {
 public:
  // Opens the movie's sound, on the player's thread; null when it has none
  // that can be played.
  using Opener = std::function<std::unique_ptr<SoundSource>()>;
  explicit SoundPlayer(Opener open);
  // Silent at once.
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Readies `plan` with the device held: the sound is read and queued, so
  // that Play can start it with no delay. Waits up to timeoutMs.
  void Prime(const SoundPlan& plan, int timeoutMs);
  // Plays `plan`: what Prime readied, when it is the same plan from the
  // same time or a moment later (kReleaseSlackSeconds); else from
  // plan.from, unless only `from` differs from what is playing and
  // `jumped` is false. A plan at a rate SoundPlaysAt refuses is silence.
  void Play(const SoundPlan& plan, bool jumped);
  // QuickTime volume; 256 full, <= 0 silent.
  void SetVolume(int16_t volume);

  // Where the sound is; when Playing, *seconds holds the movie time being
  // heard.
  SoundState Position(double* seconds);

  // A device exists to play on.
  static bool DeviceAvailable();

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace vmedia
