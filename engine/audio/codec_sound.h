// A movie's sound decoded by FFmpeg's libavcodec from our own tables: the
// first enabled sound track with samples, its bytes read from the file by
// offset (PCM-like tracks by whole chunks, others sample by sample) and
// laid on the movie's time line through the track's edits.
#pragma once
#include <memory>
#include <string>

#include "engine/container/movie_file.h"
#include "engine/audio/sound_source.h"

namespace vmedia {

// Whether the engine's own codecs can sound this track: the libraries
// (swresample too) are there and one of them reads the track's format.
bool CodecSounds(const Track& track);

// A source of the model's sound track (MovieModel::soundTrack), read from
// the file at `path`. Null when the track cannot be decoded this way (no
// libraries, no decoder, none of its bytes in the file) or the file cannot
// be opened.
std::unique_ptr<SoundSource> OpenCodecSound(std::shared_ptr<const MovieModel> model, const std::wstring& path);

}  // namespace vmedia
