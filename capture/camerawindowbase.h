// What the two camera windows share around their capture session: the commands through the
// command router (one table of the camera commands' texts), the "Camera" toolbar's split
// buttons, the status bar with the brightness bar, the "Interval Complete" dialog of time lapses,
// and Snap and Record. Each window adds its own commands and the view calls the session needs.
#pragma once

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>

#include "capture/camerawindowhost.h"
#include "capture/capturesession.h"
#include "ui/commandrouter.h"
#include "ui/msgbridge.h"

class CFlatProgressCtrl;
class CProgressDialog;
class QLabel;
class QToolBar;
class QToolButton;

class CCameraWindowBase : public QMainWindow, public CMessageTarget, public CCmdTarget {
public:
    // The command ids both windows have.
    static constexpr UINT ID_CAMERA_SNAP = 1230;
    static constexpr UINT ID_CAMERA_RECORD = 1234;
    static constexpr UINT ID_VIDEO_CUT = 32983;
    static constexpr UINT ID_VIDEO_RESTORE = 32984;
    static constexpr UINT ID_SNAP_CONFIG = 32999;
    static constexpr UINT ID_RECORD_CONFIG = 33001;

    ~CCameraWindowBase() override;

    QAction* Action(UINT id) const;
    QToolButton* Button(UINT id) const;
    QString StatusText() const;
    CFlatProgressCtrl* BrightnessBar() const { return m_pBrightness; }
    QToolBar* CameraBar() const { return m_pToolBar; }
    CProgressDialog* IntervalDialog() const { return m_pInterval; }
    int m_bRecording = 0;

    // Runs a command as its button would (nothing when it is disabled); false when it is not
    // one of this window's commands.
    bool OnCommand(UINT id);
    bool IsCommandEnabled(UINT id) const;
    void UpdateCommands();

protected:
    CCameraWindowBase(const CameraWindowHost& host, QWidget* parent);

    virtual CCaptureSession& Session() = 0;
    virtual bool CameraOpen() const = 0;
    virtual bool HasView() const = 0;
    // The window's busy mode, which Record reads and sets.
    virtual int CaptureMode() const = 0;
    virtual void SetCaptureMode(int mode) = 0;
    // The view takes a snap to `path`; it reports with WM_CAMERA_FILESAVED.
    virtual void TakeShot(const QString& path) = 0;
    virtual CCaptureSession::Recorder Recorder() = 0;
    // The Record prompt and the Snap tooltip; windows add their own.
    virtual void RefreshPrompts();
    // Ends snaps, recording and dialogs and closes the camera (once; its I/O goes to the camera
    // thread).
    virtual void ShutdownCamera() = 0;

    // The host hears of the close at once and the window is hidden; it is deleted once the
    // camera thread has closed the camera.
    void closeEvent(QCloseEvent* e) override;

    // A command: its texts come from the camera commands' table. Enabled while `enabled` says so
    // (while the camera is open without one), checked as `checked` says when there is one.
    void AddCommand(UINT id, std::function<void()> run, std::function<bool()> enabled = {},
                    std::function<bool()> checked = {});
    QToolButton* AddSplitButton(UINT id, const QList<UINT>& menuIds);
    // The window's title and its live view in the middle.
    template <class View>
    View* InstallView(View* view) {
        setWindowTitle("Camera");
        view->setObjectName(QString::number(0xE900));
        view->SetFrameWindow(GetSafeHwnd());
        view->SetMainWindow(m_host.mainWindow);
        setCentralWidget(view);
        return view;
    }
    // The "Camera" toolbar (named `toolBarName`) and the status bar.
    void BuildFrame(const QString& toolBarName);
    // The quarter-screen start and the interval dialog; StopSnaps ends a series and deletes it.
    void CreateIntervalDialog();
    void StopSnaps();
    // Fits the window to a picture; `chromeAbove` is the height of the bars above the toolbar.
    void PlaceOnImage(int width, int height, int chromeAbove);

    // The messages both windows answer alike; false for the others.
    bool HandleCaptureMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnSnap();
    void OnShot(int index);
    void OnRecord();
    CCaptureSession::AskFile AskFile();

    CameraWindowHost m_host;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pPane0 = nullptr;
    QLabel* m_pPane1 = nullptr;
    CFlatProgressCtrl* m_pBrightness = nullptr;
    CProgressDialog* m_pInterval = nullptr;
    // Only files written are announced to the main frame (the webcam window).
    bool m_bAnnounceOnlyWritten = false;

private:
    class IntervalLink;

    CCommandRouter* m_pRouter = nullptr;
    std::unique_ptr<IntervalLink> m_pIntervalLink;
    std::map<UINT, QToolButton*> m_buttons;
    bool m_bCameraClosed = false;  // the camera thread has closed the camera for good
};
