#include "engine/video/codec_frames.h"

#include <windows.h>

#include <string.h>

#include <algorithm>
#include <atomic>
#include <new>

#include "engine/platform/codec_decoder.h"
#include "engine/platform/codec_library.h"
#include "engine/platform/handle_source.h"
#include "engine/platform/media_file.h"
#include "engine/container/fourcc.h"
#include "engine/video/picture_scaler.h"

namespace vmedia {
namespace {

// Packets sent for one picture before the stream counts as broken: a key
// frame interval of a minute at 60 frames a second, and then some.
constexpr int kMaxPacketsPerPicture = 8192;

// Larger samples are no real picture (the largest one the engine shows,
// uncompressed at 4 bytes a pixel, is 144 MiB), and a 32-bit process has no
// room for them; with the decoder's padding a size near 4 GiB would wrap.
constexpr uint32_t kMaxVideoSampleBytes = 256u << 20;

AVCodecID CodecFor(const SampleDescription& d) {
  switch (JpegCodingOf(d)) {
    case JpegCoding::Jpeg: return AV_CODEC_ID_MJPEG;
    case JpegCoding::MotionJpegB: return AV_CODEC_ID_MJPEGB;
    case JpegCoding::None: break;
  }
  switch (d.format) {
    case FourCC("avc1"): case FourCC("avc3"): return AV_CODEC_ID_H264;
    case FourCC("hvc1"): case FourCC("hev1"): return AV_CODEC_ID_HEVC;
    case FourCC("av01"): return AV_CODEC_ID_AV1;
    case FourCC("mp4v"): return d.objectType == 0 || d.objectType == 0x20 ? AV_CODEC_ID_MPEG4 : AV_CODEC_ID_NONE;
    case FourCC("h263"): case FourCC("s263"): case FourCC("H263"): return AV_CODEC_ID_H263;
    case FourCC("rle "): return AV_CODEC_ID_QTRLE;
    case FourCC("smc "): return AV_CODEC_ID_SMC;
    case FourCC("rpza"): return AV_CODEC_ID_RPZA;
    case FourCC("cvid"): return AV_CODEC_ID_CINEPAK;
    case FourCC("SVQ1"): return AV_CODEC_ID_SVQ1;
    case FourCC("SVQ3"): return AV_CODEC_ID_SVQ3;
    case FourCC("apch"): case FourCC("apcn"): case FourCC("apcs"): case FourCC("apco"):
    case FourCC("ap4h"): case FourCC("ap4x"): return AV_CODEC_ID_PRORES;
    case FourCC("dvc "): case FourCC("dvcp"): case FourCC("dvpp"): case FourCC("dv5n"): case FourCC("dv5p"):
    case FourCC("dvh5"): case FourCC("dvh6"): case FourCC("dvhp"): case FourCC("dvhq"): case FourCC("dvh3"):
    case FourCC("dv25"): case FourCC("dv50"): case FourCC("dvsd"): case FourCC("AVdv"): case FourCC("AVd1"):
      return AV_CODEC_ID_DVVIDEO;
    case FourCC("png "): case FourCC("MPNG"): return AV_CODEC_ID_PNG;
    case FourCC("raw "): case FourCC("2vuy"): return AV_CODEC_ID_RAWVIDEO;
  }
  return AV_CODEC_ID_NONE;
}

// FFmpeg's codec tags put the first character in the low byte.
uint32_t Tag(uint32_t fourcc) {
  return (fourcc >> 24) | ((fourcc >> 8) & 0xFF00) | ((fourcc << 8) & 0xFF0000) | (fourcc << 24);
}

const Track* VideoTrackOf(const MovieModel& model) {
  int v = model.videoTrack();
  return v >= 0 ? &model.tracks[size_t(v)] : nullptr;
}

class CodecFrames : public FrameReader {
 public:
  CodecFrames(const FrameRequest& shape, std::shared_ptr<const MovieModel> model,
              std::shared_ptr<const std::vector<uint32_t>> samples)
      : shape_(shape), model_(std::move(model)), samples_(std::move(samples)), track_(*VideoTrackOf(*model_)),
        lib_(Codecs()), file_(OpenMediaFile(shape_.path)), source_(file_), scaler_(lib_) {}
  ~CodecFrames() override;

  bool Open();
  bool Seek(int index, Frame* frame, bool* endOfStream) override;
  bool Next(Frame* frame, bool* endOfStream) override;
  void Cancel() override { cancelled_ = true; }

