// Histogram counting and the contrast remappings, on small images with hand-made histograms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "imagelib/pximage.h"

#include "imagetest.h"

namespace {

struct HistImage : SelectableImage {
    using SelectableImage::SelectableImage;
};

RGBQUAD Grey(BYTE v) { return Rgb(v, v, v); }

// Left half one grey, right half another.
void TwoLevels(PxImage& img, BYTE a, BYTE b) {
    img.Create(10, 4, 24);
    for (LONG y = 0; y < 4; y++)
        for (LONG x = 0; x < 10; x++) img.SetPixelColor(x, y, Grey(x < 5 ? a : b));
}

// The colour `orig` becomes when its luma Y goes through map (the remapping's YUV round trip).
RGBQUAD Remapped(RGBQUAD orig, const std::function<int(int)>& map) {
    RGBQUAD yuv = PxImage::RGBtoYUV(orig);
    yuv.rgbRed = static_cast<BYTE>(map(yuv.rgbRed));
    return PxImage::YUVtoRGB(yuv);
}

void ExpectColour(PxImage& img, LONG x, LONG y, RGBQUAD want) {
    const RGBQUAD c = img.GetPixelColor(x, y, false);
    EXPECT_EQ(c.rgbRed, want.rgbRed) << x << "," << y;
    EXPECT_EQ(c.rgbGreen, want.rgbGreen) << x << "," << y;
    EXPECT_EQ(c.rgbBlue, want.rgbBlue) << x << "," << y;
}

bool SamePixels(PxImage& a, PxImage& b) {
    for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); y++)
        for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); x++) {
            const RGBQUAD p = a.GetPixelColor(x, y, false), q = b.GetPixelColor(x, y, false);
            if (p.rgbRed != q.rgbRed || p.rgbGreen != q.rgbGreen || p.rgbBlue != q.rgbBlue) return false;
        }
    return true;
}

}  // namespace

TEST(Histogram, CountsSelectedPixelsPerChannelAndSpace) {
    LONG r[256], g[256], b[256], k[256];
    HistImage img(2, 2, 24);
    for (LONG y = 0; y < 2; y++)
        for (LONG x = 0; x < 2; x++) img.SetPixelColor(x, y, Rgb(10, 20, 30));
    EXPECT_EQ(img.Histogram(nullptr, nullptr, nullptr, nullptr), 0);
    r[10] = 99;
    EXPECT_EQ(img.Histogram(r, g, nullptr, k), 4);
    EXPECT_EQ(r[10], 4);
    EXPECT_EQ(g[20], 4);
    EXPECT_EQ(k[(306 * 10 + 601 * 20 + 117 * 30) >> 10], 4);
    EXPECT_EQ(r[0], 0);

    img.SetPixelColor(1, 1, Rgb(76, 85, 255));
    img.Select(1, 1, 2, 2);
    EXPECT_EQ(img.Histogram(r, g, b, k, 0), 1);
    EXPECT_EQ(r[76], 1);
    EXPECT_EQ(r[10], 0);
    // Space 2: the pixel's bytes are read as Y, U, V and turned into RGB (254, 0, 0).
    EXPECT_EQ(img.Histogram(r, g, b, nullptr, 2), 1);
    EXPECT_EQ(r[254], 1);
    EXPECT_EQ(b[0], 1);
    PxImage empty;
    EXPECT_EQ(empty.Histogram(r), 0);

    // A 4-bit image counts its pixels' palette colours, selected pixels only, after the space.
    HistImage pal(5, 3, 4);
    pal.SetPaletteColor(1, 10, 20, 30);
    pal.SetPaletteColor(2, 76, 85, 255);
    for (LONG y = 0; y < 3; y++)
        for (LONG x = 0; x < 5; x++) pal.SetPixelIndex(x, y, static_cast<BYTE>(x % 3));
    pal.Select(1, 0, 5, 2);  // columns 1..4 of rows 0 and 1: indices 1, 2, 0, 1
    EXPECT_EQ(pal.Histogram(r, g, b, k), 4);
    EXPECT_EQ(r[10], 4);
    EXPECT_EQ(r[76], 2);
    EXPECT_EQ(g[0], 2);
    EXPECT_EQ(k[(306 * 10 + 601 * 20 + 117 * 30) >> 10], 4);
    EXPECT_EQ(pal.Histogram(r, nullptr, b, nullptr, 2), 8);  // every entry read as YUV has no blue
    EXPECT_EQ(r[254], 2);
    EXPECT_EQ(b[0], 8);
}

