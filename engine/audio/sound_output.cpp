#include "engine/audio/sound_output.h"

#include <string.h>

#include <algorithm>

#include "engine/audio/sound_counters.h"
#include "engine/platform/wall_clock.h"

namespace vmedia {
namespace {

// Buffers of 20 ms. Eight of them queued at first: short enough that a
// change of volume is heard soon. Each time the device runs dry the queue
// grows by four, up to a deep one that rides out a slow (or emulated)
// machine's stalls.
constexpr int kBuffers = 32;
constexpr int kFirstDepth = 8;
constexpr int kDepthStep = 4;
constexpr double kBlockSeconds = 0.02;

uint32_t DepthMs(int buffers) { return uint32_t(buffers * kBlockSeconds * 1000 + 0.5); }

}  // namespace

SoundOutput::SoundOutput() : data_(kBuffers), headers_(kBuffers) {}

SoundOutput::~SoundOutput() {
  if (!device_) return;
  Reset();
  waveOutClose(device_);
}

bool SoundOutput::Open(SoundFormat format) {
  std::lock_guard<std::mutex> lock(m_);
  if (device_ || format.rate <= 0 || format.channels < 1 || format.channels > 2) return false;
  WAVEFORMATEX f = {};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = static_cast<WORD>(format.channels);
  f.nSamplesPerSec = static_cast<DWORD>(format.rate);
  f.wBitsPerSample = 16;
  f.nBlockAlign = static_cast<WORD>(format.channels * 2);
  f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
  if (waveOutOpen(&device_, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    device_ = nullptr;
    return false;
  }
  format_ = format;
  time_.SetFrameRate(format.rate);
  depth_ = kFirstDepth;
  CountSoundDepth(DepthMs(depth_));
  blockFrames_ = std::max<size_t>(1, static_cast<size_t>(format.rate * kBlockSeconds));
  for (auto& d : data_) d.resize(blockFrames_ * size_t(format.channels));
  return true;
}

void SoundOutput::Reset() {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_) return;
  waveOutReset(device_);
  for (auto& h : headers_)
    if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device_, &h, sizeof(h));
  time_.Reset();
}

void SoundOutput::Pause() {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_) return;
  waveOutPause(device_);
  time_.Pause();
}

void SoundOutput::Restart() {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_) return;
  waveOutRestart(device_);
  time_.Restart(WallSeconds());
}

void SoundOutput::Recycle() {
  for (auto& h : headers_)
    if ((h.dwFlags & WHDR_PREPARED) && (h.dwFlags & WHDR_DONE)) waveOutUnprepareHeader(device_, &h, sizeof(h));
}

int SoundOutput::Queued() const {
  int n = 0;
  for (const auto& h : headers_)
    if (h.dwFlags & WHDR_PREPARED) ++n;
  return n;
}

bool SoundOutput::CanWrite() {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_) return false;
  Recycle();
  return Queued() < depth_;
}

void SoundOutput::NoteUnderrun() {
  // Only a running device can run dry; a held or new one is being filled.
  if (!time_.Running()) return;
  uint32_t count = 0;
  if (!PlayedCount(&count) || !time_.RanDry(count)) return;
  CountSoundUnderrun();
  if (depth_ < kBuffers) {
    depth_ = std::min(depth_ + kDepthStep, kBuffers);
    CountSoundDepth(DepthMs(depth_));
  }
}

bool SoundOutput::Write(const int16_t* frames, size_t count, double movieStart, double movieStep) {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_ || count == 0) return false;
  count = std::min(count, blockFrames_);
  Recycle();
  NoteUnderrun();
  for (int i = 0; i < kBuffers; ++i) {
    WAVEHDR& h = headers_[size_t(i)];
    if (h.dwFlags & WHDR_PREPARED) continue;
    memcpy(data_[size_t(i)].data(), frames, count * size_t(format_.channels) * sizeof(int16_t));
    h = WAVEHDR{};
    h.lpData = reinterpret_cast<LPSTR>(data_[size_t(i)].data());
    h.dwBufferLength = static_cast<DWORD>(count * size_t(format_.channels) * sizeof(int16_t));
    if (waveOutPrepareHeader(device_, &h, sizeof(h)) != MMSYSERR_NOERROR) return false;
    if (waveOutWrite(device_, &h, sizeof(h)) != MMSYSERR_NOERROR) {
      waveOutUnprepareHeader(device_, &h, sizeof(h));
      return false;
    }
    if (time_.written() == 0) CountSoundStart();
    CountSoundBlock();
    time_.Queued(count, movieStart, movieStep, WallSeconds());
    return true;
  }
  return false;
}

bool SoundOutput::PlayedCount(uint32_t* count) {
  MMTIME t = {};
  t.wType = TIME_SAMPLES;
  if (waveOutGetPosition(device_, &t, sizeof(t)) != MMSYSERR_NOERROR || t.wType != TIME_SAMPLES) return false;
  *count = t.u.sample;
  return true;
}

DeviceState SoundOutput::HeardTime(double* seconds) {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_ || time_.written() == 0) return DeviceState::Empty;
  uint32_t count = 0;
  if (!PlayedCount(&count)) return DeviceState::Empty;
  return time_.Heard(count, WallSeconds(), seconds);
}

}  // namespace vmedia
