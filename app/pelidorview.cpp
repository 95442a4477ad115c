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
const QColor kBackground(191, 191, 191);

POINT ToPoint(const QPoint& p) { return POINT{p.x(), p.y()}; }
}  // namespace

CPelidorView::CPelidorView(CPelidorDoc* doc, QWidget* parent)
    : CView(doc, parent), m_tracker(RECT{0, 0, 0, 0}, CRectTracker::dottedLine | CRectTracker::resizeOutside) {
    setObjectName("PelidorView");
    viewport()->setMouseTracking(true);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_selTimer.setInterval(333);
    connect(&m_selTimer, &QTimer::timeout, this, [this] {
        m_nOutlinePhase = (m_nOutlinePhase + 1) & 7;
        viewport()->update();
    });

    CMainFrame* mf = AfxGetMainFrame();
    if (mf && mf->m_bStartPageCreated) {
        doc->m_pMeasure = new CQoMeasure(viewport());
        doc->m_bShowScaleLine = AfxGetPelidorApp()->m_bShowScaleLine;
        doc->m_pMeasure->ScaleLine(doc->m_bShowScaleLine);
    } else {
        // The first view of the process is the start page.
        if (mf) mf->m_bStartPageCreated = 1;
        doc->m_bStartPage = 1;
        // The process's one thumbnail list fills the start page; the folder tree follows it.
        m_pThumbList = new CThumbnailListCtrl(viewport());
        m_pThumbList->Initialise();
        m_pThumbList->Refresh();
        m_pThumbList->show();
        if (mf) mf->FolderTree()->SetList(m_pThumbList);
    }

    OnCommand(ID_FILE_PRINT, [this] {
        // The printer keeps what Print Setup chose.
        QPrinter* printer = AfxGetPelidorApp()->Printer();
        if (CPromptService::Instance().PrintDialog(this, printer)) OnPrint(printer);
    });
    OnUpdateUI(ID_FILE_PRINT, [this](CCmdUI* ui) { ui->Enable(GetDocument() && GetDocument()->GetImage()); });
    OnCommand(ID_FILE_PRINT_PREVIEW, [this] {
        CPromptService::Instance().PrintPreview(this, [this](QPrinter* p) { OnPrint(p); });
    });
    OnUpdateUI(ID_FILE_PRINT_PREVIEW, [this](CCmdUI* ui) { ui->Enable(GetDocument() && GetDocument()->GetImage()); });
    OnCommand(ID_EDIT_COPY, [this] {
        CPelidorDoc* d = GetDocument();
        if (d && d->GetDisplayImage() && !CopyImageToClipboard(*d->GetDisplayImage()))
            AfxMessageBox("Unable to set Clipboard data");
    });
    OnUpdateUI(ID_EDIT_COPY, [this](CCmdUI* ui) { ui->Enable(GetDocument() && GetDocument()->GetImage()); });
}

CPelidorView::~CPelidorView() {
    m_selTimer.stop();
    if (CMainFrame* mf = AfxGetMainFrame())
        if (CHistogramWnd* hist = mf->Histogram(false)) hist->update();
}

CPelidorDoc* CPelidorView::GetDocument() const { return static_cast<CPelidorDoc*>(CView::GetDocument()); }
bool CPelidorView::IsStartPage() const { return GetDocument() && GetDocument()->m_bStartPage; }

CChildFrame* CPelidorView::ParentFrame() const {
    QWidget* w = parentWidget();
    while (w && !dynamic_cast<CChildFrame*>(w)) w = w->parentWidget();
    return dynamic_cast<CChildFrame*>(w);
}

QPoint CPelidorView::ScrollPosition() const { return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()); }

void CPelidorView::SetScrollPosition(const QPoint& p) {
    horizontalScrollBar()->setValue(p.x());
    verticalScrollBar()->setValue(p.y());
}

QPoint CPelidorView::CenterOffset() const {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img) return QPoint();
    const QSize c = viewport()->size();
    const int offx = std::max(0, static_cast<int>((c.width() - img->GetWidth() * d->m_fZoom) / 2));
    const int offy = std::max(0, static_cast<int>((c.height() - img->GetHeight() * d->m_fZoom) / 2));
    return QPoint(offx, offy);
}

void CPelidorView::ComputeImageRect() {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img) return;
    const QPoint off = CenterOffset();
    m_rcImage = QRect(off, QSize(static_cast<int>(img->GetWidth() * d->m_fZoom), static_cast<int>(img->GetHeight() * d->m_fZoom)));
    NotifyRulers(0);
}

