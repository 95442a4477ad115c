// The snap thread of a camera window: one shot, or a time lapse of shots spaced by an interval
// shown in the "Interval Complete" dialog. It asks the window for each shot by posting
// WM_CAMERA_SNAP and waits for the shot to finish (the snap-done gate, set when the window hears
// that the file was saved or refused); at the end it posts WM_CAMERA_LAPSEDONE and the window
// joins it. It never sends to the window: the window joins it from the UI thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "ui/msgbridge.h"

class CCameraSnapThread {
public:
    // What the thread shows between time-lapse shots. Called on the snap thread: an
    // implementation hands the widget calls to the UI thread and never blocks on it.
    class IIntervalProgress {
    public:
        virtual void Show(bool visible) = 0;
        virtual void SetPos(int perMille) = 0;
        virtual bool IsCancelled() = 0;
        virtual void ClearCancelled() = 0;

    protected:
        ~IIntervalProgress() = default;
    };

    struct Plan {
        bool open = false;   // camera open when the command ran; a closed camera takes no shot
        bool lapse = false;  // time lapse (bConfig and bLapse), else one shot
        int count = 1;       // shots of a time lapse
        int spaceSeconds = 0;
    };

    CCameraSnapThread() = default;
    ~CCameraSnapThread() { Stop(); }
    CCameraSnapThread(const CCameraSnapThread&) = delete;
    CCameraSnapThread& operator=(const CCameraSnapThread&) = delete;

    // Starts a series unless one runs or has not been joined yet; false then.
    bool Start(HWND frame, const Plan& plan, IIntervalProgress* interval);
    // The series ended by itself (WM_CAMERA_LAPSEDONE): join the thread.
    void Finish();
    // The window goes away: end the series at once, release the gate and join.
    void Stop();
    // True from Start until Finish or Stop.
    bool IsActive() const { return m_thread.joinable(); }

    // The snap-done gate: cleared before each shot, set when the shot is over (which wakes the
    // thread).
    void SetSnapDone();
    bool SnapDone() const { return m_bSnapDone.load() != 0; }

private:
    void Run(HWND frame, Plan plan, IIntervalProgress* interval);
    // Waits for the gate; false when the thread is told to stop.
    bool WaitSnapDone();
    // Waits until the clock reaches `untilMs`, a stop, or (with `orSnapDone`) the gate opening.
    void WaitUntil(uint64_t untilMs, bool orSnapDone);
    void SetStop(bool stop);

    std::thread m_thread;
    // Both flags change under m_lock, so a waiter cannot miss the change; they are read freely.
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::atomic<int> m_bSnapDone{1};
    std::atomic<bool> m_bStop{false};
};
