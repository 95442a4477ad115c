// The JPEG-2000 family codec: files from OpenJPEG's tools, netpbm and ImageMagick load with their
// pixels, those tools read ours with the same pixels, detection reports the format it found, and
// hostile or cut files are refused with a reason.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imagelib/codecs/PxJasperCodec.h"
#include "imagetest.h"
#include "scopedenv.h"
#include "tooltest.h"

namespace {

// A 64 x 40 picture with distinct smooth channels and a few hard edges.
PxImage MakeColour() {
    PxImage img(64, 40, 24);
    for (LONG y = 0; y < 40; ++y)
        for (LONG x = 0; x < 64; ++x)
            img.SetPixelColor(x, y, Rgb(static_cast<BYTE>(x * 4), static_cast<BYTE>(y * 6), static_cast<BYTE>((x ^ y) * 3)));
    return img;
}

PxImage MakeGrey() {
    PxImage img(37, 21, 8);
    img.SetGrayPalette();
    for (LONG y = 0; y < 21; ++y)
        for (LONG x = 0; x < 37; ++x) img.SetPixelIndex(x, y, static_cast<BYTE>((x * 7 + y * 11) & 255));
    return img;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Two images with the same size and colours everywhere.
int Difference(PxImage& a, PxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return 256;
    int worst = 0;
    for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); ++x) {
            const RGBQUAD p = a.GetPixelColor(x, y, false), q = b.GetPixelColor(x, y, false);
            worst = std::max({worst, std::abs(p.rgbRed - q.rgbRed), std::abs(p.rgbGreen - q.rgbGreen),
                              std::abs(p.rgbBlue - q.rgbBlue)});
        }
    return worst;
}

// Every byte of a 24-bit picture from a linear congruential sequence: nothing to compress.
void FillNoise(PxImage& img, uint32_t seed) {
    for (DWORD y = 0; y < img.GetHeight(); ++y)
        for (DWORD x = 0; x < img.GetWidth() * 3; ++x) img.GetBits(y)[x] = static_cast<BYTE>((seed = seed * 1664525u + 1013904223u) >> 24);
}

// The file Encode writes, empty when it fails.
Bytes EncodeAt(PxImage& img, int quality, DWORD type) {
    img.SetJpegQuality(static_cast<BYTE>(quality));
    BYTE* buffer = nullptr;
    LONG size = 0;
    EXPECT_TRUE(img.Encode(buffer, size, type)) << img.GetLastError();
    Bytes bytes(buffer, buffer + size);
    PxImage::FreeMemory(buffer);
    return bytes;
}

class JasperFiles : public ::testing::Test {
protected:
    void Need(const char* tool) {
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    }
    TempDir dir;
};

}  // namespace

TEST_F(JasperFiles, OpenJpegFilesLoadWithTheirPixels) {
    Need("opj_compress");
    Need("convert");
    PxImage src = MakeColour();
    ASSERT_TRUE(src.Save(dir.File("src.ppm").c_str(), PXIMAGE_FORMAT_PNM));
    ASSERT_EQ(Shell("convert '" + dir.File("src.ppm") + "' -depth 16 '" + dir.File("src16.ppm") + "'"), 0);
    ASSERT_EQ(Shell("convert '" + dir.File("src.ppm") + "' -colorspace Gray '" + dir.File("grey.pgm") + "'"), 0);
    for (const char* name : {"a.jp2", "a.j2k"})
        ASSERT_EQ(Shell("opj_compress -i '" + dir.File("src.ppm") + "' -o '" + dir.File(name) + "' >/dev/null"), 0);
    ASSERT_EQ(Shell("opj_compress -i '" + dir.File("src16.ppm") + "' -o '" + dir.File("b16.jp2") + "' >/dev/null"), 0);
    ASSERT_EQ(Shell("opj_compress -i '" + dir.File("grey.pgm") + "' -o '" + dir.File("g.j2k") + "' >/dev/null"), 0);

    for (const char* name : {"a.jp2", "a.j2k"}) {
        SCOPED_TRACE(name);
        PxImage img;
        ASSERT_TRUE(img.Load((dir.File(name)).c_str(), 0)) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), 24);
        EXPECT_EQ(img.GetType(), std::strcmp(name, "a.jp2") == 0 ? PXIMAGE_FORMAT_JP2 : PXIMAGE_FORMAT_JPC);
        EXPECT_EQ(Difference(img, src), 0);  // opj_compress is lossless by default
    }
    // 16-bit samples are scaled to 8 bits, not cut to their low byte.
    PxImage deep;
    ASSERT_TRUE(deep.Load(dir.File("b16.jp2").c_str(), PXIMAGE_FORMAT_JP2)) << deep.GetLastError();
    EXPECT_EQ(deep.GetBpp(), 24);
    EXPECT_LE(Difference(deep, src), 1);
    PxImage grey;
    ASSERT_TRUE(grey.Load(dir.File("g.j2k").c_str(), 0)) << grey.GetLastError();
    EXPECT_EQ(grey.GetBpp(), 8);
    EXPECT_TRUE(grey.IsGrayScale());
    EXPECT_LE(MaxDifference(grey, Render(dir.File("grey.pgm"))), 0);
}

