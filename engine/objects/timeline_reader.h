// Reads the time line of an open movie file: from the file's own tables for
// QuickTime and MPEG-4 files and WAV files, from libavformat for the other
// containers, from Media Foundation for whatever is left.
#pragma once
#include <windows.h>

#include <string>

#include "engine/playback/timeline.h"
#include "media_interface/operations.h"

namespace vmedia {

// noErr, or a status for a file that is no movie or a damaged one.
OSErr ReadTimeline(HANDLE file, const std::wstring& path, Timeline* timeline);

}  // namespace vmedia
