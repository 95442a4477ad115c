// Images through the clipboard as packed DIBs, and images made from BGRA bitmaps and icons.
// A packed DIB may come from any program, so its layout is never trusted: header sizes from the
// 12-byte core header to the V5 header, bit fields, short palettes and short pixel data are all
// read within the block.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "imagelib/pximage.h"
#include "platform/le.h"
#include "platform/surface.h"

BYTE* PxImage::CopyToHandle(DWORD* size) {
    if (size) *size = 0;
    if (!pDib) return nullptr;
    const DWORD n = GetSize();
    BYTE* block = static_cast<BYTE*>(calloc(n, 1));
    if (!block) return nullptr;
    memcpy(block, pDib, n);
    // The working header is the current one (resolution included); write it field by field.
    BYTE* p = block;
    le::put32(p + 0, 40);
    le::put32(p + 4, static_cast<DWORD>(head.biWidth));
    le::put32(p + 8, static_cast<DWORD>(head.biHeight));
    le::put16(p + 12, 1);
    le::put16(p + 14, head.biBitCount);
    le::put32(p + 16, BI_RGB);
    le::put32(p + 20, head.biSizeImage);
    le::put32(p + 24, static_cast<DWORD>(head.biXPelsPerMeter));
    le::put32(p + 28, static_cast<DWORD>(head.biYPelsPerMeter));
    le::put32(p + 32, head.biClrUsed);
    le::put32(p + 36, head.biClrImportant);
    if (size) *size = n;
    return block;
}

namespace {

// Scales a masked channel value to 8 bits.
struct MaskChannel {
    DWORD mask = 0;
    int shift = 0;
    int bits = 0;
    explicit MaskChannel(DWORD m) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m >> shift);
        }
    }
    BYTE get(DWORD px) const {
        if (!mask) return 0;
        DWORD v = (px & mask) >> shift;
        if (bits >= 8) return static_cast<BYTE>(v >> (bits - 8));
        DWORD maxv = (1u << bits) - 1;
        return static_cast<BYTE>((v * 255 + maxv / 2) / maxv);
    }
};

}  // namespace

