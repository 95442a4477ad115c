// Overflow rules, interpolated reads and area averages, checked against values worked out by hand
// from the weights each method uses.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <thread>
#include <vector>

#include "imagelib/core/pxrowrunner.h"
#include "imagelib/pximage.h"

#include "imagetest.h"

TEST(Interpolation, OverflowCoordinatesWrapMirrorRepeat) {
    PxImage img(10, 5, 24);
    struct Case {
        PxImage::OverflowMethod om;
        LONG x, want;
    } cases[] = {{PxImage::OM_WRAP, -1, 9},   {PxImage::OM_WRAP, 23, 3},   {PxImage::OM_MIRROR, -3, 3},
                 {PxImage::OM_MIRROR, 12, 7}, {PxImage::OM_REPEAT, -3, 0}, {PxImage::OM_REPEAT, 12, 9},
                 {PxImage::OM_COLOR, 12, 12}};
    for (const Case& c : cases) {
        LONG x = c.x, y = 2;
        img.OverflowCoordinates(x, y, c.om);
        EXPECT_EQ(x, c.want) << c.om << " " << c.x;
        EXPECT_EQ(y, 2);
    }
    float fx = -1.0f, fy = 7.0f;
    img.OverflowCoordinates(fx, fy, PxImage::OM_WRAP);
    EXPECT_FLOAT_EQ(fx, 9.0f);
    EXPECT_FLOAT_EQ(fy, 2.0f);
    fx = 11.5f;
    fy = 1.0f;
    img.OverflowCoordinates(fx, fy, PxImage::OM_MIRROR);
    EXPECT_FLOAT_EQ(fx, 10.0f - (1.5f + 1.0f));
    fx = 30.0f;
    img.OverflowCoordinates(fx, fy, PxImage::OM_REPEAT);
    EXPECT_FLOAT_EQ(fx, 9.0f);

    // The most negative coordinate mirrors like any other: 2^31 mod 10 = 8, 2^31 mod 5 = 3.
    LONG mx = INT32_MIN, my = INT32_MIN;
    img.OverflowCoordinates(mx, my, PxImage::OM_MIRROR);
    EXPECT_EQ(mx, 8);
    EXPECT_EQ(my, 3);
}

TEST(Interpolation, ColourOutsideTheImageByMethod) {
    PxImage img(4, 4, 24);
    RGBQUAD c = img.GetPixelColorWithOverflow(-1, 0, PxImage::OM_COLOR);
    EXPECT_EQ(c.rgbRed, 255);
    EXPECT_EQ(c.rgbBlue, 255);
    EXPECT_EQ(c.rgbReserved, 0);
    RGBQUAD green{0, 200, 0, 9};
    c = img.GetPixelColorWithOverflow(5, 5, PxImage::OM_BACKGROUND, &green);
    EXPECT_EQ(c.rgbGreen, 200) << "no transparent index: the replacement";
    img.SetTransIndex(0);
    img.SetTransColor(RGBQUAD{1, 2, 3, 0});
    c = img.GetPixelColorWithOverflow(5, 5, PxImage::OM_BACKGROUND, &green);
    EXPECT_EQ(c.rgbBlue, 1);
    EXPECT_EQ(c.rgbRed, 3);
    img.AlphaCreate();
    c = img.GetPixelColorWithOverflow(-2, 1, PxImage::OM_TRANSPARENT, &green);
    EXPECT_EQ(c.rgbGreen, 200);
    EXPECT_EQ(c.rgbReserved, 0);

    PxImage pal(4, 4, 8);
    pal.SetPaletteColor(7, 10, 20, 30);
    pal.SetTransIndex(7);
    c = pal.GetPixelColorWithOverflow(9, 0, PxImage::OM_BACKGROUND);
    EXPECT_EQ(c.rgbRed, 10);
    EXPECT_EQ(c.rgbBlue, 30);

    pal.SetPixelIndex(3, 1, 7);
    c = pal.GetPixelColorWithOverflow(5, 1, PxImage::OM_REPEAT);
    EXPECT_EQ(c.rgbGreen, 20) << "repeat reads the nearest edge pixel";
}