 private:
  bool Produce(int index, Frame* frame, bool* endOfStream);
  bool SendNext();
  bool ReadSample(const SampleRef& ref);
  void Restart(uint32_t fromSample);

  const FrameRequest shape_;
  const std::shared_ptr<const MovieModel> model_;
  const std::shared_ptr<const std::vector<uint32_t>> samples_;  // shown index -> decode index
  const Track& track_;
  const CodecLibrary* const lib_;
  const HANDLE file_;
  HandleSource source_;
  CodecDecoder decoder_;
  PictureScaler scaler_;
  std::vector<int64_t> shownTimes_;  // presentation time of each shown index's sample
  std::vector<uint8_t> bytes_;       // the sample being sent, with the padding decoders read past
  std::vector<uint8_t> stored_;      // the scaler's picture at its decoded size, before turning and scaling
  uint32_t nextSend_ = 0;            // decode index of the next sample to send
  bool draining_ = false;            // the end was sent: only pictures already in the decoder remain
  bool paletteDue_ = false;
  int lastShown_ = -1;
  int64_t lastTime_ = INT64_MIN;     // presentation time of the last picture delivered
  Frame last_;
  std::atomic<bool> cancelled_{false};
};

CodecFrames::~CodecFrames() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool CodecFrames::Open() {
  if (!lib_ || samples_->empty() || samples_->size() != shape_.times.size()) return false;
  const SampleDescription& d = track_.description;
  const AVCodec* codec = lib_->avcodec_find_decoder(CodecFor(d));
  if (!codec) return false;
  // From the time tables alone: a sample whose bytes cannot be read is
  // left out when it is due, and the rest still play.
  const SampleTable& table = track_.samples;
  shownTimes_.reserve(samples_->size());
  for (uint32_t s : *samples_) {
    int64_t decode;
    if (!table.DecodeTime(s, &decode)) return false;
    shownTimes_.push_back(decode + table.CompositionOffset(s));
  }
  if (file_ == INVALID_HANDLE_VALUE) return false;

  if (!decoder_.Allocate(lib_, codec, d.config)) return false;
  decoder_.context->width = d.width;
  decoder_.context->height = d.height;
  decoder_.context->codec_tag = Tag(d.format == FourCC("2vuy") ? FourCC("UYVY") : d.format);
  decoder_.context->bits_per_coded_sample = d.greyscale ? d.depth - 32 : d.depth;
  // Also dav1d's own threads: two, however many cores the machine has.
  decoder_.context->thread_count = 2;
  paletteDue_ = !d.palette.empty();
  if (lib_->avcodec_open2(decoder_.context, codec, nullptr) < 0) return false;
  return true;
}

// Decoding starts again from a key frame.
void CodecFrames::Restart(uint32_t fromSample) {
  lib_->avcodec_flush_buffers(decoder_.context);
  nextSend_ = fromSample;
  draining_ = false;
  lastTime_ = INT64_MIN;
  paletteDue_ = !track_.description.palette.empty();
}

bool CodecFrames::ReadSample(const SampleRef& ref) {
  if (ref.size > kMaxVideoSampleBytes) return false;
  try {
    bytes_.assign(size_t(ref.size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  } catch (...) {
    return false;
  }
  return source_.Read(ref.offset, bytes_.data(), ref.size);
}

// Sends the next sample in decode order, or the end of the stream after
// the last one. False when nothing is left to send.
bool CodecFrames::SendNext() {
  while (nextSend_ < track_.sampleCount) {
    SampleRef ref;
    uint32_t sample = nextSend_++;
    if (!SampleAt(track_, sample, &ref) || ref.size == 0 || !ReadSample(ref)) continue;
    lib_->av_packet_unref(decoder_.packet);
    decoder_.packet->data = bytes_.data();
    decoder_.packet->size = int(ref.size);
    decoder_.packet->pts = ref.presentationTime;
    decoder_.packet->dts = ref.decodeTime;
    decoder_.packet->duration = ref.duration;
    if (ref.sync) decoder_.packet->flags |= AV_PKT_FLAG_KEY;
    if (paletteDue_) {
      const std::vector<uint32_t>& palette = track_.description.palette;
      if (uint8_t* side = lib_->av_packet_new_side_data(decoder_.packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE)) {
        memset(side, 0, AVPALETTE_SIZE);
        memcpy(side, palette.data(), std::min<size_t>(palette.size() * 4, AVPALETTE_SIZE));
        paletteDue_ = false;
      }
    }
    // A damaged sample is left out; the decoder goes on with the next.
    lib_->avcodec_send_packet(decoder_.context, decoder_.packet);
    lib_->av_packet_unref(decoder_.packet);
    return true;
  }
  if (draining_) return false;
  draining_ = true;
  lib_->avcodec_send_packet(decoder_.context, nullptr);
  return true;
}

// Decodes on until the picture of shown index `index` (or the first one
// after it) comes out of the decoder.
bool CodecFrames::Produce(int index, Frame* frame, bool* endOfStream) {
  const int count = int(shownTimes_.size());
  for (int sent = 0; sent < kMaxPacketsPerPicture && !cancelled_;) {
    int r = lib_->avcodec_receive_frame(decoder_.context, decoder_.frame);
    if (r == 0) {
      const AVFrame* picture = decoder_.frame;
      const int64_t t =
          picture->best_effort_timestamp != AV_NOPTS_VALUE ? picture->best_effort_timestamp : picture->pts;
      if (t < shownTimes_[size_t(index)]) {
        lib_->av_frame_unref(decoder_.frame);
        continue;
      }
      // A picture later than the one wanted: the shown index it belongs to.
      while (index + 1 < count && shownTimes_[size_t(index + 1)] <= t &&
             shownTimes_[size_t(index + 1)] > shownTimes_[size_t(index)])
        ++index;
      bool ok = ToFrame(scaler_, decoder_.frame, shape_, &stored_, frame);
      lib_->av_frame_unref(decoder_.frame);
      if (!ok) return false;
      frame->index = index;
      lastShown_ = index;
      lastTime_ = t;
      last_ = *frame;
      return true;
    }
    // Any other error is a damaged sample (dav1d tells of one a picture
    // later, from its threads): the decoder goes on with the next.
    if (r == AVERROR_EOF || !SendNext()) {
      *endOfStream = true;
      return false;
    }
    ++sent;
  }
  *endOfStream = true;
  return false;
}

bool CodecFrames::Seek(int index, Frame* frame, bool* endOfStream) {
  *endOfStream = false;
  index = std::clamp(index, 0, int(shownTimes_.size()) - 1);
  uint32_t sample = (*samples_)[size_t(index)];
  uint32_t key = track_.samples.SyncAtOrBefore(sample);
  // In an open group of pictures the frames that follow a key frame in
  // decode order but show before it lean on the group before: decoding
  // must start a key frame earlier.
  SampleRef keyRef;
  for (int guard = 0; key > 0 && guard < 64 && SampleAt(track_, key, &keyRef) &&
                      keyRef.presentationTime > shownTimes_[size_t(index)];
       ++guard)
    key = track_.samples.SyncAtOrBefore(key - 1);
  // Going on is cheaper than starting again when the decoder is already
  // past the key frame and short of the picture.
  bool goOn = lastShown_ >= 0 && !draining_ && key < nextSend_ && shownTimes_[size_t(index)] > lastTime_;
  if (!goOn) Restart(key);
  return Produce(index, frame, endOfStream);
}

bool CodecFrames::Next(Frame* frame, bool* endOfStream) {
  *endOfStream = false;
  int index = lastShown_ + 1;
  if (lastShown_ < 0 || index >= int(shownTimes_.size())) {
    *endOfStream = true;
    return false;
  }
  // The same sample again (an edit that holds a frame or replays one).
  if ((*samples_)[size_t(index)] == (*samples_)[size_t(lastShown_)] && last_.pixels) {
    *frame = last_;
    frame->index = index;
    lastShown_ = index;
    last_.index = index;
    return true;
  }
  // An edit that goes back in the media.
  if (shownTimes_[size_t(index)] <= lastTime_) return Seek(index, frame, endOfStream);
  return Produce(index, frame, endOfStream);
}

}  // namespace

bool CodecDecodes(const Track& track) {
  const CodecLibrary* lib = Codecs();
  return lib && lib->avcodec_find_decoder(CodecFor(track.description)) != nullptr;
}

std::unique_ptr<FrameReader> OpenCodecFrames(const FrameRequest& shape, std::shared_ptr<const MovieModel> model,
                                             std::shared_ptr<const std::vector<uint32_t>> samples) {
  if (!model || !samples || !VideoTrackOf(*model)) return nullptr;
  auto frames = std::unique_ptr<CodecFrames>(new (std::nothrow) CodecFrames(shape, std::move(model), std::move(samples)));
  if (!frames || !frames->Open()) return nullptr;
  return frames;
}

}  // namespace vmedia
