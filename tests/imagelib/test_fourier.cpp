// Fourier transforms (one- and two-dimensional), channel combine and repair.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "imagelib/ops/fourier/pxfftcore.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

#include "imagetest.h"

namespace {

struct FourierImage : PxImage {
    using PxImage::DFT;
    using PxImage::FFT;
    using PxImage::IsPowerof2;
    using PxImage::PxImage;
    using PxImage::RepairChannel;
};


void GreyImage(PxImage& img, LONG w, LONG h, BYTE v) {
    img.Create(w, h, 8);
    img.SetGrayPalette();
    img.Clear(v);
}

}  // namespace

TEST(Fourier, PowerOfTwoAndOneDimensionalTransforms) {
    FourierImage f;
    EXPECT_TRUE(f.IsPowerof2(1));
    EXPECT_TRUE(f.IsPowerof2(64));
    EXPECT_FALSE(f.IsPowerof2(0));
    EXPECT_FALSE(f.IsPowerof2(96));
    EXPECT_FALSE(f.IsPowerof2(-4));

    // The radix-2 and the direct transform agree, forward and back.
    const int n = 16;
    px::Rand15 r(3);
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; i++) {
        x[i] = r.Next() % 200 - 100;
        y[i] = r.Next() % 200 - 100;
    }
    for (int dir : {1, -1}) {
        std::vector<double> fx = x, fy = y, dx = x, dy = y, s1(n), s2(n);
        ASSERT_TRUE(f.FFT(dir, 4, fx.data(), fy.data()));
        ASSERT_TRUE(f.DFT(dir, n, dx.data(), dy.data(), s1.data(), s2.data()));
        for (int i = 0; i < n; i++) {
            // The direct transform's 2 pi is single precision: agreement to about 1e-5 of the sum.
            EXPECT_NEAR(fx[i], dx[i], 2e-3) << dir << " " << i;
            EXPECT_NEAR(fy[i], dy[i], 2e-3) << dir << " " << i;
        }
    }
    std::vector<double> fx = x, fy = y;
    f.FFT(1, 4, fx.data(), fy.data());
    f.FFT(-1, 4, fx.data(), fy.data());
    for (int i = 0; i < n; i++) {
        EXPECT_NEAR(fx[i], x[i], 1e-9);
        EXPECT_NEAR(fy[i], y[i], 1e-9);
    }
    // A constant transforms to its value at frequency 0 (forward divides by n).
    std::vector<double> cx(8, 5.0), cy(8, 0.0);
    f.FFT(1, 3, cx.data(), cy.data());
    EXPECT_DOUBLE_EQ(cx[0], 5.0);
    for (int i = 1; i < 8; i++) EXPECT_NEAR(cx[i], 0.0, 1e-12);
}

