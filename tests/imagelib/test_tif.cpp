// The TIFF reader and writer: pages, sample layouts written with libtiff itself, orientation,
// what a save chooses and keeps, appended pages on streams that cannot be read back, and files
// exchanged with ImageMagick and the libtiff tools.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "imagelib/codecs/PxImageTIF.h"
#include "imagelib/core/pxworkerpool.h"
#include "tooltest.h"

namespace {

namespace fs = std::filesystem;

// A file written with libtiff itself, for layouts our writer never makes.
struct TiffLayout {
    uint32_t w = 8, h = 4;
    uint16_t spp = 1, bps = 8, photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint32_t rowsperstrip = 0;  // 0: one strip
    uint32_t tile = 0;              // square tiles of this side instead of strips
    uint16_t predictor = 0;
    std::vector<uint16_t> extra;    // the kinds of the extra samples
    std::vector<uint16_t> colormap;  // red, green, blue runs of 2^bps entries
    float xres = 0;
    uint16_t resunit = RESUNIT_INCH;
    std::function<uint32_t(uint32_t x, uint32_t y, uint16_t s)> sample = [](uint32_t x, uint32_t y, uint16_t) {
        return x * 16 + y;
    };

    bool Write(const std::string& path) const {
        TIFF* t = TIFFOpen(path.c_str(), "w");
        if (!t) return false;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bps);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
        if (tile) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, tile);
            TIFFSetField(t, TIFFTAG_TILELENGTH, tile);
        } else {
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsperstrip ? rowsperstrip : h);
        }
        if (predictor) TIFFSetField(t, TIFFTAG_PREDICTOR, predictor);
        if (!extra.empty()) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(extra.size()), extra.data());
        if (xres > 0) {
            TIFFSetField(t, TIFFTAG_XRESOLUTION, xres);
            TIFFSetField(t, TIFFTAG_YRESOLUTION, xres);
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, resunit);
        }
        if (!colormap.empty()) {
            const size_t n = colormap.size() / 3;
            TIFFSetField(t, TIFFTAG_COLORMAP, colormap.data(), colormap.data() + n, colormap.data() + 2 * n);
        }
        std::vector<BYTE> row((static_cast<size_t>(w) * spp * bps + 7) / 8);
        std::vector<BYTE> whole;  // a tiled file is cut from the whole picture
        for (uint32_t y = 0; y < h; y++) {
            std::fill(row.begin(), row.end(), 0);
            for (uint32_t x = 0; x < w; x++) {
                for (uint16_t s = 0; s < spp; s++) {
                    const uint32_t v = sample(x, y, s);
                    const size_t i = static_cast<size_t>(x) * spp + s;
                    if (bps == 16) reinterpret_cast<uint16_t*>(row.data())[i] = static_cast<uint16_t>(v);
                    else if (bps == 8) row[i] = static_cast<BYTE>(v);
                    else row[i * bps / 8] |= static_cast<BYTE>((v & ((1 << bps) - 1)) << (8 - bps - (i * bps) % 8));
                }
            }
            if (tile) {
                whole.insert(whole.end(), row.begin(), row.end());
            } else if (TIFFWriteScanline(t, row.data(), y, 0) < 0) {
                TIFFClose(t);
                return false;
            }
        }
        if (tile) {
            const size_t pixel = static_cast<size_t>(spp) * bps / 8;  // whole bytes only
            std::vector<BYTE> cut(static_cast<size_t>(tile) * tile * pixel);
            for (uint32_t ty = 0; ty < h; ty += tile)
                for (uint32_t tx = 0; tx < w; tx += tile) {
                    std::fill(cut.begin(), cut.end(), 0);
                    for (uint32_t y = ty; y < h && y < ty + tile; y++)
                        for (uint32_t x = tx; x < w && x < tx + tile; x++)
                            std::memcpy(&cut[((y - ty) * tile + (x - tx)) * pixel], &whole[(static_cast<size_t>(y) * w + x) * pixel], pixel);
                    if (TIFFWriteTile(t, cut.data(), tx, ty, 0, 0) < 0) {
                        TIFFClose(t);
                        return false;
                    }
                }
        }
        TIFFClose(t);
        return true;
    }
};

struct TiffTags {
    uint16_t compression = 0, photometric = 0, spp = 0, extra = 0, predictor = 1;
    uint32_t rowsperstrip = 0;
    int pages = 0;
};

TiffTags ReadTags(const std::string& path) {
    TiffTags tags;
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) return tags;
    TIFFGetField(t, TIFFTAG_COMPRESSION, &tags.compression);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &tags.photometric);
    TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &tags.spp);
    TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &tags.rowsperstrip);
    TIFFGetField(t, TIFFTAG_PREDICTOR, &tags.predictor);
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &count, &kinds)) tags.extra = count;
    tags.pages = TIFFNumberOfDirectories(t);
    TIFFClose(t);
    return tags;
}

