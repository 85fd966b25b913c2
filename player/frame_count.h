// Counting a movie's frames, from which its frame rate is derived.
#pragma once
#include <stdint.h>

#include "media_interface/operations.h"

// Video sample count, or the step count for a movie without video samples.
uint32_t CountVideoFrames(Movie movie);
uint32_t CountMovieSteps(Movie movie);
