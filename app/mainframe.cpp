#include "app/mainframe.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QDockWidget>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include <algorithm>

#include "app/aboutdialog.h"
#include "app/cmdids.h"
#include "app/commandtable.h"
#include "app/imagecommands.h"
#include "ui/messages.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "ui/promptservice.h"
#include "app/startupsplash.h"
#include "app/foldertreectrl.h"
#include "app/clipboardimage.h"
#include "app/capturedialog.h"
#include "app/imageconvert.h"
#include "app/windowlister.h"
#include "app/controllist.h"
#include "app/histogramwnd.h"
#include "app/magnifierwnd.h"
#include "app/measurecommands.h"
#include <QToolButton>
#include "capture/camerapluglistener.h"
#include "resources/resourcetable.h"

CMainFrame::CMainFrame() {
    setObjectName("MainFrame");
    setWindowTitle("Quillory");
    setWindowIcon(ResourceIcon(kProgramIconId));
    m_pRouter = new CCommandRouter(this);
    m_pRouter->SetCommandTable(FindCommandInfo, ResourceCommandIcon);
    m_pRouter->SetChain([this] {
        std::vector<CCmdTarget*> chain;
        if (CView* v = ActiveView()) chain.push_back(v);
        if (CPelidorDoc* d = ActiveDocument()) chain.push_back(d);
        chain.push_back(this);
        chain.push_back(AfxGetPelidorApp());
        return chain;
    });
    RegisterWindow(this);
}

CMainFrame::~CMainFrame() {
    // The camera window first: a recording it finishes is announced to this window.
    delete m_pCameraFrame.data();
    DeleteToolWindows();
    DeletePlugListener();
    UnregisterWindow();
}

CView* CMainFrame::ActiveView() const {
    QMdiSubWindow* sub = m_pMdiArea ? m_pMdiArea->activeSubWindow() : nullptr;
    if (!sub && m_pMdiArea && !m_pMdiArea->subWindowList().isEmpty()) sub = m_pMdiArea->currentSubWindow();
    return sub ? sub->findChild<CView*>() : nullptr;
}

CPelidorDoc* CMainFrame::ActiveDocument() const {
    CView* v = ActiveView();
    return v ? dynamic_cast<CPelidorDoc*>(v->GetDocument()) : nullptr;
}

bool CMainFrame::OnCreate() {
    m_pMdiArea = new QMdiArea(this);
    m_pMdiArea->setViewMode(QMdiArea::TabbedView);
    m_pMdiArea->setTabsClosable(true);
    m_pMdiArea->setTabsMovable(true);
    m_pMdiArea->setDocumentMode(true);
    setCentralWidget(m_pMdiArea);
    CStartupSplash::ShowSplashScreen(this);
    BuildStatusBar();
    BuildMenus();
    BuildToolBars();
    RegisterCommands();

    // "Folder" docking pane (id 1235); its tree is made by the folder pane when it exists.
    m_pFolderPane = new QDockWidget("Folder", this);
    m_pFolderPane->setObjectName("Pane1235");
    addDockWidget(Qt::LeftDockWidgetArea, m_pFolderPane);
    m_pFolderPane->hide();

    if (QTabBar* tabs = m_pMdiArea->findChild<QTabBar*>()) tabs->installEventFilter(this);
    qApp->installEventFilter(this);  // keypad accelerators, see OnKeypadKey
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, [this] { OnActivateChild(); });
    // Toolbar buttons follow their update rules while the program is idle.
    m_pIdleTimer = new QTimer(this);
    m_pIdleTimer->setInterval(250);
    connect(m_pIdleTimer, &QTimer::timeout, m_pRouter, &CCommandRouter::UpdateAll);
    m_pIdleTimer->start();

    CProfile& prof = AfxGetPelidorApp()->Profile();
    const int l = prof.GetProfileInt("Screen", "left", 0), t = prof.GetProfileInt("Screen", "top", 0);
    const int r = prof.GetProfileInt("Screen", "right", 850), b = prof.GetProfileInt("Screen", "bottom", 650);
    if (l && t && r && b) setGeometry(l, t, r - l, b - t);
    else resize(850, 650);
    // One state holds the bars and the docking panes together. The window's own rectangle comes
    // from "Screen" alone, so a stored rectangle that the rule above refuses stays refused.
    QByteArray state = prof.GetProfileBinary("CommandBars", "State");
    if (!state.isEmpty()) restoreState(state);

    // Plugging and unplugging cameras reaches this window while the program runs.
    if (!m_pPlugListener) m_pPlugListener = new CCameraPlugListener;
    m_pPlugListener->Register(GetSafeHwnd());
    return true;
}

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
        if (CPelidorDoc* d = ActiveDocument())
            if (d->GetImage()) d->ZoomList(m_pZoomCombo->currentText());
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

