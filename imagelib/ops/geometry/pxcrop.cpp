// Crop to a rectangle given as the user sees it (top counted from the top row), and crop to a
// rectangle drawn at an angle, which straightens the picture with a free rotation.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "imagelib/ops/geometry/pxpackedindex.h"
#include "imagelib/pximage.h"

namespace {

LONG ClampToLong(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

bool PxImage::Crop(LONG left, LONG top, LONG right, LONG bottom, PxImage* iDst) {
    if (!pDib) return false;
    const LONG width = static_cast<LONG>(GetWidth()), height = static_cast<LONG>(GetHeight());
    left = std::clamp<LONG>(left, 0, width);
    right = std::clamp<LONG>(right, 0, width);
    top = std::clamp<LONG>(top, 0, height);
    bottom = std::clamp<LONG>(bottom, 0, height);
    if (left == right || top == bottom) return false;
    if (left > right) std::swap(left, right);
    // Rows counted from the bottom, as stored: y0 inclusive to y1 exclusive.
    LONG y0 = height - top, y1 = height - bottom;
    if (y0 > y1) std::swap(y0, y1);

    const DWORD newWidth = static_cast<DWORD>(right - left), newHeight = static_cast<DWORD>(y1 - y0);
    const WORD bpp = GetBpp();
    PxImage tmp(GetType());
    if (!tmp.Create(newWidth, newHeight, bpp, GetType())) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    if (GetPalette()) tmp.SetPalette(GetPalette(), GetNumColors());
    tmp.info.nBkgndIndex = info.nBkgndIndex;
    tmp.info.nBkgndColor = info.nBkgndColor;

    for (LONG y = y0; y < y1; ++y) {
        SetProgress(static_cast<LONG>(100LL * y / y1));
        const BYTE* src = GetBits(static_cast<DWORD>(y));
        BYTE* dst = tmp.GetBits(static_cast<DWORD>(y - y0));
        if (bpp >= 8) {
            memcpy(dst, src + static_cast<size_t>(left) * bpp / 8, static_cast<size_t>(newWidth) * bpp / 8);
        } else {
            for (int64_t x = 0; x < newWidth; ++x) PackedSetIndex(dst, x, bpp, PackedGetIndex(src, left + x, bpp));
        }
    }

    if (pAlpha) {
        tmp.AlphaCreate();
        if (!tmp.AlphaIsValid()) {
            SetLastError("Crop: can't allocate memory");
            return false;
        }
        const size_t w = GetWidth();
        for (LONG y = y0; y < y1; ++y)
            memcpy(tmp.pAlpha + static_cast<size_t>(y - y0) * newWidth, pAlpha + static_cast<size_t>(y) * w + left,
                   newWidth);
    }
    return iDst ? iDst->Transfer(tmp) : Transfer(tmp);
}

bool PxImage::Crop(const RECT& rect, PxImage* iDst) { return Crop(rect.left, rect.top, rect.right, rect.bottom, iDst); }

bool PxImage::CropRotatedRectangle(LONG topx, LONG topy, LONG width, LONG height, float angle, PxImage* iDst) {
    if (!pDib || !std::isfinite(angle)) return false;
    if (std::fabs(angle) < 0.0002f)
        return Crop(topx, topy, ClampToLong(int64_t{topx} + width), ClampToLong(int64_t{topy} + height), iDst);

    // The bounding box of the drawn rectangle's corners (y counted down from the top). For an angle
    // between 0 and 90 degrees it is (topx - sin h, topy) to (topx + cos w, topy + sin w + cos h);
    // the general form also serves lines drawn rising to the right (negative angles).
    const double s = std::sin(angle), c = std::cos(angle);
    const double dx[4] = {0, c * width, -s * height, c * width - s * height};
    const double dy[4] = {0, s * width, c * height, s * width + c * height};
    const auto trunc64 = [](double v) { return static_cast<int64_t>(std::trunc(std::clamp(v, -4e9, 4e9))); };
    const int64_t startx = topx + trunc64(*std::min_element(dx, dx + 4));
    const int64_t starty = topy + trunc64(*std::min_element(dy, dy + 4));
    const int64_t endx = topx + trunc64(*std::max_element(dx, dx + 4));
    const int64_t endy = topy + trunc64(*std::max_element(dy, dy + 4));
    if (!IsInside(ClampToLong(startx), ClampToLong(starty)) || !IsInside(ClampToLong(endx), ClampToLong(endy)))
        return false;

    PxImage tmp(*this, true, false, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    if (!tmp.Crop(static_cast<LONG>(startx), static_cast<LONG>(starty), static_cast<LONG>(endx),
                  static_cast<LONG>(endy)) ||
        !tmp.Rotate(static_cast<float>(-angle * 57.29577951308232))) {
        SetLastError(tmp.GetLastError()[0] ? tmp.GetLastError() : "CropRotatedRectangle: rotation failed");
        return false;
    }
    const int64_t W = tmp.GetWidth(), H = tmp.GetHeight();
    if (!tmp.Crop(ClampToLong((W - width) / 2), ClampToLong((height + H) / 2), ClampToLong((width + W) / 2),
                  ClampToLong((H - height) / 2))) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    return iDst ? iDst->Transfer(tmp) : Transfer(tmp);
}
