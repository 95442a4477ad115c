// Frames of a hub camera: a grab thread pulls raw frames with the blocking VekCameraGrabFrame
// and posts each reported frame's mean brightness to the camera frame; a decode thread turns
// the newest raw frame into RGB with VekCameraDecode, keeps a copy for snaps, applies the
// background correction and hands it to the sink. The two threads meet in a newest-frame
// mailbox, so a slow display drops frames instead of holding up the grab.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/framesource.h"
#include "platform/framemailbox.h"
#include "ui/msgbridge.h"

struct BackCorrPoint;
struct CameraSettings;
class SharedSwitch;

class CHubFrameSource : public IFrameSource {
public:
    // `runState` is the view's (0 run, 1 pause, 2 stop; changes are notified); WM_CAMERA_FRAME
    // goes to `frame` as the view holds it.
    CHubFrameSource(const std::atomic<BYTE>& runState, const HWND& frame);
    ~CHubFrameSource() override;

    // While stopped: buffers of the camera's raw size for frames of width x height, and what
    // the decode thread takes from the record (the back-correction switch and a copy of its
    // points, fixed while the threads run).
    void Allocate(const CameraSettings& settings, int width, int height);
    void Free();
    bool Allocated() const { return m_pGrabRaw != nullptr; }
    // The threads; the caller sets the run state to run first. `sensorWindow`: the camera
    // previews a window of its sensor, whose mean is the first 2048 x 1536 bytes.
    void Start(IFrameSink* sink, bool sensorWindow);
    // Joins both threads; the caller sets the run state to stop first. A grab blocked in an
    // exposure longer than a short one is released by forcing a 1 ms exposure, restored once
    // the threads ended.
    void Stop();

    // Read on the UI thread while the camera thread may be starting or joining the threads.
    bool Running() const override { return m_bRunning.load(); }
    // The RGB buffer tells whether the camera runs: the grab thread exchanges the raw pointers.
    bool CanRecord() const override { return !m_rgb.empty(); }
    // The frame time the grab thread measured, not a whole number of frames per second.
    void ChooseRecordRate(CAviFile& avi) const override;

    // The last decoded frame (before the background correction), whole or a region of it.
    std::vector<BYTE> CopySnap() const;
    void CopySnapRegion(const RECT& region, BYTE* out) const;
    // Only while stopped: the last raw frame the decode thread took, and the RGB buffer as
    // scratch of width x height x 3 bytes.
    const BYTE* DisplayRaw() const { return m_pDisplayRaw; }
    BYTE* Scratch() { return m_rgb.data(); }

    void SetSkipNext() { m_bSkipNext = 1; }
    bool SkipNextPending() const { return m_bSkipNext.load() != 0; }
    void ClearFrameGrabbed() { m_bFrameGrabbed = 0; }
    bool FrameGrabbed() const { return m_bFrameGrabbed.load() != 0; }
    int LastExposure() const { return m_nLastExposure.load(); }
    int Fps() const { return m_nFps.load(); }
    uint64_t FramesGrabbed() const { return m_nGrabbed.load(); }
    uint64_t FramesReported() const { return m_nReported.load(); }
    uint64_t GrabsFailed() const { return m_nFailed.load(); }
    uint64_t NewestSequence() const { return m_nSequence.load(); }

    // Mean of the first `count` raw bytes, at least 1.
    static int MeanBrightness(const BYTE* raw, size_t count);

private:
    void GrabThread();
    void DisplayThread(IFrameSink* sink);
    void WaitWhilePaused() const;
    void Decoded(IFrameSink* sink, uint64_t sequence);

    const std::atomic<BYTE>& m_runState;
    const HWND& m_hFrame;
    const SharedSwitch* m_pBackApply = nullptr;  // the record's switch, taken at Allocate
    std::vector<BackCorrPoint> m_backPoints;     // copied at Allocate, fixed while the threads run
    size_t m_nMeanBytes = 0;                     // raw bytes the grab thread averages
    int m_nWidth = 0;
    int m_nHeight = 0;
    size_t m_nRawSize = 0;

    std::vector<BYTE> m_rawStore[3];  // grab, slot, display raw: exchanged by pointer
    BYTE* m_pGrabRaw = nullptr;
    BYTE* m_pDisplayRaw = nullptr;
    CFrameMailbox m_mailbox;  // holds the slot buffer between the grab and the display
    std::vector<BYTE> m_rgb;
    std::vector<BYTE> m_snap;  // last decoded frame, under m_snapLock
    mutable std::mutex m_snapLock;

    std::atomic<bool> m_bRunning{false};
    std::thread m_grabThread;
    std::thread m_displayThread;

    std::atomic<int> m_bSkipNext{0};
    std::atomic<int> m_bFrameGrabbed{0};
    std::atomic<int> m_nLastExposure{0};
    std::atomic<int> m_nFps{0};
    std::atomic<int64_t> m_nFrameIntervalUs{0};
    std::atomic<uint64_t> m_nGrabbed{0}, m_nReported{0}, m_nSequence{0}, m_nFailed{0};
};
