// Reading an image at real positions and outside its borders: the overflow rules, the
// interpolated read of sixteen methods and the average over a real-valued area. Rotation,
// resampling, smoothed drawing and the magnifier all read through these.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/ops/selection/pxrect2.h"
#include "imagelib/pximage.h"

using pxgeo::ClampByte;
using pxgeo::FloorTrunc;
using pxgeo::TruncSat;

namespace {

constexpr RGBQUAD kWhite = {255, 255, 255, 0};

float GeneralizedCubicHalf(float t) { return PxImage::KernelGeneralizedCubic(t, -0.5f); }

}  // namespace

pxgeo::KernelFn pxgeo::KernelOf(int im) {
    switch (im) {
        case PxImage::IM_BSPLINE:
            return PxImage::KernelBSpline;
        case PxImage::IM_CUBIC:
            return PxImage::KernelCubic;
        case PxImage::IM_GENERALIZED_CUBIC:
            return GeneralizedCubicHalf;
        case PxImage::IM_BOX:
            return PxImage::KernelBox;
        case PxImage::IM_HERMITE:
            return PxImage::KernelHermite;
        case PxImage::IM_HAMMING:
            return PxImage::KernelHamming;
        case PxImage::IM_SINC:
            return PxImage::KernelSinc;
        case PxImage::IM_BLACKMAN:
            return PxImage::KernelBlackman;
        case PxImage::IM_BESSEL:
            return PxImage::KernelBessel;
        case PxImage::IM_GAUSSIAN:
            return PxImage::KernelGaussian;
        case PxImage::IM_QUADRATIC:
            return PxImage::KernelQuadratic;
        case PxImage::IM_MITCHELL:
            return PxImage::KernelMitchell;
        case PxImage::IM_CATROM:
            return PxImage::KernelCatrom;
        default:
            return nullptr;
    }
}

namespace {

// Methods that move a far-away position back into the image instead of answering with a colour.
bool MovesCoordinates(PxImage::OverflowMethod om) {
    return om == PxImage::OM_WRAP || om == PxImage::OM_REPEAT || om == PxImage::OM_MIRROR;
}

}  // namespace

void PxImage::OverflowCoordinates(LONG& x, LONG& y, OverflowMethod ofMethod) {
    const LONG w = head.biWidth, h = head.biHeight;
    if (pDib == nullptr || w <= 0 || h <= 0) return;
    if (x >= 0 && x < w && y >= 0 && y < h) return;
    switch (ofMethod) {
        case OM_WRAP:
            x %= w;
            if (x < 0) x += w;
            y %= h;
            if (y < 0) y += h;
            break;
        case OM_REPEAT:
            if (x < 0) x = 0;
            if (x >= w) x = w - 1;
            if (y < 0) y = 0;
            if (y >= h) y = h - 1;
            break;
        case OM_MIRROR:
            // Negated in 64 bits: the most negative LONG has no 32-bit negative.
            if (x < 0)
                x = static_cast<LONG>(-static_cast<int64_t>(x) % w);
            else if (x >= w)
                x = w - (x % w) - 1;
            if (y < 0)
                y = static_cast<LONG>(-static_cast<int64_t>(y) % h);
            else if (y >= h)
                y = h - (y % h) - 1;
            break;
        default:
            break;
    }
}

void PxImage::OverflowCoordinates(float& x, float& y, OverflowMethod ofMethod) {
    const LONG iw = head.biWidth, ih = head.biHeight;
    if (pDib == nullptr || iw <= 0 || ih <= 0) return;
    const float w = static_cast<float>(iw), h = static_cast<float>(ih);
    if (x >= 0 && x < w && y >= 0 && y < h) return;
    switch (ofMethod) {
        case OM_WRAP:
            x = std::fmod(x, w);
            if (x < 0) x += w;
            y = std::fmod(y, h);
            if (y < 0) y += h;
            break;
        case OM_REPEAT:
            if (x < 0) x = 0;
            if (x > w - 1) x = w - 1;
            if (y < 0) y = 0;
            if (y > h - 1) y = h - 1;
            break;
        case OM_MIRROR:
            if (x < 0)
                x = std::fmod(-x, w);
            else if (x >= w)
                x = w - (std::fmod(x, w) + 1);
            if (y < 0)
                y = std::fmod(-y, h);
            else if (y >= h)
                y = h - (std::fmod(y, h) + 1);
            break;
        default:
            break;
    }
    // A position that is not a number stays outside, where the checked reads handle it.
    if (std::isnan(x)) x = -1;
    if (std::isnan(y)) y = -1;
}

