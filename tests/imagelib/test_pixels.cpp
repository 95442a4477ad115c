// Pixels and palette: packing, outside reads, nearest colour, lines and palette building.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "imagelib/pximage.h"

namespace {

bool Same(RGBQUAD a, RGBQUAD b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class OpenImage : public PxImage {
public:
    using PxImage::PxImage;
    using PxImage::RGBtoBGR;
};

}  // namespace

TEST(Pixels, IndexPackingKeepsNeighbours) {
    PxImage nib(4, 2, 4);
    nib.GetBits()[0] = 0xA0;
    nib.SetPixelIndex(1, 0, 0x1F);
    EXPECT_EQ(nib.GetBits()[0], 0xAF);
    nib.SetPixelIndex(0, 0, 3);
    EXPECT_EQ(nib.GetBits()[0], 0x3F);
    EXPECT_EQ(nib.GetPixelIndex(0, 0), 3);
    EXPECT_EQ(nib.GetPixelIndex(1, 0), 15);

    PxImage bit(10, 2, 1);
    bit.SetPixelIndex(0, 1, 1);
    bit.SetPixelIndex(9, 1, 3);  // only the low bit counts
    EXPECT_EQ(bit.GetBits(1)[0], 0x80);
    EXPECT_EQ(bit.GetBits(1)[1], 0x40);
    EXPECT_EQ(bit.GetPixelIndex(9, 1), 1);
    EXPECT_EQ(bit.GetPixelIndex(8, 1), 0);
    bit.SetPixelIndex(0, 1, 0);
    EXPECT_EQ(bit.GetBits(1)[0], 0x00);

    PxImage rgb(2, 2, 24);
    rgb.SetPixelIndex(0, 0, 5);  // no palette: ignored
    EXPECT_EQ(rgb.GetPixelIndex(0, 0), 0);
}

TEST(Pixels, OutsideReadsGiveThePixelAtTheOriginOrTheTransparentIndex) {
    PxImage img(3, 3, 8);
    img.SetPixelIndex(0, 0, 42);
    EXPECT_EQ(img.GetPixelIndex(-1, 0), 42);
    img.SetTransIndex(5);
    EXPECT_EQ(img.GetPixelIndex(-1, 0), 5);
    img.SetTransIndex(999);  // outside the palette: never returned as an index
    EXPECT_EQ(img.GetPixelIndex(3, 0), 42);

    // Packed depths unpack pixel (0, 0) rather than returning the raw byte.
    PxImage nib(3, 1, 4);
    nib.GetBits()[0] = 0x9C;
    EXPECT_EQ(nib.GetPixelIndex(-1, 0), 9);
    PxImage bit(3, 1, 1);
    bit.GetBits()[0] = 0xC0;
    EXPECT_EQ(bit.GetPixelIndex(5, 5), 1);

    PxImage rgb(2, 2, 24);
    rgb.SetPixelColor(0, 0, RGBQUAD{1, 2, 3, 0});
    EXPECT_TRUE(Same(rgb.GetPixelColor(7, 7), RGBQUAD{1, 2, 3, 0}));
    rgb.SetTransIndex(0);
    rgb.SetTransColor(RGBQUAD{9, 9, 9, 0});
    EXPECT_TRUE(Same(rgb.GetPixelColor(7, 7), RGBQUAD{9, 9, 9, 0}));

    PxImage pal(2, 2, 8);
    pal.SetPaletteColor(4, 10, 20, 30, 40);
    pal.SetTransIndex(4);
    EXPECT_EQ(pal.GetPixelColor(-3, 0).rgbRed, 10);
    pal.SetTransIndex(300);
    pal.SetTransColor(RGBQUAD{5, 5, 5, 0});
    EXPECT_EQ(pal.GetPixelColor(-3, 0).rgbRed, 5);
    EXPECT_FALSE(pal.IsTransparent(0, 0));
}

TEST(Pixels, ColoursAlphaAndGray) {
    PxImage rgb(3, 3, 24);
    rgb.SetPixelColor(1, 2, RGBQUAD{10, 20, 30, 99}, true);  // no plane: alpha ignored
    EXPECT_TRUE(Same(rgb.GetPixelColor(1, 2), RGBQUAD{10, 20, 30, 0}));
    rgb.AlphaCreate();
    rgb.SetPixelColor(1, 2, RGBQUAD{10, 20, 30, 99}, true);
    EXPECT_EQ(rgb.GetPixelColor(1, 2).rgbReserved, 99);
    EXPECT_EQ(rgb.GetPixelColor(1, 2, false).rgbReserved, 0);
    EXPECT_EQ(rgb.GetPixelGray(1, 2), (601 * 20 + 306 * 30 + 117 * 10) >> 10);
    rgb.SetPixelColor(0, 0, RGB(200, 100, 50));
    EXPECT_EQ(rgb.GetPixelColor(0, 0).rgbBlue, 50);

    PxImage pal(2, 1, 1);
    pal.SetPaletteColor(1, 255, 255, 255);
    pal.SetPixelColor(1, 0, RGBQUAD{250, 250, 250, 0});
    EXPECT_EQ(pal.GetPixelIndex(1, 0), 1);
}

TEST(Pixels, BlendAndTransparency) {
    PxImage rgb(2, 1, 24);
    rgb.SetPixelColor(0, 0, RGBQUAD{0, 0, 200, 0});
    rgb.BlendPixelColor(0, 0, RGBQUAD{100, 0, 0, 0}, 0.5f);
    RGBQUAD c = rgb.GetPixelColor(0, 0);
    EXPECT_EQ(c.rgbBlue, 50);
    EXPECT_EQ(c.rgbRed, 100);
    // Factors far out of range and NaN must not crash or overflow.
    rgb.BlendPixelColor(1, 0, RGBQUAD{1, 2, 3, 0}, 1e30f);
    rgb.BlendPixelColor(1, 0, RGBQUAD{1, 2, 3, 0}, std::nanf(""));

    rgb.SetTransIndex(0);
    rgb.SetTransColor(RGBQUAD{0, 0, 0, 0});
    rgb.SetPixelColor(1, 0, RGBQUAD{0, 0, 0, 0});
    EXPECT_TRUE(rgb.IsTransparent(1, 0));
    EXPECT_FALSE(rgb.IsTransparent(0, 0));
    rgb.SetTransIndex(-1);
    rgb.AlphaCreate();
    rgb.AlphaSet(0, 0, 0);
    EXPECT_TRUE(rgb.IsTransparent(0, 0));
    EXPECT_FALSE(rgb.IsTransparent(1, 0));
}

TEST(Pixels, DrawLineFollowsBresenham) {
    PxImage img(5, 3, 8);
    const RGBQUAD white{255, 255, 255, 0};
    img.SetPaletteColor(1, 255, 255, 255);
    img.DrawLine(0, 3, 0, 1, white);
    int count = 0;
    for (LONG y = 0; y < 3; y++)
        for (LONG x = 0; x < 5; x++) count += img.GetPixelIndex(x, y) == 1;
    EXPECT_EQ(count, 4);
    EXPECT_EQ(img.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(img.GetPixelIndex(2, 1), 1);
    EXPECT_EQ(img.GetPixelIndex(3, 1), 1);

    // Steep, reversed and mostly outside: only the inside pixels change.
    img.Clear(0);
    img.DrawLine(4, 4, 10, -10, white);
    for (LONG y = 0; y < 3; y++) EXPECT_EQ(img.GetPixelIndex(4, y), 1);
}

// The plain algorithm, one step per pixel, as the reference for the clipped walk.
static void ReferenceLine(std::vector<std::pair<int, int>>& out, int x0, int x1, int y0, int y1) {
    int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0), sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    int x = x0, y = y0;
    int dmaj = std::max(dx, dy), dmin = std::min(dx, dy), num = dmaj / 2;
    for (int i = 0; i <= dmaj; i++) {
        out.emplace_back(x, y);
        num += dmin;
        if (dx >= dy) x += sx; else y += sy;
        if (num >= dmaj) {
            num -= dmaj;
            if (dx >= dy) y += sy; else x += sx;
        }
    }
}

TEST(Pixels, DrawLineFromOutsideMatchesTheFullWalk) {
    PxImage img(20, 15, 8);
    img.SetPaletteColor(1, 255, 255, 255);
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % 111) - 50;
    };
    for (int n = 0; n < 300; n++) {
        const int x0 = next(), x1 = next(), y0 = next(), y1 = next();
        img.Clear(0);
        img.DrawLine(x0, x1, y0, y1, RGBQUAD{255, 255, 255, 0});
        std::vector<std::pair<int, int>> ref;
        ReferenceLine(ref, x0, x1, y0, y1);
        std::vector<BYTE> want(20 * 15, 0);
        for (auto [x, y] : ref)
            if (x >= 0 && y >= 0 && x < 20 && y < 15) want[y * 20 + x] = 1;
        for (int y = 0; y < 15; y++)
            for (int x = 0; x < 20; x++)
                ASSERT_EQ(img.GetPixelIndex(x, y), want[y * 20 + x]) << x0 << "," << y0 << " -> " << x1 << "," << y1;
    }
    // A line across the whole int range costs no more than one across the image.
    img.Clear(0);
    img.DrawLine(-2000000000, 2000000000, 1, 1, RGB(255, 255, 255));
    for (int x = 0; x < 20; x++) EXPECT_EQ(img.GetPixelIndex(x, 1), 1);
}

