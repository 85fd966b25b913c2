#include "engine/audio/sound_player.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/audio/time_stretch.h"
#include "engine/platform/media_foundation.h"
#include "engine/audio/sound_output.h"

namespace vmedia {
namespace {

// How long the destructor waits for a thread stuck in the media layer
// before leaving it to finish on its own.
constexpr int kStopTimeoutMs = 2000;
// Frames read from the source at a time.
constexpr size_t kReadFrames = 2048;

bool SameButFrom(const SoundPlan& a, const SoundPlan& b) {
  return a.rate == b.rate && a.segmentStart == b.segmentStart && a.segmentEnd == b.segmentEnd && a.loop == b.loop;
}

int GainOf(int16_t volume) { return volume <= 0 ? 0 : std::min<int>(volume, 256); }

void ApplyGain(int16_t* samples, size_t count, int gain) {
  if (gain >= 256) return;
  for (size_t k = 0; k < count; ++k) samples[k] = static_cast<int16_t>(samples[k] * gain / 256);
}

}  // namespace

bool SoundPlaysAt(double rate) { return rate >= kMinStretchRate && rate <= kMaxStretchRate; }

struct SoundPlayer::Impl {
  Opener open;
  std::mutex m;
  std::condition_variable cv;
  bool quit = false;
  bool exited = false;
  bool broken = false;  // no source or no device: silent for good

  // What the host's thread asks for. Each new start bumps `generation`.
  uint32_t generation = 0;
  SoundPlan plan;
  bool playing = false;
  bool held = false;  // primed: queued with the device paused
  int16_t volume = 256;

  // How far the thread has got with the current generation.
  uint32_t ready = 0;  // the generation whose first buffers are queued
  bool done = false;   // everything of `ready` is queued: the sound ends there

  SoundOutput output;

