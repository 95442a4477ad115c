// The BMP reader and writer: the layouts it accepts, RLE streams that misbehave, hostile headers,
// and files exchanged with ImageMagick and netpbm.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagelib/codecs/PxBmpCodec.h"
#include "platform/le.h"

namespace {

using Bytes = std::vector<BYTE>;

// Builds a bitmap file field by field, so that each test states only what it varies.
struct BmpFile {
    LONG width = 4, height = 2;
    WORD bpp = 24;
    DWORD compression = BI_RGB;
    DWORD clrUsed = 0;
    LONG ppm = 0;
    bool core = false;        // 12-byte header with 3-byte palette entries
    bool fileHeader = true;   // false: a bare DIB
    std::vector<RGBQUAD> palette;
    Bytes extra;              // bytes between palette and bits (masks)
    Bytes bits;

    Bytes Build() const {
        Bytes info;
        auto put16 = [&](WORD v) { info.push_back(BYTE(v)), info.push_back(BYTE(v >> 8)); };
        auto put32 = [&](DWORD v) { put16(WORD(v)), put16(WORD(v >> 16)); };
        if (core) {
            put32(12), put16(WORD(width)), put16(WORD(height)), put16(1), put16(bpp);
        } else {
            put32(40), put32(DWORD(width)), put32(DWORD(height)), put16(1), put16(bpp), put32(compression);
            put32(DWORD(bits.size())), put32(DWORD(ppm)), put32(DWORD(ppm)), put32(clrUsed), put32(0);
        }
        for (const RGBQUAD& c : palette) {
            info.insert(info.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed});
            if (!core) info.push_back(0);
        }
        info.insert(info.end(), extra.begin(), extra.end());
        Bytes out;
        if (fileHeader) {
            out.resize(14);
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

Bytes EncodeBytes(PxImage& img) {
    BYTE* buffer = nullptr;
    LONG size = 0;
    if (!img.Encode(buffer, size, PXIMAGE_FORMAT_BMP)) return {};
    Bytes out(buffer, buffer + size);
    PxImage::FreeMemory(buffer);
    return out;
}

RGBQUAD Rgb(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

bool SameRgb(RGBQUAD a, RGBQUAD b, int tolerance = 0) {
    return std::abs(a.rgbRed - b.rgbRed) <= tolerance && std::abs(a.rgbGreen - b.rgbGreen) <= tolerance &&
           std::abs(a.rgbBlue - b.rgbBlue) <= tolerance;
}

// An RLE8 file of the given size whose data the test supplies.
BmpFile Rle8(LONG w, LONG h, Bytes data) {
    BmpFile f;
    f.width = w, f.height = h, f.bpp = 8, f.compression = BI_RLE8;
    f.palette.resize(256);
    f.bits = std::move(data);
    return f;
}

// Every stored byte of an image's pixel rows, bottom row first.
Bytes Rows(PxImage& img) {
    return Bytes(img.GetBits(), img.GetBits() + size_t{img.GetEffWidth()} * img.GetHeight());
}

}  // namespace

TEST(BmpDecode, UncompressedDepthsPaletteAndResolution) {
    BmpFile f;
    f.width = 3, f.height = 2, f.bpp = 4, f.ppm = 2835;
    f.palette = {Rgb(0, 0, 0), Rgb(10, 20, 30), Rgb(200, 100, 50)};
    f.clrUsed = 3;
    f.bits = {0x12, 0x00, 0, 0, 0x21, 0x10, 0, 0};
    PxBmpCodec img;
    ASSERT_TRUE(DecodeBytes(img, f.Build())) << img.GetLastError();
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_BMP);
    EXPECT_EQ(img.GetBpp(), 4);
    EXPECT_EQ(img.GetXDPI(), 72);
    EXPECT_EQ(img.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 2);
    EXPECT_EQ(img.GetPixelIndex(0, 1), 2);
    EXPECT_EQ(img.GetPixelIndex(2, 1), 1);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 0), Rgb(200, 100, 50)));
    EXPECT_EQ(img.GetPaletteColor(2).rgbReserved, 0);

    // No resolution in the file means the default, kept consistent with the header.
    BmpFile g;
    g.width = 1, g.height = 1, g.bits = {1, 2, 3, 0};
    PxBmpCodec rgb;
    ASSERT_TRUE(DecodeBytes(rgb, g.Build()));
    EXPECT_EQ(rgb.GetXDPI(), 96);
    EXPECT_EQ(rgb.GetYDPI(), 96);
    EXPECT_EQ(rgb.GetHeader().biXPelsPerMeter, 3780);
    EXPECT_TRUE(SameRgb(rgb.GetPixelColor(0, 0), Rgb(3, 2, 1)));

    g.ppm = INT32_MAX;
    PxBmpCodec dense;
    ASSERT_TRUE(DecodeBytes(dense, g.Build()));
    EXPECT_GT(dense.GetHeader().biXPelsPerMeter, 0);
}