TEST_F(JasperFiles, FourComponentsAreFourGreyFrames) {
    Need("opj_compress");
    Need("convert");
    PxImage src = MakeColour();
    ASSERT_TRUE(src.Save(dir.File("src.ppm").c_str(), PXIMAGE_FORMAT_PNM));
    // Alpha = x * 4, the same ramp as red.
    ASSERT_EQ(Shell("convert '" + dir.File("src.ppm") + "' -alpha set -channel A -fx 'i*4/255' PNG32:'" + dir.File("a.png") + "'"), 0);
    ASSERT_EQ(Shell("opj_compress -i '" + dir.File("a.png") + "' -o '" + dir.File("a.jp2") + "' >/dev/null"), 0);
    PxImage img;
    img.SetFrame(3);
    ASSERT_TRUE(img.Load(dir.File("a.jp2").c_str(), PXIMAGE_FORMAT_JP2)) << img.GetLastError();
    EXPECT_EQ(img.GetBpp(), 8);
    EXPECT_TRUE(img.IsGrayScale());
    for (LONG x : {0, 10, 63}) EXPECT_NEAR(img.GetPixelIndex(x, 5), x * 4, 1);
}

TEST_F(JasperFiles, OurJpegTwoThousandFilesReadBackInOpenJpeg) {
    Need("opj_decompress");
    PxImage src = MakeColour();
    src.SetJpegQuality(100);
    ASSERT_TRUE(src.Save(dir.File("ours.jp2").c_str(), PXIMAGE_FORMAT_JP2)) << src.GetLastError();
    ASSERT_EQ(Shell("opj_decompress -i '" + dir.File("ours.jp2") + "' -o '" + dir.File("back.ppm") + "' >/dev/null"), 0);
    PxImage back;
    ASSERT_TRUE(back.Load(dir.File("back.ppm").c_str(), PXIMAGE_FORMAT_PNM));
    EXPECT_EQ(Difference(back, src), 0) << "quality 100 is lossless";

    // A lower quality is a real compression ratio, and the picture stays close.
    src.SetJpegQuality(5);
    ASSERT_TRUE(src.Save(dir.File("small.j2k").c_str(), PXIMAGE_FORMAT_JPC));
    EXPECT_LT(ReadFile(dir.File("small.j2k")).size(), ReadFile(dir.File("ours.jp2")).size() / 2);
    ASSERT_EQ(Shell("opj_decompress -i '" + dir.File("small.j2k") + "' -o '" + dir.File("small.ppm") + "' >/dev/null"), 0);
    PxImage lossy;
    ASSERT_TRUE(lossy.Load(dir.File("small.ppm").c_str(), 0));
    ASSERT_EQ(lossy.GetWidth(), src.GetWidth());
    double error = 0;
    for (LONG y = 0; y < 40; ++y)
        for (LONG x = 0; x < 64; ++x) error += std::abs(lossy.GetPixelGray(x, y) - src.GetPixelGray(x, y));
    EXPECT_LT(error / (64 * 40), 8);

    // Grey, and a picture smaller than OpenJPEG's default number of resolution levels allows.
    PxImage tiny(5, 3, 8);
    tiny.SetGrayPalette();
    for (LONG x = 0; x < 5; ++x) tiny.SetPixelIndex(x, 1, static_cast<BYTE>(40 * x));
    tiny.SetJpegQuality(0);  // counts as 1
    ASSERT_TRUE(tiny.Save(dir.File("tiny.j2k").c_str(), PXIMAGE_FORMAT_JPC)) << tiny.GetLastError();
    tiny.SetJpegQuality(100);
    ASSERT_TRUE(tiny.Save(dir.File("tiny.jp2").c_str(), PXIMAGE_FORMAT_JP2)) << tiny.GetLastError();
    ASSERT_EQ(Shell("opj_decompress -i '" + dir.File("tiny.jp2") + "' -o '" + dir.File("tiny.pgm") + "' >/dev/null"), 0);
    PxImage tinyBack;
    ASSERT_TRUE(tinyBack.Load(dir.File("tiny.pgm").c_str(), 0));
    EXPECT_EQ(tinyBack.GetBpp(), 8);
    EXPECT_EQ(Difference(tinyBack, tiny), 0);
}

