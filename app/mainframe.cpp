// CMainFrame: construction and start-up with the layout from the profile, the frame's own
// commands, full screen, the keypad keys, drops, and the settings saved on close.
#include "app/mainframe.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
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
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "app/startupsplash.h"
#include "app/clipboardimage.h"
#include "app/measurecommands.h"
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
    // The expose paints the window before it returns; the folder tree and the waiting launch are
    // posted, so they come right after it (the tree first: it is quickly made, while a camera can
    // hold this thread for a while as it opens).
    if (e->type() == QEvent::Expose && o == windowHandle() && windowHandle()->isExposed()) {
        OnFirstPicture();
        if (m_pLaunchTimeout) RunDeferredLaunch();
    }
    if (e->type() == QEvent::KeyPress && OnKeypadKey(o, static_cast<QKeyEvent*>(e))) return true;
    if (e->type() == QEvent::MouseButtonPress && qobject_cast<QTabBar*>(o)) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::RightButton && OnTabClientMouse(me->position().toPoint())) return true;
    }
    return QMainWindow::eventFilter(o, e);
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
