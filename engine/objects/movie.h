// The movie objects behind Movie references: made from an open file,
// found again by reference or time base, and disposed of.
#pragma once
#include <vector>

#include "engine/playback/movie_record.h"
#include "media_interface/operations.h"

namespace vmedia {

// Null for anything that is not a live movie or its time base.
MovieRecord* FindMovie(Movie movie);
MovieRecord* FindTimeBase(TimeBase timeBase);
std::vector<MovieRecord*> AllMovies();

OSErr NewMovieFromRef(Movie* movie, int16_t refNum, int16_t flags);
void DisposeMovieRecord(Movie movie);

}  // namespace vmedia
