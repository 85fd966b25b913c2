#include "engine/container/wave_file.h"

#include <string.h>

namespace vmedia {

namespace {

constexpr uint16_t kFormatPcm = 1, kFormatFloat = 3, kFormatALaw = 6, kFormatMuLaw = 7, kFormatExtensible = 0xFFFE;
// A file may hold many chunks; past this many, before 'data', it is no WAV we read.
constexpr int kMaxChunks = 4096;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// The format chunk's coding; false for codings not ours.
bool ReadFormat(const uint8_t* f, size_t n, WaveInfo* out) {
  if (n < 16) return false;
  uint16_t tag = Le16(f);
  out->channels = Le16(f + 2);
  out->rate = Le32(f + 4);
  out->blockAlign = Le16(f + 12);
  const uint16_t bits = Le16(f + 14);
  // The extensible form names the coding by the first two bytes of its
  // sub-format GUID (the rest is the standard base).
  if (tag == kFormatExtensible) {
    if (n < 40 || Le16(f + 16) < 22) return false;
    tag = Le16(f + 24);
  }
  if (out->channels == 0 || out->rate == 0 || out->blockAlign == 0) return false;
  switch (tag) {
    case kFormatPcm:
      out->coding = SoundCoding::Pcm;
      out->pcm = PcmForm{bits, false, false, bits > 8};
      break;
    case kFormatFloat:
      out->coding = SoundCoding::Pcm;
      out->pcm = PcmForm{bits, true, false, true};
      break;
    case kFormatMuLaw: case kFormatALaw:
      if (bits != 8) return false;
      out->coding = tag == kFormatMuLaw ? SoundCoding::MuLaw : SoundCoding::ALaw;
      return out->blockAlign == out->channels;
    default:
      return false;
  }
  return PcmFrameBytes(out->pcm, out->channels) == out->blockAlign;
}

}  // namespace

bool LooksLikeWave(ByteSource& src) {
  uint8_t head[12];
  return src.Read(0, head, sizeof head) && memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "WAVE", 4) == 0;
}

bool ReadWave(ByteSource& src, WaveInfo* out) {
  *out = WaveInfo();
  if (!LooksLikeWave(src)) return false;
  const uint64_t size = src.Size();
  WaveInfo info;
  bool haveFormat = false;
  uint64_t pos = 12;
  for (int i = 0; i < kMaxChunks && pos <= size && size - pos >= 8; ++i) {
    uint8_t h[8];
    if (!src.Read(pos, h, sizeof h)) return false;
    const uint64_t body = pos + 8, length = Le32(h + 4);
    if (memcmp(h, "fmt ", 4) == 0) {
      uint8_t f[40] = {};
      const size_t n = length < sizeof f ? size_t(length) : sizeof f;
      if (n > size - body || !src.Read(body, f, n) || !ReadFormat(f, n, &info)) return false;
      haveFormat = true;
    } else if (memcmp(h, "data", 4) == 0) {
      if (!haveFormat) return false;
      uint64_t bytes = size - body;
      if (length != 0 && length != 0xFFFFFFFFu && length < bytes) bytes = length;
      info.dataOffset = body;
      info.frames = bytes / info.blockAlign;
      *out = info;
      return true;
    }
    // Chunks are padded to an even length.
    pos = body + length + (length & 1);
  }
  return false;
}

}  // namespace vmedia
