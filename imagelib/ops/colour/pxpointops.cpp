// Point operations: each pixel (or palette entry) changes from its own value alone. Threshold,
// brightness and contrast, gamma, look-up tables, channel shifts, colourising, red-eye removal
// and the mean grey value.
#include <cmath>
#include <cstring>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/pximage.h"

namespace {

// Runs fn(y) for the rows [ymin, ymax) on worker threads. Only for true-colour images: each
// pixel is then written in place without touching anything another row needs (indexed images
// search the palette through a cache in the image and stay on one thread).
template <class Fn>
void OpsRows(LONG ymin, LONG ymax, Fn fn) {
    px_ops::ParallelBands(ymax > ymin ? ymax - ymin : 0, [&](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; i++) fn(static_cast<LONG>(ymin + i));
    });
}

}  // namespace

void PxImage::OpsRegion(LONG& xmin, LONG& xmax, LONG& ymin, LONG& ymax) const {
    const LONG w = head.biWidth, h = head.biHeight;
    if (pSelection) {
        // The box may be stale or wider than the image; never let it lead the loops outside.
        xmin = std::max<LONG>(0, info.rSelectionBox.left);
        xmax = std::min<LONG>(w, info.rSelectionBox.right);
        ymin = std::max<LONG>(0, info.rSelectionBox.bottom);
        ymax = std::min<LONG>(h, info.rSelectionBox.top);
    } else {
        xmin = 0;
        xmax = w;
        ymin = 0;
        ymax = h;
    }
}

bool PxImage::OpsIsGray8() { return head.biBitCount == 8 && IsGrayScale(); }

bool PxImage::Light(LONG brightness, LONG contrast) {
    const float c = (100 + static_cast<float>(contrast)) * 0.01f;
    BYTE table[256];
    for (int i = 0; i < 256; i++)
        table[i] = px_ops::ClampToByte((i - 128) * c + static_cast<float>(brightness) + 128);
    return Lut(table);
}

bool PxImage::Gamma(float gamma) {
    BYTE table[256];
    if (gamma == 0) {
        // 1/gamma has no finite value: every level maps to black.
        std::memset(table, 0, sizeof table);
    } else {
        const double g = 1.0 / gamma;
        const double dMax = std::pow(255.0, g) / 255.0;
        for (int i = 0; i < 256; i++) table[i] = px_ops::ClampToByte(std::pow(static_cast<double>(i), g) / dMax);
    }
    return Lut(table);
}

bool PxImage::Lut(BYTE* pLut) {
    if (!pDib || !pLut) return false;
    if (!IsIndexed()) {
        if (!pSelection) {
            // Every byte, row padding included.
            BYTE* p = pBits;
            const size_t n = static_cast<size_t>(info.dwEffWidth) * static_cast<DWORD>(head.biHeight);
            for (size_t i = 0; i < n; i++) p[i] = pLut[p[i]];
            return true;
        }
        LONG xmin, xmax, ymin, ymax;
        OpsRegion(xmin, xmax, ymin, ymax);
        for (LONG y = ymin; y < ymax; y++) {
            info.nProgress = static_cast<LONG>(y * (100.0f / ymax));
            BYTE* row = GetBits(y);
            for (LONG x = xmin; x < xmax; x++) {
                if (!OpsSelected(x, y)) continue;
                BYTE* p = row + 3 * x;
                p[0] = pLut[p[0]];
                p[1] = pLut[p[1]];
                p[2] = pLut[p[2]];
            }
        }
        return true;
    }
    if (pSelection && OpsIsGray8()) {
        LONG xmin, xmax, ymin, ymax;
        OpsRegion(xmin, xmax, ymin, ymax);
        for (LONG y = ymin; y < ymax; y++) {
            info.nProgress = static_cast<LONG>(y * (100.0f / ymax));
            BYTE* row = GetBits(y);
            for (LONG x = xmin; x < xmax; x++)
                if (OpsSelected(x, y)) row[x] = pLut[row[x]];
        }
        return true;
    }
    RGBQUAD* pal = GetPalette();
    for (DWORD j = 0; j < head.biClrUsed; j++) {
        RGBQUAD c = pal[j];
        c.rgbRed = pLut[c.rgbRed];
        c.rgbGreen = pLut[c.rgbGreen];
        c.rgbBlue = pLut[c.rgbBlue];
        SetPaletteColor(static_cast<BYTE>(j), c);
    }
    return true;
}

