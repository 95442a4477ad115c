// Drawing an image into a BGRA surface: plain, stretched, tiled and composited over what the
// surface already holds (transparent index, alpha plane, alpha palette). Only the part of the
// target that the clip rectangle lets through is touched, so a zoomed view costs its window
// size, not the image's.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imagelib/pximage.h"
#include "platform/surface.h"

namespace {

struct DeviceRect {
    LONG left, top, right, bottom;
};

// Target rectangle in device pixels cut to the surface's clip box and an optional logical clip.
bool VisibleRect(const PxSurface& s, LONG x, LONG y, LONG cx, LONG cy, const RECT* clip, DeviceRect& out) {
    RECT box = PxSurfaceClipBox(s);
    int64_t dx = static_cast<int64_t>(x) - s.origin.x, dy = static_cast<int64_t>(y) - s.origin.y;
    int64_t l = std::max<int64_t>(dx, box.left), t = std::max<int64_t>(dy, box.top);
    int64_t r = std::min<int64_t>(dx + cx, box.right), b = std::min<int64_t>(dy + cy, box.bottom);
    if (clip) {
        l = std::max<int64_t>(l, static_cast<int64_t>(clip->left) - s.origin.x);
        t = std::max<int64_t>(t, static_cast<int64_t>(clip->top) - s.origin.y);
        r = std::min<int64_t>(r, static_cast<int64_t>(clip->right) - s.origin.x);
        b = std::min<int64_t>(b, static_cast<int64_t>(clip->bottom) - s.origin.y);
    }
    if (l >= r || t >= b) return false;
    out = DeviceRect{static_cast<LONG>(l), static_cast<LONG>(t), static_cast<LONG>(r), static_cast<LONG>(b)};
    return true;
}

// Maps device pixels of a target rectangle to source pixels (x from the left, y from the bottom row).
struct Sampler {
    LONG w, h;       // image size
    int64_t X, Y;    // target position in device pixels
    LONG cx, cy;     // target size
    bool scaled;
    double fx, fy;
    LONG sx(LONG tx) const {
        if (!scaled) return static_cast<LONG>(tx - X);
        double v = std::floor((tx - X) * fx);
        return static_cast<LONG>(std::clamp<double>(v, 0, w - 1));
    }
    LONG sy(LONG ty) const {
        if (!scaled) return static_cast<LONG>(h - 1 - (ty - Y));
        double v = std::floor(h - (ty + 1 - Y) * fy);
        return static_cast<LONG>(std::clamp<double>(v, 0, h - 1));
    }
    // Unrounded source position for bilinear sampling.
    double fsx(LONG tx) const { return (tx - X) * fx; }
    double fsy(LONG ty) const { return h - (ty + 1 - Y) * fy; }
};

}  // namespace

// Bilinear sample at (x - 0.5, y - 0.5) with edges repeated: smooth zoomed drawing.
static RGBQUAD SampleBilinear(PxImage& img, double x, double y) {
    x -= 0.5;
    y -= 0.5;
    LONG w = static_cast<LONG>(img.GetWidth()), h = static_cast<LONG>(img.GetHeight());
    double x0f = std::floor(x), y0f = std::floor(y);
    double ax = x - x0f, ay = y - y0f;
    LONG x0 = std::clamp<LONG>(static_cast<LONG>(x0f), 0, w - 1), x1 = std::clamp<LONG>(static_cast<LONG>(x0f) + 1, 0, w - 1);
    LONG y0 = std::clamp<LONG>(static_cast<LONG>(y0f), 0, h - 1), y1 = std::clamp<LONG>(static_cast<LONG>(y0f) + 1, 0, h - 1);
    RGBQUAD c00 = img.GetPixelColor(x0, y0), c10 = img.GetPixelColor(x1, y0);
    RGBQUAD c01 = img.GetPixelColor(x0, y1), c11 = img.GetPixelColor(x1, y1);
    auto mix = [&](BYTE a, BYTE b, BYTE c, BYTE d) {
        double v = (a * (1 - ax) + b * ax) * (1 - ay) + (c * (1 - ax) + d * ax) * ay;
        return static_cast<BYTE>(std::clamp(v + 0.5, 0.0, 255.0));
    };
    RGBQUAD r;
    r.rgbBlue = mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue);
    r.rgbGreen = mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen);
    r.rgbRed = mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed);
    r.rgbReserved = mix(c00.rgbReserved, c10.rgbReserved, c01.rgbReserved, c11.rgbReserved);
    return r;
}

