// Where the display thread hands its decoded frames: a window that shows the newest one.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

class IViewFinder {
public:
    virtual ~IViewFinder() = default;
    // Sizes the viewer's own buffers for frames of width x height; called before the threads
    // start, never per frame.
    virtual void Configure(int width, int height) = 0;
    // On the display thread: the newest frame, bottom-up blue-green-red rows of width x 3
    // bytes, of which `source` (image pixels, top-down, right and bottom exclusive) is shown.
    // The viewer copies what it needs; the buffer is the caller's again on return. `sequence`
    // numbers the grabbed frames.
    virtual void PresentFrame(const BYTE* bgr24, const RECT& source, uint64_t sequence) = 0;
};
