// Resample, Resample2, QIShrink and Thumbnail: sizes, exact values of small cases worked out by
// hand, alpha planes, and large reductions whose sums do not fit 32 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/core/pxsimd.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

#include "imagetest.h"

namespace {

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

namespace {

// Noise in every pixel (and alpha), so that every weight and every split shows in the result.
PxImage NoisyImage(LONG w, LONG h, DWORD bpp, bool alpha, uint32_t seed) {
    PxImage img(w, h, bpp);
    px::Rand15 rnd(seed);
    if (img.IsIndexed()) {
        for (DWORD i = 0; i < img.GetNumColors(); ++i)
            img.SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>(rnd.Next()), static_cast<BYTE>(rnd.Next()),
                                static_cast<BYTE>(rnd.Next()));
    }
    if (alpha) img.AlphaCreate();
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            if (img.IsIndexed())
                img.SetPixelIndex(x, y, static_cast<BYTE>(rnd.Next()));
            else
                img.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(rnd.Next()), static_cast<BYTE>(rnd.Next()),
                                                static_cast<BYTE>(rnd.Next()), 0});
            if (alpha) img.AlphaSet(x, y, static_cast<BYTE>(rnd.Next()));
        }
    return img;
}

BYTE Clamp255(float v) { return v > 0.0f ? (v > 255.0f ? 255 : static_cast<BYTE>(v)) : 0; }

