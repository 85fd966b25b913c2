// The X2Fix rule every engine behind the gate answers with, so the plug-in
// sees one rate whichever engine is bound.
#pragma once
#include <math.h>
#include <stdint.h>

#include "media_interface/operations.h"

namespace media_interface {

// x in signed 16.16 fixed point, to the nearest value (halves away from
// zero), kept to the 32-bit range; NaN gives 0.
inline Fixed FixedFromDouble(double x) {
  if (isnan(x)) return 0;
  double v = x * 65536.0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<Fixed>(llround(v));
}

}  // namespace media_interface
