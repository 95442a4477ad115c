#include "capture/cameraframe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMoveEvent>
#include <QProcess>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>

#include "ui/promptservice.h"
#include "capture/autoexposuredlg.h"
#include "capture/camerasettingdlg.h"
#include "capture/hubreadback.h"
#include "capture/cameratables.h"
#include "capture/camerathread.h"
#include "capture/cameraview.h"
#include "capture/exposurepanel.h"
#include "capture/saveconfigdlg.h"
#include "capture/regionselectwnd.h"
#include "capture/whitebalancewizarddlg.h"
#include "controls/flatprogressctrl.h"
#include "ui/messages.h"
#include "resources/resourcetable.h"
#include "vekcamera/VekCamera.h"

namespace {

// A tool window of the frame goes: no more private messages reach it, and Qt deletes it once
// the events already queued for it are done.
template <class Window>
void Dispose(Window* w) {
    w->UnregisterWindow();
    w->hide();
    w->deleteLater();
}

}  // namespace

QString CCameraFrame::s_backCorrectionProgram = "zarn";

CCameraFrame::CCameraFrame(int cameraId, int longExposure, const CameraWindowHost& host, QWidget* parent)
    : CCameraWindowBase(host, parent), m_controller(cameraId, longExposure, *host.profile, host.saveFolder) {
    setObjectName("CameraFrame");
}

CCameraFrame::~CCameraFrame() {
    ShutdownCamera();
    // The close runs on the camera thread; nothing it uses may go before it has finished.
    CCameraThread::Instance().Drain();
    UnregisterWindow();
}

bool CCameraFrame::LoadFrame() {
    m_pView = InstallView(new CCameraView(this));
    m_controller.Attach(GetSafeHwnd(), m_pView);
    m_controller.onOpened = [this](int w, int h) { PlaceOnImage(w, h); };
    m_controller.onStateChanged = [this] { UpdateCommands(); };
    // A camera this user may not open leaves nothing to show: the window says why and goes.
    m_controller.onOpenRefused = [this](const QString& text) {
        AfxMessageBox(text);
        close();
    };
    BuildBars();

    CreateIntervalDialog();
    m_controller.LoadProfile();
    SendMessage(GetSafeHwnd(), WM_CAMERA_OPEN, 0, 0);
    for (UINT id : {ID_CAMERA_TOGGLETOOLBAR, ID_VIDEO_RESTORE, ID_VIDEO_FULLSCREEN, ID_VIDEO_IMAGESIZE, ID_CAMERA_PREVIEW,
                    ID_CAMERA_BACKCORRECTION, ID_CAMERA_BLACKBALANCE, ID_CAMERA_CROSS})
        if (QAction* a = Action(id)) a->setVisible(false);
    // The toolbar toggle keeps its key (F11) although its button is hidden.
    auto* toggle = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(toggle, &QShortcut::activated, this, [this] { OnCommand(ID_CAMERA_TOGGLETOOLBAR); });
    UpdateCommands();
    return true;
}

