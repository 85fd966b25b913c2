// Movie-time views of the samples: the times at which a video frame starts
// to show, through the track's edit list, and the steps of time code text.
#include <algorithm>
#include <limits>

#include "engine/container/hundredth_steps.h"
#include "engine/container/media_time.h"
#include "engine/container/movie_file.h"

namespace vmedia {

namespace {

constexpr int32_t kRateOne = 0x10000;

// A positive edit rate; negative rates (reverse play) are read as 1.
uint64_t Rate(const EditSegment& e) { return e.rateFixed > 0 ? uint64_t(e.rateFixed) : kRateOne; }

int64_t MediaToMovie(int64_t media, const Track& t, uint32_t movieScale, const EditSegment& e) {
  int64_t v = MulDiv(media, movieScale, t.mediaTimeScale);
  return Rate(e) == kRateOne ? v : MulDiv(v, kRateOne, Rate(e));
}

// The edit list as presented: without one, media time 0 starts at movie
// time 0 and runs for the track's duration. Not copied: some files list
// thousands of edits.
class Edits {
 public:
  Edits(const Track& t, const MovieModel& m) {
    if (!t.edits.empty()) {
      begin_ = t.edits.data();
      end_ = begin_ + t.edits.size();
      return;
    }
    int64_t d = t.tkhdDuration;
    if (d <= 0) d = MulDiv(t.mediaDuration, m.timeScale, t.mediaTimeScale);
    if (d <= 0) d = m.duration;
    implicit_ = EditSegment{d, 0, kRateOne};
    begin_ = &implicit_;
    end_ = begin_ + 1;
  }
  Edits(const Edits&) = delete;
  const EditSegment* begin() const { return begin_; }
  const EditSegment* end() const { return end_; }

 private:
  EditSegment implicit_{};
  const EditSegment* begin_;
  const EditSegment* end_;
};

bool Presentable(const Track& t) {
  return t.kind == TrackKind::Video && t.enabled && !t.samples.presentationTimes.empty();
}

// Whether some frame is still showing at media time m when nothing starts
// there: the last frame before m, unless m is past its end.
bool ShowingAt(const SampleTable& s, size_t k, int64_t m) {
  const auto& pt = s.presentationTimes;
  if (k < pt.size() && pt[k] == m) return true;
  if (k == 0) return false;
  if (k < pt.size()) return true;
  return m < pt[k - 1] + int64_t(s.Duration(s.presentationOrder[k - 1]));
}

}  // namespace

namespace {

// A movie time at which a frame starts to show, and the frame (its index in
// presentation order).
struct Shown {
  int32_t time;
  uint32_t frame;
};

// The walk behind VideoSamples: ascending, distinct times, the last frame
// to land on each; and the starts of the edits that show nothing there.
std::vector<Shown> ShownFrames(const MovieModel& movie, std::vector<int32_t>* blanks) {
  std::vector<Shown> out;
  const int video = movie.videoTrack();
  if (video < 0 || !Presentable(movie.tracks[size_t(video)])) return out;
  const Track& t = movie.tracks[size_t(video)];
  try {
    const auto& pt = t.samples.presentationTimes;
    auto add = [&](int64_t at, size_t frame) {
      if (!out.empty() && out.back().time == at) out.back().frame = uint32_t(frame);
      else out.push_back({int32_t(at), uint32_t(frame)});
    };
    // Edits may replay the media; a file that replays it without end gets
    // a cut list, not a hang.
    uint64_t budget = 16 * uint64_t(pt.size()) + (1u << 20);
    const int64_t end = movie.duration;
    int64_t t0 = 0;
    for (const EditSegment& e : Edits(t, movie)) {
      if (t0 >= end || budget == 0) break;
      const int64_t segEnd = std::min(end, t0 + e.movieDuration);
      if (e.movieDuration > 0) {
        size_t k = 0;
        bool showing = false;
        if (e.mediaTime >= 0) {
          k = size_t(std::lower_bound(pt.begin(), pt.end(), e.mediaTime) - pt.begin());
          showing = ShowingAt(t.samples, k, e.mediaTime);
        }
        // An empty edit, or media with no frame on at the edit's start:
        // nothing shows until the edit's next frame.
        if (!showing) {
          blanks->push_back(int32_t(t0));
        } else {
          // The frame on at the edit's media time: the last of those
          // starting there, else the one before it.
          size_t on = k;
          while (on + 1 < pt.size() && pt[on + 1] == e.mediaTime) ++on;
          add(t0, k < pt.size() && pt[k] == e.mediaTime ? on : k - 1);
        }
        for (size_t j = k; e.mediaTime >= 0 && e.rateFixed != 0 && j < pt.size() && budget; ++j, --budget) {
          int64_t at = t0 + MediaToMovie(pt[j] - e.mediaTime, t, movie.timeScale, e);
          if (at >= segEnd) break;
          add(at, j);
        }
      }
      t0 += e.movieDuration;
    }
    // Edits follow each other in movie time, so the list is already in
    // order; a stable sort keeps the last frame of each time last.
    if (!std::is_sorted(out.begin(), out.end(), [](const Shown& a, const Shown& b) { return a.time < b.time; })) {
      std::stable_sort(out.begin(), out.end(), [](const Shown& a, const Shown& b) { return a.time < b.time; });
      size_t w = 0;
      for (size_t i = 0; i < out.size(); ++i) {
        if (w && out[w - 1].time == out[i].time) out[w - 1] = out[i];
        else out[w++] = out[i];
      }
      out.resize(w);
      std::sort(blanks->begin(), blanks->end());
    }
  } catch (...) {
    out.clear();
    blanks->clear();
  }
  return out;
}

}  // namespace

void VideoSamples(const MovieModel& movie, std::vector<int32_t>* times, std::vector<uint32_t>* indices,
                  std::vector<int32_t>* blanks) {
  if (times) times->clear();
  if (indices) indices->clear();
  if (blanks) blanks->clear();
  try {
    std::vector<int32_t> starts;
    std::vector<Shown> shown = ShownFrames(movie, &starts);
    if (blanks) *blanks = std::move(starts);
    if (shown.empty()) return;
    if (times) {
      times->reserve(shown.size());
      for (const Shown& s : shown) times->push_back(s.time);
    }
    if (indices) {
      const std::vector<uint32_t>& order = movie.tracks[size_t(movie.videoTrack())].samples.presentationOrder;
      indices->reserve(shown.size());
      for (const Shown& s : shown) indices->push_back(s.frame < order.size() ? order[s.frame] : 0);
    }
  } catch (...) {
    if (times) times->clear();
    if (indices) indices->clear();
    if (blanks) blanks->clear();
  }
}

std::vector<int32_t> VideoSampleTimes(const MovieModel& movie) {
  std::vector<int32_t> out;
  VideoSamples(movie, &out, nullptr);
  return out;
}

std::vector<EditSegment> PresentedEdits(const Track& t, const MovieModel& movie) {
  Edits edits(t, movie);
  return std::vector<EditSegment>(edits.begin(), edits.end());
}

std::vector<int32_t> StepTimes(const MovieModel& movie) {
  std::vector<int32_t> out = VideoSampleTimes(movie);
  if (!out.empty() || !movie.hasSound()) return out;
  return HundredthSteps(movie.duration, movie.timeScale);
}

}  // namespace vmedia