RGBQUAD PxImage::GetPixelColorWithOverflow(LONG x, LONG y, OverflowMethod ofMethod, RGBQUAD* rplColor) {
    const RGBQUAD replacement = rplColor ? *rplColor : kWhite;
    if (pDib == nullptr) return replacement;
    const LONG w = head.biWidth, h = head.biHeight;
    if (x >= 0 && x < w && y >= 0 && y < h) return BlindGetPixelColor(x, y);
    switch (ofMethod) {
        case OM_WRAP:
        case OM_REPEAT:
        case OM_MIRROR:
            OverflowCoordinates(x, y, ofMethod);
            return BlindGetPixelColor(x, y);
        case OM_BACKGROUND:
            if (info.nBkgndIndex < 0) return replacement;
            if (head.biBitCount == 24) return info.nBkgndColor;
            return GetPaletteColor(static_cast<BYTE>(info.nBkgndIndex));
        case OM_TRANSPARENT:
            if (pAlpha != nullptr) {
                RGBQUAD c = replacement;
                c.rgbReserved = 0;
                return c;
            }
            if (info.nBkgndIndex >= 0) return GetTransColor();
            return replacement;
        default:
            return replacement;
    }
}

void PxImage::AddAveragingCont(const RGBQUAD& color, float surf, float& rr, float& gg, float& bb, float& aa) {
    rr += color.rgbRed * surf;
    gg += color.rgbGreen * surf;
    bb += color.rgbBlue * surf;
    aa += color.rgbReserved * surf;
}

RGBQUAD PxImage::GetPixelColorInterpolated(float x, float y, InterpolationMethod inMethod, OverflowMethod ofMethod,
                                           RGBQUAD* rplColor) {
    if (pDib == nullptr) return rplColor ? *rplColor : kWhite;
    const LONG w = head.biWidth, h = head.biHeight;
    const bool rgb24 = head.biBitCount == 24;
    LONG xi = FloorTrunc(x), yi = FloorTrunc(y);
    RGBQUAD color;

    if (inMethod == IM_NEAREST_NEIGHBOUR) {
        color = GetPixelColorWithOverflow(TruncSat(x + 0.5f), TruncSat(y + 0.5f), ofMethod, rplColor);
        if (pAlpha == nullptr) color.rgbReserved = 0;
        return color;
    }

    const pxgeo::KernelFn kernel = pxgeo::KernelOf(inMethod);
    const bool lanczos = inMethod == IM_LANCZOS_SINC;
    if (kernel == nullptr && !lanczos) {
        // Bilinear, also for every value that names no method.
        if (xi < -1 || xi >= w || yi < -1 || yi >= h) {
            if (!MovesCoordinates(ofMethod)) return GetPixelColorWithOverflow(-999, -999, ofMethod, rplColor);
            OverflowCoordinates(x, y, ofMethod);
            xi = FloorTrunc(x);
            yi = FloorTrunc(y);
        }
        const float dx = x - static_cast<float>(xi), dy = y - static_cast<float>(yi);
        if (rgb24 && pxgeo::Bilinear24(pBits, info.dwEffWidth, pAlpha, w, h, x, y, color)) return color;
        const RGBQUAD c00 = GetPixelColorWithOverflow(xi, yi, ofMethod, rplColor);
        const RGBQUAD c10 = GetPixelColorWithOverflow(xi + 1, yi, ofMethod, rplColor);
        const RGBQUAD c01 = GetPixelColorWithOverflow(xi, yi + 1, ofMethod, rplColor);
        const RGBQUAD c11 = GetPixelColorWithOverflow(xi + 1, yi + 1, ofMethod, rplColor);
        const float dxy = dx * dy;
        const float k00 = 1 - dx - dy + dxy, k10 = dx - dxy, k01 = dy - dxy, k11 = dxy;
        auto mix = [&](BYTE a, BYTE b, BYTE c, BYTE d) { return ClampByte(k00 * a + k10 * b + k01 * c + k11 * d); };
        color.rgbRed = mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed);
        color.rgbGreen = mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen);
        color.rgbBlue = mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue);
        color.rgbReserved =
            pAlpha ? mix(c00.rgbReserved, c10.rgbReserved, c01.rgbReserved, c11.rgbReserved) : static_cast<BYTE>(0);
        return color;
    }

    // Kernel sums over 4 x 4 samples (12 x 12 for Lanczos).
    const int lo = lanczos ? 5 : 1;  // samples left of / below xi, yi
    const int hi = lanczos ? 6 : 2;  // samples right of / above
    if (xi + hi < 0 || xi - lo >= w || yi + hi < 0 || yi - lo >= h) {
        if (!MovesCoordinates(ofMethod)) return GetPixelColorWithOverflow(-999, -999, ofMethod, rplColor);
        OverflowCoordinates(x, y, ofMethod);
        xi = FloorTrunc(x);
        yi = FloorTrunc(y);
    }
    const int n = lo + hi + 1;
    float kx[12], ky[12];
    for (int k = 0; k < n; k++) {
        const float tx = static_cast<float>(xi - lo + k) - x;
        const float ty = static_cast<float>(yi - lo + k) - y;
        kx[k] = lanczos ? KernelLanczosSinc(tx, 6.0f) : kernel(tx);
        ky[k] = lanczos ? KernelLanczosSinc(ty, 6.0f) : kernel(ty);
    }
    if (rgb24 && xi - lo >= 0 && yi - lo >= 0 && xi + hi < w && yi + hi < h)
        return pxgeo::KernelSum24(pBits, info.dwEffWidth, pAlpha, w, xi - lo, yi - lo, n, kx, ky);
    float rr = 0, gg = 0, bb = 0, aa = 0;
    for (int j = 0; j < n; j++) {
        for (int i = 0; i < n; i++) {
            const RGBQUAD c = GetPixelColorWithOverflow(xi - lo + i, yi - lo + j, ofMethod, rplColor);
            AddAveragingCont(c, kx[i] * ky[j], rr, gg, bb, aa);
        }
    }
    color.rgbRed = ClampByte(rr);
    color.rgbGreen = ClampByte(gg);
    color.rgbBlue = ClampByte(bb);
    color.rgbReserved = pAlpha ? ClampByte(aa) : static_cast<BYTE>(0);
    return color;
}

