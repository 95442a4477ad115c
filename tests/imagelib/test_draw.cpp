// Drawing into a BGRA surface and images through the clipboard's packed DIB.
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include "imagelib/pximage.h"
#include "platform/le.h"
#include "platform/surface.h"

namespace {

struct Canvas {
    Canvas(int w, int h, BYTE fill = 0x11) : pixels(static_cast<size_t>(w) * h * 4, fill) {
        s = PxSurfaceOver(pixels.data(), w, h, w * 4);
    }
    const BYTE* at(int x, int y) const { return pixels.data() + (static_cast<size_t>(y) * s.width + x) * 4; }
    std::vector<BYTE> pixels;
    PxSurface s;
};

// 24-bit image whose pixel (x, y) has blue x, green y, red 200.
PxImage Pattern(int w, int h) {
    PxImage img(w, h, 24);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) img.SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(x), static_cast<BYTE>(y), 200, 0});
    return img;
}

// A packed DIB of any header size with the given fields; pixel bytes follow `extra`.
std::vector<BYTE> Dib(DWORD hsize, LONG w, LONG h, WORD bpp, DWORD compression, DWORD clrUsed,
                      const std::vector<BYTE>& extra, size_t pixelBytes) {
    std::vector<BYTE> b(hsize + extra.size() + pixelBytes, 0);
    le::put32(&b[0], hsize);
    le::put32(&b[4], static_cast<DWORD>(w));
    le::put32(&b[8], static_cast<DWORD>(h));
    le::put16(&b[12], 1);
    le::put16(&b[14], bpp);
    le::put32(&b[16], compression);
    le::put32(&b[32], clrUsed);
    std::copy(extra.begin(), extra.end(), b.begin() + hsize);
    return b;
}


// What the face fontconfig resolves for a family measures at a pixel size, read from the font
// file itself: the glyphs' advances in font units, each scaled and rounded to pixels, and the
// line height. Empty when fontconfig finds no font at all.
struct FaceExtent {
    std::string family;
    int advance = 0;
    int lineHeight = 0;
};

std::optional<FaceExtent> MeasureFace(const char* family, int px, const std::u32string& text) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return std::nullopt;
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(400));
    FcPatternAddInteger(pat, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(config, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res;
    FcPattern* match = FcFontMatch(config, pat, &res);
    FcPatternDestroy(pat);
    std::string file, resolved;
    if (match) {
        FcChar8* v = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &v) == FcResultMatch && v) file = reinterpret_cast<const char*>(v);
        if (FcPatternGetString(match, FC_FAMILY, 0, &v) == FcResultMatch && v) resolved = reinterpret_cast<const char*>(v);
        FcPatternDestroy(match);
    }
    FcConfigDestroy(config);
    if (file.empty()) return std::nullopt;

    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&lib)) return std::nullopt;
    std::optional<FaceExtent> out;
    if (!FT_New_Face(lib, file.c_str(), 0, &face)) {
        const double scale = static_cast<double>(px) / face->units_per_EM;
        FaceExtent e{resolved, 0, static_cast<int>(std::lround(face->height * scale))};
        for (char32_t c : text)
            if (!FT_Load_Char(face, c, FT_LOAD_NO_SCALE)) e.advance += static_cast<int>(std::lround(face->glyph->advance.x * scale));
        out = e;
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return out;
}

// The text record's default sample, "Sample Text 01234" and two accented letters.
const std::u32string kSample = U"Sample Text 01234\u0151\u0171";

// Where a text box landed: pixels of the box colour, of the text colour and of anything else,
// and the columns and rows (top-down) that hold the first two.
struct Painted {
    int box = 0, text = 0, other = 0;
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
};