// Resample's three modes rendered one output pixel at a time through the checked pixel members,
// as the algorithm reads: the optimised paths must give these bytes.
void PlainResample(PxImage& src, LONG nw, LONG nh, int mode, PxImage& out) {
    const LONG w = static_cast<LONG>(src.GetWidth()), h = static_cast<LONG>(src.GetHeight());
    const float xs = static_cast<float>(w) / nw, ys = static_cast<float>(h) / nh;
    out.Create(nw, nh, src.GetBpp());
    if (src.IsIndexed()) out.SetPalette(src.GetPalette(), src.GetNumColors());
    auto put = [&](LONG x, LONG y, float b, float g, float r) {
        out.SetPixelColor(x, y, RGBQUAD{Clamp255(b), Clamp255(g), Clamp255(r), 0});
    };
    if (mode == 1) {
        for (LONG y = 0; y < nh; ++y)
            for (LONG x = 0; x < nw; ++x)
                out.SetPixelColor(x, y, src.GetPixelColor(static_cast<LONG>(x * xs), static_cast<LONG>(y * ys)));
    } else if (mode == 2) {
        for (LONG y = 0; y < nh; ++y)
            for (LONG x = 0; x < nw; ++x) {
                const float fy = y * ys - 0.5f, fx = x * xs - 0.5f;
                const LONG iy = static_cast<LONG>(std::floor(fy)), ix = static_cast<LONG>(std::floor(fx));
                const float ry = fy - iy, rx = fx - ix;
                float b = 0, g = 0, r = 0;
                for (int m = -1; m <= 2; ++m)
                    for (int n = -1; n <= 2; ++n) {
                        const float k = PxImage::KernelBSpline(m - ry) * PxImage::KernelBSpline(rx - n);
                        const RGBQUAD c = src.GetPixelColor(std::clamp<LONG>(ix + n, 0, w - 1),
                                                            std::clamp<LONG>(iy + m, 0, h - 1));
                        b += k * c.rgbBlue;
                        g += k * c.rgbGreen;
                        r += k * c.rgbRed;
                    }
                put(x, y, b, g, r);
            }
    } else if (nw < w && nh < h && src.GetBpp() == 24) {
        // Every source pixel scatters its value x 1000 over the (at most) two columns and rows its
        // square overlaps; the part past an edge e is trunc((i + 1 - e) x 1000).
        auto plan = [](LONG n, float scale, std::vector<LONG>& cell, std::vector<int>& part) {
            LONG c = 0;
            float edge = scale;
            for (LONG i = 0; i < n; ++i) {
                const float end = static_cast<float>(i + 1);
                cell.push_back(c);
                part.push_back(end > edge ? 1000 - std::clamp(static_cast<int>((end - edge) * 1000), 0, 1000) : 1000);
                if (end >= edge) edge = static_cast<float>(++c + 1) * scale;
            }
        };
        std::vector<LONG> cx, cy;
        std::vector<int> px, py;
        plan(w, xs, cx, px);
        plan(h, ys, cy, py);
        std::vector<int64_t> acc(static_cast<size_t>(nw + 2) * (nh + 2) * 3, 0);
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                const RGBQUAD c = src.GetPixelColor(x, y);
                const LONG col = std::min(cx[x], nw - 1);
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const int64_t wx = dx ? 1000 - px[x] : px[x], wy = dy ? 1000 - py[y] : py[y];
                        int64_t* a = &acc[(static_cast<size_t>(cy[y] + dy) * (nw + 2) + col + dx) * 3];
                        a[0] += c.rgbBlue * (wx * wy / 1000);
                        a[1] += c.rgbGreen * (wx * wy / 1000);
                        a[2] += c.rgbRed * (wx * wy / 1000);
                    }
            }
        const int64_t denom = std::max<int64_t>(1, static_cast<int64_t>(xs * ys * 1000));
        for (LONG y = 0; y < nh; ++y)
            for (LONG x = 0; x < nw; ++x) {
                const int64_t* a = &acc[(static_cast<size_t>(y) * (nw + 2) + x) * 3];
                out.SetPixelColor(x, y,
                                  RGBQUAD{static_cast<BYTE>(std::min<int64_t>(255, a[0] / denom)),
                                          static_cast<BYTE>(std::min<int64_t>(255, a[1] / denom)),
                                          static_cast<BYTE>(std::min<int64_t>(255, a[2] / denom)), 0});
            }
    } else {
        for (LONG y = 0; y < nh; ++y)
            for (LONG x = 0; x < nw; ++x) {
                const float fy = y * ys, fx = x * xs;
                const LONG iy = std::min<LONG>(static_cast<LONG>(fy), h - 1);
                const LONG ix = std::min<LONG>(static_cast<LONG>(fx), w - 1);
                const LONG iy1 = std::min<LONG>(iy + 1, h - 1), ix1 = std::min<LONG>(ix + 1, w - 1);
                const float ry = fy - iy, rx = fx - ix;
                const RGBQUAD c00 = src.GetPixelColor(ix, iy), c10 = src.GetPixelColor(ix1, iy);
                const RGBQUAD c01 = src.GetPixelColor(ix, iy1), c11 = src.GetPixelColor(ix1, iy1);
                auto mix = [&](BYTE a, BYTE b, BYTE c, BYTE d) {
                    return (a * (1 - rx) + b * rx) * (1 - ry) + (c * (1 - rx) + d * rx) * ry;
                };
                put(x, y, mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue),
                    mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen),
                    mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed));
            }
    }
    if (src.AlphaIsValid()) {
        out.AlphaCreate();
        for (LONG y = 0; y < nh; ++y)
            for (LONG x = 0; x < nw; ++x)
                out.AlphaSet(x, y, src.AlphaGet(static_cast<LONG>(x * xs), static_cast<LONG>(y * ys)));
    }
}

// Index for indexed images, blue, green, red otherwise, and alpha: the count of pixels that differ.
int Differences(PxImage& a, PxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBpp() != b.GetBpp()) return -1;
    if (a.AlphaIsValid() != b.AlphaIsValid()) return -2;
    int n = 0;
    for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); ++x) {
            bool same = a.GetPixelIndex(x, y) == b.GetPixelIndex(x, y);
            const RGBQUAD p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
            same = same && p.rgbBlue == q.rgbBlue && p.rgbGreen == q.rgbGreen && p.rgbRed == q.rgbRed &&
                   p.rgbReserved == q.rgbReserved;
            n += !same;
        }
    return n;
}

}  // namespace

