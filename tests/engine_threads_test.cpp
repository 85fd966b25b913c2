// The engine's own threads when their work is stuck: Stop cancels the video
// decoder's decode, joins the thread and destroys the reader (with its file
// handle) before it returns, rather than letting the thread run on; work
// left behind in the media layer does not pile up.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/video/frame_queue.h"
#include "engine/platform/media_foundation.h"

using namespace vmedia;

namespace {

// Far longer than any of these waits takes on a slow or emulated machine;
// only to keep a broken build from hanging the run.
constexpr int kDeadlineMs = 60000;

struct Seen {
  std::atomic<int> entered{0};  // Seek or Next calls begun
  std::atomic<bool> cancelled{false};
  std::atomic<int> destroyed{0};
};

// A decode that runs until it is cancelled (as one of a damaged stream can
// for a long time).
class StuckReader : public FrameReader {
 public:
  explicit StuckReader(Seen* seen) : seen_(seen) {}
  ~StuckReader() override { ++seen_->destroyed; }
  bool Seek(int, Frame*, bool* endOfStream) override { return Decode(endOfStream); }
  bool Next(Frame*, bool* endOfStream) override { return Decode(endOfStream); }
  void Cancel() override {
    cancelled_ = true;
    seen_->cancelled = true;
  }

 private:
  bool Decode(bool* endOfStream) {
    ++seen_->entered;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (!cancelled_ && std::chrono::steady_clock::now() < deadline) Sleep(1);
    *endOfStream = true;
    return false;
  }

  Seen* seen_;
  std::atomic<bool> cancelled_{false};
};

bool WaitFor(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(1);
  }
  return true;
}

std::unique_ptr<FrameQueue> DecoderOf(Seen* seen) {
  return std::make_unique<FrameQueue>(16, 16, [seen] { return std::make_unique<StuckReader>(seen); });
}

}  // namespace

TEST(FrameQueue, StopCancelsThePlaybackDecodeAndJoins) {
  Seen seen;
  std::unique_ptr<FrameQueue> decoder = DecoderOf(&seen);
  decoder->SeekTo(0);
  ASSERT_TRUE(WaitFor([&] { return seen.entered > 0; }));
  EXPECT_TRUE(decoder->Stop(kDeadlineMs));
  EXPECT_TRUE(seen.cancelled);
  EXPECT_EQ(seen.destroyed, 1) << "the reader is gone when Stop returns";
  decoder.reset();
  EXPECT_EQ(seen.destroyed, 1);
}

// A still picture asked for on the host's thread: Stop from elsewhere ends
// its wait with no picture, and both readers are gone.
TEST(FrameQueue, StopCancelsAStillPictureAndItsWaitEnds) {
  Seen seen;
  std::unique_ptr<FrameQueue> decoder = DecoderOf(&seen);
  std::atomic<int> still{-1};
  std::thread asker([&] {
    Frame frame;
    still = decoder->Still(3, kDeadlineMs, &frame) ? 1 : 0;
  });
  // The still reader is the second one opened; its decode has begun.
  ASSERT_TRUE(WaitFor([&] { return seen.entered > 0; }));
  EXPECT_TRUE(decoder->Stop(kDeadlineMs));
  asker.join();
  EXPECT_EQ(still, 0);
  EXPECT_TRUE(seen.cancelled);
  EXPECT_EQ(seen.destroyed, 2);
}

// Stop before any decode: the thread ends, with its reader.
TEST(FrameQueue, StopWhileIdle) {
  Seen seen;
  std::unique_ptr<FrameQueue> decoder = DecoderOf(&seen);
  Frame frame;
  EXPECT_EQ(decoder->TakeFrame(0, &frame), FrameQueue::Take::Behind) << "no position asked for yet";
  EXPECT_TRUE(decoder->Stop(kDeadlineMs));
  EXPECT_EQ(seen.entered, 0);
  EXPECT_EQ(seen.destroyed, 1);
}

// A read that cannot be cancelled (as Media Foundation's): Stop gives up
// waiting and lets the decoder go; when the read comes back, the thread
// deletes the decoder and its reader, and the count of decoders let go,
// which keeps more from being opened, is back where it was.
TEST(FrameQueue, ADecoderLetGoDeletesItselfWhenItComesBack) {
  struct Deaf : FrameReader {
    Seen* seen;
    std::atomic<bool>* open;
    Deaf(Seen* s, std::atomic<bool>* o) : seen(s), open(o) {}
    ~Deaf() override { ++seen->destroyed; }
    bool Seek(int, Frame*, bool* endOfStream) override {
      ++seen->entered;
      WaitFor([this] { return open->load(); });
      *endOfStream = true;
      return false;
    }
    bool Next(Frame* f, bool* endOfStream) override { return Seek(0, f, endOfStream); }
  };
  Seen seen;
  std::atomic<bool> open{false};
  auto decoder = std::make_unique<FrameQueue>(16, 16, [&] { return std::make_unique<Deaf>(&seen, &open); });
  decoder->SeekTo(0);
  ASSERT_TRUE(WaitFor([&] { return seen.entered > 0; }));
  const int before = FrameQueuesLetGo();
  EXPECT_FALSE(decoder->Stop(1));
  EXPECT_EQ(FrameQueuesLetGo(), before + 1);
  (void)decoder.release();
  EXPECT_EQ(seen.destroyed, 0);
  open = true;
  EXPECT_TRUE(WaitFor([&] { return seen.destroyed == 1 && FrameQueuesLetGo() == before; }));
}

// Work left behind in the media layer on a timeout does not pile up: while
// two such threads are out, more work is refused at once without being
// started; once they come back, work runs again.
TEST(MediaThreads, LeftBehindWorkIsBounded) {
  struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    int running = 0, finished = 0;
  };
  auto gate = std::make_shared<Gate>();
  auto stuck = [gate] {
    std::unique_lock<std::mutex> lock(gate->m);
    ++gate->running;
    gate->cv.notify_all();
    gate->cv.wait(lock, [&] { return gate->open; });
    ++gate->finished;
    gate->cv.notify_all();
  };
  // Each left behind: its caller waits no longer than it said.
  EXPECT_FALSE(RunOnMediaThread(stuck, 1));
  EXPECT_FALSE(RunOnMediaThread(stuck, 1));
  std::atomic<bool> ran{false};
  EXPECT_FALSE(RunOnMediaThread([&ran] { ran = true; }, kDeadlineMs)) << "a third is refused";
  EXPECT_FALSE(ran);
  {
    std::unique_lock<std::mutex> lock(gate->m);
    EXPECT_TRUE(gate->cv.wait_for(lock, std::chrono::milliseconds(kDeadlineMs), [&] { return gate->running == 2; }));
    gate->open = true;
    gate->cv.notify_all();
    EXPECT_TRUE(gate->cv.wait_for(lock, std::chrono::milliseconds(kDeadlineMs), [&] { return gate->finished == 2; }));
  }
  // The two threads count as back once they have left the media layer.
  ASSERT_TRUE(WaitFor([&] { return RunOnMediaThread([&ran] { ran = true; }, kDeadlineMs); }));
  EXPECT_TRUE(ran);
}
