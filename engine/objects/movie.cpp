#include "engine/objects/movie.h"

#include <new>
#include <unordered_set>

#include "engine/audio/sound_player.h"
#include "engine/objects/open_files.h"
#include "engine/objects/status.h"
#include "engine/objects/timeline_reader.h"
#include "engine/platform/ports.h"

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
  // A movie's box starts as its picture's size, empty for sound alone.
  if (tl.hasVideo) m->box = Rect{0, 0, static_cast<int16_t>(tl.height), static_cast<int16_t>(tl.width)};
  m->gworld = CurrentPort();
  m->active = (flags & kNewMovieActive) != 0;
  m->clock.Reset(tl.timeScale, tl.duration);
  movies.insert(m.get());
  *out = m.release();
  return noErr;
}

constexpr int kDecoderStopTimeoutMs = 2000;

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

}  // namespace vmedia
