#include "engine/playback/timeline.h"

namespace vmedia {

int ShownIndex(const Timeline& tl, int64_t t) {
  const int shown = IndexAtOrBefore(tl.videoTimes, t);
  const int blank = IndexAtOrBefore(tl.blankTimes, t);
  if (shown >= 0 && blank >= 0 && tl.blankTimes[size_t(blank)] > tl.videoTimes[size_t(shown)]) return -1;
  return shown;
}

}  // namespace vmedia
