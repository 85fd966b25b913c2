// What the sound player is asked to play, and what it answers about its
// sound: the terms the picture's clock and the player's thread share.
// Platform-free.
#pragma once
#include "engine/audio/time_stretch.h"

namespace vmedia {

// What to play: from a movie time on, at a rate, within a segment (movie
// seconds), once or round and round.
struct SoundPlan {
  double from = 0;
  double rate = 0;
  double segmentStart = 0, segmentEnd = 0;
  bool loop = false;
};

// The same plan, whatever its `from`: a sound that plays on by itself is
// already where such a plan would take it.
inline bool SameButFrom(const SoundPlan& a, const SoundPlan& b) {
  return a.rate == b.rate && a.segmentStart == b.segmentStart && a.segmentEnd == b.segmentEnd && a.loop == b.loop;
}

// Whether a rate is one the player sounds at.
inline bool SoundPlaysAt(double rate) { return rate >= kMinStretchRate && rate <= kMaxStretchRate; }

// Where the player's sound is, as the picture's clock follows it.
enum class SoundState {
  Silent,    // nothing plays: the clock keeps its own time
  Starting,  // sound is on its way: the clock waits for it
  Playing,   // the player gives the movie time being heard
};

}  // namespace vmedia