void CCameraFrame::BuildBars() {
    using C = CCameraFrameController;
    auto open = [this] { return m_controller.IsOpen(); };
    AddCommand(ID_CAMERA_SNAP, [this] { OnSnap(); }, open,
               [this] { return m_controller.Mode() == C::kModeSnap; });
    AddCommand(ID_CAMERA_RECORD, [this] { OnRecord(); }, open);
    AddCommand(ID_CAMERA_RESOLUTION, [] {}, open,
               [this] { return m_controller.Mode() == C::kModeResolution; });
    AddCommand(ID_CAMERA_AUTOWB, [this] { m_controller.AutoWhiteBalance(); }, open,
               [this] { return m_controller.Mode() == C::kModeAutoWhiteBalance; });
    AddCommand(ID_QUICK_WHITEBALANCE, [this] { m_controller.QuickWhiteBalance(); }, open);
    auto blackBalance = [this] { return m_controller.IsOpen() && m_controller.Settings().bDefaultGains; };
    AddCommand(ID_QUICK_BLACKBALANCE, [this] { m_controller.QuickBlackBalance(); }, blackBalance);
    AddCommand(ID_CAMERA_BLACKBALANCE, [this] { m_controller.QuickBlackBalance(); },
               blackBalance);
    AddCommand(ID_CAMERA_CROSS, [this] { OnCross(); }, open);
    AddCommand(ID_CROSS_SHOW, [this] {
        m_controller.m_bCrossShow = 1;
        m_pView->SetCross(1, m_controller.m_crossColor);
    }, open, [this] { return m_controller.m_bCrossShow != 0; });
    AddCommand(ID_CROSS_HIDE, [this] {
        m_controller.m_bCrossShow = 0;
        m_pView->SetCross(0, m_controller.m_crossColor);
    }, open, [this] { return m_controller.m_bCrossShow == 0; });
    AddCommand(ID_CAMERA_BROWSER, [this] { SendMessage(m_host.mainWindow, WM_COMMAND, ID_CAMERA_BROWSER, 0); }, open);
    AddCommand(ID_VIDEO_RESTORE, [this] {
        if (!m_controller.IsIdle()) return;
        m_controller.SetMode(C::kModeRestore);
        m_pView->RestoreRegion();
        if (!m_pView->IsCropped()) {
            if (QAction* cut = Action(ID_VIDEO_CUT)) cut->setVisible(true);
            Action(ID_VIDEO_RESTORE)->setVisible(false);
        }
        m_controller.SetMode(C::kModeIdle);
    }, open);
    AddCommand(ID_VIDEO_FULLSCREEN, [this] { OnFullScreen(); }, open);
    AddCommand(ID_VIDEO_IMAGESIZE, [this] { OnImageSize(); }, open);
    AddCommand(ID_CAMERA_PREVIEW, [this] {
        if (m_pView->GetRunState() == CCameraView::kStop && !m_controller.IsOpening())
            SendMessage(GetSafeHwnd(), WM_CAMERA_OPEN, 0, 0);
    }, [] { return true; });
    AddCommand(ID_CAMERA_BACKCORRECTION, [this] { OnBackCorrection(); }, open);
    AddCommand(ID_CAMERA_TOGGLETOOLBAR, [this] { m_pToolBar->setVisible(!m_pToolBar->isVisible()); },
               [] { return true; });

    QMenu* camera = menuBar()->addMenu("&Camera");
    menuBar()->setObjectName("Menu Bar");
    for (UINT id : {ID_CAMERA_SNAP, ID_CAMERA_RECORD, ID_CAMERA_AUTOWB, ID_QUICK_WHITEBALANCE, ID_QUICK_BLACKBALANCE,
                    ID_CAMERA_PREVIEW, ID_CAMERA_BACKCORRECTION, ID_CAMERA_BROWSER})
        camera->addAction(Action(id));

    BuildFrame("Camera");
    AddSplitButton(ID_CAMERA_SNAP, {});
    AddSplitButton(ID_CAMERA_RECORD, {});
    AddSplitButton(ID_CAMERA_RESOLUTION, {});
    AddSplitButton(ID_CAMERA_AUTOWB, {ID_QUICK_WHITEBALANCE, ID_QUICK_BLACKBALANCE});
    AddSplitButton(ID_CAMERA_CROSS, {ID_CROSS_SHOW, ID_CROSS_HIDE});
    for (UINT id : {ID_CAMERA_BROWSER, ID_VIDEO_RESTORE, ID_VIDEO_FULLSCREEN, ID_VIDEO_IMAGESIZE, ID_CAMERA_PREVIEW,
                    ID_CAMERA_BACKCORRECTION, ID_CAMERA_BLACKBALANCE, ID_CAMERA_TOGGLETOOLBAR})
        m_pToolBar->addAction(Action(id));

    BuildSettingsCommands();
    BuildRegionCommands();
}

void CCameraFrame::RefreshPrompts() {
    CCameraWindowBase::RefreshPrompts();
    if (QAction* a = Action(ID_CAMERA_EXPOSURE)) {
        const QString prompt =
            ResourceString(m_controller.Mode() == CCameraFrameController::kModeExposurePanel ? 1244 : 1245);
        a->setText(prompt.section('\n', 1, 1));
        a->setToolTip(prompt.section('\n', 0, 0));
    }
}

