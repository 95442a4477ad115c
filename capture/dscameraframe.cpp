#include "capture/dscameraframe.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSlider>
#include <QToolBar>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <utility>

#include "ui/promptservice.h"
#include "capture/cameramodeltraits.h"
#include "capture/camerathread.h"
#include "capture/dscameraview.h"
#include "capture/regionselectwnd.h"
#include "capture/saveconfigdlg.h"
#include "controls/flatprogressctrl.h"
#include "ui/messages.h"
#include "platform/clock.h"

namespace {

constexpr CCaptureSession::Kind kSession = {true, "Pelidor"};
constexpr uint32_t kOpenWaitMs = 1000;

}  // namespace

CDSCameraFrame::CDSCameraFrame(int cameraId, BYTE device, const CameraWindowHost& host, QWidget* parent)
    : CCameraWindowBase(host, parent), m_byDevice(device), m_session(m_Settings, kSession, host.saveFolder) {
    setObjectName("DSCameraFrame");
    m_Settings.nCameraId = cameraId;
    m_Settings.nOpenState = 2;
    m_bAnnounceOnlyWritten = true;
}

CDSCameraFrame::~CDSCameraFrame() {
    ShutdownCamera();
    // The device closes on the camera thread; the library calls this window until it has.
    CCameraThread::Instance().Drain();
    UnregisterWindow();
}

bool CDSCameraFrame::LoadFrame() {
    m_pView = InstallView(new CDSCameraView(this));
    BuildBars();
    CreateIntervalDialog();
    m_nMode = kModeIdle;
    SendMessage(GetSafeHwnd(), WM_CAMERA_OPEN, 0, 0);
    Action(ID_VIDEO_RESTORE)->setVisible(false);
    Action(ID_VIDEO_CUT)->setVisible(true);
    UpdateCommands();
    return true;
}

// ---- commands -----------------------------------------------------------------------------

void CDSCameraFrame::BuildBars() {
    auto enabled = [this] { return CommandEnabled(); };
    AddCommand(ID_CAMERA_SNAP, [this] { OnSnap(); }, enabled);
    AddCommand(ID_CAMERA_RECORD, [this] { OnRecord(); }, enabled);
    AddCommand(ID_DS_FILTER, [this] {
        if (m_nMode == kModeIdle) DSProperty();
    }, enabled);
    AddCommand(ID_DS_BIN, [this] { OnResolution(); }, enabled);
    AddCommand(ID_VIDEO_CUT, [this] { OnCut(); }, enabled);
    AddCommand(ID_VIDEO_RESTORE, [this] { OnRestore(); }, enabled);
    // The "Config..." items of the Snap and Record drop-downs open the save configuration
    // dialog on their page.
    AddCommand(ID_SNAP_CONFIG, [this] { OnSaveConfig(0); }, enabled);
    AddCommand(ID_RECORD_CONFIG, [this] { OnSaveConfig(1); }, enabled);

    BuildFrame(QString::number(IDR_DSCAMERA));
    AddSplitButton(ID_CAMERA_SNAP, {ID_SNAP_CONFIG});
    AddSplitButton(ID_CAMERA_RECORD, {ID_RECORD_CONFIG});
    for (UINT id : {ID_DS_FILTER, ID_DS_BIN, ID_VIDEO_CUT, ID_VIDEO_RESTORE}) m_pToolBar->addAction(Action(id));
}

bool CDSCameraFrame::CommandEnabled() const {
    return IsOpen() && CameraModelTraits::Of(m_Settings.nCameraId).videoDevice;
}

void CDSCameraFrame::SetRegionChooser(IRegionChooser* chooser) { m_pChooser = chooser; }

void CDSCameraFrame::PlaceOnImage(int width, int height) {
    if (width <= 0 || height <= 0) return;
    CCameraWindowBase::PlaceOnImage(width, height, 0);
}

// ---- open and close -----------------------------------------------------------------------

