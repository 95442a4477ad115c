// The live picture of a hub camera. Its frame source (CHubFrameSource) runs the grab thread,
// which reports each frame's mean brightness to the camera frame, and the display thread,
// which decodes the newest raw frame and applies the background correction; the view then
// hands the frame to the display child and appends it to a recording. The view also cuts a
// region, runs the area white balance and saves snaps.
//
// Messages the view sends to the camera frame (SetFrameWindow):
//   WM_CAMERA_FRAME (mean brightness, 0)   posted by the grab thread, once per reported frame
//   WM_CAMERA_STATUSTEXT (0, text)         posted by the display thread while recording
//   WM_CAMERA_FILESAVED (0, path or 0)     sent on the UI thread at the end of every snap
//   WM_CAMERA_RECORDLIMIT (0, 0)           posted when the record time limit runs out
//   WM_COMMAND (32985 / 32984, 0)          posted on double-click (full screen) and Esc (restore)
// and to the main window (SetMainWindow; by default the program's main frame):
//   WM_CAMERA_FILESAVED (1, path)          once a finished recording is closed
// A text or path in lParam is a zero-terminated UTF-8 string that lives until the handler
// returns; receivers copy it and never free it.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/framesource.h"
#include "capture/hubframesource.h"
#include "capture/liveview.h"
#include "platform/wintypes.h"

struct CameraSettings;
class CAviFile;
class CCameraDisplay;
class IViewFinder;
class QDialog;

class CCameraView : public CLiveView, private IFrameSink {
public:
    static constexpr UINT kCmdFullScreen = 32985;
    static constexpr UINT kCmdRestoreRegion = 32984;

    explicit CCameraView(QWidget* parent = nullptr);
    ~CCameraView() override;

    // Only when stopped: buffers of the camera's frame size, the display, then the threads.
    // Returns 0 when the hub reports no image size.
    int Init(CameraSettings* settings);
    // Only when running: finishes a recording (closed and announced), stops the threads and
    // frees the buffers, all before it returns.
    int Shutdown(CameraSettings* settings);
    // The same in three steps, so that the threads are joined on the camera thread: on the UI
    // thread BeginShutdown ends the recording and a snap waiting on its exposure and tells the
    // threads to stop; StopThreads (any thread) waits for them; EndShutdown on the UI thread
    // frees the buffers. BeginShutdown: false when the view was not running.
    bool BeginShutdown();
    void EndShutdown();
    void StartThreads();
    // Waits for both threads. A grab blocked in an exposure longer than a short one is released
    // by forcing a 1 ms exposure, restored once the threads ended.
    void StopThreads();

    // 0 run, 1 pause (the frame pauses while it changes the exposure), 2 stop.
    void SetRunState(BYTE state);
    // The next grabbed frame is neither reported nor shown (after exposure and speed changes).
    void SetSkipNext() { m_source.SetSkipNext(); }
    bool SkipNextPending() const { return m_source.SkipNextPending(); }
    void ClearFrameGrabbed() { m_source.ClearFrameGrabbed(); }
    bool FrameGrabbed() const { return m_source.FrameGrabbed(); }
    // Exposure in ms the grab thread read after its last frame.
    int LastExposure() const { return m_source.LastExposure(); }
    int Fps() const { return m_source.Fps(); }
    // Colour gains from the mean of a chosen area of the raw frame; 1 when gains were set.
    int AreaWhiteBalance();

    // The white-balance wizard, built by whoever owns its dialog: given the display child's
    // size it returns the dialog and the viewer the live picture goes to while it runs.
    struct WizardHandle {
        std::unique_ptr<QDialog> dialog;
        IViewFinder* display = nullptr;
    };
    using WizardFactory = std::function<WizardHandle(QWidget* parent, int width, int height)>;
    void SetWizardFactory(WizardFactory factory) { m_wizardFactory = std::move(factory); }
    // Runs the wizard modally; returns its result (0 without a factory).
    int WhiteBalanceWizard();
    // Where decoded frames go: nullptr is the view's own display child.
    void SetDisplayTarget(IViewFinder* target);

    void SetCross(int show, COLORREF colour);
    int CrossShown() const;
    COLORREF CrossColour() const;

    // Snaps: the frame calls StartSnap from its WM_CAMERA_SNAP handler; the view waits out the
    // exposure on its timer, writes the file on the camera thread and then sends
    // WM_CAMERA_FILESAVED (0, path of the file written, or 0 when nothing was written) to the
    // frame. `fineMode`: the camera takes the shot in its fine mode and goes back after it.
    void StartSnap(const QString& path, CameraSettings* settings);
    void SaveSnap(bool fineMode = false);
    // While the exposure is waited out or the file is written.
    bool SnapPending() const;

    // Counters for tests and benchmarks.
    uint64_t FramesGrabbed() const { return m_source.FramesGrabbed(); }
    uint64_t FramesReported() const { return m_source.FramesReported(); }
    uint64_t GrabsFailed() const { return m_source.GrabsFailed(); }
    uint64_t FramesShown() const { return m_nShown.load(); }
    uint64_t NewestSequence() const { return m_source.NewestSequence(); }
    uint64_t LastShownSequence() const { return m_nShownSequence.load(); }

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

public:
    // Mean of the first `count` raw bytes, at least 1.
    static int MeanBrightness(const BYTE* raw, size_t count) { return CHubFrameSource::MeanBrightness(raw, count); }

private:
    // Run-state changes wake a thread that waits out a pause.
    void ChangeRunState(BYTE state);
    // On the decode thread: the decoded, corrected frame to show and record.
    void OnFrame(const BYTE* bgr24, uint64_t sequence) override;
    void OnSnapTimer();
    void FinishSnap(const QString& path);
    // On the camera thread: a snap's file from decoded pixels, or captured by the camera.
    static void WriteDecoded(const QString& path, int type, const BYTE* pixels, int w, int h, QString* written,
                             bool* ok);
    void CaptureToFile(const QString& path, int type, int resolution, bool wide, QString* written, bool* ok);
    void FreeBuffers();
    // Whether the threads look at a window of the sensor (read where they start).
    bool SensorWindow() const;

    WizardFactory m_wizardFactory;
    int m_nCameraId = -1;
    CHubFrameSource m_source{m_byRunState, m_hFrame};

    std::mutex m_targetLock;  // m_pTarget, and a frame being presented to it
    IViewFinder* m_pTarget = nullptr;

    // Snap state.
    QString m_strSnapPath;
    BYTE m_bySnapType = 2;
    QTimer m_snapTimer;
    int m_nTick = 0;
    int m_nTickTotal = 0;
    bool m_bSaving = false;         // a snap is being written on the camera thread
    bool m_bSensorWindow = false;   // taken at Init for restarts off the UI thread

    // Counters.
    std::atomic<uint64_t> m_nShown{0}, m_nShownSequence{0};
};