RGBQUAD PxImage::GetAreaColorInterpolated(float xc, float yc, float w, float h, InterpolationMethod inMethod,
                                          OverflowMethod ofMethod, RGBQUAD* rplColor) {
    if (w <= 1 && h <= 1) return GetPixelColorInterpolated(xc, yc, inMethod, ofMethod, rplColor);
    if (pDib == nullptr) return rplColor ? *rplColor : kWhite;

    const PxRect2 area(xc - w / 2.0f, yc - h / 2.0f, xc + w / 2.0f, yc + h / 2.0f);
    const LONG x0 = TruncSat(area.botLeft.x + 0.5f), y0 = TruncSat(area.botLeft.y + 0.5f);
    const LONG x1 = TruncSat(area.topRight.x + 0.5f), y1 = TruncSat(area.topRight.y + 0.5f);
    float rr = 0, gg = 0, bb = 0, aa = 0;

    if (w > 1 && h > 1) {
        // Box filter: partial coverage only along the four borders.
        const PxRect2 first = area.CrossSection(PxRect2(x0 - 0.5f, y0 - 0.5f, x0 + 0.5f, y0 + 0.5f));
        const PxRect2 last = area.CrossSection(PxRect2(x1 - 0.5f, y1 - 0.5f, x1 + 0.5f, y1 + 0.5f));
        const float cx0 = first.Width(), cy0 = first.Height();
        const float cx1 = last.Width(), cy1 = last.Height();
        for (LONG j = y0; j <= y1; j++) {
            const float rowCover = j == y0 ? cy0 : (j == y1 ? cy1 : 1.0f);
            for (LONG i = x0; i <= x1; i++) {
                const float colCover = i == x0 ? cx0 : (i == x1 ? cx1 : 1.0f);
                const RGBQUAD c = GetPixelColorWithOverflow(i, j, ofMethod, rplColor);
                AddAveragingCont(c, colCover * rowCover, rr, gg, bb, aa);
            }
        }
    } else {
        // Stretched in one direction only: sample each covered square at the middle of its overlap.
        for (LONG j = y0; j <= y1; j++) {
            for (LONG i = x0; i <= x1; i++) {
                const PxRect2 overlap = area.CrossSection(PxRect2(i - 0.5f, j - 0.5f, i + 0.5f, j + 0.5f));
                const PxPoint2 centre = overlap.Center();
                const RGBQUAD c = GetPixelColorInterpolated(centre.x, centre.y, inMethod, ofMethod, rplColor);
                AddAveragingCont(c, overlap.Surface(), rr, gg, bb, aa);
            }
        }
    }

    const float surface = area.Surface();
    RGBQUAD color;
    color.rgbRed = ClampByte(rr / surface);
    color.rgbGreen = ClampByte(gg / surface);
    color.rgbBlue = ClampByte(bb / surface);
    color.rgbReserved = pAlpha ? ClampByte(aa / surface) : static_cast<BYTE>(0);
    return color;
}
