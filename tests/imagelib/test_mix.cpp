// Mixing a second image into an image with each operation, offsets, selection and alpha, and
// pasting without the transparent colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "imagelib/pximage.h"

#include "imagetest.h"

namespace {

struct MixImage : SelectableImage {
    using SelectableImage::SelectableImage;
};




}  // namespace

TEST(Mix, ArithmeticAndBitwiseOps) {
    PxImage a(2, 2, 24), b(2, 2, 24);
    Fill(a, Rgb(128, 200, 0x0F));
    Fill(b, Rgb(128, 100, 0x3C));
    struct Case {
        PxImage::ImageOpType op;
        int r, g, bl;
    } cases[] = {
        {PxImage::OpAdd, 255, 255, 0x4B},       {PxImage::OpSub, 0, 100, 0},
        {PxImage::OpAnd, 128, 200 & 100, 0x0C}, {PxImage::OpOr, 128, 200 | 100, 0x3F},
        {PxImage::OpXor, 0, 200 ^ 100, 0x33},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.op));
        PxImage d(a);
        d.Mix(b, c.op);
        ExpectRgb(d, 1, 1, c.r, c.g, c.bl);
    }
    PxImage self(a);
    self.Mix(a, PxImage::OpSub);
    ExpectRgb(self, 0, 0, 0, 0, 0);

    PxImage same(a);
    same.Mix(b, static_cast<PxImage::ImageOpType>(10), 0, 0, true);
    ExpectRgb(same, 0, 0, 128, 200, 0x0F);
    PxImage far(a);
    far.Mix(b, PxImage::OpAdd, 2, 0);  // no column of b left
    ExpectRgb(far, 0, 0, 128, 200, 0x0F);
}

TEST(Mix, OffsetsAndSelectionOfBothImages) {
    MixImage dst(3, 1, 24);
    MixImage src(3, 1, 24);
    src.SetPixelColor(0, 0, Rgb(10, 0, 0));
    src.SetPixelColor(1, 0, Rgb(20, 0, 0));
    src.SetPixelColor(2, 0, Rgb(30, 0, 0));
    dst.Mix(src, PxImage::OpAdd, 1, 0);  // W = min(3, 3 - 1) = 2
    ExpectRgb(dst, 0, 0, 20, 0, 0);
    ExpectRgb(dst, 1, 0, 30, 0, 0);
    ExpectRgb(dst, 2, 0, 0, 0, 0);

    MixImage d2(3, 1, 24);
    d2.Select(0, 0, 2, 1);
    src.Select(1, 0, 3, 1);
    d2.Mix(src, PxImage::OpAdd, 0, 0);  // only x = 1 passes both tests
    ExpectRgb(d2, 0, 0, 0, 0, 0);
    ExpectRgb(d2, 1, 0, 20, 0, 0);
    ExpectRgb(d2, 2, 0, 0, 0, 0);
}

TEST(Mix, BackgroundAwareOps) {
    PxImage a(2, 1, 24), b(2, 1, 24);
    a.SetTransColor(Rgb(5, 5, 5));
    a.SetPixelColor(0, 0, Rgb(5, 5, 5));  // equals the background
    a.SetPixelColor(1, 0, Rgb(25, 25, 25));
    Fill(b, Rgb(0, 0, 0));
    PxImage m(a);
    m.Mix(b, PxImage::OpMask);
    ExpectRgb(m, 1, 0, 5, 5, 5);

    b.SetPixelColor(0, 0, Rgb(100, 110, 120));
    b.SetPixelColor(1, 0, Rgb(7, 8, 9));
    PxImage sc(a);
    sc.Mix(b, PxImage::OpSrcCopy);
    ExpectRgb(sc, 0, 0, 100, 110, 120);
    ExpectRgb(sc, 1, 0, 25, 25, 25);

    // D = 20 from the background: kept. Closer (D = 8): blended with the second image's blue.
    PxImage sb(a);
    sb.Mix(b, PxImage::OpSrcBlend);
    ExpectRgb(sb, 0, 0, 100, 110, 120);
    ExpectRgb(sb, 1, 0, 25, 25, 25);
    PxImage near(a);
    near.SetPixelColor(1, 0, Rgb(13, 13, 13));
    near.Mix(b, PxImage::OpSrcBlend);
    // large = 8 / 16, small = 8 / 16 * 9: 0.5 * 13 + 4.5 = 11.
    ExpectRgb(near, 1, 0, 11, 11, 11);

    PxImage dc(a);
    PxImage bgsrc(2, 1, 24);
    bgsrc.SetPixelColor(1, 0, Rgb(5, 5, 5));
    dc.Mix(bgsrc, PxImage::OpDstCopy);
    ExpectRgb(dc, 0, 0, 0, 0, 0);
    ExpectRgb(dc, 1, 0, 25, 25, 25);
}

