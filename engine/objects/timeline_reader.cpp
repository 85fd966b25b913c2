#include "engine/objects/timeline_reader.h"

#include "engine/container/movie_file.h"
#include "engine/container/top_level_boxes.h"
#include "engine/container/wave_file.h"
#include "engine/platform/handle_source.h"
#include "engine/objects/format_timeline.h"
#include "engine/playback/movie_timeline.h"
#include "engine/objects/mf_timeline.h"
#include "engine/objects/status.h"

namespace vmedia {

OSErr ReadTimeline(HANDLE file, const std::wstring& path, Timeline* tl) {
  HandleSource src(file);
  if (src.Size() == 0) return noMovieFound;
  if (StartsWithKnownBox(src)) {
    MovieModel model;
    ParseStatus status = ParseMovie(src, &model);
    if (status == ParseStatus::Ok) return TimelineOfMovie(std::move(model), tl) ? noErr : invalidMovie;
    // Compressed movie headers may still play through Media Foundation;
    // damaged files are refused here.
    if (status != ParseStatus::NotAMovie && status != ParseStatus::Unsupported) return invalidMovie;
  }
  WaveInfo wave;
  if (LooksLikeWave(src) && ReadWave(src, &wave) && TimelineOfWave(wave, tl)) return noErr;
  OSErr format = ReadFormatTimeline(file, path, tl);
  if (format != noMovieFound) return format;
  if (!ProbeWithMediaFoundation(path, tl)) return noMovieFound;
  if (tl->hasVideo && int64_t(tl->width) * tl->height > kMaxPicturePixels) return invalidMovie;
  return noErr;
}

}  // namespace vmedia