void CCameraFrame::PlaceOnImage(int width, int height) {
    CCameraWindowBase::PlaceOnImage(width, height, menuBar()->sizeHint().height());
}

LRESULT CCameraFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (LRESULT r = 0; HandleSettingsMessage(message, wParam, &r)) return r;
    if (HandleCaptureMessage(message, wParam, lParam)) return 0;
    switch (message) {
    case WM_CAMERA_OPEN:
        m_controller.Open(static_cast<int>(wParam));
        UpdateCommands();
        return 0;
    case WM_CAMERA_CLOSE:
        m_controller.Close();
        UpdateCommands();
        return 0;
    case WM_CAMERA_FRAME: OnFrame(static_cast<int>(wParam)); return 0;
    case WM_CAMERA_SETEXPOSURE:
        if (m_controller.IsOpen()) m_controller.SetExposure(static_cast<int>(wParam));
        return 0;
    case WM_CAMERA_RECORDLIMIT: OnRecord(); return 0;
    case WM_CAMERA_RELOADPARAMS:
        if (m_controller.IsOpen()) m_controller.ReadAllParameters();
        SendMessage(GetSafeHwnd(), WM_CAMERA_APPLYPARAMS, 0, 0);
        return 0;
    case WM_CAMERA_APPLYPARAMS:
        if (m_controller.IsOpen()) m_controller.WriteAllParameters();
        return 0;
    case WM_CAMERA_SETTINGDLG_CLOSED:
    case WM_SAVECONFIG_CLOSED:
    case WM_CAMERA_EXPOSUREPANEL:
        if (message != WM_CAMERA_EXPOSUREPANEL || wParam == 0) m_controller.SetMode(CCameraFrameController::kModeIdle);
        RefreshPrompts();
        return 0;
    case WM_TOOLBAR_CREATECONTROL:
        switch (static_cast<UINT>(wParam)) {
        case ID_CAMERA_CROSS: case ID_CAMERA_SNAP: case ID_CAMERA_RESOLUTION: case ID_CAMERA_RECORD: case ID_CAMERA_AUTOWB:
            return 1;
        default: return 0;
        }
    default: return 0;
    }
}

void CCameraFrame::OnFrame(int mean) {
    if (!m_controller.IsOpen()) return;
    m_pBrightness->SetPos(static_cast<unsigned>(std::clamp(mean, 0, 255)));
    const CameraSettings& s = m_controller.Settings();
    if (s.bSoftwareAe && s.aeState.nValue) {
        setWindowTitle(QString("%1 ms").arg(s.exposure.nValue));
        if (m_controller.OnFrame(mean)) OnSoftwareAeGaveUp();
    } else {
        setWindowTitle(m_controller.NextSnapFolder());
    }
    FollowAutoExposure();
}

void CCameraFrame::FollowAutoExposure() {
    CameraSettings& s = m_controller.Settings();
    if (!s.aeState.nValue || !(m_pExposurePanel || m_pAutoExposureDlg || m_pSettingDlg)) return;
    // The camera's own auto exposure changes the time without telling anyone: read it back.
    if (!s.bSoftwareAe) {
        int ms = 0;
        if (VekCameraGetExposureTime(&ms) != CAMERA_OK) return;
        s.nExposureMs = ms;
        s.exposure.nValue = s.bLongExposure ? ExposureIndexFromMs(static_cast<unsigned>(ms)) : ms;
    }
    if (m_pExposurePanel) m_pExposurePanel->SetExposure(s.exposure.nValue);
    if (m_pAutoExposureDlg) m_pAutoExposureDlg->SetExposure(s.exposure.nValue);
    if (m_pSettingDlg) m_pSettingDlg->RefreshExposurePage();
}

void CCameraFrame::TakeShot(const QString& path) { m_pView->StartSnap(path, &m_controller.Settings()); }

