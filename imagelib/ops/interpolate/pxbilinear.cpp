// Four bilinear pixels per step: each pixel's two neighbours in a row are interleaved channel
// by channel into 16-bit lanes, so one multiply-add per row gives w00 a + w10 b (and
// w01 c + w11 d) for blue, green and red. The weights are the scalar form's, computed for four
// pixels at once; the sums are exact integers, so the bytes match the one-pixel form.
#include "imagelib/ops/interpolate/pxbilinear.h"

#include <cstring>

#include "imagelib/core/pxsimd.h"

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define PX_BILINEAR_VECTOR 1
#include <immintrin.h>
#endif

namespace pxgeo {

#if PX_BILINEAR_VECTOR

namespace {

#define PX_SSSE3 __attribute__((target("ssse3")))

// Weights (w00, w10) and (w01, w11) of pixels 0..3 as 32-bit pairs; u and v in 16-bit lanes 0..3.
PX_SSSE3 inline void Weights(__m128i u, __m128i v, __m128i& pair0, __m128i& pair1) {
    const __m128i w11 = _mm_srli_epi16(_mm_mullo_epi16(u, v), 8);  // u, v <= 255: no overflow
    const __m128i w10 = _mm_sub_epi16(u, w11);
    const __m128i w01 = _mm_sub_epi16(v, w11);
    const __m128i w00 = _mm_add_epi16(_mm_sub_epi16(_mm_sub_epi16(_mm_set1_epi16(256), u), v), w11);
    pair0 = _mm_unpacklo_epi16(w00, w10);
    pair1 = _mm_unpacklo_epi16(w01, w11);
}

// Eight bytes at p and at q side by side.
PX_SSSE3 inline __m128i Load2(const BYTE* p, const BYTE* q) {
    // Two plain eight-byte loads, which the address sanitizer checks (it does not see movhps).
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q)));
}

// Sums of pixels 0..3 (dwords blue, green, red, 0 per pixel), shifted, packed and stored as 12 bytes.
PX_SSSE3 inline void Mix4(BYTE* d, const BYTE* const p[4], size_t eff, __m128i pair0, __m128i pair1) {
    // (a, b) of one pixel's row into 16-bit lanes: a.blue, b.blue, a.green, b.green, a.red, b.red, 0, 0.
    const __m128i lowPixel = _mm_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1);
    const __m128i highPixel = _mm_setr_epi8(8, -1, 11, -1, 9, -1, 12, -1, 10, -1, 13, -1, -1, -1, -1, -1);
    __m128i s[4];
    for (int k = 0; k < 4; k += 2) {
        const __m128i row0 = Load2(p[k], p[k + 1]);
        const __m128i row1 = Load2(p[k] + eff, p[k + 1] + eff);
        for (int h = 0; h < 2; h++) {
            const __m128i mask = h == 0 ? lowPixel : highPixel;
            __m128i w0, w1;
            switch (k + h) {
                case 0:
                    w0 = _mm_shuffle_epi32(pair0, 0x00);
                    w1 = _mm_shuffle_epi32(pair1, 0x00);
                    break;
                case 1:
                    w0 = _mm_shuffle_epi32(pair0, 0x55);
                    w1 = _mm_shuffle_epi32(pair1, 0x55);
                    break;
                case 2:
                    w0 = _mm_shuffle_epi32(pair0, 0xAA);
                    w1 = _mm_shuffle_epi32(pair1, 0xAA);
                    break;
                default:
                    w0 = _mm_shuffle_epi32(pair0, 0xFF);
                    w1 = _mm_shuffle_epi32(pair1, 0xFF);
                    break;
            }
            const __m128i sum = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi8(row0, mask), w0),
                                              _mm_madd_epi16(_mm_shuffle_epi8(row1, mask), w1));
            s[k + h] = _mm_srli_epi32(sum, 8);
        }
    }
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(s[0], s[1]), _mm_packs_epi32(s[2], s[3]));
    const __m128i packed =
        _mm_shuffle_epi8(bytes, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), packed);
    const int last = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
    memcpy(d + 8, &last, 4);
}

}  // namespace

bool HasBilinearQuad() { return SimdAllows(Simd::Ssse3); }

PX_SSSE3 void BilinearRun24(BYTE* d, const BYTE* r0, size_t eff, const size_t* off, const short* u, int v, LONG n) {
    const __m128i vv = _mm_set1_epi16(static_cast<short>(v));
    for (LONG x = 0; x + 4 <= n; x += 4) {
        __m128i pair0, pair1;
        Weights(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x)), vv, pair0, pair1);
        const BYTE* p[4] = {r0 + off[x], r0 + off[x + 1], r0 + off[x + 2], r0 + off[x + 3]};
        Mix4(d + 3 * static_cast<size_t>(x), p, eff, pair0, pair1);
    }
}

