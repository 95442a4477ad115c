// The GIF reader and writers: composition of animation frames, transparency, interlacing, the
// three encoders against our reader and ImageMagick's, true-colour tiles, loops and comments,
// and hostile files.
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

#include "imagelib/codecs/PxImageGIF.h"
#include "tooltest.h"

namespace {

namespace fs = std::filesystem;

// An indexed picture with runs, noise and every palette entry in use.
PxImage Picture(DWORD w, DWORD h, DWORD bpp) {
    PxImage img(w, h, bpp, PXIMAGE_FORMAT_GIF);
    const DWORD n = img.GetNumColors();
    for (DWORD i = 0; i < n; i++)
        img.SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>(i * 37), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 11));
    for (DWORD y = 0; y < h; y++)
        for (DWORD x = 0; x < w; x++) {
            DWORD v = (x / 9 + y / 5) % n;                      // runs
            if ((x * 7 + y * 13) % 23 == 0) v = (x * y) % n;   // noise
            img.SetPixelIndex(x, y, static_cast<BYTE>(v));
        }
    return img;
}

bool SameIndices(PxImage& a, PxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); y++)
        for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); x++)
            if (a.GetPixelIndex(x, y) != b.GetPixelIndex(x, y)) return false;
    return true;
}

size_t Count(const Bytes& hay, const Bytes& needle) {
    size_t n = 0;
    for (auto it = hay.begin(); (it = std::search(it, hay.end(), needle.begin(), needle.end())) != hay.end(); ++it) n++;
    return n;
}

using GifFiles = ImageMagickFiles;

}  // namespace

TEST(GifEncode, EveryEncoderRoundTripsAtEveryDepth) {
    for (DWORD bpp : {1u, 4u, 8u}) {
        PxImage img = Picture(301, 77, bpp);
        size_t sizes[3] = {};
        for (DWORD option : {0u, 1u, 2u}) {
            SCOPED_TRACE(std::to_string(bpp) + " bits, option " + std::to_string(option));
            img.SetCodecOption(option, PXIMAGE_FORMAT_GIF);
            const Bytes gif = EncodeToBytes(img, PXIMAGE_FORMAT_GIF);
            ASSERT_FALSE(gif.empty()) << img.GetLastError();
            sizes[option] = gif.size();
            PxImage back;
            ASSERT_TRUE(DecodeBytes(back, gif, PXIMAGE_FORMAT_GIF)) << back.GetLastError();
            EXPECT_EQ(back.GetBpp(), bpp);
            EXPECT_TRUE(SameIndices(img, back));
            EXPECT_TRUE(back.IsSamePalette(img, false));
        }
        EXPECT_GT(sizes[1], sizes[0]);  // uncompressed codes are the largest
    }
    // Long single-colour runs exercise the run-length encoder's table reuse and its clears.
    PxImage flat(2000, 300, 8, PXIMAGE_FORMAT_GIF);
    flat.SetGrayPalette();
    for (LONG y = 0; y < 300; y++)
        for (LONG x = 0; x < 2000; x++) flat.SetPixelIndex(x, y, static_cast<BYTE>(y < 150 ? 7 : (x < 1000 ? 9 : x % 3)));
    flat.SetCodecOption(2, PXIMAGE_FORMAT_GIF);
    const Bytes rle = EncodeToBytes(flat, PXIMAGE_FORMAT_GIF);
    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, rle, PXIMAGE_FORMAT_GIF));
    EXPECT_TRUE(SameIndices(flat, back));
}

TEST(GifEncode, TrueColourIsCutIntoTilesWithTheirOwnTables) {
    PxImage rgb(40, 20, 24, PXIMAGE_FORMAT_GIF);
    for (LONG y = 0; y < 20; y++)
        for (LONG x = 0; x < 40; x++) rgb.SetPixelColor(x, y, RGBQUAD{BYTE(x * 6), BYTE(y * 12), BYTE(x * y), 0});
    const Bytes gif = EncodeToBytes(rgb, PXIMAGE_FORMAT_GIF);
    ASSERT_FALSE(gif.empty()) << rgb.GetLastError();
    EXPECT_EQ(gif[10], 0x11);  // no global table
    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, gif, PXIMAGE_FORMAT_GIF)) << back.GetLastError();
    EXPECT_EQ(back.GetNumFrames(), 6);  // 17 + 17 + 6 columns, 15 + 5 rows
    ASSERT_EQ(back.GetBpp(), 24);
    for (LONG y = 0; y < 20; y++)
        for (LONG x = 0; x < 40; x++) {
            const RGBQUAD a = back.GetPixelColor(x, y), b = rgb.GetPixelColor(x, y);
            ASSERT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue) << x << "," << y;
        }
}

