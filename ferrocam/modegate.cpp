#include "ferrocam/modegate.h"

bool CModeGate::EnterRead() {
    std::unique_lock<std::mutex> g(lock_);
    if (switchDepth_ > 0 && switcher_ == std::this_thread::get_id())
        return false;
    // A waiting switch goes first: reads that keep coming must not hold it off for ever.
    changed_.wait(g, [this] { return switchDepth_ == 0 && switchesWaiting_ == 0; });
    ++readers_;
    return true;
}

void CModeGate::LeaveRead() {
    std::lock_guard<std::mutex> g(lock_);
    if (--readers_ == 0)
        changed_.notify_all();
}

void CModeGate::BeginSwitch() {
    std::unique_lock<std::mutex> g(lock_);
    const std::thread::id self = std::this_thread::get_id();
    if (switchDepth_ > 0 && switcher_ == self) {
        ++switchDepth_;
        return;
    }
    ++switchesWaiting_;
    changed_.wait(g, [this] { return switchDepth_ == 0 && readers_ == 0; });
    --switchesWaiting_;
    switchDepth_ = 1;
    switcher_ = self;
}

void CModeGate::EndSwitch() {
    std::lock_guard<std::mutex> g(lock_);
    if (--switchDepth_ == 0) {
        switcher_ = std::thread::id();
        changed_.notify_all();
    }
}
