// CMainFrame: the menus with the frame's accelerators, the toolbars and the status bar panes.
#include "app/mainframe.h"

#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "app/cmdids.h"
#include "app/controllist.h"
#include "app/imagecommands.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "resources/resourcetable.h"

void CMainFrame::BuildStatusBar() {
    QStatusBar* sb = statusBar();
    sb->setObjectName(QString::number(AFX_IDW_STATUS_BAR));
    const int widths[kPanes] = {0, 59142, 59143, 59144, 59145, 59137, 59138, 59139};
    for (int i = 0; i < kPanes; i++) {
        m_panes[i] = new QLabel(this);
        m_panes[i]->setObjectName(QString("pane%1").arg(i));
        if (i == 0) {
            sb->addWidget(m_panes[i], 1);
            continue;
        }
        const QString sizer = ResourceString(widths[i]);
        m_panes[i]->setMinimumWidth(m_panes[i]->fontMetrics().horizontalAdvance(sizer) + 6);
        m_panes[i]->setFrameShape(QFrame::StyledPanel);
        sb->addPermanentWidget(m_panes[i]);
    }
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
    if (pane >= 0 && pane < kPanes && m_panes[pane]) m_panes[pane]->setText(text);
}

QString CMainFrame::PaneText(int pane) const {
    return pane >= 0 && pane < kPanes && m_panes[pane] ? m_panes[pane]->text() : QString();
}

QStatusBar* CMainFrame::StatusBarWidget() const { return statusBar(); }

