// Resample, Resample2, QIShrink and Thumbnail: sizes, exact values of small cases worked out by
// hand, alpha planes, and large reductions whose sums do not fit 32 bits.
#include <gtest/gtest.h>

#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

namespace {

template <typename F>
void FillRed(PxImage& img, F f) {
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x)
            img.SetPixelColor(x, y, RGBQUAD{0, 0, static_cast<BYTE>(f(x, y)), 0});
}

BYTE Red(PxImage& img, LONG x, LONG y) { return img.GetPixelColor(x, y).rgbRed; }

// 2 x 2 blocks of one colour each: block (i, j) has red 20 i + 60 j + 5.
void FillBlocks(PxImage& img) {
    FillRed(img, [](LONG x, LONG y) { return (x / 2) * 20 + (y / 2) * 60 + 5; });
}

}  // namespace

TEST(Resample, SizeRulesAndCopies) {
    PxImage img(6, 4, 24);
    FillBlocks(img);
    PxImage copy;
    EXPECT_TRUE(img.Resample(6, 4, 0, &copy));
    EXPECT_EQ(copy.GetWidth(), 6u);
    EXPECT_EQ(Red(copy, 5, 3), Red(img, 5, 3));
    EXPECT_FALSE(img.Resample(0, 10));
    EXPECT_FALSE(img.Resample2(5, 0, PxImage::IM_BILINEAR, PxImage::OM_REPEAT));
    EXPECT_FALSE(img.QIShrink(7, 4));
    EXPECT_FALSE(img.QIShrink(0, 2)) << "no cell to average into";
    EXPECT_FALSE(img.QIShrink(3, -1));
    EXPECT_EQ(img.GetWidth(), 6u);
}

TEST(Resample, HalvingUniformBlocksIsExactInEveryAveragingPath) {
    PxImage src(8, 6, 24);
    FillBlocks(src);
    PxImage area, qi, r2;
    ASSERT_TRUE(src.Resample(4, 3, 0, &area));
    ASSERT_TRUE(src.QIShrink(4, 3, &qi));
    ASSERT_TRUE(src.Resample2(4, 3, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &r2));
    for (LONG y = 0; y < 3; ++y)
        for (LONG x = 0; x < 4; ++x) {
            const int want = x * 20 + y * 60 + 5;
            EXPECT_EQ(Red(area, x, y), want) << x << "," << y;
            EXPECT_EQ(Red(qi, x, y), want) << x << "," << y;
            EXPECT_EQ(Red(r2, x, y), want) << x << "," << y;
        }
}

TEST(Resample, AreaAveragingSplitsPixelsInThousandths) {
    // Three columns into two: column 1 is split half and half (scale 1.5).
    PxImage src(3, 2, 24);
    FillRed(src, [](LONG x, LONG) { return x == 0 ? 0 : x == 1 ? 200 : 100; });
    ASSERT_TRUE(src.Resample(2, 1, 0));
    // Output 0: (0 * 1000 + 200 * 500) x 2 rows / 3000; output 1: (200 * 500 + 100 * 1000) x 2 / 3000.
    EXPECT_EQ(Red(src, 0, 0), 200 * 500 * 2 / 3000);
    EXPECT_EQ(Red(src, 1, 0), (200 * 500 + 100 * 1000) * 2 / 3000);
}

TEST(Resample, LargeReductionsDoNotOverflow) {
    PxImage src(400, 300, 24);
    FillRed(src, [](LONG, LONG) { return 255; });
    PxImage one, qi;
    ASSERT_TRUE(src.Resample(1, 1, 0, &one));
    EXPECT_EQ(Red(one, 0, 0), 255);
    ASSERT_TRUE(src.QIShrink(1, 1, &qi));
    EXPECT_EQ(Red(qi, 0, 0), 255);
}

