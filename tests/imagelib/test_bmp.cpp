// The BMP reader and writer: the layouts it accepts, RLE streams that misbehave, hostile headers,
// and files exchanged with ImageMagick and netpbm.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imagelib/codecs/PxBmpCodec.h"
#include "platform/le.h"
#include "filebytes.h"
#include "tempdir.h"

namespace {

using Bytes = std::vector<BYTE>;

// Builds a bitmap file field by field, so that each test states only what it varies.
struct BmpFile {
    LONG width = 4, height = 2, ppm = 0;
    WORD bpp = 24;
    DWORD compression = BI_RGB, clrUsed = 0;
    bool core = false;       // 12-byte header with 3-byte palette entries
    bool fileHeader = true;  // false: a bare DIB
    std::vector<RGBQUAD> palette;
    Bytes extra;  // between palette and bits (masks)
    Bytes bits;

    Bytes Build() const {
        Bytes info;
        auto put16 = [&](DWORD v) { info.insert(info.end(), {BYTE(v), BYTE(v >> 8)}); };
        auto put32 = [&](DWORD v) { put16(v), put16(v >> 16); };
        if (core) {
            put32(12), put16(width), put16(height), put16(1), put16(bpp);
        } else {
            put32(40), put32(width), put32(height), put16(1), put16(bpp), put32(compression);
            put32(DWORD(bits.size())), put32(ppm), put32(ppm), put32(clrUsed), put32(0);
        }
        for (const RGBQUAD& c : palette) {
            info.insert(info.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed});
            if (!core) info.push_back(0);
        }
        info.insert(info.end(), extra.begin(), extra.end());
        Bytes out(fileHeader ? 14 : 0);
        if (fileHeader) {
            le::put16(out.data(), 0x4D42);
            le::put32(out.data() + 2, DWORD(14 + info.size() + bits.size()));
            le::put32(out.data() + 10, DWORD(14 + info.size()));
        }
        out.insert(out.end(), info.begin(), info.end());
        out.insert(out.end(), bits.begin(), bits.end());
        return out;
    }
};

bool DecodeBytes(PxBmpCodec& codec, Bytes bytes) {
    PxMemFile file(bytes.data(), static_cast<unsigned long>(bytes.size()));
    return codec.Decode(&file);
}

RGBQUAD Rgb(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

bool SameRgb(RGBQUAD a, RGBQUAD b, int tolerance = 0) {
    return std::abs(a.rgbRed - b.rgbRed) <= tolerance && std::abs(a.rgbGreen - b.rgbGreen) <= tolerance &&
           std::abs(a.rgbBlue - b.rgbBlue) <= tolerance;
}

BmpFile Rle(LONG w, LONG h, WORD bpp, Bytes data) {
    BmpFile f;
    f.width = w, f.height = h, f.bpp = bpp, f.compression = bpp == 8 ? BI_RLE8 : BI_RLE4;
    f.palette.resize(size_t{1} << bpp);
    f.bits = std::move(data);
    return f;
}

// The stored pixel rows, bottom row first.
Bytes Rows(PxImage& img) { return Bytes(img.GetBits(), img.GetBits() + size_t{img.GetEffWidth()} * img.GetHeight()); }

}  // namespace

