#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace {

class SystemClock : public Clock {
public:
    uint64_t NowMs() override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

SystemClock g_systemClock;
std::atomic<Clock*> g_clock{nullptr};

Clock& Current() {
    Clock* c = g_clock.load(std::memory_order_acquire);
    return c ? *c : g_systemClock;
}

}  // namespace

uint64_t GetTickCountMs() { return Current().NowMs(); }
void SleepMs(uint32_t ms) { Current().SleepMs(ms); }
Clock* SetClock(Clock* clock) { return g_clock.exchange(clock, std::memory_order_acq_rel); }

void ManualClock::SleepMs(uint32_t ms) {
    now_.fetch_add(ms);
    slept_.fetch_add(ms);
    // A real pause of at most 100 µs keeps polling threads from spinning hot.
    std::this_thread::sleep_for(std::chrono::microseconds(ms ? 100 : 10));
}

namespace {

LocalTime SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    LocalTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec;
    return t;
}

std::atomic<LocalTimeSource> g_localTime{nullptr};

}  // namespace

LocalTime LocalTimeNow() {
    LocalTimeSource source = g_localTime.load(std::memory_order_acquire);
    return source ? source() : SystemLocalTime();
}

LocalTimeSource SetLocalTimeSource(LocalTimeSource source) {
    return g_localTime.exchange(source, std::memory_order_acq_rel);
}
