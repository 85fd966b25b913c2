// The sound device: a waveOut stream fed from a ring of short buffers, and
// what it is playing now in movie time. The device's own count of frames
// played is the clock sound and picture keep time by; each queued block
// remembers the movie time of its first frame and how far each frame
// advances it, so the count maps to the movie time being heard. A count
// that leaps ahead the moment the device starts counts frames handed on to
// something that plays them later: that lead is taken off every count.
// Thread-safe: the sound thread writes, the host's thread asks and stops.
#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <stdint.h>

#include <deque>
#include <mutex>
#include <vector>

#include "engine/audio/sound_source.h"

namespace vmedia {

class SoundOutput {
 public:
  SoundOutput();
  ~SoundOutput();
  SoundOutput(const SoundOutput&) = delete;
  SoundOutput& operator=(const SoundOutput&) = delete;

  // False when no device takes the format.
  bool Open(SoundFormat format);
  // Frames in one buffer, and a second's worth.
  size_t BlockFrames() const { return blockFrames_; }
  int Rate() const { return format_.rate; }

  // Silent at once: what is queued is dropped and the count starts again.
  // The device keeps its paused or running state.
  void Reset();
  void Pause();
  void Restart();

  // A buffer is free to write.
  bool CanWrite();
  // Queues up to BlockFrames() frames; `movieStart` is the movie time (in
  // seconds) of the first, and each frame advances it by `movieStep`.
  bool Write(const int16_t* frames, size_t count, double movieStart, double movieStep);

  enum class Heard {
    Nothing,  // nothing queued since the last reset
    Waiting,  // queued, the device has not begun to play it
    Playing,  // *seconds holds the movie time being heard
    Drained,  // all of it was played: the device starves or the sound ended
  };
  Heard HeardTime(double* seconds);

 private:
  struct Block {
    uint64_t first;  // device frame of its first frame
    size_t count;
    double movieStart, movieStep;
  };
  bool Played(uint64_t* frames);
  void Recycle();
  int Queued() const;
  // Before a block is queued: a device that has played everything it was
  // given ran dry, and the queue it may hold grows.
  void NoteUnderrun();

  std::mutex m_;
  HWAVEOUT device_ = nullptr;
  SoundFormat format_;
  size_t blockFrames_ = 0;
  int depth_ = 0;  // buffers that may be queued at once
  std::vector<std::vector<int16_t>> data_;
  std::vector<WAVEHDR> headers_;
  std::deque<Block> blocks_;  // queued and not yet known to be played, oldest first
  uint64_t written_ = 0;      // frames queued since the last reset
  uint64_t lastPlayed_ = 0;   // the device's 32-bit count, widened
  bool paused_ = false;
  double startedAt_ = -1;     // wall time the device began to play what is queued; -1 before
  // How far the device's count runs ahead of what is heard, in frames: the
  // mean of the readings after a start. Some devices count what they have
  // handed on (Wine's, to the sound server) rather than what sounds.
  int64_t leadSum_ = 0;
  int leadReadings_ = 0;
};

}  // namespace vmedia