void CMainFrame::RegisterCommands() {
    OnCommand(ID_EDIT_PASTE, [this] { OnEditPaste(); });
    OnCommand(ID_FILE_CAPTURE, [this] { OnCapture(); });
    OnUpdateUI(ID_EDIT_PASTE, [](CCmdUI* ui) { ui->Enable(ClipboardHasImage()); });
    OnCommand(ID_VIEW_FULLSCREEN, [this] { OnFullScreen(); });
    OnUpdateUI(ID_VIEW_FULLSCREEN, [this](CCmdUI* ui) { ui->SetCheck(m_bFullScreen); });
    OnCommand(ID_CAMERA_LONGEXPOSURE, [this] {
        if (!m_pCameraFrame) m_bLongExposure = !m_bLongExposure;
    });
    OnUpdateUI(ID_CAMERA_LONGEXPOSURE, [this](CCmdUI* ui) { ui->SetCheck(m_bLongExposure); });
    OnCommand(ID_APP_EXIT, [this] { close(); });
    // The two looks of the program: Qt's own style, or the platform's classic one when it exists.
    OnCommand(ID_MENUSTYLE_DEFAULT, [this] { SetMenuStyle("Fusion"); });
    OnCommand(ID_MENUSTYLE_XP, [this] { SetMenuStyle("Windows"); });
    OnCommand(ID_VIEW_HISTOGRAM, [this] { OnViewHistogram(); });
    OnUpdateUI(ID_VIEW_HISTOGRAM, [this](CCmdUI* ui) { ui->SetCheck(m_pHistogramPane && m_pHistogramPane->isVisible()); });
    CMeasureCommands::Register();
    OnCommand(ID_NEXT_PANE, [this] { m_pMdiArea->activateNextSubWindow(); });
    OnCommand(ID_PREV_PANE, [this] { m_pMdiArea->activatePreviousSubWindow(); });
}

void CMainFrame::SetMenuStyle(const QString& name) {
    if (QStyle* style = QStyleFactory::create(name)) QApplication::setStyle(style);
    m_pMdiArea->update();
    update();
}

void CMainFrame::OnCapture() {
    std::unique_ptr<IWindowLister> lister = IWindowLister::Create();
    const WindowHandle camera = m_pCameraFrame ? static_cast<WindowHandle>(m_pCameraFrame->winId()) : 0;
    if (camera) lister->SetTopmost(camera, true);
    WindowHandle chosen = 0;
    {
        CCaptureDialog dlg(*lister, this);
        const bool ok = CPromptService::Instance().DoModal(&dlg) == QDialog::Accepted;
        if (camera && (!ok || dlg.ChosenWindow() != camera)) lister->SetTopmost(camera, false);
        if (!ok) return;
        chosen = dlg.ChosenWindow();
    }
    // The window's rectangle clipped to the screen; the part left or above it is skipped.
    QRect r = lister->WindowRect(chosen);
    if (r.isEmpty()) return;  // the window went away
    const QRect screen = lister->WindowRect(lister->Desktop());
    if (!screen.isEmpty()) r = r.intersected(screen);
    if (r.width() < 1 || r.height() < 1) return;
    lister->SetTopmost(chosen, true);
    QEventLoop wait;
    QTimer::singleShot(100, &wait, &QEventLoop::quit);
    wait.exec();
    const bool stillThere = !lister->WindowRect(chosen).isEmpty();
    const QImage picture = stillThere ? lister->GrabScreen(r) : QImage();
    lister->SetTopmost(chosen, false);
    raise();
    activateWindow();
    if (!stillThere) return;
    auto image = std::make_unique<PxImage>();
    if (picture.isNull() || !ImageFromQImage(picture, *image)) {
        AfxMessageBox("The screen's picture cannot be read on this display.");
        return;
    }
    CPelidorApp* app = AfxGetPelidorApp();
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    if (!doc) return;
    doc->SetImage(image.release());
    doc->SetTitle(QString("Captured Image %1").arg(app->m_nNewImage++));
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
}

