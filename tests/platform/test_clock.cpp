#include <gtest/gtest.h>

#include <chrono>

#include "platform/clock.h"

TEST(Clock, SystemClockMovesAndSleeps) {
    const uint64_t a = GetTickCountMs();
    const auto start = std::chrono::steady_clock::now();
    SleepMs(20);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    EXPECT_GE(GetTickCountMs() - a, 19u);
}

TEST(Clock, ManualClockReplacesTimeAndSleep) {
    ManualClock manual(5000);
    Clock* previous = SetClock(&manual);
    EXPECT_EQ(GetTickCountMs(), 5000u);
    const auto start = std::chrono::steady_clock::now();
    SleepMs(60000);  // costs no real minute
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(GetTickCountMs(), 65000u);
    manual.Advance(5);
    EXPECT_EQ(GetTickCountMs(), 65005u);
    EXPECT_EQ(manual.SleptMs(), 60000u);
    EXPECT_EQ(SetClock(previous), &manual);
    EXPECT_NE(GetTickCountMs(), 65005u);
}