TEST_F(JasperFiles, NetpbmAndImageMagickFilesLoadWithTheirPixels) {
    Need("convert");
    Need("pnmtorast");
    PxImage src = MakeColour();
    ASSERT_TRUE(src.Save(dir.File("src.ppm").c_str(), PXIMAGE_FORMAT_PNM));
    const std::string s = "'" + dir.File("src.ppm") + "'";
    struct Case {
        const char* name;
        std::string make;
        WORD bpp;
    };
    const Case cases[] = {
        {"p6-16.ppm", "convert " + s + " -depth 16 ", 24},
        {"p3.ppm", "pnmtoplainpnm " + s + " > ", 24},
        {"p5.pgm", "convert " + s + " -colorspace Gray ", 8},
        {"p5-16.pgm", "convert " + s + " -colorspace Gray -depth 16 ", 24},
        {"p2-16.pgm", "convert " + s + " -colorspace Gray -depth 16 -compress None ", 24},
        {"max100.pgm", "ppmtopgm " + s + " | pamdepth 100 > ", 24},
        {"p4.pbm", "convert " + s + " -threshold 50% ", 1},
        {"p1.pbm", "convert " + s + " -threshold 50% -compress None ", 1},
        {"std.ras", "pnmtorast -standard " + s + " > ", 24},
        {"rle.ras", "pnmtorast -rle " + s + " > ", 24},
        {"grey-rle.ras", "ppmtopgm " + s + " | pnmtorast -rle > ", 24},
        {"mapped.ras", "convert " + s + " -colors 12 ppm:- | pnmtorast > ", 24},
        {"mono.ras", "convert " + s + " -threshold 50% pbm:- | pnmtorast > ", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        ASSERT_EQ(Shell(c.make + "'" + path + "'"), 0);
        PxImage img;
        ASSERT_TRUE(img.Load(path.c_str(), 0)) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), c.bpp);
        EXPECT_EQ(img.GetType(), path.ends_with(".ras") ? PXIMAGE_FORMAT_RAS : PXIMAGE_FORMAT_PNM);
        // Rendered by ImageMagick at 8 bits; 16-bit and maxval-100 samples round once there and once here.
        // netpbm's own reading of RAS files (ImageMagick fails on some of pnmtorast's runs).
        std::string reference = path;
        if (path.ends_with(".ras")) {
            reference += ".pnm";
            ASSERT_EQ(Shell("rasttopnm '" + path + "' > '" + reference + "'"), 0);
        }
        const Ppm seen = Render(reference, "-strip");
        EXPECT_LE(MaxDifference(img, seen), 1) << seen.w << "x" << seen.h << " against " << img.GetWidth() << "x" << img.GetHeight();
    }
}

