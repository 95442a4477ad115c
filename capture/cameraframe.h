// The window of a hub camera: the live view, the "Camera" toolbar with its split buttons, the
// status bar with the brightness bar, snaps and time lapses through the snap thread, recording,
// and the outside background-correction program. A top-level window, at most one at a time; the
// main frame opens it and hears from it about every file saved. The logic lives in
// CCameraFrameController; this class wires it to the widgets and the private messages.
#pragma once

#include <QPointer>
#include <QRect>

#include "capture/cameraframecontroller.h"
#include "capture/camerawindowbase.h"

class CAutoExposureDlg;
class CCameraSettingDlg;
class CCameraView;
class CExposurePanel;
class CSaveConfigDlg;
class CFlatProgressCtrl;
class CProgressDialog;
class QAction;
class QLabel;
class QMenu;
class QProcess;
class QToolBar;
class QToolButton;

class CCameraFrame : public CCameraWindowBase {
public:
    // Command ids of the window.
    static constexpr UINT ID_CAMERA_CROSS = 284;
    static constexpr UINT ID_CAMERA_RESOLUTION = 1231;
    static constexpr UINT ID_CAMERA_AUTOWB = 1261;
    static constexpr UINT ID_CAMERA_PREVIEW = 6003;
    static constexpr UINT ID_CAMERA_BROWSER = 32923;
    static constexpr UINT ID_CAMERA_EXPOSURE = 32928;
    static constexpr UINT ID_CAMERA_PROPERTY = 32930;
    static constexpr UINT ID_CAMERA_BACKCORRECTION = 32938;
    static constexpr UINT ID_CAMERA_BLACKBALANCE = 32940;
    static constexpr UINT ID_CAMERA_TOGGLETOOLBAR = 32979;
    static constexpr UINT ID_AREA_WHITEBALANCE = 32927;
    static constexpr UINT ID_VIDEO_FULLSCREEN = 32985;
    static constexpr UINT ID_VIDEO_IMAGESIZE = 32986;
    static constexpr UINT ID_QUICK_WHITEBALANCE = 32995;
    static constexpr UINT ID_WIZARD_WHITEBALANCE = 32994;
    static constexpr UINT ID_AREA_WHITEBALANCE_MENU = 32997;
    static constexpr UINT ID_QUICK_BLACKBALANCE = 32998;
    static constexpr UINT ID_CROSS_SHOW = 33008;
    static constexpr UINT ID_CROSS_HIDE = 33009;
    static constexpr UINT ID_RESOLUTION_CONFIG = 33002;

    // `host.profile` must be set.
    CCameraFrame(int cameraId, int longExposure, const CameraWindowHost& host, QWidget* parent = nullptr);
    ~CCameraFrame() override;

    // Builds the window, reads the profile and opens the camera.
    bool LoadFrame();

    CCameraFrameController& Controller() { return m_controller; }
    CameraSettings& Settings() { return m_controller.Settings(); }
    CCameraView* View() const { return m_pView; }
    bool IsSnapRunning() const { return m_controller.Session().SnapThread().IsActive(); }
    // The settings dialog and the exposure pop-ups while they are open.
    CCameraSettingDlg* SettingDlg() const;
    CExposurePanel* ExposurePanel() const;
    CAutoExposureDlg* AutoExposureDlg() const;
    CSaveConfigDlg* SaveConfigDlg() const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The name of the outside background-correction program; tests point it elsewhere.
    static QString s_backCorrectionProgram;

protected:
    void ShutdownCamera() override;
    CCaptureSession& Session() override { return m_controller.Session(); }
    bool CameraOpen() const override { return m_controller.IsOpen(); }
    bool HasView() const override { return m_pView != nullptr; }
    int CaptureMode() const override { return m_controller.Mode(); }
    void SetCaptureMode(int mode) override { m_controller.SetMode(mode); }
    void TakeShot(const QString& path) override;
    CCaptureSession::Recorder Recorder() override;
    void RefreshPrompts() override;
    void moveEvent(QMoveEvent* e) override;

private:
    void BuildBars();
    void PlaceOnImage(int width, int height);

    // The settings dialog and the exposure pop-ups.
    void BuildSettingsCommands();
    // Cut, the area white balance and the white balance wizard, through the view.
    void BuildRegionCommands();
    void OnAreaWhiteBalance(bool readGains);
    bool HandleSettingsMessage(UINT message, WPARAM wParam, LRESULT* result);
    void OnExposurePopup();
    void OnCameraProperty();
    void CloseExposurePopups();
    void CloseSettingDlg();
    void OnSoftwareAeGaveUp();
    // While auto exposure is on, the open exposure controls show the time the camera has now.
    void FollowAutoExposure();
    void OnSaveConfig(int page);
    void CloseSaveConfigDlg();

    void OnFrame(int mean);
    void OnBackCorrection();
    void OnCross();
    void OnFullScreen();
    void OnImageSize();

    CCameraFrameController m_controller;
    CCameraView* m_pView = nullptr;
    QProcess* m_pBackCorrProcess = nullptr;
    bool m_bShutDown = false;
    int m_bFullScreen = 0;
    QRect m_savedGeometry;
    QPointer<CCameraSettingDlg> m_pSettingDlg;
    QPointer<CExposurePanel> m_pExposurePanel;
    QPointer<CAutoExposureDlg> m_pAutoExposureDlg;
    QPointer<CSaveConfigDlg> m_pSaveConfigDlg;
};
