// The headers of MPEG audio (layers I to III, MPEG-1, 2 and 2.5) and ADTS
// AAC frames: how long each frame is and how many samples it holds, from
// its first bytes alone. Platform-free.
#pragma once
#include <stdint.h>

namespace vmedia {

enum class FrameKind { MpegAudio, Adts };

struct FrameHeader {
  uint32_t bytes = 0;       // the whole frame, header included
  uint32_t samples = 0;     // per channel
  uint32_t sampleRate = 0;
  // The bits every frame of one stream shares (sync, version, layer or
  // profile, sample rate), to tell the next frame from a stray sync word.
  uint32_t streamBits = 0;
};

// Bytes a header needs to be read.
constexpr uint32_t kMpegAudioHeaderBytes = 4;
constexpr uint32_t kAdtsHeaderBytes = 7;
inline uint32_t HeaderBytes(FrameKind kind) { return kind == FrameKind::Adts ? kAdtsHeaderBytes : kMpegAudioHeaderBytes; }

// False where the bytes are no header: no sync word, a reserved field, or
// a free-format bit rate (whose frame length no header states).
bool ReadMpegAudioHeader(const uint8_t* h, FrameHeader* out);
bool ReadAdtsHeader(const uint8_t* h, FrameHeader* out);
inline bool ReadFrameHeader(FrameKind kind, const uint8_t* h, FrameHeader* out) {
  return kind == FrameKind::Adts ? ReadAdtsHeader(h, out) : ReadMpegAudioHeader(h, out);
}

}  // namespace vmedia