TEST(Resample, EveryModeGivesThePlainRenderingAtEveryDepth) {
    // Odd sizes: shrinking both ways (the area path at 24 bits), enlarging, and mixed; the large
    // case runs on several threads.
    const struct {
        LONG w, h, nw, nh;
    } sizes[] = {{37, 23, 29, 17},    {19, 13, 53, 31}, {31, 29, 43, 11},
                 {613, 401, 457, 299}, {203, 151, 9, 7}, {90, 61, 30, 20}};
    for (DWORD bpp : {1u, 4u, 8u, 24u})
        for (bool alpha : {false, true})
            for (const auto& s : sizes) {
                if (bpp != 24 && s.w > 200) continue;  // the indexed reference is slow; threads run at 24 bits
                PxImage src = NoisyImage(s.w, s.h, bpp, alpha, bpp * 7 + s.w);
                for (int mode : {0, 1, 2}) {
                    PxImage got, want;
                    ASSERT_TRUE(src.Resample(s.nw, s.nh, mode, &got));
                    PlainResample(src, s.nw, s.nh, mode, want);
                    EXPECT_EQ(Differences(got, want), 0)
                        << bpp << " bpp, alpha " << alpha << ", " << s.w << "x" << s.h << " to " << s.nw << "x"
                        << s.nh << ", mode " << mode;
                }
            }
}

TEST(Resample, GrayImagesKeepTheirLevelsThroughTheBilinearPath) {
    // The Fourier transform enlarges 8-bit gray images to powers of two through mode 0; a gray
    // ramp's nearest entry of a gray level is the level itself, other palettes search as before.
    for (int variant = 0; variant < 3; ++variant) {
        PxImage src = NoisyImage(45, 33, 8, false, 5);
        src.SetGrayPalette();
        if (variant == 1) src.SetPaletteColor(100, 101, 100, 100);  // no longer an identity ramp
        if (variant == 2) src.SetPaletteColor(7, 0, 0, 0);          // two entries for black: the first wins
        for (int mode : {0, 1, 2})
            for (LONG nw : {64L, 23L}) {
                PxImage got, want;
                ASSERT_TRUE(src.Resample(nw, 64, mode, &got));
                PlainResample(src, nw, 64, mode, want);
                EXPECT_EQ(Differences(got, want), 0) << "variant " << variant << ", mode " << mode << ", " << nw;
            }
    }
    // Large enough for several threads, each keeping its own mixed rows.
    PxImage big = NoisyImage(301, 203, 8, false, 9);
    big.SetGrayPalette();
    PxImage got, want;
    ASSERT_TRUE(big.Resample(512, 256, 0, &got));
    PlainResample(big, 512, 256, 0, want);
    EXPECT_EQ(Differences(got, want), 0);
}

TEST(Resample, Resample2WithoutAveragingGivesTheInterpolatedReadWhenShrinking) {
    // The resample command with averaging off, at odd sizes, with and without alpha, at 8 and 24 bits.
    for (DWORD bpp : {8u, 24u})
        for (bool alpha : {false, true}) {
            const LONG w = bpp == 24 ? 411 : 61, h = bpp == 24 ? 307 : 47;
            const LONG nw = w * 3 / 4, nh = h * 3 / 4;
            PxImage src = NoisyImage(w, h, bpp, alpha, 17 + bpp);
            const float xs = static_cast<float>(w) / nw, ys = static_cast<float>(h) / nh;
            for (auto im : {PxImage::IM_BILINEAR, PxImage::IM_BSPLINE, PxImage::IM_GENERALIZED_CUBIC,
                            PxImage::IM_MITCHELL})
                for (auto om : {PxImage::OM_REPEAT, PxImage::OM_BACKGROUND}) {
                    PxImage got, want(nw, nh, bpp);
                    ASSERT_TRUE(src.Resample2(nw, nh, im, om, &got, true));
                    if (src.IsIndexed()) want.SetPalette(src.GetPalette(), src.GetNumColors());
                    if (alpha) want.AlphaCreate();
                    for (LONG y = 0; y < nh; ++y)
                        for (LONG x = 0; x < nw; ++x)
                            want.SetPixelColor(x, y,
                                               src.GetPixelColorInterpolated((x + 0.5f) * xs - 0.5f,
                                                                             (y + 0.5f) * ys - 0.5f, im, om),
                                               alpha);
                    EXPECT_EQ(Differences(got, want), 0) << bpp << " bpp, alpha " << alpha << ", method " << im
                                                         << ", overflow " << om;
                }
        }
}

