// Resample2: resizing with any of the interpolation methods. Shrinking averages the area each
// output pixel covers, so fine detail turns into its mean instead of aliasing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "imagelib/ops/interpolate/pxbilinear.h"
#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/ops/interpolate/pxkernelplanar.h"
#include "imagelib/ops/interpolate/pxkernelrun.h"
#include "imagelib/core/pxrowrunner.h"
#include "imagelib/core/pxsimd.h"
#include "imagelib/ops/resample/pxplanarrows.h"
#include "imagelib/pximage.h"

namespace {

// The first run of columns whose neighbourhood lies wholly inside: [from, to). Positions grow
// with x, so the inside columns form one run.
template <typename Columns>
void InsideRun(const Columns& cols, LONG& from, LONG& to) {
    const LONG n = static_cast<LONG>(cols.size());
    from = 0;
    while (from < n && !cols[from].inside) from++;
    to = from;
    while (to < n && cols[to].inside) to++;
}

// The row caches of one worker: interleaved rows for the kernel sums and the pair form of the
// area average, planes for its sixteen-wide form. Only the one in use holds memory.
static_assert(pxgeo::PlanarRows::kMaxRows == pxgeo::FloatRows::kMaxRows, "one limit for both caches");
struct RowCaches {
    pxgeo::FloatRows rows;
    pxgeo::PlanarRows planes;
    pxgeo::PhaseRows phases;
};

}  // namespace

