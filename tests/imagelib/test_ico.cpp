// The icon reader and writer: files from ImageMagick, Pillow and netpbm, the mask rules, and
// headers that must be refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imagelib/codecs/PxIcoCodec.h"
#include "platform/le.h"
#include "peertest.h"
#include "tooltest.h"

namespace {

// A one-entry icon of a bitmap: w x h at `bits`, the palette, pixel rows and mask as given.
Bytes Icon(BYTE w, BYTE h, WORD bits, const Bytes& palette, const Bytes& pixels, const Bytes& mask) {
    Bytes f(6 + 16 + 40);
    le::put16(&f[2], 1);
    le::put16(&f[4], 1);
    f[6] = w, f[7] = h;
    le::put16(&f[6 + 6], bits);
    le::put32(&f[6 + 8], static_cast<DWORD>(40 + palette.size() + pixels.size() + mask.size()));
    le::put32(&f[6 + 12], 22);
    le::put32(&f[22], 40);
    le::put32(&f[26], w ? w : 256);
    le::put32(&f[30], 2u * (h ? h : 256));
    le::put16(&f[34], 1);
    le::put16(&f[36], bits);
    f.insert(f.end(), palette.begin(), palette.end());
    f.insert(f.end(), pixels.begin(), pixels.end());
    f.insert(f.end(), mask.begin(), mask.end());
    return f;
}

}  // namespace

TEST(Ico, ImageMagickIconsLoadWithTheirPixelsAndTransparency) {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick (convert) missing";
    TempDir dir;
    ASSERT_EQ(Shell("convert rose: -resize 23x15\\! '" + dir.File("rgb.ppm") + "'"), 0);
    struct Case {
        const char* name;
        std::string options;
        WORD bpp;
    } cases[] = {
        {"c2.ico", "-colors 2 -type Palette", 1},
        {"c16.ico", "-colors 16 -type Palette", 4},
        {"c200.ico", "-colors 200 -type Palette", 8},
        {"rgb.ico", "", 24},
        {"alpha.ico", "-alpha set -channel A -fx 'i/w'", 24},
        {"mask.ico", "-alpha set -channel A -fx 'i<5?0:1'", 24},
        {"png256.ico", "-resize 256x256\\!", 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.File(c.name);
        ASSERT_EQ(Shell("convert '" + dir.File("rgb.ppm") + "' " + c.options + " '" + file + "'"), 0);
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), 0)) << img.GetLastError();
        EXPECT_EQ(img.GetType(), static_cast<DWORD>(PXIMAGE_FORMAT_ICO));
        EXPECT_EQ(img.GetBpp(), c.bpp);
        EXPECT_EQ(MaxDifference(img, Render(file)), 0);
        if (img.AlphaIsValid()) {
            EXPECT_LE(AlphaDifference(img, RenderAlpha(file)), 1);
        }
    }

    // Three sizes in one file: three frames, each its own entry.
    const std::string multi = dir.File("multi.ico");
    ASSERT_EQ(Shell("convert '" + dir.File("rgb.ppm") + "' \\( +clone -resize 8x6\\! \\) \\( +clone -resize 4x3\\! \\) '" +
                    multi + "'"),
              0);
    PxImage second;
    second.SetFrame(1);
    ASSERT_TRUE(second.Load(multi.c_str(), PXIMAGE_FORMAT_ICO)) << second.GetLastError();
    EXPECT_EQ(second.GetNumFrames(), 3);
    EXPECT_EQ(second.GetWidth(), 8u);
    EXPECT_EQ(MaxDifference(second, Render(multi + "[1]")), 0);
    PxImage beyond;
    beyond.SetFrame(3);
    EXPECT_FALSE(beyond.Load(multi.c_str(), PXIMAGE_FORMAT_ICO));
    EXPECT_EQ(beyond.GetNumFrames(), 3);
}

