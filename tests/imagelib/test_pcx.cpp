// The PCX reader and writer: plane layouts of netpbm and ImageMagick, the byte-run encoding,
// line lengths, and files that are short or inconsistent.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imagelib/codecs/PxPcxCodec.h"
#include "platform/le.h"
#include "peertest.h"
#include "tooltest.h"

namespace {

// A 128-byte header for w x h, then the given data.
Bytes Pcx(WORD w, WORD h, BYTE bits, BYTE planes, WORD bpl, const Bytes& data) {
    Bytes f(128);
    f[0] = 10, f[1] = 5, f[2] = 1, f[3] = bits;
    le::put16(&f[8], static_cast<WORD>(w - 1));
    le::put16(&f[10], static_cast<WORD>(h - 1));
    le::put16(&f[12], 300);
    le::put16(&f[14], 150);
    f[65] = planes;
    le::put16(&f[66], bpl);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

// How the other programs see a file. ImageMagick reads 1-bit single-plane files with the bits
// inverted (netpbm and Pillow agree with each other), so those go through pcxtoppm.
Ppm PeerRender(const std::string& file, WORD bpp) {
    if (bpp != 1) return Render(file);
    if (Shell("pcxtoppm '" + file + "' > '" + file + ".peer.ppm'") != 0) return Ppm{};
    return Render(file + ".peer.ppm");
}

}  // namespace

TEST(Pcx, FilesOfNetpbmAndImageMagickLoad) {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick (convert) missing";
    TempDir dir;
    const std::string rgb = dir.File("rgb.ppm");
    ASSERT_EQ(Shell("convert rose: -resize 151x9\\! '" + rgb + "'"), 0);
    for (int n : {2, 4, 8, 16, 200})
        ASSERT_EQ(Shell("convert '" + rgb + "' -colors " + std::to_string(n) + " '" + dir.File("c") + std::to_string(n) + ".ppm'"), 0);
    struct Case {
        const char* name;
        std::string command;
        int planes;
        WORD bpp;
    } cases[] = {
        {"n1.pcx", "ppmtopcx C2 > OUT", 1, 1},
        {"n2.pcx", "ppmtopcx C4 > OUT", 2, 4},
        {"n3.pcx", "ppmtopcx C8 > OUT", 3, 4},
        {"n4.pcx", "ppmtopcx C16 > OUT", 4, 4},
        {"n8.pcx", "ppmtopcx -8bit C200 > OUT", 1, 8},
        {"n24.pcx", "ppmtopcx -24bit IN > OUT", 3, 24},
        {"pil1.pcx", "PIL", 1, 1},
        {"m8.pcx", "convert C200 -type Palette OUT", 1, 8},
        {"m24.pcx", "convert IN -type TrueColor OUT", 3, 24},
        {"m32.pcx", "convert IN -alpha set -channel A -fx 'i/w' OUT", 4, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.command.rfind("ppmtopcx", 0) == 0 && !HaveTool("ppmtopcx")) continue;
        std::string cmd = c.command;
        if (cmd == "PIL") {
            if (Shell("/usr/bin/python3 -c 'import PIL'") != 0) continue;
            cmd = "/usr/bin/python3 -c \"import sys; from PIL import Image; Image.open(sys.argv[1]).convert('1').save(sys.argv[2])\" C2 OUT";
        }
        auto replace = [&](const std::string& from, const std::string& to) {
            for (size_t at; (at = cmd.find(from)) != std::string::npos;) cmd.replace(at, from.size(), to);
        };
        const std::string file = dir.File(c.name);
        for (const char* n : {"200", "16", "8", "4", "2"}) replace(std::string("C") + n, "'" + dir.File("c") + n + ".ppm'");
        replace("IN", "'" + rgb + "'");
        replace("OUT", "'" + file + "'");
        ASSERT_EQ(Shell(cmd), 0) << cmd;
        ASSERT_EQ(ReadFile(file).at(65), c.planes);
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), 0)) << img.GetLastError();
        EXPECT_EQ(img.GetType(), static_cast<DWORD>(PXIMAGE_FORMAT_PCX));
        EXPECT_EQ(img.GetBpp(), c.bpp);
        EXPECT_EQ(MaxDifference(img, PeerRender(file, c.bpp)), 0);
        EXPECT_EQ(img.AlphaIsValid(), c.planes == 4 && c.bpp == 24);
        if (img.AlphaIsValid()) {
            EXPECT_EQ(img.AlphaGet(0, 0), 0);
            EXPECT_GT(img.AlphaGet(150, 0), 250);
        }
    }
}

