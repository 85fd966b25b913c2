#include "engine/playback.h"

#include <algorithm>
#include <cmath>

#include "engine/draw.h"
#include "engine/ports.h"
#include "engine/sound.h"
#include "engine/status.h"

namespace vmedia {
namespace {

constexpr int kPrerollTimeoutMs = 10000;
constexpr int kStillTimeoutMs = 10000;
constexpr int kSoundPrimeTimeoutMs = 5000;
// How long the picture waits for its sound to start before it goes on alone.
constexpr double kSoundWaitSeconds = 1.0;
// A gap (in wall seconds) closed by a jump of the clock or a new start of
// the sound, rather than by running the clock faster or slower.
constexpr double kSoundJumpSeconds = 0.2;
// A gap is closed at this share of it a second, never faster than kMaxTrim.
constexpr double kSoundCatchUpSeconds = 0.5;
constexpr double kMaxTrim = 0.2;
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

// The picture keeps time by the sound device: held while the sound starts,
// run a little faster or slower to close a small gap, moved to the sound at
// once when it is far ahead, held while it is far behind, and the sound
// started again from the picture when it stays far behind for a second
// (the clock never runs backward).
void FollowSound(MovieRecord* m, bool jumped) {
  const double now = WallSeconds();
  SoundPlayer* sound = SoundFor(m, m->clock.rate());
  if (!sound) return;
  sound->Play(PlanOf(m, now, m->clock.rate()), jumped);
  double heard = 0;
  switch (sound->Position(&heard)) {
    case SoundPlayer::Heard::Silent:
      m->soundWaitSince = -1;
      m->clock.SetTrim(1, now);
      return;
    case SoundPlayer::Heard::Starting:
      if (m->soundWaitSince < 0) m->soundWaitSince = now;
      m->clock.SetTrim(now - m->soundWaitSince < kSoundWaitSeconds ? 0 : 1, now);
      return;
    case SoundPlayer::Heard::Playing:
      break;
  }
  const bool started = m->soundWaitSince >= 0;
  m->soundWaitSince = -1;
  const double scale = m->timeline.timeScale;
  double gap = heard - m->clock.ExactTimeAt(now) / scale;
  // Round a loop, the sound may have wrapped before the picture or after.
  const double lap = (m->clock.segmentEnd() - m->clock.segmentStart()) / scale;
  if ((m->clock.flags() & kLoopFlag) && lap > 0) gap -= lap * std::floor(gap / lap + 0.5);
  const double wallGap = gap / std::fabs(m->clock.rate());
  // The clock held while the sound started, and the device's count first
  // shows it a step (10 to 20 ms) in: the picture takes the sound's time at
  // once, where running faster would leave it late for a second.
  const bool behind = wallGap < -kSoundJumpSeconds;
  if (!behind) m->soundBehindSince = -1;
  if (wallGap > kSoundJumpSeconds || (started && gap > 0)) {
    m->clock.SetTime(static_cast<TimeValue>(std::floor(heard * scale)), now);
    m->clock.SetTrim(1, now);
  } else if (behind) {
    // A device that stalls (a busy machine) comes back where it was: the
    // picture waits for it, rather than skip the sound it has not played.
    // One that stays behind starts again from the picture.
    if (m->soundBehindSince < 0) m->soundBehindSince = now;
    if (now - m->soundBehindSince >= kSoundWaitSeconds) {
      sound->Play(PlanOf(m, now, m->clock.rate()), true);
      m->soundBehindSince = -1;
    }
    m->clock.SetTrim(0, now);
  } else {
    m->clock.SetTrim(1 + std::clamp(wallGap / kSoundCatchUpSeconds, -kMaxTrim, kMaxTrim), now);
  }
}

// Once the last frame of a looping segment is up, the decoder goes back to
// the segment's first, so that its picture is ready when the loop comes round
// instead of being sought then.
void DecodeRoundTheLoop(MovieRecord* m, VideoDecoder* video) {
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
          DecodeRoundTheLoop(m, video);
          break;
        case VideoDecoder::Take::Behind:
          video->SeekTo(due);
          break;
        case VideoDecoder::Take::Waiting:
          break;
      }
    }
  }
}

void TaskAllMovies() {
  for (MovieRecord* m : AllMovies()) TaskMovie(m);
}

OSErr PrePreroll(MovieRecord* m, TimeValue time, Fixed rate) {
  // Nothing to decode: say so now rather than after the preroll's wait.
  if (m->timeline.mediaMissing) return codecErr;
  if (VideoDecoder* video = VideoOf(m)) {
    const std::vector<int32_t>& times = m->timeline.videoTimes;
    int due = DueIndex(m, time);
    // Where nothing shows, the frame that shows next is made ready.
    if (due < 0) due = std::max(std::min(IndexAtOrBefore(times, time) + 1, int(times.size()) - 1), 0);
    if (due != m->shown.index) video->SeekTo(due);
  }
  return noErr;
}

OSErr Preroll(MovieRecord* m, TimeValue time, Fixed rate) {
  // The sound is read and queued now, so it starts with the first frame.
  if (SoundPlayer* sound = SoundFor(m, rate / 65536.0)) {
    SoundPlan plan = PlanOf(m, WallSeconds(), rate / 65536.0);
    plan.from = time / static_cast<double>(m->timeline.timeScale);
    sound->Prime(plan, kSoundPrimeTimeoutMs);
  }
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
