#include "app/pelidorview.h"

#include "app/foldertreectrl.h"
#include "app/thumbnaillistctrl.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/childframe.h"
#include "app/clipboardimage.h"
#include "app/cmdids.h"
#include "app/imagecommands.h"
#include "app/imageconvert.h"
#include "app/mainframe.h"
#include "ui/messages.h"
#include "controls/offscreendc.h"
#include "platform/rectconv.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "ui/promptservice.h"
#include "outside/vekmeasure/qomeasure.h"
#include "app/histogramwnd.h"
#include "app/magnifierwnd.h"
#include "app/measuredialog.h"

namespace {

POINT ToPoint(const QPoint& p) { return POINT{p.x(), p.y()}; }

}  // namespace

void CPelidorView::mousePressEvent(QMouseEvent* e) {
    CPelidorDoc* d = GetDocument();
    if (!d) return;
    const QPoint pos = e->position().toPoint();
    PxImage* img = d->GetImage();
    // While a command runs the image belongs to the worker: no tool touches it.
    const bool idle = img && !d->IsBusy();
    if (e->button() == Qt::RightButton) {
        m_bRightDrag = false;
        if (d->m_nTool == kToolSelect && idle) {
            const QPoint pt = WindowToImage(pos);
            if (!(e->modifiers() & Qt::ControlModifier) && d->m_bRectSelection && d->m_nSelPoints == 5) {
                const QPoint* p = d->m_SelPoints;
                m_ptCentre = QPointF((p[0].x() + p[1].x()) / 2, (p[0].y() + p[3].y()) / 2);
                for (int i = 0; i < 5; i++) m_corners[i] = p[i];
                m_ptLast = pt;
                m_bRightDrag = true;
            } else if (e->modifiers() & Qt::ControlModifier) {
                m_ptLast = pt;
                m_bRightDrag = true;
            }
        } else if (d->m_nTool == kToolZoom && !d->m_bPickTransparency) {
            if (CMainFrame* mf = AfxGetMainFrame()) PostMessage(mf->GetSafeHwnd(), WM_COMMAND, ID_VIEW_ZOOMOUT, 0);
        }
        return;
    }
    m_bLeftDown = true;
    if (d->m_nTool == kToolZoom && !d->m_bPickTransparency)
        if (CMainFrame* mf = AfxGetMainFrame()) PostMessage(mf->GetSafeHwnd(), WM_COMMAND, ID_VIEW_ZOOMIN, 0);
    if (d->m_nTool == kToolText) {
        d->m_nTool = kToolNone;
        if (idle) {
            d->PushUndoSnapshot();
            const QPoint pt = WindowToImage(pos);
            img->DrawStringEx(nullptr, pt.x(), pt.y(), &AfxGetPelidorApp()->m_TextInfo);
            d->SetModifiedFlag();
            viewport()->update();
        }
    }
    if (d->m_nTool == kToolMove || d->m_nTool == kToolSelect) {
        d->m_bRectSelection = (e->modifiers() & Qt::ShiftModifier) != 0;
        if (img) {
            m_ptAnchor = pos;
            m_ptAnchorScroll = ScrollPosition();
        }
    }
    if (d->m_nTool == kToolTracker && idle) {
        // A press on the tracker moves or resizes it; anywhere else starts a new one. Either
        // may turn over; the release normalises it. A drag whose release never came ends here.
        m_tracker.TrackCancel();
        const RECT& tr = m_tracker.m_rect;
        const bool drawn = tr.right - tr.left > 0 && tr.bottom - tr.top > 0;
        if (!drawn || !m_tracker.Track(viewport(), ToPoint(pos), true)) {
            m_tracker.m_rect = RECT{0, 0, 0, 0};
            m_tracker.TrackRubberBand(viewport(), ToPoint(pos), true);
        }
    }
    if (d->m_nTool == kToolMeasure && d->m_pMeasure && idle && m_rcImage.contains(pos + ScrollPosition())) {
        d->m_pMeasure->OnLButtonDown(MeasurePoint(pos));
        MeasureEdited();
    }
    if (d->m_bPickTransparency) {
        d->m_bPickTransparency = 0;
        const QPoint pt = WindowToImage(pos);
        if (idle) {
            const LONG row = static_cast<LONG>(img->GetHeight()) - pt.y() - 1;
            if (img->IsInside(pt.x(), row)) {
                d->PushUndoSnapshot();
                img->SetTransIndex(img->GetPixelIndex(pt.x(), row));
                img->SetTransColor(img->GetPixelColor(pt.x(), row));
                d->SetModifiedFlag();
                d->UpdateAllViews(nullptr, 0);
            }
        }
    } else {
        // Any press outside pick mode ends the polygon selection, whatever the tool.
        m_selTimer.stop();
        d->m_nSelPoints = 0;
        d->m_bRotatedSelection = false;
        m_nOutlinePhase = 0;
        viewport()->update();
    }
}

