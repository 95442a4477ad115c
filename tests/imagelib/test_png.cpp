// The PNG reader and writer: colour types and depths against ImageMagick's reading of the same
// files, palette transparency, what a save does to the saved image, interlacing, hostile input.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagelib/codecs/PxPngCodec.h"
#include "tooltest.h"

namespace {

namespace fs = std::filesystem;

// The data of the first chunk of the given type, or empty.
Bytes Chunk(const Bytes& png, const char* type) {
    for (size_t p = 8; p + 8 <= png.size();) {
        const uint32_t len = (uint32_t{png[p]} << 24) | (png[p + 1] << 16) | (png[p + 2] << 8) | png[p + 3];
        if (std::memcmp(&png[p + 4], type, 4) == 0 && p + 8 + len <= png.size())
            return Bytes(png.begin() + p + 8, png.begin() + p + 8 + len);
        p += 12 + len;
    }
    return {};
}

PxImage MakeIndexed(DWORD w, DWORD h, DWORD bpp) {
    PxImage img(w, h, bpp, PXIMAGE_FORMAT_PNG);
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        img.SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3));
    for (DWORD y = 0; y < h; y++)
        for (DWORD x = 0; x < w; x++) img.SetPixelIndex(x, y, static_cast<BYTE>((x + 3 * y) % img.GetNumColors()));
    return img;
}

using PngFiles = ImageMagickFiles;

}  // namespace

TEST_F(PngFiles, EveryColourTypeFromImageMagickLoadsWithItsPixels) {
    struct Case {
        const char* name;
        const char* args;
        WORD bpp;
        bool alpha;
        int tolerance;  // 16-bit samples are cut to their high byte, ImageMagick rounds
    } cases[] = {
        {"rgb8.png", "rose: PNG24:", 24, false, 0},
        {"rgb16.png", "rose: -depth 16 PNG48:", 24, false, 1},
        {"grey16.png", "rose: -colorspace Gray -depth 16 ", 8, false, 1},
        {"grey2.png", "rose: -colorspace Gray -depth 2 ", 4, false, 0},
        {"grey1.png", "rose: -monochrome ", 1, false, 0},
        {"pal.png", "rose: -colors 40 PNG8:", 8, false, 0},
        {"interlaced.png", "rose: -interlace PNG PNG24:", 24, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.File(c.name);
        ASSERT_EQ(Shell(std::string("convert ") + c.args + "'" + file + "'"), 0);
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_PNG)) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), c.bpp);
        EXPECT_EQ(img.AlphaIsValid(), c.alpha);
        EXPECT_LE(MaxDifference(img, Render(file)), c.tolerance);
    }
}

TEST_F(PngFiles, AlphaIsKeptAtBothDepthsAndGreyAlphaIsComposited) {
    for (const char* kind : {"PNG32:", "PNG64:"}) {
        SCOPED_TRACE(kind);
        const std::string file = dir.File("rgba.png");
        ASSERT_EQ(Shell(std::string("convert -size 20x10 xc:red -alpha set -channel A -fx 'i/w' ") + kind + "'" + file +
                      "'"),
                  0);
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_PNG)) << img.GetLastError();
        ASSERT_TRUE(img.AlphaIsValid());
        EXPECT_EQ(img.GetBpp(), 24);
        EXPECT_EQ(img.AlphaGet(0, 5), 0);
        EXPECT_NEAR(img.AlphaGet(10, 5), 128, 1);
        EXPECT_EQ(img.GetPixelColor(10, 5, false).rgbRed, 255);  // not mixed with any background
    }
    const std::string ga = dir.File("ga.png");
    ASSERT_EQ(Shell("convert -size 20x10 xc:gray50 -alpha set -channel A -fx 'i/w' -define png:color-type=4 '" + ga + "'"),
              0);
    PxImage grey;
    ASSERT_TRUE(grey.Load(ga.c_str(), PXIMAGE_FORMAT_PNG)) << grey.GetLastError();
    EXPECT_EQ(grey.GetBpp(), 8);
    EXPECT_FALSE(grey.AlphaIsValid());
}

