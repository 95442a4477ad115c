#include "ferrocam/imagecorrector.h"

#include <algorithm>
#include <new>

#include "platform/debugout.h"

bool CImageCorrector::DetectDeadPixels(const BYTE* m, int w, int h) {
    std::vector<DeadPixel> found;
    if (w - 2 > 2) {
        for (int y = 0; y < h; ++y) {
            const BYTE* row = m + static_cast<size_t>(y) * static_cast<size_t>(w);
            for (int x = 2; x <= w - 3; ++x) {
                int threshold = 2 * std::max(row[x - 2], row[x + 2]);
                if (threshold > 255)
                    threshold = 255;
                if (row[x] > threshold) {
                    if (static_cast<int>(found.size()) + 1 >= kMaxDeadPixels) {
                        OutputDebugStringA("Too much dead pixel!\n");
                        return false;
                    }
                    found.push_back({x, y});
                }
            }
        }
    }
    dead_ = std::move(found);
    return true;
}

void CImageCorrector::RepairDeadPixels(BYTE* m, int w, int h) const {
    for (const DeadPixel& d : dead_) {
        if (d.column < 2 || d.column >= w || d.row < 0 || d.row >= h)
            continue;
        BYTE* row = m + static_cast<size_t>(d.row) * static_cast<size_t>(w);
        row[d.column] = row[d.column - 2];
    }
}

bool CImageCorrector::CalibrateFlatField(const BYTE* rgb, int w, int h) {
    FreeGainMap();
    if (w <= 0 || h <= 0)
        return false;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    double channelMean[3] = {0, 0, 0};
    for (size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c)
            channelMean[c] += rgb[i * 3 + c];
    for (double& v : channelMean)
        v /= static_cast<double>(pixels);
    if (std::min({channelMean[0], channelMean[1], channelMean[2]}) < 8.0)
        return false;
    std::vector<uint16_t> map;
    try {
        map.resize(pixels * 3);
    } catch (const std::bad_alloc&) {
        return false;
    }
    constexpr int kBlock = 8;
    for (int by = 0; by < h; by += kBlock) {
        const int y1 = std::min(by + kBlock, h);
        for (int bx = 0; bx < w; bx += kBlock) {
            const int x1 = std::min(bx + kBlock, w);
            double sum[3] = {0, 0, 0};
            for (int y = by; y < y1; ++y)
                for (int x = bx; x < x1; ++x)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += rgb[(static_cast<size_t>(y) * w + x) * 3 + c];
            const double n = static_cast<double>((y1 - by) * (x1 - bx));
            uint16_t gain[3];
            for (int c = 0; c < 3; ++c) {
                // Up to eight times brighter, never darker than a quarter.
                double g = 1024.0 * channelMean[c] / std::max(sum[c] / n, 1.0);
                gain[c] = static_cast<uint16_t>(std::clamp(g, 256.0, 8192.0));
            }
            for (int y = by; y < y1; ++y)
                for (int x = bx; x < x1; ++x)
                    for (int c = 0; c < 3; ++c)
                        map[(static_cast<size_t>(y) * w + x) * 3 + c] = gain[c];
        }
    }
    gains_ = std::move(map);
    gainWidth_ = w;
    gainHeight_ = h;
    return true;
}

bool CImageCorrector::HasGainMap(int w, int h) const {
    return !gains_.empty() && gainWidth_ == w && gainHeight_ == h;
}

void CImageCorrector::ApplyFlatField(BYTE* rgb, int w, int h) const {
    // A map from another frame size (or none) is not applied.
    if (!HasGainMap(w, h))
        return;
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
    for (size_t i = 0; i < bytes; ++i) {
        uint32_t v = (static_cast<uint32_t>(rgb[i]) * gains_[i]) >> 10;
        rgb[i] = static_cast<BYTE>(v > 255 ? 255 : v);
    }
}

void CImageCorrector::FreeGainMap() {
    gains_.clear();
    gains_.shrink_to_fit();
    gainWidth_ = gainHeight_ = 0;
}
