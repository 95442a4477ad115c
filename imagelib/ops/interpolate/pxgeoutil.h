// Small helpers shared by the geometric operations: float to integer conversions that stay
// defined for any input (a hostile or degenerate position must not become undefined behaviour),
// and the byte clamp of interpolated channels.
#pragma once

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/wintypes.h"

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

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

// The fixed-point bilinear read of Bilinear24At (blue, green, red; no alpha) written straight to
// d. p0 is pixel (xi, yi), p1 the pixel above it; wide says that 8 bytes may be read at both, and
// store4 that a fourth byte may be written (the next pixel's, written after this one). The two
// pixels of a row sit side by side in 16-bit lanes: every product and partial sum stays at or
// below 256 x 255, since the four weights add up to 256, so the lanes give the integer sums' bytes.
inline void Bilinear24Store(BYTE* d, const BYTE* p0, const BYTE* p1, int u, int v, bool wide, bool store4) {
    const int w11 = (u * v) >> 8, w10 = u - w11, w01 = v - w11, w00 = 256 - u - v + w11;
#if defined(__SSE2__) && defined(__x86_64__)
    __m128i a, b;
    if (wide) {
        a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p0));
        b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p1));
    } else {
        long long qa = 0, qb = 0;
        memcpy(&qa, p0, 6);
        memcpy(&qb, p1, 6);
        a = _mm_cvtsi64_si128(qa);
        b = _mm_cvtsi64_si128(qb);
    }
    const __m128i zero = _mm_setzero_si128();
    a = _mm_unpacklo_epi8(a, zero);
    b = _mm_unpacklo_epi8(b, zero);
    // Weights (first, first, first, second, second, second, -, -); lanes 6 and 7 are never used.
    auto spread = [](int first, int second) {
        const __m128i pair = _mm_set1_epi32(first | (second << 16));
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(pair, 0x40), 0x55);
    };
    __m128i sum = _mm_add_epi16(_mm_mullo_epi16(a, spread(w00, w10)), _mm_mullo_epi16(b, spread(w01, w11)));
    sum = _mm_srli_epi16(_mm_add_epi16(sum, _mm_srli_si128(sum, 6)), 8);
    const int packed = _mm_cvtsi128_si32(_mm_packus_epi16(sum, sum));
    if (store4) {
        memcpy(d, &packed, 4);
    } else {
        d[0] = static_cast<BYTE>(packed);
        d[1] = static_cast<BYTE>(packed >> 8);
        d[2] = static_cast<BYTE>(packed >> 16);
    }
#else
    (void)wide;
    (void)store4;
    for (int k = 0; k < 3; k++)
        d[k] = static_cast<BYTE>((w00 * p0[k] + w10 * p0[k + 3] + w01 * p1[k] + w11 * p1[k + 3]) >> 8);
#endif
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

// FloorTrunc of four values at once, lane by lane the same results (saturated, NaN far below).
inline V4i FloorTruncV4(V4 v) {
    const V4 lo = {-kFar, -kFar, -kFar, -kFar}, hi = {kFar, kFar, kFar, kFar};
    V4 safe = v > lo ? v : lo;
    safe = safe > hi ? hi : safe;
    return __builtin_convertvector(safe, V4i) + (v < 0 ? V4i{-1, -1, -1, -1} : V4i{0, 0, 0, 0});
}

// ClampByte of four values at once (NaN gives 0, as there).
inline V4i ClampByteV4(V4 v) {
    const V4 zero = {0, 0, 0, 0}, top = {255, 255, 255, 255};
    V4 c = v > zero ? v : zero;
    c = c > top ? top : c;
    return __builtin_convertvector(c, V4i);
}

// Four floats loaded from any float address.
typedef float V4u __attribute__((vector_size(16), aligned(4)));
inline V4 LoadV4(const float* p) { return *reinterpret_cast<const V4u*>(p); }

