// A decoded picture as a viewer sees it: mirrored and turned as the track's
// matrix says, and scaled to its display size (which carries the pixel
// aspect), so that drawing and capture show the same thing. Platform-free.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace vmedia {

// How a stored picture is shown: flipped left to right first when
// `mirrored`, then turned `turn` degrees clockwise (0, 90, 180 or 270).
struct Orientation {
  int turn = 0;
  bool mirrored = false;

  bool Plain() const { return turn == 0 && !mirrored; }
  // Swaps width and height for a quarter turn.
  bool Sideways() const { return turn == 90 || turn == 270; }
};

// Writes the dstWidth x dstHeight BGRX picture a viewer sees of the
// srcWidth x srcHeight BGRX picture at src. Where the turned source is the
// display size already, pixels are moved exactly; otherwise they are
// sampled bilinearly. False, writing nothing, for sizes that are not
// positive or above 32768, a pitch narrower than a row, or a turn that is
// not a quarter.
bool OrientPicture(const uint8_t* src, int srcWidth, int srcHeight, ptrdiff_t srcPitch, Orientation how,
                   uint8_t* dst, int dstWidth, int dstHeight, ptrdiff_t dstPitch);

}  // namespace vmedia
