// The movie model: what a QuickTime / ISO base media file (.mov, .mp4, .m4v,
// .m4a, .3gp) says about itself in its moov tables, read without decoding a
// sample. Durations, sizes and the times of video frames all come from here.
//
// Untrusted input: ParseMovie reads at most kMaxMoovBytes of the file,
// refuses counts that the file's size cannot back, and never throws; every
// query below is safe on whatever model it returned Ok for.
#pragma once
#include <stdint.h>

#include <vector>

#include "engine/container/byte_source.h"
#include "engine/container/sample_table.h"

namespace vmedia {

// Bounds on what a file may make us hold.
constexpr uint64_t kMaxMoovBytes = 256u << 20;
constexpr uint32_t kMaxTracks = 1024;
constexpr uint32_t kMaxVideoSamples = 1u << 24;  // summed over video tracks

enum class TrackKind { Video, Sound, Other };

struct EditSegment {
  int64_t movieDuration;  // movie units
  int64_t mediaTime;      // media units; -1 = empty edit, nothing shown
  int32_t rateFixed;      // 16.16; 0 holds the frame at mediaTime
};

struct Track {
  uint32_t id = 0;
  TrackKind kind = TrackKind::Other;
  uint32_t handler = 0;        // hdlr subtype, e.g. 'vide', 'soun', 'tmcd'
  uint32_t codec = 0;          // first sample description's format, e.g. 'avc1'
  bool enabled = true;         // tkhd flag 1; a disabled track is not presented
  uint32_t mediaTimeScale = 0;
  int64_t mediaDuration = 0;   // media units (mdhd)
  int64_t tkhdDuration = 0;    // movie units
  double width = 0, height = 0;  // tkhd 16.16
  // As in the file. Without an edit list media time 0 is movie time 0 and
  // the track lasts tkhdDuration.
  std::vector<EditSegment> edits;
  uint32_t sampleCount = 0;    // samples both the size and the time tables cover
  SampleTable samples;         // decode order; see sample_table.h
};

struct MovieModel {
  uint32_t timeScale = 0;      // never 0 after Ok
  int64_t duration = 0;        // movie units, fits int32; mvhd, else the longest track
  int width = 0, height = 0;   // first enabled video track's tkhd size, 0x0 if none
  std::vector<Track> tracks;

  bool hasVideo() const;       // an enabled video track with samples
  bool hasSound() const;       // an enabled sound track with samples
};

enum class ParseStatus {
  Ok,
  NotAMovie,    // no box structure or no moov
  Truncated,    // the moov or a box before it runs past the end of the file
  Corrupt,      // impossible sizes, zero time scale, tables that cannot be read
  TooLarge,     // beyond the bounds above, or a duration past int32
  Unsupported,  // compressed moov, or samples only in movie fragments
};

// Fills *out only with Ok; leaves it empty otherwise.
ParseStatus ParseMovie(ByteSource& src, MovieModel* out);

// Movie times (ascending, distinct, in [0, duration)) at which a video frame
// of an enabled video track starts to show, the edit lists applied: the
// times a walk over next-interesting video samples visits. A frame already
// showing when an edit begins counts at the edit's start.
std::vector<int32_t> VideoSampleTimes(const MovieModel& movie);

// Step times. With video these are the video sample times. Without video,
// and with an enabled sound track that has samples, one step every
// hundredth of a second (floor(k * timeScale / 100)), so that the frames
// field of time code text reads as hundredths for sound; past about 11
// hours the step widens so that no more than kMaxSteps are listed. Empty
// otherwise.
constexpr uint32_t kMaxSteps = 1u << 22;
std::vector<int32_t> StepTimes(const MovieModel& movie);

}  // namespace vmedia