TEST(BmpDecode, CoreHeaderBareDibAndTopDownGiveTheSameImage) {
    BmpFile f;
    f.width = 5, f.height = 3, f.bpp = 8;
    f.palette = {Rgb(1, 2, 3), Rgb(4, 5, 6), Rgb(7, 8, 9)};
    f.clrUsed = 3;
    for (int y = 0; y < 3; ++y) f.bits.insert(f.bits.end(), {BYTE(y), 1, 2, BYTE(2 - y), 0, 0, 0, 0});
    PxBmpCodec plain;
    ASSERT_TRUE(DecodeBytes(plain, f.Build()));

    BmpFile core = f;
    core.core = true;
    core.palette.resize(256);  // a core header lists the full palette
    std::copy(f.palette.begin(), f.palette.end(), core.palette.begin());
    PxBmpCodec fromCore;
    ASSERT_TRUE(DecodeBytes(fromCore, core.Build())) << fromCore.GetLastError();
    EXPECT_EQ(Rows(fromCore), Rows(plain));
    EXPECT_TRUE(fromCore.IsSamePalette(plain, false));

    BmpFile bare = f;
    bare.fileHeader = false;
    PxBmpCodec fromBare;
    ASSERT_TRUE(DecodeBytes(fromBare, bare.Build())) << fromBare.GetLastError();
    EXPECT_EQ(Rows(fromBare), Rows(plain));

    BmpFile topDown = f;
    topDown.height = -3;
    topDown.bits.clear();
    for (int y = 2; y >= 0; --y) topDown.bits.insert(topDown.bits.end(), {BYTE(y), 1, 2, BYTE(2 - y), 0, 0, 0, 0});
    PxBmpCodec fromTopDown;
    ASSERT_TRUE(DecodeBytes(fromTopDown, topDown.Build()));
    EXPECT_EQ(fromTopDown.GetHeight(), 3u);
    EXPECT_EQ(Rows(fromTopDown), Rows(plain));

    // A 1 x 1 core file is shorter than a 40-byte header after the file header.
    BmpFile tiny;
    tiny.core = true, tiny.width = 1, tiny.height = 1, tiny.bpp = 1;
    tiny.palette = {Rgb(0, 0, 0), Rgb(255, 255, 255)};
    tiny.bits = {0x80, 0, 0, 0};
    PxBmpCodec fromTiny;
    ASSERT_LT(tiny.Build().size(), 14u + 40u);
    ASSERT_TRUE(DecodeBytes(fromTiny, tiny.Build())) << fromTiny.GetLastError();
    EXPECT_EQ(fromTiny.GetPixelIndex(0, 0), 1);
}

