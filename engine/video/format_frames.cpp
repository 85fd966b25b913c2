#include "engine/video/format_frames.h"

#include <math.h>

#include <algorithm>
#include <atomic>
#include <new>

#include "engine/platform/codec_decoder.h"
#include "engine/platform/format_input.h"
#include "engine/video/picture_scaler.h"
#include "engine/video/sample_times.h"

namespace vmedia {
namespace {

// Opening on the decoder's thread: a bound only against a file that never
// answers.
constexpr DWORD kOpenBoundMs = 20000;
// Packets sent for one picture before the stream counts as broken.
constexpr int kMaxPacketsPerPicture = 8192;
// Packets read after a seek while looking for the key frame to start on.
constexpr int kMaxPacketsToKey = 8192;

class FormatFrames : public FrameReader {
 public:
  FormatFrames(const FrameRequest& shape, int stream, int64_t origin)
      : shape_(shape), stream_(stream), origin_(origin), lib_(Codecs()), scaler_(lib_) {}

  bool Open();
  bool Seek(int index, Frame* frame, bool* endOfStream) override;
  bool Next(Frame* frame, bool* endOfStream) override;
  void Cancel() override {
    cancelled_ = true;
    if (in_) in_->Cancel();
  }

 private:
  int64_t MovieTime(int64_t pts) const;
  int64_t StreamTime(int64_t movieTime) const;
  bool StartAt(int64_t time);
  bool ReadOwn();
  bool SendNext();
  bool Produce(int index, Frame* frame, bool* endOfStream);

