// Flips, right-angle rotations, crop and canvas expansion, checked pixel by pixel on every depth.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imagelib/pximage.h"

namespace {

// Gives the tests a way to plant a selection plane.
struct SelectableImage : PxImage {
    using PxImage::PxImage;
    using PxImage::pSelection;
};

// A value that differs between neighbouring pixels at every depth.
BYTE Pattern(LONG x, LONG y, WORD bpp) {
    const int v = x * 7 + y * 3 + 1;
    return static_cast<BYTE>(bpp == 1 ? v & 1 : bpp == 4 ? v & 15 : v & 255);
}

void Fill(PxImage& img) {
    const WORD bpp = img.GetBpp();
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x) {
            if (bpp == 24)
                img.SetPixelColor(x, y, RGBQUAD{Pattern(x, y, 8), Pattern(y, x, 8), static_cast<BYTE>(x + y), 0});
            else
                img.SetPixelIndex(x, y, Pattern(x, y, bpp));
        }
    if (img.GetPalette())
        for (DWORD i = 0; i < img.GetNumColors(); ++i)
            img.SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>(i * 3), static_cast<BYTE>(255 - i), static_cast<BYTE>(i));
}

// The same pixel value, as index or colour by depth, plus its alpha.
uint64_t Pixel(PxImage& img, LONG x, LONG y) {
    const uint64_t alpha = img.AlphaIsValid() ? uint64_t{img.AlphaGet(x, y)} << 32 : 0;
    if (img.GetBpp() == 24) {
        const RGBQUAD c = img.GetPixelColor(x, y, false);
        return alpha | (uint64_t{c.rgbRed} << 16) | (uint64_t{c.rgbGreen} << 8) | c.rgbBlue;
    }
    return alpha | img.GetPixelIndex(x, y);
}

const WORD kDepths[] = {1, 4, 8, 24};

}  // namespace

TEST(Geometry, RightAngleRotationsMapEveryPixelAndAlpha) {
    for (WORD bpp : kDepths) {
        SCOPED_TRACE(bpp);
        // Odd sizes beyond one 64-pixel tile catch tile-edge and packed-bit mistakes.
        PxImage src(70, 13, bpp);
        Fill(src);
        src.AlphaCreate();
        for (LONG y = 0; y < 13; ++y)
            for (LONG x = 0; x < 70; ++x) src.AlphaSet(x, y, static_cast<BYTE>(x * 5 + y));
        const LONG w = 70, h = 13;

        PxImage left, right, half;
        ASSERT_TRUE(src.RotateLeft(&left));
        ASSERT_TRUE(src.RotateRight(&right));
        ASSERT_TRUE(src.Rotate180(&half));
        ASSERT_EQ(left.GetWidth(), 13u);
        ASSERT_EQ(left.GetHeight(), 70u);
        ASSERT_EQ(right.GetWidth(), 13u);
        ASSERT_EQ(half.GetWidth(), 70u);
        EXPECT_TRUE(src.IsValid());  // a destination leaves the source as it was
        if (bpp < 24) {
            EXPECT_TRUE(left.IsSamePalette(src));
        }

        for (LONG y = 0; y < 70; ++y)
            for (LONG x = 0; x < 13; ++x) {
                ASSERT_EQ(Pixel(left, x, y), Pixel(src, y, h - 1 - x)) << x << "," << y;
                ASSERT_EQ(Pixel(right, x, y), Pixel(src, w - 1 - y, x)) << x << "," << y;
            }
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) ASSERT_EQ(Pixel(half, x, y), Pixel(src, w - 1 - x, h - 1 - y));
    }
}

TEST(Geometry, RotateLeftThenRightRestoresImageInPlace) {
    for (WORD bpp : kDepths) {
        SCOPED_TRACE(bpp);
        PxImage img(13, 9, bpp);
        Fill(img);
        img.AlphaCreate();
        img.AlphaSet(3, 2, 17);
        img.SetXDPI(300);
        PxImage orig(img);
        ASSERT_TRUE(img.RotateLeft());
        EXPECT_EQ(img.GetXDPI(), 300);  // the information block travels with the pixels
        ASSERT_TRUE(img.RotateRight());
        ASSERT_EQ(img.GetWidth(), 13u);
        ASSERT_EQ(img.GetSize(), orig.GetSize());
        EXPECT_EQ(memcmp(img.GetDIB(), orig.GetDIB(), orig.GetSize()), 0);
        EXPECT_EQ(memcmp(img.AlphaGetPointer(), orig.AlphaGetPointer(), 13 * 9), 0);
    }
}