PxImage Pattern(DWORD w, DWORD h, DWORD bpp) {
    PxImage img(w, h, bpp, PXIMAGE_FORMAT_TIF);
    if (bpp == 1) {
        img.SetPaletteColor(0, 0, 0, 0);  // bilevel pages are written as black and white
        img.SetPaletteColor(1, 255, 255, 255);
    } else if (img.GetNumColors()) {
        for (DWORD i = 0; i < img.GetNumColors(); i++)
            img.SetPaletteColor(static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 5), static_cast<BYTE>(i));
    }
    for (DWORD y = 0; y < h; y++)
        for (DWORD x = 0; x < w; x++) {
            if (img.GetNumColors()) img.SetPixelIndex(x, y, static_cast<BYTE>((x + 2 * y) % img.GetNumColors()));
            else img.SetPixelColor(x, y, RGBQUAD{BYTE(x * 9), BYTE(y * 13), BYTE(x + y), 0});
        }
    return img;
}

// What libtiff's RGBA reader shows of a file, bottom row first: the plain reading of RGB that
// the strip reader must match byte for byte.
struct RgbaReference {
    uint32_t w = 0, h = 0;
    std::vector<uint32_t> px;
    bool ok = false;
};

RgbaReference ReadRgba(const std::string& path) {
    RgbaReference ref;
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) return ref;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &ref.w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &ref.h);
    ref.px.assign(static_cast<size_t>(ref.w) * ref.h, 0);
    ref.ok = TIFFReadRGBAImage(t, ref.w, ref.h, ref.px.data(), 1) != 0;
    TIFFClose(t);
    return ref;
}

// Every byte of the picture, row padding included, and of its alpha.
void ExpectSameAsRgba(PxImage& img, const RgbaReference& ref, bool alpha) {
    ASSERT_TRUE(ref.ok);
    ASSERT_EQ(img.GetWidth(), ref.w);
    ASSERT_EQ(img.GetHeight(), ref.h);
    ASSERT_EQ(img.GetBpp(), 24);
    ASSERT_EQ(img.AlphaIsValid(), alpha);
    for (uint32_t y = 0; y < ref.h; y++) {
        const BYTE* row = img.GetBits(y);
        for (uint32_t x = 0; x < ref.w; x++) {
            const uint32_t v = ref.px[static_cast<size_t>(y) * ref.w + x];
            const BYTE want[3] = {static_cast<BYTE>(TIFFGetB(v)), static_cast<BYTE>(TIFFGetG(v)), static_cast<BYTE>(TIFFGetR(v))};
            ASSERT_EQ(std::memcmp(row + 3 * x, want, 3), 0) << x << "," << y;
            if (alpha) {
                ASSERT_EQ(img.AlphaGet(x, y), TIFFGetA(v)) << x << "," << y;
            }
        }
        for (DWORD i = 3 * ref.w; i < img.GetEffWidth(); i++) ASSERT_EQ(row[i], 0) << "padding of row " << y;
    }
}

class TiffFiles : public ::testing::Test {
protected:
    TempDir dir;
};

}  // namespace

TEST_F(TiffFiles, SixteenBitGreyInOneStripKeepsTheHighBytes) {
    for (uint16_t compression : {COMPRESSION_NONE, COMPRESSION_LZW}) {
        SCOPED_TRACE(compression);
        TiffLayout layout;
        layout.w = 300, layout.h = 200, layout.bps = 16, layout.compression = compression;
        layout.sample = [](uint32_t x, uint32_t y, uint16_t) { return (x * 200 + y) & 0xFFFF; };
        const std::string file = dir.File("grey16.tif");
        ASSERT_TRUE(layout.Write(file));
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
        ASSERT_EQ(img.GetBpp(), 8);
        for (uint32_t y = 0; y < 200; y += 17)
            for (uint32_t x = 0; x < 300; x += 13)
                ASSERT_EQ(img.GetPixelIndex(x, 199 - y), ((x * 200 + y) & 0xFFFF) >> 8) << x << "," << y;
    }
}

TEST_F(TiffFiles, ColourMapsAndGreyScalesAndResolution) {
    TiffLayout pal;
    pal.photometric = PHOTOMETRIC_PALETTE;
    pal.colormap.assign(3 * 256, 0);
    for (int i = 0; i < 256; i++) pal.colormap[i] = static_cast<uint16_t>(i * 257), pal.colormap[512 + i] = 65535;
    pal.xres = 118, pal.resunit = RESUNIT_CENTIMETER;
    const std::string file = dir.File("pal.tif");
    ASSERT_TRUE(pal.Write(file));
    PxImage img;
    ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
    EXPECT_EQ(img.GetPaletteColor(100).rgbRed, 100);
    EXPECT_EQ(img.GetPaletteColor(100).rgbBlue, 255);
    EXPECT_EQ(img.GetXDPI(), 300);

    // A map whose values all fit in a byte is taken as it stands.
    for (int i = 0; i < 256; i++) pal.colormap[i] = static_cast<uint16_t>(i), pal.colormap[512 + i] = 7;
    ASSERT_TRUE(pal.Write(file));
    ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF));
    EXPECT_EQ(img.GetPaletteColor(100).rgbRed, 100);
    EXPECT_EQ(img.GetPaletteColor(100).rgbBlue, 7);

    // 2-bit grey, which no image depth holds, is spread to 8 bits.
    TiffLayout two;
    two.bps = 2, two.w = 9;
    two.sample = [](uint32_t x, uint32_t, uint16_t) { return x % 4; };
    ASSERT_TRUE(two.Write(file));
    ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
    EXPECT_EQ(img.GetPixelColor(3, 0).rgbRed, 255);
    EXPECT_EQ(img.GetPixelColor(2, 0).rgbRed, 170);

    // Min-is-white 1-bit: entry 0 is white.
    TiffLayout bw;
    bw.bps = 1, bw.photometric = PHOTOMETRIC_MINISWHITE;
    bw.sample = [](uint32_t x, uint32_t, uint16_t) { return x & 1; };
    ASSERT_TRUE(bw.Write(file));
    ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF));
    EXPECT_EQ(img.GetBpp(), 1);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbRed, 255);
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbRed, 0);
}