QPoint CPelidorView::WindowToImage(const QPoint& p) const {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img) return p;
    double x = p.x(), y = p.y();
    if (!d->m_bStretch) {
        const QPoint off = CenterOffset();
        x = (x - off.x() + horizontalScrollBar()->value()) / d->m_fZoom;
        y = (y - off.y() + verticalScrollBar()->value()) / d->m_fZoom;
    } else {
        x = x * img->GetWidth() / std::max(1, viewport()->width());
        y = y * img->GetHeight() / std::max(1, viewport()->height());
    }
    return QPoint(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
}

void CPelidorView::MeasureEdited() {
    viewport()->update();
    CMeasureDialog::RefreshTable(GetDocument()->m_pMeasure);
}

QPoint CPelidorView::MeasurePoint(const QPoint& wp) const { return wp + ScrollPosition() - m_rcImage.topLeft(); }

void CPelidorView::UpdateScrollSizes() {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    QSize total(0, 0);
    if (img && !d->m_bStretch)
        total = QSize(static_cast<int>(img->GetWidth() * d->m_fZoom), static_cast<int>(img->GetHeight() * d->m_fZoom));
    const QSize vp = viewport()->size();
    const int oldMaxX = horizontalScrollBar()->maximum() + vp.width(), oldMaxY = verticalScrollBar()->maximum() + vp.height();
    const QPoint old = ScrollPosition();
    horizontalScrollBar()->setRange(0, std::max(0, total.width() - vp.width()));
    verticalScrollBar()->setRange(0, std::max(0, total.height() - vp.height()));
    horizontalScrollBar()->setPageStep(vp.width());
    verticalScrollBar()->setPageStep(vp.height());
    horizontalScrollBar()->setSingleStep(16);
    verticalScrollBar()->setSingleStep(16);
    // Keep the same part of the image in view across a zoom change.
    if (oldMaxX > 0 && oldMaxY > 0) {
        horizontalScrollBar()->setValue(total.width() > vp.width() ? static_cast<int>(int64_t(total.width()) * old.x() / oldMaxX) : 0);
        verticalScrollBar()->setValue(total.height() > vp.height() ? static_cast<int>(int64_t(total.height()) * old.y() / oldMaxY) : 0);
    }
}

void CPelidorView::OnUpdate(CView* sender, LPARAM hint) {
    CPelidorDoc* d = GetDocument();
    if (d && d->GetDisplayImage()) {
        if (hint == WM_IMAGE_OP_DONE) {
            m_tracker.TrackCancel();
            m_tracker.m_rect = RECT{0, 0, 0, 0};
            if (d->m_nSelPoints < 3) m_selTimer.stop();
            if (d->GetImage() && !d->IsBusy()) d->GetImage()->SetJpegQuality(static_cast<BYTE>(AfxGetPelidorApp()->m_nJpegQuality));
            // The histogram follows the image while its window shows; otherwise the cache is
            // emptied so that the window computes it afresh when it shows again.
            CMainFrame* mf = AfxGetMainFrame();
            CHistogramWnd* hist = mf ? mf->Histogram(false) : nullptr;
            if (hist && hist->isVisible()) {
                CHistogramWnd::Recompute(*d);
                hist->update();
            } else {
                d->m_lHistMax = 0;
            }
        }
        UpdateScrollSizes();
        ComputeImageRect();
    }
    if (d && d->m_pMeasure) CMeasureDialog::RefreshTable(d->m_pMeasure);
    CView::OnUpdate(sender, hint);
}

void CPelidorView::NotifyRulers(int code, const QPoint& mouse) {
    CPelidorDoc* d = GetDocument();
    CChildFrame* f = ParentFrame();
    if (!f || !d || !d->GetDisplayImage()) return;
    f->UpdateRulers(code, ScrollPosition(), mouse, m_rcImage, d->m_fZoom);
}

void CPelidorView::paintEvent(QPaintEvent*) {
    QPainter vp(viewport());
    CPelidorDoc* d = GetDocument();
    COffscreenDC dc(&vp, viewport()->rect(), ScrollPosition(), kBackground);
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img || !img->IsValid()) return;
    ComputeImageRect();
    if (d->m_bStretch) {
        const QPoint s = ScrollPosition();
        img->Draw(dc.Surface(), s.x(), s.y(), viewport()->width(), viewport()->height(), nullptr, d->m_bSmooth != 0);
    } else {
        img->Draw(dc.Surface(), m_rcImage.left(), m_rcImage.top(), m_rcImage.width(), m_rcImage.height(), nullptr,
                  d->m_bSmooth && d->m_fZoom != 1.0f);
    }
    QPainter* p = dc.Painter();
    if (d->m_pMeasure) {
        d->m_pMeasure->SetScale(d->m_fZoom);
        d->m_pMeasure->DrawAllUnit(p, m_rcImage.topLeft());
    }
    const RECT& tr = m_tracker.m_rect;
    if (std::abs(tr.right - tr.left) > 0 && std::abs(tr.bottom - tr.top) > 0) {
        p->save();
        p->translate(ScrollPosition());
        m_tracker.Draw(p);
        p->restore();
    }
    // The selection outline: 4-pixel dashes that march with the phase.
    if (d->m_nSelPoints > 2) {
        QPolygonF poly;
        for (int i = 0; i < d->m_nSelPoints; i++)
            poly << QPointF(d->m_SelPoints[i].x() * d->m_fZoom + m_rcImage.left(), d->m_SelPoints[i].y() * d->m_fZoom + m_rcImage.top());
        p->setBrush(Qt::NoBrush);
        p->setPen(QPen(Qt::black, 1));
        p->drawPolyline(poly);
        QPen white(Qt::white, 1, Qt::CustomDashLine);
        white.setDashPattern({4, 4});
        white.setDashOffset(m_nOutlinePhase);
        p->setPen(white);
        p->drawPolyline(poly);
    }
}

