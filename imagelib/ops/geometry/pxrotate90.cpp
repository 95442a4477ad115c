// Right-angle rotations: every destination pixel is fetched from exactly one source pixel, so the
// result is lossless and RotateLeft undoes RotateRight. The work walks the destination in 64 x 64
// tiles so that the scattered source reads stay inside a cache-sized block.
#include <cstring>
#include <vector>

#include "imagelib/ops/geometry/pxpackedindex.h"
#include "imagelib/pximage.h"

namespace {

constexpr int64_t kTile = 64;

// Copies pixels and alpha from src into dst, dst (x, y) taking src map(x, y). Progress is reported
// on src by destination column (byColumn) or by destination row.
template <class Map>
void CopyMapped(PxImage& src, PxImage& dst, Map map, bool byColumn) {
    const int64_t dw = dst.GetWidth(), dh = dst.GetHeight();
    const int64_t sh = src.GetHeight();
    const WORD bpp = src.GetBpp();
    std::vector<const BYTE*> srcRows(sh);
    for (int64_t y = 0; y < sh; ++y) srcRows[y] = src.GetBits(static_cast<DWORD>(y));
    const BYTE* srcAlpha = src.AlphaIsValid() ? src.AlphaGetPointer(0, 0) : nullptr;
    BYTE* dstAlpha = dst.AlphaIsValid() ? dst.AlphaGetPointer(0, 0) : nullptr;
    const int64_t sw = src.GetWidth();

    auto tile = [&](int64_t tx, int64_t ty) {
        const int64_t xe = std::min(tx + kTile, dw), ye = std::min(ty + kTile, dh);
        for (int64_t y = ty; y < ye; ++y) {
            BYTE* drow = dst.GetBits(static_cast<DWORD>(y));
            for (int64_t x = tx; x < xe; ++x) {
                int64_t sx, sy;
                map(x, y, sx, sy);
                const BYTE* srow = srcRows[sy];
                if (bpp == 24) {
                    memcpy(drow + 3 * x, srow + 3 * sx, 3);
                } else if (bpp == 8) {
                    drow[x] = srow[sx];
                } else if (bpp == 1) {
                    // The destination starts cleared: only set bits need writing.
                    if (PackedGetIndex(srow, sx, 1)) drow[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                } else {
                    PackedSetIndex(drow, x, bpp, PackedGetIndex(srow, sx, bpp));
                }
                if (dstAlpha) dstAlpha[y * dw + x] = srcAlpha[sy * sw + sx];
            }
        }
    };

    if (byColumn) {
        for (int64_t tx = 0; tx < dw; tx += kTile) {
            src.SetProgress(static_cast<LONG>(100 * tx / dw));
            for (int64_t ty = 0; ty < dh; ty += kTile) tile(tx, ty);
        }
    } else {
        for (int64_t ty = 0; ty < dh; ty += kTile) {
            src.SetProgress(static_cast<LONG>(100 * ty / dh));
            for (int64_t tx = 0; tx < dw; tx += kTile) tile(tx, ty);
        }
    }
}

}  // namespace

// Each rotation builds its result beside the source (same information block, depth, type, palette
// and alpha; no selection) and moves it into iDst or into this image.
#define PX_PREPARE_ROTATED(imgDest, newWidth, newHeight)                 \
    PxImage imgDest;                                                     \
    imgDest.CopyInfo(*this);                                             \
    if (!imgDest.Create((newWidth), (newHeight), GetBpp(), GetType())) { \
        SetLastError(imgDest.GetLastError());                            \
        return false;                                                    \
    }                                                                    \
    if (GetPalette()) imgDest.SetPalette(GetPalette(), GetNumColors());  \
    if (pAlpha) {                                                        \
        imgDest.AlphaCreate();                                           \
        if (!imgDest.AlphaIsValid()) {                                   \
            SetLastError("can't allocate memory");                       \
            return false;                                                \
        }                                                                \
    }

bool PxImage::RotateLeft(PxImage* iDst) {
    if (!pDib) return false;
    const int64_t h = GetHeight();
    PX_PREPARE_ROTATED(imgDest, GetHeight(), GetWidth());
    // new (x', y') = old (y', height - 1 - x'): a quarter turn counter-clockwise as displayed.
    CopyMapped(
        *this, imgDest,
        [h](int64_t x, int64_t y, int64_t& sx, int64_t& sy) {
            sx = y;
            sy = h - 1 - x;
        },
        true);
    return iDst ? iDst->Transfer(imgDest) : Transfer(imgDest);
}

bool PxImage::RotateRight(PxImage* iDst) {
    if (!pDib) return false;
    const int64_t w = GetWidth();
    PX_PREPARE_ROTATED(imgDest, GetHeight(), GetWidth());
    // new (x', y') = old (width - 1 - y', x'): a quarter turn clockwise as displayed.
    CopyMapped(
        *this, imgDest,
        [w](int64_t x, int64_t y, int64_t& sx, int64_t& sy) {
            sx = w - 1 - y;
            sy = x;
        },
        false);
    return iDst ? iDst->Transfer(imgDest) : Transfer(imgDest);
}

bool PxImage::Rotate180(PxImage* iDst) {
    if (!pDib) return false;
    const int64_t w = GetWidth(), h = GetHeight();
    PX_PREPARE_ROTATED(imgDest, GetWidth(), GetHeight());
    CopyMapped(
        *this, imgDest,
        [w, h](int64_t x, int64_t y, int64_t& sx, int64_t& sy) {
            sx = w - 1 - x;
            sy = h - 1 - y;
        },
        false);
    return iDst ? iDst->Transfer(imgDest) : Transfer(imgDest);
}

#undef PX_PREPARE_ROTATED
