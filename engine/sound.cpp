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
  void Play();
};

// The engine thread: reads PCM from the file and keeps a few waveOut
// buffers queued while the movie plays; stops and resets when it does not.
void SoundPlayer::Impl::Run() {
  try {
    Play();
  } catch (...) {
    // Out of memory or the like: the movie runs silent.
  }
}

void SoundPlayer::Impl::Play() {
  if (!EnterMediaThread()) return;
  IMFSourceReader* reader = nullptr;
  HWAVEOUT out = nullptr;
  WAVEFORMATEX format = {};
  if (SUCCEEDED(OpenSourceReader(path, false, &reader))) {
    reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    reader->SetStreamSelection(kAudioStream, TRUE);
    IMFMediaType* pcm = nullptr;
    if (SUCCEEDED(MFCreateMediaType(&pcm))) {
      pcm->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
      pcm->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
      pcm->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
      reader->SetCurrentMediaType(kAudioStream, nullptr, pcm);
      pcm->Release();
    }
    IMFMediaType* current = nullptr;
    if (SUCCEEDED(reader->GetCurrentMediaType(kAudioStream, &current))) {
      UINT32 rate = MFGetAttributeUINT32(current, MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
      UINT32 channels = MFGetAttributeUINT32(current, MF_MT_AUDIO_NUM_CHANNELS, 0);
      UINT32 bits = MFGetAttributeUINT32(current, MF_MT_AUDIO_BITS_PER_SAMPLE, 0);
      current->Release();
      if (rate && channels && channels <= 8 && bits == 16) {
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = static_cast<WORD>(channels);
        format.nSamplesPerSec = rate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = static_cast<WORD>(channels * 2);
        format.nAvgBytesPerSec = rate * format.nBlockAlign;
        if (waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) out = nullptr;
      }
    }
  }

  if (out) {
    std::vector<std::vector<char>> data(kBuffers);
    std::vector<WAVEHDR> headers(kBuffers);
    for (auto& h : headers) h = WAVEHDR{};
    std::vector<char> pending;  // PCM read but not yet queued
    bool endOfStream = false;
    uint32_t seenJumps = 0;
    std::unique_lock<std::mutex> lock(m);
    const size_t chunk = static_cast<size_t>(format.nAvgBytesPerSec * kBufferSeconds) / format.nBlockAlign * format.nBlockAlign;
    while (!quit) {
      if (!playing || jumps != seenJumps) {
        lock.unlock();
        waveOutReset(out);
        for (auto& h : headers)
          if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(out, &h, sizeof(h));
        lock.lock();
        if (!playing) {
          cv.wait(lock, [&] { return quit || playing; });
          continue;
        }
        seenJumps = jumps;
        double from = position;
        lock.unlock();
        PROPVARIANT at;
        PropVariantInit(&at);
        at.vt = VT_I8;
        at.hVal.QuadPart = static_cast<LONGLONG>(std::max(from, 0.0) * 1e7);
        reader->SetCurrentPosition(GUID_NULL, at);
        pending.clear();
        endOfStream = false;
        // Drop what lies before the position, to the sample.
        int64_t skipBytes = -1;
        while (!endOfStream && pending.size() < chunk) {
          DWORD index = 0, flags = 0;
          LONGLONG time = 0;
          IMFSample* sample = nullptr;
          if (FAILED(reader->ReadSample(kAudioStream, 0, &index, &flags, &time, &sample)) ||
              (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR))) {
            endOfStream = true;
          }
          if (sample) {
            IMFMediaBuffer* buffer = nullptr;
            if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer))) {
              BYTE* bytes = nullptr;
              DWORD length = 0;
              if (SUCCEEDED(buffer->Lock(&bytes, nullptr, &length))) {
                if (skipBytes < 0) {
                  double late = from - time / 1e7;
                  skipBytes = late > 0 ? static_cast<int64_t>(late * format.nSamplesPerSec) * format.nBlockAlign : 0;
                }
                DWORD skip = static_cast<DWORD>(std::min<int64_t>(skipBytes, length));
                skipBytes -= skip;
                pending.insert(pending.end(), bytes + skip, bytes + length);
                buffer->Unlock();
              }
              buffer->Release();
            }
            sample->Release();
          }
        }
        lock.lock();
        continue;
      }
      // Refill finished buffers.
      const int gain = volume < 0 ? 0 : std::min<int>(volume, 256);
      lock.unlock();
      for (int i = 0; i < kBuffers; ++i) {
        WAVEHDR& h = headers[i];
        if ((h.dwFlags & WHDR_PREPARED) && !(h.dwFlags & WHDR_DONE)) continue;
        if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(out, &h, sizeof(h));
        while (!endOfStream && pending.size() < chunk) {
          DWORD index = 0, flags = 0;
          LONGLONG time = 0;
          IMFSample* sample = nullptr;
          if (FAILED(reader->ReadSample(kAudioStream, 0, &index, &flags, &time, &sample)) ||
              (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR)))
            endOfStream = true;
          if (!sample) continue;
          IMFMediaBuffer* buffer = nullptr;
          if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer))) {
            BYTE* bytes = nullptr;
            DWORD length = 0;
            if (SUCCEEDED(buffer->Lock(&bytes, nullptr, &length))) {
              pending.insert(pending.end(), bytes, bytes + length);
              buffer->Unlock();
            }
            buffer->Release();
          }
          sample->Release();
        }
        size_t n = std::min(pending.size(), chunk);
        if (n == 0) break;
        data[i].assign(pending.begin(), pending.begin() + n);
        pending.erase(pending.begin(), pending.begin() + n);
        auto* samples = reinterpret_cast<int16_t*>(data[i].data());
        if (gain < 256)
          for (size_t k = 0; k < n / 2; ++k) samples[k] = static_cast<int16_t>(samples[k] * gain / 256);
        h = WAVEHDR{};
        h.lpData = data[i].data();
        h.dwBufferLength = static_cast<DWORD>(n);
        if (waveOutPrepareHeader(out, &h, sizeof(h)) == MMSYSERR_NOERROR) waveOutWrite(out, &h, sizeof(h));
      }
      lock.lock();
      cv.wait_for(lock, std::chrono::milliseconds(20), [&] { return quit || !playing || jumps != seenJumps; });
    }
    lock.unlock();
    waveOutReset(out);
    for (auto& h : headers)
      if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(out, &h, sizeof(h));
    waveOutClose(out);
  }
  if (reader) reader->Release();
  LeaveMediaThread();
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
