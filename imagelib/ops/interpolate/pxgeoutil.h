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

// The bilinear mix of pixels (xi, yi) to (xi + 1, yi + 1) of a 24-bit image with weights of 8
// fractional bits (u, v = 256 x the fractional parts, truncated); alpha likewise when present.
inline RGBQUAD Bilinear24At(const BYTE* bits, size_t eff, const BYTE* alpha, LONG w, LONG xi, LONG yi, int u, int v) {
    const int w11 = (u * v) >> 8, w10 = u - w11, w01 = v - w11, w00 = 256 - u - v + w11;
    const BYTE* p00 = bits + static_cast<size_t>(yi) * eff + static_cast<size_t>(xi) * 3;
    const BYTE* p01 = p00 + eff;
    RGBQUAD out;
    out.rgbBlue = static_cast<BYTE>((w00 * p00[0] + w10 * p00[3] + w01 * p01[0] + w11 * p01[3]) >> 8);
    out.rgbGreen = static_cast<BYTE>((w00 * p00[1] + w10 * p00[4] + w01 * p01[1] + w11 * p01[4]) >> 8);
    out.rgbRed = static_cast<BYTE>((w00 * p00[2] + w10 * p00[5] + w01 * p01[2] + w11 * p01[5]) >> 8);
    if (alpha != nullptr) {
        const BYTE* a0 = alpha + static_cast<size_t>(yi) * static_cast<size_t>(w) + static_cast<size_t>(xi);
        const BYTE* a1 = a0 + w;
        out.rgbReserved = static_cast<BYTE>((w00 * a0[0] + w10 * a0[1] + w01 * a1[0] + w11 * a1[1]) >> 8);
    } else {
        out.rgbReserved = 0;
    }
    return out;
}

// The fixed-point weight of a real position: 256 x its fractional part above xi, truncated.
inline int Fraction256(float pos, LONG i) { return static_cast<int>((pos - static_cast<float>(i)) * 256); }

// The bilinear read of a 24-bit image where all four pixels lie inside. False (nothing written)
// when a neighbour lies outside; the caller then takes the checked path.
inline bool Bilinear24(const BYTE* bits, size_t eff, const BYTE* alpha, LONG w, LONG h, float x, float y,
                       RGBQUAD& out) {
    const LONG xi = FloorTrunc(x), yi = FloorTrunc(y);
    if (xi < 0 || yi < 0 || xi >= w - 1 || yi >= h - 1) return false;
    out = Bilinear24At(bits, eff, alpha, w, xi, yi, Fraction256(x, xi), Fraction256(y, yi));
    return true;
}

// Four floats (four ints) that the compiler keeps in one vector register.
typedef float V4 __attribute__((vector_size(16)));
typedef int V4i __attribute__((vector_size(16)));

// Four small integers as floats, converted together (exactly, as one by one).
inline V4 ToV4(int a, int b, int c, int d) { return __builtin_convertvector((V4i{a, b, c, d}), V4); }

// The kernel sum of an n x n neighbourhood of a 24-bit image that lies wholly inside, starting
// at column x0 and row y0, with the weight of sample (i, j) = kx[i] x ky[j]. Sums are not
// normalised; channels are clamped at the end.
inline RGBQUAD KernelSum24(const BYTE* bits, size_t eff, const BYTE* alpha, LONG w, LONG x0, LONG y0, int n,
                           const float* kx, const float* ky) {
    // Blue, green, red and alpha side by side: each lane does exactly the scalar sum's steps.
    V4 acc = {0, 0, 0, 0};
    for (int j = 0; j < n; j++) {
        const LONG sy = y0 + j;
        const BYTE* row = bits + static_cast<size_t>(sy) * eff + static_cast<size_t>(x0) * 3;
        const BYTE* arow = alpha ? alpha + static_cast<size_t>(sy) * static_cast<size_t>(w) + x0 : nullptr;
        for (int i = 0; i < n; i++) {
            const float weight = kx[i] * ky[j];
            const V4 v = ToV4(row[3 * i], row[3 * i + 1], row[3 * i + 2], arow ? arow[i] : 0);
            acc += v * weight;
        }
    }
    return RGBQUAD{ClampByte(acc[0]), ClampByte(acc[1]), ClampByte(acc[2]),
                   alpha ? ClampByte(acc[3]) : static_cast<BYTE>(0)};
}

// The kernel of a 4 x 4 interpolation method, or nullptr for nearest, bilinear and Lanczos.
typedef float (*KernelFn)(float);
KernelFn KernelOf(int inMethod);

}  // namespace pxgeo