TEST(GifEncode, AnimationLoopsCommentAndRefusals) {
    PxImage a = Picture(12, 8, 4), b = Picture(12, 8, 8), c = Picture(12, 8, 1);
    PxImage* frames[] = {&a, &b, &c};
    const Bytes netscape{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1};
    for (int loops : {0, 1, 3}) {
        SCOPED_TRACE(loops);
        PxImageGIF settings;
        settings.SetLoops(loops);
        settings.SetComment(std::string(300, 'c').c_str());
        PxMemFile out;
        out.Open();
        ASSERT_TRUE(settings.Encode(&out, frames, 3, true)) << settings.GetLastError();
        const Bytes gif(out.GetBuffer(false), out.GetBuffer(false) + out.Size());
        const auto at = std::search(gif.begin(), gif.end(), netscape.begin(), netscape.end());
        if (loops == 1) {
            EXPECT_EQ(at, gif.end());
        } else {
            ASSERT_NE(at, gif.end());
            EXPECT_EQ(at[netscape.size()], loops == 0 ? 0 : loops - 1);
        }
        EXPECT_EQ(Count(gif, {0x21, 0xFE, 0xFF}), 1u);  // 255 of the 300 characters
        PxImage back;
        back.SetFrame(1);
        ASSERT_TRUE(DecodeBytes(back, gif, PXIMAGE_FORMAT_GIF)) << back.GetLastError();
        EXPECT_EQ(back.GetNumFrames(), 3);
        EXPECT_TRUE(SameIndices(back, b));
    }
    PxImageGIF settings;
    PxMemFile out;
    out.Open();
    PxImage* none[] = {nullptr};
    EXPECT_FALSE(settings.Encode(&out, none, 1));
    EXPECT_STREQ(settings.GetLastError(), "multipage GIF, no images!");
    PxImage* holes[] = {&a, nullptr};
    EXPECT_FALSE(settings.Encode(&out, holes, 2));
    EXPECT_STREQ(settings.GetLastError(), "Bad image pointer");
    EXPECT_FALSE(settings.Encode(static_cast<PxFile*>(nullptr), frames, 3));
    EXPECT_STREQ(settings.GetLastError(), "invalid file pointer");
}

TEST(GifDecode, LaterFramesWithDeeperTablesKeepTheirColours) {
    // Frame 0 has a 2-entry table, frame 1 a larger local one: the screen must hold both. Up
    // to 256 colours in all it stays indexed; beyond, it goes on in true colour.
    for (DWORD bpp : {4u, 8u}) {
        SCOPED_TRACE(bpp);
        PxImage first(16, 16, 1, PXIMAGE_FORMAT_GIF);
        first.SetPaletteColor(0, 1, 2, 3);
        first.SetPaletteColor(1, 250, 251, 252);
        PxImage second = Picture(16, 16, bpp);
        PxImage* frames[] = {&first, &second};
        PxImageGIF settings;
        PxMemFile out;
        out.Open();
        ASSERT_TRUE(settings.Encode(&out, frames, 2, true));
        const Bytes gif(out.GetBuffer(false), out.GetBuffer(false) + out.Size());
        PxImage back;
        back.SetFrame(1);
        ASSERT_TRUE(DecodeBytes(back, gif, PXIMAGE_FORMAT_GIF)) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), bpp == 4 ? 8 : 24);
        for (LONG y = 0; y < 16; y++)
            for (LONG x = 0; x < 16; x++) {
                const RGBQUAD a = back.GetPixelColor(x, y), b = second.GetPixelColor(x, y);
                ASSERT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue) << x << "," << y;
            }
    }
}