TEST(Histogram, StretchOnGreyAndColourImages) {
    PxImage grey(3, 1, 8);
    grey.SetGrayPalette();
    grey.SetPixelIndex(0, 0, 0);
    grey.SetPixelIndex(1, 0, 100);
    grey.SetPixelIndex(2, 0, 255);
    ASSERT_TRUE(grey.HistogramStretch(0));
    EXPECT_EQ(grey.GetPixelIndex(1, 0), 100);  // already spans 0..255
    grey.SetPixelIndex(0, 0, 50);
    grey.SetPixelIndex(2, 0, 150);
    ASSERT_TRUE(grey.HistogramStretch(2));  // any method on grey
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(grey.GetPixelIndex(1, 0), 127);
    EXPECT_EQ(grey.GetPixelIndex(2, 0), 255);

    PxImage one(2, 1, 24);
    one.SetPixelColor(0, 0, Rgb(50, 100, 150));
    one.SetPixelColor(1, 0, Rgb(60, 100, 150));
    PxImage per(one);
    ASSERT_TRUE(one.HistogramStretch(1));  // one range 50..150 for all channels
    ExpectColour(one, 0, 0, Rgb(0, 127, 255));
    ExpectColour(one, 1, 0, Rgb(25, 127, 255));
    ASSERT_TRUE(per.HistogramStretch(2));  // red 50..60; green and blue single values
    ExpectColour(per, 0, 0, Rgb(0, 100, 150));
    ExpectColour(per, 1, 0, Rgb(255, 100, 150));

    PxImage luma;
    TwoLevels(luma, 60, 160);
    ASSERT_TRUE(luma.HistogramStretch(0));
    auto map = [](int y) {
        const double v = (y - 60) * (255.0 / 100);
        return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
    };
    ExpectColour(luma, 0, 0, Remapped(Grey(60), map));
    ExpectColour(luma, 9, 3, Remapped(Grey(160), map));
    PxImage flat;
    TwoLevels(flat, 90, 90);
    EXPECT_FALSE(flat.HistogramStretch(0));
}

TEST(Histogram, EqualizeAndNormalizeRefuseUniformImages) {
    for (BYTE v : {0, 77, 255}) {
        PxImage img;
        TwoLevels(img, v, v);
        PxImage before(img);
        EXPECT_FALSE(img.HistogramEqualize()) << int(v);
        EXPECT_TRUE(SamePixels(img, before));
        EXPECT_FALSE(img.HistogramNormalize()) << int(v);
        EXPECT_TRUE(SamePixels(img, before));
    }
}

TEST(Histogram, EqualizeAndNormalizeMapTwoLevels) {
    PxImage eq;
    TwoLevels(eq, 50, 200);
    ASSERT_TRUE(eq.HistogramEqualize());
    // Cumulative: 0 below 50, half up to 199, all from 200: e = 0, 127, 255.
    auto emap = [](int y) { return y < 50 ? 0 : y < 200 ? 127 : 255; };
    ExpectColour(eq, 0, 0, Remapped(Grey(50), emap));
    ExpectColour(eq, 9, 0, Remapped(Grey(200), emap));

    PxImage nm;
    TwoLevels(nm, 50, 200);
    ASSERT_TRUE(nm.HistogramNormalize());
    // low 50, high 200: inside the range 254 * (v - 50) / 150, above it 255.
    auto nmap = [](int y) { return y < 50 ? 0 : y > 200 ? 255 : 254 * (y - 50) / 150; };
    ExpectColour(nm, 0, 0, Remapped(Grey(50), nmap));
    ExpectColour(nm, 9, 0, Remapped(Grey(200), nmap));
    EXPECT_LT(nm.GetPixelColor(9, 0).rgbGreen, 255);
}