TEST(Fourier, FFT2OfAConstantImage) {
    PxImage host;
    EXPECT_FALSE(host.FFT2(nullptr, nullptr, nullptr, nullptr));

    // Index 138 is 10 after the offset of 128: all of it lands at frequency 0, gain 16/16 = 1.
    PxImage re;
    GreyImage(re, 16, 16, 138);
    PxImage outR, outI;
    ASSERT_TRUE(host.FFT2(&re, nullptr, &outR, &outI, 1, true, false));
    ASSERT_EQ(outR.GetWidth(), 16u);
    EXPECT_EQ(outR.GetPixelIndex(0, 0), 138);
    EXPECT_EQ(outR.GetPixelIndex(5, 3), 128);
    // The missing imaginary part is an image of index 0, a constant -128.
    EXPECT_EQ(outI.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(outI.GetPixelIndex(5, 3), 128);
    EXPECT_EQ(re.GetPixelIndex(0, 0), 138);  // a source with a destination is left alone

    // Inverse: frequency 0 alone spreads back to every point, undivided.
    ASSERT_TRUE(host.FFT2(&outR, &outI, nullptr, nullptr, -1, true, false));
    EXPECT_EQ(outR.GetPixelIndex(7, 9), 138);
    EXPECT_EQ(outI.GetPixelIndex(7, 9), 0);

    // Magnitude: a zero magnitude gives 0, phase atan(0) gives 128.
    PxImage zero;
    GreyImage(zero, 8, 8, 128);
    ASSERT_TRUE(host.FFT2(&zero, nullptr, nullptr, nullptr, 1, true, true));
    EXPECT_EQ(zero.GetPixelIndex(3, 3), 0);
}

TEST(Fourier, FFT2ForcesPowerOfTwoSizes) {
    PxImage host, src(100, 60, 24), dr, di;
    ASSERT_TRUE(host.FFT2(&src, nullptr, &dr, &di, 1, true, true));
    EXPECT_EQ(dr.GetWidth(), 128u);
    EXPECT_EQ(dr.GetHeight(), 64u);
    EXPECT_EQ(di.GetWidth(), 128u);
    EXPECT_EQ(di.GetHeight(), 64u);
    EXPECT_EQ(src.GetBpp(), 24);  // the source itself is untouched

    // Without forcing, a direct transform on the own size: the constant again lands at 0.
    PxImage odd;
    GreyImage(odd, 12, 6, 148);
    ASSERT_TRUE(host.FFT2(&odd, nullptr, nullptr, nullptr, 1, false, false));
    ASSERT_EQ(odd.GetWidth(), 12u);
    // Gain 12/16: 128 + 0.75 * 20 = 143.
    EXPECT_EQ(odd.GetPixelIndex(0, 0), 143);
}

TEST(Fourier, FFT2ReadsAGreyRampBelowEightBitsByItsIndices) {
    // A 4-bit palette of the levels 0..15 is grey: its indices are the grid's values, as the
    // same indices in an 8-bit grey image.
    PxImage host, four(8, 4, 4), eight;
    GreyImage(eight, 8, 4, 0);
    for (BYTE i = 0; i < 16; i++) four.SetPaletteColor(i, i, i, i);
    ASSERT_TRUE(four.IsGrayScale());
    for (LONG y = 0; y < 4; y++)
        for (LONG x = 0; x < 8; x++) {
            four.SetPixelIndex(x, y, static_cast<BYTE>((x * 3 + y) & 15));
            eight.SetPixelIndex(x, y, static_cast<BYTE>((x * 3 + y) & 15));
        }
    ASSERT_TRUE(host.FFT2(&four, nullptr, nullptr, nullptr, 1, false, true));
    ASSERT_TRUE(host.FFT2(&eight, nullptr, nullptr, nullptr, 1, false, true));
    ASSERT_EQ(four.GetBpp(), 8);
    for (LONG y = 0; y < 4; y++)
        for (LONG x = 0; x < 8; x++) ASSERT_EQ(four.GetPixelIndex(x, y), eight.GetPixelIndex(x, y)) << x << "," << y;
}

TEST(Combine, BuildsColoursFromChannelImages) {
    PxImage img(3, 3, 24);
    img.SetPixelColor(1, 1, Rgb(1, 2, 3));
    PxImage r, g, b, a;
    GreyImage(r, 2, 1, 10);
    GreyImage(g, 4, 2, 20);  // resampled in place to 2 x 1
    GreyImage(b, 2, 1, 30);
    GreyImage(a, 2, 1, 77);
    EXPECT_FALSE(img.Combine(&r, &g, nullptr, nullptr));
    EXPECT_EQ(img.GetWidth(), 3u);
    EXPECT_EQ(img.GetPixelColor(1, 1).rgbGreen, 2);

    ASSERT_TRUE(img.Combine(&r, &g, &b, &a, 0));
    EXPECT_EQ(img.GetWidth(), 2u);
    EXPECT_EQ(img.GetBpp(), 24);
    EXPECT_EQ(g.GetWidth(), 2u);
    const RGBQUAD c = img.GetPixelColor(1, 0, false);
    EXPECT_EQ(c.rgbRed, 10);
    EXPECT_EQ(c.rgbGreen, 20);
    EXPECT_EQ(c.rgbBlue, 30);
    EXPECT_EQ(img.AlphaGet(1, 0), 77);

    // YUV: the indices are Y, U + 128, V + 128.
    PxImage y, u, v, yuv(1, 1, 24);
    GreyImage(y, 1, 1, 76);
    GreyImage(u, 1, 1, 85);
    GreyImage(v, 1, 1, 255);
    ASSERT_TRUE(yuv.Combine(&y, &u, &v, nullptr, 2));
    EXPECT_EQ(yuv.GetPixelColor(0, 0).rgbRed, 254);
    EXPECT_FALSE(yuv.AlphaIsValid());

    // A channel that is the image itself is read before the image is rebuilt.
    PxImage self;
    GreyImage(self, 2, 2, 90);
    ASSERT_TRUE(self.Combine(&self, &g, &b, nullptr, 0));
    EXPECT_EQ(self.GetPixelColor(1, 1).rgbRed, 90);
}

TEST(Repair, DiffusionStepAndRoundTrips) {
    FourierImage narrow;
    GreyImage(narrow, 2, 5, 40);
    narrow.SetPixelIndex(1, 2, 200);
    EXPECT_TRUE(narrow.RepairChannel(&narrow, 0.25f));  // nothing inside the border
    EXPECT_EQ(narrow.GetPixelIndex(1, 2), 200);
    EXPECT_FALSE(narrow.RepairChannel(nullptr, 0.25f));

    // A single spike: ixx = iyy = -200, so the centre drops by 0.25 * 400.
    PxImage spike(5, 5, 24);
    spike.SetPixelColor(2, 2, Rgb(100, 100, 100));
    spike.AlphaCreate();
    spike.AlphaSet(0, 0, 9);
    ASSERT_TRUE(spike.Repair(0.25f, 1, 0));
    EXPECT_EQ(spike.GetPixelColor(2, 2).rgbRed, 0);
    EXPECT_EQ(spike.GetPixelColor(1, 2).rgbRed, 0);  // 0.25 * 100 / 2501 truncates away
    EXPECT_EQ(spike.AlphaGet(0, 0), 9);

    // No iterations: split and combine again, an identity for RGB.
    PxImage img(3, 2, 24);
    img.SetPixelColor(0, 0, Rgb(200, 10, 99));
    img.SetPixelColor(2, 1, Rgb(1, 2, 3));
    ASSERT_TRUE(img.Repair(0.25f, 0, 0));
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbRed, 200);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbBlue, 99);
    EXPECT_EQ(img.GetPixelColor(2, 1).rgbGreen, 2);
    PxImage empty;
    EXPECT_FALSE(empty.Repair(0.25f, 1, 0));
}