bool PxImage::Resample2(LONG newx, LONG newy, InterpolationMethod inMethod, OverflowMethod ofMethod, PxImage* iDst,
                        bool disableAveraging) {
    if (newx < 1 || newy < 1) {
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
    // A 24-bit result has every row written below (padding included), so it skips the fill.
    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(newx), static_cast<DWORD>(newy), head.biBitCount, !rgb24)) return false;
    if (pAlpha != nullptr) {
        dst.AlphaCreate();
        if (!dst.AlphaIsValid()) {
            SetLastError("PxImage::Create can't allocate memory");
            return false;
        }
    }
    const bool averaging = (xs > 1 || ys > 1) && !disableAveraging;
    BYTE* dalpha = dst.AlphaIsValid() ? dst.AlphaGetPointer(0, 0) : nullptr;

    // Without averaging, sample positions are separable: a column's position and kernel weights
    // depend on x only, a row's on y only. Where the whole neighbourhood of a 24-bit image lies
    // inside, the sums are taken here with the same weights the interpolated read would compute.
    const pxgeo::KernelFn kernel = pxgeo::KernelOf(inMethod);
    const bool separable = rgb24 && !averaging && kernel != nullptr;
    const bool fastBilinear = rgb24 && !averaging && inMethod == IM_BILINEAR;
    struct Taps {
        LONG first;   // first sample column (row)
        bool inside;  // all four samples inside
        float k[4];
    };
    auto taps = [&](float pos, LONG limit) {
        Taps t;
        const LONG i = pxgeo::FloorTrunc(pos);
        t.first = i - 1;
        t.inside = i - 1 >= 0 && i + 2 < limit;
        for (int k = 0; k < 4; k++) t.k[k] = kernel(static_cast<float>(i - 1 + k) - pos);
        return t;
    };
    std::vector<Taps> colTaps;
    if (separable) {
        colTaps.resize(static_cast<size_t>(newx));
        for (LONG x = 0; x < newx; x++) colTaps[x] = taps((static_cast<float>(x) + 0.5f) * xs - 0.5f, w);
    }
    struct Lerp {
        LONG i;
        int frac;     // 256 x the fractional part
        bool inside;  // both neighbours inside
    };
    auto lerp = [](float pos, LONG limit) {
        const LONG i = pxgeo::FloorTrunc(pos);
        return Lerp{i, pxgeo::Fraction256(pos, i), i >= 0 && i < limit - 1};
    };
    std::vector<Lerp> colLerp;
    if (fastBilinear) {
        colLerp.resize(static_cast<size_t>(newx));
        for (LONG x = 0; x < newx; x++) colLerp[x] = lerp((static_cast<float>(x) + 0.5f) * xs - 0.5f, w);
    }

    // Shrinking in both directions averages a box. Its first and last column (row) and their
    // coverage depend on x (y) only; where the box lies inside, the sum is taken here exactly as
    // the area read takes it.
    const bool fastBox = rgb24 && averaging && xs > 1 && ys > 1;
    // Box sums read rows converted to floats, unless the rows are too wide for that.
    const bool useRows = fastBox && pxgeo::FloatRows::Fits(w);
    struct Span {
        LONG first, last;          // covered pixels, inclusive
        float firstCover, lastCover;
        float extent;              // the area's size along this axis
        bool inside;
    };
    auto span = [](float centre, float size, LONG limit) {
        const float lo = centre - size / 2.0f, hi = centre + size / 2.0f;
        Span sp;
        sp.first = pxgeo::TruncSat(lo + 0.5f);
        sp.last = pxgeo::TruncSat(hi + 0.5f);
        // Overlaps with the first and last pixel's unit square, as the area's cross sections give them.
        const float f0 = std::max(lo, static_cast<float>(sp.first) - 0.5f);
        const float f1 = std::min(hi, static_cast<float>(sp.first) + 0.5f);
        const float l0 = std::max(lo, static_cast<float>(sp.last) - 0.5f);
        const float l1 = std::min(hi, static_cast<float>(sp.last) + 0.5f);
        sp.firstCover = f1 - f0;
        sp.lastCover = l1 - l0;
        sp.extent = hi - lo;
        sp.inside = f0 <= f1 && l0 <= l1 && sp.first >= 0 && sp.last < limit;
        return sp;
    };
    std::vector<Span> colSpan;
    if (fastBox) {
        colSpan.resize(static_cast<size_t>(newx));
        for (LONG x = 0; x < newx; x++) colSpan[x] = span((static_cast<float>(x) + 0.5f) * xs - 0.5f, xs, w);
    }
    auto boxSum = [&](const Span& cs, const Span& rs) {
        pxgeo::V4 acc = {0, 0, 0, 0};
        for (LONG j = rs.first; j <= rs.last; j++) {
            const float rowCover = j == rs.first ? rs.firstCover : (j == rs.last ? rs.lastCover : 1.0f);
            const BYTE* srow = pBits + static_cast<size_t>(j) * info.dwEffWidth;
            const BYTE* arow = pAlpha ? pAlpha + static_cast<size_t>(j) * static_cast<size_t>(w) : nullptr;
            for (LONG i = cs.first; i <= cs.last; i++) {
                const float colCover = i == cs.first ? cs.firstCover : (i == cs.last ? cs.lastCover : 1.0f);
                const BYTE* p = srow + 3 * static_cast<size_t>(i);
                const pxgeo::V4 v = pxgeo::ToV4(p[0], p[1], p[2], arow ? arow[i] : 0);
                acc += v * (colCover * rowCover);
            }
        }
        const float surface = cs.extent * rs.extent;
        return RGBQUAD{pxgeo::ClampByte(acc[0] / surface), pxgeo::ClampByte(acc[1] / surface),
                       pxgeo::ClampByte(acc[2] / surface), pAlpha ? pxgeo::ClampByte(acc[3] / surface) : BYTE{0}};
    };

    // The same sum over rows converted to floats (rows[k] is row rs.first + k).
    auto boxSumRows = [&](const Span& cs, const Span& rs, const float* const* rows) {
        pxgeo::V4 acc = {0, 0, 0, 0};
        for (LONG j = rs.first; j <= rs.last; j++) {
            const float rowCover = j == rs.first ? rs.firstCover : (j == rs.last ? rs.lastCover : 1.0f);
            const float* srow = rows[j - rs.first];
            for (LONG i = cs.first; i <= cs.last; i++) {
                const float colCover = i == cs.first ? cs.firstCover : (i == cs.last ? cs.lastCover : 1.0f);
                acc += pxgeo::LoadV4(srow + 4 * static_cast<size_t>(i)) * (colCover * rowCover);
            }
        }
        const float surface = cs.extent * rs.extent;
        return RGBQUAD{pxgeo::ClampByte(acc[0] / surface), pxgeo::ClampByte(acc[1] / surface),
                       pxgeo::ClampByte(acc[2] / surface), pAlpha ? pxgeo::ClampByte(acc[3] / surface) : BYTE{0}};
    };

    // The columns whose whole neighbourhood lies inside form one run, positions growing with x.
    LONG insideFrom = newx, insideTo = newx;
    if (fastBilinear) {
        InsideRun(colLerp, insideFrom, insideTo);
    }
    // The inside run's source offsets and fractions for the four-pixel read.
    const bool quad = fastBilinear && !dalpha && pxgeo::HasBilinearQuad() && insideTo - insideFrom >= 4;
    std::vector<size_t> runOff;
    std::vector<short> runU;
    if (quad) {
        runOff.resize(static_cast<size_t>(insideTo - insideFrom));
        runU.resize(runOff.size());
        for (LONG x = insideFrom; x < insideTo; x++) {
            runOff[x - insideFrom] = 3 * static_cast<size_t>(colLerp[x].i);
            runU[x - insideFrom] = static_cast<short>(colLerp[x].frac);
        }
    }
    // Kernel sums: the columns whose four taps lie inside form one run as well, summed in
    // planar form band by band (see the runner below) in the rows whose taps lie inside.
    LONG tapsFrom = newx, tapsTo = newx;
    if (separable) InsideRun(colTaps, tapsFrom, tapsTo);
    // Repeating the edges, a tap outside reads the nearest pixel inside with the weight of its
    // position, the very sum the interpolated read takes there (it only moves positions that
    // reach no pixel at all, which pixel centres never are): then every pixel is a planar sum.
    const bool clampTaps = separable && ofMethod == OM_REPEAT;
    auto reaches = [](const Taps& t, LONG limit) { return t.first + 3 >= 0 && t.first < limit; };
    if (clampTaps && std::all_of(colTaps.begin(), colTaps.end(), [&](const Taps& t) { return reaches(t, w); })) {
        tapsFrom = 0;
        tapsTo = newx;
    }
    auto planarRow = [&](const Taps& t) { return clampTaps ? reaches(t, h) : t.inside; };
    // Area averages: the same for the columns whose box lies inside.
    LONG boxFrom = newx, boxTo = newx;
    std::vector<pxgeo::ColumnSpan> runSpans;
    if (useRows && fastBox && pxgeo::HasKernelRun() && pxgeo::SimdAllows(pxgeo::Simd::Avx)) {
        InsideRun(colSpan, boxFrom, boxTo);
        for (LONG x = boxFrom; x < boxTo; x++) {
            const Span& sp = colSpan[x];
            runSpans.push_back(pxgeo::ColumnSpan{sp.first, sp.last, sp.firstCover, sp.lastCover, sp.extent});
        }
    }
    // Sixteen columns at a time from float planes, when every block of sixteen (the last one
    // overlapping its neighbour) reads a window of two vectors per group of lanes; else the pair
    // form above.
    std::vector<pxgeo::BoxBlock> boxBlocks;
    const int group = pxgeo::BoxRunGroup();
    if (!runSpans.empty() && group > 0 && boxTo - boxFrom >= 16) {
        bool fits = true;
        for (LONG xb = boxFrom; fits && xb < boxTo; xb += 16) {
            const LONG x0 = std::min(xb, boxTo - 16);
            pxgeo::BoxBlock blk{};
            blk.x = x0;
            blk.base[0] = colSpan[x0].first;
            blk.base[1] = group == 16 ? blk.base[0] : colSpan[x0 + 8].first;
            blk.steps = 0;
            for (int l = 0; l < 16; l++) {
                const Span& sp = colSpan[x0 + l];
                const LONG n = sp.last - sp.first + 1;
                const LONG base = blk.base[l / group];
                if (sp.first < base || sp.last - base >= 2 * group || n > pxgeo::kBoxSteps) {
                    fits = false;
                    break;
                }
                blk.steps = std::max(blk.steps, static_cast<int>(n));
            }
            if (!fits) break;
            for (int l = 0; l < 16; l++) {
                const Span& sp = colSpan[x0 + l];
                blk.extent[l] = sp.extent;
                for (int t = 0; t < blk.steps; t++) {
                    const LONG i = std::min(sp.first + t, sp.last);
                    blk.idx[t][l] = static_cast<int>(i - blk.base[l / group]);
                    blk.cover[t][l] = sp.first + t > sp.last ? 0.0f
                                      : t == 0                ? sp.firstCover
                                      : sp.first + t == sp.last ? sp.lastCover
                                                                : 1.0f;
                }
            }
            boxBlocks.push_back(blk);
        }
        if (!fits) boxBlocks.clear();
    }
    // Groups of eight output columns p apart whose samples lie q source columns apart (a scale of
    // q / p, such as 4/3) read phase rows, where each step takes eight neighbouring floats; a few
    // groups off that pattern (float positions) sum their columns one by one. Where 512-bit
    // vectors run, the sixteen-wide blocks above are kept.
    std::vector<pxgeo::PhaseBlock> phaseBlocks;
    pxgeo::PhaseLayout phaseLayout{0, 0, 0};
    if (!runSpans.empty() && pxgeo::HasPhaseRun() && group < 16) {
        for (int p = 1; p <= pxgeo::kPhaseMaxP && phaseBlocks.empty(); p++) {
            const float qf = xs * static_cast<float>(p);
            const int q = static_cast<int>(qf + 0.5f);
            if (q < 2 || q > pxgeo::kPhaseMaxQ || std::fabs(qf - static_cast<float>(q)) > 1e-3f ||
                boxTo - boxFrom < 8 * p)
                continue;
            const pxgeo::PhaseLayout layout = pxgeo::PhaseLayoutOf(p, q, w);
            LONG groups = 0, irregular = 0;
            for (LONG xb = boxFrom; xb < boxTo; xb += 8 * p) {
                pxgeo::PhaseBlock blk{};
                blk.x = std::min(xb, boxTo - 8 * p);
                for (int g = 0; g < p; g++) {
                    pxgeo::PhaseGroup& G = blk.g[g];
                    const LONG first = colSpan[blk.x + g].first;
                    int steps = 0;
                    bool regular = true;
                    for (int l = 0; l < 8; l++) {
                        const Span& sp = colSpan[blk.x + g + p * l];
                        regular = regular && sp.first == first + q * l;
                        steps = std::max(steps, static_cast<int>(sp.last - sp.first + 1));
                    }
                    groups++;
                    if (!regular || steps > pxgeo::kBoxSteps) {
                        G.steps = 0;
                        irregular++;
                        continue;
                    }
                    G.steps = steps;
                    for (int t = 0; t < steps; t++)
                        G.off[t] = static_cast<int>(static_cast<size_t>((first + t) % q) * layout.plane +
                                                    static_cast<size_t>((first + t) / q));
                    for (int l = 0; l < 8; l++) {
                        const Span& sp = colSpan[blk.x + g + p * l];
                        G.extent[l] = sp.extent;
                        for (int t = 0; t < steps; t++)
                            G.cover[t][l] = sp.first + t > sp.last    ? 0.0f
                                            : t == 0                  ? sp.firstCover
                                            : sp.first + t == sp.last ? sp.lastCover
                                                                      : 1.0f;
                    }
                }
                phaseBlocks.push_back(blk);
            }
            if (irregular * 8 > groups)
                phaseBlocks.clear();
            else
                phaseLayout = layout;
        }
    }
    const bool phased = !phaseBlocks.empty();
    const bool planar = !phased && !boxBlocks.empty();
    const size_t rowBytes = 3 * static_cast<size_t>(newx);
    std::vector<char> rowDone(rgb24 ? static_cast<size_t>(newy) : 0);

    auto row = [&](RowCaches& caches, LONG y) {
        pxgeo::FloatRows& cache = caches.rows;
        const float sy = (static_cast<float>(y) + 0.5f) * ys - 0.5f;
        BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
        Taps rowTaps{};
        if (separable) rowTaps = taps(sy, h);
        const Lerp rowLerp = fastBilinear ? lerp(sy, h) : Lerp{0, 0, false};
        const Span rowSpan = fastBox ? span(sy, ys, h) : Span{};
        const float* frows[pxgeo::FloatRows::kMaxRows] = {};
        // A box a few rows high reads converted rows; a taller one reads the bytes.
        const bool boxRows =
            useRows && fastBox && rowSpan.inside && rowSpan.last - rowSpan.first < pxgeo::FloatRows::kMaxRows;
        if (boxRows) {
            LONG rows[pxgeo::FloatRows::kMaxRows] = {};
            const int n = static_cast<int>(rowSpan.last - rowSpan.first + 1);
            for (int k = 0; k < n; k++) rows[k] = rowSpan.first + k;
            if (phased)
                caches.phases.Rows(rows, n, frows);
            else if (planar)
                caches.planes.Rows(rows, n, frows);
            else
                cache.Rows(rows, n, frows);
        }
        BYTE* arow = dalpha ? dalpha + static_cast<size_t>(y) * static_cast<size_t>(newx) : nullptr;
        const bool tight = fastBilinear && rowLerp.inside && !dalpha && insideFrom < insideTo;
        if (tight) {
            // The inside run without alpha: the fixed-point read in one tight loop.
            const size_t eff = info.dwEffWidth;
            const BYTE* r0 = pBits + static_cast<size_t>(rowLerp.i) * eff;
            const BYTE* r1 = r0 + eff;
            const int v = rowLerp.frac;
            // Eight bytes from the upper row stay inside the picture unless it is the top row.
            const bool topRow = rowLerp.i + 2 >= h;
            LONG x = insideFrom;
            if (quad) {
                // Four at a time while eight bytes may be read at every position.
                LONG safe = insideTo - insideFrom;
                if (topRow)
                    while (safe > 0 && runOff[safe - 1] + 8 > eff) safe--;
                const LONG n4 = safe & ~3;
                pxgeo::BilinearRun24(drow + 3 * static_cast<size_t>(insideFrom), r0, eff, runOff.data(), runU.data(),
                                     v, n4);
                x += n4;
            }
            for (; x < insideTo; x++) {
                const size_t o = 3 * static_cast<size_t>(colLerp[x].i);
                pxgeo::Bilinear24Store(drow + 3 * static_cast<size_t>(x), r0 + o, r1 + o, colLerp[x].frac, v,
                                       !topRow || o + 8 <= eff, x + 1 < insideTo);
            }
        }
        // Made for the whole band before its rows come here.
        const bool kernelRun = separable && planarRow(rowTaps) && tapsFrom < tapsTo;
        const bool boxRun = boxRows && boxFrom < boxTo;
        if (boxRun) {
            float rowCover[pxgeo::FloatRows::kMaxRows];
            const int n = static_cast<int>(rowSpan.last - rowSpan.first + 1);
            for (int k = 0; k < n; k++)
                rowCover[k] = k == 0 ? rowSpan.firstCover : (k == n - 1 ? rowSpan.lastCover : 1.0f);
            if (phased)
                pxgeo::PhaseRun(drow, arow, frows, phaseLayout, n, rowCover, rowSpan.extent, phaseBlocks.data(),
                                static_cast<LONG>(phaseBlocks.size()), runSpans.data(), boxFrom);
            else if (planar)
                pxgeo::BoxRun16(drow, arow, frows, caches.planes.Stride(), n, rowCover, rowSpan.extent,
                                boxBlocks.data(), static_cast<LONG>(boxBlocks.size()));
            else
                pxgeo::BoxRun(drow + 3 * static_cast<size_t>(boxFrom), arow ? arow + boxFrom : nullptr, frows, n,
                              rowCover, rowSpan.extent, runSpans.data(), boxTo - boxFrom);
        }
        for (LONG x = 0; x < newx; x++) {
            if (tight && x == insideFrom) {
                x = insideTo - 1;
                continue;
            }
            if (kernelRun && x == tapsFrom) {
                x = tapsTo - 1;
                continue;
            }
            if (boxRun && x == boxFrom) {
                x = boxTo - 1;
                continue;
            }
            const float sx = (static_cast<float>(x) + 0.5f) * xs - 0.5f;
            RGBQUAD c;
            if (boxRows && !planar && !phased && colSpan[x].inside)
                c = boxSumRows(colSpan[x], rowSpan, frows);
            else if (fastBox && rowSpan.inside && colSpan[x].inside)
                c = boxSum(colSpan[x], rowSpan);
            else if (fastBilinear && rowLerp.inside && colLerp[x].inside)
                c = pxgeo::Bilinear24At(pBits, info.dwEffWidth, pAlpha, w, colLerp[x].i, rowLerp.i, colLerp[x].frac,
                                        rowLerp.frac);
            else
                c = averaging ? GetAreaColorInterpolated(sx, sy, xs, ys, inMethod, ofMethod)
                              : GetPixelColorInterpolated(sx, sy, inMethod, ofMethod);
            if (rgb24) {
                // Direct stores give what SetPixelColor(..., true) stores at 24 bits.
                BYTE* d = drow + 3 * static_cast<size_t>(x);
                d[0] = c.rgbBlue;
                d[1] = c.rgbGreen;
                d[2] = c.rgbRed;
                if (arow) arow[x] = c.rgbReserved;
            } else {
                dst.SetPixelColor(x, y, c, true);
            }
        }
        if (rgb24) {
            memset(drow + rowBytes, 0, dst.info.dwEffWidth - rowBytes);
            rowDone[static_cast<size_t>(y)] = 1;
        }
    };
    const size_t perRow = static_cast<size_t>(newx) * (averaging ? static_cast<size_t>(xs * ys) + 4 : 4);
    const RowCaches proto{pxgeo::FloatRows(pBits, info.dwEffWidth, pAlpha, useRows && !planar && !phased ? w : 0),
                          pxgeo::PlanarRows(pBits, info.dwEffWidth, pAlpha, planar ? w : 0),
                          pxgeo::PhaseRows(pBits, info.dwEffWidth, pAlpha, phased ? w : 0, phaseLayout)};
    try {
        if (separable && tapsFrom < tapsTo) {
            std::vector<LONG> ix(4 * static_cast<size_t>(tapsTo - tapsFrom));
            std::vector<float> k(ix.size());
            for (LONG x = tapsFrom; x < tapsTo; x++)
                for (int i = 0; i < 4; i++) {
                    ix[4 * static_cast<size_t>(x - tapsFrom) + i] = std::clamp<LONG>(colTaps[x].first + i, 0, w - 1);
                    k[4 * static_cast<size_t>(x - tapsFrom) + i] = colTaps[x].k[i];
                }
            const pxgeo::Kernel4Plan plan(pBits, info.dwEffWidth, pAlpha, w, std::move(ix), std::move(k));
            // Bands of rows: a source row laid out for the planar sums serves every output row of
            // the band that reads it.
            struct Local {
                RowCaches caches;
                pxgeo::Kernel4Plan::Scratch scratch;
            };
            constexpr LONG kBand = 32;
            pxgeo::RunBandsLocal(*this, newy, perRow, rgb24, kBand, Local{proto, pxgeo::Kernel4Plan::Scratch(plan)},
                                 [&](Local& mine, LONG first, LONG last) {
                pxgeo::Kernel4Row rows[kBand] = {};
                int n = 0;
                for (LONG y = first; y < last; y++) {
                    const Taps t = taps((static_cast<float>(y) + 0.5f) * ys - 0.5f, h);
                    if (!planarRow(t)) continue;
                    pxgeo::Kernel4Row& r = rows[n++];
                    for (int j = 0; j < 4; j++) {
                        r.src[j] = std::clamp<LONG>(t.first + j, 0, h - 1);
                        r.ky[j] = t.k[j];
                    }
                    r.d = dst.GetBits(static_cast<DWORD>(y)) + 3 * static_cast<size_t>(tapsFrom);
                    r.a = dalpha ? dalpha + static_cast<size_t>(y) * static_cast<size_t>(newx) + tapsFrom : nullptr;
                }
                plan.Run(mine.scratch, rows, n);
                for (LONG y = first; y < last; y++) row(mine.caches, y);
            });
        } else {
            pxgeo::RunRowsLocal(*this, newy, perRow, rgb24, proto, row);
        }
    } catch (const std::bad_alloc&) {
        SetLastError("PxImage::Create can't allocate memory");
        return false;
    }
    // Rows an escape left out are handed over black, as a filled result would have them.
    for (size_t y = 0; y < rowDone.size(); y++)
        if (!rowDone[y]) memset(dst.GetBits(static_cast<DWORD>(y)), 0, dst.info.dwEffWidth);
    return GeoHandOver(dst, iDst);
}
