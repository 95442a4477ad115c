// Two pixels per step: each 256-bit lane half holds one pixel's four channels, so every product
// and every addition is the four-lane form's, only twice as many at once. No FMA: a fused
// multiply-add would round once where the four-lane form rounds twice.
#include "imagelib/ops/interpolate/pxkernelrun.h"

#include "imagelib/core/pxsimd.h"

#include <algorithm>
#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define PX_KERNELRUN_VECTOR 1
#include <immintrin.h>
#endif

namespace pxgeo {

#if PX_KERNELRUN_VECTOR

namespace {

// Channel values 0..255 of pixels x and x + 1 (blue, green, red, alpha each) to d and a.
__attribute__((target("avx"))) inline void StorePair(BYTE* d, BYTE* a, LONG x, __m256i q) {
    const __m128i lo = _mm256_castsi256_si128(q), hi = _mm256_extractf128_si256(q, 1);
    const long long both = _mm_cvtsi128_si64(_mm_packus_epi16(_mm_packs_epi32(lo, hi), _mm_setzero_si128()));
    BYTE* o = d + 3 * static_cast<size_t>(x);
    o[0] = static_cast<BYTE>(both);
    o[1] = static_cast<BYTE>(both >> 8);
    o[2] = static_cast<BYTE>(both >> 16);
    o[3] = static_cast<BYTE>(both >> 32);
    o[4] = static_cast<BYTE>(both >> 40);
    o[5] = static_cast<BYTE>(both >> 48);
    if (a != nullptr) {
        a[x] = static_cast<BYTE>(both >> 24);
        a[x + 1] = static_cast<BYTE>(both >> 56);
    }
}

// The same for pixel x alone.
__attribute__((target("avx"))) inline void StoreOne(BYTE* d, BYTE* a, LONG x, __m128i q) {
    const int packed = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(q, q), q));
    BYTE* o = d + 3 * static_cast<size_t>(x);
    o[0] = static_cast<BYTE>(packed);
    o[1] = static_cast<BYTE>(packed >> 8);
    o[2] = static_cast<BYTE>(packed >> 16);
    if (a != nullptr) a[x] = static_cast<BYTE>(packed >> 24);
}

}  // namespace

bool HasKernelRun() { return SimdAllows(Simd::Avx); }

namespace {

// The cover of step t of a span (weight 0 past its last pixel: a step that only pads the
// shorter of two spans adds exactly nothing).
inline float StepCover(const ColumnSpan& sp, LONG t) {
    const LONG i = sp.first + t;
    if (i > sp.last) return 0.0f;
    return i == sp.first ? sp.firstCover : (i == sp.last ? sp.lastCover : 1.0f);
}

}  // namespace

__attribute__((target("avx"))) void BoxRun(BYTE* d, BYTE* a, const float* const* rows, int nrows,
                                           const float* rowCover, float rowExtent, const ColumnSpan* cols,
                                           LONG n) {
    const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f);
    LONG x = 0;
    for (; x + 2 <= n; x += 2) {
        const ColumnSpan& A = cols[x];
        const ColumnSpan& B = cols[x + 1];
        const LONG steps = std::max(A.last - A.first, B.last - B.first) + 1;
        __m256 acc = zero;
        for (int k = 0; k < nrows; k++) {
            const float* r = rows[k];
            for (LONG t = 0; t < steps; t++) {
                const float wa = StepCover(A, t) * rowCover[k], wb = StepCover(B, t) * rowCover[k];
                const LONG ia = std::min(A.first + t, A.last), ib = std::min(B.first + t, B.last);
                const __m256 v = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(r + 4 * static_cast<size_t>(ia))),
                                                      _mm_loadu_ps(r + 4 * static_cast<size_t>(ib)), 1);
                const __m256 w = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_set1_ps(wa)), _mm_set1_ps(wb), 1);
                acc = _mm256_add_ps(acc, _mm256_mul_ps(v, w));
            }
        }
        const __m256 surface = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_set1_ps(A.extent * rowExtent)),
                                                    _mm_set1_ps(B.extent * rowExtent), 1);
        const __m256i q = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(_mm256_div_ps(acc, surface), zero), top));
        StorePair(d, a, x, q);
    }
    for (; x < n; x++) {
        const ColumnSpan& A = cols[x];
        __m128 acc = _mm_setzero_ps();
        for (int k = 0; k < nrows; k++)
            for (LONG i = A.first; i <= A.last; i++)
                acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(rows[k] + 4 * static_cast<size_t>(i)),
                                                 _mm_set1_ps(StepCover(A, i - A.first) * rowCover[k])));
        const __m128 v = _mm_div_ps(acc, _mm_set1_ps(A.extent * rowExtent));
        const __m128i q = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
        StoreOne(d, a, x, q);
    }
}