TEST(Pcx, OurFilesReadInOtherTools) {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick (convert) missing";
    TempDir dir;
    PxImage one(13, 3, 1), four(13, 3, 4), eight(13, 3, 8), rgb(13, 3, 24);
    one.SetPaletteColor(0, 255, 255, 255);  // white, black: saved inverted
    one.SetPaletteColor(1, 0, 0, 0);
    for (int i = 0; i < 16; ++i) four.SetPaletteColor(BYTE(i), BYTE(i * 16), BYTE(i * 3), BYTE(250 - i * 9));
    for (int i = 0; i < 256; ++i) eight.SetPaletteColor(BYTE(i), BYTE(i), BYTE(255 - i), BYTE(i / 2));
    for (LONG y = 0; y < 3; ++y)
        for (LONG x = 0; x < 13; ++x) {
            one.SetPixelIndex(x, y, BYTE((x + y) & 1));
            four.SetPixelIndex(x, y, BYTE((x * 3 + y) & 15));
            eight.SetPixelIndex(x, y, BYTE(x * 19 + y * 7));
            rgb.SetPixelColor(x, y, RGBQUAD{BYTE(x * 19), BYTE(y * 90), 200, 0});
        }
    for (PxImage* img : {&one, &four, &eight, &rgb}) {
        SCOPED_TRACE(img->GetBpp());
        const std::string file = dir.File("ours" + std::to_string(img->GetBpp()) + ".pcx");
        ASSERT_TRUE(img->Save(file.c_str(), PXIMAGE_FORMAT_PCX)) << img->GetLastError();
        EXPECT_EQ(le::get16(ReadFile(file).data() + 66) % 2, 0);  // even lines for an odd width
        if (img->GetBpp() > 1) {
            EXPECT_EQ(MaxDifference(*img, Render(file)), 0);
        }
        if (HaveTool("pcxtoppm")) {
            ASSERT_EQ(Shell("pcxtoppm '" + file + "' > '" + file + ".ppm'"), 0);
            EXPECT_EQ(MaxDifference(*img, Render(file + ".ppm")), 0);
        }
        if (HavePillow()) {
            EXPECT_EQ(MaxDifference(*img, PillowRender(file)), 0);
        }
        PxImage back;
        ASSERT_TRUE(back.Load(file.c_str(), 0));
        EXPECT_EQ(back.GetBpp(), img->GetBpp());
        EXPECT_EQ(MaxDifference(back, PeerRender(file, img->GetBpp())), 0);
    }
    // The white, black picture comes back with 0 black: the same picture.
    PxImage back;
    ASSERT_TRUE(back.Load(dir.File("ours1.pcx").c_str(), 0));
    EXPECT_EQ(back.GetPaletteColor(0).rgbRed, 0);
    EXPECT_EQ(back.GetPixelIndex(0, 0), 1);

    rgb.AlphaCreate();
    rgb.AlphaSet(4, 1, 33);
    const std::string a = dir.File("alpha.pcx");
    ASSERT_TRUE(rgb.Save(a.c_str(), PXIMAGE_FORMAT_PCX));
    ASSERT_TRUE(back.Load(a.c_str(), 0));
    ASSERT_TRUE(back.AlphaIsValid());
    EXPECT_EQ(back.AlphaGet(4, 1), 33);
    EXPECT_EQ(back.AlphaGet(5, 1), 255);
}

