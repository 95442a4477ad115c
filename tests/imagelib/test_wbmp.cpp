// The WBMP reader and writer: sides in the multi-byte form and the old one-byte form, row
// order and bit sense, and files from and for netpbm and ImageMagick.
#include <gtest/gtest.h>

#include <string>

#include "imagelib/codecs/PxWbmpCodec.h"
#include "tooltest.h"

TEST(Wbmp, SidesRowsAndBits) {
    // 10 x 3: two bytes a row, top row first, 1 = white.
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, {0, 0, 10, 3, 0x80, 0x40, 0, 0, 0xFF, 0xC0}, PXIMAGE_FORMAT_WBMP));
    ASSERT_EQ(img.GetWidth(), 10u);
    EXPECT_EQ(img.GetPixelColor(0, 2, false).rgbRed, 255);
    EXPECT_EQ(img.GetPixelColor(1, 2, false).rgbRed, 0);
    EXPECT_EQ(img.GetPixelColor(9, 2, false).rgbRed, 255);
    EXPECT_EQ(img.GetPixelColor(9, 0, false).rgbRed, 255);
    EXPECT_EQ(img.GetPixelColor(4, 1, false).rgbRed, 0);

    // 200 is written 0x81 0x48, and read back so.
    PxImage wide(200, 2, 1);
    wide.SetPixelIndex(199, 1, 1);
    Bytes f = EncodeToBytes(wide, PXIMAGE_FORMAT_WBMP);
    ASSERT_EQ(f.size(), 5u + 2 * 25);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 5), (Bytes{0, 0, 0x81, 0x48, 2}));
    EXPECT_EQ(f[5 + 24], 0x01);
    ASSERT_TRUE(DecodeBytes(img, f, PXIMAGE_FORMAT_WBMP));
    EXPECT_EQ(img.GetWidth(), 200u);
    EXPECT_EQ(img.GetPixelIndex(199, 1), 1);

    // An old file with one-byte sides of 130 x 2 still reads: only that reading fits its length.
    f = {0, 0, 130, 2};
    f.resize(4 + 2 * 17, 0x55);
    ASSERT_TRUE(DecodeBytes(img, f, PXIMAGE_FORMAT_WBMP));
    EXPECT_EQ(img.GetWidth(), 130u);
    EXPECT_EQ(img.GetHeight(), 2u);

    // The writer takes the index bits as they are, whatever the palette says.
    PxImage inverted(8, 1, 1);
    inverted.SetPaletteColor(0, 255, 255, 255);
    inverted.SetPaletteColor(1, 0, 0, 0);
    inverted.SetPixelIndex(0, 0, 1);
    EXPECT_EQ(EncodeToBytes(inverted, PXIMAGE_FORMAT_WBMP), (Bytes{0, 0, 8, 1, 0x80}));
}

TEST(Wbmp, BadFilesAndImagesAreRefused) {
    PxImage img;
    EXPECT_FALSE(DecodeBytes(img, {0, 0, 0, 1, 0}, PXIMAGE_FORMAT_WBMP));
    EXPECT_STREQ(img.GetLastError(), "Corrupted WBMP");
    // Sides whose rows the file cannot hold, in either reading.
    EXPECT_FALSE(DecodeBytes(img, {0, 0, 0x8F, 0xFF, 0x7F, 0, 0, 0}, PXIMAGE_FORMAT_WBMP));
    EXPECT_STREQ(img.GetLastError(), "Corrupted WBMP");

    PxImage four(8, 8, 4), big(256, 2, 1);
    EXPECT_TRUE(EncodeToBytes(four, PXIMAGE_FORMAT_WBMP).empty());
    EXPECT_STREQ(four.GetLastError(), "Can't save this image as WBMP");
    EXPECT_TRUE(EncodeToBytes(big, PXIMAGE_FORMAT_WBMP).empty());
    EXPECT_STREQ(big.GetLastError(), "Can't save this image as WBMP");
}

TEST(Wbmp, FilesOfNetpbmAndImageMagick) {
    if (!HaveTool("convert") || !HaveTool("pbmtowbmp")) GTEST_SKIP() << "ImageMagick or netpbm missing";
    TempDir dir;
    const std::string pbm = dir.File("in.pbm");
    ASSERT_EQ(Shell("convert rose: -resize 201x13\\! -monochrome '" + pbm + "'"), 0);
    const std::string n = dir.File("netpbm.wbmp"), m = dir.File("magick.wbmp");
    ASSERT_EQ(Shell("pbmtowbmp '" + pbm + "' > '" + n + "'"), 0);
    ASSERT_EQ(Shell("convert '" + pbm + "' '" + m + "'"), 0);
    const Ppm source = Render(pbm);
    for (const std::string& file : {n, m}) {
        SCOPED_TRACE(file);
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), 0)) << img.GetLastError();
        EXPECT_EQ(img.GetType(), static_cast<DWORD>(PXIMAGE_FORMAT_WBMP));
        EXPECT_EQ(img.GetWidth(), 201u);
        EXPECT_EQ(MaxDifference(img, source), 0);
        // And our own file reads in both tools as the same picture.
        const std::string ours = file + ".ours.wbmp";
        ASSERT_TRUE(img.Save(ours.c_str(), PXIMAGE_FORMAT_WBMP));
        EXPECT_EQ(MaxDifference(img, Render(ours)), 0);
        ASSERT_EQ(Shell("wbmptopbm '" + ours + "' > '" + ours + ".pbm'"), 0);
        EXPECT_EQ(MaxDifference(img, Render(ours + ".pbm")), 0);
    }
}
