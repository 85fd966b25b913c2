// One of FFmpeg's decoders with the packet it is fed through and the frame
// it hands back, made together and freed together.
#pragma once
#include <vector>

#include "engine/platform/codec_library.h"

namespace vmedia {

class CodecDecoder {
 public:
  CodecDecoder() = default;
  ~CodecDecoder();
  CodecDecoder(const CodecDecoder&) = delete;
  CodecDecoder& operator=(const CodecDecoder&) = delete;

  // Makes the three for `codec`, with `config` as its extradata, padded as
  // decoders read past it. False when memory runs out. The caller sets its
  // own fields of the context, then opens it.
  bool Allocate(const CodecLibrary* lib, const AVCodec* codec, const std::vector<uint8_t>& config);
  // Frees the three, so that Allocate can make them again.
  void Free();

  AVCodecContext* context = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;

 private:
  const CodecLibrary* lib_ = nullptr;
};

}  // namespace vmedia
