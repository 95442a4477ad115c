// Resample: the older resize with three modes (nearest pixel, B-spline bicubic, and bilinear
// with an integer area-averaging path for 24-bit reductions). Previews, thumbnails and the
// view use it, so the reduction path touches each source pixel once and counts in thousandths.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <tuple>
#include <vector>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/ops/interpolate/pxkernelplanar.h"
#include "imagelib/core/pxrowrunner.h"
#include "imagelib/core/pxsimd.h"
#include "imagelib/ops/resample/pxarea.h"
#include "imagelib/pximage.h"

using pxgeo::ClampByte;
using pxgeo::TruncSat;

namespace {

// The source index of output position i at scale f: truncation of i x f, kept inside the source.
LONG ScaledIndex(LONG i, float f, LONG limit) {
    LONG v = TruncSat(static_cast<float>(i) * f);
    if (v < 0) v = 0;
    if (v >= limit) v = limit - 1;
    return v;
}

// min(255, sum / denom) in integers, for a non-negative sum; the quotient is estimated with a
// double and then corrected, because a hardware division per channel cost a quarter of the time.
inline BYTE DivideTo255(int64_t sum, int64_t denom, double inverse) {
    if (sum >= 255 * denom) return 255;
    int64_t q = static_cast<int64_t>(static_cast<double>(sum) * inverse);
    while (q > 0 && q * denom > sum) q--;
    while ((q + 1) * denom <= sum) q++;
    return static_cast<BYTE>(q);
}

// The output byte of an area sum: with rounded, (sum + 0.5) / denom lies at least 0.5 / denom away
// from every integer, and for sums below 255 x denom the double product misses it by less than
// 2^-44, so below 2^42 thousandths the truncated product is the integer quotient.
inline BYTE AreaQuotient(int64_t sum, int64_t denom, double inverse, bool rounded) {
    if (!rounded) return DivideTo255(sum, denom, inverse);
    if (sum >= 255 * denom) return 255;
    return static_cast<BYTE>((static_cast<double>(sum) + 0.5) * inverse);
}

// Sixteen neighbouring columns of a gray row: their left and right source pixels, as offsets
// from base into sixteen bytes of the row.
struct ShuffleGroup {
    LONG base;
    alignas(16) uint8_t a[16];
    alignas(16) uint8_t b[16];
};

#if defined(__x86_64__) || defined(__i386__)
bool ShufflesAvailable() { return pxgeo::SimdAllows(pxgeo::Simd::Ssse3); }

// The horizontal mix a (1 - rx) + b rx of each group's sixteen columns, lane by lane the steps of
// the plain expression (the same products and sums in float, no fused operations).
__attribute__((target("ssse3"))) void MixGroups(const BYTE* row, const ShuffleGroup* groups, size_t ngroups,
                                               const float* rx, float* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 one = _mm_set1_ps(1.0f);
    for (size_t g = 0; g < ngroups; g++, rx += 16, out += 16) {
        const __m128i src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + groups[g].base));
        const __m128i a = _mm_shuffle_epi8(src, _mm_load_si128(reinterpret_cast<const __m128i*>(groups[g].a)));
        const __m128i b = _mm_shuffle_epi8(src, _mm_load_si128(reinterpret_cast<const __m128i*>(groups[g].b)));
        const __m128i a16[2] = {_mm_unpacklo_epi8(a, zero), _mm_unpackhi_epi8(a, zero)};
        const __m128i b16[2] = {_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero)};
        for (int k = 0; k < 4; k++) {
            const __m128i a32 = (k & 1) ? _mm_unpackhi_epi16(a16[k >> 1], zero) : _mm_unpacklo_epi16(a16[k >> 1], zero);
            const __m128i b32 = (k & 1) ? _mm_unpackhi_epi16(b16[k >> 1], zero) : _mm_unpacklo_epi16(b16[k >> 1], zero);
            const __m128 r = _mm_loadu_ps(rx + 4 * k);
            const __m128 v = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(a32), _mm_sub_ps(one, r)),
                                        _mm_mul_ps(_mm_cvtepi32_ps(b32), r));
            _mm_storeu_ps(out + 4 * k, v);
        }
    }
}

