// The TGA reader and writer: files from ImageMagick and netpbm, run-length rows, the colour map
// at its own entry size, and short or foreign files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imagelib/codecs/PxTgaCodec.h"
#include "platform/le.h"
#include "peertest.h"
#include "tooltest.h"

namespace {

// ImageMagick keeps a TGA's row order as an orientation tag; -auto-orient applies it.
const char* const kOrient = "-auto-orient";

// An 18-byte header followed by the given bytes.
Bytes Tga(BYTE type, WORD w, WORD h, BYTE depth, BYTE desc, const Bytes& rest, BYTE cmapType = 0, WORD cmapLength = 0,
          BYTE cmapEntry = 0) {
    Bytes f(18);
    f[1] = cmapType, f[2] = type;
    le::put16(&f[5], cmapLength);
    f[7] = cmapEntry;
    le::put16(&f[12], w);
    le::put16(&f[14], h);
    f[16] = depth, f[17] = desc;
    f.insert(f.end(), rest.begin(), rest.end());
    return f;
}

Bytes Rows(PxImage& img) { return Bytes(img.GetBits(), img.GetBits() + size_t{img.GetEffWidth()} * img.GetHeight()); }

}  // namespace

TEST(Tga, FilesOfImageMagickNetpbmAndPillowLoad) {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick (convert) missing";
    TempDir dir;
    const std::string rgb = dir.File("rgb.ppm");
    ASSERT_EQ(Shell("convert rose: -resize 150x9\\! '" + rgb + "'"), 0);
    struct Case {
        const char* name;
        std::string command;
        WORD bpp;
    } cases[] = {
        {"raw24.tga", "convert IN -compress None OUT", 24},
        {"rle24.tga", "convert IN -compress RLE OUT", 24},
        {"rle32.tga", "convert IN -alpha set -channel A -fx 'i/w' -compress RLE OUT", 24},
        {"raw32top.tga", "convert IN -alpha set -channel A -fx 'j/h' -orient TopLeft -compress None OUT", 24},
        {"grey.tga", "convert IN -colorspace Gray -compress None OUT", 8},
        {"cmap.tga", "convert IN -colors 16 -type Palette -compress RLE OUT", 8},
        {"rle24top.tga", "convert IN -orient TopLeft -compress RLE OUT", 24},
        {"pam-cmap.tga", "pamtotga -cmap IN16 > OUT", 8},
        {"pam-mono.tga", "ppmtopgm IN | pamtotga -mono > OUT", 8},
        {"pam-rgb.tga", "pamtotga -rgb -norle IN > OUT", 24},
        {"pil-rle.tga", "PIL", 24},
        {"pil-la.tga", "PILLA", 24},
    };
    ASSERT_EQ(Shell("convert '" + rgb + "' -colors 16 '" + dir.File("c16.ppm") + "'"), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.File(c.name);
        if (c.command.rfind("convert", 0) != 0 && !HaveTool("pamtotga")) continue;
        std::string cmd = c.command;
        if (cmd == "PIL" || cmd == "PILLA") {
            // Pillow: run-length colour, and grey with alpha (16 bits of grey and alpha bytes).
            if (!HavePillow()) continue;
            const std::string mode = cmd == "PIL" ? "im" : "im.convert('L').convert('LA')";
            cmd = "/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); " + mode +
                  ".save(sys.argv[2], compression='tga_rle')\" IN OUT";
        }
        auto replace = [&](const std::string& from, const std::string& to) {
            for (size_t at; (at = cmd.find(from)) != std::string::npos;) cmd.replace(at, from.size(), to);
        };
        replace("IN16", "'" + dir.File("c16.ppm") + "'");
        replace("IN", "'" + rgb + "'");
        replace("OUT", "'" + file + "'");
        if (Shell(cmd) != 0) {
            ADD_FAILURE() << "could not run " << cmd;
            continue;
        }
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), 0)) << img.GetLastError();
        EXPECT_EQ(img.GetType(), static_cast<DWORD>(PXIMAGE_FORMAT_TGA));
        EXPECT_EQ(img.GetBpp(), c.bpp);
        // netpbm's files carry an ID field that ImageMagick turns into a PPM comment: netpbm
        // itself renders them.
        if (c.command.rfind("convert", 0) == 0) {
            EXPECT_EQ(MaxDifference(img, Render(file, kOrient)), 0);
            if (img.AlphaIsValid()) {
                EXPECT_EQ(AlphaDifference(img, RenderAlpha(file, kOrient)), 0);
            }
        } else if (c.command.rfind("PIL", 0) == 0) {
            // ImageMagick takes 16-bit grey for colour: Pillow renders its own files.
            EXPECT_EQ(MaxDifference(img, PillowRender(file)), 0);
            EXPECT_EQ(img.AlphaIsValid(), c.command == "PILLA");
        } else {
            ASSERT_EQ(Shell("tgatoppm '" + file + "' > '" + file + ".ppm'"), 0);
            EXPECT_EQ(MaxDifference(img, Render(file + ".ppm")), 0);
        }
    }
}

