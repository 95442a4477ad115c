// Alpha channel: the opacity plane beside the pixel rows and the alpha palette.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imagelib/pximage.h"

namespace {

size_t PlaneSize(const PxImage& img) { return static_cast<size_t>(img.GetWidth()) * img.GetHeight(); }

}  // namespace

void PxImage::AlphaCreate() {
    if (pAlpha || !pDib) return;
    const size_t n = PlaneSize(*this);
    pAlpha = static_cast<BYTE*>(std::malloc(n));
    if (pAlpha) std::memset(pAlpha, 255, n);
}

void PxImage::AlphaDelete() {
    std::free(pAlpha);
    pAlpha = nullptr;
}

void PxImage::AlphaClear() {
    if (pAlpha) std::memset(pAlpha, 0, PlaneSize(*this));
}

void PxImage::AlphaSet(BYTE level) {
    if (pAlpha) std::memset(pAlpha, level, PlaneSize(*this));
}

void PxImage::AlphaInvert() {
    if (!pAlpha) return;
    const size_t n = PlaneSize(*this);
    for (size_t i = 0; i < n; i++) pAlpha[i] = static_cast<BYTE>(255 - pAlpha[i]);
}

void PxImage::AlphaSet(LONG x, LONG y, BYTE level) {
    if (pAlpha && IsInside(x, y)) pAlpha[static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth()] = level;
}

BYTE PxImage::AlphaGet(LONG x, LONG y) {
    if (pAlpha && IsInside(x, y)) return pAlpha[static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth()];
    return 0;
}

BYTE PxImage::BlindAlphaGet(LONG x, LONG y) {
    return pAlpha[static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth()];
}

BYTE* PxImage::AlphaGetPointer(LONG x, LONG y) {
    if (pAlpha && IsInside(x, y)) return pAlpha + static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth();
    return nullptr;
}

bool PxImage::AlphaPaletteIsValid() {
    RGBQUAD* pal = GetPalette();
    if (!pal) return false;
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        if (pal[i].rgbReserved) return true;
    }
    return false;
}

void PxImage::AlphaPaletteClear() {
    for (DWORD i = 0; i < head.biClrUsed && GetPalette(); i++) {
        RGBQUAD c = GetPaletteColor(static_cast<BYTE>(i));
        SetPaletteColor(static_cast<BYTE>(i), c.rgbRed, c.rgbGreen, c.rgbBlue, 0);
    }
}

bool PxImage::AlphaCopy(PxImage& from) {
    if (!from.pAlpha || from.GetWidth() != GetWidth() || from.GetHeight() != GetHeight()) return false;
    if (&from == this) return true;  // the plane would be copied onto itself
    AlphaCreate();
    if (!pAlpha) return false;
    std::memcpy(pAlpha, from.pAlpha, PlaneSize(*this));
    info.nAlphaMax = from.info.nAlphaMax;
    return true;
}

bool PxImage::AlphaSet(PxImage& from) {
    // The source's index bytes become the plane, so it must hold one byte per pixel: a 1- or
    // 4-bit source would be read far past its rows.
    if (!from.pDib || from.GetBpp() != 8 || !from.IsGrayScale()) return false;
    if (from.GetWidth() != GetWidth() || from.GetHeight() != GetHeight()) return false;
    AlphaCreate();
    if (!pAlpha) return false;
    const DWORD w = GetWidth();
    for (DWORD y = 0; y < GetHeight(); y++) std::memcpy(pAlpha + static_cast<size_t>(y) * w, from.GetBits(y), w);
    return true;
}

// Both work in place, so they cannot fail once the plane exists: an image whose pixels have
// turned keeps its transparency with them.
bool PxImage::AlphaFlip() {
    if (!pAlpha) return false;
    const size_t w = GetWidth(), h = GetHeight();
    for (size_t y = 0; y < h / 2; y++) std::swap_ranges(pAlpha + y * w, pAlpha + (y + 1) * w, pAlpha + (h - 1 - y) * w);
    return true;
}

bool PxImage::AlphaMirror() {
    if (!pAlpha) return false;
    const size_t w = GetWidth(), h = GetHeight();
    for (size_t y = 0; y < h; y++) std::reverse(pAlpha + y * w, pAlpha + (y + 1) * w);
    return true;
}

bool PxImage::AlphaSplit(PxImage* dest) {
    if (!pAlpha || !dest) return false;
    PxImage gray;
    if (!gray.Create(GetWidth(), GetHeight(), 8, 0)) return false;
    const DWORD w = GetWidth();
    for (DWORD y = 0; y < GetHeight(); y++) std::memcpy(gray.GetBits(y), pAlpha + static_cast<size_t>(y) * w, w);
    gray.SetGrayPalette();
    return dest->Transfer(gray);
}

bool PxImage::AlphaPaletteSplit(PxImage* dest) {
    if (!AlphaPaletteIsValid() || !dest) return false;
    PxImage gray;
    if (!gray.Create(GetWidth(), GetHeight(), 8, 0)) return false;
    const LONG w = head.biWidth, h = head.biHeight;
    for (LONG y = 0; y < h; y++) {
        BYTE* row = gray.GetBits(static_cast<DWORD>(y));
        for (LONG x = 0; x < w; x++) row[x] = GetPixelColor(x, y).rgbReserved;
    }
    gray.SetGrayPalette();
    return dest->Transfer(gray);
}

bool PxImage::AlphaStrip() {
    if (!pDib) return false;
    const bool palettealpha = AlphaPaletteIsValid();
    if (!pAlpha && !palettealpha) return false;
    const RGBQUAD bg = info.nBkgndColor;
    const int amax = info.nAlphaMax;
    const LONG w = head.biWidth, h = head.biHeight;

    auto flatten = [&](LONG x, LONG y) {
        // The colour without the plane's value: the plane is applied once, through a, and the
        // reserved byte then holds only the palette entry's own alpha.
        RGBQUAD c = GetPixelColor(x, y, false);
        int a = pAlpha ? BlindAlphaGet(x, y) * amax / 255 : amax;
        if (head.biBitCount < 24 && palettealpha) a = c.rgbReserved * a / 255;
        RGBQUAD r{static_cast<BYTE>((bg.rgbBlue * (255 - a) + c.rgbBlue * a) / 255),
                  static_cast<BYTE>((bg.rgbGreen * (255 - a) + c.rgbGreen * a) / 255),
                  static_cast<BYTE>((bg.rgbRed * (255 - a) + c.rgbRed * a) / 255), 0};
        return r;
    };

    if (head.biBitCount == 24) {
        for (LONG y = 0; y < h; y++)
            for (LONG x = 0; x < w; x++) SetPixelColor(x, y, flatten(x, y), false);
        AlphaDelete();
        return true;
    }
    PxImage flat;
    if (!flat.Create(GetWidth(), GetHeight(), 24, 0)) {
        SetLastError(flat.GetLastError());
        return false;
    }
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) flat.SetPixelColor(x, y, flatten(x, y), false);
    return Transfer(flat);
}
