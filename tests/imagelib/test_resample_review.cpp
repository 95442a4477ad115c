// Resample2 reductions whose boxes are taller than the rows kept converted to floats: the box
// sums then read the bytes, and must still give the area average of every output pixel.
#include <gtest/gtest.h>

#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

TEST(ResampleReview, TallBoxesGiveTheAreaAverageOfEveryOutputPixel) {
    const struct {
        LONG w, h, nw, nh;
    } sizes[] = {{203, 157, 29, 17}, {97, 211, 13, 23}, {900, 700, 60, 50}};  // the last runs on threads
    for (const auto& s : sizes) {
        PxImage src(s.w, s.h, 24);
        px::Rand15 rnd(static_cast<uint32_t>(s.w));
        src.AlphaCreate();
        for (LONG y = 0; y < s.h; ++y)
            for (LONG x = 0; x < s.w; ++x) {
                src.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(rnd.Next()), static_cast<BYTE>(rnd.Next()),
                                                static_cast<BYTE>(rnd.Next()), 0});
                src.AlphaSet(x, y, static_cast<BYTE>(rnd.Next()));
            }
        const float xs = static_cast<float>(s.w) / s.nw, ys = static_cast<float>(s.h) / s.nh;
        for (auto om : {PxImage::OM_REPEAT, PxImage::OM_BACKGROUND}) {
            PxImage out;
            ASSERT_TRUE(src.Resample2(s.nw, s.nh, PxImage::IM_BILINEAR, om, &out));
            int mismatches = 0;
            for (LONG y = 0; y < s.nh; ++y)
                for (LONG x = 0; x < s.nw; ++x) {
                    const RGBQUAD want = src.GetAreaColorInterpolated((x + 0.5f) * xs - 0.5f, (y + 0.5f) * ys - 0.5f,
                                                                      xs, ys, PxImage::IM_BILINEAR, om);
                    const RGBQUAD got = out.GetPixelColor(x, y);
                    mismatches += want.rgbRed != got.rgbRed || want.rgbGreen != got.rgbGreen ||
                                  want.rgbBlue != got.rgbBlue || want.rgbReserved != got.rgbReserved;
                }
            EXPECT_EQ(mismatches, 0) << s.w << "x" << s.h << " to " << s.nw << "x" << s.nh << ", overflow " << om;
        }
    }
}

TEST(ResampleReview, ThumbnailFillsTheBoxAlongItsLimitingSide) {
    // 20 / 133 x 133 is 19.99... in floats: the picture must still span all 20 columns.
    PxImage src(133, 40, 24);
    for (LONG y = 0; y < 40; ++y)
        for (LONG x = 0; x < 133; ++x) src.SetPixelColor(x, y, RGBQUAD{0, 0, 77, 0});
    PxImage th;
    const RGBQUAD canvas{0, 200, 0, 0};
    ASSERT_TRUE(src.Thumbnail(20, 20, canvas, &th));
    ASSERT_EQ(th.GetWidth(), 20u);
    auto picture = [&](LONG x, LONG y) { return th.GetPixelColor(x, y).rgbGreen != canvas.rgbGreen; };
    for (LONG x = 0; x < 20; ++x) EXPECT_TRUE(picture(x, 10)) << x;
    // 40 x 20 / 133 = 6.01: six rows of picture, centred.
    int rows = 0;
    for (LONG y = 0; y < 20; ++y) rows += picture(5, y);
    EXPECT_EQ(rows, 6);
    EXPECT_TRUE(picture(5, 7) && picture(5, 12));
}

TEST(ResampleReview, QIShrinkAveragesTheAlphaOfIndexedImages) {
    // Indexed pixels are written with alpha: the plane holds each cell's mean, not the opaque
    // value a new plane starts with.
    PxImage src(4, 2, 8);
    src.AlphaCreate();
    for (LONG y = 0; y < 2; ++y)
        for (LONG x = 0; x < 4; ++x) src.AlphaSet(x, y, static_cast<BYTE>(x < 2 ? 0 : 100 + 50 * y));
    ASSERT_TRUE(src.QIShrink(2, 1));
    ASSERT_TRUE(src.AlphaIsValid());
    EXPECT_EQ(src.AlphaGet(0, 0), 0);
    EXPECT_EQ(src.AlphaGet(1, 0), 125);
}
