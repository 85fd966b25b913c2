#include "engine/playback/sound_follow.h"

#include <algorithm>
#include <cmath>

namespace vmedia {

FollowStep FollowSilence(SoundFollow& s) {
  s = SoundFollow();
  return FollowStep();
}

FollowStep FollowStarting(SoundFollow& s, double now) {
  s.behindSince = -1;
  if (s.waitSince < 0) s.waitSince = now;
  FollowStep step;
  step.trim = now - s.waitSince < kSoundWaitSeconds ? 0 : 1;
  return step;
}

FollowStep FollowHeard(SoundFollow& s, double heard, double clock, double rate, double lap, double now) {
  const bool started = s.waitSince >= 0;
  s.waitSince = -1;
  FollowStep step;
  double gap = heard - clock;
  if (lap > 0) gap -= lap * std::floor(gap / lap + 0.5);
  const double wallGap = rate != 0 ? gap / std::fabs(rate) : 0;
  const bool behind = wallGap < -kSoundJumpSeconds;
  if (!behind) s.behindSince = -1;
  if (wallGap > kSoundJumpSeconds || (started && gap > 0)) {
    // Far ahead; or the clock held while the sound started, and the
    // device's count first shows it a step (10 to 20 ms) in: the picture
    // takes the sound's time at once, where running faster would leave it
    // late for a second.
    step.jump = true;
    step.to = heard;
  } else if (behind) {
    // A device that stalls (a busy machine) comes back where it was: the
    // picture waits for it, rather than skip the sound it has not played.
    if (s.behindSince < 0) s.behindSince = now;
    if (now - s.behindSince >= kSoundWaitSeconds) {
      step.restartSound = true;
      s.behindSince = -1;
    }
    step.trim = 0;
  } else {
    step.trim = 1 + std::clamp(wallGap / kSoundCatchUpSeconds, -kMaxTrim, kMaxTrim);
  }
  return step;
}

}  // namespace vmedia
