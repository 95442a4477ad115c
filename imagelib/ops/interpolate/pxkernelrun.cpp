// Two pixels per step: each 256-bit lane half holds one pixel's four channels, so every product
// and every addition is the four-lane form's, only twice as many at once. No FMA: a fused
// multiply-add would round once where the four-lane form rounds twice.
#include "imagelib/ops/interpolate/pxkernelrun.h"

#include <algorithm>

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

__attribute__((target("avx"))) void KernelRun4x4(BYTE* d, BYTE* a, const float* const rows[4],
                                                 const ColumnTaps* cols, LONG n, const float ky[4]) {
    const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f);
    LONG x = 0;
    for (; x + 2 <= n; x += 2) {
        const ColumnTaps& A = cols[x];
        const ColumnTaps& B = cols[x + 1];
        // Column weights of A in the low half, of B in the high half; times ky[j] they are the
        // scalar products kx[i] x ky[j] of each pixel.
        __m256 kx[4];
        for (int i = 0; i < 4; i++)
            kx[i] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_set1_ps(A.k[i])), _mm_set1_ps(B.k[i]), 1);
        __m256 acc = zero;
        for (int j = 0; j < 4; j++) {
            const float* r = rows[j];
            const __m256 kyj = _mm256_set1_ps(ky[j]);
            for (int i = 0; i < 4; i++) {
                const __m256 v = _mm256_insertf128_ps(
                    _mm256_castps128_ps256(_mm_loadu_ps(r + 4 * static_cast<size_t>(A.first + i))),
                    _mm_loadu_ps(r + 4 * static_cast<size_t>(B.first + i)), 1);
                acc = _mm256_add_ps(acc, _mm256_mul_ps(v, _mm256_mul_ps(kx[i], kyj)));
            }
        }
        // ClampByte: NaN and negatives give 0 (max takes the second operand on NaN), then 255 at most.
        const __m256i q = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(acc, zero), top));
        StorePair(d, a, x, q);
    }
    for (; x < n; x++) {
        const ColumnTaps& A = cols[x];
        __m128 acc = _mm_setzero_ps();
        for (int j = 0; j < 4; j++)
            for (int i = 0; i < 4; i++)
                acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(rows[j] + 4 * static_cast<size_t>(A.first + i)),
                                                 _mm_set1_ps(A.k[i] * ky[j])));
        const __m128i q =
            _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(acc, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
        StoreOne(d, a, x, q);
    }
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

#else

void BoxRun(BYTE*, BYTE*, const float* const*, int, const float*, float, const ColumnSpan*, LONG) {}
bool HasKernelRun() { return false; }
void KernelRun4x4(BYTE*, BYTE*, const float* const[4], const ColumnTaps*, LONG, const float[4]) {}

#endif

}  // namespace pxgeo
