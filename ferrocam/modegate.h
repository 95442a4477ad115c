// Keeps frame reads apart from a sensor mode switch, and only from that: any number of reads
// pass side by side, while a switch shuts new reads out and waits for those in flight. A
// thread that runs the switch may read inside it (its own still grabs and callbacks).
//
// Lock order: the engine's pipeline lock before this gate. A thread holding the gate for a
// read never waits for the pipeline lock; a switch takes the pipeline lock first.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class CModeGate {
public:
    // Returns false when the calling thread runs the switch itself (nothing to release then).
    bool EnterRead();
    void LeaveRead();
    // Recursive for the thread that holds it.
    void BeginSwitch();
    void EndSwitch();
    class ReadScope {
    public:
        explicit ReadScope(CModeGate& gate) : gate_(gate), counted_(gate.EnterRead()) {}
        ~ReadScope() {
            if (counted_)
                gate_.LeaveRead();
        }
        ReadScope(const ReadScope&) = delete;
        ReadScope& operator=(const ReadScope&) = delete;

    private:
        CModeGate& gate_;
        bool counted_;
    };

    class SwitchScope {
    public:
        explicit SwitchScope(CModeGate& gate) : gate_(gate) { gate_.BeginSwitch(); }
        ~SwitchScope() { gate_.EndSwitch(); }
        SwitchScope(const SwitchScope&) = delete;
        SwitchScope& operator=(const SwitchScope&) = delete;

    private:
        CModeGate& gate_;
    };

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int readers_ = 0;
    int switchesWaiting_ = 0;
    int switchDepth_ = 0;
    std::thread::id switcher_{};
};
