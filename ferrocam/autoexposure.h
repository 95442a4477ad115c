// The driver's own software auto exposure: one step after a frame moves the exposure rows
// toward the target brightness of the frame's centre.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

class CAutoExposure {
public:
    static constexpr uint64_t kBufferBytes = 10068672;  // 3664 × 2748, the largest frame

    CAutoExposure();
    virtual ~CAutoExposure() = default;

    // Returns the new exposure rows, or `rows` when the frame is close enough to the target.
    int Step(const BYTE* raw, int width, int height, int rows, int target);
    int LastMean() const { return mean_; }
    // Mean of the centre's histogram, 1..255.
    int MeasureCentre(const BYTE* raw, int width, int height);

private:
    std::vector<BYTE> copy_;
    int width_ = 0, height_ = 0, mean_ = 0;
    uint32_t histA_[256], histB_[256], histC_[256];
};
