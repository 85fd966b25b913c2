#include "engine/container/sound_coding.h"

#include "engine/container/fourcc.h"

namespace vmedia {

namespace {

// QuickTime's name for MP3 in sound descriptions taken from AVI ('ms', 0x0055).
constexpr uint32_t kMsMp3 = 0x6D730055;

// The sample's width in bits for the integer PCM formats: version 1 keeps
// 16 in the sample size field whatever the data (and writers put 2 in its
// bytes per sample even for 24 bits); its bytes per frame tell.
uint32_t StoredBits(const SampleDescription& d) {
  if (d.version == 1 && d.channels && d.bytesPerFrame && d.bytesPerFrame % d.channels == 0 &&
      d.bytesPerFrame / d.channels <= 4)
    return d.bytesPerFrame / d.channels * 8;
  return d.bitsPerSample;
}

SoundCoding Pcm(PcmForm* pcm, uint32_t bits, bool isFloat, bool bigEndian, bool isSigned) {
  pcm->bits = bits;
  pcm->isFloat = isFloat;
  pcm->bigEndian = bigEndian;
  pcm->isSigned = isSigned || bits > 8;
  return PcmFrameBytes(*pcm, 1) ? SoundCoding::Pcm : SoundCoding::None;
}

SoundCoding Mp4aCoding(const SampleDescription& d) {
  switch (d.objectType) {
    case 0x40: case 0x66: case 0x67: case 0x68: return SoundCoding::Aac;
    case 0x69: case 0x6B: return SoundCoding::Mp3;
    case 0xA5: return SoundCoding::Ac3;
    // QuickTime entries without esds still carry an AudioSpecificConfig
    // somewhere only AAC has one.
    case 0: return d.config.empty() ? SoundCoding::None : SoundCoding::Aac;
  }
  return SoundCoding::None;
}

}  // namespace

SoundCoding CodingOf(const SampleDescription& d, PcmForm* pcm) {
  *pcm = PcmForm();
  switch (d.format) {
    case FourCC("mp4a"): return Mp4aCoding(d);
    case FourCC(".mp3"): case kMsMp3: return SoundCoding::Mp3;
    case FourCC("ac-3"): return SoundCoding::Ac3;
    case FourCC("alac"): return d.config.empty() ? SoundCoding::None : SoundCoding::Alac;
    case FourCC("ima4"): return SoundCoding::Ima4;
    // 3GPP's AMR narrow and wide band: mono at 8 and 16 kHz, whatever the
    // entry's channel count says.
    case FourCC("samr"): return SoundCoding::AmrNb;
    case FourCC("sawb"): return SoundCoding::AmrWb;
    case FourCC("MAC3"): return SoundCoding::Mace3;
    case FourCC("MAC6"): return SoundCoding::Mace6;
    case FourCC("ulaw"): return SoundCoding::MuLaw;
    case FourCC("alaw"): return SoundCoding::ALaw;
    case FourCC("raw "): {
      // 8 bits unsigned; QuickTime reads a 16-bit 'raw ' as 'twos'.
      uint32_t bits = StoredBits(d);
      return Pcm(pcm, bits == 16 ? 16 : 8, false, true, bits == 16);
    }
    case FourCC("twos"): case FourCC("NONE"): {
      uint32_t bits = StoredBits(d);
      // 'NONE' has no 'enda'; it is big-endian.
      return Pcm(pcm, bits, false, d.format == FourCC("NONE") || d.bigEndian, true);
    }
    case FourCC("sowt"): return Pcm(pcm, StoredBits(d), false, false, true);
    case FourCC("in24"): return Pcm(pcm, 24, false, d.bigEndian, true);
    case FourCC("in32"): return Pcm(pcm, 32, false, d.bigEndian, true);
    case FourCC("fl32"): return Pcm(pcm, 32, true, d.bigEndian, true);
    case FourCC("fl64"): return Pcm(pcm, 64, true, d.bigEndian, true);
    case FourCC("lpcm"):
      return Pcm(pcm, d.bitsPerSample, (d.lpcmFlags & kLpcmFloat) != 0, (d.lpcmFlags & kLpcmBigEndian) != 0,
                 (d.lpcmFlags & kLpcmSignedInteger) != 0);
  }
  return SoundCoding::None;
}

uint32_t PcmFrameBytes(const PcmForm& pcm, uint32_t channels) {
  const bool ok = pcm.isFloat ? pcm.bits == 32 || pcm.bits == 64
                              : pcm.bits == 8 || pcm.bits == 16 || pcm.bits == 24 || pcm.bits == 32;
  if (!ok || channels == 0 || channels > 64) return 0;
  return pcm.bits / 8 * channels;
}

FrameLayout LayoutOf(const SampleDescription& d, SoundCoding coding, const PcmForm& pcm) {
  FrameLayout l;
  const uint32_t ch = d.channels;
  if (ch == 0 || ch > 64) return l;
  switch (coding) {
    case SoundCoding::Pcm: l = {1, PcmFrameBytes(pcm, ch)}; break;
    case SoundCoding::MuLaw: case SoundCoding::ALaw: l = {1, ch}; break;
    case SoundCoding::Ima4: l = {64, 34 * ch}; break;
    case SoundCoding::Mace3: l = {6, 2 * ch}; break;
    case SoundCoding::Mace6: l = {6, ch}; break;
    default: return FrameLayout();
  }
  // What the entry itself states wins where it states it whole.
  if (d.version == 2 && d.constBytesPerPacket && d.constFramesPerPacket) {
    l = {d.constFramesPerPacket, d.constBytesPerPacket};
  } else if (d.version == 1 && d.samplesPerPacket && d.bytesPerFrame) {
    l = {d.samplesPerPacket, d.bytesPerFrame};
  }
  if (l.bytesPerPacket > kMaxSoundPacketBytes || l.framesPerPacket > kMaxSoundPacketBytes) return FrameLayout();
  return l;
}

}  // namespace vmedia