TEST(Resample, NearestBilinearAndBicubicEnlarge) {
    PxImage src(2, 2, 24);
    FillRed(src, [](LONG x, LONG y) { return x * 100 + y * 10; });
    PxImage near;
    ASSERT_TRUE(src.Resample(4, 4, 1, &near));
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 4; ++x) EXPECT_EQ(Red(near, x, y), Red(src, x / 2, y / 2));

    // Bilinear from the truncated position towards the right and upper neighbour.
    PxImage bil;
    ASSERT_TRUE(src.Resample(4, 2, 0, &bil));
    const int want[4] = {0, 50, 100, 100};
    for (LONG x = 0; x < 4; ++x) EXPECT_EQ(Red(bil, x, 1), want[x] + 10);

    // Resample2 samples pixel centres: positions -0.25, 0.25, 0.75, 1.25.
    PxImage r2;
    ASSERT_TRUE(src.Resample2(4, 2, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &r2));
    const int want2[4] = {0, 25, 75, 100};
    for (LONG x = 0; x < 4; ++x) EXPECT_EQ(Red(r2, x, 0), want2[x]) << x;

    // B-spline weights are positive and blur: values stay ordered and inside the source range.
    PxImage edge(4, 1, 24);
    FillRed(edge, [](LONG x, LONG) { return x < 2 ? 0 : 200; });
    ASSERT_TRUE(edge.Resample(8, 1, 2));
    int prev = -1;
    for (LONG x = 0; x < 8; ++x) {
        const int v = Red(edge, x, 0);
        EXPECT_GE(v, prev);
        EXPECT_LE(v, 200);
        prev = v;
    }
    EXPECT_GT(Red(edge, 3, 0), 0);
    EXPECT_LT(Red(edge, 4, 0), 200);
}

TEST(Resample, QIShrinkSteppingAndIndexedImages) {
    // Three into two: counters give cells {0, 1} and {2}.
    PxImage src(3, 1, 24);
    FillRed(src, [](LONG x, LONG) { return x == 0 ? 10 : x == 1 ? 20 : 60; });
    ASSERT_TRUE(src.QIShrink(2, 1));
    EXPECT_EQ(Red(src, 0, 0), 15);
    EXPECT_EQ(Red(src, 1, 0), 60);

    PxImage pal(4, 2, 8);
    pal.SetPaletteColor(0, 0, 0, 0);
    pal.SetPaletteColor(1, 100, 0, 0);
    pal.SetPaletteColor(2, 40, 0, 0);
    pal.SetPixelIndex(2, 0, 1);
    pal.SetPixelIndex(3, 0, 1);
    pal.SetPixelIndex(2, 1, 1);
    ASSERT_TRUE(pal.QIShrink(2, 1));
    EXPECT_EQ(pal.GetBpp(), 8);
    EXPECT_EQ(pal.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(pal.GetPixelIndex(1, 0), 1) << "average red 75 is nearest to entry 1";
}

TEST(Resample, AlphaPlanesFollowTheResult) {
    PxImage src(4, 4, 24);
    FillBlocks(src);
    src.AlphaCreate();
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 4; ++x) src.AlphaSet(x, y, static_cast<BYTE>(x < 2 ? 0 : 200));
    PxImage a, b, c;
    ASSERT_TRUE(src.Resample(2, 2, 0, &a));
    ASSERT_TRUE(src.Resample2(8, 8, PxImage::IM_NEAREST_NEIGHBOUR, PxImage::OM_REPEAT, &b));
    ASSERT_TRUE(src.QIShrink(2, 2, &c));
    ASSERT_TRUE(a.AlphaIsValid());
    ASSERT_TRUE(b.AlphaIsValid());
    ASSERT_TRUE(c.AlphaIsValid());
    EXPECT_EQ(a.AlphaGet(0, 0), 0);
    EXPECT_EQ(a.AlphaGet(1, 1), 200);
    EXPECT_EQ(b.AlphaGet(7, 0), 200);
    EXPECT_EQ(b.AlphaGet(0, 7), 0);
    EXPECT_EQ(c.AlphaGet(1, 0), 200);
}

TEST(Resample, EscapeLeavesUnvisitedRowsCleared) {
    PxImage src(20, 20, 24);
    FillRed(src, [](LONG, LONG) { return 90; });
    src.SetEscape(1);
    PxImage a, b;
    ASSERT_TRUE(src.Resample(10, 10, 0, &a));
    ASSERT_TRUE(src.Resample2(30, 30, PxImage::IM_CUBIC, PxImage::OM_REPEAT, &b));
    EXPECT_EQ(a.GetWidth(), 10u);
    EXPECT_EQ(Red(a, 5, 5), 0);
    EXPECT_EQ(Red(b, 29, 29), 0);
}