void CMainFrame::OnEditPaste() {
    PxImage* image = ImageFromClipboard();
    if (!image) return;
    CPelidorApp* app = AfxGetPelidorApp();
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    if (!doc) {
        delete image;
        return;
    }
    doc->SetImage(image);
    doc->SetTitle(QString("Clipboard Image %1").arg(app->m_nNewImage++));
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
}

void CMainFrame::OnFullScreen() {
    m_bFullScreen = !m_bFullScreen;
    if (m_bFullScreen) {
        m_pStandardBar->hide();
        m_pMeasureBar->hide();
        statusBar()->hide();
        showFullScreen();
        if (QMdiSubWindow* s = m_pMdiArea->activeSubWindow()) s->showMaximized();
    } else {
        showNormal();
        m_pStandardBar->show();
        m_pMeasureBar->show();
        // "Measure" goes back right of "Standard".
        insertToolBar(m_pImageBar, m_pMeasureBar);
        if (toolBarBreak(m_pMeasureBar)) removeToolBarBreak(m_pMeasureBar);
        statusBar()->show();
    }
}

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

bool CMainFrame::OnKeypadKey(QObject* o, QKeyEvent* e) {
    // The keypad's "+", "-" and "/" are the frame's accelerators. Where the platform's key map
    // does not match them as shortcuts, the key arrives as a plain press: run it here, unless
    // a field that takes typed text has the focus.
    if (!(e->modifiers() & Qt::KeypadModifier) || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    UINT id = 0;
    switch (e->key()) {
    case Qt::Key_Plus: id = ID_VIEW_ZOOMIN; break;
    case Qt::Key_Minus: id = ID_VIEW_ZOOMOUT; break;
    case Qt::Key_Slash: id = ID_VIEW_NORMALVIEWING11; break;
    default: return false;
    }
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w->window() != this) return false;
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QTextEdit*>(w) ||
        qobject_cast<QPlainTextEdit*>(w))
        return false;
    m_pRouter->Execute(id);
    m_pRouter->UpdateAll();
    return true;
}

bool CMainFrame::eventFilter(QObject* o, QEvent* e) {
    // The expose paints the window before it returns; the waiting launch runs right after it.
    if (e->type() == QEvent::Expose && m_pLaunchTimeout && o == windowHandle() && windowHandle()->isExposed())
        RunDeferredLaunch();
    if (e->type() == QEvent::KeyPress && OnKeypadKey(o, static_cast<QKeyEvent*>(e))) return true;
    if (e->type() == QEvent::MouseButtonPress && qobject_cast<QTabBar*>(o)) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::RightButton && OnTabClientMouse(me->position().toPoint())) return true;
    }
    return QMainWindow::eventFilter(o, e);
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
    // The "Folder" pane goes with the start page.
    if (start && m_pFolderPane->isHidden()) {
        FolderTree();
        m_pFolderPane->show();
    } else if (imageView && !m_pFolderPane->isHidden()) {
        m_pFolderPane->hide();
    }
    // Every document fills its tab, the start page too.
    if (sub && m_pMdiArea->viewMode() == QMdiArea::TabbedView && !sub->isMaximized()) sub->showMaximized();
    if (imageView) SetZoomComboText(QString("%1%").arg(static_cast<int>(doc->m_fZoom * 100)));
    if (doc) doc->RefreshStatusPanes();
    m_pRouter->UpdateAll();
}

