#include "engine/platform/codec_decoder.h"

#include <string.h>

namespace vmedia {

CodecDecoder::~CodecDecoder() { Free(); }

void CodecDecoder::Free() {
  if (!lib_) return;
  if (frame) lib_->av_frame_free(&frame);
  if (packet) lib_->av_packet_free(&packet);
  if (context) lib_->avcodec_free_context(&context);
}

bool CodecDecoder::Allocate(const CodecLibrary* lib, const AVCodec* codec, const std::vector<uint8_t>& config) {
  lib_ = lib;
  context = lib->avcodec_alloc_context3(codec);
  packet = lib->av_packet_alloc();
  frame = lib->av_frame_alloc();
  if (!context || !packet || !frame) return false;
  if (config.empty()) return true;
  context->extradata = static_cast<uint8_t*>(lib->av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!context->extradata) return false;
  memcpy(context->extradata, config.data(), config.size());
  context->extradata_size = int(config.size());
  return true;
}

}  // namespace vmedia
