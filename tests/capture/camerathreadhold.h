// Holds the camera thread in a job until released (or the holder goes), so that a test sees
// what the window does while camera work waits behind it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "capture/camerathread.h"

class CameraThreadHold {
public:
    CameraThreadHold() : m_state(std::make_shared<State>()) {
        CCameraThread::Instance().Post(nullptr, [s = m_state] {
            std::unique_lock<std::mutex> g(s->lock);
            s->entered = true;
            s->changed.notify_all();
            s->changed.wait(g, [&] { return s->released; });
        });
        std::unique_lock<std::mutex> g(m_state->lock);
        m_state->changed.wait(g, [&] { return m_state->entered; });
    }
    ~CameraThreadHold() { Release(); }
    void Release() {
        std::lock_guard<std::mutex> g(m_state->lock);
        m_state->released = true;
        m_state->changed.notify_all();
    }

private:
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        bool entered = false;
        bool released = false;
    };
    std::shared_ptr<State> m_state;
};