Painted ScanTextBox(PxImage& img, RGBQUAD boxColour, RGBQUAD textColour) {
    auto same = [](RGBQUAD a, RGBQUAD b) { return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue; };
    Painted p;
    const int w = static_cast<int>(img.GetWidth()), h = static_cast<int>(img.GetHeight());
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const RGBQUAD c = img.GetPixelColor(x, y);
            const bool isBox = same(c, boxColour), isText = same(c, textColour);
            p.box += isBox;
            p.text += isText;
            if (!isBox && !isText && (c.rgbRed || c.rgbGreen || c.rgbBlue)) p.other++;
            if (isBox || isText) {
                const int row = h - 1 - y;
                p.left = std::min(p.left, x);
                p.right = std::max(p.right, x);
                p.top = std::min(p.top, row);
                p.bottom = std::max(p.bottom, row);
            }
        }
    return p;
}

const RGBQUAD kDefaultBox{0, 96, 32, 0}, kDefaultText{160, 255, 255, 0};

bool NoFontAtAll() { return !MeasureFace("sans-serif", 12, U"x"); }
constexpr const char* kNoFont = "fontconfig finds no font at all (scripts/deps installs fonts-dejavu-core)";

}  // namespace

TEST(Draw, NaturalSizeScaledAndClipped) {
    PxImage img = Pattern(4, 3);
    Canvas c(10, 8);
    EXPECT_EQ(img.Draw(&c.s, 2, 1), 1);
    // Top-left of the drawing is the image's top row (y = 2).
    EXPECT_EQ(c.at(2, 1)[0], 0);
    EXPECT_EQ(c.at(2, 1)[1], 2);
    EXPECT_EQ(c.at(2, 1)[2], 200);
    EXPECT_EQ(c.at(5, 3)[0], 3);
    EXPECT_EQ(c.at(5, 3)[1], 0);
    EXPECT_EQ(c.at(6, 3)[0], 0x11);  // outside the target untouched
    EXPECT_EQ(c.at(1, 1)[0], 0x11);

    // Doubled: each source pixel covers 2 x 2 target pixels.
    Canvas z(8, 6);
    EXPECT_EQ(img.Draw(&z.s, 0, 0, 8, 6), 1);
    EXPECT_EQ(z.at(7, 5)[0], 3);
    EXPECT_EQ(z.at(6, 4)[0], 3);
    EXPECT_EQ(z.at(5, 4)[0], 2);
    EXPECT_EQ(z.at(0, 0)[1], 2);
    EXPECT_EQ(z.at(0, 1)[1], 2);
    EXPECT_EQ(z.at(0, 2)[1], 1);

    // The clip rectangle and the origin: logical (5, 5) lands on device (0, 0).
    Canvas o(4, 4);
    o.s.origin = POINT{5, 5};
    o.s.clip = RECT{0, 0, 2, 4};
    EXPECT_EQ(img.Draw(&o.s, 5, 5), 1);
    EXPECT_EQ(o.at(1, 0)[0], 1);
    EXPECT_EQ(o.at(2, 0)[0], 0x11);

    // Nothing to draw.
    PxImage empty;
    EXPECT_EQ(empty.Draw(&c.s, 0, 0), 0);
    EXPECT_EQ(img.Draw(&c.s, 0, 0, 0, 5), 0);
    EXPECT_EQ(img.Draw(nullptr, 0, 0), 0);
    img.Enable(false);
    EXPECT_EQ(img.Draw(&c.s, 0, 0), 0);
}

TEST(Draw, TransparencyAndAlphaComposeOverTheTarget) {
    PxImage idx(2, 1, 8);
    idx.SetPaletteColor(0, 255, 0, 0);
    idx.SetPaletteColor(1, 0, 0, 255);
    idx.SetPixelIndex(0, 0, 0);
    idx.SetPixelIndex(1, 0, 1);
    idx.SetTransIndex(0);
    Canvas c(2, 1, 0x40);
    idx.Draw(&c.s, 0, 0);
    EXPECT_EQ(c.at(0, 0)[2], 0x40);  // index 0 is transparent: the target shows through
    EXPECT_EQ(c.at(1, 0)[0], 255);

    PxImage a = Pattern(1, 1);
    a.AlphaCreate();
    a.AlphaSet(0, 0, 255);
    a.AlphaSetMax(127);
    Canvas b(1, 1, 0);
    a.Draw(&b.s, 0, 0);
    // a = 255 * 128 >> 8 = 127 over black.
    EXPECT_EQ(b.at(0, 0)[2], (200 * 127) >> 8);
    a.AlphaSetMax(255);
    a.AlphaSet(0, 0, 0);
    Canvas d(1, 1, 9);
    a.Draw(&d.s, 0, 0);
    EXPECT_EQ(d.at(0, 0)[2], 9);
}