TEST(GifDecode, AnOpaqueColourOfALaterFrameNeverBecomesTheTransparentEntry) {
    // The first frame's transparent entry is black; the second frame paints opaque black
    // through its own table. The screen must show black there, not see-through.
    PxImage first(4, 4, 1, PXIMAGE_FORMAT_GIF);
    first.SetPaletteColor(0, 0, 0, 0);
    first.SetPaletteColor(1, 255, 0, 0);
    first.Clear(0xFF);
    first.SetTransIndex(0);
    PxImage second(4, 4, 1, PXIMAGE_FORMAT_GIF);
    second.SetPaletteColor(0, 0, 255, 0);
    second.SetPaletteColor(1, 0, 0, 0);
    second.Clear(0xFF);
    PxImage* frames[] = {&first, &second};
    PxImageGIF settings;
    PxMemFile out;
    out.Open();
    ASSERT_TRUE(settings.Encode(&out, frames, 2, true));
    PxImage back;
    back.SetFrame(1);
    ASSERT_TRUE(DecodeBytes(back, Bytes(out.GetBuffer(false), out.GetBuffer(false) + out.Size()), PXIMAGE_FORMAT_GIF));
    EXPECT_EQ(back.GetTransIndex(), 0);
    for (LONG y = 0; y < 4; y++)
        for (LONG x = 0; x < 4; x++) {
            EXPECT_FALSE(back.IsTransparent(x, y)) << x << "," << y;
            EXPECT_EQ(back.GetPixelColor(x, y, false).rgbRed, 0);
        }
}

TEST(GifDecode, ATransparentIndexHoldsForItsOwnFrameOnly) {
    // Frame 0 sees through index 1; frames 1 and 2 are opaque, one with a control extension
    // that says so, one without any. Their index-1 pixels must cover what lies below.
    PxImage a = Picture(10, 6, 8), b = Picture(10, 6, 8);
    a.Clear(0);
    a.SetTransIndex(1);
    b.Clear(1);
    PxImage* frames[] = {&a, &b};
    PxImageGIF settings;
    PxMemFile out;
    out.Open();
    ASSERT_TRUE(settings.Encode(&out, frames, 2, false));
    Bytes gif(out.GetBuffer(false), out.GetBuffer(false) + out.Size());
    // A copy of the second frame without its control extension, before the trailer.
    const Bytes gce{0x21, 0xF9, 4, 0};
    const auto second = std::search(gif.begin() + 20 + 3 * 256, gif.end(), gce.begin(), gce.end());
    ASSERT_NE(second, gif.end());
    const Bytes body(second + 8, gif.end() - 1);
    gif.insert(gif.end() - 1, body.begin(), body.end());
    for (int f : {1, 2}) {
        SCOPED_TRACE(f);
        PxImage back;
        back.SetFrame(f);
        ASSERT_TRUE(DecodeBytes(back, gif, PXIMAGE_FORMAT_GIF)) << back.GetLastError();
        ASSERT_EQ(back.GetNumFrames(), 3);
        const RGBQUAD want = b.GetPaletteColor(1), got = back.GetPixelColor(4, 3, false);
        EXPECT_TRUE(got.rgbRed == want.rgbRed && got.rgbGreen == want.rgbGreen && got.rgbBlue == want.rgbBlue);
    }
}

TEST(GifDecode, AFrameWithoutItsOwnTableUsesTheGlobalOneAfterAFrameThatHadOne) {
    // The picture data of a 2 x 2 frame of index 1, as our writer codes it.
    PxImage ones(2, 2, 1, PXIMAGE_FORMAT_GIF);
    ones.Clear(0xFF);
    const Bytes single = EncodeToBytes(ones, PXIMAGE_FORMAT_GIF);
    ASSERT_GT(single.size(), 38u);
    const Bytes data(single.begin() + 13 + 6 + 8 + 10, single.end() - 1);  // code size .. terminator

    Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 255, 0, 0, 0, 255, 0};  // red, green
    const Bytes plain = {',', 0, 0, 0, 0, 2, 0, 2, 0, 0};
    const Bytes local = {',', 0, 0, 0, 0, 2, 0, 2, 0, 0x80, 0, 0, 255, 255, 255, 255};  // blue, white
    for (const Bytes* frame : {&plain, &local, &plain}) {
        gif.insert(gif.end(), frame->begin(), frame->end());
        gif.insert(gif.end(), data.begin(), data.end());
    }
    gif.push_back(';');
    for (LONG f : {0, 1, 2}) {
        SCOPED_TRACE(f);
        PxImage back;
        back.SetFrame(f);
        ASSERT_TRUE(DecodeBytes(back, gif, PXIMAGE_FORMAT_GIF)) << back.GetLastError();
        const RGBQUAD c = back.GetPixelColor(1, 1, false);
        EXPECT_EQ(c.rgbRed, f == 1 ? 255 : 0);
        EXPECT_EQ(c.rgbGreen, 255);
        EXPECT_EQ(c.rgbBlue, f == 1 ? 255 : 0);
    }
}

