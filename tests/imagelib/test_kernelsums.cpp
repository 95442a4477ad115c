// The bicubic resizes (Resample mode 2, Resample2 with a 4 x 4 kernel) sum their kernels in planar
// vectors: the bytes must be those of the plain form of the same sums and of the per-pixel
// arithmetic the algorithm describes, at any size, depth and factor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "imagelib/ops/interpolate/pxkernelplanar.h"
#include "imagelib/core/pxsimd.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

namespace {

// Noise over the whole range, with runs of 0 and 255 so that the kernels' overshoot is clamped.
PxImage Noise(LONG w, LONG h, DWORD bpp, bool alpha, uint32_t seed) {
    PxImage img(w, h, bpp);
    if (bpp == 8) img.SetGrayPalette();
    px::Rand15 rnd(seed);
    for (LONG y = 0; y < h; ++y) {
        BYTE* row = img.GetBits(static_cast<DWORD>(y));
        for (LONG i = 0; i < w * static_cast<LONG>(bpp / 8); ++i) {
            const int r = rnd.Next();
            row[i] = (r & 7) == 0 ? 0 : (r & 7) == 1 ? 255 : static_cast<BYTE>(r >> 3);
        }
    }
    if (alpha) {
        img.AlphaCreate();
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) img.AlphaSet(x, y, static_cast<BYTE>(rnd.Next()));
    }
    return img;
}

// Every byte of the pixel rows (padding included) and of the alpha planes.
bool SameBytes(PxImage& a, PxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBpp() != b.GetBpp() ||
        a.AlphaIsValid() != b.AlphaIsValid())
        return false;
    const size_t n = static_cast<size_t>(a.GetEffWidth()) * a.GetHeight();
    if (memcmp(a.GetBits(0), b.GetBits(0), n) != 0) return false;
    return !a.AlphaIsValid() ||
           memcmp(a.AlphaGetPointer(0, 0), b.AlphaGetPointer(0, 0), static_cast<size_t>(a.GetWidth()) * a.GetHeight()) == 0;
}

BYTE Clamp(float v) { return v > 0.0f ? (v > 255.0f ? 255 : static_cast<BYTE>(v)) : 0; }

// Mode 2 one pixel at a time: B-spline weights of the clamped neighbours, rows outer and columns
// inner, each product added in turn; alpha is taken from the nearest pixel.
void PlainBSpline(PxImage& src, LONG nw, LONG nh, PxImage& out) {
    const LONG w = static_cast<LONG>(src.GetWidth()), h = static_cast<LONG>(src.GetHeight());
    const float xs = static_cast<float>(w) / nw, ys = static_cast<float>(h) / nh;
    out.Create(nw, nh, src.GetBpp());
    if (src.IsIndexed()) out.SetPalette(src.GetPalette(), src.GetNumColors());
    for (LONG y = 0; y < nh; ++y)
        for (LONG x = 0; x < nw; ++x) {
            const float fx = x * xs - 0.5f, fy = y * ys - 0.5f;
            const LONG ix = static_cast<LONG>(std::floor(fx)), iy = static_cast<LONG>(std::floor(fy));
            const float rx = fx - ix, ry = fy - iy;
            float acc[3] = {0, 0, 0};
            for (int m = -1; m <= 2; ++m)
                for (int n = -1; n <= 2; ++n) {
                    const float k = PxImage::KernelBSpline(rx - n) * PxImage::KernelBSpline(m - ry);
                    const RGBQUAD c = src.GetPixelColor(std::clamp<LONG>(ix + n, 0, w - 1), std::clamp<LONG>(iy + m, 0, h - 1));
                    acc[0] += k * c.rgbBlue;
                    acc[1] += k * c.rgbGreen;
                    acc[2] += k * c.rgbRed;
                }
            out.SetPixelColor(x, y, RGBQUAD{Clamp(acc[0]), Clamp(acc[1]), Clamp(acc[2]), 0});
        }
    if (src.AlphaIsValid()) {
        out.AlphaCreate();
        for (LONG y = 0; y < nh; ++y)
            for (LONG x = 0; x < nw; ++x)
                out.AlphaSet(x, y, src.AlphaGet(std::min<LONG>(static_cast<LONG>(x * xs), w - 1),
                                                std::min<LONG>(static_cast<LONG>(y * ys), h - 1)));
    }
}

