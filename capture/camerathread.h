// The thread that talks to the camera: opening and closing it, capturing a snap to a file and
// writing a snap out run here, one job after another in the order they were asked for, so the
// window keeps painting and answering meanwhile. There is one for the whole program: the hub
// drives one camera at a time, and a window opened while the last one still closes opens it
// after that close has finished.
#pragma once

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CCameraThread {
public:
    using Job = std::function<void()>;

    static CCameraThread& Instance();

    CCameraThread();
    ~CCameraThread();
    CCameraThread(const CCameraThread&) = delete;
    CCameraThread& operator=(const CCameraThread&) = delete;

    // Runs `job` here after every job posted before it; then `done` runs on the UI thread, in
    // turn with the posted messages, unless `receiver` is gone by then. What the job wrote is
    // seen by `done`.
    void Post(QObject* receiver, Job job, Job done = {});
    // Waits until every job posted so far has run (their `done` still comes later, if at all).
    // Whoever goes away with jobs in flight calls it first, so no job outlives what it uses.
    void Drain();
    // True while a job is queued or running.
    bool Busy() const;
    // True on this thread (jobs may call what would otherwise post to it).
    bool IsCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void Run();

    struct Entry {
        Job job;
        QObject* receiver;
        Job done;
    };
    mutable std::mutex m_lock;
    std::condition_variable m_wake;  // a job was posted, or the thread is to end
    std::condition_variable m_idle;  // a job has finished
    std::deque<Entry> m_jobs;
    uint64_t m_posted = 0;
    uint64_t m_finished = 0;
    bool m_quit = false;
    std::thread m_thread;
};
