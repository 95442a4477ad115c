// Drawing an image into a BGRA surface: plain, stretched, tiled and composited over what the
// surface already holds (transparent index, alpha plane, alpha palette). Only the part of the
// target that the clip rectangle lets through is touched, so a zoomed view costs its window
// size, not the image's.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "imagelib/pxfontmatch.h"
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
    LONG w = 0, h = 0;    // image size
    int64_t X = 0, Y = 0;  // target position in device pixels
    LONG cx = 0, cy = 0;  // target size
    bool scaled = false;
    double fx = 1, fy = 1;
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

enum Prepared { kNothingToDraw, kNothingVisible, kDraw };

// Resolves a target size (negative: the image's own), the visible device rectangle and the
// pixel mapping shared by the drawing calls.
Prepared PrepareTarget(const PxSurface& s, LONG x, LONG y, LONG cx, LONG cy, LONG w, LONG h, const RECT* clip,
                       DeviceRect& v, Sampler& sm) {
    if (cx < 0) cx = w;
    if (cy < 0) cy = h;
    if (cx == 0 || cy == 0) return kNothingToDraw;
    if (!VisibleRect(s, x, y, cx, cy, clip, v)) return kNothingVisible;
    sm = Sampler{w, h, static_cast<int64_t>(x) - s.origin.x, static_cast<int64_t>(y) - s.origin.y, cx, cy,
                 cx != w || cy != h, static_cast<double>(w) / cx, static_cast<double>(h) / cy};
    return kDraw;
}

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
    const LONG w = head.biWidth;
    DeviceRect v;
    Sampler sm;
    const Prepared prep = PrepareTarget(*hdc, x, y, cx, cy, w, head.biHeight, pClipRect, v, sm);
    if (prep != kDraw) return prep == kNothingVisible ? 1 : 0;
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
    DeviceRect v;
    Sampler sm;
    const Prepared prep = PrepareTarget(*hdc, xoffset, yoffset, xsize, ysize, head.biWidth, head.biHeight, nullptr, v, sm);
    if (prep != kDraw) return prep == kNothingVisible ? 1 : 0;
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
    if (info.nBkgndIndex < 0) return Stretch(hdc, x, y, cx, cy, SRCCOPY);
    DeviceRect v;
    Sampler sm;
    const Prepared prep = PrepareTarget(*hdc, x, y, cx, cy, head.biWidth, head.biHeight, nullptr, v, sm);
    if (prep != kDraw) return prep == kNothingVisible ? 1 : 0;
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
    const int64_t w = head.biWidth, h = head.biHeight;
    if (w <= 0 || h <= 0) return 1;
    // Only tiles that meet the surface's clip box can show anything; the rest are skipped, so a
    // huge rectangle costs the surface's size. Positions are worked out in 64 bits.
    const RECT box = PxSurfaceClipBox(*hdc);
    const int64_t visL = std::max<int64_t>(rc->left, static_cast<int64_t>(box.left) + hdc->origin.x);
    const int64_t visT = std::max<int64_t>(rc->top, static_cast<int64_t>(box.top) + hdc->origin.y);
    const int64_t visR = std::min<int64_t>(rc->right, static_cast<int64_t>(box.right) + hdc->origin.x);
    const int64_t visB = std::min<int64_t>(rc->bottom, static_cast<int64_t>(box.bottom) + hdc->origin.y);
    if (visL >= visR || visT >= visB) return 1;
    for (int64_t j = (visT - rc->top) / h * h; rc->top + j < visB; j += h) {
        for (int64_t i = (visL - rc->left) / w * w; rc->left + i < visR; i += w) {
            const int64_t x = rc->left + i, y = rc->top + j;
            RECT tile{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(std::min<int64_t>(x + w, rc->right)),
                      static_cast<LONG>(std::min<int64_t>(y + h, rc->bottom))};
            Draw(hdc, static_cast<LONG>(x), static_cast<LONG>(y), -1, -1, &tile, false);
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

// ---- text into the image's pixels ----
// Glyphs come from FreeType with the face fontconfig picks for the record's name, weight and
// slant; they are rendered one bit deep, as the text tool's non-antialiased quality asks, into
// a mask whose set pixels take the text colour.

namespace {

// The text box's mask. Only the window of it that can land on the image is stored: a box of
// thousands of lines at a large size never lands whole, and storing it whole would take
// gigabytes.
struct TextMask {
    int w = 0, h = 0;             // the whole box
    int wx = 0, wy = 0;           // the stored window's top-left corner in the box
    int ww = 0, wh = 0;           // and its size
    std::vector<BYTE> ink;        // window only, top row first, 1 where the text is
    // Keeps the part of [l, r) x [t, b) that lies in the box.
    void SetWindow(int64_t l, int64_t t, int64_t r, int64_t b) {
        l = std::clamp<int64_t>(l, 0, w), r = std::clamp<int64_t>(r, l, w);
        t = std::clamp<int64_t>(t, 0, h), b = std::clamp<int64_t>(b, t, h);
        wx = static_cast<int>(l), wy = static_cast<int>(t), ww = static_cast<int>(r - l), wh = static_cast<int>(b - t);
        ink.assign(static_cast<size_t>(ww) * static_cast<size_t>(wh), 0);
    }
    bool inside(int x, int y) const { return x >= wx && y >= wy && x - wx < ww && y - wy < wh; }
    bool at(int x, int y) const { return inside(x, y) && ink[static_cast<size_t>(y - wy) * ww + (x - wx)]; }
    void set(int x, int y) {
        if (inside(x, y)) ink[static_cast<size_t>(y - wy) * ww + (x - wx)] = 1;
    }
};

std::u32string DecodeUtf8(const char* s, size_t maxLen) {
    std::u32string out;
    size_t i = 0;
    while (i < maxLen && s[i]) {
        const BYTE c = static_cast<BYTE>(s[i]);
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0) {
            out += U'\uFFFD';
            i++;
            continue;
        }
        char32_t cp = n == 0 ? c : (c & (0x3F >> n));
        size_t k = 1;
        for (; k <= static_cast<size_t>(n); k++) {
            if (i + k >= maxLen || (static_cast<BYTE>(s[i + k]) & 0xC0) != 0x80) break;
            cp = (cp << 6) | (static_cast<BYTE>(s[i + k]) & 0x3F);
        }
        if (k <= static_cast<size_t>(n)) {
            out += U'\uFFFD';
            i += k;
            continue;
        }
        out += cp;
        i += k;
    }
    return out;
}

class TextRenderer {
public:
    TextRenderer(const char* family, LONG height, LONG weight, bool italic, bool underline) : m_underline(underline) {
        if (FT_Init_FreeType(&m_lib)) return;
        const std::string file = PxFontMatch::FindFile(family, weight, italic);
        if (file.empty() || FT_New_Face(m_lib, file.c_str(), 0, &m_face)) {
            m_face = nullptr;
            return;
        }
        // Negative heights are character heights, positive ones cell heights.
        int64_t px = height == 0 ? 12 : height < 0 ? -static_cast<int64_t>(height) : height;
        px = std::clamp<int64_t>(px, 1, 2000);
        if (height > 0 && m_face->height > 0)
            px = std::max<int64_t>(1, px * m_face->units_per_EM / m_face->height);
        FT_Set_Pixel_Sizes(m_face, 0, static_cast<FT_UInt>(px));
        m_lineHeight = std::max<int>(1, static_cast<int>((m_face->size->metrics.height + 63) >> 6));
        m_ascender = static_cast<int>(m_face->size->metrics.ascender >> 6);
    }
    ~TextRenderer() {
        if (m_face) FT_Done_Face(m_face);
        if (m_lib) FT_Done_FreeType(m_lib);
    }
    bool ok() const { return m_face != nullptr; }
    int lineHeight() const { return m_lineHeight; }

    // Splits into lines (CR LF or LF) and measures them.
    void Layout(const char* text, size_t maxLen) {
        m_lines.assign(1, std::u32string());
        for (char32_t c : DecodeUtf8(text, maxLen)) {
            if (c == U'\r') continue;
            if (c == U'\n')
                m_lines.emplace_back();
            else
                m_lines.back() += c;
        }
        m_widths.clear();
        for (const auto& line : m_lines) {
            int w = 0;
            for (char32_t c : line)
                if (!FT_Load_Char(m_face, c, FT_LOAD_DEFAULT)) w += static_cast<int>(m_face->glyph->advance.x >> 6);
            m_widths.push_back(w);
        }
    }
    int Width() const { return m_widths.empty() ? 0 : *std::max_element(m_widths.begin(), m_widths.end()); }
    int Height() const { return static_cast<int>(m_lines.size()) * m_lineHeight; }
    int Lines() const { return static_cast<int>(m_lines.size()); }

    // Draws the laid-out lines into mask rectangle (0, 0, w, h) with the alignment.
    void Render(TextMask& mask, int w, int align) {
        for (size_t li = 0; li < m_lines.size(); li++) {
            const int lw = m_widths[li];
            int pen = align == 1 ? (w - lw) / 2 : align == 2 ? w - lw : 0;
            const int x0 = pen;
            const int baseline = static_cast<int>(li) * m_lineHeight + m_ascender;
            // Lines and glyphs that cannot reach the mask's stored window are only advanced
            // over, not rendered; margins of line heights cover glyphs that leave their cell.
            const int64_t top = static_cast<int64_t>(li) * m_lineHeight;
            if (top + 2 * m_lineHeight <= mask.wy || top - m_lineHeight >= static_cast<int64_t>(mask.wy) + mask.wh) continue;
            for (char32_t c : m_lines[li]) {
                if (pen + 2 * m_lineHeight < mask.wx || pen - 2 * m_lineHeight > mask.wx + mask.ww) {
                    if (!FT_Load_Char(m_face, c, FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME))
                        pen += static_cast<int>(m_face->glyph->advance.x >> 6);
                    continue;
                }
                if (FT_Load_Char(m_face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME)) continue;
                const FT_GlyphSlot g = m_face->glyph;
                const FT_Bitmap& bm = g->bitmap;
                for (unsigned r = 0; r < bm.rows; r++) {
                    const BYTE* row = bm.buffer + static_cast<int64_t>(r) * bm.pitch;
                    for (unsigned col = 0; col < bm.width; col++) {
                        const bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[col >> 3] >> (7 - (col & 7))) & 1
                                                                             : row[col] >= 128;
                        if (!on) continue;
                        const int mx = pen + g->bitmap_left + static_cast<int>(col);
                        const int my = baseline - g->bitmap_top + static_cast<int>(r);
                        mask.set(mx, my);
                    }
                }
                pen += static_cast<int>(g->advance.x >> 6);
            }
            if (m_underline) {
                const int uy = baseline + 1;
                if (mask.inside(mask.wx, uy))
                    for (int x = std::max(mask.wx, x0); x < std::min(mask.wx + mask.ww, x0 + lw); x++) mask.set(x, uy);
            }
        }
    }

private:
    FT_Library m_lib = nullptr;
    FT_Face m_face = nullptr;
    bool m_underline;
    int m_lineHeight = 1;
    int m_ascender = 0;
    std::vector<std::u32string> m_lines;
    std::vector<int> m_widths;
};

}  // namespace

