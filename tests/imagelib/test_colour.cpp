// Colour-space conversions, channel splits and the point operations, checked on small images
// against values worked out by hand from the formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imagelib/pximage.h"

#include "imagetest.h"

namespace {

struct ColourImage : SelectableImage {
    using SelectableImage::SelectableImage;
    using PxImage::HueToRGB;
};




}  // namespace

TEST(ColourSpace, HslOfGreysAndPrimaries) {
    for (int v : {0, 1, 77, 128, 254, 255}) {
        const RGBQUAD h = PxImage::RGBtoHSL(Rgb(v, v, v));
        EXPECT_EQ(h.rgbRed, 170);
        EXPECT_EQ(h.rgbGreen, 0);
        EXPECT_EQ(h.rgbBlue, v);
    }
    RGBQUAD h = PxImage::RGBtoHSL(Rgb(255, 0, 0));
    EXPECT_EQ(h.rgbRed, 0);
    EXPECT_EQ(h.rgbGreen, 255);
    EXPECT_EQ(h.rgbBlue, 128);
    EXPECT_EQ(PxImage::RGBtoHSL(Rgb(0, 255, 0)).rgbRed, 85);
    EXPECT_EQ(PxImage::RGBtoHSL(Rgb(0, 0, 255)).rgbRed, 170);
    // Magenta-ish: red is max, hue Bd - Gd goes negative and wraps modulo 256.
    h = PxImage::RGBtoHSL(Rgb(255, 0, 128));
    // d = 255: Bd = (127*42 + 127)/255 = 21, Gd = (255*42 + 127)/255 = 42, H = -21 -> 235.
    EXPECT_EQ(h.rgbRed, 235);
    EXPECT_EQ(h.rgbReserved, 0);

    // Zero saturation is grey whatever the hue.
    for (int hue : {0, 60, 200, 255}) {
        const RGBQUAD c = PxImage::HSLtoRGB(Rgb(static_cast<BYTE>(hue), 0, 100));
        EXPECT_EQ(c.rgbRed, c.rgbGreen);
        EXPECT_EQ(c.rgbGreen, c.rgbBlue);
        EXPECT_EQ(c.rgbRed, 100);  // trunc(255 * (100 * 0.003921569f)) = trunc(100.000008)
    }
    // The COLORREF form reads hue, saturation, lightness from red, green, blue.
    const RGBQUAD a = PxImage::HSLtoRGB(RGB(0, 255, 128));
    const RGBQUAD b = PxImage::HSLtoRGB(Rgb(0, 255, 128));
    EXPECT_EQ(std::memcmp(&a, &b, 4), 0);
    EXPECT_GT(a.rgbRed, 250);
    EXPECT_LT(a.rgbGreen, 5);
    EXPECT_FLOAT_EQ(ColourImage::HueToRGB(0.0f, 1.0f, 400.0f), 0.0f + 40.0f * 0.016666668f);
}

TEST(ColourSpace, YuvYiqXyzByHand) {
    // Y = trunc(76.245) = 76, U = trunc(-76 * 0.565 + 128) = 85, V = trunc(179 * 0.713 + 128) clamps to 255.
    RGBQUAD c = PxImage::RGBtoYUV(Rgb(255, 0, 0));
    EXPECT_EQ(c.rgbRed, 76);
    EXPECT_EQ(c.rgbGreen, 85);
    EXPECT_EQ(c.rgbBlue, 255);
    // Back: R = 76 + 1.403*127 = 254.2, G = 76 + 14.79 - 90.68 = 0.11, B = 76 - 76.11 -> trunc toward 0 -> 0.
    c = PxImage::YUVtoRGB(c);
    EXPECT_EQ(c.rgbRed, 254);
    EXPECT_EQ(c.rgbGreen, 0);
    EXPECT_EQ(c.rgbBlue, 0);

    // YIQ of blue: Y = 29.07, I = -82.08 + 128 = 45.9, Q = 79.56 + 128 = 207.56.
    c = PxImage::RGBtoYIQ(Rgb(0, 0, 255));
    EXPECT_EQ(c.rgbRed, 29);
    EXPECT_EQ(c.rgbGreen, 45);
    EXPECT_EQ(c.rgbBlue, 207);
    // Back with I = -83, Q = 79: R = 29 - 79.3 + 49.1 < 0, B = 29 + 91.6 + 134.4 > 255.
    c = PxImage::YIQtoRGB(c);
    EXPECT_EQ(c.rgbRed, 0);
    EXPECT_EQ(c.rgbBlue, 255);

    // XYZ of (100, 0, 0): X = 41.2, Y = 21.3, Z = 1.93 * 0.918 = 1.78.
    c = PxImage::RGBtoXYZ(Rgb(100, 0, 0));
    EXPECT_EQ(c.rgbRed, 41);
    EXPECT_EQ(c.rgbGreen, 21);
    EXPECT_EQ(c.rgbBlue, 1);
    // Back: R = 132.86 - 32.28 - 0.54 = 100.04, G = -39.74 + 39.40 + 0.05 = -0.3 -> 0.
    c = PxImage::XYZtoRGB(c);
    EXPECT_EQ(c.rgbRed, 100);
    EXPECT_EQ(c.rgbGreen, 0);
}

