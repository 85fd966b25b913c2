// The state of one movie that every stage of playing it shares: its time
// line, where it is drawn, its clock, and the decoders it starts when it
// first needs them. The objects layer makes and disposes of it; playback
// reads and moves it.
#pragma once
#include <memory>
#include <string>

#include "engine/playback/av_sync.h"
#include "engine/playback/clock.h"
#include "engine/playback/sound_follow.h"
#include "engine/playback/timeline.h"
#include "engine/video/frame_queue.h"
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
  Rect box = {0, 0, 0, 0};
  CGrafPtr gworld = nullptr;
  bool active = false;
  int16_t volume = 256;
  vmedia::MovieClock clock;
  std::unique_ptr<vmedia::FrameQueue> video;
  std::unique_ptr<vmedia::SoundPlayer> sound;
  vmedia::SoundFollow follow;
  vmedia::TaskPace pace;
  vmedia::Frame shown;  // the picture on screen, index -1 before the first
  // Where the last walk over the video times or the steps stood.
  size_t nextVideoHint = 0, nextStepHint = 0;
};
