#include "engine/sound_output.h"

#include <string.h>

#include <algorithm>

#include "engine/wall_clock.h"

namespace vmedia {
namespace {

// Eight buffers of 20 ms: deep enough for a slow machine's hiccups, short
// enough that a change of volume is heard soon.
constexpr int kBuffers = 8;
constexpr double kBlockSeconds = 0.02;

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
  blocks_.clear();
  written_ = 0;
  lastPlayed_ = 0;
  startedAt_ = -1;
  lead_ = -1;
}

void SoundOutput::Pause() {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_) return;
  waveOutPause(device_);
  paused_ = true;
}

void SoundOutput::Restart() {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_) return;
  waveOutRestart(device_);
  if (paused_ && written_ > 0) startedAt_ = WallSeconds();
  paused_ = false;
}

void SoundOutput::Recycle() {
  for (auto& h : headers_)
    if ((h.dwFlags & WHDR_PREPARED) && (h.dwFlags & WHDR_DONE)) waveOutUnprepareHeader(device_, &h, sizeof(h));
}

bool SoundOutput::CanWrite() {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_) return false;
  Recycle();
  for (auto& h : headers_)
    if (!(h.dwFlags & WHDR_PREPARED)) return true;
  return false;
}

bool SoundOutput::Write(const int16_t* frames, size_t count, double movieStart, double movieStep) {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_ || count == 0) return false;
  count = std::min(count, blockFrames_);
  Recycle();
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
    if (written_ == 0 && !paused_) startedAt_ = WallSeconds();
    blocks_.push_back(Block{written_, count, movieStart, movieStep});
    written_ += count;
    return true;
  }
  return false;
}

bool SoundOutput::Played(uint64_t* frames) {
  MMTIME t = {};
  t.wType = TIME_SAMPLES;
  if (waveOutGetPosition(device_, &t, sizeof(t)) != MMSYSERR_NOERROR || t.wType != TIME_SAMPLES) return false;
  // The device counts in 32 bits: about a day at 48 kHz before it wraps.
  uint64_t played = (lastPlayed_ & ~uint64_t(0xFFFFFFFF)) | t.u.sample;
  if (played < lastPlayed_) played += uint64_t(1) << 32;
  lastPlayed_ = played;
  *frames = played;
  return true;
}

SoundOutput::Heard SoundOutput::HeardTime(double* seconds) {
  std::lock_guard<std::mutex> lock(m_);
  if (!device_ || written_ == 0) return Heard::Nothing;
  uint64_t played = 0;
  if (!Played(&played)) return Heard::Nothing;
  if (played == 0 || startedAt_ < 0) return Heard::Waiting;
  if (lead_ < 0) {
    // Frames that can have sounded since the start; what the count shows
    // beyond them has only been handed on.
    int64_t since = int64_t((WallSeconds() - startedAt_) * format_.rate);
    lead_ = std::max<int64_t>(0, int64_t(played) - since);
  }
  if (played <= uint64_t(lead_)) return Heard::Waiting;
  played -= uint64_t(lead_);
  if (played >= written_) return Heard::Drained;
  while (blocks_.size() > 1 && blocks_.front().first + blocks_.front().count <= played) blocks_.pop_front();
  const Block& b = blocks_.front();
  *seconds = b.movieStart + double(played - b.first) * b.movieStep;
  return Heard::Playing;
}

}  // namespace vmedia
