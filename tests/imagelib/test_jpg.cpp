// The JPEG reader and writer: scaling, colour spaces, quantizing, resolution, what it refuses to
// write, broken files, and files exchanged with ImageMagick.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "imagelib/codecs/PxImageJPG.h"
#include "tooltest.h"

namespace {

namespace fs = std::filesystem;

// Mean absolute channel difference between the image and ImageMagick's reading of a file.
double MeanDifference(PxImage& img, const Ppm& ppm) {
    if (ppm.w != static_cast<int>(img.GetWidth()) || ppm.h != static_cast<int>(img.GetHeight())) return 1e9;
    double sum = 0;
    for (int y = 0; y < ppm.h; y++) {
        for (int x = 0; x < ppm.w; x++) {
            const RGBQUAD a = img.GetPixelColor(x, ppm.h - 1 - y, false);
            const BYTE* b = &ppm.rgb[3 * (static_cast<size_t>(y) * ppm.w + x)];
            sum += std::abs(a.rgbRed - b[0]) + std::abs(a.rgbGreen - b[1]) + std::abs(a.rgbBlue - b[2]);
        }
    }
    return sum / (3.0 * ppm.w * ppm.h);
}

PxImage Gradient(DWORD w, DWORD h) {
    PxImage img(w, h, 24, PXIMAGE_FORMAT_JPG);
    for (DWORD y = 0; y < h; y++)
        for (DWORD x = 0; x < w; x++)
            img.SetPixelColor(x, y, RGBQUAD{BYTE(x * 255 / w), BYTE(y * 255 / h), BYTE(128 + x - y), 0});
    return img;
}

// Offset of the first SOFn marker's segment (the 0xFF byte), or 0.
size_t FindSof(const Bytes& jpg) {
    for (size_t i = 2; i + 1 < jpg.size(); i++)
        if (jpg[i] == 0xFF && (jpg[i + 1] == 0xC0 || jpg[i + 1] == 0xC1 || jpg[i + 1] == 0xC2)) return i;
    return 0;
}

// libjpeg's own reading of a file with its default settings, as the DIB's bottom-up rows of a
// colour picture (blue first, no padding).
Bytes LibjpegRows(const Bytes& jpg) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpg.data(), static_cast<unsigned long>(jpg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    Bytes out(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + (cinfo.output_height - 1 - cinfo.output_scanline) * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

}  // namespace

TEST(JpegDecode, ScaleIsRoundedDownToAPowerOfTwoAsTheOldLibraryDid) {
    PxImage src = Gradient(99, 51);
    const Bytes jpg = EncodeToBytes(src, PXIMAGE_FORMAT_JPG);
    ASSERT_FALSE(jpg.empty()) << src.GetLastError();
    const struct {
        BYTE scale;
        DWORD w, h;
    } cases[] = {{0, 99, 51}, {1, 99, 51}, {2, 50, 26}, {3, 50, 26}, {4, 25, 13}, {7, 25, 13}, {8, 13, 7}, {200, 13, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.scale));
        PxImage img;
        img.SetJpegScale(c.scale);
        img.SetEscape(-1);
        ASSERT_TRUE(DecodeBytes(img, jpg, PXIMAGE_FORMAT_JPG));
        EXPECT_FALSE(img.IsValid());
        EXPECT_EQ(img.GetWidth(), c.w);
        EXPECT_EQ(img.GetHeight(), c.h);
        img.SetEscape(0);
        ASSERT_TRUE(DecodeBytes(img, jpg, PXIMAGE_FORMAT_JPG));
        EXPECT_EQ(img.GetWidth(), c.w);
    }
}

TEST(JpegDecode, QuantizedOutputHasAtMostTheAskedColoursAndGreyMapsStayGrey) {
    PxImage src = Gradient(64, 32);
    const Bytes jpg = EncodeToBytes(src, PXIMAGE_FORMAT_JPG);

    PxImage colour;
    colour.SetCodecOption(JPG_DEC_QUANTIZE, PXIMAGE_FORMAT_JPG);
    colour.SetJpegQuality(16);
    ASSERT_TRUE(DecodeBytes(colour, jpg, PXIMAGE_FORMAT_JPG)) << colour.GetLastError();
    EXPECT_EQ(colour.GetBpp(), 8);
    EXPECT_GT(colour.GetNumColors(), 1u);
    EXPECT_LE(colour.GetNumColors(), 16u);
    int maxIndex = 0;
    for (LONG y = 0; y < 32; y++)
        for (LONG x = 0; x < 64; x++) maxIndex = std::max<int>(maxIndex, colour.GetPixelIndex(x, y));
    EXPECT_LT(maxIndex, static_cast<int>(colour.GetNumColors()));
    // The colours are the picture's: blue rises from left to right.
    EXPECT_GT(colour.GetPixelColor(63, 31).rgbBlue, 180);
    EXPECT_LT(colour.GetPixelColor(0, 0).rgbBlue, 100);

    PxImage grey;
    grey.SetCodecOption(JPG_DEC_QUANTIZE | JPG_DEC_GRAYSCALE, PXIMAGE_FORMAT_JPG);
    grey.SetJpegQuality(8);
    ASSERT_TRUE(DecodeBytes(grey, jpg, PXIMAGE_FORMAT_JPG)) << grey.GetLastError();
    ASSERT_LE(grey.GetNumColors(), 8u);
    for (BYTE i = 0; i < grey.GetNumColors(); i++) {
        const RGBQUAD c = grey.GetPaletteColor(i);
        EXPECT_EQ(c.rgbRed, c.rgbGreen);
        EXPECT_EQ(c.rgbRed, c.rgbBlue);
    }
    EXPECT_EQ(grey.GetPaletteColor(0).rgbRed, 0);
    EXPECT_EQ(grey.GetPaletteColor(static_cast<BYTE>(grey.GetNumColors() - 1)).rgbRed, 255);
}

TEST(JpegEncode, OnlyTrueColourAndEightBitGreyAreWritten) {
    PxImage pal8(8, 8, 8);
    pal8.SetStdPalette();
    EXPECT_TRUE(EncodeToBytes(pal8, PXIMAGE_FORMAT_JPG).empty());
    EXPECT_STREQ(pal8.GetLastError(), "JPEG can save only RGB or GreyScale images");

    // A 4-bit image whose palette is the identity ramp passes the grey test, but its packed
    // pixels are no 8-bit samples.
    PxImage ramp4(8, 8, 4);
    for (BYTE i = 0; i < 16; i++) ramp4.SetPaletteColor(i, i, i, i);
    ASSERT_TRUE(ramp4.IsGrayScale());
    EXPECT_TRUE(EncodeToBytes(ramp4, PXIMAGE_FORMAT_JPG).empty());
    EXPECT_STREQ(ramp4.GetLastError(), "JPEG can save only RGB or GreyScale images");

    PxImage grey(16, 8, 8);
    grey.SetGrayPalette();
    for (LONG x = 0; x < 16; x++)
        for (LONG y = 0; y < 8; y++) grey.SetPixelIndex(x, y, static_cast<BYTE>(x * 16));
    const Bytes jpg = EncodeToBytes(grey, PXIMAGE_FORMAT_JPG);
    const size_t sof = FindSof(jpg);
    ASSERT_NE(sof, 0u);
    EXPECT_EQ(jpg[sof + 9], 1);  // one component
    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, jpg, PXIMAGE_FORMAT_JPG));
    EXPECT_EQ(back.GetBpp(), 8);
    EXPECT_EQ(back.GetNumColors(), 256u);
    EXPECT_NEAR(back.GetPixelIndex(10, 3), 160, 3);
}

