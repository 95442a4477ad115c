// The window of an ordinary video device (camera id 0): the live view through the qodirectx
// library, the toolbar with snap, record, the device's own filter settings, "DS Bin" (another
// stream size), cut and restore, and the status bar with the brightness bar. A top-level
// window; the main frame opens it with the device index the user chose. The library's
// resolution and property dialogs are shown by this window as the library's host.
#pragma once

#include <QPointer>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "capture/camerasettings.h"
#include "capture/camerawindowbase.h"
#include "qodirectx.h"

class CDSCameraView;
class CFlatProgressCtrl;
class CProgressDialog;
class CSaveConfigDlg;
class IRegionChooser;
class QAction;
class QLabel;
class QToolBar;
class QToolButton;

class CDSCameraFrame : public CCameraWindowBase, public IDSHost {
public:
    static constexpr UINT IDR_DSCAMERA = 278;
    static constexpr UINT ID_DS_BIN = 33003;
    static constexpr UINT ID_DS_FILTER = 33004;
    // The busy modes (the hub camera window's numbers).
    enum Mode { kModeIdle = 0, kModeResolution = 2, kModeSaveConfig = 8, kModeCut = 9, kModeRestore = 10, kModeRecording = 13 };

    CDSCameraFrame(int cameraId, BYTE device, const CameraWindowHost& host, QWidget* parent = nullptr);
    ~CDSCameraFrame() override;

    // Builds the window and opens the device.
    bool LoadFrame();

    CameraSettings& Settings() { return m_Settings; }
    BYTE Device() const { return m_byDevice; }
    bool IsOpen() const { return m_Settings.nOpenState == 0; }
    int Mode() const { return m_nMode; }
    CDSCameraView* View() const { return m_pView; }
    bool IsSnapRunning() const { return m_session.SnapThread().IsActive(); }
    bool SnapDone() const { return m_session.SnapThread().SnapDone(); }

    // The open save configuration dialog, if any.
    CSaveConfigDlg* SaveConfigDlg() const;

    // Where Cut asks for the region; by default the screen overlay.
    void SetRegionChooser(IRegionChooser* chooser);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The library's host: the two dialogs, modal through the prompt service.
    int ChooseResolution(const DSFrameSize* sizes, int count, int current) override;
    void ShowProperties(IDSPropertyPages* pages) override;
    void FrameArrived() override;
    // While the device is being opened on the camera thread.
    bool IsOpening() const { return m_bOpening; }

protected:
    void ShutdownCamera() override;
    CCaptureSession& Session() override { return m_session; }
    bool CameraOpen() const override { return IsOpen(); }
    bool HasView() const override { return m_pView != nullptr; }
    int CaptureMode() const override { return m_nMode; }
    void SetCaptureMode(int mode) override { m_nMode = mode; }
    void TakeShot(const QString& path) override;
    CCaptureSession::Recorder Recorder() override;

private:
    void BuildBars();
    void PlaceOnImage(int width, int height);
    bool CommandEnabled() const;
    void OnOpen();
    void Opened();
    void OnClose();

    void OnResolution();
    void OnCut();
    void OnSaveConfig(int page);
    void CloseSaveConfigDlg();
    void OnRestore();

    CameraSettings m_Settings{};
    BYTE m_byDevice = 0;
    int m_nMode = kModeIdle;
    CCaptureSession m_session;
    CDSCameraView* m_pView = nullptr;
    IRegionChooser* m_pChooser = nullptr;
    QPointer<CSaveConfigDlg> m_pSaveConfigDlg;
    bool m_bShutDown = false;
    bool m_bOpening = false;
    unsigned m_openGeneration = 0;
    // The opening waits for the device's first frame; the library's thread reports it.
    struct FirstFrame {
        std::mutex lock;
        std::condition_variable changed;
        bool arrived = false;
    };
    std::shared_ptr<FirstFrame> m_firstFrame = std::make_shared<FirstFrame>();
};
