// A movie's time base: the movie time as a function of wall time, its rate,
// the active segment and looping. Wall time is passed in (seconds), so the
// arithmetic is platform-free and testable without waiting.
#pragma once
#include <stdint.h>

namespace vmedia {

enum : int32_t { kLoopFlag = 1, kPalindromeFlag = 2 };

class MovieClock {
 public:
  void Reset(int32_t timeScale, int32_t duration);

  int32_t timeScale() const { return scale_; }
  double rate() const { return rate_; }
  int32_t flags() const { return flags_; }
  int32_t segmentStart() const { return segStart_; }
  int32_t segmentEnd() const { return segEnd_; }

  // Movie time at wall time `now`, with the segment's end applied.
  int32_t TimeAt(double now);
  // The same unrounded, in the time scale's units.
  double ExactTimeAt(double now) { return Advance(now); }
  void SetTime(int32_t time, double now);
  void SetRate(double rate, double now);
  void SetFlags(int32_t flags, double now);
  // Runs the clock this much faster (> 1) or slower than its rate, so that
  // it can catch up with the sound it follows, or wait for it (0); the rate
  // it answers is unchanged. 1 by default and after Reset.
  void SetTrim(double trim, double now);
  double trim() const { return trim_; }
  // start < 0 selects the whole movie; length < 0 runs to the movie's end.
  void SetSegment(int32_t start, int32_t length, double now);

  // At (or beyond) the segment's end in the direction of play. A looping
  // clock is never done.
  bool IsDone(double now);

 private:
  double Advance(double now);

  int32_t scale_ = 600;
  int32_t duration_ = 0;
  int32_t segStart_ = 0;
  int32_t segEnd_ = 0;
  int32_t flags_ = 0;
  double rate_ = 0;
  double trim_ = 1;
  double anchorTime_ = 0;  // movie time at anchorWall_
  double anchorWall_ = 0;
};

}  // namespace vmedia
