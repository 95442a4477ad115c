// The unsharp mask's row kernels. Away from the line ends each blurred byte is a sum of value x
// weight over the kernel, added in kernel order; the sums and the merge run in loops the compiler
// vectorises, and where the CPU has AVX2 in loops written out for it that do the plain loops'
// steps lane by lane, so the bytes do not depend on which loops ran.
#include "imagelib/ops/filter/pxunsharprows.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/core/pxsimd.h"
#include "imagelib/pximage.h"

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define PX_UNSHARP_AVX2 1
#include <immintrin.h>
#endif

namespace px_unsharp {



// A vector of lanes at a time for the finishing steps, in the compiler's own vector types: left to
// itself it goes from floats to bytes and back through packs and shuffles, or not in vectors
// at all. Every step is the scalar one lane by lane.
// They never cross a call (all inlined), so the note on their calling convention does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
// Sixteen lanes: one register in the AVX-512 build, two or four in the others.
typedef float VF __attribute__((vector_size(64)));
typedef int VI __attribute__((vector_size(64)));
constexpr int kVec = 16;

__attribute__((always_inline)) inline VF LoadVF(const float* p) {
    VF v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Whole numbers clamped to 0..255.
__attribute__((always_inline)) inline VI ClampVI(VI r) {
    r = r > 0 ? r : 0;
    return r < 255 ? r : 255;
}

// RoundOut of blurred sums. A sum of bytes times weights that add up to 1 lies in 0 .. 255 and
// a few rounding steps, so trunc(0.5 + a) is in int range and the clamp after the conversion is
// the clamp before it.
__attribute__((always_inline)) inline VI RoundSumsVI(VF a) { return ClampVI(__builtin_convertvector(0.5f + a, VI)); }


// MergeByte for a vector of lanes of source s and blurred bl (whole numbers 0..255); amount within
// kWholeNumberAmount.
__attribute__((always_inline)) inline VI MergeVI(VI s, VI bl, float amount, int threshold) {
    const VI d = s - bl;
    const VI ad = d < 0 ? -d : d;
    const VF v = __builtin_convertvector(s, VF) + amount * __builtin_convertvector(d, VF);
    const VI sharp = ClampVI(__builtin_convertvector(v, VI));
    return ad + ad < threshold ? s : sharp;
}

inline BYTE MergeByte(int s, int blurred, float amount, int threshold);

// Merges kChunk blurred sums a into row: the bytes go to whole numbers and back in plain loops,
// which the compiler turns into vector code of its own, and the arithmetic in between runs on VI.
template <int kChunk>
__attribute__((always_inline)) inline void MergeChunk(BYTE* __restrict row, const float* a, float amount,
                                                      int threshold) {
    if (!WholeNumberMerge(amount)) {
        for (int k = 0; k < kChunk; k++) row[k] = MergeByte(row[k], RoundOut(a[k]), amount, threshold);
        return;
    }
    int src[kChunk];
    int res[kChunk];
    for (int k = 0; k < kChunk; k++) src[k] = row[k];
    for (int k = 0; k < kChunk; k += kVec) {
        VI sv;
        std::memcpy(&sv, src + k, sizeof sv);
        const VI r = MergeVI(sv, RoundSumsVI(LoadVF(a + k)), amount, threshold);
        std::memcpy(res + k, &r, sizeof r);
    }
    for (int k = 0; k < kChunk; k++) row[k] = static_cast<BYTE>(res[k]);
}


constexpr int kLanes = 64;

// Calls finish(i, a, count) with a[k] the sum over j of taps[j][i + k] * cmatrix[j], taken in
// kernel order, for i in [0, n) in steps of kLanes (count is kLanes but at the end). The taps
// hold byte values as floats (converted once, not once per tap), and kLanes sums at a time stay
// in registers: loops of a fixed length the compiler turns into vector code. The first product
// needs no addition to 0: a byte times a positive weight is never -0. Inlined into each caller,
// whose finish works on the sums while they are still at hand instead of in a further pass.
template <class Finish>
__attribute__((always_inline)) inline void SumTaps(const float* cmatrix, int L, const float* const* taps, int64_t n,
                                                   Finish finish) {
    int64_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        float a[kLanes];
        {
            const float wt = cmatrix[0];
            const float* s = taps[0] + i;
            for (int k = 0; k < kLanes; k++) a[k] = s[k] * wt;
        }
        for (int j = 1; j < L; j++) {
            const float wt = cmatrix[j];
            const float* s = taps[j] + i;
            for (int k = 0; k < kLanes; k++) a[k] += s[k] * wt;
        }
        finish(i, a, kLanes);
    }
    for (; i < n; i++) {
        float a = taps[0][i] * cmatrix[0];
        for (int j = 1; j < L; j++) a += taps[j][i] * cmatrix[j];
        finish(i, &a, 1);
    }
}

// out[i] = RoundOut(sum), the blurred bytes, kept as floats for the column direction to read.
// Built for AVX2 as well when the compiler can (without FMA, which would round differently).
inline void SumToByteFloatsLoop(const float* cmatrix, int L, const float* const* taps, int64_t n, float* __restrict out) {
    SumTaps(cmatrix, L, taps, n, [out](int64_t i, const float* a, int count) {
        if (count == kLanes) {
            for (int k = 0; k < kLanes; k += kVec) {
                const VF r = __builtin_convertvector(RoundSumsVI(LoadVF(a + k)), VF);
                std::memcpy(out + i + k, &r, sizeof r);
            }
        } else {
            for (int k = 0; k < count; k++) out[i + k] = static_cast<float>(RoundOut(a[k]));
        }
    });
}

void SumToByteFloats(const float* cmatrix, int L, const float* const* taps, int64_t n, float* __restrict out) {
    pxgeo::Vectorised([&] { SumToByteFloatsLoop(cmatrix, L, taps, n, out); });
}

// The merge of one byte: it moves away from its blurred value by amount times the difference,
// unless twice the difference is below threshold.
inline BYTE MergeByte(int s, int blurred, float amount, int threshold) {
    const int d = s - blurred;
    const int ad = d < 0 ? -d : d;
    const BYTE sharp = TruncClamp(static_cast<float>(s) + amount * static_cast<float>(d));
    return 2 * ad < threshold ? static_cast<BYTE>(s) : sharp;
}

// Blurs a row in the column direction and merges it into the image row at once.
inline void SumAndMergeLoop(const float* cmatrix, int L, const float* const* taps, int64_t n, BYTE* __restrict row,
                            float amount, int threshold) {
    SumTaps(cmatrix, L, taps, n, [=](int64_t i, const float* a, int count) {
        if (count == kLanes) {
            MergeChunk<kLanes>(row + i, a, amount, threshold);
        } else {
            for (int k = 0; k < count; k++) row[i + k] = MergeByte(row[i + k], RoundOut(a[k]), amount, threshold);
        }
    });
}

void SumAndMerge(const float* cmatrix, int L, const float* const* taps, int64_t n, BYTE* __restrict row, float amount,
                 int threshold) {
    pxgeo::Vectorised([&] { SumAndMergeLoop(cmatrix, L, taps, n, row, amount, threshold); });
}

// Columns i .. n - 1 of two neighbouring rows, one at a time: row0 blurs taps[0 .. L - 1],
// row1 taps[1 .. L], and both merge at once (the tails of the pair loops).
inline void MergePairFrom(int64_t i, int64_t n, const float* const* taps, const float* cm, int L, BYTE* row0,
                          BYTE* row1, float amount, int threshold) {
    for (; i < n; i++) {
        float a0 = taps[0][i] * cm[0], a1 = taps[1][i] * cm[0];
        for (int j = 1; j < L; j++) {
            a0 += taps[j][i] * cm[j];
            a1 += taps[j + 1][i] * cm[j];
        }
        row0[i] = MergeByte(row0[i], RoundOut(a0), amount, threshold);
        row1[i] = MergeByte(row1[i], RoundOut(a1), amount, threshold);
    }
}

// Two neighbouring rows at once: taps[0 .. L] are the L + 1 rows from the first row's first tap
// to the second row's last. Each tap row is loaded once for both sums, so the column direction
// reads half as much; each sum still adds its own products in kernel order. Needs L >= 2.
inline void SumAndMergePairLoop(const float* cmatrix, int L, const float* const* taps, int64_t n, BYTE* __restrict row0,
                                BYTE* __restrict row1, float amount, int threshold) {
    constexpr int kPair = 32;
    int64_t i = 0;
    for (; i + kPair <= n; i += kPair) {
        float a0[kPair], a1[kPair];
        {
            const float w0 = cmatrix[0], w1 = cmatrix[1];
            const float* r0 = taps[0] + i;
            const float* r1 = taps[1] + i;
            for (int k = 0; k < kPair; k++) a0[k] = r0[k] * w0;
            for (int k = 0; k < kPair; k++) {
                a0[k] += r1[k] * w1;
                a1[k] = r1[k] * w0;
            }
        }
        for (int t = 2; t < L; t++) {
            const float wa = cmatrix[t], wb = cmatrix[t - 1];
            const float* r = taps[t] + i;
            for (int k = 0; k < kPair; k++) {
                a0[k] += r[k] * wa;
                a1[k] += r[k] * wb;
            }
        }
        {
            const float wb = cmatrix[L - 1];
            const float* r = taps[L] + i;
            for (int k = 0; k < kPair; k++) a1[k] += r[k] * wb;
        }
        MergeChunk<kPair>(row0 + i, a0, amount, threshold);
        MergeChunk<kPair>(row1 + i, a1, amount, threshold);
    }
    MergePairFrom(i, n, taps, cmatrix, L, row0, row1, amount, threshold);
}

void SumAndMergePair(const float* cmatrix, int L, const float* const* taps, int64_t n, BYTE* __restrict row0,
                     BYTE* __restrict row1, float amount, int threshold) {
    pxgeo::Vectorised([&] { SumAndMergePairLoop(cmatrix, L, taps, n, row0, row1, amount, threshold); });
}

inline void BytesToFloatsLoop(const BYTE* s, float* d, int64_t n) {
    for (int64_t i = 0; i < n; i++) d[i] = static_cast<float>(s[i]);
}

void BytesToFloats(const BYTE* s, float* d, int64_t n) {
    pxgeo::Vectorised([&] { BytesToFloatsLoop(s, d, n); });
}

#if PX_UNSHARP_AVX2

// The same sums eight lanes to a register, written out for AVX2: left to the compiler, the
// finishing steps went through the bytes one at a time. Every lane does the scalar code's steps
// in its order; there is no FMA, which would round once where those round twice.
#define PX_UNSHARP_WIDE __attribute__((target("avx2")))

bool WideVectors() { return pxgeo::SimdAllows(pxgeo::Simd::Avx2); }

// RoundOut of eight sums, as floats. A sum of bytes times positive weights is never below 0, so
// trunc(0.5 + a) needs no clamp at 0.
PX_UNSHARP_WIDE inline __m256 RoundSums8(__m256 a) {
    const __m256 r = _mm256_round_ps(_mm256_add_ps(_mm256_set1_ps(0.5f), a), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    return _mm256_min_ps(r, _mm256_set1_ps(255.0f));
}

// The merge's constants: amount, and half the threshold when a threshold can keep a byte (2 |d|
// is at most 510, so a threshold above 1021 keeps every byte, one of 0 or less none).
struct WideMerge {
    __m256 amount, halfThreshold;
    bool keeps;
    PX_UNSHARP_WIDE WideMerge(float a, int threshold)
        : amount(_mm256_set1_ps(a)),
          halfThreshold(_mm256_set1_ps(0.5f * static_cast<float>(std::min(threshold, 1021)))),
          keeps(threshold > 0) {}
};

// MergeByte of eight bytes, at src as floats, and their blurred sums a, as whole numbers (not yet
// clamped). The difference of two whole numbers below 256 is exact in floats, and 2 |d| < t when
// |d| < t / 2.
PX_UNSHARP_WIDE inline __m256i Merge8(const float* src, __m256 a, const WideMerge& mg) {
    const __m256 s = _mm256_loadu_ps(src);
    const __m256 d = _mm256_sub_ps(s, RoundSums8(a));
    __m256 v = _mm256_add_ps(s, _mm256_mul_ps(mg.amount, d));
    if (mg.keeps) {
        const __m256 ad = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), d);
        v = _mm256_blendv_ps(v, s, _mm256_cmp_ps(ad, mg.halfThreshold, _CMP_LT_OQ));
    }
    // Below kWholeNumberAmount, v is far inside int range.
    return _mm256_cvttps_epi32(v);
}