void CDSCameraFrame::OnOpen() {
    if (m_Settings.nOpenState != 2 || m_bOpening) return;
    // The device opens and starts streaming on the camera thread, which then waits for its
    // first frame (at most kOpenWaitMs); the window goes on meanwhile.
    m_bOpening = true;
    const unsigned generation = ++m_openGeneration;
    const BYTE device = m_byDevice;
    const HWND host = DSHostHandle(this);
    auto state = m_firstFrame;
    auto ok = std::make_shared<bool>(false);
    {
        std::lock_guard<std::mutex> g(state->lock);
        state->arrived = false;
    }
    CCameraThread::Instance().Post(
        this,
        [device, host, state, ok] {
            if (DSCameraInit(device, host) != 1 || DSCameraPlay() != 1) {
                DSCameraUnInit();
                return;
            }
            std::unique_lock<std::mutex> g(state->lock);
            state->changed.wait_for(g, std::chrono::milliseconds(kOpenWaitMs), [&] { return state->arrived; });
            *ok = true;
        },
        [this, generation, ok] {
            if (generation != m_openGeneration) return;  // closed meanwhile: the close ended it
            m_bOpening = false;
            if (*ok) Opened();
            UpdateCommands();
        });
    UpdateCommands();
}

void CDSCameraFrame::Opened() {
    // The window is sized from the view's size: the library hands out frames of the size last
    // read, and only the view reads it.
    if (!m_pView || !m_pView->Init(&m_Settings)) {
        CCameraThread::Instance().Post(nullptr, [] {
            DSCameraStop();
            DSCameraUnInit();
        });
        return;
    }
    m_Settings.nWidth = m_pView->ImageWidth();
    m_Settings.nHeight = m_pView->ImageHeight();
    if (m_host.profile) m_session.Load(*m_host.profile);
    RefreshPrompts();
    PlaceOnImage(m_Settings.nWidth, m_Settings.nHeight);
    m_Settings.nOpenState = 0;
    // The window opens before it is shown, just as the device chooser hands the activation back
    // to the main window: once shown it comes to the front, placed with the caption and borders
    // the window manager gave it.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() || m_Settings.nOpenState != 0) return;
        PlaceOnImage(m_Settings.nWidth, m_Settings.nHeight);
        raise();
        activateWindow();
    });
}

void CDSCameraFrame::FrameArrived() {
    // On the library's streaming thread.
    {
        std::lock_guard<std::mutex> g(m_firstFrame->lock);
        m_firstFrame->arrived = true;
    }
    m_firstFrame->changed.notify_all();
    if (m_pView) m_pView->FrameArrived();
}

void CDSCameraFrame::OnClose() {
    if (m_Settings.nOpenState != 0 && !m_bOpening) return;
    const bool opened = m_Settings.nOpenState == 0;
    m_bOpening = false;
    ++m_openGeneration;
    if (opened) {
        if (m_pView) m_pView->Shutdown();
        m_bRecording = 0;
        if (m_host.profile) m_session.Save(*m_host.profile);
    }
    m_Settings.nOpenState = 2;
    CCameraThread::Instance().Post(nullptr, [] {
        DSCameraStop();
        DSCameraUnInit();
    });
}

