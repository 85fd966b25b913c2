// Which decoders a movie plays through: our own codecs where they read the
// track, Media Foundation for the rest.
#pragma once
#include <functional>
#include <memory>

#include "engine/audio/sound_source.h"
#include "engine/playback/movie_record.h"

namespace vmedia {

// The movie's frame queue, made at its first use; null for a movie without
// video.
FrameQueue* VideoOf(MovieRecord* m);
// What opens the movie's sound on the sound player's thread.
std::function<std::unique_ptr<SoundSource>()> SoundOpener(MovieRecord* m);

}  // namespace vmedia