PX_SSSE3 LONG BilinearTurnedRun24(BYTE* drow, const BYTE* bits, size_t eff, LONG w, LONG h, float x0, float c,
                                   float s, float ys, float yc, float xshift, float yshift, LONG i, LONG to,
                                   const RGBQUAD* far) {
    // Saturation as FloorTrunc's: NaN and far positions end up far below or above.
    const __m128 lo = _mm_set1_ps(-1.0e9f), hi = _mm_set1_ps(1.0e9f), zero = _mm_setzero_ps();
    const __m128i xmax = _mm_set1_epi32(w - 1), ymax = _mm_set1_epi32(h - 2);
    // A turned row crosses a new source row every pixel or two, in an order no hardware
    // prefetcher follows: the rows kAhead pixels on are asked for while this group is mixed.
    constexpr float kAhead = 48;
    const __m128 aheadX = _mm_set1_ps(kAhead * c), aheadY = _mm_set1_ps(-kAhead * s);
    const __m128 wlast = _mm_set1_ps(static_cast<float>(w - 1)), hlast = _mm_set1_ps(static_cast<float>(h - 2));
    const __m128i minus1 = _mm_set1_epi32(-1), wv = _mm_set1_epi32(w), hv = _mm_set1_epi32(h);
    // Four pixels of the far colour, 12 bytes.
    BYTE farBytes[16] = {};
    if (far != nullptr)
        for (int k = 0; k < 4; k++) {
            farBytes[3 * k] = far->rgbBlue;
            farBytes[3 * k + 1] = far->rgbGreen;
            farBytes[3 * k + 2] = far->rgbRed;
        }
    for (; i + 4 <= to; i += 4) {
        const __m128 X =
            _mm_add_ps(_mm_set1_ps(x0), _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(i), _mm_setr_epi32(0, 1, 2, 3))));
        const __m128 sx = _mm_add_ps(_mm_add_ps(_mm_mul_ps(X, _mm_set1_ps(c)), _mm_set1_ps(ys)), _mm_set1_ps(xshift));
        const __m128 sy = _mm_add_ps(_mm_sub_ps(_mm_set1_ps(yc), _mm_mul_ps(X, _mm_set1_ps(s))), _mm_set1_ps(yshift));
        const __m128i xi = _mm_add_epi32(_mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(sx, lo), hi)),
                                         _mm_castps_si128(_mm_cmplt_ps(sx, zero)));
        const __m128i yi = _mm_add_epi32(_mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(sy, lo), hi)),
                                         _mm_castps_si128(_mm_cmplt_ps(sy, zero)));
        // Inside: 0 <= xi < w - 1 and 0 <= yi < h - 2 (the row above the upper one exists, so
        // eight bytes may be read there).
        const __m128i out = _mm_or_si128(_mm_or_si128(_mm_srai_epi32(xi, 31), _mm_srai_epi32(yi, 31)),
                                         _mm_or_si128(_mm_cmpgt_epi32(xmax, xi) ^ _mm_set1_epi32(-1),
                                                      _mm_cmpgt_epi32(ymax, yi) ^ _mm_set1_epi32(-1)));
        if (_mm_movemask_epi8(out) != 0) {
            // Far: xi < -1, xi >= w, yi < -1 or yi >= h.
            const __m128i farLane =
                _mm_or_si128(_mm_or_si128(_mm_cmplt_epi32(xi, minus1), _mm_cmplt_epi32(yi, minus1)),
                             _mm_or_si128(_mm_cmpgt_epi32(wv, xi) ^ minus1, _mm_cmpgt_epi32(hv, yi) ^ minus1));
            if (far == nullptr || _mm_movemask_epi8(farLane) != 0xFFFF) return i;
            memcpy(drow + 3 * static_cast<size_t>(i), farBytes, 12);
            continue;
        }
        {
            // Only a hint: the position is clamped into the picture and nothing is read there.
            const __m128 ax = _mm_min_ps(_mm_max_ps(_mm_add_ps(sx, aheadX), zero), wlast);
            const __m128 ay = _mm_min_ps(_mm_max_ps(_mm_add_ps(sy, aheadY), zero), hlast);
            alignas(16) int ahx[4], ahy[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(ahx), _mm_cvttps_epi32(ax));
            _mm_store_si128(reinterpret_cast<__m128i*>(ahy), _mm_cvttps_epi32(ay));
            for (int k = 0; k < 4; k += 3) {
                const BYTE* q = bits + static_cast<size_t>(ahy[k]) * eff + static_cast<size_t>(ahx[k]) * 3;
                _mm_prefetch(reinterpret_cast<const char*>(q), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(q + eff), _MM_HINT_T0);
            }
        }
        const __m128i u = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(sx, _mm_cvtepi32_ps(xi)), _mm_set1_ps(256.0f)));
        const __m128i v = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(sy, _mm_cvtepi32_ps(yi)), _mm_set1_ps(256.0f)));
        __m128i pair0, pair1;
        Weights(_mm_packs_epi32(u, u), _mm_packs_epi32(v, v), pair0, pair1);
        alignas(16) int xs[4], yv[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(xs), xi);
        _mm_store_si128(reinterpret_cast<__m128i*>(yv), yi);
        const BYTE* p[4];
        for (int k = 0; k < 4; k++) p[k] = bits + static_cast<size_t>(yv[k]) * eff + static_cast<size_t>(xs[k]) * 3;
        Mix4(drow + 3 * static_cast<size_t>(i), p, eff, pair0, pair1);
    }
    return i;
}

#else

bool HasBilinearQuad() { return false; }
LONG BilinearTurnedRun24(BYTE*, const BYTE*, size_t, LONG, LONG, float, float, float, float, float, float, float,
                         LONG i, LONG, const RGBQUAD*) {
    return i;
}
void BilinearRun24(BYTE*, const BYTE*, size_t, const size_t*, const short*, int, LONG) {}

#endif

}  // namespace pxgeo
