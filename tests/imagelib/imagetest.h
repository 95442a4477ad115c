// Small helpers shared by the image-operation tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "imagelib/pximage.h"

// An image whose selection a test can plant directly.
struct SelectableImage : PxImage {
    using PxImage::PxImage;
    // Selects the pixels in [x0, x1) x [y0, y1) (y from the bottom row) with that box.
    void Select(LONG x0, LONG y0, LONG x1, LONG y1) {
        const size_t n = static_cast<size_t>(GetWidth()) * GetHeight();
        std::free(pSelection);
        pSelection = static_cast<BYTE*>(std::calloc(n, 1));
        for (LONG y = y0; y < y1; y++)
            for (LONG x = x0; x < x1; x++) pSelection[y * GetWidth() + x] = 255;
        info.rSelectionBox = RECT{x0, y1, x1, y0};
    }
};

inline RGBQUAD Rgb(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

inline void Fill(PxImage& img, RGBQUAD c) {
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); y++)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); x++) img.SetPixelColor(x, y, c);
}

// A 24-bit image whose red channel is f(x, y); green and blue are zero.
template <typename F>
void FillRed(PxImage& img, F f) {
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x)
            img.SetPixelColor(x, y, RGBQUAD{0, 0, static_cast<BYTE>(f(x, y)), 0});
}

inline void ExpectRgb(PxImage& img, LONG x, LONG y, int r, int g, int b) {
    const RGBQUAD c = img.GetPixelColor(x, y, false);
    EXPECT_EQ(c.rgbRed, r) << "at " << x << "," << y;
    EXPECT_EQ(c.rgbGreen, g) << "at " << x << "," << y;
    EXPECT_EQ(c.rgbBlue, b) << "at " << x << "," << y;
}
