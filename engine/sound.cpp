#include "engine/sound.h"

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/media_foundation.h"

namespace vmedia {
namespace {

constexpr DWORD kAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
constexpr int kBuffers = 4;
constexpr double kBufferSeconds = 0.1;

// The engine thread's side of the sound: a source reader decoding the file
// to 16-bit PCM, and a waveOut device kept fed from a few buffers.
class PcmOutput {
 public:
  PcmOutput() : data_(kBuffers), headers_(kBuffers) {}
  ~PcmOutput();
  PcmOutput(const PcmOutput&) = delete;
  PcmOutput& operator=(const PcmOutput&) = delete;

  // False when the file has no sound the reader can give as 16-bit PCM, or
  // no device takes it.
  bool Open(const std::wstring& path);
  // Silences the device and takes back every buffer.
  void Halt();
  // Moves the reader to `seconds` and reads the first buffer's worth from
  // there, dropping what lies before it, to the sample.
  void Seek(double seconds);
  // Queues every buffer the device has finished with, scaled to `gain`
  // (256 full).
  void Refill(int gain);

 private:
  bool OpenReader(const std::wstring& path);
  bool OpenDevice();
  // Reads until a buffer's worth is pending or the stream ends.
  void ReadChunk();
  void Append(IMFSample* sample, LONGLONG time);
  void Queue(int buffer, int gain);

  IMFSourceReader* reader_ = nullptr;
  HWAVEOUT device_ = nullptr;
  WAVEFORMATEX format_ = {};
  size_t chunk_ = 0;  // bytes per buffer, whole sample frames
  std::vector<std::vector<char>> data_;
  std::vector<WAVEHDR> headers_;
  std::vector<char> pending_;  // PCM read but not yet queued
  bool endOfStream_ = false;
  double from_ = 0;            // where the last seek went
  int64_t skipBytes_ = 0;      // still to drop before `from_`; -1 until the first sample says
};

PcmOutput::~PcmOutput() {
  if (device_) {
    Halt();
    waveOutClose(device_);
  }
  if (reader_) reader_->Release();
}

bool PcmOutput::Open(const std::wstring& path) { return OpenReader(path) && OpenDevice(); }

bool PcmOutput::OpenReader(const std::wstring& path) {
  if (FAILED(OpenSourceReader(path, false, &reader_))) return false;
  reader_->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
  reader_->SetStreamSelection(kAudioStream, TRUE);
  IMFMediaType* pcm = nullptr;
  if (SUCCEEDED(MFCreateMediaType(&pcm))) {
    pcm->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    pcm->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    pcm->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    reader_->SetCurrentMediaType(kAudioStream, nullptr, pcm);
    pcm->Release();
  }
  IMFMediaType* current = nullptr;
  if (FAILED(reader_->GetCurrentMediaType(kAudioStream, &current))) return false;
  UINT32 rate = MFGetAttributeUINT32(current, MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
  UINT32 channels = MFGetAttributeUINT32(current, MF_MT_AUDIO_NUM_CHANNELS, 0);
  UINT32 bits = MFGetAttributeUINT32(current, MF_MT_AUDIO_BITS_PER_SAMPLE, 0);
  current->Release();
  if (!rate || !channels || channels > 8 || bits != 16) return false;
  format_.wFormatTag = WAVE_FORMAT_PCM;
  format_.nChannels = static_cast<WORD>(channels);
  format_.nSamplesPerSec = rate;
  format_.wBitsPerSample = 16;
  format_.nBlockAlign = static_cast<WORD>(channels * 2);
  format_.nAvgBytesPerSec = rate * format_.nBlockAlign;
  chunk_ = static_cast<size_t>(format_.nAvgBytesPerSec * kBufferSeconds) / format_.nBlockAlign * format_.nBlockAlign;
  return true;
}

bool PcmOutput::OpenDevice() {
  if (waveOutOpen(&device_, WAVE_MAPPER, &format_, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) return true;
  device_ = nullptr;
  return false;
}

void PcmOutput::Halt() {
  waveOutReset(device_);
  for (auto& h : headers_)
    if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device_, &h, sizeof(h));
}

void PcmOutput::Seek(double seconds) {
  PROPVARIANT at;
  PropVariantInit(&at);
  at.vt = VT_I8;
  at.hVal.QuadPart = static_cast<LONGLONG>(std::max(seconds, 0.0) * 1e7);
  reader_->SetCurrentPosition(GUID_NULL, at);
  pending_.clear();
  endOfStream_ = false;
  from_ = seconds;
  skipBytes_ = -1;
  ReadChunk();
}

void PcmOutput::ReadChunk() {
  while (!endOfStream_ && pending_.size() < chunk_) {
    DWORD index = 0, flags = 0;
    LONGLONG time = 0;
    IMFSample* sample = nullptr;
    if (FAILED(reader_->ReadSample(kAudioStream, 0, &index, &flags, &time, &sample)) ||
        (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR))) {
      endOfStream_ = true;
    }
    if (!sample) continue;
    Append(sample, time);
    sample->Release();
  }
}

void PcmOutput::Append(IMFSample* sample, LONGLONG time) {
  IMFMediaBuffer* buffer = nullptr;
  if (FAILED(sample->ConvertToContiguousBuffer(&buffer))) return;
  BYTE* bytes = nullptr;
  DWORD length = 0;
  if (SUCCEEDED(buffer->Lock(&bytes, nullptr, &length))) {
    if (skipBytes_ < 0) {
      double late = from_ - time / 1e7;
      skipBytes_ = late > 0 ? static_cast<int64_t>(late * format_.nSamplesPerSec) * format_.nBlockAlign : 0;
    }
    DWORD skip = static_cast<DWORD>(std::min<int64_t>(skipBytes_, length));
    skipBytes_ -= skip;
    pending_.insert(pending_.end(), bytes + skip, bytes + length);
    buffer->Unlock();
  }
  buffer->Release();
}

void PcmOutput::Refill(int gain) {
  for (int i = 0; i < kBuffers; ++i) {
    WAVEHDR& h = headers_[i];
    if ((h.dwFlags & WHDR_PREPARED) && !(h.dwFlags & WHDR_DONE)) continue;
    if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device_, &h, sizeof(h));
    ReadChunk();
    if (pending_.empty()) break;
    Queue(i, gain);
  }
}

void PcmOutput::Queue(int buffer, int gain) {
  size_t n = std::min(pending_.size(), chunk_);
  std::vector<char>& data = data_[buffer];
  data.assign(pending_.begin(), pending_.begin() + n);
  pending_.erase(pending_.begin(), pending_.begin() + n);
  auto* samples = reinterpret_cast<int16_t*>(data.data());
  if (gain < 256)
    for (size_t k = 0; k < n / 2; ++k) samples[k] = static_cast<int16_t>(samples[k] * gain / 256);
  WAVEHDR& h = headers_[buffer];
  h = WAVEHDR{};
  h.lpData = data.data();
  h.dwBufferLength = static_cast<DWORD>(n);
  if (waveOutPrepareHeader(device_, &h, sizeof(h)) == MMSYSERR_NOERROR) waveOutWrite(device_, &h, sizeof(h));
}

}  // namespace

