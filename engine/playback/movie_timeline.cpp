#include "engine/playback/movie_timeline.h"

#include <limits>
#include <utility>

#include "engine/container/hundredth_steps.h"

namespace vmedia {

bool TimelineOfMovie(MovieModel model, Timeline* tl) {
  tl->timeScale = static_cast<int32_t>(model.timeScale);
  tl->duration = static_cast<int32_t>(model.duration);
  tl->width = model.width;
  tl->height = model.height;
  tl->hasVideo = model.hasVideo() && model.width > 0 && model.height > 0;
  if (tl->hasVideo && (model.width > kMaxPictureSide || model.height > kMaxPictureSide ||
                       int64_t(model.width) * model.height > kMaxPicturePixels))
    return false;
  tl->hasSound = model.hasSound();
  // One walk of the edits gives the frames' times, the steps of time code
  // text, and what the decoder shows at each.
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
    tl->fullRangeVideo = JpegCodingOf(track.description) != JpegCoding::None;
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
  return true;
}

bool TimelineOfWave(const WaveInfo& wave, Timeline* tl) {
  const uint32_t most = uint32_t(std::numeric_limits<int32_t>::max());
  if (wave.rate == 0 || wave.rate > most || wave.frames > most) return false;
  tl->timeScale = static_cast<int32_t>(wave.rate);
  tl->duration = static_cast<int32_t>(wave.frames);
  tl->hasSound = wave.frames > 0;
  tl->mediaMissing = wave.frames == 0;
  tl->stepTimes = HundredthSteps(tl->duration, wave.rate);
  return true;
}

}  // namespace vmedia
