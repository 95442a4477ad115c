// Background correction of a decoded frame: each stored point's channels are divided by the
// point's percent of that channel (v x 100 / percent, at most 255). Points outside the frame and
// percents of 0 are not valid data and are skipped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

// Point: any record with integer x, y and a BYTE percent[3] in the frame's byte order.
template <typename Point>
void ApplyBackCorrection(BYTE* rgb, int width, int height, const Point* points, int count) {
    if (!rgb || !points || width <= 0 || height <= 0)
        return;
    for (int i = 0; i < count; ++i) {
        const Point& pt = points[i];
        if (pt.x < 0 || pt.y < 0 || pt.x >= width || pt.y >= height)
            continue;
        BYTE* px = rgb + (static_cast<size_t>(pt.y) * static_cast<size_t>(width) + static_cast<size_t>(pt.x)) * 3;
        for (int c = 0; c < 3; ++c) {
            const unsigned percent = pt.percent[c];
            if (percent == 0)
                continue;
            const unsigned v = px[c] * 100u / percent;
            px[c] = static_cast<BYTE>(v > 255 ? 255 : v);
        }
    }
}
