#include "imagelib/core/pxworkerpool.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace pxcore {

namespace {

thread_local bool t_poolThread = false;

}  // namespace

PxWorkerPool& PxWorkerPool::Instance() {
    // Never destroyed: its threads serve until the program ends, and images freed while it
    // exits may still run jobs.
    static PxWorkerPool* pool = new PxWorkerPool;
    return *pool;
}

PxWorkerPool::PxWorkerPool() {
    const unsigned hw = std::thread::hardware_concurrency();
    const unsigned wanted = hw > 1 ? hw - 1 : 0;  // the caller's thread is the last one
    for (unsigned t = 0; t < wanted; t++) {
        try {
            std::thread(&PxWorkerPool::Serve, this).detach();
            m_threads++;
        } catch (const std::system_error&) {
            break;  // fewer threads only means callers do more of the work themselves
        }
    }
}

unsigned PxWorkerPool::Width(unsigned cap) {
    if (t_poolThread) return 1;
    return std::max(1u, std::min(cap, Instance().m_threads + 1));
}

bool PxWorkerPool::OnPoolThread() { return t_poolThread; }

unsigned PxWorkerPool::Claim(Job& job, bool front) {
    const unsigned task = front ? job.next++ : --job.last;
    if (job.next == job.last) m_queue.erase(std::find(m_queue.begin(), m_queue.end(), &job));
    return task;
}

void PxWorkerPool::Execute(Job& job, unsigned task) {
    std::exception_ptr failure;
    try {
        job.call(job.context, task);
    } catch (...) {
        failure = std::current_exception();
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (failure && !job.failure) job.failure = failure;
    // Under the lock: the caller may return, and the job end, as soon as the lock is free.
    if (++job.finished == job.count) m_done.notify_all();
}

void PxWorkerPool::Serve() {
    t_poolThread = true;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_work.wait(lock, [this] { return !m_queue.empty(); });
        Job& job = *m_queue.front();
        if (job.promised > 0) {
            job.promised--;
            m_promised--;
        }
        const unsigned task = Claim(job, true);
        m_busy++;
        lock.unlock();
        Execute(job, task);
        lock.lock();
        m_busy--;
    }
}

void PxWorkerPool::RunTasks(unsigned count, void (*call)(void*, unsigned), void* context) {
    if (count == 0) return;
    if (count == 1 || t_poolThread || m_threads == 0) {
        std::exception_ptr failure;
        for (unsigned i = 0; i < count; i++) {
            try {
                call(context, i);
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        }
        if (failure) std::rethrow_exception(failure);
        return;
    }
    Job job;
    job.call = call;
    job.context = context;
    job.count = count;
    job.last = count;
    std::unique_lock<std::mutex> lock(m_lock);
    m_queue.push_back(&job);
    // Free pool threads are promised tasks that the caller leaves to them: each task then runs
    // on a thread of its own whenever there are threads to spare.
    const unsigned taken = m_busy + m_promised;
    job.promised = std::min(count - 1, taken < m_threads ? m_threads - taken : 0u);
    m_promised += job.promised;
    const unsigned helpers = job.promised;
    lock.unlock();
    for (unsigned i = 0; i < helpers; i++) m_work.notify_one();
    // The caller takes every task not promised, so the job ends even when every pool thread is
    // busy elsewhere; the promised ones are taken as soon as a pool thread is free, and pool
    // threads never wait for anything, so they are.
    lock.lock();
    while (job.last - job.next > job.promised) {
        const unsigned task = Claim(job, false);
        lock.unlock();
        Execute(job, task);
        lock.lock();
    }
    m_done.wait(lock, [&job] { return job.finished == job.count; });
    if (job.failure) std::rethrow_exception(job.failure);
}

}  // namespace pxcore
