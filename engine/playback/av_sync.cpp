#include "engine/playback/av_sync.h"

#include <algorithm>
#include <cmath>

#include "engine/video/sample_times.h"

namespace vmedia {
namespace {

// Plays round its segment forward and back to its start: a loop that is
// not a palindrome, over a segment of some length.
bool WrapsForward(const MovieClock& c) {
  const int32_t flags = c.flags();
  return (flags & kLoopFlag) && !(flags & kPalindromeFlag) && c.segmentEnd() > c.segmentStart();
}

}  // namespace

SoundPlan SoundPlanAt(MovieClock& clock, double now, double rate) {
  const double scale = clock.timeScale();
  SoundPlan p;
  p.from = clock.ExactTimeAt(now) / scale;
  p.rate = rate;
  p.segmentStart = clock.segmentStart() / scale;
  p.segmentEnd = clock.segmentEnd() / scale;
  // A palindrome's sound plays forward only: silent on the way back.
  p.loop = (clock.flags() & kLoopFlag) && !(clock.flags() & kPalindromeFlag);
  return p;
}

FollowStep FollowReport(SoundFollow& follow, MovieClock& clock, SoundState state, double heard, double now) {
  switch (state) {
    case SoundState::Silent:
      return FollowSilence(follow);
    case SoundState::Starting:
      return FollowStarting(follow, now);
    case SoundState::Playing:
      break;
  }
  // Round a loop, the sound may have wrapped before the picture or after.
  const double scale = clock.timeScale();
  const bool loops = clock.flags() & kLoopFlag;
  const double lap = loops ? (clock.segmentEnd() - clock.segmentStart()) / scale : 0;
  return FollowHeard(follow, heard, clock.ExactTimeAt(now) / scale, clock.rate(), lap, now);
}

void MoveClock(MovieClock& clock, const FollowStep& step, double now) {
  if (step.jump) clock.SetTime(static_cast<int32_t>(std::floor(step.to * clock.timeScale())), now);
  clock.SetTrim(step.trim, now);
}

int32_t ShowTime(MovieClock& clock, TaskPace& pace, double now) {
  if (pace.lastTask >= 0) {
    double since = now - pace.lastTask;
    if (since >= 0 && since < 0.1) pace.taskInterval = pace.taskInterval > 0 ? 0.9 * pace.taskInterval + 0.1 * since : since;
  }
  pace.lastTask = now;
  int32_t t = clock.TimeAt(now);
  const double rate = clock.rate() * clock.trim();
  if (rate == 0) return t;
  double ahead = std::min(pace.taskInterval / 2, kMaxShowAheadSeconds) * rate * clock.timeScale();
  const double start = clock.segmentStart(), end = clock.segmentEnd();
  // A looping segment's first frame goes up by the same rule as the rest,
  // at the task nearest the wrap, not at the first one after it.
  if (rate > 0 && WrapsForward(clock) && t + ahead >= end)
    return static_cast<int32_t>(std::floor(std::min(start + (t + ahead - end), end - 1)));
  // Not std::clamp: a segment of no length has its last unit before its start.
  double shown = std::max(std::min(t + ahead, end - 1), start);
  return static_cast<int32_t>(std::floor(shown));
}

PictureStep PictureAt(const Timeline& tl, int64_t time, int shown) {
  PictureStep step;
  const int due = ShownIndex(tl, time);
  if (due < 0) {
    step.kind = PictureStep::Blank;
  } else if (due != shown) {
    step.kind = PictureStep::Take;
    step.index = due;
  }
  return step;
}

int ReadyIndex(const Timeline& tl, int64_t time) {
  const int due = ShownIndex(tl, time);
  if (due >= 0) return due;
  const std::vector<int32_t>& times = tl.videoTimes;
  return std::max(std::min(IndexAtOrBefore(times, time) + 1, int(times.size()) - 1), 0);
}

int LoopRewind(const MovieClock& clock, const Timeline& tl, int shown) {
  if (clock.rate() <= 0 || !WrapsForward(clock)) return -1;
  const int first = ShownIndex(tl, clock.segmentStart());
  const int last = ShownIndex(tl, clock.segmentEnd() - 1);
  return first >= 0 && first != last && shown == last ? first : -1;
}

}  // namespace vmedia
