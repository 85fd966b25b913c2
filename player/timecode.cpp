#include "player/timecode.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <initializer_list>

#include "player/argument_numbers.h"

namespace {

constexpr size_t kTextLimit = 23;

// Double to int32, truncating toward zero; values out of range (and NaN)
// give the nearest limit instead of undefined behaviour.
int32_t TruncateToInt32(double value) {
  if (!(value > -2147483649.0)) return INT32_MIN;
  if (!(value < 2147483648.0)) return INT32_MAX;
  return static_cast<int32_t>(value);
}

char* FormatTimeCode(int32_t time, int32_t scale, double fps, bool roundUp, char* buffer) {
  // A zero scale never comes from an open movie; read it as no time at all
  // rather than dividing by it.
  int64_t whole = 0;
  int64_t rest = 0;
  if (scale != 0) {
    whole = static_cast<int64_t>(time) / scale;
    rest = static_cast<int64_t>(time) - whole * scale;
  }
  double f = scale != 0 ? static_cast<double>(rest) * fps / static_cast<double>(scale) : 0.0;
  int32_t frames = 0;
  if (isfinite(f)) {
    // The frame rate is itself a quotient (frames over seconds), so a time
    // that falls exactly on a frame can come out a hair below or above it:
    // 8 frames in 0.34 s give 7.999999999999999. Such a value is the whole
    // frame. Times off a frame differ from it by at least one unit of the
    // duration, far more than this.
    double whole = nearbyint(f);
    if (fabs(f - whole) <= 1e-11 * fmax(1.0, fabs(f))) f = whole;
    if (roundUp && trunc(f) < f) f += 1.0;
    frames = TruncateToInt32(f);
  }
  uint32_t seconds = static_cast<uint32_t>(whole);
  snprintf(buffer, 32, "%02u:%02u:%02u.%02d", seconds / 3600, (seconds / 60) % 60, seconds % 60, frames);
  return buffer;
}

}  // namespace

char* TimeToText(int32_t time, int32_t scale, double fps, char* buffer) {
  return FormatTimeCode(time, scale, fps, true, buffer);
}

char* DurationToText(int32_t duration, int32_t scale, double fps, char* buffer) {
  return FormatTimeCode(duration, scale, fps, false, buffer);
}

int32_t TextToTime(int32_t scale, double fps, const char* text) {
  if (!text) return 0;
  char work[kTextLimit + 1];
  size_t length = strnlen(text, kTextLimit);
  memcpy(work, text, length);
  work[length] = 0;

  char* minutes = strchr(work, ':');
  if (!minutes) return 0;
  *minutes++ = 0;
  char* rest = strchr(minutes, ':');
  if (!rest) return 0;
  *rest++ = 0;
  // The frame separator is chosen by priority, not by position.
  char* separator = nullptr;
  for (char candidate : {'.', ';', ':', ','}) {
    separator = strchr(rest, candidate);
    if (separator) break;
  }
  if (!separator) return 0;
  *separator = 0;

  int32_t hours = ReadWholeNumber(work);
  int32_t minuteField = ReadWholeNumber(minutes);
  int32_t secondField = ReadWholeNumber(rest);
  int32_t frameField = ReadWholeNumber(separator + 1);

  // Whole seconds wrap in 32 bits; minutes and seconds above 59 wrap too.
  uint32_t whole = static_cast<uint32_t>(hours) * 3600u + static_cast<uint32_t>(minuteField % 60) * 60u +
                   static_cast<uint32_t>(secondField % 60);
  double seconds = static_cast<double>(static_cast<int32_t>(whole));
  double frames = static_cast<double>(frameField % 100);
  if (frames != 0 && fps > 0) seconds += frames / fps;

  double product = trunc(static_cast<double>(scale) * seconds);
  if (!(product >= -2147483648.0 && product <= 2147483647.0)) return INT32_MIN;
  return static_cast<int32_t>(product);
}