void CPelidorView::resizeEvent(QResizeEvent* e) {
    CView::resizeEvent(e);
    if (m_pThumbList) {
        m_pThumbList->setGeometry(viewport()->rect());
        m_pThumbList->show();
    }
    UpdateScrollSizes();
    ComputeImageRect();
}

void CPelidorView::scrollContentsBy(int dx, int dy) {
    viewport()->update();
    // Each ruler repaints only for its own direction.
    if (dx) NotifyRulers(2);
    if (dy) NotifyRulers(1);
}

void CPelidorView::focusInEvent(QFocusEvent* e) {
    CView::focusInEvent(e);
    if (GetDocument()) GetDocument()->RefreshStatusPanes();
}

QString CPelidorView::PixelReadout(const QPoint& wp) const {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img) return QString();
    const QPoint pt = WindowToImage(wp);
    const LONG row = static_cast<LONG>(img->GetHeight()) - pt.y() - 1;
    if (!img->IsInside(pt.x(), row)) return " ";
    const BYTE idx = img->GetPixelIndex(pt.x(), row);
    const RGBQUAD c = img->GetPixelColor(pt.x(), row);
    const int alpha = img->AlphaIsValid() ? img->AlphaGet(pt.x(), row) : img->GetPaletteColor(idx).rgbReserved;
    return QString::asprintf("x: %d y: %d  idx: %d", pt.x(), pt.y(), idx & 0xFF) +
           QString::asprintf("  RGBA: (%d, %d, %d, %d)", c.rgbRed, c.rgbGreen, c.rgbBlue, alpha);
}

