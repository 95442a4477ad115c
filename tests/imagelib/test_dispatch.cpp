// Format dispatch: ids, detection, buffers, the RGBA dump and the safe save.
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imagelib/codecs/pxcodecs.h"
#include "imagelib/pximage.h"
#include "filebytes.h"
#include "tempdir.h"

namespace fs = std::filesystem;

namespace {

PxImage Sample() {
    PxImage img(5, 3, 24);
    for (LONG y = 0; y < 3; y++)
        for (LONG x = 0; x < 5; x++)
            img.SetPixelColor(x, y, RGBQUAD{BYTE(x * 40), BYTE(y * 80), BYTE(x + y), 0});
    return img;
}

#define REQUIRE_CODEC(id)                                                  \
    if (!PxImage::IsFormatSupported(id)) GTEST_SKIP() << PxFormatName(id) << " codec not built"

}  // namespace

TEST(Dispatch, UnknownIdsAndMisuse) {
    PxImage img = Sample();
    PxMemFile mem;
    ASSERT_TRUE(mem.Open());
    EXPECT_FALSE(img.Decode(&mem, 16));
    EXPECT_STREQ(img.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_TRUE(img.IsValid());  // a failed decode keeps the old image
    EXPECT_FALSE(img.Encode(&mem, 0));
    EXPECT_STREQ(img.GetLastError(), "Encode: Unknown format");
    EXPECT_FALSE(img.Encode(&mem, 16));
    EXPECT_STREQ(img.GetLastError(), "Encode: Unknown format");

    PxImage* frames[1] = {&img};
    EXPECT_FALSE(img.Encode(&mem, frames, 3, PXIMAGE_FORMAT_PNG));
    EXPECT_STREQ(img.GetLastError(), "Multipage Encode, Unsupported operation for this format");

    BYTE dummy = 0;
    BYTE* buffer = &dummy;
    LONG size = 123;
    EXPECT_FALSE(img.Encode(buffer, size, PXIMAGE_FORMAT_BMP));
    EXPECT_STREQ(img.GetLastError(), "the buffer must be empty");
    EXPECT_EQ(buffer, &dummy);
    EXPECT_EQ(size, 123);
    EXPECT_FALSE(img.Encode2RGBA(buffer, size));
    EXPECT_EQ(buffer, &dummy);

    EXPECT_FALSE(img.Decode(static_cast<PxFile*>(nullptr), 1));
    EXPECT_FALSE(img.Encode(static_cast<FILE*>(nullptr), 1));
}

TEST(Dispatch, CodecsNotBuiltSayWhich) {
    for (DWORD id = 1; id < PXIMAGE_FORMAT_COUNT; id++) {
        if (PxImage::IsFormatSupported(id)) continue;
        PxImage img = Sample();
        PxMemFile mem;
        ASSERT_TRUE(mem.Open());
        EXPECT_FALSE(img.Decode(&mem, id));
        EXPECT_NE(std::strstr(img.GetLastError(), "not built"), nullptr) << id;
        EXPECT_NE(std::strstr(img.GetLastError(), PxFormatName(id)), nullptr) << id;
        if (id != PXIMAGE_FORMAT_WMF) {
            EXPECT_FALSE(img.Encode(&mem, id));
            EXPECT_NE(std::strstr(img.GetLastError(), "not built"), nullptr) << id;
        }
    }
    PxImage img = Sample();
    PxMemFile mem;
    ASSERT_TRUE(mem.Open());
    EXPECT_FALSE(img.Encode(&mem, PXIMAGE_FORMAT_WMF));
    EXPECT_STREQ(img.GetLastError(), "Save WMF not supported");
}

TEST(Dispatch, Encode2RGBAWritesBottomRowFirst) {
    PxImage img(2, 2, 24);
    img.SetPixelColor(0, 0, RGBQUAD{3, 2, 1, 0});
    img.SetPixelColor(1, 1, RGBQUAD{30, 20, 10, 0});
    BYTE* buffer = nullptr;
    LONG size = 0;
    ASSERT_TRUE(img.Encode2RGBA(buffer, size));
    ASSERT_EQ(size, 16);
    const BYTE expect[16] = {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 20, 30, 0};
    EXPECT_EQ(std::memcmp(buffer, expect, 16), 0);
    PxImage::FreeMemory(buffer);

    // Indexed images give the palette colour and its reserved byte; the plane gives 24-bit alpha.
    PxImage pal(1, 1, 8);
    pal.SetPaletteColor(0, 9, 8, 7, 200);
    buffer = nullptr;
    ASSERT_TRUE(pal.Encode2RGBA(buffer, size));
    ASSERT_EQ(size, 4);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_EQ(buffer[3], 200);
    PxImage::FreeMemory(buffer);

    img.AlphaCreate();
    img.AlphaSet(0, 0, 77);
    buffer = nullptr;
    ASSERT_TRUE(img.Encode2RGBA(buffer, size));
    EXPECT_EQ(buffer[3], 77);
    EXPECT_EQ(buffer[7], 255);
    PxImage::FreeMemory(buffer);

    PxImage empty;
    PxMemFile mem;
    ASSERT_TRUE(mem.Open());
    EXPECT_FALSE(empty.Encode2RGBA(&mem));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    EXPECT_FALSE(img.Encode2RGBA(static_cast<PxFile*>(nullptr)));
    EXPECT_STREQ(img.GetLastError(), "null file handler");
}

TEST(Dispatch, DetectionStartsAtTheStreamPositionAndKeepsSettings) {
    REQUIRE_CODEC(PXIMAGE_FORMAT_BMP);
    PxImage img = Sample();
    BYTE* encoded = nullptr;
    LONG size = 0;
    ASSERT_TRUE(img.Encode(encoded, size, PXIMAGE_FORMAT_BMP)) << img.GetLastError();

    PxMemFile mem;
    ASSERT_TRUE(mem.Open());
    std::string junk(100, '\x5C');
    mem.Write(junk.data(), 1, junk.size());
    mem.Write(encoded, 1, static_cast<size_t>(size));
    PxImage::FreeMemory(encoded);
    ASSERT_TRUE(mem.Seek(100, SEEK_SET));

    PxImage out(PXIMAGE_FORMAT_PNG);
    out.SetJpegQuality(55);
    ASSERT_TRUE(out.Decode(&mem, PXIMAGE_FORMAT_UNKNOWN)) << out.GetLastError();
    EXPECT_EQ(out.GetType(), PXIMAGE_FORMAT_BMP);
    EXPECT_EQ(out.GetJpegQuality(), 55);  // the caller's settings reach the codec
    EXPECT_EQ(out.GetWidth(), 5u);
    for (LONG y = 0; y < 3; y++)
        for (LONG x = 0; x < 5; x++)
            EXPECT_EQ(PxImage::RGBQUADtoRGB(out.GetPixelColor(x, y)), PxImage::RGBQUADtoRGB(img.GetPixelColor(x, y)));

    // Garbage: every codec fails, the text is the detection text, the old image stays.
    std::string garbage(300, '\xFF');
    EXPECT_FALSE(out.Decode(reinterpret_cast<BYTE*>(garbage.data()), static_cast<DWORD>(garbage.size()), 0));
    EXPECT_STREQ(out.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_TRUE(out.IsValid());
}

TEST(Dispatch, LoadFallsBackToDetectionAndKeepsTheFirstReason) {
    REQUIRE_CODEC(PXIMAGE_FORMAT_BMP);
    TempDir dir;
    PxImage img = Sample();
    ASSERT_TRUE(img.Save(dir.File("a.bmp").c_str(), PXIMAGE_FORMAT_BMP)) << img.GetLastError();

    PxImage loaded;
    ASSERT_TRUE(loaded.Load(dir.File("a.bmp").c_str(), PXIMAGE_FORMAT_JPG)) << loaded.GetLastError();
    EXPECT_EQ(loaded.GetType(), PXIMAGE_FORMAT_BMP);

    WriteFile(dir.File("junk.jpg"), std::string(200, '\xFF'));
    PxImage probe;
    probe.Decode(reinterpret_cast<BYTE*>(std::string(200, '\xFF').data()), 200, PXIMAGE_FORMAT_JPG);
    const std::string jpegReason = probe.GetLastError();
    EXPECT_FALSE(loaded.Load(dir.File("junk.jpg").c_str(), PXIMAGE_FORMAT_JPG));
    EXPECT_EQ(std::string(loaded.GetLastError()), jpegReason);
    EXPECT_STRNE(loaded.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(loaded.Load(dir.File("junk.jpg").c_str(), 0));
    EXPECT_STREQ(loaded.GetLastError(), "Decode: Unknown or wrong format");

    // A missing file says so, with its name and the system's reason, and keeps the image.
    EXPECT_FALSE(loaded.Load(dir.File("missing.bmp").c_str(), PXIMAGE_FORMAT_BMP));
    EXPECT_EQ(std::string(loaded.GetLastError()), std::string("Load: can't open \"missing.bmp\": ") + std::strerror(ENOENT));
    EXPECT_TRUE(loaded.IsValid());
    EXPECT_FALSE(loaded.Load(dir.File("missing.bmp").c_str(), 0));
    EXPECT_EQ(std::string(loaded.GetLastError()), std::string("Load: can't open \"missing.bmp\": ") + std::strerror(ENOENT));
}

TEST(Dispatch, FailedSaveLeavesTheOldFileIntact) {
    REQUIRE_CODEC(PXIMAGE_FORMAT_BMP);
    TempDir dir;
    const std::string target = dir.File("keep.bmp");
    WriteFile(target, "old contents");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);

    PxImage empty;
    EXPECT_FALSE(empty.Save(target.c_str(), PXIMAGE_FORMAT_BMP));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    PxImage img = Sample();
    EXPECT_FALSE(img.Save(target.c_str(), PXIMAGE_FORMAT_WMF));
    EXPECT_STREQ(img.GetLastError(), "Save WMF not supported");
    EXPECT_EQ(ReadFile<std::string>(target), "old contents");
    EXPECT_EQ(dir.Count(), 1u);  // no temporary file left behind

    // A successful save replaces the file and keeps its permissions.
    ASSERT_TRUE(img.Save(target.c_str(), PXIMAGE_FORMAT_BMP)) << img.GetLastError();
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Count(), 1u);
    PxImage back;
    ASSERT_TRUE(back.Load(target.c_str(), PXIMAGE_FORMAT_BMP));
    EXPECT_EQ(back.GetHeight(), 3u);

    // No folder to write into: false with a reason.
    img.SetJpegQuality(1);
    EXPECT_FALSE(img.Save(dir.File("no/such/dir.bmp").c_str(), PXIMAGE_FORMAT_BMP));
    EXPECT_NE(std::strstr(img.GetLastError(), "Save"), nullptr);
}

TEST(Dispatch, SaveThroughASymlinkKeepsTheLink) {
    REQUIRE_CODEC(PXIMAGE_FORMAT_BMP);
    TempDir dir;
    WriteFile(dir.File("real.bmp"), "x");
    fs::create_symlink(dir.File("real.bmp"), dir.File("link.bmp"));
    PxImage img = Sample();
    ASSERT_TRUE(img.Save(dir.File("link.bmp").c_str(), PXIMAGE_FORMAT_BMP)) << img.GetLastError();
    EXPECT_TRUE(fs::is_symlink(dir.File("link.bmp")));
    EXPECT_GT(fs::file_size(dir.File("real.bmp")), 1u);
}

TEST(Dispatch, AFailedPageDecodeStillReportsThePageCount) {
    REQUIRE_CODEC(PXIMAGE_FORMAT_TIF);
    PxImage a = Sample(), b = Sample(), c = Sample();
    PxImage* pages[3] = {&a, &b, &c};
    PxMemFile mem;
    ASSERT_TRUE(mem.Open());
    ASSERT_TRUE(a.Encode(&mem, pages, 3, PXIMAGE_FORMAT_TIF)) << a.GetLastError();

    PxImage out = Sample();
    out.SetFrame(7);
    ASSERT_TRUE(mem.Seek(0, SEEK_SET));
    EXPECT_FALSE(out.Decode(&mem, PXIMAGE_FORMAT_TIF));
    EXPECT_EQ(out.GetNumFrames(), 3);  // the caller learns how many pages there are
    EXPECT_STRNE(out.GetLastError(), "");
    EXPECT_EQ(out.GetWidth(), 5u);  // and keeps its old picture
    out.SetFrame(2);
    ASSERT_TRUE(mem.Seek(0, SEEK_SET));
    EXPECT_TRUE(out.Decode(&mem, PXIMAGE_FORMAT_TIF)) << out.GetLastError();
}
