#include "engine/audio/device_time.h"

#include <algorithm>

namespace vmedia {

void DeviceTime::Reset() {
  blocks_.clear();
  written_ = 0;
  lastPlayed_ = 0;
  startedAt_ = -1;
  leadSum_ = 0;
  leadReadings_ = 0;
}

void DeviceTime::Restart(double now) {
  if (paused_ && written_ > 0) startedAt_ = now;
  paused_ = false;
}

void DeviceTime::Queued(size_t count, double movieStart, double movieStep, double now) {
  if (written_ == 0 && !paused_) startedAt_ = now;
  blocks_.push_back(Block{written_, count, movieStart, movieStep});
  written_ += count;
}

uint64_t DeviceTime::Widen(uint32_t count) {
  uint64_t played = (lastPlayed_ & ~uint64_t(0xFFFFFFFF)) | count;
  if (played < lastPlayed_) played += uint64_t(1) << 32;
  lastPlayed_ = played;
  return played;
}

bool DeviceTime::RanDry(uint32_t count) { return Widen(count) >= written_; }

DeviceState DeviceTime::Heard(uint32_t count, double now, double* seconds) {
  if (written_ == 0) return DeviceState::Empty;
  uint64_t played = Widen(count);
  if (played == 0 || startedAt_ < 0) return DeviceState::Waiting;
  // Frames that can have sounded since the start; what the count shows
  // beyond them has only been handed on. The count moves in the device's
  // own steps (10 to 20 ms under Wine), so one reading is off by up to a
  // step, and the picture would keep that error for the whole run: the
  // lead is the mean of the first readings.
  if (leadReadings_ < kLeadReadings) {
    int64_t since = int64_t((now - startedAt_) * frameRate_);
    leadSum_ += std::max<int64_t>(0, int64_t(played) - since);
    ++leadReadings_;
  }
  const uint64_t lead = uint64_t(leadSum_ / leadReadings_);
  if (played <= lead) return DeviceState::Waiting;
  played -= lead;
  if (played >= written_) return DeviceState::Drained;
  while (blocks_.size() > 1 && blocks_.front().first + blocks_.front().count <= played) blocks_.pop_front();
  const Block& b = blocks_.front();
  *seconds = b.movieStart + double(played - b.first) * b.movieStep;
  return DeviceState::Playing;
}

}  // namespace vmedia