void CPelidorView::mouseMoveEvent(QMouseEvent* e) {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img) return;
    const QPoint pos = e->position().toPoint();
    const QString text = PixelReadout(pos);
    // Over the tracker the cursor tells what a press would do there; off it, the cursor the
    // tracker set goes again (and only that one: the tools set their own while dragging).
    if (!m_tracker.IsTracking() && !m_bLeftDown) {
        const RECT& tr = m_tracker.m_rect;
        const bool drawn = tr.right - tr.left > 0 && tr.bottom - tr.top > 0;
        if (drawn && m_tracker.SetCursor(viewport(), ToPoint(pos))) {
            m_bTrackerCursor = true;
        } else if (m_bTrackerCursor) {
            viewport()->unsetCursor();
            m_bTrackerCursor = false;
        }
    }
    if (m_bRightDrag && (e->buttons() == Qt::RightButton) && d->m_nTool == kToolSelect && !d->IsBusy()) {
        const QPointF pt = WindowToImage(pos);
        if (e->modifiers() & Qt::ControlModifier) {
            const QPointF delta = pt - m_ptLast;
            for (int i = 0; i < d->m_nSelPoints; i++) d->m_SelPoints[i] += delta.toPoint();
            m_ptLast = pt;
        } else if (d->m_bRectSelection && d->m_nSelPoints == 5) {
            const double a = std::atan2(pt.y() - m_ptCentre.y(), pt.x() - m_ptCentre.x()) -
                             std::atan2(m_ptLast.y() - m_ptCentre.y(), m_ptLast.x() - m_ptCentre.x());
            const double ca = std::cos(a), sa = std::sin(a);
            for (int i = 0; i < 5; i++) {
                const QPointF r = m_corners[i] - m_ptCentre;
                m_corners[i] = m_ptCentre + QPointF(r.x() * ca - r.y() * sa, r.x() * sa + r.y() * ca);
                d->m_SelPoints[i] = QPoint(static_cast<int>(m_corners[i].x()), static_cast<int>(m_corners[i].y()));
            }
            d->m_bRotatedSelection = true;
            m_ptLast = pt;
        }
        viewport()->update();
    }
    if (m_bLeftDown && (e->buttons() & Qt::LeftButton)) {
        if (d->m_nTool == kToolMove) {
            viewport()->setCursor(Qt::SizeAllCursor);
            SetScrollPosition(m_ptAnchorScroll + m_ptAnchor - pos);
            viewport()->update();
        } else if (d->m_nTool == kToolSelect && !d->IsBusy()) {
            viewport()->setCursor(Qt::CrossCursor);
            const QPoint pt = WindowToImage(pos);
            if (d->m_bRectSelection) {
                if (d->m_nSelPoints == 0) {
                    d->m_SelPoints[0] = pt;
                    d->m_nSelPoints = 1;
                } else {
                    const QPoint p0 = d->m_SelPoints[0];
                    d->m_SelPoints[1] = QPoint(pt.x(), p0.y());
                    d->m_SelPoints[2] = pt;
                    d->m_SelPoints[3] = QPoint(p0.x(), pt.y());
                    d->m_SelPoints[4] = p0;
                    d->m_nSelPoints = 5;
                }
            } else {
                // A press that picked the transparent colour keeps a closed polygon of up to
                // 7999 points; drawing on from it must still leave the last slot for the
                // closing point, so the point count never passes 7998 here.
                d->m_nSelPoints = std::min(d->m_nSelPoints, CPelidorDoc::kMaxSelPoints - 2);
                d->m_SelPoints[d->m_nSelPoints] = pt;
                if (d->m_nSelPoints < CPelidorDoc::kMaxSelPoints - 2) d->m_nSelPoints++;
            }
            viewport()->update();
        } else if (d->m_nTool == kToolTracker && m_tracker.IsTracking()) {
            m_tracker.TrackMouseMove(ToPoint(pos));
            viewport()->update();
        } else if (d->m_nTool == kToolMeasure && d->m_pMeasure && !d->IsBusy() && m_rcImage.contains(pos + ScrollPosition())) {
            d->m_pMeasure->OnMouseMove(MeasurePoint(pos));
            MeasureEdited();
        }
    } else if (d->m_nTool == kToolMeasure && d->m_pMeasure && !d->IsBusy() && m_rcImage.contains(pos + ScrollPosition())) {
        d->m_pMeasure->OnMouseMove(MeasurePoint(pos));
        MeasureEdited();
    }
    if (CMainFrame* mf = AfxGetMainFrame()) {
        CMagnifierWnd* mag = mf->Magnifier(false);
        if (mag && (!m_magnifierTick.isValid() || m_magnifierTick.elapsed() > 50)) {
            m_magnifierTick.start();
            mag->SetPosition(pos);
        }
        mf->SetPaneText(0, text);
    }
    NotifyRulers(3, pos);
}

