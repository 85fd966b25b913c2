#include "engine/audio/sound_player.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/audio/sound_output.h"
#include "engine/audio/sound_requests.h"
#include "engine/audio/source_times.h"
#include "engine/audio/time_stretch.h"
#include "engine/platform/media_foundation.h"

namespace vmedia {
namespace {

// How long the destructor waits for a thread stuck in the media layer
// before leaving it to finish on its own.
constexpr int kStopTimeoutMs = 2000;
// Frames read from the source at a time.
constexpr size_t kReadFrames = 2048;

int GainOf(int16_t volume) { return volume <= 0 ? 0 : std::min<int>(volume, 256); }

void ApplyGain(int16_t* samples, size_t count, int gain) {
  if (gain >= 256) return;
  for (size_t k = 0; k < count; ++k) samples[k] = static_cast<int16_t>(samples[k] * gain / 256);
}

}  // namespace

struct SoundPlayer::Impl {
  Opener open;
  std::mutex m;
  std::condition_variable cv;
  bool quit = false;
  bool exited = false;
  // What the host's thread asks for, and how far the thread has got with it
  // (sound_requests.h).
  SoundRequests requests;
  int16_t volume = 256;

  SoundOutput output;

  void Run();
  void Feed(SoundSource& source);
  // A start's state on the thread: its generation, where its input lies in
  // movie time, and the input read but not yet stretched.
  struct Pass {
    uint32_t generation = 0;
    SourceTimes times;
    std::vector<int16_t> spare; // read but not yet taken by the stretcher
    size_t spareAt = 0;         // frames of spare already taken
    bool atEnd = false;         // the segment (or the sound) is read to its end
    bool flushed = false;
  };
  void Begin(Pass& run, const SoundPlan& plan, SoundSource& source, TimeStretcher& stretch);
  // The next block of output; 0 when the start's sound is over.
  size_t Produce(Pass& run, SoundSource& source, TimeStretcher& stretch, int16_t* out, double* movieStart);
  void ReadMore(Pass& run, SoundSource& source, TimeStretcher& stretch);
  // Queues blocks while the device has room, until the start is over or
  // replaced.
  void Fill(Pass& run, SoundSource& source, TimeStretcher& stretch);
  void SilenceLocked() {
    requests.Silence();
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
  requests.Break();
  exited = true;
  cv.notify_all();
}

void SoundPlayer::Impl::Feed(SoundSource& source) {
  const SoundFormat format = source.Format();
  TimeStretcher stretch(format.channels, format.rate);
  if (!stretch.ok()) return;
  Pass run;
  std::unique_lock<std::mutex> lock(m);
  while (!quit) {
    const SoundRequests::Task task = requests.Next();
    const uint32_t generation = task.generation;
    auto replaced = [&] { return quit || requests.Replaced(generation); };
    switch (task.kind) {
      case SoundRequests::Task::Wait:
        cv.wait(lock, replaced);
        break;
      case SoundRequests::Task::Begin: {
        lock.unlock();
        // Held while the first buffers are queued, primed or not: the device
        // then starts on a full queue when let go, and its count starts
        // when the clock believes it does. Left running, Wine's device
        // starts on the first buffer after a reset, even one that was
        // paused before it.
        output.Reset();
        output.Pause();
        run.generation = generation;
        Begin(run, task.plan, source, stretch);
        Fill(run, source, stretch);
        lock.lock();
        bool startDevice = false;
        if (!requests.Queued(generation, &startDevice)) break;
        if (startDevice) output.Restart();
        cv.notify_all();
        break;
      }
      case SoundRequests::Task::Feed:
        lock.unlock();
        Fill(run, source, stretch);
        lock.lock();
        if (!requests.done()) cv.wait_for(lock, std::chrono::milliseconds(10), replaced);
        break;
    }
  }
}

void SoundPlayer::Impl::Begin(Pass& run, const SoundPlan& plan, SoundSource& source, TimeStretcher& stretch) {
  source.Seek(plan.from);
  stretch.Reset();
  stretch.SetRate(plan.rate);
  run.times.Begin(plan, output.Rate());
  run.spare.clear();
  run.spareAt = 0;
  run.atEnd = false;
  run.flushed = false;
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
    const int64_t toEnd = run.times.FramesToEnd();
    if (toEnd <= 0) {
      if (run.times.WrapAtEnd()) source.Seek(run.times.plan().segmentStart);
      else run.atEnd = true;
      return;
    }
    size_t want = size_t(std::min<int64_t>(toEnd, int64_t(kReadFrames)));
    run.spare.resize(want * channels);
    size_t got = source.Read(run.spare.data(), want);
    if (got == 0) {
      // The sound ends before the segment: silence to its end, so that a
      // loop comes round with the picture.
      if (!run.times.plan().loop) {
        run.spare.clear();
        run.atEnd = true;
        return;
      }
      std::fill(run.spare.begin(), run.spare.end(), int16_t(0));
      got = want;
    }
    run.spare.resize(got * channels);
    run.spareAt = 0;
    run.times.Read(int64_t(got));
  }
  size_t left = run.spare.size() / channels - run.spareAt;
  run.spareAt += stretch.Push(run.spare.data() + run.spareAt * channels, left);
}

size_t SoundPlayer::Impl::Produce(Pass& run, SoundSource& source, TimeStretcher& stretch, int16_t* out,
                                  double* movieStart) {
  const double rate = stretch.rate();
  const size_t channels = size_t(stretch.channels());
  const double input = stretch.InputPosition();
  *movieStart = run.times.HeardAt(input, stretch.HeardOffset());
  // Whole blocks: the device's queue is counted in blocks, so short ones
  // would leave it shallower than it looks.
  size_t got = 0;
  for (int tries = 0; tries < 1024; ++tries) {
    const size_t limit = run.times.BlockRoom(input, rate, output.BlockFrames());
    if (got >= limit) break;
    got += stretch.Pull(out + got * channels, limit - got);
    if (got >= limit || run.flushed) break;
    ReadMore(run, source, stretch);
  }
  return got;
}

void SoundPlayer::Impl::Fill(Pass& run, SoundSource& source, TimeStretcher& stretch) {
  std::vector<int16_t> block(output.BlockFrames() * size_t(source.Format().channels));
  const double step = run.times.Step();
  while (output.CanWrite()) {
    double movieStart = 0;
    size_t got = Produce(run, source, stretch, block.data(), &movieStart);
    std::lock_guard<std::mutex> lock(m);
    if (requests.Replaced(run.generation) || quit) return;
    if (got == 0) {
      requests.Ended();
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
    impl_->requests.Break();
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
  uint32_t mine = 0;
  if (!s.requests.Prime(plan, &mine)) return;
  s.output.Reset();
  s.cv.notify_all();
  s.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.requests.Settled(mine); });
}

void SoundPlayer::Play(const SoundPlan& plan, bool jumped) {
  std::lock_guard<std::mutex> lock(impl_->m);
  Impl& s = *impl_;
  switch (s.requests.Play(plan, jumped)) {
    case SoundRequests::PlayStep::None:
    case SoundRequests::PlayStep::Release:
      break;
    case SoundRequests::PlayStep::ReleaseNow:
      s.output.Restart();
      break;
    case SoundRequests::PlayStep::Silence:
    case SoundRequests::PlayStep::Start:
      s.output.Reset();
      s.cv.notify_all();
      break;
  }
}

void SoundPlayer::SetVolume(int16_t volume) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->volume = volume;
}

SoundState SoundPlayer::Position(double* seconds) {
  std::lock_guard<std::mutex> lock(impl_->m);
  Impl& s = *impl_;
  return s.requests.State([&] { return s.output.HeardTime(seconds); });
}

bool SoundPlayer::DeviceAvailable() { return waveOutGetNumDevs() > 0; }

}  // namespace vmedia