TEST(BmpDecode, SixteenAndThirtyTwoBitBecomeTwentyFourBit) {
    BmpFile f;
    f.width = 1, f.height = 1, f.bpp = 16;
    f.bits = {0x1F, 0x7C, 0, 0};  // 5-5-5: red 31, green 0, blue 31
    PxBmpCodec img555;
    ASSERT_TRUE(DecodeBytes(img555, f.Build()));
    EXPECT_EQ(img555.GetBpp(), 24);
    EXPECT_TRUE(SameRgb(img555.GetPixelColor(0, 0), Rgb(248, 0, 248)));

    f.compression = BI_BITFIELDS;
    f.extra = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};  // 5-6-5 masks
    f.bits = {0xE0, 0x07, 0, 0};                                   // green 63 only
    PxBmpCodec img565;
    ASSERT_TRUE(DecodeBytes(img565, f.Build()));
    EXPECT_TRUE(SameRgb(img565.GetPixelColor(0, 0), Rgb(0, 252, 0)));
    // Bit fields whose bits start right after the header have no masks to read: 5-6-5.
    f.extra.clear();
    PxBmpCodec noMasks;
    ASSERT_TRUE(DecodeBytes(noMasks, f.Build()));
    EXPECT_TRUE(SameRgb(noMasks.GetPixelColor(0, 0), Rgb(0, 252, 0)));

    BmpFile g;
    g.width = 2, g.height = 1, g.bpp = 32;
    g.bits = {1, 2, 3, 99, 4, 5, 6, 77};
    PxBmpCodec img32;
    ASSERT_TRUE(DecodeBytes(img32, g.Build()));
    EXPECT_FALSE(img32.AlphaIsValid());
    EXPECT_TRUE(SameRgb(img32.GetPixelColor(1, 0), Rgb(6, 5, 4)));

    // A packed 32-bit DIB with masks: they lie before the bits and must not be read as pixels.
    g.fileHeader = false, g.compression = BI_BITFIELDS;
    g.extra = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
    PxBmpCodec bare32;
    ASSERT_TRUE(DecodeBytes(bare32, g.Build()));
    EXPECT_TRUE(SameRgb(bare32.GetPixelColor(0, 0), Rgb(3, 2, 1)));
}

TEST(BmpDecode, Rle8RunsLiteralsDeltasAndEndCodes) {
    const Bytes data = {
        3, 7, 0, 3, 1, 2, 3, 0,  // row 0: run of 7s, odd literal with its pad byte
        0, 0,                    // end of line
        0, 2, 2, 1,              // delta to row 2, column 2
        2, 9, 0, 1,              // run, end of bitmap
        5, 5,                    // after the end code: ignored
    };
    PxBmpCodec img;
    ASSERT_TRUE(DecodeBytes(img, Rle8(6, 3, data).Build())) << img.GetLastError();
    EXPECT_EQ(Rows(img), (Bytes{7, 7, 7, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0}));

    // A run that exactly fills a row is ordinary: the next rows still decode.
    PxBmpCodec full;
    ASSERT_TRUE(DecodeBytes(full, Rle8(4, 2, {4, 1, 0, 0, 4, 2, 0, 1}).Build()));
    EXPECT_EQ(Rows(full), (Bytes{1, 1, 1, 1, 2, 2, 2, 2}));

    // Overlong runs and literals are cut at the row's end; deltas past the row drop what follows
    // on that row; all of it keeps the next row intact.
    PxBmpCodec clipped;
    ASSERT_TRUE(DecodeBytes(clipped, Rle8(4, 4, {255, 1, 0, 0, 0, 7, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0, 0, 2, 9, 0, 3, 4,
                                                 0, 0, 2, 6})
                                         .Build()));
    EXPECT_EQ(Rows(clipped), (Bytes{1, 1, 1, 1, 1, 2, 3, 4, 0, 0, 0, 0, 6, 6, 0, 0}));

    // No end code, and data that runs out in the middle of a literal: decoding just stops.
    PxBmpCodec open;
    ASSERT_TRUE(DecodeBytes(open, Rle8(4, 2, {2, 5, 0, 0, 0, 4, 8}).Build()));
    EXPECT_EQ(Rows(open), (Bytes{5, 5, 0, 0, 8, 0, 0, 0}));

    // Millions of pixels worth of runs on a tiny image finish and stay inside the buffer.
    Bytes flood;
    for (int i = 0; i < 100000; ++i) flood.insert(flood.end(), {255, 3});
    PxBmpCodec flooded;
    ASSERT_TRUE(DecodeBytes(flooded, Rle8(3, 1, flood).Build()));
    EXPECT_EQ(flooded.GetPixelIndex(2, 0), 3);
}

