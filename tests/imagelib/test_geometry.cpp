// Flips, right-angle rotations, crop and canvas expansion, checked pixel by pixel on every depth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "imagelib/pximage.h"

namespace {

struct SelectableImage : PxImage {  // lets a test plant a selection plane
    using PxImage::pSelection;
    using PxImage::PxImage;
};

BYTE Pattern(LONG x, LONG y, WORD bpp) {  // differs between neighbours at every depth
    const int v = x * 7 + y * 3 + 1;
    return static_cast<BYTE>(bpp == 1 ? v & 1 : bpp == 4 ? v & 15 : v & 255);
}

void Fill(PxImage& img, bool alpha) {
    for (LONG y = 0; y < LONG(img.GetHeight()); ++y)
        for (LONG x = 0; x < LONG(img.GetWidth()); ++x) {
            if (img.GetBpp() == 24)
                img.SetPixelColor(x, y, RGBQUAD{Pattern(x, y, 8), Pattern(y, x, 8), BYTE(x + y), 0});
            else
                img.SetPixelIndex(x, y, Pattern(x, y, img.GetBpp()));
        }
    for (DWORD i = 0; i < img.GetNumColors(); ++i) img.SetPaletteColor(BYTE(i), BYTE(i * 3), BYTE(255 - i), BYTE(i));
    if (!alpha) return;
    img.AlphaCreate();
    for (LONG y = 0; y < LONG(img.GetHeight()); ++y)
        for (LONG x = 0; x < LONG(img.GetWidth()); ++x) img.AlphaSet(x, y, BYTE(x * 5 + y));
}

// Index or colour by depth, with the alpha value above it.
uint64_t Pixel(PxImage& img, LONG x, LONG y) {
    const uint64_t alpha = img.AlphaIsValid() ? uint64_t{img.AlphaGet(x, y)} << 32 : 0;
    if (img.GetBpp() != 24) return alpha | img.GetPixelIndex(x, y);
    const RGBQUAD c = img.GetPixelColor(x, y, false);
    return alpha | (uint64_t{c.rgbRed} << 16) | (uint64_t{c.rgbGreen} << 8) | c.rgbBlue;
}

bool SameDib(PxImage& a, PxImage& b) {
    return a.GetSize() == b.GetSize() && !memcmp(a.GetDIB(), b.GetDIB(), a.GetSize());
}

}  // namespace

TEST(Geometry, FlipsAndRightAngleRotationsMoveEveryPixelAndAlpha) {
    // Wider than one 64-pixel tile, odd sizes: catches tile-edge and packed-bit mistakes.
    const LONG w = 70, h = 13;
    struct Op {
        const char* name;
        std::function<bool(SelectableImage&)> run;
        bool swapsSize;
        std::function<POINT(LONG, LONG)> source;  // destination (x, y) comes from here
    };
    const Op ops[] = {
        {"RotateLeft", [](SelectableImage& i) { return i.RotateLeft(); }, true,
         [&](LONG x, LONG y) {
             return POINT{y, h - 1 - x};
         }},
        {"RotateRight", [](SelectableImage& i) { return i.RotateRight(); }, true,
         [&](LONG x, LONG y) {
             return POINT{w - 1 - y, x};
         }},
        {"Rotate180", [](SelectableImage& i) { return i.Rotate180(); }, false,
         [&](LONG x, LONG y) {
             return POINT{w - 1 - x, h - 1 - y};
         }},
        {"Flip", [](SelectableImage& i) { return i.Flip(); }, false,
         [&](LONG x, LONG y) {
             return POINT{x, h - 1 - y};
         }},
        {"Mirror", [](SelectableImage& i) { return i.Mirror(); }, false,
         [&](LONG x, LONG y) {
             return POINT{w - 1 - x, y};
         }},
    };
    for (WORD bpp : {WORD{1}, WORD{4}, WORD{8}, WORD{24}}) {
        SelectableImage src(w, h, bpp);
        Fill(src, true);
        src.SetXDPI(300);
        for (const Op& op : ops) {
            SCOPED_TRACE(testing::Message() << op.name << " " << bpp);
            SelectableImage img(src);
            img.pSelection = static_cast<BYTE*>(calloc(w * h, 1));
            ASSERT_TRUE(op.run(img));
            EXPECT_EQ(img.pSelection, nullptr);  // the selection no longer fits the picture
            EXPECT_EQ(img.GetXDPI(), 300);
            if (bpp < 24) {
                EXPECT_TRUE(img.IsSamePalette(src));
            }
            ASSERT_EQ(LONG(img.GetWidth()), op.swapsSize ? h : w);
            for (LONG y = 0; y < LONG(img.GetHeight()); ++y)
                for (LONG x = 0; x < LONG(img.GetWidth()); ++x) {
                    const POINT s = op.source(x, y);
                    ASSERT_EQ(Pixel(img, x, y), Pixel(src, s.x, s.y)) << x << "," << y;
                }
        }
        // Into a destination the source stays; left then right restores every byte.
        PxImage turned, back;
        ASSERT_TRUE(src.RotateLeft(&turned));
        ASSERT_TRUE(turned.RotateRight(&back));
        EXPECT_TRUE(src.IsValid());
        EXPECT_TRUE(SameDib(back, src));
        EXPECT_EQ(memcmp(back.AlphaGetPointer(), src.AlphaGetPointer(), w * h), 0);
    }
}