bool PxImage::Lut(BYTE* pLutR, BYTE* pLutG, BYTE* pLutB, BYTE* pLutA) {
    if (!pDib || !pLutR || !pLutG || !pLutB) return false;
    if (IsIndexed()) {
        RGBQUAD* pal = GetPalette();
        for (DWORD j = 0; j < head.biClrUsed; j++) {
            RGBQUAD c = pal[j];
            c.rgbRed = pLutR[c.rgbRed];
            c.rgbGreen = pLutG[c.rgbGreen];
            c.rgbBlue = pLutB[c.rgbBlue];
            SetPaletteColor(static_cast<BYTE>(j), c);
        }
        return true;
    }
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    OpsRows(ymin, ymax, [&](LONG y) {
        info.nProgress = static_cast<LONG>(y * (100.0f / ymax));
        for (LONG x = xmin; x < xmax; x++) {
            if (!OpsSelected(x, y)) continue;
            RGBQUAD c = GetPixelColor(x, y, true);
            c.rgbRed = pLutR[c.rgbRed];
            c.rgbGreen = pLutG[c.rgbGreen];
            c.rgbBlue = pLutB[c.rgbBlue];
            if (pLutA) c.rgbReserved = pLutA[c.rgbReserved];
            SetPixelColor(x, y, c, true);
        }
    });
    return true;
}

bool PxImage::ShiftRGB(LONG r, LONG g, LONG b) {
    if (!pDib) return false;
    auto shift = [&](RGBQUAD c) {
        c.rgbRed = px_ops::ClampInt(int64_t{c.rgbRed} + r);
        c.rgbGreen = px_ops::ClampInt(int64_t{c.rgbGreen} + g);
        c.rgbBlue = px_ops::ClampInt(int64_t{c.rgbBlue} + b);
        return c;
    };
    if (IsIndexed()) {
        RGBQUAD* pal = GetPalette();
        for (DWORD j = 0; j < head.biClrUsed; j++) SetPaletteColor(static_cast<BYTE>(j), shift(pal[j]));
        return true;
    }
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    OpsRows(ymin, ymax, [&](LONG y) {
        for (LONG x = xmin; x < xmax; x++)
            if (OpsSelected(x, y)) SetPixelColor(x, y, shift(BlindGetPixelColor(x, y)), false);
    });
    return true;
}