TEST(Tga, OurFilesReadInOtherTools) {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick (convert) missing";
    TempDir dir;
    PxImage rgb(37, 5, 24);
    for (LONG y = 0; y < 5; ++y)
        for (LONG x = 0; x < 37; ++x) rgb.SetPixelColor(x, y, RGBQUAD{BYTE(x * 7), BYTE(y * 50), BYTE(x ^ y), 0});
    PxImage pal(9, 4, 8);
    for (int i = 0; i < 6; ++i) pal.SetPaletteColor(BYTE(i), BYTE(i * 40), BYTE(200 - i * 30), BYTE(i * 11));
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 9; ++x) pal.SetPixelIndex(x, y, BYTE((x + 2 * y) % 6));
    const std::string f24 = dir.File("ours24.tga"), f8 = dir.File("ours8.tga"), f32 = dir.File("ours32.tga");
    ASSERT_TRUE(rgb.Save(f24.c_str(), PXIMAGE_FORMAT_TGA));
    ASSERT_TRUE(pal.Save(f8.c_str(), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(ReadFile(f8).size(), 18u + 768 + 9 * 4);  // the full map, though six colours are used
    EXPECT_EQ(MaxDifference(rgb, Render(f24, kOrient)), 0);
    EXPECT_EQ(MaxDifference(pal, Render(f8, kOrient)), 0);
    if (HaveTool("tgatoppm")) {
        ASSERT_EQ(Shell("tgatoppm '" + f24 + "' > '" + dir.File("n24.ppm") + "'"), 0);
        EXPECT_EQ(MaxDifference(rgb, Render(dir.File("n24.ppm"))), 0);
        ASSERT_EQ(Shell("tgatoppm '" + f8 + "' > '" + dir.File("n8.ppm") + "'"), 0);
        EXPECT_EQ(MaxDifference(pal, Render(dir.File("n8.ppm"))), 0);
    }
    if (HavePillow()) {
        EXPECT_EQ(MaxDifference(rgb, PillowRender(f24)), 0);
        EXPECT_EQ(MaxDifference(pal, PillowRender(f8)), 0);
    }
    rgb.AlphaCreate();
    for (LONG x = 0; x < 37; ++x) rgb.AlphaSet(x, 1, BYTE(x * 6));
    ASSERT_TRUE(rgb.Save(f32.c_str(), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(MaxDifference(rgb, Render(f32, kOrient)), 0);
    EXPECT_EQ(AlphaDifference(rgb, RenderAlpha(f32, kOrient)), 0);

    PxImage four(4, 4, 4);
    EXPECT_FALSE(four.Save(dir.File("four.tga").c_str(), PXIMAGE_FORMAT_TGA));
    EXPECT_STREQ(four.GetLastError(), "Bit depth must be 8 or 24");
}

TEST(Tga, RunsAcrossRowsAndPixelWidths) {
    // 3 x 2, 24-bit: a run of 4 crosses the row end, then a raw packet of 2.
    const Bytes raw = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 9, 8, 7, 6, 5, 4};
    PxImage a, b;
    ASSERT_TRUE(DecodeBytes(a, Tga(2, 3, 2, 24, 0, raw), PXIMAGE_FORMAT_TGA));
    ASSERT_TRUE(DecodeBytes(b, Tga(10, 3, 2, 24, 0, {0x83, 1, 2, 3, 0x01, 9, 8, 7, 6, 5, 4}), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(Rows(a), Rows(b));
    // A raw packet of 5 crosses the row end as well.
    ASSERT_TRUE(DecodeBytes(b, Tga(10, 3, 2, 24, 0, {0x04, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 9, 8, 7, 0x00, 6, 5, 4}), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(Rows(a), Rows(b));

    // 16 bits: 5-bit channels widened by 8; right-to-left rows are mirrored.
    PxImage w;
    ASSERT_TRUE(DecodeBytes(w, Tga(2, 2, 1, 16, 0x10, {0x1F, 0x00, 0x00, 0x7C}), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(w.GetBpp(), 24);
    RGBQUAD c = w.GetPixelColor(1, 0, false);
    EXPECT_EQ(c.rgbBlue, 248);
    EXPECT_EQ(c.rgbRed, 0);
    c = w.GetPixelColor(0, 0, false);
    EXPECT_EQ(c.rgbRed, 248);

    // 32-bit top-to-bottom: alpha stays with its pixel.
    PxImage t;
    ASSERT_TRUE(DecodeBytes(t, Tga(2, 1, 2, 32, 0x20, {10, 10, 10, 11, 20, 20, 20, 22}), PXIMAGE_FORMAT_TGA));
    ASSERT_TRUE(t.AlphaIsValid());
    EXPECT_EQ(t.GetPixelColor(0, 1, false).rgbRed, 10);
    EXPECT_EQ(t.AlphaGet(0, 1), 11);
    EXPECT_EQ(t.AlphaGet(0, 0), 22);

    // Grey files get the grey palette.
    PxImage g;
    ASSERT_TRUE(DecodeBytes(g, Tga(3, 2, 1, 8, 0, {0, 200}), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(g.GetPixelColor(1, 0, false).rgbGreen, 200);
}

TEST(Tga, ColourMapEntriesAtTheirOwnSize) {
    // Two 16-bit entries (pure red, pure blue), then indices 1, 0: the map is 4 bytes, not 6.
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, Tga(1, 2, 1, 8, 0, {0x00, 0x7C, 0x1F, 0x00, 1, 0}, 1, 2, 16), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(img.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(img.GetPixelColor(0, 0, false).rgbBlue, 248);
    EXPECT_EQ(img.GetPixelColor(1, 0, false).rgbRed, 248);
    // 32-bit entries: blue, green, red and an alpha byte each.
    ASSERT_TRUE(DecodeBytes(img, Tga(1, 1, 1, 8, 0, {1, 2, 3, 255, 0}, 1, 1, 32), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(img.GetPixelColor(0, 0, false).rgbRed, 3);
}

TEST(Tga, BadFilesAreRefused) {
    PxImage img;
    // A colour-map type other than 0 or 1 (a PCX header read as TGA) is no TGA.
    EXPECT_FALSE(DecodeBytes(img, Tga(1, 1, 1, 8, 0, {0}, 5), PXIMAGE_FORMAT_TGA));
    EXPECT_STREQ(img.GetLastError(), "bad TGA header");
    // A huge picture declared in a few bytes is refused before anything is allocated.
    EXPECT_FALSE(DecodeBytes(img, Tga(2, 60000, 60000, 24, 0, Bytes(100)), PXIMAGE_FORMAT_TGA));
    EXPECT_STREQ(img.GetLastError(), "corrupted TGA");
    EXPECT_FALSE(DecodeBytes(img, Tga(10, 60000, 60000, 32, 0, Bytes(100, 0xFF)), PXIMAGE_FORMAT_TGA));
    EXPECT_STREQ(img.GetLastError(), "corrupted TGA");
    // Run-length data that ends early.
    EXPECT_FALSE(DecodeBytes(img, Tga(10, 300, 1, 24, 0, {0x81, 1, 2, 3, 0x7F}), PXIMAGE_FORMAT_TGA));
    EXPECT_STREQ(img.GetLastError(), "corrupted TGA");
    img.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(img, Tga(2, 1, 1, 24, 0, {1, 2, 3}), PXIMAGE_FORMAT_TGA));
    EXPECT_STREQ(img.GetLastError(), "Cancelled");
}