long PxImage::Draw(PxSurface* hdc, LONG x, LONG y, LONG cx, LONG cy, RECT* pClipRect, bool bSmooth) {
    if (!pDib || !hdc || !hdc->pixels || !info.bEnabled) return 0;
    if (cx < 0) cx = head.biWidth;
    if (cy < 0) cy = head.biHeight;
    if (cx == 0 || cy == 0) return 0;
    DeviceRect v;
    if (!VisibleRect(*hdc, x, y, cx, cy, pClipRect, v)) return 1;

    const LONG w = head.biWidth, h = head.biHeight;
    Sampler sm{w, h, static_cast<int64_t>(x) - hdc->origin.x, static_cast<int64_t>(y) - hdc->origin.y, cx, cy,
               cx != w || cy != h, static_cast<double>(w) / cx, static_cast<double>(h) / cy};
    const bool indexed = head.biClrUsed != 0;
    const bool hasTrans = info.nBkgndIndex >= 0;
    const bool compose = hasTrans || pAlpha || info.bAlphaPaletteEnabled;
    const bool smooth = bSmooth && sm.scaled;
    const RGBQUAD* pal = GetPalette();
    const RGBQUAD trans = info.nBkgndColor;

    for (LONG ty = v.top; ty < v.bottom; ty++) {
        BYTE* dst = PxSurfacePixel(*hdc, v.left, ty);
        const LONG sy = sm.sy(ty);
        for (LONG tx = v.left; tx < v.right; tx++, dst += 4) {
            const LONG sx = sm.sx(tx);
            RGBQUAD c;
            BYTE idx = 0;
            if (indexed) {
                idx = BlindGetPixelIndex(sx, sy);
                c = pal[idx < head.biClrUsed ? idx : 0];
            } else {
                const BYTE* p = pBits + static_cast<int64_t>(sy) * info.dwEffWidth + static_cast<int64_t>(sx) * 3;
                c = RGBQUAD{p[0], p[1], p[2], 0};
            }
            int a = 255;
            if (compose) {
                if (pAlpha) a = pAlpha[static_cast<int64_t>(sy) * w + sx];
                a = a * (info.nAlphaMax + 1) >> 8;
                if (indexed && info.bAlphaPaletteEnabled) a = a * (c.rgbReserved + 1) >> 8;
                if (a == 0) continue;
                if (hasTrans) {
                    if (indexed ? idx == static_cast<BYTE>(info.nBkgndIndex)
                                : (c.rgbBlue == trans.rgbBlue && c.rgbGreen == trans.rgbGreen && c.rgbRed == trans.rgbRed))
                        continue;
                }
            }
            if (smooth) c = SampleBilinear(*this, sm.fsx(tx), sm.fsy(ty));
            if (a >= 255) {
                dst[0] = c.rgbBlue;
                dst[1] = c.rgbGreen;
                dst[2] = c.rgbRed;
            } else {
                dst[0] = static_cast<BYTE>((dst[0] * (255 - a) + c.rgbBlue * a) >> 8);
                dst[1] = static_cast<BYTE>((dst[1] * (255 - a) + c.rgbGreen * a) >> 8);
                dst[2] = static_cast<BYTE>((dst[2] * (255 - a) + c.rgbRed * a) >> 8);
            }
            dst[3] = 255;
        }
    }
    return 1;
}

long PxImage::Draw(PxSurface* hdc, const RECT& rect, RECT* pClipRect, bool bSmooth) {
    return Draw(hdc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, pClipRect, bSmooth);
}