TEST_F(TiffFiles, OrientationTurnsTheStripPathAsLibtiffTurnsRgb) {
    for (uint16_t orientation : {2, 3, 4, 5, 6, 7, 8}) {
        SCOPED_TRACE(orientation);
        TiffLayout grey, rgb;
        grey.w = rgb.w = 7, grey.h = rgb.h = 3;
        grey.orientation = rgb.orientation = orientation;
        grey.sample = [](uint32_t x, uint32_t y, uint16_t) { return x * 30 + y * 7; };
        rgb.spp = 3, rgb.photometric = PHOTOMETRIC_RGB;
        rgb.sample = [](uint32_t x, uint32_t y, uint16_t) { return x * 30 + y * 7; };
        const std::string g = dir.File("g.tif"), c = dir.File("c.tif");
        ASSERT_TRUE(grey.Write(g));
        ASSERT_TRUE(rgb.Write(c));
        PxImage a, b;
        ASSERT_TRUE(a.Load(g.c_str(), PXIMAGE_FORMAT_TIF));
        ASSERT_TRUE(b.Load(c.c_str(), PXIMAGE_FORMAT_TIF));
        ASSERT_EQ(a.GetWidth(), b.GetWidth());
        ASSERT_EQ(a.GetHeight(), b.GetHeight());
        EXPECT_EQ(a.GetWidth(), orientation >= 5 ? 3u : 7u);
        for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); y++)
            for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); x++)
                ASSERT_EQ(a.GetPixelColor(x, y).rgbRed, b.GetPixelColor(x, y).rgbRed) << x << "," << y;
        if (HaveTool("convert")) {
            EXPECT_EQ(MaxDifference(a, Render(g, "-auto-orient")), 0);
        }
    }
}

TEST_F(TiffFiles, PagesFramesAndSizeOnlyDecoding) {
    PxImage p1 = Pattern(20, 10, 24), p2 = Pattern(16, 6, 8), p3 = Pattern(9, 5, 1);
    PxImage* pages[] = {&p1, &p2, &p3};
    const std::string file = dir.File("pages.tif");
    FILE* fp = std::fopen(file.c_str(), "wb");  // write-only: pages are linked in memory
    ASSERT_NE(fp, nullptr);
    PxImage settings;
    ASSERT_TRUE(settings.Encode(fp, pages, 3, PXIMAGE_FORMAT_TIF)) << settings.GetLastError();
    std::fclose(fp);
    EXPECT_EQ(ReadTags(file).pages, 3);

    PxImage img;
    img.SetFrame(2);
    ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
    EXPECT_EQ(img.GetNumFrames(), 3);
    EXPECT_EQ(img.GetWidth(), 9u);
    EXPECT_EQ(img.GetBpp(), 1);
    img.SetFrame(3);
    EXPECT_FALSE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF));
    EXPECT_STREQ(img.GetLastError(), "Error: page not present in TIFF file");

    PxImage size;
    size.SetFrame(1);
    size.SetEscape(-1);
    FILE* in = std::fopen(file.c_str(), "rb");
    ASSERT_TRUE(size.Decode(in, PXIMAGE_FORMAT_TIF));
    std::fclose(in);
    EXPECT_FALSE(size.IsValid());
    EXPECT_EQ(size.GetWidth(), 16u);
    EXPECT_EQ(size.GetHeight(), 6u);

    PxImage* none[] = {&p1, nullptr};
    EXPECT_FALSE(settings.Encode(static_cast<FILE*>(nullptr), pages, 3, PXIMAGE_FORMAT_TIF));
    PxMemFile mem;
    mem.Open();
    EXPECT_FALSE(settings.Encode(&mem, none, 2, PXIMAGE_FORMAT_TIF));
    EXPECT_STREQ(settings.GetLastError(), "Bad image pointer");
    EXPECT_FALSE(settings.Encode(&mem, pages, 0, PXIMAGE_FORMAT_TIF));
    EXPECT_STREQ(settings.GetLastError(), "multipage TIFF, no images!");
}