TEST_F(JasperFiles, ToolsReadOurPnmRasAndPgxFiles) {
    Need("convert");
    Need("rasttopnm");
    PxImage colour = MakeColour(), grey = MakeGrey();
    struct Case {
        PxImage* img;
        DWORD type;
        const char* name;
        const char* reader;  // a command that turns the file into a netpbm file on stdout
    };
    const Case cases[] = {
        {&colour, PXIMAGE_FORMAT_PNM, "c.ppm", "cat"},
        {&grey, PXIMAGE_FORMAT_PNM, "g.pgm", "cat"},
        {&colour, PXIMAGE_FORMAT_RAS, "c.ras", "rasttopnm"},
        {&grey, PXIMAGE_FORMAT_RAS, "g.ras", "rasttopnm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name), out = path + ".pnm";
        ASSERT_TRUE(c.img->Save(path.c_str(), c.type)) << c.img->GetLastError();
        ASSERT_EQ(Shell(std::string(c.reader) + " '" + path + "' > '" + out + "'"), 0);
        EXPECT_EQ(MaxDifference(*c.img, Render(out)), 0);
        // And what we write, we detect as what it is.
        PxImage back;
        ASSERT_TRUE(back.Load(path.c_str(), 0));
        EXPECT_EQ(back.GetType(), c.type);
        EXPECT_EQ(Difference(back, *c.img), 0);
    }
    if (HaveTool("opj_compress")) {
        const std::string pgx = dir.File("g.pgx"), j2k = dir.File("g.j2k"), pgm = dir.File("g2.pgm");
        ASSERT_TRUE(grey.Save(pgx.c_str(), PXIMAGE_FORMAT_PGX));
        ASSERT_EQ(Shell("opj_compress -n 3 -i '" + pgx + "' -o '" + j2k + "' >/dev/null"), 0);
        ASSERT_EQ(Shell("opj_decompress -i '" + j2k + "' -o '" + pgm + "' >/dev/null"), 0);
        const Ppm seen = Render(pgm, "-strip");
        EXPECT_EQ(MaxDifference(grey, seen), 0) << seen.w << "x" << seen.h;
        // opj_decompress's own PGX, per component.
        ASSERT_EQ(Shell("opj_decompress -i '" + j2k + "' -o '" + dir.File("o.pgx") + "' >/dev/null"), 0);
        PxImage fromTool;
        ASSERT_TRUE(fromTool.Load(dir.File("o_0.pgx").c_str(), 0)) << fromTool.GetLastError();
        EXPECT_EQ(fromTool.GetType(), PXIMAGE_FORMAT_PGX);
        EXPECT_EQ(Difference(fromTool, grey), 0);
    }
}

TEST(Jasper, EveryFormatWeWriteIsDetectedAsItselfAndANamedIdIsKept) {
    PxImage grey = MakeGrey();
    for (DWORD type : {PXIMAGE_FORMAT_JP2, PXIMAGE_FORMAT_JPC, PXIMAGE_FORMAT_PGX, PXIMAGE_FORMAT_PNM, PXIMAGE_FORMAT_RAS}) {
        SCOPED_TRACE(type);
        BYTE* buffer = nullptr;
        LONG size = 0;
        ASSERT_TRUE(grey.Encode(buffer, size, type)) << grey.GetLastError();
        Bytes bytes(buffer, buffer + size);
        PxImage::FreeMemory(buffer);
        PxImage detected, named;
        ASSERT_TRUE(DecodeBytes(detected, bytes, 0)) << detected.GetLastError();
        EXPECT_EQ(detected.GetType(), type);
        EXPECT_EQ(Difference(detected, grey), 0);
        // Any id of the family reads any of its formats and keeps the id it was given.
        const DWORD other = type == PXIMAGE_FORMAT_RAS ? PXIMAGE_FORMAT_JP2 : type + 1;
        ASSERT_TRUE(DecodeBytes(named, bytes, other));
        EXPECT_EQ(named.GetType(), other);
    }
}

TEST(Jasper, QualityHundredIsLosslessEvenForNoise) {
    // Noise compresses to more than its raw size, so a ratio of 1 would have to cut it.
    PxImage noise(48, 33, 24);
    FillNoise(noise, 7);
    for (DWORD type : {PXIMAGE_FORMAT_JP2, PXIMAGE_FORMAT_JPC}) {
        const Bytes bytes = EncodeAt(noise, 100, type);
        PxImage back;
        ASSERT_TRUE(DecodeBytes(back, bytes, PXIMAGE_FORMAT_UNKNOWN));
        EXPECT_EQ(Difference(back, noise), 0) << type;
    }
}

TEST(Jasper, TheBytesWrittenDoNotDependOnTheThreadCount) {
    // Over a megabyte of samples each, so that OpenJPEG's worker threads are used, and odd-sized,
    // so that the last code blocks of every row and column are partial.
    PxImage grey(1031, 1025, 8), colour(611, 577, 24);
    grey.SetGrayPalette();
    uint32_t seed = 11;
    for (PxImage* img : {&grey, &colour})
        for (DWORD y = 0; y < img->GetHeight(); ++y) {
            BYTE* row = img->GetBits(y);
            for (DWORD i = 0; i < img->GetWidth() * img->GetBpp() / 8; ++i)
                row[i] = static_cast<BYTE>((i + 3 * y) / 5 + ((seed = seed * 1664525u + 1013904223u) >> 29));
        }
    struct Case {
        PxImage* img;
        DWORD type;
        int quality;
    };
    // Quality 100 is lossless; below it OpenJPEG allocates the rate, which must not vary either.
    const Case cases[] = {{&grey, PXIMAGE_FORMAT_JPC, 100}, {&grey, PXIMAGE_FORMAT_JP2, 20},
                          {&colour, PXIMAGE_FORMAT_JP2, 100}, {&colour, PXIMAGE_FORMAT_JPC, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.img->GetBpp() << " bits, type " << c.type << ", quality " << c.quality);
        c.img->SetJpegQuality(c.quality);
        Bytes single;
        PxImage singleBack;
        for (const char* threads : {"1", "4", static_cast<const char*>(nullptr)}) {
            SCOPED_TRACE(threads ? threads : "sized to the machine");
            ScopedEnv pinned("OPJ_NUM_THREADS", threads);  // nullptr: the codec sizes its threads itself
            BYTE* buffer = nullptr;
            LONG size = 0;
            ASSERT_TRUE(c.img->Encode(buffer, size, c.type)) << c.img->GetLastError();
            Bytes bytes(buffer, buffer + size);
            PxImage::FreeMemory(buffer);
            PxImage back;
            ASSERT_TRUE(DecodeBytes(back, bytes, PXIMAGE_FORMAT_UNKNOWN)) << back.GetLastError();
            ASSERT_EQ(back.GetBpp(), c.img->GetBpp());
            // Lossless at 100; at 20 the rate allocation really cuts.
            if (c.quality == 100)
                EXPECT_EQ(Difference(back, *c.img), 0);
            else
                EXPECT_GT(Difference(back, *c.img), 0);
            if (single.empty()) {
                single = bytes;
                singleBack.Copy(back);
                continue;
            }
            EXPECT_TRUE(bytes == single) << bytes.size() << " bytes against " << single.size() << " with one thread";
            EXPECT_EQ(Difference(back, singleBack), 0);
        }
    }
}

TEST(Jasper, ARatioTheLosslessStreamMeetsKeepsTheLosslessStream) {
    // Above quality 50 the lossless stream is tried first; it is kept only when it fits the ratio.
    PxImage smooth = MakeColour(), noise(64, 40, 24);
    FillNoise(noise, 5);
    const double raw = 64.0 * 40 * 3;
    for (DWORD type : {PXIMAGE_FORMAT_JP2, PXIMAGE_FORMAT_JPC}) {
        SCOPED_TRACE(type);
        const Bytes lossless = EncodeAt(smooth, 100, type);
        for (int quality : {51, 90, 99}) {
            const Bytes bytes = EncodeAt(smooth, quality, type);
            EXPECT_TRUE(bytes == lossless) << "quality " << quality << ": " << bytes.size() << " bytes against " << lossless.size();
        }
        ASSERT_LE(lossless.size(), raw / 1.11);
        // Noise does not fit 1.11:1 lossless: the rate search cuts it to the ratio.
        const Bytes cut = EncodeAt(noise, 90, type);
        EXPECT_LE(cut.size(), raw / (100.0 / 90));
        EXPECT_GT(EncodeAt(noise, 100, type).size(), cut.size());
        PxImage back;
        ASSERT_TRUE(DecodeBytes(back, cut, PXIMAGE_FORMAT_UNKNOWN));
        EXPECT_GT(Difference(back, noise), 0);
    }
}

TEST(Jasper, SamplesAreScaledFromTheirOwnRange) {
    // maxval 100: 100 is white and 50 mid grey, not nearly black.
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, Text("P2 3 1 100\n0 50 100\n"), PXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(img.GetBpp(), 24);
    ExpectRgb(img, 0, 0, 0, 0, 0);
    ExpectRgb(img, 1, 0, 128, 128, 128);
    ExpectRgb(img, 2, 0, 255, 255, 255);
    // 16-bit binary samples: the high byte counts, not the low one.
    Bytes p6 = Text("P6 2 1 65535\n");
    for (BYTE b : {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0xFF, 0x00}) p6.push_back(b);
    ASSERT_TRUE(DecodeBytes(img, p6, PXIMAGE_FORMAT_UNKNOWN));
    ExpectRgb(img, 0, 0, 255, 128, 0);
    ExpectRgb(img, 1, 0, 0, 1, 254);
    // A 4-bit grey PGM keeps 4 bits; a plain PBM's set bit is black.
    ASSERT_TRUE(DecodeBytes(img, Text("P2 2 1 15 0 15"), PXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(img.GetBpp(), 4);
    EXPECT_EQ(img.GetPixelGray(1, 0), 255);
    ASSERT_TRUE(DecodeBytes(img, Text("P1 3 1 101"), PXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(img.GetBpp(), 1);
    EXPECT_EQ(img.GetPixelGray(0, 0), 0);
    EXPECT_EQ(img.GetPixelGray(1, 0), 255);
    // Signed PGX samples are moved up by half their range; LM is little-endian.
    Bytes pgx = Text("PG LM -12 2 1\n");
    for (BYTE b : {0x00, 0xF8, 0xFF, 0x07}) pgx.push_back(b);  // -2048 and 2047
    ASSERT_TRUE(DecodeBytes(img, pgx, PXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_PGX);
    ExpectRgb(img, 0, 0, 0, 0, 0);
    ExpectRgb(img, 1, 0, 255, 255, 255);
}

TEST(Jasper, BinaryBytesReadAsTheSameSamplesWrittenAsText) {
    // Binary 8-bit netpbm rows go straight into the picture; the text forms of the same samples
    // go through the sample reader. Both must make the same picture, frame for a PGM included.
    for (const auto& [w, h] : {std::pair{1, 1}, {3, 5}, {257, 3}}) {
        for (const int comps : {1, 3}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(comps));
            const std::string size = std::to_string(w) + " " + std::to_string(h) + " 255\n";
            Bytes binary = Text((comps == 3 ? "P6\n" : "P5\n") + size);
            std::string text = (comps == 3 ? "P3\n" : "P2\n") + size;
            for (int i = 0; i < w * h * comps; ++i) {
                const BYTE v = static_cast<BYTE>(i * 37 + i / 7);
                binary.push_back(v);
                text += std::to_string(v) + " ";
            }
            PxImage fast, slow;
            ASSERT_TRUE(DecodeBytes(fast, binary, PXIMAGE_FORMAT_UNKNOWN)) << fast.GetLastError();
            ASSERT_TRUE(DecodeBytes(slow, Text(text), PXIMAGE_FORMAT_UNKNOWN)) << slow.GetLastError();
            ASSERT_EQ(fast.GetBpp(), slow.GetBpp());
            EXPECT_EQ(fast.GetNumFrames(), slow.GetNumFrames());
            EXPECT_EQ(Difference(fast, slow), 0);
            for (LONG y = 0; y < h; ++y)
                ASSERT_EQ(std::memcmp(fast.GetBits(y), slow.GetBits(y), fast.GetEffWidth()), 0) << "row " << y;
            // One byte short is refused as the sample reader refuses it.
            binary.pop_back();
            EXPECT_FALSE(DecodeBytes(fast, binary, PXIMAGE_FORMAT_PNM));
            EXPECT_STREQ(fast.GetLastError(), "PNM: unexpected end of file");
        }
    }
}

TEST(Jasper, NetpbmFilesHoldEveryRowFromTheTopAsTheirPixels) {
    // Written a megabyte at a time on the workers: 257 x 1500 spans two chunks, the second part full.
    for (const auto& [w, h] : {std::pair{1, 1}, {257, 1500}}) {
        for (const int bpp : {8, 24}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bpp));
            PxImage img(static_cast<DWORD>(w), static_cast<DWORD>(h), static_cast<WORD>(bpp));
            if (bpp == 8) img.SetGrayPalette();
            for (LONG y = 0; y < h; ++y)
                for (DWORD i = 0; i < img.GetEffWidth(); ++i) img.GetBits(y)[i] = static_cast<BYTE>(i * 31 + y * 7 + i / 5);
            const Bytes bytes = EncodeAt(img, 90, PXIMAGE_FORMAT_PNM);  // the quality plays no part
            Bytes expected = Text((bpp == 8 ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) + "\n255\n");
            for (LONG y = h - 1; y >= 0; --y)
                for (LONG x = 0; x < w; ++x) {
                    const RGBQUAD c = img.GetPixelColor(x, y, false);
                    if (bpp == 8) expected.push_back(c.rgbRed);
                    else expected.insert(expected.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
                }
            EXPECT_TRUE(bytes == expected) << bytes.size() << " bytes against " << expected.size();
            // And read back (on the workers too at this size) as the same rows.
            PxImage back;
            ASSERT_TRUE(DecodeBytes(back, bytes, PXIMAGE_FORMAT_UNKNOWN)) << back.GetLastError();
            ASSERT_EQ(back.GetBpp(), img.GetBpp());
            for (LONG y = 0; y < h; ++y)
                ASSERT_EQ(std::memcmp(back.GetBits(y), img.GetBits(y), static_cast<size_t>(w) * bpp / 8), 0) << "row " << y;
        }
    }
}

TEST(Jasper, SunRastersReadAsTheSameColoursWrittenAsText) {
    // Sun raster rows of 8-bit samples go straight into the picture; a text netpbm file of the
    // same colours goes through the sample reader. Both must make the same picture.
    const struct {
        DWORD depth, type;
        bool mapped;
    } kinds[] = {{24, 1, false}, {24, 3, false}, {32, 1, false}, {24, 2, false}, {8, 1, false}, {8, 1, true}, {8, 2, true}};
    const BYTE map[3][7] = {{1, 50, 99, 128, 200, 250, 255}, {3, 9, 27, 81, 243, 0, 7}, {255, 0, 128, 64, 32, 16, 8}};
    auto put32 = [](Bytes& b, DWORD v) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<BYTE>(v >> s));
    };
    for (const auto& [w, h] : {std::pair{1u, 1u}, {3u, 5u}, {257u, 3u}}) {
        for (const auto& k : kinds) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " depth " + std::to_string(k.depth) + " type " +
                         std::to_string(k.type) + (k.mapped ? " mapped" : ""));
            const bool grey = k.depth == 8 && !k.mapped;
            std::string text = (grey ? "P2 " : "P3 ") + std::to_string(w) + " " + std::to_string(h) + " 255\n";
            Bytes raster;
            const size_t rowBytes = ((w * k.depth + 15) / 16) * 2;
            for (DWORD y = 0; y < h; ++y) {
                Bytes row(rowBytes, 0);
                for (DWORD x = 0; x < w; ++x) {
                    const BYTE v = static_cast<BYTE>(x * 37 + y * 11 + 0x80 * (x & 1));
                    if (k.depth == 8) {
                        row[x] = k.mapped ? v % 9 : v;  // indices past the map's end are 0
                        const int i = k.mapped && v % 9 < 7 ? v % 9 : 0;
                        text += grey ? std::to_string(v) + " "
                                     : std::to_string(map[0][i]) + " " + std::to_string(map[1][i]) + " " + std::to_string(map[2][i]) + " ";
                        continue;
                    }
                    const BYTE rgb[3] = {v, static_cast<BYTE>(v * 3), static_cast<BYTE>(v ^ 0x80)};
                    BYTE* p = &row[x * (k.depth / 8) + (k.depth == 32 ? 1 : 0)];
                    for (int c = 0; c < 3; ++c) p[c] = rgb[k.type == 3 ? c : 2 - c];
                    text += std::to_string(rgb[0]) + " " + std::to_string(rgb[1]) + " " + std::to_string(rgb[2]) + " ";
                }
                for (BYTE b : row) {
                    raster.push_back(b);
                    if (k.type == 2 && b == 0x80) raster.push_back(0);  // the escape's literal 0x80
                }
            }
            Bytes file;
            for (DWORD v : {0x59A66A95u, w, h, k.depth, static_cast<DWORD>(raster.size()), k.type, k.mapped ? 1u : 0u,
                            k.mapped ? 21u : 0u})
                put32(file, v);
            if (k.mapped)
                for (const auto& plane : map) file.insert(file.end(), plane, plane + 7);
            file.insert(file.end(), raster.begin(), raster.end());
            PxImage fast, slow;
            ASSERT_TRUE(DecodeBytes(fast, file, PXIMAGE_FORMAT_UNKNOWN)) << fast.GetLastError();
            ASSERT_TRUE(DecodeBytes(slow, Text(text), PXIMAGE_FORMAT_UNKNOWN)) << slow.GetLastError();
            ASSERT_EQ(fast.GetBpp(), slow.GetBpp());
            for (LONG y = 0; y < static_cast<LONG>(h); ++y)
                ASSERT_EQ(std::memcmp(fast.GetBits(y), slow.GetBits(y), fast.GetEffWidth()), 0) << "row " << y;
        }
    }
}