bool PxImage::Colorize(BYTE hue, BYTE sat, float blend) {
    if (!pDib) return false;
    if (!(blend > 0)) blend = 0;  // NaN too
    if (blend > 1) blend = 1;
    // Compared in double: 0.999f itself lies above 0.999 and blends fully.
    const bool full = blend > 0.999;
    const int a0 = static_cast<int>(256 * blend);
    const int a1 = 256 - a0;
    auto recolour = [&](RGBQUAD own) {
        RGBQUAD hsl = RGBtoHSL(own);
        hsl.rgbRed = hue;
        hsl.rgbGreen = sat;
        return HSLtoRGB(hsl);
    };
    if (IsIndexed()) {
        RGBQUAD* pal = GetPalette();
        for (DWORD j = 0; j < head.biClrUsed; j++) {
            RGBQUAD own = pal[j];
            const RGBQUAD c = recolour(own);
            if (full) {
                own.rgbRed = c.rgbRed;
                own.rgbGreen = c.rgbGreen;
                own.rgbBlue = c.rgbBlue;
            } else {
                own.rgbRed = px_ops::ClampToByte((1 - blend) * own.rgbRed + blend * c.rgbRed);
                own.rgbGreen = px_ops::ClampToByte((1 - blend) * own.rgbGreen + blend * c.rgbGreen);
                own.rgbBlue = px_ops::ClampToByte((1 - blend) * own.rgbBlue + blend * c.rgbBlue);
            }
            SetPaletteColor(static_cast<BYTE>(j), own);
        }
        return true;
    }
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    OpsRows(ymin, ymax, [&](LONG y) {
        for (LONG x = xmin; x < xmax; x++) {
            if (!OpsSelected(x, y)) continue;
            const RGBQUAD own = BlindGetPixelColor(x, y);
            RGBQUAD c = recolour(own);
            if (!full) {
                c.rgbRed = static_cast<BYTE>((c.rgbRed * a0 + own.rgbRed * a1) >> 8);
                c.rgbGreen = static_cast<BYTE>((c.rgbGreen * a0 + own.rgbGreen * a1) >> 8);
                c.rgbBlue = static_cast<BYTE>((c.rgbBlue * a0 + own.rgbBlue * a1) >> 8);
            }
            SetPixelColor(x, y, c, false);
        }
    });
    return true;
}

void PxImage::HuePalette(float correction) {
    if (!pDib || !IsIndexed()) return;
    const DWORD n = head.biClrUsed;
    // A one-entry palette has no step; its single entry takes hue 0.
    const LONG step = n > 1 ? static_cast<LONG>(255 / (n - 1)) : 0;
    for (DWORD j = 0; j < n; j++) {
        const double hv = static_cast<double>(j * correction * step);
        // Low byte of the truncated value; keep the conversion defined for any correction.
        const int64_t t = std::isfinite(hv) && std::fabs(hv) < 9.0e18 ? static_cast<int64_t>(hv) : 0;
        RGBQUAD hsl;
        hsl.rgbRed = static_cast<BYTE>(t & 0xFF);
        hsl.rgbGreen = 240;
        hsl.rgbBlue = 120;
        hsl.rgbReserved = 0;
        SetPaletteColor(static_cast<BYTE>(j), HSLtoRGB(hsl));
    }
}

float PxImage::Mean() {
    if (!pDib) return 0;
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    if (xmax <= xmin || ymax <= ymin) return 0;
    // The grey index of every pixel equals its colour's grey value, so no grey copy is needed.
    // A double sum: a float one stops counting exactly past 2^24 and drifts on large images.
    double sum = 0;
    for (LONG y = ymin; y < ymax; y++) {
        info.nProgress = static_cast<LONG>(100LL * y / ymax);
        if (head.biBitCount == 24) {
            const BYTE* row = GetBits(y);
            for (LONG x = xmin; x < xmax; x++) {
                const BYTE* p = row + 3 * x;
                sum += static_cast<double>((306 * p[2] + 601 * p[1] + 117 * p[0]) >> 10);
            }
        } else {
            for (LONG x = xmin; x < xmax; x++) sum += static_cast<double>(px_ops::Gray(BlindGetPixelColor(x, y)));
        }
    }
    return static_cast<float>(sum / (xmax - xmin) / (ymax - ymin));
}

bool PxImage::RedEyeRemove() {
    if (!pDib) return false;
    LONG xmin, xmax, ymin, ymax;
    OpsRegion(xmin, xmax, ymin, ymax);
    auto row = [&](LONG y) {
        for (LONG x = xmin; x < xmax; x++) {
            if (!OpsSelected(x, y)) continue;
            RGBQUAD c = BlindGetPixelColor(x, y);
            c.rgbRed = std::min(c.rgbGreen, c.rgbBlue);
            SetPixelColor(x, y, c, false);
        }
    };
    if (IsIndexed()) {
        // The new colour is looked up in the palette through the image's one-entry cache.
        for (LONG y = ymin; y < ymax; y++) row(y);
    } else {
        OpsRows(ymin, ymax, row);
    }
    return true;
}
