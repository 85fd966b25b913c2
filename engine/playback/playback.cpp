#include "engine/playback/playback.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/sound_player.h"
#include "engine/platform/draw.h"
#include "engine/platform/ports.h"
#include "engine/platform/wall_clock.h"
#include "engine/playback/sound_follow.h"
#include "engine/playback/sources.h"

namespace vmedia {
namespace {

constexpr int kPrerollTimeoutMs = 10000;
constexpr int kStillTimeoutMs = 10000;
constexpr int kSoundPrimeTimeoutMs = 5000;
// At most this much (wall time) early for a picture.
constexpr double kMaxShowAheadSeconds = 0.010;

// The video sample showing at t; -1 where no picture shows: before the
// first one, and in an empty edit.
int DueIndex(MovieRecord* m, TimeValue t) { return ShownIndex(m->timeline, t); }

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

// What the sound is to play, from the clock as it stands.
SoundPlan PlanOf(MovieRecord* m, double now, double rate) {
  const double scale = m->timeline.timeScale;
  SoundPlan p;
  p.from = m->clock.ExactTimeAt(now) / scale;
  p.rate = rate;
  p.segmentStart = m->clock.segmentStart() / scale;
  p.segmentEnd = m->clock.segmentEnd() / scale;
  // A palindrome's sound plays forward only: silent on the way back.
  p.loop = (m->clock.flags() & kLoopFlag) && !(m->clock.flags() & kPalindromeFlag);
  return p;
}

SoundPlayer* SoundFor(MovieRecord* m, double rate) {
  if (!m->timeline.hasSound || !m->active) return nullptr;
  if (!m->sound && SoundPlaysAt(rate) && SoundPlayer::DeviceAvailable()) {
    m->sound = std::make_unique<SoundPlayer>(SoundOpener(m));
    m->sound->SetVolume(m->volume);
  }
  return m->sound.get();
}

// The picture keeps time by the sound device (sound_follow.h says how).
void FollowSound(MovieRecord* m, bool jumped) {
  const double now = WallSeconds();
  SoundPlayer* sound = SoundFor(m, m->clock.rate());
  if (!sound) return;
  sound->Play(PlanOf(m, now, m->clock.rate()), jumped);
  double heard = 0;
  FollowStep step;
  const double scale = m->timeline.timeScale;
  switch (sound->Position(&heard)) {
    case SoundState::Silent:
      step = FollowSilence(m->follow);
      break;
    case SoundState::Starting:
      step = FollowStarting(m->follow, now);
      break;
    case SoundState::Playing: {
      // Round a loop, the sound may have wrapped before the picture or after.
      const bool loops = m->clock.flags() & kLoopFlag;
      const double lap = loops ? (m->clock.segmentEnd() - m->clock.segmentStart()) / scale : 0;
      step = FollowHeard(m->follow, heard, m->clock.ExactTimeAt(now) / scale, m->clock.rate(), lap, now);
      break;
    }
  }
  if (step.jump) m->clock.SetTime(static_cast<TimeValue>(std::floor(step.to * scale)), now);
  if (step.restartSound) sound->Play(PlanOf(m, now, m->clock.rate()), true);
  m->clock.SetTrim(step.trim, now);
}

// Once the last frame of a looping segment is up, the decoder goes back to
// the segment's first, so that its picture is ready when the loop comes round
// instead of being sought then.
void DecodeRoundTheLoop(MovieRecord* m, FrameQueue* video) {
  const int32_t flags = m->clock.flags();
  if (m->clock.rate() <= 0 || !(flags & kLoopFlag) || (flags & kPalindromeFlag)) return;
  if (m->clock.segmentEnd() <= m->clock.segmentStart()) return;
  const int first = DueIndex(m, m->clock.segmentStart());
  const int last = DueIndex(m, m->clock.segmentEnd() - 1);
  if (first >= 0 && first != last && m->shown.index == last) video->SeekTo(first);
}

// The movie time whose picture to draw now: a little ahead while playing,
// so that a frame goes up at the task nearest its time rather than the
// first one after it (the host's timer comes every 20 ms, a frame every 40
// at 25 a second). Never past the segment.
TimeValue ShowTime(MovieRecord* m, double now) {
  if (m->lastTask >= 0) {
    double since = now - m->lastTask;
    if (since >= 0 && since < 0.1) m->taskInterval = m->taskInterval > 0 ? 0.9 * m->taskInterval + 0.1 * since : since;
  }
  m->lastTask = now;
  TimeValue t = m->clock.TimeAt(now);
  const double rate = m->clock.rate() * m->clock.trim();
  if (rate == 0) return t;
  double ahead = std::min(m->taskInterval / 2, kMaxShowAheadSeconds) * rate * m->timeline.timeScale;
  const double start = m->clock.segmentStart(), end = m->clock.segmentEnd();
  // A looping segment's first frame goes up by the same rule as the rest,
  // at the task nearest the wrap, not at the first one after it.
  const int32_t flags = m->clock.flags();
  if (rate > 0 && (flags & kLoopFlag) && !(flags & kPalindromeFlag) && end > start && t + ahead >= end)
    return static_cast<TimeValue>(std::floor(std::min(start + (t + ahead - end), end - 1)));
  // Not std::clamp: a segment of no length has its last unit before its start.
  double shown = std::max(std::min(t + ahead, end - 1), start);
  return static_cast<TimeValue>(std::floor(shown));
}

}  // namespace

void TaskMovie(MovieRecord* m) {
  if (!m->active) return;
  FollowSound(m, false);
  TimeValue t = ShowTime(m, WallSeconds());
  if (FrameQueue* video = VideoOf(m)) {
    int due = DueIndex(m, t);
    if (due < 0) {
      Blank(m);
    } else if (due != m->shown.index) {
      Frame frame;
      switch (video->TakeFrame(due, &frame)) {
        case FrameQueue::Take::Got:
          m->shown = std::move(frame);
          Show(m);
          DecodeRoundTheLoop(m, video);
          break;
        case FrameQueue::Take::Behind:
          video->SeekTo(due);
          break;
        case FrameQueue::Take::Waiting:
          break;
      }
    }
  }
}

bool PrePreroll(MovieRecord* m, TimeValue time, Fixed rate) {
  // Nothing to decode: say so now rather than after the preroll's wait.
  if (m->timeline.mediaMissing) return false;
  if (FrameQueue* video = VideoOf(m)) {
    const std::vector<int32_t>& times = m->timeline.videoTimes;
    int due = DueIndex(m, time);
    // Where nothing shows, the frame that shows next is made ready.
    if (due < 0) due = std::max(std::min(IndexAtOrBefore(times, time) + 1, int(times.size()) - 1), 0);
    if (due != m->shown.index) video->SeekTo(due);
  }
  return true;
}

bool Preroll(MovieRecord* m, TimeValue time, Fixed rate) {
  // The sound is read and queued now, so it starts with the first frame.
  if (SoundPlayer* sound = SoundFor(m, rate / 65536.0)) {
    SoundPlan plan = PlanOf(m, WallSeconds(), rate / 65536.0);
    plan.from = time / static_cast<double>(m->timeline.timeScale);
    sound->Prime(plan, kSoundPrimeTimeoutMs);
  }
  if (FrameQueue* video = VideoOf(m)) {
    int due = DueIndex(m, time);
    if (due < 0) {
      Blank(m);
    } else if (due != m->shown.index) {
      Frame frame;
      if (!video->WaitFrame(due, kPrerollTimeoutMs, &frame)) return false;
      m->shown = std::move(frame);
    }
  }
  return true;
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

void Update(MovieRecord* m) {
  if (FrameQueue* video = VideoOf(m)) {
    int due = DueIndex(m, CurrentTime(m));
    if (due < 0) {
      Blank(m);
    } else if (due != m->shown.index) {
      Frame frame;
      if (video->TakeFrame(due, &frame) == FrameQueue::Take::Got) m->shown = std::move(frame);
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
  int due = DueIndex(m, time);
  if (due < 0) return false;
  if (m->shown.index == due && m->shown.pixels) {
    *frame = m->shown;
    return true;
  }
  return video->Still(due, kStillTimeoutMs, frame);
}

}  // namespace vmedia