TEST(GifEncode, AnImageUsingFewerColoursThanItsDepthStillGivesAWholeTable) {
    // A quantized JPEG keeps only the colours it uses; the GIF's table must still have the
    // 256 entries its flags announce.
    PxImage rgb(32, 16, 24);
    for (LONG y = 0; y < 16; y++)
        for (LONG x = 0; x < 32; x++) rgb.SetPixelColor(x, y, RGBQUAD{BYTE(x * 8), BYTE(y * 16), BYTE(255 - x * 8), 0});
    BYTE* buffer = nullptr;
    LONG size = 0;
    ASSERT_TRUE(rgb.Encode(buffer, size, PXIMAGE_FORMAT_JPG));
    Bytes jpg(buffer, buffer + size);
    PxImage::FreeMemory(buffer);
    PxImage quantized;
    quantized.SetCodecOption(0x100, PXIMAGE_FORMAT_JPG);  // quantize to the "quality" colours
    quantized.SetJpegQuality(16);
    PxMemFile f(jpg.data(), static_cast<unsigned long>(jpg.size()));
    ASSERT_TRUE(quantized.Decode(&f, PXIMAGE_FORMAT_JPG)) << quantized.GetLastError();
    ASSERT_EQ(quantized.GetBpp(), 8);
    ASSERT_LE(quantized.GetNumColors(), 16u);

    const Bytes gif = EncodeToBytes(quantized, PXIMAGE_FORMAT_GIF);
    ASSERT_FALSE(gif.empty());
    EXPECT_EQ(gif[10], 0xE7);
    EXPECT_EQ(gif[13 + 3 * 256], '!');  // the extension follows a 256-entry table
    PxImage back;
    ASSERT_TRUE(DecodeBytes(back, gif, PXIMAGE_FORMAT_GIF)) << back.GetLastError();
    for (LONG y = 0; y < 16; y++)
        for (LONG x = 0; x < 32; x++) {
            const RGBQUAD a = back.GetPixelColor(x, y, false), b = quantized.GetPixelColor(x, y, false);
            ASSERT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue) << x << "," << y;
        }
}

TEST(GifDecode, HostileFilesEndCleanly) {
    PxImage src = Picture(64, 32, 8);
    const Bytes good = EncodeToBytes(src, PXIMAGE_FORMAT_GIF);

    PxImage size;
    size.SetEscape(-1);
    ASSERT_TRUE(DecodeBytes(size, good, PXIMAGE_FORMAT_GIF));
    EXPECT_FALSE(size.IsValid());
    EXPECT_EQ(size.GetWidth(), 64u);

    // Cut anywhere: either a picture of the right size or a refusal that says why.
    for (size_t cut = 0; cut < good.size(); cut += 97) {
        SCOPED_TRACE(cut);
        PxImage img;
        if (DecodeBytes(img, Bytes(good.begin(), good.begin() + cut), PXIMAGE_FORMAT_GIF)) EXPECT_EQ(img.GetWidth(), 64u);
        else EXPECT_STRNE(img.GetLastError(), "");
    }

    // A true-colour screen (no global table, two frames, the first smaller) of 65535 x 65535:
    // the image cannot be made, and decoding stops there.
    Bytes huge = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0};
    for (int f = 0; f < 2; f++)
        huge.insert(huge.end(), {',', 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 1, 2, 3, 4, 5, 6, 2, 2, 0x44, 0x01, 0});
    huge.push_back(';');
    PxImage big;
    EXPECT_FALSE(DecodeBytes(big, huge, PXIMAGE_FORMAT_GIF));
    EXPECT_FALSE(big.IsValid());
    EXPECT_STRNE(big.GetLastError(), "");

    // Codes beyond the table and a bad code size.
    Bytes bad = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                 ',', 0, 0, 0, 0, 4, 0, 4, 0, 0, 2, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0, ';'};
    PxImage b1;
    EXPECT_TRUE(DecodeBytes(b1, bad, PXIMAGE_FORMAT_GIF));
    bad[29] = 12;
    PxImage b2;
    EXPECT_TRUE(DecodeBytes(b2, bad, PXIMAGE_FORMAT_GIF));  // the frame stays blank, and the reader says why
    EXPECT_STREQ(b2.GetLastError(), "GIF: bad code size");
    PxImage notgif;
    EXPECT_FALSE(DecodeBytes(notgif, Bytes{'G', 'I', 'F'}, PXIMAGE_FORMAT_GIF));
    EXPECT_STREQ(notgif.GetLastError(), "Not a GIF file");
}

