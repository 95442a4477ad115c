#include "testcamerahost.h"

#include <QDir>

#include "capture/cameraframe.h"
#include "ui/messages.h"
#include "vekcamera/VekCamera.h"

TestCameraHost::TestCameraHost(const QString& profilePath)
    : m_profile(profilePath), m_saveFolder(m_profile.GetProfileString("FileSave", "sPath", QDir::homePath())) {
    RegisterWindow(this);
}

TestCameraHost::~TestCameraHost() { delete m_pCameraFrame.data(); }

CameraWindowHost TestCameraHost::Host() {
    CameraWindowHost host;
    host.mainWindow = GetSafeHwnd();
    host.profile = &m_profile;
    host.saveFolder = &m_saveFolder;
    host.closed = [self = QPointer<TestCameraHost>(this)](QWidget* window) {
        if (self && self->m_pCameraFrame == window) self->m_pCameraFrame = nullptr;
    };
    return host;
}

CCameraFrame* TestCameraHost::OpenCameraFrame(int longExposure) {
    VekCamera_ReflashCamera();
    const int id = VekCameraGetCameraID().cameraId;
    if (id == -1 || id == 29 || id == 0) return nullptr;
    auto* frame = new CCameraFrame(id, longExposure, Host(), this);
    m_pCameraFrame = frame;
    frame->LoadFrame();
    // Loading closes the window when the camera does not open.
    if (!m_pCameraFrame) return nullptr;
    frame->showNormal();
    frame->raise();
    return frame;
}

LRESULT TestCameraHost::WindowProc(UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_CAMERA_FILESAVED) return 0;
    const char* path = reinterpret_cast<const char*>(lParam);
    if (path && *path) m_cameraFiles << QString::fromUtf8(path);
    return 0;
}
