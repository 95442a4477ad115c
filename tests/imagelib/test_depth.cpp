// Gray scale, negative, bit-depth changes and dithering: exact values of small cases, and the
// transparency, selection and alpha that must survive each conversion.
#include <gtest/gtest.h>

#include <cstdlib>

#include "imagelib/codecs/PxImageJPG.h"
#include "imagelib/pximage.h"

namespace {

void FillGray24(PxImage& img, BYTE v) {
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x) img.SetPixelColor(x, y, RGBQUAD{v, v, v, 0});
}

int CountIndex(PxImage& img, BYTE idx) {
    int n = 0;
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x) n += img.GetPixelIndex(x, y) == idx;
    return n;
}

}  // namespace

TEST(Depth, GrayScaleUsesTheLibraryLuminance) {
    PxImage img(3, 1, 24);
    img.SetPixelColor(0, 0, RGBQUAD{0, 0, 255, 0});
    img.SetPixelColor(1, 0, RGBQUAD{0, 255, 0, 0});
    img.SetPixelColor(2, 0, RGBQUAD{255, 0, 0, 0});
    img.SelectionAddPixel(1, 0);
    img.AlphaCreate();
    img.AlphaSet(2, 0, 33);
    ASSERT_TRUE(img.GrayScale());
    ASSERT_EQ(img.GetBpp(), 8);
    EXPECT_TRUE(img.IsGrayScale());
    EXPECT_EQ(img.GetPixelIndex(0, 0), 76);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 149);
    EXPECT_EQ(img.GetPixelIndex(2, 0), 29);
    EXPECT_TRUE(img.SelectionIsInside(1, 0));
    EXPECT_FALSE(img.SelectionIsInside(0, 0));
    EXPECT_EQ(img.AlphaGet(2, 0), 33);

    // An 8-bit image keeps its transparent pixel transparent: the index follows the remapping.
    PxImage pal(2, 1, 8);
    pal.SetPaletteColor(5, 0, 0, 255);
    pal.SetPaletteColor(9, 255, 255, 255);
    pal.SetPixelIndex(0, 0, 5);
    pal.SetPixelIndex(1, 0, 9);
    pal.SetTransIndex(5);
    ASSERT_TRUE(pal.GrayScale());
    EXPECT_EQ(pal.GetPixelIndex(0, 0), 29);
    EXPECT_EQ(pal.GetPixelIndex(1, 0), 255);
    EXPECT_EQ(pal.GetTransIndex(), 29);
    EXPECT_TRUE(pal.IsTransparent(0, 0));

    PxImage four(3, 2, 4);
    four.SetPaletteColor(3, 255, 0, 0);
    four.SetPixelIndex(2, 1, 3);
    ASSERT_TRUE(four.GrayScale());
    EXPECT_EQ(four.GetBpp(), 8);
    EXPECT_EQ(four.GetPixelIndex(2, 1), 76);
    EXPECT_EQ(four.GetPixelIndex(0, 0), 0);

    // A transparent index past a 16-entry palette marks no pixel, and must not start marking
    // the pixels whose level happens to equal it.
    PxImage stray(2, 1, 4);
    stray.SetPaletteColor(1, 200, 200, 200);
    stray.SetPixelIndex(0, 0, 1);
    stray.SetTransIndex(200);
    ASSERT_FALSE(stray.IsTransparent(0, 0));
    ASSERT_TRUE(stray.GrayScale());
    EXPECT_EQ(stray.GetPixelIndex(0, 0), 200);
    EXPECT_FALSE(stray.IsTransparent(0, 0));
}

TEST(Depth, GrayScaleOfAShortPaletteKeepsEveryLevel) {
    // A JPEG decoded to a few colours is 8-bit with a short palette: the gray levels need all 256
    // entries, so every pixel must still show its luminance afterwards.
    PxImage src(32, 8, 24);
    const RGBQUAD stripes[4] = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 32; ++x) src.SetPixelColor(x, y, stripes[x / 8]);
    BYTE* jpg = nullptr;
    LONG size = 0;
    ASSERT_TRUE(src.Encode(jpg, size, PXIMAGE_FORMAT_JPG)) << src.GetLastError();
    PxImage img;
    img.SetCodecOption(JPG_DEC_QUANTIZE, PXIMAGE_FORMAT_JPG);
    img.SetJpegQuality(8);
    const bool decoded = img.Decode(jpg, static_cast<DWORD>(size), PXIMAGE_FORMAT_JPG);
    PxImage::FreeMemory(jpg);
    ASSERT_TRUE(decoded) << img.GetLastError();
    ASSERT_EQ(img.GetBpp(), 8);
    ASSERT_LT(img.GetNumColors(), 256u);
    int want[32 * 8];
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 32; ++x) {
            const RGBQUAD c = img.GetPixelColor(x, y);
            want[y * 32 + x] = (306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10;
        }
    ASSERT_TRUE(img.GrayScale());
    ASSERT_EQ(img.GetBpp(), 8);
    EXPECT_TRUE(img.IsGrayScale());
    int wrong = 0;
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 32; ++x) wrong += img.GetPixelColor(x, y).rgbRed != want[y * 32 + x];
    EXPECT_EQ(wrong, 0);
}