TEST(JpegEncode, OptionsAndResolutionReachTheFile) {
    PxImage src = Gradient(40, 24);
    src.SetXDPI(150);
    src.SetYDPI(75);
    src.SetCodecOption(JPG_ENC_PROGRESSIVE | JPG_ENC_OPTIMIZE, PXIMAGE_FORMAT_JPG);
    const Bytes progressive = EncodeToBytes(src, PXIMAGE_FORMAT_JPG);
    const size_t sof = FindSof(progressive);
    ASSERT_NE(sof, 0u);
    EXPECT_EQ(progressive[sof + 1], 0xC2);
    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, progressive, PXIMAGE_FORMAT_JPG));
    EXPECT_EQ(back.GetXDPI(), 150);
    EXPECT_EQ(back.GetYDPI(), 75);

    src.SetCodecOption(JPG_ENC_GRAYSCALE, PXIMAGE_FORMAT_JPG);
    const Bytes grey = EncodeToBytes(src, PXIMAGE_FORMAT_JPG);
    ASSERT_NE(FindSof(grey), 0u);
    EXPECT_EQ(grey[FindSof(grey) + 9], 1);

    src.SetCodecOption(0, PXIMAGE_FORMAT_JPG);
    src.SetJpegQuality(95);
    const Bytes fine = EncodeToBytes(src, PXIMAGE_FORMAT_JPG);
    src.SetJpegQuality(10);
    EXPECT_LT(EncodeToBytes(src, PXIMAGE_FORMAT_JPG).size(), fine.size());
}