namespace {

// The radix-2 transform step by step as defined: bit reversal, then per stage the twiddle
// recurrence run alongside the butterflies, then the division by n going forward.
void PlainFFT(int dir, int m, double* x, double* y) {
    const int64_t n = int64_t{1} << m;
    int64_t j = 0;
    for (int64_t i = 0; i < n - 1; i++) {
        if (i < j) {
            std::swap(x[i], x[j]);
            std::swap(y[i], y[j]);
        }
        int64_t k = n / 2;
        while (k <= j) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
    double c1 = -1.0, c2 = 0.0;
    int64_t l2 = 1;
    for (int l = 0; l < m; l++) {
        const int64_t l1 = l2;
        l2 <<= 1;
        double u1 = 1.0, u2 = 0.0;
        for (int64_t jj = 0; jj < l1; jj++) {
            for (int64_t i = jj; i < n; i += l2) {
                const int64_t i1 = i + l1;
                const double t1 = u1 * x[i1] - u2 * y[i1];
                const double t2 = u1 * y[i1] + u2 * x[i1];
                x[i1] = x[i] - t1;
                y[i1] = y[i] - t2;
                x[i] += t1;
                y[i] += t2;
            }
            const double z = u1 * c1 - u2 * c2;
            u2 = u1 * c2 + u2 * c1;
            u1 = z;
        }
        c2 = std::sqrt((1.0 - c1) / 2.0);
        if (dir == 1) c2 = -c2;
        c1 = std::sqrt((1.0 + c1) / 2.0);
    }
    if (dir == 1)
        for (int64_t i = 0; i < n; i++) {
            x[i] /= static_cast<double>(n);
            y[i] /= static_cast<double>(n);
        }
}

// FFT2 by the book: every row, then every column, through the plain radix-2 transform or the
// direct one, and the output scaling, for comparison with the threaded, blocked transform.
void ReferenceFFT2(FourierImage& f, PxImage& re, PxImage& im, int dir, bool magnitude) {
    const LONG w = re.GetWidth(), h = re.GetHeight();
    std::vector<std::vector<double>> x(w, std::vector<double>(h)), y = x;
    for (LONG j = 0; j < h; j++)
        for (LONG k = 0; k < w; k++) {
            x[k][j] = re.GetPixelIndex(k, j) - 128.0;
            y[k][j] = im.GetPixelIndex(k, j) - 128.0;
        }
    auto line = [&](std::vector<double>& lx, std::vector<double>& ly) {
        const LONG n = static_cast<LONG>(lx.size());
        if (f.IsPowerof2(n)) {
            int m = 0;
            while ((1 << m) < n) m++;
            PlainFFT(dir, m, lx.data(), ly.data());
        } else {
            std::vector<double> s1(n), s2(n);
            f.DFT(dir, n, lx.data(), ly.data(), s1.data(), s2.data());
        }
    };
    for (LONG j = 0; j < h; j++) {
        std::vector<double> lx(w), ly(w);
        for (LONG k = 0; k < w; k++) {
            lx[k] = x[k][j];
            ly[k] = y[k][j];
        }
        line(lx, ly);
        for (LONG k = 0; k < w; k++) {
            x[k][j] = lx[k];
            y[k][j] = ly[k];
        }
    }
    for (LONG k = 0; k < w; k++) line(x[k], y[k]);
    double nn = std::pow(2.0, std::log(static_cast<double>(std::max(w, h))) / std::log(2.0) - 4);
    if (dir == -1) nn = 1 / nn;
    if (magnitude) nn *= 4;
    auto clamp = [](double v) { return static_cast<BYTE>(!(v > 0) ? 0 : v > 255 ? 255 : static_cast<int>(v)); };
    for (LONG j = 0; j < h; j++)
        for (LONG k = 0; k < w; k++) {
            const double a = x[k][j], b = y[k][j];
            if (magnitude) {
                re.SetPixelIndex(k, j, clamp(nn * (3 + std::log(std::sqrt(a * a + b * b)))));
                im.SetPixelIndex(k, j, clamp(a != 0 ? 128 + nn * std::atan(b / a) : 128 + nn * std::atan(b * 1e10)));
            } else {
                re.SetPixelIndex(k, j, clamp(128 + nn * a));
                im.SetPixelIndex(k, j, clamp(128 + nn * b));
            }
        }
}

}  // namespace

TEST(Fourier, FFT2MatchesRowThenColumnTransforms) {
    // Power-of-two and other sizes on either axis; line counts below, at and past the number of
    // lines the transform runs side by side, with a partial last group.
    FourierImage f;
    px::Rand15 r(9);
    const LONG sizes[][2] = {{16, 8}, {12, 8}, {4, 16}, {20, 32}, {32, 12}, {64, 41}, {1, 8}, {8, 1}, {128, 256}};
    for (const auto& sz : sizes) {
        const LONG w = sz[0], h = sz[1];
        for (int dir : {1, -1}) {
            for (bool mag : {false, true}) {
                SCOPED_TRACE(w * 10000 + h * 100 + dir * 10 + mag);
                PxImage re, im;
                GreyImage(re, w, h, 0);
                GreyImage(im, w, h, 0);
                for (LONG j = 0; j < h; j++)
                    for (LONG k = 0; k < w; k++) {
                        re.SetPixelIndex(k, j, static_cast<BYTE>(r.Next()));
                        im.SetPixelIndex(k, j, static_cast<BYTE>(r.Next()));
                    }
                PxImage wantR(re), wantI(im);
                ReferenceFFT2(f, wantR, wantI, dir, mag);
                ASSERT_TRUE(f.FFT2(&re, &im, nullptr, nullptr, dir, false, mag));
                for (LONG j = 0; j < h; j++)
                    for (LONG k = 0; k < w; k++) {
                        ASSERT_EQ(re.GetPixelIndex(k, j), wantR.GetPixelIndex(k, j)) << k << "," << j;
                        ASSERT_EQ(im.GetPixelIndex(k, j), wantI.GetPixelIndex(k, j)) << k << "," << j;
                    }
            }
        }
    }
}

TEST(Fourier, RadixTwoMemberIsTheTransformStepByStep) {
    // Bit for bit: the member shares its twiddles and loops with the two-dimensional transform.
    FourierImage f;
    px::Rand15 r(21);
    for (int m = 0; m <= 10; m++) {
        for (int dir : {1, -1}) {
            const size_t n = size_t{1} << m;
            std::vector<double> x(n), y(n);
            for (size_t i = 0; i < n; i++) {
                x[i] = static_cast<double>(r.Next() % 255) - 128.0;
                y[i] = static_cast<double>(r.Next() % 255) - 128.0;
            }
            std::vector<double> px = x, py = y;
            PlainFFT(dir, m, px.data(), py.data());
            // The same line in every lane of the side-by-side transform, except one lane that
            // holds other values and must not disturb the rest.
            constexpr int B = px_fft::kLanes;
            std::vector<double> lx(n * B), ly(n * B);
            for (size_t i = 0; i < n; i++)
                for (int c = 0; c < B; c++) {
                    lx[i * B + c] = c == 1 ? -x[i] * 3 : x[i];
                    ly[i * B + c] = c == 1 ? 7.0 : y[i];
                }
            px_fft::TransformLanes(dir, px_fft::MakeTwiddles(dir, m), lx.data(), ly.data());
            ASSERT_TRUE(f.FFT(dir, m, x.data(), y.data()));
            for (size_t i = 0; i < n; i++) {
                ASSERT_EQ(x[i], px[i]) << m << " " << dir << " " << i;
                ASSERT_EQ(y[i], py[i]) << m << " " << dir << " " << i;
                for (int c = 0; c < B; c++) {
                    if (c == 1) continue;
                    ASSERT_EQ(lx[i * B + c], px[i]) << m << " " << dir << " " << i << " lane " << c;
                    ASSERT_EQ(ly[i * B + c], py[i]) << m << " " << dir << " " << i << " lane " << c;
                }
            }
        }
    }
}

TEST(Combine, SplitAndCombineOfATallImageIsTheRoundTripOfEveryPixel) {
    // Tall enough for the worker threads; every colour space, alpha carried through.
    const LONG w = 41, h = 120;
    PxImage img(w, h, 24);
    uint32_t seed = 5;
    for (LONG y = 0; y < h; y++)
        for (LONG i = 0; i < 3 * w; i++) {
            seed = seed * 1103515245u + 12345u;
            img.GetBits(static_cast<DWORD>(y))[i] = static_cast<BYTE>(seed >> 16);
        }
    img.AlphaCreate();
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) img.AlphaSet(x, y, static_cast<BYTE>(x * 5 + y));
    for (LONG space : {0, 1, 2, 3, 4}) {
        SCOPED_TRACE(space);
        PxImage got(img);
        ASSERT_TRUE(got.Repair(0.5f, 0, space));  // no iterations: split and combine only
        for (LONG y = 0; y < h; y++)
            for (LONG x = 0; x < w; x++) {
                const RGBQUAD c = img.GetPixelColor(x, y, false);
                RGBQUAD want = c;
                switch (space) {
                    case 1:
                        want = PxImage::HSLtoRGB(PxImage::RGBtoHSL(c));
                        break;
                    case 2:
                        want = PxImage::YUVtoRGB(PxImage::RGBtoYUV(c));
                        break;
                    case 3:
                        want = PxImage::YIQtoRGB(PxImage::RGBtoYIQ(c));
                        break;
                    case 4:
                        want = PxImage::XYZtoRGB(PxImage::RGBtoXYZ(c));
                        break;
                    default:
                        break;
                }
                const RGBQUAD g = got.GetPixelColor(x, y, false);
                ASSERT_TRUE(g.rgbRed == want.rgbRed && g.rgbGreen == want.rgbGreen && g.rgbBlue == want.rgbBlue)
                    << x << "," << y;
                ASSERT_EQ(got.AlphaGet(x, y), img.AlphaGet(x, y)) << x << "," << y;
            }
    }
}
