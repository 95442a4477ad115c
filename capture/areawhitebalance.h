// The program's own demosaic for the area white balance: the raw frame's values are placed by
// the Bayer pattern the hub names (VekCameraDecodeType), the missing channels interpolated, and
// each channel averaged over a rectangle.
#pragma once

#include "platform/wintypes.h"

struct ChannelMeans {
    int m0 = 1, m1 = 1, m2 = 1;  // channels 0, 1, 2 of the 24-bit layout, each at least 1
};

// raw: width x height 8-bit samples; rgb: width x height x 3 bytes of scratch the result is
// built in. Pattern 4 or more places nothing (every mean is then 1). `area` is in image pixels
// and must lie inside the frame.
ChannelMeans AreaChannelMeans(const BYTE* raw, BYTE* rgb, int width, int height, int pattern, const RECT& area);
