#include "engine/audio/packet_sound.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "engine/container/media_time.h"
#include "engine/platform/codec_decoder.h"
#include "engine/platform/handle_source.h"

namespace vmedia {

namespace {

// Packets one Read may send without a frame coming out before the media
// counts as over (a run of damaged packets).
constexpr int kMaxPacketsWithoutSound = 256;
// Output frames decoded before a seek's target when resampling.
constexpr int64_t kResamplerWarmUp = 256;

// Frames a decoder's output comes out later than the time it is labelled
// with. FFmpeg's WMA 1 and 2 decoders drop two of their frames after each
// start (the encoder's one of padding and their own overlap) but label
// what follows with its packet's time, one frame late: in an ffmpeg-made
// .wmv the tone then began one frame after the first picture, and a
// half-second .wma lost a frame at each end.
int64_t LabelLateFrames(AVCodecID codec, int rate) {
  if (codec != AV_CODEC_ID_WMAV1 && codec != AV_CODEC_ID_WMAV2) return 0;
  // The decoder's frame length (libavcodec's wma_common.c).
  if (rate <= 16000) return 512;
  if (rate <= 22050 || (rate <= 32000 && codec == AV_CODEC_ID_WMAV1)) return 1024;
  return 2048;
}

// v * num / den, rounded toward zero, for either sign.
int64_t Rescale(int64_t v, uint64_t num, uint64_t den) {
  return v >= 0 ? MulDiv(v, num, den) : -MulDiv(-v, num, den);
}

// A movie's or a WAV file's packets, read from the file by offset.
class FilePackets : public PacketFeed {
 public:
  FilePackets(HANDLE file, const SoundPackets& packets, std::shared_ptr<const void> keep)
      : file_(file), source_(file), packets_(packets), keep_(std::move(keep)) {}
  ~FilePackets() override { CloseHandle(file_); }
  uint64_t Size() const { return source_.Size(); }
  void Seek(int64_t time, uint32_t preroll) override { packets_.Seek(time, preroll); }
  bool Next(std::vector<uint8_t>* bytes, uint32_t* size, int64_t* time) override {
    SoundPacket p;
    while (packets_.Next(&p)) {
      try {
        bytes->assign(size_t(p.size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
      } catch (...) {
        continue;
      }
      if (!source_.Read(p.offset, bytes->data(), p.size)) continue;
      *size = p.size;
      *time = p.time;
      return true;
    }
    return false;
  }

 private:
  HANDLE file_;
  HandleSource source_;
  SoundPackets packets_;
  const std::shared_ptr<const void> keep_;
};

struct Span {
  int64_t start, end;  // output frames, movie time
  int64_t mediaTime;   // -1: silence
};

class PacketSound : public SoundSource {
 public:
  PacketSound(std::unique_ptr<PacketFeed> feed, SoundStream stream)
      : packets_(std::move(feed)), stream_(std::move(stream)) {}
  ~PacketSound() override;

  bool Open(const std::vector<SoundSegment>& segments, uint32_t movieScale);
  SoundFormat Format() const override { return SoundFormat{rate_, channels_}; }
  bool Seek(double seconds) override;
  size_t Read(int16_t* out, size_t frames) override;

 private:
  bool OpenDecoder(const AVCodec* codec);
  bool Probe(int* rate, int* channels);
  void Start(const Span& span);
  bool SendNext();
  bool Decode(const Span& span);
  bool Convert(const AVFrame* frame, const Span& span);
  bool Flush();
  bool Append(const uint8_t** in, int count);
  size_t Left() const { return pcm_.size() / size_t(channels_) - head_; }

  const std::unique_ptr<PacketFeed> packets_;
  const SoundStream stream_;
  const CodecLibrary* lib_ = nullptr;
  CodecDecoder decoder_;
  SwrContext* resampler_ = nullptr;
  // What the resampler was made for.
  int inFormat_ = -1, inRate_ = 0;
  AVChannelLayout inLayout_{};
  AVChannelLayout outLayout_{};
  int rate_ = 0, channels_ = 0;
  int64_t labelLate_ = 0;  // media units the decoder labels its frames late by

  std::vector<Span> spans_;
  size_t span_ = 0;
  int64_t pos_ = 0;          // output frame the next Read starts at
  bool started_ = false;     // the decoder is fed for the current span
  bool drained_ = false;     // the end of the packets was sent
  bool over_ = false;        // nothing more comes out for this span
  bool flushed_ = false;     // the resampler gave what it held
  bool placed_ = false;      // the first frame since Start set pcmPos_
  int64_t firstTime_ = AV_NOPTS_VALUE;  // media time of the first packet since Start
  std::vector<int16_t> pcm_;  // converted frames; pcm_[0] sounds at pcmPos_
  size_t head_ = 0;           // frames of pcm_ already read or dropped
  int64_t pcmPos_ = 0;
  std::vector<uint8_t> bytes_;  // the packet being sent, with the padding decoders read past
  bool broken_ = false;
};

PacketSound::~PacketSound() {
  if (lib_ && resampler_) lib_->swr_free(&resampler_);
}

bool PacketSound::Open(const std::vector<SoundSegment>& segments, uint32_t movieScale) {
  lib_ = Codecs();
  if (!lib_ || !lib_->swr_init || stream_.mediaScale == 0 || movieScale == 0) return false;
  const AVCodec* codec =
      lib_->avcodec_find_decoder(stream_.parameters ? stream_.parameters->codec_id : stream_.codec);
  if (!codec || !OpenDecoder(codec)) return false;

  // The stream's own rate and channels, as its first frame has them:
  // ISO entries say stereo whatever the stream, and AAC with SBR plays at
  // twice the rate its configuration names.
  int rate = decoder_.context->sample_rate, channels = decoder_.context->ch_layout.nb_channels;
  if (!Probe(&rate, &channels) && (rate <= 0 || channels <= 0)) return false;
  // Decoders without a flush (AMR's) would go on from what the probe
  // decoded, and the first frames sound otherwise than the file's: a
  // fresh one starts as the file does.
  if (!OpenDecoder(codec)) return false;
  rate_ = PlayedSampleRate(rate);
  inRate_ = rate;
  labelLate_ = Rescale(LabelLateFrames(codec->id, rate), stream_.mediaScale, uint64_t(rate));
  channels_ = channels >= 2 ? 2 : 1;
  lib_->av_channel_layout_default(&outLayout_, channels_);

  for (const SoundSegment& s : segments) {
    Span span{MulDiv(s.movieStart, uint64_t(rate_), movieScale), MulDiv(s.movieEnd, uint64_t(rate_), movieScale),
              s.mediaTime};
    if (span.end > span.start) spans_.push_back(span);
  }
  return true;
}

bool PacketSound::OpenDecoder(const AVCodec* codec) {
  decoder_.Free();
  // Our own tables give the codec's configuration; libavformat gives its
  // parameters whole, extradata included.
  static const std::vector<uint8_t> kNoConfig;
  if (!decoder_.Allocate(lib_, codec, stream_.parameters ? kNoConfig : stream_.config)) return false;
  AVCodecContext* context = decoder_.context;
  if (stream_.parameters) {
    if (lib_->avcodec_parameters_to_context(context, stream_.parameters) < 0) return false;
  } else {
    context->sample_rate = stream_.rate;
    if (stream_.channels > 0 && stream_.channels <= 64)
      lib_->av_channel_layout_default(&context->ch_layout, stream_.channels);
    context->block_align = stream_.blockAlign;
    context->bits_per_coded_sample = stream_.bitsPerSample;
  }
  context->pkt_timebase = AVRational{1, int(std::min<uint32_t>(stream_.mediaScale, INT32_MAX))};
  return lib_->avcodec_open2(context, codec, nullptr) >= 0;
}

bool PacketSound::Probe(int* rate, int* channels) {
  packets_->Seek(0, 0);
  for (int sent = 0; sent < kMaxPacketsWithoutSound;) {
    int r = lib_->avcodec_receive_frame(decoder_.context, decoder_.frame);
    if (r == 0) {
      const bool ok = decoder_.frame->sample_rate > 0 && decoder_.frame->ch_layout.nb_channels > 0;
      if (ok) *rate = decoder_.frame->sample_rate, *channels = decoder_.frame->ch_layout.nb_channels;
      lib_->av_frame_unref(decoder_.frame);
      if (ok) break;
      continue;
    }
    if (r == AVERROR_EOF || (r == AVERROR(EAGAIN) && !SendNext())) break;
    ++sent;
  }
  lib_->avcodec_flush_buffers(decoder_.context);
  drained_ = false;
  return *rate > 0 && *channels > 0;
}

bool PacketSound::Seek(double seconds) {
  started_ = false;
  const int64_t end = spans_.empty() ? 0 : spans_.back().end;
  if (!(seconds > 0)) seconds = 0;  // and NaN
  const double target = seconds * rate_;
  if (target > double(end)) {
    pos_ = end;
    span_ = spans_.size();
    return false;
  }
  pos_ = int64_t(llround(target));
  span_ = 0;
  while (span_ < spans_.size() && spans_[span_].end <= pos_) ++span_;
  return true;
}

// Decoding starts again: from the packet that holds the media at pos_ in
// the span, or a few before it for decoders that lean on earlier packets.
void PacketSound::Start(const Span& span) {
  // A resampler's filter starts from silence: it warms up on media before
  // the target, which is then dropped.
  const int64_t warm = inRate_ && inRate_ != rate_ ? kResamplerWarmUp : 0;
  const int64_t media = span.mediaTime + Rescale(pos_ - span.start - warm, stream_.mediaScale, uint64_t(rate_));
  packets_->Seek(media, stream_.preroll);
  lib_->avcodec_flush_buffers(decoder_.context);
  if (resampler_) lib_->swr_free(&resampler_);
  inFormat_ = -1;  // inRate_ stays: the rate the stream was last seen at
  started_ = true;
  drained_ = over_ = flushed_ = placed_ = false;
  firstTime_ = AV_NOPTS_VALUE;
  pcm_.clear();
  head_ = 0;
}

// Sends the next packet, or the end of the stream after the last one.
// False when nothing is left to send.
bool PacketSound::SendNext() {
  if (drained_) return false;
  uint32_t size = 0;
  int64_t time = AV_NOPTS_VALUE;
  if (packets_->Next(&bytes_, &size, &time)) {
    if (firstTime_ == AV_NOPTS_VALUE) firstTime_ = time;
    lib_->av_packet_unref(decoder_.packet);
    decoder_.packet->data = bytes_.data();
    decoder_.packet->size = int(size);
    decoder_.packet->pts = decoder_.packet->dts = time;
    // A damaged packet is left out; the decoder goes on with the next.
    lib_->avcodec_send_packet(decoder_.context, decoder_.packet);
    lib_->av_packet_unref(decoder_.packet);
    return true;
  }
  drained_ = true;
  lib_->avcodec_send_packet(decoder_.context, nullptr);
  return true;
}

// Decodes until converted frames wait in pcm_; false when the media has
// no more.
bool PacketSound::Decode(const Span& span) {
  for (int sent = 0; sent < kMaxPacketsWithoutSound;) {
    int r = lib_->avcodec_receive_frame(decoder_.context, decoder_.frame);
    if (r == 0) {
      bool got = Convert(decoder_.frame, span);
      lib_->av_frame_unref(decoder_.frame);
      if (got) return true;
      continue;
    }
    if (r == AVERROR_EOF) return Flush();
    if (!SendNext()) return Flush();
    ++sent;
  }
  return false;
}

bool PacketSound::Convert(const AVFrame* f, const Span& span) {
  if (f->nb_samples <= 0 || f->sample_rate <= 0 || f->ch_layout.nb_channels <= 0) return false;
  if (!placed_) {
    // Where the decoded media lands on the time line; later frames follow
    // on from it.
    int64_t t = f->pts != AV_NOPTS_VALUE ? f->pts - labelLate_ : firstTime_;
    if (t == AV_NOPTS_VALUE) t = span.mediaTime;
    pcmPos_ = span.start + Rescale(t - span.mediaTime, uint64_t(rate_), stream_.mediaScale);
    placed_ = true;
  }
  AVChannelLayout layout = f->ch_layout;
  if (layout.order == AV_CHANNEL_ORDER_UNSPEC) lib_->av_channel_layout_default(&layout, f->ch_layout.nb_channels);
  const bool same = resampler_ && inFormat_ == f->format && inRate_ == f->sample_rate &&
                    inLayout_.nb_channels == layout.nb_channels && inLayout_.order == layout.order &&
                    (layout.order != AV_CHANNEL_ORDER_NATIVE || inLayout_.u.mask == layout.u.mask);
  if (!same) {
    // A stream that changes its format mid-way loses what the old
    // resampler held.
    if (resampler_) lib_->swr_free(&resampler_);
    if (lib_->swr_alloc_set_opts2(&resampler_, &outLayout_, AV_SAMPLE_FMT_S16, rate_, &layout,
                                  AVSampleFormat(f->format), f->sample_rate, 0, nullptr) < 0 ||
        !resampler_ || lib_->swr_init(resampler_) < 0) {
      if (resampler_) lib_->swr_free(&resampler_);
      return false;
    }
    inFormat_ = f->format;
    inRate_ = f->sample_rate;
    inLayout_ = layout;
    if (inLayout_.order == AV_CHANNEL_ORDER_CUSTOM) inLayout_.u.map = nullptr;  // compared by count only
  }
  return Append(const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
}

// What the resampler still holds, once the decoder has given its last.
bool PacketSound::Flush() {
  if (!resampler_ || flushed_) return false;
  flushed_ = true;
  return Append(nullptr, 0);
}

bool PacketSound::Append(const uint8_t** in, int count) {
  const int room = lib_->swr_get_out_samples(resampler_, count);
  if (room <= 0) return false;
  // Frames already read go first, so pcm_ holds one frame's worth.
  pcm_.erase(pcm_.begin(), pcm_.begin() + ptrdiff_t(head_ * size_t(channels_)));
  pcmPos_ += int64_t(head_);
  head_ = 0;
  const size_t had = pcm_.size();
  pcm_.resize(had + size_t(room) * size_t(channels_));
  uint8_t* out = reinterpret_cast<uint8_t*>(pcm_.data() + had);
  int n = lib_->swr_convert(resampler_, &out, room, in, count);
  pcm_.resize(had + size_t(std::max(n, 0)) * size_t(channels_));
  return n > 0;
}

size_t PacketSound::Read(int16_t* out, size_t frames) {
  if (broken_ || !out) return 0;
  size_t done = 0;
  const size_t ch = size_t(channels_);
  try {
    while (done < frames && span_ < spans_.size()) {
      const Span& span = spans_[span_];
      if (pos_ >= span.end) {
        ++span_;
        started_ = false;
        continue;
      }
      size_t want = size_t(std::min<int64_t>(int64_t(frames - done), span.end - pos_));
      size_t silent = want;  // frames of silence to give, when no sound is there
      if (span.mediaTime >= 0) {
        if (!started_) Start(span);
        if (Left() == 0 && !over_ && !Decode(span)) over_ = true;
        if (Left() > 0) {
          const int64_t at = pcmPos_ + int64_t(head_);
          if (at + int64_t(Left()) <= pos_) {
            head_ += Left();  // before the target: dropped
            continue;
          }
          if (at < pos_) {
            head_ += size_t(pos_ - at);
            continue;
          }
          if (at == pos_) {
            size_t n = std::min(want, Left());
            memcpy(out + done * ch, pcm_.data() + head_ * ch, n * ch * sizeof(int16_t));
            head_ += n;
            pos_ += int64_t(n);
            done += n;
            continue;
          }
          // The media starts later than the edit asks: silence until it does.
          silent = size_t(std::min<int64_t>(int64_t(want), at - pos_));
        } else if (!over_) {
          continue;
        }
      }
      memset(out + done * ch, 0, silent * ch * sizeof(int16_t));
      pos_ += int64_t(silent);
      done += silent;
    }
  } catch (...) {
    broken_ = true;
  }
  return done;
}

}  // namespace

AVCodecID CodecOf(SoundCoding coding, const PcmForm& p) {
  switch (coding) {
    case SoundCoding::Pcm: break;
    case SoundCoding::MuLaw: return AV_CODEC_ID_PCM_MULAW;
    case SoundCoding::ALaw: return AV_CODEC_ID_PCM_ALAW;
    case SoundCoding::Ima4: return AV_CODEC_ID_ADPCM_IMA_QT;
    case SoundCoding::Mace3: return AV_CODEC_ID_MACE3;
    case SoundCoding::Mace6: return AV_CODEC_ID_MACE6;
    case SoundCoding::Aac: return AV_CODEC_ID_AAC;
    case SoundCoding::Mp3: return AV_CODEC_ID_MP3;
    case SoundCoding::Ac3: return AV_CODEC_ID_AC3;
    case SoundCoding::Alac: return AV_CODEC_ID_ALAC;
    case SoundCoding::AmrNb: return AV_CODEC_ID_AMR_NB;
    case SoundCoding::AmrWb: return AV_CODEC_ID_AMR_WB;
    case SoundCoding::None: return AV_CODEC_ID_NONE;
  }
  if (p.isFloat) {
    if (p.bits == 32) return p.bigEndian ? AV_CODEC_ID_PCM_F32BE : AV_CODEC_ID_PCM_F32LE;
    if (p.bits == 64) return p.bigEndian ? AV_CODEC_ID_PCM_F64BE : AV_CODEC_ID_PCM_F64LE;
    return AV_CODEC_ID_NONE;
  }
  switch (p.bits) {
    case 8: return p.isSigned ? AV_CODEC_ID_PCM_S8 : AV_CODEC_ID_PCM_U8;
    case 16: return p.bigEndian ? AV_CODEC_ID_PCM_S16BE : AV_CODEC_ID_PCM_S16LE;
    case 24: return p.bigEndian ? AV_CODEC_ID_PCM_S24BE : AV_CODEC_ID_PCM_S24LE;
    case 32: return p.bigEndian ? AV_CODEC_ID_PCM_S32BE : AV_CODEC_ID_PCM_S32LE;
  }
  return AV_CODEC_ID_NONE;
}

int PlayedSampleRate(int rate) { return rate < 8000 ? 8000 : rate > 48000 ? 48000 : rate; }

std::unique_ptr<SoundSource> OpenPacketSound(HANDLE file, const SoundPackets& packets, SoundStream stream,
                                             const std::vector<SoundSegment>& segments, uint32_t movieScale,
                                             std::shared_ptr<const void> keep) {
  if (file == INVALID_HANDLE_VALUE || !file) return nullptr;
  // From here on the feed owns the file.
  std::unique_ptr<FilePackets> feed(new (std::nothrow) FilePackets(file, packets, std::move(keep)));
  if (!feed) {
    CloseHandle(file);
    return nullptr;
  }
  if (feed->Size() == 0) return nullptr;
  return OpenFeedSound(std::move(feed), std::move(stream), segments, movieScale);
}

std::unique_ptr<SoundSource> OpenFeedSound(std::unique_ptr<PacketFeed> feed, SoundStream stream,
                                           const std::vector<SoundSegment>& segments, uint32_t movieScale) {
  if (!feed) return nullptr;
  std::unique_ptr<PacketSound> sound(new (std::nothrow) PacketSound(std::move(feed), std::move(stream)));
  if (!sound) return nullptr;
  bool ok = false;
  try {
    ok = sound->Open(segments, movieScale);
  } catch (...) {
  }
  if (!ok) return nullptr;
  return sound;
}

}  // namespace vmedia
