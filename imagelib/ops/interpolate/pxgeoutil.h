// Small helpers shared by the geometric operations: float to integer conversions that stay
// defined for any input (a hostile or degenerate position must not become undefined behaviour),
// and the byte clamp of interpolated channels.
#pragma once

#include <cmath>

#include "platform/wintypes.h"

namespace pxgeo {

// Positions this far out are outside every image the library can hold.
constexpr float kFar = 1.0e9f;

// Truncation towards zero, saturated; NaN counts as far outside.
inline LONG TruncSat(float v) {
    if (!(v > -kFar)) return -static_cast<LONG>(kFar);
    if (v > kFar) return static_cast<LONG>(kFar);
    return static_cast<LONG>(v);
}
inline LONG TruncSat(double v) {
    if (!(v > -kFar)) return -static_cast<LONG>(kFar);
    if (v > kFar) return static_cast<LONG>(kFar);
    return static_cast<LONG>(v);
}

// Rounding down as the interpolation computes it: truncation, minus one for negative values
// (so an exact negative integer such as -1.0 gives -2).
inline LONG FloorTrunc(float v) {
    LONG i = TruncSat(v);
    if (v < 0) i--;
    return i;
}

inline BYTE ClampByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v > 255.0f) return 255;
    return static_cast<BYTE>(v);
}

}  // namespace pxgeo