TEST(Draw, TileCoversTheRectangleAndStretchAppliesRasterOps) {
    PxImage img = Pattern(3, 2);
    Canvas c(8, 5, 0x77);
    RECT r{0, 0, 7, 5};
    EXPECT_EQ(img.Tile(&c.s, &r), 1);
    EXPECT_EQ(c.at(6, 4)[0], 0);  // third tile column starts at 6
    EXPECT_EQ(c.at(5, 3)[0], 2);
    EXPECT_EQ(c.at(7, 0)[0], 0x77);  // cut at the rectangle's right edge
    EXPECT_EQ(img.Tile(&c.s, nullptr), 0);

    Canvas x(3, 2, 0xFF);
    img.Stretch(&x.s, 0, 0, 3, 2, SRCAND);
    EXPECT_EQ(x.at(2, 0)[0], 2);
    img.Stretch(&x.s, 0, 0, 3, 2, SRCINVERT);
    EXPECT_EQ(x.at(2, 0)[0], 0);

    BYTE* bmp = img.MakeBitmap();
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp[0 * 4 + 1], 1);  // top row is y = 1
    PxImage::FreeMemory(bmp);
}

TEST(Clipboard, PackedDibRoundTripKeepsPaletteAndResolution) {
    PxImage src(5, 3, 4);
    src.SetStdPalette();
    src.SetPixelIndex(4, 2, 13);
    src.SetXDPI(300);
    DWORD size = 0;
    BYTE* h = src.CopyToHandle(&size);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(size, src.GetSize());
    EXPECT_EQ(le::get32(h + 24), 11811u);
    PxImage back;
    ASSERT_TRUE(back.CreateFromHANDLE(h, size));
    PxImage::FreeMemory(h);
    EXPECT_EQ(back.GetBpp(), 4);
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(back.GetPixelIndex(4, 2), 13);
    EXPECT_EQ(back.GetPaletteColor(13).rgbRed, 255);
    PxImage empty;
    EXPECT_EQ(empty.CopyToHandle(&size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST(Clipboard, HostileBlocksAreReadWithinTheirSize) {
    PxImage img;
    // Header longer than the block, or too short to be a header.
    std::vector<BYTE> tiny = Dib(40, 2, 2, 24, 0, 0, {}, 0);
    EXPECT_FALSE(img.CreateFromHANDLE(tiny.data(), 20));
    std::vector<BYTE> odd = Dib(40, 2, 2, 24, 0, 0, {}, 16);
    le::put32(&odd[0], 30);
    EXPECT_FALSE(img.CreateFromHANDLE(odd.data(), odd.size()));
    EXPECT_FALSE(img.CreateFromHANDLE(nullptr, 100));
    // Bit depth 2 does not exist.
    std::vector<BYTE> bad = Dib(40, 2, 2, 2, 0, 0, {}, 8);
    EXPECT_FALSE(img.CreateFromHANDLE(bad.data(), bad.size()));
    // JPEG-compressed 24-bit data is refused, not read as raw rows.
    std::vector<BYTE> jpg = Dib(40, 2, 2, 24, 4, 0, {}, 16);
    EXPECT_FALSE(img.CreateFromHANDLE(jpg.data(), jpg.size()));
    EXPECT_STREQ(img.GetLastError(), "compression type not supported");

    // Pixel data shorter than the header claims is refused before anything is allocated.
    std::vector<BYTE> shortRows = Dib(40, 30000, 30000, 24, 0, 0, {}, 12);
    EXPECT_FALSE(img.CreateFromHANDLE(shortRows.data(), shortRows.size()));
    EXPECT_STREQ(img.GetLastError(), "DIB data is shorter than its header says");

    // A palette that claims 256 entries in a block that ends after two: no room for the rows.
    std::vector<BYTE> pal = {1, 2, 3, 0, 4, 5, 6, 0};
    std::vector<BYTE> shortPal = Dib(40, 2, 1, 8, 0, 256, pal, 0);
    EXPECT_FALSE(img.CreateFromHANDLE(shortPal.data(), shortPal.size()));
    // A palette of fewer entries than the depth allows leaves the rest black.
    std::vector<BYTE> fewEntries = Dib(40, 2, 1, 8, 0, 2, pal, 4);
    ASSERT_TRUE(img.CreateFromHANDLE(fewEntries.data(), fewEntries.size()));
    EXPECT_EQ(img.GetPaletteColor(1).rgbBlue, 4);
    EXPECT_EQ(img.GetPaletteColor(2).rgbBlue, 0);

    // RLE8 with a run past the row and a move past the bottom ends cleanly.
    std::vector<BYTE> rle = {200, 7, 0, 0, 3, 8, 0, 2, 9, 200, 0, 1};
    std::vector<BYTE> rleDib = Dib(40, 4, 2, 8, 1, 2, {0, 0, 0, 0, 255, 255, 255, 0}, 0);
    rleDib.insert(rleDib.end(), rle.begin(), rle.end());
    ASSERT_TRUE(img.CreateFromHANDLE(rleDib.data(), rleDib.size()));
    EXPECT_EQ(img.GetPixelIndex(3, 0), 7);
    EXPECT_EQ(img.GetPixelIndex(2, 1), 8);
    EXPECT_EQ(img.GetPixelIndex(3, 1), 0);
}

TEST(Clipboard, LargerHeadersBitFieldsAndTopDownRows) {
    PxImage img;
    // A V5 header (124 bytes) with 32-bit bit fields in red-high order, one row.
    std::vector<BYTE> v5 = Dib(124, 2, 1, 32, BI_BITFIELDS, 0, {}, 8);
    le::put32(&v5[40], 0x00FF0000);
    le::put32(&v5[44], 0x0000FF00);
    le::put32(&v5[48], 0x000000FF);
    le::put32(&v5[124], 0x00102030);
    le::put32(&v5[128], 0x00FFFFFF);
    ASSERT_TRUE(img.CreateFromHANDLE(v5.data(), v5.size()));
    EXPECT_EQ(img.GetBpp(), 24);
    RGBQUAD c = img.GetPixelColor(0, 0);
    EXPECT_EQ(c.rgbRed, 0x10);
    EXPECT_EQ(c.rgbGreen, 0x20);
    EXPECT_EQ(c.rgbBlue, 0x30);

    // 16-bit 5-6-5 with the masks after a 40-byte header.
    std::vector<BYTE> masks(12);
    le::put32(&masks[0], 0xF800);
    le::put32(&masks[4], 0x07E0);
    le::put32(&masks[8], 0x001F);
    std::vector<BYTE> rgb565 = Dib(40, 1, 1, 16, BI_BITFIELDS, 0, masks, 4);
    le::put16(&rgb565[52], 0xF800);
    ASSERT_TRUE(img.CreateFromHANDLE(rgb565.data(), rgb565.size()));
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbRed, 255);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbGreen, 0);

    // Uncompressed 16 bits are 5-5-5.
    std::vector<BYTE> rgb555 = Dib(40, 1, 1, 16, 0, 0, {}, 4);
    le::put16(&rgb555[40], 0x03E0);
    ASSERT_TRUE(img.CreateFromHANDLE(rgb555.data(), rgb555.size()));
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbGreen, 255);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbRed, 0);

    // A top-down DIB (negative height): its first row is the top row.
    std::vector<BYTE> down = Dib(40, 1, -2, 24, 0, 0, {}, 8);
    down[40] = 77;
    ASSERT_TRUE(img.CreateFromHANDLE(down.data(), down.size()));
    EXPECT_EQ(img.GetHeight(), 2u);
    EXPECT_EQ(img.GetPixelColor(0, 1).rgbBlue, 77);

    // The 12-byte core header with 3-byte palette entries.
    std::vector<BYTE> core(12 + 6 + 4, 0);
    le::put32(&core[0], 12);
    le::put16(&core[4], 1);
    le::put16(&core[6], 1);
    le::put16(&core[8], 1);
    le::put16(&core[10], 1);
    core[12 + 3] = 50;  // entry 1 blue
    core[18] = 0x80;    // pixel 0 has index 1
    ASSERT_TRUE(img.CreateFromHANDLE(core.data(), core.size()));
    EXPECT_EQ(img.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(img.GetPaletteColor(1).rgbBlue, 50);
}