// Merges 16 sums a[0..1] into row[0..15], whose bytes src holds as floats; the packs clamp to
// 0..255 as TruncClamp does.
PX_UNSHARP_WIDE inline void MergeStore16(BYTE* row, const float* src, const __m256* a, const WideMerge& mg) {
    const __m256i r0 = Merge8(src, a[0], mg), r1 = Merge8(src + 8, a[1], mg);
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(r0, r1), 0xD8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row),
                     _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1)));
}

// The weights, broadcast, and the tap rows of a kernel of kL taps (any length when kL is 0),
// nTaps rows. Copied into locals for the known lengths: the byte stores in the loops may alias
// anything, and would make the compiler load them again after every store.
template <int kL>
struct WideTaps {
    int L;
    const float* cm;
    const float* const* taps;
    __m256 w[kL > 0 ? kL : 1];
    const float* t[kL > 0 ? kL + 1 : 1];
    PX_UNSHARP_WIDE WideTaps(const float* cmatrix, int length, const float* const* rows, int nTaps)
        : L(kL > 0 ? kL : length), cm(cmatrix), taps(rows) {
        if (kL > 0) {
            for (int j = 0; j < kL; j++) w[j] = _mm256_set1_ps(cmatrix[j]);
            for (int j = 0; j < nTaps && j <= kL; j++) t[j] = rows[j];
        }
    }
    PX_UNSHARP_WIDE __m256 W(int j) const { return kL > 0 ? w[j] : _mm256_set1_ps(cm[j]); }
    const float* T(int j) const { return kL > 0 ? t[j] : taps[j]; }
};