// GCC 12 takes the deliberately undefined start value inside its 512-bit intrinsics for an
// uninitialised read.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

int BoxRunGroup() { return SimdAllows(Simd::Avx512) ? 16 : SimdAllows(Simd::Avx2) ? 8 : 0; }

namespace {

// Byte masks that interleave three 16-byte planes (blue, green, red) into 48 bytes of pixels:
// mask[r][c] picks plane c's bytes for output bytes 16 r .. 16 r + 15 (0x80 elsewhere).
struct InterleaveMasks {
    alignas(16) BYTE m[3][3][16];
    InterleaveMasks() {
        for (int o = 0; o < 48; o++)
            for (int c = 0; c < 3; c++) m[o / 16][c][o % 16] = o % 3 == c ? static_cast<BYTE>(o / 3) : BYTE{0x80};
    }
};
const InterleaveMasks kInterleave;

__attribute__((target("avx512f,avx512bw"))) void PlanarRow16(float* out, size_t stride, const BYTE* src,
                                                          const BYTE* alpha, LONG width) {
    float* pb = out;
    float* pg = out + stride;
    float* pr = out + 2 * stride;
    float* pa = out + 3 * stride;
    // Each 128-bit lane takes four pixels (12 bytes), then each channel is picked out into
    // zero-extended 32-bit lanes.
    const __m512i spread = _mm512_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5, 6, 7, 8, 8, 9, 10, 11, 11);
    const __m512i mb = _mm512_broadcast_i32x4(_mm_setr_epi32(static_cast<int>(0xFFFFFF00), static_cast<int>(0xFFFFFF03),
                                                             static_cast<int>(0xFFFFFF06), static_cast<int>(0xFFFFFF09)));
    const __m512i mg = _mm512_add_epi32(mb, _mm512_set1_epi32(1));
    const __m512i mr = _mm512_add_epi32(mb, _mm512_set1_epi32(2));
    LONG x = 0;
    for (; x + 16 <= width; x += 16) {
        // A masked load reads the 48 bytes and nothing past them.
        const __m512i v = _mm512_maskz_loadu_epi8(0x0000FFFFFFFFFFFFULL, src + 3 * static_cast<size_t>(x));
        const __m512i p = _mm512_permutexvar_epi32(spread, v);
        _mm512_storeu_ps(pb + x, _mm512_cvtepi32_ps(_mm512_shuffle_epi8(p, mb)));
        _mm512_storeu_ps(pg + x, _mm512_cvtepi32_ps(_mm512_shuffle_epi8(p, mg)));
        _mm512_storeu_ps(pr + x, _mm512_cvtepi32_ps(_mm512_shuffle_epi8(p, mr)));
        if (alpha != nullptr)
            _mm512_storeu_ps(pa + x, _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(
                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + x)))));
    }
    for (; x < width; x++) {
        pb[x] = src[3 * static_cast<size_t>(x)];
        pg[x] = src[3 * static_cast<size_t>(x) + 1];
        pr[x] = src[3 * static_cast<size_t>(x) + 2];
        if (alpha != nullptr) pa[x] = alpha[x];
    }
}