TEST(Clipboard, IconAlphaBecomesTheAlphaPlane) {
    std::vector<BYTE> px = {1, 2, 3, 0, 4, 5, 6, 255};
    PxSurface s = PxSurfaceOver(px.data(), 2, 1, 8);
    PxImage img;
    ASSERT_TRUE(img.CreateFromHICON(&s));
    ASSERT_TRUE(img.AlphaIsValid());
    EXPECT_EQ(img.AlphaGet(0, 0), 0);
    EXPECT_EQ(img.AlphaGet(1, 0), 255);
    EXPECT_EQ(img.GetPixelColor(1, 0, false).rgbRed, 6);
}

TEST(Text, DefaultRecordPaintsAGreenBoxWithPaleYellowText) {
    PxImage::tagPxTextInfo info;
    PxImage().InitTextInfo(&info);
    EXPECT_EQ(info.lfont.lfHeight, -36);
    EXPECT_EQ(info.fcolor, 0xA0FFFFu);
    EXPECT_EQ(info.bcolor, 0x6020u);
    // Whichever face fontconfig gives for the record's "Arial", the picture has room for its
    // text, padding and corners on both sides of the anchor.
    const auto face = MeasureFace(info.lfont.lfFaceName, 36, kSample);
    if (!face) GTEST_SKIP() << kNoFont;
    const int lineH = face->lineHeight;
    const int w = face->advance + 3 * lineH, h = 3 * lineH, cx = w / 2, cy = 2 * lineH;
    PxImage img(w, h, 24);
    info.r_radius = 80;  // out of range: repaired to 10
    ASSERT_EQ(img.DrawStringEx(nullptr, cx, cy, &info), 1);
    EXPECT_EQ(info.r_radius, 10);

    const Painted p = ScanTextBox(img, kDefaultBox, kDefaultText);
    EXPECT_GT(p.box, (p.right - p.left + 1) * (p.bottom - p.top + 1) / 2);
    EXPECT_GT(p.text, 100);
    EXPECT_EQ(p.other, 0);  // one bit deep: no blended edge colours
    // The measured text fits the box, which is centred on the anchor and wholly inside.
    EXPECT_GE(p.right - p.left + 1, face->advance);
    EXPECT_LE(p.right - p.left + 1, face->advance + lineH);
    EXPECT_NEAR(p.left + p.right, 2 * cx, 1);
    EXPECT_GT(p.left, 0);
    EXPECT_LT(p.right, w - 1);
    // It stands on the anchor row and reaches up from it.
    EXPECT_EQ(p.bottom, cy);
    EXPECT_LE(p.top, cy - lineH + 1);

    PxImage empty;
    EXPECT_EQ(empty.DrawStringEx(nullptr, 0, 0, &info), -1);
}

