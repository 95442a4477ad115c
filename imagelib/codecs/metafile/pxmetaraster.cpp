#include "imagelib/codecs/metafile/pxmetaraster.h"

#include <algorithm>
#include <cmath>

namespace {

// The colour of an ROP2 code (1..16): its bits are the truth table over pen and destination.
uint8_t Rop2(int rop, uint8_t p, uint8_t d) {
    const int t = (rop - 1) & 15;
    uint8_t r = 0;
    if (t & 1) r |= static_cast<uint8_t>(~p & ~d);
    if (t & 2) r |= static_cast<uint8_t>(~p & d);
    if (t & 4) r |= static_cast<uint8_t>(p & ~d);
    if (t & 8) r |= static_cast<uint8_t>(p & d);
    return r;
}

bool HatchOn(int hatch, int64_t x, int64_t y) {
    const int64_t xm = ((x % 8) + 8) % 8, ym = ((y % 8) + 8) % 8;
    switch (hatch) {
    case 0: return ym == 0;
    case 1: return xm == 0;
    case 2: return xm == ym;
    case 3: return xm == 7 - ym;
    case 4: return xm == 0 || ym == 0;
    case 5: return xm == ym || xm == 7 - ym;
    default: return true;
    }
}

}  // namespace

PxMetaRaster::PxMetaRaster(PxSurface* surface, int64_t budget) : m_s(surface), m_budget(budget) { ResetClip(); }

void PxMetaRaster::ResetClip() { m_clip.assign(1, RECT{0, 0, m_s->width, m_s->height}); }

void PxMetaRaster::IntersectClip(const RECT& r) {
    std::vector<RECT> out;
    for (const RECT& c : m_clip) {
        RECT i{std::max(c.left, r.left), std::max(c.top, r.top), std::min(c.right, r.right), std::min(c.bottom, r.bottom)};
        if (i.left < i.right && i.top < i.bottom) out.push_back(i);
    }
    m_clip.swap(out);
}

void PxMetaRaster::ExcludeClip(const RECT& r) {
    std::vector<RECT> out;
    for (const RECT& c : m_clip) {
        RECT i{std::max(c.left, r.left), std::max(c.top, r.top), std::min(c.right, r.right), std::min(c.bottom, r.bottom)};
        if (i.left >= i.right || i.top >= i.bottom) {
            out.push_back(c);
            continue;
        }
        // Up to four pieces around the hole: above, below, left and right of it.
        if (c.top < i.top) out.push_back(RECT{c.left, c.top, c.right, i.top});
        if (i.bottom < c.bottom) out.push_back(RECT{c.left, i.bottom, c.right, c.bottom});
        if (c.left < i.left) out.push_back(RECT{c.left, i.top, i.left, i.bottom});
        if (i.right < c.right) out.push_back(RECT{i.right, i.top, c.right, i.bottom});
    }
    // A region too fragmented to keep falls back to its bounding box.
    if (out.size() > kMaxClipRects) {
        RECT b = out[0];
        for (const RECT& c : out) {
            b.left = std::min(b.left, c.left), b.top = std::min(b.top, c.top);
            b.right = std::max(b.right, c.right), b.bottom = std::max(b.bottom, c.bottom);
        }
        out.assign(1, b);
    }
    m_clip.swap(out);
}

double PxMetaRaster::Clamp(double v, bool vertical) const {
    const double side = vertical ? m_s->height : m_s->width;
    const double margin = 4 * (side + 16);
    if (!(v == v)) return -margin;  // NaN
    return std::clamp(v, -margin, side + margin);
}

void PxMetaRaster::Put(uint8_t* p, int64_t x, int64_t y, const PxMetaInk& ink) {
    COLORREF c = ink.color;
    if (ink.hatch >= 0 && !HatchOn(ink.hatch, x, y)) {
        if (!ink.opaqueBack) return;
        c = ink.backColor;
    }
    const uint8_t src[3] = {GetBValue(c), GetGValue(c), GetRValue(c)};
    for (int k = 0; k < 3; k++) p[k] = ink.rop2 == 13 ? src[k] : Rop2(ink.rop2, src[k], p[k]);
    p[3] = 255;
}