TEST(BmpDecode, DepthsPaletteAndResolution) {
    BmpFile f;
    f.width = 3, f.height = 2, f.bpp = 4, f.ppm = 2835, f.clrUsed = 3;
    f.palette = {Rgb(0, 0, 0), Rgb(10, 20, 30), Rgb(200, 100, 50)};
    f.bits = {0x12, 0x00, 0, 0, 0x21, 0x10, 0, 0};
    PxBmpCodec img;
    ASSERT_TRUE(DecodeBytes(img, f.Build())) << img.GetLastError();
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_BMP);
    EXPECT_EQ(img.GetXDPI(), 72);
    EXPECT_EQ(img.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 2);
    EXPECT_EQ(img.GetPixelIndex(2, 1), 1);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 0), Rgb(200, 100, 50)));

    BmpFile g;  // no resolution in the file: the default, consistent with the header
    g.width = 1, g.height = 1, g.bits = {1, 2, 3, 0};
    PxBmpCodec rgb;
    ASSERT_TRUE(DecodeBytes(rgb, g.Build()));
    EXPECT_EQ(rgb.GetYDPI(), 96);
    EXPECT_EQ(rgb.GetHeader().biXPelsPerMeter, 3780);
    EXPECT_TRUE(SameRgb(rgb.GetPixelColor(0, 0), Rgb(3, 2, 1)));
    g.ppm = INT32_MAX;
    ASSERT_TRUE(DecodeBytes(rgb, g.Build()));
    EXPECT_GT(rgb.GetHeader().biXPelsPerMeter, 0);

    BmpFile h = g;  // 16 bits without masks: 5-5-5
    h.bpp = 16, h.ppm = 0, h.bits = {0x1F, 0x7C, 0, 0};
    PxBmpCodec img16;
    ASSERT_TRUE(DecodeBytes(img16, h.Build()));
    EXPECT_EQ(img16.GetBpp(), 24);
    EXPECT_TRUE(SameRgb(img16.GetPixelColor(0, 0), Rgb(248, 0, 248)));
    h.compression = BI_BITFIELDS, h.bits = {0xE0, 0x07, 0, 0};  // green 63 of 5-6-5
    h.extra = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    ASSERT_TRUE(DecodeBytes(img16, h.Build()));
    EXPECT_TRUE(SameRgb(img16.GetPixelColor(0, 0), Rgb(0, 252, 0)));
    h.extra.clear();  // bits right after the header leave no room for masks: 5-6-5
    ASSERT_TRUE(DecodeBytes(img16, h.Build()));
    EXPECT_TRUE(SameRgb(img16.GetPixelColor(0, 0), Rgb(0, 252, 0)));

    BmpFile k = g;  // 32 bits: the fourth byte is dropped, no alpha plane
    k.width = 2, k.bpp = 32, k.bits = {1, 2, 3, 99, 4, 5, 6, 77};
    PxBmpCodec img32;
    ASSERT_TRUE(DecodeBytes(img32, k.Build()));
    EXPECT_FALSE(img32.AlphaIsValid());
    EXPECT_TRUE(SameRgb(img32.GetPixelColor(1, 0), Rgb(6, 5, 4)));
    // A packed DIB's masks lie before the bits and must not be read as pixels.
    k.fileHeader = false, k.compression = BI_BITFIELDS, k.extra = Bytes(12, 0);
    ASSERT_TRUE(DecodeBytes(img32, k.Build()));
    EXPECT_TRUE(SameRgb(img32.GetPixelColor(0, 0), Rgb(3, 2, 1)));
}

TEST(BmpDecode, CoreHeaderBareDibTopDownAndEmbeddedGiveTheSameImage) {
    BmpFile f;
    f.width = 5, f.height = 3, f.bpp = 8, f.clrUsed = 3;
    f.palette = {Rgb(1, 2, 3), Rgb(4, 5, 6), Rgb(7, 8, 9)};
    for (int y = 0; y < 3; ++y) f.bits.insert(f.bits.end(), {BYTE(y), 1, 2, BYTE(2 - y), 0, 0, 0, 0});
    PxBmpCodec plain;
    ASSERT_TRUE(DecodeBytes(plain, f.Build()));

    BmpFile core = f, bare = f, topDown = f;
    core.core = true;
    core.palette.resize(256);  // a core header lists the full palette
    bare.fileHeader = false;
    topDown.height = -3;
    for (int y = 0; y < 3; ++y) std::copy_n(f.bits.begin() + 8 * y, 8, topDown.bits.begin() + 8 * (2 - y));
    Bytes embedded(7, 0xEE);  // a bitmap that starts inside a larger stream
    const Bytes whole = f.Build();
    embedded.insert(embedded.end(), whole.begin(), whole.end());
    for (const Bytes& bytes : {core.Build(), bare.Build(), topDown.Build()}) {
        PxBmpCodec img;
        ASSERT_TRUE(DecodeBytes(img, bytes)) << img.GetLastError();
        EXPECT_EQ(img.GetHeight(), 3u);
        EXPECT_EQ(Rows(img), Rows(plain));
        EXPECT_TRUE(img.IsSamePalette(plain, false));
    }
    PxMemFile stream(embedded.data(), static_cast<unsigned long>(embedded.size()));
    stream.Seek(7, SEEK_SET);
    PxBmpCodec inner;
    ASSERT_TRUE(inner.Decode(&stream));
    EXPECT_EQ(Rows(inner), Rows(plain));

    // A 1 x 1 core file is shorter than a 40-byte header after the file header.
    BmpFile tiny;
    tiny.core = true, tiny.width = 1, tiny.height = 1, tiny.bpp = 1;
    tiny.palette = {Rgb(0, 0, 0), Rgb(255, 255, 255)};
    tiny.bits = {0x80, 0, 0, 0};
    PxBmpCodec fromTiny;
    ASSERT_TRUE(DecodeBytes(fromTiny, tiny.Build())) << fromTiny.GetLastError();
    EXPECT_EQ(fromTiny.GetPixelIndex(0, 0), 1);

    // A bare true-colour DIB may list a colour table (colours used) after its masks: the bits
    // follow it, as they do in the same picture with a file header.
    const Bytes table = {10, 20, 30, 0, 40, 50, 60, 0};
    const Bytes masks565 = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    struct TrueColour {
        WORD bpp;
        DWORD compression;
        Bytes extra, bits;
    };
    const TrueColour kinds[] = {
        {24, BI_RGB, table, {1, 2, 3, 0}},
        {32, BI_RGB, table, {1, 2, 3, 9}},
        {16, BI_BITFIELDS, masks565, {0x1F, 0xF8, 0, 0}},  // red and blue full, green 0
    };
    for (const TrueColour& k : kinds) {
        BmpFile t;
        t.width = 1, t.height = 1, t.bpp = k.bpp, t.compression = k.compression, t.clrUsed = 2;
        t.extra = k.extra;
        if (k.bpp == 16) t.extra.insert(t.extra.end(), table.begin(), table.end());
        t.bits = k.bits;
        PxBmpCodec withHeader, bareTc;
        ASSERT_TRUE(DecodeBytes(withHeader, t.Build())) << k.bpp;
        t.fileHeader = false;
        ASSERT_TRUE(DecodeBytes(bareTc, t.Build())) << k.bpp;
        EXPECT_EQ(Rows(bareTc), Rows(withHeader)) << k.bpp;
        const RGBQUAD want = k.bpp == 16 ? Rgb(248, 0, 248) : Rgb(3, 2, 1);
        EXPECT_TRUE(SameRgb(bareTc.GetPixelColor(0, 0), want)) << k.bpp;
    }
}

