// How the picture's clock keeps time by the sound it plays beside, as
// arithmetic on times passed in (seconds), so that it is testable without a
// device or a wait. The clock is held while the sound starts, run a little
// faster or slower to close a small gap, moved to the sound at once when it
// is far ahead, held while it is far behind, and the sound started again
// from the picture when it stays far behind: the clock never runs backward.
#pragma once

namespace vmedia {

// How long the picture waits for its sound (to start, or to come back from
// a stall) before it goes on alone.
constexpr double kSoundWaitSeconds = 1.0;
// A gap (in wall seconds) closed by a jump of the clock or by waiting,
// rather than by running the clock faster or slower.
constexpr double kSoundJumpSeconds = 0.2;
// A gap is closed at this share of it a second, never faster than kMaxTrim.
constexpr double kSoundCatchUpSeconds = 0.5;
constexpr double kMaxTrim = 0.2;

struct SoundFollow {
  double waitSince = -1;    // wall time the clock began to wait for the sound to start; -1 when not
  double behindSince = -1;  // wall time the sound fell far behind the picture; -1 while it is not
};

struct FollowStep {
  double trim = 1;         // for the clock: 0 holds it, 1 runs it at its rate
  bool jump = false;       // set the clock to `to` (movie seconds) first
  double to = 0;
  bool restartSound = false;  // start the sound again from the clock
};

// Nothing sounds: the clock keeps its own time.
FollowStep FollowSilence(SoundFollow& s);
// The sound is on its way (or its device starved): the clock waits for it,
// up to kSoundWaitSeconds.
FollowStep FollowStarting(SoundFollow& s, double now);
// The sound is heard at movie time `heard` while the clock reads `clock`
// (movie seconds), at `rate`; `lap` is a looping segment's length (0 when
// it does not loop), round which either may have wrapped first.
FollowStep FollowHeard(SoundFollow& s, double heard, double clock, double rate, double lap, double now);

}  // namespace vmedia
