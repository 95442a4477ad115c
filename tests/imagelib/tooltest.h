// Helpers for the tests that exchange files with other programs (ImageMagick, netpbm, libvips,
// Pillow): run a tool, a fixture with a scratch folder, and compare an image with a tool's
// rendering of a file.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codectest.h"
#include "filebytes.h"
#include "imagelib/pximage.h"
#include "tempdir.h"

inline bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline int Shell(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

// Tests that exchange files with ImageMagick in a scratch folder; skipped where it is missing.
class ImageMagickFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
    }
    TempDir dir;
};

// An 8-bit binary PPM as ImageMagick writes it, top row first.
struct Ppm {
    int w = 0, h = 0;
    Bytes rgb;
    RGBQUAD At(int x, int ytop) const {
        const BYTE* p = &rgb[3 * (static_cast<size_t>(ytop) * w + x)];
        return RGBQUAD{p[2], p[1], p[0], 0};
    }
};

// ImageMagick's reading of a file (with extra convert options), or an empty Ppm.
inline Ppm Render(const std::string& file, const std::string& options = "") {
    const std::string out = file + ".ppm";
    Ppm ppm;
    if (Shell("convert '" + file + "' " + options + " -depth 8 ppm:'" + out + "'") != 0) return ppm;
    Bytes b = ReadFile(out);
    b.push_back(0);
    int maxval = 0, consumed = 0;
    if (std::sscanf(reinterpret_cast<const char*>(b.data()), "P6 %d %d %d%n", &ppm.w, &ppm.h, &maxval, &consumed) != 3)
        return Ppm{};
    b.pop_back();
    ppm.rgb.assign(b.begin() + consumed + 1, b.end());
    return ppm;
}

// Largest channel difference between the image and a rendering (256 when the sizes differ).
inline int MaxDifference(PxImage& img, const Ppm& ppm) {
    if (ppm.w != static_cast<int>(img.GetWidth()) || ppm.h != static_cast<int>(img.GetHeight())) return 256;
    int worst = 0;
    for (int y = 0; y < ppm.h; y++) {
        for (int x = 0; x < ppm.w; x++) {
            const RGBQUAD a = img.GetPixelColor(x, ppm.h - 1 - y, false), b = ppm.At(x, y);
            worst = std::max({worst, std::abs(a.rgbRed - b.rgbRed), std::abs(a.rgbGreen - b.rgbGreen),
                              std::abs(a.rgbBlue - b.rgbBlue)});
        }
    }
    return worst;
}
