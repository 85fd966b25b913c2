// Time code text both ways, with any text, scale and frame rate.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "player/timecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 16) return 0;
  int32_t scale;
  int32_t time;
  double fps;
  memcpy(&scale, data, 4);
  memcpy(&time, data + 4, 4);
  memcpy(&fps, data + 8, 8);
  std::string text(reinterpret_cast<const char*>(data + 16), size - 16);

  int32_t t = TextToTime(scale, fps, text.c_str());
  // Only the first 23 characters count.
  if (text.size() > 23 && strlen(text.c_str()) > 23 && t != TextToTime(scale, fps, text.substr(0, 23).c_str())) {
    __builtin_trap();
  }

  char buffer[32];
  memset(buffer, 0x7F, sizeof buffer);
  TimeToText(time, scale, fps, buffer);
  if (!memchr(buffer, 0, sizeof buffer)) __builtin_trap();
  DurationToText(t, scale, fps, buffer);
  if (!memchr(buffer, 0, sizeof buffer)) __builtin_trap();
  return 0;
}
