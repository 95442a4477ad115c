// Alpha channel: the plane's life cycle, copies from other images, splits and flattening.
#include <gtest/gtest.h>

#include "imagelib/pximage.h"

TEST(Alpha, PlaneLifeCycleAndBounds) {
    PxImage img(3, 2, 24);
    EXPECT_FALSE(img.AlphaIsValid());
    EXPECT_EQ(img.GetColorType(), 2);
    img.AlphaCreate();
    ASSERT_TRUE(img.AlphaIsValid());
    EXPECT_EQ(img.GetColorType(), 4);
    EXPECT_EQ(img.AlphaGet(2, 1), 255);
    img.AlphaSet(2, 1, 7);
    img.AlphaCreate();  // an existing plane keeps its values
    EXPECT_EQ(img.AlphaGet(2, 1), 7);
    EXPECT_EQ(img.AlphaGet(-1, 0), 0);
    EXPECT_EQ(img.AlphaGetPointer(3, 0), nullptr);
    EXPECT_EQ(img.AlphaGetPointer(2, 1), img.AlphaGetPointer() + 5);
    img.AlphaSet(5, 5, 1);  // outside: ignored

    img.AlphaInvert();
    EXPECT_EQ(img.AlphaGet(2, 1), 248);
    EXPECT_EQ(img.AlphaGet(0, 0), 0);
    img.AlphaSet(BYTE(60));
    EXPECT_EQ(img.AlphaGet(1, 1), 60);
    img.AlphaClear();
    EXPECT_EQ(img.AlphaGet(1, 1), 0);
    img.AlphaDelete();
    EXPECT_FALSE(img.AlphaIsValid());
}

TEST(Alpha, FlipAndMirrorReorderThePlane) {
    PxImage img(2, 2, 8);
    EXPECT_FALSE(img.AlphaFlip());
    img.AlphaCreate();
    img.AlphaSet(0, 0, 1);
    img.AlphaSet(1, 0, 2);
    img.AlphaSet(0, 1, 3);
    img.AlphaSet(1, 1, 4);
    ASSERT_TRUE(img.AlphaFlip());
    EXPECT_EQ(img.AlphaGet(0, 0), 3);
    EXPECT_EQ(img.AlphaGet(1, 1), 2);
    ASSERT_TRUE(img.AlphaMirror());
    EXPECT_EQ(img.AlphaGet(0, 0), 4);
    EXPECT_EQ(img.AlphaGet(1, 1), 1);

    // Odd sizes: the middle row and column stay where they are.
    PxImage odd(3, 3, 24);
    odd.AlphaCreate();
    for (LONG y = 0; y < 3; y++)
        for (LONG x = 0; x < 3; x++) odd.AlphaSet(x, y, static_cast<BYTE>(10 * y + x));
    ASSERT_TRUE(odd.AlphaFlip());
    ASSERT_TRUE(odd.AlphaMirror());
    for (LONG y = 0; y < 3; y++)
        for (LONG x = 0; x < 3; x++) EXPECT_EQ(odd.AlphaGet(x, y), 10 * (2 - y) + (2 - x)) << x << "," << y;
}

TEST(Alpha, CopyAndSetFromOtherImages) {
    PxImage src(3, 2, 24);
    src.AlphaCreate();
    src.AlphaSet(1, 1, 33);
    src.AlphaSetMax(128);
    PxImage other(4, 2, 24);
    EXPECT_FALSE(other.AlphaCopy(src));
    EXPECT_FALSE(other.AlphaIsValid());
    PxImage dst(3, 2, 8);
    ASSERT_TRUE(dst.AlphaCopy(src));
    EXPECT_EQ(dst.AlphaGet(1, 1), 33);
    EXPECT_EQ(dst.AlphaGetMax(), 128);
    ASSERT_TRUE(dst.AlphaCopy(dst));  // onto itself: nothing to move
    EXPECT_EQ(dst.AlphaGet(1, 1), 33);

    PxImage gray(3, 2, 8);
    gray.SetGrayPalette();
    gray.SetPixelIndex(2, 1, 99);
    ASSERT_TRUE(dst.AlphaSet(gray));
    EXPECT_EQ(dst.AlphaGet(2, 1), 99);
    EXPECT_EQ(dst.AlphaGet(1, 1), 0);

    // Only 8-bit gray sources: a 1-bit source's rows are far shorter than the plane's.
    PxImage bits(3, 2, 1);
    bits.SetPaletteColor(1, 1, 1, 1);
    ASSERT_TRUE(bits.IsGrayScale());
    EXPECT_FALSE(dst.AlphaSet(bits));
    PxImage colour(3, 2, 8);
    colour.SetStdPalette();
    EXPECT_FALSE(dst.AlphaSet(colour));
}