TEST(Histogram, LogAndRoot) {
    PxImage black(3, 2, 24);
    ASSERT_TRUE(black.HistogramLog());  // high starts at 1: no division by ln 1
    ExpectColour(black, 1, 1, Grey(0));

    PxImage lg;
    TwoLevels(lg, 20, 100);
    ASSERT_TRUE(lg.HistogramLog());
    const double k = 255.0 / std::log(101.0);
    auto lmap = [k](int y) {
        const double v = k * std::log(1.0 + y);
        return v > 255 ? 255 : static_cast<int>(v);
    };
    ExpectColour(lg, 0, 0, Remapped(Grey(20), lmap));
    ExpectColour(lg, 9, 0, Remapped(Grey(100), lmap));

    PxImage rt;
    TwoLevels(rt, 4, 255);
    ASSERT_TRUE(rt.HistogramRoot());
    const double kr = 128.0 / std::log(256.0);
    auto rmap = [kr](int y) {
        const double v = kr * std::sqrt(static_cast<double>(y));
        return v > 255 ? 255 : static_cast<int>(v);
    };
    ExpectColour(rt, 0, 0, Remapped(Grey(4), rmap));
    ExpectColour(rt, 9, 0, Remapped(Grey(255), rmap));

    // Palette images remap their palette only.
    PxImage pal(2, 1, 1);
    pal.SetPaletteColor(0, 0, 0, 0);
    pal.SetPaletteColor(1, 100, 100, 100);
    pal.SetPixelIndex(1, 0, 1);
    ASSERT_TRUE(pal.HistogramLog());
    EXPECT_EQ(pal.GetPixelIndex(1, 0), 1);
    const RGBQUAD e = pal.GetPaletteColor(1);
    const RGBQUAD want = Remapped(Grey(100), lmap);
    EXPECT_EQ(e.rgbRed, want.rgbRed);
}

TEST(Histogram, EqualizeOfALargeRandomImageMatchesThePlainRoundTrip) {
    // Large enough for the per-image tables of the YUV round trip, with colours from the whole
    // cube, so every table meets values near its ends.
    const LONG w = 613, h = 431;
    PxImage img(w, h, 24);
    uint32_t seed = 12345;
    for (LONG y = 0; y < h; y++) {
        BYTE* row = img.GetBits(static_cast<DWORD>(y));
        for (LONG i = 0; i < 3 * w; i++) {
            seed = seed * 1103515245u + 12345u;
            row[i] = static_cast<BYTE>(seed >> 16);
        }
    }
    PxImage before(img);
    int64_t hist[256] = {};
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) {
            const RGBQUAD c = before.GetPixelColor(x, y, false);
            hist[(306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10]++;
        }
    int64_t cum[256], run = 0;
    for (int v = 0; v < 256; v++) cum[v] = run += hist[v];
    auto emap = [&](int v) {
        const double e = static_cast<double>(cum[v] - cum[0]) * 255.0 / static_cast<double>(cum[255] - cum[0]);
        return e <= 0 ? 0 : e >= 255 ? 255 : static_cast<int>(e);
    };
    ASSERT_TRUE(img.HistogramEqualize());
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) {
            const RGBQUAD want = Remapped(before.GetPixelColor(x, y, false), emap);
            const RGBQUAD c = img.GetPixelColor(x, y, false);
            ASSERT_TRUE(c.rgbRed == want.rgbRed && c.rgbGreen == want.rgbGreen && c.rgbBlue == want.rgbBlue)
                << x << "," << y;
        }
}

// Counting 2^31 pixels takes about a minute in the checked build, so it runs only on request
// (--gtest_also_run_disabled_tests).
TEST(Histogram, CountsPastTheLongRangeStayAtTheLargestLong) {
    // 46341 squared is just above 2^31 - 1; a 1-bit image of that size takes 256 MiB.
    const LONG side = 46341;
    PxImage img(side, side, 1);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    LONG r[256], k[256];
    EXPECT_EQ(img.Histogram(r, nullptr, nullptr, k), INT32_MAX);
    EXPECT_EQ(r[0], INT32_MAX);
    EXPECT_EQ(k[0], INT32_MAX);
    EXPECT_EQ(r[255], 0);
}