  const FrameRequest shape_;
  const int stream_;
  const int64_t origin_;
  const CodecLibrary* const lib_;
  std::unique_ptr<FormatInput> in_;
  AVRational base_{1, 1};
  int64_t start_ = 0;  // the stream's first time
  CodecDecoder decoder_;
  PictureScaler scaler_;
  std::vector<uint8_t> stored_;
  bool pending_ = false;   // decoder_.packet holds the key frame to send first
  bool draining_ = false;  // the end was sent
  int lastShown_ = -1;
  std::atomic<bool> cancelled_{false};
};

bool FormatFrames::Open() {
  if (!lib_ || shape_.times.empty() || shape_.scale <= 0) return false;
  in_ = FormatInput::Open(shape_.path, kOpenBoundMs, FormatInput::Index::WhenSeeking);
  if (!in_) return false;
  in_->Bound(0);
  AVFormatContext* c = in_->context();
  if (stream_ < 0 || unsigned(stream_) >= c->nb_streams) return false;
  const AVStream* s = c->streams[stream_];
  if (s->time_base.num <= 0 || s->time_base.den <= 0) return false;
  base_ = s->time_base;
  start_ = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
  // Only the one stream is demuxed.
  for (unsigned i = 0; i < c->nb_streams; ++i)
    if (int(i) != stream_) c->streams[i]->discard = AVDISCARD_ALL;
  const AVCodec* codec = lib_->avcodec_find_decoder(s->codecpar->codec_id);
  if (!codec) return false;
  // The stream's parameters carry its extradata.
  if (!decoder_.Allocate(lib_, codec, {})) return false;
  if (lib_->avcodec_parameters_to_context(decoder_.context, s->codecpar) < 0) return false;
  decoder_.context->pkt_timebase = base_;
  decoder_.context->thread_count = 2;
  return lib_->avcodec_open2(decoder_.context, codec, nullptr) >= 0;
}

int64_t FormatFrames::MovieTime(int64_t pts) const {
  return llround((double(pts) * base_.num / base_.den - double(origin_) / 1e6) * shape_.scale);
}

int64_t FormatFrames::StreamTime(int64_t movieTime) const {
  return llround((double(movieTime) / shape_.scale + double(origin_) / 1e6) * base_.den / base_.num);
}

// The next packet of the stream into decoder_.packet; false at the end.
bool FormatFrames::ReadOwn() {
  for (;;) {
    lib_->av_packet_unref(decoder_.packet);
    if (cancelled_ || !in_->Read(decoder_.packet)) return false;
    if (decoder_.packet->stream_index == stream_) return true;
  }
}

// Decoding starts again from the last key frame at or before `time`
// (stream units). A demuxer that seeks by bytes or by its own index may
// land past it: then again from further back, then from the start.
bool FormatFrames::StartAt(int64_t time) {
  int64_t back = 0;
  for (int attempt = 0; attempt < 6 && !cancelled_; ++attempt) {
    const bool fromStart = attempt == 5;
    lib_->avcodec_flush_buffers(decoder_.context);
    pending_ = draining_ = false;
    if (fromStart ? !in_->Seek(stream_, start_) : !in_->Seek(stream_, time - back)) continue;
    bool found = false;
    for (int read = 0; read < kMaxPacketsToKey && ReadOwn(); ++read)
      if (decoder_.packet->flags & AV_PKT_FLAG_KEY) {
        found = true;
        break;
      }
    if (!found) {
      if (fromStart) return false;
    } else {
      int64_t t = decoder_.packet->pts != AV_NOPTS_VALUE ? decoder_.packet->pts : decoder_.packet->dts;
      if (fromStart || t == AV_NOPTS_VALUE || t <= time) {
        pending_ = true;
        return true;
      }
    }
    // Half a second, then twice as far back each time.
    back = back ? back * 2 : std::max<int64_t>(1, int64_t(base_.den) / (2 * base_.num));
  }
  return false;
}

// Sends the next packet, or the end of the stream after the last one.
bool FormatFrames::SendNext() {
  if (draining_) return false;
  if (pending_ || ReadOwn()) {
    pending_ = false;
    // A damaged packet is left out; the decoder goes on with the next.
    lib_->avcodec_send_packet(decoder_.context, decoder_.packet);
    lib_->av_packet_unref(decoder_.packet);
    return true;
  }
  if (cancelled_) return false;
  draining_ = true;
  lib_->avcodec_send_packet(decoder_.context, nullptr);
  return true;
}

bool FormatFrames::Produce(int index, Frame* frame, bool* endOfStream) {
  for (int sent = 0; sent < kMaxPacketsPerPicture && !cancelled_;) {
    int r = lib_->avcodec_receive_frame(decoder_.context, decoder_.frame);
    if (r == 0) {
      int64_t pts = decoder_.frame->best_effort_timestamp != AV_NOPTS_VALUE ? decoder_.frame->best_effort_timestamp : decoder_.frame->pts;
      int shown = pts == AV_NOPTS_VALUE ? lastShown_ + 1 : NearestIndex(shape_.times, double(MovieTime(pts)));
      if (shown < index || shown <= lastShown_) {
        lib_->av_frame_unref(decoder_.frame);
        continue;
      }
      bool ok = ToFrame(scaler_, decoder_.frame, shape_, &stored_, frame);
      lib_->av_frame_unref(decoder_.frame);
      if (!ok) return false;
      frame->index = std::min(shown, int(shape_.times.size()) - 1);
      lastShown_ = frame->index;
      return true;
    }
    if (r == AVERROR_EOF || !SendNext()) {
      *endOfStream = !cancelled_;
      return false;
    }
    ++sent;
  }
  *endOfStream = true;
  return false;
}

bool FormatFrames::Seek(int index, Frame* frame, bool* endOfStream) {
  *endOfStream = false;
  index = std::clamp(index, 0, int(shape_.times.size()) - 1);
  lastShown_ = -1;
  if (!StartAt(StreamTime(shape_.times[size_t(index)]))) {
    *endOfStream = !cancelled_;
    return false;
  }
  return Produce(index, frame, endOfStream);
}

bool FormatFrames::Next(Frame* frame, bool* endOfStream) {
  *endOfStream = false;
  int index = lastShown_ + 1;
  if (lastShown_ < 0 || index >= int(shape_.times.size())) {
    *endOfStream = true;
    return false;
  }
  return Produce(index, frame, endOfStream);
}

}  // namespace

std::unique_ptr<FrameReader> OpenFormatFrames(const FrameRequest& shape, int stream, int64_t origin) {
  std::unique_ptr<FormatFrames> frames(new (std::nothrow) FormatFrames(shape, stream, origin));
  if (!frames) return nullptr;
  try {
    if (!frames->Open()) return nullptr;
  } catch (...) {
    return nullptr;
  }
  return frames;
}

}  // namespace vmedia
