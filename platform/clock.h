// Millisecond ticks and sleeping, replaceable so tests can run timed code without waiting.
#pragma once

#include <atomic>
#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t NowMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
};

// The clock in use: the system's steady clock unless a test installed another.
uint64_t GetTickCountMs();
void SleepMs(uint32_t ms);
// Installs a clock (nullptr restores the system one) and returns the previous one. The caller
// keeps ownership and must keep it alive while it is installed.
Clock* SetClock(Clock* clock);

// A clock whose time moves only when told to or when someone sleeps: a sleep advances the time
// at once and yields the processor briefly, so polling loops still let other threads run.
class ManualClock : public Clock {
public:
    explicit ManualClock(uint64_t startMs = 1000) : now_(startMs) {}
    uint64_t NowMs() override { return now_.load(); }
    void SleepMs(uint32_t ms) override;
    void Advance(uint64_t ms) { now_.fetch_add(ms); }
    uint64_t SleptMs() const { return slept_.load(); }

private:
    std::atomic<uint64_t> now_;
    std::atomic<uint64_t> slept_{0};
};

// The local wall-clock time, replaceable so tests can fix the time of day.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};
using LocalTimeSource = LocalTime (*)();
LocalTime LocalTimeNow();
// Installs a source (nullptr restores the system's) and returns the previous one.
LocalTimeSource SetLocalTimeSource(LocalTimeSource source);