TEST(Resample, RowsTooWideToConvertGiveTheSameResult) {
    // Past 2^18 pixels the kernel sums read bytes instead of converted rows.
    const LONG w = (1 << 18) + 3, h = 4, nw = w - 5, nh = 3;
    PxImage src = NoisyImage(w, h, 24, false, 23);
    PxImage got, want;
    ASSERT_TRUE(src.Resample(nw, nh, 2, &got));
    PlainResample(src, nw, nh, 2, want);
    EXPECT_EQ(Differences(got, want), 0);

    const float xs = static_cast<float>(w) / nw, ys = static_cast<float>(h) / nh;
    PxImage got2, want2(nw, nh, 24);
    ASSERT_TRUE(src.Resample2(nw, nh, PxImage::IM_CATROM, PxImage::OM_REPEAT, &got2, true));
    for (LONG y = 0; y < nh; ++y)
        for (LONG x = 0; x < nw; ++x)
            want2.SetPixelColor(x, y,
                                src.GetPixelColorInterpolated((x + 0.5f) * xs - 0.5f, (y + 0.5f) * ys - 0.5f,
                                                              PxImage::IM_CATROM, PxImage::OM_REPEAT));
    EXPECT_EQ(Differences(got2, want2), 0);
}

namespace {

// Leaves a freed block of n bytes of 0xAA on the heap, so that a result that reuses it shows
// every byte it failed to write.
void DirtyHeap(size_t n) {
    static void* volatile sink;
    void* p = std::malloc(n);
    std::memset(p, 0xAA, n);
    sink = p;
    std::free(sink);
}

// Padding bytes of every row are 0; with all true, every byte of the rows is.
bool RowsClean(PxImage& img, bool all) {
    const size_t used = all ? 0 : static_cast<size_t>(img.GetWidth()) * img.GetBpp() / 8;
    for (DWORD y = 0; y < img.GetHeight(); ++y)
        for (size_t i = used; i < img.GetEffWidth(); ++i)
            if (img.GetBits(y)[i] != 0) return false;
    return true;
}

}  // namespace

TEST(Resample, TrueColourResultsWriteEveryRowByteAlsoWhenStopped) {
    // Widths that leave one and two bytes of padding, shrinking and enlarging.
    PxImage src = NoisyImage(37, 29, 24, false, 3);
    for (LONG stop : {0, 1})
        for (LONG nw : {13, 50}) {
            src.SetEscape(stop);
            PxImage out;
            DirtyHeap(40 + 152 * 23);
            ASSERT_TRUE(src.Resample2(nw, 23, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &out, true));
            EXPECT_TRUE(RowsClean(out, stop != 0)) << nw << ", stopped " << stop;
        }
}

TEST(Resample, VectorReadsStayInsideRowsWithoutPadding) {
    // Widths whose rows have no padding: the last pixels of the top row end the pixel block, so
    // a read of eight bytes there would run past it (the address sanitizer reports that). Several
    // output widths, so that the last columns fall in a whole group of four for some.
    for (LONG w : {64, 100})
        for (LONG nw = w - 8; nw < w; ++nw) {
            PxImage src = NoisyImage(w, 9, 24, false, static_cast<uint32_t>(w));
            ASSERT_EQ(src.GetEffWidth(), static_cast<DWORD>(w) * 3);
            const LONG nh = 8;
            const float xs = static_cast<float>(w) / nw, ys = 9.0f / nh;
            PxImage got, want(nw, nh, 24);
            ASSERT_TRUE(src.Resample2(nw, nh, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &got, true));
            for (LONG y = 0; y < nh; ++y)
                for (LONG x = 0; x < nw; ++x)
                    want.SetPixelColor(x, y,
                                       src.GetPixelColorInterpolated((x + 0.5f) * xs - 0.5f, (y + 0.5f) * ys - 0.5f,
                                                                     PxImage::IM_BILINEAR, PxImage::OM_REPEAT));
            EXPECT_EQ(Differences(got, want), 0) << w << " to " << nw;
        }
}

