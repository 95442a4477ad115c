// CMainFrame: the tool windows, made on first use: the "Folder" pane's tree, the histogram and
// the magnifier.
#include "app/mainframe.h"

#include <QDockWidget>

#include "app/foldertreectrl.h"
#include "app/histogramwnd.h"
#include "app/magnifierwnd.h"
#include "app/thumbnaillistctrl.h"

CFolderTreeCtrl* CMainFrame::FolderTree() {
    if (!m_pFolderTree) {
        m_pFolderTree = new CFolderTreeCtrl(m_pFolderPane);
        m_pFolderPane->setWidget(m_pFolderTree);
        if (m_pStartList) m_pFolderTree->SetList(m_pStartList);
    }
    return m_pFolderTree;
}

void CMainFrame::SetStartPageList(CThumbnailListCtrl* list) {
    m_pStartList = list;
    if (m_pFolderTree) m_pFolderTree->SetList(list);
    else if (m_bPictured) FolderTree();  // takes the list as it is made
}

void CMainFrame::OnFirstPicture() {
    // The tree's file system model looks up a MIME type and a themed icon for every folder it
    // lists, on this thread, as its rows come in: some 15 ms that used to come before the frame's
    // first picture. Its rows come in on their own time anyway, so the pane shows them a moment
    // after that picture instead.
    if (m_bPictured) return;
    m_bPictured = true;
    QMetaObject::invokeMethod(
        this, [self = QPointer<CMainFrame>(this)] {
            if (self && !self->m_pFolderTree && !self->m_pFolderPane->isHidden()) self->FolderTree();
        },
        Qt::QueuedConnection);
}

CHistogramWnd* CMainFrame::Histogram(bool create) {
    if (!m_pHistogram && create) {
        m_pHistogramPane = new QDockWidget("Histogram", this);
        m_pHistogramPane->setObjectName("PaneHistogram");
        m_pHistogramPane->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                                      QDockWidget::DockWidgetFloatable);
        m_pHistogram = new CHistogramWnd(m_pHistogramPane);
        m_pHistogramPane->setWidget(m_pHistogram);
        addDockWidget(Qt::RightDockWidgetArea, m_pHistogramPane);
    }
    return m_pHistogram;
}

void CMainFrame::OnViewHistogram() {
    Histogram(true);
    m_pHistogramPane->show();
    m_pHistogramPane->raise();
    m_pHistogram->update();
}

CMagnifierWnd* CMainFrame::Magnifier(bool create) {
    if (!m_pMagnifier && create) m_pMagnifier = new CMagnifierWnd(this);
    return m_pMagnifier;
}

void CMainFrame::DeleteToolWindows() {
    delete m_pHistogramPane;  // and the histogram window inside it
    m_pHistogramPane = nullptr;
    m_pHistogram = nullptr;
    delete m_pMagnifier;
    m_pMagnifier = nullptr;
}
