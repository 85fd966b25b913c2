// A sound source over packets read from a file by offset: decoded by
// FFmpeg's libavcodec, converted by libswresample to the source's format,
// and laid on the movie's time line segment by segment. Movies (their sound
// track's tables) and WAV files (their data chunk) both play through it.
#pragma once
#include <windows.h>

#include <memory>
#include <vector>

#include "engine/platform/codec_library.h"
#include "engine/container/sound_packets.h"
#include "engine/audio/sound_source.h"

namespace vmedia {

// What the decoder is told before it opens.
struct SoundStream {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int channels = 0;       // as stored; decoders of AAC, ALAC, MP3, AC-3 find their own
  int rate = 0;           // frames a second as stored
  int blockAlign = 0;     // bytes a packet, for codings of constant packets
  int bitsPerSample = 0;
  std::vector<uint8_t> config;  // the decoder's extradata
  uint32_t mediaScale = 0;      // media units a second of the packets' times
  uint32_t preroll = 0;         // packets decoded before the one that holds a seek's target
};

// FFmpeg's decoder for a coding; AV_CODEC_ID_NONE for None and PCM forms
// it has none for.
AVCodecID CodecOf(SoundCoding coding, const PcmForm& pcm);

// The frames a second a source plays a stream of `rate` at: its own from
// 8000 to 48000, else the nearer of the two.
int PlayedSampleRate(int rate);

// Takes the file (closes it, also when it answers null) and the walk over
// its packets; `segments` are in movie units of `movieScale`. `keep` holds
// what the walk reads its tables from. Null when the libraries or the
// decoder are missing or the decoder does not open.
std::unique_ptr<SoundSource> OpenPacketSound(HANDLE file, const SoundPackets& packets, SoundStream stream,
                                             const std::vector<SoundSegment>& segments, uint32_t movieScale,
                                             std::shared_ptr<const void> keep);

}  // namespace vmedia