TEST(Depth, TransparentColourOfTrueColourFollowsIntoIndexedResults) {
    // A 24-bit image marks its transparent colour with a transparent index of 0 or more; in an
    // indexed result the index must name the entry that colour went to, not entry 0 (black).
    auto make = [] {
        PxImage img(2, 1, 24);
        img.SetPixelColor(0, 0, RGBQUAD{255, 255, 255, 0});
        img.SetPixelColor(1, 0, RGBQUAD{0, 0, 0, 0});
        img.SetTransColor(RGBQUAD{255, 255, 255, 0});
        img.SetTransIndex(0);
        return img;
    };
    PxImage gray = make(), four = make(), eight = make();
    ASSERT_TRUE(gray.GrayScale());
    ASSERT_TRUE(four.DecreaseBpp(4));
    ASSERT_TRUE(eight.DecreaseBpp(8, true));
    for (PxImage* img : {&gray, &four, &eight}) {
        EXPECT_TRUE(img->IsTransparent(0, 0)) << img->GetBpp();
        EXPECT_FALSE(img->IsTransparent(1, 0)) << img->GetBpp();
    }

    // Lowering an indexed image to a new palette: the index follows its colour there too.
    PxImage pal(2, 1, 8);
    pal.SetPaletteColor(7, 255, 0, 0);
    pal.SetPixelIndex(0, 0, 7);
    pal.SetTransIndex(7);
    ASSERT_TRUE(pal.DecreaseBpp(4));
    EXPECT_TRUE(pal.IsTransparent(0, 0));
    EXPECT_FALSE(pal.IsTransparent(1, 0));
}

TEST(Depth, NegativeRespectsTheSelection) {
    PxImage img(4, 2, 24);
    img.SetPixelColor(0, 0, RGBQUAD{10, 20, 30, 0});
    img.SetTransColor(RGBQUAD{1, 2, 3, 0});
    PxImage orig(img);
    ASSERT_TRUE(img.Negative());
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbBlue, 245);
    EXPECT_EQ(img.GetPixelColor(3, 1).rgbRed, 255);
    EXPECT_EQ(img.GetTransColor().rgbRed, 252);
    ASSERT_TRUE(img.Negative());
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbGreen, 20);
    EXPECT_EQ(img.GetTransColor().rgbBlue, 1);

    img.SelectionAddRect(RECT{0, 0, 2, 1});
    ASSERT_TRUE(img.Negative());
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbRed, 255);
    EXPECT_EQ(img.GetPixelColor(2, 0).rgbRed, 0) << "outside the selection";
    EXPECT_EQ(img.GetPixelColor(0, 1).rgbRed, 0);

    PxImage gray(2, 1, 8);
    gray.SetGrayPalette();
    gray.SetPixelIndex(0, 0, 10);
    gray.SetPixelIndex(1, 0, 245);
    gray.SetTransIndex(10);
    ASSERT_TRUE(gray.Negative());
    EXPECT_EQ(gray.GetPixelIndex(0, 0), 245);
    EXPECT_EQ(gray.GetPixelIndex(1, 0), 10);
    EXPECT_TRUE(gray.IsTransparent(0, 0)) << "the transparent pixel stays transparent";
    EXPECT_FALSE(gray.IsTransparent(1, 0));

    PxImage pal(1, 1, 8);
    pal.SetPaletteColor(0, 10, 0, 250);
    ASSERT_TRUE(pal.Negative());
    EXPECT_EQ(pal.GetPaletteColor(0).rgbRed, 245);
    EXPECT_EQ(pal.GetPixelIndex(0, 0), 0) << "colour images invert the palette, not the indices";
}

TEST(Depth, IncreaseBppKeepsIndicesColoursAndOpacity) {
    PxImage rgb(2, 2, 24);
    EXPECT_FALSE(rgb.IncreaseBpp(8));
    EXPECT_TRUE(rgb.IncreaseBpp(24));
    EXPECT_FALSE(rgb.IncreaseBpp(16));

    PxImage four(5, 2, 4);
    four.SetPaletteColor(11, 1, 2, 3);
    four.SetPixelIndex(4, 1, 11);
    ASSERT_TRUE(four.IncreaseBpp(8));
    EXPECT_EQ(four.GetBpp(), 8);
    EXPECT_EQ(four.GetPixelIndex(4, 1), 11);
    EXPECT_EQ(four.GetPaletteColor(11).rgbGreen, 2);

    PxImage pal(2, 1, 8);
    pal.SetPaletteColor(1, 200, 100, 50, 100);
    pal.SetPaletteColor(0, 0, 0, 0, 255);
    pal.SetPixelIndex(1, 0, 1);
    pal.SetTransIndex(1);
    ASSERT_TRUE(pal.IncreaseBpp(24));
    ASSERT_EQ(pal.GetBpp(), 24);
    EXPECT_EQ(pal.GetPixelColor(1, 0, false).rgbRed, 200);
    ASSERT_TRUE(pal.AlphaIsValid()) << "palette opacity becomes a plane";
    EXPECT_EQ(pal.AlphaGet(1, 0), 100);
    EXPECT_EQ(pal.AlphaGet(0, 0), 255);
    EXPECT_EQ(pal.GetTransColor().rgbBlue, 50);

    // A transparent index past the palette (a damaged file) marks no pixel; raised to 24 bits,
    // black pixels must not turn transparent.
    PxImage stray(2, 1, 4);
    stray.SetTransIndex(200);
    ASSERT_FALSE(stray.IsTransparent(0, 0));
    ASSERT_TRUE(stray.IncreaseBpp(24));
    EXPECT_FALSE(stray.IsTransparent(0, 0));
}

