#include "engine/audio/wave_sound.h"

#include "engine/container/wave_file.h"
#include "engine/platform/handle_source.h"
#include "engine/platform/media_file.h"
#include "engine/audio/packet_sound.h"

namespace vmedia {

std::unique_ptr<SoundSource> OpenWaveSound(const std::wstring& path) {
  HANDLE file = OpenMediaFile(path);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  WaveInfo wave;
  HandleSource source(file);
  if (!ReadWave(source, &wave) || wave.frames == 0) {
    CloseHandle(file);
    return nullptr;
  }
  SoundStream stream;
  stream.codec = CodecOf(wave.coding, wave.pcm);
  stream.channels = int(wave.channels);
  stream.rate = int(wave.rate);
  stream.blockAlign = int(wave.blockAlign);
  stream.bitsPerSample = wave.coding == SoundCoding::Pcm ? int(wave.pcm.bits) : 8;
  stream.mediaScale = wave.rate;
  const SoundPackets packets(wave.dataOffset, wave.frames, FrameLayout{1, wave.blockAlign});
  const std::vector<SoundSegment> whole = {SoundSegment{0, int64_t(wave.frames), 0}};
  return OpenPacketSound(file, packets, std::move(stream), whole, wave.rate, nullptr);
}

}  // namespace vmedia