TEST(PngPalette, TransparentIndexIsWrittenAsEntryZeroAndTheSavedImageStaysAsItWas) {
    PxImage img = MakeIndexed(16, 8, 8);
    img.SetTransIndex(5);
    const RGBQUAD entry5 = img.GetPaletteColor(5), entry0 = img.GetPaletteColor(0);
    const Bytes before(static_cast<BYTE*>(img.GetDIB()), static_cast<BYTE*>(img.GetDIB()) + img.GetSize());

    const Bytes png = EncodeToBytes(img, PXIMAGE_FORMAT_PNG);
    ASSERT_FALSE(png.empty()) << img.GetLastError();
    EXPECT_EQ(img.GetTransIndex(), 5);
    EXPECT_EQ(Bytes(static_cast<BYTE*>(img.GetDIB()), static_cast<BYTE*>(img.GetDIB()) + img.GetSize()), before);
    EXPECT_EQ(Chunk(png, "tRNS"), Bytes{0});

    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, png, PXIMAGE_FORMAT_PNG)) << back.GetLastError();
    EXPECT_EQ(back.GetTransIndex(), 0);
    EXPECT_EQ(back.GetPaletteColor(0).rgbRed, entry5.rgbRed);
    EXPECT_EQ(back.GetPaletteColor(0).rgbBlue, entry5.rgbBlue);
    EXPECT_EQ(back.GetPaletteColor(5).rgbGreen, entry0.rgbGreen);
    for (LONG y = 0; y < 8; y++) {
        for (LONG x = 0; x < 16; x++) {
            const BYTE i = img.GetPixelIndex(x, y);
            EXPECT_EQ(back.GetPixelIndex(x, y), i == 5 ? 0 : (i == 0 ? 5 : i));
        }
    }
}

TEST(PngPalette, PaletteLengthFollowsTheIndicesInUseAndAlphaPaletteRoundTrips) {
    PxImage img(100, 100, 8, PXIMAGE_FORMAT_PNG);
    img.SetGrayPalette();
    for (LONG y = 0; y < 100; y++)
        for (LONG x = 0; x < 100; x++) img.SetPixelIndex(x, y, static_cast<BYTE>((x + y) % 10));
    Bytes png = EncodeToBytes(img, PXIMAGE_FORMAT_PNG);
    EXPECT_EQ(Chunk(png, "PLTE").size(), 30u);
    EXPECT_TRUE(Chunk(png, "tRNS").empty());

    for (BYTE i = 0; i < 10; i++) img.SetPaletteColor(i, i, i, i, static_cast<BYTE>(i * 20));
    img.AlphaPaletteEnable(true);
    png = EncodeToBytes(img, PXIMAGE_FORMAT_PNG);
    ASSERT_EQ(Chunk(png, "tRNS").size(), 10u);
    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, png, PXIMAGE_FORMAT_PNG));
    EXPECT_TRUE(back.AlphaPaletteIsEnabled());
    EXPECT_EQ(back.GetTransIndex(), -1);
    EXPECT_EQ(back.GetPaletteColor(7).rgbReserved, 140);
}

TEST(PngPalette, ACallersTransparencyDoesNotCarryIntoAFileWithoutAny) {
    // Decoding hands the caller's settings to the codec; transparency must come from the file
    // alone, in every format that can say it has none.
    for (DWORD format : {PXIMAGE_FORMAT_GIF, PXIMAGE_FORMAT_JPG, PXIMAGE_FORMAT_PNG, PXIMAGE_FORMAT_TIF}) {
        SCOPED_TRACE(format);
        PxImage src(8, 8, 8, format);
        src.SetGrayPalette();
        for (LONG y = 0; y < 8; y++)
            for (LONG x = 0; x < 8; x++) src.SetPixelIndex(x, y, static_cast<BYTE>(x * 30 + y));
        BYTE* buffer = nullptr;
        LONG size = 0;
        ASSERT_TRUE(src.Encode(buffer, size, format)) << src.GetLastError();
        Bytes bytes(buffer, buffer + size);
        PxImage::FreeMemory(buffer);

        PxImage target(4, 4, 8);
        target.SetTransIndex(5);
        target.AlphaPaletteEnable(true);
        PxMemFile f(bytes.data(), static_cast<unsigned long>(bytes.size()));
        ASSERT_TRUE(target.Decode(&f, format)) << target.GetLastError();
        EXPECT_EQ(target.GetTransIndex(), -1);
        EXPECT_FALSE(target.AlphaPaletteIsEnabled());
    }
}