  void Run();
  void Feed(SoundSource& source);
  // A start's state on the thread: the plan, and which movie time each
  // stretch of input frames began at (one piece per pass round a loop).
  struct Pass {
    SoundPlan plan;
    uint32_t generation = 0;
    struct Piece {
      int64_t input;  // input frame the piece begins at
      double movie;   // its movie time
    };
    std::deque<Piece> pieces;
    int64_t read = 0;           // input frames read from the source
    std::vector<int16_t> spare; // read but not yet taken by the stretcher
    size_t spareAt = 0;         // frames of spare already taken
    bool atEnd = false;         // the segment (or the sound) is read to its end
    bool flushed = false;
  };
  void Begin(Pass& run, SoundSource& source, TimeStretcher& stretch);
  // The next block of output; 0 when the start's sound is over.
  size_t Produce(Pass& run, SoundSource& source, TimeStretcher& stretch, int16_t* out, double* movieStart);
  void ReadMore(Pass& run, SoundSource& source, TimeStretcher& stretch);
  // Queues blocks while the device has room; false when the start is over
  // or replaced.
  void Fill(Pass& run, SoundSource& source, TimeStretcher& stretch);
  double MovieAt(Pass& run, double input) const;
  // Next input frame's movie time.
  double NextMovieTime(const Pass& run) const {
    const Pass::Piece& p = run.pieces.back();
    return p.movie + double(run.read - p.input) / output.Rate();
  }
  void SilenceLocked() {
    playing = false;
    held = false;
    ++generation;
    output.Reset();
    cv.notify_all();
  }
};

void SoundPlayer::Impl::Run() {
  // Light work that must never wait behind decoding: a late block is heard.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  EnterMediaThread();
  try {
    std::unique_ptr<SoundSource> source = open();
    if (source && output.Open(source->Format())) Feed(*source);
  } catch (...) {
    // Out of memory and the like: the movie goes on silent.
  }
  output.Reset();
  LeaveMediaThread();
  std::lock_guard<std::mutex> lock(m);
  broken = true;
  exited = true;
  cv.notify_all();
}

void SoundPlayer::Impl::Feed(SoundSource& source) {
  const SoundFormat format = source.Format();
  TimeStretcher stretch(format.channels, format.rate);
  if (!stretch.ok()) return;
  Pass run;
  std::unique_lock<std::mutex> lock(m);
  uint32_t seen = generation - 1;
  while (!quit) {
    if (generation != seen) {
      seen = generation;
      if (!playing) {
        ready = seen;
        continue;
      }
      run.plan = plan;
      run.generation = seen;
      bool hold = held;
      lock.unlock();
      output.Reset();
      if (hold) output.Pause();
      Begin(run, source, stretch);
      Fill(run, source, stretch);
      lock.lock();
      if (generation != seen) continue;
      ready = seen;
      if (!held) output.Restart();
      cv.notify_all();
      continue;
    }
    if (!playing || done) {
      cv.wait(lock, [&] { return quit || generation != seen; });
      continue;
    }
    lock.unlock();
    Fill(run, source, stretch);
    lock.lock();
    if (generation == seen && done) continue;
    cv.wait_for(lock, std::chrono::milliseconds(10), [&] { return quit || generation != seen; });
  }
}

void SoundPlayer::Impl::Begin(Pass& run, SoundSource& source, TimeStretcher& stretch) {
  source.Seek(run.plan.from);
  stretch.Reset();
  stretch.SetRate(run.plan.rate);
  run.pieces.assign(1, Pass::Piece{0, run.plan.from});
  run.read = 0;
  run.spare.clear();
  run.spareAt = 0;
  run.atEnd = false;
  run.flushed = false;
}

double SoundPlayer::Impl::MovieAt(Pass& run, double input) const {
  while (run.pieces.size() > 1 && run.pieces[1].input <= input) run.pieces.pop_front();
  const Pass::Piece& p = run.pieces.front();
  return p.movie + (input - double(p.input)) / output.Rate();
}

void SoundPlayer::Impl::ReadMore(Pass& run, SoundSource& source, TimeStretcher& stretch) {
  const SoundFormat format = source.Format();
  const size_t channels = size_t(format.channels);
  if (run.spareAt * channels >= run.spare.size()) {
    if (run.atEnd) {
      stretch.Flush();
      run.flushed = true;
      return;
    }
    const SoundPlan& p = run.plan;
    int64_t toEnd = int64_t(std::floor((p.segmentEnd - NextMovieTime(run)) * format.rate + 1e-6));
    if (toEnd <= 0) {
      if (p.loop && p.segmentEnd > p.segmentStart) {
        source.Seek(p.segmentStart);
        run.pieces.push_back(Pass::Piece{run.read, p.segmentStart});
      } else {
        run.atEnd = true;
      }
      return;
    }
    size_t want = size_t(std::min<int64_t>(toEnd, int64_t(kReadFrames)));
    run.spare.resize(want * channels);
    size_t got = source.Read(run.spare.data(), want);
    if (got == 0) {
      // The sound ends before the segment: silence to its end, so that a
      // loop comes round with the picture.
      if (!p.loop) {
        run.spare.clear();
        run.atEnd = true;
        return;
      }
      std::fill(run.spare.begin(), run.spare.end(), int16_t(0));
      got = want;
    }
    run.spare.resize(got * channels);
    run.spareAt = 0;
    run.read += int64_t(got);
  }
  size_t left = run.spare.size() / channels - run.spareAt;
  run.spareAt += stretch.Push(run.spare.data() + run.spareAt * channels, left);
}

size_t SoundPlayer::Impl::Produce(Pass& run, SoundSource& source, TimeStretcher& stretch, int16_t* out,
                                  double* movieStart) {
  const double rate = stretch.rate();
  const size_t channels = size_t(stretch.channels());
  const double input = stretch.InputPosition();
  // The piece is chosen by the input time; what is heard lies a little off it.
  *movieStart = MovieAt(run, input) + stretch.HeardOffset() / output.Rate();
  // Whole blocks: the device's queue is counted in blocks, so short ones
  // would leave it shallower than it looks. A block never straddles a
  // loop's wrap, so that its frames map to one piece.
  auto room = [&] {
    size_t limit = output.BlockFrames();
    if (run.pieces.size() > 1) {
      double toWrap = (double(run.pieces[1].input) - input) / rate;
      if (toWrap >= 1) limit = std::min(limit, size_t(toWrap));
    }
    return limit;
  };
  size_t got = 0;
  for (int tries = 0; tries < 1024; ++tries) {
    const size_t limit = room();
    if (got >= limit) break;
    got += stretch.Pull(out + got * channels, limit - got);
    if (got >= limit || run.flushed) break;
    ReadMore(run, source, stretch);
  }
  return got;
}

void SoundPlayer::Impl::Fill(Pass& run, SoundSource& source, TimeStretcher& stretch) {
  std::vector<int16_t> block(output.BlockFrames() * size_t(source.Format().channels));
  const double step = run.plan.rate / output.Rate();
  while (output.CanWrite()) {
    double movieStart = 0;
    size_t got = Produce(run, source, stretch, block.data(), &movieStart);
    std::lock_guard<std::mutex> lock(m);
    if (generation != run.generation || quit) return;
    if (got == 0) {
      done = true;
      return;
    }
    ApplyGain(block.data(), got * size_t(source.Format().channels), GainOf(volume));
    output.Write(block.data(), got, movieStart, step);
  }
}

SoundPlayer::SoundPlayer(Opener open) : impl_(std::make_shared<Impl>()) {
  impl_->open = std::move(open);
  try {
    std::shared_ptr<Impl> impl = impl_;
    std::thread([impl] { impl->Run(); }).detach();
  } catch (...) {
    impl_->broken = true;
    impl_->exited = true;
  }
}

SoundPlayer::~SoundPlayer() {
  std::unique_lock<std::mutex> lock(impl_->m);
  impl_->quit = true;
  impl_->SilenceLocked();
  // The thread holds its own reference: one stuck in the media layer is let go.
  impl_->cv.wait_for(lock, std::chrono::milliseconds(kStopTimeoutMs), [&] { return impl_->exited; });
}

void SoundPlayer::Prime(const SoundPlan& plan, int timeoutMs) {
  std::unique_lock<std::mutex> lock(impl_->m);
  Impl& s = *impl_;
  if (s.broken || !SoundPlaysAt(plan.rate)) return;
  s.output.Reset();
  s.plan = plan;
  s.playing = true;
  s.held = true;
  s.done = false;
  uint32_t mine = ++s.generation;
  s.cv.notify_all();
  s.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                [&] { return s.broken || s.ready == mine || s.generation != mine; });
}