TEST(Geometry, FlipAndMirrorReverseRowsAndColumnsAndDropSelection) {
    for (WORD bpp : kDepths) {
        SCOPED_TRACE(bpp);
        SelectableImage img(11, 5, bpp);
        Fill(img);
        img.AlphaCreate();
        img.AlphaSet(0, 0, 9);
        PxImage orig(img);
        img.pSelection = static_cast<BYTE*>(calloc(11 * 5, 1));

        ASSERT_TRUE(img.Flip());
        EXPECT_EQ(img.pSelection, nullptr);
        for (LONG y = 0; y < 5; ++y)
            for (LONG x = 0; x < 11; ++x) ASSERT_EQ(Pixel(img, x, y), Pixel(orig, x, 4 - y));
        EXPECT_EQ(img.AlphaGet(0, 4), 9);

        img.pSelection = static_cast<BYTE*>(calloc(11 * 5, 1));
        ASSERT_TRUE(img.Mirror());
        EXPECT_EQ(img.pSelection, nullptr);
        for (LONG y = 0; y < 5; ++y)
            for (LONG x = 0; x < 11; ++x) ASSERT_EQ(Pixel(img, x, y), Pixel(orig, 10 - x, 4 - y));
        EXPECT_EQ(img.AlphaGet(10, 4), 9);
    }
}

TEST(Geometry, CropKeepsTheRectangleAsDisplayed) {
    PxImage img(100, 50, 24);
    Fill(img);
    img.SetXDPI(300);
    PxImage orig(img);

    PxImage part;
    ASSERT_TRUE(img.Crop(0, 0, 10, 10, &part));
    ASSERT_EQ(part.GetWidth(), 10u);
    ASSERT_EQ(part.GetHeight(), 10u);
    // The top ten rows as a user sees them are stored rows 40-49.
    for (LONG y = 0; y < 10; ++y)
        for (LONG x = 0; x < 10; ++x) ASSERT_EQ(Pixel(part, x, y), Pixel(orig, x, 40 + y));
    EXPECT_EQ(part.GetXDPI(), 96);  // a crop starts with a fresh information block

    EXPECT_FALSE(img.Crop(5, 5, 5, 20));
    EXPECT_FALSE(img.Crop(200, 0, 300, 10));  // clamped to an empty width
    // Reversed corners are put in order.
    ASSERT_TRUE(img.Crop(10, 10, 0, 0, &part));
    EXPECT_EQ(Pixel(part, 0, 0), Pixel(orig, 0, 40));

    ASSERT_TRUE(img.Crop(RECT{-10, -10, 1000, 1000}));
    ASSERT_EQ(img.GetSize(), orig.GetSize());
    EXPECT_EQ(memcmp(img.GetBits(), orig.GetBits(), orig.GetEffWidth() * 50), 0);
}

TEST(Geometry, CropOfPackedPixelsAtOddOffsetsWithAlphaAndTransparency) {
    for (WORD bpp : {WORD{1}, WORD{4}}) {
        SCOPED_TRACE(bpp);
        PxImage img(21, 9, bpp);
        Fill(img);
        img.SetTransIndex(1);
        img.AlphaCreate();
        for (LONG y = 0; y < 9; ++y)
            for (LONG x = 0; x < 21; ++x) img.AlphaSet(x, y, static_cast<BYTE>(x + 10 * y));
        PxImage part;
        ASSERT_TRUE(img.Crop(3, 2, 16, 7, &part));
        ASSERT_EQ(part.GetWidth(), 13u);
        ASSERT_EQ(part.GetHeight(), 5u);
        EXPECT_EQ(part.GetTransIndex(), 1);
        EXPECT_TRUE(part.IsSamePalette(img));
        ASSERT_TRUE(part.AlphaIsValid());
        // Displayed rows 2..6 from the top are stored rows 2..6 of a 9-row image.
        for (LONG y = 0; y < 5; ++y)
            for (LONG x = 0; x < 13; ++x) ASSERT_EQ(Pixel(part, x, y), Pixel(img, x + 3, y + 2)) << x << "," << y;
    }
}

