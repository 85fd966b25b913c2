// Where the video decoder's thread gets its pictures: one reader of the
// file, positioned by shown index (the index into the time line's video
// sample times). Media Foundation's source reader is one kind; our own
// sample tables fed to a codec library are another.
#pragma once
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/video/orient.h"

namespace vmedia {

struct Frame {
  int index = -1;  // shown index in the movie's time line
  int width = 0;
  int height = 0;
  std::shared_ptr<const std::vector<uint8_t>> pixels;  // BGRX, top row first, width*4 per row
};

// What every reader is told of the pictures to deliver.
struct FrameRequest {
  std::wstring path;
  std::vector<int32_t> times;  // movie times of the shown indices, ascending
  int32_t scale = 600;         // their time scale
  int width = 0, height = 0;   // the picture to deliver, as a viewer sees it
  Orientation orientation;     // how the decoded pictures are turned to that
  bool fullRangeHint = false;  // codes 0-255 unless the stream says
};

class FrameReader {
 public:
  virtual ~FrameReader() = default;
  // Delivers the picture of shown index `index`, or the nearest one the file
  // has, and goes on from there. False on failure or at the end of the
  // stream (*endOfStream then set).
  virtual bool Seek(int index, Frame* frame, bool* endOfStream) = 0;
  // The next picture in display order after the last one delivered.
  virtual bool Next(Frame* frame, bool* endOfStream) = 0;
  // From another thread: a Seek or Next under way, and every one after,
  // gives up (false) at its next chance. A reader that cannot be
  // interrupted ignores it.
  virtual void Cancel() {}
};

}  // namespace vmedia
