// The steps of a movie without video: one every hundredth of a second, so
// that the frames field of time code text reads as hundredths for sound.
#pragma once
#include <stdint.h>

#include <vector>

namespace vmedia {

// Past about 11 hours the step widens so that no more are listed.
constexpr uint32_t kMaxSteps = 1u << 22;

// Movie times floor(k * timeScale / 100) below duration, ascending and
// distinct; duration fits int32. Empty for no duration or time scale.
std::vector<int32_t> HundredthSteps(int64_t duration, uint32_t timeScale);

}  // namespace vmedia