TEST(Text, MetricCompatibleFaceSizesTheBoxByItsOwnAdvanceWidths) {
    const auto face = MeasureFace("Liberation Sans", 36, kSample);
    if (!face || face->family != "Liberation Sans")
        GTEST_SKIP() << "Liberation Sans is not installed (scripts/deps installs fonts-liberation2)";
    const int lineH = face->lineHeight;
    const int w = face->advance + 3 * lineH, h = 3 * lineH, cx = w / 2, cy = 2 * lineH;
    auto draw = [&](const char* faceName) {
        PxImage img(w, h, 24);
        PxImage::tagPxTextInfo info;
        img.InitTextInfo(&info);
        if (faceName) strcpy(info.lfont.lfFaceName, faceName);
        EXPECT_EQ(img.DrawStringEx(nullptr, cx, cy, &info), 1);
        return ScanTextBox(img, kDefaultBox, kDefaultText);
    };
    const Painted p = draw("Liberation Sans");
    // The box is the text's advances, a third of a line of padding and the inset of the rounded
    // corners (radius 20 % of the line) on every side.
    const int inset = static_cast<int>(lineH * 20 / 100 * 0.29289);
    EXPECT_EQ(p.right - p.left + 1, face->advance + lineH / 3 + 2 * inset);
    EXPECT_EQ(p.bottom - p.top + 1, lineH + 2 * inset);
    EXPECT_EQ(p.bottom, cy);
    EXPECT_EQ(p.other, 0);

    // The record's default "Arial" resolves to a face of the same metrics: the same box. A
    // user's own fontconfig setup may send "Arial" elsewhere; scripts/deps' fonts do not.
    const auto arialFace = MeasureFace("Arial", 36, kSample);
    if (!arialFace || (arialFace->family != "Liberation Sans" && arialFace->family != "Arial"))
        GTEST_SKIP() << "fontconfig gives " << (arialFace ? arialFace->family : "nothing") << " for Arial here";
    const Painted arial = draw(nullptr);
    EXPECT_EQ(arial.left, p.left);
    EXPECT_EQ(arial.right, p.right);
    EXPECT_EQ(arial.top, p.top);
    EXPECT_EQ(arial.bottom, p.bottom);
}