// a[k] = tap 0 at i + 8 k times weight 0, then + tap j times weight j in kernel order: 8 kVecs
// sums.
template <int kL, int kVecs>
PX_UNSHARP_WIDE inline void Sums(const WideTaps<kL>& tp, int64_t i, __m256* a) {
    {
        const __m256 w = tp.W(0);
        const float* s = tp.T(0) + i;
        for (int k = 0; k < kVecs; k++) a[k] = _mm256_mul_ps(_mm256_loadu_ps(s + 8 * k), w);
    }
    for (int j = 1; j < tp.L; j++) {
        const __m256 w = tp.W(j);
        const float* s = tp.T(j) + i;
        for (int k = 0; k < kVecs; k++) a[k] = _mm256_add_ps(a[k], _mm256_mul_ps(_mm256_loadu_ps(s + 8 * k), w));
    }
}

// BytesToFloats: each byte widened straight from memory.
PX_UNSHARP_WIDE void WideBytesToFloats(const BYTE* s, float* d, int64_t n) {
    auto eight = [&](int64_t i) PX_UNSHARP_WIDE {
        _mm256_storeu_ps(d + i, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(
                                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + i)))));
    };
    int64_t i = 0;
    for (; i + 32 <= n; i += 32) {
        eight(i);
        eight(i + 8);
        eight(i + 16);
        eight(i + 24);
    }
    for (; i + 8 <= n; i += 8) eight(i);
    for (; i < n; i++) d[i] = static_cast<float>(s[i]);
}

