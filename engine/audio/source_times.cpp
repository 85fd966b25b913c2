#include "engine/audio/source_times.h"

#include <algorithm>
#include <cmath>

namespace vmedia {

void SourceTimes::Begin(const SoundPlan& plan, int frameRate) {
  plan_ = plan;
  frameRate_ = frameRate > 0 ? frameRate : 1;
  pieces_.assign(1, Piece{0, plan.from});
  read_ = 0;
}

double SourceTimes::NextMovieTime() const {
  const Piece& p = pieces_.back();
  return p.movie + double(read_ - p.input) / frameRate_;
}

int64_t SourceTimes::FramesToEnd() const {
  return int64_t(std::floor((plan_.segmentEnd - NextMovieTime()) * frameRate_ + 1e-6));
}

bool SourceTimes::WrapAtEnd() {
  if (!plan_.loop || plan_.segmentEnd <= plan_.segmentStart) return false;
  pieces_.push_back(Piece{read_, plan_.segmentStart});
  return true;
}

double SourceTimes::MovieAt(double input) {
  while (pieces_.size() > 1 && pieces_[1].input <= input) pieces_.pop_front();
  const Piece& p = pieces_.front();
  return p.movie + (input - double(p.input)) / frameRate_;
}

size_t SourceTimes::BlockRoom(double input, double rate, size_t blockFrames) const {
  size_t limit = blockFrames;
  if (pieces_.size() > 1) {
    double toWrap = (double(pieces_[1].input) - input) / rate;
    if (toWrap >= 1) limit = std::min(limit, size_t(toWrap));
  }
  return limit;
}

}  // namespace vmedia
