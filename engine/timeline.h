// What the engine knows of a movie's time line once it is opened: its time
// scale, duration, natural size and the movie times at which video samples
// and steps begin. Platform-free.
#pragma once
#include <stdint.h>

#include <memory>
#include <vector>

#include "engine/container/movie_file.h"
#include "engine/orient.h"

namespace vmedia {

// Largest picture the engine decodes: bounds what a file can make it
// allocate for one frame.
constexpr int32_t kMaxPictureSide = 8192;
constexpr int64_t kMaxPicturePixels = 8192 * 4608;

struct Timeline {
  int32_t timeScale = 600;
  int32_t duration = 0;
  int32_t width = 0;                // as a viewer sees it: turned, pixel aspect applied
  int32_t height = 0;
  Orientation orientation;          // how the decoded pictures are to be shown
  bool hasVideo = false;
  bool hasSound = false;
  bool fullRangeVideo = false;      // JPEG-coded pictures: codes 0-255
  // The file lacks the bytes of the samples to show or sound (a moov cut
  // from its media data): the movie cannot be prepared for playing.
  bool mediaMissing = false;
  std::vector<int32_t> videoTimes;  // sorted, movie time of each video sample
  // Sorted: where an edit starts that shows nothing, until the next
  // videoTimes entry.
  std::vector<int32_t> blankTimes;
  std::vector<int32_t> stepTimes;   // sorted, movie time of each step
  // For a movie our own reader parsed: its model, and the decode index of
  // the video sample shown from each videoTimes entry on.
  std::shared_ptr<const MovieModel> model;
  std::shared_ptr<const std::vector<uint32_t>> videoSamples;
};

// Index of the last time in `times` at or before t; -1 if none.
int IndexAtOrBefore(const std::vector<int32_t>& times, int64_t t);
// The videoTimes entry showing at t; -1 where no picture shows (before the
// first frame, and from a blankTimes entry to the next frame).
int ShownIndex(const Timeline& tl, int64_t t);
// Index of the time in `times` nearest to t; -1 if `times` is empty.
int NearestIndex(const std::vector<int32_t>& times, double t);

// The next time in `times` after t (forward) or before t (backward). With
// `edgeOk` a time equal to t counts. Returns -1 when there is none; the
// interval to the following entry (or to `end`) goes to *length.
int32_t NextTime(const std::vector<int32_t>& times, int32_t t, bool backward, bool edgeOk,
                 int32_t end, int32_t* length);

// Evenly spaced sample times for a stream known only by its frame rate.
std::vector<int32_t> UniformTimes(int32_t duration, int32_t timeScale, double framesPerSecond);

}  // namespace vmedia
