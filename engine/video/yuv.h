// Conversion of decoded video pictures to 32-bit BGRX rows. Free of any
// platform header so it builds and is tested natively too.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace vmedia {

enum class PixelLayout { NV12, I420, YUY2, BGRX };
enum class YuvMatrix { Bt601, Bt709 };

// A decoded picture as the decoder hands it over: one contiguous buffer
// holding the planes one after another. `pitch` is the distance between rows
// of the first plane; a negative pitch means the rows are stored bottom-up
// (the first row in memory is the picture's last). `planeRows` is the number
// of rows the first plane occupies in memory (coded height, >= height).
struct SourcePicture {
  PixelLayout layout;
  const uint8_t* buffer;
  size_t bufferSize;
  int width;
  int height;
  ptrdiff_t pitch;
  int planeRows;
  YuvMatrix matrix;
  bool fullRange = false;  // codes 0-255 (JPEG) rather than 16-235
};

// Writes width x height BGRX pixels, top row first, `outPitch` bytes apart.
// Returns false (writing nothing) when the buffer is too small for the
// layout, the sizes are not positive, or |pitch| is narrower than a row.
bool ConvertToBgrx(const SourcePicture& source, uint8_t* out, ptrdiff_t outPitch);

// Bytes a buffer of this layout needs at least for the given pitch and rows.
size_t RequiredBufferSize(PixelLayout layout, ptrdiff_t pitch, int planeRows);

// Pitch and plane rows of a buffer that came without them: the smallest
// row alignment, then the smallest pitch alignment, that accounts for the
// buffer's length. Decoders pad rows to 2 to 128 bytes (an NV12 picture 854
// wide comes in rows of 856) and planes to 16 or 32 rows. Without a match,
// rows as wide as the picture and as many as it has.
void GuessLayout(PixelLayout layout, int width, int height, size_t length, ptrdiff_t* pitch, int* rows);

}  // namespace vmedia
