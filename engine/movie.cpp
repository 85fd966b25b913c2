#include "engine/movie.h"

#include <new>
#include <unordered_set>

#include "engine/codec_frames.h"
#include "engine/codec_sound.h"
#include "engine/mf_sound.h"
#include "engine/open_files.h"
#include "engine/ports.h"
#include "engine/sound.h"
#include "engine/status.h"
#include "engine/timeline_reader.h"
#include "engine/wave_sound.h"

MovieRecord::MovieRecord() : timeBase{this} {}
MovieRecord::~MovieRecord() = default;

namespace vmedia {
namespace {

std::unordered_set<MovieRecord*> movies;

constexpr int16_t kNewMovieActive = 1;

}  // namespace

MovieRecord* FindMovie(Movie movie) { return movie && movies.count(movie) ? movie : nullptr; }

MovieRecord* FindTimeBase(TimeBase timeBase) {
  if (!timeBase) return nullptr;
  MovieRecord* owner = nullptr;
  for (MovieRecord* m : movies)
    if (&m->timeBase == timeBase) owner = m;
  return owner;
}

std::vector<MovieRecord*> AllMovies() { return std::vector<MovieRecord*>(movies.begin(), movies.end()); }

OSErr NewMovieFromRef(Movie* out, int16_t refNum, int16_t flags) {
  if (!out) return paramErr;
  *out = nullptr;
  HANDLE file = nullptr;
  std::wstring path;
  if (!RefFile(refNum, &file, &path)) return rfNumErr;
  auto m = std::unique_ptr<MovieRecord>(new (std::nothrow) MovieRecord);
  if (!m) return memFullErr;
  OSErr err = ReadTimeline(file, path, &m->timeline);
  if (err != noErr) return err;
  const Timeline& tl = m->timeline;
  m->path = path;
  if (tl.hasVideo) m->naturalBox = Rect{0, 0, static_cast<int16_t>(tl.height), static_cast<int16_t>(tl.width)};
  m->box = m->naturalBox;
  m->gworld = CurrentPort();
  m->active = (flags & kNewMovieActive) != 0;
  m->clock.Reset(tl.timeScale, tl.duration);
  movies.insert(m.get());
  *out = m.release();
  return noErr;
}

constexpr int kDecoderStopTimeoutMs = 2000;
constexpr int kMaxDecodersLetGo = 2;

void DisposeMovieRecord(Movie movie) {
  MovieRecord* m = FindMovie(movie);
  if (!m) return;
  movies.erase(m);
  m->sound.reset();  // silent first, whatever the video decoder does
  // A decoder stuck inside the media layer must not hold up the host's
  // thread for ever: it is left to finish on its own, and deletes itself.
  if (m->video && !m->video->Stop(kDecoderStopTimeoutMs)) (void)m->video.release();
  delete m;
}

VideoDecoder* VideoOf(MovieRecord* m) {
  if (!m->timeline.hasVideo) return nullptr;
  if (!m->video) {
    const Timeline& tl = m->timeline;
    PictureShape shape;
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
    m->video = std::make_unique<VideoDecoder>(tl.width, tl.height, [shape, model, samples] {
      if (model) {
        if (std::unique_ptr<FrameReader> own = OpenCodecFrames(shape, model, samples)) return own;
      }
      // Not while decoders stuck in Media Foundation are still out: one
      // bad file would leave one more behind at every Play.
      if (VideoDecodersLetGo() >= kMaxDecodersLetGo) return std::unique_ptr<FrameReader>();
      return OpenMediaFoundationFrames(shape);
    });
  }
  return m->video.get();
}

std::function<std::unique_ptr<SoundSource>()> SoundOpener(MovieRecord* m) {
  std::wstring path = m->path;
  std::shared_ptr<const MovieModel> model = m->timeline.model;
  // Our own decoders where they read the sound; Media Foundation for the
  // rest (MP3 and AVI files, and formats ours cannot decode).
  return [path, model]() -> std::unique_ptr<SoundSource> {
    if (model && model->soundTrack() >= 0 && CodecSounds(model->tracks[size_t(model->soundTrack())])) {
      if (std::unique_ptr<SoundSource> own = OpenCodecSound(model, path)) return own;
    }
    if (std::unique_ptr<SoundSource> wave = OpenWaveSound(path)) return wave;
    return OpenMediaFoundationSound(path);
  };
}

}  // namespace vmedia
