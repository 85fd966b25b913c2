#include "engine/sound.h"

#include <windows.h>
#include <mmsystem.h>

namespace vmedia {

struct SoundPlayer::Impl {
  std::wstring path;
  int16_t volume = 256;
};

SoundPlayer::SoundPlayer(std::wstring path) : impl_(std::make_unique<Impl>()) { impl_->path = std::move(path); }
SoundPlayer::~SoundPlayer() = default;

bool SoundPlayer::DeviceAvailable() { return waveOutGetNumDevs() > 0; }

void SoundPlayer::SetVolume(int16_t volume) { impl_->volume = volume; }

void SoundPlayer::Follow(double seconds, double rate, bool jumped) {}

}  // namespace vmedia