TEST(Resample, ThumbnailFitsAndCentres) {
    PxImage src(100, 50, 24);
    FillRed(src, [](LONG, LONG) { return 77; });
    const RGBQUAD canvas{0, 200, 0, 0};
    PxImage th;
    ASSERT_TRUE(src.Thumbnail(20, 20, canvas, &th));
    ASSERT_EQ(th.GetWidth(), 20u);
    ASSERT_EQ(th.GetHeight(), 20u);
    EXPECT_EQ(th.GetPixelColor(10, 2).rgbGreen, 200);
    EXPECT_EQ(th.GetPixelColor(10, 17).rgbGreen, 200);
    EXPECT_EQ(Red(th, 10, 10), 77);
    EXPECT_EQ(Red(th, 0, 10), 77);
    EXPECT_FALSE(src.Thumbnail(0, 20, canvas));

    // A one-row strip still keeps a row.
    PxImage strip(1000, 1, 24);
    FillRed(strip, [](LONG, LONG) { return 33; });
    ASSERT_TRUE(strip.Thumbnail(10, 10, canvas));
    EXPECT_EQ(strip.GetWidth(), 10u);
    int found = 0;
    for (LONG y = 0; y < 10; ++y) found += Red(strip, 5, y) == 33;
    EXPECT_EQ(found, 1);
}

TEST(Resample, Resample2GivesTheInterpolatedReadAtEveryPixelCentre) {
    // Large enough to run on several threads, with noise so that every weight matters.
    PxImage src(90, 70, 24);
    px::Rand15 rnd(7);
    src.AlphaCreate();
    for (LONG y = 0; y < 70; ++y)
        for (LONG x = 0; x < 90; ++x) {
            src.SetPixelColor(x, y,
                              RGBQUAD{static_cast<BYTE>(rnd.Next()), static_cast<BYTE>(rnd.Next()),
                                      static_cast<BYTE>(rnd.Next()), 0});
            src.AlphaSet(x, y, static_cast<BYTE>(rnd.Next()));
        }
    const LONG nw = 300, nh = 250;
    const float xs = 90.0f / nw, ys = 70.0f / nh;
    for (auto im : {PxImage::IM_BILINEAR, PxImage::IM_CUBIC, PxImage::IM_CATROM, PxImage::IM_BSPLINE,
                    PxImage::IM_GENERALIZED_CUBIC, PxImage::IM_LANCZOS_SINC}) {
        PxImage out;
        ASSERT_TRUE(src.Resample2(nw, nh, im, PxImage::OM_MIRROR, &out));
        int mismatches = 0;
        for (LONG y = 0; y < nh; ++y)
            for (LONG x = 0; x < nw; ++x) {
                const RGBQUAD want = src.GetPixelColorInterpolated((x + 0.5f) * xs - 0.5f, (y + 0.5f) * ys - 0.5f, im,
                                                                   PxImage::OM_MIRROR);
                const RGBQUAD got = out.GetPixelColor(x, y);
                mismatches += want.rgbRed != got.rgbRed || want.rgbGreen != got.rgbGreen ||
                              want.rgbBlue != got.rgbBlue || want.rgbReserved != got.rgbReserved;
            }
        EXPECT_EQ(mismatches, 0) << im;
    }
}

TEST(Resample, ShrinkingGivesTheAreaAverageOfEveryOutputPixel) {
    PxImage src(900, 700, 24);
    px::Rand15 rnd(11);
    src.AlphaCreate();
    for (LONG y = 0; y < 700; ++y)
        for (LONG x = 0; x < 900; ++x) {
            src.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(rnd.Next()), static_cast<BYTE>(rnd.Next()),
                                            static_cast<BYTE>(rnd.Next()), 0});
            src.AlphaSet(x, y, static_cast<BYTE>(rnd.Next()));
        }
    const LONG nw = 400, nh = 300;
    const float xs = 900.0f / nw, ys = 700.0f / nh;
    PxImage out;
    ASSERT_TRUE(src.Resample2(nw, nh, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &out));
    int mismatches = 0;
    for (LONG y = 0; y < nh; ++y)
        for (LONG x = 0; x < nw; ++x) {
            const RGBQUAD want = src.GetAreaColorInterpolated((x + 0.5f) * xs - 0.5f, (y + 0.5f) * ys - 0.5f, xs, ys,
                                                              PxImage::IM_BILINEAR, PxImage::OM_REPEAT);
            const RGBQUAD got = out.GetPixelColor(x, y);
            mismatches += want.rgbRed != got.rgbRed || want.rgbGreen != got.rgbGreen || want.rgbBlue != got.rgbBlue ||
                          want.rgbReserved != got.rgbReserved;
        }
    EXPECT_EQ(mismatches, 0);
}
