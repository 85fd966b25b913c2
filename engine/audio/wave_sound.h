// The sound of a WAV file (PCM, float, u-law, A-law; see
// container/wave_file.h), decoded by FFmpeg's PCM decoders from the file's
// data chunk. Its time line is the file's own: frames from 0 to the end.
#pragma once
#include <memory>
#include <string>

#include "engine/audio/sound_source.h"

namespace vmedia {

// Null when the file cannot be opened, is no WAV file the reader takes, or
// the codec libraries are missing.
std::unique_ptr<SoundSource> OpenWaveSound(const std::wstring& path);

}  // namespace vmedia