TEST(Geometry, CropKeepsTheRectangleAsDisplayed) {
    PxImage img(100, 50, 24);
    Fill(img, false);
    img.SetXDPI(300);
    PxImage orig(img), part;
    ASSERT_TRUE(img.Crop(0, 0, 10, 10, &part));
    ASSERT_EQ(part.GetWidth(), 10u);
    ASSERT_EQ(part.GetHeight(), 10u);
    for (LONG y = 0; y < 10; ++y)  // the top ten rows as seen are stored rows 40-49
        for (LONG x = 0; x < 10; ++x) ASSERT_EQ(Pixel(part, x, y), Pixel(orig, x, 40 + y));
    EXPECT_EQ(part.GetXDPI(), 96);               // a crop starts with a fresh information block
    ASSERT_TRUE(img.Crop(10, 10, 0, 0, &part));  // corners in any order
    EXPECT_EQ(Pixel(part, 0, 0), Pixel(orig, 0, 40));

    EXPECT_FALSE(img.Crop(5, 5, 5, 20));
    EXPECT_FALSE(img.Crop(200, 0, 300, 10));
    ASSERT_TRUE(img.Crop(RECT{-10, -10, 1000, 1000}));
    EXPECT_TRUE(SameDib(img, orig));

    // Packed pixels at odd offsets, with alpha, palette and transparent index.
    for (WORD bpp : {WORD{1}, WORD{4}}) {
        SCOPED_TRACE(bpp);
        PxImage packed(21, 9, bpp);
        Fill(packed, true);
        packed.SetTransIndex(1);
        ASSERT_TRUE(packed.Crop(3, 2, 16, 7, &part));
        ASSERT_EQ(part.GetWidth(), 13u);
        ASSERT_EQ(part.GetHeight(), 5u);
        EXPECT_EQ(part.GetTransIndex(), 1);
        EXPECT_TRUE(part.IsSamePalette(packed));
        for (LONG y = 0; y < 5; ++y)
            for (LONG x = 0; x < 13; ++x) ASSERT_EQ(Pixel(part, x, y), Pixel(packed, x + 3, y + 2)) << x << "," << y;
    }
}