TEST(Geometry, ExpandPlacesPictureOnCanvas) {
    PxImage img(10, 10, 24);
    Fill(img);
    img.AlphaCreate();
    const RGBQUAD canvas{1, 2, 3, 0};
    PxImage big;
    ASSERT_TRUE(img.Expand(2, 3, 4, 5, canvas, &big));
    ASSERT_EQ(big.GetWidth(), 16u);
    ASSERT_EQ(big.GetHeight(), 18u);
    EXPECT_FALSE(big.AlphaIsValid());
    for (LONG y = 0; y < 18; ++y)
        for (LONG x = 0; x < 16; ++x) {
            const bool inside = x >= 2 && x < 12 && y >= 5 && y < 15;
            const RGBQUAD c = big.GetPixelColor(x, y, false);
            if (inside) {
                ASSERT_EQ(Pixel(big, x, y), Pixel(img, x - 2, y - 5) & 0xFFFFFFFF);
            } else {
                ASSERT_EQ(c.rgbBlue, 1);
                ASSERT_EQ(c.rgbGreen, 2);
                ASSERT_EQ(c.rgbRed, 3);
            }
        }
    EXPECT_FALSE(img.Expand(-1, 0, 0, 0, canvas));
    EXPECT_FALSE(img.Expand(9, 20, canvas));  // smaller than the picture
}

TEST(Geometry, ExpandIndexedUsesNearestPaletteEntryAndCentres) {
    PxImage img(5, 3, 4);
    Fill(img);
    img.SetTransIndex(2);
    const RGBQUAD wanted = img.GetPaletteColor(6);
    ASSERT_TRUE(img.Expand(10, 8, wanted));  // left 2, right 3, top 2, bottom 3
    ASSERT_EQ(img.GetWidth(), 10u);
    ASSERT_EQ(img.GetHeight(), 8u);
    EXPECT_EQ(img.GetTransIndex(), 2);
    EXPECT_EQ(img.GetPixelIndex(0, 0), 6);
    EXPECT_EQ(img.GetPixelIndex(9, 7), 6);
    EXPECT_EQ(img.GetPixelIndex(2, 3), Pattern(0, 0, 4));
    EXPECT_EQ(img.GetPixelIndex(6, 5), Pattern(4, 2, 4));
    EXPECT_EQ(img.GetPixelIndex(7, 5), 6);
}

TEST(Geometry, TinyAngleCropsStraightAndBadInputsChangeNothing) {
    PxImage img(40, 30, 8);
    Fill(img);
    PxImage straight, tilted;
    ASSERT_TRUE(img.Crop(5, 6, 15, 26, &straight));
    ASSERT_TRUE(img.CropRotatedRectangle(5, 6, 10, 20, 0.0001f, &tilted));
    ASSERT_EQ(tilted.GetSize(), straight.GetSize());
    EXPECT_EQ(memcmp(tilted.GetDIB(), straight.GetDIB(), straight.GetSize()), 0);

    PxImage orig(img);
    EXPECT_FALSE(img.CropRotatedRectangle(5, 6, 100, 20, 0.3f));  // far corner outside
    EXPECT_FALSE(img.CropRotatedRectangle(-5, 6, 10, 20, 0.3f));
    ASSERT_EQ(img.GetWidth(), 40u);
    EXPECT_EQ(memcmp(img.GetDIB(), orig.GetDIB(), orig.GetSize()), 0);

    PxImage empty;
    EXPECT_FALSE(empty.Flip());
    EXPECT_FALSE(empty.Mirror());
    EXPECT_FALSE(empty.RotateLeft());
    EXPECT_FALSE(empty.Rotate180());
    EXPECT_FALSE(empty.Crop(0, 0, 1, 1));
    EXPECT_FALSE(empty.Expand(1, 1, 1, 1, RGBQUAD{}));
}