// The same with 256-bit vectors: each 128-bit lane takes four pixels (the high lane reads from
// eight bytes on, so that no read passes the 24 bytes of eight pixels) and byte shuffles pick
// each channel out into zero-extended 32-bit lanes.
__attribute__((target("avx2"))) void PlanarRow8(float* out, size_t stride, const BYTE* src, const BYTE* alpha,
                                                LONG width) {
    float* pb = out;
    float* pg = out + stride;
    float* pr = out + 2 * stride;
    float* pa = out + 3 * stride;
    const __m256i mb = _mm256_setr_epi32(static_cast<int>(0xFFFFFF00), static_cast<int>(0xFFFFFF03),
                                         static_cast<int>(0xFFFFFF06), static_cast<int>(0xFFFFFF09),
                                         static_cast<int>(0xFFFFFF04), static_cast<int>(0xFFFFFF07),
                                         static_cast<int>(0xFFFFFF0A), static_cast<int>(0xFFFFFF0D));
    const __m256i mg = _mm256_add_epi32(mb, _mm256_set1_epi32(1));
    const __m256i mr = _mm256_add_epi32(mb, _mm256_set1_epi32(2));
    LONG x = 0;
    for (; x + 8 <= width; x += 8) {
        const BYTE* p = src + 3 * static_cast<size_t>(x);
        const __m256i v = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
        _mm256_storeu_ps(pb + x, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, mb)));
        _mm256_storeu_ps(pg + x, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, mg)));
        _mm256_storeu_ps(pr + x, _mm256_cvtepi32_ps(_mm256_shuffle_epi8(v, mr)));
        if (alpha != nullptr)
            _mm256_storeu_ps(pa + x, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(alpha + x)))));
    }
    for (; x < width; x++) {
        pb[x] = src[3 * static_cast<size_t>(x)];
        pg[x] = src[3 * static_cast<size_t>(x) + 1];
        pr[x] = src[3 * static_cast<size_t>(x) + 2];
        if (alpha != nullptr) pa[x] = alpha[x];
    }
}

}  // namespace

void PlanarRow(float* out, size_t stride, const BYTE* src, const BYTE* alpha, LONG width) {
    if (BoxRunGroup() == 16)
        PlanarRow16(out, stride, src, alpha, width);
    else
        PlanarRow8(out, stride, src, alpha, width);
}

namespace {

// The average's bytes: sum / surface, clamped as ClampByte does (NaN and negatives give 0, max
// taking the second operand on NaN), then 255 at most, truncated.
__attribute__((target("avx512f,avx512bw"))) inline __m128i AverageBytes(__m512 acc, __m512 surface) {
    const __m512 v = _mm512_div_ps(acc, surface);
    return _mm512_cvtepi32_epi8(
        _mm512_cvttps_epi32(_mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(255.0f))));
}

}  // namespace

namespace {

// BoxRun16 with or without the alpha plane (three or four channels).
template <bool kAlpha>
__attribute__((target("avx512f,avx512bw"))) void BoxBlocks16(BYTE* d, BYTE* a, const float* const* rows,
                                                             size_t stride, int nrows, const float* rowCover,
                                                             float rowExtent, const BoxBlock* blocks, LONG nblocks) {
    constexpr int kChannels = kAlpha ? 4 : 3;
    __m128i mask[3][3];
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) mask[r][c] = _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.m[r][c]));
    for (LONG b = 0; b < nblocks; b++) {
        const BoxBlock& B = blocks[b];
        __m512 acc[kChannels];
        for (int c = 0; c < kChannels; c++) acc[c] = _mm512_setzero_ps();
        for (int k = 0; k < nrows; k++) {
            const float* r = rows[k] + B.base[0];
            const __m512 rc = _mm512_set1_ps(rowCover[k]);
            __m512 lo[kChannels], hi[kChannels];
            for (int c = 0; c < kChannels; c++) {
                lo[c] = _mm512_loadu_ps(r + c * stride);
                hi[c] = _mm512_loadu_ps(r + c * stride + 16);
            }
            for (int t = 0; t < B.steps; t++) {
                const __m512i idx = _mm512_loadu_si512(B.idx[t]);
                const __m512 w = _mm512_mul_ps(_mm512_loadu_ps(B.cover[t]), rc);
                for (int c = 0; c < kChannels; c++)
                    acc[c] = _mm512_add_ps(acc[c], _mm512_mul_ps(_mm512_permutex2var_ps(lo[c], idx, hi[c]), w));
            }
        }
        const __m512 surface = _mm512_mul_ps(_mm512_loadu_ps(B.extent), _mm512_set1_ps(rowExtent));
        const __m128i cb = AverageBytes(acc[0], surface), cg = AverageBytes(acc[1], surface),
                      cr = AverageBytes(acc[2], surface);
        __m128i* o = reinterpret_cast<__m128i*>(d + 3 * static_cast<size_t>(B.x));
        for (int r = 0; r < 3; r++)
            _mm_storeu_si128(o + r, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(cb, mask[r][0]),
                                                              _mm_shuffle_epi8(cg, mask[r][1])),
                                                 _mm_shuffle_epi8(cr, mask[r][2])));
        if constexpr (kAlpha) _mm_storeu_si128(reinterpret_cast<__m128i*>(a + B.x), AverageBytes(acc[3], surface));
    }
}

