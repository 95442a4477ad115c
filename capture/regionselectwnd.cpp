#include "capture/regionselectwnd.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cstdlib>

#include "controls/hoverbitmapbutton.h"
#include "platform/rectconv.h"

namespace {
POINT PointOf(const QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    return POINT{p.x(), p.y()};
}
bool Inside(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
}  // namespace

CRegionSelectWnd::CRegionSelectWnd(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setModal(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect geo = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    setGeometry(geo);
    QPixmap grab = screen ? screen->grabWindow(0) : QPixmap();
    m_bright = QImage(geo.size(), QImage::Format_RGB32);
    m_bright.fill(Qt::black);  // a null grab (Wayland) stays black
    if (!grab.isNull()) {
        QPainter p(&m_bright);
        p.drawPixmap(0, 0, grab);
    }
    m_dimmed = QImage(geo.size(), QImage::Format_RGB32);
    m_dimmed.fill(Qt::black);
    {
        QPainter p(&m_dimmed);
        p.setOpacity(128.0 / 255.0);
        p.drawImage(0, 0, m_bright);
    }
    m_tracker.m_nStyle = 82;
    m_tracker.m_rect = RECT{0, 0, 0, 0};
    m_pCancel = new CHoverBitmapButton(this, this);
    m_pCancel->setObjectName("1031");
    m_pCancel->LoadBitmaps(264, 261, 264, 264);
    m_pOk = new CHoverBitmapButton(this, this);
    m_pOk->setObjectName("1067");
    m_pOk->LoadBitmaps(265, 262, 265, 265);
    m_pOk->hide();
    m_pCancel->hide();
    connect(m_pOk, &QAbstractButton::clicked, this, [this] { accept(); });
    connect(m_pCancel, &QAbstractButton::clicked, this, [this] {
        if (m_bRegion) RemoveRegion();
    });
    setCursor(Qt::CrossCursor);
}

void CRegionSelectWnd::SetAllowedArea(const RECT& area) {
    // Clip to the overlay's client area so no part of a region lies off the screen.
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
    SetAllowedArea(allowed);
    if (exec() != QDialog::Accepted) return false;
    return GetResult(chosen);
}

void CRegionSelectWnd::RemoveRegion() {
    m_tracker.m_rect = RECT{-1, -1, -1, -1};
    m_bRegion = false;
    m_bRubber = false;
    m_pOk->hide();
    m_pCancel->hide();
    update();
}

void CRegionSelectWnd::paintEvent(QPaintEvent*) {
    QImage buffer = m_dimmed.copy();
    QPainter p(&buffer);
    if (m_bRegion) {
        RECT r = m_tracker.m_rect;
        CRectTracker::NormalizeRect(&r);
        const QRect q = RectToQRect<QRect>(r);
        p.drawImage(q.topLeft(), m_bright, q);
        QPen pen(QColor(255, 0, 50), 2);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        m_tracker.Draw(&p);
    }
    p.end();
    QPainter w(this);
    w.drawImage(0, 0, buffer);
}

void CRegionSelectWnd::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    m_pOk->hide();
    m_pCancel->hide();
    const POINT pt = PointOf(e);
    if (!Inside(m_allowed, pt)) return;
    const int hit = m_tracker.HitTest(pt);
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
        m_tracker.TrackMouseMove(pt);
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
        else reject();  // nothing chosen: the caller gets no result
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    if (m_tracker.IsTracking()) m_tracker.TrackRelease(pt);
    m_bRubber = false;
    RECT& r = m_tracker.m_rect;
    if (std::abs(r.right - r.left) < 6 || std::abs(r.bottom - r.top) < 6) {
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
    if (m_bRegion && m_tracker.HitTest(PointOf(e)) == CRectTracker::hitMiddle) accept();
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

void CRegionSelectWnd::UpdateCursor(POINT pt) {
    if (m_bRegion && !m_bRubber && m_tracker.SetCursor(this, pt)) return;
    setCursor(Qt::CrossCursor);
}
