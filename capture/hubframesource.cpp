#include "capture/hubframesource.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "capture/backcorrection.h"
#include "capture/cameramodeltraits.h"
#include "capture/camerasettings.h"
#include "capture/liveview.h"
#include "platform/clock.h"
#include "ui/messages.h"
#include "vekcamera/VekCamera.h"
#include "video/avifile.h"

namespace {

// Exposures up to this end a grab soon enough that a stop need not force them shorter.
constexpr int kShortExposureMs = 100;

size_t RawBufferSize(int id, int width, int height) {
    const size_t picture = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    return std::max(CameraModelTraits::Of(id).rawBytes, picture);
}

uint64_t SteadyMicros() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

CHubFrameSource::CHubFrameSource(const std::atomic<BYTE>& runState, const HWND& frame)
    : m_runState(runState), m_hFrame(frame) {}

CHubFrameSource::~CHubFrameSource() { Stop(); }

void CHubFrameSource::Allocate(const CameraSettings& settings, int width, int height) {
    m_pBackApply = &settings.bBackCorrApply;
    if (settings.pBackPoints && settings.nBackPoints > 0)
        m_backPoints.assign(settings.pBackPoints, settings.pBackPoints + settings.nBackPoints);
    else
        m_backPoints.clear();
    m_nWidth = width;
    m_nHeight = height;
    m_nRawSize = RawBufferSize(settings.nCameraId, width, height);
    for (auto& raw : m_rawStore)
        raw.assign(m_nRawSize, 0);
    m_pGrabRaw = m_rawStore[0].data();
    m_mailbox.Reset(m_rawStore[1].data());
    m_pDisplayRaw = m_rawStore[2].data();
    const size_t rgbBytes = static_cast<size_t>(width) * height * 3;
    m_rgb.assign(rgbBytes, 0);
    {
        std::lock_guard<std::mutex> g(m_snapLock);
        m_snap.assign(rgbBytes, 0);
    }
    m_bSkipNext = 0;
}

void CHubFrameSource::Free() {
    for (auto& raw : m_rawStore)
        std::vector<BYTE>().swap(raw);
    m_pGrabRaw = m_pDisplayRaw = nullptr;
    m_mailbox.Reset(nullptr);
    std::vector<BYTE>().swap(m_rgb);
    std::lock_guard<std::mutex> g(m_snapLock);
    std::vector<BYTE>().swap(m_snap);
}

void CHubFrameSource::Start(IFrameSink* sink, bool sensorWindow) {
    if (Running() || !m_pGrabRaw)
        return;
    m_nMeanBytes = std::min(m_nRawSize, sensorWindow ? size_t{2048} * 1536 : static_cast<size_t>(m_nWidth) * m_nHeight);
    m_mailbox.Restart();
    m_grabThread = std::thread(&CHubFrameSource::GrabThread, this);
    m_displayThread = std::thread(&CHubFrameSource::DisplayThread, this, sink);
    m_bRunning = true;
}

void CHubFrameSource::Stop() {
    if (!Running())
        return;
    int exposure = 0;
    const bool known = VekCameraGetExposureTime(&exposure) == CAMERA_OK;
    // Any exposure longer than a short one keeps the grab blocked for up to its whole length,
    // whether or not a frame came since the start: a 1 ms exposure lets it return now. A short
    // exposure returns by itself, and forcing it would only make the sensor settle again (the
    // next capture's frames are lost). An exposure that cannot be read (the camera is gone) is
    // neither forced nor "restored" to 0.
    const bool forced = known && exposure > kShortExposureMs;
    if (forced) {
        VekCameraSetExposureTime(1);
        VekCameraReStartLongExpTime(0);
    }
    m_mailbox.Stop();  // the display thread waiting for a frame ends now
    if (m_grabThread.joinable())
        m_grabThread.join();
    if (m_displayThread.joinable())
        m_displayThread.join();
    m_bRunning = false;
    if (forced) {
        VekCameraSetExposureTime(static_cast<unsigned>(exposure));
        m_bFrameGrabbed = 0;
    }
}

void CHubFrameSource::WaitWhilePaused() const {
    while (m_runState.load() == CLiveView::kPause)
        m_runState.wait(CLiveView::kPause);
}

void CHubFrameSource::GrabThread() {
    uint64_t lastTick = 0;
    uint64_t lastMicros = 0;
    int failures = 0;
    const size_t meanBytes = m_nMeanBytes;
    while (m_runState.load() != CLiveView::kStop) {
        if (m_runState.load() != CLiveView::kRun) {
            WaitWhilePaused();
            continue;
        }
        if (VekCameraGrabFrame(m_pGrabRaw) != CAMERA_OK) {
            ++m_nFailed;
            // A camera that fails again and again (unplugged, stalled) is asked less often: these
            // pauses pace the camera, no frame is on its way.
            if (++failures > 2)
                SleepMs(std::min(1u << std::min(failures - 3, 6), 50u));
            continue;
        }
        failures = 0;
        int exposure = 0;
        VekCameraGetExposureTime(&exposure);
        m_nLastExposure = exposure;
        m_bFrameGrabbed = 1;
        const uint64_t tick = GetTickCountMs();
        const uint64_t micros = SteadyMicros();
        if (lastTick && tick > lastTick)
            m_nFps = static_cast<int>(1000 / (tick - lastTick));  // same tick: keep the last value
        if (lastMicros && micros > lastMicros) {
            const int64_t interval = static_cast<int64_t>(micros - lastMicros);
            const int64_t before = m_nFrameIntervalUs.load();
            m_nFrameIntervalUs = before ? (before * 3 + interval) / 4 : interval;
        }
        lastTick = tick;
        lastMicros = micros;
        ++m_nGrabbed;
        if (m_bSkipNext.exchange(0))
            continue;
        uint64_t sequence = ++m_nSequence;
        const int mean = MeanBrightness(m_pGrabRaw, meanBytes);
        if (m_hFrame)
            PostMessage(m_hFrame, WM_CAMERA_FRAME, static_cast<WPARAM>(mean), 0);
        ++m_nReported;
        // An untaken frame comes back as the next grab buffer: a slow display drops frames.
        m_mailbox.Put(m_pGrabRaw, sequence);
    }
}

void CHubFrameSource::DisplayThread(IFrameSink* sink) {
    bool pending = false;
    uint64_t sequence = 0;
    int decodeFailures = 0;
    while (m_runState.load() != CLiveView::kStop) {
        if (m_runState.load() != CLiveView::kRun) {
            WaitWhilePaused();
            continue;
        }
        // A frame the driver refused to decode is tried again after a millisecond, unless a
        // newer one arrives first; otherwise the wait lasts until a frame or the stop.
        const CFrameMailbox::TakeResult taken = m_mailbox.Take(m_pDisplayRaw, &sequence, pending ? 1 : -1);
        if (taken == CFrameMailbox::kStopped)
            break;
        if (taken == CFrameMailbox::kFrame) {
            pending = true;
            decodeFailures = 0;
        }
        if (!pending || m_runState.load() != CLiveView::kRun)
            continue;
        if (VekCameraDecode(m_pDisplayRaw, m_rgb.data(), m_nWidth, m_nHeight) != CAMERA_OK) {
            // The driver may be busy with a grab; give the frame up when it keeps refusing.
            if (++decodeFailures > 100)
                pending = false;
            continue;
        }
        pending = false;
        Decoded(sink, sequence);
    }
}

// The snap copy is the frame as decoded; the correction is for what is shown and recorded.
void CHubFrameSource::Decoded(IFrameSink* sink, uint64_t sequence) {
    {
        std::lock_guard<std::mutex> g(m_snapLock);
        std::memcpy(m_snap.data(), m_rgb.data(), m_rgb.size());
    }
    if (m_pBackApply && m_pBackApply->Get() && !m_backPoints.empty())
        ApplyBackCorrection(m_rgb.data(), m_nWidth, m_nHeight, m_backPoints.data(),
                            static_cast<int>(m_backPoints.size()));
    sink->OnFrame(m_rgb.data(), sequence);
}

std::vector<BYTE> CHubFrameSource::CopySnap() const {
    std::lock_guard<std::mutex> g(m_snapLock);
    return m_snap;
}

void CHubFrameSource::CopySnapRegion(const RECT& region, BYTE* out) const {
    std::lock_guard<std::mutex> g(m_snapLock);
    CLiveView::CopyRegion(m_snap.data(), m_nWidth, m_nHeight, region, out);
}

void CHubFrameSource::ChooseRecordRate(CAviFile& avi) const {
    const int64_t interval = m_nFrameIntervalUs.load();
    if (interval > 0)
        avi.SetFrameInterval(static_cast<uint64_t>(interval));
    else
        avi.SetRate(static_cast<unsigned>(std::max(1, m_nFps.load()) * 1000000));
}

// Mean of the raw bytes; a full-resolution frame sums past 32 bits.
int CHubFrameSource::MeanBrightness(const BYTE* raw, size_t count) {
    if (!raw || count == 0)
        return 1;
    uint64_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += raw[i];
    const uint64_t mean = sum / count;
    return mean < 1 ? 1 : static_cast<int>(mean);
}