CCaptureSession::Recorder CCameraFrame::Recorder() {
    // A recording the view ended itself (the camera went away) has ended as well.
    return {[this](const QString& path) { return m_pView->StartRecording(path, &m_controller.Settings()); },
            [this] { return m_pView->StopRecording() || !m_pView->IsRecording(); }};
}

void CCameraFrame::OnCross() {
    COLORREF colour = m_controller.m_crossColor;
    if (!CPromptService::Instance().ChooseColor(this, colour, nullptr)) return;
    m_controller.m_crossColor = colour;
    if (m_pView) {
        m_pView->SetCross(m_controller.m_bCrossShow, colour);
        m_pView->update();
    }
}

void CCameraFrame::OnBackCorrection() {
    if (m_pBackCorrProcess) return;
    QString program = QStandardPaths::findExecutable(s_backCorrectionProgram);
    if (program.isEmpty()) {
        const QString beside = QCoreApplication::applicationDirPath() + "/" + s_backCorrectionProgram;
        if (QFileInfo(beside).isExecutable()) program = beside;
    }
    // Without the program the camera stays open: nothing would bring it back.
    if (program.isEmpty()) {
        AfxMessageBox(QString("The background correction program \"%1\" is not installed.").arg(s_backCorrectionProgram));
        return;
    }
    SendMessage(GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    m_pBackCorrProcess = new QProcess(this);
    const HWND self = GetSafeHwnd();
    QProcess* process = m_pBackCorrProcess;
    connect(m_pBackCorrProcess, &QProcess::finished, this, [this, self] {
        m_pBackCorrProcess->deleteLater();
        m_pBackCorrProcess = nullptr;
        PostMessage(self, WM_CAMERA_OPEN, 1, 0);
    });
    connect(m_pBackCorrProcess, &QProcess::errorOccurred, this, [this, self](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        m_pBackCorrProcess->deleteLater();
        m_pBackCorrProcess = nullptr;
        AfxMessageBox(QString("The background correction program \"%1\" could not be started.").arg(s_backCorrectionProgram));
        PostMessage(self, WM_CAMERA_OPEN, 0, 0);
    });
    // The program gets the camera once it is closed for this window.
    const QStringList arguments{QString::number(static_cast<qulonglong>(winId()))};
    CCameraThread::Instance().Post(process, {}, [process, program, arguments] { process->start(program, arguments); });
}

void CCameraFrame::OnFullScreen() {
    using C = CCameraFrameController;
    if (!m_controller.IsIdle()) return;
    if (m_bFullScreen) {
        OnImageSize();
        return;
    }
    m_controller.SetMode(C::kModeEnterFullScreen);
    m_savedGeometry = geometry();
    m_pToolBar->hide();
    statusBar()->hide();
    menuBar()->hide();
    showFullScreen();
    m_bFullScreen = 1;
    m_controller.SetMode(C::kModeIdle);
}

void CCameraFrame::OnImageSize() {
    using C = CCameraFrameController;
    if (!m_controller.IsIdle()) return;
    m_controller.SetMode(C::kModeLeaveFullScreen);
    showNormal();
    menuBar()->show();
    m_pToolBar->show();
    statusBar()->show();
    if (m_savedGeometry.isValid()) setGeometry(m_savedGeometry);
    m_bFullScreen = 0;
    m_controller.SetMode(C::kModeIdle);
}

void CCameraFrame::ShutdownCamera() {
    if (m_bShutDown) return;
    m_bShutDown = true;
    CloseSettingDlg();
    CloseSaveConfigDlg();
    CloseExposurePopups();
    StopSnaps();
    // A recording is finished and announced by the view even when the window goes.
    if (m_pView && m_pView->IsRecording()) m_pView->StopRecording();
    m_bRecording = 0;
    m_controller.Close();
    m_controller.SetMode(CCameraFrameController::kModeIdle);
    m_controller.SaveProfile();
    if (m_pBackCorrProcess) m_pBackCorrProcess->disconnect(this);
}

// ---- The settings dialog and the exposure pop-ups ----

CCameraSettingDlg* CCameraFrame::SettingDlg() const { return m_pSettingDlg.data(); }
CExposurePanel* CCameraFrame::ExposurePanel() const { return m_pExposurePanel.data(); }
CAutoExposureDlg* CCameraFrame::AutoExposureDlg() const { return m_pAutoExposureDlg.data(); }

void CCameraFrame::BuildSettingsCommands() {
    using C = CCameraFrameController;
    auto open = [this] { return m_controller.IsOpen(); };
    AddCommand(ID_CAMERA_EXPOSURE, [this] { OnExposurePopup(); }, open,
               [this] { return m_controller.Mode() == C::kModeExposurePanel; });
    AddCommand(ID_CAMERA_PROPERTY, [this] { OnCameraProperty(); }, open,
               [this] { return !m_pSettingDlg.isNull(); });
    QAction* first = m_pToolBar->actions().isEmpty() ? nullptr : m_pToolBar->actions().first();
    m_pToolBar->insertAction(first, Action(ID_CAMERA_EXPOSURE));
    m_pToolBar->insertAction(first, Action(ID_CAMERA_PROPERTY));
    // The "Config..." items of the Snap, Record and Resolution drop-downs open the save
    // configuration dialog on their page.
    const std::pair<UINT, UINT> configs[] = {{ID_CAMERA_SNAP, ID_SNAP_CONFIG},
                                             {ID_CAMERA_RECORD, ID_RECORD_CONFIG},
                                             {ID_CAMERA_RESOLUTION, ID_RESOLUTION_CONFIG}};
    for (int page = 0; page < 3; ++page) {
        const auto [button, config] = configs[page];
        AddCommand(config, [this, page] { OnSaveConfig(page); }, open);
        if (QToolButton* b = Button(button))
            if (QMenu* m = b->menu()) m->addAction(Action(config));
    }
}

CSaveConfigDlg* CCameraFrame::SaveConfigDlg() const { return m_pSaveConfigDlg.data(); }

void CCameraFrame::OnSaveConfig(int page) {
    if (!m_controller.IsIdle()) return;
    m_controller.SetMode(CCameraFrameController::kModeSaveConfig);
    if (m_pSaveConfigDlg) {
        m_pSaveConfigDlg->raise();
        m_pSaveConfigDlg->activateWindow();
        return;
    }
    m_pSaveConfigDlg = new CSaveConfigDlg(GetSafeHwnd(), this);
    m_pSaveConfigDlg->show();
    m_pSaveConfigDlg->SetSettings(&m_controller.Settings(), page);
    UpdateCommands();
}

void CCameraFrame::CloseSaveConfigDlg() {
    if (!m_pSaveConfigDlg) return;
    CSaveConfigDlg* dlg = m_pSaveConfigDlg;
    m_pSaveConfigDlg = nullptr;
    dlg->Abandon();
    Dispose(dlg);
}

void CCameraFrame::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    // Moving the window ends the exposure pop-ups (they would stay where the button was).
    if (m_pExposurePanel || m_pAutoExposureDlg) SendMessage(GetSafeHwnd(), WM_CAMERA_EXPOSUREPANEL, 0, 0);
}