TEST(Ico, PillowAndNetpbmIconsLoad) {
    TempDir dir;
    if (HaveTool("/usr/bin/python3") && Shell("/usr/bin/python3 -c 'import PIL'") == 0) {
        // Pillow writes PNG entries only, here with a transparent left half.
        const std::string file = dir.File("pil.ico");
        ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; im = Image.new('RGBA', (40, 30)); "
                        "[im.putpixel((x, y), (x * 6, y * 8, 100, 0 if x < 20 else 255)) for x in range(40) for y in range(30)]; "
                        "im.save('" + file + "', sizes=[(40, 30)])\""),
                  0);
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), 0)) << img.GetLastError();
        EXPECT_EQ(img.GetType(), static_cast<DWORD>(PXIMAGE_FORMAT_ICO));
        ASSERT_EQ(img.GetWidth(), 40u);
        ASSERT_TRUE(img.AlphaIsValid());
        EXPECT_EQ(img.AlphaGet(3, 10), 0);
        EXPECT_EQ(img.AlphaGet(30, 10), 255);
        const RGBQUAD c = img.GetPixelColor(30, 29 - 7, false);
        EXPECT_EQ(c.rgbRed, 180);
        EXPECT_EQ(c.rgbGreen, 56);
        EXPECT_EQ(c.rgbBlue, 100);
    } else {
        std::printf("Pillow missing: its icons are not checked\n");
    }

    if (!HaveTool("ppmtowinicon") || !HaveTool("convert")) GTEST_SKIP() << "netpbm or ImageMagick missing";
    // ppmtowinicon: 16 colours with an AND mask of the left columns.
    const std::string ppm = dir.File("in.ppm"), pgm = dir.File("mask.pgm"), ico = dir.File("netpbm.ico");
    ASSERT_EQ(Shell("convert rose: -resize 16x16\\! -colors 16 '" + ppm + "'"), 0);
    ASSERT_EQ(Shell("convert -size 16x16 xc:white -fill black -draw 'rectangle 0,0 3,15' '" + pgm + "'"), 0);
    ASSERT_EQ(Shell("ppmtowinicon -andpgms '" + ppm + "' '" + pgm + "' > '" + ico + "'"), 0);
    PxImage img;
    ASSERT_TRUE(img.Load(ico.c_str(), 0)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), static_cast<DWORD>(PXIMAGE_FORMAT_ICO));
    const Ppm source = Render(ppm);
    int worst = 0;
    for (LONG y = 0; y < 16; ++y)
        for (LONG x = 4; x < 16; ++x) {
            const RGBQUAD a = img.GetPixelColor(x, 15 - y, false), b = source.At(x, y);
            worst = std::max({worst, std::abs(a.rgbRed - b.rgbRed), std::abs(a.rgbGreen - b.rgbGreen),
                              std::abs(a.rgbBlue - b.rgbBlue)});
        }
    EXPECT_EQ(worst, 0);
    for (LONG y = 0; y < 16; ++y) {
        EXPECT_TRUE(img.IsTransparent(0, y));
        EXPECT_TRUE(img.IsTransparent(3, y));
        EXPECT_FALSE(img.IsTransparent(4, y));
    }
}

