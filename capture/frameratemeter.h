// Frames per second of a live stream from the ticks at which its new frames were seen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class CFrameRateMeter {
public:
    // Intervals the rate is averaged over: long enough to even out the polling, short enough
    // to follow a device that changes its rate.
    static constexpr size_t kWindow = 16;

    // A new frame seen at tickMs. Returns the rate, 0 while no whole interval is known.
    double AddFrame(uint64_t tickMs);
    double Fps() const { return m_dFps; }
    void Reset() { *this = CFrameRateMeter(); }

private:
    bool m_bFirstSeen = false;
    std::array<uint64_t, kWindow + 1> m_ticks{};  // ring of the newest ticks
    size_t m_nTicks = 0;
    size_t m_nOldest = 0;
    double m_dFps = 0.0;
};