TEST(Palette, NearestIndexPrefersTheLowestExactMatchAndRefreshesOnChange) {
    PxImage img(1, 1, 4);
    img.SetPaletteColor(3, 10, 20, 30);
    img.SetPaletteColor(7, 10, 20, 30);
    EXPECT_EQ(img.GetNearestIndex(RGBQUAD{30, 20, 10, 0}), 3);
    img.SetPaletteColor(3, 0, 0, 0);
    EXPECT_EQ(img.GetNearestIndex(RGBQUAD{30, 20, 10, 0}), 7);
    // Colours important limits the search.
    img.SetClrImportant(5);
    EXPECT_NE(img.GetNearestIndex(RGBQUAD{30, 20, 10, 0}), 7);
}

TEST(Palette, GrayStdBlendAndImportant) {
    PxImage bit(1, 1, 1);
    bit.SetGrayPalette();
    EXPECT_EQ(bit.GetPaletteColor(1).rgbRed, 255);
    EXPECT_FALSE(bit.IsGrayScale());
    PxImage nib(1, 1, 4);
    nib.SetGrayPalette();
    EXPECT_EQ(nib.GetPaletteColor(2).rgbGreen, 34);
    PxImage byte(1, 1, 8);
    byte.SetGrayPalette();
    EXPECT_TRUE(byte.IsGrayScale());

    nib.SetStdPalette();
    EXPECT_TRUE(Same(nib.GetPaletteColor(7), RGBQUAD{192, 192, 192, 0}));
    EXPECT_TRUE(Same(nib.GetPaletteColor(12), RGBQUAD{255, 0, 0, 0}));
    byte.SetStdPalette();
    const BYTE red[12][3] = {{255, 212, 212}, {255, 177, 177}, {255, 142, 142}, {255, 107, 107},
                             {255, 72, 72},   {255, 37, 37},   {254, 0, 0},     {220, 0, 0},
                             {185, 0, 0},     {150, 0, 0},     {115, 0, 0},     {80, 0, 0}};
    for (int i = 0; i < 12; i++) {
        RGBQUAD c = byte.GetPaletteColor(static_cast<BYTE>(34 + i));
        EXPECT_EQ(c.rgbRed, red[i][0]) << i;
        EXPECT_EQ(c.rgbGreen, red[i][1]) << i;
        EXPECT_EQ(c.rgbBlue, red[i][2]) << i;
    }
    const BYTE tints[6][3] = {{255, 240, 212}, {255, 226, 177}, {255, 212, 142},
                              {255, 198, 107}, {255, 184, 72},  {255, 170, 37}};
    for (int i = 0; i < 6; i++) {
        RGBQUAD c = byte.GetPaletteColor(static_cast<BYTE>(10 + i));
        EXPECT_EQ(c.rgbGreen, tints[i][1]) << i;
        EXPECT_EQ(c.rgbBlue, tints[i][2]) << i;
    }
    EXPECT_EQ(byte.GetPaletteColor(226).rgbRed, 242);
    EXPECT_EQ(byte.GetPaletteColor(245).rgbRed, 14);
    EXPECT_TRUE(Same(byte.GetPaletteColor(247), RGBQUAD{164, 160, 160, 0}));

    nib.BlendPalette(RGB(1, 2, 3), 150);
    for (int i = 0; i < 16; i++) EXPECT_EQ(PxImage::RGBQUADtoRGB(nib.GetPaletteColor(i)), RGB(1, 2, 3));

    byte.SetClrImportant(300);
    EXPECT_EQ(byte.GetClrImportant(), 0u);
    nib.SetClrImportant(20);
    EXPECT_EQ(nib.GetClrImportant(), 16u);
    bit.SetClrImportant(7);
    EXPECT_EQ(bit.GetClrImportant(), 2u);
}

