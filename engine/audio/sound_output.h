// The sound device: a waveOut stream fed from a ring of short buffers, and
// what it is playing now in movie time (device_time.h maps its count of
// frames played to that). Thread-safe: the sound thread writes, the host's
// thread asks and stops.
#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <stdint.h>

#include <mutex>
#include <vector>

#include "engine/audio/device_time.h"
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

  // Where the device is; when Playing, *seconds holds the movie time being
  // heard.
  DeviceState HeardTime(double* seconds);

 private:
  // The device's count of frames played (32 bits, wrapping).
  bool PlayedCount(uint32_t* count);
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
  DeviceTime time_;
};

}  // namespace vmedia
