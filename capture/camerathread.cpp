#include "capture/camerathread.h"

#include "ui/msgbridge.h"

CCameraThread& CCameraThread::Instance() {
    static CCameraThread thread;
    return thread;
}

CCameraThread::CCameraThread() : m_thread(&CCameraThread::Run, this) {}

CCameraThread::~CCameraThread() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CCameraThread::Post(QObject* receiver, Job job, Job done) {
    if (IsCurrent()) {
        // A job asking for more camera work does it now: waiting for itself would never end.
        if (job) job();
        if (done) PostCall(receiver, std::move(done));
        return;
    }
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_jobs.push_back({std::move(job), receiver, std::move(done)});
        ++m_posted;
    }
    m_wake.notify_one();
}

void CCameraThread::Drain() {
    if (IsCurrent()) return;
    std::unique_lock<std::mutex> g(m_lock);
    const uint64_t target = m_posted;
    m_idle.wait(g, [&] { return m_finished >= target; });
}

bool CCameraThread::Busy() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_finished != m_posted;
}

void CCameraThread::Run() {
    std::unique_lock<std::mutex> g(m_lock);
    for (;;) {
        m_wake.wait(g, [&] { return m_quit || !m_jobs.empty(); });
        if (m_jobs.empty()) return;
        Entry e = std::move(m_jobs.front());
        m_jobs.pop_front();
        g.unlock();
        if (e.job) e.job();
        // Posted before the job counts as finished: a Drain that returns has its done queued.
        if (e.done) PostCall(e.receiver, std::move(e.done));
        g.lock();
        ++m_finished;
        m_idle.notify_all();
    }
}
