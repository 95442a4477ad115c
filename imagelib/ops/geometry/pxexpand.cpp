// Expand: a larger canvas of one colour with the picture placed inside it.
#include <cstring>
#include <vector>

#include "imagelib/ops/geometry/pxpackedindex.h"
#include "imagelib/pximage.h"

bool PxImage::Expand(LONG left, LONG top, LONG right, LONG bottom, RGBQUAD canvascolor, PxImage* iDst) {
    if (!pDib) return false;
    if (left < 0 || top < 0 || right < 0 || bottom < 0) return false;
    const int64_t width = GetWidth(), height = GetHeight();
    const int64_t newWidth = width + left + right, newHeight = height + top + bottom;
    if (newWidth > INT32_MAX || newHeight > INT32_MAX) {
        SetLastError("PXIMAGE_MAX_MEMORY exceeded");
        return false;
    }
    const WORD bpp = GetBpp();
    // Only depth, type, palette and transparency carry over; the rest starts fresh.
    PxImage tmp(GetType());
    if (!tmp.Create(static_cast<DWORD>(newWidth), static_cast<DWORD>(newHeight), bpp, GetType())) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    if (GetPalette()) tmp.SetPalette(GetPalette(), GetNumColors());
    tmp.info.nBkgndIndex = info.nBkgndIndex;
    tmp.info.nBkgndColor = info.nBkgndColor;

    // One row of pure canvas, copied into every row before the picture goes in.
    const size_t eff = tmp.GetEffWidth();
    std::vector<BYTE> canvasRow(eff, 0);
    BYTE* canvas = canvasRow.data();
    if (bpp == 24) {
        for (int64_t x = 0; x < newWidth; ++x) {
            canvas[3 * x] = canvascolor.rgbBlue;
            canvas[3 * x + 1] = canvascolor.rgbGreen;
            canvas[3 * x + 2] = canvascolor.rgbRed;
        }
    } else {
        const BYTE idx = tmp.GetNearestIndex(canvascolor);
        for (int64_t x = 0; x < newWidth; ++x) PackedSetIndex(canvas, x, bpp, idx);
    }

    for (int64_t y = 0; y < newHeight; ++y) {
        SetProgress(static_cast<LONG>(100 * y / newHeight));
        BYTE* dst = tmp.GetBits(static_cast<DWORD>(y));
        memcpy(dst, canvas, eff);
        const int64_t sy = y - bottom;
        if (sy < 0 || sy >= height) continue;
        const BYTE* src = GetBits(static_cast<DWORD>(sy));
        if (bpp >= 8) {
            memcpy(dst + static_cast<size_t>(left) * bpp / 8, src, static_cast<size_t>(width) * bpp / 8);
        } else {
            for (int64_t x = 0; x < width; ++x) PackedSetIndex(dst, left + x, bpp, PackedGetIndex(src, x, bpp));
        }
    }
    return iDst ? iDst->Transfer(tmp) : Transfer(tmp);
}

bool PxImage::Expand(LONG newx, LONG newy, RGBQUAD canvascolor, PxImage* iDst) {
    if (!pDib) return false;
    const int64_t width = GetWidth(), height = GetHeight();
    if (newx < width || newy < height) return false;
    const LONG left = static_cast<LONG>((newx - width) / 2);
    const LONG right = static_cast<LONG>(newx - width - left);
    const LONG top = static_cast<LONG>((newy - height) / 2);
    const LONG bottom = static_cast<LONG>(newy - height - top);
    return Expand(left, top, right, bottom, canvascolor, iDst);
}
