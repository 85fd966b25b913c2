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

// The movie in an open file, or null when none can be made (74002 to the
// caller). The file stays open.
Movie MovieFromOpenFile(int16_t fileRef);
