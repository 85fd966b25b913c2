#include "engine/playback/playback.h"

#include "engine/audio/sound_player.h"
#include "engine/platform/draw.h"
#include "engine/platform/ports.h"
#include "engine/platform/wall_clock.h"
#include "engine/playback/av_sync.h"
#include "engine/playback/sources.h"

namespace vmedia {
namespace {

constexpr int kPrerollTimeoutMs = 10000;
constexpr int kStillTimeoutMs = 10000;
constexpr int kSoundPrimeTimeoutMs = 5000;

// The picture; where a movie with video has none, the window's own
// background, since the player keeps the host from painting the movie's box.
void Show(MovieRecord* m) {
  const Frame& f = m->shown;
  if (f.pixels) DrawPicture(PortWindow(m->gworld), m->box, f.pixels->data(), f.width, f.height);
  else if (m->timeline.hasVideo) DrawBackground(PortWindow(m->gworld), m->box);
}

// No picture where the last one was.
void Blank(MovieRecord* m) {
  if (!m->shown.pixels) return;
  m->shown = Frame();
  Show(m);
}

SoundPlayer* SoundFor(MovieRecord* m, double rate) {
  if (!m->timeline.hasSound || !m->active) return nullptr;
  if (!m->sound && SoundPlaysAt(rate) && SoundPlayer::DeviceAvailable()) {
    m->sound = std::make_unique<SoundPlayer>(SoundOpener(m));
    m->sound->SetVolume(m->volume);
  }
  return m->sound.get();
}

// The picture keeps time by the sound device (av_sync.h and sound_follow.h
// say how). `now` is the wall time the clock was last changed at, so that a
// Play right after a new rate asks for the sound from where the rate was set.
void FollowSound(MovieRecord* m, bool jumped, double now) {
  SoundPlayer* sound = SoundFor(m, m->clock.rate());
  if (!sound) return;
  sound->Play(SoundPlanAt(m->clock, now, m->clock.rate()), jumped);
  double heard = 0;
  const SoundState state = sound->Position(&heard);
  const FollowStep step = FollowReport(m->follow, m->clock, state, heard, now);
  MoveClock(m->clock, step, now);
  if (step.restartSound) sound->Play(SoundPlanAt(m->clock, now, m->clock.rate()), true);
}

// Takes the picture of sample `index` if it is decoded; a decode that
// cannot reach it by going on is sent there.
void TakePicture(MovieRecord* m, FrameQueue* video, int index) {
  Frame frame;
  switch (video->TakeFrame(index, &frame)) {
    case FrameQueue::Take::Got:
      m->shown = std::move(frame);
      Show(m);
      if (int first = LoopRewind(m->clock, m->timeline, m->shown.index); first >= 0) video->SeekTo(first);
      break;
    case FrameQueue::Take::Behind:
      video->SeekTo(index);
      break;
    case FrameQueue::Take::Waiting:
      break;
  }
}

}  // namespace

void TaskMovie(MovieRecord* m) {
  if (!m->active) return;
  FollowSound(m, false, WallSeconds());
  const TimeValue t = ShowTime(m->clock, m->pace, WallSeconds());
  if (FrameQueue* video = VideoOf(m)) {
    const PictureStep step = PictureAt(m->timeline, t, m->shown.index);
    if (step.kind == PictureStep::Blank) Blank(m);
    else if (step.kind == PictureStep::Take) TakePicture(m, video, step.index);
  }
}

bool PrePreroll(MovieRecord* m, TimeValue time, Fixed rate) {
  // Nothing to decode: say so now rather than after the preroll's wait.
  if (m->timeline.mediaMissing) return false;
  if (FrameQueue* video = VideoOf(m)) {
    const int ready = ReadyIndex(m->timeline, time);
    if (ready != m->shown.index) video->SeekTo(ready);
  }
  return true;
}

bool Preroll(MovieRecord* m, TimeValue time, Fixed rate) {
  // The sound is read and queued now, so it starts with the first frame.
  if (SoundPlayer* sound = SoundFor(m, rate / 65536.0)) {
    SoundPlan plan = SoundPlanAt(m->clock, WallSeconds(), rate / 65536.0);
    plan.from = time / static_cast<double>(m->timeline.timeScale);
    sound->Prime(plan, kSoundPrimeTimeoutMs);
  }
  if (FrameQueue* video = VideoOf(m)) {
    const PictureStep step = PictureAt(m->timeline, time, m->shown.index);
    if (step.kind == PictureStep::Blank) {
      Blank(m);
    } else if (step.kind == PictureStep::Take) {
      Frame frame;
      if (!video->WaitFrame(step.index, kPrerollTimeoutMs, &frame)) return false;
      m->shown = std::move(frame);
    }
  }
  return true;
}

void SetRate(MovieRecord* m, Fixed rate) {
  const double now = WallSeconds();
  m->clock.SetRate(rate / 65536.0, now);
  FollowSound(m, false, now);
}

void SetTime(MovieRecord* m, TimeValue time) {
  const double now = WallSeconds();
  m->clock.SetTime(time, now);
  FollowSound(m, true, now);
}

TimeValue CurrentTime(MovieRecord* m) { return m->clock.TimeAt(WallSeconds()); }

bool IsDone(MovieRecord* m) { return m->clock.IsDone(WallSeconds()); }

void Update(MovieRecord* m) {
  if (FrameQueue* video = VideoOf(m)) {
    const PictureStep step = PictureAt(m->timeline, CurrentTime(m), m->shown.index);
    if (step.kind == PictureStep::Blank) {
      Blank(m);
    } else if (step.kind == PictureStep::Take) {
      Frame frame;
      if (video->TakeFrame(step.index, &frame) == FrameQueue::Take::Got) m->shown = std::move(frame);
    }
  }
  Show(m);
}

void SetVolume(MovieRecord* m, int16_t volume) {
  m->volume = volume;
  if (m->sound) m->sound->SetVolume(volume);
}

bool FrameAtTime(MovieRecord* m, TimeValue time, Frame* frame) {
  FrameQueue* video = VideoOf(m);
  if (!video) return false;
  const int due = ShownIndex(m->timeline, time);
  if (due < 0) return false;
  if (m->shown.index == due && m->shown.pixels) {
    *frame = m->shown;
    return true;
  }
  return video->Still(due, kStillTimeoutMs, frame);
}

}  // namespace vmedia