TEST(BmpDecode, RleRunsLiteralsDeltasAndEndCodes) {
    struct Case {
        const char* what;
        BmpFile file;
        Bytes rows;
    };
    const Case cases[] = {
        {"runs, odd literal with pad, end of line, delta, end of bitmap, ignored tail",
         Rle(6, 3, 8, {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 9, 0, 1, 5, 5}),
         {7, 7, 7, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0}},
        {"a run that fills a row does not end the image",
         Rle(4, 2, 8, {4, 1, 0, 0, 4, 2, 0, 1}),
         {1, 1, 1, 1, 2, 2, 2, 2}},
        {"overlong run and literal are cut at the row's end; a delta past it drops the rest of the row",
         Rle(4, 4, 8, {255, 1, 0, 0, 0, 7, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0, 0, 2, 9, 0, 3, 4, 0, 0, 2, 6}),
         {1, 1, 1, 1, 1, 2, 3, 4, 0, 0, 0, 0, 6, 6, 0, 0}},
        {"no end code, data ending inside a literal", Rle(4, 2, 8, {2, 5, 0, 0, 0, 4, 8}), {5, 5, 0, 0, 8, 0, 0, 0}},
        {"RLE4: delta to an odd column, run from a low nibble; padded literal; clipped run",
         Rle(8, 2, 4, {0, 2, 1, 0, 3, 0xAB, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 20, 0xCD, 0, 1}),
         {0x0A, 0xBA, 0, 0, 0x12, 0x34, 0x5C, 0xDC}},
    };
    for (const Case& c : cases) {
        PxBmpCodec img;
        ASSERT_TRUE(DecodeBytes(img, c.file.Build())) << c.what;
        EXPECT_EQ(Rows(img), c.rows) << c.what;
    }
    Bytes flood;  // millions of pixels of runs on a tiny image finish and stay inside it
    for (int i = 0; i < 100000; ++i) flood.insert(flood.end(), {255, 3});
    PxBmpCodec flooded;
    ASSERT_TRUE(DecodeBytes(flooded, Rle(3, 1, 8, flood).Build()));
    EXPECT_EQ(flooded.GetPixelIndex(2, 0), 3);
}