TEST(ColourSpace, SplitsGiveGreyChannelImagesAndKeepTheSource) {
    PxImage src(2, 1, 24);
    src.SetPixelColor(0, 0, Rgb(10, 20, 30));
    src.SetPixelColor(1, 0, Rgb(255, 255, 255));
    PxImage r, b;
    ASSERT_TRUE(src.SplitRGB(&r, nullptr, &b));
    ASSERT_TRUE(r.IsValid());
    EXPECT_EQ(r.GetBpp(), 8);
    EXPECT_TRUE(r.IsGrayScale());
    EXPECT_EQ(r.GetPixelIndex(0, 0), 10);
    EXPECT_EQ(b.GetPixelIndex(0, 0), 30);
    ExpectRgb(src, 0, 0, 10, 20, 30);
    EXPECT_FALSE(src.SplitRGB(nullptr, nullptr, nullptr));

    PxImage c, m, y, k;
    ASSERT_TRUE(src.SplitCMYK(&c, &m, &y, &k));
    EXPECT_EQ(c.GetPixelIndex(0, 0), 245);
    EXPECT_EQ(m.GetPixelIndex(0, 0), 235);
    EXPECT_EQ(y.GetPixelIndex(0, 0), 225);
    EXPECT_EQ(k.GetPixelIndex(0, 0), (306 * 10 + 601 * 20 + 117 * 30) >> 10);  // grey, not 255 minus it
    EXPECT_EQ(c.GetPixelIndex(1, 0), 0);
    EXPECT_EQ(k.GetPixelIndex(1, 0), 255);

    PxImage h, s, l;
    ASSERT_TRUE(src.SplitHSL(&h, &s, &l));
    EXPECT_EQ(h.GetPixelIndex(1, 0), 170);
    EXPECT_EQ(l.GetPixelIndex(1, 0), 255);
    PxImage empty;
    EXPECT_FALSE(empty.SplitYUV(&h, &s, &l));
}

TEST(PointOps, LightAndGammaTables) {
    PxImage img(4, 1, 24);
    for (LONG x = 0; x < 4; x++) img.SetPixelColor(x, 0, Rgb(static_cast<BYTE>(x * 80), 64, 255));
    PxImage same(img);
    ASSERT_TRUE(same.Light(0, 0));
    for (LONG x = 0; x < 4; x++) ExpectRgb(same, x, 0, x * 80, 64, 255);

    PxImage flat(img);
    ASSERT_TRUE(flat.Light(0, -100));
    for (LONG x = 0; x < 4; x++) ExpectRgb(flat, x, 0, 128, 128, 128);

    PxImage bright(img);
    ASSERT_TRUE(bright.Light(50, 100));  // c = 2: (v - 128) * 2 + 178
    ExpectRgb(bright, 1, 0, 0 + 2 * (80 - 128) + 178, 2 * (64 - 128) + 178, 255);

    PxImage g1(img);
    ASSERT_TRUE(g1.Gamma(1.0f));
    for (LONG x = 0; x < 4; x++) ExpectRgb(g1, x, 0, x * 80, 64, 255);

    // Gamma 2: trunc(sqrt(i) / (sqrt(255) / 255)) = trunc(sqrt(255 i)); 64 -> 127, 80 -> 142.
    PxImage g2(img);
    ASSERT_TRUE(g2.Gamma(2.0f));
    ExpectRgb(g2, 1, 0, 142, 127, 255);

    // Gamma 0 is defined: all black.
    PxImage g0(img);
    ASSERT_TRUE(g0.Gamma(0.0f));
    for (LONG x = 0; x < 4; x++) ExpectRgb(g0, x, 0, 0, 0, 0);

    PxImage empty;
    EXPECT_FALSE(empty.Light(1, 1));
}

