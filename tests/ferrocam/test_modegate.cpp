#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "ferrocam/modegate.h"

using namespace std::chrono_literals;

namespace {

template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = 20s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    return done();
}

bool WaitFor(const std::atomic<bool>& flag, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return flag.load(); }, limit);
}

// True when the thread with this id sleeps in a wait, or has ended: whatever it was about to do
// at the gate is then done or held. Its first act is to store its id.
bool Settled(const std::atomic<pid_t>& tid) {
    if (tid.load() == 0)
        return false;
    std::ifstream in("/proc/self/task/" + std::to_string(tid.load()) + "/stat");
    const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const size_t name = stat.rfind(')');  // the state follows the name in parentheses
    return name == std::string::npos || stat.size() < name + 3 || stat[name + 2] == 'S';
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
    std::atomic<pid_t> switcherId{0}, lateId{0};
    std::thread switcher([&] {
        switcherId.store(gettid());
        CModeGate::SwitchScope s(gate);
        switched.store(true);
        // The late read, woken with the switch, has gone back to waiting or got in by mistake.
        EXPECT_TRUE(WaitUntil([&] { return Settled(lateId); }));
        EXPECT_FALSE(lateReadIn.load()) << "a read got in during the switch";
    });
    EXPECT_TRUE(WaitUntil([&] { return Settled(switcherId); }));
    EXPECT_FALSE(switched.load()) << "the switch began under a read in flight";
    std::thread late([&] {
        lateId.store(gettid());
        CModeGate::ReadScope read(gate);
        lateReadIn.store(true);
    });
    EXPECT_TRUE(WaitUntil([&] { return Settled(lateId); }));
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
    std::atomic<int> reads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 2; ++i)
        readers.emplace_back([&] {
            while (!stop.load()) {
                CModeGate::ReadScope read(gate);
                reads.fetch_add(1);
                std::this_thread::sleep_for(3ms);  // keeps the read open: the two reads overlap
            }
        });
    EXPECT_TRUE(WaitUntil([&] { return reads.load() >= 4; }));
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