TEST(JpegDecode, BrokenFiles) {
    PxImage src = Gradient(64, 64);
    const Bytes jpg = EncodeToBytes(src, PXIMAGE_FORMAT_JPG);

    // Cut in the middle of the scan: the rows that are missing are filled, not refused.
    PxImage cut;
    EXPECT_TRUE(DecodeBytes(cut, Bytes(jpg.begin(), jpg.begin() + jpg.size() * 2 / 3), PXIMAGE_FORMAT_JPG)) << cut.GetLastError();
    EXPECT_EQ(cut.GetWidth(), 64u);

    PxImage empty;
    Bytes none{0};
    PxMemFile f(none.data(), 0);
    EXPECT_FALSE(empty.Decode(&f, PXIMAGE_FORMAT_JPG));
    EXPECT_STRNE(empty.GetLastError(), "");

    PxImage garbage;
    EXPECT_FALSE(DecodeBytes(garbage, Bytes(300, 0x5A), PXIMAGE_FORMAT_JPG));
    EXPECT_STRNE(garbage.GetLastError(), "");

    // A frame header that declares 60000 x 60000 pixels fails before any large allocation.
    Bytes huge = jpg;
    const size_t sof = FindSof(huge);
    ASSERT_NE(sof, 0u);
    huge[sof + 5] = 0xEA, huge[sof + 6] = 0x60, huge[sof + 7] = 0xEA, huge[sof + 8] = 0x60;
    PxImage big;
    EXPECT_FALSE(DecodeBytes(big, huge, PXIMAGE_FORMAT_JPG));
    EXPECT_FALSE(big.IsValid());
    EXPECT_STRNE(big.GetLastError(), "");
}