TEST(Interpolation, BilinearWeightsInsideAndAtTheEdges) {
    PxImage img(4, 4, 24);
    FillRed(img, [](LONG x, LONG y) { return x * 40 + y * 10; });
    EXPECT_EQ(img.GetPixelColorInterpolated(2.0f, 3.0f).rgbRed, 110);
    // Fixed point: u = 128, v = 64 -> weights 96, 96, 32, 32 of 256.
    EXPECT_EQ(img.GetPixelColorInterpolated(0.5f, 1.25f).rgbRed, (96 * 10 + 96 * 50 + 32 * 20 + 32 * 60) >> 8);
    // The last column has no right neighbour: real weights against the replacement colour.
    RGBQUAD black{0, 0, 0, 0};
    EXPECT_EQ(img.GetPixelColorInterpolated(3.5f, 0.0f, PxImage::IM_BILINEAR, PxImage::OM_COLOR, &black).rgbRed, 60);
    EXPECT_EQ(img.GetPixelColorInterpolated(3.5f, 0.0f, PxImage::IM_BILINEAR, PxImage::OM_REPEAT).rgbRed, 120);
    // Far outside: the replacement at once, without mixing.
    const RGBQUAD far = img.GetPixelColorInterpolated(-50.0f, -50.0f, PxImage::IM_CUBIC, PxImage::OM_BACKGROUND);
    EXPECT_EQ(far.rgbRed, 255);
    EXPECT_EQ(far.rgbGreen, 255);
    // Far outside with repeat: moved back onto the edge first.
    EXPECT_EQ(img.GetPixelColorInterpolated(-50.0f, 3.0f, PxImage::IM_BILINEAR, PxImage::OM_REPEAT).rgbRed, 30);

    // Indexed images take the real-valued path through palette colours.
    PxImage pal(2, 2, 8);
    pal.SetPaletteColor(1, 100, 0, 0);
    pal.SetPixelIndex(1, 0, 1);
    pal.SetPixelIndex(1, 1, 1);
    EXPECT_EQ(pal.GetPixelColorInterpolated(0.25f, 0.5f).rgbRed, 25);
}

