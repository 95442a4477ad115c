#include "capture/areawhitebalance.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Site value by pattern, row parity and column parity: 1 channel 0, 2 channel 1, 3 channel 2.
const BYTE kBayer[4][2][2] = {
    {{3, 2}, {2, 1}},
    {{2, 1}, {3, 2}},
    {{2, 3}, {1, 2}},
    {{1, 2}, {2, 3}},
};

struct Plane {
    BYTE* rgb;
    int width;
    int At(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + c]; }
    void Set(int x, int y, int c, int v) { rgb[(static_cast<size_t>(y) * width + x) * 3 + c] = static_cast<BYTE>(v); }
};

// Channel 1 at a red or blue site: along the direction with the smaller difference.
int EdgeDirectedGreen(const Plane& p, int x, int y) {
    const int l = p.At(x - 1, y, 1), r = p.At(x + 1, y, 1), u = p.At(x, y - 1, 1), d = p.At(x, y + 1, 1);
    const int dh = std::abs(l - r), dv = std::abs(u - d);
    return dh < (dh + dv) / 2 ? (l + r) / 2 : (u + d) / 2;
}

int Diagonal(const Plane& p, int x, int y, int c) {
    return (p.At(x - 1, y - 1, c) + p.At(x + 1, y - 1, c) + p.At(x - 1, y + 1, c) + p.At(x + 1, y + 1, c)) / 4;
}

}  // namespace

ChannelMeans AreaChannelMeans(const BYTE* raw, BYTE* rgb, int width, int height, int pattern, const RECT& area) {
    ChannelMeans means;
    if (!raw || !rgb || width <= 0 || height <= 0)
        return means;
    const size_t pixels = static_cast<size_t>(width) * height;
    std::memset(rgb, 0, pixels * 3);
    Plane p{rgb, width};
    if (pattern >= 0 && pattern < 4) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                p.Set(x, y, kBayer[pattern][y & 1][x & 1] - 1, raw[static_cast<size_t>(y) * width + x]);
        for (int y = 1; y < height - 1; ++y) {
            for (int x = 1; x < width - 1; ++x) {
                const int site = kBayer[pattern][y & 1][x & 1];
                if (site == 3) {
                    p.Set(x, y, 1, EdgeDirectedGreen(p, x, y));
                    p.Set(x, y, 0, Diagonal(p, x, y, 0));
                } else if (site == 1) {
                    p.Set(x, y, 1, EdgeDirectedGreen(p, x, y));
                    p.Set(x, y, 2, Diagonal(p, x, y, 2));
                } else {
                    const int above = kBayer[pattern][(y - 1) & 1][x & 1];
                    const int vertical = above == 1 ? 0 : 2;  // the colour of the row above
                    const int horizontal = 2 - vertical;
                    p.Set(x, y, vertical, (p.At(x, y - 1, vertical) + p.At(x, y + 1, vertical)) / 2);
                    p.Set(x, y, horizontal, (p.At(x - 1, y, horizontal) + p.At(x + 1, y, horizontal)) / 2);
                }
            }
        }
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                p.Set(x, 0, c, 0);
                p.Set(x, height - 1, c, 0);
            }
        for (int y = 0; y < height; ++y)
            for (int c = 0; c < 3; ++c) {
                p.Set(0, y, c, 0);
                p.Set(width - 1, y, c, 0);
            }
    }
    const int64_t areaPixels = static_cast<int64_t>(area.right - area.left) * (area.bottom - area.top);
    if (areaPixels <= 0 || area.left < 0 || area.top < 0 || area.right > width || area.bottom > height)
        return means;
    uint64_t sum[3] = {0, 0, 0};
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += p.At(x, y, c);
    auto mean = [&](int c) {
        const int64_t m = static_cast<int64_t>(sum[c] / static_cast<uint64_t>(areaPixels));
        return m < 1 ? 1 : static_cast<int>(m);
    };
    means.m0 = mean(0);
    means.m1 = mean(1);
    means.m2 = mean(2);
    return means;
}
