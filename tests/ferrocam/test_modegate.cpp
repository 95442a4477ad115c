#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "ferrocam/modegate.h"

using namespace std::chrono_literals;

namespace {

bool WaitFor(const std::atomic<bool>& flag, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!flag.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    return flag.load();
}

}  // namespace

TEST(ModeGate, ReadsShareASwitchWaitsForThemAndHoldsNewOnes) {
    CModeGate gate;
    gate.EnterRead();
    std::atomic<bool> secondIn{false};
    std::thread second([&] {
        CModeGate::ReadScope read(gate);
        secondIn.store(true);
    });
    EXPECT_TRUE(WaitFor(secondIn, 20s)) << "a second read waits for the first";
    second.join();

    std::atomic<bool> switched{false}, lateReadIn{false};
    std::thread switcher([&] {
        CModeGate::SwitchScope s(gate);
        switched.store(true);
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(lateReadIn.load()) << "a read got in during the switch";
    });
    EXPECT_FALSE(WaitFor(switched, 50ms)) << "the switch began under a read in flight";
    std::thread late([&] {
        CModeGate::ReadScope read(gate);
        lateReadIn.store(true);
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(lateReadIn.load()) << "a new read went ahead of the waiting switch";
    gate.LeaveRead();
    EXPECT_TRUE(WaitFor(switched, 20s));
    switcher.join();
    late.join();
    EXPECT_TRUE(lateReadIn.load());
}

TEST(ModeGate, OverlappingReadsNeverKeepASwitchOut) {
    // Two readers whose reads always overlap: the gate is never free of reads on its own.
    CModeGate gate;
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int i = 0; i < 2; ++i)
        readers.emplace_back([&] {
            while (!stop.load()) {
                CModeGate::ReadScope read(gate);
                std::this_thread::sleep_for(3ms);
            }
        });
    std::this_thread::sleep_for(20ms);
    std::atomic<bool> switched{false};
    std::thread switcher([&] {
        CModeGate::SwitchScope s(gate);
        switched.store(true);
    });
    EXPECT_TRUE(WaitFor(switched, 20s));
    stop.store(true);
    switcher.join();
    for (auto& t : readers)
        t.join();
}

TEST(ModeGate, TheSwitchingThreadReadsAndSwitchesAgainInside) {
    CModeGate gate;
    std::atomic<bool> done{false};
    std::thread t([&] {
        CModeGate::SwitchScope outer(gate);
        {
            CModeGate::ReadScope read(gate);
            CModeGate::SwitchScope inner(gate);
        }
        done.store(true);
    });
    EXPECT_TRUE(WaitFor(done, 2000ms)) << "the switching thread blocked on itself";
    t.join();
    CModeGate::ReadScope after(gate);  // fully released
}
