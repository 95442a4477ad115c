// Resample: the older resize with three modes (nearest pixel, B-spline bicubic, and bilinear
// with an integer area-averaging path for 24-bit reductions). Previews, thumbnails and the
// view use it, so the reduction path touches each source pixel once and counts in thousandths.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/ops/interpolate/pxrowrunner.h"
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

    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(newx), static_cast<DWORD>(newy), head.biBitCount)) return false;
    const bool rgb24 = head.biBitCount == 24;
    const size_t eff = info.dwEffWidth;

    if (mode == 1) {
        std::vector<LONG> sxs(static_cast<size_t>(newx));
        for (LONG x = 0; x < newx; x++) sxs[x] = ScaledIndex(x, xs, w);
        pxgeo::RunRows(*this, newy, static_cast<size_t>(newx), rgb24, [&](LONG y) {
            const LONG sy = ScaledIndex(y, ys, h);
            if (rgb24) {
                const BYTE* srow = pBits + static_cast<size_t>(sy) * eff;
                BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
                for (LONG x = 0; x < newx; x++)
                    memcpy(drow + 3 * static_cast<size_t>(x), srow + 3 * static_cast<size_t>(sxs[x]), 3);
            } else {
                for (LONG x = 0; x < newx; x++) dst.SetPixelColor(x, y, GetPixelColor(sxs[x], sy));
            }
        });
    } else if (mode == 2) {
        // B-spline bicubic: the column weights depend on x only, the row weights on y only.
        struct Col {
            LONG ix[4];
            float k[4];
        };
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
        pxgeo::RunRows(*this, newy, static_cast<size_t>(newx) * 16, rgb24, [&](LONG y) {
            const float fy = static_cast<float>(y) * ys - 0.5f;
            const LONG iy = TruncSat(std::floor(fy));
            const float ry = fy - static_cast<float>(iy);
            LONG rows[4];
            float ky[4];
            for (int m = -1; m <= 2; m++) {
                rows[m + 1] = std::clamp<LONG>(iy + m, 0, h - 1);
                ky[m + 1] = KernelBSpline(static_cast<float>(m) - ry);
            }
            BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < newx; x++) {
                const Col& col = cols[x];
                // Blue, green and red side by side; each lane does the scalar sum's steps.
                pxgeo::V4 acc = {0, 0, 0, 0};
                for (int m = 0; m < 4; m++) {
                    for (int n = 0; n < 4; n++) {
                        const float weight = ky[m] * col.k[n];
                        pxgeo::V4 v;
                        if (rgb24) {
                            const BYTE* p =
                                pBits + static_cast<size_t>(rows[m]) * eff + 3 * static_cast<size_t>(col.ix[n]);
                            v = pxgeo::ToV4(p[0], p[1], p[2], 0);
                        } else {
                            const RGBQUAD c = GetPixelColor(col.ix[n], rows[m]);
                            v = pxgeo::ToV4(c.rgbBlue, c.rgbGreen, c.rgbRed, 0);
                        }
                        acc += weight * v;
                    }
                }
                const RGBQUAD out{ClampByte(acc[0]), ClampByte(acc[1]), ClampByte(acc[2]), 0};
                if (rgb24) {
                    BYTE* d = drow + 3 * static_cast<size_t>(x);
                    d[0] = out.rgbBlue;
                    d[1] = out.rgbGreen;
                    d[2] = out.rgbRed;
                } else {
                    dst.SetPixelColor(x, y, out);
                }
            }
        });
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
        const size_t accLen = (static_cast<size_t>(newx) + 1) * 3;

        // Each output row sums its own source rows and the far part of the row that crossed into it.
        // Integer sums do not depend on order, so rows can be made on several threads.
        pxgeo::RunRows(*this, newy, static_cast<size_t>(w) * static_cast<size_t>(ys + 1), true, [&](LONG r) {
            std::vector<int64_t> acc(accLen, 0);
            auto add = [&](LONG y, int py) {
                const BYTE* srow = pBits + static_cast<size_t>(y) * eff;
                for (LONG x = 0; x < w; x++) {
                    const size_t c = static_cast<size_t>(col[x]) * 3;
                    const int64_t pa = colA[x], pb = 1000 - pa;
                    // The products of the two splits, in thousandths.
                    const int64_t wa = pa * py / 1000, wb = pb * py / 1000;
                    for (int k = 0; k < 3; k++) {
                        const int64_t v = srow[3 * x + k];
                        acc[c + k] += v * wa;
                        acc[c + 3 + k] += v * wb;
                    }
                }
            };
            const LONG y0 = static_cast<LONG>(std::lower_bound(rowOf.begin(), rowOf.end(), r) - rowOf.begin());
            const LONG y1 = static_cast<LONG>(std::lower_bound(rowOf.begin(), rowOf.end(), r + 1) - rowOf.begin());
            if (y0 > 0 && rowOf[y0 - 1] == r - 1 && rowA[y0 - 1] < 1000) add(y0 - 1, 1000 - rowA[y0 - 1]);
            for (LONG y = y0; y < y1; y++) add(y, rowA[y]);
            BYTE* drow = dst.GetBits(static_cast<DWORD>(r));
            for (size_t k = 0; k < static_cast<size_t>(newx) * 3; k++)
                drow[k] = static_cast<BYTE>(std::min<int64_t>(255, acc[k] / denom));
        });
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
        pxgeo::RunRows(*this, newy, static_cast<size_t>(newx) * 4, rgb24, [&](LONG y) {
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
        });
    }

    if (pAlpha != nullptr) {
        dst.AlphaCreate();
        if (dst.AlphaIsValid()) {
            BYTE* da = dst.AlphaGetPointer(0, 0);
            for (LONG y = 0; y < newy; y++) {
                const LONG sy = ScaledIndex(y, ys, h);
                for (LONG x = 0; x < newx; x++)
                    da[static_cast<size_t>(y) * newx + x] = pAlpha[static_cast<size_t>(sy) * w + ScaledIndex(x, xs, w)];
            }
        }
    }
    return GeoHandOver(dst, iDst);
}
