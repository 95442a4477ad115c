#include "app/imageproctabhost.h"

#include <QFrame>
#include <QTabWidget>
#include <QTreeView>

#include "app/pageimageproc.h"

CImageProcTabHost::CImageProcTabHost(QWidget* parent) : QWidget(parent) {
    m_pTree = findChild<QTreeView*>(QString::number(kTreeId));
    if (!m_pTree) {
        m_pTree = new QTreeView(this);
        m_pTree->setObjectName(QString::number(kTreeId));
        m_pTree->setRootIsDecorated(true);  // buttons and lines at the root
        m_pTree->setFrameShape(QFrame::StyledPanel);
        m_pTree->setFrameShadow(QFrame::Sunken);  // the static edge
        m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
        m_pTree->setHeaderHidden(true);
    }
    m_pTabs = new QTabWidget(this);
    m_pTabs->setDocumentMode(true);
    m_pPage = new CPageImageProc(m_pTabs);
    m_pTabs->insertTab(0, m_pPage, "ImageProcess");
    m_pTabs->raise();
}

void CImageProcTabHost::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_pTabs->setGeometry(rect());
    m_pTabs->update();
}