TEST(BmpDecode, Rle4PlacesNibblesFromTheCurrentColumn) {
    BmpFile f;
    f.width = 8, f.height = 2, f.bpp = 4, f.compression = BI_RLE4;
    f.palette.resize(16);
    // Row 0: a delta to column 1, then a run of 3 starting in a low nibble.
    // Row 1: a literal of 5 pixels (3 bytes, padded), then a run clipped at the row's end.
    f.bits = {0, 2, 1, 0, 3, 0xAB, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 20, 0xCD, 0, 1};
    PxBmpCodec img;
    ASSERT_TRUE(DecodeBytes(img, f.Build())) << img.GetLastError();
    const BYTE row0[] = {0, 0xA, 0xB, 0xA, 0, 0, 0, 0};
    const BYTE row1[] = {1, 2, 3, 4, 5, 0xC, 0xD, 0xC};
    for (LONG x = 0; x < 8; ++x) {
        EXPECT_EQ(img.GetPixelIndex(x, 0), row0[x]) << x;
        EXPECT_EQ(img.GetPixelIndex(x, 1), row1[x]) << x;
    }
}

TEST(BmpDecode, EscapeAsksForDimensionsOrCancels) {
    BmpFile f;
    f.width = 7, f.height = -5;
    f.bits.resize(5 * 24);
    PxBmpCodec probe;
    probe.SetEscape(-1);
    ASSERT_TRUE(DecodeBytes(probe, f.Build()));
    EXPECT_FALSE(probe.IsValid());
    EXPECT_EQ(probe.GetWidth(), 7u);
    EXPECT_EQ(probe.GetHeight(), 5u);

    // Only the dimensions-only stop is a success: a refused file stays a failure.
    PxBmpCodec notBmp;
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
    // Every prefix: never a crash; too short for the headers is a failure with a text.
    for (size_t n = 0; n < good.size(); ++n) {
        PxBmpCodec img;
        const bool ok = DecodeBytes(img, Bytes(good.begin(), good.begin() + n));
        if (n < 14 + 40) {
            EXPECT_FALSE(ok) << n;
            EXPECT_STRNE(img.GetLastError(), "") << n;
        }
    }

    struct Case {
        const char* what;
        BmpFile file;
        const char* error;
    };
    auto with = [&](auto change) {
        BmpFile c = f;
        change(c);
        return c;
    };
    const Case cases[] = {
        {"negative width", with([](BmpFile& c) { c.width = -9; }), "Error reading BMP info"},
        {"most negative height", with([](BmpFile& c) { c.height = INT32_MIN; }), "Error reading BMP info"},
        {"8-bit with unknown compression", with([](BmpFile& c) { c.compression = 7; }), "compression type not supported"},
        {"24-bit RLE", with([](BmpFile& c) { c.bpp = 24, c.compression = BI_RLE8; }), "unknown compression"},
        {"32-bit RLE", with([](BmpFile& c) { c.bpp = 32, c.compression = BI_RLE4; }), "unknown compression"},
        {"too large", with([](BmpFile& c) { c.width = 2000000000, c.height = 2000000000; }), "Can't allocate memory"},
        {"absurd depth, size to derive",
         with([](BmpFile& c) { c.width = INT32_MAX, c.height = -INT32_MAX, c.bpp = 65535, c.bits.clear(); }),
         "Can't allocate memory"},
    };
    for (const Case& c : cases) {
        PxBmpCodec img;
        EXPECT_FALSE(DecodeBytes(img, c.file.Build())) << c.what;
        EXPECT_STREQ(img.GetLastError(), c.error) << c.what;
    }

    // An unknown header size is refused.
    Bytes odd = good;
    le::put32(odd.data() + 14, 20);
    PxBmpCodec oddImg;
    EXPECT_FALSE(DecodeBytes(oddImg, odd));
    EXPECT_STREQ(oddImg.GetLastError(), "Error reading BMP info");

    // A palette count far beyond 256 is read only as far as the palette goes.
    BmpFile many = f;
    many.fileHeader = false;
    many.clrUsed = 0xFFFFFFF0u;
    many.palette.assign(256, Rgb(1, 2, 3));
    PxBmpCodec manyImg;
    ASSERT_TRUE(DecodeBytes(manyImg, many.Build())) << manyImg.GetLastError();
    EXPECT_EQ(manyImg.GetNumColors(), 256u);
    EXPECT_TRUE(SameRgb(manyImg.GetPaletteColor(255), Rgb(1, 2, 3)));
}

