// Opening a movie file for playing, shared by Play and the path forms of the
// property functions.
#pragma once
#include "media_interface/operations.h"

// Turns a Windows path into the media layer's FSSpec; raises 72008 on failure.
FSSpec PathToFSSpec(const char* path);

// Makes the movie repeat its active segment from the start.
void EnableLooping(Movie movie);
