// Rotation by any angle: the plain nearest-pixel form, whose result holds the whole turned
// picture, and the interpolating form with its right-angle shortcuts and keep-size option.
// Both map every output pixel back to a source position.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imagelib/ops/interpolate/pxbilinear.h"
#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/core/pxrowrunner.h"
#include "imagelib/ops/selection/pxpoint2.h"
#include "imagelib/pximage.h"

using pxgeo::TruncSat;

namespace {

// The angle in radians, negated: positive angles turn clockwise as displayed.
float RotationRadians(float angle) { return -angle * static_cast<float>(std::acos(0.0)) / 90.0f; }

}  // namespace

bool PxImage::Rotate(float angle, PxImage* iDst) {
    if (pDib == nullptr) return false;
    const float ang = RotationRadians(angle);
    const float c = std::cos(ang), s = std::sin(ang);
    const LONG w = head.biWidth, h = head.biHeight;

    const float cx[4] = {0.0f, static_cast<float>(w), 0.0f, static_cast<float>(w - 1)};
    const float cy[4] = {0.0f, 0.0f, static_cast<float>(h), static_cast<float>(h)};
    LONG minx = 0, maxx = 0, miny = 0, maxy = 0;
    for (int k = 0; k < 4; k++) {
        const LONG nx = TruncSat(std::floor(cx[k] * c - cy[k] * s));
        const LONG ny = TruncSat(std::floor(cx[k] * s + cy[k] * c));
        minx = std::min(minx, nx);
        maxx = std::max(maxx, nx);
        miny = std::min(miny, ny);
        maxy = std::max(maxy, ny);
    }
    const LONG nw = maxx - minx + 2, nh = maxy - miny + 2;

    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(nw), static_cast<DWORD>(nh), head.biBitCount)) return false;
    if (pAlpha != nullptr) {
        dst.AlphaCreate();
        if (!dst.AlphaIsValid()) {
            SetLastError("PxImage::Create can't allocate memory");
            return false;
        }
        dst.AlphaClear();
    }

    const bool indexed = IsIndexed();
    for (LONG j = 0; j < nh; j++) {
        SetProgress(static_cast<LONG>(100LL * j / nh));
        if (GetEscape()) break;
        const float y = static_cast<float>(miny + j);
        BYTE* drow = dst.GetBits(static_cast<DWORD>(j));
        for (LONG i = 0; i < nw; i++) {
            const float x = static_cast<float>(minx + i);
            const LONG sx = TruncSat(x * c + y * s - 0.5f);
            const LONG sy = TruncSat(y * c - x * s - 0.5f);
            if (indexed) {
                dst.SetPixelIndex(i, j, GetPixelIndex(sx, sy));
            } else {
                const bool inside = sx >= 0 && sy >= 0 && sx < w && sy < h;
                BYTE* d = drow + static_cast<size_t>(i) * 3;
                if (inside) {
                    const BYTE* p = pBits + static_cast<size_t>(sy) * info.dwEffWidth + static_cast<size_t>(sx) * 3;
                    d[0] = p[0];
                    d[1] = p[1];
                    d[2] = p[2];
                } else {
                    const RGBQUAD q = GetPixelColor(sx, sy);
                    d[0] = q.rgbBlue;
                    d[1] = q.rgbGreen;
                    d[2] = q.rgbRed;
                }
            }
            if (pAlpha != nullptr) dst.AlphaSet(i, j, AlphaGet(sx, sy));
        }
    }
    return GeoHandOver(dst, iDst);
}

