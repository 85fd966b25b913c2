// Sound of a movie: decoded to 16-bit PCM on an engine thread and played
// with waveOut while the movie runs at rate 1. Without a sound device the
// movie simply runs silent.
#pragma once
#include <stdint.h>

#include <memory>
#include <string>

namespace vmedia {

class SoundPlayer {
 public:
  explicit SoundPlayer(std::wstring path);
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Follows the movie clock: plays from `seconds` when rate is 1, is quiet
  // otherwise. Cheap when nothing changed.
  void Follow(double seconds, double rate, bool jumped);
  // QuickTime volume; 256 full, <= 0 silent.
  void SetVolume(int16_t volume);
  // A device exists to play on.
  static bool DeviceAvailable();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vmedia
