#include "engine/objects/format_timeline.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "engine/container/frame_walk.h"
#include "engine/objects/status.h"
#include "engine/platform/format_input.h"
#include "engine/platform/handle_source.h"

namespace vmedia {
namespace {

// What the host's thread may wait for. A file libavformat knows opens
// natively within 100 ms (a 4K H.264 stream, whose first pictures the probe
// decodes, is the slowest) and reads at most about 6 MiB to its first
// packet; a slow or emulated machine is up to ten times slower, but reads
// no more. A file of noise behind a real head is read on for as long as it
// lasts: the bytes stop it in a tenth of a second natively, the time only
// what spins without reading.
constexpr DWORD kOpenBoundMs = 2000;
constexpr uint64_t kOpenBoundBytes = 16u << 20;
// Counting the frames or packets of a file whose container gives no exact
// length: two hours of MP3 natively in 20 ms; past the bound the
// container's estimate stands.
constexpr DWORD kScanBoundMs = 500;
constexpr int64_t kMicros = 1000000;
// Files up to this size have their pictures' own times read from their
// packets, so that a variable frame rate (a browser's or a screen
// recorder's WebM) shows each picture for as long as it lasts; larger ones
// take evenly spaced times at the average rate. Reading them is about a
// tenth of the counting bound natively.
constexpr uint64_t kFrameTimesBytes = 32u << 20;
// Nor more pictures than this, by the average rate: reading a packet costs
// more than its bytes, and two hours of small pictures fit in 23 MiB.
constexpr double kFrameTimesMost = 20000;

double Seconds(int64_t v, AVRational tb) { return double(v) * tb.num / tb.den; }

bool Decodable(const AVStream* s) {
  const CodecLibrary* codecs = Codecs();
  return codecs && codecs->avcodec_find_decoder(s->codecpar->codec_id) != nullptr;
}

// Where a stream begins and ends, in microseconds of the file's clock.
struct Span {
  int64_t start = 0, end = 0;
};

Span SpanOf(const AVFormatContext* c, const AVStream* s) {
  Span span;
  const int64_t fileStart = c->start_time != AV_NOPTS_VALUE ? c->start_time : 0;
  span.start = s->start_time != AV_NOPTS_VALUE ? llround(Seconds(s->start_time, s->time_base) * kMicros) : fileStart;
  if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
    span.end = span.start + llround(Seconds(s->duration, s->time_base) * kMicros);
  else if (c->duration != AV_NOPTS_VALUE && c->duration > 0)
    span.end = fileStart + c->duration;
  else
    span.end = span.start;
  return span;
}

// The exact ends of the chosen streams from their packets, where the
// container only estimates them (MP3 without a seek table, ADTS AAC).
// False when the scan does not finish within its bound.
bool ScanSpans(FormatInput& in, const int* streams, Span* spans, int count) {
  const CodecLibrary* codecs = Codecs();
  AVPacket* packet = codecs->av_packet_alloc();
  if (!packet) return false;
  in.Bound(kScanBoundMs);
  Span found[2];
  bool seen[2] = {false, false};
  bool whole = false;
  for (;;) {
    if (!in.Read(packet)) {
      whole = in.AtEnd();
      break;
    }
    for (int i = 0; i < count; ++i) {
      if (packet->stream_index != streams[i]) continue;
      const AVStream* s = in.context()->streams[streams[i]];
      int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      if (t == AV_NOPTS_VALUE) continue;
      const int64_t start = llround(Seconds(t, s->time_base) * kMicros);
      const int64_t end = llround(Seconds(t + std::max<int64_t>(packet->duration, 0), s->time_base) * kMicros);
      if (!seen[i]) found[i] = Span{start, end};
      found[i].start = std::min(found[i].start, start);
      found[i].end = std::max(found[i].end, end);
      seen[i] = true;
    }
    codecs->av_packet_unref(packet);
  }
  codecs->av_packet_free(&packet);
  if (!whole) return false;
  // The ends only: the scan starts where the reading stands.
  for (int i = 0; i < count; ++i)
    if (seen[i]) spans[i].end = std::max(found[i].end, spans[i].start);
  return true;
}

// Bare MPEG audio and ADTS AAC, by libavformat's readers of them.
bool FrameKindOf(const AVFormatContext* c, FrameKind* kind) {
  const char* name = c->iformat ? c->iformat->name : nullptr;
  if (!name) return false;
  if (strcmp(name, "mp3") == 0) *kind = FrameKind::MpegAudio;
  else if (strcmp(name, "aac") == 0) *kind = FrameKind::Adts;
  else return false;
  return true;
}

// The exact end of a sound of bare frames from their headers: a walk over
// the file in large blocks, far cheaper than reading its packets. False
// when it cannot tell within its bound.
bool WalkSpan(HANDLE file, FrameKind kind, Span* span) {
  HandleSource src(file);
  const DWORD start = GetTickCount();
  WalkLimits limits;
  limits.outOfTime = [start] { return GetTickCount() - start > kScanBoundMs; };
  const FrameWalk w = WalkFrames(src, kind, limits);
  if (w.end != WalkEnd::Whole || w.frames == 0 || w.sampleRate == 0) return false;
  span->end = span->start + llround(double(w.samples) * kMicros / w.sampleRate);
  return true;
}

// Whether a packet of one of the chosen streams can be read: a file cut
// within its first packet has streams but nothing to play.
bool HasPacket(FormatInput& in, const int* streams, int count) {
  const CodecLibrary* codecs = Codecs();
  AVPacket* packet = codecs->av_packet_alloc();
  if (!packet) return false;
  bool found = false;
  for (int read = 0; read < 1024 && !found && in.Read(packet); ++read) {
    for (int i = 0; i < count; ++i) found = found || (packet->stream_index == streams[i] && packet->size > 0);
    codecs->av_packet_unref(packet);
  }
  codecs->av_packet_free(&packet);
  return found;
}

int32_t ToMovie(int64_t micros, int32_t scale) { return int32_t(llround(double(micros) * scale / kMicros)); }

// Every picture's time (microseconds of the file's clock, in order), from
// the packets of `stream` read afresh from the file's start. False when a
// packet carries no time, the reading does not finish within its bound, or
// there are more than `most`: then the average rate stands.
bool ReadFrameTimes(const std::wstring& path, int stream, size_t most, std::vector<int64_t>* times) {
  std::unique_ptr<FormatInput> in =
      FormatInput::Open(path, kOpenBoundMs, FormatInput::Index::WhenSeeking, kOpenBoundBytes);
  if (!in || unsigned(stream) >= in->context()->nb_streams) return false;
  AVFormatContext* c = in->context();
  for (unsigned i = 0; i < c->nb_streams; ++i)
    if (int(i) != stream) c->streams[i]->discard = AVDISCARD_ALL;
  const AVStream* s = c->streams[stream];
  const CodecLibrary* codecs = Codecs();
  AVPacket* packet = codecs->av_packet_alloc();
  if (!packet) return false;
  in->Bound(kScanBoundMs);
  bool timed = true;
  while (timed && in->Read(packet)) {
    if (packet->stream_index == stream) {
      timed = packet->pts != AV_NOPTS_VALUE && times->size() < most;
      if (timed) times->push_back(llround(Seconds(packet->pts, s->time_base) * kMicros));
    }
    codecs->av_packet_unref(packet);
  }
  codecs->av_packet_free(&packet);
  const bool whole = timed && in->AtEnd();
  if (!whole || times->size() < 2) return false;
  std::sort(times->begin(), times->end());
  return true;
}

}  // namespace

OSErr ReadFormatTimeline(HANDLE file, const std::wstring& path, Timeline* tl) {
  std::unique_ptr<FormatInput> in =
      FormatInput::Open(path, kOpenBoundMs, FormatInput::Index::WhenSeeking, kOpenBoundBytes);
  if (!in) return noMovieFound;
  AVFormatContext* c = in->context();
  int video = -1, sound = -1;
  for (unsigned i = 0; i < c->nb_streams && i < 4096; ++i) {
    const AVStream* s = c->streams[i];
    const AVCodecParameters* p = s->codecpar;
    if (p->codec_type == AVMEDIA_TYPE_VIDEO && video < 0 && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
        p->width > 0 && p->height > 0 && Decodable(s))
      video = int(i);
    if (p->codec_type == AVMEDIA_TYPE_AUDIO && sound < 0 && p->sample_rate > 0 && Decodable(s)) sound = int(i);
  }
  if (video < 0 && sound < 0) return noMovieFound;

  int streams[2], count = 0;
  if (video >= 0) streams[count++] = video;
  if (sound >= 0) streams[count++] = sound;
  if (!HasPacket(*in, streams, count)) return invalidMovie;
  Span spans[2];
  for (int i = 0; i < count; ++i) spans[i] = SpanOf(c, c->streams[streams[i]]);
  if (c->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE || spans[count - 1].end <= spans[count - 1].start) {
    // Without an exact length the estimate stands.
    FrameKind kind;
    if (video < 0 && FrameKindOf(c, &kind)) WalkSpan(file, kind, &spans[0]);
    else ScanSpans(*in, streams, spans, count);
  }
  int64_t origin = spans[0].start, end = spans[0].end;
  for (int i = 1; i < count; ++i) origin = std::min(origin, spans[i].start), end = std::max(end, spans[i].end);
  if (end <= origin) return invalidMovie;

  // Video: its own time base, so frames fall on whole units; sound alone:
  // its sample rate, so every frame of it has a time of its own.
  int32_t scale = 600;
  if (video >= 0) {
    AVRational tb = c->streams[video]->time_base;
    if (tb.num >= 1 && tb.den >= 1 && tb.den <= 10000000) scale = tb.den;
  } else {
    scale = c->streams[sound]->codecpar->sample_rate;
  }
  if (double(end - origin) * scale / kMicros > INT32_MAX) scale = 600;
  if (double(end - origin) * scale / kMicros > INT32_MAX) return invalidMovie;
  tl->timeScale = scale;
  tl->duration = std::max(ToMovie(end - origin, scale), 1);
  tl->hasSound = sound >= 0;
  tl->format = FormatStreams{video, sound, origin};

  if (video >= 0) {
    const AVStream* s = c->streams[video];
    const AVCodecParameters* p = s->codecpar;
    double w = p->width, h = p->height;
    if (p->sample_aspect_ratio.num > 0 && p->sample_aspect_ratio.den > 0)
      w = w * p->sample_aspect_ratio.num / p->sample_aspect_ratio.den;
    if (w > kMaxPictureSide || h > kMaxPictureSide || w * h > double(kMaxPicturePixels)) return invalidMovie;
    tl->width = std::max(int32_t(lround(w)), 1);
    tl->height = int32_t(h);
    tl->fullRangeVideo = p->color_range == AVCOL_RANGE_JPEG || p->codec_id == AV_CODEC_ID_MJPEG;
    AVRational rate = s->avg_frame_rate.num > 0 && s->avg_frame_rate.den > 0 ? s->avg_frame_rate : s->r_frame_rate;
    double fps = rate.num > 0 && rate.den > 0 ? double(rate.num) / rate.den : 25.0;
    if (!(fps >= 0.1 && fps <= 1000)) fps = 25.0;
    const Span& vs = spans[0];
    const int64_t first = ToMovie(vs.start - origin, scale), last = ToMovie(vs.end - origin, scale);
    int32_t previous = -1;
    // AVI's pictures come at its one rate, and its packets carry no times.
    std::vector<int64_t> own;
    const bool avi = c->iformat && c->iformat->name && strcmp(c->iformat->name, "avi") == 0;
    const double expected = double(tl->duration) / scale * fps;
    if (!avi && in->size() <= kFrameTimesBytes && expected <= kFrameTimesMost &&
        ReadFrameTimes(path, video, size_t(2 * kFrameTimesMost), &own)) {
      for (int64_t micros : own) {
        const int64_t t = ToMovie(micros - origin, scale);
        if (t >= tl->duration) break;
        if (t >= 0 && int32_t(t) > previous) tl->videoTimes.push_back(int32_t(t));
        previous = std::max(previous, int32_t(t));
      }
    } else {
      for (int64_t k = 0; k < int64_t(kMaxVideoSamples); ++k) {
        int64_t t = first + llround(double(k) * scale / fps);
        if (t >= last || t >= tl->duration) break;
        if (int32_t(t) > previous) tl->videoTimes.push_back(int32_t(t));
        previous = int32_t(t);
      }
    }
    if (tl->videoTimes.empty()) tl->videoTimes.push_back(int32_t(std::min<int64_t>(first, tl->duration - 1)));
    tl->hasVideo = true;
    tl->stepTimes = tl->videoTimes;
  } else {
    // Sound alone steps in hundredths of a second, as QuickTime's do.
    for (int64_t k = 0; k * scale / 100 < tl->duration && k < int64_t(kMaxSteps); ++k)
      tl->stepTimes.push_back(int32_t(k * scale / 100));
  }
  return noErr;
}

}  // namespace vmedia