TEST(JpegDecode, AHintReadsTheSmallestScalingThatCoversTheFittedPictureAndNoHintReadsItAll) {
    PxImage src = Gradient(1001, 667);
    const Bytes jpg = EncodeToBytes(src, PXIMAGE_FORMAT_JPG);
    // No hint, or one the picture already fits inside: libjpeg's full reading, byte for byte.
    const Bytes reference = LibjpegRows(jpg);
    for (const DWORD hint : {0u, 1001u}) {
        PxImage img;
        img.SetDecodeHint(hint, hint);
        ASSERT_TRUE(DecodeBytes(img, jpg, PXIMAGE_FORMAT_JPG)) << img.GetLastError();
        ASSERT_EQ(img.GetWidth() * img.GetHeight() * 3, reference.size());
        for (DWORD y = 0; y < img.GetHeight(); y++)
            ASSERT_EQ(std::memcmp(img.GetBits(y), &reference[y * 3 * 1001], 3 * 1001), 0) << "row " << y;
    }
    const struct {
        DWORD fitW, fitH;
        BYTE scale;
        DWORD w, h;  // eighths: 1, 2, 5; the scale setting's 1/2 and 1/8
    } cases[] = {{125, 125, 0, 126, 84}, {200, 180, 0, 251, 167}, {600, 600, 0, 626, 417},
                 {125, 125, 2, 126, 84}, {600, 600, 8, 126, 84}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fitW << " x " << c.fitH << ", scale " << int(c.scale));
        PxImage img;
        img.SetDecodeHint(c.fitW, c.fitH);
        img.SetJpegScale(c.scale);
        ASSERT_TRUE(DecodeBytes(img, jpg, PXIMAGE_FORMAT_JPG)) << img.GetLastError();
        EXPECT_EQ(img.GetWidth(), c.w);
        EXPECT_EQ(img.GetHeight(), c.h);
    }
}

TEST(JpegFiles, ImageMagickFilesLoadAndOursLoadInImageMagick) {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
    TempDir dir;
    const std::string prog = dir.File("prog.jpg"), grey = dir.File("grey.jpg"), cmyk = dir.File("cmyk.jpg");
    const std::string dpcm = dir.File("dpcm.jpg"), nodpi = dir.File("nodpi.jpg");
    ASSERT_EQ(Shell("convert rose: -resize 200% -interlace JPEG '" + prog + "'"), 0);
    ASSERT_EQ(Shell("convert rose: -colorspace Gray '" + grey + "'"), 0);
    ASSERT_EQ(Shell("convert rose: -colorspace CMYK '" + cmyk + "'"), 0);
    ASSERT_EQ(Shell("convert rose: -density 118 -units PixelsPerCentimeter '" + dpcm + "'"), 0);
    ASSERT_EQ(Shell("convert rose: -density 1 -units Undefined '" + nodpi + "'"), 0);

    PxImage p;
    ASSERT_TRUE(p.Load(prog.c_str(), PXIMAGE_FORMAT_JPG)) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 24);
    EXPECT_LT(MeanDifference(p, Render(prog)), 1.0);

    PxImage g;
    ASSERT_TRUE(g.Load(grey.c_str(), PXIMAGE_FORMAT_JPG));
    EXPECT_EQ(g.GetBpp(), 8);
    EXPECT_TRUE(g.IsGrayScale());
    EXPECT_LT(MeanDifference(g, Render(grey)), 1.0);

    PxImage c;
    ASSERT_TRUE(c.Load(cmyk.c_str(), PXIMAGE_FORMAT_JPG)) << c.GetLastError();
    EXPECT_EQ(c.GetBpp(), 24);
    EXPECT_LT(MeanDifference(c, Render(cmyk)), 3.0);

    PxImage d;
    ASSERT_TRUE(d.Load(dpcm.c_str(), PXIMAGE_FORMAT_JPG));
    EXPECT_EQ(d.GetXDPI(), 300);
    PxImage n;
    ASSERT_TRUE(n.Load(nodpi.c_str(), PXIMAGE_FORMAT_JPG));
    EXPECT_EQ(n.GetXDPI(), 1);

    // Our file, read by ImageMagick, is the picture we saved.
    const std::string ours = dir.File("ours.jpg");
    p.SetJpegQuality(95);
    ASSERT_TRUE(p.Save(ours.c_str(), PXIMAGE_FORMAT_JPG)) << p.GetLastError();
    EXPECT_LT(MeanDifference(p, Render(ours)), 2.5);
}