TEST_F(TiffFiles, ATileReadsTheSmallestReducedCopyThatCoversIt) {
    // Grey pages of one level each: the level read tells which page a decode took.
    struct Page {
        uint32_t w, h;
        BYTE level;
        uint32_t type;
    };
    auto write = [](const std::string& path, const std::vector<Page>& pages, int subPages) {
        TIFF* t = TIFFOpen(path.c_str(), "w");
        if (!t) return false;
        for (size_t i = 0; i < pages.size(); ++i) {
            const Page& p = pages[i];
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, p.type);
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.w);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.h);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.h);
            if (i == 0 && subPages) {
                std::vector<uint64_t> offsets(static_cast<size_t>(subPages), 0);  // filled in as they are written
                TIFFSetField(t, TIFFTAG_SUBIFD, static_cast<uint16_t>(subPages), offsets.data());
            }
            std::vector<BYTE> row(p.w, p.level);
            for (uint32_t y = 0; y < p.h; ++y)
                if (TIFFWriteScanline(t, row.data(), y, 0) < 0) return TIFFClose(t), false;
            if (!TIFFWriteDirectory(t)) return TIFFClose(t), false;
        }
        TIFFClose(t);
        return true;
    };
    const uint32_t reduced = FILETYPE_REDUCEDIMAGE;
    // Copies after the page; one of another shape, and a full page of the same shape after them.
    const std::string chain = dir.File("chain.tif"), subs = dir.File("subs.tif");
    ASSERT_TRUE(write(chain, {{400, 300, 10, 0}, {200, 150, 20, reduced}, {100, 75, 30, reduced}, {50, 20, 40, reduced}, {40, 30, 50, 0}}, 0));
    // The same as sub-pages of the first page.
    ASSERT_TRUE(write(subs, {{400, 300, 10, 0}, {100, 75, 30, reduced}, {200, 150, 20, reduced}}, 2));
    struct Case {
        DWORD hintW, hintH;  // 0: none
        DWORD w;
        BYTE level;
    };
    const Case cases[] = {{0, 0, 400, 10}, {64, 48, 100, 30}, {120, 120, 200, 20}, {250, 250, 400, 10}, {30, 30, 100, 30}};
    for (const std::string& file : {chain, subs}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(file + ", hint " + std::to_string(c.hintW) + "x" + std::to_string(c.hintH));
            PxImage img;
            img.SetDecodeHint(c.hintW, c.hintH);
            ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
            EXPECT_EQ(img.GetWidth(), c.w);
            EXPECT_EQ(img.GetHeight(), c.w * 3 / 4);
            EXPECT_EQ(img.GetPixelIndex(0, 0), c.level);
        }
    }
    // Another page keeps its own size: page 4 of the chain has no copies.
    PxImage last;
    last.SetFrame(4);
    last.SetDecodeHint(8, 8);
    ASSERT_TRUE(last.Load(chain.c_str(), PXIMAGE_FORMAT_TIF));
    EXPECT_EQ(last.GetWidth(), 40u);
    EXPECT_EQ(last.GetNumFrames(), 5);
}