TEST(BmpEncode, HeaderFieldsAndLosslessRoundTripAtEveryDepth) {
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
        if (bpp < 24) img.SetPaletteColor(1, 90, 80, 70);
        img.SetXDPI(300);
        const Bytes file = EncodeBytes(img);
        ASSERT_FALSE(file.empty()) << img.GetLastError();
        const DWORD palette = bpp < 24 ? (1u << bpp) * 4 : 0;
        EXPECT_EQ(le::get16(file.data()), 0x4D42);
        EXPECT_EQ(le::get32(file.data() + 10), 54 + palette);
        EXPECT_EQ(le::get32(file.data() + 2), 54 + palette + img.GetEffWidth() * 5);
        EXPECT_EQ(file.size(), le::get32(file.data() + 2));
        EXPECT_EQ(le::get32(file.data() + 14), 40u);

        PxImage back;
        ASSERT_TRUE(back.Decode(const_cast<BYTE*>(file.data()), DWORD(file.size()), PXIMAGE_FORMAT_UNKNOWN));
        EXPECT_EQ(back.GetType(), PXIMAGE_FORMAT_BMP);
        EXPECT_EQ(back.GetBpp(), bpp);
        EXPECT_EQ(back.GetXDPI(), 300);
        EXPECT_EQ(Rows(back), Rows(img));
        if (bpp < 24) {
            EXPECT_TRUE(back.IsSamePalette(img));
        }
    }
}

namespace {
// A stream that accepts only so many bytes, like a full disk.
class ShortFile : public PxMemFile {
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

TEST(BmpEncode, WriteFailuresAndEmptyImagesAreReported) {
    PxImage img(10, 10, 8);
    for (size_t room : {size_t{0}, size_t{20}, size_t{60}, size_t{1100}}) {
        ShortFile file(room);
        EXPECT_FALSE(img.Encode(&file, PXIMAGE_FORMAT_BMP)) << room;
        EXPECT_STRNE(img.GetLastError(), "") << room;
    }
    PxImage empty;
    PxMemFile file;
    file.Open();
    EXPECT_FALSE(empty.Encode(&file, PXIMAGE_FORMAT_BMP));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
}

// ---- files exchanged with ImageMagick and netpbm ----

namespace {

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

struct Rgb8 {
    BYTE r, g, b;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb8> pixels;  // top row first, as in PNM
    Rgb8 at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// A picture of at most `colours` distinct colours (0: many).
Picture MakePicture(int colours) {
    Picture p;
    p.width = 23, p.height = 9;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            int k = x * 9 + y * 5;
            if (colours) k %= colours;
            p.pixels.push_back(colours ? Rgb8{BYTE(40 + k * 7 % 200), BYTE(250 - k * 13 % 240), BYTE(k * 31 % 256)}
                                       : Rgb8{BYTE(x * 11), BYTE(y * 28), BYTE((x * y) % 256)});
        }
    return p;
}

void WritePpm(const Picture& p, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.width << " " << p.height << "\n255\n";
    for (const Rgb8& c : p.pixels) out.put(char(c.r)), out.put(char(c.g)), out.put(char(c.b));
}

// Reads the binary PNM kinds the tools write: P4 bitmaps, P5 grey maps, P6 colour maps.
bool ReadPnm(const std::string& path, Picture& p) {
    std::ifstream in(path, std::ios::binary);
    const Bytes d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    auto number = [&]() {
        while (pos < d.size() && (isspace(d[pos]) || d[pos] == '#')) {
            if (d[pos] == '#') {
                while (pos < d.size() && d[pos] != '\n') ++pos;
            } else {
                ++pos;
            }
        }
        int v = 0;
        while (pos < d.size() && isdigit(d[pos])) v = v * 10 + (d[pos++] - '0');
        return v;
    };
    if (d.size() < 3 || d[0] != 'P') return false;
    const char kind = char(d[1]);
    pos = 2;
    p.width = number(), p.height = number();
    const int maxval = kind == '4' ? 1 : number();
    ++pos;
    if (maxval != 255 && kind != '4') return false;
    p.pixels.clear();
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (kind == '4') {
                const size_t at = pos + size_t(y) * ((p.width + 7) / 8) + x / 8;
                if (at >= d.size()) return false;
                const BYTE v = (d[at] >> (7 - x % 8)) & 1 ? 0 : 255;
                p.pixels.push_back({v, v, v});
            } else if (kind == '5') {
                if (pos >= d.size()) return false;
                const BYTE v = d[pos++];
                p.pixels.push_back({v, v, v});
            } else if (kind == '6') {
                if (pos + 3 > d.size()) return false;
                p.pixels.push_back({d[pos], d[pos + 1], d[pos + 2]});
                pos += 3;
            } else {
                return false;
            }
        }
    }
    return true;
}

class BmpInterop : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/bmp-interop-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    static int Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