TEST(JpegFiles, PillowAndVipsFilesLoadAndPillowReadsOurs) {
    if (!HaveTool("convert") || !HaveTool("/usr/bin/python3") ||
        Shell("/usr/bin/python3 -c 'import PIL'") != 0)
        GTEST_SKIP() << "ImageMagick or Pillow missing";
    TempDir dir;
    const std::string src = dir.File("src.png"), pil = dir.File("pillow.jpg");
    ASSERT_EQ(Shell("convert rose: -resize 300% '" + src + "'"), 0);
    ASSERT_EQ(Shell("/usr/bin/python3 -c \"import sys; from PIL import Image; e = Image.Exif(); "
                    "e[0x010F] = 'Pillow'; e[0x0112] = 6; Image.open(sys.argv[1]).convert('RGB')"
                    ".save(sys.argv[2], quality=92, progressive=True, exif=e)\" '" + src + "' '" + pil + "'"),
              0);
    PxImageJPG p;
    FILE* fp = std::fopen(pil.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    const bool ok = p.Decode(fp);
    std::fclose(fp);
    ASSERT_TRUE(ok) << p.GetLastError();
    EXPECT_TRUE(p.m_exifinfo.isExif);
    EXPECT_STREQ(p.m_exifinfo.make, "Pillow");
    EXPECT_EQ(p.m_exifinfo.orientation, 6);
    EXPECT_LT(MeanDifference(p, Render(pil)), 1.0);

    if (HaveTool("vips")) {
        const std::string v = dir.File("vips.jpg");
        ASSERT_EQ(Shell("vips copy '" + src + "' '" + v + "[Q=90,interlace]'"), 0);
        PxImage img;
        ASSERT_TRUE(img.Load(v.c_str(), PXIMAGE_FORMAT_JPG)) << img.GetLastError();
        EXPECT_LT(MeanDifference(img, Render(v)), 1.0);
    }

    // Pillow decodes our file to what we decode it to.
    const std::string ours = dir.File("ours.jpg"), back = dir.File("back.ppm");
    ASSERT_TRUE(p.Save(ours.c_str(), PXIMAGE_FORMAT_JPG));
    ASSERT_EQ(Shell("/usr/bin/python3 -c \"import sys; from PIL import Image; Image.open(sys.argv[1]).convert('RGB')"
                    ".save(sys.argv[2])\" '" + ours + "' '" + back + "'"),
              0);
    PxImage again;
    ASSERT_TRUE(again.Load(ours.c_str(), PXIMAGE_FORMAT_JPG));
    EXPECT_LT(MeanDifference(again, Render(back)), 1.0);
}

TEST(JpegFiles, NetpbmFilesLoadAndNetpbmReadsOurs) {
    if (!HaveTool("convert") || !HaveTool("pnmtojpeg") || !HaveTool("jpegtopnm")) GTEST_SKIP() << "netpbm missing";
    TempDir dir;
    const std::string src = dir.File("src.ppm"), theirs = dir.File("netpbm.jpg"), ref = dir.File("ref.ppm");
    const std::string ours = dir.File("ours.jpg"), back = dir.File("back.ppm");
    ASSERT_EQ(Shell("convert rose: '" + src + "' && pnmtojpeg --quality=95 --progressive '" + src + "' > '" + theirs +
                    "' && jpegtopnm '" + theirs + "' > '" + ref + "'"),
              0);
    PxImage img;
    ASSERT_TRUE(img.Load(theirs.c_str(), PXIMAGE_FORMAT_JPG)) << img.GetLastError();
    EXPECT_LT(MeanDifference(img, Render(ref)), 1.0);
    ASSERT_TRUE(img.Save(ours.c_str(), PXIMAGE_FORMAT_JPG));
    ASSERT_EQ(Shell("jpegtopnm '" + ours + "' > '" + back + "'"), 0);
    PxImage again;
    ASSERT_TRUE(again.Load(ours.c_str(), PXIMAGE_FORMAT_JPG));
    EXPECT_LT(MeanDifference(again, Render(back)), 1.0);
}
