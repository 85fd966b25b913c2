// The movie model: what a QuickTime / ISO base media file (.mov, .mp4, .m4v,
// .m4a, .3gp) says about itself in its moov tables and, in a fragmented
// file, in its movie fragments (moof), read without decoding a sample.
// Durations, sizes, the times of video frames and the steps of time code
// text all come from here, and so do the decoders' sample tables.
//
// Untrusted input: ParseMovie reads at most kMaxMoovBytes of the moov and as
// much again of movie fragments, refuses counts that the file's size cannot
// back, and never throws; every query below is safe on whatever model it
// returned Ok for.
#pragma once
#include <stdint.h>

#include <vector>

#include "engine/container/byte_source.h"
#include "engine/container/hundredth_steps.h"
#include "engine/container/sample_description.h"
#include "engine/container/sample_table.h"

namespace vmedia {

// Bounds on what a file may make us hold.
constexpr uint64_t kMaxMoovBytes = 256u << 20;
constexpr uint32_t kMaxTracks = 1024;
constexpr uint32_t kMaxVideoSamples = 1u << 24;  // summed over video tracks

struct EditSegment {
  int64_t movieDuration;  // movie units
  int64_t mediaTime;      // media units; -1 = empty edit, nothing shown
  int32_t rateFixed;      // 16.16; 0 holds the frame at mediaTime
};

struct Track {
  uint32_t id = 0;
  TrackKind kind = TrackKind::Other;
  SampleDescription description;  // the first sample description
  bool enabled = true;         // tkhd flag 1; a disabled track is not presented
  uint32_t mediaTimeScale = 0;
  int64_t mediaDuration = 0;   // media units (mdhd)
  int64_t tkhdDuration = 0;    // movie units
  // Video: how a viewer is to see the picture the description stores.
  // Display size before the turn: the tkhd size (16.16) when it is set and is
  // not just the description's size of non-square pixels, else that width
  // times the pixel aspect by that height.
  double width = 0, height = 0;
  // From the tkhd matrix: the picture is flipped left to right first when
  // mirrored, then turned this many degrees clockwise (0, 90, 180 or 270).
  // A matrix that is not such a combination (a shear, a free angle) counts
  // as neither.
  int turn = 0;
  bool mirrored = false;
  // As in the file; with fragment samples, the last edit, tkhdDuration and
  // mediaDuration are stretched to cover them. Without an edit list media
  // time 0 is movie time 0 and the track lasts tkhdDuration.
  std::vector<EditSegment> edits;
  uint32_t sampleCount = 0;    // samples both the size and the time tables cover
  // Of those, the ones read from movie fragments: they follow the moov's
  // own samples, one chunk per track run.
  uint32_t fragmentSamples = 0;
  SampleTable samples;         // decode order; see sample_table.h
};

struct PictureSize {
  int width = 0, height = 0;
};

// The picture to draw or capture for a video track: its display size after
// the turn (width and height swapped for 90 and 270), rounded to whole
// pixels and kept within 0..32767.
PictureSize DisplaySize(const Track& t);

// Whether the file holds a track's sample bytes, judged by its first and
// last samples in decode order:
//   None:  no samples, or the first one's bytes are not within the file (a
//          moov cut from its media data, offsets pointing elsewhere); the
//          track cannot show or sound anything.
//   Cut:   the first sample's bytes are there, the last one's are not (a
//          file cut short: it plays up to the cut).
//   Whole: both are there.
enum class SampleData { None, Cut, Whole };
SampleData SampleDataInFile(const Track& t);

struct MovieModel {
  uint32_t timeScale = 0;      // never 0 after Ok
  // Movie units, fits int32: mvhd's, else the longest track's; in a
  // fragmented file at least mehd's and what the fragments' samples cover.
  int64_t duration = 0;
  int width = 0, height = 0;   // DisplaySize of the video track, 0x0 if none
  std::vector<Track> tracks;

  // Index in tracks of the video track: the first enabled video track with
  // samples; -1 if none. Its frames are the video sample times, its size
  // the movie's: the one track to decode.
  int videoTrack() const;
  bool hasVideo() const;       // videoTrack() >= 0
  // Index in tracks of the first enabled sound track with samples, the one
  // track to sound; -1 if none.
  int soundTrack() const;
  bool hasSound() const;       // soundTrack() >= 0
};

enum class ParseStatus {
  Ok,
  NotAMovie,    // no box structure or no moov
  Truncated,    // the moov or a box before it runs past the end of the file
  Corrupt,      // impossible sizes, zero time scale, tables that cannot be read
  TooLarge,     // beyond the bounds above, or a duration past int32
  Unsupported,  // compressed moov
};

// Fills *out only with Ok; leaves it empty otherwise. The first movie
// fragment that cannot be read whole (cut short, tables that overrun their
// box, data outside the file) ends the fragments: the model keeps the
// samples of those before it.
ParseStatus ParseMovie(ByteSource& src, MovieModel* out);

// Movie times (ascending, distinct, in [0, duration)) at which a frame of
// the video track (MovieModel::videoTrack) starts to show, its edit list
// applied: the times a walk over next-interesting video samples visits. A
// frame already showing when an edit begins counts at the edit's start.
std::vector<int32_t> VideoSampleTimes(const MovieModel& movie);

// VideoSampleTimes and, for each of its entries in the same order, the
// decode index (into the samples of MovieModel::videoTrack()) of the sample
// shown from that movie time on, the edit list applied; where several
// frames fall on one movie time (media finer than the movie's time scale),
// the last of them. Also the movie times (ascending) at which an edit
// starts that shows no frame there (an empty edit, or media with none on
// at its start): from each, nothing shows until the next of the times. Any
// pointer may be null.
void VideoSamples(const MovieModel& movie, std::vector<int32_t>* times, std::vector<uint32_t>* indices,
                  std::vector<int32_t>* blanks = nullptr);

// The track's edit list as presented: its own, else one edit of media time
// 0 at movie time 0 for the track's duration (tkhd, else mdhd, else the
// movie's).
std::vector<EditSegment> PresentedEdits(const Track& t, const MovieModel& movie);

// One sample of a track, decode order, as stored.
struct SampleRef {
  uint64_t offset = 0;           // file offset of its bytes
  uint32_t size = 0;
  int64_t decodeTime = 0;        // media units
  int64_t presentationTime = 0;  // decode time + composition offset, media units
  uint32_t duration = 0;         // media units
  bool sync = false;             // a sync sample (key frame)
};

// False (*out untouched) when the tables do not reach the sample, it is not
// below the track's sampleCount, or its bytes lie outside the file.
bool SampleAt(const Track& t, uint32_t sample, SampleRef* out);

// Step times. With video these are the video sample times. Without video,
// and with an enabled sound track that has samples, HundredthSteps. Empty
// otherwise.
std::vector<int32_t> StepTimes(const MovieModel& movie);

}  // namespace vmedia