// MixGroups with eight lanes to a vector: the same products and sums lane by lane.
__attribute__((target("avx2"))) void MixGroups8(const BYTE* row, const ShuffleGroup* groups, size_t ngroups,
                                               const float* rx, float* out) {
    const __m256 one = _mm256_set1_ps(1.0f);
    for (size_t g = 0; g < ngroups; g++, rx += 16, out += 16) {
        const __m128i src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + groups[g].base));
        const __m128i a = _mm_shuffle_epi8(src, _mm_load_si128(reinterpret_cast<const __m128i*>(groups[g].a)));
        const __m128i b = _mm_shuffle_epi8(src, _mm_load_si128(reinterpret_cast<const __m128i*>(groups[g].b)));
        for (int k = 0; k < 2; k++) {
            const __m128i ak = k ? _mm_srli_si128(a, 8) : a, bk = k ? _mm_srli_si128(b, 8) : b;
            const __m256 r = _mm256_loadu_ps(rx + 8 * k);
            const __m256 v = _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(ak)), _mm256_sub_ps(one, r)),
                                           _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bk)), r));
            _mm256_storeu_ps(out + 8 * k, v);
        }
    }
}

// The vertical mix h0 (1 - ry) + h1 ry of two mixed rows, 32 levels at a time, as ClampByte
// clamps it. Returns the number of levels written.
__attribute__((target("avx2"))) LONG BlendRows32(const float* h0, const float* h1, float ry, LONG n, BYTE* drow) {
    const __m256 w1 = _mm256_set1_ps(ry), w0 = _mm256_set1_ps(1 - ry);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    LONG x = 0;
    for (; x + 32 <= n; x += 32) {
        __m256i q[4];
        for (int k = 0; k < 4; k++) {
            const __m256 v = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(h0 + x + 8 * k), w0),
                                           _mm256_mul_ps(_mm256_loadu_ps(h1 + x + 8 * k), w1));
            q[k] = _mm256_cvttps_epi32(v);
        }
        // The saturating packs clamp as ClampByte does: the mixes of levels lie far inside the
        // 32-bit range, so truncation then 0 for what is negative and 255 for what is above give
        // its bytes, and NaN truncates to the lowest integer, which gives 0 as there. The packs
        // interleave the 128-bit halves.
        const __m256i b = _mm256_packus_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(drow + x), _mm256_permutevar8x32_epi32(b, order));
    }
    return x;
}
#else
bool ShufflesAvailable() { return false; }
void MixGroups(const BYTE*, const ShuffleGroup*, size_t, const float*, float*) {}
void MixGroups8(const BYTE*, const ShuffleGroup*, size_t, const float*, float*) {}
LONG BlendRows32(const float*, const float*, float, LONG, BYTE*) { return 0; }
#endif

// The source columns and B-spline weights of one output column.
struct SplineCol {
    LONG ix[4];
    float k[4];
};


// The rows of a result made without the fill: each finished row gets its padding cleared, and
// rows an escape left out are cleared at the end, as a filled result would have them.
class RowsWritten {
public:
    RowsWritten(PxImage& dst, bool active, size_t rowBytes)
        : m_dst(dst), m_active(active), m_rowBytes(rowBytes),
          m_done(active ? static_cast<size_t>(dst.GetHeight()) : 0, 0) {}
    // Before the result is handed over.
    void Finish() {
        if (!m_active) return;
        for (size_t y = 0; y < m_done.size(); y++)
            if (!m_done[y]) memset(m_dst.GetBits(static_cast<DWORD>(y)), 0, m_dst.GetEffWidth());
    }
    // Called once per row, by the thread that made it (each flag has its own byte).
    void Done(LONG y) {
        if (!m_active) return;
        const size_t eff = m_dst.GetEffWidth();
        if (eff > m_rowBytes) memset(m_dst.GetBits(static_cast<DWORD>(y)) + m_rowBytes, 0, eff - m_rowBytes);
        m_done[static_cast<size_t>(y)] = 1;
    }

private:
    PxImage& m_dst;
    bool m_active;
    size_t m_rowBytes;
    std::vector<BYTE> m_done;
};

}  // namespace