bool PxImage::Rotate2(float angle, PxImage* iDst, InterpolationMethod inMethod, OverflowMethod ofMethod,
                      RGBQUAD* replColor, bool optimizeRightAngles, bool bKeepOriginalSize) {
    if (pDib == nullptr) return false;
    const float ang = RotationRadians(angle);
    const float c = std::cos(ang), s = std::sin(ang);
    const LONG w = head.biWidth, h = head.biHeight;
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);

    PxPoint2 p[4] = {PxPoint2(-0.5f, -0.5f), PxPoint2(fw - 0.5f, -0.5f), PxPoint2(-0.5f, fh - 0.5f),
                     PxPoint2(fw - 0.5f, fh - 0.5f)};
    PxPoint2 q[4];
    if (!bKeepOriginalSize) {
        for (int k = 0; k < 4; k++) q[k] = PxPoint2(p[k].x * c - p[k].y * s, p[k].x * s + p[k].y * c);
        if (optimizeRightAngles) {
            if (q[3].Distance(PxPoint2(fh - 0.5f, 0.5f - fw)) < 0.25f) return RotateRight(iDst);
            if (q[3].Distance(PxPoint2(0.5f - fh, fw - 0.5f)) < 0.25f) return RotateLeft(iDst);
            if (q[3].Distance(PxPoint2(0.5f - fw, 0.5f - fh)) < 0.25f) return Rotate180(iDst);
            if (q[3].Distance(p[3]) < 0.25f) {
                if (iDst != nullptr && iDst != this) iDst->Copy(*this);
                return true;
            }
        }
    } else {
        for (int k = 0; k < 4; k++) q[k] = p[k];
    }

    float minx = q[0].x, maxx = q[0].x, miny = q[0].y, maxy = q[0].y;
    for (int k = 1; k < 4; k++) {
        minx = std::min(minx, q[k].x);
        maxx = std::max(maxx, q[k].x);
        miny = std::min(miny, q[k].y);
        maxy = std::max(maxy, q[k].y);
    }
    const LONG nw = TruncSat(std::floor(maxx - minx + 0.5f));
    const LONG nh = TruncSat(std::floor(maxy - miny + 0.5f));
    float x0 = (maxx + minx - static_cast<float>(nw - 1)) / 2.0f;
    float y0 = (maxy + miny - static_cast<float>(nh - 1)) / 2.0f;
    float shiftx = 0.0f, shifty = 0.0f;
    if (bKeepOriginalSize) {
        // Turn about the picture's centre.
        x0 -= fw / 2.0f;
        y0 -= fh / 2.0f;
        shiftx = static_cast<float>(nw) / 2.0f;
        shifty = static_cast<float>(nh) / 2.0f;
    }
    if (nw <= 0 || nh <= 0) {
        SetLastError("PxImage::Create : width and height must be greater than zero");
        return false;
    }

    // A 24-bit result has every row written below (padding included), so it skips the fill.
    const bool rgb24 = head.biBitCount == 24;
    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(nw), static_cast<DWORD>(nh), head.biBitCount, !rgb24)) return false;
    if (pAlpha != nullptr) dst.AlphaCreate();
    if (pAlpha != nullptr && !dst.AlphaIsValid()) {
        SetLastError("PxImage::Create can't allocate memory");
        return false;
    }

    RGBQUAD rpl = replColor ? *replColor : RGBQUAD{255, 255, 255, 0};
    BYTE* dalpha = dst.AlphaIsValid() ? dst.AlphaGetPointer(0, 0) : nullptr;
    // Inside the picture the bilinear read is inlined; it computes what the member computes.
    const bool fastBilinear = rgb24 && inMethod == IM_BILINEAR;

    // Far outside, methods that do not move coordinates answer with one fixed colour.
    const bool fixedFar = ofMethod != OM_WRAP && ofMethod != OM_REPEAT && ofMethod != OM_MIRROR;
    RGBQUAD farColour = rpl;
    if (fastBilinear && fixedFar) farColour = GetPixelColorWithOverflow(-999, -999, ofMethod, &farColour);

    const bool quad = fastBilinear && pAlpha == nullptr && pxgeo::HasBilinearQuad();
    // Columns from..to-1 of row j.
    auto span = [&](LONG j, LONG from, LONG to) {
        const BYTE* bits = pBits;
        const BYTE* alpha = pAlpha;
        const size_t eff = info.dwEffWidth;
        BYTE* arow = dalpha ? dalpha + static_cast<size_t>(j) * static_cast<size_t>(nw) : nullptr;
        const float Y = y0 + static_cast<float>(j);
        BYTE* drow = dst.GetBits(static_cast<DWORD>(j));
        LONG i = from;
        if (fastBilinear) {
            // Four positions at a time, each lane computing exactly the scalar expressions below.
            const float Ys = Y * s, Yc = Y * c;
            for (; i + 4 <= to; i += 4) {
                if (quad) {
                    // Runs of groups wholly inside go through the vector read in one call.
                    i = pxgeo::BilinearTurnedRun24(drow, bits, eff, w, h, x0, c, s, Ys, Yc, shiftx, shifty, i, to,
                                                   fixedFar ? &farColour : nullptr);
                    if (i + 4 > to) break;
                }
                const pxgeo::V4 X = x0 + pxgeo::ToV4(i, i + 1, i + 2, i + 3);
                const pxgeo::V4 sxv = X * c + Ys + shiftx;
                const pxgeo::V4 syv = Yc - X * s + shifty;
                const pxgeo::V4i xiv = pxgeo::FloorTruncV4(sxv), yiv = pxgeo::FloorTruncV4(syv);
                const pxgeo::V4i inside = (xiv >= 0) & (yiv >= 0) & (xiv < w - 1) & (yiv < h - 1);
                const pxgeo::V4i far = (xiv < -1) | (xiv >= w) | (yiv < -1) | (yiv >= h);
                if (fixedFar && !alpha && far[0] && far[1] && far[2] && far[3]) {
                    BYTE* d = drow + static_cast<size_t>(i) * 3;
                    for (int k = 0; k < 4; k++, d += 3) {
                        d[0] = farColour.rgbBlue;
                        d[1] = farColour.rgbGreen;
                        d[2] = farColour.rgbRed;
                    }
                    continue;
                }
                // Fraction256 of the lanes inside (the others are not used and kept small).
                const pxgeo::V4 zero = {0, 0, 0, 0};
                const pxgeo::V4 fx = inside ? sxv - __builtin_convertvector(xiv, pxgeo::V4) : zero;
                const pxgeo::V4 fy = inside ? syv - __builtin_convertvector(yiv, pxgeo::V4) : zero;
                const pxgeo::V4i uv = __builtin_convertvector(fx * 256, pxgeo::V4i);
                const pxgeo::V4i vv = __builtin_convertvector(fy * 256, pxgeo::V4i);
                for (int k = 0; k < 4; k++) {
                    const LONG xi = xiv[k], yi = yiv[k];
                    RGBQUAD col;
                    if (!alpha && inside[k]) {
                        const BYTE* p0 = bits + static_cast<size_t>(yi) * eff + static_cast<size_t>(xi) * 3;
                        // Eight bytes from the upper row stay inside the picture unless it is the top row;
                        // the fourth byte written belongs to the next pixel, written next.
                        pxgeo::Bilinear24Store(drow + static_cast<size_t>(i + k) * 3, p0, p0 + eff, uv[k], vv[k],
                                               yi + 2 < h || static_cast<size_t>(xi) * 3 + 8 <= eff, i + k + 1 < to);
                        continue;
                    }
                    if (xi >= 0 && yi >= 0 && xi < w - 1 && yi < h - 1) {
                        col = pxgeo::Bilinear24At(bits, eff, alpha, w, xi, yi, pxgeo::Fraction256(sxv[k], xi),
                                                  pxgeo::Fraction256(syv[k], yi));
                    } else if (fixedFar && (xi < -1 || xi >= w || yi < -1 || yi >= h)) {
                        col = farColour;
                    } else {
                        RGBQUAD r = rpl;
                        col = GetPixelColorInterpolated(sxv[k], syv[k], inMethod, ofMethod, &r);
                    }
                    BYTE* d = drow + static_cast<size_t>(i + k) * 3;
                    d[0] = col.rgbBlue;
                    d[1] = col.rgbGreen;
                    d[2] = col.rgbRed;
                    if (arow) arow[i + k] = col.rgbReserved;
                }
            }
        }
        for (; i < to; i++) {
            const float X = x0 + static_cast<float>(i);
            const float sx = X * c + Y * s + shiftx;
            const float sy = Y * c - X * s + shifty;
            RGBQUAD col;
            bool done = false;
            if (fastBilinear) {
                const LONG xi = pxgeo::FloorTrunc(sx), yi = pxgeo::FloorTrunc(sy);
                if (xi >= 0 && yi >= 0 && xi < w - 1 && yi < h - 1) {
                    col = pxgeo::Bilinear24At(bits, eff, alpha, w, xi, yi, pxgeo::Fraction256(sx, xi),
                                              pxgeo::Fraction256(sy, yi));
                    done = true;
                } else if (fixedFar && (xi < -1 || xi >= w || yi < -1 || yi >= h)) {
                    col = farColour;
                    done = true;
                }
            }
            if (!done) {
                // The replacement is passed by a private copy: each thread reads its own.
                RGBQUAD r = rpl;
                col = GetPixelColorInterpolated(sx, sy, inMethod, ofMethod, &r);
            }
            if (rgb24) {
                BYTE* d = drow + static_cast<size_t>(i) * 3;
                d[0] = col.rgbBlue;
                d[1] = col.rgbGreen;
                d[2] = col.rgbRed;
                if (arow) arow[i] = col.rgbReserved;
            } else {
                dst.SetPixelColor(i, j, col, dalpha != nullptr);
            }
        }
    };
    // Bands of rows walked in tiles of columns: a tile's source pixels lie close together, where a
    // whole turned row would cross thousands of source rows.
    constexpr LONG kBand = 16, kTile = 64;
    const size_t rowBytes = static_cast<size_t>(nw) * 3;
    std::vector<char> rowDone(rgb24 ? static_cast<size_t>(nh) : 0);
    auto band = [&](LONG first, LONG last) {
        for (LONG from = 0; from < nw; from += kTile)
            for (LONG j = first; j < last; j++) span(j, from, std::min(nw, from + kTile));
        if (!rgb24) return;
        for (LONG j = first; j < last; j++) {
            memset(dst.GetBits(static_cast<DWORD>(j)) + rowBytes, 0, dst.info.dwEffWidth - rowBytes);
            rowDone[static_cast<size_t>(j)] = 1;
        }
    };
    // Indexed results go through the nearest-colour cache of dst, which is not shared safely.
    pxgeo::RunBands(*this, nh, static_cast<size_t>(nw), rgb24, rgb24 ? kBand : 1, band);
    // Rows an escape left out are handed over black, as a filled result would have them.
    for (size_t j = 0; j < rowDone.size(); j++)
        if (!rowDone[j]) memset(dst.GetBits(static_cast<DWORD>(j)), 0, dst.info.dwEffWidth);
    return GeoHandOver(dst, iDst);
}
