#include "capture/camerasnapthread.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "ui/messages.h"

namespace {

// Between the steps of its bar the interval's thread rests: the bar moves no faster than the
// screen shows it, and the dialog's Cancel, which only answers when asked, is seen this soon.
constexpr uint64_t kIntervalStepMs = 40;

}  // namespace

bool CCameraSnapThread::Start(HWND frame, const Plan& plan, IIntervalProgress* interval) {
    if (m_thread.joinable()) return false;
    SetStop(false);
    m_thread = std::thread([this, frame, plan, interval] { Run(frame, plan, interval); });
    return true;
}

void CCameraSnapThread::Finish() {
    if (m_thread.joinable()) m_thread.join();
}

void CCameraSnapThread::Stop() {
    SetStop(true);
    SetSnapDone();
    if (m_thread.joinable()) m_thread.join();
    SetStop(false);
}

void CCameraSnapThread::SetStop(bool stop) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_bStop.store(stop);
    }
    m_wake.notify_all();
}

void CCameraSnapThread::SetSnapDone() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_bSnapDone.store(1);
    }
    m_wake.notify_all();
}

bool CCameraSnapThread::WaitSnapDone() {
    std::unique_lock<std::mutex> g(m_lock);
    m_wake.wait(g, [this] { return m_bSnapDone.load() || m_bStop.load(); });
    return !m_bStop.load();
}

void CCameraSnapThread::WaitUntil(uint64_t untilMs, bool orSnapDone) {
    const uint64_t now = GetTickCountMs();
    if (now >= untilMs) return;
    std::unique_lock<std::mutex> g(m_lock);
    m_wake.wait_for(g, std::chrono::milliseconds(untilMs - now),
                    [&] { return m_bStop.load() || (orSnapDone && m_bSnapDone.load()); });
}

void CCameraSnapThread::Run(HWND frame, Plan plan, IIntervalProgress* interval) {
    if (plan.open) {
        if (plan.lapse) {
            const uint64_t spaceMs = static_cast<uint64_t>(plan.spaceSeconds > 0 ? plan.spaceSeconds : 0) * 1000;
            for (int i = 0; i < plan.count; i++) {
                if (!WaitSnapDone()) return;
                m_bSnapDone.store(0);
                PostMessage(frame, WM_CAMERA_SNAP, static_cast<WPARAM>(i), 0);
                if (i == plan.count - 1) break;
                if (interval) {
                    interval->SetPos(0);
                    interval->ClearCancelled();
                }
                // The interval runs from the shot on, but its window waits until the shot's
                // own progress window is gone: one window at a time.
                bool shown = false;
                const uint64_t start = GetTickCountMs();
                bool cancelled = false;
                int lastPos = -1;
                for (;;) {
                    if (m_bStop.load()) {
                        if (interval) interval->Show(false);
                        return;
                    }
                    const uint64_t elapsed = GetTickCountMs() - start;
                    if (elapsed >= spaceMs) break;
                    if (interval && !shown && m_bSnapDone.load()) {
                        interval->Show(true);
                        shown = true;
                    }
                    const int pos = static_cast<int>(elapsed / plan.spaceSeconds);
                    if (interval && pos != lastPos) {
                        interval->SetPos(pos);
                        lastPos = pos;
                    }
                    if (interval && interval->IsCancelled()) {
                        cancelled = true;
                        break;
                    }
                    // Until the bar's next step or the interval's end; a finished shot wakes it
                    // early while its window is still to be shown.
                    WaitUntil(start + std::min(spaceMs, elapsed + kIntervalStepMs), interval && !shown);
                }
                if (interval) interval->Show(false);
                if (cancelled) break;
            }
        } else {
            if (!WaitSnapDone()) return;
            m_bSnapDone.store(0);
            PostMessage(frame, WM_CAMERA_SNAP, 0, 0);
        }
    }
    if (!WaitSnapDone()) return;
    PostMessage(frame, WM_CAMERA_LAPSEDONE, 0, 0);
}