TEST(PngTrueColour, TransparentColourBecomesAlphaOnlyInTheFile) {
    PxImage img(6, 4, 24, PXIMAGE_FORMAT_PNG);
    img.Clear(0x40);
    img.SetPixelColor(2, 1, RGBQUAD{1, 2, 3, 0});
    img.SetTransColor(RGBQUAD{1, 2, 3, 0});
    img.SetTransIndex(0);
    const Bytes png = EncodeToBytes(img, PXIMAGE_FORMAT_PNG);
    ASSERT_FALSE(png.empty());
    EXPECT_FALSE(img.AlphaIsValid());  // no plane is left behind on the saved image
    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, png, PXIMAGE_FORMAT_PNG));
    ASSERT_TRUE(back.AlphaIsValid());
    EXPECT_EQ(back.AlphaGet(2, 1), 0);
    EXPECT_EQ(back.AlphaGet(3, 1), 255);
}

TEST(PngPalette, AnIndexedImageWithAnAlphaPlaneIsWrittenWithItsAlpha) {
    for (DWORD bpp : {1u, 4u, 8u}) {
        SCOPED_TRACE(bpp);
        PxImage img = MakeIndexed(9, 5, bpp);
        img.AlphaCreate();
        ASSERT_TRUE(img.AlphaIsValid());
        img.AlphaSet(3, 2, 0);
        img.AlphaSet(4, 2, 99);
        for (DWORD option : {0u, 1u}) {
            img.SetCodecOption(option, PXIMAGE_FORMAT_PNG);
            PxImage back;
            ASSERT_TRUE(DecodeBytes(back, EncodeToBytes(img, PXIMAGE_FORMAT_PNG), PXIMAGE_FORMAT_PNG));
            ASSERT_TRUE(back.AlphaIsValid());
            EXPECT_EQ(back.AlphaGet(3, 2), 0);
            EXPECT_EQ(back.AlphaGet(4, 2), 99);
            EXPECT_EQ(back.AlphaGet(5, 2), 255);
            for (LONG y = 0; y < 5; y++)
                for (LONG x = 0; x < 9; x++) {
                    const RGBQUAD a = img.GetPixelColor(x, y, false), b = back.GetPixelColor(x, y, false);
                    ASSERT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue) << x << "," << y;
                }
        }
    }
}

TEST(PngTrueColour, InterlacedSaveDecodesToTheSamePixels) {
    PxImage img(37, 23, 24, PXIMAGE_FORMAT_PNG);
    for (LONG y = 0; y < 23; y++)
        for (LONG x = 0; x < 37; x++)
            img.SetPixelColor(x, y, RGBQUAD{BYTE(x * 7), BYTE(y * 11), BYTE(x ^ y), 0});
    img.AlphaCreate();
    img.AlphaSet(4, 5, 77);
    img.SetCodecOption(1, PXIMAGE_FORMAT_PNG);
    const Bytes png = EncodeToBytes(img, PXIMAGE_FORMAT_PNG);
    ASSERT_GE(Chunk(png, "IHDR").size(), 13u);
    EXPECT_EQ(Chunk(png, "IHDR")[12], 1);  // Adam7
    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, png, PXIMAGE_FORMAT_PNG)) << back.GetLastError();
    EXPECT_EQ(back.GetCodecOption(PXIMAGE_FORMAT_PNG), 1u);
    EXPECT_EQ(back.AlphaGet(4, 5), 77);
    for (LONG y = 0; y < 23; y++)
        for (LONG x = 0; x < 37; x++) ASSERT_EQ(back.GetPixelColor(x, y, false).rgbGreen, BYTE(y * 11));

    // A 2-bit interlaced file goes through the 2-to-4-bit widening between passes.
    PxImage two(13, 9, 4, PXIMAGE_FORMAT_PNG);
    two.SetGrayPalette();
    for (LONG y = 0; y < 9; y++)
        for (LONG x = 0; x < 13; x++) two.SetPixelIndex(x, y, static_cast<BYTE>((x + y) % 4));
    two.SetCodecOption(1, PXIMAGE_FORMAT_PNG);
    // Written as 4-bit palette; ImageMagick makes the 2-bit interlaced twin when available.
    if (HaveTool("convert")) {
        TempDir dir;
        const std::string src = dir.File("four.png"), dst = dir.File("two.png");
        ASSERT_TRUE(two.Save(src.c_str(), PXIMAGE_FORMAT_PNG));
        ASSERT_EQ(Shell("convert '" + src + "' -colorspace Gray -depth 2 -interlace PNG '" + dst + "'"), 0);
        PxImage back2;
        ASSERT_TRUE(back2.Load(dst.c_str(), PXIMAGE_FORMAT_PNG)) << back2.GetLastError();
        EXPECT_LE(MaxDifference(back2, Render(dst)), 0);
    }
}