TEST(Text, DrawStringWritesOnlyTheTextColourAndStaysInside) {
    if (NoFontAtAll()) GTEST_SKIP() << kNoFont;
    PxImage img(60, 30, 8);
    img.SetStdPalette();
    ASSERT_EQ(img.DrawString(nullptr, 2, 25, "Hi\r\nyo", RGBQUAD{0, 0, 255, 0}, "DejaVu Sans", -12), 1);
    int red = 0;
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 60; x++) red += img.GetPixelColor(x, y).rgbRed == 255;
    EXPECT_GT(red, 10);
    // Drawing far outside the image writes nothing and does not fail.
    PxImage clean(10, 10, 24);
    EXPECT_EQ(clean.DrawString(nullptr, 500, -300, "outside", RGBQUAD{0, 0, 255, 0}, "nosuchfont"), 1);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++) EXPECT_EQ(clean.GetPixelColor(x, y).rgbRed, 0);
}

TEST(Draw, SmoothScalingBlendsAndDraw2SkipsTheTransparentColour) {
    PxImage img(2, 1, 24);
    img.SetPixelColor(0, 0, RGBQUAD{0, 0, 0, 0});
    img.SetPixelColor(1, 0, RGBQUAD{255, 255, 255, 0});
    Canvas sharp(8, 1), smooth(8, 1);
    img.Draw(&sharp.s, 0, 0, 8, 1, nullptr, false);
    img.Draw(&smooth.s, 0, 0, 8, 1, nullptr, true);
    EXPECT_EQ(sharp.at(3, 0)[0], 0);
    EXPECT_EQ(sharp.at(4, 0)[0], 255);
    EXPECT_GT(smooth.at(3, 0)[0], 0);
    EXPECT_LT(smooth.at(3, 0)[0], 255);
    EXPECT_EQ(smooth.at(0, 0)[0], 0);  // edges repeat
    EXPECT_EQ(smooth.at(7, 0)[0], 255);

    img.SetTransIndex(0);
    img.SetTransColor(RGBQUAD{255, 255, 255, 0});
    Canvas t(4, 2, 0x22);
    EXPECT_EQ(img.Draw2(&t.s, 0, 0, 4, 2), 1);
    EXPECT_EQ(t.at(0, 1)[0], 0);
    EXPECT_EQ(t.at(3, 1)[0], 0x22);
}

