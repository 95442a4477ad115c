// Free rotation, skew and the circular distortions: sizes, source positions and what shows
// outside the picture, on images whose pixels all differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

namespace {

// Every pixel distinct in red and green, blue 7.
void FillDistinct(PxImage& img) {
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x)
            img.SetPixelColor(x, y, RGBQUAD{7, static_cast<BYTE>(y * 16 + 1), static_cast<BYTE>(x * 16 + 1), 0});
}

void FillUniform(PxImage& img, RGBQUAD c) {
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x) img.SetPixelColor(x, y, c);
}

bool Same(RGBQUAD a, RGBQUAD b) { return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue; }

bool SamePixels(PxImage& a, PxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); ++x)
            if (!Same(a.GetPixelColor(x, y), b.GetPixelColor(x, y))) return false;
    return true;
}

}  // namespace

TEST(Transform, NearestRotationHoldsTheWholePicture) {
    PxImage img(10, 10, 24);
    FillDistinct(img);
    PxImage src(img);
    ASSERT_TRUE(img.Rotate(0));
    ASSERT_EQ(img.GetWidth(), 12u);
    ASSERT_EQ(img.GetHeight(), 12u);
    // x - 0.5 truncates towards zero: output columns 0 and 1 both show source column 0.
    EXPECT_TRUE(Same(img.GetPixelColor(0, 5), src.GetPixelColor(0, 4)));
    EXPECT_TRUE(Same(img.GetPixelColor(1, 5), src.GetPixelColor(0, 4)));
    EXPECT_TRUE(Same(img.GetPixelColor(2, 5), src.GetPixelColor(1, 4)));
    // Beyond the picture: no transparent index, so pixel (0, 0).
    EXPECT_TRUE(Same(img.GetPixelColor(11, 11), src.GetPixelColor(0, 0)));

    PxImage pal(6, 4, 8);
    for (LONG x = 0; x < 6; ++x) pal.SetPixelIndex(x, 1, static_cast<BYTE>(x + 1));
    pal.AlphaCreate();
    pal.AlphaSet(2, 1, 9);
    PxImage turned;
    ASSERT_TRUE(pal.Rotate(90, &turned));
    EXPECT_EQ(pal.GetWidth(), 6u) << "the source stays when a destination is given";
    EXPECT_EQ(turned.GetBpp(), 8);
    ASSERT_TRUE(turned.AlphaIsValid());
    int found = 0;
    for (LONG y = 0; y < static_cast<LONG>(turned.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(turned.GetWidth()); ++x)
            if (turned.GetPixelIndex(x, y) == 3) {
                ++found;
                EXPECT_EQ(turned.AlphaGet(x, y), 9);
            }
    EXPECT_EQ(found, 1) << "a quarter turn keeps each pixel once";
}

TEST(Transform, InterpolatingRotationShortcutsAndSizes) {
    PxImage img(7, 5, 24);
    FillDistinct(img);
    PxImage right(img), rotated(img);
    ASSERT_TRUE(right.RotateRight());
    ASSERT_TRUE(rotated.Rotate2(90));
    EXPECT_TRUE(SamePixels(rotated, right));

    PxImage same(img), copy;
    ASSERT_TRUE(same.Rotate2(0, &copy));
    EXPECT_TRUE(SamePixels(same, img));
    EXPECT_TRUE(SamePixels(copy, img));

    // Without the shortcut a turn by 0 samples every pixel centre exactly.
    PxImage slow(img);
    ASSERT_TRUE(slow.Rotate2(0, nullptr, PxImage::IM_BILINEAR, PxImage::OM_BACKGROUND, nullptr, false));
    EXPECT_TRUE(SamePixels(slow, img));

    PxImage kept(img);
    ASSERT_TRUE(kept.Rotate2(30, nullptr, PxImage::IM_BILINEAR, PxImage::OM_BACKGROUND, nullptr, true, true));
    EXPECT_EQ(kept.GetWidth(), 7u);
    EXPECT_EQ(kept.GetHeight(), 5u);
}

TEST(Transform, RotationFillsCornersWithTheReplacementAndAlpha) {
    PxImage img(10, 10, 24);
    const RGBQUAD blue{255, 0, 0, 0}, red{0, 0, 255, 0};
    FillUniform(img, blue);
    img.AlphaCreate();
    RGBQUAD r = red;
    PxImage out;
    ASSERT_TRUE(img.Rotate2(45, &out, PxImage::IM_BILINEAR, PxImage::OM_COLOR, &r));
    EXPECT_EQ(out.GetWidth(), 14u);
    const LONG n = static_cast<LONG>(out.GetWidth()) - 1;
    for (auto [x, y] : {std::pair<LONG, LONG>{0, 0}, {n, 0}, {0, n}, {n, n}})
        EXPECT_TRUE(Same(out.GetPixelColor(x, y), red)) << x << "," << y;
    EXPECT_TRUE(Same(out.GetPixelColor(7, 7), blue));
    ASSERT_TRUE(out.AlphaIsValid());
    EXPECT_EQ(out.AlphaGet(7, 7), 255);

    PxImage clear;
    ASSERT_TRUE(img.Rotate2(45, &clear, PxImage::IM_BILINEAR, PxImage::OM_TRANSPARENT));
    EXPECT_EQ(clear.AlphaGet(0, 0), 0);
    EXPECT_EQ(clear.AlphaGet(7, 7), 255);

    // Indexed images take the nearest palette entry of the interpolated colour.
    PxImage pal(8, 8, 8);
    pal.SetPaletteColor(1, 0, 0, 255);
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x) pal.SetPixelIndex(x, y, 1);
    ASSERT_TRUE(pal.Rotate2(20));
    EXPECT_EQ(pal.GetBpp(), 8);
    EXPECT_EQ(pal.GetPixelIndex(static_cast<LONG>(pal.GetWidth()) / 2, static_cast<LONG>(pal.GetHeight()) / 2), 1);
}