TEST(Palette, SettersStayInsideThePalette) {
    PxImage nib(2, 1, 4);
    BYTE r[300], g[300];
    for (int i = 0; i < 300; i++) r[i] = g[i] = static_cast<BYTE>(i);
    nib.SetPalette(300, r, g);  // blue follows green
    EXPECT_TRUE(Same(nib.GetPaletteColor(15), RGBQUAD{15, 15, 15, 0}));
    RGBQUAD big[256] = {};
    big[0] = RGBQUAD{1, 2, 3, 4};
    nib.SetPalette(big, 256);
    EXPECT_TRUE(Same(nib.GetPaletteColor(0), RGBQUAD{1, 2, 3, 4}));
    PxImage::rgb_color three[2] = {{9, 8, 7}, {6, 5, 4}};
    nib.SetPalette(three, 2);
    EXPECT_EQ(nib.GetPaletteColor(1).rgbBlue, 4);
    EXPECT_EQ(nib.GetPaletteColor(1).rgbReserved, 0);
    nib.SetPaletteColor(200, 1, 1, 1);  // beyond 16 entries: ignored
    EXPECT_TRUE(Same(nib.GetPaletteColor(200), RGBQUAD{0, 0, 0, 0}));
    BYTE pr = 0;
    EXPECT_FALSE(nib.GetPaletteColor(16, &pr, &pr, &pr));
    PxImage rgb(1, 1, 24);
    EXPECT_EQ(rgb.GetPalette(), nullptr);
    EXPECT_FALSE(rgb.GetPaletteColor(0, &pr, &pr, &pr));
}

