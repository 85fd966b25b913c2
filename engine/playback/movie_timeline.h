// The time line of a file that the engine's own readers have read: a
// movie's model, or a WAV file's header. Platform-free.
#pragma once
#include "engine/container/movie_file.h"
#include "engine/container/wave_file.h"
#include "engine/playback/timeline.h"

namespace vmedia {

// Fills a fresh time line from the model: the video track's frames and what
// each shows, its size and turn, the steps of time code text. The model
// moves into it when there is video or sound to decode from its tables.
// False for a picture larger than the engine shows.
bool TimelineOfMovie(MovieModel model, Timeline* tl);

// A WAV file: its time scale is its frame rate, as QuickTime gives a sound
// file, so every frame has a time of its own. False for a rate or a length
// past what time values hold.
bool TimelineOfWave(const WaveInfo& wave, Timeline* tl);

}  // namespace vmedia