TEST(Jasper, TheShortestRunEncodedRasterIsRead) {
    // 258 grey pixels in one row: a run of 256 and two literals, five bytes in all.
    Bytes ras = {0x59, 0xA6, 0x6A, 0x95, 0, 0, 1, 2, 0, 0, 0, 1, 0, 0, 0, 8, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0,
                 0x80, 0xFF, 0x40, 0x10, 0x80, 0x00};
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, ras, PXIMAGE_FORMAT_UNKNOWN)) << img.GetLastError();
    EXPECT_EQ(img.GetWidth(), 258u);
    EXPECT_EQ(img.GetPixelGray(255, 0), 0x40);
    EXPECT_EQ(img.GetPixelGray(256, 0), 0x10);
    EXPECT_EQ(img.GetPixelGray(257, 0), 0x80);
}

TEST(Jasper, AFrameBeyondTheComponentsIsRefused) {
    // The codec itself, so that the frame count of the refusal is seen.
    Bytes pgx = Text("PG ML + 8 2 1\n\x10\x20");
    PxMemFile file(pgx.data(), static_cast<unsigned long>(pgx.size()));
    PxJasperCodec codec(PXIMAGE_FORMAT_PGX);
    codec.SetFrame(1);
    EXPECT_FALSE(codec.Decode(&file, PXIMAGE_FORMAT_PGX));
    EXPECT_STREQ(codec.GetLastError(), "wrong frame!");
    EXPECT_EQ(codec.GetNumFrames(), 1);
}