TEST(Text, RoundedCornersCutTheColumnNextToTheCircleCentreToo) {
    if (NoFontAtAll()) GTEST_SKIP() << kNoFont;
    // Blank text: the box alone. A radius of 3 % of a ~40-pixel line is 1 pixel, so only the
    // outermost columns lose their top and bottom rows.
    PxImage img(200, 100, 24);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 200; x++) img.SetPixelColor(x, y, RGBQUAD{255, 255, 255, 0});
    PxImage::tagPxTextInfo info;
    img.InitTextInfo(&info);
    strcpy(info.text, "    ");
    info.align = 0;
    info.r_radius = 3;
    ASSERT_EQ(img.DrawStringEx(nullptr, 10, 80, &info), 1);
    auto isBox = [&](int x, int y) {
        RGBQUAD c = img.GetPixelColor(x, y);
        return c.rgbRed == 32 && c.rgbGreen == 96 && c.rgbBlue == 0;
    };
    int lo = -1, hi = -1;
    for (int y = 0; y < 100; y++)
        if (isBox(11, y)) {
            if (lo < 0) lo = y;
            hi = y;
        }
    ASSERT_GE(lo, 0);
    const int lineH = hi - lo + 1;
    ASSERT_GE(lineH * 3 / 100, 1);
    ASSERT_LT(lineH * 3 / 100, 2);
    int right = 11;
    while (right + 1 < 200 && isBox(right + 1, (lo + hi) / 2)) right++;
    for (int x : {10, right}) {
        EXPECT_FALSE(isBox(x, lo)) << x;
        EXPECT_FALSE(isBox(x, hi)) << x;
        EXPECT_TRUE(isBox(x, lo + 1)) << x;
        EXPECT_TRUE(isBox(x, hi - 1)) << x;
    }
    EXPECT_TRUE(isBox(11, lo));
}

// Tiles are placed in 64 bits and only where the surface can show them: a rectangle reaching the
// end of the coordinate range neither overflows nor walks billions of unseen tiles.
TEST(Draw, TileOverRectanglesAtTheEndOfTheCoordinateRange) {
    PxImage img = Pattern(3, 2);
    Canvas c(8, 5, 0x77);
    RECT edge{0x7FFFFFFF - 10, 0x7FFFFFFF - 10, 0x7FFFFFFF, 0x7FFFFFFF};
    EXPECT_EQ(img.Tile(&c.s, &edge), 1);
    EXPECT_EQ(c.at(0, 0)[0], 0x77);  // nothing of it lies on the surface

    RECT huge{-0x7FFFFFFF, -0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};
    EXPECT_EQ(img.Tile(&c.s, &huge), 1);
    // Tiles keep their grid from the rectangle's corner: -0x7FFFFFFF is 2 modulo 3 and 1 modulo 2.
    const int64_t l = -0x7FFFFFFFLL, t = -0x7FFFFFFFLL;
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 8; x++) {
            const int sx = static_cast<int>(((x - l) % 3 + 3) % 3), sy = static_cast<int>(((y - t) % 2 + 2) % 2);
            EXPECT_EQ(c.at(x, y)[0], sx) << x << "," << y;  // blue is the image column
            EXPECT_EQ(c.at(x, y)[1], 1 - sy) << x << "," << y;  // green the row from the bottom
        }
}