TEST(Resample, GrayAndTrueColourResultsOfEveryModeWriteEveryRowByte) {
    // These results skip the fill: padding must still be cleared, and rows left out by a stop
    // must come out black. Widths leave padding at both depths; shrinking and enlarging.
    for (DWORD bpp : {8u, 24u}) {
        PxImage src = NoisyImage(37, 29, bpp, false, 11);
        if (bpp == 8) src.SetGrayPalette();
        for (int mode : {0, 1, 2})
            for (LONG stop : {0, 1})
                for (LONG nw : {13, 50}) {
                    src.SetEscape(stop);
                    PxImage out;
                    DirtyHeap(40 + 1024 + 152 * 23);
                    ASSERT_TRUE(src.Resample(nw, 23, mode, &out));
                    EXPECT_TRUE(RowsClean(out, stop != 0))
                        << bpp << " bpp, mode " << mode << ", " << nw << ", stopped " << stop;
                }
    }
}

TEST(Resample, GrayEnlargementMatchesThePlainRenderingAtEveryRowEnd) {
    // Widths where the last columns fall outside the sixteen-column groups, or where the last
    // group would reach past the source row; rows without padding end the pixel block.
    for (LONG w : {16L, 17L, 31L, 64L, 100L})
        for (LONG nw : {w + 1, w + 15, 2 * w + 7, 3 * w}) {
            PxImage src = NoisyImage(w, 7, 8, false, static_cast<uint32_t>(w + nw));
            src.SetGrayPalette();
            PxImage got, want;
            ASSERT_TRUE(src.Resample(nw, 12, 0, &got));
            PlainResample(src, nw, 12, 0, want);
            EXPECT_EQ(Differences(got, want), 0) << w << " to " << nw;
        }
}

TEST(Resample, AreaReductionGivesThePlainSumsAtOddSizesAndFactors) {
    // Factors just above one, 4/3, about two, integer, about three and very large (sums past 2^24
    // and past 2^31), 1-pixel results each way, rows with and without padding, unequal factors,
    // widths that are not a multiple of the columns taken together, and results large enough to
    // run on several threads. Noise, and levels near the top, where the
    // quotient reaches 255 or stops just below it.
    const struct {
        LONG w, h, nw, nh;
    } sizes[] = {{17, 13, 16, 12},   {64, 48, 48, 36},    {100, 75, 75, 56},  {45, 2, 44, 1},    {2, 40, 1, 39},
                 {7, 5, 1, 1},       {300, 200, 1, 1},    {500, 331, 7, 5},   {997, 613, 5, 3},  {641, 479, 213, 160},
                 {640, 480, 320, 240}, {50, 37, 49, 36},  {400, 30, 13, 29},  {33, 301, 32, 4},  {1366, 768, 1024, 576},
                 {97, 41, 50, 20},   {210, 50, 100, 24}, {1200, 900, 30, 20}};
    for (int bright = 0; bright < 2; ++bright)
        for (const auto& s : sizes) {
            PxImage src = NoisyImage(s.w, s.h, 24, false, static_cast<uint32_t>(s.w * 31 + s.h + bright));
            if (bright)
                for (LONG y = 0; y < s.h; ++y) {
                    BYTE* row = src.GetBits(static_cast<DWORD>(y));
                    for (LONG i = 0; i < 3 * s.w; ++i) row[i] = static_cast<BYTE>(row[i] % 4 == 0 ? 255 : 250 + row[i] % 6);
                }
            PxImage got, want;
            ASSERT_TRUE(src.Resample(s.nw, s.nh, 0, &got));
            PlainResample(src, s.nw, s.nh, 0, want);
            EXPECT_EQ(Differences(got, want), 0)
                << s.w << "x" << s.h << " to " << s.nw << "x" << s.nh << (bright ? ", bright" : "");
        }
}

TEST(Resample, AreaReductionGivesThePlainSumsForManyRowSplits) {
    // Narrow and tall, reduced to many heights: the rows in part come in many sizes and periods,
    // and their parts at the split columns are worked out once and then reused.
    PxImage src = NoisyImage(11, 997, 24, false, 41);
    for (LONG nh = 997 - 1; nh > 300; nh -= 37) {
        PxImage got, want;
        ASSERT_TRUE(src.Resample(8, nh, 0, &got));
        PlainResample(src, 8, nh, 0, want);
        EXPECT_EQ(Differences(got, want), 0) << "to 8x" << nh;
    }
}

