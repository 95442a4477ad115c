// CMainFrame: the camera window's launch and the camera messages (plugging, unplugging, files
// saved).
#include "app/mainframe.h"

#include <QTimer>
#include <QWindow>

#include "app/pelidorapp.h"
#include "app/thumbnaillistctrl.h"
#include "capture/cameraframe.h"
#include "capture/cameramodeltraits.h"
#include "capture/camerapluglistener.h"
#include "capture/dscameraframe.h"
#include "capture/selectcameradlg.h"
#include "capture/selectdscameradlg.h"
#include "resources/resourcetable.h"
#include "ui/messages.h"
#include "ui/promptservice.h"
#include "vekcamera/VekCamera.h"

void CMainFrame::DeletePlugListener() {
    if (!m_pPlugListener) return;
    m_pPlugListener->Unregister();
    delete m_pPlugListener;
    m_pPlugListener = nullptr;
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CAMERA_CREATEFRAME: return DeferLaunchUntilShown() ? 0 : OnLaunchCamera();
    case WM_CAMERA_ARRIVED: return 1;
    case WM_CAMERA_REMOVED:
        if (static_cast<intptr_t>(wParam) == -1) return 1;
        if (m_pCameraFrame) m_pCameraFrame->close();
        if (CThumbnailListCtrl* list = CThumbnailListCtrl::Instance()) {
            list->ReloadVideoEntry();
            list->Refresh();
        }
        return 1;
    case WM_CAMERA_FILESAVED: return OnCameraFileSaved(wParam, lParam);
    case WM_COMMAND: return m_pRouter->Execute(static_cast<UINT>(LOWORD(static_cast<DWORD>(wParam)))) ? 0 : 1;
    case WM_CLOSE: close(); return 0;
    default: return 0;
    }
}

bool CMainFrame::DeferLaunchUntilShown() {
    // Opening a camera holds the UI thread for a good half second (the device's start-up). The
    // launch posted at start-up would otherwise run before the frame's first paint and leave an
    // empty window on the screen for that time.
    if (m_bShownOnce) return false;
    QWindow* w = windowHandle();
    if (!w || !isVisible() || isMinimized() || w->isExposed()) {
        // Nothing to wait for: painted already, or no picture will come.
        m_bShownOnce = w && w->isExposed();
        return false;
    }
    if (m_pLaunchTimeout) return true;  // one launch waits already
    // The expose arrives through the filter this frame keeps on the application (eventFilter).
    // A window that is never exposed (another desktop, say) still gets its camera.
    m_pLaunchTimeout = new QTimer(this);
    m_pLaunchTimeout->setSingleShot(true);
    connect(m_pLaunchTimeout, &QTimer::timeout, this, [this] { RunDeferredLaunch(); });
    m_pLaunchTimeout->start(1000);
    return true;
}

void CMainFrame::RunDeferredLaunch() {
    if (!m_pLaunchTimeout) return;
    m_bShownOnce = true;
    m_pLaunchTimeout->deleteLater();
    m_pLaunchTimeout = nullptr;
    // Posted again, so that it runs after the expose that called this has painted the window.
    PostMessage(GetSafeHwnd(), WM_CAMERA_CREATEFRAME, 0, 0);
}

LRESULT CMainFrame::OnLaunchCamera() {
    if (m_pCameraFrame) {
        m_pCameraFrame->raise();
        m_pCameraFrame->activateWindow();
        return 0;
    }
    VekCamera_ReflashCamera();
    int id = VekCameraGetCameraID().cameraId;
    if (CameraModelTraits::Of(id).noCamera) {
        AfxMessageBox(ResourceString(61459));
        return 0;
    }
    // From here on the start page's list is refreshed whatever opens.
    struct RefreshList {
        ~RefreshList() {
            if (CThumbnailListCtrl* list = CThumbnailListCtrl::Instance()) list->Refresh();
        }
    } refreshList;
    if (m_bLongExposure && !CameraModelTraits::Of(id).opensInLongExposure) return 0;
    if (CameraModelTraits::Of(id).videoDevice) {
        // An ordinary video device: the user picks which one; no pick opens no window.
        CSelectDSCameraDlg dlg(this);
        if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted || dlg.m_nDevice < 0 || dlg.m_nDevice > 255)
            return 0;
        ShowCameraWindow(new CDSCameraFrame(0, static_cast<BYTE>(dlg.m_nDevice), CameraHost(), this));
        return 0;
    }
    id = ChooseCameraVariant(id);
    ShowCameraWindow(new CCameraFrame(id, m_bLongExposure, CameraHost(), this));
    return 0;
}

template <class Frame>
void CMainFrame::ShowCameraWindow(Frame* frame) {
    m_pCameraFrame = frame;
    frame->LoadFrame();
    // A window that closed itself while it loaded (it told the host) is not shown.
    if (!m_pCameraFrame) return;
    frame->showNormal();
    frame->raise();
}

CameraWindowHost CMainFrame::CameraHost() {
    CameraWindowHost host;
    host.mainWindow = GetSafeHwnd();
    CPelidorApp* app = AfxGetPelidorApp();
    host.profile = app ? &app->Profile() : nullptr;
    host.saveFolder = &g_strSaveFolder;
    host.closed = [self = QPointer<CMainFrame>(this)](QWidget* window) {
        if (self && self->m_pCameraFrame == window) self->m_pCameraFrame = nullptr;
    };
    return host;
}

int CMainFrame::ChooseCameraVariant(int id) {
    CSelectCameraDlg dlg(this);
    dlg.SetCameraId(id);
    if (!dlg.HasVariants() || CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return id;
    VekCamera_SetCamera(dlg.GetCameraId());
    return dlg.GetCameraId();
}

LRESULT CMainFrame::OnCameraFileSaved(WPARAM, LPARAM lParam) {
    const char* path = reinterpret_cast<const char*>(lParam);
    if (!path || !*path) return 1;
    m_cameraFiles << QString::fromUtf8(path);
    if (CThumbnailListCtrl* list = CThumbnailListCtrl::Instance()) list->AddOrRefreshFile(QString::fromUtf8(path));
    return 0;
}
