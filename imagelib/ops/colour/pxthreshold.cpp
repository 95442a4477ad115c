// Threshold: the grey image cut at one level into a black-and-white 1-bit image.
#include <cstring>

#include "imagelib/pximage.h"

bool PxImage::Threshold(BYTE level) {
    if (!pDib) return false;
    if (head.biBitCount == 1) return true;
    if (!GrayScale()) return false;

    PxImage tmp;
    tmp.CopyInfo(*this);
    if (!tmp.Create(head.biWidth, head.biHeight, 1, info.dwType)) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    tmp.SetPaletteColor(0, 0, 0, 0);
    tmp.SetPaletteColor(1, 255, 255, 255);
    const LONG w = head.biWidth, h = head.biHeight;
    for (LONG y = 0; y < h; y++) {
        info.nProgress = static_cast<LONG>(100LL * y / h);
        if (info.nEscape) break;
        const BYTE* src = GetBits(y);
        BYTE* dst = tmp.GetBits(y);
        std::memset(dst, 0, tmp.GetEffWidth());
        for (LONG x = 0; x < w; x++)
            if (src[x] > level) dst[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
    }
    // The new image carries no selection; its box must say so.
    tmp.info.rSelectionBox = RECT{w, 0, 0, h};
    Transfer(tmp);
    return true;
}
