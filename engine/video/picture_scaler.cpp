#include "engine/video/picture_scaler.h"

#include "engine/video/orient.h"
#include "engine/video/picture_limits.h"

namespace vmedia {

bool ScalableSize(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         int64_t(width) * height <= kMaxPicturePixels;
}

size_t ScaledPitch(int width) {
  return (size_t(width) * 4 + 2 * kScaledRowAlign - 1) / kScaledRowAlign * kScaledRowAlign;
}

size_t ScaledBytes(int width, int height) { return ScaledPitch(width) * (size_t(height) + 1); }

PictureScaler::~PictureScaler() {
  if (scaler_) lib_->sws_freeContext(scaler_);
}

bool PictureScaler::Scale(const AVFrame* p, uint8_t* out) {
  const int w = p->width, h = p->height;
  if (!ScalableSize(w, h) || !out || uintptr_t(out) % kScaledRowAlign) return false;
  SwsContext* before = scaler_;
  scaler_ = lib_->sws_getCachedContext(scaler_, w, h, AVPixelFormat(p->format), w, h, AV_PIX_FMT_BGR0, SWS_BILINEAR,
                                       nullptr, nullptr, nullptr);
  if (!scaler_) return false;
  // The scaler takes BT.601 unless told; HD streams say BT.709.
  const bool bt709 = p->colorspace == AVCOL_SPC_BT709;
  if (scaler_ != before || bt709 != bt709_) {
    if (bt709 || bt709_) {
      const bool fullRange = p->color_range == AVCOL_RANGE_JPEG || p->format == AV_PIX_FMT_YUVJ420P ||
                             p->format == AV_PIX_FMT_YUVJ422P || p->format == AV_PIX_FMT_YUVJ444P;
      lib_->sws_setColorspaceDetails(scaler_, lib_->sws_getCoefficients(bt709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT),
                                     fullRange, lib_->sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    bt709_ = bt709;
  }
  uint8_t* planes[4] = {out, nullptr, nullptr, nullptr};
  int pitches[4] = {int(ScaledPitch(w)), 0, 0, 0};
  return lib_->sws_scale(scaler_, p->data, p->linesize, 0, h, planes, pitches) == h;
}

bool ToFrame(PictureScaler& scaler, const AVFrame* p, const FrameRequest& shape, std::vector<uint8_t>* stored,
             Frame* frame) {
  const int w = p->width, h = p->height;
  if (!ScalableSize(w, h)) return false;
  auto pixels = std::make_shared<std::vector<uint8_t>>(size_t(shape.width) * shape.height * 4, 0);
  stored->resize(ScaledBytes(w, h) + kScaledRowAlign);
  uint8_t* out = stored->data() + (kScaledRowAlign - uintptr_t(stored->data()) % kScaledRowAlign) % kScaledRowAlign;
  if (!scaler.Scale(p, out)) return false;
  if (!OrientPicture(out, w, h, ptrdiff_t(ScaledPitch(w)), shape.orientation, pixels->data(), shape.width,
                     shape.height, ptrdiff_t(shape.width) * 4))
    return false;
  frame->width = shape.width;
  frame->height = shape.height;
  frame->pixels = std::move(pixels);
  return true;
}

}  // namespace vmedia
