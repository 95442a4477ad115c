#include "ferrocam/autoexposure.h"

#include <cstdio>
#include <cstring>

#include "platform/debugout.h"

CAutoExposure::CAutoExposure() : copy_(kBufferBytes) {}

int CAutoExposure::MeasureCentre(const BYTE* raw, int w, int h) {
    const uint64_t bytes = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    if (w <= 0 || h <= 0 || bytes > copy_.size())
        return mean_ = 1;
    std::memcpy(copy_.data(), raw, bytes);
    width_ = w;
    height_ = h;
    std::memset(histA_, 0, sizeof histA_);
    std::memset(histB_, 0, sizeof histB_);
    std::memset(histC_, 0, sizeof histC_);
    const BYTE* s = copy_.data();
    const size_t W = static_cast<size_t>(w);
    for (int k = 0; k < h / 4; ++k) {
        const int y = h / 4 + 2 * k;
        if (y + 1 >= h)
            break;
        const BYTE* row = s + static_cast<size_t>(y) * W;
        const BYTE* next = row + W;
        for (int x = w / 4; x < 3 * (w / 4) && x + 1 < w; x += 2) {
            ++histA_[row[x]];
            ++histA_[next[x + 1]];
            ++histB_[row[x + 1]];
            ++histC_[next[x]];
        }
    }
    uint64_t sum = 0, count = 0;
    for (int i = 0; i < 256; ++i) {
        sum += static_cast<uint64_t>(i) * histA_[i];
        count += histA_[i];
    }
    int m = count ? static_cast<int>(sum / count) : 0;
    if (m == 0)
        m = 1;
    if (m > 255)
        m = 255;
    return mean_ = m;
}

int CAutoExposure::Step(const BYTE* raw, int w, int h, int rows, int target) {
    const int m = MeasureCentre(raw, w, h);
    char text[16];
    std::snprintf(text, sizeof text, "%d", m);
    OutputDebugStringA(text);
    const bool tooDark = m < target - 25;
    const bool tooBright = m > target + 25;
    if (!tooDark && !tooBright)
        return rows;
    const float r = static_cast<float>(target) / static_cast<float>(m);
    const int64_t current = rows;
    // rows × r in float, as r is: 300 rows at r = 150 / 90 (a float just below 5 / 3) give 500.
    int64_t scaled = static_cast<int64_t>(static_cast<float>(current) * r);
    int64_t next;
    if (tooDark) {
        // The ceiling applies to every too-dark frame, even one already above it.
        next = scaled < 3001 ? scaled : 3000;
        if (next >= current + 500)
            next = current + 500;
    } else {
        next = scaled > 0 ? scaled : 1;
        if (next <= current - 500)
            next = current - 500;
    }
    return static_cast<int>(next);
}