TEST_F(PngFiles, WhatWeWriteImageMagickReadsWithTheSamePixels) {
    PxImage rgba(9, 5, 24, PXIMAGE_FORMAT_PNG);
    for (LONG y = 0; y < 5; y++)
        for (LONG x = 0; x < 9; x++) rgba.SetPixelColor(x, y, RGBQUAD{BYTE(30 * x), BYTE(50 * y), 200, 0});
    rgba.AlphaCreate();
    rgba.AlphaSet(1, 4, 10);  // top row, second pixel
    const std::string file = dir.File("ours.png");
    ASSERT_TRUE(rgba.Save(file.c_str(), PXIMAGE_FORMAT_PNG)) << rgba.GetLastError();
    const std::string raw = dir.File("ours.rgba");
    ASSERT_EQ(Shell("convert '" + file + "' -depth 8 rgba:'" + raw + "'"), 0);
    const Bytes px = ReadFile(raw);
    ASSERT_EQ(px.size(), 9u * 5 * 4);
    EXPECT_EQ(px[4 + 3], 10);             // alpha of (1, top)
    EXPECT_EQ(px[4 * (9 * 4 + 2)], 200);     // red of (2, bottom)
    EXPECT_EQ(px[4 * (9 * 4 + 2) + 2], 60);  // its blue

    PxImage pal = MakeIndexed(11, 7, 4);
    const std::string palFile = dir.File("pal.png");
    ASSERT_TRUE(pal.Save(palFile.c_str(), PXIMAGE_FORMAT_PNG));
    EXPECT_EQ(MaxDifference(pal, Render(palFile)), 0);
}

