// Decoded sound against a reference decode (ffmpeg's), for the tests of the
// engine's sound sources.
#pragma once
#include <math.h>
#include <stdint.h>

#include <vector>

#include "engine/audio/sound_source.h"

// Everything `s` gives, interleaved, up to limitFrames frames.
inline std::vector<int16_t> ReadAll(vmedia::SoundSource& s, size_t limitFrames) {
  const size_t ch = size_t(s.Format().channels);
  std::vector<int16_t> out;
  int16_t buffer[4096 * 2];
  for (size_t n; out.size() / ch < limitFrames && (n = s.Read(buffer, 4096)) > 0;)
    out.insert(out.end(), buffer, buffer + n * ch);
  return out;
}

// Root mean square of the difference over `count` values from the given
// starts, relative to the reference's own level.
inline double RelativeError(const std::vector<int16_t>& got, size_t from, const std::vector<int16_t>& want,
                            size_t wantFrom, size_t count) {
  double diff = 0, level = 0;
  for (size_t i = 0; i < count; ++i) {
    double a = got[from + i], b = want[wantFrom + i];
    diff += (a - b) * (a - b);
    level += b * b;
  }
  return level > 0 ? sqrt(diff / level) : sqrt(diff);
}