TEST(PointOps, LutRewritesPaddingWithoutSelectionOnlySelectedPixelsWithOne) {
    BYTE inv[256];
    for (int i = 0; i < 256; i++) inv[i] = static_cast<BYTE>(255 - i);

    PxImage img(1, 2, 24);  // 3 bytes of pixel + 1 padding byte per row
    Fill(img, Rgb(1, 2, 3));
    ASSERT_TRUE(img.Lut(inv));
    ExpectRgb(img, 0, 1, 254, 253, 252);
    EXPECT_EQ(img.GetBits(0)[3], 255);  // padding 0 went through the table too

    ColourImage sel(3, 1, 24);
    Fill(sel, Rgb(10, 10, 10));
    sel.Select(1, 0, 2, 1);
    ASSERT_TRUE(sel.Lut(inv));
    ExpectRgb(sel, 0, 0, 10, 10, 10);
    ExpectRgb(sel, 1, 0, 245, 245, 245);
    ExpectRgb(sel, 2, 0, 10, 10, 10);

    // A palette image that is not grey changes its palette, not its indices.
    PxImage pal(2, 1, 4);
    pal.SetPaletteColor(3, 10, 20, 30, 7);
    pal.SetPixelIndex(1, 0, 3);
    ASSERT_TRUE(pal.Lut(inv));
    EXPECT_EQ(pal.GetPixelIndex(1, 0), 3);
    const RGBQUAD e = pal.GetPaletteColor(3);
    EXPECT_EQ(e.rgbRed, 245);
    EXPECT_EQ(e.rgbBlue, 225);
    EXPECT_EQ(e.rgbReserved, 7);

    // A grey 8-bit image with a selection maps the selected indices.
    ColourImage grey(2, 1, 8);
    grey.SetGrayPalette();
    grey.SetPixelIndex(0, 0, 5);
    grey.SetPixelIndex(1, 0, 5);
    grey.Select(0, 0, 1, 1);
    ASSERT_TRUE(grey.Lut(inv));
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 250);
    EXPECT_EQ(grey.GetPixelIndex(1, 0), 5);
    EXPECT_TRUE(grey.IsGrayScale());

    EXPECT_FALSE(img.Lut(nullptr));
}

TEST(PointOps, ChannelLutsWithAlpha) {
    BYTE id[256], inv[256], zero[256] = {};
    for (int i = 0; i < 256; i++) {
        id[i] = static_cast<BYTE>(i);
        inv[i] = static_cast<BYTE>(255 - i);
    }
    PxImage img(2, 1, 24);
    Fill(img, Rgb(10, 20, 30));
    img.AlphaCreate();
    img.AlphaSet(1, 0, 100);
    ASSERT_TRUE(img.Lut(inv, id, zero, nullptr));
    ExpectRgb(img, 1, 0, 245, 20, 0);
    EXPECT_EQ(img.AlphaGet(1, 0), 100);  // no alpha table: kept
    ASSERT_TRUE(img.Lut(id, id, id, inv));
    EXPECT_EQ(img.AlphaGet(1, 0), 155);
    EXPECT_EQ(img.AlphaGet(0, 0), 0);
    EXPECT_FALSE(img.Lut(id, nullptr, id));
}

TEST(PointOps, ShiftColorizeRedEyeRespectTheSelection) {
    ColourImage img(3, 1, 24);
    Fill(img, Rgb(200, 100, 50));
    img.Select(0, 0, 2, 1);
    ASSERT_TRUE(img.ShiftRGB(100, -150, 5));
    ExpectRgb(img, 0, 0, 255, 0, 55);
    ExpectRgb(img, 2, 0, 200, 100, 50);

    ColourImage eye(2, 1, 24);
    Fill(eye, Rgb(250, 40, 60));
    eye.Select(1, 0, 2, 1);
    ASSERT_TRUE(eye.RedEyeRemove());
    ExpectRgb(eye, 0, 0, 250, 40, 60);
    ExpectRgb(eye, 1, 0, 40, 40, 60);

    // Blend 0 keeps the pixel; a full blend takes the new hue and keeps the lightness; a half
    // blend lies between the two.
    PxImage col(1, 1, 24);
    Fill(col, Rgb(40, 100, 200));
    ASSERT_TRUE(col.Colorize(0, 255, 0.0f));
    ExpectRgb(col, 0, 0, 40, 100, 200);
    PxImage full(col), half(col);
    ASSERT_TRUE(full.Colorize(0, 255, 5.0f));  // clamped to 1
    const RGBQUAD f = full.GetPixelColor(0, 0, false);
    EXPECT_GT(f.rgbRed, 200);
    EXPECT_LT(f.rgbGreen, 10);
    EXPECT_NEAR(PxImage::RGBtoHSL(f).rgbBlue, PxImage::RGBtoHSL(Rgb(40, 100, 200)).rgbBlue, 1);
    // 0.999f lies just above 0.999: a full blend, not a mix of 255 parts to 1.
    PxImage nearly(col);
    ASSERT_TRUE(nearly.Colorize(0, 255, 0.999f));
    ExpectRgb(nearly, 0, 0, f.rgbRed, f.rgbGreen, f.rgbBlue);
    ASSERT_TRUE(half.Colorize(0, 255, 0.5f));
    const RGBQUAD h = half.GetPixelColor(0, 0, false);
    EXPECT_TRUE(h.rgbRed > 40 && h.rgbRed < f.rgbRed);
    EXPECT_TRUE(h.rgbBlue < 200 && h.rgbBlue > f.rgbBlue);

    // A palette shift changes the palette and keeps its alpha bytes.
    PxImage pal(1, 1, 1);
    pal.SetPaletteColor(1, 250, 3, 100, 9);
    ASSERT_TRUE(pal.ShiftRGB(10, -10, 0));
    const RGBQUAD e = pal.GetPaletteColor(1);
    EXPECT_EQ(e.rgbRed, 255);
    EXPECT_EQ(e.rgbGreen, 0);
    EXPECT_EQ(e.rgbReserved, 9);
}