CFolderTreeCtrl* CMainFrame::FolderTree() {
    if (!m_pFolderTree) {
        m_pFolderTree = new CFolderTreeCtrl(m_pFolderPane);
        m_pFolderPane->setWidget(m_pFolderTree);
    }
    return m_pFolderTree;
}

void CMainFrame::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // Documents opened while the frame was hidden were never activated: the first one is now,
    // so that it fills its tab and its panes follow it.
    if (!m_pMdiArea->activeSubWindow() && !m_pMdiArea->subWindowList().isEmpty())
        m_pMdiArea->setActiveSubWindow(m_pMdiArea->subWindowList().first());
    OnActivateChild();
}

void CMainFrame::SaveSettings() {
    CPelidorApp* app = AfxGetPelidorApp();
    CProfile& p = app->Profile();
    p.WriteProfileInt("Screen", "maximized", isMaximized() ? 1 : 0);
    if (!isMaximized() && !isMinimized() && !m_bFullScreen) {
        QRect g = geometry();
        QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect(0, 0, 1024, 768);
        const int left = std::min(g.left(), screen.width() - 100), top = std::min(g.top(), screen.height() - 100);
        p.WriteProfileInt("Screen", "left", left);
        p.WriteProfileInt("Screen", "top", top);
        p.WriteProfileInt("Screen", "right", left + g.width());
        p.WriteProfileInt("Screen", "bottom", top + g.height());
    }
    const PxImage::tagPxTextInfo& t = app->m_TextInfo;
    p.WriteProfileString("TextTool", "lfFaceName", QString::fromUtf8(t.lfont.lfFaceName));
    p.WriteProfileInt("TextTool", "lfCharSet", t.lfont.lfCharSet);
    p.WriteProfileInt("TextTool", "lfWeight", t.lfont.lfWeight);
    p.WriteProfileInt("TextTool", "lfItalic", t.lfont.lfItalic);
    p.WriteProfileInt("TextTool", "lfUnderline", t.lfont.lfUnderline);
    p.WriteProfileInt("TextTool", "fcolor", static_cast<int>(t.fcolor));
    p.WriteProfileInt("TextTool", "bcolor", static_cast<int>(t.bcolor));
    p.WriteProfileInt("TextTool", "opaque", t.opaque);
    p.WriteProfileInt("TextTool", "opacity", static_cast<int>(std::lround(t.b_opacity * 100)));
    p.WriteProfileInt("TextTool", "roundradius", t.r_radius);
    p.WriteProfileInt("Options", "JpegQuality", app->m_nJpegQuality);
    p.WriteProfileInt("Measure", "bShowScaleLine", app->m_bShowScaleLine);
    p.WriteProfileString("FileSave", "sPath", g_strSaveFolder);
    p.WriteProfileBinary("CommandBars", "State", saveState());
    p.Flush();
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    if (m_pCameraFrame) m_pCameraFrame->close();
    SaveSettings();
    CPelidorApp* app = AfxGetPelidorApp();
    if (!app->SaveAllModified()) {
        app->m_bClosing = 0;
        e->ignore();
        return;
    }
    // The tool windows go before the views they read.
    DeleteToolWindows();
    // Documents go before the window: each one stops its command and waits for its threads.
    app->DocTemplate()->CloseAllDocuments();
    DeletePlugListener();
    e->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* e) {
    OnDropFiles(e->mimeData()->urls());
    e->acceptProposedAction();
}

void CMainFrame::OnDropFiles(const QList<QUrl>& urls) {
    for (const QUrl& u : urls)
        if (u.isLocalFile()) AfxGetPelidorApp()->DocTemplate()->OpenDocumentFile(u.toLocalFile());
}

// ---- measurement bar and tool windows ----

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
