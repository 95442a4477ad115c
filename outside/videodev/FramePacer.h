// The schedule of a device that makes its own frames at a fixed interval: each frame is due one
// interval after the last one was due, so the time spent making and handing out a frame does
// not lengthen the interval.
#pragma once

#include <chrono>

namespace videodev {

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    FramePacer(Clock::duration interval, Clock::time_point start) : interval_(interval), due_(start) {}

    // When the next frame is due, asked once the current one is out at `now`.
    Clock::time_point Next(Clock::time_point now) {
        due_ += interval_;
        // Behind by more than an interval (a stall): start again from now rather than make up
        // the lost frames in a burst.
        if (due_ + interval_ < now)
            due_ = now;
        return due_;
    }

private:
    Clock::duration interval_;
    Clock::time_point due_;
};

}  // namespace videodev
