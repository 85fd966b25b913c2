// How the picture keeps time by the sound beside it, as arithmetic on the
// movie's clock with wall time and the sound's reported time passed in:
// what the sound is asked to play, how its report moves the clock
// (sound_follow.h decides), which picture a task shows, a little ahead of
// the clock, and which decode to start early round a loop. Testable without
// a device, a decoder or a wait. Platform-free.
#pragma once
#include <stdint.h>

#include "engine/audio/sound_plan.h"
#include "engine/playback/clock.h"
#include "engine/playback/sound_follow.h"
#include "engine/playback/timeline.h"

namespace vmedia {

// At most this much (wall time) early for a picture.
constexpr double kMaxShowAheadSeconds = 0.010;

// What the sound is to play at `rate`, from the clock as it stands at `now`.
SoundPlan SoundPlanAt(MovieClock& clock, double now, double rate);

// The clock's step at `now` from where the sound is; `heard` (movie
// seconds) counts only while it is Playing.
FollowStep FollowReport(SoundFollow& follow, MovieClock& clock, SoundState state, double heard, double now);
// Applies a step's jump and trim to the clock. Starting the sound again is
// the caller's: the plan for it comes from the clock once it has moved.
void MoveClock(MovieClock& clock, const FollowStep& step, double now);

// How often the host gives the movie a task.
struct TaskPace {
  double lastTask = -1;     // wall time of the last task; -1 before the first
  double taskInterval = 0;  // the mean time between tasks; 0 before it is known
};

// The movie time whose picture to show at a task at `now`: a little ahead
// while playing, so that a frame goes up at the task nearest its time
// rather than the first one after it (the host's timer comes every 20 ms, a
// frame every 40 at 25 a second). Never past the segment; round a loop, the
// segment's start.
int32_t ShowTime(MovieClock& clock, TaskPace& pace, double now);

// What a task does about the picture, with sample `shown` up (-1 for none).
struct PictureStep {
  enum Kind {
    Keep,   // the picture up is the one due
    Blank,  // no picture is due: before the first, or in an empty edit
    Take,   // show sample `index`; a late decode's older pictures are dropped
  } kind = Keep;
  int index = -1;
};
PictureStep PictureAt(const Timeline& tl, int64_t time, int shown);

// The sample to have decoded before playing from `time`: the one showing
// then, or where none shows, the one that shows next.
int ReadyIndex(const Timeline& tl, int64_t time);

// Once the last picture of a looping segment is up, the decode goes back to
// the segment's first, so that its picture is ready when the loop comes
// round instead of being sought then. The sample to decode from; -1 when
// the decode goes on as it is.
int LoopRewind(const MovieClock& clock, const Timeline& tl, int shown);

}  // namespace vmedia