TEST(Interpolation, NearestAndKernelMethods) {
    PxImage img(6, 6, 24);
    FillRed(img, [](LONG x, LONG y) { return x * 30 + y; });
    EXPECT_EQ(img.GetPixelColorInterpolated(1.5f, 1.49f, PxImage::IM_NEAREST_NEIGHBOUR).rgbRed, 61);
    // At whole positions the kernels that are 1 at 0 and 0 at the other integers return the pixel.
    for (auto im : {PxImage::IM_CUBIC, PxImage::IM_CATROM, PxImage::IM_HERMITE, PxImage::IM_BOX,
                    PxImage::IM_GENERALIZED_CUBIC, PxImage::IM_LANCZOS_SINC})
        EXPECT_EQ(img.GetPixelColorInterpolated(2.0f, 3.0f, im, PxImage::OM_REPEAT).rgbRed, 63) << im;
    // Weights are not normalised: a Gaussian sum over a uniform image exceeds the pixel value.
    PxImage flat(8, 8, 24);
    FillRed(flat, [](LONG, LONG) { return 100; });
    const float g = PxImage::KernelGaussian(-1) + PxImage::KernelGaussian(0) + PxImage::KernelGaussian(1) +
                    PxImage::KernelGaussian(2);
    EXPECT_EQ(flat.GetPixelColorInterpolated(4.0f, 4.0f, PxImage::IM_GAUSSIAN).rgbRed,
              std::min(255, static_cast<int>(100 * g * g)));

    EXPECT_FLOAT_EQ(PxImage::KernelCubic(0), 1);
    EXPECT_FLOAT_EQ(PxImage::KernelCubic(1), 0);
    EXPECT_FLOAT_EQ(PxImage::KernelBessel(0), 0.7853982f);
    EXPECT_FLOAT_EQ(PxImage::KernelGaussian(0), 0.7978846f);
    EXPECT_FLOAT_EQ(PxImage::KernelLanczosSinc(0, 6), 1);
    EXPECT_FLOAT_EQ(PxImage::KernelLanczosSinc(6.5f, 6), 0);
    EXPECT_NEAR(PxImage::KernelBSpline(0), 2.0f / 3.0f, 1e-6);
    EXPECT_NEAR(PxImage::KernelBSpline(-1), 1.0f / 6.0f, 1e-6);
    EXPECT_FLOAT_EQ(PxImage::KernelBSpline(2.5f), 0);
    EXPECT_FLOAT_EQ(PxImage::KernelBox(-0.5f), 1);
    EXPECT_FLOAT_EQ(PxImage::KernelBox(0.5f), 0);
    EXPECT_FLOAT_EQ(PxImage::KernelQuadratic(0), 0.75f);
    // The Bessel kernel is continuous where its two formulas meet (pi x = 8).
    const float x8 = 8.0f / 3.1415927f;
    EXPECT_NEAR(PxImage::KernelBessel(x8 - 1e-4f), PxImage::KernelBessel(x8 + 1e-4f), 1e-4);
    EXPECT_NEAR(PxImage::KernelBessel_Order1(1.0f), 0.4400506f, 1e-6);
    EXPECT_NEAR(PxImage::KernelBessel_Order1(10.0f), 0.0434727f, 1e-5);
}

TEST(Interpolation, AlphaTravelsInTheReservedByte) {
    PxImage img(3, 3, 24);
    FillRed(img, [](LONG, LONG) { return 50; });
    EXPECT_EQ(img.GetPixelColorInterpolated(0.5f, 0.5f).rgbReserved, 0);
    img.AlphaCreate();
    img.AlphaSet(0, 0, 0);
    img.AlphaSet(1, 0, 200);
    img.AlphaSet(0, 1, 0);
    img.AlphaSet(1, 1, 200);
    EXPECT_EQ(img.GetPixelColorInterpolated(0.5f, 0.5f).rgbReserved, 100);
    EXPECT_EQ(img.GetPixelColorInterpolated(0.5f, 0.5f, PxImage::IM_NEAREST_NEIGHBOUR).rgbReserved, 200);
}

TEST(Interpolation, AreaAverageWeighsPartlyCoveredBorders) {
    PxImage img(6, 6, 24);
    FillRed(img, [](LONG x, LONG) { return x % 2 ? 200 : 0; });
    // Centred between two pixel centres, 2 wide: columns 0 and 1 fully, column 2 not at all.
    EXPECT_EQ(img.GetAreaColorInterpolated(0.5f, 2.5f, 2, 2, PxImage::IM_BILINEAR).rgbRed, 100);
    // Centred on pixel 2, 2 wide: half of 1, all of 2, half of 3.
    EXPECT_EQ(img.GetAreaColorInterpolated(2.0f, 2.0f, 2, 2, PxImage::IM_BILINEAR).rgbRed, 100);
    EXPECT_EQ(img.GetAreaColorInterpolated(3.0f, 2.0f, 2, 2, PxImage::IM_BILINEAR).rgbRed, 100);
    EXPECT_EQ(img.GetAreaColorInterpolated(3.0f, 2.0f, 1, 1, PxImage::IM_NEAREST_NEIGHBOUR).rgbRed, 200);
    // Wide in x only: each covered square is sampled at the middle of its overlap.
    EXPECT_EQ(img.GetAreaColorInterpolated(1.5f, 2.0f, 2, 0.5f, PxImage::IM_NEAREST_NEIGHBOUR).rgbRed, 100);

    PxImage flat(5, 5, 24);
    FillRed(flat, [](LONG, LONG) { return 123; });
    EXPECT_EQ(flat.GetAreaColorInterpolated(2.0f, 2.0f, 2, 2, PxImage::IM_BILINEAR).rgbRed, 123);
    EXPECT_EQ(flat.GetAreaColorInterpolated(2.0f, 2.0f, 4, 4, PxImage::IM_BILINEAR).rgbRed, 123);
}