// Resample2 without averaging: the interpolated read at every output pixel's centre.
void PlainResample2(PxImage& src, LONG nw, LONG nh, PxImage::InterpolationMethod im, PxImage::OverflowMethod om,
                    PxImage& out) {
    const float xs = static_cast<float>(src.GetWidth()) / nw, ys = static_cast<float>(src.GetHeight()) / nh;
    out.Create(nw, nh, src.GetBpp());
    if (src.IsIndexed()) out.SetPalette(src.GetPalette(), src.GetNumColors());
    if (src.AlphaIsValid()) out.AlphaCreate();
    for (LONG y = 0; y < nh; ++y)
        for (LONG x = 0; x < nw; ++x)
            out.SetPixelColor(x, y,
                              src.GetPixelColorInterpolated((x + 0.5f) * xs - 0.5f, (y + 0.5f) * ys - 0.5f, im, om),
                              src.AlphaIsValid());
}

}  // namespace

TEST(KernelSums, PlanarSumsGiveThePlainBytesAtEverySizeDepthAndFactor) {
    // Single pixels, rows and columns; odd sizes; results one and several tiles of columns wide; factors
    // whose samples are gathered from bytes (3/4, enlargements), from float planes (1/2) and one
    // at a time (1/3); results large enough for several threads.
    const struct {
        LONG w, h, nw, nh;
    } sizes[] = {{1, 1, 1, 2},    {1, 1, 3, 3},      {1, 9, 4, 5},      {9, 1, 5, 3},    {2, 2, 1, 1},
                 {37, 23, 27, 17}, {131, 7, 98, 5},  {130, 9, 300, 11}, {97, 61, 48, 30}, {97, 61, 32, 20},
                 {64, 9, 63, 8},   {17, 13, 129, 7}, {411, 307, 308, 230}};
    for (DWORD bpp : {8u, 24u})
        for (bool alpha : {false, true})
            for (const auto& s : sizes) {
                PxImage src = Noise(s.w, s.h, bpp, alpha, static_cast<uint32_t>(s.w * 31 + s.h + bpp));
                // Mode 2, then Resample2 with the edges repeated (every pixel a planar sum) and
                // mirrored (the pixels whose taps lie inside).
                for (int method = 0; method < 4; ++method) {
                    const auto im = method == 1 ? PxImage::IM_GENERALIZED_CUBIC
                                    : method == 2 ? PxImage::IM_BSPLINE
                                                  : PxImage::IM_CATROM;
                    const auto om = method == 3 ? PxImage::OM_MIRROR : PxImage::OM_REPEAT;
                    auto run = [&](PxImage& out) {
                        return method == 0 ? src.Resample(s.nw, s.nh, 2, &out)
                                           : src.Resample2(s.nw, s.nh, im, om, &out, true);
                    };
                    PxImage fast, plain, want;
                    ASSERT_TRUE(run(fast));
                    pxgeo::SetSimdCeiling(pxgeo::Simd::Plain);
                    const bool ok = run(plain);
                    pxgeo::SetSimdCeiling(pxgeo::Simd::Avx512);
                    ASSERT_TRUE(ok);
                    if (method == 0)
                        PlainBSpline(src, s.nw, s.nh, want);
                    else
                        PlainResample2(src, s.nw, s.nh, im, om, want);
                    EXPECT_TRUE(SameBytes(fast, plain) && SameBytes(fast, want))
                        << bpp << " bpp, alpha " << alpha << ", " << s.w << "x" << s.h << " to " << s.nw << "x"
                        << s.nh << ", method " << method;
                }
            }
}

TEST(KernelSums, RowsEndingAtTheBlockEdgeAreReadInside) {
    // Rows without padding whose last pixels end the pixel block: the sixteen-byte reads of the
    // last columns would run past it (the address sanitizer reports that), so those columns
    // gather otherwise and still give the plain bytes.
    for (LONG w : {64L, 100L, 132L})
        for (LONG nw : {w - 1, w * 3 / 4, w + 5}) {
            PxImage src = Noise(w, 6, 24, true, static_cast<uint32_t>(w + nw));
            ASSERT_EQ(src.GetEffWidth(), static_cast<DWORD>(w) * 3);
            PxImage fast, plain;
            ASSERT_TRUE(src.Resample(nw, 5, 2, &fast));
            PlainBSpline(src, nw, 5, plain);
            EXPECT_TRUE(SameBytes(fast, plain)) << w << " to " << nw;
            ASSERT_TRUE(src.Resample2(nw, 5, PxImage::IM_CATROM, PxImage::OM_REPEAT, &fast, true));
            PlainResample2(src, nw, 5, PxImage::IM_CATROM, PxImage::OM_REPEAT, plain);
            EXPECT_TRUE(SameBytes(fast, plain)) << w << " to " << nw;
        }
}
