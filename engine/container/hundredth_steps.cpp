#include "engine/container/hundredth_steps.h"

#include <algorithm>

#include "engine/container/media_time.h"

namespace vmedia {

std::vector<int32_t> HundredthSteps(int64_t duration, uint32_t timeScale) {
  std::vector<int32_t> out;
  if (duration <= 0 || timeScale == 0) return out;
  try {
    const uint64_t hundredths = uint64_t(MulDiv(duration, 100, timeScale)) + 1;
    const uint64_t step = std::max<uint64_t>(1, (hundredths + kMaxSteps - 1) / kMaxSteps);
    out.reserve(size_t(std::min<uint64_t>(hundredths / step + 1, kMaxSteps + 1)));
    for (uint64_t k = 0;; ++k) {
      const int64_t at = MulDiv(int64_t(k * step), timeScale, 100);
      if (at >= duration) break;
      // A time scale below 100 gives some hundredths the same unit.
      if (out.empty() || out.back() != at) out.push_back(int32_t(at));
    }
  } catch (...) {
    out.clear();
  }
  return out;
}

}  // namespace vmedia