TEST(Transform, EscapedRotationHandsOverAClearedResult) {
    PxImage img(40, 30, 24);
    FillUniform(img, RGBQUAD{50, 60, 70, 0});
    img.SetEscape(1);
    ASSERT_TRUE(img.Rotate2(30));
    ASSERT_TRUE(img.IsValid());
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x)
            ASSERT_TRUE(Same(img.GetPixelColor(x, y), RGBQUAD{0, 0, 0, 0}));
}

TEST(Transform, SkewShearsSelectedPixelsOnly) {
    PxImage img(8, 4, 24);
    FillDistinct(img);
    PxImage src(img);
    ASSERT_TRUE(img.Skew(0, 0));
    EXPECT_TRUE(SamePixels(img, src));
    // Pivots at the ends of the LONG range: the distances to them must not overflow.
    ASSERT_TRUE(img.Skew(0, 0, INT32_MIN, INT32_MAX));
    ASSERT_TRUE(img.Skew(0, 0, INT32_MAX, INT32_MIN, true));
    EXPECT_TRUE(SamePixels(img, src));

    ASSERT_TRUE(img.Skew(1, 0));
    EXPECT_TRUE(Same(img.GetPixelColor(2, 1), src.GetPixelColor(3, 1)));
    EXPECT_TRUE(Same(img.GetPixelColor(2, 3), src.GetPixelColor(5, 3)));
    EXPECT_TRUE(Same(img.GetPixelColor(7, 1), src.GetPixelColor(0, 0))) << "outside: pixel (0, 0)";

    PxImage part(src);
    part.SelectionAddRect(RECT{0, 0, 4, 4});
    ASSERT_TRUE(part.Skew(1, 0, 0, 2));
    EXPECT_TRUE(Same(part.GetPixelColor(2, 3), src.GetPixelColor(3, 3)));
    EXPECT_TRUE(Same(part.GetPixelColor(6, 3), src.GetPixelColor(6, 3))) << "unselected pixels stay";
    EXPECT_TRUE(part.SelectionIsValid());

    PxImage smooth(src);
    ASSERT_TRUE(smooth.Skew(0.5f, 0, 0, 0, true));
    const RGBQUAD a = src.GetPixelColor(2, 1), b = src.GetPixelColor(3, 1);
    EXPECT_EQ(smooth.GetPixelColor(2, 1).rgbRed, (a.rgbRed * 128 + b.rgbRed * 128) >> 8);
}

TEST(Transform, CircleTransformsAroundTheCentre) {
    PxImage img(11, 11, 24);
    FillDistinct(img);
    PxImage src(img);
    ASSERT_TRUE(img.CircleTransform(0, 3));
    EXPECT_TRUE(Same(img.GetPixelColor(5, 5), src.GetPixelColor(5, 5)));
    EXPECT_TRUE(Same(img.GetPixelColor(6, 5), src.GetPixelColor(5, 5))) << "r' = 1/3 truncates to the centre";
    EXPECT_TRUE(Same(img.GetPixelColor(0, 5), src.GetPixelColor(0, 0))) << "beyond rmax: outside the image";

    // A swirl with an enormous coefficient barely turns: pixels on the axes stay where they are,
    // on both sides of the centre (no mirroring).
    PxImage swirl(src);
    ASSERT_TRUE(swirl.CircleTransform(2, 5, 1e9f));
    for (auto [x, y] : {std::pair<LONG, LONG>{7, 5}, {3, 5}, {5, 8}, {5, 2}})
        EXPECT_TRUE(Same(swirl.GetPixelColor(x, y), src.GetPixelColor(x, y))) << x << "," << y;

    PxImage ripple(src);
    ASSERT_TRUE(ripple.CircleTransform(4, 0, 1));
    EXPECT_TRUE(Same(ripple.GetPixelColor(9, 5), src.GetPixelColor(2, 5)));  // (9 % 32) + 9 - 16

    PxImage part(src);
    part.SelectionAddRect(RECT{0, 0, 5, 11});
    ASSERT_TRUE(part.CircleTransform(0, 3));
    EXPECT_TRUE(Same(part.GetPixelColor(0, 5), src.GetPixelColor(0, 0)));
    EXPECT_TRUE(Same(part.GetPixelColor(10, 5), src.GetPixelColor(10, 5))) << "outside the selection";
}