TEST(Depth, DecreaseBppToFixedPalettes) {
    PxImage same(3, 3, 8);
    same.SetPixelIndex(1, 1, 200);
    ASSERT_TRUE(same.DecreaseBpp(8));
    EXPECT_EQ(same.GetPixelIndex(1, 1), 200);
    EXPECT_FALSE(same.DecreaseBpp(24));

    PxImage bw(2, 1, 24);
    bw.SetPixelColor(0, 0, RGBQUAD{100, 100, 100, 0});
    bw.SetPixelColor(1, 0, RGBQUAD{200, 200, 200, 0});
    bw.SelectionAddPixel(1, 0);
    ASSERT_TRUE(bw.DecreaseBpp(1));
    ASSERT_EQ(bw.GetBpp(), 1);
    EXPECT_EQ(bw.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(bw.GetPixelIndex(1, 0), 1);
    EXPECT_TRUE(bw.SelectionIsInside(1, 0));

    // 128 is nearer to white; its error (-127) pulls the next pixel to 128 - 55 = 73: black.
    PxImage ed(2, 1, 24), plain(2, 1, 24);
    FillGray24(ed, 128);
    FillGray24(plain, 128);
    ASSERT_TRUE(ed.DecreaseBpp(1, true));
    ASSERT_TRUE(plain.DecreaseBpp(1, false));
    EXPECT_EQ(ed.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(ed.GetPixelIndex(1, 0), 0);
    EXPECT_EQ(plain.GetPixelIndex(1, 0), 1);

    RGBQUAD pal[16] = {};
    pal[3] = RGBQUAD{0, 0, 250, 0};
    pal[4] = RGBQUAD{0, 240, 0, 0};
    PxImage own(2, 1, 24);
    own.SetPixelColor(0, 0, RGBQUAD{0, 0, 255, 0});
    own.SetPixelColor(1, 0, RGBQUAD{0, 255, 10, 0});
    ASSERT_TRUE(own.DecreaseBpp(4, false, pal));
    EXPECT_EQ(own.GetBpp(), 4);
    EXPECT_EQ(own.GetPixelIndex(0, 0), 3);
    EXPECT_EQ(own.GetPixelIndex(1, 0), 4);
}

TEST(Depth, DitherMethods) {
    PxImage img(4, 4, 24);
    FillGray24(img, 128);
    PxImage ordered(img), floyd(img), second(img);
    ASSERT_TRUE(ordered.Dither(1));
    ASSERT_EQ(ordered.GetBpp(), 1);
    EXPECT_EQ(CountIndex(ordered, 1), 8) << "d = 128 x 16 / 255 = 8: the matrix entries below 8";
    EXPECT_EQ(ordered.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(ordered.GetPixelIndex(1, 0), 0);
    EXPECT_EQ(ordered.GetPaletteColor(1).rgbRed, 255);

    ASSERT_TRUE(floyd.Dither(0));
    EXPECT_EQ(floyd.GetPixelIndex(0, 0), 0) << "128 is below 129";
    EXPECT_EQ(floyd.GetPixelIndex(1, 0), 1) << "128 + 128 x 7 / 16 = 184";

    FillGray24(second, 100);
    ASSERT_TRUE(second.Dither(7));
    EXPECT_EQ(CountIndex(second, 1), 7);

    PxImage white(4, 4, 24);
    FillGray24(white, 255);
    ASSERT_TRUE(white.Dither(1));
    EXPECT_EQ(CountIndex(white, 1), 16);
}

TEST(Depth, ErrorDiffusionKeepsTheMeanLevel) {
    for (LONG method : {0, 2, 3, 4, 5, 6}) {
        for (BYTE level : {64, 128, 192}) {
            PxImage img(32, 32, 24);
            FillGray24(img, level);
            img.AlphaCreate();
            img.AlphaSet(3, 3, 17);
            ASSERT_TRUE(img.Dither(method));
            const double density = CountIndex(img, 1) / 1024.0;
            EXPECT_NEAR(density, level / 255.0, 0.06) << "method " << method << " level " << int(level);
            EXPECT_EQ(img.AlphaGet(3, 3), 17);
        }
    }
}