bool PxImage::CreateFromHANDLE(const BYTE* hMem, size_t size) {
    if (!Destroy()) return false;
    if (!hMem || size < 12) {
        SetLastError("invalid DIB block");
        return false;
    }
    const DWORD hsize = le::get32(hMem);
    if (hsize < 12 || hsize > size || (hsize > 12 && hsize < 40)) {
        SetLastError("invalid DIB header");
        return false;
    }
    int64_t width, height;
    WORD bpp;
    DWORD compression = BI_RGB, clrUsed = 0;
    LONG xppm = 0, yppm = 0;
    if (hsize == 12) {
        width = le::get16(hMem + 4);
        height = le::get16s(hMem + 6);
        bpp = le::get16(hMem + 10);
    } else {
        width = le::get32s(hMem + 4);
        height = le::get32s(hMem + 8);
        bpp = le::get16(hMem + 14);
        compression = le::get32(hMem + 16);
        xppm = le::get32s(hMem + 24);
        yppm = le::get32s(hMem + 28);
        clrUsed = le::get32(hMem + 32);
    }
    // A negative height is a top-down DIB.
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
        SetLastError("PxImage::Create : width and height must be greater than zero");
        return false;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        SetLastError("unsupported bit depth");
        return false;
    }
    if (bpp <= 8 && compression != BI_RGB && !(compression == BI_RLE8 && bpp == 8) && !(compression == BI_RLE4 && bpp == 4)) {
        SetLastError("compression type not supported");
        return false;
    }
    if (bpp == 24 && compression != BI_RGB) {
        SetLastError("compression type not supported");
        return false;
    }
    if ((bpp == 16 || bpp == 32) && compression != BI_RGB && compression != BI_BITFIELDS) {
        SetLastError("unknown compression");
        return false;
    }
    if (topDown && (compression == BI_RLE8 || compression == BI_RLE4)) {
        SetLastError("compression type not supported");
        return false;
    }

    // Colour masks: in the V2..V5 header they sit at offset 40; a plain 40-byte header with
    // bit fields has them right after it.
    size_t offset = hsize;
    DWORD rmask = 0, gmask = 0, bmask = 0;
    if (compression == BI_BITFIELDS) {
        if (size < 52) {
            SetLastError("invalid DIB header");
            return false;
        }
        rmask = le::get32(hMem + 40);
        gmask = le::get32(hMem + 44);
        bmask = le::get32(hMem + 48);
        if (hsize == 40) offset = 52;
    } else if (bpp == 16) {
        rmask = 0x7C00, gmask = 0x3E0, bmask = 0x1F;
    } else if (bpp == 32) {
        rmask = 0xFF0000, gmask = 0xFF00, bmask = 0xFF;
    }

    // Uncompressed rows must all be in the block: a header that claims more would make us
    // allocate for pixels that are not there.
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        const int64_t rowBytes = ((width * bpp + 31) / 32) * 4;
        size_t dataStart = hsize + (compression == BI_BITFIELDS && hsize == 40 ? 12 : 0);
        const size_t entries = bpp <= 8 ? (clrUsed == 0 || clrUsed > (1u << bpp) ? (1u << bpp) : clrUsed)
                                        : (clrUsed > 65536 ? 0 : clrUsed);
        dataStart += entries * (hsize == 12 ? 3 : 4);
        if (dataStart > size || static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(height) > size - dataStart) {
            SetLastError("DIB data is shorter than its header says");
            return false;
        }
    }
    if (!Create(static_cast<DWORD>(width), static_cast<DWORD>(height), bpp, 0)) return false;
    SetXDPI(xppm ? static_cast<LONG>(xppm * 0.0254 + 0.5) : 96);
    SetYDPI(yppm ? static_cast<LONG>(yppm * 0.0254 + 0.5) : 96);

    // Palette: as many entries as the header names (or the depth allows), read only as far as
    // the block reaches; a short palette leaves the rest black.
    const size_t entry = hsize == 12 ? 3 : 4;
    size_t nPal = clrUsed;
    if (bpp <= 8) {
        const size_t full = size_t(1) << bpp;
        if (nPal == 0 || nPal > full) nPal = full;
        RGBQUAD* pal = GetPalette();
        for (size_t i = 0; i < nPal && offset + (i + 1) * entry <= size; i++) {
            const BYTE* e = hMem + offset + i * entry;
            pal[i] = RGBQUAD{e[0], e[1], e[2], 0};
        }
        info.last_c_isvalid = false;
    } else if (nPal > 65536) {
        nPal = 0;
    }
    offset += nPal * entry;
    if (offset > size) offset = size;
    const BYTE* src = hMem + offset;
    const size_t avail = size - offset;

    const int64_t w = width, h = height;
    if (compression == BI_RLE8 || compression == BI_RLE4) {
        // Run-length data never writes outside the rows: anything that would ends decoding.
        const bool rle4 = compression == BI_RLE4;
        int64_t x = 0, y = 0;
        size_t i = 0;
        auto put = [&](BYTE v) {
            if (x >= w || y >= h) return false;
            SetPixelIndex(static_cast<LONG>(x), static_cast<LONG>(y), v);
            x++;
            return true;
        };
        while (i + 2 <= avail) {
            BYTE n = src[i], v = src[i + 1];
            i += 2;
            if (n > 0) {
                for (int k = 0; k < n; k++)
                    if (!put(rle4 ? ((k & 1) ? (v & 15) : (v >> 4)) : v)) break;
                continue;
            }
            if (v == 0) {
                x = 0;
                y++;
                if (y >= h) break;
            } else if (v == 1) {
                break;
            } else if (v == 2) {
                if (i + 2 > avail) break;
                x += src[i];
                y += src[i + 1];
                i += 2;
                if (y >= h) break;
            } else {
                size_t bytes = rle4 ? (v + 1) / 2 : v;
                if (i + bytes > avail) break;
                for (int k = 0; k < v; k++) {
                    BYTE b = rle4 ? src[i + k / 2] : src[i + k];
                    if (!put(rle4 ? ((k & 1) ? (b & 15) : (b >> 4)) : b)) break;
                }
                i += (bytes + 1) & ~size_t(1);
            }
        }
        return true;
    }

    const int64_t srcRow = ((w * bpp + 31) / 32) * 4;
    for (int64_t row = 0; row < h; row++) {
        const int64_t srow = topDown ? h - 1 - row : row;
        const int64_t start = srow * srcRow;
        if (start >= static_cast<int64_t>(avail)) continue;  // short data: rows stay zero
        const BYTE* s = src + start;
        const int64_t have = std::min<int64_t>(srcRow, static_cast<int64_t>(avail) - start);
        BYTE* d = GetBits(static_cast<DWORD>(row));
        if (bpp <= 8 || bpp == 24) {
            memcpy(d, s, static_cast<size_t>(std::min<int64_t>(have, info.dwEffWidth)));
            continue;
        }
        const MaskChannel r(rmask), g(gmask), b(bmask);
        const int step = bpp / 8;
        for (int64_t x = 0; x < w && (x + 1) * step <= have; x++) {
            DWORD px = step == 2 ? le::get16(s + x * 2) : le::get32(s + x * 4);
            d[x * 3 + 0] = b.get(px);
            d[x * 3 + 1] = g.get(px);
            d[x * 3 + 2] = r.get(px);
        }
    }
    return true;
}

bool PxImage::CreateFromHBITMAP(const PxSurface* hbmp) {
    if (!Destroy()) return false;
    if (!hbmp || !hbmp->pixels || hbmp->width <= 0 || hbmp->height <= 0) return false;
    if (!Create(static_cast<DWORD>(hbmp->width), static_cast<DWORD>(hbmp->height), 24, 0)) return false;
    for (int32_t y = 0; y < hbmp->height; y++) {
        const BYTE* s = PxSurfacePixel(*hbmp, 0, y);
        BYTE* d = GetBits(static_cast<DWORD>(hbmp->height - 1 - y));
        for (int32_t x = 0; x < hbmp->width; x++, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    return true;
}

bool PxImage::CreateFromHICON(const PxSurface* hicon) {
    if (!CreateFromHBITMAP(hicon)) return false;
    AlphaCreate();
    if (!AlphaIsValid()) return true;
    for (int32_t y = 0; y < hicon->height; y++) {
        const BYTE* s = PxSurfacePixel(*hicon, 0, y);
        for (int32_t x = 0; x < hicon->width; x++, s += 4) AlphaSet(x, hicon->height - 1 - y, s[3]);
    }
    return true;
}
