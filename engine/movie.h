// The movie object behind a Movie reference: its time line, boxes, port,
// clock, and the decoders it starts when it first needs them.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/decoder.h"
#include "engine/sound_follow.h"
#include "engine/sound_source.h"
#include "engine/timeline.h"
#include "engine/wall_clock.h"
#include "media_interface/operations.h"

namespace vmedia {
class SoundPlayer;
}

struct TimeBaseRecord {
  MovieRecord* movie;
};

struct MovieRecord {
  MovieRecord();
  ~MovieRecord();

  TimeBaseRecord timeBase;
  std::wstring path;
  vmedia::Timeline timeline;
  Rect naturalBox = {0, 0, 0, 0};
  Rect box = {0, 0, 0, 0};
  CGrafPtr gworld = nullptr;
  bool active = false;
  int32_t playHints = 0;
  int16_t volume = 256;
  vmedia::MovieClock clock;
  std::unique_ptr<vmedia::VideoDecoder> video;
  std::unique_ptr<vmedia::SoundPlayer> sound;
  vmedia::SoundFollow follow;
  double lastTask = -1;  // wall time of the last task, and the mean time between tasks
  double taskInterval = 0;
  vmedia::Frame shown;  // the picture on screen, index -1 before the first
};

namespace vmedia {

// Null for anything that is not a live movie or its time base.
MovieRecord* FindMovie(Movie movie);
MovieRecord* FindTimeBase(TimeBase timeBase);
std::vector<MovieRecord*> AllMovies();

OSErr NewMovieFromRef(Movie* movie, int16_t refNum, int16_t flags);
void DisposeMovieRecord(Movie movie);

// The video decoder, made at its first use; null for a movie without video.
VideoDecoder* VideoOf(MovieRecord* m);
// What opens the movie's sound on the sound player's thread.
std::function<std::unique_ptr<SoundSource>()> SoundOpener(MovieRecord* m);

}  // namespace vmedia