TEST(Transform, KeptSizeRotationReadsTheTurnedPositionEverywhere) {
    // Large enough for several threads; noise makes every weight count. The fast paths inside
    // the picture and for the far corners must give what the interpolated read gives.
    PxImage src(600, 450, 24);
    px::Rand15 rnd(3);
    src.AlphaCreate();
    for (LONG y = 0; y < 450; ++y)
        for (LONG x = 0; x < 600; ++x) {
            src.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(rnd.Next()), static_cast<BYTE>(rnd.Next()),
                                            static_cast<BYTE>(rnd.Next()), 0});
            src.AlphaSet(x, y, static_cast<BYTE>(rnd.Next()));
        }
    RGBQUAD green{0, 255, 0, 99};
    const float a = -37.0f * static_cast<float>(std::acos(0.0)) / 90.0f;
    const float c = std::cos(a), s = std::sin(a);
    for (auto om : {PxImage::OM_COLOR, PxImage::OM_MIRROR}) {
        PxImage out;
        ASSERT_TRUE(src.Rotate2(37, &out, PxImage::IM_BILINEAR, om, &green, true, true));
        ASSERT_EQ(out.GetWidth(), 600u);
        int mismatches = 0;
        for (LONG j = 0; j < 450; ++j)
            for (LONG i = 0; i < 600; ++i) {
                const float X = static_cast<float>(i) - 300.0f, Y = static_cast<float>(j) - 225.0f;
                const RGBQUAD want = src.GetPixelColorInterpolated(X * c + Y * s + 300.0f, Y * c - X * s + 225.0f,
                                                                   PxImage::IM_BILINEAR, om, &green);
                const RGBQUAD got = out.GetPixelColor(i, j);
                mismatches += want.rgbRed != got.rgbRed || want.rgbGreen != got.rgbGreen ||
                              want.rgbBlue != got.rgbBlue || want.rgbReserved != got.rgbReserved;
            }
        EXPECT_EQ(mismatches, 0) << om;
    }
}

TEST(Transform, RotationAtOddSizesReadsTheTurnedPositionOfEveryPixel) {
    // The bounding box of the turned corners, odd widths (a run of four positions leaves a rest),
    // with and without alpha, and edges that fall between whole pixels.
    for (bool alpha : {false, true})
        for (float angle : {30.0f, -113.7f, 7.0f}) {
            PxImage src(301, 203, 24);
            px::Rand15 rnd(static_cast<uint32_t>(static_cast<int>(angle)) + alpha);
            if (alpha) src.AlphaCreate();
            for (LONG y = 0; y < 203; ++y)
                for (LONG x = 0; x < 301; ++x) {
                    src.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(rnd.Next()), static_cast<BYTE>(rnd.Next()),
                                                    static_cast<BYTE>(rnd.Next()), 0});
                    if (alpha) src.AlphaSet(x, y, static_cast<BYTE>(rnd.Next()));
                }
            const float a = -angle * static_cast<float>(std::acos(0.0)) / 90.0f;
            const float c = std::cos(a), s = std::sin(a);
            const float px[4] = {-0.5f, 300.5f, -0.5f, 300.5f}, py[4] = {-0.5f, -0.5f, 202.5f, 202.5f};
            float minx = 1e9f, maxx = -1e9f, miny = 1e9f, maxy = -1e9f;
            for (int k = 0; k < 4; ++k) {
                const float qx = px[k] * c - py[k] * s, qy = px[k] * s + py[k] * c;
                minx = std::min(minx, qx);
                maxx = std::max(maxx, qx);
                miny = std::min(miny, qy);
                maxy = std::max(maxy, qy);
            }
            const LONG nw = static_cast<LONG>(std::floor(maxx - minx + 0.5f));
            const LONG nh = static_cast<LONG>(std::floor(maxy - miny + 0.5f));
            const float x0 = (maxx + minx - static_cast<float>(nw - 1)) / 2.0f;
            const float y0 = (maxy + miny - static_cast<float>(nh - 1)) / 2.0f;
            for (auto om : {PxImage::OM_BACKGROUND, PxImage::OM_REPEAT}) {
                PxImage out;
                ASSERT_TRUE(src.Rotate2(angle, &out, PxImage::IM_BILINEAR, om));
                ASSERT_EQ(static_cast<LONG>(out.GetWidth()), nw);
                ASSERT_EQ(static_cast<LONG>(out.GetHeight()), nh);
                int mismatches = 0;
                for (LONG j = 0; j < nh; ++j)
                    for (LONG i = 0; i < nw; ++i) {
                        const float X = x0 + static_cast<float>(i), Y = y0 + static_cast<float>(j);
                        const RGBQUAD want =
                            src.GetPixelColorInterpolated(X * c + Y * s, Y * c - X * s, PxImage::IM_BILINEAR, om);
                        const RGBQUAD got = out.GetPixelColor(i, j);
                        mismatches += !Same(want, got) || (alpha && want.rgbReserved != got.rgbReserved);
                    }
                EXPECT_EQ(mismatches, 0) << "angle " << angle << ", alpha " << alpha << ", overflow " << om;
            }
        }
}

