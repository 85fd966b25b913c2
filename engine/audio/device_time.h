// The movie time a sound device is playing, from its own count of frames
// played: the clock sound and picture keep time by. Each queued block
// remembers the movie time of its first frame and how far each frame
// advances it, so the count maps to the movie time being heard. The count
// is 32 bits wide and wraps (about a day at 48 kHz): it is widened here. A
// count that leaps ahead the moment the device starts counts frames handed
// on to something that plays them later: that lead is taken off every
// count. Wall time (seconds) and the count are passed in, so none of it
// needs a device. Platform-free; not thread-safe (the output calls it under
// its own lock).
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <deque>

namespace vmedia {

// Readings of the device's count averaged into its lead after a start.
constexpr int kLeadReadings = 16;

enum class DeviceState {
  Empty,    // nothing queued since the last reset
  Waiting,  // queued, the device has not begun to play it
  Playing,  // the movie time being heard is known
  Drained,  // all of it was played: the device starves or the sound ended
};

class DeviceTime {
 public:
  // Frames a second the device plays.
  void SetFrameRate(int frameRate) { frameRate_ = frameRate; }

  // What is queued is dropped and the device's count starts again from 0.
  // The device keeps its paused or running state.
  void Reset();
  void Pause() { paused_ = true; }
  // The device runs again from wall time `now`.
  void Restart(double now);
  // A block of `count` frames is queued at wall time `now`: its first frame
  // is at `movieStart` (movie seconds), and each frame advances it by
  // `movieStep`.
  void Queued(size_t count, double movieStart, double movieStep, double now);

  // Frames queued since the last reset.
  uint64_t written() const { return written_; }
  // Something is queued and the device plays it: only then can it run dry.
  bool Running() const { return written_ > 0 && !paused_ && startedAt_ >= 0; }
  // From the device's count: it has played everything it was given. The
  // count itself, lead and all: a device that has handed on everything has
  // nothing left of ours, though what it handed on may still sound.
  bool RanDry(uint32_t count);
  // From the device's count, read at wall time `now`: where it is, and in
  // *seconds, when Playing, the movie time being heard.
  DeviceState Heard(uint32_t count, double now, double* seconds);

 private:
  struct Block {
    uint64_t first;  // device frame of its first frame
    size_t count;
    double movieStart, movieStep;
  };
  uint64_t Widen(uint32_t count);

  int frameRate_ = 0;
  std::deque<Block> blocks_;  // queued and not yet known to be played, oldest first
  uint64_t written_ = 0;
  uint64_t lastPlayed_ = 0;   // the device's count, widened
  bool paused_ = false;
  double startedAt_ = -1;     // wall time the device began to play what is queued; -1 before
  // How far the device's count runs ahead of what is heard, in frames: the
  // mean of the readings after a start. Some devices count what they have
  // handed on (Wine's, to the sound server) rather than what sounds.
  int64_t leadSum_ = 0;
  int leadReadings_ = 0;
};

}  // namespace vmedia