// Sets one text pixel given in 64-bit coordinates; those outside the image are dropped.
static void PutTextPixel(PxImage& img, int64_t x, int64_t y, RGBQUAD c, bool setAlpha) {
    if (x < 0 || y < 0 || x >= img.GetWidth() || y >= img.GetHeight()) return;
    img.SetPixelColor(static_cast<LONG>(x), static_cast<LONG>(y), c, setAlpha);
}

long PxImage::DrawString(PxSurface* /*hdc*/, LONG x, LONG y, const char* text, RGBQUAD color, const char* font,
                         LONG lSize, LONG lWeight, BYTE bItalic, BYTE bUnderline, bool bSetAlpha) {
    if (!pDib || !text) return 1;
    TextRenderer r(font, lSize, lWeight, bItalic != 0, bUnderline != 0);
    if (!r.ok()) return 1;
    r.Layout(text, 4096);
    const int w = r.Width(), h = r.Height();
    TextMask m;
    m.w = w + h;
    m.h = h;
    const int64_t base = static_cast<int64_t>(head.biHeight) - 1 - y;
    // Box (i, t) lands on image (x + i, base + h - 1 - t).
    m.SetWindow(-static_cast<int64_t>(x), base + m.h - head.biHeight, static_cast<int64_t>(head.biWidth) - x,
                base + m.h);
    r.Render(m, w, 0);
    for (int t = m.wy; t < m.wy + m.wh; t++)
        for (int i = m.wx; i < m.wx + m.ww; i++)
            if (m.at(i, t)) PutTextPixel(*this, static_cast<int64_t>(x) + i, base + (m.h - 1 - t), color, bSetAlpha);
    return 1;
}

