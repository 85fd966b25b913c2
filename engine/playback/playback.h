// Playing a movie: its clock, the picture due now, and the sound beside it.
// Everything here runs on the caller's thread and returns within a few
// milliseconds, except the calls that are meant to wait (preroll).
#pragma once
#include "engine/playback/movie_record.h"

namespace vmedia {

void TaskMovie(MovieRecord* m);
// False when the movie cannot be made ready to play from `time`: its
// media is missing, or its first picture does not come.
bool PrePreroll(MovieRecord* m, TimeValue time, Fixed rate);
bool Preroll(MovieRecord* m, TimeValue time, Fixed rate);
void SetRate(MovieRecord* m, Fixed rate);
void SetTime(MovieRecord* m, TimeValue time);
TimeValue CurrentTime(MovieRecord* m);
bool IsDone(MovieRecord* m);
void Update(MovieRecord* m);
void SetVolume(MovieRecord* m, int16_t volume);
// The picture of the frame showing at `time`, decoded exactly; false when
// the movie has no video or it cannot be decoded.
bool FrameAtTime(MovieRecord* m, TimeValue time, Frame* frame);

}  // namespace vmedia