// SumToByteFloats.
template <int kL>
PX_UNSHARP_WIDE void WideSumToByteFloats(const float* cm, int L, const float* const* taps, int64_t n,
                                         float* __restrict out) {
    const WideTaps<kL> tp(cm, L, taps, L);
    int64_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m256 a[4];
        Sums<kL, 4>(tp, i, a);
        for (int k = 0; k < 4; k++) _mm256_storeu_ps(out + i + 8 * k, RoundSums8(a[k]));
    }
    for (; i < n; i++) {
        float a = taps[0][i] * cm[0];
        for (int j = 1; j < L; j++) a += taps[j][i] * cm[j];
        out[i] = static_cast<float>(RoundOut(a));
    }
}

// SumAndMerge, for amounts merged in whole numbers.
template <int kL>
PX_UNSHARP_WIDE void WideSumAndMerge(const float* cm, int L, const float* const* taps, int64_t n,
                                     BYTE* __restrict row, const float* src, float amount, int threshold) {
    const WideTaps<kL> tp(cm, L, taps, L);
    const WideMerge mg(amount, threshold);
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256 a[2];
        Sums<kL, 2>(tp, i, a);
        MergeStore16(row + i, src + i, a, mg);
    }
    for (; i < n; i++) {
        float a = taps[0][i] * cm[0];
        for (int j = 1; j < L; j++) a += taps[j][i] * cm[j];
        row[i] = MergeByte(row[i], RoundOut(a), amount, threshold);
    }
}

