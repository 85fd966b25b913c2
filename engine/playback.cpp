#include "engine/playback.h"

#include <algorithm>

#include "engine/draw.h"
#include "engine/ports.h"
#include "engine/sound.h"
#include "engine/status.h"

namespace vmedia {
namespace {

constexpr int kPrerollTimeoutMs = 10000;
constexpr int kStillTimeoutMs = 10000;

// The video sample showing at t; -1 before the first one (an empty edit at
// the start, or media that begins late), where no picture shows.
int DueIndex(MovieRecord* m, TimeValue t) { return IndexAtOrBefore(m->timeline.videoTimes, t); }

// No picture: the host paints its own background where the last one was.
void Blank(MovieRecord* m) {
  if (!m->shown.pixels) return;
  m->shown = Frame();
  RECT r = {m->box.left, m->box.top, m->box.right, m->box.bottom};
  if (HWND window = PortWindow(m->gworld)) InvalidateRect(window, &r, TRUE);
}

void Show(MovieRecord* m) {
  const Frame& f = m->shown;
  if (!f.pixels) return;
  DrawPicture(PortWindow(m->gworld), m->box, f.pixels->data(), f.width, f.height);
}

void FollowSound(MovieRecord* m, bool jumped) {
  if (!m->timeline.hasSound || !m->active) return;
  if (!m->sound) {
    if (m->clock.rate() == 0 || !SoundPlayer::DeviceAvailable()) return;
    m->sound = std::make_unique<SoundPlayer>(m->path);
    m->sound->SetVolume(m->volume);
  }
  double seconds = m->clock.TimeAt(WallSeconds()) / static_cast<double>(m->timeline.timeScale);
  m->sound->Follow(seconds, m->clock.rate(), jumped);
}

}  // namespace

void TaskMovie(MovieRecord* m) {
  if (!m->active) return;
  uint32_t wraps = m->clock.wraps();
  TimeValue t = m->clock.TimeAt(WallSeconds());
  if (VideoDecoder* video = VideoOf(m)) {
    int due = DueIndex(m, t);
    if (due < 0) {
      Blank(m);
    } else if (due != m->shown.index) {
      Frame frame;
      switch (video->TakeFrame(due, &frame)) {
        case VideoDecoder::Take::Got:
          m->shown = std::move(frame);
          Show(m);
          break;
        case VideoDecoder::Take::Behind:
          video->SeekTo(due);
          break;
        case VideoDecoder::Take::Waiting:
          break;
      }
    }
  }
  FollowSound(m, wraps != m->clock.wraps());
}

void TaskAllMovies() {
  for (MovieRecord* m : AllMovies()) TaskMovie(m);
}

OSErr PrePreroll(MovieRecord* m, TimeValue time, Fixed rate) {
  // Nothing to decode: say so now rather than after the preroll's wait.
  if (m->timeline.mediaMissing) return codecErr;
  if (VideoDecoder* video = VideoOf(m)) {
    int due = std::max(DueIndex(m, time), 0);
    if (due != m->shown.index) video->SeekTo(due);
  }
  return noErr;
}

OSErr Preroll(MovieRecord* m, TimeValue time, Fixed rate) {
  if (VideoDecoder* video = VideoOf(m)) {
    int due = DueIndex(m, time);
    if (due < 0) {
      Blank(m);
    } else if (due != m->shown.index) {
      Frame frame;
      if (!video->WaitFrame(due, kPrerollTimeoutMs, &frame)) return codecErr;
      m->shown = std::move(frame);
    }
  }
  return noErr;
}

void SetRate(MovieRecord* m, Fixed rate) {
  m->clock.SetRate(rate / 65536.0, WallSeconds());
  FollowSound(m, false);
}

void SetTime(MovieRecord* m, TimeValue time) {
  m->clock.SetTime(time, WallSeconds());
  FollowSound(m, true);
}

TimeValue CurrentTime(MovieRecord* m) { return m->clock.TimeAt(WallSeconds()); }

bool IsDone(MovieRecord* m) { return m->clock.IsDone(WallSeconds()); }

OSErr Update(MovieRecord* m) {
  if (VideoDecoder* video = VideoOf(m)) {
    int due = DueIndex(m, CurrentTime(m));
    if (due < 0) {
      Blank(m);
    } else if (due != m->shown.index) {
      Frame frame;
      if (video->TakeFrame(due, &frame) == VideoDecoder::Take::Got) m->shown = std::move(frame);
    }
  }
  Show(m);
  return noErr;
}

void SetVolume(MovieRecord* m, int16_t volume) {
  m->volume = volume;
  if (m->sound) m->sound->SetVolume(volume);
}

bool FrameAtTime(MovieRecord* m, TimeValue time, Frame* frame) {
  VideoDecoder* video = VideoOf(m);
  if (!video) return false;
  int due = DueIndex(m, time);
  if (due < 0) return false;
  if (m->shown.index == due && m->shown.pixels) {
    *frame = m->shown;
    return true;
  }
  return video->Still(due, kStillTimeoutMs, frame);
}

}  // namespace vmedia