void CDSCameraFrame::ShutdownCamera() {
    if (m_bShutDown) return;
    m_bShutDown = true;
    StopSnaps();
    SendMessage(GetSafeHwnd(), WM_SAVECONFIG_CLOSED, 0, 0);
    SendMessage(GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    m_nMode = kModeIdle;
}

LRESULT CDSCameraFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (HandleCaptureMessage(message, wParam, lParam)) return 0;
    switch (message) {
    case WM_CAMERA_OPEN:
        OnOpen();
        UpdateCommands();
        return 0;
    case WM_CAMERA_CLOSE:
        OnClose();
        UpdateCommands();
        return 0;
    case WM_CAMERA_RELOADPARAMS:
        // This window has no camera parameters: the message ends unhandled.
        SendMessage(GetSafeHwnd(), WM_CAMERA_APPLYPARAMS, 0, 0);
        return 0;
    case WM_SAVECONFIG_CLOSED:
        CloseSaveConfigDlg();
        if (m_nMode == kModeSaveConfig) m_nMode = kModeIdle;
        RefreshPrompts();
        return 0;
    case WM_CAMERA_FRAME:
        if (IsOpen()) m_pBrightness->SetPos(static_cast<unsigned>(std::clamp(static_cast<int>(wParam), 0, 255)));
        return 0;
    case WM_TOOLBAR_CREATECONTROL:
        return static_cast<UINT>(wParam) == ID_CAMERA_SNAP || static_cast<UINT>(wParam) == ID_CAMERA_RECORD ? 1 : 0;
    default: return 0;
    }
}

// ---- snaps and recording ------------------------------------------------------------------

void CDSCameraFrame::TakeShot(const QString& path) { m_pView->Snap(path, m_Settings.snap.uiFiletype); }

CCaptureSession::Recorder CDSCameraFrame::Recorder() {
    return {[this](const QString& path) { return m_pView->StartRecording(path, &m_Settings); },
            [this] {
                m_pView->StopRecording();
                return true;
            }};
}

// ---- resolution and regions ---------------------------------------------------------------

