// What a hub camera's window does, without its widgets: the busy mode that gates the commands,
// opening and closing the camera, writing every parameter to it and reading them back, the
// exposure with its speed switching, the software auto exposure per frame, the white and black
// balance, the save settings in the profile, the background-correction data and the window's
// place on the screen. The window (CCameraFrame) is a thin shell over it.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

#include "capture/camerasettings.h"
#include "capture/capturesession.h"
#include "platform/wintypes.h"

struct HWND__;
typedef HWND__* HWND;

class CCameraView;
struct RefusedCamera;
class CProfile;

class CCameraFrameController : public QObject {
public:
    // The busy modes of the window: most commands run only in kModeIdle.
    enum Mode {
        kModeIdle = 0,
        kModeSnap = 1,
        kModeResolution = 2,
        kModeAutoWhiteBalance = 3,
        kModeAreaWhiteBalance = 4,
        kModeExposurePanel = 6,
        kModeSettingsDialog = 7,
        kModeSaveConfig = 8,
        kModeCut = 9,
        kModeRestore = 10,
        kModeEnterFullScreen = 11,
        kModeLeaveFullScreen = 12,
        kModeRecording = 13,
        kModeBlackBalance = 14,
    };

    struct BackCorrection {
        int declared = 0;                  // the count the ini file gives
        std::vector<BackCorrPoint> points;  // the usable points
    };

    // `saveFolder` is the program's save folder (none when null).
    CCameraFrameController(int cameraId, int longExposure, CProfile& profile, QString* saveFolder = nullptr);
    ~CCameraFrameController() override;  // waits for the camera thread

    CameraSettings& Settings() { return m_Settings; }
    const CameraSettings& Settings() const { return m_Settings; }
    int Mode() const { return m_nMode; }
    void SetMode(int mode) { m_nMode = mode; }
    bool IsIdle() const { return m_nMode == kModeIdle; }
    bool IsOpen() const { return m_Settings.nOpenState == 0; }
    bool IsOpening() const { return m_bOpening; }

    // The window's handles the hub gets at Init, and its live view.
    void Attach(HWND frame, CCameraView* view) {
        m_hFrame = frame;
        m_pView = view;
    }
    // Called when the camera is open and laid out (the window places itself), and when the
    // prompts of the toolbar may have changed.
    std::function<void(int width, int height)> onOpened;
    std::function<void()> onStateChanged;
    // Called when the open failed because the system refused this user the camera's device,
    // with the text that says so.
    std::function<void(const QString& text)> onOpenRefused;
    // The cross of the view: read at open, written at close.
    int m_bCrossShow = 0;
    COLORREF m_crossColor = 255;

    // The save settings, snaps and recordings.
    CCaptureSession& Session() { return m_session; }
    const CCaptureSession& Session() const { return m_session; }

    // Save settings and resolutions from the profile (at creation) and back (at close). Values
    // outside their ranges read as their defaults.
    void LoadProfile();
    void SaveProfile();

    // Opens the camera on the camera thread, then loads its background correction and starts
    // the view; the rest of the opening runs 200 ms later (a timer, not a sleep). Returns false
    // when nothing was started; IsOpening() tells while it goes on.
    bool Open(int applyBackCorrection);
    // Closed for the window at once; the camera thread then restores the parameter team,
    // joins the view's threads and closes the camera.
    void Close();

    void WriteAllParameters() { WriteAllParameters(m_Settings); }
    void ReadAllParameters() { ReadAllParameters(m_Settings); }
    // The exposure command (table index in long-exposure mode).
    void SetExposure(int value) { SetExposure(m_Settings, value); }
    void ApplyWithSpeedSwitching(int ms) { ApplyWithSpeedSwitching(m_Settings, ms); }
    void ReadBack() { ReadBack(m_Settings); }

    // The work for one grabbed frame; returns true when software auto exposure gave up and was
    // switched off.
    bool OnFrame(int mean);

    // "Auto White Balance": mode 3 for 500 ms while the camera balances, then the gains are
    // stored. Quick white balance does the same without the mode check.
    void AutoWhiteBalance();
    void QuickWhiteBalance();
    void QuickBlackBalance();

    // Reads ".\BackCorr.ini" and its point file in the working directory for the hub's camera
    // id and the frame size. Broken data never reaches the view: the count is limited to the
    // records the file holds, and points outside the frame or with a percent of 0 are dropped.
    static BackCorrection ReadBackCorrection(int cameraId, int width, int height);
    void LoadBackCorrection(int apply);
    void FreeBackCorrection();

    // The window rectangle for an image of width x height on a screen's available area:
    // scaled down to fit, plus 46 pixels across and the bars' height down, centred, never at a
    // negative position. `chrome` is the height of the caption, bars and borders.
    static QRect WindowLayout(int width, int height, const QRect& screen, int chrome);

    // The folder of the next snap's name (the window's title).
    QString NextSnapFolder() const;

private:
    void Opened(unsigned generation, bool ok, int applyBackCorrection, const RefusedCamera* refused);
    void FinishOpen(unsigned generation);
    // The parameters the opening read into a copy of the record, back into the record.
    void TakeCameraParameters(const CameraSettings& camera);
    // The same on a given record (the opening's copy, on the camera thread).
    void WriteAllParameters(CameraSettings& s);
    void ReadAllParameters(CameraSettings& s);
    void SetExposure(CameraSettings& s, int value);
    void ApplyWithSpeedSwitching(CameraSettings& s, int ms);
    void ReadBack(CameraSettings& s);
    void ReadGainsAndSave();

    CameraSettings m_Settings{};
    CProfile& m_profile;
    CCaptureSession m_session;
    int m_nMode = kModeIdle;
    bool m_bOpening = false;
    unsigned m_openGeneration = 0;
    HWND m_hFrame = nullptr;
    CCameraView* m_pView = nullptr;
};