TEST_F(TiffFiles, AppendedPagesOnAWriteOnlyStream) {
    const std::string file = dir.File("append.tif");
    FILE* fp = std::fopen(file.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    PxImageTIF tif;
    tif.Copy(Pattern(12, 7, 8));
    EXPECT_TRUE(tif.Encode(fp, true)) << tif.GetLastError();
    tif.Copy(Pattern(5, 3, 24));
    EXPECT_TRUE(tif.Encode(fp, true)) << tif.GetLastError();
    tif.Copy(Pattern(6, 6, 4));
    EXPECT_TRUE(tif.Encode(fp, false)) << tif.GetLastError();
    EXPECT_EQ(std::ferror(fp), 0);
    std::fclose(fp);
    EXPECT_EQ(ReadTags(file).pages, 3);
    PxImage last;
    last.SetFrame(2);
    ASSERT_TRUE(last.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << last.GetLastError();
    EXPECT_EQ(last.GetWidth(), 6u);
    EXPECT_EQ(last.GetBpp(), 4);
}

TEST_F(TiffFiles, SaveChoosesACompressionTheDepthCanTake) {
    const struct {
        DWORD bpp;
        DWORD option;
        uint16_t expected;
    } cases[] = {
        {1, 0, COMPRESSION_CCITTFAX4}, {8, 0, COMPRESSION_LZW},      {24, 0, COMPRESSION_JPEG},
        {8, COMPRESSION_CCITTFAX4, COMPRESSION_LZW},  // remembered from a bilevel file
        {8, COMPRESSION_JPEG, COMPRESSION_LZW},       // a palette has no JPEG form
        {24, COMPRESSION_OJPEG, COMPRESSION_JPEG},    // old JPEG is read-only
        {24, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_ADOBE_DEFLATE},
        {1, COMPRESSION_PACKBITS, COMPRESSION_PACKBITS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bpp) + "/" + std::to_string(c.option));
        PxImage img = Pattern(16, 16, c.bpp);
        img.SetCodecOption(c.option, PXIMAGE_FORMAT_TIF);
        const std::string file = dir.File("c.tif");
        ASSERT_TRUE(img.Save(file.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
        EXPECT_EQ(ReadTags(file).compression, c.expected);
        PxImage back;
        ASSERT_TRUE(back.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << back.GetLastError();
        EXPECT_EQ(back.GetCodecOption(PXIMAGE_FORMAT_TIF), c.expected);
        if (c.expected != COMPRESSION_JPEG) {
            for (LONG y = 0; y < 16; y++)
                for (LONG x = 0; x < 16; x++)
                    ASSERT_EQ(back.GetPixelColor(x, y).rgbRed, img.GetPixelColor(x, y).rgbRed) << x << "," << y;
        }
    }
    EXPECT_EQ(ReadTags(dir.File("c.tif")).compression, COMPRESSION_PACKBITS);

    // A colour page wider than a JPEG picture may be is written without loss, not refused.
    PxImage wide = Pattern(65501, 2, 24);
    wide.SetCodecOption(COMPRESSION_JPEG, PXIMAGE_FORMAT_TIF);
    const std::string file = dir.File("wide.tif");
    ASSERT_TRUE(wide.Save(file.c_str(), PXIMAGE_FORMAT_TIF)) << wide.GetLastError();
    EXPECT_EQ(ReadTags(file).compression, COMPRESSION_LZW);
    PxImage back;
    ASSERT_TRUE(back.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << back.GetLastError();
    EXPECT_EQ(back.GetWidth(), 65501u);
    EXPECT_EQ(back.GetPixelColor(65500, 1).rgbGreen, wide.GetPixelColor(65500, 1).rgbGreen);
}

TEST_F(TiffFiles, BilevelAndAlphaLayoutsAsWritten) {
    PxImage bw(10, 3, 1, PXIMAGE_FORMAT_TIF);
    bw.SetPaletteColor(0, 0, 0, 0);
    bw.SetPaletteColor(1, 255, 255, 255);
    bw.SetPixelIndex(2, 1, 1);
    const std::string file = dir.File("bw.tif");
    ASSERT_TRUE(bw.Save(file.c_str(), PXIMAGE_FORMAT_TIF));
    EXPECT_EQ(ReadTags(file).photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(bw.GetPaletteColor(0).rgbRed, 0);  // the saved image is left as it was
    EXPECT_EQ(bw.GetPixelIndex(2, 1), 1);
    PxImage back;
    ASSERT_TRUE(back.Load(file.c_str(), PXIMAGE_FORMAT_TIF));
    for (LONG x = 0; x < 10; x++) ASSERT_EQ(back.GetPixelColor(x, 1).rgbRed, bw.GetPixelColor(x, 1).rgbRed);

    PxImage rgba = Pattern(20, 20, 24);
    rgba.AlphaCreate();
    rgba.AlphaSet(3, 3, 0);
    const std::string afile = dir.File("rgba.tif");
    ASSERT_TRUE(rgba.Save(afile.c_str(), PXIMAGE_FORMAT_TIF));
    const TiffTags tags = ReadTags(afile);
    EXPECT_EQ(tags.compression, COMPRESSION_JPEG);
    EXPECT_EQ(tags.spp, 4);
    EXPECT_EQ(tags.extra, 1);
    EXPECT_EQ(tags.rowsperstrip % 8, 0u);
    ASSERT_TRUE(back.Load(afile.c_str(), PXIMAGE_FORMAT_TIF)) << back.GetLastError();
    ASSERT_TRUE(back.AlphaIsValid());
    EXPECT_LT(back.AlphaGet(3, 3), 40);
    EXPECT_GT(back.AlphaGet(12, 12), 215);

    PxImage grey(6, 2, 8, PXIMAGE_FORMAT_TIF);
    grey.SetGrayPalette();
    grey.AlphaCreate();
    grey.AlphaSet(1, 1, 9);
    const std::string gfile = dir.File("ga.tif");
    ASSERT_TRUE(grey.Save(gfile.c_str(), PXIMAGE_FORMAT_TIF));
    EXPECT_EQ(ReadTags(gfile).spp, 2);
    EXPECT_EQ(ReadTags(gfile).predictor, 2);
    ASSERT_TRUE(back.Load(gfile.c_str(), PXIMAGE_FORMAT_TIF));
    EXPECT_EQ(back.AlphaGet(1, 1), 9);
}

TEST_F(TiffFiles, ImageMagickAndTiffToolFilesLoadAndOursLoadInImageMagick) {
    if (!HaveTool("convert") || !HaveTool("tiffcp")) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    struct Case {
        const char* name;
        std::string make;
        int tolerance;
    } cases[] = {
        {"pal.tif", "convert rose: -colors 30 -type Palette -compress LZW", 0},
        {"rgbjpeg.tif", "convert rose: -compress JPEG -quality 95", 2},
        {"lab.tif", "convert rose: -colorspace Lab", 3},
        {"g4.tif", "convert rose: -monochrome -compress Group4", 0},
        {"rgba.tif", "convert rose: -alpha set -compress Zip", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.File(c.name);
        ASSERT_EQ(Shell(c.make + " '" + file + "'"), 0);
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
        EXPECT_LE(MaxDifference(img, Render(file)), c.tolerance);
    }
    // Tiles: grey through the strip reader, uncompressed RGB through the tile copy.
    const std::string plain = dir.File("plain.tif"), greyPlain = dir.File("greyplain.tif");
    ASSERT_EQ(Shell("convert rose: -compress None '" + plain + "'"), 0);
    ASSERT_EQ(Shell("convert rose: -colorspace Gray -compress None '" + greyPlain + "'"), 0);
    for (const auto& [src, tiled] : {std::pair{plain, dir.File("tiled.tif")}, std::pair{greyPlain, dir.File("tiledgrey.tif")}}) {
        SCOPED_TRACE(tiled);
        ASSERT_EQ(Shell("tiffcp -c none -t -w 16 -l 16 '" + src + "' '" + tiled + "'"), 0);
        PxImage img;
        ASSERT_TRUE(img.Load(tiled.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
        EXPECT_EQ(MaxDifference(img, Render(src)), 0);
    }

    for (DWORD bpp : {1u, 4u, 8u, 24u}) {
        SCOPED_TRACE(bpp);
        PxImage ours = Pattern(33, 17, bpp);
        ours.SetCodecOption(bpp == 24 ? COMPRESSION_LZW : 0, PXIMAGE_FORMAT_TIF);
        const std::string file = dir.File("ours.tif");
        ASSERT_TRUE(ours.Save(file.c_str(), PXIMAGE_FORMAT_TIF));
        EXPECT_EQ(MaxDifference(ours, Render(file)), 0);
    }
}

TEST_F(TiffFiles, BrokenFilesFailWithAReason) {
    PxImage src = Pattern(64, 64, 8);
    BYTE* buffer = nullptr;
    LONG size = 0;
    ASSERT_TRUE(src.Encode(buffer, size, PXIMAGE_FORMAT_TIF));
    Bytes good(buffer, buffer + size);
    PxImage::FreeMemory(buffer);

    for (size_t cut : {size_t(4), size_t(12), good.size() / 2, good.size() - 10}) {
        SCOPED_TRACE(cut);
        PxImage img;
        if (!img.Decode(good.data(), static_cast<DWORD>(cut), PXIMAGE_FORMAT_TIF)) {
            EXPECT_STRNE(img.GetLastError(), "");
        }
    }
    Bytes garbage(200, 0x41);
    PxImage img;
    EXPECT_FALSE(img.Decode(garbage.data(), static_cast<DWORD>(garbage.size()), PXIMAGE_FORMAT_TIF));
    EXPECT_STREQ(img.GetLastError(), "Error encountered while opening TIFF file");
    // A size-only query of a file that is no TIFF fails too, so detection goes on to the next
    // codec instead of taking a 0 x 0 picture; a missing page likewise.
    PxImage query;
    query.SetEscape(-1);
    EXPECT_FALSE(query.Decode(garbage.data(), static_cast<DWORD>(garbage.size()), PXIMAGE_FORMAT_TIF));
    query.SetFrame(5);
    EXPECT_FALSE(query.Decode(good.data(), static_cast<DWORD>(good.size()), PXIMAGE_FORMAT_TIF));
    EXPECT_STREQ(query.GetLastError(), "Error: page not present in TIFF file");

    // A header that declares 60000 x 60000 pixels is refused before any large allocation.
    TiffLayout huge;
    huge.w = 60000, huge.h = 60000, huge.rowsperstrip = 1;
    huge.sample = [](uint32_t, uint32_t, uint16_t) { return 0u; };
    TIFF* t = TIFFOpen(dir.File("huge.tif").c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, huge.w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, huge.h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 60000);
    Bytes row(60000, 0);
    TIFFWriteScanline(t, row.data(), 0, 0);
    TIFFClose(t);
    PxImage big;
    EXPECT_FALSE(big.Load(dir.File("huge.tif").c_str(), PXIMAGE_FORMAT_TIF));
    EXPECT_STRNE(big.GetLastError(), "");
}

TEST_F(TiffFiles, PillowAndVipsFilesLoadAndPillowReadsOurs) {
    if (!HaveTool("convert") || Shell("/usr/bin/python3 -c 'import PIL'") != 0)
        GTEST_SKIP() << "ImageMagick or Pillow missing";
    const std::string src = dir.File("src.png"), pages = dir.File("pillow-pages.tif"), grey16 = dir.File("pillow16.tif");
    ASSERT_EQ(Shell("convert rose: PNG24:'" + src + "'"), 0);
    ASSERT_EQ(Shell("/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]).convert('RGB'); "
                    "im.save(sys.argv[2], save_all=True, append_images=[im.convert('L'), im.rotate(90, expand=True)], "
                    "compression='tiff_lzw'); im.convert('I').point(lambda v: v * 256).convert('I;16').save(sys.argv[3])\" '" + src + "' '" + pages + "' '" +
                    grey16 + "'"),
              0);
    for (int page = 0; page < 3; page++) {
        SCOPED_TRACE(page);
        PxImage img;
        img.SetFrame(page);
        ASSERT_TRUE(img.Load(pages.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
        EXPECT_EQ(img.GetNumFrames(), 3);
        const std::string one = dir.File("page.tif");
        ASSERT_EQ(Shell("convert '" + pages + "[" + std::to_string(page) + "]' '" + one + "'"), 0);
        EXPECT_EQ(MaxDifference(img, Render(one)), 0);
    }
    PxImage g;
    ASSERT_TRUE(g.Load(grey16.c_str(), PXIMAGE_FORMAT_TIF)) << g.GetLastError();
    EXPECT_LE(MaxDifference(g, Render(grey16)), 1);

    if (HaveTool("vips")) {
        const std::string v = dir.File("vips.tif");
        ASSERT_EQ(Shell("vips copy '" + src + "' '" + v + "[tile,tile-width=32,tile-height=32,compression=deflate,predictor=horizontal]'"), 0);
        PxImage img;
        ASSERT_TRUE(img.Load(v.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
        EXPECT_EQ(MaxDifference(img, Render(v)), 0);
    }

    // Pillow reads our pages (two palette pages: Pillow 9.4 itself fails on files whose pages
    // change between palette and RGB) and our RGB page with JPEG compression.
    PxImage p1 = Pattern(30, 20, 8), p2 = Pattern(25, 15, 8), rgb = Pattern(25, 15, 24);
    PxImage* list[] = {&p1, &p2};
    const std::string ours = dir.File("ours.tif"), oursRgb = dir.File("ours-rgb.tif");
    FILE* fp = std::fopen(ours.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    PxImage settings;
    ASSERT_TRUE(settings.Encode(fp, list, 2, PXIMAGE_FORMAT_TIF));
    std::fclose(fp);
    rgb.SetJpegQuality(95);
    ASSERT_TRUE(rgb.Save(oursRgb.c_str(), PXIMAGE_FORMAT_TIF));
    for (int page = 0; page < 3; page++) {
        SCOPED_TRACE(page);
        const std::string back = dir.File("back.ppm");
        ASSERT_EQ(Shell("/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                        "im.seek(int(sys.argv[3])); im.convert('RGB').save(sys.argv[2])\" '" +
                        (page < 2 ? ours : oursRgb) + "' '" + back + "' " + std::to_string(page % 2)),
                  0);
        EXPECT_LE(MaxDifference(page < 2 ? *list[page] : rgb, Render(back)), page < 2 ? 0 : 12);
    }
}

TEST_F(TiffFiles, NetpbmAndTiffToolFilesLoadAndTheyReadOurs) {
    if (!HaveTool("convert") || !HaveTool("pnmtotiff") || !HaveTool("tifftopnm") || !HaveTool("tiffcp"))
        GTEST_SKIP() << "ImageMagick, netpbm or libtiff tools missing";
    const std::string src = dir.File("src.ppm"), theirs = dir.File("netpbm.tif"), ours = dir.File("ours.tif");
    const std::string copy = dir.File("copy.tif"), back = dir.File("back.ppm");
    ASSERT_EQ(Shell("convert rose: '" + src + "' && pnmtotiff -lzw '" + src + "' > '" + theirs + "'"), 0);
    PxImage img;
    ASSERT_TRUE(img.Load(theirs.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
    EXPECT_EQ(MaxDifference(img, Render(src)), 0);

    img.SetCodecOption(COMPRESSION_ADOBE_DEFLATE, PXIMAGE_FORMAT_TIF);
    ASSERT_TRUE(img.Save(ours.c_str(), PXIMAGE_FORMAT_TIF));
    ASSERT_EQ(Shell("tifftopnm '" + ours + "' > '" + back + "'"), 0);
    EXPECT_EQ(MaxDifference(img, Render(back)), 0);
    // tiffcp rewrites our file with another compression; it still holds our pixels.
    ASSERT_EQ(Shell("tiffcp -c packbits '" + ours + "' '" + copy + "'"), 0);
    PxImage again;
    ASSERT_TRUE(again.Load(copy.c_str(), PXIMAGE_FORMAT_TIF)) << again.GetLastError();
    EXPECT_EQ(MaxDifference(again, Render(src)), 0);
}

TEST_F(TiffFiles, PagesCompressedOnThePoolAreTheBytesOfTheRowByRowWriter) {
    // A page of several megabytes has its strips compressed on the worker pool; encoded on a pool
    // thread, where a job runs alone, it goes row by row. Both must write the same file.
    if (pxcore::PxWorkerPool::Width() < 2) GTEST_SKIP() << "one core: the pages are written row by row";
    const struct {
        DWORD w, h, bpp;
        bool alpha;
        DWORD compression;
    } cases[] = {
        {1001, 1500, 24, false, COMPRESSION_LZW},  // an odd width
        {1001, 1500, 24, true, COMPRESSION_PACKBITS},
        {4099, 1100, 8, false, COMPRESSION_PACKBITS},
        {1001, 1500, 24, false, COMPRESSION_ADOBE_DEFLATE},  // zlib's bytes depend on how rows come
        {2001, 1100, 8, true, COMPRESSION_LZW},  // index and alpha
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" + std::to_string(c.bpp));
        PxImage img = Pattern(c.w, c.h, c.bpp);
        if (c.alpha) {
            img.AlphaCreate();
            for (DWORD y = 0; y < c.h; y++)
                for (DWORD x = 0; x < c.w; x++) img.AlphaSet(x, y, static_cast<BYTE>(x * 3 + y));
        }
        img.SetCodecOption(c.compression, PXIMAGE_FORMAT_TIF);
        auto encode = [&img] {
            BYTE* buffer = nullptr;
            LONG size = 0;
            Bytes out;
            if (img.Encode(buffer, size, PXIMAGE_FORMAT_TIF)) out.assign(buffer, buffer + size);
            PxImage::FreeMemory(buffer);
            return out;
        };
        const Bytes pooled = encode();
        Bytes plain;
        std::atomic<bool> taken{false};
        pxcore::PxWorkerPool::Instance().Run(8, [&](unsigned) {
            if (pxcore::PxWorkerPool::OnPoolThread() && !taken.exchange(true)) plain = encode();
        });
        ASSERT_TRUE(taken);
        ASSERT_FALSE(pooled.empty()) << img.GetLastError();
        EXPECT_TRUE(pooled == plain);
    }
}

TEST_F(TiffFiles, RgbStripsReadAsTheRgbaReaderShowsThem) {
    const struct Case {
        uint32_t w, h;
        uint16_t spp;
        std::vector<uint16_t> extra;
        uint16_t compression, predictor;
        uint32_t rowsperstrip, tile;
        uint16_t orientation;
    } cases[] = {
        {1, 1, 3, {}, COMPRESSION_NONE, 0, 0, 0, 1},
        {1, 1, 4, {EXTRASAMPLE_UNASSALPHA}, COMPRESSION_LZW, 2, 0, 0, 1},
        {17, 5, 3, {}, COMPRESSION_LZW, 2, 1, 0, 1},
        {17, 5, 3, {}, COMPRESSION_PACKBITS, 0, 2, 0, 3},  // a last strip of one row
        {37, 29, 3, {}, COMPRESSION_ADOBE_DEFLATE, 2, 4, 0, 2},
        {37, 29, 3, {}, COMPRESSION_NONE, 0, 5, 0, 4},
        {29, 19, 4, {EXTRASAMPLE_ASSOCALPHA}, COMPRESSION_DEFLATE, 0, 3, 0, 1},
        {29, 19, 4, {EXTRASAMPLE_UNSPECIFIED}, COMPRESSION_PACKBITS, 0, 0, 0, 1},
        {29, 19, 4, {}, COMPRESSION_NONE, 0, 1, 0, 1},  // a fourth sample nobody declared
        {256, 256, 4, {EXTRASAMPLE_UNASSALPHA}, COMPRESSION_LZW, 2, 16, 0, 1},  // every value at every alpha
        {33, 24, 3, {}, COMPRESSION_JPEG, 0, 8, 0, 1},
        {40, 24, 3, {}, COMPRESSION_LZW, 2, 0, 16, 1},  // tiles take the RGBA reader still
        {1100, 1000, 3, {}, COMPRESSION_LZW, 2, 1, 0, 1},  // large and in many strips: threads
        {1100, 1000, 4, {EXTRASAMPLE_UNASSALPHA}, COMPRESSION_ADOBE_DEFLATE, 0, 7, 0, 3},
        {1100, 1000, 3, {}, COMPRESSION_JPEG, 0, 16, 0, 1},  // as our own saves of 24 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " spp " + std::to_string(c.spp) + " compression " +
                     std::to_string(c.compression) + " rows " + std::to_string(c.rowsperstrip) + " tile " + std::to_string(c.tile));
        TiffLayout layout;
        layout.w = c.w, layout.h = c.h, layout.spp = c.spp, layout.photometric = PHOTOMETRIC_RGB;
        layout.extra = c.extra, layout.compression = c.compression, layout.predictor = c.predictor;
        layout.rowsperstrip = c.rowsperstrip, layout.tile = c.tile, layout.orientation = c.orientation;
        const bool exhaustive = c.w == 256;
        layout.sample = [exhaustive](uint32_t x, uint32_t y, uint16_t s) {
            if (exhaustive) return s == 3 ? y : (x + 85u * s) & 255u;
            return (x * 7 + y * 13 + s * 61 + (x * y) % 17) & 255u;
        };
        const std::string file = dir.File("rgb.tif");
        ASSERT_TRUE(layout.Write(file));
        PxImage img;
        ASSERT_TRUE(img.Load(file.c_str(), PXIMAGE_FORMAT_TIF)) << img.GetLastError();
        ExpectSameAsRgba(img, ReadRgba(file), c.spp == 4);

        // From memory, through the stream the first handle and the workers share.
        const Bytes bytes = ReadFile(file);
        PxImage mem;
        ASSERT_TRUE(mem.Decode(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), PXIMAGE_FORMAT_TIF));
        ASSERT_EQ(std::memcmp(mem.GetBits(0), img.GetBits(0), img.GetEffWidth() * img.GetHeight()), 0);
    }
}

TEST_F(TiffFiles, DamagedRgbStripsFailOrReadAsTheRgbaReaderDoes) {
    // A damaged deflate strip can decode without an error yet short, keeping bytes of the strip
    // read before it: the threads must keep them as a reading from the top does.
    for (uint16_t compression : {COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE}) {
        for (uint32_t rows : {1u, 64u}) {
            TiffLayout layout;
            layout.w = 1100, layout.h = 1000, layout.spp = 3, layout.photometric = PHOTOMETRIC_RGB;
            layout.compression = compression, layout.predictor = 2, layout.rowsperstrip = rows;
            layout.sample = [](uint32_t x, uint32_t y, uint16_t s) {
                return (x * 3 + y * 5 + s * 40 + (((x * 7919u + y * 104729u + s) * 2654435761u) >> 28)) & 255u;
            };
            const std::string file = dir.File("rgb.tif"), broken = dir.File("broken.tif");
            ASSERT_TRUE(layout.Write(file));
            const Bytes good = ReadFile(file);
            for (BYTE fill : {BYTE(0x3C), BYTE(0xA5), BYTE(0x00)}) {
                for (size_t at : {size_t(3), size_t(8), size_t(28), size_t(89)}) {
                    SCOPED_TRACE(std::to_string(compression) + " rows " + std::to_string(rows) + " fill " +
                                 std::to_string(fill) + " at " + std::to_string(at) + "%");
                    // The directory is written last: the damage hits strip data only.
                    Bytes bad = good;
                    const auto from = bad.begin() + static_cast<std::ptrdiff_t>(bad.size() * at / 100);
                    std::fill(from, from + static_cast<std::ptrdiff_t>(std::min<size_t>(2000, bad.size() / 50)), fill);
                    WriteFile(broken, bad);
                    const RgbaReference ref = ReadRgba(broken);
                    PxImage img;
                    const bool ok = img.Decode(bad.data(), static_cast<DWORD>(bad.size()), PXIMAGE_FORMAT_TIF);
                    ASSERT_EQ(ok, ref.ok) << img.GetLastError();
                    if (ok) ExpectSameAsRgba(img, ref, false);
                    else EXPECT_STREQ(img.GetLastError(), "Corrupted TIFF file!");
                }
            }
        }
    }
}
