// The sound of a file libavformat reads: its sound stream's packets,
// decoded and laid on the movie's time line by the packet sound.
#pragma once
#include <stdint.h>

#include <memory>
#include <string>

#include "engine/audio/sound_source.h"

namespace vmedia {

// Stream `stream` of the file at `path`, sounding from movie time 0 (the
// file's clock at `origin` microseconds) to `duration` units of
// `timeScale`. Null when the file, the stream or its decoder cannot be
// opened.
std::unique_ptr<SoundSource> OpenFormatSound(const std::wstring& path, int stream, int64_t origin, int32_t timeScale,
                                             int32_t duration);

}  // namespace vmedia
