// How Vantoro-Play reads its arguments, apart from the host that holds them
// and the media layer that plays the movie: the display rectangle, the rate
// and the segment. Platform-free.
#pragma once
#include <stdint.h>

#include "media_interface/operations.h"

// Positions in Play's argument text; only the path is required.
enum PlayArgument : int16_t {
  kPlayPath = 1,
  kPlayLoop,
  kPlayRate,
  kPlayStart,
  kPlayEnd,
  kPlayLeft,
  kPlayTop,
  kPlayWidth,
  kPlayHeight
};
constexpr int16_t kPlayArgumentLimit = kPlayHeight;

// The display rectangle from arguments 6 to 9 (left, top, width, height) as
// whole numbers, of which the first count - 5 were given. A side not given
// stays 0; right is left + width and bottom is top + height. Every side
// keeps the low 16 bits of its value, read as a signed number.
Rect DisplayRect(int16_t count, int32_t left, int32_t top, int32_t width, int32_t height);

// An empty display rectangle keeps its left and top and takes the movie's
// own size from movieBox, kept to 16 bits likewise.
Rect MovieSizeAt(const Rect& display, const Rect& movieBox);

// Argument 3: null when not given. Not given or empty is 1, normal speed;
// any other text is read as a real number.
double PlayRate(const char* text);

// What the segment's times are read against.
struct MovieTiming {
  int32_t duration;
  int32_t timeScale;
  double framesPerSecond;
};

// Argument 4, time code text, null when not given (the start). A negative
// time starts at 0. False when the time lies beyond the movie's end.
bool PlayStartTime(const MovieTiming& timing, const char* text, int32_t* start);

// Argument 5, likewise (the end). A time of 0, which is also what empty or
// unreadable text gives, plays to the movie's end. False when the time lies
// beyond the end or is not after start.
bool PlayEndTime(const MovieTiming& timing, const char* text, int32_t start, int32_t* end);
