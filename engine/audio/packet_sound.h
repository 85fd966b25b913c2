// A sound source over packets read from a file by offset: decoded by
// FFmpeg's libavcodec, converted by libswresample to the source's format,
// and laid on the movie's time line segment by segment. Movies (their sound
// track's tables), WAV files (their data chunk) and libavformat's packets
// all play through it.
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
  // When set, all the decoder is told (the fields above but mediaScale
  // and preroll are then not used); it must outlive the source's opening.
  const AVCodecParameters* parameters = nullptr;
};

// Where a source's packets come from, in decode order.
class PacketFeed {
 public:
  virtual ~PacketFeed() = default;
  // The next packet given holds media time `time` (the first one when
  // `time` precedes them all), or comes `preroll` packets before it.
  virtual void Seek(int64_t time, uint32_t preroll) = 0;
  // The next packet: its bytes in (*bytes)[0, *size) followed by
  // AV_INPUT_BUFFER_PADDING_SIZE zero bytes, and the media time of its
  // first frame (AV_NOPTS_VALUE when unknown). False at the end.
  virtual bool Next(std::vector<uint8_t>* bytes, uint32_t* size, int64_t* time) = 0;
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

// The same over any feed. Null as above, or when `feed` is.
std::unique_ptr<SoundSource> OpenFeedSound(std::unique_ptr<PacketFeed> feed, SoundStream stream,
                                           const std::vector<SoundSegment>& segments, uint32_t movieScale);

}  // namespace vmedia