TEST_F(GifFiles, ImageMagickFilesLoadAsImageMagickShowsThem) {
    const std::string plain = dir.File("plain.gif"), inter = dir.File("inter.gif"), trans = dir.File("trans.gif");
    const std::string anim = dir.File("anim.gif");
    ASSERT_EQ(Shell("convert rose: -colors 60 '" + plain + "'"), 0);
    ASSERT_EQ(Shell("convert rose: -colors 60 -interlace GIF '" + inter + "'"), 0);
    ASSERT_EQ(Shell("convert -size 30x20 xc:white -fill red -draw 'circle 15,10 15,3' -transparent white '" + trans + "'"),
              0);
    // Five frames: a full one, then patches with each disposal method.
    ASSERT_EQ(Shell("convert -size 40x30 xc:navy "
                    "-dispose None -page +5+5 -size 10x10 xc:red "
                    "-dispose Background -page +20+5 -size 10x10 xc:yellow "
                    "-dispose None -page +5+15 -size 12x8 xc:green "
                    "-page +25+18 -size 6x6 xc:white -loop 0 '" + anim + "'"),
              0);

    PxImage p, i;
    ASSERT_TRUE(p.Load(plain.c_str(), PXIMAGE_FORMAT_GIF));
    ASSERT_TRUE(i.Load(inter.c_str(), PXIMAGE_FORMAT_GIF));
    EXPECT_EQ(MaxDifference(p, Render(plain)), 0);
    EXPECT_TRUE(SameIndices(p, i));

    PxImage t;
    ASSERT_TRUE(t.Load(trans.c_str(), PXIMAGE_FORMAT_GIF));
    ASSERT_GE(t.GetTransIndex(), 0);
    EXPECT_EQ(t.GetPixelIndex(0, 0), t.GetTransIndex());
    const RGBQUAD beyond = t.GetPaletteColor(static_cast<BYTE>(t.GetNumColors() - 1));
    EXPECT_EQ(beyond.rgbRed, 255);  // entries past the file's table are white

    PxImage a;
    ASSERT_TRUE(a.Load(anim.c_str(), PXIMAGE_FORMAT_GIF));
    EXPECT_EQ(a.GetNumFrames(), 5);
    const std::string coalesced = dir.File("co.gif");
    ASSERT_EQ(Shell("convert '" + anim + "' -coalesce '" + coalesced + "'"), 0);
    for (int f : {1, 2, 3, 4}) {
        SCOPED_TRACE(f);
        PxImage frame;
        frame.SetFrame(f);
        ASSERT_TRUE(frame.Load(anim.c_str(), PXIMAGE_FORMAT_GIF)) << frame.GetLastError();
        const std::string one = dir.File("one.ppm");
        ASSERT_EQ(Shell("convert '" + coalesced + "[" + std::to_string(f) + "]' -depth 8 ppm:'" + one + "'"), 0);
        const Ppm ref = Render(one);
        ASSERT_EQ(ref.w, 40);
        for (int y = 0; y < 30; y++) {
            for (int x = 0; x < 40; x++) {
                const RGBQUAD c = frame.GetPixelColor(x, 29 - y);
                // After frame 2 its area is given back to the background: the screen's
                // background colour here, where ImageMagick makes it transparent.
                if (f >= 3 && x >= 20 && x < 30 && y >= 5 && y < 15) {
                    ASSERT_EQ(c.rgbBlue, 128) << x << "," << y;
                    continue;
                }
                const BYTE* r = &ref.rgb[3 * (static_cast<size_t>(y) * 40 + x)];
                ASSERT_TRUE(c.rgbRed == r[0] && c.rgbGreen == r[1] && c.rgbBlue == r[2]) << x << "," << y;
            }
        }
    }
}