TEST(BmpDecode, EscapeAsksForDimensionsOrCancels) {
    BmpFile f;
    f.width = 7, f.height = -5;
    f.bits.resize(5 * 24);
    PxBmpCodec probe;
    BmpFile big = f;  // an earlier, larger picture must not stay behind the new size
    big.width = 40, big.height = 30, big.bits.resize(120 * 30);
    ASSERT_TRUE(DecodeBytes(probe, big.Build()));
    probe.SetEscape(-1);
    ASSERT_TRUE(DecodeBytes(probe, f.Build()));
    EXPECT_FALSE(probe.IsValid());
    EXPECT_EQ(probe.GetWidth(), 7u);
    EXPECT_EQ(probe.GetHeight(), 5u);

    PxBmpCodec notBmp;  // only the dimensions-only stop is a success
    notBmp.SetEscape(-1);
    EXPECT_FALSE(DecodeBytes(notBmp, Bytes(60, 0x55)));
    EXPECT_STRNE(notBmp.GetLastError(), "");

    PxBmpCodec cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(cancelled, f.Build()));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
}

TEST(BmpDecode, HostileAndTruncatedFilesFailWithAReason) {
    BmpFile f;
    f.width = 9, f.height = 4, f.bpp = 8;
    f.palette.resize(256);
    f.bits.resize(12 * 4, 3);
    const Bytes good = f.Build();
    // Every prefix: cut inside the headers it fails with a reason, later it decodes what is there.
    for (size_t n = 0; n < good.size(); ++n) {
        PxBmpCodec img;
        const bool ok = DecodeBytes(img, Bytes(good.begin(), good.begin() + n));
        EXPECT_EQ(ok, n >= 14 + 40) << n;
        if (!ok) {
            EXPECT_STRNE(img.GetLastError(), "") << n;
        }
    }
    auto with = [&](auto change) {
        BmpFile c = f;
        change(c);
        return c.Build();
    };
    Bytes oddHeader = good;
    le::put32(oddHeader.data() + 14, 20);
    const std::pair<Bytes, const char*> cases[] = {
        {oddHeader, "Error reading BMP info"},
        {with([](BmpFile& c) { c.width = -9; }), "Error reading BMP info"},
        {with([](BmpFile& c) { c.height = INT32_MIN; }), "Error reading BMP info"},
        {with([](BmpFile& c) { c.compression = 7; }), "compression type not supported"},
        {with([](BmpFile& c) { c.bpp = 24, c.compression = BI_RLE8; }), "unknown compression"},
        {with([](BmpFile& c) { c.bpp = 32, c.compression = BI_RLE4; }), "unknown compression"},
        {with([](BmpFile& c) { c.width = 2000000000, c.height = 2000000000; }), "Can't allocate memory"},
        {with([](BmpFile& c) { c.width = INT32_MAX, c.height = -INT32_MAX, c.bpp = 65535, c.bits.clear(); }),
         "BMP bit depth not supported"},
        // Depths without a pixel reader fail instead of giving a blank picture as read.
        {with([](BmpFile& c) { c.bpp = 0, c.compression = 4, c.palette.clear(); }), "BMP bit depth not supported"},
        {with([](BmpFile& c) { c.bpp = 2, c.palette.resize(4); }), "BMP bit depth not supported"},
    };
    for (const auto& [bytes, error] : cases) {
        PxBmpCodec img;
        EXPECT_FALSE(DecodeBytes(img, bytes)) << error;
        EXPECT_STREQ(img.GetLastError(), error);
    }
    // A palette count far beyond 256 is read only as far as the palette goes.
    BmpFile many = f;
    many.fileHeader = false, many.clrUsed = 0xFFFFFFF0u;
    many.palette.assign(256, Rgb(1, 2, 3));
    PxBmpCodec manyImg;
    ASSERT_TRUE(DecodeBytes(manyImg, many.Build())) << manyImg.GetLastError();
    EXPECT_EQ(manyImg.GetNumColors(), 256u);
    EXPECT_TRUE(SameRgb(manyImg.GetPaletteColor(255), Rgb(1, 2, 3)));
}

namespace {
class ShortFile : public PxMemFile {  // takes only so many bytes, like a full disk
public:
    explicit ShortFile(size_t room) : m_room(room) { Open(); }
    size_t Write(const void* buffer, size_t size, size_t count) override {
        const size_t n = std::min(size * count, m_room);
        m_room -= n;
        PxMemFile::Write(buffer, 1, n);
        return size ? n / size : 0;
    }

private:
    size_t m_room;
};
}  // namespace