void CPelidorView::mousePressEvent(QMouseEvent* e) {
    CPelidorDoc* d = GetDocument();
    if (!d) return;
    const QPoint pos = e->position().toPoint();
    PxImage* img = d->GetImage();
    // While a command runs the image belongs to the worker: no tool touches it.
    const bool idle = img && !d->IsBusy();
    if (e->button() == Qt::RightButton) {
        m_bRightDrag = false;
        if (d->m_nTool == 1 && idle) {
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
        } else if (d->m_nTool == 2 && !d->m_bPickTransparency) {
            if (CMainFrame* mf = AfxGetMainFrame()) PostMessage(mf->GetSafeHwnd(), WM_COMMAND, ID_VIEW_ZOOMOUT, 0);
        }
        return;
    }
    m_bLeftDown = true;
    if (d->m_nTool == 2 && !d->m_bPickTransparency)
        if (CMainFrame* mf = AfxGetMainFrame()) PostMessage(mf->GetSafeHwnd(), WM_COMMAND, ID_VIEW_ZOOMIN, 0);
    if (d->m_nTool == 3) {
        d->m_nTool = -1;
        if (idle) {
            d->PushUndoSnapshot();
            const QPoint pt = WindowToImage(pos);
            img->DrawStringEx(nullptr, pt.x(), pt.y(), &AfxGetPelidorApp()->m_TextInfo);
            d->SetModifiedFlag();
            viewport()->update();
        }
    }
    if (d->m_nTool == 0 || d->m_nTool == 1) {
        d->m_bRectSelection = (e->modifiers() & Qt::ShiftModifier) != 0;
        if (img) {
            m_ptAnchor = pos;
            m_ptAnchorScroll = ScrollPosition();
        }
    }
    if (d->m_nTool == 4 && idle) {
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
    if (d->m_nTool == 6 && d->m_pMeasure && idle && m_rcImage.contains(pos + ScrollPosition())) {
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
    if (m_bRightDrag && (e->buttons() == Qt::RightButton) && d->m_nTool == 1 && !d->IsBusy()) {
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
        if (d->m_nTool == 0) {
            viewport()->setCursor(Qt::SizeAllCursor);
            SetScrollPosition(m_ptAnchorScroll + m_ptAnchor - pos);
            viewport()->update();
        } else if (d->m_nTool == 1 && !d->IsBusy()) {
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
        } else if (d->m_nTool == 4 && m_tracker.IsTracking()) {
            m_tracker.TrackMouseMove(ToPoint(pos));
            viewport()->update();
        } else if (d->m_nTool == 6 && d->m_pMeasure && !d->IsBusy() && m_rcImage.contains(pos + ScrollPosition())) {
            d->m_pMeasure->OnMouseMove(MeasurePoint(pos));
            MeasureEdited();
        }
    } else if (d->m_nTool == 6 && d->m_pMeasure && !d->IsBusy() && m_rcImage.contains(pos + ScrollPosition())) {
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
    if (d->m_nTool == 1) {
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
    } else if (d->m_nTool == 4 && m_tracker.IsTracking()) {
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
    } else if (d->m_nTool == 6 && d->m_pMeasure && m_rcImage.contains(pos + ScrollPosition())) {
        d->m_pMeasure->OnLButtonUp(MeasurePoint(pos));
        MeasureEdited();
    }
}

void CPelidorView::mouseDoubleClickEvent(QMouseEvent* e) {
    CPelidorDoc* d = GetDocument();
    const QPoint pos = e->position().toPoint();
    if (d && d->m_nTool == 6 && d->m_pMeasure && !d->IsBusy() && m_rcImage.contains(pos + ScrollPosition())) {
        d->m_pMeasure->OnLButtonDblClk(MeasurePoint(pos));
        MeasureEdited();
    }
}

void CPelidorView::BuildContextMenu(QMenu* menu, CCommandRouter* router) {
    menu->addAction(router->Action(ID_EDIT_COPY));
    menu->addSeparator();
    // The image commands as in the document's "Image" menu, the filters in their own submenu.
    std::vector<QByteArray> paths;
    std::vector<std::pair<size_t, UINT>> items;
    for (const auto* list : {&DocumentImageMenu(), &DocumentFiltersMenu()}) {
        for (const CCommandRouter::MenuItem& item : *list) {
            QByteArray path(item.path);
            path.replace("&", "");
            if (path.startsWith("Image/")) path.remove(0, 6);
            // Separators stand only at the top of this menu.
            if (!item.id && path.contains('/')) continue;
            paths.push_back(path);
            items.emplace_back(paths.size() - 1, item.id);
        }
        if (list == &DocumentImageMenu()) {
            paths.push_back(QByteArray());
            items.emplace_back(paths.size() - 1, 0u);
        }
    }
    std::vector<CCommandRouter::MenuItem> built;
    for (const auto& [index, id] : items) built.push_back({paths[index].constData(), id});
    router->BuildMenu(menu, built);
}

void CPelidorView::contextMenuEvent(QContextMenuEvent* e) {
    CPelidorDoc* d = GetDocument();
    CMainFrame* mf = AfxGetMainFrame();
    if (!d || !mf || IsStartPage() || d->m_nTool == 2 || m_bRightDrag) return;
    QMenu menu(this);
    BuildContextMenu(&menu, mf->Router());
    mf->Router()->UpdateAll();
    menu.exec(e->globalPos());
}

void CPelidorView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && m_tracker.IsTracking()) {
        m_tracker.TrackCancel();
        viewport()->update();
        return;
    }
    CMainFrame* mf = AfxGetMainFrame();
    if (e->key() == Qt::Key_Escape && mf && mf->IsFullScreen()) {
        PostMessage(mf->GetSafeHwnd(), WM_COMMAND, ID_VIEW_FULLSCREEN, 0);
        return;
    }
    CView::keyPressEvent(e);
}

QSize CPelidorView::PrintedSize(int width, int height, int dpiX, int dpiY, float zoom) {
    return QSize(static_cast<int>(static_cast<double>(width) * dpiX * zoom * 0.010416667),
                 static_cast<int>(static_cast<double>(height) * dpiY * zoom * 0.010416667));
}

void CPelidorView::OnPrint(QPrinter* printer) {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img || !img->IsValid()) return;
    QPainter p;
    if (!p.begin(printer)) return;
    const QSize printed = PrintedSize(static_cast<int>(img->GetWidth()), static_cast<int>(img->GetHeight()),
                                      printer->logicalDpiX(), printer->logicalDpiY(), d->m_fZoom);
    const int pw = printed.width(), ph = printed.height();
    // Transparent parts print white.
    p.drawImage(QRect(0, 0, pw, ph), QImageFromImage(*img));
    if (d->m_pMeasure) {
        const double scale = static_cast<double>(pw) / img->GetWidth();
        d->m_pMeasure->SetScale(scale);
        d->m_pMeasure->SetInfoFrmZoom(1, scale);
        d->m_pMeasure->DrawAllUnit(&p, QPoint(0, 0));
        d->m_pMeasure->SetInfoFrmZoom(0, 1);
        d->m_pMeasure->SetScale(d->m_fZoom);
    }
    p.end();
}