    // Our decoder's view of a file, compared with the picture the tool started from.
    void ExpectLoads(const std::string& bmp, const Picture& want, WORD bpp, int tolerance = 0) {
        SCOPED_TRACE(bmp);
        PxImage img;
        ASSERT_TRUE(img.Load(Path(bmp).c_str(), PXIMAGE_FORMAT_BMP)) << img.GetLastError();
        ASSERT_EQ(int(img.GetWidth()), want.width);
        ASSERT_EQ(int(img.GetHeight()), want.height);
        EXPECT_EQ(img.GetBpp(), bpp);
        for (int y = 0; y < want.height; ++y)
            for (int x = 0; x < want.width; ++x) {
                const Rgb8 w = want.at(x, y);
                ASSERT_TRUE(SameRgb(img.GetPixelColor(x, want.height - 1 - y), Rgb(w.r, w.g, w.b), tolerance))
                    << x << "," << y;
            }
    }

    std::string dir;
};

}  // namespace

TEST_F(BmpInterop, FilesFromImageMagickAndNetpbmLoadWithTheSamePixels) {
    if (!HaveTool("convert") || !HaveTool("ppmtobmp")) GTEST_SKIP() << "ImageMagick or netpbm missing";
    const Picture two = MakePicture(2), sixteen = MakePicture(16), many = MakePicture(200), rgb = MakePicture(0);
    WritePpm(two, Path("2.ppm"));
    WritePpm(sixteen, Path("16.ppm"));
    WritePpm(many, Path("200.ppm"));
    WritePpm(rgb, Path("rgb.ppm"));
    struct Made {
        std::string command, file;
        const Picture* want;
        WORD bpp;
        int tolerance;
    };
    const std::string d = dir + "/";
    const Made made[] = {
        {"convert " + d + "2.ppm -type Palette BMP3:" + d + "im1.bmp", "im1.bmp", &two, 1, 0},
        {"convert " + d + "16.ppm -type Palette BMP3:" + d + "im4.bmp", "im4.bmp", &sixteen, 4, 0},
        {"convert " + d + "200.ppm -type Palette -compress None BMP3:" + d + "im8.bmp", "im8.bmp", &many, 8, 0},
        {"convert " + d + "200.ppm -type Palette -compress RLE BMP3:" + d + "imrle8.bmp", "imrle8.bmp", &many, 8, 0},
        {"convert " + d + "rgb.ppm -define bmp:subtype=RGB565 BMP3:" + d + "im565.bmp", "im565.bmp", &rgb, 24, 16},
        {"convert " + d + "rgb.ppm -type TrueColor BMP3:" + d + "im24.bmp", "im24.bmp", &rgb, 24, 0},
        {"convert " + d + "rgb.ppm -type TrueColor BMP:" + d + "imv5.bmp", "imv5.bmp", &rgb, 24, 0},
        {"convert " + d + "rgb.ppm -alpha on -define bmp3:alpha=true BMP3:" + d + "im32.bmp", "im32.bmp", &rgb, 24, 0},
        {"convert " + d + "rgb.ppm BMP2:" + d + "imcore24.bmp", "imcore24.bmp", &rgb, 24, 0},
        {"convert " + d + "16.ppm -type Palette BMP2:" + d + "imcore4.bmp", "imcore4.bmp", &sixteen, 4, 0},
        {"ppmtobmp -bpp 1 " + d + "2.ppm > " + d + "pm1.bmp", "pm1.bmp", &two, 1, 0},
        {"ppmtobmp -bpp 4 " + d + "16.ppm > " + d + "pm4.bmp", "pm4.bmp", &sixteen, 4, 0},
        {"ppmtobmp -bpp 8 " + d + "200.ppm > " + d + "pm8.bmp", "pm8.bmp", &many, 8, 0},
        {"ppmtobmp -bpp 24 " + d + "rgb.ppm > " + d + "pm24.bmp", "pm24.bmp", &rgb, 24, 0},
        {"ppmtobmp -os2 -bpp 8 " + d + "200.ppm > " + d + "pmos2.bmp", "pmos2.bmp", &many, 8, 0},
    };
    for (const Made& m : made) {
        ASSERT_EQ(Run(m.command), 0) << m.command;
        ExpectLoads(m.file, *m.want, m.bpp, m.tolerance);
    }
}