TEST(Mix, ScreenUsesTheSecondImagesAlphaAndTransparency) {
    PxImage a(3, 1, 24), b(3, 1, 24);
    Fill(a, Rgb(0, 0, 0));
    Fill(b, Rgb(200, 100, 40));
    PxImage plain(a);
    plain.Mix(b, PxImage::OpScreen);
    ExpectRgb(plain, 2, 0, 200, 100, 40);

    b.AlphaCreate();
    b.AlphaSet(0, 0, 0);
    b.AlphaSet(1, 0, 127);  // s = (127 * 256) >> 8 = 127
    PxImage half(a);
    half.Mix(b, PxImage::OpScreen, 0, 0, true);
    ExpectRgb(half, 0, 0, 0, 0, 0);  // alpha 0 reports transparent
    ExpectRgb(half, 1, 0, (200 * 127) >> 8, (100 * 127) >> 8, (40 * 127) >> 8);
    ExpectRgb(half, 2, 0, 200, 100, 40);
    ASSERT_TRUE(half.AlphaIsValid());  // mixing alpha created the plane
    EXPECT_EQ(half.AlphaGet(1, 0), (127 * 256) >> 8);
    EXPECT_EQ(half.AlphaGet(0, 0), 0);
}

TEST(Mix, MixFromSkipsTheTransparentColour) {
    PxImage dst(3, 2, 24);
    Fill(dst, Rgb(1, 1, 1));
    PxImage src(2, 2, 24);
    Fill(src, Rgb(9, 9, 9));
    src.SetPixelColor(0, 0, Rgb(50, 60, 70));
    src.SetTransColor(Rgb(9, 9, 9));
    dst.MixFrom(src, 2, 0);  // column 1 of src falls outside
    ExpectRgb(dst, 2, 0, 50, 60, 70);
    ExpectRgb(dst, 2, 1, 1, 1, 1);
    ExpectRgb(dst, 1, 0, 1, 1, 1);
}

TEST(Mix, TallImagesOnWorkerThreadsFollowThePixelRules) {
    // Enough rows for every worker thread; both selections, an offset, the second image's alpha.
    const LONG w = 37, h = 90, ox = 3, oy = 5;
    auto random = [](PxImage& img, uint32_t seed) {
        for (DWORD y = 0; y < img.GetHeight(); y++)
            for (DWORD i = 0; i < img.GetWidth() * 3; i++) {
                seed = seed * 1103515245u + 12345u;
                img.GetBits(y)[i] = static_cast<BYTE>(seed >> 16);
            }
    };
    MixImage second(w + 4, h + 2, 24);
    random(second, 2);
    second.AlphaCreate();
    for (LONG y = 0; y < h + 2; y++)
        for (LONG x = 0; x < w + 4; x++) second.AlphaSet(x, y, static_cast<BYTE>((x * 37 + y * 11) & 255));
    second.Select(1, 2, w + 3, h + 1);
    for (PxImage::ImageOpType op : {PxImage::OpAdd, PxImage::OpSub, PxImage::OpScreen}) {
        SCOPED_TRACE(static_cast<int>(op));
        MixImage img(w, h, 24);
        random(img, 7);
        img.Select(2, 1, w - 1, h - 3);
        MixImage before(img);
        before.AlphaCreate();  // what Mix does first for an image without alpha
        img.Mix(second, op, ox, oy, true);
        for (LONG y = 0; y < h; y++)
            for (LONG x = 0; x < w; x++) {
                const RGBQUAD a = before.GetPixelColor(x, y, true);
                RGBQUAD want = a;
                if (before.SelectionIsInside(x, y) && second.SelectionIsInside(x + ox, y + oy) && x < w + 4 - ox &&
                    y < h + 2 - oy) {
                    const RGBQUAD b = second.GetPixelColor(x + ox, y + oy, true);
                    const BYTE av[4] = {a.rgbBlue, a.rgbGreen, a.rgbRed, a.rgbReserved};
                    const BYTE bv[4] = {b.rgbBlue, b.rgbGreen, b.rgbRed, b.rgbReserved};
                    BYTE d[4];
                    const int s = (second.AlphaGet(x + ox, y + oy) * 256) >> 8;
                    for (int i = 0; i < 4; i++) {
                        if (op == PxImage::OpAdd)
                            d[i] = static_cast<BYTE>(std::min(255, av[i] + bv[i]));
                        else if (op == PxImage::OpSub)
                            d[i] = static_cast<BYTE>(std::max(0, av[i] - bv[i]));
                        else if (i == 3)
                            d[i] = static_cast<BYTE>((s * (av[3] + 1)) >> 8);
                        else
                            d[i] = s == 0     ? av[i]
                                   : s == 255 ? bv[i]
                                              : static_cast<BYTE>((bv[i] * s + av[i] * (255 - s)) >> 8);
                    }
                    want = RGBQUAD{d[0], d[1], d[2], d[3]};
                }
                const RGBQUAD got = img.GetPixelColor(x, y, true);
                ASSERT_TRUE(got.rgbRed == want.rgbRed && got.rgbGreen == want.rgbGreen && got.rgbBlue == want.rgbBlue &&
                            got.rgbReserved == want.rgbReserved)
                    << x << "," << y;
            }
    }
}