// The same per group of eight lanes with 256-bit vectors: a step picks each lane's sample from
// the low or the high vector of the window, and its products and additions are those above.
template <bool kAlpha>
__attribute__((target("avx2"))) void BoxBlocks8(BYTE* d, BYTE* a, const float* const* rows, size_t stride, int nrows,
                                                const float* rowCover, float rowExtent, const BoxBlock* blocks,
                                                LONG nblocks) {
    constexpr int kChannels = kAlpha ? 4 : 3;
    // Blue 0-3, green 4-7, red 8-11 of each 128-bit lane to four pixels of three bytes.
    const __m256i interleave = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, -128, -128, -128, -128));
    const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f);
    for (LONG b = 0; b < nblocks; b++) {
        const BoxBlock& B = blocks[b];
        for (int h = 0; h < 2; h++) {
            __m256 acc[kChannels];
            for (int c = 0; c < kChannels; c++) acc[c] = zero;
            for (int k = 0; k < nrows; k++) {
                const float* r = rows[k] + B.base[h];
                const __m256 rc = _mm256_set1_ps(rowCover[k]);
                __m256 lo[kChannels], hi[kChannels];
                for (int c = 0; c < kChannels; c++) {
                    lo[c] = _mm256_loadu_ps(r + c * stride);
                    hi[c] = _mm256_loadu_ps(r + c * stride + 8);
                }
                for (int t = 0; t < B.steps; t++) {
                    const __m256i idx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B.idx[t] + 8 * h));
                    const __m256 high = _mm256_castsi256_ps(_mm256_cmpgt_epi32(idx, _mm256_set1_epi32(7)));
                    const __m256 w = _mm256_mul_ps(_mm256_loadu_ps(B.cover[t] + 8 * h), rc);
                    for (int c = 0; c < kChannels; c++) {
                        const __m256 v = _mm256_blendv_ps(_mm256_permutevar8x32_ps(lo[c], idx),
                                                          _mm256_permutevar8x32_ps(hi[c], idx), high);
                        acc[c] = _mm256_add_ps(acc[c], _mm256_mul_ps(v, w));
                    }
                }
            }
            const __m256 surface = _mm256_mul_ps(_mm256_loadu_ps(B.extent + 8 * h), _mm256_set1_ps(rowExtent));
            __m256i q[kChannels];
            for (int c = 0; c < kChannels; c++)
                q[c] = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(_mm256_div_ps(acc[c], surface), zero), top));
            // Per 128-bit lane: blue, green, red (and red again) of four pixels as bytes.
            const __m256i bytes =
                _mm256_packus_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[2]));
            alignas(32) BYTE tmp[32];
            _mm256_store_si256(reinterpret_cast<__m256i*>(tmp), _mm256_shuffle_epi8(bytes, interleave));
            BYTE* o = d + 3 * static_cast<size_t>(B.x + 8 * h);
            memcpy(o, tmp, 12);
            memcpy(o + 12, tmp + 16, 12);
            if constexpr (kAlpha) {
                const __m256i ab = _mm256_packus_epi16(_mm256_packs_epi32(q[3], q[3]), _mm256_setzero_si256());
                _mm256_store_si256(reinterpret_cast<__m256i*>(tmp), ab);
                memcpy(a + B.x + 8 * h, tmp, 4);
                memcpy(a + B.x + 8 * h + 4, tmp + 16, 4);
            }
        }
    }
}

}  // namespace

void BoxRun16(BYTE* d, BYTE* a, const float* const* rows, size_t stride, int nrows, const float* rowCover,
              float rowExtent, const BoxBlock* blocks, LONG nblocks) {
    const bool wide = BoxRunGroup() == 16;
    if (a != nullptr) {
        if (wide)
            BoxBlocks16<true>(d, a, rows, stride, nrows, rowCover, rowExtent, blocks, nblocks);
        else
            BoxBlocks8<true>(d, a, rows, stride, nrows, rowCover, rowExtent, blocks, nblocks);
    } else if (wide) {
        BoxBlocks16<false>(d, a, rows, stride, nrows, rowCover, rowExtent, blocks, nblocks);
    } else {
        BoxBlocks8<false>(d, a, rows, stride, nrows, rowCover, rowExtent, blocks, nblocks);
    }
}