TEST_F(BmpInterop, FilesWeWriteReadBackInImageMagickAndNetpbm) {
    if (!HaveTool("convert") || !HaveTool("bmptopnm")) GTEST_SKIP() << "ImageMagick or netpbm missing";
    for (WORD bpp : {WORD{1}, WORD{4}, WORD{8}, WORD{24}}) {
        SCOPED_TRACE(bpp);
        const Picture src = MakePicture(bpp == 24 ? 0 : bpp == 8 ? 200 : 1 << bpp);
        PxImage img(src.width, src.height, bpp);
        std::vector<RGBQUAD> palette;
        for (int y = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x) {
                const Rgb8 c = src.at(x, y);
                const RGBQUAD q = Rgb(c.r, c.g, c.b);
                const LONG row = src.height - 1 - y;
                if (bpp == 24) {
                    img.SetPixelColor(x, row, q);
                    continue;
                }
                size_t i = 0;
                while (i < palette.size() && !SameRgb(palette[i], q)) ++i;
                if (i == palette.size()) palette.push_back(q);
                img.SetPaletteColor(BYTE(i), q);
                img.SetPixelIndex(x, row, BYTE(i));
            }
        ASSERT_TRUE(img.Save(Path("ours.bmp").c_str(), PXIMAGE_FORMAT_BMP)) << img.GetLastError();
        for (const std::string& command : {"convert " + Path("ours.bmp") + " -depth 8 ppm:" + Path("im.ppm"),
                                           "bmptopnm " + Path("ours.bmp") + " > " + Path("im.ppm")}) {
            SCOPED_TRACE(command);
            ASSERT_EQ(Run(command), 0);
            Picture got;
            ASSERT_TRUE(ReadPnm(Path("im.ppm"), got));
            ASSERT_EQ(got.width, src.width);
            ASSERT_EQ(got.height, src.height);
            for (size_t i = 0; i < got.pixels.size(); ++i) {
                ASSERT_EQ(got.pixels[i].r, src.pixels[i].r) << i;
                ASSERT_EQ(got.pixels[i].g, src.pixels[i].g) << i;
                ASSERT_EQ(got.pixels[i].b, src.pixels[i].b) << i;
            }
        }
    }
}
