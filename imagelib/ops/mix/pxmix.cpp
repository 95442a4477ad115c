// Mixing a second image into this one pixel by pixel (arithmetic, bitwise, masking,
// background-aware copies, a colour-distance blend and an alpha screen), and pasting a second
// image over this one without its transparent colour.
#include <algorithm>
#include <cstdlib>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/pximage.h"

namespace {

template <class Op>
RGBQUAD PerChannel(const RGBQUAD& a, const RGBQUAD& b, bool alpha, Op op) {
    RGBQUAD d;
    d.rgbBlue = static_cast<BYTE>(op(a.rgbBlue, b.rgbBlue));
    d.rgbGreen = static_cast<BYTE>(op(a.rgbGreen, b.rgbGreen));
    d.rgbRed = static_cast<BYTE>(op(a.rgbRed, b.rgbRed));
    d.rgbReserved = alpha ? static_cast<BYTE>(op(a.rgbReserved, b.rgbReserved)) : a.rgbReserved;
    return d;
}

}  // namespace

void PxImage::Mix(PxImage& imgsrc2, ImageOpType op, LONG lXOffset, LONG lYOffset, bool bMixAlpha) {
    if (!pDib || !imgsrc2.IsValid()) return;
    // An unknown operation changes nothing, not even the alpha plane.
    if (static_cast<int>(op) < OpAdd || static_cast<int>(op) > OpScreen) return;
    const int64_t W = std::min<int64_t>(head.biWidth, int64_t{imgsrc2.GetWidth()} - lXOffset);
    const int64_t H = std::min<int64_t>(head.biHeight, int64_t{imgsrc2.GetHeight()} - lYOffset);
    const bool editAlpha = bMixAlpha && imgsrc2.AlphaIsValid();
    if (editAlpha && !AlphaIsValid()) AlphaCreate();
    const RGBQUAD bg = GetTransColor();
    const bool srcAlpha = imgsrc2.AlphaIsValid();
    const int alphaMax = imgsrc2.AlphaGetMax();

    auto row = [&](int64_t y) {
        info.nProgress = static_cast<LONG>(100 * y / head.biHeight);
        if (info.nEscape) return false;
        for (int64_t x = 0; x < W; x++) {
            const LONG xs = static_cast<LONG>(x + lXOffset), ys = static_cast<LONG>(y + lYOffset);
            const LONG xd = static_cast<LONG>(x), yd = static_cast<LONG>(y);
            if (!OpsSelected(xd, yd) || !imgsrc2.SelectionIsInside(xs, ys)) continue;
            const RGBQUAD a = GetPixelColor(xd, yd, true);
            const RGBQUAD b = imgsrc2.GetPixelColor(xs, ys, true);
            RGBQUAD d = a;
            switch (op) {
                case OpAdd:
                    d = PerChannel(a, b, editAlpha, [](int p, int q) { return std::min(255, p + q); });
                    break;
                case OpAnd:
                    d = PerChannel(a, b, editAlpha, [](int p, int q) { return p & q; });
                    break;
                case OpXor:
                    d = PerChannel(a, b, editAlpha, [](int p, int q) { return p ^ q; });
                    break;
                case OpOr:
                    d = PerChannel(a, b, editAlpha, [](int p, int q) { return p | q; });
                    break;
                case OpSub:
                    d = PerChannel(a, b, editAlpha, [](int p, int q) { return std::max(0, p - q); });
                    break;
                case OpMask:
                    d = (b.rgbRed == 0 && b.rgbGreen == 0 && b.rgbBlue == 0) ? bg : a;
                    break;
                case OpSrcCopy:
                    d = px_ops::SameQuad(a, bg) ? b : a;
                    break;
                case OpDstCopy:
                    d = px_ops::SameQuad(b, bg) ? a : b;
                    break;
                case OpSrcBlend:
                    if (px_ops::SameQuad(a, bg)) {
                        d = b;
                    } else {
                        const int D = (std::abs(a.rgbRed - bg.rgbRed) + std::abs(a.rgbGreen - bg.rgbGreen) +
                                       std::abs(a.rgbBlue - bg.rgbBlue)) /
                                      3;
                        if (D < 17) {
                            const double large = D / 16.0;
                            const double small = (16 - D) / 16.0 * b.rgbBlue;
                            d.rgbRed = px_ops::ClampToByte(large * a.rgbRed + small);
                            d.rgbGreen = px_ops::ClampToByte(large * a.rgbGreen + small);
                            d.rgbBlue = px_ops::ClampToByte(large * a.rgbBlue + small);
                            d.rgbReserved = a.rgbReserved;  // the blend leaves opacity as it was
                        }
                    }
                    break;
                case OpScreen: {
                    int s;
                    if (imgsrc2.IsTransparent(xs, ys))
                        s = 0;
                    else if (srcAlpha)
                        s = (imgsrc2.AlphaGet(xs, ys) * (alphaMax + 1)) >> 8;
                    else
                        s = 255;
                    if (s == 0) {
                        d = a;
                    } else if (s == 255) {
                        d = b;
                    } else {
                        d.rgbRed = static_cast<BYTE>((b.rgbRed * s + a.rgbRed * (255 - s)) >> 8);
                        d.rgbGreen = static_cast<BYTE>((b.rgbGreen * s + a.rgbGreen * (255 - s)) >> 8);
                        d.rgbBlue = static_cast<BYTE>((b.rgbBlue * s + a.rgbBlue * (255 - s)) >> 8);
                    }
                    if (editAlpha) d.rgbReserved = static_cast<BYTE>((s * (a.rgbReserved + 1)) >> 8);
                    break;
                }
            }
            SetPixelColor(xd, yd, d, editAlpha);
        }
        return true;
    };
    // Rows go to worker threads when each pixel is written on its own: a 24-bit image (an
    // indexed one searches its palette through a shared cache) mixed with another image (an
    // image mixed with itself may read pixels that earlier rows have already changed).
    if (head.biBitCount == 24 && &imgsrc2 != this) {
        px_ops::ParallelItems(H > 0 ? H : 0, row);
    } else {
        for (int64_t y = 0; y < H; y++)
            if (!row(y)) break;
    }
}

void PxImage::MixFrom(PxImage& imagesrc2, LONG lXOffset, LONG lYOffset) {
    if (!pDib || !imagesrc2.IsValid()) return;
    const RGBQUAD bg2 = imagesrc2.GetTransColor();
    const LONG w2 = static_cast<LONG>(imagesrc2.GetWidth()), h2 = static_cast<LONG>(imagesrc2.GetHeight());
    for (LONG x = 0; x < w2; x++) {
        const int64_t xd = int64_t{x} + lXOffset;
        if (xd < 0 || xd >= head.biWidth) continue;  // every write of this column would be ignored
        for (LONG y = 0; y < h2; y++) {
            const int64_t yd = int64_t{y} + lYOffset;
            if (yd < 0 || yd >= head.biHeight) continue;
            const RGBQUAD c = imagesrc2.GetPixelColor(x, y, true);
            if (!px_ops::SameQuad(c, bg2)) SetPixelColor(static_cast<LONG>(xd), static_cast<LONG>(yd), c, false);
        }
    }
}
