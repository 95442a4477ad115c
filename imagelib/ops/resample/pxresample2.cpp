// Resample2: resizing with any of the interpolation methods. Shrinking averages the area each
// output pixel covers, so fine detail turns into its mean instead of aliasing.
#include "imagelib/ops/interpolate/pxrowrunner.h"
#include "imagelib/pximage.h"

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

    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(newx), static_cast<DWORD>(newy), head.biBitCount)) return false;
    if (pAlpha != nullptr) {
        dst.AlphaCreate();
        if (!dst.AlphaIsValid()) {
            SetLastError("PxImage::Create can't allocate memory");
            return false;
        }
    }
    const bool rgb24 = head.biBitCount == 24;
    const bool averaging = (xs > 1 || ys > 1) && !disableAveraging;
    BYTE* dalpha = dst.AlphaIsValid() ? dst.AlphaGetPointer(0, 0) : nullptr;

    auto row = [&](LONG y) {
        const float sy = (static_cast<float>(y) + 0.5f) * ys - 0.5f;
        BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
        for (LONG x = 0; x < newx; x++) {
            const float sx = (static_cast<float>(x) + 0.5f) * xs - 0.5f;
            const RGBQUAD c = averaging ? GetAreaColorInterpolated(sx, sy, xs, ys, inMethod, ofMethod)
                                        : GetPixelColorInterpolated(sx, sy, inMethod, ofMethod);
            if (rgb24) {
                // Direct stores give what SetPixelColor(..., true) stores at 24 bits.
                BYTE* d = drow + 3 * static_cast<size_t>(x);
                d[0] = c.rgbBlue;
                d[1] = c.rgbGreen;
                d[2] = c.rgbRed;
                if (dalpha) dalpha[static_cast<size_t>(y) * newx + x] = c.rgbReserved;
            } else {
                dst.SetPixelColor(x, y, c, true);
            }
        }
    };
    const size_t perRow = static_cast<size_t>(newx) * (averaging ? static_cast<size_t>(xs * ys) + 4 : 4);
    pxgeo::RunRows(*this, newy, perRow, rgb24, row);
    return GeoHandOver(dst, iDst);
}
