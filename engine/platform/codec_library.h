// FFmpeg's libraries (avformat, avcodec, avutil, swscale, swresample), loaded at run time
// from the engine's own folder by full path, never by a bare name, so that
// no other copy on the machine can stand in for them. Nothing links against
// them: when they are missing the engine decodes through Media Foundation.
#pragma once
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace vmedia {

struct CodecLibrary {
  const AVCodec* (*avcodec_find_decoder)(enum AVCodecID);
  AVCodecContext* (*avcodec_alloc_context3)(const AVCodec*);
  int (*avcodec_open2)(AVCodecContext*, const AVCodec*, AVDictionary**);
  void (*avcodec_free_context)(AVCodecContext**);
  int (*avcodec_send_packet)(AVCodecContext*, const AVPacket*);
  int (*avcodec_receive_frame)(AVCodecContext*, AVFrame*);
  void (*avcodec_flush_buffers)(AVCodecContext*);
  AVPacket* (*av_packet_alloc)();
  void (*av_packet_free)(AVPacket**);
  void (*av_packet_unref)(AVPacket*);
  int (*avcodec_parameters_to_context)(AVCodecContext*, const AVCodecParameters*);
  uint8_t* (*av_packet_new_side_data)(AVPacket*, enum AVPacketSideDataType, size_t);
  AVFrame* (*av_frame_alloc)();
  void (*av_frame_free)(AVFrame**);
  void (*av_frame_unref)(AVFrame*);
  void* (*av_mallocz)(size_t);
  void (*av_log_set_level)(int);
  struct SwsContext* (*sws_getCachedContext)(struct SwsContext*, int, int, enum AVPixelFormat, int, int,
                                             enum AVPixelFormat, int, SwsFilter*, SwsFilter*, const double*);
  int (*sws_scale)(struct SwsContext*, const uint8_t* const[], const int[], int, int, uint8_t* const[],
                   const int[]);
  void (*sws_freeContext)(struct SwsContext*);
  int (*sws_setColorspaceDetails)(struct SwsContext*, const int[4], int, const int[4], int, int, int, int);
  const int* (*sws_getCoefficients)(int);
  void (*av_channel_layout_default)(AVChannelLayout*, int);
  // Sound: null (all of them) when swresample or one of its entries is
  // missing; pictures decode without it.
  int (*swr_alloc_set_opts2)(struct SwrContext**, AVChannelLayout*, enum AVSampleFormat, int, AVChannelLayout*,
                             enum AVSampleFormat, int, int, void*);
  int (*swr_init)(struct SwrContext*);
  int (*swr_convert)(struct SwrContext*, uint8_t**, int, const uint8_t**, int);
  int (*swr_get_out_samples)(struct SwrContext*, int);
  void (*swr_free)(struct SwrContext**);
};

// The libraries, loaded at the first call; null when any of them or any
// entry is missing (swresample aside, see above). Thread-safe; they stay loaded for the process's life.
const CodecLibrary* Codecs();

// libavformat, for the containers our own readers leave to it.
struct FormatLibrary {
  AVFormatContext* (*avformat_alloc_context)();
  int (*avformat_open_input)(AVFormatContext**, const char*, const AVInputFormat*, AVDictionary**);
  int (*avformat_find_stream_info)(AVFormatContext*, AVDictionary**);
  void (*avformat_close_input)(AVFormatContext**);
  int (*av_read_frame)(AVFormatContext*, AVPacket*);
  int (*av_seek_frame)(AVFormatContext*, int, int64_t, int);
  AVIOContext* (*avio_alloc_context)(unsigned char*, int, int, void*, int (*)(void*, uint8_t*, int),
                                     int (*)(void*, uint8_t*, int), int64_t (*)(void*, int64_t, int));
  void (*avio_context_free)(AVIOContext**);
  void* (*av_malloc)(size_t);
  void (*av_free)(void*);
};

// Null when avformat, one of its entries, or Codecs() is missing.
const FormatLibrary* Formats();

}  // namespace vmedia
