// Counting a movie's frames by walking its interesting times.
#include "player/frame_count.h"

uint32_t CountVideoFrames(Movie movie) {
  uint32_t count = 0;
  TimeValue time = 0;
  int16_t flags = nextTimeMediaSample | nextTimeEdgeOK;
  const OSType types[1] = {VideoMediaType};
  for (;;) {
    TimeValue next = -1;
    TimeValue duration = 0;
    GetMovieNextInterestingTime(movie, flags, 1, types, time, 0, &next, &duration);
    if (next < 0) break;
    // A walk that does not move forward would never end.
    if (count > 0 && next <= time) break;
    ++count;
    time = next;
    flags = nextTimeMediaSample;
  }
  if (count == 0) count = CountMovieSteps(movie);
  return count;
}

uint32_t CountMovieSteps(Movie movie) {
  if (!movie) return 0;
  // An engine that cannot answer leaves the box as it was: start it empty.
  Rect box = {0, 0, 0, 0};
  GetMovieBox(movie, &box);
  Rect dot = box;
  dot.bottom = static_cast<int16_t>(box.top + 1);
  dot.right = static_cast<int16_t>(box.left + 1);
  SetMovieBox(movie, &dot);
  MoviesTask(movie, 0);
  SetMovieBox(movie, &box);

  uint32_t count = 0;
  TimeValue time = 0;
  while (time >= 0) {
    TimeValue next = -1;
    GetMovieNextInterestingTime(movie, nextTimeStep, 0, nullptr, time, 0x10000, &next, nullptr);
    // Stop a walk that does not move forward, as the end would.
    if (next >= 0 && next <= time && count > 0) next = -1;
    time = next;
    ++count;
  }
  if (count > 0) --count;
  return count;
}
