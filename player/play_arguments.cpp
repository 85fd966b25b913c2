#include "player/play_arguments.h"

#include "player/argument_numbers.h"
#include "player/timecode.h"

namespace {

int16_t Low16(int64_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF)); }

}  // namespace

Rect DisplayRect(int16_t count, int32_t left, int32_t top, int32_t width, int32_t height) {
  Rect display = {0, 0, 0, 0};
  if (count >= kPlayLeft) display.left = Low16(left);
  if (count >= kPlayTop) display.top = Low16(top);
  if (count >= kPlayWidth) display.right = Low16(static_cast<int64_t>(display.left) + width);
  if (count >= kPlayHeight) display.bottom = Low16(static_cast<int64_t>(display.top) + height);
  return display;
}

Rect MovieSizeAt(const Rect& display, const Rect& movieBox) {
  Rect sized = display;
  sized.right = Low16(static_cast<int64_t>(display.left) + (movieBox.right - movieBox.left));
  sized.bottom = Low16(static_cast<int64_t>(display.top) + (movieBox.bottom - movieBox.top));
  return sized;
}

double PlayRate(const char* text) {
  if (!text || text[0] == 0) return 1.0;
  return ReadRealNumber(text);
}

bool PlayStartTime(const MovieTiming& timing, const char* text, int32_t* start) {
  *start = 0;
  if (!text) return true;
  int32_t time = TextToTime(timing.timeScale, timing.framesPerSecond, text);
  if (time < 0) time = 0;
  if (time > timing.duration) return false;
  *start = time;
  return true;
}

bool PlayEndTime(const MovieTiming& timing, const char* text, int32_t start, int32_t* end) {
  *end = timing.duration;
  if (!text) return true;
  int32_t time = TextToTime(timing.timeScale, timing.framesPerSecond, text);
  if (time == 0) return true;
  if (time > timing.duration || time <= start) return false;
  *end = time;
  return true;
}