// The slot keeping of the per-thread row caches: slot[i] receives the slot holding row ys[i]
// (n at most kSlots). Rows still held are reused; the others are converted by fill(slot, row)
// into slots not asked for in this call, a row asked for twice only once.
template <int kSlots, typename Fill>
void PickRowSlots(LONG (&tag)[kSlots], int& next, const LONG* ys, int n, int* slot, Fill&& fill) {
    bool keep[kSlots] = {};
    bool have[kSlots] = {};
    for (int i = 0; i < n; i++)
        for (int k = 0; k < kSlots; k++)
            if (tag[k] == ys[i]) {
                keep[k] = have[i] = true;
                slot[i] = k;
                break;
            }
    for (int i = 0; i < n; i++) {
        if (have[i]) continue;
        while (keep[next]) next = (next + 1) % kSlots;
        const int k = next;
        fill(k, ys[i]);
        tag[k] = ys[i];
        keep[k] = true;
        slot[i] = k;
        for (int j = i + 1; j < n; j++)
            if (ys[j] == ys[i]) {
                have[j] = true;
                slot[j] = k;
            }
    }
}

// What the per-thread caches of converted 24-bit rows share: the source, eight slots of floats
// and which row each holds. fill(slot, row) converts a row into a slot.
class RowSlotCache {
public:
    static constexpr int kMaxRows = 6;

protected:
    RowSlotCache(const BYTE* bits, size_t eff, const BYTE* alpha, LONG width)
        : m_bits(bits), m_eff(eff), m_alpha(alpha), m_width(width) {}
    RowSlotCache& operator=(const RowSlotCache&) = delete;

    // The rows ys[0..n-1] (n at most kMaxRows) into out; the pointers stay valid until the next
    // call. Rows still held from earlier calls are reused, the others replace rows not asked for.
    template <typename Fill>
    void Take(const LONG* ys, int n, const float** out, Fill&& fill) {
        int slot[kMaxRows];
        PickRowSlots(m_tag, m_next, ys, n, slot, fill);
        for (int i = 0; i < n; i++) out[i] = m_slot[slot[i]].data();
    }
    const BYTE* Row(LONG y) const { return m_bits + static_cast<size_t>(y) * m_eff; }
    const BYTE* AlphaRow(LONG y) const {
        return m_alpha ? m_alpha + static_cast<size_t>(y) * static_cast<size_t>(m_width) : nullptr;
    }

    static constexpr int kSlots = 8;
    const BYTE* m_bits;
    size_t m_eff;
    const BYTE* m_alpha;
    LONG m_width;
    std::vector<float> m_slot[kSlots];
    LONG m_tag[kSlots] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int m_next = 0;
};

// Rows of a 24-bit image as four floats a pixel (blue, green, red, alpha or 0), converted once
// and kept for the rows that follow: an area average reads each source pixel several times, and
// converting it each time cost more than the sums. One cache per thread.
class FloatRows : public RowSlotCache {
public:
    // The pattern that each thread copies; it holds no rows itself. Width 0 when unused.
    FloatRows(const BYTE* bits, size_t eff, const BYTE* alpha, LONG width)
        : RowSlotCache(bits, eff, alpha, width) {}
    // A working copy takes all its memory at once, on the thread that makes it, so a failed
    // allocation surfaces there and never inside a worker.
    FloatRows(const FloatRows& o) : FloatRows(o.m_bits, o.m_eff, o.m_alpha, o.m_width) {
        for (auto& slot : m_slot) slot.resize(static_cast<size_t>(m_width) * 4);
    }

    // Wider rows are read as bytes: eight converted rows per thread would cost too much memory.
    static bool Fits(LONG width) { return width <= (1 << 18); }

    void Rows(const LONG* ys, int n, const float** out) {
        Take(ys, n, out, [&](int k, LONG y) { Convert(k, y); });
    }

private:
    void Convert(int k, LONG y) {
        const BYTE* src = Row(y);
        const BYTE* a = AlphaRow(y);
        float* o = m_slot[k].data();
        for (LONG x = 0; x < m_width; x++) {
            o[4 * x] = src[3 * x];
            o[4 * x + 1] = src[3 * x + 1];
            o[4 * x + 2] = src[3 * x + 2];
            o[4 * x + 3] = a ? a[x] : 0;
        }
    }
};

// The kernel of a 4 x 4 interpolation method, or nullptr for nearest, bilinear and Lanczos.
typedef float (*KernelFn)(float);
KernelFn KernelOf(int inMethod);

}  // namespace pxgeo
