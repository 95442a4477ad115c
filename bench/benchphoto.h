// The benchmarks' photograph-like picture: smooth gradients, a few edges and some sensor noise,
// so that neither the compressors nor the predictors have it too easy. Fills a 24-bit image.
#pragma once

#include <cstdint>

#include "imagelib/pximage.h"

inline void FillPhoto(PxImage& img) {
    const DWORD w = img.GetWidth(), h = img.GetHeight();
    uint32_t seed = 12345;
    for (DWORD y = 0; y < h; y++) {
        BYTE* row = img.GetBits(y);
        for (DWORD x = 0; x < w; x++) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) & 7) - 3;
            const int edge = ((x / 700) + (y / 500)) % 2 ? 40 : 0;
            auto clamp = [](int v) { return static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
            row[3 * x] = clamp(static_cast<int>(x * 200 / w) + noise + edge);
            row[3 * x + 1] = clamp(static_cast<int>(y * 220 / h) + noise);
            row[3 * x + 2] = clamp(static_cast<int>((x + y) * 255 / (w + h)) + noise - edge);
        }
    }
}
