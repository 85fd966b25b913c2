// Decoded pictures to BGRX rows through libswscale. Its vector code writes
// rows in whole blocks of pixels, past the picture's width, and wants rows
// aligned: rows exactly as wide as the picture, in a buffer exactly as big,
// had it write into the heap's own bookkeeping (the host fell over on Play
// for widths such as 142, 190 and 318).
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "engine/platform/codec_library.h"
#include "engine/video/frame_reader.h"

namespace vmedia {

// Where the scaler's rows start and how far apart they lie.
constexpr size_t kScaledRowAlign = 64;

// Whether a picture of this size is one the engine shows.
bool ScalableSize(int width, int height);
// Bytes between rows of a picture `width` pixels wide: whole alignments,
// at least one of them to spare past the row's pixels.
size_t ScaledPitch(int width);
// Bytes of a picture of `height` such rows, and a spare row below.
size_t ScaledBytes(int width, int height);

class PictureScaler {
 public:
  explicit PictureScaler(const CodecLibrary* lib) : lib_(lib) {}
  ~PictureScaler();
  PictureScaler(const PictureScaler&) = delete;
  PictureScaler& operator=(const PictureScaler&) = delete;

  // The picture's pixels as BGRX into `out`, which starts on a multiple of
  // kScaledRowAlign and holds ScaledBytes(p->width, p->height), rows
  // ScaledPitch(p->width) apart. False for sizes out of bounds and pixel
  // formats the scaler does not read.
  bool Scale(const AVFrame* p, uint8_t* out);

 private:
  const CodecLibrary* lib_;
  SwsContext* scaler_ = nullptr;
  bool bt709_ = false;  // the scaler was told the stream is BT.709
};

// A decoded picture as the frame the reader was asked for: scaled to BGRX
// at its decoded size in `stored` (reused between pictures), then turned
// and sized to the request's. Sets the frame's size and pixels, not its
// index.
bool ToFrame(PictureScaler& scaler, const AVFrame* picture, const FrameRequest& shape, std::vector<uint8_t>* stored,
             Frame* frame);

}  // namespace vmedia
