// CMainFrame: the document windows: the active one with the caption, bars and panes that follow
// it, the "Window" menu, "Cascade", and the tab context menu.
#include "app/mainframe.h"

#include <QComboBox>
#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>

#include <algorithm>

#include "app/cmdids.h"
#include "app/histogramwnd.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "ui/promptservice.h"

bool CMainFrame::OnTabClientMouse(const QPoint& pos, bool exec) {
    QTabBar* tabs = m_pMdiArea->findChild<QTabBar*>();
    if (!tabs) return false;
    const int hit = tabs->tabAt(pos);
    if (hit < 0) return false;
    QList<QMdiSubWindow*> subs = m_pMdiArea->subWindowList();
    if (hit >= subs.size()) return false;
    m_pMdiArea->setActiveSubWindow(subs[hit]);
    QMenu menu(this);
    menu.addAction(m_pRouter->Action(ID_FILE_SAVE));
    menu.addAction(m_pRouter->Action(ID_FILE_SAVE_AS));
    menu.addAction(m_pRouter->Action(ID_FILE_CLOSE));
    m_pRouter->UpdateAll();
    if (exec) menu.exec(tabs->mapToGlobal(pos));
    return true;
}

void CMainFrame::CascadeWindows() {
    m_pMdiArea->cascadeSubWindows();
    const QSize area = m_pMdiArea->viewport()->size();
    QList<QMdiSubWindow*> cascaded;
    QPoint last;
    for (QMdiSubWindow* sub : m_pMdiArea->subWindowList())
        if (sub->isVisible() && !sub->isMinimized() && !sub->isMaximized()) {
            cascaded << sub;
            last.setX(std::max(last.x(), sub->x()));
            last.setY(std::max(last.y(), sub->y()));
        }
    const QSize size = QSize(area.width() - last.x(), area.height() - last.y())
                           .expandedTo(area * 2 / 3)
                           .boundedTo(area);
    // None reaches past the area's edge.
    for (QMdiSubWindow* sub : cascaded)
        sub->resize(size.boundedTo(QSize(area.width() - sub->x(), area.height() - sub->y())).expandedTo(sub->minimumSize()));
}

void CMainFrame::FillWindowMenu() {
    m_pWindowMenu->clear();
    m_pWindowMenu->addAction("&Cascade", this, &CMainFrame::CascadeWindows);
    m_pWindowMenu->addAction("&Tile", m_pMdiArea, &QMdiArea::tileSubWindows);
    const QList<QMdiSubWindow*> subs = m_pMdiArea->subWindowList();
    if (subs.isEmpty()) return;
    m_pWindowMenu->addSeparator();
    QMdiSubWindow* active = m_pMdiArea->activeSubWindow() ? m_pMdiArea->activeSubWindow() : m_pMdiArea->currentSubWindow();
    constexpr int kListed = 9;
    for (int i = 0; i < subs.size() && i < kListed; i++) {
        QPointer<QMdiSubWindow> sub = subs[i];
        QAction* a = m_pWindowMenu->addAction(QString("&%1 %2").arg(i + 1).arg(sub->windowTitle()));
        a->setCheckable(true);
        a->setChecked(sub == active);
        connect(a, &QAction::triggered, this, [this, sub] {
            if (sub) m_pMdiArea->setActiveSubWindow(sub);
        });
    }
    if (subs.size() > kListed)
        m_pWindowMenu->addAction("&More Windows...", this, [this] {
            const QList<QMdiSubWindow*> all = m_pMdiArea->subWindowList();
            QStringList titles;
            for (QMdiSubWindow* s : all) titles << s->windowTitle();
            const int current = static_cast<int>(all.indexOf(m_pMdiArea->activeSubWindow()));
            const int chosen = CPromptService::Instance().ChooseWindow(this, titles, current);
            const QList<QMdiSubWindow*> now = m_pMdiArea->subWindowList();
            if (chosen >= 0 && chosen < all.size() && now.contains(all[chosen])) m_pMdiArea->setActiveSubWindow(all[chosen]);
        });
}

void CMainFrame::UpdateFrameTitle() {
    QMdiSubWindow* sub = m_pMdiArea ? m_pMdiArea->activeSubWindow() : nullptr;
    if (!sub && m_pMdiArea) sub = m_pMdiArea->currentSubWindow();
    const QString doc = sub ? sub->windowTitle() : QString();
    setWindowTitle(doc.isEmpty() ? QString("Quillory") : QString("Quillory - %1").arg(doc));
}

void CMainFrame::OnActivateChild() {
    // The caption follows the active document, also when it is renamed (Save As).
    disconnect(m_activeTitle);
    QMdiSubWindow* sub = m_pMdiArea->activeSubWindow() ? m_pMdiArea->activeSubWindow() : m_pMdiArea->currentSubWindow();
    if (!sub && !m_pMdiArea->subWindowList().isEmpty()) sub = m_pMdiArea->subWindowList().first();
    if (sub)
        m_activeTitle = connect(sub, &QWidget::windowTitleChanged, this, [this] { UpdateFrameTitle(); });
    UpdateFrameTitle();
    CView* subView = sub ? sub->findChild<CView*>() : nullptr;
    CPelidorDoc* doc = subView ? dynamic_cast<CPelidorDoc*>(subView->GetDocument()) : ActiveDocument();
    const bool start = doc && doc->m_bStartPage;
    const bool imageView = doc && !doc->m_bStartPage;
    for (QMenu* m : m_docMenus) m->menuAction()->setVisible(imageView);
    m_pImageBar->setVisible(imageView && m_pImageBar->isVisible());
    for (UINT id : {ID_FILE_SAVE_AS, ID_EDIT_UNDO, ID_EDIT_REDO, ID_VIEW_TOOLS_MOVE, ID_VIEW_MAGNIFIER, ID_VIEW_ZOOMIN,
                    ID_VIEW_ZOOMOUT})
        m_pRouter->Action(id)->setVisible(!start);
    m_pRouter->Action(ID_IMAGE_DELETE)->setVisible(start || !doc);
    if (m_pHistogram) m_pHistogram->update();
    for (QAction* a : m_pStandardBar->actions())
        if (m_pStandardBar->widgetForAction(a) == m_pZoomCombo) a->setVisible(!start);
    m_pRouter->Action(ID_CAMERA_LONGEXPOSURE)->setVisible(start || !doc);
    statusBar()->setVisible(!start && !m_bFullScreen);
    // The "Folder" pane goes with the start page; its tree is made after the frame's first picture.
    if (start && m_pFolderPane->isHidden()) {
        if (m_bPictured) FolderTree();
        m_pFolderPane->show();
    } else if (imageView && !m_pFolderPane->isHidden()) {
        m_pFolderPane->hide();
    }
    // Every document fills its tab, the start page too.
    if (sub && m_pMdiArea->viewMode() == QMdiArea::TabbedView && !sub->isMaximized()) sub->showMaximized();
    if (auto* v = dynamic_cast<CPelidorView*>(subView); imageView && v)
        SetZoomComboText(QString("%1%").arg(static_cast<int>(v->m_fZoom * 100)));
    if (doc) doc->RefreshStatusPanes();
    m_pRouter->UpdateAll();
}