struct SoundPlayer::Impl {
  std::wstring path;
  std::mutex m;
  std::condition_variable cv;
  std::thread thread;
  bool quit = false;
  bool playing = false;
  double position = 0;   // seconds, where to play from after a jump
  uint32_t jumps = 0;    // bumped for every jump or start
  int16_t volume = 256;

  void Run();
  void Play(PcmOutput& output);
};

// The engine thread. Out of memory or the like leaves the movie silent.
void SoundPlayer::Impl::Run() {
  if (!EnterMediaThread()) return;
  try {
    PcmOutput output;
    if (output.Open(path)) Play(output);
  } catch (...) {
  }
  LeaveMediaThread();
}

// Keeps the device fed while the movie plays at rate 1; silences it and
// waits while it does not; starts again from the movie's time after a jump.
void SoundPlayer::Impl::Play(PcmOutput& output) {
  uint32_t seenJumps = 0;
  std::unique_lock<std::mutex> lock(m);
  while (!quit) {
    if (!playing || jumps != seenJumps) {
      lock.unlock();
      output.Halt();
      lock.lock();
      if (!playing) {
        cv.wait(lock, [&] { return quit || playing; });
        continue;
      }
      seenJumps = jumps;
      double from = position;
      lock.unlock();
      output.Seek(from);
      lock.lock();
      continue;
    }
    const int gain = volume < 0 ? 0 : std::min<int>(volume, 256);
    lock.unlock();
    output.Refill(gain);
    lock.lock();
    cv.wait_for(lock, std::chrono::milliseconds(20), [&] { return quit || !playing || jumps != seenJumps; });
  }
}

SoundPlayer::SoundPlayer(std::wstring path) : impl_(std::make_unique<Impl>()) {
  impl_->path = std::move(path);
  try {
    impl_->thread = std::thread(&Impl::Run, impl_.get());
  } catch (...) {
    // No thread: the movie runs silent.
  }
}

SoundPlayer::~SoundPlayer() {
  {
    std::lock_guard<std::mutex> lock(impl_->m);
    impl_->quit = true;
  }
  impl_->cv.notify_all();
  if (impl_->thread.joinable()) impl_->thread.join();
}

bool SoundPlayer::DeviceAvailable() { return waveOutGetNumDevs() > 0; }

void SoundPlayer::SetVolume(int16_t volume) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->volume = volume;
}

void SoundPlayer::Follow(double seconds, double rate, bool jumped) {
  // Sound plays only at normal speed; other rates run silent.
  bool play = rate == 1.0;
  std::lock_guard<std::mutex> lock(impl_->m);
  if (play == impl_->playing && !(play && jumped)) return;
  impl_->playing = play;
  impl_->position = seconds;
  ++impl_->jumps;
  impl_->cv.notify_all();
}

}  // namespace vmedia
