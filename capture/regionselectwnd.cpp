#include "capture/regionselectwnd.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

#include "controls/hoverbitmapbutton.h"
#include "platform/rectconv.h"
#include "resources/resourcetable.h"

namespace {
POINT PointOf(const QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    return POINT{p.x(), p.y()};
}
bool Inside(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
SIZE SizeOf(const RECT& r) { return SIZE{r.right - r.left, r.bottom - r.top}; }
const QColor kTrackerColour(255, 0, 50);
}  // namespace

CRegionSelectWnd::CRegionSelectWnd(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("222");
    setModal(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_tracker.m_nStyle = kTrackerStyle;
    m_pCancel = new CHoverBitmapButton(this, this);
    m_pCancel->setObjectName("1031");
    m_pCancel->LoadBitmaps(264, 261, 264, 264);
    m_pOk = new CHoverBitmapButton(this, this);
    m_pOk->setObjectName("1067");
    m_pOk->LoadBitmaps(265, 262, 265, 265);
    connect(m_pOk, &QAbstractButton::clicked, this, [this] { accept(); });
    connect(m_pCancel, &QAbstractButton::clicked, this, [this] {
        if (m_bRegion) RemoveRegion();
    });
    QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    Prepare(screen);
}

void CRegionSelectWnd::Prepare(QScreen* screen) {
    const QRect geo = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    if (screen && windowHandle()) windowHandle()->setScreen(screen);
    setGeometry(geo);
    QImage picture(geo.size(), QImage::Format_RGB32);
    picture.fill(Qt::black);  // a screen that gives no picture (Wayland) stays black
    QPixmap grab = screen ? screen->grabWindow(0) : QPixmap();
    if (!grab.isNull()) {
        // Some platforms give the whole desktop: take this screen's part of it.
        const qreal dpr = grab.devicePixelRatio();
        QRect source(QPoint(0, 0), grab.size());
        if (grab.size() / dpr != geo.size()) {
            const QPoint offset = geo.topLeft() - screen->virtualGeometry().topLeft();
            source = QRect(offset * dpr, geo.size() * dpr);
        }
        QPainter p(&picture);
        p.drawPixmap(QRect(QPoint(0, 0), geo.size()), grab, source);
    }
    SetScreenPicture(picture);
    m_tracker.m_rect = RECT{0, 0, 0, 0};
    m_bRegion = false;
    m_bRubber = false;
    m_pOk->hide();
    m_pCancel->hide();
    setCursor(ResourceCursor(kWindowCursor));
}

void CRegionSelectWnd::SetScreenPicture(const QImage& picture) {
    m_bright = QImage(size(), QImage::Format_RGB32);
    m_bright.fill(Qt::black);
    if (!picture.isNull()) {
        QPainter p(&m_bright);
        p.drawImage(0, 0, picture);
    }
    // The dimmed copy: the screen over black at a constant alpha of 128.
    m_dimmed = QImage(size(), QImage::Format_RGB32);
    m_dimmed.fill(Qt::black);
    QPainter p(&m_dimmed);
    p.setOpacity(128.0 / 255.0);
    p.drawImage(0, 0, m_bright);
}

void CRegionSelectWnd::SetAllowedArea(const RECT& area) {
    // Clipped to the overlay, so no part of a region lies off the screen.
    const QRect clipped = RectToQRect<QRect>(area).intersected(QRect(QPoint(0, 0), size()));
    m_allowed = clipped.isEmpty() ? RECT{0, 0, 0, 0} : QRectToRect(clipped);
}

bool CRegionSelectWnd::GetResult(RECT* result) const {
    RECT r = m_tracker.m_rect;
    CRectTracker::NormalizeRect(&r);
    if (result) *result = r;
    return m_bRegion && r.right > r.left && r.bottom > r.top;
}

bool CRegionSelectWnd::ChooseRegion(const RECT& allowed, RECT* chosen) {
    const QPoint centre((allowed.left + allowed.right) / 2, (allowed.top + allowed.bottom) / 2);
    QScreen* screen = QGuiApplication::screenAt(centre);
    if (!screen) screen = parentWidget() && parentWidget()->screen() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    Prepare(screen);
    const QPoint origin = geometry().topLeft();
    SetAllowedArea(RECT{allowed.left - origin.x(), allowed.top - origin.y(), allowed.right - origin.x(),
                        allowed.bottom - origin.y()});
    // A right-click without a region ends with OK too: only a region counts as a choice.
    if (exec() != QDialog::Accepted) return false;
    RECT r;
    if (!GetResult(&r)) return false;
    if (chosen) *chosen = RECT{r.left + origin.x(), r.top + origin.y(), r.right + origin.x(), r.bottom + origin.y()};
    return true;
}

void CRegionSelectWnd::RemoveRegion() {
    m_tracker.m_rect = RECT{-1, -1, -1, -1};
    m_bRegion = false;
    m_bRubber = false;
    m_pOk->hide();
    m_pCancel->hide();
    update();
}

// The tracker stays in the allowed area: a region moved whole (its size kept) is pushed back
// in whole, a resized one is cut at the area's edges.
void CRegionSelectWnd::KeepInsideAllowed(SIZE before) {
    RECT& r = m_tracker.m_rect;
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    const bool moved = w == before.cx && h == before.cy;
    if (moved && std::abs(w) <= m_allowed.right - m_allowed.left && std::abs(h) <= m_allowed.bottom - m_allowed.top) {
        RECT n = r;
        CRectTracker::NormalizeRect(&n);
        LONG dx = 0, dy = 0;
        if (n.left < m_allowed.left) dx = m_allowed.left - n.left;
        else if (n.right > m_allowed.right) dx = m_allowed.right - n.right;
        if (n.top < m_allowed.top) dy = m_allowed.top - n.top;
        else if (n.bottom > m_allowed.bottom) dy = m_allowed.bottom - n.bottom;
        r = RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
        return;
    }
    auto clamp = [](LONG v, LONG lo, LONG hi) { return std::clamp(v, lo, hi); };
    r.left = clamp(r.left, m_allowed.left, m_allowed.right);
    r.right = clamp(r.right, m_allowed.left, m_allowed.right);
    r.top = clamp(r.top, m_allowed.top, m_allowed.bottom);
    r.bottom = clamp(r.bottom, m_allowed.top, m_allowed.bottom);
}

QImage CRegionSelectWnd::Render() const {
    // The dimmed screen, the region at full brightness over it, then the tracker.
    QImage buffer = m_dimmed.copy();
    QPainter p(&buffer);
    if (m_bRegion) {
        RECT r = m_tracker.m_rect;
        CRectTracker::NormalizeRect(&r);
        const QRect q = RectToQRect<QRect>(r);
        p.drawImage(q.topLeft(), m_bright, q);
        // The frame in the tracker's 2-pixel pens, its handles as the tracker draws them.
        p.setBrush(Qt::NoBrush);
        const bool dotted = (m_tracker.m_nStyle & CRectTracker::dottedLine) != 0;
        p.setPen(QPen(kTrackerColour, 2, dotted ? Qt::DotLine : Qt::SolidLine));
        if (q.width() > 1 && q.height() > 1) p.drawRect(QRectF(q).adjusted(1, 1, -1, -1));
        CRectTracker handles(m_tracker.m_rect,
                             m_tracker.m_nStyle & ~UINT(CRectTracker::solidLine | CRectTracker::dottedLine));
        handles.Draw(&p);
    }
    return buffer;
}

void CRegionSelectWnd::paintEvent(QPaintEvent*) {
    QPainter w(this);
    w.drawImage(0, 0, Render());
}

void CRegionSelectWnd::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    m_pOk->hide();
    m_pCancel->hide();
    const POINT pt = PointOf(e);
    if (!Inside(m_allowed, pt)) return;
    // Without a region the tracker's leftover rectangle (empty or removed) has nothing to hit.
    const int hit = m_bRegion ? m_tracker.HitTest(pt) : int(CRectTracker::hitNothing);
    if (hit == CRectTracker::hitNothing && !m_bRegion) {
        m_start = pt;
        m_bRubber = true;
        m_bRegion = true;
        m_tracker.m_rect = RECT{std::max(m_allowed.left, pt.x - 40), std::max(m_allowed.top, pt.y - 40),
                                std::min(m_allowed.right, pt.x + 40), std::min(m_allowed.bottom, pt.y + 40)};
    } else if (hit != CRectTracker::hitNothing && m_bRegion) {
        m_tracker.Track(this, pt, true);
    }
    update();
}

void CRegionSelectWnd::mouseMoveEvent(QMouseEvent* e) {
    POINT pt = PointOf(e);
    if (m_tracker.IsTracking()) {
        const SIZE before = SizeOf(m_tracker.m_rect);
        m_tracker.TrackMouseMove(pt);
        KeepInsideAllowed(before);
        update();
        return;
    }
    if (m_bRubber) {
        pt.x = std::max(pt.x, m_allowed.left);
        pt.y = std::max(pt.y, m_allowed.top);
        m_tracker.m_rect = RECT{m_start.x + 4, m_start.y + 4, std::min(m_allowed.right, pt.x),
                                std::min(m_allowed.bottom, pt.y)};
        update();
        setFocus();
    }
    UpdateCursor(pt);
}

void CRegionSelectWnd::mouseReleaseEvent(QMouseEvent* e) {
    const POINT pt = PointOf(e);
    if (e->button() == Qt::RightButton) {
        if (m_bRegion) RemoveRegion();
        else accept();  // ends with OK and no region: GetResult says so
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    if (m_tracker.IsTracking()) {
        const SIZE before = SizeOf(m_tracker.m_rect);
        m_tracker.TrackRelease(pt);
        KeepInsideAllowed(before);
    }
    m_bRubber = false;
    RECT& r = m_tracker.m_rect;
    if (!m_bRegion || std::abs(r.right - r.left) < 6 || std::abs(r.bottom - r.top) < 6) {
        m_pOk->hide();
        m_pCancel->hide();
    } else {
        CRectTracker::NormalizeRect(&r);
        m_pCancel->setGeometry(r.right - 90, r.bottom + 2, 34, 23);
        m_pOk->setGeometry(r.right - 57, r.bottom + 2, 58, 23);
        m_pCancel->show();
        m_pOk->show();
    }
    update();
}

void CRegionSelectWnd::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && m_bRegion && m_tracker.HitTest(PointOf(e)) == CRectTracker::hitMiddle)
        accept();
    else
        mousePressEvent(e);  // the second press of a quick pair counts as a press
}

void CRegionSelectWnd::keyPressEvent(QKeyEvent* e) {
    if (e->key() != Qt::Key_Escape) return QDialog::keyPressEvent(e);
    if (m_bRegion) {
        if (m_tracker.IsTracking()) m_tracker.TrackCancel();
        RemoveRegion();
    } else {
        reject();
    }
}

int CRegionSelectWnd::CursorIdAt(POINT pt) const {
    if (!m_bRegion || m_bRubber) return kWindowCursor;
    const int hit = m_tracker.HitTest(pt);
    if (hit == CRectTracker::hitNothing) return kWindowCursor;
    switch (m_tracker.NormalizeHit(hit)) {
    case CRectTracker::hitTopLeft:
    case CRectTracker::hitBottomRight: return 231;
    case CRectTracker::hitTopRight:
    case CRectTracker::hitBottomLeft: return 230;
    case CRectTracker::hitTop:
    case CRectTracker::hitBottom: return 227;
    case CRectTracker::hitLeft:
    case CRectTracker::hitRight: return 232;
    default: return 229;
    }
}

void CRegionSelectWnd::UpdateCursor(POINT pt) { setCursor(ResourceCursor(CursorIdAt(pt))); }