bool HasPhaseRun() { return SimdAllows(Simd::Avx2); }

namespace {

// Eight super-pixels of q pixels (3q bytes each, at most 15) into 3q planes of eight values:
// a transpose of eight rows of sixteen bytes, then each plane's bytes widened to floats.
template <int Q>
__attribute__((target("avx2"))) void PhaseRowQ(float* out, size_t plane, const BYTE* src, const BYTE* alpha,
                                               LONG width) {
    constexpr int kBytes = 3 * Q;
    LONG i = 0;  // super-pixel
    // The last of the eight loads reads sixteen bytes from its super-pixel: all in the row.
    for (; kBytes * (i + 7) + 16 <= 3 * width; i += 8) {
        __m128i s[8];
        for (int m = 0; m < 8; m++)
            s[m] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + kBytes * static_cast<size_t>(i + m)));
        __m128i t[8], u[8], v[8];
        for (int m = 0; m < 4; m++) {
            t[2 * m] = _mm_unpacklo_epi8(s[2 * m], s[2 * m + 1]);
            t[2 * m + 1] = _mm_unpackhi_epi8(s[2 * m], s[2 * m + 1]);
        }
        for (int m = 0; m < 2; m++) {
            u[4 * m] = _mm_unpacklo_epi16(t[4 * m], t[4 * m + 2]);
            u[4 * m + 1] = _mm_unpackhi_epi16(t[4 * m], t[4 * m + 2]);
            u[4 * m + 2] = _mm_unpacklo_epi16(t[4 * m + 1], t[4 * m + 3]);
            u[4 * m + 3] = _mm_unpackhi_epi16(t[4 * m + 1], t[4 * m + 3]);
        }
        for (int m = 0; m < 4; m++) {
            v[2 * m] = _mm_unpacklo_epi32(u[m], u[m + 4]);
            v[2 * m + 1] = _mm_unpackhi_epi32(u[m], u[m + 4]);
        }
        // v[m] holds byte 2m of the eight super-pixels, then byte 2m + 1.
        for (int k = 0; k < kBytes; k++) {
            const __m128i b = k % 2 ? _mm_srli_si128(v[k / 2], 8) : v[k / 2];
            const int c = k % 3, r = k / 3;
            _mm256_storeu_ps(out + static_cast<size_t>(c * Q + r) * plane + i,
                             _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(b)));
        }
    }
    for (LONG x = i * Q; x < width; x++)
        for (int c = 0; c < 3; c++)
            out[static_cast<size_t>(c * Q + x % Q) * plane + x / Q] = src[3 * static_cast<size_t>(x) + c];
    if (alpha != nullptr)
        for (LONG x = 0; x < width; x++) out[static_cast<size_t>(3 * Q + x % Q) * plane + x / Q] = alpha[x];
}

// Sixteen-byte pieces of the output of a block, per group: for each 128-bit half (lanes 0-3 and
// 4-7) the byte each output byte takes from the group's packed channels (4 c + lane), or 0x80.
struct PhaseMasks {
    alignas(32) BYTE m[kPhaseMaxP + 1][3][kPhaseMaxP][32];
    PhaseMasks() {
        for (int p = 1; p <= kPhaseMaxP; p++)
            for (int j = 0; j < 3; j++)
                for (int g = 0; g < kPhaseMaxP; g++)
                    for (int b = 0; b < 32; b++) {
                        const int pos = 16 * j + b % 16, col = pos / 3;
                        const bool mine = pos < 12 * p && col % p == g;
                        m[p][j][g][b] = mine ? static_cast<BYTE>(4 * (pos % 3) + col / p) : BYTE{0x80};
                    }
    }
};
const PhaseMasks kPhaseMasks;

// The first N (4, 8 or 12) bytes of v to o.
template <int N>
__attribute__((target("avx2"))) inline void StoreBytes(BYTE* o, __m128i v) {
    if constexpr (N >= 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), v);
        if constexpr (N == 12) {
            const int last = _mm_cvtsi128_si32(_mm_srli_si128(v, 8));
            memcpy(o + 8, &last, 4);
        }
    } else {
        const int first = _mm_cvtsi128_si32(v);
        memcpy(o, &first, 4);
    }
}

