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
        if (mf) mf->SetStartPageList(m_pThumbList);
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
    RegisterZoomCommands();
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
    const int offx = std::max(0, static_cast<int>((c.width() - img->GetWidth() * m_fZoom) / 2));
    const int offy = std::max(0, static_cast<int>((c.height() - img->GetHeight() * m_fZoom) / 2));
    return QPoint(offx, offy);
}

void CPelidorView::ComputeImageRect() {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img) return;
    const QPoint off = CenterOffset();
    m_rcImage = QRect(off, QSize(static_cast<int>(img->GetWidth() * m_fZoom), static_cast<int>(img->GetHeight() * m_fZoom)));
    NotifyRulers(0);
}

QPoint CPelidorView::WindowToImage(const QPoint& p) const {
    CPelidorDoc* d = GetDocument();
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img) return p;
    double x = p.x(), y = p.y();
    if (!m_bStretch) {
        const QPoint off = CenterOffset();
        x = (x - off.x() + horizontalScrollBar()->value()) / m_fZoom;
        y = (y - off.y() + verticalScrollBar()->value()) / m_fZoom;
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
    if (img && !m_bStretch)
        total = QSize(static_cast<int>(img->GetWidth() * m_fZoom), static_cast<int>(img->GetHeight() * m_fZoom));
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
    f->UpdateRulers(code, ScrollPosition(), mouse, m_rcImage, m_fZoom);
}

void CPelidorView::paintEvent(QPaintEvent*) {
    QPainter vp(viewport());
    CPelidorDoc* d = GetDocument();
    COffscreenDC dc(&vp, viewport()->rect(), ScrollPosition(), kBackground);
    PxImage* img = d ? d->GetDisplayImage() : nullptr;
    if (!img || !img->IsValid()) return;
    ComputeImageRect();
    if (m_bStretch) {
        const QPoint s = ScrollPosition();
        img->Draw(dc.Surface(), s.x(), s.y(), viewport()->width(), viewport()->height(), nullptr, m_bSmooth != 0);
    } else {
        img->Draw(dc.Surface(), m_rcImage.left(), m_rcImage.top(), m_rcImage.width(), m_rcImage.height(), nullptr,
                  m_bSmooth && m_fZoom != 1.0f);
    }
    QPainter* p = dc.Painter();
    if (d->m_pMeasure) {
        d->m_pMeasure->SetScale(m_fZoom);
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
            poly << QPointF(d->m_SelPoints[i].x() * m_fZoom + m_rcImage.left(), d->m_SelPoints[i].y() * m_fZoom + m_rcImage.top());
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
    if (!d || !mf || IsStartPage() || d->m_nTool == kToolZoom || m_bRightDrag) return;
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
                                      printer->logicalDpiX(), printer->logicalDpiY(), m_fZoom);
    const int pw = printed.width(), ph = printed.height();
    // Transparent parts print white.
    p.drawImage(QRect(0, 0, pw, ph), QImageFromImage(*img));
    if (d->m_pMeasure) {
        const double scale = static_cast<double>(pw) / img->GetWidth();
        d->m_pMeasure->SetScale(scale);
        d->m_pMeasure->SetInfoFrmZoom(1, scale);
        d->m_pMeasure->DrawAllUnit(&p, QPoint(0, 0));
        d->m_pMeasure->SetInfoFrmZoom(0, 1);
        d->m_pMeasure->SetScale(m_fZoom);
    }
    p.end();
}
