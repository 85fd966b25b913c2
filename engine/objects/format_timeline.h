// A movie for the files our own readers leave to libavformat (AVI, MPEG,
// Matroska, Ogg, FLAC, MP3, ...). Its time scale follows the file: the
// sample rate for sound alone, the video stream's time base otherwise.
#pragma once
#include <windows.h>

#include <string>

#include "engine/playback/timeline.h"
#include "media_interface/operations.h"

namespace vmedia {

// noErr with *timeline filled; noMovieFound when libavformat is missing,
// knows no such file, finds nothing it can decode, or cannot tell within
// its bound; invalidMovie for pictures beyond the engine's limits. `file`
// is `path` opened, for reading it beside libavformat.
OSErr ReadFormatTimeline(HANDLE file, const std::wstring& path, Timeline* timeline);

}  // namespace vmedia