void CMainFrame::BuildMenus() {
    using M = CCommandRouter::MenuItem;
    QMenuBar* bar = menuBar();
    std::vector<M> file = {
        {"&File/&Open...\tCtrl+O", ID_FILE_OPEN}, {"&File/&Close", ID_FILE_CLOSE},
        {"&File/&Save\tCtrl+S", ID_FILE_SAVE},     {"&File/Save &As...", ID_FILE_SAVE_AS},
        {"&File/", 0},                             {"&File/&Print...\tCtrl+P", ID_FILE_PRINT}, {"&File/Print Pre&view", ID_FILE_PRINT_PREVIEW},
        {"&File/P&rint Setup...", ID_FILE_PRINT_SETUP}, {"&File/", 0},
    };
    m_pRouter->BuildMenus(bar, file);
    QMenu* fileMenu = bar->findChild<QMenu*>();
    m_pRecentMenu = fileMenu ? fileMenu->addMenu("Recent &Files") : nullptr;
    if (m_pRecentMenu)
        connect(m_pRecentMenu, &QMenu::aboutToShow, this, [this] {
            m_pRecentMenu->clear();
            const QStringList files = AfxGetPelidorApp()->Profile().RecentFiles();
            for (int i = 0; i < files.size(); i++) {
                QString path = files[i];
                m_pRecentMenu->addAction(QString("&%1 %2").arg(i + 1).arg(path), this, [path] {
                    AfxGetPelidorApp()->DocTemplate()->OpenDocumentFile(path);
                });
            }
        });
    m_pRouter->BuildMenus(bar, {{"&File/Capture...", ID_FILE_CAPTURE}, {"&File/", 0}, {"&File/E&xit", ID_APP_EXIT}});
    m_pRouter->BuildMenus(bar, {{"&Edit/&Undo\tCtrl+Z", ID_EDIT_UNDO},
                                {"&Edit/&Redo\tCtrl+Y", ID_EDIT_REDO},
                                {"&Edit/", 0},
                                {"&Edit/&Copy\tCtrl+C", ID_EDIT_COPY},
                                {"&Edit/&Paste\tCtrl+V", ID_EDIT_PASTE}});
    m_pRouter->BuildMenus(bar, {{"&View/Zoom &In", ID_VIEW_ZOOMIN},
                                {"&View/Zoom &Out", ID_VIEW_ZOOMOUT},
                                {"&View/&Normal Viewing (1:1)", ID_VIEW_NORMALVIEWING11},
                                {"&View/", 0},
                                {"&View/&Move", ID_VIEW_TOOLS_MOVE},
                                {"&View/&Select", ID_VIEW_TOOLS_SELECT},
                                {"&View/&Tracker", ID_VIEW_TOOLS_TRACKER},
                                {"&View/", 0},
                                {"&View/&Full Screen", ID_VIEW_FULLSCREEN},
                                {"&View/Magnifier", ID_VIEW_MAGNIFIER},
                                {"&View/Histogram", ID_VIEW_HISTOGRAM},
                                {"&View/Menu Style/Default", ID_MENUSTYLE_DEFAULT},
                                {"&View/Menu Style/XP", ID_MENUSTYLE_XP}});
    m_pRouter->BuildMenus(bar, DocumentImageMenu(), &m_docMenus);
    m_pRouter->BuildMenus(bar, DocumentFiltersMenu(), &m_docMenus);
    m_pRouter->BuildMenus(bar,
                          {{"&Measure/Select", ID_MEASURE_SELECT},
                           {"&Measure/Calibrate", ID_MEASURE_CALIBRATE},
                           {"&Measure/Calibrate Table", ID_MEASURE_CALIBRATETABLE},
                           {"&Measure/", 0},
                           {"&Measure/Line (Normal)", ID_MEASURE_LINE},
                           {"&Measure/Parallen", ID_MEASURE_PARALLEL},
                           {"&Measure/Perpendicular", ID_MEASURE_PERPENDICULAR},
                           {"&Measure/Rectangle", ID_MEASURE_RECTANGLE},
                           {"&Measure/Two Point Circle", ID_MEASURE_TWOPOINTCIRCLE},
                           {"&Measure/Three Point Circle", ID_MEASURE_THREEPOINTCIRCLE},
                           {"&Measure/Diameter Circle", ID_MEASURE_DIAMETERCIRCLE},
                           {"&Measure/Concentric Circle", ID_MEASURE_CONCENTRICCIRCLE},
                           {"&Measure/Polygon", ID_MEASURE_POLYGON},
                           {"&Measure/Angle", ID_MEASURE_ANGLE},
                           {"&Measure/Count", ID_MEASURE_COUNT},
                           {"&Measure/Remark", ID_MEASURE_REMARK},
                           {"&Measure/Arc", ID_MEASURE_ARC},
                           {"&Measure/Precision", ID_MEASURE_PRECISION},
                           {"&Measure/", 0},
                           {"&Measure/Measure Table", ID_MEASURE_TABLE},
                           {"&Measure/Show Scale Line", ID_MEASURE_SHOWSCALELINE},
                           {"&Measure/", 0},
                           {"&Measure/Keep Current Measure", ID_MEASURE_KEEPCURRENT},
                           {"&Measure/Delete", ID_MEASURE_DELETE}},
                          &m_docMenus);
    m_pWindowMenu = bar->addMenu("&Window");
    connect(m_pWindowMenu, &QMenu::aboutToShow, this, [this] { FillWindowMenu(); });
    FillWindowMenu();
    m_docMenus << m_pWindowMenu;
    m_pRouter->BuildMenus(bar, {{"&Help/Help...", ID_HELP_PDF}, {"&Help/&About Quillory...", ID_APP_ABOUT}});

    // Accelerators of the frame.
    struct Key {
        UINT id;
        QKeySequence key;
    };
    const Key keys[] = {
        {ID_EDIT_COPY, QKeySequence("Ctrl+C")},      {ID_EDIT_COPY, QKeySequence("Ctrl+Ins")},
        {ID_EDIT_PASTE, QKeySequence("Ctrl+V")},     {ID_EDIT_PASTE, QKeySequence("Shift+Ins")},
        {ID_EDIT_UNDO, QKeySequence("Ctrl+Z")},      {ID_EDIT_UNDO, QKeySequence("Alt+Backspace")},
        {ID_EDIT_REDO, QKeySequence("Ctrl+Y")},      {ID_IMAGE_DUPLICATE, QKeySequence("Ctrl+D")},
        {ID_FILE_OPEN, QKeySequence("Ctrl+O")},      {ID_FILE_PRINT, QKeySequence("Ctrl+P")},
        {ID_FILE_SAVE, QKeySequence("Ctrl+S")},      {ID_VIEW_ZOOMIN, QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)},
        {ID_VIEW_ZOOMOUT, QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)},
        {ID_VIEW_NORMALVIEWING11, QKeySequence(Qt::KeypadModifier | Qt::Key_Slash)},
        {ID_NEXT_PANE, QKeySequence(Qt::Key_F6)},     {ID_PREV_PANE, QKeySequence(Qt::SHIFT | Qt::Key_F6)},
    };
    for (const Key& k : keys) m_pRouter->AddShortcut(k.id, k.key);
    for (QAction* a : m_pRouter->findChildren<QAction*>()) addAction(a);
}

