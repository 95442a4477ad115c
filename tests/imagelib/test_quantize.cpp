// The octree quantizer: exact leaves for few colours, pixel-weighted merging for small requests,
// refused depths, and colour sums too large for 32 bits.
#include <gtest/gtest.h>

#include <vector>

#include "imagelib/ops/quantize/colorquantizer.h"
#include "imagelib/pximage.h"

namespace {

bool Has(const RGBQUAD* table, int n, BYTE r, BYTE g, BYTE b) {
    for (int i = 0; i < n; ++i)
        if (table[i].rgbRed == r && table[i].rgbGreen == g && table[i].rgbBlue == b) return true;
    return false;
}

}  // namespace

TEST(Quantize, FewColoursGiveExactLeaves) {
    PxImage img(4, 3, 24);
    for (LONG x = 0; x < 4; ++x) {
        img.SetPixelColor(x, 0, RGBQUAD{10, 20, 30, 0});
        img.SetPixelColor(x, 1, RGBQUAD{200, 100, 0, 0});
        img.SetPixelColor(x, 2, RGBQUAD{1, 255, 3, 0});
    }
    ColorQuantizer q(16, 8);
    ASSERT_TRUE(q.AddImageColors(img.GetDIB()));
    EXPECT_EQ(q.GetLeafCount(), 3u);
    RGBQUAD table[16] = {};
    q.GetColorTable(table);
    EXPECT_TRUE(Has(table, 3, 30, 20, 10));
    EXPECT_TRUE(Has(table, 3, 0, 100, 200));
    EXPECT_TRUE(Has(table, 3, 3, 255, 1));

    // The palette feeds DecreaseBpp, which then maps every pixel exactly.
    RGBQUAD pal[256] = {};
    q.GetColorTable(pal);
    ASSERT_TRUE(img.DecreaseBpp(8, false, pal, 3));
    EXPECT_EQ(img.GetPixelColor(2, 1).rgbBlue, 200);
    EXPECT_EQ(img.GetPixelColor(0, 2).rgbGreen, 255);

    // Colour bits above 8 count as 8.
    ColorQuantizer wide(16, 12);
    PxImage one(1, 1, 24);
    one.SetPixelColor(0, 0, RGBQUAD{7, 8, 9, 0});
    ASSERT_TRUE(wide.AddImageColors(one.GetDIB()));
    RGBQUAD t[16] = {};
    wide.GetColorTable(t);
    EXPECT_TRUE(Has(t, 1, 9, 8, 7));
}

TEST(Quantize, SmallRequestsMergeLeavesInVisitingOrder) {
    // Leaves in child order: black (1 pixel), blue (3), red (2), white (2).
    PxImage img(8, 1, 8);
    img.SetPaletteColor(0, 0, 0, 0);
    img.SetPaletteColor(1, 0, 0, 255);
    img.SetPaletteColor(2, 255, 0, 0);
    img.SetPaletteColor(3, 255, 255, 255, 40);
    const BYTE idx[8] = {0, 1, 1, 1, 2, 2, 3, 3};
    for (LONG x = 0; x < 8; ++x) img.SetPixelIndex(x, 0, idx[x]);
    ColorQuantizer q(2, 8);
    ASSERT_TRUE(q.AddImageColors(img.GetDIB()));
    EXPECT_EQ(q.GetLeafCount(), 4u) << "the tree keeps up to 16 leaves";
    RGBQUAD t[2] = {};
    q.GetColorTable(t);
    EXPECT_EQ(t[0].rgbRed, 0);
    EXPECT_EQ(t[0].rgbBlue, 255 * 3 / 4);
    EXPECT_EQ(t[1].rgbRed, 255);
    EXPECT_EQ(t[1].rgbGreen, 255 * 2 / 4);
    EXPECT_EQ(t[1].rgbReserved, 40 * 2 / 4) << "palette alpha is averaged too";
}

TEST(Quantize, ReducesToTheLeafLimit) {
    PxImage img(64, 64, 24);
    for (LONG y = 0; y < 64; ++y)
        for (LONG x = 0; x < 64; ++x)
            img.SetPixelColor(x, y,
                              RGBQUAD{static_cast<BYTE>(x * 4), static_cast<BYTE>(y * 4), static_cast<BYTE>(x ^ y), 0});
    ColorQuantizer q(16, 8);
    ASSERT_TRUE(q.AddImageColors(img.GetDIB()));
    EXPECT_LE(q.GetLeafCount(), 16u);
    EXPECT_GE(q.GetLeafCount(), 2u);
    std::vector<RGBQUAD> t(16);
    q.GetColorTable(t.data());
    // Every entry is the mean of real pixels: blue spans 0..252 and green 0..252.
    for (unsigned i = 0; i < q.GetLeafCount(); ++i) {
        EXPECT_LE(t[i].rgbBlue, 252);
        EXPECT_LE(t[i].rgbGreen, 252);
    }
}

TEST(Quantize, RefusedDepthsAndEmptyTrees) {
    PxImage img(2, 2, 24);
    std::vector<BYTE> dib(static_cast<BYTE*>(img.GetDIB()), static_cast<BYTE*>(img.GetDIB()) + img.GetSize());
    dib[14] = 32;  // biBitCount
    ColorQuantizer q(16, 8);
    EXPECT_FALSE(q.AddImageColors(dib.data()));
    EXPECT_EQ(q.GetLeafCount(), 0u);
    RGBQUAD t[16];
    for (auto& e : t) e = RGBQUAD{1, 2, 3, 4};
    q.GetColorTable(t);
    EXPECT_EQ(t[0].rgbBlue, 1) << "an empty tree writes nothing";
}

TEST(Quantize, BrightColourSumsExceedThirtyTwoBits) {
    // 255 x 16.9 million pixels does not fit 32 bits.
    PxImage img(4200, 4011, 8);
    img.SetPaletteColor(0, 255, 255, 255);
    ColorQuantizer q(16, 8);
    ASSERT_TRUE(q.AddImageColors(img.GetDIB()));
    RGBQUAD t[16] = {};
    q.GetColorTable(t);
    EXPECT_EQ(t[0].rgbRed, 255);
    EXPECT_EQ(t[0].rgbGreen, 255);
    EXPECT_EQ(t[0].rgbBlue, 255);
}