TEST(BmpEncode, HeaderFieldsRoundTripAndWriteFailures) {
    for (WORD bpp : {WORD{1}, WORD{4}, WORD{8}, WORD{24}}) {
        SCOPED_TRACE(bpp);
        PxImage img(13, 5, bpp);
        for (LONG y = 0; y < 5; ++y)
            for (LONG x = 0; x < 13; ++x) {
                if (bpp == 24)
                    img.SetPixelColor(x, y, Rgb(BYTE(x * 19), BYTE(y * 40), BYTE(x ^ y)));
                else
                    img.SetPixelIndex(x, y, BYTE(x + 3 * y));
            }
        img.SetPaletteColor(1, 90, 80, 70);
        img.SetXDPI(300);
        BYTE* buffer = nullptr;
        LONG size = 0;
        ASSERT_TRUE(img.Encode(buffer, size, PXIMAGE_FORMAT_BMP)) << img.GetLastError();
        const Bytes file(buffer, buffer + size);
        PxImage::FreeMemory(buffer);
        const DWORD palette = bpp < 24 ? (1u << bpp) * 4 : 0;
        EXPECT_EQ(le::get16(file.data()), 0x4D42);
        EXPECT_EQ(le::get32(file.data() + 10), 54 + palette);
        EXPECT_EQ(le::get32(file.data() + 2), 54 + palette + img.GetEffWidth() * 5);
        EXPECT_EQ(file.size(), le::get32(file.data() + 2));

        PxImage back;  // through format detection
        ASSERT_TRUE(back.Decode(const_cast<BYTE*>(file.data()), DWORD(file.size()), PXIMAGE_FORMAT_UNKNOWN));
        EXPECT_EQ(back.GetType(), PXIMAGE_FORMAT_BMP);
        EXPECT_EQ(back.GetBpp(), bpp);
        EXPECT_EQ(back.GetXDPI(), 300);
        EXPECT_EQ(Rows(back), Rows(img));
        EXPECT_EQ(back.GetPaletteColor(1).rgbRed, bpp < 24 ? 90 : 0);

        for (size_t room : {size_t{0}, size_t{20}, size_t{60}, file.size() - 1}) {
            ShortFile full(room);
            EXPECT_FALSE(img.Encode(&full, PXIMAGE_FORMAT_BMP)) << room;
            EXPECT_STRNE(img.GetLastError(), "");
        }
    }
    PxImage empty;
    PxMemFile file;
    file.Open();
    EXPECT_FALSE(empty.Encode(&file, PXIMAGE_FORMAT_BMP));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
}

// ---- files exchanged with ImageMagick and netpbm ----

namespace {

struct Picture {
    int width = 23, height = 9;
    Bytes rgb;  // top row first, as in PPM
};

Picture MakePicture(int colours) {  // at most `colours` distinct colours (0: many)
    Picture p;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int k = colours ? (x * 9 + y * 5) % colours : 0;
            if (colours)
                p.rgb.insert(p.rgb.end(), {BYTE(40 + k * 7 % 200), BYTE(250 - k * 13 % 240), BYTE(k * 31 % 256)});
            else
                p.rgb.insert(p.rgb.end(), {BYTE(x * 11), BYTE(y * 28), BYTE(x * y)});
        }
    return p;
}

std::string PpmHeader(const Picture& p) {
    return "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
}

class BmpInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("{ command -v convert && command -v ppmtobmp && command -v bmptopnm; } >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "ImageMagick or netpbm missing";
        dir = scratch.Path().string() + "/";
    }
    static int Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }
    void WritePpm(const Picture& p, const std::string& name) {
        std::ofstream(dir + name, std::ios::binary) << PpmHeader(p) << std::string(p.rgb.begin(), p.rgb.end());
    }
    Bytes ReadPpm(const std::string& name, const Picture& like) {
        const std::string all = ReadFile<std::string>(dir + name);
        const std::string header = PpmHeader(like);
        return all.compare(0, header.size(), header) == 0 ? Bytes(all.begin() + header.size(), all.end()) : Bytes();
    }
    TempDir scratch;
    std::string dir;
};

}  // namespace

