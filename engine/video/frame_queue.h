// Video decoding on an engine thread. The thread owns its source readers, so
// a seek can only come between two reads. It decodes ahead into a short
// queue of BGRX pictures; the host's thread takes the one due and never waits
// for it, except when it asks to (preroll, still pictures).
#pragma once
#include <stdint.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/video/frame_reader.h"

namespace vmedia {

// Decoders let go by Stop whose threads have not come back: each holds a
// file and a reader stuck in the media layer.
int FrameQueuesLetGo();

class FrameQueue {
 public:
  // Makes a reader of the file, on the decoder's thread; null when the file
  // cannot be read that way. Called once for playback and once more for
  // still pictures. width and height size the queue.
  using Opener = std::function<std::unique_ptr<FrameReader>()>;
  FrameQueue(int width, int height, Opener open);
  ~FrameQueue();
  FrameQueue(const FrameQueue&) = delete;
  FrameQueue& operator=(const FrameQueue&) = delete;

  // Starts the thread (once) and makes the decode go on from sample `index`;
  // queued pictures are dropped.
  void SeekTo(int index);

  enum class Take { Got, Waiting, Behind };
  // Takes the picture of sample `index` if it is queued, dropping the older
  // ones. Behind: the decode cannot reach it by going on (a seek is needed).
  Take TakeFrame(int index, Frame* frame);
  // As TakeFrame, waiting up to timeoutMs.
  bool WaitFrame(int index, int timeoutMs, Frame* frame);
  // Decodes the picture of sample `index` on a reader of its own, leaving
  // the playback decode where it is. Waits up to timeoutMs.
  bool Still(int index, int timeoutMs, Frame* frame);

  // Asks the thread to end, cancelling the decode under way, and waits up
  // to timeoutMs for it. False when it is still inside the media layer (a
  // damaged file can keep a reader from ever opening, and Media Foundation's
  // reads cannot be cancelled): the thread is then let go, and the caller
  // must give the decoder up without destroying it: the thread deletes it
  // when it comes back.
  bool Stop(int timeoutMs);

 private:
  void Run();
  void Decode();
  void DoStill(std::unique_ptr<FrameReader>& reader, int index);
  void EnsureThread();
  // With m_ held: the thread is to end, and its decode under way with it.
  void Quit();

  const Opener open_;

  std::mutex m_;
  std::condition_variable cv_;
  std::thread thread_;
  bool quit_ = false;
  bool exited_ = false;        // Run has returned
  bool letGo_ = false;         // Stop gave up waiting: the thread owns the decoder
  bool failed_ = false;
  bool streaming_ = false;     // decode ahead once playback asked for a position
  bool seekPending_ = false;
  int seekIndex_ = 0;
  uint32_t generation_ = 0;
  int lastQueued_ = -1;        // last index queued (or the seek target - 1)
  bool endOfStream_ = false;
  std::deque<Frame> queue_;
  size_t maxQueue_ = 4;
  bool stillPending_ = false;
  int stillIndex_ = 0;
  uint32_t stillSerial_ = 0;
  uint32_t stillDoneSerial_ = 0;
  bool stillOk_ = false;
  Frame stillFrame_;
  // The thread's readers while it has them, for Stop to cancel.
  FrameReader* mainReader_ = nullptr;
  FrameReader* stillReader_ = nullptr;
};

}  // namespace vmedia