TEST(Palette, SwapIndexAndSamePalette) {
    PxImage a(3, 1, 8);
    a.SetPaletteColor(1, 1, 1, 1);
    a.SetPaletteColor(2, 2, 2, 2);
    a.SetPixelIndex(0, 0, 1);
    a.SetPixelIndex(1, 0, 2);
    a.SwapIndex(1, 2);
    EXPECT_EQ(a.GetPixelIndex(0, 0), 2);
    EXPECT_EQ(a.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(a.GetPaletteColor(1).rgbRed, 2);
    EXPECT_EQ(a.GetPixelColor(0, 0).rgbRed, 1);  // same colours on screen

    PxImage b(a);
    EXPECT_TRUE(a.IsSamePalette(b));
    b.SetPaletteColor(5, RGBQUAD{0, 0, 0, 1});
    EXPECT_FALSE(a.IsSamePalette(b));
    EXPECT_TRUE(a.IsSamePalette(b, false));
    PxImage c(3, 1, 4);
    EXPECT_FALSE(a.IsSamePalette(c));
}

TEST(Pixels, RgbToBgrSwapsOnlyWholeGroups) {
    OpenImage img(2, 1, 24);
    BYTE buf[5] = {1, 2, 3, 4, 5};
    img.RGBtoBGR(buf, 5);
    const BYTE expect[5] = {3, 2, 1, 4, 5};
    EXPECT_EQ(std::memcmp(buf, expect, 5), 0);
}