// Text positions and font heights from the caller are used in 64 bits: the extremes of their
// range place the text outside the image (nothing drawn) instead of overflowing.
TEST(Text, ExtremePositionsAndHeightsDrawNothingOutside) {
    PxImage img(20, 10, 24);
    const RGBQUAD red{0, 0, 255, 0};
    EXPECT_EQ(img.DrawString(nullptr, 0x7FFFFFFF, 5, "edge", red, "DejaVu Sans", -12), 1);
    EXPECT_EQ(img.DrawString(nullptr, 0, -0x7FFFFFFF - 1, "edge", red, "DejaVu Sans", -12), 1);
    EXPECT_EQ(img.DrawString(nullptr, 0, 5, "x", red, "DejaVu Sans", -0x7FFFFFFF - 1), 1);
    PxImage::tagPxTextInfo info;
    img.InitTextInfo(&info);
    strcpy(info.text, "edge");
    info.lfont.lfHeight = -12;
    info.align = 0;
    EXPECT_EQ(img.DrawStringEx(nullptr, 0x7FFFFFFF, 5, &info), 1);
    EXPECT_EQ(img.DrawStringEx(nullptr, 3, 0x7FFFFFFF, &info), 1);
    EXPECT_EQ(img.DrawStringEx(nullptr, 3, -0x7FFFFFFF - 1, &info), 1);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 20; x++) EXPECT_EQ(img.GetPixelColor(x, y).rgbRed, 0) << x << "," << y;
}

// A centred box anchored so far left that its start is negative begins at column 0, wherever
// that start would have been.
TEST(Text, CentredTextAtTheLeftEndOfTheRangeStartsAtColumnZero) {
    if (NoFontAtAll()) GTEST_SKIP() << kNoFont;
    PxImage far(60, 20, 24), near(60, 20, 24);
    PxImage::tagPxTextInfo info;
    far.InitTextInfo(&info);
    strcpy(info.text, "ab");
    info.lfont.lfHeight = -12;
    ASSERT_EQ(far.DrawStringEx(nullptr, -0x7FFFFFFF - 1, 15, &info), 1);
    ASSERT_EQ(near.DrawStringEx(nullptr, 0, 15, &info), 1);
    int painted = 0;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 60; x++) {
            const RGBQUAD a = far.GetPixelColor(x, y), b = near.GetPixelColor(x, y);
            EXPECT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue) << x << "," << y;
            painted += b.rgbGreen != 0;
        }
    EXPECT_GT(painted, 0);
}

// Thousands of lines at a large size make a box of many gigabytes; only the part over the
// image is drawn, and the top line still lands where it belongs.
TEST(Text, BoxesFarLargerThanTheImageDrawTheirVisiblePart) {
    if (NoFontAtAll()) GTEST_SKIP() << kNoFont;
    const std::string text = std::string(3000, '\n') + "H";
    PxImage img(40, 30, 24);
    // DrawString's box is as wide as its width plus its height: 3001 lines of 200 pixels.
    // The box's bottom 50 rows below the image: the image shows the "H" just above its baseline.
    ASSERT_EQ(img.DrawString(nullptr, 2, 79, text.c_str(), RGBQUAD{0, 0, 255, 0}, "DejaVu Sans", -200), 1);
    int red = 0;
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 40; x++) red += img.GetPixelColor(x, y).rgbRed == 255;
    EXPECT_GT(red, 0);  // part of the "H" of the bottom line

    PxImage box(50, 40, 24);
    PxImage::tagPxTextInfo info;
    box.InitTextInfo(&info);
    std::string lines;
    for (int i = 0; i < 1300; i++) lines += "W\r\n";  // within the record's 4096 bytes
    strcpy(info.text, lines.c_str());
    info.lfont.lfHeight = -2000;
    info.align = 0;
    info.r_radius = 0;  // square corners: the box's corner covers the image
    ASSERT_EQ(box.DrawStringEx(nullptr, 0, 39, &info), 1);
    int green = 0;
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 50; x++) green += box.GetPixelColor(x, y).rgbGreen == 96;
    EXPECT_GT(green, 0);  // the background box covers the image's bottom left
}
