// Where a movie's sound comes from: decoded PCM in movie time, whatever
// decodes it. The sound player reads a source on its own thread, seeks it
// after a jump and at each loop, and never asks it about media time: a
// source applies the movie's edits itself (silence in an empty edit or
// before the sound's media begins).
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace vmedia {

struct SoundFormat {
  int rate = 0;      // frames a second, 8000 to 48000
  int channels = 0;  // 1 or 2
};

class SoundSource {
 public:
  virtual ~SoundSource() = default;

  // Interleaved signed 16-bit frames in this format, the same for the
  // source's whole life.
  virtual SoundFormat Format() const = 0;
  // The next Read starts at this movie time, to the frame. False when the
  // source cannot go there; it then reads as at its end.
  virtual bool Seek(double seconds) = 0;
  // Writes up to `frames` frames to `out` and returns how many; fewer is
  // fine, 0 means the movie's sound is over (or the source broke).
  virtual size_t Read(int16_t* out, size_t frames) = 0;
};

}  // namespace vmedia