bool CCameraFrame::HandleSettingsMessage(UINT message, WPARAM wParam, LRESULT* result) {
    *result = 0;
    switch (message) {
    case WM_CAMERA_SETTINGDLG_CLOSED:
        CloseSettingDlg();
        m_controller.SetMode(CCameraFrameController::kModeIdle);
        UpdateCommands();
        return true;
    case WM_SAVECONFIG_CLOSED:
        CloseSaveConfigDlg();
        m_controller.SetMode(CCameraFrameController::kModeIdle);
        UpdateCommands();
        return true;
    case WM_CAMERA_EXPOSUREPANEL:
        if (wParam == 1) {
            // Losing the activation: a shown pop-up closes through the command, as a click on it would.
            const bool shown = (m_pExposurePanel && m_pExposurePanel->isVisible()) ||
                               (m_pAutoExposureDlg && m_pAutoExposureDlg->isVisible());
            if (m_pExposurePanel || m_pAutoExposureDlg) {
                if (shown)
                    OnExposurePopup();
                else
                    m_controller.SetMode(CCameraFrameController::kModeExposurePanel);
            }
        } else {
            CloseExposurePopups();
            m_controller.SetMode(CCameraFrameController::kModeIdle);
        }
        UpdateCommands();
        return true;
    case WM_CAMERA_APPLYPARAMS:
        if (m_controller.IsOpen()) m_controller.WriteAllParameters();
        if (m_pSettingDlg) m_pSettingDlg->SetSettings(&m_controller.Settings());
        return true;
    default: return false;
    }
}