bool PxImage::Resample(LONG newx, LONG newy, int mode, PxImage* iDst) {
    if (newx <= 0 || newy <= 0) {
        SetLastError("Resample : the new width and height must be greater than zero");
        return false;
    }
    if (pDib == nullptr) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    if (newx == w && newy == h) {
        if (iDst != nullptr && iDst != this) iDst->Copy(*this);
        return true;
    }
    const float xs = static_cast<float>(w) / static_cast<float>(newx);
    const float ys = static_cast<float>(h) / static_cast<float>(newy);

    const bool rgb24 = head.biBitCount == 24;
    const size_t eff = info.dwEffWidth;
    // An 8-bit image with the gray ramp: every colour read is a gray level and its nearest entry
    // in the result's copy of the ramp is that level, so levels are read and written as bytes
    // (and, touching no nearest-colour cache, on several threads).
    // Those results have every row byte written below, so they skip the fill (a large share of
    // the time of an enlargement); see RowsWritten for padding and rows an escape leaves out.
    bool unfilled = rgb24 || (head.biBitCount == 8 && IsGrayScale());
    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(newx), static_cast<DWORD>(newy), head.biBitCount, !unfilled))
        return false;
    const bool gray8 = head.biBitCount == 8 && IsGrayScale() && dst.IsGrayScale() && dst.GetClrImportant() == 0;
    if (unfilled && !rgb24 && !gray8) {
        // Not the ramp after all: the colour-by-colour paths below rely on the fill.
        memset(dst.GetBits(0), 0, static_cast<size_t>(dst.GetEffWidth()) * static_cast<size_t>(newy));
        unfilled = false;
    }
    RowsWritten written(dst, unfilled, static_cast<size_t>(newx) * (rgb24 ? 3 : 1));
    // A row job that also records its row (the last argument) as written.
    auto track = [&written](auto fn) {
        return [&written, fn](auto&&... a) {
            fn(a...);
            written.Done(std::get<sizeof...(a) - 1>(std::forward_as_tuple(a...)));
        };
    };

    // Scratch memory that cannot be had fails the call like a result that cannot be created.
    try {
        if (mode == 1) {
            std::vector<LONG> sxs(static_cast<size_t>(newx));
            for (LONG x = 0; x < newx; x++) sxs[x] = ScaledIndex(x, xs, w);
            pxgeo::RunRows(*this, newy, static_cast<size_t>(newx), rgb24 || gray8, track([&](LONG y) {
                const LONG sy = ScaledIndex(y, ys, h);
                if (gray8) {
                    const BYTE* srow = pBits + static_cast<size_t>(sy) * eff;
                    BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
                    for (LONG x = 0; x < newx; x++) drow[x] = srow[sxs[x]];
                } else if (rgb24) {
                    const BYTE* srow = pBits + static_cast<size_t>(sy) * eff;
                    BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
                    for (LONG x = 0; x < newx; x++)
                        memcpy(drow + 3 * static_cast<size_t>(x), srow + 3 * static_cast<size_t>(sxs[x]), 3);
                } else {
                    for (LONG x = 0; x < newx; x++) dst.SetPixelColor(x, y, GetPixelColor(sxs[x], sy));
                }
            }));
        } else if (mode == 2) {
            // B-spline bicubic: the column weights depend on x only, the row weights on y only.
            using Col = SplineCol;
            std::vector<Col> cols(static_cast<size_t>(newx));
            for (LONG x = 0; x < newx; x++) {
                const float fx = static_cast<float>(x) * xs - 0.5f;
                const LONG ix = TruncSat(std::floor(fx));
                const float rx = fx - static_cast<float>(ix);
                for (int n = -1; n <= 2; n++) {
                    cols[x].ix[n + 1] = std::clamp<LONG>(ix + n, 0, w - 1);
                    cols[x].k[n + 1] = KernelBSpline(rx - static_cast<float>(n));
                }
            }
            auto rowTaps = [&](LONG y, LONG (&rows)[4], float (&ky)[4]) {
                const float fy = static_cast<float>(y) * ys - 0.5f;
                const LONG iy = TruncSat(std::floor(fy));
                const float ry = fy - static_cast<float>(iy);
                for (int m = -1; m <= 2; m++) {
                    rows[m + 1] = std::clamp<LONG>(iy + m, 0, h - 1);
                    ky[m + 1] = KernelBSpline(static_cast<float>(m) - ry);
                }
            };
            if (rgb24) {
                // Every pixel's taps lie inside (the indices are clamped): all of it in planar sums,
                // band by band, so that a laid-out source row serves all the output rows reading it.
                std::vector<LONG> ix(4 * static_cast<size_t>(newx));
                std::vector<float> k(4 * static_cast<size_t>(newx));
                for (LONG x = 0; x < newx; x++)
                    for (int n = 0; n < 4; n++) {
                        ix[4 * static_cast<size_t>(x) + n] = cols[x].ix[n];
                        k[4 * static_cast<size_t>(x) + n] = cols[x].k[n];
                    }
                const pxgeo::Kernel4Plan plan(pBits, eff, nullptr, w, std::move(ix), std::move(k));
                constexpr LONG kBand = 32;
                pxgeo::RunBandsLocal(*this, newy, static_cast<size_t>(newx) * 16, true, kBand,
                                     pxgeo::Kernel4Plan::Scratch(plan),
                                     [&](pxgeo::Kernel4Plan::Scratch& scratch, LONG first, LONG last) {
                    pxgeo::Kernel4Row rows[kBand] = {};
                    for (LONG y = first; y < last; y++) {
                        pxgeo::Kernel4Row& r = rows[y - first];
                        rowTaps(y, r.src, r.ky);
                        r.d = dst.GetBits(static_cast<DWORD>(y));
                        r.a = nullptr;
                    }
                    plan.Run(scratch, rows, static_cast<int>(last - first));
                    for (LONG y = first; y < last; y++) written.Done(y);
                });
            } else {
                pxgeo::RunRows(*this, newy, static_cast<size_t>(newx) * 16, gray8, track([&](LONG y) {
                    LONG rows[4];
                    float ky[4];
                    rowTaps(y, rows, ky);
                    BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
                    for (LONG x = 0; x < newx; x++) {
                        const Col& col = cols[x];
                        if (gray8) {
                            // One channel: each of blue, green and red would do these very steps.
                            float acc = 0;
                            for (int m = 0; m < 4; m++) {
                                const BYTE* srow = pBits + static_cast<size_t>(rows[m]) * eff;
                                for (int n = 0; n < 4; n++)
                                    acc += (ky[m] * col.k[n]) * static_cast<float>(srow[col.ix[n]]);
                            }
                            drow[x] = ClampByte(acc);
                            continue;
                        }
                        // Blue, green and red side by side; each lane does the scalar sum's steps.
                        pxgeo::V4 acc = {0, 0, 0, 0};
                        for (int m = 0; m < 4; m++) {
                            for (int n = 0; n < 4; n++) {
                                const float weight = ky[m] * col.k[n];
                                const RGBQUAD c = GetPixelColor(col.ix[n], rows[m]);
                                acc += weight * pxgeo::ToV4(c.rgbBlue, c.rgbGreen, c.rgbRed, 0);
                            }
                        }
                        dst.SetPixelColor(x, y, RGBQUAD{ClampByte(acc[0]), ClampByte(acc[1]), ClampByte(acc[2]), 0});
                    }
                }));
            }
        } else if (newx < w && newy < h && rgb24) {
            // Area averaging in thousandths of a source pixel. A source pixel overlaps at most two
            // output columns and two output rows, because both scales exceed one: it gives partA
            // thousandths to its own cell and the rest to the next one.
            auto plan = [](LONG n, float scale, std::vector<LONG>& cell, std::vector<int>& partA) {
                cell.resize(static_cast<size_t>(n));
                partA.resize(static_cast<size_t>(n));
                LONG c = 0;
                float edge = scale;
                for (LONG i = 0; i < n; i++) {
                    cell[i] = c;
                    const float end = static_cast<float>(i + 1);
                    partA[i] = 1000;
                    if (end > edge) partA[i] = 1000 - std::clamp(static_cast<int>((end - edge) * 1000), 0, 1000);
                    if (end >= edge) {
                        c++;
                        edge = static_cast<float>(c + 1) * scale;
                    }
                }
            };
            std::vector<LONG> col, rowOf;
            std::vector<int> colA, rowA;
            plan(w, xs, col, colA);
            plan(h, ys, rowOf, rowA);
            // The last column's far part may fall just past the last output column: a spare one takes it.
            for (LONG& c : col) c = std::min(c, newx - 1);
            const int64_t denom = std::max<int64_t>(1, static_cast<int64_t>(xs * ys * 1000));
            const double inverse = 1.0 / static_cast<double>(denom);
            const bool roundedQuotient = denom < (int64_t{1} << 42);
            const size_t accLen = (static_cast<size_t>(newx) + 1) * 3;

            // Sums down the columns and then across in float or 32-bit lanes when every sum fits them.
            const pxarea::AreaReducer reducer(col, colA, rowOf, rowA, newx, newy, denom);
            if (reducer.Usable()) {
                // Each thread's copy of the scratch; very wide images keep to one.
                const bool threads = reducer.ScratchBytes() <= (size_t{64} << 20);
                pxgeo::RunRowsLocal(*this, newy, static_cast<size_t>(w) * static_cast<size_t>(ys + 1), threads,
                                    reducer.NewScratch(), track([&](pxarea::Scratch& s, LONG r) {
                                        reducer.Row(s, r, pBits, eff, dst.GetBits(static_cast<DWORD>(r)));
                                    }));
            } else {
                // Each output row sums its own source rows and the far part of the row that crossed into it.
                // Integer sums do not depend on order, so rows can be made on several threads.
                struct Sums {
                    std::vector<int64_t> acc;
                    std::vector<uint32_t> cols;  // per source column and channel: the sum of whole rows
                };
                const Sums proto{std::vector<int64_t>(accLen), std::vector<uint32_t>(static_cast<size_t>(w) * 3)};
                // A row that lies wholly in one output row gives each pixel pa (or 1000 - pa) thousandths,
                // since pa x 1000 / 1000 = pa: such rows are summed per column first and weighted once.
                // Below 2^32 / 255 rows the 32-bit column sums cannot overflow; they are flushed before.
                constexpr LONG kMaxWholeRows = 1 << 20;
                struct Partial {
                    const BYTE* row;
                    int64_t py;
                };
                // Each thread's copy of the scratch; very wide images keep to one.
                const bool threads = accLen * 8 + static_cast<size_t>(w) * 12 <= (size_t{64} << 20);
                pxgeo::RunRowsLocal(*this, newy, static_cast<size_t>(w) * static_cast<size_t>(ys + 1), threads, proto,
                                    track([&](Sums& sums, LONG r) {
                    int64_t* acc = sums.acc.data();
                    uint32_t* colSum = sums.cols.data();
                    std::fill(sums.acc.begin(), sums.acc.end(), 0);
                    // One sweep along the source columns adds the whole rows' column sums and the pixels of
                    // the partly covered rows (at most two, each with its own products of the splits) to
                    // the current and the next output column, kept in registers until the column changes.
                    auto sweep = [&](bool withWhole, const Partial* parts, int nparts) {
                        int64_t cur[3] = {0, 0, 0}, nxt[3] = {0, 0, 0};
                        LONG c = col[0];
                        for (LONG x = 0; x < w; x++) {
                            if (col[x] != c) {
                                int64_t* a = acc + static_cast<size_t>(c) * 3;
                                for (int k = 0; k < 3; k++) {
                                    a[k] += cur[k];
                                    a[k + 3] += nxt[k];  // the next column's share, handed over below
                                    cur[k] = 0;
                                    nxt[k] = 0;
                                }
                                c = col[x];
                            }
                            const int64_t pa = colA[x], pb = 1000 - pa;
                            const size_t o = 3 * static_cast<size_t>(x);
                            if (withWhole) {
                                for (int k = 0; k < 3; k++) {
                                    cur[k] += colSum[o + k] * pa;
                                    nxt[k] += colSum[o + k] * pb;
                                }
                            }
                            for (int p = 0; p < nparts; p++) {
                                const int64_t wa = pa * parts[p].py / 1000, wb = pb * parts[p].py / 1000;
                                for (int k = 0; k < 3; k++) {
                                    cur[k] += parts[p].row[o + k] * wa;
                                    nxt[k] += parts[p].row[o + k] * wb;
                                }
                            }
                        }
                        int64_t* a = acc + static_cast<size_t>(c) * 3;
                        for (int k = 0; k < 3; k++) {
                            a[k] += cur[k];
                            a[k + 3] += nxt[k];
                        }
                    };
                    Partial parts[2];
                    int nparts = 0;
                    LONG whole = 0;
                    auto add = [&](LONG y, int py) {
                        const BYTE* srow = pBits + static_cast<size_t>(y) * eff;
                        if (py == 1000) {
                            if (whole == 0) std::fill(sums.cols.begin(), sums.cols.end(), 0u);
                            const size_t n = static_cast<size_t>(w) * 3;
                            for (size_t k = 0; k < n; k++) colSum[k] += srow[k];
                            if (++whole == kMaxWholeRows) {
                                sweep(true, nullptr, 0);
                                whole = 0;
                            }
                            return;
                        }
                        if (nparts == 2) {
                            sweep(false, parts, nparts);
                            nparts = 0;
                        }
                        parts[nparts++] = Partial{srow, py};
                    };
                    const LONG y0 = static_cast<LONG>(std::lower_bound(rowOf.begin(), rowOf.end(), r) - rowOf.begin());
                    const LONG y1 =
                        static_cast<LONG>(std::lower_bound(rowOf.begin(), rowOf.end(), r + 1) - rowOf.begin());
                    if (y0 > 0 && rowOf[y0 - 1] == r - 1 && rowA[y0 - 1] < 1000) add(y0 - 1, 1000 - rowA[y0 - 1]);
                    for (LONG y = y0; y < y1; y++) add(y, rowA[y]);
                    if (whole > 0 || nparts > 0) sweep(whole > 0, parts, nparts);
                    BYTE* drow = dst.GetBits(static_cast<DWORD>(r));
                    const size_t n = static_cast<size_t>(newx) * 3;
                    for (size_t k = 0; k < n; k++) drow[k] = AreaQuotient(acc[k], denom, inverse, roundedQuotient);
                }));
            }
        } else {
            // Bilinear between the pixel at the truncated position and its right and upper neighbours.
            struct Col {
                LONG ix, ix1;
                float rx;
            };
            std::vector<Col> cols(static_cast<size_t>(newx));
            for (LONG x = 0; x < newx; x++) {
                const float fx = static_cast<float>(x) * xs;
                const LONG ix = std::min<LONG>(TruncSat(fx), w - 1);
                cols[x] = Col{ix, std::min<LONG>(ix + 1, w - 1), fx - static_cast<float>(ix)};
            }
            // Gray levels: the horizontal mix (a (1 - rx) + b rx) of a source row is the same for every
            // output row that reads it, so each thread keeps the last two rows mixed, made exactly as
            // the per-pixel expression makes them, and an output row only mixes two of them.
            struct Mixed {
                LONG tag[2];
                std::vector<float> h[2];
            };
            // Groups of sixteen columns whose two neighbours all lie in sixteen bytes of the row (the
            // columns of an enlargement) are gathered with byte shuffles where the processor has them.
            std::vector<ShuffleGroup> groups;
            std::vector<float> rxs;
            const bool avx2 = gray8 && pxgeo::SimdAllows(pxgeo::Simd::Avx2);
            if (gray8 && ShufflesAvailable()) {
                rxs.resize(static_cast<size_t>(newx));
                for (LONG x = 0; x < newx; x++) rxs[x] = cols[x].rx;
                for (LONG x = 0; x + 16 <= newx; x += 16) {
                    const LONG base = cols[x].ix;
                    if (cols[x + 15].ix1 - base > 15 || base + 16 > w) break;
                    ShuffleGroup g;
                    g.base = base;
                    for (int k = 0; k < 16; k++) {
                        g.a[k] = static_cast<uint8_t>(cols[x + k].ix - base);
                        g.b[k] = static_cast<uint8_t>(cols[x + k].ix1 - base);
                    }
                    groups.push_back(g);
                }
            }
            auto mixRow = [&](float* out, LONG sy) {
                const BYTE* row = pBits + static_cast<size_t>(sy) * eff;
                LONG x = 0;
                if (!groups.empty()) {
                    if (avx2)
                        MixGroups8(row, groups.data(), groups.size(), rxs.data(), out);
                    else
                        MixGroups(row, groups.data(), groups.size(), rxs.data(), out);
                    x = static_cast<LONG>(groups.size()) * 16;
                }
                const pxgeo::V4 one = {1, 1, 1, 1};
                for (; x + 4 <= newx; x += 4) {
                    const Col* q = &cols[x];
                    const pxgeo::V4 rx = {q[0].rx, q[1].rx, q[2].rx, q[3].rx};
                    const pxgeo::V4 a = pxgeo::ToV4(row[q[0].ix], row[q[1].ix], row[q[2].ix], row[q[3].ix]);
                    const pxgeo::V4 b = pxgeo::ToV4(row[q[0].ix1], row[q[1].ix1], row[q[2].ix1], row[q[3].ix1]);
                    const pxgeo::V4 v = a * (one - rx) + b * rx;
                    memcpy(out + x, &v, sizeof v);
                }
                for (; x < newx; x++) out[x] = row[cols[x].ix] * (1 - cols[x].rx) + row[cols[x].ix1] * cols[x].rx;
            };
            auto grayRow = [&](Mixed& m, LONG y) {
                const float fy = static_cast<float>(y) * ys;
                const LONG iy = std::min<LONG>(TruncSat(fy), h - 1);
                const LONG iy1 = std::min<LONG>(iy + 1, h - 1);
                const float ry = fy - static_cast<float>(iy);
                // Slots holding iy and iy1; a missing row replaces the one not needed.
                int s0 = m.tag[0] == iy ? 0 : (m.tag[1] == iy ? 1 : -1);
                int s1 = m.tag[0] == iy1 ? 0 : (m.tag[1] == iy1 ? 1 : -1);
                if (s0 < 0) {
                    s0 = s1 == 0 ? 1 : 0;
                    mixRow(m.h[s0].data(), iy);
                    m.tag[s0] = iy;
                    if (iy1 == iy) s1 = s0;
                }
                if (s1 < 0) {
                    s1 = 1 - s0;
                    mixRow(m.h[s1].data(), iy1);
                    m.tag[s1] = iy1;
                }
                const float* h0 = m.h[s0].data();
                const float* h1 = m.h[s1].data();
                BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
                LONG x = avx2 ? BlendRows32(h0, h1, ry, newx, drow) : 0;
                const float ry1 = 1 - ry;
#if defined(__SSE2__)
                // Sixteen levels packed and stored at once rather than byte by byte.
                for (; x + 16 <= newx; x += 16) {
                    __m128i q[4];
                    for (int k = 0; k < 4; k++) {
                        const pxgeo::V4i out = pxgeo::ClampByteV4(pxgeo::LoadV4(h0 + x + 4 * k) * ry1 +
                                                                  pxgeo::LoadV4(h1 + x + 4 * k) * ry);
                        q[k] = reinterpret_cast<__m128i>(out);
                    }
                    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(drow + x), packed);
                }
#endif
                for (; x + 4 <= newx; x += 4) {
                    const pxgeo::V4i out =
                        pxgeo::ClampByteV4(pxgeo::LoadV4(h0 + x) * ry1 + pxgeo::LoadV4(h1 + x) * ry);
                    for (int k = 0; k < 4; k++) drow[x + k] = static_cast<BYTE>(out[k]);
                }
                for (; x < newx; x++) drow[x] = ClampByte(h0[x] * (1 - ry) + h1[x] * ry);
            };
            if (gray8) {
                Mixed proto{{-1, -1}, {std::vector<float>(static_cast<size_t>(newx)),
                                       std::vector<float>(static_cast<size_t>(newx))}};
                pxgeo::RunRowsLocal(*this, newy, static_cast<size_t>(newx) * 2, true, proto, track(grayRow));
            } else {
                pxgeo::RunRows(*this, newy, static_cast<size_t>(newx) * 4, rgb24, track([&](LONG y) {
                    const float fy = static_cast<float>(y) * ys;
                    const LONG iy = std::min<LONG>(TruncSat(fy), h - 1);
                    const LONG iy1 = std::min<LONG>(iy + 1, h - 1);
                    const float ry = fy - static_cast<float>(iy);
                    BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
                    for (LONG x = 0; x < newx; x++) {
                        const Col& cl = cols[x];
                        RGBQUAD c00, c10, c01, c11;
                        if (rgb24) {
                            auto px = [&](LONG sx, LONG sy) {
                                const BYTE* p = pBits + static_cast<size_t>(sy) * eff + 3 * static_cast<size_t>(sx);
                                return RGBQUAD{p[0], p[1], p[2], 0};
                            };
                            c00 = px(cl.ix, iy);
                            c10 = px(cl.ix1, iy);
                            c01 = px(cl.ix, iy1);
                            c11 = px(cl.ix1, iy1);
                        } else {
                            c00 = GetPixelColor(cl.ix, iy);
                            c10 = GetPixelColor(cl.ix1, iy);
                            c01 = GetPixelColor(cl.ix, iy1);
                            c11 = GetPixelColor(cl.ix1, iy1);
                        }
                        const float rx = cl.rx;
                        auto mix = [&](BYTE a, BYTE b, BYTE c, BYTE d) {
                            return ClampByte((a * (1 - rx) + b * rx) * (1 - ry) + (c * (1 - rx) + d * rx) * ry);
                        };
                        const RGBQUAD out{mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue),
                                          mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen),
                                          mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed), 0};
                        if (rgb24) {
                            BYTE* d = drow + 3 * static_cast<size_t>(x);
                            d[0] = out.rgbBlue;
                            d[1] = out.rgbGreen;
                            d[2] = out.rgbRed;
                        } else {
                            dst.SetPixelColor(x, y, out);
                        }
                    }
                }));
            }
        }
    } catch (const std::bad_alloc&) {
        SetLastError("PxImage::Create can't allocate memory");
        return false;
    }

    written.Finish();
    if (pAlpha != nullptr) {
        // Without its plane the result would lose the transparency: fail instead.
        dst.AlphaCreate();
        if (!dst.AlphaIsValid()) {
            SetLastError("PxImage::Create can't allocate memory");
            return false;
        }
        BYTE* da = dst.AlphaGetPointer(0, 0);
        for (LONG y = 0; y < newy; y++) {
            const LONG sy = ScaledIndex(y, ys, h);
            for (LONG x = 0; x < newx; x++)
                da[static_cast<size_t>(y) * newx + x] = pAlpha[static_cast<size_t>(sy) * w + ScaledIndex(x, xs, w)];
        }
    }
    return GeoHandOver(dst, iDst);
}
