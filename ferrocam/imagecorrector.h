// Corrections around the colour step: dead (hot) pixels found and repaired on the raw mosaic,
// and a flat-field gain map applied to the RGB image.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

struct DeadPixel {
    int column;
    int row;
};

class CImageCorrector {
public:
    static constexpr int kMaxDeadPixels = 10000;

    virtual ~CImageCorrector() = default;

    // Finds the samples brighter than twice both neighbours two columns away. A successful
    // detection replaces the list (a list from another frame size must not survive a mode
    // change). With 10000 or more hits it fails and keeps the old list.
    bool DetectDeadPixels(const BYTE* mosaic, int width, int height);
    // Replaces each listed sample by the one two columns to its left; entries outside this
    // frame are skipped.
    void RepairDeadPixels(BYTE* mosaic, int width, int height) const;
    void ClearDeadPixels() { dead_.clear(); }
    const std::vector<DeadPixel>& DeadPixels() const { return dead_; }

    // Builds the gain map (one 16-bit gain per RGB byte, 1024 = 1.0) that evens out the
    // brightness of a frame of an evenly lit field: each byte's gain is its channel's mean over
    // the frame divided by the mean of its 8 × 8 neighbourhood. False for a frame too dark to
    // measure.
    bool CalibrateFlatField(const BYTE* rgb, int width, int height);
    void ApplyFlatField(BYTE* rgb, int width, int height) const;
    bool HasGainMap(int width, int height) const;
    void FreeGainMap();

private:
    std::vector<DeadPixel> dead_;
    std::vector<uint16_t> gains_;
    int gainWidth_ = 0, gainHeight_ = 0;
};