TEST(Alpha, SplitsMakeGrayImages) {
    PxImage img(3, 2, 24);
    PxImage out;
    EXPECT_FALSE(img.AlphaSplit(&out));
    img.AlphaCreate();
    img.AlphaSet(2, 1, 17);
    img.AlphaSet(0, 0, 200);
    EXPECT_FALSE(img.AlphaSplit(nullptr));
    ASSERT_TRUE(img.AlphaSplit(&out));
    EXPECT_EQ(out.GetWidth(), 3u);
    EXPECT_EQ(out.GetHeight(), 2u);
    EXPECT_EQ(out.GetBpp(), 8);
    EXPECT_TRUE(out.IsGrayScale());
    EXPECT_EQ(out.GetPixelIndex(2, 1), 17);
    EXPECT_EQ(out.GetPixelIndex(0, 0), 200);
    EXPECT_EQ(out.GetPixelIndex(1, 0), 255);

    PxImage pal(2, 1, 4);
    EXPECT_FALSE(pal.AlphaPaletteIsValid());
    EXPECT_FALSE(pal.AlphaPaletteSplit(&out));
    pal.SetPaletteColor(3, 1, 2, 3, 150);
    pal.SetPixelIndex(1, 0, 3);
    ASSERT_TRUE(pal.AlphaPaletteIsValid());
    ASSERT_TRUE(pal.AlphaPaletteSplit(&out));
    EXPECT_EQ(out.GetPixelIndex(1, 0), 150);
    EXPECT_EQ(out.GetPixelIndex(0, 0), 0);
    pal.AlphaPaletteClear();
    EXPECT_FALSE(pal.AlphaPaletteIsValid());
    EXPECT_EQ(pal.GetPaletteColor(3).rgbRed, 1);
}

TEST(Alpha, StripFlattensOntoTheBackground) {
    PxImage img(2, 1, 24);
    img.SetPixelColor(0, 0, RGBQUAD{100, 100, 100, 0});
    img.SetPixelColor(1, 0, RGBQUAD{100, 100, 100, 0});
    img.SetTransColor(RGBQUAD{0, 0, 200, 0});
    EXPECT_FALSE(img.AlphaStrip());  // nothing to flatten
    img.AlphaCreate();
    img.AlphaSet(0, 0, 0);
    ASSERT_TRUE(img.AlphaStrip());
    EXPECT_FALSE(img.AlphaIsValid());
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbRed, 200);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbBlue, 0);
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbRed, 100);

    // Alpha maximum 128 over a full plane: half and half.
    PxImage half(1, 1, 24);
    half.SetPixelColor(0, 0, RGBQUAD{200, 200, 200, 0});
    half.AlphaCreate();
    half.AlphaSetMax(128);
    ASSERT_TRUE(half.AlphaStrip());
    EXPECT_EQ(half.GetPixelColor(0, 0).rgbGreen, 200 * 128 / 255);

    // An indexed image with palette alpha becomes 24-bit; the plane counts only once.
    PxImage pal(2, 1, 8, PXIMAGE_FORMAT_GIF);
    pal.SetPaletteColor(1, 250, 250, 250, 255);
    pal.SetPaletteColor(2, 250, 250, 250, 0);
    pal.SetPixelIndex(0, 0, 1);
    pal.SetPixelIndex(1, 0, 2);
    pal.AlphaCreate();
    pal.AlphaSet(0, 0, 128);
    ASSERT_TRUE(pal.AlphaStrip());
    EXPECT_EQ(pal.GetBpp(), 24);
    EXPECT_EQ(pal.GetType(), 0u);
    EXPECT_FALSE(pal.AlphaIsValid());
    EXPECT_EQ(pal.GetPixelColor(0, 0).rgbRed, 250 * 128 / 255);
    EXPECT_EQ(pal.GetPixelColor(1, 0).rgbRed, 0);
}
