// Pixels and palette: reading and writing single pixels, nearest palette entries, palettes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imagelib/pximage.h"

namespace {

// The 4-bit standard palette (red, green, blue); its first eight entries start the 8-bit one.
constexpr BYTE kStd16[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
    {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

constexpr BYTE kStdHues[18][3] = {
    {255, 170, 0}, {255, 85, 0},  {255, 0, 0},   {255, 0, 85},  {255, 0, 170}, {255, 0, 255},
    {170, 0, 255}, {85, 0, 255},  {0, 0, 255},   {0, 85, 255},  {0, 170, 255}, {0, 255, 255},
    {0, 255, 170}, {0, 255, 85},  {0, 255, 0},   {85, 255, 0},  {170, 255, 0}, {255, 255, 0},
};

constexpr BYTE kStdTail[10][3] = {
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255},
};

// Tint k (0 palest .. 5) of one hue channel: full channels stay 255, the others fall from a pale
// start towards the hue in five equal steps.
BYTE TintChannel(int h, int k) {
    if (h == 255) return 255;
    int start = 212 + 28 * h / 170;
    int end = 37 + 133 * h / 170;
    return static_cast<BYTE>(start - (start - end) * k / 5);
}

// Shade j (0 = the hue itself) scales the channel to one of six levels of 255.
BYTE ShadeChannel(int h, int j) {
    static constexpr int kLevels[6] = {254, 220, 185, 150, 115, 80};
    return static_cast<BYTE>(h * kLevels[j] / 255);
}

RGBQUAD Quad(BYTE r, BYTE g, BYTE b, BYTE a = 0) { return RGBQUAD{b, g, r, a}; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// pixels

BYTE PxImage::GetPixelIndex(LONG x, LONG y) {
    if (!pDib || head.biClrUsed == 0) return 0;
    if (!IsInside(x, y)) {
        if (info.nBkgndIndex >= 0 && static_cast<DWORD>(info.nBkgndIndex) < head.biClrUsed)
            return static_cast<BYTE>(info.nBkgndIndex);
        return BlindGetPixelIndex(0, 0);
    }
    return BlindGetPixelIndex(x, y);
}

BYTE PxImage::BlindGetPixelIndex(LONG x, LONG y) {
    const BYTE* row = pBits + static_cast<uint64_t>(y) * info.dwEffWidth;
    switch (head.biBitCount) {
    case 8: return row[x];
    case 4: {
        BYTE b = row[x >> 1];
        return (x & 1) ? (b & 0x0F) : (b >> 4);
    }
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    default: return 0;
    }
}

void PxImage::SetPixelIndex(LONG x, LONG y, BYTE i) {
    if (!pDib || head.biClrUsed == 0 || !IsInside(x, y)) return;
    BYTE* row = pBits + static_cast<uint64_t>(y) * info.dwEffWidth;
    switch (head.biBitCount) {
    case 8: row[x] = i; break;
    case 4: {
        BYTE& b = row[x >> 1];
        if (x & 1)
            b = static_cast<BYTE>((b & 0xF0) | (i & 0x0F));
        else
            b = static_cast<BYTE>((b & 0x0F) | ((i & 0x0F) << 4));
        break;
    }
    case 1: {
        BYTE& b = row[x >> 3];
        BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
        b = (i & 1) ? (b | bit) : (b & ~bit);
        break;
    }
    default: break;
    }
}

RGBQUAD PxImage::GetPixelColor(LONG x, LONG y, bool getalpha) {
    RGBQUAD rgb = info.nBkgndColor;
    if (!pDib) return rgb;
    if (!IsInside(x, y)) {
        if (info.nBkgndIndex == -1) return GetPixelColor(0, 0, getalpha);
        if (head.biClrUsed) {
            if (info.nBkgndIndex >= 0 && static_cast<DWORD>(info.nBkgndIndex) < head.biClrUsed)
                return GetPalette()[info.nBkgndIndex];
            return rgb;
        }
        return rgb;
    }
    if (head.biClrUsed) {
        rgb = GetPaletteColor(BlindGetPixelIndex(x, y));
    } else {
        const BYTE* p = pBits + static_cast<uint64_t>(y) * info.dwEffWidth + static_cast<uint64_t>(x) * 3;
        rgb.rgbBlue = p[0];
        rgb.rgbGreen = p[1];
        rgb.rgbRed = p[2];
    }
    if (pAlpha && getalpha) rgb.rgbReserved = BlindAlphaGet(x, y);
    return rgb;
}

RGBQUAD PxImage::BlindGetPixelColor(LONG x, LONG y) {
    if (head.biClrUsed) return GetPaletteColor(BlindGetPixelIndex(x, y));
    const BYTE* p = pBits + static_cast<uint64_t>(y) * info.dwEffWidth + static_cast<uint64_t>(x) * 3;
    RGBQUAD rgb{p[0], p[1], p[2], 0};
    if (pAlpha) rgb.rgbReserved = BlindAlphaGet(x, y);
    return rgb;
}

BYTE PxImage::GetPixelGray(LONG x, LONG y) {
    RGBQUAD c = GetPixelColor(x, y);
    return static_cast<BYTE>((601 * c.rgbGreen + 306 * c.rgbRed + 117 * c.rgbBlue) >> 10);
}

void PxImage::SetPixelColor(LONG x, LONG y, RGBQUAD c, bool setalpha) {
    if (!pDib || !IsInside(x, y)) return;
    if (head.biClrUsed) {
        SetPixelIndex(x, y, GetNearestIndex(c));
        return;
    }
    BYTE* p = pBits + static_cast<uint64_t>(y) * info.dwEffWidth + static_cast<uint64_t>(x) * 3;
    p[0] = c.rgbBlue;
    p[1] = c.rgbGreen;
    p[2] = c.rgbRed;
    if (setalpha) AlphaSet(x, y, c.rgbReserved);
}

void PxImage::SetPixelColor(LONG x, LONG y, COLORREF cr) { SetPixelColor(x, y, RGBtoRGBQUAD(cr), false); }

void PxImage::BlendPixelColor(LONG x, LONG y, RGBQUAD c, float blend, bool setalpha) {
    if (!pDib || !IsInside(x, y)) return;
    // The factor is not clamped to 0..1, but it is kept in a range where the arithmetic is defined.
    double f = static_cast<double>(blend) * 256.0;
    if (!(f > -16777216.0)) f = -16777216.0;  // also catches NaN
    if (f > 16777216.0) f = 16777216.0;
    const int64_t a = static_cast<int64_t>(f);
    RGBQUAD p = BlindGetPixelColor(x, y);
    auto mix = [a](BYTE cv, BYTE pv) {
        int64_t v = static_cast<int64_t>(cv) * a + static_cast<int64_t>(pv) * (256 - a);
        return static_cast<BYTE>(static_cast<uint64_t>(v >> 8) & 0xFF);
    };
    // The blend's alpha is c's own, unblended.
    RGBQUAD r{mix(c.rgbBlue, p.rgbBlue), mix(c.rgbGreen, p.rgbGreen), mix(c.rgbRed, p.rgbRed), c.rgbReserved};
    SetPixelColor(x, y, r, setalpha);
}

BYTE* PxImage::BlindGetPixelPointer(LONG x, LONG y) {
    if (head.biClrUsed || !pBits) return nullptr;
    return pBits + static_cast<uint64_t>(y) * info.dwEffWidth + static_cast<uint64_t>(x) * 3;
}

bool PxImage::IsTransparent(LONG x, LONG y) {
    if (!pDib) return false;
    if (info.nBkgndIndex >= 0) {
        if (head.biClrUsed) {
            if (GetPixelIndex(x, y) == info.nBkgndIndex) return true;
        } else {
            RGBQUAD c = GetPixelColor(x, y, false);
            RGBQUAD t = info.nBkgndColor;
            if (std::memcmp(&c, &t, sizeof c) == 0) return true;
        }
    }
    return pAlpha && AlphaGet(x, y) == 0;
}

void PxImage::DrawLine(int startx, int endx, int starty, int endy, RGBQUAD color, bool setalpha) {
    if (!pDib) return;
    // 64-bit deltas: the caller's coordinates may be anywhere in the int range.
    const int64_t dx = std::llabs(static_cast<int64_t>(endx) - startx);
    const int64_t dy = std::llabs(static_cast<int64_t>(endy) - starty);
    const int64_t sx = endx >= startx ? 1 : -1;
    const int64_t sy = endy >= starty ? 1 : -1;
    const bool xmajor = dx >= dy;
    // Walk along the longer axis; the other axis follows the numerator of the classic algorithm.
    const int64_t dmaj = xmajor ? dx : dy, dmin = xmajor ? dy : dx;
    const int64_t maj0 = xmajor ? startx : starty, min0 = xmajor ? starty : startx;
    const int64_t smaj = xmajor ? sx : sy, smin = xmajor ? sy : sx;
    const int64_t majlimit = xmajor ? head.biWidth : head.biHeight;

    // Only the steps whose major coordinate lies inside the image can set a pixel, so a line
    // from far outside costs no more than one across the image.
    int64_t kfirst = 0, klast = dmaj;
    if (smaj > 0) {
        kfirst = std::max<int64_t>(kfirst, -maj0);
        klast = std::min<int64_t>(klast, majlimit - 1 - maj0);
    } else {
        kfirst = std::max<int64_t>(kfirst, maj0 - (majlimit - 1));
        klast = std::min<int64_t>(klast, maj0);
    }
    if (kfirst > klast) return;

    // State after kfirst steps: the numerator started at dmaj / 2 and gained dmin per step.
    const __int128 total = static_cast<__int128>(dmaj / 2) + static_cast<__int128>(kfirst) * dmin;
    int64_t num = dmaj ? static_cast<int64_t>(total % dmaj) : 0;
    int64_t minor = min0 + smin * (dmaj ? static_cast<int64_t>(total / dmaj) : 0);
    int64_t major = maj0 + smaj * kfirst;
    for (int64_t k = kfirst; k <= klast; k++) {
        const int64_t x = xmajor ? major : minor, y = xmajor ? minor : major;
        if (x >= 0 && y >= 0 && x <= INT32_MAX && y <= INT32_MAX)
            SetPixelColor(static_cast<LONG>(x), static_cast<LONG>(y), color, setalpha);
        major += smaj;
        num += dmin;
        if (num >= dmaj) {
            num -= dmaj;
            minor += smin;
        }
    }
}

void PxImage::DrawLine(int startx, int endx, int starty, int endy, COLORREF cr) {
    DrawLine(startx, endx, starty, endy, RGBtoRGBQUAD(cr), false);
}

// ---------------------------------------------------------------------------------------------
// nearest palette entry

BYTE PxImage::GetNearestIndex(RGBQUAD c) {
    if (!pDib || head.biClrUsed == 0) return 0;
    if (info.last_c_isvalid && std::memcmp(&info.last_c, &c, sizeof c) == 0) return info.last_c_index;
    info.last_c = c;
    info.last_c_isvalid = true;

    const RGBQUAD* pal = GetPalette();
    DWORD n = head.biClrImportant ? head.biClrImportant : head.biClrUsed;
    if (n > head.biClrUsed) n = head.biClrUsed;
    long best = 200000;
    BYTE index = 0;
    for (DWORD i = 0; i < n; i++) {
        long dr = static_cast<long>(pal[i].rgbRed) - c.rgbRed;
        long dg = static_cast<long>(pal[i].rgbGreen) - c.rgbGreen;
        long db = static_cast<long>(pal[i].rgbBlue) - c.rgbBlue;
        long d = dr * dr + dg * dg + db * db;
        if (d == 0) {
            index = static_cast<BYTE>(i);
            break;
        }
        if (d < best) {
            best = d;
            index = static_cast<BYTE>(i);
        }
    }
    info.last_c_index = index;
    return index;
}

// ---------------------------------------------------------------------------------------------
// palette

DWORD PxImage::GetPaletteSize() { return head.biClrUsed * static_cast<DWORD>(sizeof(RGBQUAD)); }

RGBQUAD* PxImage::GetPalette() const {
    if (!pDib || head.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RGBQUAD*>(static_cast<BYTE*>(pDib) + sizeof(BITMAPINFOHEADER));
}

RGBQUAD PxImage::GetPaletteColor(BYTE idx) {
    RGBQUAD* pal = GetPalette();
    if (pal && idx < head.biClrUsed) return pal[idx];
    return RGBQUAD{0, 0, 0, 0};
}

bool PxImage::GetPaletteColor(BYTE i, BYTE* r, BYTE* g, BYTE* b) {
    RGBQUAD* pal = GetPalette();
    if (!pal || i >= head.biClrUsed) return false;
    if (r) *r = pal[i].rgbRed;
    if (g) *g = pal[i].rgbGreen;
    if (b) *b = pal[i].rgbBlue;
    return true;
}

void PxImage::SetPaletteColor(BYTE idx, BYTE r, BYTE g, BYTE b, BYTE alpha) {
    RGBQUAD* pal = GetPalette();
    if (!pal || idx >= head.biClrUsed) return;
    pal[idx] = Quad(r, g, b, alpha);
    info.last_c_isvalid = false;
}

void PxImage::SetPaletteColor(BYTE idx, RGBQUAD c) {
    RGBQUAD* pal = GetPalette();
    if (!pal || idx >= head.biClrUsed) return;
    pal[idx] = c;
    info.last_c_isvalid = false;
}

void PxImage::SetPaletteColor(BYTE idx, COLORREF cr) {
    SetPaletteColor(idx, GetRValue(cr), GetGValue(cr), GetBValue(cr), 0);
}

void PxImage::SetPalette(DWORD n, BYTE* r, BYTE* g, BYTE* b) {
    RGBQUAD* pal = GetPalette();
    if (!r || !pal) return;
    if (!g) g = r;
    if (!b) b = g;
    DWORD m = n < head.biClrUsed ? n : head.biClrUsed;
    for (DWORD i = 0; i < m; i++) {
        pal[i].rgbRed = r[i];
        pal[i].rgbGreen = g[i];
        pal[i].rgbBlue = b[i];
    }
    info.last_c_isvalid = false;
}

void PxImage::SetPalette(rgb_color* rgb, DWORD nColors) {
    RGBQUAD* pal = GetPalette();
    if (!rgb || !pal) return;
    DWORD m = nColors < head.biClrUsed ? nColors : head.biClrUsed;
    for (DWORD i = 0; i < m; i++) {
        pal[i].rgbRed = rgb[i].r;
        pal[i].rgbGreen = rgb[i].g;
        pal[i].rgbBlue = rgb[i].b;
    }
    info.last_c_isvalid = false;
}

void PxImage::SetPalette(RGBQUAD* pPal, DWORD nColors) {
    RGBQUAD* pal = GetPalette();
    if (!pPal || !pal) return;
    uint64_t bytes = static_cast<uint64_t>(nColors) * sizeof(RGBQUAD);
    if (bytes > GetPaletteSize()) bytes = GetPaletteSize();
    std::memcpy(pal, pPal, static_cast<size_t>(bytes));
    info.last_c_isvalid = false;
}

void PxImage::SetGrayPalette() {
    RGBQUAD* pal = GetPalette();
    if (!pal) return;
    const DWORD n = head.biClrUsed;
    const DWORD step = n > 1 ? 255 / (n - 1) : 0;
    for (DWORD i = 0; i < n; i++) {
        BYTE v = static_cast<BYTE>(i * step);
        pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue = v;
    }
    info.last_c_isvalid = false;
}

void PxImage::BlendPalette(COLORREF cr, LONG perc) {
    RGBQUAD* pal = GetPalette();
    if (!pal) return;
    if (perc > 100) perc = 100;
    if (perc < 0) perc = 0;
    const int r = GetRValue(cr), g = GetGValue(cr), b = GetBValue(cr);
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        pal[i].rgbRed = static_cast<BYTE>((r * perc + pal[i].rgbRed * (100 - perc)) / 100);
        pal[i].rgbGreen = static_cast<BYTE>((g * perc + pal[i].rgbGreen * (100 - perc)) / 100);
        pal[i].rgbBlue = static_cast<BYTE>((b * perc + pal[i].rgbBlue * (100 - perc)) / 100);
    }
    info.last_c_isvalid = false;
}

void PxImage::SetStdPalette() {
    RGBQUAD* pal = GetPalette();
    if (!pal) return;
    if (head.biBitCount == 4) {
        for (int i = 0; i < 16; i++) pal[i] = Quad(kStd16[i][0], kStd16[i][1], kStd16[i][2]);
    } else if (head.biBitCount == 8) {
        for (int i = 0; i < 8; i++) pal[i] = Quad(kStd16[i][0], kStd16[i][1], kStd16[i][2]);
        pal[8] = Quad(192, 220, 192);
        pal[9] = Quad(166, 202, 240);
        for (int k = 0; k < 18; k++) {
            const BYTE* h = kStdHues[k];
            RGBQUAD* group = pal + 10 + 12 * k;
            for (int t = 0; t < 6; t++)
                group[t] = Quad(TintChannel(h[0], t), TintChannel(h[1], t), TintChannel(h[2], t));
            for (int s = 0; s < 6; s++)
                group[6 + s] = Quad(ShadeChannel(h[0], s), ShadeChannel(h[1], s), ShadeChannel(h[2], s));
        }
        for (int i = 0; i < 20; i++) {
            BYTE v = static_cast<BYTE>(242 - 12 * i);
            pal[226 + i] = Quad(v, v, v);
        }
        for (int i = 0; i < 10; i++) pal[246 + i] = Quad(kStdTail[i][0], kStdTail[i][1], kStdTail[i][2]);
    } else {
        return;
    }
    info.last_c_isvalid = false;
}

bool PxImage::IsGrayScale() {
    RGBQUAD* pal = GetPalette();
    if (!pal) return false;
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        if (pal[i].rgbRed != i || pal[i].rgbGreen != i || pal[i].rgbBlue != i) return false;
    }
    return true;
}

void PxImage::SwapIndex(BYTE idx1, BYTE idx2) {
    RGBQUAD* pal = GetPalette();
    if (!pal || idx1 >= head.biClrUsed || idx2 >= head.biClrUsed) return;
    RGBQUAD t = pal[idx1];
    pal[idx1] = pal[idx2];
    pal[idx2] = t;
    info.last_c_isvalid = false;
    const LONG w = head.biWidth, h = head.biHeight;
    for (LONG y = 0; y < h; y++) {
        for (LONG x = 0; x < w; x++) {
            BYTE i = BlindGetPixelIndex(x, y);
            if (i == idx1)
                SetPixelIndex(x, y, idx2);
            else if (i == idx2)
                SetPixelIndex(x, y, idx1);
        }
    }
}

bool PxImage::IsSamePalette(PxImage& img, bool bCheckAlpha) {
    if (head.biClrUsed != img.head.biClrUsed || head.biClrUsed == 0) return false;
    RGBQUAD* a = GetPalette();
    RGBQUAD* b = img.GetPalette();
    if (!a || !b) return false;
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        if (a[i].rgbRed != b[i].rgbRed || a[i].rgbGreen != b[i].rgbGreen || a[i].rgbBlue != b[i].rgbBlue)
            return false;
        if (bCheckAlpha && a[i].rgbReserved != b[i].rgbReserved) return false;
    }
    return true;
}

void PxImage::SetClrImportant(DWORD ncolors) {
    if (ncolors == 0 || ncolors > 256) {
        head.biClrImportant = 0;
    } else {
        switch (head.biBitCount) {
        case 1: head.biClrImportant = ncolors < 2 ? ncolors : 2; break;
        case 4: head.biClrImportant = ncolors < 16 ? ncolors : 16; break;
        case 8: head.biClrImportant = ncolors; break;
        default: return;
        }
    }
    info.last_c_isvalid = false;
}

// ---------------------------------------------------------------------------------------------
// conversions

RGBQUAD PxImage::RGBtoRGBQUAD(COLORREF cr) { return Quad(GetRValue(cr), GetGValue(cr), GetBValue(cr)); }

COLORREF PxImage::RGBQUADtoRGB(RGBQUAD c) { return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue); }

void PxImage::RGBtoBGR(BYTE* buffer, int length) {
    if (!buffer || head.biClrUsed) return;
    int64_t m = length < 0 ? 0 : length;
    if (m > static_cast<int64_t>(info.dwEffWidth)) m = info.dwEffWidth;
    // Only whole 3-byte groups: a group that starts near the end would reach past the buffer.
    for (int64_t i = 0; i + 3 <= m; i += 3) {
        BYTE t = buffer[i];
        buffer[i] = buffer[i + 2];
        buffer[i + 2] = t;
    }
}
