// The library's worker threads: one pool for the whole program, started on first use and kept
// until it ends, sized to the machine. A job of n tasks runs on the pool and on the thread that
// asked for it, which takes tasks itself rather than wait; a job asked for on a pool thread (a
// task that shares out work of its own) runs there, one task after another, so no pool thread
// ever waits for another.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <type_traits>

namespace pxcore {

class PxWorkerPool {
public:
    static PxWorkerPool& Instance();

    // The threads a job may use: the pool's and the caller's, at most cap; 1 on a pool thread.
    static unsigned Width(unsigned cap = 8);
    // True on one of the pool's threads.
    static bool OnPoolThread();

    // Runs task(i) for every i in [0, count) and returns when all have returned. Tasks may run
    // in any order and on any of the threads. An exception in a task (memory running out) does
    // not end the program: the first one is thrown here, after every task has finished.
    template <class Task>
    void Run(unsigned count, Task&& task) {
        using Fn = std::remove_reference_t<Task>;
        RunTasks(count, [](void* t, unsigned i) { (*static_cast<Fn*>(t))(i); }, const_cast<void*>(static_cast<const void*>(&task)));
    }

    PxWorkerPool(const PxWorkerPool&) = delete;
    PxWorkerPool& operator=(const PxWorkerPool&) = delete;

private:
    struct Job {
        void (*call)(void*, unsigned);
        void* context;
        unsigned count;
        unsigned next = 0;      // tasks [next, last) are not handed out yet; the pool takes
        unsigned last = 0;      // them from the front, the caller from the back
        unsigned promised = 0;  // of those, left for pool threads that were free when it came
        unsigned finished = 0;  // tasks that have returned
        std::exception_ptr failure;
    };

    PxWorkerPool();
    void RunTasks(unsigned count, void (*call)(void*, unsigned), void* context);
    void Serve();
    // Hands out a task of job from its front or back; the caller holds m_lock.
    unsigned Claim(Job& job, bool front);
    void Execute(Job& job, unsigned task);

    unsigned m_threads = 0;  // started and serving
    unsigned m_busy = 0;     // running a task
    unsigned m_promised = 0; // promised to jobs and not yet taken
    std::mutex m_lock;
    std::condition_variable m_work;  // a job was queued
    std::condition_variable m_done;  // a task finished
    std::deque<Job*> m_queue;        // jobs with tasks not yet handed out
};

}  // namespace pxcore
