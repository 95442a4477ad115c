// Raising and lowering the bit depth. Lowering maps every colour to the nearest entry of a
// fixed palette (the caller's, black and white, or the standard one), optionally spreading each
// pixel's error over its unvisited neighbours.
#include <algorithm>

#include "imagelib/pximage.h"

bool PxImage::IncreaseBpp(DWORD nbit) {
    if (pDib == nullptr) return false;
    if (nbit != 4 && nbit != 8 && nbit != 24) return false;
    if (nbit == head.biBitCount) return true;
    if (nbit < head.biBitCount) return false;
    const LONG w = head.biWidth, h = head.biHeight;

    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(w), static_cast<DWORD>(h), nbit)) return false;
    dst.SelectionCopy(*this);
    dst.AlphaCopy(*this);
    if (nbit < 24) {
        for (LONG y = 0; y < h; y++) {
            if (GetEscape()) break;
            for (LONG x = 0; x < w; x++) dst.SetPixelIndex(x, y, BlindGetPixelIndex(x, y));
        }
    } else {
        if (info.nBkgndIndex >= 0) {
            // An index past the palette marks no pixel: the result gets no transparent colour
            // (black, or a wrapped entry, would make pixels transparent that were not).
            if (static_cast<DWORD>(info.nBkgndIndex) < GetNumColors())
                dst.SetTransColor(GetPaletteColor(static_cast<BYTE>(info.nBkgndIndex)));
            else
                dst.info.nBkgndIndex = -1;
        }
        // Opacity kept in the palette moves into a plane.
        if (AlphaPaletteIsValid() && pAlpha == nullptr) dst.AlphaCreate();
        for (LONG y = 0; y < h; y++) {
            if (GetEscape()) break;
            for (LONG x = 0; x < w; x++) dst.SetPixelColor(x, y, GetPixelColor(x, y), true);
        }
    }
    return Transfer(dst);
}

bool PxImage::DecreaseBpp(DWORD nbit, bool errordiffusion, RGBQUAD* ppal, DWORD clrimportant) {
    if (pDib == nullptr) return false;
    const DWORD bpp = head.biBitCount;
    if (nbit > bpp) return false;
    if (nbit == bpp) {
        if (clrimportant == 0) return true;
        if (head.biClrImportant != 0 && head.biClrImportant < clrimportant) return true;
    }
    if (nbit != 1 && nbit != 4 && nbit != 8) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    // The transparent colour (a 24-bit image's own, or the palette entry of a valid index),
    // taken before error diffusion changes any pixel.
    const bool transColour =
        info.nBkgndIndex >= 0 && (bpp == 24 || static_cast<DWORD>(info.nBkgndIndex) < GetNumColors());
    const RGBQUAD trans = GetTransColor();

    PxImage dst;
    if (!GeoNewImage(dst, static_cast<DWORD>(w), static_cast<DWORD>(h), nbit)) return false;
    if (clrimportant) dst.SetClrImportant(clrimportant);
    if (ppal != nullptr) {
        dst.SetPalette(ppal, 1u << nbit);
    } else if (nbit == 1) {
        dst.SetPaletteColor(0, 0, 0, 0);
        dst.SetPaletteColor(1, 255, 255, 255);
    } else {
        dst.SetStdPalette();
    }

    for (LONG y = 0; y < h; y++) {
        SetProgress(static_cast<LONG>(100LL * y / h));
        if (GetEscape()) break;
        for (LONG x = 0; x < w; x++) {
            if (!errordiffusion) {
                dst.SetPixelColor(x, y, GetPixelColor(x, y));
                continue;
            }
            const RGBQUAD c = GetPixelColor(x, y);
            dst.SetPixelColor(x, y, c);
            const RGBQUAD g = dst.GetPixelColor(x, y);
            const int er = c.rgbRed - g.rgbRed, eg = c.rgbGreen - g.rgbGreen, eb = c.rgbBlue - g.rgbBlue;
            // Weights 7, 2, 4, 1 sixteenths to the right and to the row above (the next one visited).
            static const int spread[4][3] = {{1, 0, 7}, {-1, 1, 2}, {0, 1, 4}, {1, 1, 1}};
            for (const auto& s : spread) {
                const LONG nx = x + s[0], ny = y + s[1];
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                RGBQUAD p = GetPixelColor(nx, ny);
                p.rgbRed = static_cast<BYTE>(std::clamp(p.rgbRed + er * s[2] / 16, 0, 255));
                p.rgbGreen = static_cast<BYTE>(std::clamp(p.rgbGreen + eg * s[2] / 16, 0, 255));
                p.rgbBlue = static_cast<BYTE>(std::clamp(p.rgbBlue + eb * s[2] / 16, 0, 255));
                SetPixelColor(nx, ny, p);
            }
        }
    }
    if (bpp == 1) {
        dst.SetPaletteColor(0, 0, 0, 0);
        dst.SetPaletteColor(1, 255, 255, 255);
    }
    // The old index named an entry of another palette: the transparent pixels went to the entry
    // nearest their colour, so that entry becomes the transparent one.
    if (transColour) dst.info.nBkgndIndex = dst.GetNearestIndex(trans);
    dst.SelectionCopy(*this);
    dst.AlphaCopy(*this);
    return Transfer(dst);
}