inline float SpanCover(const ColumnSpan& sp, LONG i) {
    return i == sp.first ? sp.firstCover : (i == sp.last ? sp.lastCover : 1.0f);
}

template <int P, bool kAlpha>
__attribute__((target("avx2"))) void PhaseBlocks(BYTE* d, BYTE* a, const float* const* rows, const PhaseLayout& L,
                                                 int nrows, const float* rowCover, float rowExtent,
                                                 const PhaseBlock* blocks, LONG nblocks, const ColumnSpan* spans,
                                                 LONG spanBase) {
    constexpr int kChannels = kAlpha ? 4 : 3;
    const size_t cs = static_cast<size_t>(L.q) * L.plane;
    const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f);
    for (LONG b = 0; b < nblocks; b++) {
        const PhaseBlock& B = blocks[b];
        __m256i packed[P];
        alignas(32) int32_t alphaOut[P][8];
        for (int g = 0; g < P; g++) {
            const PhaseGroup& G = B.g[g];
            __m256i q[kChannels];
            if (G.steps > 0) {
                __m256 acc[kChannels];
                for (int c = 0; c < kChannels; c++) acc[c] = zero;
                for (int k = 0; k < nrows; k++) {
                    const __m256 rc = _mm256_set1_ps(rowCover[k]);
                    for (int t = 0; t < G.steps; t++) {
                        const __m256 w = _mm256_mul_ps(_mm256_loadu_ps(G.cover[t]), rc);
                        const float* r = rows[k] + G.off[t];
                        for (int c = 0; c < kChannels; c++)
                            acc[c] = _mm256_add_ps(acc[c], _mm256_mul_ps(_mm256_loadu_ps(r + c * cs), w));
                    }
                }
                const __m256 surface = _mm256_mul_ps(_mm256_loadu_ps(G.extent), _mm256_set1_ps(rowExtent));
                for (int c = 0; c < kChannels; c++)
                    q[c] = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(_mm256_div_ps(acc[c], surface), zero), top));
            } else {
                // Each lane on its own, with the same products and additions.
                alignas(32) int32_t lanes[kChannels][8];
                for (int l = 0; l < 8; l++) {
                    const ColumnSpan& sp = spans[B.x + g + P * l - spanBase];
                    float acc[kChannels] = {};
                    for (int k = 0; k < nrows; k++)
                        for (LONG i = sp.first; i <= sp.last; i++) {
                            const float w = SpanCover(sp, i) * rowCover[k];
                            const float* r = rows[k] + static_cast<size_t>(i % L.q) * L.plane + i / L.q;
                            for (int c = 0; c < kChannels; c++) acc[c] += r[c * cs] * w;
                        }
                    const float surface = sp.extent * rowExtent;
                    for (int c = 0; c < kChannels; c++) {
                        const float v = acc[c] / surface;
                        lanes[c][l] = !(v > 0.0f) ? 0 : (v > 255.0f ? 255 : static_cast<int32_t>(v));
                    }
                }
                for (int c = 0; c < kChannels; c++) q[c] = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes[c]));
            }
            // Per 128-bit half: blue, green, red (and red again) of four lanes as bytes.
            packed[g] = _mm256_packus_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[2]));
            if constexpr (kAlpha) _mm256_store_si256(reinterpret_cast<__m256i*>(alphaOut[g]), q[3]);
        }
        // Lanes 0-3 of the groups make the 12 P bytes from column x on, lanes 4-7 the next 12 P.
        BYTE* o = d + 3 * static_cast<size_t>(B.x);
        constexpr int kBytes = 12 * P, kPieces = (kBytes + 15) / 16;
        for (int j = 0; j < kPieces; j++) {
            __m256i v = _mm256_shuffle_epi8(
                packed[0], _mm256_load_si256(reinterpret_cast<const __m256i*>(kPhaseMasks.m[P][j][0])));
            for (int g = 1; g < P; g++)
                v = _mm256_or_si256(v, _mm256_shuffle_epi8(packed[g], _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                                                          kPhaseMasks.m[P][j][g]))));
            const __m128i lo = _mm256_castsi256_si128(v), hi = _mm256_extracti128_si256(v, 1);
            if (j + 1 < kPieces || kBytes % 16 == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16 * j), lo);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + kBytes + 16 * j), hi);
            } else {
                // The last piece: 12, 8 or 4 bytes.
                StoreBytes<kBytes % 16>(o + 16 * j, lo);
                StoreBytes<kBytes % 16>(o + kBytes + 16 * j, hi);
            }
        }
        if constexpr (kAlpha)
            for (int g = 0; g < P; g++)
                for (int l = 0; l < 8; l++) a[B.x + g + P * l] = static_cast<BYTE>(alphaOut[g][l]);
    }
}