TEST(Pcx, ByteRunsAndLineLengths) {
    // 100 equal bytes go out as runs of 63 and 37.
    PxImage run(100, 1, 8);
    std::memset(run.GetBits(), 7, 100);
    Bytes f = EncodeToBytes(run, PXIMAGE_FORMAT_PCX);
    ASSERT_GE(f.size(), 128u + 4 + 769);
    EXPECT_EQ(le::get16(&f[66]), 100);
    EXPECT_EQ(Bytes(f.begin() + 128, f.begin() + 132), (Bytes{0xFF, 7, 0xC0 | 37, 7}));
    EXPECT_EQ(f[132], 12);
    // The value-by-value packer makes the same runs as the encoder's line packer.
    PxMemFile packed;
    ASSERT_TRUE(packed.Open());
    LONG last = -1, count = 0;
    for (int i = 0; i < 100; ++i) PxPcxCodec::PCX_PackPixels(7, last, count, &packed);
    PxPcxCodec::PCX_PackPixels(-1, last, count, &packed);
    const BYTE* p = packed.GetBuffer(false);
    EXPECT_EQ(Bytes(p, p + packed.Size()), Bytes(f.begin() + 128, f.begin() + 132));

    // An odd width: one pad byte per plane line.
    PxImage odd(3, 1, 24);
    odd.SetPixelColor(0, 0, RGBQUAD{1, 2, 0xC5, 0});
    f = EncodeToBytes(odd, PXIMAGE_FORMAT_PCX);
    EXPECT_EQ(le::get16(&f[66]), 4);
    EXPECT_EQ(Bytes(f.begin() + 128, f.end()), (Bytes{0xC1, 0xC5, 0xC2, 0, 0, 2, 0xC2, 0, 0, 1, 0xC2, 0, 0}));

    // Lines may hold more than the width; the extra bytes are skipped.
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, Pcx(2, 2, 8, 3, 4, {1, 2, 9, 9, 3, 4, 9, 9, 5, 6, 9, 9, 7, 8, 9, 9, 10, 11, 9, 9, 12, 13, 9, 9}), PXIMAGE_FORMAT_PCX));
    EXPECT_EQ(img.GetPixelColor(1, 1, false).rgbRed, 2);
    EXPECT_EQ(img.GetPixelColor(1, 1, false).rgbBlue, 6);
    EXPECT_EQ(img.GetPixelColor(0, 0, false).rgbGreen, 10);
    EXPECT_EQ(img.GetXDPI(), 300);
    EXPECT_EQ(img.GetYDPI(), 150);

    // Two planes of 1 bit keep all four colours.
    Bytes two = Pcx(8, 1, 1, 2, 2, {0x0F, 0, 0x33, 0});
    for (int i = 0; i < 4; ++i) two[16 + 3 * i] = BYTE(60 * i + 10);
    ASSERT_TRUE(DecodeBytes(img, two, PXIMAGE_FORMAT_PCX));
    EXPECT_EQ(img.GetBpp(), 4);
    EXPECT_EQ(img.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(img.GetPixelIndex(2, 0), 2);
    EXPECT_EQ(img.GetPixelIndex(4, 0), 1);
    EXPECT_EQ(img.GetPixelIndex(7, 0), 3);
    EXPECT_EQ(img.GetPixelColor(7, 0, false).rgbRed, 190);
}

TEST(Pcx, BadFilesAreRefused) {
    PxImage img;
    // A missing palette signature, data that ends early, a run past the end.
    EXPECT_FALSE(DecodeBytes(img, Pcx(4, 1, 8, 1, 4, {1, 2, 3, 4, 11}), PXIMAGE_FORMAT_PCX));
    EXPECT_STREQ(img.GetLastError(), "bad color map signature");
    EXPECT_FALSE(DecodeBytes(img, Pcx(4, 2, 8, 1, 4, {1, 2, 3, 4, 5}), PXIMAGE_FORMAT_PCX));
    EXPECT_STREQ(img.GetLastError(), "corrupted PCX");
    EXPECT_FALSE(DecodeBytes(img, Pcx(4, 1, 8, 1, 4, {0xC5, 1}), PXIMAGE_FORMAT_PCX));
    EXPECT_STREQ(img.GetLastError(), "repeat count spans end of image");
    // Lines too short for the width would read into the next plane and past the data.
    EXPECT_FALSE(DecodeBytes(img, Pcx(40, 1, 8, 4, 2, Bytes(8, 1)), PXIMAGE_FORMAT_PCX));
    EXPECT_STREQ(img.GetLastError(), "PCX lines too short for the width");
    EXPECT_FALSE(DecodeBytes(img, Pcx(40, 1, 1, 1, 2, Bytes(2, 1)), PXIMAGE_FORMAT_PCX));
    EXPECT_STREQ(img.GetLastError(), "PCX lines too short for the width");
    // A huge picture in a few bytes is refused before anything is allocated.
    EXPECT_FALSE(DecodeBytes(img, Pcx(60000, 60000, 8, 4, 60000, Bytes(64, 0xFF)), PXIMAGE_FORMAT_PCX));
    EXPECT_STREQ(img.GetLastError(), "corrupted PCX");
    // x max below x min: Create's refusal, with its text.
    Bytes f = Pcx(4, 1, 8, 1, 4, {1, 2, 3, 4});
    le::put16(&f[4], 9);
    EXPECT_FALSE(DecodeBytes(img, f, PXIMAGE_FORMAT_PCX));
    EXPECT_STRNE(img.GetLastError(), "");
    img.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(img, Pcx(2, 1, 8, 3, 2, Bytes(6)), PXIMAGE_FORMAT_PCX));
    EXPECT_STREQ(img.GetLastError(), "Cancelled");
}