void CPelidorView::mouseReleaseEvent(QMouseEvent* e) {
    CPelidorDoc* d = GetDocument();
    m_bLeftDown = false;
    viewport()->unsetCursor();
    if (!d || !d->GetImage() || d->IsBusy() || e->button() != Qt::LeftButton) {
        m_tracker.TrackCancel();
        return;
    }
    const QPoint pos = e->position().toPoint();
    if (d->m_nTool == kToolSelect) {
        if (d->m_nSelPoints < 3) {
            d->m_nSelPoints = 0;
            d->GetImage()->SelectionDelete();
        } else {
            if (!d->m_bRectSelection && d->m_nSelPoints < CPelidorDoc::kMaxSelPoints - 1) d->m_SelPoints[d->m_nSelPoints++] = d->m_SelPoints[0];
            m_selTimer.start();
            // The image's selection takes the polygon with rows counted from the bottom.
            PxImage* img = d->GetImage();
            std::vector<POINT> pts(static_cast<size_t>(d->m_nSelPoints));
            for (int i = 0; i < d->m_nSelPoints; i++)
                pts[i] = POINT{d->m_SelPoints[i].x(), static_cast<LONG>(img->GetHeight()) - d->m_SelPoints[i].y() - 1};
            d->CommandTimer(true);
            img->SelectionDelete();
            img->SelectionAddPolygon(pts.data(), static_cast<LONG>(pts.size()));
            d->CommandTimer(false);
        }
        d->RefreshStatusPanes();
        viewport()->update();
    } else if (d->m_nTool == kToolTracker && m_tracker.IsTracking()) {
        const bool committed = m_tracker.TrackRelease(ToPoint(pos));
        CRectTracker::NormalizeRect(&m_tracker.m_rect);
        const QRect rc = RectToQRect<QRect>(m_tracker.m_rect);
        if (committed && rc.width() > 1 && rc.height() > 1) {
            // Both corners through the window-to-image mapping; the far corner is exclusive.
            const QPoint a = WindowToImage(rc.topLeft());
            const QPoint b = WindowToImage(rc.topLeft() + QPoint(rc.width(), rc.height())) - QPoint(1, 1);
            d->m_SelPoints[0] = a;
            d->m_SelPoints[1] = QPoint(b.x(), a.y());
            d->m_SelPoints[2] = b;
            d->m_SelPoints[3] = QPoint(a.x(), b.y());
            d->m_SelPoints[4] = a;
            d->m_nSelPoints = 5;
            d->m_bRotatedSelection = false;
            // The image's selection takes the rectangle with rows counted from the bottom; the
            // far corner is exclusive, so its row is height - y, not height - 1 - y.
            PxImage* img = d->GetImage();
            const LONG h = static_cast<LONG>(img->GetHeight());
            img->SelectionDelete();
            img->SelectionAddRect(RECT{a.x(), h - a.y(), b.x() + 1, h - 1 - b.y()});
            m_selTimer.start();
        } else {
            m_tracker.m_rect = RECT{0, 0, 0, 0};
        }
        viewport()->update();
    } else if (d->m_nTool == kToolMeasure && d->m_pMeasure && m_rcImage.contains(pos + ScrollPosition())) {
        d->m_pMeasure->OnLButtonUp(MeasurePoint(pos));
        MeasureEdited();
    }
}

void CPelidorView::mouseDoubleClickEvent(QMouseEvent* e) {
    CPelidorDoc* d = GetDocument();
    const QPoint pos = e->position().toPoint();
    if (d && d->m_nTool == kToolMeasure && d->m_pMeasure && !d->IsBusy() && m_rcImage.contains(pos + ScrollPosition())) {
        d->m_pMeasure->OnLButtonDblClk(MeasurePoint(pos));
        MeasureEdited();
    }
}