void SoundPlayer::Play(const SoundPlan& plan, bool jumped) {
  std::lock_guard<std::mutex> lock(impl_->m);
  Impl& s = *impl_;
  if (s.broken) return;
  if (!SoundPlaysAt(plan.rate)) {
    if (s.playing) s.SilenceLocked();
    return;
  }
  if (s.playing && s.held && SameButFrom(plan, s.plan) && plan.from == s.plan.from && !jumped) {
    s.held = false;
    // Not yet queued: the thread starts the device once it is.
    if (s.ready == s.generation) s.output.Restart();
    return;
  }
  if (s.playing && !s.held && !jumped && SameButFrom(plan, s.plan)) return;
  s.output.Reset();
  s.plan = plan;
  s.playing = true;
  s.held = false;
  s.done = false;
  ++s.generation;
  s.cv.notify_all();
}

void SoundPlayer::SetVolume(int16_t volume) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->volume = volume;
}

SoundPlayer::Heard SoundPlayer::Position(double* seconds) {
  std::lock_guard<std::mutex> lock(impl_->m);
  Impl& s = *impl_;
  if (s.broken || !s.playing) return Heard::Silent;
  if (s.held || s.ready != s.generation) return Heard::Starting;
  switch (s.output.HeardTime(seconds)) {
    case DeviceState::Playing:
      return Heard::Playing;
    case DeviceState::Waiting:
      return Heard::Starting;
    case DeviceState::Empty:
    case DeviceState::Drained:
      break;
  }
  // Played out: the sound has ended, or the device starves and the clock
  // waits for it.
  return s.done ? Heard::Silent : Heard::Starting;
}

bool SoundPlayer::DeviceAvailable() { return waveOutGetNumDevs() > 0; }

}  // namespace vmedia
