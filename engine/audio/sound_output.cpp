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
// Readings of the device's count averaged into its lead after a start.
constexpr int kLeadReadings = 16;

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
  blocks_.clear();
  written_ = 0;
  lastPlayed_ = 0;
  startedAt_ = -1;
  leadSum_ = 0;
  leadReadings_ = 0;
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
  if (written_ == 0 || paused_ || startedAt_ < 0) return;
  // The count itself, lead and all: a device that has handed on everything
  // has nothing left of ours, though what it handed on may still sound.
  uint64_t played = 0;
  if (!Played(&played) || played < written_) return;
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
    if (written_ == 0) {
      CountSoundStart();
      if (!paused_) startedAt_ = WallSeconds();
    }
    CountSoundBlock();
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
  // Frames that can have sounded since the start; what the count shows
  // beyond them has only been handed on. The count moves in the device's
  // own steps (10 to 20 ms under Wine), so one reading is off by up to a
  // step, and the picture would keep that error for the whole run: the
  // lead is the mean of the first readings.
  if (leadReadings_ < kLeadReadings) {
    int64_t since = int64_t((WallSeconds() - startedAt_) * format_.rate);
    leadSum_ += std::max<int64_t>(0, int64_t(played) - since);
    ++leadReadings_;
  }
  const uint64_t lead = uint64_t(leadSum_ / leadReadings_);
  if (played <= lead) return Heard::Waiting;
  played -= lead;
  if (played >= written_) return Heard::Drained;
  while (blocks_.size() > 1 && blocks_.front().first + blocks_.front().count <= played) blocks_.pop_front();
  const Block& b = blocks_.front();
  *seconds = b.movieStart + double(played - b.first) * b.movieStep;
  return Heard::Playing;
}

}  // namespace vmedia
