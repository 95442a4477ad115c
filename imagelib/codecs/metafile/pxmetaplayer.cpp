#include "imagelib/codecs/metafile/pxmetaplayer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "imagelib/codecs/PxBmpCodec.h"
#include "imagelib/pxfile.h"
#include "imagelib/pxfontmatch.h"
#include "platform/le.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

double SignedArea(const std::vector<PxMetaPoint>& p) {
    double a = 0;
    for (size_t i = 0; i < p.size(); i++) {
        const PxMetaPoint& u = p[i];
        const PxMetaPoint& v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return a;
}

// One shape orientation for every piece of a thick stroke, so that overlaps add up under the
// winding rule instead of cancelling.
void Orient(std::vector<PxMetaPoint>& p) {
    if (SignedArea(p) < 0) std::reverse(p.begin(), p.end());
}

uint32_t DashPattern(int style) {
    switch (style) {
    case 1: return 0x00FFFFFFu;  // dash: 24 on, 8 off
    case 2: return 0x33333333u;  // dot
    case 3: return 0x0C0FFFFFu;  // dash dot
    case 4: return 0x330FFFFFu;  // dash dot dot (approximate)
    default: return 0xFFFFFFFFu;
    }
}
}  // namespace

// ANSI text is read as Windows-1252 (its 0x80-0x9F block differs from Latin-1).
std::u32string PxMetaPlayer::Ansi(const uint8_t* s, size_t n) {
    static const char16_t hi[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::u32string out;
    for (size_t i = 0; i < n; i++) out += s[i] >= 0x80 && s[i] < 0xA0 ? static_cast<char32_t>(hi[s[i] - 0x80]) : s[i];
    return out;
}

PxMetaPlayer::PxMetaPlayer(PxSurface* surface, int64_t budget) : m_surf(surface), m_raster(surface, budget) {
    st.clip = m_raster.Clip();
}

PxMetaPlayer::~PxMetaPlayer() {
    if (m_face) FT_Done_Face(static_cast<FT_Face>(m_face));
    if (m_ft) FT_Done_FreeType(static_cast<FT_Library>(m_ft));
}

// ---- mapping ----

PxMetaPoint PxMetaPlayer::ToDevice(double x, double y) const {
    const double* w = st.world;
    const double wx = x * w[0] + y * w[2] + w[4], wy = x * w[1] + y * w[3] + w[5];
    double sx = 1, sy = 1;
    switch (st.mapMode) {
    case 2: sx = m_pxmmX / 10, sy = -m_pxmmY / 10; break;       // MM_LOMETRIC
    case 3: sx = m_pxmmX / 100, sy = -m_pxmmY / 100; break;     // MM_HIMETRIC
    case 4: sx = m_pxmmX * 0.254, sy = -m_pxmmY * 0.254; break; // MM_LOENGLISH
    case 5: sx = m_pxmmX * 0.0254, sy = -m_pxmmY * 0.0254; break;
    case 6: sx = m_pxmmX * 25.4 / 1440, sy = -m_pxmmY * 25.4 / 1440; break;  // MM_TWIPS
    case 7:
    case 8:
        sx = st.winExtX != 0 ? st.vpExtX / st.winExtX : 1;
        sy = st.winExtY != 0 ? st.vpExtY / st.winExtY : 1;
        if (st.mapMode == 7) {  // isotropic: the smaller scale on both axes
            const double m = std::min(std::fabs(sx), std::fabs(sy));
            sx = sx < 0 ? -m : m, sy = sy < 0 ? -m : m;
        }
        break;
    default: break;
    }
    const double rx = (wx - st.winOrgX) * sx + st.vpOrgX, ry = (wy - st.winOrgY) * sy + st.vpOrgY;
    return PxMetaPoint{m_raster.Clamp(rx * m_dsx + m_dox, false), m_raster.Clamp(ry * m_dsy + m_doy, true)};
}

double PxMetaPlayer::DeviceScale() const {
    const PxMetaPoint a = ToDevice(0, 0), b = ToDevice(1, 0), c = ToDevice(0, 1);
    const double sx = std::hypot(b.x - a.x, b.y - a.y), sy = std::hypot(c.x - a.x, c.y - a.y);
    return std::sqrt(sx * sy);
}

std::vector<PxMetaPoint> PxMetaPlayer::Dev(const std::vector<PxMetaPoint>& logical) const {
    std::vector<PxMetaPoint> out;
    out.reserve(logical.size());
    for (const PxMetaPoint& p : logical) out.push_back(ToDevice(p.x, p.y));
    return out;
}

// ---- objects and state ----

bool PxMetaPlayer::PutObject(size_t index, const Object& o) {
    if (index >= kMaxObjects) return false;
    if (index >= m_objects.size()) m_objects.resize(index + 1);
    m_objects[index] = o;
    return true;
}

int PxMetaPlayer::AddObject(const Object& o) {
    for (size_t i = 0; i < m_objects.size(); i++)
        if (m_objects[i].kind == kNone) {
            m_objects[i] = o;
            return static_cast<int>(i);
        }
    if (m_objects.size() >= kMaxObjects) return -1;
    m_objects.push_back(o);
    return static_cast<int>(m_objects.size() - 1);
}

void PxMetaPlayer::SelectObject(size_t index) {
    if (index >= m_objects.size()) return;
    const Object& o = m_objects[index];
    if (o.kind == kPen) st.pen = o.pen;
    if (o.kind == kBrush) st.brush = o.brush;
    if (o.kind == kFont) st.font = o.font;
}

void PxMetaPlayer::SelectStockObject(DWORD stock) {
    static const COLORREF greys[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    if (stock <= 4) st.brush = PxMetaBrush{0, greys[stock], 0};
    else if (stock == 5) st.brush = PxMetaBrush{1, 0, 0};
    else if (stock == 6) st.pen = PxMetaPen{0, 0, true, 0xFFFFFF};
    else if (stock == 7) st.pen = PxMetaPen{0, 0, true, 0};
    else if (stock == 8) st.pen = PxMetaPen{5, 0, true, 0};
    else if (stock >= 10 && stock <= 17 && stock != 15) {
        st.font = PxMetaFont();
        st.font.face = (stock == 10 || stock == 11 || stock == 16) ? "monospace" : "sans-serif";
    }
}

void PxMetaPlayer::DeleteObject(size_t index) {
    if (index < m_objects.size()) m_objects[index] = Object();
}

void PxMetaPlayer::SaveDC() {
    if (m_saved.size() >= kMaxSaveDepth) return;
    st.clip = m_raster.Clip();
    m_saved.push_back(st);
}

void PxMetaPlayer::RestoreDC(int which) {
    if (m_saved.empty()) return;
    // Relative levels count back from the top; absolute ones name the level SaveDC returned.
    int64_t keep = which < 0 ? static_cast<int64_t>(m_saved.size()) + which : static_cast<int64_t>(which) - 1;
    if (keep < 0 || keep >= static_cast<int64_t>(m_saved.size())) return;
    st = m_saved[static_cast<size_t>(keep)];
    m_saved.resize(static_cast<size_t>(keep));
    m_raster.SetClip(st.clip);
}

void PxMetaPlayer::ModifyWorld(const double x[6], int mode) {
    for (int i = 0; i < 6; i++)
        if (!std::isfinite(x[i]) || std::fabs(x[i]) > 1e9) return;
    double* w = st.world;
    if (mode == 1) {
        const double id[6] = {1, 0, 0, 1, 0, 0};
        std::memcpy(w, id, sizeof id);
        return;
    }
    if (mode == 4) {
        std::memcpy(w, x, sizeof(double) * 6);
        return;
    }
    const double* a = mode == 2 ? x : w;  // left multiply: x * world
    const double* b = mode == 2 ? w : x;
    if (mode != 2 && mode != 3) return;
    const double r[6] = {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
                         a[2] * b[1] + a[3] * b[3], a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]};
    std::memcpy(w, r, sizeof r);
}

// ---- clipping ----

static RECT DeviceRect(PxMetaPoint a, PxMetaPoint b) {
    const double l = std::min(a.x, b.x), r = std::max(a.x, b.x), t = std::min(a.y, b.y), bt = std::max(a.y, b.y);
    return RECT{static_cast<LONG>(std::lround(l)), static_cast<LONG>(std::lround(t)), static_cast<LONG>(std::lround(r)),
                static_cast<LONG>(std::lround(bt))};
}

void PxMetaPlayer::IntersectClipRect(double l, double t, double r, double b) {
    m_raster.IntersectClip(DeviceRect(ToDevice(l, t), ToDevice(r, b)));
}

void PxMetaPlayer::ExcludeClipRect(double l, double t, double r, double b) {
    m_raster.ExcludeClip(DeviceRect(ToDevice(l, t), ToDevice(r, b)));
}

void PxMetaPlayer::ResetClip() { m_raster.ResetClip(); }

void PxMetaPlayer::SetDeviceClip(const std::vector<RECT>& rects, int mode) {
    // Region rectangles are in reference-device pixels.
    std::vector<RECT> dev;
    for (const RECT& r : rects) {
        const PxMetaPoint a{m_raster.Clamp(r.left * m_dsx + m_dox, false), m_raster.Clamp(r.top * m_dsy + m_doy, true)};
        const PxMetaPoint b{m_raster.Clamp(r.right * m_dsx + m_dox, false), m_raster.Clamp(r.bottom * m_dsy + m_doy, true)};
        dev.push_back(DeviceRect(a, b));
    }
    if (mode == 5 || mode == 2) {  // RGN_COPY; RGN_OR is taken as a copy of the union
        if (rects.empty() && mode == 5) {
            m_raster.ResetClip();
            return;
        }
        m_raster.ResetClip();
        std::vector<RECT> cut;
        const RECT all{0, 0, m_surf->width, m_surf->height};
        for (const RECT& r : dev) {
            RECT i;
            if (IntersectRect(&i, r, all)) cut.push_back(i);
            if (cut.size() >= PxMetaRaster::kMaxClipRects) break;
        }
        m_raster.SetClip(cut);
    } else if (mode == 1 && !dev.empty()) {  // RGN_AND with the region's bounds
        RECT b = dev[0];
        for (const RECT& r : dev)
            b = RECT{std::min(b.left, r.left), std::min(b.top, r.top), std::max(b.right, r.right), std::max(b.bottom, r.bottom)};
        m_raster.IntersectClip(b);
    } else if (mode == 4) {  // RGN_DIFF
        for (const RECT& r : dev) m_raster.ExcludeClip(r);
    }
}

// ---- inks ----

PxMetaInk PxMetaPlayer::BrushInk() const {
    PxMetaInk ink;
    ink.color = st.brush.color & 0xFFFFFF;
    ink.rop2 = st.rop2;
    if (st.brush.style == 2) {
        ink.hatch = std::clamp(st.brush.hatch, 0, 5);
        ink.opaqueBack = st.bkMode == 2;
        ink.backColor = st.bkColor & 0xFFFFFF;
    }
    return ink;
}

void PxMetaPlayer::FillDevice(const std::vector<std::vector<PxMetaPoint>>& polys) {
    if (st.brush.style != 0 && st.brush.style != 2) return;
    m_raster.FillPolygons(polys, st.fillMode == 2, BrushInk());
}

void PxMetaPlayer::StrokeDevice(const std::vector<std::vector<PxMetaPoint>>& lines, const std::vector<bool>& closed) {
    if (st.pen.style == 5) return;
    PxMetaInk ink;
    ink.color = st.pen.color & 0xFFFFFF;
    ink.rop2 = st.rop2;
    const double w = st.pen.cosmetic || st.pen.width <= 1 ? 1 : st.pen.width * DeviceScale();
    if (w < 1.5) {
        const uint32_t pattern = DashPattern(st.pen.style);
        for (size_t k = 0; k < lines.size(); k++) {
            const auto& l = lines[k];
            int phase = 0;
            for (size_t i = 0; i + 1 < l.size() && !Exhausted(); i++) m_raster.ThinLine(l[i], l[i + 1], ink, pattern, phase, false);
            if (closed[k] && l.size() > 2) m_raster.ThinLine(l.back(), l[0], ink, pattern, phase, false);
            if (l.size() == 1) m_raster.ThinLine(l[0], l[0], ink, pattern, phase, true);
        }
        return;
    }
    // Thick pens: each segment as a quadrilateral and each joint as a disc, filled together.
    const double h = w / 2;
    // A pen of any width (a file may give a huge one) turns in 8 to 32 steps.
    const int sides = w < 32 ? std::max(static_cast<int>(w), 8) : 32;
    std::vector<std::vector<PxMetaPoint>> shapes;
    auto disc = [&](PxMetaPoint c) {
        std::vector<PxMetaPoint> d;
        for (int i = 0; i < sides; i++) d.push_back({c.x + h * std::cos(2 * kPi * i / sides), c.y + h * std::sin(2 * kPi * i / sides)});
        Orient(d);
        shapes.push_back(std::move(d));
    };
    for (size_t k = 0; k < lines.size(); k++) {
        const auto& l = lines[k];
        const size_t n = l.size();
        const size_t segs = closed[k] && n > 2 ? n : (n ? n - 1 : 0);
        for (size_t i = 0; i < segs && shapes.size() < kMaxPoints / 8; i++) {
            const PxMetaPoint a = l[i], b = l[(i + 1) % n];
            const double len = std::hypot(b.x - a.x, b.y - a.y);
            if (len > 0) {
                const double nx = -(b.y - a.y) / len * h, ny = (b.x - a.x) / len * h;
                std::vector<PxMetaPoint> q{{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}};
                Orient(q);
                shapes.push_back(std::move(q));
            }
            disc(a);
            disc(b);
        }
        if (n == 1) disc(l[0]);
    }
    m_raster.FillPolygons(shapes, true, ink);
}

void PxMetaPlayer::Shape(const std::vector<PxMetaPoint>& logical) {
    std::vector<PxMetaPoint> d = Dev(logical);
    if (m_inPath) {
        AddToPath(d, true, true);
        return;
    }
    FillDevice({d});
    StrokeDevice({d}, {true});
}

// ---- paths ----

void PxMetaPlayer::BeginPath() {
    m_inPath = true;
    m_path.clear();
    m_pathClosed.clear();
    m_pathPoints = 0;
}

void PxMetaPlayer::AbortPath() {
    m_inPath = false;
    m_path.clear();
    m_pathClosed.clear();
    m_pathPoints = 0;
}

void PxMetaPlayer::AddToPath(const std::vector<PxMetaPoint>& dev, bool closed, bool startNew) {
    if (m_pathPoints + dev.size() > kMaxPoints) return;
    m_pathPoints += dev.size();
    if (startNew || m_path.empty() || m_pathClosed.back()) {
        m_path.push_back(dev);
        m_pathClosed.push_back(closed);
    } else {
        m_path.back().insert(m_path.back().end(), dev.begin(), dev.end());
        if (closed) m_pathClosed.back() = true;
    }
}

void PxMetaPlayer::CloseFigure() {
    if (!m_path.empty()) m_pathClosed.back() = true;
}

void PxMetaPlayer::FillPath(bool stroke, bool fill) {
    m_inPath = false;
    if (fill) FillDevice(m_path);
    if (stroke) StrokeDevice(m_path, m_pathClosed);
    AbortPath();
}

void PxMetaPlayer::SelectClipPath(int mode) {
    // The path's bounds stand for its region: clipping here is by rectangles only.
    m_inPath = false;
    std::vector<RECT> r;
    double l = 1e300, t = 1e300, rr = -1e300, b = -1e300;
    for (const auto& f : m_path)
        for (const PxMetaPoint& p : f) l = std::min(l, p.x), t = std::min(t, p.y), rr = std::max(rr, p.x), b = std::max(b, p.y);
    if (l <= rr) {
        const RECT box = DeviceRect({l, t}, {rr, b});
        if (mode == 5) {
            m_raster.ResetClip();
            m_raster.IntersectClip(box);
        } else if (mode == 1) {
            m_raster.IntersectClip(box);
        } else if (mode == 4) {
            m_raster.ExcludeClip(box);
        }
    }
    AbortPath();
}

// ---- lines and shapes ----

void PxMetaPlayer::MoveTo(double x, double y) {
    st.curX = x, st.curY = y;
    if (m_inPath) {
        m_path.push_back({ToDevice(x, y)});
        m_pathClosed.push_back(false);
        m_pathPoints++;
    }
}

void PxMetaPlayer::LineTo(double x, double y) { Polyline({{x, y}}, true); }

void PxMetaPlayer::Polyline(const std::vector<PxMetaPoint>& pts, bool fromCurrent) {
    if (pts.empty()) return;
    std::vector<PxMetaPoint> l;
    if (fromCurrent) l.push_back({st.curX, st.curY});
    l.insert(l.end(), pts.begin(), pts.end());
    if (fromCurrent) st.curX = pts.back().x, st.curY = pts.back().y;
    std::vector<PxMetaPoint> d = Dev(l);
    if (m_inPath) {
        if (fromCurrent && !m_path.empty() && !m_pathClosed.back()) d.erase(d.begin());
        AddToPath(d, false, !fromCurrent);
        return;
    }
    StrokeDevice({d}, {false});
}

void PxMetaPlayer::Polylines(const std::vector<std::vector<PxMetaPoint>>& lines) {
    for (const auto& l : lines) Polyline(l, false);
}

void PxMetaPlayer::Polygons(const std::vector<std::vector<PxMetaPoint>>& polys) {
    std::vector<std::vector<PxMetaPoint>> d;
    for (const auto& p : polys) d.push_back(Dev(p));
    if (m_inPath) {
        for (const auto& p : d) AddToPath(p, true, true);
        return;
    }
    FillDevice(d);
    StrokeDevice(d, std::vector<bool>(d.size(), true));
}

void PxMetaPlayer::Bezier(const std::vector<PxMetaPoint>& pts, bool fromCurrent) {
    std::vector<PxMetaPoint> c;
    if (fromCurrent) c.push_back({st.curX, st.curY});
    c.insert(c.end(), pts.begin(), pts.end());
    if (c.size() < 4) return;
    std::vector<PxMetaPoint> flat{c[0]};
    for (size_t i = 0; i + 3 < c.size() && flat.size() < kMaxPoints; i += 3) {
        const PxMetaPoint p0 = c[i], p1 = c[i + 1], p2 = c[i + 2], p3 = c[i + 3];
        for (int k = 1; k <= 16; k++) {
            const double t = k / 16.0, u = 1 - t;
            flat.push_back({u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                            u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y});
        }
    }
    if (fromCurrent) {
        st.curX = flat.back().x, st.curY = flat.back().y;
        flat.erase(flat.begin());
        Polyline(flat, true);
        st.curX = flat.back().x, st.curY = flat.back().y;
    } else {
        Polyline(flat, false);
    }
}

void PxMetaPlayer::Rectangle(double l, double t, double r, double b) {
    PxMetaPoint a = ToDevice(l, t), c = ToDevice(r, b);
    // A one-pixel outline lies inside the rectangle, on its last column and row.
    const bool thin = st.pen.cosmetic || st.pen.width <= 1 || st.pen.width * DeviceScale() < 1.5;
    if (m_inPath || st.world[1] != 0 || st.world[2] != 0 || !thin) {
        Shape({{l, t}, {r, t}, {r, b}, {l, b}});
        return;
    }
    if (a.x > c.x) std::swap(a.x, c.x);
    if (a.y > c.y) std::swap(a.y, c.y);
    const std::vector<PxMetaPoint> d{{a.x, a.y}, {c.x, a.y}, {c.x, c.y}, {a.x, c.y}};
    FillDevice({d});
    const std::vector<PxMetaPoint> o{{a.x, a.y}, {c.x - 1, a.y}, {c.x - 1, c.y - 1}, {a.x, c.y - 1}};
    if (c.x - a.x >= 1 && c.y - a.y >= 1) StrokeDevice({o}, {true});
}

void PxMetaPlayer::EllipsePoints(double l, double t, double r, double b, double a0, double a1, bool full,
                                 std::vector<PxMetaPoint>& out) const {
    const double cx = (l + r) / 2, cy = (t + b) / 2, rx = std::fabs(r - l) / 2, ry = std::fabs(b - t) / 2;
    const PxMetaPoint d0 = ToDevice(l, t), d1 = ToDevice(r, b);
    const double size = std::fabs(d1.x - d0.x) + std::fabs(d1.y - d0.y);
    const double span = full ? 2 * kPi : a1 - a0;
    const int n = std::clamp(static_cast<int>(size * span / (2 * kPi)), 8, 512);
    for (int i = 0; i <= n; i++) {
        if (full && i == n) break;
        const double a = a0 + span * i / n;
        out.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
    }
}

void PxMetaPlayer::Ellipse(double l, double t, double r, double b) {
    std::vector<PxMetaPoint> p;
    EllipsePoints(l, t, r, b, 0, 0, true, p);
    Shape(p);
}

void PxMetaPlayer::RoundRect(double l, double t, double r, double b, double w, double h) {
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    w = std::min(std::fabs(w), r - l), h = std::min(std::fabs(h), b - t);
    std::vector<PxMetaPoint> p;
    EllipsePoints(r - w, t, r, t + h, 0, kPi / 2, false, p);
    EllipsePoints(l, t, l + w, t + h, kPi / 2, kPi, false, p);
    EllipsePoints(l, b - h, l + w, b, kPi, 1.5 * kPi, false, p);
    EllipsePoints(r - w, b - h, r, b, 1.5 * kPi, 2 * kPi, false, p);
    Shape(p);
}

void PxMetaPlayer::Arc(double l, double t, double r, double b, double xs, double ys, double xe, double ye, int kind) {
    const double cx = (l + r) / 2, cy = (t + b) / 2;
    const double rx = std::max(std::fabs(r - l) / 2, 1e-9), ry = std::max(std::fabs(b - t) / 2, 1e-9);
    double a0 = std::atan2(-(ys - cy) / ry, (xs - cx) / rx), a1 = std::atan2(-(ye - cy) / ry, (xe - cx) / rx);
    if (st.arcClockwise) std::swap(a0, a1);
    if (a1 <= a0) a1 += 2 * kPi;
    std::vector<PxMetaPoint> p;
    EllipsePoints(l, t, r, b, a0, a1, false, p);
    if (st.arcClockwise) std::reverse(p.begin(), p.end());
    if (kind == 0 || kind == 3) {
        if (kind == 3) {
            Polyline(p, true);
        } else {
            Polyline(p, false);
        }
        return;
    }
    if (kind == 2) p.push_back({cx, cy});
    Shape(p);
}

void PxMetaPlayer::SetPixel(double x, double y, COLORREF c) {
    const PxMetaPoint d = ToDevice(x, y);
    PxMetaInk ink;
    ink.color = c & 0xFFFFFF;
    const int64_t px = static_cast<int64_t>(std::floor(d.x)), py = static_cast<int64_t>(std::floor(d.y));
    if (px >= 0 && py >= 0 && px < m_surf->width && py < m_surf->height) m_raster.Pixel(px, py, ink);
}

void PxMetaPlayer::PatBlt(double x, double y, double w, double h, DWORD rop) {
    PxMetaInk ink = BrushInk();
    switch (rop) {
    case 0x00000042: ink = PxMetaInk(); ink.color = 0; break;          // BLACKNESS
    case 0x00FF0062: ink = PxMetaInk(); ink.color = 0xFFFFFF; break;   // WHITENESS
    case 0x00550009: ink = PxMetaInk(); ink.rop2 = 6; break;           // DSTINVERT
    case 0x005A0049: ink.rop2 = 7; break;                              // PATINVERT
    default:
        if (st.brush.style != 0 && st.brush.style != 2) return;
        ink.rop2 = 13;
        break;
    }
    const std::vector<PxMetaPoint> d = Dev({{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}});
    m_raster.FillPolygons({d}, false, ink);
}

// ---- text ----

void* PxMetaPlayer::Face(int heightPx) {
    if (!m_ft && FT_Init_FreeType(reinterpret_cast<FT_Library*>(&m_ft))) {
        m_ft = nullptr;
        return nullptr;
    }
    // Matching asks fontconfig; the answer for the font last asked is kept.
    const std::string want = st.font.face + "|" + std::to_string(st.font.weight) + (st.font.italic ? "i" : "");
    if (want != m_fileKey) {
        m_fileKey = want;
        m_file = PxFontMatch::FindFile(st.font.face.c_str(), st.font.weight, st.font.italic);
    }
    const std::string& file = m_file;
    if (file.empty()) return nullptr;
    const std::string key = file + "|" + std::to_string(heightPx);
    if (m_face && key == m_faceKey) return m_face;
    if (m_face) FT_Done_Face(static_cast<FT_Face>(m_face));
    m_face = nullptr;
    FT_Face f = nullptr;
    if (FT_New_Face(static_cast<FT_Library>(m_ft), file.c_str(), 0, &f)) return nullptr;
    int64_t px = heightPx;
    // Positive heights are cell heights: the em is the part of it the face's ascent and descent leave.
    if (px > 0 && f->height > 0) px = std::max<int64_t>(1, px * f->units_per_EM / f->height);
    px = std::clamp<int64_t>(px < 0 ? -px : px, 1, 2000);
    FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(px));
    m_face = f;
    m_faceKey = key;
    return m_face;
}

