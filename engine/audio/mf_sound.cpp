#include "engine/audio/mf_sound.h"

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <string.h>

#include <algorithm>
#include <vector>

#include "engine/platform/media_foundation.h"

namespace vmedia {
namespace {

constexpr DWORD kAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

class MediaFoundationSound : public SoundSource {
 public:
  ~MediaFoundationSound() override {
    if (reader_) reader_->Release();
  }
  bool Open(const std::wstring& path);
  SoundFormat Format() const override { return format_; }
  bool Seek(double seconds) override;
  size_t Read(int16_t* out, size_t frames) override;

 private:
  // Decodes the next sample into pending_; false at the end of the stream.
  bool Decode();

  IMFSourceReader* reader_ = nullptr;
  SoundFormat format_;
  std::vector<int16_t> pending_;  // decoded, not yet read
  size_t pendingAt_ = 0;          // first unread value in pending_
  bool endOfStream_ = false;
  double from_ = 0;               // where the last seek went
  int64_t skipFrames_ = -1;       // still to drop before from_; -1 until the first sample says
};

bool MediaFoundationSound::Open(const std::wstring& path) {
  if (FAILED(OpenSourceReader(path, false, &reader_))) return false;
  reader_->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
  reader_->SetStreamSelection(kAudioStream, TRUE);
  IMFMediaType* pcm = nullptr;
  if (SUCCEEDED(CreateMediaType(&pcm))) {
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
  // What the player plays; other shapes are left to our own decoders.
  if (rate < 8000 || rate > 48000 || channels < 1 || channels > 2 || bits != 16) return false;
  format_.rate = static_cast<int>(rate);
  format_.channels = static_cast<int>(channels);
  return true;
}

bool MediaFoundationSound::Seek(double seconds) {
  PROPVARIANT at;
  PropVariantInit(&at);
  at.vt = VT_I8;
  at.hVal.QuadPart = static_cast<LONGLONG>(std::max(seconds, 0.0) * 1e7);
  pending_.clear();
  pendingAt_ = 0;
  from_ = std::max(seconds, 0.0);
  skipFrames_ = -1;
  endOfStream_ = FAILED(reader_->SetCurrentPosition(GUID_NULL, at));
  return !endOfStream_;
}

bool MediaFoundationSound::Decode() {
  while (!endOfStream_) {
    DWORD index = 0, flags = 0;
    LONGLONG time = 0;
    IMFSample* sample = nullptr;
    if (FAILED(reader_->ReadSample(kAudioStream, 0, &index, &flags, &time, &sample)) ||
        (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR)))
      endOfStream_ = true;
    if (!sample) continue;
    IMFMediaBuffer* buffer = nullptr;
    bool got = false;
    if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer))) {
      BYTE* bytes = nullptr;
      DWORD length = 0;
      if (SUCCEEDED(buffer->Lock(&bytes, nullptr, &length))) {
        const size_t frameBytes = size_t(format_.channels) * 2;
        size_t frames = length / frameBytes;
        // The reader lands on a packet before the time asked for.
        if (skipFrames_ < 0) {
          double late = from_ - time / 1e7;
          skipFrames_ = late > 0 ? static_cast<int64_t>(late * format_.rate + 0.5) : 0;
        }
        size_t skip = static_cast<size_t>(std::min<int64_t>(skipFrames_, int64_t(frames)));
        skipFrames_ -= int64_t(skip);
        if (frames > skip) {
          pending_.resize((frames - skip) * size_t(format_.channels));
          memcpy(pending_.data(), bytes + skip * frameBytes, (frames - skip) * frameBytes);
          pendingAt_ = 0;
          got = true;
        }
        buffer->Unlock();
      }
      buffer->Release();
    }
    sample->Release();
    if (got) return true;
  }
  return false;
}

size_t MediaFoundationSound::Read(int16_t* out, size_t frames) {
  if (pendingAt_ >= pending_.size() && !Decode()) return 0;
  const size_t channels = size_t(format_.channels);
  size_t n = std::min(frames, (pending_.size() - pendingAt_) / channels);
  memcpy(out, pending_.data() + pendingAt_, n * channels * sizeof(int16_t));
  pendingAt_ += n * channels;
  return n;
}

}  // namespace

std::unique_ptr<SoundSource> OpenMediaFoundationSound(const std::wstring& path) {
  auto source = std::make_unique<MediaFoundationSound>();
  if (!source->Open(path)) return nullptr;
  return source;
}

}  // namespace vmedia
