// The unsharp mask's row kernels (pxunsharprows.cpp): the blur of a span of a line, the column
// sums merged into rows, and the pieces of arithmetic the mask itself shares with them.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

namespace px_unsharp {

// trunc(v) clamped to 0..255 (NaN gives 0), written so that loops over it vectorise: the same
// value as px_ops::ClampToByte(double(v)).
inline BYTE TruncClamp(float v) {
    v = v > 0.0f ? v : 0.0f;
    v = v < 255.0f ? v : 255.0f;
    return static_cast<BYTE>(static_cast<int>(v));
}

// trunc(0.5 + value), the blur's rounding.
inline BYTE RoundOut(float v) { return TruncClamp(0.5f + v); }

// Below this size of amount, source + amount x difference stays far inside int range, so its
// truncation clamps as whole numbers, exactly as TruncClamp clamps the float.
constexpr float kWholeNumberAmount = 1.0e6f;

inline bool WholeNumberMerge(float amount) { return std::fabs(amount) <= kWholeNumberAmount; }

// Line ends (and lines shorter than the kernel) compute products and rescale by the weights used.
// at(j) gives the byte at line position j.
template <class At>
float EdgeValue(const float* cmatrix, int L, int count, int p, At at) {
    const int m = L / 2;
    float sum = 0, scale = 0;
    if (L > count) {
        for (int j = 0; j < count; j++) {
            const int k = j + m - p;
            if (k < 0 || k >= L) continue;
            scale += cmatrix[k];
            sum += at(j) * cmatrix[k];
        }
    } else if (p < m) {
        for (int j = m - p; j < L; j++) {
            sum += at(p + j - m) * cmatrix[j];
            scale += cmatrix[j];
        }
    } else {
        for (int j = 0; j < count - p + m; j++) {
            sum += at(p + j - m) * cmatrix[j];
            scale += cmatrix[j];
        }
    }
    return sum / scale;
}

// Bytes widened to floats.
void BytesToFloats(const BYTE* s, float* d, int64_t n);

// True where the hand-written AVX2 loops run.
bool WideVectors();

// The sums of the middle of a row, and the column sums merged into one or two rows: the wide
// forms where the CPU has them, else the compiler's vector code. The merges take each row's
// bytes also as floats (src), which the wide forms read instead.
void BytesToFloatsAny(const BYTE* s, float* d, int64_t n);
void SumToByteFloatsAny(const float* cm, int L, const float* const* taps, int64_t n, float* out);
void WideEdgeMergeAny(const float* const* taps, const float* wts, int nTaps, float scale, int64_t n, BYTE* row,
                      const float* src, float amount, int threshold);
void SumAndMergeAny(const float* cm, int L, const float* const* taps, int64_t n, BYTE* row, const float* src,
                    float amount, int threshold);
void SumAndMergePairAny(const float* cm, int L, const float* const* taps, int64_t n, BYTE* row0, BYTE* row1,
                        const float* src0, const float* src1, float amount, int threshold);

// Pixels [px0, px1) of a line of count pixels of b bytes, blurred into dst (pixel px0 first).
// line holds the line's bytes as floats from byte lo on, at least from the kernel's reach
// before px0 to its reach after px1 (within the line).
void BlurSpan(const float* cmatrix, int L, const float* line, int64_t lo, int count, int b, int px0, int px1,
              float* dst, std::vector<const float*>& taps);

// The merge of one row, in place, from its blurred bytes.
void MergeRow(BYTE* __restrict row, const BYTE* __restrict blurred, int64_t n, float amount, int threshold);

}  // namespace px_unsharp
