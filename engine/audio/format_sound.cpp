#include "engine/audio/format_sound.h"

#include <math.h>
#include <string.h>

#include <new>

#include "engine/audio/packet_sound.h"
#include "engine/platform/format_input.h"

namespace vmedia {
namespace {

// Opening on the sound player's thread: a bound only against a file that
// never answers.
constexpr DWORD kOpenBoundMs = 20000;
// Media decoded before a seek's target: MP3 reads back into earlier
// frames, AAC and Vorbis overlap each packet with the one before.
constexpr double kLeadSeconds = 0.25;
// Demuxers that seek by bytes may land past the target: then further back.
constexpr int kSeekAttempts = 5;

// Times in media units of `scale` a second, counted from the origin, so
// that movie time 0 is media time 0.
class FormatPackets : public PacketFeed {
 public:
  FormatPackets(std::unique_ptr<FormatInput> in, int stream, int64_t origin, uint32_t scale)
      : in_(std::move(in)), stream_(stream), scale_(scale), lib_(Codecs()) {
    const AVStream* s = in_->context()->streams[stream];
    base_ = s->time_base;
    origin_ = llround(double(origin) / 1e6 * base_.den / base_.num);
    start_ = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
    packet_ = lib_->av_packet_alloc();
  }
  ~FormatPackets() override {
    if (packet_) lib_->av_packet_free(&packet_);
  }
  bool ok() const { return packet_ != nullptr; }

  void Seek(int64_t time, uint32_t) override {
    const int64_t target = StreamTime(time);
    int64_t back = llround(kLeadSeconds * base_.den / base_.num);
    held_ = false;
    for (int attempt = 0; attempt < kSeekAttempts; ++attempt, back *= 4) {
      const bool last = attempt + 1 == kSeekAttempts;
      if (!in_->Seek(stream_, last ? start_ : target - back)) continue;
      if (!ReadOwn()) return;
      int64_t t = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
      if (last || t == AV_NOPTS_VALUE || t <= target) {
        held_ = true;
        return;
      }
    }
  }

  bool Next(std::vector<uint8_t>* bytes, uint32_t* size, int64_t* time) override {
    if (!held_ && !ReadOwn()) return false;
    held_ = false;
    if (packet_->size <= 0) return Next(bytes, size, time);
    try {
      bytes->assign(size_t(packet_->size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    } catch (...) {
      return false;
    }
    memcpy(bytes->data(), packet_->data, size_t(packet_->size));
    *size = uint32_t(packet_->size);
    int64_t t = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
    *time = t == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : MediaTime(t);
    lib_->av_packet_unref(packet_);
    return true;
  }

 private:
  int64_t StreamTime(int64_t media) const { return origin_ + llround(double(media) / scale_ * base_.den / base_.num); }
  int64_t MediaTime(int64_t t) const { return llround(double(t - origin_) * base_.num / base_.den * scale_); }
  bool ReadOwn() {
    for (;;) {
      lib_->av_packet_unref(packet_);
      if (!in_->Read(packet_)) return false;
      if (packet_->stream_index == stream_) return true;
    }
  }

  const std::unique_ptr<FormatInput> in_;
  const int stream_;
  const uint32_t scale_;
  const CodecLibrary* const lib_;
  AVRational base_{1, 1};
  int64_t origin_ = 0, start_ = 0;  // stream units
  AVPacket* packet_ = nullptr;
  bool held_ = false;  // packet_ is the next one to give
};

}  // namespace

std::unique_ptr<SoundSource> OpenFormatSound(const std::wstring& path, int stream, int64_t origin, int32_t timeScale,
                                             int32_t duration) {
  const CodecLibrary* lib = Codecs();
  if (!lib || !lib->swr_init || timeScale <= 0 || duration <= 0) return nullptr;
  std::unique_ptr<FormatInput> in = FormatInput::Open(path, kOpenBoundMs, FormatInput::Index::WhenSeeking);
  if (!in) return nullptr;
  in->Bound(0);
  AVFormatContext* c = in->context();
  if (stream < 0 || unsigned(stream) >= c->nb_streams) return nullptr;
  const AVStream* s = c->streams[stream];
  if (s->time_base.num <= 0 || s->time_base.den <= 0 || s->codecpar->sample_rate <= 0) return nullptr;
  for (unsigned i = 0; i < c->nb_streams; ++i)
    if (int(i) != stream) c->streams[i]->discard = AVDISCARD_ALL;
  SoundStream sound;
  sound.parameters = s->codecpar;
  // Frames of the stream's own rate: every one of them has a time.
  sound.mediaScale = uint32_t(s->codecpar->sample_rate);
  std::unique_ptr<FormatPackets> feed(
      new (std::nothrow) FormatPackets(std::move(in), stream, origin, sound.mediaScale));
  if (!feed || !feed->ok()) return nullptr;
  std::vector<SoundSegment> segments{SoundSegment{0, duration, 0}};
  try {
    return OpenFeedSound(std::move(feed), std::move(sound), segments, uint32_t(timeScale));
  } catch (...) {
    return nullptr;
  }
}

}  // namespace vmedia
