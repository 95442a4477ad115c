// Flip and Mirror: exact reversals of the row order or of each row, done in place so that a large
// image needs no second copy. Both drop the selection, whose shape no longer matches the picture.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imagelib/ops/geometry/pxpackedindex.h"
#include "imagelib/pximage.h"

bool PxImage::Flip() {
    if (!pDib || pGhost) return false;
    const size_t eff = info.dwEffWidth;
    const DWORD height = GetHeight();
    BYTE* tmp = static_cast<BYTE*>(malloc(eff));
    if (!tmp) {
        SetLastError("Flip: can't allocate memory");
        return false;
    }
    for (DWORD y = 0; y < height / 2; ++y) {
        BYTE* a = GetBits(y);
        BYTE* b = GetBits(height - 1 - y);
        memcpy(tmp, a, eff);
        memcpy(a, b, eff);
        memcpy(b, tmp, eff);
    }
    free(tmp);
    if (pAlpha) AlphaFlip();
    free(pSelection);
    pSelection = nullptr;
    return true;
}

bool PxImage::Mirror() {
    if (!pDib || pGhost) return false;
    const size_t eff = info.dwEffWidth;
    const int64_t width = GetWidth();
    const DWORD height = GetHeight();
    const WORD bpp = GetBpp();
    BYTE* tmp = nullptr;
    if (bpp < 8) {
        tmp = static_cast<BYTE*>(malloc(eff));
        if (!tmp) {
            SetLastError("Mirror: can't allocate memory");
            return false;
        }
    }
    for (DWORD y = 0; y < height; ++y) {
        BYTE* row = GetBits(y);
        if (bpp == 24) {
            for (int64_t l = 0, r = width - 1; l < r; ++l, --r)
                std::swap_ranges(row + 3 * l, row + 3 * l + 3, row + 3 * r);
        } else if (bpp == 8) {
            std::reverse(row, row + width);
        } else {
            // Sub-byte pixels cannot be swapped byte-wise: rebuild the row index by index.
            memset(tmp, 0, eff);
            for (int64_t x = 0; x < width; ++x) PackedSetIndex(tmp, width - 1 - x, bpp, PackedGetIndex(row, x, bpp));
            memcpy(row, tmp, eff);
        }
    }
    free(tmp);
    if (pAlpha) AlphaMirror();
    free(pSelection);
    pSelection = nullptr;
    return true;
}
