#include "engine/playback/clock.h"

#include <cmath>

namespace vmedia {

void MovieClock::Reset(int32_t timeScale, int32_t duration) {
  *this = MovieClock();
  scale_ = timeScale > 0 ? timeScale : 600;
  duration_ = duration > 0 ? duration : 0;
  segEnd_ = duration_;
}

// Moves the anchor to `now`, folding the movie time into the segment.
double MovieClock::Advance(double now) {
  double t = anchorTime_ + (now - anchorWall_) * rate_ * trim_ * scale_;
  double start = segStart_, end = segEnd_, len = end - start;
  if (rate_ > 0 && t >= end) {
    if ((flags_ & kPalindromeFlag) && len > 0) {
      double over = std::fmod(t - end, 2 * len);
      t = over < len ? end - over : start + (over - len);
      if (over < len) rate_ = -rate_;
    } else if ((flags_ & kLoopFlag) && len > 0) {
      t = start + std::fmod(t - start, len);
    } else {
      t = end;
    }
  } else if (rate_ < 0 && t <= start) {
    if ((flags_ & kPalindromeFlag) && len > 0) {
      double over = std::fmod(start - t, 2 * len);
      t = over < len ? start + over : end - (over - len);
      if (over < len) rate_ = -rate_;
    } else if ((flags_ & kLoopFlag) && len > 0) {
      t = end - std::fmod(start - t, len);
      if (t >= end) t = start;
    } else {
      t = start;
    }
  }
  anchorTime_ = t;
  anchorWall_ = now;
  return t;
}

int32_t MovieClock::TimeAt(double now) {
  double t = Advance(now);
  if (t >= 2147483647.0) return 2147483647;
  if (t <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(std::floor(t));
}

void MovieClock::SetTime(int32_t time, double now) {
  anchorTime_ = time;
  anchorWall_ = now;
}

void MovieClock::SetRate(double rate, double now) {
  Advance(now);
  rate_ = std::isfinite(rate) ? rate : 0;
}

void MovieClock::SetTrim(double trim, double now) {
  Advance(now);
  trim_ = std::isfinite(trim) && trim > 0 ? trim : 0;
}

void MovieClock::SetFlags(int32_t flags, double now) {
  Advance(now);
  flags_ = flags;
}

void MovieClock::SetSegment(int32_t start, int32_t length, double now) {
  Advance(now);
  if (start < 0) {
    segStart_ = 0;
    segEnd_ = duration_;
    return;
  }
  segStart_ = start;
  int64_t end = length < 0 ? duration_ : static_cast<int64_t>(start) + length;
  segEnd_ = end > INT32_MAX ? INT32_MAX : static_cast<int32_t>(end);
  if (segEnd_ < segStart_) segEnd_ = segStart_;
}

bool MovieClock::IsDone(double now) {
  double t = Advance(now);
  if (flags_ & (kLoopFlag | kPalindromeFlag)) return false;
  if (rate_ < 0) return t <= segStart_;
  return t >= segEnd_;
}

}  // namespace vmedia