void PxMetaPlayer::Text(double x, double y, const std::u32string& textIn, UINT options, const double* rect,
                        const std::vector<double>* dx) {
    const std::u32string text = textIn.substr(0, kMaxTextChars);
    const bool updateCp = (st.textAlign & 1) != 0;
    if (updateCp) x = st.curX, y = st.curY;
    const double scale = DeviceScale();
    std::vector<RECT> savedClip;
    const bool clipped = rect && (options & 4);
    if (clipped) {
        savedClip = m_raster.Clip();
        IntersectClipRect(rect[0], rect[1], rect[2], rect[3]);
    }
    if (rect && (options & 2)) {  // ETO_OPAQUE
        PxMetaInk bk;
        bk.color = st.bkColor & 0xFFFFFF;
        m_raster.FillPolygons({Dev({{rect[0], rect[1]}, {rect[2], rect[1]}, {rect[2], rect[3]}, {rect[0], rect[3]}})}, false, bk);
    }
    // The font's height maps through the vertical scale of the transform.
    const PxMetaPoint o = ToDevice(0, 0), v = ToDevice(0, 1);
    const double sy = std::hypot(v.x - o.x, v.y - o.y);
    double hdev = st.font.height == 0 ? -12.0 : st.font.height * sy;
    hdev = std::clamp(hdev, -2000.0, 2000.0);
    int hpx = static_cast<int>(std::lround(hdev));
    if (hpx == 0) hpx = hdev < 0 ? -1 : 1;
    FT_Face face = static_cast<FT_Face>(Face(hpx));
    if (face && !text.empty()) {
        FT_Set_Transform(face, nullptr, nullptr);
        std::vector<double> adv;
        double total = 0;
        for (size_t i = 0; i < text.size(); i++) {
            double a = 0;
            m_raster.Charge(kGlyphCost);
            if (dx && i < dx->size()) a = (*dx)[i] * scale;
            else if (!FT_Load_Char(face, text[i], FT_LOAD_DEFAULT)) a = face->glyph->advance.x / 64.0;
            adv.push_back(a);
            total += a;
        }
        const double ang = st.font.escapement / 10.0 * kPi / 180;
        const double ux = std::cos(ang), uy = -std::sin(ang), nx = std::sin(ang), ny = std::cos(ang);
        const double asc = face->size->metrics.ascender / 64.0, desc = -face->size->metrics.descender / 64.0;
        const UINT h = st.textAlign & 6, vert = st.textAlign & 24;
        const double hoff = h == 6 ? -total / 2 : h == 2 ? -total : 0;
        const double voff = vert == 24 ? 0 : vert == 8 ? -desc : asc;
        const PxMetaPoint ref = ToDevice(x, y);
        const double bx = ref.x + ux * hoff + nx * voff, by = ref.y + uy * hoff + ny * voff;
        if (st.bkMode == 2 && !(options & 2) && ang == 0) {
            PxMetaInk bk;
            bk.color = st.bkColor & 0xFFFFFF;
            m_raster.FillPolygons({{{bx, by - asc}, {bx + total, by - asc}, {bx + total, by + desc}, {bx, by + desc}}}, false, bk);
        }
        FT_Matrix m;
        m.xx = static_cast<FT_Fixed>(std::cos(ang) * 65536), m.xy = static_cast<FT_Fixed>(-std::sin(ang) * 65536);
        m.yx = static_cast<FT_Fixed>(std::sin(ang) * 65536), m.yy = static_cast<FT_Fixed>(std::cos(ang) * 65536);
        FT_Set_Transform(face, &m, nullptr);
        PxMetaInk ink;
        ink.color = st.textColor & 0xFFFFFF;
        double pen = 0;
        const int W = m_surf->width, H = m_surf->height;
        for (size_t i = 0; i < text.size() && !Exhausted(); i++) {
            const double gx = bx + ux * pen, gy = by + uy * pen;
            pen += adv[i];
            if (gx < -4000 || gy < -4000 || gx > W + 4000 || gy > H + 4000) continue;
            m_raster.Charge(kGlyphCost);
            if (FT_Load_Char(face, text[i], FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME)) continue;
            const FT_GlyphSlot g = face->glyph;
            const FT_Bitmap& bm = g->bitmap;
            const int64_t ox = static_cast<int64_t>(std::floor(gx)) + g->bitmap_left;
            const int64_t oy = static_cast<int64_t>(std::floor(gy)) - g->bitmap_top;
            for (unsigned r = 0; r < bm.rows; r++) {
                const int64_t py = oy + r;
                if (py < 0 || py >= H) continue;
                const unsigned char* row = bm.buffer + static_cast<int64_t>(r) * bm.pitch;
                for (unsigned c = 0; c < bm.width; c++) {
                    const bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[c >> 3] >> (7 - (c & 7))) & 1 : row[c] >= 128;
                    const int64_t px = ox + c;
                    if (on && px >= 0 && px < W) m_raster.Pixel(px, py, ink);
                }
            }
        }
        FT_Set_Transform(face, nullptr, nullptr);
        if (st.font.underline || st.font.strikeout) {
            int phase = 0;
            const double off = st.font.underline ? desc / 2 : -asc / 3;
            m_raster.ThinLine({bx + nx * off, by + ny * off}, {bx + ux * total + nx * off, by + uy * total + ny * off}, ink,
                              0xFFFFFFFFu, phase, false);
        }
        if (updateCp && scale > 0) st.curX += total / scale;
    }
    if (clipped) m_raster.SetClip(savedClip);
}