void CMainFrame::BuildToolBars() {
    m_pStandardBar = addToolBar(ResourceString(1237));
    m_pStandardBar->setObjectName("Standard");
    m_pRouter->BuildToolBar(m_pStandardBar, {ID_FILE_OPEN, ID_FILE_SAVE_AS, 0, ID_EDIT_UNDO, ID_EDIT_REDO, 0,
                                             ID_VIEW_TOOLS_MOVE, ID_VIEW_MAGNIFIER, ID_VIEW_ZOOMIN, ID_VIEW_ZOOMOUT});
    m_pZoomCombo = new QComboBox(m_pStandardBar);
    m_pZoomCombo->setObjectName(QString::number(ID_VIEW_ZOOMLIST));
    m_pZoomCombo->addItems({" 25%", " 50%", " 75%", " 100%", " 150%", " 200%", " 400%", " 800%", " 1600%"});
    m_pZoomCombo->setCurrentIndex(3);
    m_pZoomCombo->setFixedWidth(70);
    m_pStandardBar->addWidget(m_pZoomCombo);
    connect(m_pZoomCombo, &QComboBox::activated, this, [this](int) {
        if (auto* v = dynamic_cast<CPelidorView*>(ActiveView()))
            if (v->GetDocument() && v->GetDocument()->GetImage()) v->ZoomList(m_pZoomCombo->currentText());
    });
    m_pRouter->BuildToolBar(m_pStandardBar, {0, ID_CAMERA_LONGEXPOSURE, ID_IMAGE_DELETE, 0, ID_HELP_PDF});
    BuildMeasureBar();

    m_pImageBar = addToolBar(ResourceString(1239));
    m_pImageBar->setObjectName("Image");
    // The bar's order, with the buttons of commands that exist; the right-angle turns are menu-only.
    m_pRouter->BuildToolBar(m_pImageBar, {ID_VIEW_NORMALVIEWING11, ID_IMAGE_OPTIONS, ID_APP_EXIT, ID_IMAGE_ROTATE,
                                          ID_IMAGE_FLIP, ID_IMAGE_MIRROR, ID_IMAGE_RESAMPLE, ID_IMAGE_CROP,
                                          ID_IMAGE_GRAYSCALE, ID_IMAGE_NEGATIVE, ID_IMAGE_DECREASEBPP,
                                          ID_IMAGE_INCREASEBPP, ID_IMAGE_SETTRANSPARENCY,
                                          ID_IMAGE_REMOVETRANSPARENCY, ID_IMAGE_PALETTE});
    m_pImageBar->hide();
}

void CMainFrame::SetZoomComboText(const QString& text) {
    if (!m_pZoomCombo) return;
    const QString t = " " + QString(text).remove(' ');
    while (m_pZoomCombo->count() > 9) m_pZoomCombo->removeItem(9);
    int idx = m_pZoomCombo->findText(t);
    if (idx < 0) {
        // A zoom off the list shows as one extra entry.
        m_pZoomCombo->addItem(t);
        idx = m_pZoomCombo->count() - 1;
    }
    m_pZoomCombo->setCurrentIndex(idx);
}

void CMainFrame::BuildMeasureBar() {
    m_pMeasureBar = addToolBar(ResourceString(1238));
    m_pMeasureBar->setObjectName("Measure");
    m_pRouter->BuildToolBar(m_pMeasureBar, {ID_MEASURE_SELECT, ID_MEASURE_CALIBRATE, ID_MEASURE_CALIBRATETABLE, 0,
                                            ID_MEASURE_LINE, ID_MEASURE_RECTANGLE, ID_MEASURE_THREEPOINTCIRCLE,
                                            ID_MEASURE_POLYGON, ID_MEASURE_ANGLE, ID_MEASURE_COUNT, ID_MEASURE_REMARK,
                                            ID_MEASURE_ARC, ID_MEASURE_PRECISION, 0, ID_MEASURE_TABLE, 0,
                                            ID_MEASURE_KEEPCURRENT, ID_MEASURE_DELETE});
    // "Calibrate Table" is a split button: its main part issues the command, its arrow the list.
    m_pCalibrateButton = qobject_cast<QToolButton*>(m_pMeasureBar->widgetForAction(m_pRouter->Action(ID_MEASURE_CALIBRATETABLE)));
    if (m_pCalibrateButton)
        CControlList::Attach(m_pCalibrateButton, [this] { return ActiveDocument(); },
                             [this](unsigned id) {
                                 m_pRouter->Execute(id);
                                 m_pRouter->UpdateAll();
                             });
}