void PxMetaRaster::Span(int64_t y, int64_t x0, int64_t x1, const PxMetaInk& ink) {
    if (ink.rop2 == 11 || x0 >= x1) return;  // R2_NOP
    for (const RECT& c : m_clip) {
        if (y < c.top || y >= c.bottom) continue;
        const int64_t a = std::max<int64_t>(x0, c.left), b = std::min<int64_t>(x1, c.right);
        if (a >= b) continue;
        m_budget -= b - a;
        uint8_t* p = PxSurfacePixel(*m_s, static_cast<int32_t>(a), static_cast<int32_t>(y));
        for (int64_t x = a; x < b; x++, p += 4) Put(p, x, y, ink);
    }
}

void PxMetaRaster::Pixel(int64_t x, int64_t y, const PxMetaInk& ink) { Span(y, x, x + 1, ink); }

void PxMetaRaster::FillPolygons(const std::vector<std::vector<PxMetaPoint>>& polys, bool winding, const PxMetaInk& ink) {
    struct Edge {
        double x0, y0, x1, y1;
        int dir;
    };
    std::vector<Edge> edges;
    double ymin = 1e300, ymax = -1e300;
    for (const auto& poly : polys) {
        const size_t n = poly.size();
        if (n < 2) continue;
        for (size_t i = 0; i < n; i++) {
            PxMetaPoint a = poly[i], b = poly[(i + 1) % n];
            a = {Clamp(a.x, false), Clamp(a.y, true)};
            b = {Clamp(b.x, false), Clamp(b.y, true)};
            if (a.y == b.y) continue;
            int dir = 1;
            if (a.y > b.y) std::swap(a, b), dir = -1;
            edges.push_back(Edge{a.x, a.y, b.x, b.y, dir});
            ymin = std::min(ymin, a.y), ymax = std::max(ymax, b.y);
        }
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
    // Rows whose centre lies in the polygon's span, cut to the surface.
    const int64_t yFrom = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(ymin - 0.5)));
    const int64_t yTo = std::min<int64_t>(m_s->height, static_cast<int64_t>(std::ceil(ymax - 0.5)));
    struct Cross {
        double x;
        int dir;
    };
    std::vector<Cross> xs;
    std::vector<size_t> active;
    size_t next = 0;
    for (int64_t y = yFrom; y < yTo && m_budget > 0; y++) {
        const double cy = static_cast<double>(y) + 0.5;
        while (next < edges.size() && edges[next].y0 <= cy) active.push_back(next++);
        xs.clear();
        size_t keep = 0;
        for (size_t k = 0; k < active.size(); k++) {
            const Edge& e = edges[active[k]];
            if (e.y1 <= cy) continue;  // finished
            active[keep++] = active[k];
            xs.push_back(Cross{e.x0 + (cy - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0), e.dir});
        }
        active.resize(keep);
        m_budget -= static_cast<int64_t>(xs.size()) + 1;
        std::sort(xs.begin(), xs.end(), [](const Cross& a, const Cross& b) { return a.x < b.x; });
        int wind = 0;
        for (size_t k = 0; k + 1 < xs.size(); k++) {
            wind += winding ? xs[k].dir : 1;
            const bool inside = winding ? wind != 0 : (wind & 1) != 0;
            if (!inside) continue;
            // Pixel x is inside when its centre x + 0.5 lies in [xa, xb).
            const int64_t x0 = static_cast<int64_t>(std::ceil(xs[k].x - 0.5));
            const int64_t x1 = static_cast<int64_t>(std::ceil(xs[k + 1].x - 0.5));
            Span(y, x0, x1, ink);
        }
    }
}

void PxMetaRaster::ThinLine(PxMetaPoint a, PxMetaPoint b, const PxMetaInk& ink, uint32_t pattern, int& phase,
                            bool last) {
    int64_t x0 = static_cast<int64_t>(std::floor(Clamp(a.x, false))), y0 = static_cast<int64_t>(std::floor(Clamp(a.y, true)));
    const int64_t x1 = static_cast<int64_t>(std::floor(Clamp(b.x, false))), y1 = static_cast<int64_t>(std::floor(Clamp(b.y, true)));
    const int64_t dx = std::llabs(x1 - x0), dy = -std::llabs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int64_t err = dx + dy;
    // Steps outside the surface cost nothing but the loop; the clamp keeps the loop short.
    while (m_budget > 0) {
        const bool end = x0 == x1 && y0 == y1;
        if (end && !last) break;
        if ((pattern >> (phase & 31)) & 1) {
            if (x0 >= 0 && y0 >= 0 && x0 < m_s->width && y0 < m_s->height) Pixel(x0, y0, ink);
        }
        phase = (phase + 1) & 31;
        m_budget--;
        if (end) break;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) err += dy, x0 += sx;
        if (e2 <= dx) err += dx, y0 += sy;
    }
}
