// Frames of an ordinary video device (camera id 0) through the qodirectx library: one thread
// takes the newest frame with DSGrabFrame when the library tells of one, posts its brightness
// to the camera frame (WM_CAMERA_FRAME) and hands it to the sink.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/framesource.h"
#include "ui/msgbridge.h"

class CVideoDeviceFrameSource : public IFrameSource {
public:
    // `runState` is the view's: 0 run, 1 pause, 2 stop; WM_CAMERA_FRAME goes to `frame` as the
    // view holds it.
    CVideoDeviceFrameSource(const std::atomic<BYTE>& runState, const HWND& frame)
        : m_runState(runState), m_hFrame(frame) {}
    ~CVideoDeviceFrameSource() override { Stop(); }

    // The grab buffer for frames of width x height (with slack behind), while stopped.
    bool Allocate(int width, int height);
    void Free();
    // The thread; the caller set the run state to run.
    void Start(IFrameSink* sink);
    // Joins the thread; the caller set the run state to stop.
    void Stop();
    // A new frame is ready, or the run state changed: the thread looks again.
    void Wake();
    // Copies a region of the newest frame (bottom-up, packed rows); false before the first.
    bool CopyNewest(const RECT& region, BYTE* out) const;

    bool Running() const override { return m_bRunning.load(); }
    bool CanRecord() const override { return Running(); }
    // The live rate rounded up, so the file plays at least as fast as the device delivered.
    void ChooseRecordRate(CAviFile& avi) const override;

    // Frames per second from the time between new frames; 0 until a whole interval is known.
    double Fps() const { return m_dFps.load(); }
    uint64_t FramesGrabbed() const { return m_nGrabbed.load(); }
    uint64_t GrabCalls() const { return m_nGrabCalls.load(); }
    // (sum of channel 2 + 6 x channel 1 + 3 x channel 0) / (pixels + 1) / 10.
    static int FrameBrightness(const BYTE* bgr, int width, int height);
    int LastBrightness() const { return m_nLastBrightness.load(); }

private:
    void GrabThread(IFrameSink* sink);

    const std::atomic<BYTE>& m_runState;
    const HWND& m_hFrame;
    std::atomic<int> m_nLastBrightness{0};
    std::atomic<bool> m_bRunning{false};
    std::thread m_thread;
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    uint64_t m_nWakes = 0;  // under m_wakeLock
    int m_nWidth = 0;
    int m_nHeight = 0;
    // DSGrabFrame writes the buffer under m_frameLock; the thread reads it after, a snap copies
    // it under the lock.
    mutable std::mutex m_frameLock;
    std::vector<BYTE> m_frame;
    bool m_bFrameSeen = false;  // under m_frameLock
    std::atomic<double> m_dFps{0.0};
    std::atomic<uint64_t> m_nGrabbed{0}, m_nGrabCalls{0};
};
