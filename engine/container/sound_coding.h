// How a sound's bytes are coded, read from a track's sample description or
// a WAV header: the codec, the PCM sample form, and for codecs of constant
// packet size how many bytes hold how many frames. Platform-free; the
// decoder side maps a coding to FFmpeg's codec.
#pragma once
#include <stdint.h>

#include "engine/container/sample_description.h"

namespace vmedia {

enum class SoundCoding { None, Pcm, MuLaw, ALaw, Ima4, Mace3, Mace6, Aac, Mp3, Ac3, Alac, AmrNb, AmrWb };

// Linear PCM as stored. Integers of 8 bits are unsigned unless isSigned;
// wider ones are always signed.
struct PcmForm {
  uint32_t bits = 0;  // 8, 16, 24, 32 (integer); 32, 64 (float)
  bool isFloat = false;
  bool bigEndian = false;
  bool isSigned = true;
};

// A constant-size coding's packet: framesPerPacket frames (all channels) in
// bytesPerPacket bytes. Both 0 for codings whose packets vary.
struct FrameLayout {
  uint32_t framesPerPacket = 0;
  uint32_t bytesPerPacket = 0;
  bool Constant() const { return framesPerPacket > 0 && bytesPerPacket > 0; }
};

// A constant packet larger than this is taken for damage.
constexpr uint32_t kMaxSoundPacketBytes = 1u << 20;

// The coding of a sound track's first sample description; None for formats
// the engine does not decode (or an 'mp4a' of an unknown object type).
// *pcm is filled for Pcm.
SoundCoding CodingOf(const SampleDescription& d, PcmForm* pcm);

// Bytes a frame of PCM takes: channels times the sample's bytes; 0 when the
// form or the count is not one of ours.
uint32_t PcmFrameBytes(const PcmForm& pcm, uint32_t channels);

// The packet layout of a constant-size coding as the description states it
// (QuickTime version 2's constant packet, version 1's bytes per frame of
// samplesPerPacket, else the coding's own: 34 bytes a channel per 64 frames
// of ima4, 2 and 1 bytes a channel per 6 frames of MACE 3 and 6, one sample
// a channel for PCM and u-law/A-law). Not Constant() for varying codings,
// no channels, or sizes past kMaxSoundPacketBytes.
FrameLayout LayoutOf(const SampleDescription& d, SoundCoding coding, const PcmForm& pcm);

}  // namespace vmedia
