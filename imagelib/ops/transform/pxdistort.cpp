// Skew about a pivot and the circular distortions (pinch, punch, swirl, polar unwrap, ripple).
// Both write only selected pixels, into a copy that then replaces the image.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imagelib/ops/interpolate/pxgeoutil.h"
#include "imagelib/pximage.h"

using pxgeo::TruncSat;

namespace {

struct Region {
    LONG left, bottom, right, top;  // as given (right and top exclusive)
    LONG xmin, xmax, ymin, ymax;    // the same, kept inside the image for the loops
};

// The region the distortions work on: the selection's box, or the whole image.
Region WorkRegion(const RECT& box, bool hasSelection, LONG w, LONG h) {
    Region r =
        hasSelection ? Region{box.left, box.bottom, box.right, box.top, 0, 0, 0, 0} : Region{0, 0, w, h, 0, 0, 0, 0};
    r.xmin = std::max<LONG>(0, r.left);
    r.xmax = std::min<LONG>(w, r.right);
    r.ymin = std::max<LONG>(0, r.bottom);
    r.ymax = std::min<LONG>(h, r.top);
    return r;
}

}  // namespace

bool PxImage::Skew(float xgain, float ygain, LONG xpivot, LONG ypivot, bool bEnableInterpolation) {
    if (pDib == nullptr) return false;
    // The copy always starts with the pixels, so rows an escape leaves unvisited keep the picture.
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    const LONG w = head.biWidth, h = head.biHeight;
    const Region rg = WorkRegion(info.rSelectionBox, pSelection != nullptr, w, h);
    const bool indexed = IsIndexed();

    for (LONG y = rg.ymin; y < rg.ymax; y++) {
        SetProgress(static_cast<LONG>(100LL * y / h));
        if (GetEscape()) break;
        for (LONG x = rg.xmin; x < rg.xmax; x++) {
            if (!SelectionIsInside(x, y)) continue;
            // Distances to the pivot in 64 bits: any LONG pivot is allowed.
            const float sx = static_cast<float>(x) + static_cast<float>(static_cast<int64_t>(y) - ypivot) * xgain;
            const float sy = static_cast<float>(y) + static_cast<float>(static_cast<int64_t>(x) - xpivot) * ygain;
            if (bEnableInterpolation) {
                tmp.SetPixelColor(x, y, GetPixelColorInterpolated(sx, sy, IM_BILINEAR, OM_BACKGROUND), true);
            } else {
                const LONG ix = TruncSat(sx), iy = TruncSat(sy);
                if (indexed)
                    tmp.SetPixelIndex(x, y, GetPixelIndex(ix, iy));
                else
                    tmp.SetPixelColor(x, y, GetPixelColor(ix, iy));
                tmp.AlphaSet(x, y, AlphaGet(ix, iy));
            }
        }
    }
    return Transfer(tmp);
}

bool PxImage::CircleTransform(int type, LONG rmax, float Koeff) {
    if (pDib == nullptr) return false;
    PxImage tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    const LONG w = head.biWidth, h = head.biHeight;
    const Region rg = WorkRegion(info.rSelectionBox, pSelection != nullptr, w, h);
    const LONG xmid = w / 2, ymid = h / 2;
    if (rmax == 0) {
        const double ddx = static_cast<double>(xmid - rg.left), ddy = static_cast<double>(ymid - rg.bottom);
        rmax = TruncSat(std::sqrt(ddx * ddx + ddy * ddy));
    }
    if (Koeff == 0.0f) Koeff = 1.0f;
    const bool indexed = IsIndexed();

    for (LONG y = rg.ymin; y < rg.ymax; y++) {
        SetProgress(static_cast<LONG>(100LL * y / h));
        if (GetEscape()) break;
        for (LONG x = rg.xmin; x < rg.xmax; x++) {
            if (!SelectionIsInside(x, y)) continue;
            const double dx = xmid - x, dy = ymid - y;
            const double r = std::sqrt(dx * dx + dy * dy);
            LONG sx = -1, sy = -1;
            if (r < rmax) {
                double angle = std::atan2(dy, dx);
                if (type == 3) {
                    sx = TruncSat(std::fabs(angle * rg.right * 0.15915494580678602));
                    sy = TruncSat(std::fabs(rg.top * r / rmax));
                } else if (type > 3) {
                    sx = (x % 32) + x - 16;
                    sy = y;
                } else {
                    double rnew;
                    if (type == 0) {
                        rnew = r * r / rmax;
                    } else if (type == 1) {
                        rnew = std::sqrt(rmax * r);
                    } else if (type == 2) {
                        rnew = r;
                        angle += r / Koeff;
                    } else {
                        rnew = 1;
                    }
                    // dx and dy point from the pixel to the centre, so both axes step back from
                    // the centre; stepping forward in x alone would mirror the picture.
                    sx = xmid - TruncSat(rnew * std::cos(angle));
                    sy = ymid - TruncSat(rnew * std::sin(angle));
                }
            }
            if (indexed)
                tmp.SetPixelIndex(x, y, GetPixelIndex(sx, sy));
            else
                tmp.SetPixelColor(x, y, GetPixelColor(sx, sy));
            tmp.AlphaSet(x, y, AlphaGet(sx, sy));
        }
    }
    return Transfer(tmp);
}
