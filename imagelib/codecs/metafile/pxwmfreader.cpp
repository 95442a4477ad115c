#include "imagelib/codecs/metafile/pxwmfreader.h"

#include <string>
#include <vector>

#include "platform/le.h"

namespace {

struct Rec {
    const uint8_t* p;  // parameters
    size_t n;          // parameter words
    int16_t s(size_t i) const { return i < n ? le::get16s(p + 2 * i) : 0; }
    uint16_t u(size_t i) const { return i < n ? le::get16(p + 2 * i) : 0; }
    uint32_t u32(size_t i) const { return static_cast<uint32_t>(u(i)) | (static_cast<uint32_t>(u(i + 1)) << 16); }
};

std::vector<PxMetaPoint> Points(const Rec& r, size_t at, size_t count) {
    std::vector<PxMetaPoint> pts;
    for (size_t i = 0; i < count; i++) pts.push_back({static_cast<double>(r.s(at + 2 * i)), static_cast<double>(r.s(at + 2 * i + 1))});
    return pts;
}

}  // namespace

bool PxWmfReader::Play(const uint8_t* data, size_t size, PxMetaPlayer& pl, const RECT& box, LONG width, LONG height,
                       const std::function<bool()>& cancelled) {
    // The window (the placeable box until the file sets its own) maps onto the output rectangle.
    pl.st.mapMode = 8;
    pl.st.winOrgX = box.left, pl.st.winOrgY = box.top;
    pl.st.winExtX = box.right - box.left, pl.st.winExtY = box.bottom - box.top;
    pl.st.vpOrgX = 0, pl.st.vpOrgY = 0, pl.st.vpExtX = width, pl.st.vpExtY = height;
    if (size < 18) return true;
    const size_t headerWords = le::get16(data + 2);
    size_t pos = headerWords >= 9 ? headerWords * 2 : 18;
    for (int64_t count = 0; pos + 6 <= size; count++) {
        if (cancelled && cancelled()) return false;
        if (count >= kMaxRecords || pl.Exhausted()) break;
        pl.ChargeRecord();
        const uint64_t words = le::get32(data + pos);
        const uint16_t fn = le::get16(data + pos + 4);
        if (words < 3 || words * 2 > size - pos) break;  // a bad record ends play
        const Rec r{data + pos + 6, static_cast<size_t>(words - 3)};
        pos += static_cast<size_t>(words * 2);
        auto& st = pl.st;
        switch (fn) {
        case 0x0000: return true;  // META_EOF
        case 0x0201: st.bkColor = r.u32(0); break;
        case 0x0102: st.bkMode = r.u(0); break;
        case 0x0104: st.rop2 = r.u(0) >= 1 && r.u(0) <= 16 ? r.u(0) : 13; break;
        case 0x0106: st.fillMode = r.u(0); break;
        case 0x0209: st.textColor = r.u32(0); break;
        case 0x012E: st.textAlign = r.u(0); break;
        case 0x020B: st.winOrgX = r.s(1), st.winOrgY = r.s(0); break;
        case 0x020C: st.winExtX = r.s(1), st.winExtY = r.s(0); break;
        case 0x020F: st.winOrgX += r.s(1), st.winOrgY += r.s(0); break;
        case 0x0410:  // ScaleWindowExt: yDenom, yNum, xDenom, xNum
            if (r.s(2) != 0 && r.s(0) != 0) st.winExtX = st.winExtX * r.s(3) / r.s(2), st.winExtY = st.winExtY * r.s(1) / r.s(0);
            break;
        case 0x0213: pl.LineTo(r.s(1), r.s(0)); break;
        case 0x0214: pl.MoveTo(r.s(1), r.s(0)); break;
        case 0x0415: pl.ExcludeClipRect(r.s(3), r.s(2), r.s(1), r.s(0)); break;
        case 0x0416: pl.IntersectClipRect(r.s(3), r.s(2), r.s(1), r.s(0)); break;
        case 0x012C: pl.ResetClip(); break;  // SelectClipRegion: only "no region" is known here
        case 0x0817:
        case 0x0830:
        case 0x081A:
            pl.Arc(r.s(7), r.s(6), r.s(5), r.s(4), r.s(3), r.s(2), r.s(1), r.s(0), fn == 0x0817 ? 0 : fn == 0x0830 ? 1 : 2);
            break;
        case 0x0418: pl.Ellipse(r.s(3), r.s(2), r.s(1), r.s(0)); break;
        case 0x041B: pl.Rectangle(r.s(3), r.s(2), r.s(1), r.s(0)); break;
        case 0x061C: pl.RoundRect(r.s(5), r.s(4), r.s(3), r.s(2), r.s(1), r.s(0)); break;
        case 0x061D: pl.PatBlt(r.s(5), r.s(4), r.s(3), r.s(2), r.u32(0)); break;
        case 0x001E: pl.SaveDC(); break;
        case 0x0127: pl.RestoreDC(r.s(0)); break;
        case 0x041F: pl.SetPixel(r.s(3), r.s(2), r.u32(0)); break;
        case 0x0521: {  // TextOut: count, string, y, x
            const size_t n = r.u(0), w = (n + 1) / 2;
            if (1 + w + 2 > r.n) break;
            pl.Text(r.s(2 + w), r.s(1 + w), PxMetaPlayer::Ansi(r.p + 2, n), 0, nullptr, nullptr);
            break;
        }
        case 0x0A32: {  // ExtTextOut: y, x, count, options, [rect], string, [dx]
            const size_t n = r.u(2);
            const UINT opt = r.u(3);
            size_t at = 4;
            double rect[4];
            const bool hasRect = (opt & 6) != 0;
            if (hasRect) {
                for (int i = 0; i < 4; i++) rect[i] = r.s(at + i);
                at += 4;
            }
            const size_t w = (n + 1) / 2;
            if (at + w > r.n) break;
            std::vector<double> dx;
            for (size_t i = 0; i < n && at + w + i < r.n; i++) dx.push_back(r.s(at + w + i));
            pl.Text(r.s(1), r.s(0), PxMetaPlayer::Ansi(r.p + 2 * at, n), opt, hasRect ? rect : nullptr, dx.size() == n && n ? &dx : nullptr);
            break;
        }
        case 0x0324:
        case 0x0325: {
            const size_t n = r.u(0);
            if (1 + 2 * n > r.n || n > PxMetaPlayer::kMaxPoints) break;
            if (fn == 0x0324) pl.Polygons({Points(r, 1, n)});
            else pl.Polyline(Points(r, 1, n), false);
            break;
        }
        case 0x0538: {  // PolyPolygon: count, counts, points
            const size_t np = r.u(0);
            if (1 + np > r.n) break;
            size_t at = 1 + np, total = 0;
            std::vector<std::vector<PxMetaPoint>> polys;
            for (size_t i = 0; i < np; i++) {
                const size_t c = r.u(1 + i);
                total += c;
                if (at + 2 * c > r.n || total > PxMetaPlayer::kMaxPoints) break;
                polys.push_back(Points(r, at, c));
                at += 2 * c;
            }
            pl.Polygons(polys);
            break;
        }
        case 0x012D: pl.SelectObject(r.u(0)); break;
        case 0x01F0: pl.DeleteObject(r.u(0)); break;
        case 0x02FA: {  // CreatePenIndirect: style, width x, width y, colour
            PxMetaPlayer::Object o;
            o.kind = PxMetaPlayer::kPen;
            o.pen.style = r.u(0) & 0x0F;
            o.pen.width = r.s(1);
            o.pen.color = r.u32(3);
            pl.AddObject(o);
            break;
        }
        case 0x02FC: {  // CreateBrushIndirect: style, colour, hatch
            PxMetaPlayer::Object o;
            o.kind = PxMetaPlayer::kBrush;
            o.brush.style = r.u(0) <= 2 ? r.u(0) : 1;
            o.brush.color = r.u32(1);
            o.brush.hatch = r.u(3);
            pl.AddObject(o);
            break;
        }
        case 0x02FB: {  // CreateFontIndirect
            PxMetaPlayer::Object o;
            o.kind = PxMetaPlayer::kFont;
            o.font.height = r.s(0), o.font.width = r.s(1), o.font.escapement = r.s(2), o.font.weight = r.s(4);
            if (r.n >= 9) {
                const uint8_t* b = r.p + 10;
                o.font.italic = b[0] != 0, o.font.underline = b[1] != 0, o.font.strikeout = b[2] != 0, o.font.charset = b[3];
                for (size_t i = 8; i < 40 && 10 + i < r.n * 2 && b[i]; i++) {
                    const char32_t c = PxMetaPlayer::Ansi(b + i, 1)[0];
                    if (c < 0x80) o.font.face += static_cast<char>(c);
                }
            }
            pl.AddObject(o);
            break;
        }
        case 0x00F7: case 0x01F9: case 0x0142: case 0x06FF: {  // palette, pattern brushes, region: a slot each
            PxMetaPlayer::Object o;
            o.kind = PxMetaPlayer::kOther;
            if (fn == 0x01F9 || fn == 0x0142) o.kind = PxMetaPlayer::kBrush, o.brush.style = 1;
            pl.AddObject(o);
            break;
        }
        case 0x0940:
        case 0x0B41: {  // DibBitBlt, DibStretchBlt
            const bool stretch = fn == 0x0B41;
            const bool hasBitmap = words != static_cast<uint64_t>((fn >> 8) + 3);
            const DWORD rop = r.u32(0);
            if (!hasBitmap) {
                const size_t b = stretch ? 6 : 4;
                pl.PatBlt(r.s(b + 3), r.s(b + 2), r.s(b + 1), r.s(b), rop);
                break;
            }
            LONG sx, sy, sw, sh, dx, dy, dw, dh;
            size_t dibAt;
            if (stretch) {
                sh = r.s(2), sw = r.s(3), sy = r.s(4), sx = r.s(5), dh = r.s(6), dw = r.s(7), dy = r.s(8), dx = r.s(9), dibAt = 10;
            } else {
                sy = r.s(2), sx = r.s(3), dh = r.s(4), dw = r.s(5), dy = r.s(6), dx = r.s(7), dibAt = 8;
                sw = dw, sh = dh;
            }
            if (dibAt >= r.n) break;
            const uint8_t* dib = r.p + 2 * dibAt;
            const size_t len = (r.n - dibAt) * 2;
            const size_t hs = le::get32(dib) == 12 ? 12 : 40;
            if (len < hs) break;
            // The colour table's length decides where the bits start.
            const uint16_t bpp = hs == 12 ? le::get16(dib + 10) : le::get16(dib + 14);
            uint32_t used = hs == 12 ? 0 : le::get32(dib + 32);
            if (used == 0 && bpp <= 8) used = 1u << bpp;
            size_t cb = le::get32(dib) > 12 && le::get32(dib) < len ? le::get32(dib) : hs;
            cb += static_cast<size_t>(used) * (hs == 12 ? 3 : 4);
            if (hs == 40 && le::get32(dib + 16) == 3) cb += 12;
            if (cb >= len) break;
            pl.Dib(dib, cb, dib + cb, len - cb, sx, sy, sw, sh, dx, dy, dw, dh, rop);
            break;
        }
        case 0x0F43:    // StretchDib: rop, usage, srcH, srcW, ySrc, xSrc, destH, destW, yDst, xDst, DIB
        case 0x0D33: {  // SetDibToDev: usage, scans, start, ySrc, xSrc, h, w, yDst, xDst, DIB
            const bool toDev = fn == 0x0D33;
            LONG sx, sy, sw, sh, dx, dy, dw, dh;
            DWORD rop = SRCCOPY;
            size_t dibAt;
            if (toDev) {
                sy = r.s(3), sx = r.s(4), sh = r.s(5), sw = r.s(6), dy = r.s(7), dx = r.s(8), dibAt = 9;
                dw = sw, dh = sh;
            } else {
                rop = r.u32(0);
                sh = r.s(3), sw = r.s(4), sy = r.s(5), sx = r.s(6), dh = r.s(7), dw = r.s(8), dy = r.s(9), dx = r.s(10), dibAt = 11;
            }
            if (dibAt >= r.n) break;
            const uint8_t* dib = r.p + 2 * dibAt;
            const size_t len = (r.n - dibAt) * 2;
            if (len < 12) break;
            const size_t hs = le::get32(dib) == 12 ? 12 : 40;
            if (len < hs) break;
            const uint16_t bpp = hs == 12 ? le::get16(dib + 10) : le::get16(dib + 14);
            uint32_t used = hs == 12 ? 0 : le::get32(dib + 32);
            if (used == 0 && bpp <= 8) used = 1u << bpp;
            size_t cb = le::get32(dib) > 12 && le::get32(dib) < len ? le::get32(dib) : hs;
            if (used > 65536) break;
            cb += static_cast<size_t>(used) * (hs == 12 ? 3 : 4);
            if (hs == 40 && le::get32(dib + 16) == 3) cb += 12;
            if (cb >= len) break;
            pl.Dib(dib, cb, dib + cb, len - cb, sx, sy, sw, sh, dx, dy, dw, dh, rop);
            break;
        }
        default: break;  // everything else is skipped
        }
    }
    return true;
}