TEST(Jasper, EncodingRefusesWhatTheFormatsCannotHold) {
    PxImage colour = MakeColour();
    BYTE* buffer = nullptr;
    LONG size = 0;
    EXPECT_FALSE(colour.Encode(buffer, size, PXIMAGE_FORMAT_PGX));
    EXPECT_STREQ(colour.GetLastError(), "PGX can save only GrayScale images");
    PxImage paletted(4, 4, 8);
    paletted.SetStdPalette();
    EXPECT_FALSE(paletted.Encode(buffer, size, PXIMAGE_FORMAT_JP2));
    EXPECT_STREQ(paletted.GetLastError(), "JasPer can save only RGB or GrayScale images");
    EXPECT_EQ(buffer, nullptr);
}

TEST(Jasper, CutAndHostileFilesAreRefusedWithAReason) {
    struct Case {
        const char* what;
        Bytes bytes;
        const char* text;
    };
    Bytes ras = {0x59, 0xA6, 0x6A, 0x95, 0, 0, 0x10, 0, 0, 0, 0x10, 0, 0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes rasRle = ras;
    rasRle[23] = 2;
    for (BYTE b : {0x80, 0xFF, 0x11, 0x80, 0x00}) rasRle.push_back(b);
    const Case cases[] = {
        {"PNM rows beyond the file", Text("P5 60000 60000 255\n\x01\x02"), "PNM: unexpected end of file"},
        {"plain PNM cut short", Text("P2 4 4 255\n1 2 3"), "PNM: unexpected end of file"},
        {"PNM maxval too large", Text("P5 1 1 65536\n\x01\x02"), "PNM: bad header"},
        {"PNM zero width", Text("P6 0 1 255\n"), "PNM: bad header"},
        {"PGX rows beyond the file", Text("PG ML + 16 50000 50000\n\x01"), "PGX: unexpected end of file"},
        {"PGX precision 0", Text("PG ML + 0 1 1\n\x01"), "PGX: bad header"},
        {"RAS rows beyond the file", ras, "RAS: unexpected end of file"},
        {"RAS runs cut short", rasRle, "RAS: unexpected end of file"},
        {"no signature", Text("hello, world"), "error: cannot load image data"},
        {"JPEG-2000 signature only", Bytes{0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A}, "error: cannot load image data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PxImage img;
        EXPECT_FALSE(DecodeBytes(img, c.bytes, PXIMAGE_FORMAT_PNM));
        EXPECT_STREQ(img.GetLastError(), c.text);
    }
    // A code stream whose header claims 2^31 x 2^31 pixels is refused before OpenJPEG decodes it.
    Bytes j2k = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x29, 0x00, 0x00, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF,
                 0, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
                 0x00, 0x01, 0x07, 0x01, 0x01};
    PxImage img;
    EXPECT_FALSE(DecodeBytes(img, j2k, PXIMAGE_FORMAT_JPC));
    EXPECT_STRNE(img.GetLastError(), "");
}
