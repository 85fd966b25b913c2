// RIFF/WAVE files: where the samples are and how they are coded. PCM of 8
// (unsigned), 16, 24 and 32 bits, IEEE float of 32 and 64 bits, u-law and
// A-law, plain or as WAVE_FORMAT_EXTENSIBLE. Platform-free; untrusted input
// costs the file, never a read outside it.
#pragma once
#include <stdint.h>

#include "engine/container/byte_source.h"
#include "engine/container/sound_coding.h"

namespace vmedia {

struct WaveInfo {
  SoundCoding coding = SoundCoding::None;  // Pcm, MuLaw or ALaw
  PcmForm pcm;                             // for Pcm
  uint32_t channels = 0;
  uint32_t rate = 0;         // frames a second
  uint32_t blockAlign = 0;   // bytes a frame
  uint64_t dataOffset = 0;   // file offset of the first frame
  uint64_t frames = 0;       // whole frames the data chunk holds within the file
};

// Whether the file starts as a RIFF/WAVE file does.
bool LooksLikeWave(ByteSource& src);

// False when the file is no WAVE file, has no 'fmt ' before its 'data', or
// codes its sound in a way not listed above. A data chunk that runs past
// the end of the file (or says 0 or 0xFFFFFFFF, as writers that stream
// leave it) holds what the file has.
bool ReadWave(ByteSource& src, WaveInfo* out);

}  // namespace vmedia