TEST(Geometry, ExpandPlacesPictureOnCanvas) {
    PxImage img(10, 10, 24);
    Fill(img, true);
    const RGBQUAD canvas{1, 2, 3, 0};
    PxImage big;
    ASSERT_TRUE(img.Expand(2, 3, 4, 5, canvas, &big));
    ASSERT_EQ(big.GetWidth(), 16u);
    ASSERT_EQ(big.GetHeight(), 18u);
    EXPECT_FALSE(big.AlphaIsValid());
    for (LONG y = 0; y < 18; ++y)
        for (LONG x = 0; x < 16; ++x) {
            const bool inside = x >= 2 && x < 12 && y >= 5 && y < 15;
            const uint64_t want = inside ? Pixel(img, x - 2, y - 5) & 0xFFFFFFFF : 0x030201;
            ASSERT_EQ(Pixel(big, x, y), want) << x << "," << y;
        }
    EXPECT_FALSE(img.Expand(-1, 0, 0, 0, canvas));
    EXPECT_FALSE(img.Expand(9, 20, canvas));

    // Indexed: the canvas is the nearest palette entry; the sized form centres the picture.
    PxImage pal(5, 3, 4);
    Fill(pal, false);
    ASSERT_TRUE(pal.Expand(10, 8, pal.GetPaletteColor(6)));  // left 2, right 3, top 2, bottom 3
    ASSERT_EQ(pal.GetWidth(), 10u);
    EXPECT_EQ(pal.GetPixelIndex(0, 0), 6);
    EXPECT_EQ(pal.GetPixelIndex(9, 7), 6);
    EXPECT_EQ(pal.GetPixelIndex(7, 5), 6);
    EXPECT_EQ(pal.GetPixelIndex(2, 3), Pattern(0, 0, 4));
    EXPECT_EQ(pal.GetPixelIndex(6, 5), Pattern(4, 2, 4));
}

TEST(Geometry, RotatedRectangleCropAndBadInputs) {
    PxImage img(40, 30, 8);
    Fill(img, false);
    PxImage straight, tilted, orig(img), empty;
    ASSERT_TRUE(img.Crop(5, 6, 15, 26, &straight));
    ASSERT_TRUE(img.CropRotatedRectangle(5, 6, 10, 20, 0.0001f, &tilted));
    EXPECT_TRUE(SameDib(tilted, straight));
    EXPECT_FALSE(img.CropRotatedRectangle(5, 6, 100, 20, 0.3f));  // far corner outside
    EXPECT_FALSE(img.CropRotatedRectangle(-5, 6, 10, 20, 0.3f));
    EXPECT_TRUE(SameDib(img, orig));

    // A rectangle drawn at an angle (as displayed, y down) comes out upright: apart from a
    // rounding border only its own colour remains.
    for (float angle : {0.3f, -0.3f}) {
        SCOPED_TRACE(angle);
        const double c = std::cos(angle), s = std::sin(angle);
        PxImage scene(100, 100, 24), upright;
        for (LONG yd = 0; yd < 100; ++yd)
            for (LONG x = 0; x < 100; ++x) {
                const double u = (x - 40) * c + (yd - 30) * s, v = -(x - 40) * s + (yd - 30) * c;
                const bool inside = u >= 0 && u <= 30 && v >= 0 && v <= 20;
                scene.SetPixelColor(x, 99 - yd, inside ? RGBQUAD{40, 80, 120, 0} : RGBQUAD{255, 255, 255, 0});
            }
        ASSERT_TRUE(scene.CropRotatedRectangle(40, 30, 30, 20, angle, &upright));
        EXPECT_NEAR(upright.GetWidth(), 30, 1);
        EXPECT_NEAR(upright.GetHeight(), 20, 1);
        for (LONG y = 2; y < LONG(upright.GetHeight()) - 2; ++y)
            for (LONG x = 2; x < LONG(upright.GetWidth()) - 2; ++x)
                ASSERT_EQ(Pixel(upright, x, y), 0x785028u) << x << "," << y;
    }
    EXPECT_FALSE(empty.Flip() || empty.Mirror() || empty.RotateLeft() || empty.Rotate180() || empty.Crop(0, 0, 1, 1) ||
                 empty.Expand(1, 1, 1, 1, RGBQUAD{}));
}
