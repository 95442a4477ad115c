// Vector form of the fixed-point bilinear read of a 24-bit image (Bilinear24At without alpha),
// four pixels at a time: the same integer sums, so the same bytes. Used where the CPU has the
// byte shuffles it needs; callers keep the one-pixel form for the rest.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

namespace pxgeo {

// True when the four-pixel forms below may be called.
bool HasBilinearQuad();

// Output pixels k = 0..n-1 (n a multiple of 4) into d, 3 bytes each: pixel k mixes the pixels at
// r0 + off[k], the one right of it and the two above (r0 + eff + ...), with 256-based fractions
// u[k] (horizontal) and v (vertical). Eight bytes are read at each of the four positions.
void BilinearRun24(BYTE* d, const BYTE* r0, size_t eff, const size_t* off, const short* u, int v, LONG n);

// Four output pixels (12 bytes at d): pixel k from bits + off[k] and the row above, with
// fractions u[k] and v[k] (0..255). Eight bytes are read at each position.
void BilinearQuad24(BYTE* d, const BYTE* bits, size_t eff, const size_t off[4], const int u[4], const int v[4]);

}  // namespace pxgeo
