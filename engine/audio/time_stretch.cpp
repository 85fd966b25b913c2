#include "engine/audio/time_stretch.h"

#include <string.h>

#include <algorithm>
#include <cmath>
#include <new>

namespace vmedia {

namespace {

constexpr int64_t kOne = kStretchRateOne;

// Nearest frame to a fixed-point input time (never negative here).
int64_t RoundFixed(int64_t fixed) { return (fixed + kOne / 2) / kOne; }

}  // namespace

TimeStretcher::TimeStretcher(int channels, int sampleRate) {
  if (channels < 1 || channels > 2 || sampleRate < 8000 || sampleRate > 48000) return;
  int hop = int(std::lround(sampleRate * kStretchHopSeconds));
  int tolerance = int(std::lround(sampleRate * kStretchToleranceSeconds));
  // Room for everything a hop can reach at either rate limit, with slack
  // so callers can push in decoder-sized pieces.
  capacityFrames_ = size_t(8 * hop + 2 * tolerance + sampleRate / 4);
  buf_.reset(new (std::nothrow) int16_t[capacityFrames_ * channels]);
  rise_.reset(new (std::nothrow) float[hop]);
  hop_.reset(new (std::nothrow) int16_t[size_t(hop) * channels]);
  if (!buf_ || !rise_ || !hop_) return;
  // Rising half of a periodic Hann window of 2 hops; the falling half is
  // 1 - rise, so overlapping halves always sum to exactly 1.
  const double pi = std::acos(-1.0);
  for (int i = 0; i < hop; ++i) rise_[i] = float(0.5 - 0.5 * std::cos(pi * i / hop));
  channels_ = channels;
  sampleRate_ = sampleRate;
  toleranceFrames_ = tolerance;
  // Similarity is first sought on a grid of about 11 kHz, then refined.
  searchStep_ = std::max(1, sampleRate / 11025);
  hopFrames_ = hop;
}

bool TimeStretcher::SetRate(double rate) {
  if (!(rate >= kMinStretchRate && rate <= kMaxStretchRate)) return false;
  rateFixed_ = int32_t(std::lround(rate * kOne));
  return true;
}

void TimeStretcher::Reset() {
  bufStart_ = 0;
  bufFrames_ = 0;
  inputEnd_ = 0;
  flushed_ = false;
  hopRead_ = hopFill_ = 0;
  hopStartFixed_ = 0;
  hopOffsetStart_ = hopOffsetEnd_ = 0;
  natural_ = 0;
  idealFixed_ = 0;
  repeatFrames_ = 0;
}

void TimeStretcher::Flush() { flushed_ = true; }

double TimeStretcher::HeardOffset() const {
  if (hopRead_ >= hopFill_ || hopFill_ == 0) return 0;
  // As the hop fades from the one sound into the other.
  return hopOffsetStart_ + (hopOffsetEnd_ - hopOffsetStart_) * rise_[hopRead_];
}

int64_t TimeStretcher::PositionFixed() const {
  if (hopRead_ < hopFill_) return hopStartFixed_ + int64_t(hopRateFixed_) * hopRead_;
  if (rateFixed_ == kOne) return natural_ * kOne;
  return idealFixed_;
}

bool TimeStretcher::MakeRoom(size_t frames) {
  if (capacityFrames_ - bufFrames_ >= frames) return true;
  // The earliest frame still reachable: the continuation, or the lowest
  // candidate of a next hop at the slowest rate.
  int64_t keep = std::min(natural_, idealFixed_ / kOne - hopFrames_ / 2 - toleranceFrames_ - 1);
  keep = std::min(keep, BufferEnd());
  if (keep > bufStart_) {
    size_t drop = size_t(keep - bufStart_);
    bufFrames_ -= drop;
    memmove(buf_.get(), buf_.get() + drop * channels_, bufFrames_ * channels_ * sizeof(int16_t));
    bufStart_ = keep;
  }
  return capacityFrames_ - bufFrames_ >= frames;
}

void TimeStretcher::Append(const int16_t* in, size_t frames) {
  memcpy(buf_.get() + bufFrames_ * channels_, in, frames * channels_ * sizeof(int16_t));
  bufFrames_ += frames;
}

size_t TimeStretcher::Push(const int16_t* in, size_t frames) {
  if (!ok() || flushed_ || !in || !frames) return 0;
  MakeRoom(frames);
  size_t n = std::min(frames, capacityFrames_ - bufFrames_);
  Append(in, n);
  inputEnd_ += int64_t(n);
  return n;
}

size_t TimeStretcher::Pull(int16_t* out, size_t frames) {
  if (!ok() || !out) return 0;
  size_t total = 0;
  while (total < frames) {
    int16_t* at = out + total * channels_;
    if (hopRead_ < hopFill_) {
      size_t n = CopyHop(at, frames - total);
      if (!n) break;
      total += n;
    } else if (rateFixed_ == kOne) {
      total += PassThrough(at, frames - total);
      break;
    } else if (!MakeHop()) {
      break;
    }
  }
  return total;
}

size_t TimeStretcher::PassThrough(int16_t* out, size_t frames) {
  int64_t left = inputEnd_ - natural_;
  if (left <= 0) return 0;
  size_t n = std::min(frames, size_t(left));
  memcpy(out, At(natural_), n * channels_ * sizeof(int16_t));
  natural_ += int64_t(n);
  // Stretching resumes from the true position, so rate changes never jump.
  idealFixed_ = natural_ * kOne;
  return n;
}

size_t TimeStretcher::CopyHop(int16_t* out, size_t frames) {
  size_t n = std::min(frames, size_t(hopFill_ - hopRead_));
  if (flushed_) {
    // Frames whose input time lies at or past the end are not played.
    int64_t toEnd = inputEnd_ * kOne - hopStartFixed_;
    int64_t count = toEnd > 0 ? (toEnd + hopRateFixed_ - 1) / hopRateFixed_ : 0;
    n = std::min(n, size_t(std::max<int64_t>(0, count - hopRead_)));
    if (!n) return 0;
  }
  memcpy(out, &hop_[size_t(hopRead_) * channels_], n * channels_ * sizeof(int16_t));
  hopRead_ += int(n);
  return n;
}

double TimeStretcher::Similarity(int64_t reference, int64_t candidate, int frames, int step) const {
  // Over all channels: a mono mix would lose sound whose channels cancel.
  const int16_t* ref = At(reference);
  const int16_t* cand = At(candidate);
  int64_t dot = 0, energy = 0;
  for (int i = 0; i < frames; i += step) {
    for (int c = 0; c < channels_; ++c) {
      int32_t r = ref[i * channels_ + c], v = cand[i * channels_ + c];
      dot += r * v;
      energy += v * v;
    }
  }
  return energy > 0 ? double(dot) / std::sqrt(double(energy)) : 0.0;
}

int64_t TimeStretcher::BestFrame(int64_t lo, int64_t hi, int64_t target) const {
  int64_t best = -1;
  double bestScore = 0;
  // Equal scores go to the frame nearest the ideal time (silence keeps it).
  auto consider = [&](int64_t c, int step) {
    double score = Similarity(natural_, c, frameFrames(), step);
    if (best < 0 || score > bestScore ||
        (score == bestScore && std::llabs(c - target) < std::llabs(best - target))) {
      best = c;
      bestScore = score;
    }
  };
  for (int64_t c = lo; c <= hi; c += searchStep_) consider(c, searchStep_);
  if (searchStep_ > 1) {
    int64_t coarse = best;
    best = -1;
    int64_t from = std::max(lo, coarse - searchStep_ + 1);
    int64_t to = std::min(hi, coarse + searchStep_ - 1);
    for (int64_t c = from; c <= to; ++c) consider(c, 1);
  }
  return best;
}

bool TimeStretcher::MakeHop() {
  if (flushed_ && idealFixed_ >= inputEnd_ * kOne) return false;
  int64_t idealEnd = idealFixed_ + int64_t(rateFixed_) * hopFrames_;
  // The frame whose second half starts at the ideal time of the hop's end.
  int64_t target = RoundFixed(idealEnd) - hopFrames_;
  int64_t lo = std::max(target - toleranceFrames_, bufStart_);
  int64_t hi = std::max(lo, target + toleranceFrames_);
  int64_t need = std::max(natural_, hi) + frameFrames();
  if (need > BufferEnd()) {
    if (!flushed_) return false;
    size_t more = size_t(need - BufferEnd());
    if (!MakeRoom(more)) return false;
    AppendRepeat(more);
  }
  int64_t s = BestFrame(lo, hi, target);
  const int16_t* a = At(natural_);
  const int16_t* b = At(s);
  for (int i = 0; i < hopFrames_; ++i) {
    float r = rise_[i];
    for (int c = 0; c < channels_; ++c) {
      size_t k = size_t(i) * channels_ + c;
      // Between a and b, so always in range.
      hop_[k] = int16_t(std::lround(a[k] + (float(b[k]) - a[k]) * r));
    }
  }
  hopOffsetStart_ = double(natural_) - double(idealFixed_) / kOne;
  hopOffsetEnd_ = double(s + hopFrames_) - double(idealEnd) / kOne;
  StartHop(hopFrames_);
  natural_ = s + hopFrames_;
  return true;
}

void TimeStretcher::AppendRepeat(size_t frames) {
  // Past the end the input goes on repeating its last period: silence
  // there would make the last hops fade or gap, a repeat keeps the sound's
  // pitch and level to the last frame.
  if (!repeatFrames_) repeatFrames_ = RepeatPeriod();
  int16_t* dst = buf_.get() + bufFrames_ * channels_;
  for (size_t k = 0; k < frames * channels_; ++k) {
    dst[k] = repeatFrames_ ? dst[int64_t(k) - int64_t(repeatFrames_) * channels_] : int16_t(0);
  }
  bufFrames_ += frames;
}

int TimeStretcher::RepeatPeriod() const {
  int64_t held = inputEnd_ - bufStart_;
  if (held < 2) return int(held);
  // At most what stays held behind the end until the last hop, so the
  // frames a repeat copies are always there.
  int length = int(std::min<int64_t>(hopFrames_, held / 2));
  int longest = int(std::min<int64_t>(hopFrames_ / 2 + toleranceFrames_, held - length));
  int shortest = std::max(1, std::min(hopFrames_ / 2, longest));
  int best = longest;
  double bestScore = 0;
  for (int p = shortest; p <= longest; ++p) {
    double score = Similarity(inputEnd_ - length, inputEnd_ - length - p, length, 1);
    if (p == shortest || score > bestScore) {
      best = p;
      bestScore = score;
    }
  }
  return best;
}

void TimeStretcher::StartHop(int frames) {
  hopStartFixed_ = idealFixed_;
  hopRateFixed_ = rateFixed_;
  hopRead_ = 0;
  hopFill_ = frames;
  idealFixed_ += int64_t(rateFixed_) * frames;
}

}  // namespace vmedia