TEST(GifDecode, InterlacedFramesOfEveryHeightMatchTheirPlainTwins) {
    // Short frames have passes without rows (none in the second pass up to 4 rows, none in the
    // third up to 2); the data goes on with the next pass that has rows. The twin is written
    // from rows put in interlaced order, with the descriptor's interlace flag set afterwards.
    for (DWORD h : {1u, 2u, 3u, 4u, 5u, 6u, 9u, 17u}) {
        SCOPED_TRACE(h);
        PxImage img = Picture(30, h, 8);
        for (DWORD y = 0; y < h; y++) img.SetPixelIndex(0, y, static_cast<BYTE>(200 + y));
        std::vector<DWORD> order;  // file rows, counted from the top
        for (DWORD start : {0u, 4u, 2u, 1u})
            for (DWORD r = start; r < h; r += (start == 0 ? 8 : start * 2)) order.push_back(r);
        ASSERT_EQ(order.size(), h);
        PxImage shuffled(img);
        for (DWORD k = 0; k < h; k++)
            for (DWORD x = 0; x < 30; x++)
                shuffled.SetPixelIndex(x, h - 1 - k, img.GetPixelIndex(x, h - 1 - order[k]));
        Bytes bytes = EncodeToBytes(shuffled, PXIMAGE_FORMAT_GIF);
        size_t at = 13 + 3 * 256;
        while (at + 10 < bytes.size() && !(bytes[at] == ',' && bytes[at + 1] == 0 && bytes[at + 3] == 0)) at++;
        ASSERT_LT(at + 10, bytes.size());
        bytes[at + 9] |= 0x40;
        PxImage back;
        ASSERT_TRUE(DecodeBytes(back, bytes, PXIMAGE_FORMAT_GIF));
        EXPECT_TRUE(SameIndices(back, img));
    }
}

TEST_F(GifFiles, WhatWeWriteImageMagickShowsWithTheSamePixels) {
    for (DWORD option : {0u, 1u, 2u}) {
        SCOPED_TRACE(option);
        PxImage img = Picture(123, 45, 8);
        img.SetCodecOption(option, PXIMAGE_FORMAT_GIF);
        const std::string file = dir.File("ours.gif");
        ASSERT_TRUE(img.Save(file.c_str(), PXIMAGE_FORMAT_GIF)) << img.GetLastError();
        EXPECT_EQ(MaxDifference(img, Render(file)), 0);
    }
    PxImage rgb(50, 31, 24, PXIMAGE_FORMAT_GIF);
    for (LONG y = 0; y < 31; y++)
        for (LONG x = 0; x < 50; x++) rgb.SetPixelColor(x, y, RGBQUAD{BYTE(x * 5), BYTE(y * 8), 99, 0});
    const std::string file = dir.File("rgb.gif"), flat = dir.File("rgb.ppm");
    ASSERT_TRUE(rgb.Save(file.c_str(), PXIMAGE_FORMAT_GIF));
    ASSERT_EQ(Shell("convert '" + file + "' -coalesce -flatten -depth 8 ppm:'" + flat + "'"), 0);
    EXPECT_EQ(MaxDifference(rgb, Render(flat)), 0);
}