TEST_F(BmpInterop, FilesFromImageMagickAndNetpbmLoadWithTheSamePixels) {
    const Picture two = MakePicture(2), sixteen = MakePicture(16), many = MakePicture(200), rgb = MakePicture(0);
    WritePpm(two, "2.ppm"), WritePpm(sixteen, "16.ppm"), WritePpm(many, "200.ppm"), WritePpm(rgb, "rgb.ppm");
    const std::string d = dir;
    const struct {
        std::string command;
        const Picture& want;
        WORD bpp;
        int tolerance;
    } made[] = {
        {"convert " + d + "2.ppm -type Palette BMP3:" + d + "out.bmp", two, 1, 0},
        {"convert " + d + "16.ppm -type Palette BMP3:" + d + "out.bmp", sixteen, 4, 0},
        {"convert " + d + "200.ppm -type Palette -compress None BMP3:" + d + "out.bmp", many, 8, 0},
        {"convert " + d + "200.ppm -type Palette -compress RLE BMP3:" + d + "out.bmp", many, 8, 0},
        {"convert " + d + "rgb.ppm -define bmp:subtype=RGB565 BMP3:" + d + "out.bmp", rgb, 24, 16},
        {"convert " + d + "rgb.ppm -type TrueColor BMP3:" + d + "out.bmp", rgb, 24, 0},
        {"convert " + d + "rgb.ppm -type TrueColor BMP:" + d + "out.bmp", rgb, 24, 0},
        {"convert " + d + "rgb.ppm -alpha on -define bmp3:alpha=true BMP3:" + d + "out.bmp", rgb, 24, 0},
        {"convert " + d + "rgb.ppm BMP2:" + d + "out.bmp", rgb, 24, 0},
        {"convert " + d + "16.ppm -type Palette BMP2:" + d + "out.bmp", sixteen, 4, 0},
        {"ppmtobmp -bpp 1 " + d + "2.ppm > " + d + "out.bmp", two, 1, 0},
        {"ppmtobmp -bpp 4 " + d + "16.ppm > " + d + "out.bmp", sixteen, 4, 0},
        {"ppmtobmp -bpp 8 " + d + "200.ppm > " + d + "out.bmp", many, 8, 0},
        {"ppmtobmp -bpp 24 " + d + "rgb.ppm > " + d + "out.bmp", rgb, 24, 0},
        {"ppmtobmp -os2 -bpp 8 " + d + "200.ppm > " + d + "out.bmp", many, 8, 0},
    };
    for (const auto& m : made) {
        SCOPED_TRACE(m.command);
        ASSERT_EQ(Run(m.command), 0);
        PxImage img;
        ASSERT_TRUE(img.Load((d + "out.bmp").c_str(), PXIMAGE_FORMAT_BMP)) << img.GetLastError();
        ASSERT_EQ(int(img.GetWidth()), m.want.width);
        ASSERT_EQ(int(img.GetHeight()), m.want.height);
        EXPECT_EQ(img.GetBpp(), m.bpp);
        for (int y = 0, i = 0; y < m.want.height; ++y)
            for (int x = 0; x < m.want.width; ++x, i += 3)
                ASSERT_TRUE(SameRgb(img.GetPixelColor(x, m.want.height - 1 - y),
                                    Rgb(m.want.rgb[i], m.want.rgb[i + 1], m.want.rgb[i + 2]), m.tolerance))
                    << x << "," << y;
    }
}

TEST_F(BmpInterop, FilesWeWriteReadBackInImageMagickAndNetpbm) {
    for (WORD bpp : {WORD{1}, WORD{4}, WORD{8}, WORD{24}}) {
        SCOPED_TRACE(bpp);
        const Picture src = MakePicture(bpp == 24 ? 0 : bpp == 8 ? 200 : 1 << bpp);
        PxImage img(src.width, src.height, bpp);
        std::vector<RGBQUAD> palette;
        for (int y = 0, i = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x, i += 3) {
                const RGBQUAD q = Rgb(src.rgb[i], src.rgb[i + 1], src.rgb[i + 2]);
                if (bpp == 24) {
                    img.SetPixelColor(x, src.height - 1 - y, q);
                    continue;
                }
                size_t k = 0;
                while (k < palette.size() && !SameRgb(palette[k], q)) ++k;
                if (k == palette.size()) palette.push_back(q);
                img.SetPaletteColor(BYTE(k), q);
                img.SetPixelIndex(x, src.height - 1 - y, BYTE(k));
            }
        ASSERT_TRUE(img.Save((dir + "ours.bmp").c_str(), PXIMAGE_FORMAT_BMP)) << img.GetLastError();
        for (const std::string& command : {"convert " + dir + "ours.bmp -depth 8 ppm:" + dir + "back.ppm",
                                           "bmptopnm " + dir + "ours.bmp | ppmtoppm > " + dir + "back.ppm"}) {
            SCOPED_TRACE(command);
            ASSERT_EQ(Run(command), 0);
            EXPECT_EQ(ReadPpm("back.ppm", src), src.rgb);
        }
    }
}