TEST(Ico, OurIconsReadBackAndInOtherTools) {
    TempDir dir;
    // 4-bit with a transparent index: the mask marks those pixels, and reading gives them back.
    PxImage pal(16, 16, 4);
    for (BYTE i = 0; i < 16; ++i) pal.SetPaletteColor(i, BYTE(i * 16), BYTE(255 - i * 16), BYTE(i * 5));
    for (LONG y = 0; y < 16; ++y)
        for (LONG x = 0; x < 16; ++x) pal.SetPixelIndex(x, y, BYTE((x + y) % 15));
    pal.SetPixelIndex(2, 3, 15);
    pal.SetPixelIndex(9, 9, 15);
    pal.SetTransIndex(15);
    const std::string p4 = dir.File("pal.ico");
    ASSERT_TRUE(pal.Save(p4.c_str(), PXIMAGE_FORMAT_ICO)) << pal.GetLastError();
    PxImage back;
    ASSERT_TRUE(back.Load(p4.c_str(), PXIMAGE_FORMAT_ICO));
    EXPECT_EQ(back.GetBpp(), 4);
    EXPECT_TRUE(back.IsTransparent(2, 3));
    EXPECT_TRUE(back.IsTransparent(9, 9));
    EXPECT_FALSE(back.IsTransparent(3, 3));
    EXPECT_EQ(back.GetPixelIndex(5, 7), pal.GetPixelIndex(5, 7));

    // 24-bit with alpha goes out at 32 bits.
    PxImage rgba(20, 12, 24);
    rgba.AlphaCreate();
    for (LONG y = 0; y < 12; ++y)
        for (LONG x = 0; x < 20; ++x) {
            rgba.SetPixelColor(x, y, RGBQUAD{BYTE(x * 12), BYTE(y * 20), 77, 0});
            rgba.AlphaSet(x, y, BYTE(x * 13));
        }
    const std::string p32 = dir.File("rgba.ico");
    ASSERT_TRUE(rgba.Save(p32.c_str(), PXIMAGE_FORMAT_ICO));
    ASSERT_TRUE(back.Load(p32.c_str(), 0));
    ASSERT_TRUE(back.AlphaIsValid());
    EXPECT_EQ(back.AlphaGet(7, 4), 91);
    EXPECT_EQ(back.AlphaGet(0, 4), 0);

    PxImage big(300, 300, 24);
    EXPECT_FALSE(big.Save(dir.File("big.ico").c_str(), PXIMAGE_FORMAT_ICO));
    EXPECT_STREQ(big.GetLastError(), "Can't save this image as icon");

    if (HavePillow()) {
        EXPECT_EQ(MaxDifference(rgba, PillowRender(p32)), 0);
        EXPECT_EQ(MaxDifference(pal, PillowRender(p4)), 0);
    }
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick (convert) missing";
    EXPECT_EQ(MaxDifference(rgba, Render(p32)), 0);
    EXPECT_LE(AlphaDifference(rgba, RenderAlpha(p32)), 0);
    const Bytes alpha4 = RenderAlpha(p4);
    ASSERT_EQ(alpha4.size(), 256u);
    EXPECT_EQ(alpha4[(15 - 3) * 16 + 2], 0);
    EXPECT_EQ(alpha4[(15 - 3) * 16 + 3], 255);
    const Ppm seen = Render(p4);
    ASSERT_EQ(seen.w, 16);
    const RGBQUAD c = seen.At(5, 15 - 7), want = pal.GetPixelColor(5, 7);
    EXPECT_EQ(c.rgbRed, want.rgbRed);
    EXPECT_EQ(c.rgbGreen, want.rgbGreen);
    EXPECT_EQ(c.rgbBlue, want.rgbBlue);
}