TEST(Interpolation, WorkersTakeEveryBandOnceWhateverTheSections) {
    // The bands of a result are handed out section by section; each must come exactly once.
    for (LONG nrows : {1, 5, 16, 17, 100, 1001})
        for (LONG band : {1, 3, 16})
            for (unsigned sections : {1u, 3u, 8u}) {
                pxgeo::BandOrder order(nrows, band, sections);
                std::vector<int> seen(static_cast<size_t>(nrows), 0);
                for (LONG first; (first = order.Next()) >= 0;) {
                    ASSERT_EQ(first % band, 0);
                    ASSERT_LT(first, nrows);
                    seen[static_cast<size_t>(first)]++;
                }
                for (LONG r = 0; r < nrows; r += band)
                    EXPECT_EQ(seen[static_cast<size_t>(r)], 1) << nrows << " rows, band " << band << ", " << sections;
            }
    // On threads: every row of a large job made once, none outside.
    PxImage owner(1, 1, 24);
    const LONG nrows = 5000;
    std::vector<std::atomic<int>> made(static_cast<size_t>(nrows));
    pxgeo::RunBands(owner, nrows, 1000, true, 16, [&](LONG first, LONG last) {
        for (LONG r = first; r < last; r++) made[static_cast<size_t>(r)]++;
    });
    int wrong = 0;
    for (auto& m : made) wrong += m.load() != 1;
    EXPECT_EQ(wrong, 0);
}

namespace {

// A worker's scratch that remembers the thread that copied it; copies made off the calling
// thread (or every copy) can fail as an allocation does.
struct CopyProbe {
    enum Fail { kNever, kOffCaller, kAlways };
    Fail fail = kNever;
    std::thread::id caller, owner;
    CopyProbe(Fail f, std::thread::id c) : fail(f), caller(c) {}
    CopyProbe(const CopyProbe& o) : fail(o.fail), caller(o.caller), owner(std::this_thread::get_id()) {
        if (fail == kAlways || (fail == kOffCaller && owner != caller)) throw std::bad_alloc();
    }
};

}  // namespace

TEST(Interpolation, WorkersUseTheirOwnCopiesAndAFailedCopyReachesTheCaller) {
    PxImage owner(1, 1, 24);
    const std::thread::id me = std::this_thread::get_id();
    const LONG nrows = 3000;
    std::vector<std::atomic<int>> made(static_cast<size_t>(nrows));
    std::atomic<int> foreign{0};
    pxgeo::RunRowsLocal(owner, nrows, 1000, true, CopyProbe(CopyProbe::kNever, me), [&](CopyProbe& p, LONG y) {
        foreign += p.owner != std::this_thread::get_id();
        made[static_cast<size_t>(y)]++;
    });
    int wrong = 0;
    for (auto& m : made) wrong += m.load() != 1;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(foreign.load(), 0);

    // A large job whose workers cannot make their copies, and a small one on the calling thread.
    if (std::thread::hardware_concurrency() > 1) {
        EXPECT_THROW(pxgeo::RunRowsLocal(owner, nrows, 1000, true, CopyProbe(CopyProbe::kOffCaller, me),
                                         [](CopyProbe&, LONG) {}),
                     std::bad_alloc);
    }
    EXPECT_THROW(pxgeo::RunRowsLocal(owner, 3, 1, true, CopyProbe(CopyProbe::kAlways, me), [](CopyProbe&, LONG) {}),
                 std::bad_alloc);
}
