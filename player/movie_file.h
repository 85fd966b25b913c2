// Opening a movie file, shared by Play and the path forms of the property
// functions.
#pragma once
#include <stdint.h>

#include "media_interface/operations.h"

// Turns a Windows path into the media layer's FSSpec; raises 72008 on failure.
FSSpec PathToFSSpec(const char* path);

// Opens the file for reading and answers its reference; raises 74001 when
// it cannot.
int16_t OpenMovieFileForReading(const FSSpec& spec);

// Makes the movie in an open file; raises 74002 when there is none. The file
// stays open: the caller closes it.
Movie MovieFromOpenFile(int16_t fileRef);