TEST(Transform, TurnedTrueColourResultsWriteEveryRowByteAlsoWhenStopped) {
    // Small enough for the heap to hand back the freed block of 0xAA, so unwritten bytes show.
    for (LONG stop : {0, 1})
        for (float angle : {30.0f, 17.0f, -62.0f}) {
            PxImage src(23, 19, 24);
            FillDistinct(src);
            src.SetEscape(stop);
            static void* volatile sink;
            void* dirty = std::malloc(4096);
            std::memset(dirty, 0xAA, 4096);
            sink = dirty;
            std::free(sink);
            PxImage out;
            ASSERT_TRUE(src.Rotate2(angle, &out));
            const size_t used = stop ? 0 : static_cast<size_t>(out.GetWidth()) * 3;
            bool clean = true;
            for (DWORD y = 0; y < out.GetHeight(); ++y)
                for (size_t i = used; i < out.GetEffWidth(); ++i) clean = clean && out.GetBits(y)[i] == 0;
            EXPECT_TRUE(clean) << angle << ", stopped " << stop;
        }
}

TEST(Transform, SlightTurnsReadTheTopRowWithoutRunningPastIt) {
    // No row padding, and a turn so slight that whole runs of positions lie in the top rows.
    PxImage src(64, 12, 24);
    FillDistinct(src);
    for (float angle : {0.1f, 0.2f, 0.3f, 0.45f, -0.1f, -0.2f, -0.3f, -0.45f, 179.7f, 179.9f, -179.8f}) {
        PxImage out;
        // Without the right-angle shortcuts, which would take over for the smallest turns.
        ASSERT_TRUE(src.Rotate2(angle, &out, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, nullptr, false));
        const float a = -angle * static_cast<float>(std::acos(0.0)) / 90.0f;
        const float c = std::cos(a), s = std::sin(a);
        const float px[4] = {-0.5f, 63.5f, -0.5f, 63.5f}, py[4] = {-0.5f, -0.5f, 11.5f, 11.5f};
        float minx = 1e9f, maxx = -1e9f, miny = 1e9f, maxy = -1e9f;
        for (int k = 0; k < 4; ++k) {
            minx = std::min(minx, px[k] * c - py[k] * s);
            maxx = std::max(maxx, px[k] * c - py[k] * s);
            miny = std::min(miny, px[k] * s + py[k] * c);
            maxy = std::max(maxy, px[k] * s + py[k] * c);
        }
        const LONG nw = static_cast<LONG>(out.GetWidth()), nh = static_cast<LONG>(out.GetHeight());
        const float x0 = (maxx + minx - static_cast<float>(nw - 1)) / 2.0f;
        const float y0 = (maxy + miny - static_cast<float>(nh - 1)) / 2.0f;
        int mismatches = 0;
        for (LONG j = 0; j < nh; ++j)
            for (LONG i = 0; i < nw; ++i) {
                const float X = x0 + static_cast<float>(i), Y = y0 + static_cast<float>(j);
                mismatches += !Same(out.GetPixelColor(i, j),
                                    src.GetPixelColorInterpolated(X * c + Y * s, Y * c - X * s, PxImage::IM_BILINEAR,
                                                                  PxImage::OM_REPEAT));
            }
        EXPECT_EQ(mismatches, 0) << angle;
    }
}