// ---- bitmaps ----

void PxMetaPlayer::Dib(const uint8_t* bmi, size_t cbBmi, const uint8_t* bits, size_t cbBits, LONG sx, LONG sy, LONG sw,
                       LONG sh, double dx, double dy, double dw, double dh, DWORD rop) {
    if (!bmi || cbBmi < 12 || cbBmi > (1u << 20) || !bits || cbBits == 0 || cbBits > (1u << 30)) return;
    if (++m_dibs > kMaxDibs) return;
    // The info header is checked and normalised first: its size decides whether decoding is worth it.
    std::vector<uint8_t> head(bmi, bmi + cbBmi);
    PxMemFile hf(head.data(), static_cast<unsigned long>(head.size()));
    PxBmpCodec probe;
    BITMAPINFOHEADER bih{};
    if (!probe.ReadBitmapInfo(&hf, &bih)) return;
    const int64_t w = bih.biWidth, h = std::llabs(int64_t{bih.biHeight});
    if (w <= 0 || h <= 0 || w * h > kMaxDibPixels) return;
    m_raster.Charge(w * h);  // decoding costs its pixels even where nothing lands
    if (Exhausted()) return;
    // As a file: a 14-byte file header in front of the packed DIB.
    std::vector<uint8_t> file(14 + cbBmi + cbBits);
    file[0] = 'B', file[1] = 'M';
    le::put32(file.data() + 2, static_cast<uint32_t>(file.size()));
    le::put32(file.data() + 10, static_cast<uint32_t>(14 + cbBmi));
    std::memcpy(file.data() + 14, bmi, cbBmi);
    std::memcpy(file.data() + 14 + cbBmi, bits, cbBits);
    PxMemFile mf(file.data(), static_cast<unsigned long>(file.size()));
    PxBmpCodec img;
    if (!img.Decode(&mf)) return;
    const LONG iw = static_cast<LONG>(img.GetWidth()), ih = static_cast<LONG>(img.GetHeight());
    if (sw == 0 || sh == 0) return;
    if (sw < 0) sx += sw, sw = -sw;
    if (sh < 0) sy += sh, sh = -sh;
    // Source rectangles count rows from the bottom for bottom-up bitmaps.
    const int64_t top = bih.biHeight > 0 ? int64_t{ih} - sy - sh : sy;
    if (sx != 0 || top != 0 || sw != iw || sh != ih) {
        if (!img.Crop(std::clamp<LONG>(sx, 0, iw), static_cast<LONG>(std::clamp<int64_t>(top, 0, ih)),
                      static_cast<LONG>(std::clamp<int64_t>(int64_t{sx} + sw, 0, iw)),
                      static_cast<LONG>(std::clamp<int64_t>(top + sh, 0, ih))))
            return;
    }
    const PxMetaPoint a = ToDevice(dx, dy), b = ToDevice(dx + dw, dy + dh);
    if (b.x < a.x) img.Mirror();
    if (b.y < a.y) img.Flip();
    const RECT r = DeviceRect(a, b);
    if (r.right <= r.left || r.bottom <= r.top) return;
    DWORD srop = rop;
    if (srop != SRCCOPY && srop != SRCPAINT && srop != SRCAND && srop != SRCINVERT) srop = SRCCOPY;
    for (const RECT& c : m_raster.Clip()) {
        if (Exhausted()) break;
        PxSurface s = *m_surf;
        s.origin = POINT{0, 0};
        s.clip = c;
        RECT vis;
        if (!IntersectRect(&vis, c, r)) continue;
        m_raster.Charge(int64_t{vis.right - vis.left} * (vis.bottom - vis.top));
        img.Stretch(&s, r.left, r.top, r.right - r.left, r.bottom - r.top, srop);
    }
}
