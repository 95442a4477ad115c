#include "controls/recttracker.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>

#include "platform/rectconv.h"

namespace {

// Which edges a hit drags: 1 left, 2 top, 4 right, 8 bottom; the middle drags all four.
int EdgesOf(int hit) {
    switch (hit) {
    case CRectTracker::hitTopLeft: return 1 | 2;
    case CRectTracker::hitTopRight: return 4 | 2;
    case CRectTracker::hitBottomRight: return 4 | 8;
    case CRectTracker::hitBottomLeft: return 1 | 8;
    case CRectTracker::hitTop: return 2;
    case CRectTracker::hitRight: return 4;
    case CRectTracker::hitBottom: return 8;
    case CRectTracker::hitLeft: return 1;
    case CRectTracker::hitMiddle: return 15;
    default: return 0;
    }
}

RECT Union(const RECT& a, const RECT& b) {
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

}  // namespace

CRectTracker::CRectTracker() = default;

CRectTracker::CRectTracker(const RECT& rect, UINT style) : m_rect(rect), m_nStyle(style) {}

void CRectTracker::NormalizeRect(RECT* r) {
    if (r->left > r->right) std::swap(r->left, r->right);
    if (r->top > r->bottom) std::swap(r->top, r->bottom);
}

UINT CRectTracker::GetHandleMask() const {
    RECT r = m_rect;
    NormalizeRect(&r);
    UINT mask = 0x0F;  // the corners always
    // A middle handle needs room beside the corner handles.
    if (r.right - r.left >= 3 * m_nHandleSize) mask |= (1u << hitTop) | (1u << hitBottom);
    if (r.bottom - r.top >= 3 * m_nHandleSize) mask |= (1u << hitLeft) | (1u << hitRight);
    return mask;
}

void CRectTracker::GetHandleRect(int hit, RECT* out) const {
    RECT r = m_rect;
    NormalizeRect(&r);
    const LONG h = m_nHandleSize;
    const bool outside = (m_nStyle & resizeOutside) != 0;
    // Left/top and right/bottom positions of the handles of each row and column.
    const LONG x0 = outside ? r.left - h : r.left, x2 = outside ? r.right : r.right - h;
    const LONG y0 = outside ? r.top - h : r.top, y2 = outside ? r.bottom : r.bottom - h;
    const LONG x1 = r.left + (r.right - r.left) / 2 - h / 2, y1 = r.top + (r.bottom - r.top) / 2 - h / 2;
    LONG x = x0, y = y0;
    switch (hit) {
    case hitTopLeft: x = x0; y = y0; break;
    case hitTopRight: x = x2; y = y0; break;
    case hitBottomRight: x = x2; y = y2; break;
    case hitBottomLeft: x = x0; y = y2; break;
    case hitTop: x = x1; y = y0; break;
    case hitRight: x = x2; y = y1; break;
    case hitBottom: x = x1; y = y2; break;
    case hitLeft: x = x0; y = y1; break;
    default: *out = RECT{0, 0, 0, 0}; return;
    }
    *out = RECT{x, y, x + h, y + h};
}

RECT CRectTracker::TrueRectOf(const RECT& rect) const {
    RECT r = rect;
    NormalizeRect(&r);
    if (m_nStyle & (resizeOutside | hatchedBorder)) {
        const LONG h = m_nHandleSize;
        r = RECT{r.left - h, r.top - h, r.right + h, r.bottom + h};
    }
    return r;
}

void CRectTracker::GetTrueRect(RECT* rect) const { *rect = TrueRectOf(m_rect); }

int CRectTracker::NormalizeHit(int hit) const {
    if (hit < 0 || hit == hitMiddle) return hit;
    int edges = EdgesOf(hit);
    if (m_rect.left > m_rect.right) edges = (edges & ~5) | ((edges & 1) ? 4 : 0) | ((edges & 4) ? 1 : 0);
    if (m_rect.top > m_rect.bottom) edges = (edges & ~10) | ((edges & 2) ? 8 : 0) | ((edges & 8) ? 2 : 0);
    for (int h = hitTopLeft; h < hitMiddle; ++h)
        if (EdgesOf(h) == edges) return h;
    return hit;
}

int CRectTracker::HitTest(POINT pt) const {
    const RECT t = TrueRectOf(m_rect);
    auto inside = [&pt](const RECT& r) { return pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom; };
    if (!inside(t)) return hitNothing;
    if (m_nStyle & (resizeInside | resizeOutside)) {
        const UINT mask = GetHandleMask();
        for (int h = hitTopLeft; h < hitMiddle; ++h) {
            if (!(mask & (1u << h))) continue;
            RECT hr;
            GetHandleRect(h, &hr);
            if (inside(hr)) return NormalizeHit(h);
        }
    }
    RECT r = m_rect;
    NormalizeRect(&r);
    // A hatched border is a grip for moving; elsewhere outside the rectangle misses.
    if (inside(r) || (m_nStyle & hatchedBorder)) return hitMiddle;
    return hitNothing;
}

bool CRectTracker::SetCursor(QWidget* owner, POINT pt) const {
    int hit = HitTest(pt);
    if (hit == hitNothing) return false;
    // The cursor shows the direction on screen, so the handle as drawn counts.
    hit = NormalizeHit(hit);
    Qt::CursorShape shape = Qt::SizeAllCursor;
    switch (hit) {
    case hitTopLeft:
    case hitBottomRight: shape = Qt::SizeFDiagCursor; break;
    case hitTopRight:
    case hitBottomLeft: shape = Qt::SizeBDiagCursor; break;
    case hitTop:
    case hitBottom: shape = Qt::SizeVerCursor; break;
    case hitLeft:
    case hitRight: shape = Qt::SizeHorCursor; break;
    default: break;
    }
    if (owner) owner->setCursor(shape);
    return true;
}

void CRectTracker::Draw(QPainter* p) const {
    RECT r = m_rect;
    NormalizeRect(&r);
    const QRect q = RectToQRect<QRect>(r);
    p->save();
    p->setBrush(Qt::NoBrush);
    if (m_nStyle & (solidLine | dottedLine)) {
        p->setPen(QPen(Qt::black, 1, (m_nStyle & dottedLine) ? Qt::DotLine : Qt::SolidLine));
        if (q.width() > 0 && q.height() > 0) p->drawRect(q.adjusted(0, 0, -1, -1));
    }
    p->setPen(Qt::NoPen);
    if (m_nStyle & hatchInside) {
        p->setBrush(QBrush(Qt::black, Qt::BDiagPattern));
        p->drawRect(q);
    }
    if (m_nStyle & hatchedBorder) {
        const RECT t = TrueRectOf(m_rect);
        QRegion band(RectToQRect<QRect>(t));
        band -= QRegion(q);
        p->setClipRegion(band);
        p->setBrush(QBrush(Qt::black, Qt::BDiagPattern));
        p->drawRect(RectToQRect<QRect>(t));
        p->setClipping(false);
    }
    if (m_nStyle & (resizeInside | resizeOutside)) {
        p->setBrush(Qt::black);
        const UINT mask = GetHandleMask();
        for (int h = hitTopLeft; h < hitMiddle; ++h) {
            if (!(mask & (1u << h))) continue;
            RECT hr;
            GetHandleRect(h, &hr);
            p->drawRect(RectToQRect<QRect>(hr));
        }
    }
    p->restore();
}

bool CRectTracker::Begin(QWidget* owner, int hit, POINT pt, bool allowInvert) {
    m_owner = owner;
    m_hit = hit;
    m_allowInvert = allowInvert;
    m_moved = false;
    m_start = pt;
    m_rectSave = m_rect;
    m_rectShown = m_rect;
    return true;
}

bool CRectTracker::Track(QWidget* owner, POINT pt, bool allowInvert) {
    const int hit = HitTest(pt);
    if (hit == hitNothing || IsTracking()) return false;
    m_rubberBand = false;
    return Begin(owner, hit, pt, allowInvert);
}

bool CRectTracker::TrackRubberBand(QWidget* owner, POINT pt, bool allowInvert) {
    if (IsTracking()) return false;
    const RECT before = m_rect;
    m_rect = RECT{pt.x, pt.y, pt.x, pt.y};
    m_rubberBand = true;
    Begin(owner, hitBottomRight, pt, allowInvert);
    // Cancelling gives back the rectangle from before the band, not the empty band.
    m_rectSave = before;
    m_rectShown = before;
    return true;
}

void CRectTracker::AdjustRect(int hit, RECT* r) {
    if (m_allowInvert || hit == hitMiddle) return;
    const int edges = EdgesOf(hit);
    const LONG minW = m_sizeMin.cx, minH = m_sizeMin.cy;
    if ((edges & 1) && r->right - r->left < minW) r->left = r->right - minW;
    if ((edges & 4) && r->right - r->left < minW) r->right = r->left + minW;
    if ((edges & 2) && r->bottom - r->top < minH) r->top = r->bottom - minH;
    if ((edges & 8) && r->bottom - r->top < minH) r->bottom = r->top + minH;
}

void CRectTracker::OnChangedRect(const RECT&) {}

void CRectTracker::TrackMouseMove(POINT pt) {
    if (!IsTracking()) return;
    const LONG dx = pt.x - m_start.x, dy = pt.y - m_start.y;
    RECT r = m_rubberBand ? RECT{m_start.x, m_start.y, m_start.x, m_start.y} : m_rectSave;
    const int edges = EdgesOf(m_hit);
    if (edges & 1) r.left += dx;
    if (edges & 2) r.top += dy;
    if (edges & 4) r.right += dx;
    if (edges & 8) r.bottom += dy;
    AdjustRect(m_hit, &r);
    if (r.left == m_rect.left && r.top == m_rect.top && r.right == m_rect.right && r.bottom == m_rect.bottom) return;
    const RECT old = m_rect;
    m_rect = r;
    m_moved = true;
    DrawTrackerRect(m_rect, m_owner, false);
    OnChangedRect(old);
}

bool CRectTracker::TrackRelease(POINT pt) {
    if (!IsTracking()) return false;
    TrackMouseMove(pt);
    const bool committed = !m_rubberBand || m_moved;
    if (!committed) m_rect = m_rectSave;
    QWidget* owner = m_owner;
    m_owner = nullptr;
    DrawTrackerRect(m_rect, owner, true);
    return committed;
}

void CRectTracker::TrackCancel() {
    if (!IsTracking()) return;
    m_rect = m_rectSave;
    QWidget* owner = m_owner;
    m_owner = nullptr;
    DrawTrackerRect(m_rect, owner, true);
}

void CRectTracker::DrawTrackerRect(const RECT& rect, QWidget* owner, bool) {
    // Nothing is drawn on the screen here: the owner's next paint draws the tracker where it is
    // now, and no trace is left where it was.
    if (owner) owner->update(RectToQRect<QRect>(Union(TrueRectOf(m_rectShown), TrueRectOf(rect))).adjusted(-1, -1, 1, 1));
    m_rectShown = rect;
}
