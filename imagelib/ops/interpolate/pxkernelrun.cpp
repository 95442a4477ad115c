// Two pixels per step: each 256-bit lane half holds one pixel's four channels, so every product
// and every addition is the four-lane form's, only twice as many at once. No FMA: a fused
// multiply-add would round once where the four-lane form rounds twice.
#include "imagelib/ops/interpolate/pxkernelrun.h"

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

bool HasKernelRun() {
    static const bool has = __builtin_cpu_supports("avx");
    return has;
}

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

int BoxRunGroup() {
    static const int group = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") ? 16
                             : __builtin_cpu_supports("avx2")                                          ? 8
                                                                                                       : 0;
    return group;
}

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

// The same with 256-bit vectors, left to the compiler.
__attribute__((target("avx2"))) void PlanarRow8(float* out, size_t stride, const BYTE* src, const BYTE* alpha,
                                                LONG width) {
    float* pb = out;
    float* pg = out + stride;
    float* pr = out + 2 * stride;
    for (LONG x = 0; x < width; x++) {
        pb[x] = src[3 * static_cast<size_t>(x)];
        pg[x] = src[3 * static_cast<size_t>(x) + 1];
        pr[x] = src[3 * static_cast<size_t>(x) + 2];
    }
    if (alpha != nullptr) {
        float* pa = out + 3 * stride;
        for (LONG x = 0; x < width; x++) pa[x] = alpha[x];
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

#pragma GCC diagnostic pop

#else

void BoxRun(BYTE*, BYTE*, const float* const*, int, const float*, float, const ColumnSpan*, LONG) {}
bool HasKernelRun() { return false; }
int BoxRunGroup() { return 0; }
void BoxRun16(BYTE*, BYTE*, const float* const*, size_t, int, const float*, float, const BoxBlock*, LONG) {}

#endif

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
