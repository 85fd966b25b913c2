#include "engine/objects/timeline_reader.h"

#include <string.h>

#include "engine/container/movie_file.h"
#include "engine/container/wave_file.h"
#include "engine/platform/handle_source.h"
#include "engine/objects/format_timeline.h"
#include "engine/objects/mf_timeline.h"
#include "engine/objects/status.h"

namespace vmedia {
namespace {

bool LooksLikeQuickTime(ByteSource& src) {
  uint8_t head[8];
  if (!src.Read(0, head, sizeof(head))) return false;
  static const char* const kTypes[] = {"ftyp", "styp", "moov", "mdat", "free", "skip", "wide", "pnot", "uuid", "junk"};
  for (const char* t : kTypes)
    if (memcmp(head + 4, t, 4) == 0) return true;
  return false;
}

// A WAV file our own reader reads: its time scale is its frame rate, as
// QuickTime gives a sound file, so every frame has a time of its own.
bool ReadWaveTimeline(ByteSource& src, Timeline* tl) {
  WaveInfo wave;
  if (!ReadWave(src, &wave) || wave.rate == 0 || wave.rate > INT32_MAX || wave.frames > INT32_MAX) return false;
  tl->timeScale = static_cast<int32_t>(wave.rate);
  tl->duration = static_cast<int32_t>(wave.frames);
  tl->hasSound = wave.frames > 0;
  tl->mediaMissing = wave.frames == 0;
  // Steps of a hundredth, as for any movie of sound alone.
  for (int64_t k = 0; k * wave.rate / 100 < wave.frames && k < int64_t(kMaxSteps); ++k)
    tl->stepTimes.push_back(static_cast<int32_t>(k * wave.rate / 100));
  return true;
}

}  // namespace

OSErr ReadTimeline(HANDLE file, const std::wstring& path, Timeline* tl) {
  HandleSource src(file);
  if (src.Size() == 0) return noMovieFound;
  if (LooksLikeQuickTime(src)) {
    MovieModel model;
    ParseStatus status = ParseMovie(src, &model);
    if (status == ParseStatus::Ok) {
      tl->timeScale = static_cast<int32_t>(model.timeScale);
      tl->duration = static_cast<int32_t>(model.duration);
      tl->width = model.width;
      tl->height = model.height;
      tl->hasVideo = model.hasVideo() && model.width > 0 && model.height > 0;
      if (tl->hasVideo && (model.width > kMaxPictureSide || model.height > kMaxPictureSide ||
                           int64_t(model.width) * model.height > kMaxPicturePixels))
        return invalidMovie;
      tl->hasSound = model.hasSound();
      // One walk of the edits gives the frames' times, the steps of time
      // code text, and what the decoder shows at each.
      std::vector<int32_t> times;
      std::vector<uint32_t> samples;
      std::vector<int32_t> blanks;
      VideoSamples(model, &times, &samples, &blanks);
      if (tl->hasVideo) {
        tl->videoTimes = times;
        tl->blankTimes = std::move(blanks);
      }
      if (model.videoTrack() >= 0) {
        const Track& track = model.tracks[size_t(model.videoTrack())];
        static const uint32_t kJpegCodecs[] = {0x6A706567 /* jpeg */, 0x6D6A7061 /* mjpa */, 0x6D6A7062 /* mjpb */,
                                               0x41564454 /* AVDJ */, 0x646D6231 /* dmb1 */};
        for (uint32_t codec : kJpegCodecs) tl->fullRangeVideo = tl->fullRangeVideo || track.codec == codec;
        tl->orientation = Orientation{track.turn, track.mirrored};
        tl->mediaMissing = SampleDataInFile(track) == SampleData::None;
      } else if (tl->hasSound) {
        tl->mediaMissing = SampleDataInFile(model.tracks[size_t(model.soundTrack())]) == SampleData::None;
      }
      if (tl->videoTimes.empty()) tl->hasVideo = false;
      // With video the steps are its frames; without, StepTimes gives the
      // sound's hundredths.
      tl->stepTimes = times.empty() ? StepTimes(model) : std::move(times);
      if (tl->hasVideo) tl->videoSamples = std::make_shared<const std::vector<uint32_t>>(std::move(samples));
      // The decoders of pictures and of sound read their tracks from it.
      if (tl->hasVideo || tl->hasSound) tl->model = std::make_shared<const MovieModel>(std::move(model));
      return noErr;
    }
    // Compressed movie headers may still play through Media Foundation;
    // damaged files are refused here.
    if (status != ParseStatus::NotAMovie && status != ParseStatus::Unsupported) return invalidMovie;
  }
  if (LooksLikeWave(src) && ReadWaveTimeline(src, tl)) return noErr;
  OSErr format = ReadFormatTimeline(path, tl);
  if (format != noMovieFound) return format;
  if (!ProbeWithMediaFoundation(path, tl)) return noMovieFound;
  if (tl->hasVideo && int64_t(tl->width) * tl->height > kMaxPicturePixels) return invalidMovie;
  return noErr;
}

}  // namespace vmedia
