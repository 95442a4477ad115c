// The live picture of an ordinary video device (camera id 0) through the qodirectx library: its
// frame source's one thread takes the newest frame and reports its brightness to the frame
// window; the view hands it to the display child and appends it to a recording. Snaps are
// written at once with DSCameraImageSave; "DS Bin" changes the stream size with the thread
// stopped.
//
// Messages the view and its source send:
//   WM_CAMERA_FRAME (brightness, 0)     posted by the source to the frame window, every new frame
//   WM_CAMERA_STATUSTEXT (0, text)      posted to the frame window while recording
//   WM_CAMERA_FILESAVED (0, path or 0)  sent to the frame window at the end of every snap
//   WM_CAMERA_FILESAVED (1, path)       posted to the main window once a recording is finished
// A text or path in lParam is a zero-terminated UTF-8 string that lives until the handler
// returns; receivers copy it and never free it.
#pragma once

#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>

#include "capture/framesource.h"
#include "capture/liveview.h"
#include "capture/videodeviceframesource.h"
#include "platform/wintypes.h"

struct CameraSettings;
class CAviFile;
class CCameraDisplay;

class CDSCameraView : public CLiveView, public IFrameSink {
public:
    explicit CDSCameraView(QWidget* parent = nullptr);
    ~CDSCameraView() override;

    // Only when stopped: the device's frame size, the buffers, the display, then the thread.
    // 0 when the library reports no size.
    int Init(CameraSettings* settings);
    // Only when running: finishes a recording, stops the thread and frees the buffers.
    int Shutdown();
    // "DS Bin": the thread stopped, the library's resolution choice, the buffers for the size
    // it reports then, the whole frame shown, the thread started again. 0 when no size can be
    // read afterwards (the view stays stopped) or the view is not running.
    int ChangeResolution();

    // 0 run, 1 pause; 2 stops the thread.
    void SetRunState(BYTE state);
    // From the library's streaming thread: a new frame is ready.
    void FrameArrived() { m_source.Wake(); }
    bool IsRunning() const { return m_source.Running(); }
    // Frames per second from the time between new frames; 0 until a whole interval is known.
    double Fps() const { return m_source.Fps(); }

    // Writes the shown picture (the whole frame or the cut region) as `fileType` on the camera
    // thread under the "Wait a moment!" dialog, then sends WM_CAMERA_FILESAVED (0, path written
    // or 0) to the frame window. A RAW file always gets ".raw". Returns the path being written,
    // empty when there is nothing to write.
    QString Snap(const QString& path, int fileType);

    static int FrameBrightness(const BYTE* bgr, int width, int height) {
        return CVideoDeviceFrameSource::FrameBrightness(bgr, width, height);
    }

    uint64_t FramesGrabbed() const { return m_source.FramesGrabbed(); }
    uint64_t GrabCalls() const { return m_source.GrabCalls(); }
    int LastBrightness() const { return m_source.LastBrightness(); }

private:
    void FinishSnap(const QString& written);
    // On the source's thread: shown and recorded.
    void OnFrame(const BYTE* bgr24, uint64_t sequence) override;
    void StartThread();
    void StopThread();
    bool AllocateFor(int width, int height);
    void FreeBuffers();

    CVideoDeviceFrameSource m_source{m_byRunState, m_hFrame};
};