TEST(PointOps, MeanAndHuePalette) {
    ColourImage img(2, 1, 24);
    img.SetPixelColor(0, 0, Rgb(0, 0, 0));
    img.SetPixelColor(1, 0, Rgb(255, 255, 255));
    EXPECT_FLOAT_EQ(img.Mean(), 127.5f);
    img.Select(1, 0, 2, 1);
    EXPECT_FLOAT_EQ(img.Mean(), 255.0f);
    img.Select(0, 0, 0, 0);  // empty box
    EXPECT_FLOAT_EQ(img.Mean(), 0.0f);
    PxImage empty;
    EXPECT_FLOAT_EQ(empty.Mean(), 0.0f);

    // Two entries: step 255, so hues 0 and 255 (both red) at full correction, 0 and 127
    // (cyan) at half.
    PxImage pal(1, 1, 1);
    pal.HuePalette(1.0f);
    for (BYTE i : {0, 1}) {
        const RGBQUAD c = pal.GetPaletteColor(i);
        EXPECT_GT(c.rgbRed, c.rgbGreen);
        EXPECT_GT(c.rgbRed, c.rgbBlue);
    }
    pal.HuePalette(0.5f);
    const RGBQUAD cyan = pal.GetPaletteColor(1);
    EXPECT_LT(cyan.rgbRed, cyan.rgbGreen);
    EXPECT_LT(cyan.rgbRed, cyan.rgbBlue);
}

TEST(PointOps, ThresholdMakesABlackAndWhiteImage) {
    PxImage img(3, 2, 24);
    img.SetPixelColor(0, 0, Rgb(255, 0, 0));      // grey 76
    img.SetPixelColor(1, 0, Rgb(255, 255, 255));  // 255
    img.SetPixelColor(2, 1, Rgb(77, 77, 77));     // 77
    img.SetXDPI(300);
    PxImage all(img);
    ASSERT_TRUE(img.Threshold(76));
    ASSERT_EQ(img.GetBpp(), 1);
    EXPECT_EQ(img.GetPixelIndex(0, 0), 0);  // not greater than the level
    EXPECT_EQ(img.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(img.GetPixelIndex(2, 1), 1);
    EXPECT_EQ(img.GetPixelIndex(0, 1), 0);
    ExpectRgb(img, 1, 0, 255, 255, 255);
    EXPECT_EQ(img.GetXDPI(), 300);

    ASSERT_TRUE(all.Threshold(255));
    for (LONG y = 0; y < 2; y++)
        for (LONG x = 0; x < 3; x++) EXPECT_EQ(all.GetPixelIndex(x, y), 0);

    PxImage bw(9, 1, 1);
    bw.SetPaletteColor(1, 1, 2, 3);
    bw.SetPixelIndex(8, 0, 1);
    ASSERT_TRUE(bw.Threshold(0));
    EXPECT_EQ(bw.GetPixelIndex(8, 0), 1);
    EXPECT_EQ(bw.GetPaletteColor(1).rgbRed, 1);  // a 1-bit image is left as it is
}

TEST(PointOps, RedEyeOnAPaletteImageMatchesThePixelByPixelResult) {
    // Tall enough to be spread over worker threads; every row one colour, so the nearest-colour
    // search meets the same colour again and again.
    const LONG w = 48, h = 400;
    ColourImage img(w, h, 8);
    for (int i = 0; i < 256; i++)
        img.SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 37),
                            static_cast<BYTE>(i * 91));
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) img.SetPixelIndex(x, y, static_cast<BYTE>((y * 7 + x / 16) & 0xFF));
    PxImage want(img);
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) {
            RGBQUAD c = want.GetPixelColor(x, y, false);
            c.rgbRed = std::min(c.rgbGreen, c.rgbBlue);
            want.SetPixelColor(x, y, c);
        }
    ASSERT_TRUE(img.RedEyeRemove());
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) ASSERT_EQ(img.GetPixelIndex(x, y), want.GetPixelIndex(x, y)) << x << "," << y;
}
