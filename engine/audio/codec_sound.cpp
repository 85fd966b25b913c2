#include "engine/audio/codec_sound.h"

#include <math.h>

#include "engine/platform/codec_library.h"
#include "engine/platform/media_file.h"
#include "engine/container/sound_coding.h"
#include "engine/container/sound_packets.h"
#include "engine/audio/packet_sound.h"

namespace vmedia {

namespace {

AVCodecID CodecFor(const SampleDescription& d, SoundCoding* coding, PcmForm* pcm) {
  *coding = CodingOf(d, pcm);
  return CodecOf(*coding, *pcm);
}

}  // namespace

bool CodecSounds(const Track& track) {
  const CodecLibrary* lib = Codecs();
  SoundCoding coding;
  PcmForm pcm;
  return lib && lib->swr_init && lib->avcodec_find_decoder(CodecFor(track.description, &coding, &pcm)) != nullptr;
}

std::unique_ptr<SoundSource> OpenCodecSound(std::shared_ptr<const MovieModel> model, const std::wstring& path) {
  if (!model || model->soundTrack() < 0) return nullptr;
  const Track& track = model->tracks[size_t(model->soundTrack())];
  if (!CodecSounds(track) || SampleDataInFile(track) == SampleData::None) return nullptr;
  const SampleDescription& d = track.description;
  SoundStream stream;
  SoundCoding coding;
  PcmForm pcm;
  stream.codec = CodecFor(d, &coding, &pcm);
  const FrameLayout layout = LayoutOf(d, coding, pcm);
  stream.channels = d.channels <= 64 ? int(d.channels) : 0;
  stream.rate = d.sampleRate >= 1 && d.sampleRate < 1e6 ? int(lround(d.sampleRate)) : int(track.mediaTimeScale);
  // 3GPP entries say two channels; AMR's decoders would read every other
  // frame as a second channel.
  const bool amr = coding == SoundCoding::AmrNb || coding == SoundCoding::AmrWb;
  if (amr) stream.channels = 1;
  if (coding == SoundCoding::Ima4 || coding == SoundCoding::Mace3 || coding == SoundCoding::Mace6)
    stream.blockAlign = int(layout.bytesPerPacket);
  stream.bitsPerSample = coding == SoundCoding::Pcm ? int(pcm.bits) : coding == SoundCoding::Ima4 ? 4 : 0;
  stream.config = d.config;
  stream.mediaScale = track.mediaTimeScale;
  // Lossy decoders overlap each packet with the one before (and MP3 reads
  // back into earlier ones): a seek decodes two first, to be clean.
  // AMR carries its filters' memory from frame to frame the same way.
  if (coding == SoundCoding::Aac || coding == SoundCoding::Mp3 || coding == SoundCoding::Ac3 || amr) stream.preroll = 2;
  // IMA and MACE carry their predictors over from the packet before.
  if (coding == SoundCoding::Ima4 || coding == SoundCoding::Mace3 || coding == SoundCoding::Mace6) stream.preroll = 1;
  std::vector<SoundSegment> segments;
  try {
    segments = SoundSegments(track, *model);
  } catch (...) {
    return nullptr;
  }
  HANDLE file = OpenMediaFile(path);
  const uint32_t movieScale = model->timeScale;
  return OpenPacketSound(file, SoundPackets(track, layout), std::move(stream), segments, movieScale, std::move(model));
}

}  // namespace vmedia