template <int P>
void PhaseBlocksP(BYTE* d, BYTE* a, const float* const* rows, const PhaseLayout& L, int nrows, const float* rowCover,
                  float rowExtent, const PhaseBlock* blocks, LONG nblocks, const ColumnSpan* spans, LONG spanBase) {
    if (a != nullptr)
        PhaseBlocks<P, true>(d, a, rows, L, nrows, rowCover, rowExtent, blocks, nblocks, spans, spanBase);
    else
        PhaseBlocks<P, false>(d, a, rows, L, nrows, rowCover, rowExtent, blocks, nblocks, spans, spanBase);
}

}  // namespace

void PhaseRow(float* out, const PhaseLayout& layout, const BYTE* src, const BYTE* alpha, LONG width) {
    switch (layout.q) {
        case 2: PhaseRowQ<2>(out, layout.plane, src, alpha, width); break;
        case 3: PhaseRowQ<3>(out, layout.plane, src, alpha, width); break;
        case 4: PhaseRowQ<4>(out, layout.plane, src, alpha, width); break;
        default: PhaseRowQ<5>(out, layout.plane, src, alpha, width); break;
    }
}

void PhaseRun(BYTE* d, BYTE* a, const float* const* rows, const PhaseLayout& layout, int nrows,
              const float* rowCover, float rowExtent, const PhaseBlock* blocks, LONG nblocks,
              const ColumnSpan* spans, LONG spanBase) {
    switch (layout.p) {
        case 1: PhaseBlocksP<1>(d, a, rows, layout, nrows, rowCover, rowExtent, blocks, nblocks, spans, spanBase); break;
        case 2: PhaseBlocksP<2>(d, a, rows, layout, nrows, rowCover, rowExtent, blocks, nblocks, spans, spanBase); break;
        case 3: PhaseBlocksP<3>(d, a, rows, layout, nrows, rowCover, rowExtent, blocks, nblocks, spans, spanBase); break;
        default: PhaseBlocksP<4>(d, a, rows, layout, nrows, rowCover, rowExtent, blocks, nblocks, spans, spanBase); break;
    }
}

#pragma GCC diagnostic pop

#else

void BoxRun(BYTE*, BYTE*, const float* const*, int, const float*, float, const ColumnSpan*, LONG) {}
bool HasKernelRun() { return false; }
int BoxRunGroup() { return 0; }
void BoxRun16(BYTE*, BYTE*, const float* const*, size_t, int, const float*, float, const BoxBlock*, LONG) {}
bool HasPhaseRun() { return false; }
void PhaseRow(float*, const PhaseLayout&, const BYTE*, const BYTE*, LONG) {}
void PhaseRun(BYTE*, BYTE*, const float* const*, const PhaseLayout&, int, const float*, float, const PhaseBlock*, LONG,
              const ColumnSpan*, LONG) {}

#endif

PhaseLayout PhaseLayoutOf(int p, int q, LONG width) {
    const size_t columns = (static_cast<size_t>(width) + static_cast<size_t>(q) - 1) / static_cast<size_t>(q);
    return PhaseLayout{p, q, (columns + 8 + 7) & ~static_cast<size_t>(7)};
}

// Also the form for builds without the vector paths, where the caller never asks for it.
#if !PX_KERNELRUN_VECTOR
void PlanarRow(float* out, size_t stride, const BYTE* src, const BYTE* alpha, LONG width) {
    for (LONG x = 0; x < width; x++)
        for (int c = 0; c < 3; c++) out[c * stride + x] = src[3 * static_cast<size_t>(x) + c];
    if (alpha != nullptr)
        for (LONG x = 0; x < width; x++) out[3 * stride + x] = alpha[x];
}
#endif

}  // namespace pxgeo
