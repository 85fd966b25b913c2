#include "engine/playback/sources.h"

#include "engine/audio/codec_sound.h"
#include "engine/audio/format_sound.h"
#include "engine/audio/mf_sound.h"
#include "engine/audio/wave_sound.h"
#include "engine/video/codec_frames.h"
#include "engine/video/format_frames.h"
#include "engine/video/mf_frames.h"

namespace vmedia {
namespace {

constexpr int kMaxDecodersLetGo = 2;

}  // namespace

FrameQueue* VideoOf(MovieRecord* m) {
  if (!m->timeline.hasVideo) return nullptr;
  if (!m->video) {
    const Timeline& tl = m->timeline;
    FrameRequest shape;
    shape.path = m->path;
    shape.times = tl.videoTimes;
    shape.scale = tl.timeScale;
    shape.width = tl.width;
    shape.height = tl.height;
    shape.orientation = tl.orientation;
    shape.fullRangeHint = tl.fullRangeVideo;
    // Our own codecs where they read the track; Media Foundation for the
    // rest, and where ours cannot open it after all.
    std::shared_ptr<const MovieModel> model = tl.model;
    std::shared_ptr<const std::vector<uint32_t>> samples = tl.videoSamples;
    if (model && !CodecDecodes(model->tracks[size_t(model->videoTrack())])) model.reset();
    const FormatStreams format = tl.format;
    m->video = std::make_unique<FrameQueue>(tl.width, tl.height, [shape, model, samples, format] {
      if (model) {
        if (std::unique_ptr<FrameReader> own = OpenCodecFrames(shape, model, samples)) return own;
      }
      if (format.video >= 0) {
        if (std::unique_ptr<FrameReader> own = OpenFormatFrames(shape, format.video, format.origin)) return own;
      }
      // Not while decoders stuck in Media Foundation are still out: one
      // bad file would leave one more behind at every Play.
      if (FrameQueuesLetGo() >= kMaxDecodersLetGo) return std::unique_ptr<FrameReader>();
      return OpenMediaFoundationFrames(shape);
    });
  }
  return m->video.get();
}

std::function<std::unique_ptr<SoundSource>()> SoundOpener(MovieRecord* m) {
  std::wstring path = m->path;
  std::shared_ptr<const MovieModel> model = m->timeline.model;
  const FormatStreams format = m->timeline.format;
  const int32_t scale = m->timeline.timeScale, duration = m->timeline.duration;
  // Our own decoders where they read the sound; Media Foundation for the
  // rest (formats ours cannot decode).
  return [path, model, format, scale, duration]() -> std::unique_ptr<SoundSource> {
    if (model && model->soundTrack() >= 0 && CodecSounds(model->tracks[size_t(model->soundTrack())])) {
      if (std::unique_ptr<SoundSource> own = OpenCodecSound(model, path)) return own;
    }
    if (format.sound >= 0) {
      if (std::unique_ptr<SoundSource> own = OpenFormatSound(path, format.sound, format.origin, scale, duration))
        return own;
    }
    if (std::unique_ptr<SoundSource> wave = OpenWaveSound(path)) return wave;
    return OpenMediaFoundationSound(path);
  };
}

}  // namespace vmedia
