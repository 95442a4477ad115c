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

// A turned row: output pixel i reads source x = ((x0 + i) c + ys) + xshift and source y =
// (yc - (x0 + i) s) + yshift, each step of the float arithmetic as the one-pixel form takes it.
// Writes groups of four from column i on (3 bytes each, from drow) while every position of the
// group lies inside with its neighbours, the rows above included, and returns the first column
// of the first group that does not (or the last column that starts no whole group before to).
// With far given, groups whose four positions all lie far outside (a neighbourhood wholly
// outside the picture) get that colour (blue, green, red) and the run goes on.
LONG BilinearTurnedRun24(BYTE* drow, const BYTE* bits, size_t eff, LONG w, LONG h, float x0, float c, float s, float ys,
                         float yc, float xshift, float yshift, LONG i, LONG to, const RGBQUAD* far);

}  // namespace pxgeo