namespace {

// Resample2's averaging rendered one output pixel at a time through the plain area read, stored
// as Resample2 stores it (SetPixelColor with alpha, and the reserved byte into the plane).
void PlainAreaResample2(PxImage& src, LONG nw, LONG nh, PxImage::OverflowMethod om, PxImage& out) {
    const float xs = static_cast<float>(src.GetWidth()) / nw, ys = static_cast<float>(src.GetHeight()) / nh;
    out.Create(nw, nh, src.GetBpp());
    if (src.IsIndexed()) out.SetPalette(src.GetPalette(), src.GetNumColors());
    if (src.AlphaIsValid()) out.AlphaCreate();
    for (LONG y = 0; y < nh; ++y)
        for (LONG x = 0; x < nw; ++x) {
            const RGBQUAD c = src.GetAreaColorInterpolated((x + 0.5f) * xs - 0.5f, (y + 0.5f) * ys - 0.5f, xs, ys,
                                                           PxImage::IM_BILINEAR, om);
            out.SetPixelColor(x, y, c, true);  // indexed pixels take no alpha: their plane stays opaque
        }
}

}  // namespace

TEST(Resample, Resample2AveragingGivesThePlainAreaReadAtOddSizesAndFactors) {
    // Factors just above one, 4/3 (the resample command's usual case), 1.5 to 2, large (boxes
    // taller than the rows kept converted), 1-pixel results each way, shrinking one way only, and
    // results large enough to run on several threads; with and without alpha, at 8 and 24 bits,
    // noise and levels near the top where the quotient reaches 255 or stops just below it.
    const struct {
        LONG w, h, nw, nh;
    } sizes[] = {{17, 13, 16, 12},  {64, 48, 48, 36},   {100, 75, 75, 56},  {45, 2, 44, 1},    {2, 40, 1, 39},
                 {7, 5, 1, 1},      {300, 200, 1, 1},   {97, 41, 50, 20},   {50, 37, 49, 36},  {1200, 90, 30, 20},
                 {131, 29, 9, 3},   {40, 10, 30, 20},   {10, 40, 20, 30},   {67, 300, 50, 225}, {641, 479, 480, 359},
                 {333, 211, 331, 209}, {35, 33, 3, 31},
                 // Factors where sixteen neighbouring columns read about 30 source columns, some
                 // runs of them more than 32.
                 {90, 20, 50, 11},  {95, 30, 50, 16},   {300, 12, 200, 8},
                 // Narrow boxes taller than the rows kept converted.
                 {67, 300, 50, 25}, {40, 200, 30, 3}};
    for (WORD bpp : {WORD{24}, WORD{8}})
        for (int alpha = 0; alpha < 2; ++alpha)
            for (int bright = 0; bright < 2; ++bright)
                for (const auto& s : sizes) {
                    if (bpp == 8 && s.w * s.h > 100000) continue;  // the slow indexed path: small cases suffice
                    PxImage src = NoisyImage(s.w, s.h, bpp, alpha != 0, static_cast<uint32_t>(s.w * 7 + s.h + bright));
                    if (bright && bpp == 24)
                        for (LONG y = 0; y < s.h; ++y) {
                            BYTE* row = src.GetBits(static_cast<DWORD>(y));
                            for (LONG i = 0; i < 3 * s.w; ++i)
                                row[i] = static_cast<BYTE>(row[i] % 4 == 0 ? 255 : 250 + row[i] % 6);
                        }
                    PxImage got, want;
                    ASSERT_TRUE(src.Resample2(s.nw, s.nh, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &got));
                    PlainAreaResample2(src, s.nw, s.nh, PxImage::OM_REPEAT, want);
                    EXPECT_EQ(Differences(got, want), 0) << s.w << "x" << s.h << " to " << s.nw << "x" << s.nh
                                                         << " at " << bpp << (alpha ? ", alpha" : "")
                                                         << (bright ? ", bright" : "");
                }
    // Past 2^18 pixels the rows are read as bytes instead of being converted.
    PxImage wide = NoisyImage((1 << 18) + 3, 4, 24, true, 29);
    PxImage got, want;
    ASSERT_TRUE(wide.Resample2(((1 << 18) + 3) * 3 / 4, 3, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &got));
    PlainAreaResample2(wide, ((1 << 18) + 3) * 3 / 4, 3, PxImage::OM_REPEAT, want);
    EXPECT_EQ(Differences(got, want), 0);
}

