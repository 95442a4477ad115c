#include "capture/videodeviceframesource.h"

#include <algorithm>
#include <chrono>

#include "capture/frameratemeter.h"
#include "capture/liveview.h"
#include "ui/messages.h"
#include "platform/clock.h"
#include "qodirectx.h"
#include "video/avifile.h"

namespace {
// Slack behind the frame in the grab buffer.
constexpr size_t kBufferSlack = 512;
}  // namespace

bool CVideoDeviceFrameSource::Allocate(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    std::lock_guard<std::mutex> g(m_frameLock);
    m_frame.assign(bytes + kBufferSlack, 0);
    m_bFrameSeen = false;
    m_nWidth = width;
    m_nHeight = height;
    return true;
}

void CVideoDeviceFrameSource::Free() {
    std::lock_guard<std::mutex> g(m_frameLock);
    std::vector<BYTE>().swap(m_frame);
    m_bFrameSeen = false;
}

void CVideoDeviceFrameSource::Start(IFrameSink* sink) {
    if (m_thread.joinable()) return;
    m_thread = std::thread(&CVideoDeviceFrameSource::GrabThread, this, sink);
    m_bRunning = true;
}

void CVideoDeviceFrameSource::Stop() {
    Wake();
    if (m_thread.joinable()) m_thread.join();
    m_bRunning = false;
}

void CVideoDeviceFrameSource::Wake() {
    {
        std::lock_guard<std::mutex> g(m_wakeLock);
        ++m_nWakes;
    }
    m_wake.notify_all();
}

bool CVideoDeviceFrameSource::CopyNewest(const RECT& region, BYTE* out) const {
    // The grab thread writes the buffer under this lock: the copy is one whole frame.
    std::lock_guard<std::mutex> g(m_frameLock);
    if (!m_bFrameSeen) return false;
    CLiveView::CopyRegion(m_frame.data(), m_nWidth, m_nHeight, region, out);
    return true;
}

void CVideoDeviceFrameSource::ChooseRecordRate(CAviFile& avi) const {
    const int fps = std::max(1, static_cast<int>(m_dFps.load() + 0.9));
    avi.SetRate(static_cast<unsigned>(fps) * 1000000u);
}

int CVideoDeviceFrameSource::FrameBrightness(const BYTE* bgr, int width, int height) {
    if (!bgr || width <= 0 || height <= 0) return 0;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    // A large frame sums well past 32 bits.
    uint64_t sum = 0;
    const BYTE* p = bgr;
    for (size_t i = 0; i < pixels; ++i, p += 3) sum += p[2] + 6u * p[1] + 3u * p[0];
    return static_cast<int>(sum / (pixels + 1) / 10);
}

void CVideoDeviceFrameSource::GrabThread(IFrameSink* sink) {
    CFrameRateMeter rate;
    uint64_t sequence = 0;
    // The library tells of every new frame (Wake); the wait's deadline only guards against a
    // device that goes quiet, so that the thread still sees a stop.
    constexpr auto kQuiet = std::chrono::milliseconds(250);
    while (m_runState.load() != CLiveView::kStop) {
        uint64_t seen;
        {
            std::lock_guard<std::mutex> g(m_wakeLock);
            seen = m_nWakes;
        }
        if (m_runState.load() == CLiveView::kRun) {
            bool fresh = false;
            {
                std::lock_guard<std::mutex> g(m_frameLock);
                ++m_nGrabCalls;
                // A frame already handed out is no frame: nothing is drawn, reported or recorded again.
                fresh = !m_frame.empty() && DSGrabFrame(m_frame.data()) == 1;
                if (fresh) m_bFrameSeen = true;
            }
            if (fresh) {
                // Until the new stream has a whole interval, the last rate stands.
                if (const double fps = rate.AddFrame(GetTickCountMs()); fps > 0.0) m_dFps = fps;
                ++m_nGrabbed;
                const int brightness = FrameBrightness(m_frame.data(), m_nWidth, m_nHeight);
                m_nLastBrightness = brightness;
                if (m_hFrame) PostMessage(m_hFrame, WM_CAMERA_FRAME, static_cast<WPARAM>(brightness), 0);
                sink->OnFrame(m_frame.data(), ++sequence);
            }
        }
        // Paused or after a grab: until the next frame or run-state change.
        std::unique_lock<std::mutex> g(m_wakeLock);
        m_wake.wait_for(g, kQuiet, [&] { return m_nWakes != seen; });
    }
}
