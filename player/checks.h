// The checks every property and transport function makes first: the
// argument count, then an open movie.
#pragma once
#include "host/is_error.h"
#include "host/parameters.h"
#include "player/core.h"

inline int16_t RequireArguments(const CallParameters& parameters, int16_t low, int16_t high) {
  int16_t n = CountParameters(parameters);
  if (n < low || n > high) RaiseError(kErrWrongArguments);
  return n;
}

inline Movie RequireMovie() {
  if (!movieSession.movie) RaiseError(kErrNoMovie);
  return movieSession.movie;
}