// SumAndMergePair, for amounts merged in whole numbers. Needs L >= 2. Sixteen lanes of both rows
// at a time: four sums and the weights fit the sixteen registers.
template <int kL>
PX_UNSHARP_WIDE void WideSumAndMergePair(const float* cm, int L, const float* const* taps, int64_t n,
                                         BYTE* __restrict row0, BYTE* __restrict row1, const float* src0,
                                         const float* src1, float amount, int threshold) {
    const WideTaps<kL> tp(cm, L, taps, L + 1);
    const WideMerge mg(amount, threshold);
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256 a0[2], a1[2];
        {
            const __m256 w0 = tp.W(0), w1 = tp.W(1);
            const float* r0 = tp.T(0) + i;
            const float* r1 = tp.T(1) + i;
            for (int k = 0; k < 2; k++) {
                const __m256 v1 = _mm256_loadu_ps(r1 + 8 * k);
                a0[k] = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(r0 + 8 * k), w0), _mm256_mul_ps(v1, w1));
                a1[k] = _mm256_mul_ps(v1, w0);
            }
        }
        for (int t = 2; t < tp.L; t++) {
            const __m256 wa = tp.W(t), wb = tp.W(t - 1);
            const float* r = tp.T(t) + i;
            for (int k = 0; k < 2; k++) {
                const __m256 v = _mm256_loadu_ps(r + 8 * k);
                a0[k] = _mm256_add_ps(a0[k], _mm256_mul_ps(v, wa));
                a1[k] = _mm256_add_ps(a1[k], _mm256_mul_ps(v, wb));
            }
        }
        {
            const __m256 wb = tp.W(tp.L - 1);
            const float* r = tp.T(tp.L) + i;
            for (int k = 0; k < 2; k++) a1[k] = _mm256_add_ps(a1[k], _mm256_mul_ps(_mm256_loadu_ps(r + 8 * k), wb));
        }
        MergeStore16(row0 + i, src0 + i, a0, mg);
        MergeStore16(row1 + i, src1 + i, a1, mg);
    }
    MergePairFrom(i, n, taps, cm, L, row0, row1, amount, threshold);
}

// The merge of a row whose column window leaves the image: EdgeValue of the nTaps rows in
// taps, which meet weights wts, added in that order from 0 and divided by their sum scale.
PX_UNSHARP_WIDE void WideEdgeMerge(const float* const* taps, const float* wts, int nTaps, float scale, int64_t n,
                                   BYTE* __restrict row, const float* src, float amount, int threshold) {
    const WideMerge mg(amount, threshold);
    const __m256 vs = _mm256_set1_ps(scale);
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256 a[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        for (int j = 0; j < nTaps; j++) {
            const __m256 w = _mm256_set1_ps(wts[j]);
            for (int k = 0; k < 2; k++)
                a[k] = _mm256_add_ps(a[k], _mm256_mul_ps(_mm256_loadu_ps(taps[j] + i + 8 * k), w));
        }
        for (int k = 0; k < 2; k++) a[k] = _mm256_div_ps(a[k], vs);
        MergeStore16(row + i, src + i, a, mg);
    }
    for (; i < n; i++) {
        float sum = 0;
        for (int j = 0; j < nTaps; j++) sum += taps[j][i] * wts[j];
        row[i] = MergeByte(row[i], RoundOut(sum / scale), amount, threshold);
    }
}

// Calls K<taps>::Run for the common kernel lengths (radius up to 2.2), K<0> for the rest: with
// the length known the loops over taps unroll and the weights stay in registers.
template <template <int> class K, class... Args>
void ByLength(int L, Args... args) {
    switch (L) {
        case 5: return K<5>::Run(args...);
        case 7: return K<7>::Run(args...);
        case 9: return K<9>::Run(args...);
        case 11: return K<11>::Run(args...);
        case 13: return K<13>::Run(args...);
        default: return K<0>::Run(args...);
    }
}
template <int kL>
struct ByteFloatsK {
    static void Run(const float* cm, int L, const float* const* taps, int64_t n, float* out) {
        WideSumToByteFloats<kL>(cm, L, taps, n, out);
    }
};
template <int kL>
struct MergeK {
    static void Run(const float* cm, int L, const float* const* taps, int64_t n, BYTE* row, const float* src,
                    float amount, int threshold) {
        WideSumAndMerge<kL>(cm, L, taps, n, row, src, amount, threshold);
    }
};
template <int kL>
struct PairK {
    static void Run(const float* cm, int L, const float* const* taps, int64_t n, BYTE* row0, BYTE* row1,
                    const float* src0, const float* src1, float amount, int threshold) {
        WideSumAndMergePair<kL>(cm, L, taps, n, row0, row1, src0, src1, amount, threshold);
    }
};

#else
bool WideVectors() { return false; }
#endif

