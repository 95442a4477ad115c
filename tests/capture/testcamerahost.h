// The window that opens a camera window in the tests, in the main frame's place: it hands the
// window its host record (this window's handle, a profile of its own and the save folder read
// from it, as the program reads it at start) and opens the camera found on the hub.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "capture/camerawindowhost.h"
#include "ui/msgbridge.h"
#include "ui/profile.h"
#include "platform/wintypes.h"

class CCameraFrame;

class TestCameraHost : public QWidget, public CMessageTarget {
public:
    explicit TestCameraHost(const QString& profilePath);
    ~TestCameraHost() override;

    CameraWindowHost Host();
    // The camera the hub finds, as the program opens it; null when there is none.
    CCameraFrame* OpenCameraFrame(int longExposure = 0);
    // A camera window the test built with Host() is this window's one.
    void Adopt(QWidget* frame) { m_pCameraFrame = frame; }
    // The open camera window; null once it has closed.
    QWidget* Frame() const { return m_pCameraFrame.data(); }
    // Every file the camera window announced, oldest first.
    const QStringList& CameraFiles() const { return m_cameraFiles; }
    CProfile& Profile() { return m_profile; }
    QString& SaveFolder() { return m_saveFolder; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CProfile m_profile;
    QString m_saveFolder;
    QPointer<QWidget> m_pCameraFrame;
    QStringList m_cameraFiles;
};