namespace {

// Every byte of the rows (padding included) and of the alpha plane alike.
bool SameBytes(PxImage& a, PxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBpp() != b.GetBpp() ||
        a.GetEffWidth() != b.GetEffWidth() || a.AlphaIsValid() != b.AlphaIsValid())
        return false;
    for (DWORD y = 0; y < a.GetHeight(); ++y)
        if (std::memcmp(a.GetBits(y), b.GetBits(y), a.GetEffWidth()) != 0) return false;
    return !a.AlphaIsValid() ||
           std::memcmp(a.AlphaGetPointer(0, 0), b.AlphaGetPointer(0, 0),
                       static_cast<size_t>(a.GetWidth()) * a.GetHeight()) == 0;
}

// Runs fn under every ceiling of the vector forms, the widest last, and restores it.
template <typename Fn>
void UnderEveryCeiling(Fn&& fn) {
    for (pxgeo::Simd form : {pxgeo::Simd::Plain, pxgeo::Simd::Ssse3, pxgeo::Simd::Avx, pxgeo::Simd::Avx2,
                             pxgeo::Simd::Avx512}) {
        pxgeo::SetSimdCeiling(form);
        fn(static_cast<int>(form));
    }
    pxgeo::SetSimdCeiling(pxgeo::Simd::Avx512);
}

}  // namespace

TEST(Resample, EveryVectorFormGivesThePlainBytes) {
    // The area reduction of Resample (24 bits, with and without alpha), the gray enlargement and
    // Resample2's area average, under each ceiling: the same bytes as the plain forms and the
    // plain renderings. Odd sizes, 1-pixel images, and sizes large enough for several threads.
    const struct {
        LONG w, h, nw, nh;
    } shrink[] = {{37, 23, 29, 17}, {7, 5, 1, 1}, {17, 9, 1, 9}, {2, 30, 1, 7}, {641, 479, 480, 359},
                  {333, 211, 331, 209}, {400, 300, 200, 150}, {97, 41, 50, 20}},
      grow[] = {{1, 1, 5, 3}, {45, 33, 64, 64}, {17, 9, 100, 13}, {301, 203, 512, 256}, {31, 7, 93, 12}};
    for (const auto& s : shrink)
        for (bool alpha : {false, true}) {
            PxImage src = NoisyImage(s.w, s.h, 24, alpha, static_cast<uint32_t>(s.w * 5 + s.h + alpha));
            PxImage area, area2, wantArea, wantArea2;
            PlainResample(src, s.nw, s.nh, 0, wantArea);
            PlainAreaResample2(src, s.nw, s.nh, PxImage::OM_REPEAT, wantArea2);
            UnderEveryCeiling([&](int form) {
                PxImage got, got2;
                ASSERT_TRUE(src.Resample(s.nw, s.nh, 0, &got));
                ASSERT_TRUE(src.Resample2(s.nw, s.nh, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &got2));
                const std::string what = std::to_string(s.w) + "x" + std::to_string(s.h) + " to " +
                                         std::to_string(s.nw) + "x" + std::to_string(s.nh) +
                                         (alpha ? " alpha" : "") + ", form " + std::to_string(form);
                EXPECT_EQ(Differences(got, wantArea), 0) << what;
                EXPECT_EQ(Differences(got2, wantArea2), 0) << what;
                if (form == 0) {
                    area.Copy(got);
                    area2.Copy(got2);
                } else {
                    EXPECT_TRUE(SameBytes(got, area)) << what;
                    EXPECT_TRUE(SameBytes(got2, area2)) << what;
                }
            });
        }
    for (const auto& s : grow) {
        PxImage src = NoisyImage(s.w, s.h, 8, false, static_cast<uint32_t>(s.w + 3 * s.nw));
        src.SetGrayPalette();
        PxImage plain, want;
        PlainResample(src, s.nw, s.nh, 0, want);
        UnderEveryCeiling([&](int form) {
            PxImage got;
            ASSERT_TRUE(src.Resample(s.nw, s.nh, 0, &got));
            const std::string what = std::to_string(s.w) + " to " + std::to_string(s.nw) + ", form " +
                                     std::to_string(form);
            EXPECT_EQ(Differences(got, want), 0) << what;
            if (form == 0)
                plain.Copy(got);
            else
                EXPECT_TRUE(SameBytes(got, plain)) << what;
        });
    }
}