void PxImage::InitTextInfo(tagPxTextInfo* txt) {
    if (!txt) return;
    memset(txt, 0, sizeof(*txt));
    // The two accented letters of the sample, in UTF-8.
    strcpy(txt->text, "Sample Text 01234\xC5\x91\xC5\xB1");
    txt->lfont.lfHeight = -36;
    txt->lfont.lfWeight = 400;
    txt->lfont.lfCharSet = 238;
    txt->lfont.lfQuality = 2;
    strcpy(txt->lfont.lfFaceName, "Arial");
    txt->fcolor = RGB(255, 255, 160);
    txt->align = 1;
    txt->opaque = 1;
    txt->bcolor = RGB(32, 96, 0);
    txt->b_opacity = 0.0f;
    txt->b_outline = 0;
    txt->r_radius = 20;
}

long PxImage::DrawStringEx(PxSurface* /*hdc*/, LONG x, LONG y, tagPxTextInfo* t, bool bSetAlpha) {
    if (!pDib) return -1;
    if (!t) return 1;
    // Repair the record in place.
    if (t->align < 0 || t->align > 2) t->align = 1;
    if (t->r_radius > 50) t->r_radius = 10;
    if (t->b_opacity > 1.0f || !(t->b_opacity >= 0.0f)) t->b_opacity = 0.0f;
    t->lfont.lfFaceName[sizeof(t->lfont.lfFaceName) - 1] = 0;
    t->text[sizeof(t->text) - 1] = 0;

    TextRenderer r(t->lfont.lfFaceName, t->lfont.lfHeight, t->lfont.lfWeight, t->lfont.lfItalic != 0,
                   t->lfont.lfUnderline != 0);
    if (!r.ok()) return 1;
    r.Layout(t->text, sizeof(t->text));
    const int lines = r.Lines();
    int w = r.Width(), h = r.Height();
    const int lineH = h / lines;
    if (t->lfont.lfItalic) w += h / 2 / lines;
    int rad = 0, b = 0;
    if (t->opaque) {
        rad = lineH * t->r_radius / 100;
        b = static_cast<int>(rad * 0.29289);
        w += lineH / 3;
    }
    TextMask m;
    m.w = w + 2 * b;
    m.h = h + 2 * b;

    // Positions in 64 bits: the caller's point may lie anywhere in the coordinate range.
    int64_t x0 = x;
    if (t->align == 1) x0 -= m.w / 2;
    if (t->align == 2) x0 -= m.w;
    if (x0 < 0) x0 = 0;
    const int64_t base = static_cast<int64_t>(head.biHeight) - 1 - y;  // image row of mask row 0 (the bottom one)
    // Box (i, tr) lands on image (x0 + b + i, base + h - 1 - tr - b).
    m.SetWindow(-x0 - b, base + m.h - b - head.biHeight, static_cast<int64_t>(head.biWidth) - x0 - b, base + m.h - b);
    r.Render(m, w, static_cast<int>(t->align));
    const RGBQUAD fc = RGBtoRGBQUAD(t->fcolor), bc = RGBtoRGBQUAD(t->bcolor);

    if (t->opaque) {
        const int n = m.w, H = m.h;
        const float op = t->b_opacity;
        // Only the columns and rows of the box that land on the image.
        const int iFrom = static_cast<int>(std::clamp<int64_t>(-x0, 0, n));
        const int iTo = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(head.biWidth) - x0, iFrom, n));
        const int jFrom = static_cast<int>(std::clamp<int64_t>(-base, 0, H));
        const int jTo = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(head.biHeight) - base, jFrom, H));
        for (int i = iFrom; i < iTo; i++) {
            int v = 0;
            // Corners are rounded: columns within the radius of either side lose rows. A
            // distance of -1 is a real column (the one next to the circle's centre).
            int d = 0;
            bool corner = true;
            if (i < rad) d = i - rad;
            else if (i > n - rad - 1) d = n - i - rad - 1;
            else corner = false;
            if (corner && rad > 0) {
                const double dd = static_cast<double>(d);
                v = static_cast<int>(rad + 0.5 - std::sqrt(std::max(0.0, static_cast<double>(rad) * rad - dd * dd)));
            }
            for (int j = jFrom; j < jTo; j++) {
                if (j < v || j > H - v - 1) continue;
                const int64_t px64 = x0 + i, py64 = base + j;
                if (px64 < 0 || py64 < 0 || px64 >= head.biWidth || py64 >= head.biHeight) continue;
                const LONG px = static_cast<LONG>(px64), py = static_cast<LONG>(py64);
                RGBQUAD c = bc;
                if (op > 0.0f && op < 1.0f) {
                    const RGBQUAD e = GetPixelColor(px, py, false);
                    c.rgbRed = static_cast<BYTE>(e.rgbRed * op + bc.rgbRed * (1 - op));
                    c.rgbGreen = static_cast<BYTE>(e.rgbGreen * op + bc.rgbGreen * (1 - op));
                    c.rgbBlue = static_cast<BYTE>(e.rgbBlue * op + bc.rgbBlue * (1 - op));
                    c.rgbReserved = 0;
                }
                SetPixelColor(px, py, c, bSetAlpha);
            }
        }
    }
    for (int tr = m.wy; tr < m.wy + m.wh; tr++) {
        const int j = m.h - 1 - tr;
        for (int i = m.wx; i < m.wx + m.ww; i++)
            if (m.at(i, tr)) PutTextPixel(*this, x0 + b + i, base + j - b, fc, bSetAlpha);
    }
    return 1;
}