TEST(Ico, MaskRules) {
    const Bytes pal2 = {0, 0, 0, 0, 255, 255, 255, 0};
    // 1-bit 8 x 2, both indices used: the mask stays as alpha.
    {
        PxImage img;
        ASSERT_TRUE(DecodeBytes(img, Icon(8, 2, 1, pal2, {0x0F, 0, 0, 0, 0xF0, 0, 0, 0}, {0x80, 0, 0, 0, 0, 0, 0, 0}), PXIMAGE_FORMAT_ICO));
        ASSERT_TRUE(img.AlphaIsValid());
        EXPECT_EQ(img.AlphaGet(0, 0), 0);
        EXPECT_EQ(img.AlphaGet(1, 0), 255);
        EXPECT_FALSE(img.IsTransparent());
    }
    // Only index 0 used: masked pixels get index 1, the first free one, which turns transparent.
    {
        PxImage img;
        ASSERT_TRUE(DecodeBytes(img, Icon(8, 2, 1, pal2, Bytes(8, 0), {0xC0, 0, 0, 0, 0, 0, 0, 0}), PXIMAGE_FORMAT_ICO));
        EXPECT_FALSE(img.AlphaIsValid());
        EXPECT_EQ(img.GetTransIndex(), 1);
        EXPECT_EQ(img.GetPixelIndex(1, 0), 1);
        EXPECT_EQ(img.GetPixelIndex(2, 0), 0);
    }
    // An all-0xFF mask inverts the picture.
    {
        PxImage img;
        ASSERT_TRUE(DecodeBytes(img, Icon(8, 2, 1, pal2, {0x0F, 0, 0, 0, 0, 0, 0, 0}, Bytes(8, 0xFF)), PXIMAGE_FORMAT_ICO));
        EXPECT_EQ(img.GetTransIndex(), 0);
        const RGBQUAD left = img.GetPixelColor(0, 0, false), right = img.GetPixelColor(7, 0, false);
        EXPECT_EQ(left.rgbRed, 255);
        EXPECT_EQ(right.rgbRed, 0);
    }
    // 24-bit: one colour under the whole mask becomes the transparent colour.
    {
        Bytes px(2 * 12, 0);
        for (int i = 0; i < 3; ++i) px[3 + i] = 200;  // pixel (1, 0) differs, not masked
        PxImage img;
        ASSERT_TRUE(DecodeBytes(img, Icon(4, 2, 24, {}, px, {0xA0, 0, 0, 0, 0xF0, 0, 0, 0}), PXIMAGE_FORMAT_ICO));
        EXPECT_FALSE(img.AlphaIsValid());
        EXPECT_TRUE(img.IsTransparent());
        EXPECT_EQ(img.GetTransColor().rgbRed, 0);
    }
    // 8-bit using all 256 indices keeps the mask as alpha.
    {
        Bytes pal(1024), px(16 * 16), mask(16 * 4, 0);
        for (int i = 0; i < 256; ++i) px[static_cast<size_t>(i)] = BYTE(i);
        mask[0] = 0x80;
        PxImage img;
        ASSERT_TRUE(DecodeBytes(img, Icon(16, 16, 8, pal, px, mask), PXIMAGE_FORMAT_ICO));
        ASSERT_TRUE(img.AlphaIsValid());
        EXPECT_EQ(img.AlphaGet(0, 0), 0);
        EXPECT_FALSE(img.IsTransparent());
    }
    // A side byte of 0 is 256 pixels.
    {
        PxImage img;
        ASSERT_TRUE(DecodeBytes(img, Icon(0, 1, 24, {}, Bytes(256 * 3), Bytes(32)), PXIMAGE_FORMAT_ICO));
        EXPECT_EQ(img.GetWidth(), 256u);
    }
}

TEST(Ico, BadFilesAreRefused) {
    PxImage img;
    // A bad header and a frame outside the directory say nothing; later failures say why.
    Bytes good = Icon(8, 2, 1, {0, 0, 0, 0, 255, 255, 255, 0}, Bytes(8), Bytes(8));
    Bytes bad = good;
    bad[2] = 3;
    EXPECT_FALSE(DecodeBytes(img, bad, PXIMAGE_FORMAT_ICO));
    EXPECT_STREQ(img.GetLastError(), "");
    EXPECT_FALSE(DecodeBytes(img, good, PXIMAGE_FORMAT_ICO, 1));
    EXPECT_STREQ(img.GetLastError(), "");
    bad = good;
    le::put32(&bad[6 + 12], 0x7FFFFFF0);  // entry beyond the file
    EXPECT_FALSE(DecodeBytes(img, bad, PXIMAGE_FORMAT_ICO, 0));
    EXPECT_STRNE(img.GetLastError(), "");
    // A truncated mask still gives the picture.
    EXPECT_TRUE(DecodeBytes(img, Bytes(good.begin(), good.end() - 3), PXIMAGE_FORMAT_ICO, 0));
}
