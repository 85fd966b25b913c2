// A movie for files that are not QuickTime movies (WAV, MP3, AVI, WMV, ...):
// what Media Foundation reports, on a time scale of 600.
#pragma once
#include <string>

#include "engine/playback/timeline.h"

namespace vmedia {

// False when Media Foundation cannot open the file, finds no stream, or does
// not answer within a few seconds.
bool ProbeWithMediaFoundation(const std::wstring& path, Timeline* timeline);

}  // namespace vmedia