void CDSCameraFrame::OnResolution() {
    if (m_nMode != kModeIdle || m_bRecording || !m_pView) return;
    m_nMode = kModeResolution;
    const bool running = m_pView->ChangeResolution() == 1;
    m_nMode = kModeIdle;
    if (!running) {
        // No size to show any more: the device is closed rather than left without a view.
        SendMessage(GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
        return;
    }
    m_Settings.nWidth = m_pView->ImageWidth();
    m_Settings.nHeight = m_pView->ImageHeight();
    PlaceOnImage(m_Settings.nWidth, m_Settings.nHeight);
}

void CDSCameraFrame::OnCut() {
    if (m_nMode != kModeIdle || m_bRecording) return;
    m_nMode = kModeCut;
    std::unique_ptr<CRegionSelectWnd> overlay;
    IRegionChooser* chooser = m_pChooser;
    if (!chooser) {
        overlay = std::make_unique<CRegionSelectWnd>(this);
        chooser = overlay.get();
    }
    m_pView->SetRegionChooser(chooser);
    const int cropped = m_pView->CutRegion();
    m_pView->SetRegionChooser(nullptr);
    overlay.reset();
    if (cropped) {
        Action(ID_VIDEO_CUT)->setVisible(false);
        Action(ID_VIDEO_RESTORE)->setVisible(true);
    }
    m_pView->hide();
    m_pView->show();
    m_nMode = kModeIdle;
}

void CDSCameraFrame::OnRestore() {
    if (m_nMode != kModeIdle || m_bRecording) return;
    m_nMode = kModeRestore;
    m_pView->RestoreRegion();
    Action(ID_VIDEO_CUT)->setVisible(true);
    Action(ID_VIDEO_RESTORE)->setVisible(false);
    m_pView->hide();
    m_pView->show();
    m_nMode = kModeIdle;
}

// ---- the save configuration dialog -------------------------------------------------------

CSaveConfigDlg* CDSCameraFrame::SaveConfigDlg() const { return m_pSaveConfigDlg.data(); }

void CDSCameraFrame::OnSaveConfig(int page) {
    if (m_nMode != kModeIdle || m_bRecording) return;
    m_nMode = kModeSaveConfig;
    if (m_pSaveConfigDlg) {
        m_pSaveConfigDlg->raise();
        m_pSaveConfigDlg->activateWindow();
        return;
    }
    // No "Resolution" tab: this window sets the stream size through "DS Bin".
    m_pSaveConfigDlg = new CSaveConfigDlg(GetSafeHwnd(), this, false);
    m_pSaveConfigDlg->show();
    m_pSaveConfigDlg->SetSettings(&m_Settings, page);
}

void CDSCameraFrame::CloseSaveConfigDlg() {
    if (!m_pSaveConfigDlg) return;
    CSaveConfigDlg* dlg = m_pSaveConfigDlg;
    m_pSaveConfigDlg = nullptr;
    dlg->Dismiss();
}

// ---- the library's dialogs ----------------------------------------------------------------

int CDSCameraFrame::ChooseResolution(const DSFrameSize* sizes, int count, int current) {
    if (!sizes || count <= 0) return -1;
    QDialog dlg(this);
    dlg.setWindowTitle("Resolution");
    auto* layout = new QVBoxLayout(&dlg);
    auto* combo = new QComboBox(&dlg);
    combo->setObjectName("sizes");
    for (int i = 0; i < count; ++i) combo->addItem(QString("%1 x %2").arg(sizes[i].width).arg(sizes[i].height));
    combo->setCurrentIndex(current >= 0 && current < count ? current : 0);
    layout->addWidget(combo);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return -1;
    const int chosen = combo->currentIndex();
    return chosen >= 0 && chosen < count ? chosen : -1;
}

void CDSCameraFrame::ShowProperties(IDSPropertyPages* pages) {
    if (!pages) return;
    QDialog dlg(this);
    dlg.setWindowTitle("Filter");
    auto* form = new QFormLayout(&dlg);
    for (int i = 0; i < pages->Count(); ++i) {
        DSControlInfo info{};
        if (!pages->Get(i, &info)) continue;
        const QString name = QString::fromUtf8(info.name);
        // Each change goes to the device at once; a refused value shows the device's again.
        auto current = [pages, i] {
            DSControlInfo now{};
            return pages->Get(i, &now) ? now.value : 0;
        };
        switch (info.type) {
        case kDSControlBoolean: {
            auto* box = new QCheckBox(&dlg);
            box->setObjectName(name);
            box->setChecked(info.value != 0);
            connect(box, &QCheckBox::toggled, &dlg, [pages, i, box, current](bool on) {
                if (!pages->Set(i, on ? 1 : 0)) {
                    QSignalBlocker block(box);
                    box->setChecked(current() != 0);
                }
            });
            form->addRow(name, box);
            break;
        }
        case kDSControlMenu: {
            auto* combo = new QComboBox(&dlg);
            combo->setObjectName(name);
            char text[64];
            for (int item = info.minimum; item <= info.maximum && item - info.minimum < 256; ++item)
                if (pages->MenuItem(i, item, text, sizeof(text))) combo->addItem(QString::fromUtf8(text), item);
            combo->setCurrentIndex(combo->findData(info.value));
            connect(combo, &QComboBox::activated, &dlg, [pages, i, combo, current](int index) {
                if (!pages->Set(i, combo->itemData(index).toInt())) {
                    QSignalBlocker block(combo);
                    combo->setCurrentIndex(combo->findData(current()));
                }
            });
            form->addRow(name, combo);
            break;
        }
        case kDSControlButton: {
            auto* button = new QPushButton(name, &dlg);
            button->setObjectName(name);
            connect(button, &QPushButton::clicked, &dlg, [pages, i] { pages->Set(i, 1); });
            form->addRow(QString(), button);
            break;
        }
        default: {
            auto* slider = new QSlider(Qt::Horizontal, &dlg);
            slider->setObjectName(name);
            slider->setRange(info.minimum, std::max(info.minimum, info.maximum));
            slider->setSingleStep(std::max(1, info.step));
            slider->setValue(info.value);
            connect(slider, &QSlider::valueChanged, &dlg, [pages, i, slider, current](int v) {
                if (!pages->Set(i, v)) {
                    QSignalBlocker block(slider);
                    slider->setValue(current());
                }
            });
            form->addRow(name, slider);
            break;
        }
        }
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dlg);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    form->addRow(buttons);
    CPromptService::Instance().DoModal(&dlg);
}
