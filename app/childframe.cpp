#include "app/childframe.h"

#include <QCloseEvent>
#include <QGridLayout>

#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "resources/resourcetable.h"

CChildFrame::CChildFrame(CPelidorDoc* doc) : m_pDoc(doc) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(ResourceIcon(kProgramIconId));
    auto* inner = new QWidget(this);
    auto* grid = new QGridLayout(inner);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    m_pHorz = new CRulerBar(true, inner);
    m_pHorz->setObjectName("1232");
    m_pVert = new CRulerBar(false, inner);
    m_pVert->setObjectName("1233");
    m_pHorz->SetPartner(m_pVert);
    m_pVert->SetPartner(m_pHorz);
    m_pHorz->SetBackgroundColor(QColor(216, 231, 252));
    m_pVert->SetBackgroundColor(QColor(216, 231, 252));
    m_pView = new CPelidorView(doc, inner);
    grid->addWidget(m_pHorz, 0, 1);
    grid->addWidget(m_pVert, 1, 0);
    grid->addWidget(m_pView, 1, 1);
    setWidget(inner);
    // The rulers stay hidden until the view first reports an image.
    m_pHorz->hide();
    m_pVert->hide();
}

void CChildFrame::UpdateRulers(int code, const QPoint& scroll, const QPoint& mouse, const QRect& rc, float zoom) {
    if (code != 1) m_pHorz->Update(code, scroll, mouse, rc, zoom);
    if (code != 2) m_pVert->Update(code, scroll, mouse, rc, zoom);
    m_pHorz->show();
    m_pVert->show();
}

void CChildFrame::closeEvent(QCloseEvent* e) {
    if (m_pDoc && !m_pView->GetDocument()) {
        e->accept();
        return;
    }
    if (!m_pDoc->CanCloseFrame()) {
        e->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(e);
}