// Stretched copy through a raster operation, no transparency (nearest pixel).
long PxImage::Stretch(PxSurface* hdc, LONG xoffset, LONG yoffset, LONG xsize, LONG ysize, DWORD dwRop) {
    if (!pDib || !hdc || !hdc->pixels) return 0;
    if (xsize < 0) xsize = head.biWidth;
    if (ysize < 0) ysize = head.biHeight;
    if (xsize == 0 || ysize == 0) return 0;
    DeviceRect v;
    if (!VisibleRect(*hdc, xoffset, yoffset, xsize, ysize, nullptr, v)) return 1;
    const LONG w = head.biWidth, h = head.biHeight;
    Sampler sm{w, h, static_cast<int64_t>(xoffset) - hdc->origin.x, static_cast<int64_t>(yoffset) - hdc->origin.y,
               xsize, ysize, true, static_cast<double>(w) / xsize, static_cast<double>(h) / ysize};
    for (LONG ty = v.top; ty < v.bottom; ty++) {
        BYTE* dst = PxSurfacePixel(*hdc, v.left, ty);
        const LONG sy = sm.sy(ty);
        for (LONG tx = v.left; tx < v.right; tx++, dst += 4) {
            RGBQUAD c = BlindGetPixelColor(sm.sx(tx), sy);
            const BYTE src[3] = {c.rgbBlue, c.rgbGreen, c.rgbRed};
            for (int k = 0; k < 3; k++) {
                switch (dwRop) {
                case SRCAND: dst[k] &= src[k]; break;
                case SRCPAINT: dst[k] |= src[k]; break;
                case SRCINVERT: dst[k] ^= src[k]; break;
                case DSTINVERT: dst[k] = static_cast<BYTE>(~dst[k]); break;
                default: dst[k] = src[k]; break;
                }
            }
            dst[3] = 255;
        }
    }
    return 1;
}

long PxImage::Stretch(PxSurface* hdc, const RECT& rect, DWORD dwRop) {
    return Stretch(hdc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, dwRop);
}

// Stretched drawing that leaves the transparent colour's pixels of the target alone.
long PxImage::Draw2(PxSurface* hdc, LONG x, LONG y, LONG cx, LONG cy) {
    if (!pDib || !hdc || !hdc->pixels || !info.bEnabled) return 0;
    if (cx < 0) cx = head.biWidth;
    if (cy < 0) cy = head.biHeight;
    if (cx == 0 || cy == 0) return 0;
    if (info.nBkgndIndex < 0) return Stretch(hdc, x, y, cx, cy, SRCCOPY);
    DeviceRect v;
    if (!VisibleRect(*hdc, x, y, cx, cy, nullptr, v)) return 1;
    const LONG w = head.biWidth, h = head.biHeight;
    Sampler sm{w, h, static_cast<int64_t>(x) - hdc->origin.x, static_cast<int64_t>(y) - hdc->origin.y, cx, cy, true,
               static_cast<double>(w) / cx, static_cast<double>(h) / cy};
    const RGBQUAD trans = GetTransColor();
    for (LONG ty = v.top; ty < v.bottom; ty++) {
        BYTE* dst = PxSurfacePixel(*hdc, v.left, ty);
        const LONG sy = sm.sy(ty);
        for (LONG tx = v.left; tx < v.right; tx++, dst += 4) {
            RGBQUAD c = BlindGetPixelColor(sm.sx(tx), sy);
            if (c.rgbBlue == trans.rgbBlue && c.rgbGreen == trans.rgbGreen && c.rgbRed == trans.rgbRed) continue;
            dst[0] = c.rgbBlue;
            dst[1] = c.rgbGreen;
            dst[2] = c.rgbRed;
            dst[3] = 255;
        }
    }
    return 1;
}

long PxImage::Draw2(PxSurface* hdc, const RECT& rect) {
    return Draw2(hdc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

long PxImage::Tile(PxSurface* hdc, RECT* rc) {
    if (!pDib || !hdc || !rc) return 0;
    const LONG w = head.biWidth, h = head.biHeight;
    for (LONG j = 0; rc->top + j < rc->bottom; j += h) {
        for (LONG i = 0; rc->left + i < rc->right; i += w) {
            RECT tile{rc->left + i, rc->top + j, std::min(rc->left + i + w, rc->right), std::min(rc->top + j + h, rc->bottom)};
            Draw(hdc, rc->left + i, rc->top + j, -1, -1, &tile, false);
        }
    }
    return 1;
}

BYTE* PxImage::MakeBitmap(PxSurface* /*hdc*/) {
    if (!pDib) return nullptr;
    const int64_t w = head.biWidth, h = head.biHeight;
    BYTE* out = static_cast<BYTE*>(calloc(static_cast<size_t>(w * h), 4));
    if (!out) return nullptr;
    PxSurface s = PxSurfaceOver(out, static_cast<int32_t>(w), static_cast<int32_t>(h), static_cast<int32_t>(w * 4));
    // The bitmap holds the pixels as they are, without compositing.
    bool enabled = info.bEnabled;
    info.bEnabled = true;
    Stretch(&s, 0, 0, static_cast<LONG>(w), static_cast<LONG>(h), SRCCOPY);
    info.bEnabled = enabled;
    return out;
}
