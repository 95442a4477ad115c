#include "imagelib/codecs/metafile/pxemfreader.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/le.h"

namespace {

float F32(const uint8_t* p) {
    const uint32_t u = le::get32(p);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

std::u32string Utf16(const uint8_t* s, size_t n) {
    std::u32string out;
    for (size_t i = 0; i < n; i++) {
        char32_t c = le::get16(s + 2 * i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
            const char32_t d = le::get16(s + 2 * i + 2);
            if (d >= 0xDC00 && d < 0xE000) c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00), i++;
        }
        out += c;
    }
    return out;
}

std::string Utf8(const std::u32string& s) {
    std::string o;
    for (char32_t c : s) {
        if (c == 0) break;
        if (c < 0x80) o += static_cast<char>(c);
        else if (c < 0x800) o += static_cast<char>(0xC0 | (c >> 6)), o += static_cast<char>(0x80 | (c & 0x3F));
        else if (c < 0x10000)
            o += static_cast<char>(0xE0 | (c >> 12)), o += static_cast<char>(0x80 | ((c >> 6) & 0x3F)), o += static_cast<char>(0x80 | (c & 0x3F));
    }
    return o;
}

}  // namespace

bool PxEmfReader::Play(const uint8_t* data, size_t size, PxMetaPlayer& pl, LONG width, LONG height,
                       const std::function<bool()>& cancelled, int depth) {
    if (size < 88) return true;
    // Frame (0.01 mm) through the reference device (pixels per millimetre) gives the device
    // rectangle that lands on (0, 0, width, height).
    const double fl = le::get32s(data + 24), ft = le::get32s(data + 28), fr = le::get32s(data + 32), fb = le::get32s(data + 36);
    const double devW = le::get32s(data + 72), devH = le::get32s(data + 76);
    const double mmW = le::get32s(data + 80), mmH = le::get32s(data + 84);
    const double pmx = devW > 0 && mmW > 0 ? devW / mmW : 96 / 25.4, pmy = devH > 0 && mmH > 0 ? devH / mmH : 96 / 25.4;
    pl.SetReferenceResolution(pmx, pmy);
    double l = fl * pmx / 100, t = ft * pmy / 100, w = (fr - fl) * pmx / 100, h = (fb - ft) * pmy / 100;
    if (!(w > 0) || !(h > 0)) {  // no usable frame: the bounds in device pixels
        l = le::get32s(data + 8), t = le::get32s(data + 12);
        w = static_cast<double>(le::get32s(data + 16)) - l, h = static_cast<double>(le::get32s(data + 20)) - t;
        if (!(w > 0) || !(h > 0)) w = width, h = height;
    }
    pl.SetDeviceMap(width / w, height / h, -l * width / w, -t * height / h);

    size_t pos = 0;
    for (int64_t count = 0; pos + 8 <= size; count++) {
        if (cancelled && cancelled()) return false;
        if (count >= kMaxRecords || pl.Exhausted()) break;
        pl.ChargeRecord();
        const uint32_t type = le::get32(data + pos), rs = le::get32(data + pos + 4);
        if (rs < 8 || (rs & 3) || rs > size - pos) break;  // a bad record ends play
        const uint8_t* p = data + pos;
        const size_t n = rs;
        pos += rs;
        auto I = [&](size_t off) -> int32_t { return off + 4 <= n ? le::get32s(p + off) : 0; };
        auto U = [&](size_t off) -> uint32_t { return off + 4 <= n ? le::get32(p + off) : 0; };
        auto& st = pl.st;
        // Point lists: (count at `at`, points after it) of 32- or 16-bit pairs.
        auto points = [&](size_t at, size_t cnt, bool small, std::vector<PxMetaPoint>& out) {
            const size_t each = small ? 4 : 8;
            if (cnt > PxMetaPlayer::kMaxPoints || at + cnt * each > n) return false;
            for (size_t i = 0; i < cnt; i++) {
                const uint8_t* q = p + at + i * each;
                out.push_back(small ? PxMetaPoint{static_cast<double>(le::get16s(q)), static_cast<double>(le::get16s(q + 2))}
                                    : PxMetaPoint{static_cast<double>(le::get32s(q)), static_cast<double>(le::get32s(q + 4))});
            }
            return true;
        };
        switch (type) {
        case 14: return true;  // EOF
        case 2: case 3: case 4: case 5: case 6: case 85: case 86: case 87: case 88: case 89: {
            const bool small = type >= 85;
            const uint32_t k = small ? type - 83 : type;
            std::vector<PxMetaPoint> pts;
            if (!points(28, U(24), small, pts)) break;
            if (k == 2) pl.Bezier(pts, false);
            else if (k == 3) pl.Polygons({pts});
            else if (k == 4) pl.Polyline(pts, false);
            else if (k == 5) pl.Bezier(pts, true);
            else pl.Polyline(pts, true);
            break;
        }
        case 7: case 8: case 90: case 91: {
            const bool small = type >= 90;
            const uint32_t np = U(24), total = U(28);
            if (np > PxMetaPlayer::kMaxPoints || 32 + size_t{np} * 4 > n) break;
            size_t at = 32 + size_t{np} * 4, sum = 0;
            std::vector<std::vector<PxMetaPoint>> polys;
            for (uint32_t i = 0; i < np; i++) {
                const size_t c = U(32 + i * 4);
                sum += c;
                if (sum > total) break;
                std::vector<PxMetaPoint> pts;
                if (!points(at, c, small, pts)) break;
                at += c * (small ? 4 : 8);
                polys.push_back(std::move(pts));
            }
            if (type == 7 || type == 90) pl.Polylines(polys);
            else pl.Polygons(polys);
            break;
        }
        case 9: st.winExtX = I(8), st.winExtY = I(12); break;
        case 10: st.winOrgX = I(8), st.winOrgY = I(12); break;
        case 11: st.vpExtX = I(8), st.vpExtY = I(12); break;
        case 12: st.vpOrgX = I(8), st.vpOrgY = I(12); break;
        case 15: pl.SetPixel(I(8), I(12), U(16)); break;
        case 17: pl.SetMapMode(I(8)); break;
        case 18: st.bkMode = I(8); break;
        case 19: st.fillMode = I(8); break;
        case 20: st.rop2 = I(8) >= 1 && I(8) <= 16 ? I(8) : 13; break;
        case 22: st.textAlign = U(8); break;
        case 24: st.textColor = U(8); break;
        case 25: st.bkColor = U(8); break;
        case 27: pl.MoveTo(I(8), I(12)); break;
        case 29: pl.ExcludeClipRect(I(8), I(12), I(16), I(20)); break;
        case 30: pl.IntersectClipRect(I(8), I(12), I(16), I(20)); break;
        case 31:  // ScaleViewportExtEx: xNum, xDenom, yNum, yDenom
        case 32:
            if (I(12) != 0 && I(20) != 0) {
                double& ex = type == 31 ? st.vpExtX : st.winExtX;
                double& ey = type == 31 ? st.vpExtY : st.winExtY;
                ex = ex * I(8) / I(12), ey = ey * I(16) / I(20);
            }
            break;
        case 33: pl.SaveDC(); break;
        case 34: pl.RestoreDC(I(8)); break;
        case 35:
        case 36: {
            if (n < 32) break;
            double x[6];
            for (int i = 0; i < 6; i++) x[i] = F32(p + 8 + 4 * i);
            pl.ModifyWorld(x, type == 35 ? 4 : static_cast<int>(U(32)));
            break;
        }
        case 37: {
            const uint32_t ix = U(8);
            if (ix & 0x80000000u) pl.SelectStockObject(ix & 0x7FFFFFFFu);
            else pl.SelectObject(ix);
            break;
        }
        case 38: {  // CreatePen: index, style, width (x, y), colour
            PxMetaPlayer::Object o;
            o.kind = PxMetaPlayer::kPen;
            o.pen.style = static_cast<int>(U(12) & 0x0F);
            o.pen.width = I(16);
            o.pen.color = U(24);
            pl.PutObject(U(8), o);
            break;
        }
        case 95: {  // ExtCreatePen: index, offBmi, cbBmi, offBits, cbBits, style, width, brush style, colour
            PxMetaPlayer::Object o;
            o.kind = PxMetaPlayer::kPen;
            const uint32_t style = U(28);
            o.pen.style = static_cast<int>(style & 0x0F);
            o.pen.cosmetic = (style & 0x000F0000u) == 0;
            o.pen.width = U(32);
            o.pen.color = U(40);
            if (U(36) == 1) o.pen.style = 5;  // BS_NULL brush: no line
            pl.PutObject(U(8), o);
            break;
        }
        case 39: {
            PxMetaPlayer::Object o;
            o.kind = PxMetaPlayer::kBrush;
            const uint32_t s = U(12);
            o.brush.style = s <= 2 ? static_cast<int>(s) : 1;
            o.brush.color = U(16);
            o.brush.hatch = static_cast<int>(U(20));
            pl.PutObject(U(8), o);
            break;
        }
        case 93: case 94: case 49: {  // mono and DIB pattern brushes, palettes: slots without drawing
            PxMetaPlayer::Object o;
            o.kind = type == 49 ? PxMetaPlayer::kOther : PxMetaPlayer::kBrush;
            o.brush.style = 1;
            pl.PutObject(U(8), o);
            break;
        }
        case 82: {  // ExtCreateFontIndirectW: index, LOGFONTW
            if (n < 12 + 92) break;
            PxMetaPlayer::Object o;
            o.kind = PxMetaPlayer::kFont;
            o.font.height = I(12), o.font.width = I(16), o.font.escapement = I(20), o.font.weight = I(28);
            o.font.italic = p[32] != 0, o.font.underline = p[33] != 0, o.font.strikeout = p[34] != 0, o.font.charset = p[35];
            o.font.face = Utf8(Utf16(p + 40, 32));
            pl.PutObject(U(8), o);
            break;
        }
        case 40: pl.DeleteObject(U(8)); break;
        case 42: pl.Ellipse(I(8), I(12), I(16), I(20)); break;
        case 43: pl.Rectangle(I(8), I(12), I(16), I(20)); break;
        case 44: pl.RoundRect(I(8), I(12), I(16), I(20), I(24), I(28)); break;
        case 45: case 46: case 47: case 55:
            pl.Arc(I(8), I(12), I(16), I(20), I(24), I(28), I(32), I(36), type == 45 ? 0 : type == 46 ? 1 : type == 47 ? 2 : 3);
            break;
        case 54: pl.LineTo(I(8), I(12)); break;
        case 57: st.arcClockwise = I(8) == 2; break;
        case 59: pl.BeginPath(); break;
        case 60: pl.EndPath(); break;
        case 61: pl.CloseFigure(); break;
        case 62: pl.FillPath(false, true); break;
        case 63: pl.FillPath(true, true); break;
        case 64: pl.FillPath(true, false); break;
        case 67: pl.SelectClipPath(I(8)); break;
        case 68: pl.AbortPath(); break;
        case 70: {  // GdiComment: an embedded enhanced metafile is played once, one level deep
            const uint32_t cb = U(8);
            if (depth > 0 || cb < 20 || 12 + size_t{cb} > n || U(12) != 0x43494447u || U(16) != 0x40000004u) break;
            // Multiformats: bounds (16), count, then (signature, version, size, offset) entries.
            const uint32_t count = U(36);
            for (uint32_t i = 0; i < count && i < 16; i++) {
                const size_t e = 40 + size_t{i} * 16;
                if (e + 16 > n) break;
                const uint32_t sig = U(e), sz = U(e + 8), off = U(e + 12);
                // Offsets count from the comment's identifier.
                if (sig != 0x464D4520u || size_t{off} + sz + 12 > n || sz < 88) continue;
                PxMetaState saved = pl.st;
                pl.SaveDC();
                pl.SetDeviceMap(1, 1, 0, 0);  // the inner one keeps our mapping as its reference
                if (!Play(p + 12 + off, sz, pl, width, height, cancelled, depth + 1)) return false;
                pl.RestoreDC(-1);
                pl.st = saved;
                break;
            }
            // Our own mapping again.
            pl.SetReferenceResolution(pmx, pmy);
            pl.SetDeviceMap(width / w, height / h, -l * width / w, -t * height / h);
            break;
        }
        case 75: {  // ExtSelectClipRgn: size, mode, RGNDATA (32-byte header, rectangles)
            const uint32_t cb = U(8), mode = U(12);
            std::vector<RECT> rects;
            if (cb >= 32 && 16 + size_t{cb} <= n) {
                const uint32_t cnt = U(16 + 8);
                for (uint32_t i = 0; i < cnt && 48 + (size_t{i} + 1) * 16 <= 16 + size_t{cb} && i < PxMetaRaster::kMaxClipRects; i++) {
                    const size_t a = 48 + size_t{i} * 16;
                    rects.push_back(RECT{I(a), I(a + 4), I(a + 8), I(a + 12)});
                }
            }
            pl.SetDeviceClip(rects, static_cast<int>(mode));
            break;
        }
        case 83:
        case 84: {  // ExtTextOutA/W: bounds, graphics mode, scales, EMRTEXT
            if (n < 76) break;
            const double x = I(36), y = I(40);
            const uint32_t chars = U(44), off = U(48), opt = U(52), offDx = U(72);
            const size_t unit = type == 84 ? 2 : 1;
            if (chars > PxMetaPlayer::kMaxTextChars || off > n || size_t{chars} * unit > n - off) break;
            std::u32string s;
            if (type == 84) s = Utf16(p + off, chars);
            else s = PxMetaPlayer::Ansi(p + off, chars);
            std::vector<double> dx;
            if (offDx && offDx <= n && size_t{chars} * 4 <= n - offDx)
                for (uint32_t i = 0; i < chars; i++) dx.push_back(le::get32s(p + offDx + 4 * i));
            const double rect[4] = {static_cast<double>(I(56)), static_cast<double>(I(60)), static_cast<double>(I(64)), static_cast<double>(I(68))};
            pl.Text(x, y, s, opt, rect[2] > rect[0] && rect[3] > rect[1] ? rect : nullptr, dx.empty() ? nullptr : &dx);
            break;
        }
        case 76:
        case 77: {  // BitBlt / StretchBlt
            if (n < 100) break;
            const LONG dx = I(24), dy = I(28), dw = I(32), dh = I(36);
            const DWORD rop = U(40);
            const LONG sx = I(44), sy = I(48);
            const uint32_t offBmi = U(84), cbBmi = U(88), offBits = U(92), cbBits = U(96);
            if (cbBmi == 0) {
                pl.PatBlt(dx, dy, dw, dh, rop);
                break;
            }
            const LONG sw = type == 77 && n >= 108 ? I(100) : dw, sh = type == 77 && n >= 108 ? I(104) : dh;
            if (offBmi > n || cbBmi > n - offBmi || offBits > n || cbBits > n - offBits) break;
            pl.Dib(p + offBmi, cbBmi, p + offBits, cbBits, sx, sy, sw, sh, dx, dy, dw, dh, rop);
            break;
        }
        case 80:
        case 81: {  // SetDIBitsToDevice / StretchDIBits
            if (n < 72) break;
            const LONG dx = I(24), dy = I(28), sx = I(32), sy = I(36), sw = I(40), sh = I(44);
            const uint32_t offBmi = U(48), cbBmi = U(52), offBits = U(56), cbBits = U(60);
            DWORD rop = SRCCOPY;
            LONG dw = sw, dh = sh;
            if (type == 81) {
                if (n < 80) break;
                rop = U(68), dw = I(72), dh = I(76);
            }
            if (offBmi > n || cbBmi > n - offBmi || offBits > n || cbBits > n - offBits) break;
            pl.Dib(p + offBmi, cbBmi, p + offBits, cbBits, sx, sy, sw, sh, dx, dy, dw, dh, rop);
            break;
        }
        default: break;  // everything else (EMF+ comments included) is skipped
        }
    }
    return true;
}
