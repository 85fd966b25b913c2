// Video decoding on an engine thread. The thread owns its source readers, so
// a seek can only come between two reads. It decodes ahead into a short
// queue of BGRX pictures; the host's thread takes the one due and never waits
// for it, except when it asks to (preroll, still pictures).
#pragma once
#include <stdint.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/orient.h"

struct IMFSourceReader;

namespace vmedia {

struct Frame {
  int index = -1;  // video sample index in the movie's time line
  int width = 0;
  int height = 0;
  std::shared_ptr<const std::vector<uint8_t>> pixels;  // BGRX, top row first, width*4 per row
};

class VideoDecoder {
 public:
  // `times`: movie times of the video samples, ascending; `scale`: their
  // time scale; width/height: the picture size to deliver, as a viewer sees
  // it; `orientation`: how the decoded pictures are turned to that.
  // `fullRangeHint`: the pictures use codes 0-255 unless the reader says.
  VideoDecoder(std::wstring path, std::vector<int32_t> times, int32_t scale, int width, int height,
               Orientation orientation, bool fullRangeHint);
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

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

  // Asks the thread to end and waits up to timeoutMs for it. False when it
  // is still inside the media layer (a damaged file can keep a reader from
  // ever opening): the thread is then let go, and the decoder must not be
  // destroyed, since the thread still uses it.
  bool Stop(int timeoutMs);

 private:
  struct Reader;
  struct StoredPicture {
    int width = 0, height = 0;  // of the decoded picture, padding cropped
    bool direct = true;         // converted straight into the picture shown
  };
  StoredPicture Stored(const Reader* r) const;
  uint32_t ChooseStream(IMFSourceReader* reader) const;
  void Run();
  void Decode();
  bool OpenReader(Reader* reader);
  bool ReadFrame(Reader* reader, int64_t skipBelow, bool convert, Frame* frame, int64_t* readTime,
                 bool* endOfStream);
  int IndexOf(int64_t readerTime) const;
  bool Position(Reader* reader, int index, Frame* frame, int64_t* time, bool* endOfStream);
  void DoStill(std::unique_ptr<Reader>& reader, int index);
  int64_t TargetTime(int index) const;
  int64_t Tolerance(int index) const;
  void EnsureThread();

  const std::wstring path_;
  const std::vector<int32_t> times_;
  const int32_t scale_;
  const int width_;
  const int height_;
  const Orientation orientation_;
  const bool fullRangeHint_;

  std::mutex m_;
  std::condition_variable cv_;
  std::thread thread_;
  bool quit_ = false;
  bool exited_ = false;        // Run has returned
  bool failed_ = false;
  bool ready_ = false;         // reader open, time offset known
  int64_t offset_ = 0;         // reader time - movie time, 100 ns units
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
};

}  // namespace vmedia