// The sums of the middle of a row, and the column sums merged into one or two rows: the wide
// forms where the CPU has them, else the compiler's vector code.
void BytesToFloatsAny(const BYTE* s, float* d, int64_t n) {
#if PX_UNSHARP_AVX2
    if (WideVectors()) return WideBytesToFloats(s, d, n);
#endif
    BytesToFloats(s, d, n);
}

void SumToByteFloatsAny(const float* cm, int L, const float* const* taps, int64_t n, float* out) {
#if PX_UNSHARP_AVX2
    if (WideVectors()) return ByLength<ByteFloatsK>(L, cm, L, taps, n, out);
#endif
    SumToByteFloats(cm, L, taps, n, out);
}

// The merges take each row's bytes also as floats (src), which the wide forms read instead.
void WideEdgeMergeAny(const float* const* taps, const float* wts, int nTaps, float scale, int64_t n, BYTE* row,
                      const float* src, float amount, int threshold) {
#if PX_UNSHARP_AVX2
    WideEdgeMerge(taps, wts, nTaps, scale, n, row, src, amount, threshold);
#else
    (void)taps, (void)wts, (void)nTaps, (void)scale, (void)n, (void)row, (void)src, (void)amount, (void)threshold;
#endif
}

void SumAndMergeAny(const float* cm, int L, const float* const* taps, int64_t n, BYTE* row, const float* src,
                    float amount, int threshold) {
#if PX_UNSHARP_AVX2
    if (WholeNumberMerge(amount) && WideVectors())
        return ByLength<MergeK>(L, cm, L, taps, n, row, src, amount, threshold);
#endif
    (void)src;
    SumAndMerge(cm, L, taps, n, row, amount, threshold);
}

void SumAndMergePairAny(const float* cm, int L, const float* const* taps, int64_t n, BYTE* row0, BYTE* row1,
                        const float* src0, const float* src1, float amount, int threshold) {
#if PX_UNSHARP_AVX2
    if (WholeNumberMerge(amount) && WideVectors())
        return ByLength<PairK>(L, cm, L, taps, n, row0, row1, src0, src1, amount, threshold);
#endif
    (void)src0, (void)src1;
    SumAndMergePair(cm, L, taps, n, row0, row1, amount, threshold);
}

// Pixels [px0, px1) of a line of count pixels of b bytes, blurred into dst (pixel px0 first).
// line holds the line's bytes as floats from byte lo on, at least from the kernel's reach
// before px0 to its reach after px1 (within the line). The ends of the line (and lines shorter
// than the kernel) rescale by the weights used; the middle sums all taps.
void BlurSpan(const float* cmatrix, int L, const float* line, int64_t lo, int count, int b, int px0, int px1,
              float* dst, std::vector<const float*>& taps) {
    const int m = L / 2;
    auto edge = [&](int p) {
        for (int c = 0; c < b; c++)
            dst[int64_t{p - px0} * b + c] = RoundOut(EdgeValue(
                cmatrix, L, count, p, [&](int j) { return line[int64_t{j} * b + c - lo]; }));
    };
    if (L > count) {
        for (int p = px0; p < px1; p++) edge(p);
        return;
    }
    for (int p = px0; p < std::min(px1, m); p++) edge(p);
    const int mid0 = std::max(px0, m), mid1 = std::min(px1, count - m);
    if (mid0 < mid1) {
        // Byte o sums line[o + (j - m) * b] * weight j.
        taps.resize(static_cast<size_t>(L));
        for (int j = 0; j < L; j++) taps[static_cast<size_t>(j)] = line + int64_t{mid0 + j - m} * b - lo;
        SumToByteFloatsAny(cmatrix, L, taps.data(), int64_t{mid1 - mid0} * b, dst + int64_t{mid0 - px0} * b);
    }
    for (int p = std::max(px0, count - m); p < px1; p++) edge(p);
}

// The merge of one row, in place, from its blurred bytes.
inline void MergeRowLoop(BYTE* __restrict row, const BYTE* __restrict blurred, int64_t n, float amount, int threshold) {
    for (int64_t i = 0; i < n; i++) row[i] = MergeByte(row[i], blurred[i], amount, threshold);
}

void MergeRow(BYTE* __restrict row, const BYTE* __restrict blurred, int64_t n, float amount, int threshold) {
    pxgeo::Vectorised([&] { MergeRowLoop(row, blurred, n, amount, threshold); });
}

}  // namespace px_unsharp