void CCameraFrame::CloseExposurePopups() {
    CameraSettings& s = m_controller.Settings();
    // Taken out of the pointers first: hiding a pop-up reports its deactivation.
    QPointer<CExposurePanel> panel = m_pExposurePanel;
    QPointer<CAutoExposureDlg> longPanel = m_pAutoExposureDlg;
    m_pExposurePanel = nullptr;
    m_pAutoExposureDlg = nullptr;
    for (CExposurePopup* p : {static_cast<CExposurePopup*>(panel.data()), static_cast<CExposurePopup*>(longPanel.data())}) {
        if (!p) continue;
        s.aeState.nValue = p->GetAuto() ? 1 : 0;
        Dispose(p);
    }
}

void CCameraFrame::CloseSettingDlg() {
    if (!m_pSettingDlg) return;
    CCameraSettingDlg* dlg = m_pSettingDlg;
    m_pSettingDlg = nullptr;
    Dispose(dlg);
}

void CCameraFrame::OnExposurePopup() {
    using C = CCameraFrameController;
    if (!m_controller.IsIdle()) {
        if (m_controller.Mode() == C::kModeExposurePanel) {
            CloseExposurePopups();
            m_controller.SetMode(C::kModeIdle);
            UpdateCommands();
        }
        return;
    }
    CameraSettings& s = m_controller.Settings();
    CExposurePopup* popup = nullptr;
    QSize size;
    if (s.bLongExposure) {
        auto* dlg = new CAutoExposureDlg(&s, GetSafeHwnd(), this);
        dlg->SetRange(s.exposure.nMin, s.exposure.nMax, true);
        dlg->EnableAuto(s.aeState.bSupported != 0);
        if (s.aeState.bSupported) dlg->SetAuto(s.aeState.nValue != 0);
        dlg->SetExposure(s.exposure.nValue);
        dlg->SetActiveField(3);
        m_pAutoExposureDlg = dlg;
        popup = dlg;
        size = QSize(210, 60);
    } else {
        auto* panel = new CExposurePanel(&s, GetSafeHwnd(), this);
        panel->SetRange(s.exposure.nMin, s.exposure.nMax, false);
        panel->EnableAuto(s.aeState.bSupported != 0);
        if (s.aeState.bSupported) panel->SetAuto(s.aeState.nValue != 0);
        panel->SetExposure(s.exposure.nValue);
        m_pExposurePanel = panel;
        popup = panel;
        size = QSize(125, 72);
    }
    // Directly above the toolbar, its left edge 35 pixels left of the button's.
    QWidget* button = m_pToolBar->widgetForAction(Action(ID_CAMERA_EXPOSURE));
    const QPoint buttonLeft = button ? button->mapToGlobal(QPoint(0, 0)) : mapToGlobal(QPoint(0, 0));
    const QPoint barTop = m_pToolBar->mapToGlobal(QPoint(0, 0));
    QRect place(QPoint(buttonLeft.x() - 35, barTop.y() - size.height()), size);
    // Kept on the screen when the window sits at its edge.
    if (QScreen* sc = screen()) {
        const QRect avail = sc->availableGeometry();
        place.moveLeft(std::clamp(place.left(), avail.left(), std::max(avail.left(), avail.right() - size.width())));
        place.moveTop(std::clamp(place.top(), avail.top(), std::max(avail.top(), avail.bottom() - size.height())));
    }
    popup->setGeometry(place);
    m_controller.SetMode(C::kModeExposurePanel);
    popup->show();
    popup->activateWindow();
    UpdateCommands();
}

