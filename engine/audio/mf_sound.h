// Sound decoded by Media Foundation's source reader: the fallback for files
// our own reader does not parse (MP3, AVI, WMV) and for tracks our codecs
// cannot decode.
#pragma once
#include <memory>
#include <string>

#include "engine/audio/sound_source.h"

namespace vmedia {

// Opened on the calling thread, which must have entered the media layer;
// null when the file has no sound the reader gives as 16-bit PCM.
std::unique_ptr<SoundSource> OpenMediaFoundationSound(const std::wstring& path);

}  // namespace vmedia
