#include "capture/camerasnapthread.h"

#include <chrono>

#include "ui/messages.h"

namespace {

void SleepOneMs() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace

bool CCameraSnapThread::Start(HWND frame, const Plan& plan, IIntervalProgress* interval) {
    if (m_thread.joinable()) return false;
    m_bStop.store(false);
    m_thread = std::thread([this, frame, plan, interval] { Run(frame, plan, interval); });
    return true;
}

void CCameraSnapThread::Finish() {
    if (m_thread.joinable()) m_thread.join();
}

void CCameraSnapThread::Stop() {
    m_bStop.store(true);
    m_bSnapDone.store(1);
    if (m_thread.joinable()) m_thread.join();
    m_bStop.store(false);
}

bool CCameraSnapThread::WaitSnapDone() {
    while (!m_bSnapDone.load()) {
        if (m_bStop.load()) return false;
        SleepOneMs();
    }
    return !m_bStop.load();
}

void CCameraSnapThread::Run(HWND frame, Plan plan, IIntervalProgress* interval) {
    using Clock = std::chrono::steady_clock;
    if (plan.open) {
        if (plan.lapse) {
            const long long spaceMs = static_cast<long long>(plan.spaceSeconds > 0 ? plan.spaceSeconds : 0) * 1000;
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
                const Clock::time_point start = Clock::now();
                bool cancelled = false;
                int lastPos = -1;
                for (;;) {
                    if (m_bStop.load()) {
                        if (interval) interval->Show(false);
                        return;
                    }
                    const long long elapsed =
                        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
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
                    SleepOneMs();
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