void CCameraFrame::OnCameraProperty() {
    if (m_pSettingDlg) {
        m_pSettingDlg->raise();
        m_pSettingDlg->activateWindow();
        return;
    }
    if (!m_controller.IsIdle()) return;
    m_controller.SetMode(CCameraFrameController::kModeSettingsDialog);
    m_pSettingDlg = new CCameraSettingDlg(&m_controller.Settings(), GetSafeHwnd(), this);
    m_pSettingDlg->show();
    UpdateCommands();
}

void CCameraFrame::OnSoftwareAeGaveUp() {
    if (m_pSettingDlg) m_pSettingDlg->RefreshExposurePage();
    if (m_pAutoExposureDlg) {
        const CameraSettings& s = m_controller.Settings();
        m_pAutoExposureDlg->SetAuto(false);
        m_pAutoExposureDlg->SetRange(s.exposure.nMin, s.exposure.nMax, s.bLongExposure != 0);
        m_pAutoExposureDlg->SetExposure(s.exposure.nValue);
    }
}

// ---- Cut, area white balance and the white balance wizard ----------------------------------

void CCameraFrame::BuildRegionCommands() {
    using C = CCameraFrameController;
    auto open = [this] { return m_controller.IsOpen(); };
    // The overlay and the wizard the view uses unless a test gave it its own.
    auto ensureChooser = [this] {
        if (!m_pView->RegionChooser()) m_pView->SetRegionChooser(new CRegionSelectWnd(this));
    };
    m_pView->SetWizardFactory(&CWhiteBalanceWizardDlg::Create);
    AddCommand(ID_VIDEO_CUT, [this, ensureChooser] {
        if (!m_controller.IsIdle()) return;
        m_controller.SetMode(C::kModeCut);
        ensureChooser();
        // Only a region actually chosen cuts: the overlay may end with OK and none.
        if (m_pView->CutRegion() && m_pView->IsCropped()) {
            Action(ID_VIDEO_CUT)->setVisible(false);
            Action(ID_VIDEO_RESTORE)->setVisible(true);
        }
        m_controller.SetMode(C::kModeIdle);
    }, open);
    AddCommand(ID_AREA_WHITEBALANCE, [this, ensureChooser] {
        ensureChooser();
        OnAreaWhiteBalance(false);
    }, open);
    AddCommand(ID_AREA_WHITEBALANCE_MENU, [this, ensureChooser] {
        ensureChooser();
        OnAreaWhiteBalance(true);
    }, open);
    AddCommand(ID_WIZARD_WHITEBALANCE, [this] {
        m_pView->WhiteBalanceWizard();
        ReadWhiteBalanceGains(m_controller.Settings());
        VekCameraSaveParameter(0);
    }, open);
    m_pToolBar->insertAction(Action(ID_VIDEO_RESTORE), Action(ID_VIDEO_CUT));
    m_pToolBar->insertAction(Action(ID_VIDEO_RESTORE), Action(ID_AREA_WHITEBALANCE));
    Action(ID_AREA_WHITEBALANCE)->setVisible(false);
    if (QToolButton* awb = Button(ID_CAMERA_AUTOWB); awb && awb->menu()) {
        awb->menu()->addAction(Action(ID_WIZARD_WHITEBALANCE));
        awb->menu()->addAction(Action(ID_AREA_WHITEBALANCE_MENU));
    }
}

void CCameraFrame::OnAreaWhiteBalance(bool readGains) {
    using C = CCameraFrameController;
    if (!m_controller.IsIdle()) return;
    m_controller.SetMode(C::kModeAreaWhiteBalance);
    UpdateCommands();
    if (!m_pView->AreaWhiteBalance()) {
        // Nothing chosen (Cancel, or OK without a region): the gains stay as they were.
        m_controller.SetMode(C::kModeIdle);
        UpdateCommands();
        return;
    }
    QTimer::singleShot(100, this, [this, readGains] {
        if (readGains && m_controller.IsOpen()) ReadWhiteBalanceGains(m_controller.Settings());
        if (m_controller.IsOpen()) VekCameraSaveParameter(0);
        m_controller.SetMode(CCameraFrameController::kModeIdle);
        UpdateCommands();
    });
}
