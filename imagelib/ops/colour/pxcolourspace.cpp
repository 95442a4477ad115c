// Colour-space conversions (HSL, YUV, YIQ, XYZ) and the channel splits into grey images.
// A converted colour rides in an RGBQUAD: first component in red, second in green, third in
// blue, reserved 0. Arithmetic is single precision and truncates, as the stored images expect.
#include <cmath>
#include <memory>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/pximage.h"

using px_ops::MakeQuad;
using px_ops::TruncFloat;

RGBQUAD PxImage::RGBtoHSL(RGBQUAD lRGBColor) {
    const int R = lRGBColor.rgbRed, G = lRGBColor.rgbGreen, B = lRGBColor.rgbBlue;
    const int cMax = std::max(std::max(R, G), B);
    const int cMin = std::min(std::min(R, G), B);
    int H, S;
    const int L = ((cMax + cMin) * 255 + 255) / 510;
    if (cMax == cMin) {
        S = 0;
        H = 170;
    } else {
        const int sum = cMax + cMin;
        const int d = cMax - cMin;
        if (L <= 127)
            S = (d * 255 + sum / 2) / sum;
        else
            S = (d * 255 + (510 - sum) / 2) / (510 - sum);
        const int Rd = ((cMax - R) * 42 + d / 2) / d;
        const int Gd = ((cMax - G) * 42 + d / 2) / d;
        const int Bd = ((cMax - B) * 42 + d / 2) / d;
        if (R == cMax)
            H = Bd - Gd;
        else if (G == cMax)
            H = 85 + Rd - Bd;
        else
            H = 170 + Gd - Rd;
        H &= 0xFF;  // modulo 256, negatives wrap
    }
    return MakeQuad(static_cast<BYTE>(H), static_cast<BYTE>(std::min(S, 255)), static_cast<BYTE>(L));
}

float PxImage::HueToRGB(float n1, float n2, float hue) {
    if (hue > 360)
        hue -= 360;
    else if (hue < 0)
        hue += 360;
    if (hue < 60) return n1 + (n2 - n1) * hue * 0.016666668f;
    if (hue < 180) return n2;
    if (hue < 240) return n1 + (n2 - n1) * (240 - hue) * 0.016666668f;
    return n1;
}

RGBQUAD PxImage::HSLtoRGB(RGBQUAD lHSLColor) {
    const float h = lHSLColor.rgbRed * 1.4117647f;
    const float s = lHSLColor.rgbGreen * 0.003921569f;
    const float l = lHSLColor.rgbBlue * 0.003921569f;
    const float m2 = (l <= 0.5f) ? l * (1 + s) : l + s - l * s;
    const float m1 = 2 * l - m2;
    if (s == 0) {
        const BYTE v = TruncFloat(255 * l);
        return MakeQuad(v, v, v);
    }
    return MakeQuad(TruncFloat(255 * HueToRGB(m1, m2, h + 120)), TruncFloat(255 * HueToRGB(m1, m2, h)),
                    TruncFloat(255 * HueToRGB(m1, m2, h - 120)));
}

RGBQUAD PxImage::HSLtoRGB(COLORREF cHSLColor) {
    return HSLtoRGB(MakeQuad(GetRValue(cHSLColor), GetGValue(cHSLColor), GetBValue(cHSLColor)));
}

RGBQUAD PxImage::RGBtoYUV(RGBQUAD lRGBColor) { return px_ops::RgbToYuv(lRGBColor); }

RGBQUAD PxImage::YUVtoRGB(RGBQUAD lYUVColor) { return px_ops::YuvToRgb(lYUVColor); }

RGBQUAD PxImage::RGBtoYIQ(RGBQUAD lRGBColor) {
    const int R = lRGBColor.rgbRed, G = lRGBColor.rgbGreen, B = lRGBColor.rgbBlue;
    return MakeQuad(TruncFloat(0.2992f * R + 0.5868f * G + 0.1140f * B),
                    TruncFloat(0.5960f * R - 0.2742f * G - 0.3219f * B + 128),
                    TruncFloat(0.2109f * R - 0.5229f * G + 0.3120f * B + 128));
}

RGBQUAD PxImage::YIQtoRGB(RGBQUAD lYIQColor) {
    const int Y = lYIQColor.rgbRed;
    const int I = lYIQColor.rgbGreen - 128;
    const int Q = lYIQColor.rgbBlue - 128;
    return MakeQuad(TruncFloat(Y + 0.956f * I + 0.621f * Q), TruncFloat(Y - 0.273f * I - 0.647f * Q),
                    TruncFloat(Y - 1.104f * I + 1.701f * Q));
}

