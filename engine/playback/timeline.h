// What the engine knows of a movie's time line once it is opened: its time
// scale, duration, natural size and the movie times at which video samples
// and steps begin. Platform-free.
#pragma once
#include <stdint.h>

#include <memory>
#include <vector>

#include "engine/container/movie_file.h"
#include "engine/video/orient.h"
#include "engine/video/picture_limits.h"
#include "engine/video/sample_times.h"

namespace vmedia {

// For a movie libavformat reads: the streams played (-1: none), and the
// time of the streams' own clock, in microseconds, that is movie time 0.
struct FormatStreams {
  int video = -1;
  int sound = -1;
  int64_t origin = 0;
  bool used() const { return video >= 0 || sound >= 0; }
};

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
  FormatStreams format;
};

// The videoTimes entry showing at t; -1 where no picture shows (before the
// first frame, and from a blankTimes entry to the next frame).
int ShownIndex(const Timeline& tl, int64_t t);
}  // namespace vmedia
