#include "engine/video/sample_times.h"

#include <algorithm>
#include <cmath>

namespace vmedia {

int IndexAtOrBefore(const std::vector<int32_t>& times, int64_t t) {
  auto it = std::upper_bound(times.begin(), times.end(), t,
                             [](int64_t v, int32_t e) { return v < e; });
  return static_cast<int>(it - times.begin()) - 1;
}

int NearestIndex(const std::vector<int32_t>& times, double t) {
  if (times.empty()) return -1;
  auto it = std::lower_bound(times.begin(), times.end(), t,
                             [](int32_t e, double v) { return e < v; });
  if (it == times.end()) return static_cast<int>(times.size()) - 1;
  if (it == times.begin()) return 0;
  auto prev = it - 1;
  return static_cast<int>((t - *prev <= *it - t ? prev : it) - times.begin());
}

int32_t NextTime(const std::vector<int32_t>& times, int32_t t, bool backward, bool edgeOk,
                 int32_t end, int32_t* length, size_t* hint) {
  int i;
  if (!backward) {
    auto after = [&](int32_t v) { return edgeOk ? v >= t : v > t; };
    const size_t h = hint ? *hint : times.size();
    if (h < times.size() && after(times[h]) && (h == 0 || !after(times[h - 1]))) {
      i = static_cast<int>(h);
    } else {
      auto it = edgeOk ? std::lower_bound(times.begin(), times.end(), t)
                       : std::upper_bound(times.begin(), times.end(), t);
      i = static_cast<int>(it - times.begin());
    }
    if (i >= static_cast<int>(times.size())) return -1;
    if (hint) *hint = size_t(i) + 1;
  } else {
    auto it = edgeOk ? std::upper_bound(times.begin(), times.end(), t)
                     : std::lower_bound(times.begin(), times.end(), t);
    i = static_cast<int>(it - times.begin()) - 1;
    if (i < 0) return -1;
  }
  if (length) {
    int32_t following = i + 1 < static_cast<int>(times.size()) ? times[i + 1] : end;
    *length = following > times[i] ? following - times[i] : 0;
  }
  return times[i];
}

std::vector<int32_t> UniformTimes(int32_t duration, int32_t timeScale, double fps) {
  std::vector<int32_t> times;
  if (!(fps > 0) || !std::isfinite(fps) || duration <= 0 || timeScale <= 0) return times;
  double frames = std::ceil(duration / static_cast<double>(timeScale) * fps - 1e-6);
  if (frames > 10e6) return times;
  int32_t last = -1;
  for (int64_t k = 0; k < static_cast<int64_t>(frames); ++k) {
    int32_t v = static_cast<int32_t>(std::llround(k * timeScale / fps));
    if (v >= duration) break;
    if (v > last) times.push_back(v);
    last = v;
  }
  return times;
}

}  // namespace vmedia