TEST(Resample, Resample2AveragingAtRationalScalesGivesThePlainAreaRead) {
    // Scales q / p read by interleaved groups of output columns: every p and q taken, widths that
    // leave a partial last block, exact scales and near ones whose float positions put some
    // groups off the pattern, alpha, and a case large enough for several threads.
    const struct {
        LONG w, h, nw, nh;
    } sizes[] = {{2 * 83, 20, 83, 10},   {3 * 41, 13, 41, 6},   {4 * 37, 9, 37, 4},     {5 * 29, 11, 29, 5},
                 {3 * 46, 31, 2 * 46, 20}, {5 * 33, 17, 2 * 33, 8}, {4 * 51, 27, 3 * 51, 20}, {5 * 29, 30, 3 * 29, 17},
                 {5 * 44, 40, 4 * 44, 32}, {641, 479, 480, 359}, {4 * 97 + 1, 30, 3 * 97, 22}, {1203, 31, 902, 23},
                 {8001, 10, 6000, 7},  {10001, 6, 5000, 3},  {5472 / 8, 3648 / 8, 5472 / 8 * 3 / 4, 3648 / 8 * 3 / 4}};
    for (const auto& s : sizes)
        for (bool alpha : {false, true}) {
            PxImage src = NoisyImage(s.w, s.h, 24, alpha, static_cast<uint32_t>(s.w * 3 + s.h + alpha));
            PxImage got, want;
            ASSERT_TRUE(src.Resample2(s.nw, s.nh, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &got));
            PlainAreaResample2(src, s.nw, s.nh, PxImage::OM_REPEAT, want);
            EXPECT_EQ(Differences(got, want), 0)
                << s.w << "x" << s.h << " to " << s.nw << "x" << s.nh << (alpha ? ", alpha" : "");
        }
}

TEST(Resample, LargeResultsInTheBlockOfAFreedImageWriteEveryByte) {
    // A large image freed with stale bytes everywhere lends its block to the next large result of
    // about its size: each kind of result that skips the fill must still come out as from a fresh
    // block (the same bytes, padding cleared, rows left out by a stop black), and a created image
    // must still start black. Widths leave padding.
    auto freeDirty = [](LONG w, LONG h, WORD bpp) {
        PxImage dirty(w, h, bpp);
        for (DWORD y = 0; y < dirty.GetHeight(); ++y) std::memset(dirty.GetBits(y), 0xAA, dirty.GetEffWidth());
    };
    auto pattern = [](PxImage& img) {
        for (DWORD y = 0; y < img.GetHeight(); ++y) {
            BYTE* row = img.GetBits(y);
            for (DWORD i = 0; i < img.GetEffWidth(); ++i) row[i] = static_cast<BYTE>((i * 7 + y * 13) ^ (i >> 5));
        }
    };
    PxImage colour(2733, 2001, 24), gray(1365, 1001, 8);
    pattern(colour);
    pattern(gray);
    gray.SetGrayPalette();
    for (int kind = 0; kind < 3; ++kind)
        for (LONG stop : {0, 1}) {
            const LONG nw = kind == 2 ? 3001 : 2049, nh = kind == 2 ? 3001 : 1500;
            PxImage& src = kind == 2 ? gray : colour;
            auto run = [&](PxImage& out) {
                src.SetEscape(stop);
                const bool ok = kind == 1 ? src.Resample2(nw, nh, PxImage::IM_BILINEAR, PxImage::OM_REPEAT, &out)
                                          : src.Resample(nw, nh, 0, &out);
                src.SetEscape(0);
                return ok;
            };
            freeDirty(nw, nh, src.GetBpp());
            PxImage reused, fresh;
            ASSERT_TRUE(run(reused));
            ASSERT_TRUE(run(fresh));  // the block lent before is still held
            EXPECT_TRUE(RowsClean(reused, stop != 0)) << "kind " << kind << ", stopped " << stop;
            EXPECT_TRUE(SameBytes(reused, fresh)) << "kind " << kind << ", stopped " << stop;
        }
    freeDirty(2049, 1500, 24);
    PxImage created(2049, 1500, 24);
    EXPECT_TRUE(RowsClean(created, true));
}
