// Arithmetic on media and movie times shared by the reader's files.
#pragma once
#include <stdint.h>

#include <limits>

namespace vmedia {

// Decode times stay far from int64 overflow even with offsets added.
constexpr uint64_t kMaxMediaTime = uint64_t(1) << 62;

// floor(a * b / c) for a >= 0 and b, c below 2^32, saturating at INT64_MAX,
// without a 128-bit type (the 32-bit build has none).
inline int64_t MulDiv(int64_t a, uint64_t b, uint64_t c) {
  if (a <= 0 || b == 0) return 0;
  uint64_t q = uint64_t(a) / c, r = uint64_t(a) % c;
  const uint64_t max = uint64_t(std::numeric_limits<int64_t>::max());
  if (q && q > max / b) return std::numeric_limits<int64_t>::max();
  uint64_t v = q * b, tail = r * b / c;
  return v > max - tail ? std::numeric_limits<int64_t>::max() : int64_t(v + tail);
}

}  // namespace vmedia