TEST(PngHostile, BrokenFilesFailWithAReason) {
    PxImage img(4, 4, 24);
    ASSERT_FALSE(EncodeToBytes(img, PXIMAGE_FORMAT_PNG).empty());
    const Bytes good = EncodeToBytes(img, PXIMAGE_FORMAT_PNG);

    PxImage a;
    EXPECT_FALSE(DecodeBytes(a, Bytes(good.begin(), good.begin() + good.size() / 2), PXIMAGE_FORMAT_PNG));
    EXPECT_STRNE(a.GetLastError(), "");
    PxImage b;
    EXPECT_FALSE(DecodeBytes(b, Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g', 0, 0, 0}, PXIMAGE_FORMAT_PNG));
    EXPECT_STRNE(b.GetLastError(), "");

    // A valid header that declares 100000 x 100000 pixels: the image cannot be made, and the
    // reader stops instead of writing rows into nothing.
    Bytes huge(good.begin(), good.begin() + 33);
    auto put32be = [&](size_t at, uint32_t v) {
        huge[at] = BYTE(v >> 24), huge[at + 1] = BYTE(v >> 16), huge[at + 2] = BYTE(v >> 8), huge[at + 3] = BYTE(v);
    };
    put32be(16, 100000);
    put32be(20, 100000);
    uint32_t crc = 0xFFFFFFFFu;  // CRC-32 of the chunk type and data
    for (size_t i = 12; i < 29; i++) {
        crc ^= huge[i];
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    put32be(29, ~crc);
    huge.insert(huge.end(), good.begin() + 33, good.end());
    PxImage c;
    EXPECT_FALSE(DecodeBytes(c, huge, PXIMAGE_FORMAT_PNG));
    EXPECT_FALSE(c.IsValid());
    EXPECT_STRNE(c.GetLastError(), "");

    // A text chunk that claims 1.9 GB in a file of a few dozen bytes: the reader must not ask
    // for (and so allocate) the claimed size.
    struct LargestRead : PxMemFile {
        using PxMemFile::PxMemFile;
        size_t largest = 0;
        size_t Read(void* buffer, size_t size, size_t count) override {
            largest = std::max(largest, size * count);
            return PxMemFile::Read(buffer, size, count);
        }
    };
    Bytes text(good.begin(), good.begin() + 33);
    text.insert(text.end(), {0x74, 0x00, 0x00, 0x00, 't', 'E', 'X', 't', 'k', 'e', 'y', 0, 'v', 'a', 'l'});
    LargestRead file(text.data(), static_cast<unsigned long>(text.size()));
    PxImage d;
    EXPECT_FALSE(d.Decode(&file, PXIMAGE_FORMAT_PNG));
    EXPECT_STRNE(d.GetLastError(), "");
    EXPECT_LT(file.largest, 1u << 20);
}

TEST_F(PngFiles, PillowAndVipsFilesLoadAndPillowReadsOurs) {
    if (Shell("/usr/bin/python3 -c 'import PIL'") != 0) GTEST_SKIP() << "Pillow missing";
    const std::string src = dir.File("src.png");
    ASSERT_EQ(Shell("convert rose: PNG24:'" + src + "'"), 0);
    const struct {
        const char* name;
        const char* convert;  // Pillow's conversion of the source before saving
        bool alpha;
    } cases[] = {{"rgba.png", "convert('RGBA')", true},
                 {"pal.png", "convert('P', palette=Image.ADAPTIVE, colors=50)", false},
                 {"grey16.png", "convert('I')", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.File(c.name);
        ASSERT_EQ(Shell(std::string("/usr/bin/python3 -c \"import sys; from PIL import Image; Image.open(sys.argv[1]).") +
                        c.convert + ".save(sys.argv[2])\" '" + src + "' '" + file + "'"),
                  0);
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_PNG)) << img.GetLastError();
        EXPECT_EQ(img.AlphaIsValid(), c.alpha);
        EXPECT_LE(MaxDifference(img, Render(file)), 1);
    }
    if (HaveTool("vips")) {
        const std::string v = dir.File("vips16.png");
        ASSERT_EQ(Shell("vips copy '" + src + "' '" + v + "[bitdepth=16]'"), 0);
        PxImage img;
        ASSERT_TRUE(img.Load(v.c_str(), PXIMAGE_FORMAT_PNG)) << img.GetLastError();
        EXPECT_LE(MaxDifference(img, Render(v)), 1);
    }

    PxImage ours = MakeIndexed(21, 13, 8);
    ours.SetTransIndex(3);
    const std::string file = dir.File("ours.png"), back = dir.File("back.ppm");
    ASSERT_TRUE(ours.Save(file.c_str(), PXIMAGE_FORMAT_PNG));
    ASSERT_EQ(Shell("/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                    "assert im.info.get('transparency') == 0; im.convert('RGB').save(sys.argv[2])\" '" + file +
                    "' '" + back + "'"),
              0);
    EXPECT_EQ(MaxDifference(ours, Render(back)), 0);
}

TEST_F(PngFiles, NetpbmFilesLoadAndNetpbmReadsOurs) {
    if (!HaveTool("pnmtopng") || !HaveTool("pngtopam")) GTEST_SKIP() << "netpbm missing";
    const std::string src = dir.File("src.ppm"), theirs = dir.File("netpbm.png"), ours = dir.File("ours.png"), back = dir.File("back.ppm");
    ASSERT_EQ(Shell("convert rose: '" + src + "' && pnmtopng -interlace '" + src + "' > '" + theirs + "'"), 0);
    PxImage img;
    ASSERT_TRUE(img.Load(theirs.c_str(), PXIMAGE_FORMAT_PNG)) << img.GetLastError();
    EXPECT_EQ(MaxDifference(img, Render(src)), 0);
    ASSERT_TRUE(img.Save(ours.c_str(), PXIMAGE_FORMAT_PNG));
    ASSERT_EQ(Shell("pngtopam '" + ours + "' > '" + back + "'"), 0);
    EXPECT_EQ(MaxDifference(img, Render(back)), 0);
}

namespace {

// Smooth rows (long matches), rows with a little noise and rows of pure noise whose differences
// wrap round 0 and 255: what the row filter and the deflate level both have to carry.
BYTE Sample(LONG x, LONG y, int channel, uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    static const BYTE masks[] = {0x00, 0x07, 0xFF};
    return static_cast<BYTE>(((x * 7 + y * 13 + channel * 50) & 0xFF) ^ ((seed >> 24) & masks[y % 3]));
}

enum class Kind { Palette1, Palette4, Palette8, Rgb, RgbAlpha, PaletteAlpha };

PxImage MakeSample(Kind kind, DWORD w, DWORD h) {
    const bool rgb = kind == Kind::Rgb || kind == Kind::RgbAlpha;
    const DWORD bpp = kind == Kind::Palette1 ? 1 : kind == Kind::Palette4 ? 4 : rgb ? 24 : 8;
    PxImage img(w, h, bpp, PXIMAGE_FORMAT_PNG);
    uint32_t seed = w * 31 + h;
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        img.SetPaletteColor(static_cast<BYTE>(i), Sample(i, 0, 0, seed), Sample(i, 1, 1, seed), Sample(i, 2, 2, seed));
    if (kind == Kind::RgbAlpha || kind == Kind::PaletteAlpha) img.AlphaCreate();
    for (LONG y = 0; y < static_cast<LONG>(h); y++) {
        for (LONG x = 0; x < static_cast<LONG>(w); x++) {
            if (bpp == 24) {
                const BYTE b = Sample(x, y, 0, seed), g = Sample(x, y, 1, seed), r = Sample(x, y, 2, seed);
                img.SetPixelColor(x, y, RGBQUAD{b, g, r, 0});
            } else {
                img.SetPixelIndex(x, y, static_cast<BYTE>(Sample(x, y, 0, seed) % img.GetNumColors()));
            }
            if (img.AlphaIsValid()) img.AlphaSet(x, y, Sample(x, y, 3, seed));
        }
    }
    return img;
}

}  // namespace

TEST(PngRoundTrip, EveryKindSizeAndInterlaceDecodesToTheSamePixels) {
    const struct {
        DWORD w, h;
    } sizes[] = {{1, 1}, {1, 9}, {9, 1}, {31, 17}, {257, 5}, {300, 300}};  // 300 x 300 RGB: over one IDAT chunk
    const Kind kinds[] = {Kind::Palette1, Kind::Palette4, Kind::Palette8,
                          Kind::Rgb,      Kind::RgbAlpha, Kind::PaletteAlpha};
    for (Kind kind : kinds) {
        for (const auto& s : sizes) {
            for (DWORD interlace : {0u, 1u}) {
                SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << ", " << s.w << " x " << s.h
                                                << (interlace ? ", interlaced" : ""));
                PxImage img = MakeSample(kind, s.w, s.h);
                img.SetCodecOption(interlace, PXIMAGE_FORMAT_PNG);
                const Bytes png = EncodeToBytes(img, PXIMAGE_FORMAT_PNG);
                ASSERT_FALSE(png.empty()) << img.GetLastError();
                PxImage back;
                ASSERT_TRUE(DecodeBytes(back, png, PXIMAGE_FORMAT_PNG)) << back.GetLastError();
                ASSERT_EQ(back.GetWidth(), s.w);
                ASSERT_EQ(back.GetHeight(), s.h);
                // An indexed image with alpha goes out as RGBA and comes back as 24 bits.
                ASSERT_EQ(back.GetBpp(), kind == Kind::PaletteAlpha ? 24 : img.GetBpp());
                ASSERT_EQ(back.AlphaIsValid(), img.AlphaIsValid());
                for (LONG y = 0; y < static_cast<LONG>(s.h); y++) {
                    for (LONG x = 0; x < static_cast<LONG>(s.w); x++) {
                        const RGBQUAD a = img.GetPixelColor(x, y, false), b = back.GetPixelColor(x, y, false);
                        ASSERT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue)
                            << x << "," << y;
                        if (img.GetBpp() <= 8 && !img.AlphaIsValid()) {
                            ASSERT_EQ(back.GetPixelIndex(x, y), img.GetPixelIndex(x, y)) << x << "," << y;
                        }
                        if (img.AlphaIsValid()) {
                            ASSERT_EQ(back.AlphaGet(x, y), img.AlphaGet(x, y)) << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}

TEST_F(PngFiles, OtherReadersDecodeOurTrueColourFilesToTheSamePixels) {
    // What the file holds is a matter for every reader, not only ours: ImageMagick, netpbm,
    // libvips and Pillow (those that are installed) each decode it to the saved pixels.
    for (DWORD interlace : {0u, 1u}) {
        SCOPED_TRACE(interlace);
        PxImage img = MakeSample(Kind::Rgb, 301, 203);
        img.SetCodecOption(interlace, PXIMAGE_FORMAT_PNG);
        const std::string file = dir.File("rgb.png");
        ASSERT_TRUE(img.Save(file.c_str(), PXIMAGE_FORMAT_PNG)) << img.GetLastError();
        EXPECT_EQ(MaxDifference(img, Render(file)), 0);
        const struct {
            const char* tool;
            std::string command;
        } readers[] = {
            {"pngtopam", "pngtopam '" + file + "' > '" + dir.File("netpbm.ppm") + "'"},
            {"vips", "vips copy '" + file + "' '" + dir.File("vips.ppm") + "[strip]'"},  // no comment line
            {"/usr/bin/python3",
             "/usr/bin/python3 -c \"import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])\" '" +
                 file + "' '" + dir.File("pillow.ppm") + "'"},
        };
        const char* outputs[] = {"netpbm.ppm", "vips.ppm", "pillow.ppm"};
        for (size_t i = 0; i < std::size(readers); i++) {
            if (!HaveTool(readers[i].tool) || (i == 2 && Shell("/usr/bin/python3 -c 'import PIL'") != 0)) continue;
            SCOPED_TRACE(readers[i].tool);
            ASSERT_EQ(Shell(readers[i].command), 0);
            EXPECT_EQ(MaxDifference(img, Render(dir.File(outputs[i]))), 0);
        }
    }
    // Alpha, as ImageMagick reads it: every sample of every pixel.
    PxImage rgba = MakeSample(Kind::RgbAlpha, 67, 41);
    const std::string file = dir.File("rgba.png"), raw = dir.File("rgba.raw");
    ASSERT_TRUE(rgba.Save(file.c_str(), PXIMAGE_FORMAT_PNG)) << rgba.GetLastError();
    ASSERT_EQ(Shell("convert '" + file + "' -depth 8 rgba:'" + raw + "'"), 0);
    const Bytes px = ReadFile(raw);
    ASSERT_EQ(px.size(), 67u * 41 * 4);
    for (LONG ytop = 0; ytop < 41; ytop++) {
        for (LONG x = 0; x < 67; x++) {
            const BYTE* p = &px[4 * (static_cast<size_t>(ytop) * 67 + x)];
            const RGBQUAD c = rgba.GetPixelColor(x, 40 - ytop, false);
            const BYTE alpha = rgba.AlphaGet(x, 40 - ytop);
            ASSERT_TRUE(p[0] == c.rgbRed && p[1] == c.rgbGreen && p[2] == c.rgbBlue && p[3] == alpha)
                << x << "," << ytop;
        }
    }
}
