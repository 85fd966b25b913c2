#include "engine/video/frame_queue.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "engine/platform/media_foundation.h"

namespace vmedia {
namespace {

constexpr int kMaxAheadFrames = 30;
constexpr size_t kQueueBytes = 48u << 20;

std::atomic<int> decodersLetGo{0};

}  // namespace

FrameQueue::FrameQueue(int width, int height, Opener open) : open_(std::move(open)) {
  size_t frameBytes = static_cast<size_t>(std::max(width, 1)) * std::max(height, 1) * 4;
  maxQueue_ = std::min<size_t>(8, std::max<size_t>(2, kQueueBytes / frameBytes));
}

FrameQueue::~FrameQueue() {
  {
    std::lock_guard<std::mutex> lock(m_);
    Quit();
  }
  if (thread_.joinable()) thread_.join();
}

void FrameQueue::Quit() {
  quit_ = true;
  if (mainReader_) mainReader_->Cancel();
  if (stillReader_) stillReader_->Cancel();
  cv_.notify_all();
}

bool FrameQueue::Stop(int timeoutMs) {
  if (!thread_.joinable()) return true;
  std::unique_lock<std::mutex> lock(m_);
  Quit();
  if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return exited_; })) {
    // The thread deletes the decoder when it comes back, if it ever does.
    thread_.detach();
    letGo_ = true;
    ++decodersLetGo;
    return false;
  }
  lock.unlock();
  thread_.join();
  return true;
}

void FrameQueue::EnsureThread() {
  if (thread_.joinable() || failed_) return;
  try {
    thread_ = std::thread(&FrameQueue::Run, this);
  } catch (...) {
    failed_ = true;
  }
}

void FrameQueue::DoStill(std::unique_ptr<FrameReader>& still, int index) {
  bool ok = false;
  Frame frame;
  if (!still) {
    still = open_();
    std::lock_guard<std::mutex> lock(m_);
    stillReader_ = still.get();
    if (quit_ && still) still->Cancel();
  }
  if (still) {
    bool end = false;
    ok = still->Seek(index, &frame, &end);
  }
  std::lock_guard<std::mutex> lock(m_);
  stillOk_ = ok;
  stillFrame_ = std::move(frame);
  stillDoneSerial_ = stillSerial_;
  stillPending_ = false;
  cv_.notify_all();
}

// Nothing may leave the thread: a failure of any kind ends decoding and
// the movie goes on without pictures.
void FrameQueue::Run() {
  try {
    Decode();
  } catch (...) {
    std::lock_guard<std::mutex> lock(m_);
    failed_ = true;
    stillPending_ = false;
    cv_.notify_all();
  }
  std::unique_lock<std::mutex> lock(m_);
  exited_ = true;
  cv_.notify_all();
  if (!letGo_) return;
  --decodersLetGo;
  lock.unlock();
  delete this;
}

int FrameQueuesLetGo() { return decodersLetGo; }

void FrameQueue::Decode() {
  EnterMediaThread();
  {
    std::unique_ptr<FrameReader> main = open_();
    std::unique_ptr<FrameReader> still;
    bool end = false;
    // Stop must not reach a reader being destroyed, however the loop ends.
    struct Forget {
      FrameQueue* d;
      ~Forget() {
        std::lock_guard<std::mutex> lock(d->m_);
        d->mainReader_ = d->stillReader_ = nullptr;
      }
    } forget{this};
    std::unique_lock<std::mutex> lock(m_);
    mainReader_ = main.get();
    if (!main) {
      failed_ = true;
      cv_.notify_all();
    }
    while (main) {
      cv_.wait(lock, [&] {
        return quit_ || stillPending_ || seekPending_ ||
               (streaming_ && !endOfStream_ && queue_.size() < maxQueue_);
      });
      if (quit_) break;
      if (stillPending_) {
        int index = stillIndex_;
        lock.unlock();
        DoStill(still, index);
        lock.lock();
        continue;
      }
      Frame frame;
      uint32_t generation = generation_;
      bool got;
      if (seekPending_) {
        seekPending_ = false;
        int index = seekIndex_;
        lock.unlock();
        got = main->Seek(index, &frame, &end);
        lock.lock();
      } else {
        lock.unlock();
        got = main->Next(&frame, &end);
        lock.lock();
      }
      if (generation != generation_ || seekPending_) continue;
      if (!got) {
        endOfStream_ = true;
        cv_.notify_all();
        continue;
      }
      if (frame.index <= lastQueued_) continue;
      lastQueued_ = frame.index;
      queue_.push_back(std::move(frame));
      cv_.notify_all();
    }
  }
  LeaveMediaThread();
}

void FrameQueue::SeekTo(int index) {
  {
    std::lock_guard<std::mutex> lock(m_);
    seekPending_ = true;
    streaming_ = true;
    seekIndex_ = index;
    ++generation_;
    queue_.clear();
    lastQueued_ = index - 1;
    endOfStream_ = false;
    EnsureThread();
  }
  cv_.notify_all();
}

FrameQueue::Take FrameQueue::TakeFrame(int index, Frame* frame) {
  std::lock_guard<std::mutex> lock(m_);
  EnsureThread();
  while (!queue_.empty() && queue_.front().index < index) queue_.pop_front();
  if (!queue_.empty()) {
    if (queue_.front().index != index) return Take::Behind;
    *frame = std::move(queue_.front());
    queue_.pop_front();
    cv_.notify_all();
    return Take::Got;
  }
  if (failed_) return Take::Waiting;
  if (!streaming_) return Take::Behind;
  cv_.notify_all();
  if (seekPending_) return index >= seekIndex_ && index <= seekIndex_ + kMaxAheadFrames ? Take::Waiting : Take::Behind;
  if (index <= lastQueued_) return Take::Behind;
  if (endOfStream_) return Take::Waiting;
  return index > lastQueued_ + kMaxAheadFrames ? Take::Behind : Take::Waiting;
}

bool FrameQueue::WaitFrame(int index, int timeoutMs, Frame* frame) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool sought = false;
  while (std::chrono::steady_clock::now() < deadline) {
    Take t = TakeFrame(index, frame);
    if (t == Take::Got) return true;
    std::unique_lock<std::mutex> lock(m_);
    if (t == Take::Behind) {
      // After our own seek, a later picture is the nearest the file has.
      if (sought && !queue_.empty() && queue_.front().index > index) {
        *frame = std::move(queue_.front());
        queue_.pop_front();
        cv_.notify_all();
        return true;
      }
      lock.unlock();
      SeekTo(index);
      sought = true;
      lock.lock();
    }
    if (failed_) return false;
    if (endOfStream_ && queue_.empty() && !seekPending_) return false;
    cv_.wait_until(lock, deadline, [&] { return failed_ || !queue_.empty() || endOfStream_; });
  }
  return false;
}

bool FrameQueue::Still(int index, int timeoutMs, Frame* frame) {
  std::unique_lock<std::mutex> lock(m_);
  EnsureThread();
  if (failed_) return false;
  uint32_t serial = ++stillSerial_;
  stillPending_ = true;
  stillIndex_ = index;
  cv_.notify_all();
  bool done = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return failed_ || stillDoneSerial_ == serial; });
  if (!done || failed_ || !stillOk_) return false;
  *frame = stillFrame_;
  return true;
}

}  // namespace vmedia
