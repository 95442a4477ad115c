#include "controls/shadebutton.h"

#include <algorithm>

#include "controls/syscolors.h"
#include "imagelib/pxrandom.h"

namespace {

int Rand() { return px::rand15(); }

}  // namespace

CShadeButton::CShadeButton(QWidget* parent, DWORD style) : CFlatButton(parent, style) {}

void CShadeButton::SetShade(int type, int granularity, int highlight, int colouring, COLORREF colour) {
    m_normal.Free();
    m_hover.Free();
    const int w = width(), h = height();
    const int g = granularity;
    const int L = g == 0 ? 1 : 2 * g;
    // Each of these would divide by zero below; such a button keeps the plain background.
    if (w <= 0 || h <= 0 || w > 32767 || h > 32767 || L <= 0 || 32767 / L == 0) return;
    if (type == ShadeHardBump && (w / 6 == 0 || h * h / 4 == 0)) return;
    if (!m_normal.Create(w, h, 8)) return;

    const COLORREF shadow = CSysColors::GetSysColor(COLOR_BTNSHADOW);
    const COLORREF face = CSysColors::GetSysColor(COLOR_BTNFACE);
    const COLORREF light = CSysColors::GetSysColor(COLOR_BTNHIGHLIGHT);
    auto mix = [](int a, int b, int i) { return static_cast<BYTE>((a * (128 - i) + b * i) / 128); };
    for (int i = 0; i <= 128; ++i)
        m_normal.SetPaletteIndex(i, mix(GetRValue(shadow), GetRValue(face), i), mix(GetGValue(shadow), GetGValue(face), i),
                                 mix(GetBValue(shadow), GetBValue(face), i));
    for (int j = 1; j <= 128; ++j)
        m_normal.SetPaletteIndex(127 + j, mix(GetRValue(face), GetRValue(light), j),
                                 mix(GetGValue(face), GetGValue(light), j), mix(GetBValue(face), GetBValue(light), j));
    m_normal.BlendPalette(colour, colouring);

    const int noiseDiv = 32767 / L;
    auto noise = [&] { return Rand() / noiseDiv - g; };
    const int D = 255 - 2 * g;
    const int stride = m_normal.GetStride();
    BYTE* bits = m_normal.GetBits();
    // Rows in storage order: y counts from the bottom edge.
    auto at = [&](int x, int y) -> BYTE& { return bits[static_cast<size_t>(y) * stride + x]; };
    auto cube = [](long long v) { return v * v * v / 16384; };

    switch (type) {
    case ShadeDiagonal:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                at(x, y) = static_cast<BYTE>(g + y * (D / 2) / h + (D / 2) * (w - x) / w + noise());
        break;
    case ShadeVertical:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) at(x, y) = static_cast<BYTE>(g + y * D / h + noise());
        break;
    case ShadeHorizontal:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) at(x, y) = static_cast<BYTE>(g + D * (w - x) / w + noise());
        break;
    case ShadeVBump:
        for (int y = 0; y < h; ++y) {
            const long long Y = 255LL * y / h - 127;
            for (int x = 0; x < w; ++x) at(x, y) = static_cast<BYTE>(128 + cube(Y) * (128 - g) / 128 + noise());
        }
        break;
    case ShadeHBump:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const long long X = 255LL * (w - x) / w - 127;
                at(x, y) = static_cast<BYTE>(128 + (128 - g) * cube(X) / 128 + noise());
            }
        break;
    case ShadeSoftBump:
        for (int y = 0; y < h; ++y) {
            const long long Y = 255LL * y / h - 127;
            for (int x = 0; x < w; ++x) {
                const long long X = 255LL * (w - x) / w - 127;
                long long v = (cube(Y) + cube(X)) * (128 - g) / 128 + 128;
                v = std::clamp<long long>(v, g, 255 - g);
                at(x, y) = static_cast<BYTE>(v + noise());
            }
        }
        break;
    case ShadeHardBump: {
        const int E = std::min(w / 6, 16);
        const long long quarter = static_cast<long long>(h) * h / 4;
        for (int y = 0; y < h; ++y) {
            const long long Y = 255LL * y / h - 127;
            for (int x = 0; x < w; ++x)
                at(x, y) = static_cast<BYTE>(128 + cube(Y) * ((64 - g) * 2) / 128 + noise());
            const long long dy = y - h / 2;
            const long long I = E * dy * dy / quarter + w / 2 - E;
            for (int x = 0; x < w; ++x) {
                const long long dx = x - w / 2;
                int v = at(x, y);
                if (dx > I) {
                    v = g + 128 * (w - x) / E;
                } else if (dx < -I) {
                    v = 255 - g - 128 * x / E;
                }
                at(x, y) = static_cast<BYTE>(v + noise());
            }
        }
        break;
    }
    case ShadeMetal: {
        m_normal.Clear(0);
        const int m = std::min(w, h);
        for (int k = 0; k < 200; ++k) {
            const int x0 = Rand() / (32767 / w);
            const int y0 = Rand() / (32767 / h);
            const int S = Rand() / (32767 / m);
            const BYTE value = static_cast<BYTE>(Rand() / 819);
            for (int i = 0; i < S / 2; ++i) {
                m_normal.SetPixelIndex(x0 - i, y0 + i, value);
                m_normal.SetPixelIndex(w - x0 + i, y0 - i, value);
            }
        }
        const int F = (215 - 2 * g) / 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                at(x, y) = static_cast<BYTE>(at(x, y) + y * F / h + F * (w - x) / w + Rand() / noiseDiv);
        break;
    }
    default:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) at(x, y) = static_cast<BYTE>(128 + noise());
        break;
    }
    m_hover.CopyFrom(m_normal);
    m_hover.BlendPalette(light, highlight);
    update();
}

void CShadeButton::DrawBackground(QPainter& p, const QRect& r) const {
    if (m_normal.IsEmpty()) {
        CFlatButton::DrawBackground(p, r);
        return;
    }
    if (!IsHover()) {
        m_normal.Draw(p, 0, 0);
    } else if (IsPressed()) {
        // The face moves with the push; the strip it uncovers shows the plain face colour.
        CFlatButton::DrawBackground(p, r);
        m_hover.Draw(p, 1, 1);
    } else {
        m_hover.Draw(p, 0, 0);
    }
}