TEST_F(GifFiles, PillowAndVipsFilesLoadAndPillowReadsOurs) {
    if (Shell("/usr/bin/python3 -c 'import PIL'") != 0) GTEST_SKIP() << "Pillow missing";
    const std::string src = dir.File("src.png"), anim = dir.File("pillow.gif");
    ASSERT_EQ(Shell("convert rose: PNG24:'" + src + "'"), 0);
    // Three frames with their own adaptive tables, a transparent second frame.
    ASSERT_EQ(Shell("/usr/bin/python3 -c \"import sys; from PIL import Image, ImageOps; im = Image.open(sys.argv[1]).convert('RGB'); "
                    "fr = [im.convert('P', palette=Image.ADAPTIVE, colors=c) for c in (200, 16, 64)]; "
                    "fr[1] = ImageOps.mirror(fr[1]); "
                    "fr[0].save(sys.argv[2], save_all=True, append_images=fr[1:], duration=40, loop=0, disposal=1)\" '" +
                    src + "' '" + anim + "'"),
              0);
    // Coalesced straight to P6, so that ImageMagick does not quantize the frames again.
    ASSERT_EQ(Shell("convert '" + anim + "' -coalesce '" + dir.File("co-%d.ppm") + "'"), 0);
    for (int f = 0; f < 3; f++) {
        SCOPED_TRACE(f);
        PxImage img;
        img.SetFrame(f);
        ASSERT_TRUE(img.Load(anim.c_str(), PXIMAGE_FORMAT_GIF)) << img.GetLastError();
        EXPECT_EQ(img.GetNumFrames(), 3);
        EXPECT_EQ(MaxDifference(img, Render(dir.File("co-" + std::to_string(f) + ".ppm"))), 0);
    }
    if (HaveTool("vips")) {
        const std::string v = dir.File("vips.gif");
        if (Shell("vips copy '" + src + "' '" + v + "'") == 0) {
            PxImage img;
            ASSERT_TRUE(img.Load(v.c_str(), PXIMAGE_FORMAT_GIF)) << img.GetLastError();
            EXPECT_EQ(MaxDifference(img, Render(v)), 0);
        }
    }

    // Pillow reads our animation frame by frame.
    PxImage a = Picture(40, 30, 8), b = Picture(40, 30, 4);
    PxImage* frames[] = {&a, &b};
    PxImageGIF settings;
    const std::string ours = dir.File("ours.gif");
    FILE* fp = std::fopen(ours.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    ASSERT_TRUE(settings.Encode(fp, frames, 2, true));
    std::fclose(fp);
    for (int f = 0; f < 2; f++) {
        SCOPED_TRACE(f);
        const std::string back = dir.File("back.ppm");
        ASSERT_EQ(Shell("/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                        "assert im.n_frames == 2; im.seek(int(sys.argv[3])); im.convert('RGB').save(sys.argv[2])\" '" +
                        ours + "' '" + back + "' " + std::to_string(f)),
                  0);
        EXPECT_EQ(MaxDifference(*frames[f], Render(back)), 0);
    }
}

TEST_F(GifFiles, NetpbmFilesLoadAndNetpbmReadsOurs) {
    if (!HaveTool("pamtogif") || !HaveTool("giftopnm") || !HaveTool("pnmquant")) GTEST_SKIP() << "netpbm missing";
    const std::string src = dir.File("src.ppm"), theirs = dir.File("netpbm.gif"), ref = dir.File("ref.ppm");
    const std::string ours = dir.File("ours.gif"), back = dir.File("back.ppm");
    ASSERT_EQ(Shell("convert rose: '" + src + "' && pnmquant 100 '" + src + "' | pamtogif -interlace > '" + theirs + "'"), 0);
    ASSERT_EQ(Shell("giftopnm '" + theirs + "' > '" + ref + "'"), 0);
    PxImage img;
    ASSERT_TRUE(img.Load(theirs.c_str(), PXIMAGE_FORMAT_GIF)) << img.GetLastError();
    EXPECT_EQ(MaxDifference(img, Render(ref)), 0);
    for (DWORD option : {0u, 2u}) {
        img.SetCodecOption(option, PXIMAGE_FORMAT_GIF);
        ASSERT_TRUE(img.Save(ours.c_str(), PXIMAGE_FORMAT_GIF));
        ASSERT_EQ(Shell("giftopnm '" + ours + "' > '" + back + "'"), 0);
        EXPECT_EQ(MaxDifference(img, Render(back)), 0);
    }
}