RGBQUAD PxImage::RGBtoXYZ(RGBQUAD lRGBColor) {
    const int R = lRGBColor.rgbRed, G = lRGBColor.rgbGreen, B = lRGBColor.rgbBlue;
    return MakeQuad(TruncFloat(0.412453f * R + 0.357580f * G + 0.180423f * B),
                    TruncFloat(0.212671f * R + 0.715160f * G + 0.072169f * B),
                    TruncFloat((0.019334f * R + 0.119193f * G + 0.950227f * B) * 0.9184837f));
}

RGBQUAD PxImage::XYZtoRGB(RGBQUAD lXYZColor) {
    const int X = lXYZColor.rgbRed, Y = lXYZColor.rgbGreen, Z = lXYZColor.rgbBlue;
    const double k = 1.088751;
    // The first two terms are single precision; the Z term brings in the double k.
    const double R = (3.240479f * X - 1.537150f * Y) - 0.498535f * Z * k;
    const double G = (-0.969256f * X + 1.875992f * Y) + 0.041556f * Z * k;
    const double B = (0.055648f * X - 0.204043f * Y) + 1.057311f * Z * k;
    return MakeQuad(px_ops::ClampToByte(R), px_ops::ClampToByte(G), px_ops::ClampToByte(B));
}

namespace {

using Converter = RGBQUAD (*)(RGBQUAD);

RGBQUAD NoConversion(RGBQUAD c) { return c; }

// Every channel image is made, whichever were asked for, then the requested ones are moved out.
bool SplitInto(PxImage& src, Converter convert, PxImage* const* outs, int nout, bool cmyk) {
    const DWORD w = src.GetWidth(), h = src.GetHeight();
    std::unique_ptr<PxImage> ch[4];
    for (int i = 0; i < nout; i++) {
        ch[i] = std::make_unique<PxImage>(w, h, 8, 0);
        if (!ch[i]->IsValid()) return false;
    }
    // Rows are independent: they go to worker threads.
    px_ops::ParallelItems(h, [&](int64_t yy) {
        const DWORD y = static_cast<DWORD>(yy);
        BYTE* rows[4];
        for (int i = 0; i < nout; i++) rows[i] = ch[i]->GetBits(y);
        for (DWORD x = 0; x < w; x++) {
            const RGBQUAD c = src.GetPixelColor(static_cast<LONG>(x), static_cast<LONG>(y));
            if (cmyk) {
                rows[0][x] = static_cast<BYTE>(255 - c.rgbRed);
                rows[1][x] = static_cast<BYTE>(255 - c.rgbGreen);
                rows[2][x] = static_cast<BYTE>(255 - c.rgbBlue);
                rows[3][x] = px_ops::Gray(c);
            } else {
                const RGBQUAD t = convert(c);
                rows[0][x] = t.rgbRed;
                rows[1][x] = t.rgbGreen;
                rows[2][x] = t.rgbBlue;
            }
        }
        return true;
    });
    for (int i = 0; i < nout; i++) {
        if (!outs[i]) continue;
        ch[i]->SetGrayPalette();
        outs[i]->Transfer(*ch[i]);
    }
    return true;
}

}  // namespace

bool PxImage::SplitRGB(PxImage* r, PxImage* g, PxImage* b) {
    if (!pDib || (!r && !g && !b)) return false;
    PxImage* outs[3] = {r, g, b};
    return SplitInto(*this, NoConversion, outs, 3, false);
}

bool PxImage::SplitYUV(PxImage* y, PxImage* u, PxImage* v) {
    if (!pDib || (!y && !u && !v)) return false;
    PxImage* outs[3] = {y, u, v};
    return SplitInto(*this, RGBtoYUV, outs, 3, false);
}

bool PxImage::SplitYIQ(PxImage* y, PxImage* i, PxImage* q) {
    if (!pDib || (!y && !i && !q)) return false;
    PxImage* outs[3] = {y, i, q};
    return SplitInto(*this, RGBtoYIQ, outs, 3, false);
}

bool PxImage::SplitXYZ(PxImage* x, PxImage* y, PxImage* z) {
    if (!pDib || (!x && !y && !z)) return false;
    PxImage* outs[3] = {x, y, z};
    return SplitInto(*this, RGBtoXYZ, outs, 3, false);
}

bool PxImage::SplitHSL(PxImage* h, PxImage* s, PxImage* l) {
    if (!pDib || (!h && !s && !l)) return false;
    PxImage* outs[3] = {h, s, l};
    return SplitInto(*this, RGBtoHSL, outs, 3, false);
}

bool PxImage::SplitCMYK(PxImage* c, PxImage* m, PxImage* y, PxImage* k) {
    if (!pDib || (!c && !m && !y && !k)) return false;
    PxImage* outs[4] = {c, m, y, k};
    return SplitInto(*this, nullptr, outs, 4, true);
}
