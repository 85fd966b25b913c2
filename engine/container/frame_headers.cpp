#include "engine/container/frame_headers.h"

namespace vmedia {
namespace {

// kbit/s by [MPEG-1 or not][layer - 1][index]; index 0 is free format.
constexpr uint16_t kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr uint32_t kMpeg1Rates[3] = {44100, 48000, 32000};
constexpr uint32_t kAdtsRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                     22050, 16000, 12000, 11025, 8000,  7350};

uint32_t Big32(const uint8_t* h) { return uint32_t(h[0]) << 24 | uint32_t(h[1]) << 16 | uint32_t(h[2]) << 8 | h[3]; }

}  // namespace

bool ReadMpegAudioHeader(const uint8_t* h, FrameHeader* out) {
  const uint32_t v = Big32(h);
  if ((v & 0xFFE00000u) != 0xFFE00000u) return false;
  const uint32_t version = v >> 19 & 3;  // 0: MPEG-2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
  const uint32_t layer = 4 - (v >> 17 & 3);  // 4 is reserved
  const uint32_t rateIndex = v >> 12 & 15, sampleIndex = v >> 10 & 3, padding = v >> 9 & 1;
  if (version == 1 || layer == 4 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3) return false;
  const bool mpeg1 = version == 3;
  const uint32_t rate = kMpeg1Rates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  const uint32_t bitRate = kBitRates[mpeg1 ? 0 : 1][layer - 1][rateIndex] * 1000u;
  switch (layer) {
    case 1:
      out->bytes = (12 * bitRate / rate + padding) * 4;
      out->samples = 384;
      break;
    case 2:
      out->bytes = 144 * bitRate / rate + padding;
      out->samples = 1152;
      break;
    default:
      out->bytes = (mpeg1 ? 144 : 72) * bitRate / rate + padding;
      out->samples = mpeg1 ? 1152 : 576;
      break;
  }
  out->sampleRate = rate;
  // Sync, version, layer and sample rate, as libavformat's parser compares.
  out->streamBits = v & (0xFFE00000u | 3u << 19 | 3u << 17 | 3u << 10);
  return out->bytes > kMpegAudioHeaderBytes;
}

bool ReadAdtsHeader(const uint8_t* h, FrameHeader* out) {
  if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) return false;  // sync, layer 0
  const uint32_t rateIndex = h[2] >> 2 & 15;
  if (rateIndex >= 13) return false;
  const uint32_t bytes = uint32_t(h[3] & 3) << 11 | uint32_t(h[4]) << 3 | h[5] >> 5;
  if (bytes < kAdtsHeaderBytes) return false;
  out->bytes = bytes;
  out->samples = 1024 * ((h[6] & 3) + 1u);
  out->sampleRate = kAdtsRates[rateIndex];
  // Sync, MPEG version, layer, CRC, profile, sample rate, channels.
  out->streamBits = Big32(h) & 0xFFFFFDC0u;
  return true;
}

}  // namespace vmedia
