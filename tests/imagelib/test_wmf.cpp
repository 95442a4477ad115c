// The metafile reader: header and size rules, the records it plays, hostile files, and
// comparisons with wmf2gd and gnuplot's EMF output.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "imagelib/codecs/PxWmfCodec.h"
#include "imagetest.h"
#include "metafilewriter.h"
#include "tooltest.h"

namespace {

using Buf = std::vector<uint8_t>;

bool DecodeBytes(PxWmfCodec& img, Buf bytes, LONG fw = 0, LONG fh = 0, LONG skip = 0) {
    PxMemFile f(bytes.data(), static_cast<unsigned long>(bytes.size()));
    f.Seek(skip, SEEK_SET);
    return img.Decode(&f, fw, fh);
}

// Colour at (x, y) counted from the top.
RGBQUAD At(PxImage& img, LONG x, LONG y) { return img.GetPixelColor(x, static_cast<LONG>(img.GetHeight()) - 1 - y, false); }
bool Is(RGBQUAD c, int r, int g, int b) { return c.rgbRed == r && c.rgbGreen == g && c.rgbBlue == b; }

EmfWriter Empty() { return EmfWriter(); }

// WMF: a red brush, no pen, rectangle (l, t, r, b) in a 0..1440 box at 1440 units per inch.
WmfWriter RedRect(int l, int t, int r, int b) {
    WmfWriter w;
    w.Rec(0x02FC, {0, 0x00FF, 0x0000, 0});  // solid brush RGB(255,0,0)
    w.Rec(0x012D, {0});
    w.Rec(0x02FA, {5, 0, 0, 0, 0});  // null pen
    w.Rec(0x012D, {1});
    w.Rec(0x041B, {b, r, t, l});
    return w;
}

}  // namespace

TEST(WmfSize, PlaceableAndEnhancedSizesFollowTheRules) {
    PxWmfCodec img;
    ASSERT_TRUE(DecodeBytes(img, WmfWriter().Placeable(0, 0, 1440, 1440, 1440)));
    EXPECT_EQ(img.GetWidth(), 96u);
    EXPECT_EQ(img.GetHeight(), 96u);
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_EQ(img.GetType(), static_cast<DWORD>(PXIMAGE_FORMAT_WMF));
    EXPECT_TRUE(Is(At(img, 50, 50), 255, 255, 255));

    ASSERT_TRUE(DecodeBytes(img, Empty().File(0, 0, 10000, 5000)));
    EXPECT_EQ(img.GetWidth(), 4000u);
    EXPECT_EQ(img.GetHeight(), 2000u);

    // A forced width keeps the own height, then the cap scales both.
    ASSERT_TRUE(DecodeBytes(img, Empty().File(0, 0, 100, 50), 200, 0));
    EXPECT_EQ(img.GetWidth(), 200u);
    EXPECT_EQ(img.GetHeight(), 50u);
    ASSERT_TRUE(DecodeBytes(img, Empty().File(0, 0, 100, 3000), 8000, 0));
    EXPECT_EQ(img.GetWidth(), 4000u);
    EXPECT_EQ(img.GetHeight(), 1500u);
}

TEST(WmfSize, CapKeepsOnePixelAndDoesNotOverflow) {
    int64_t w = 2000000000, h = 3;
    PxWmfCodec::CapSize(w, h);
    EXPECT_EQ(w, 4000);
    EXPECT_EQ(h, 1);
    w = 1, h = 2000000000;
    PxWmfCodec::CapSize(w, h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 4000);
    // Products beyond 32 bits: 1e9 * 4000 / 2e9.
    w = 2000000000, h = 1000000000;
    PxWmfCodec::CapSize(w, h);
    EXPECT_EQ(w, 4000);
    EXPECT_EQ(h, 2000);
}

TEST(WmfSize, EmptyAndCorruptFilesAreRefused) {
    PxWmfCodec img;
    EXPECT_FALSE(DecodeBytes(img, Empty().File(0, 0, -1, -1)));  // an EMF that drew nothing
    EXPECT_STREQ(img.GetLastError(), "empty WMF");
    EXPECT_FALSE(DecodeBytes(img, WmfWriter().Placeable(100, 0, 0, 100, 1440)));
    EXPECT_STREQ(img.GetLastError(), "empty WMF");
    // A plain WMF without the placeable header.
    Buf plain = WmfWriter().Placeable(0, 0, 100, 100, 1440);
    plain.erase(plain.begin(), plain.begin() + 22);
    plain.resize(200, 0);
    EXPECT_FALSE(DecodeBytes(img, plain));
    EXPECT_STREQ(img.GetLastError(), "corrupted WMF");
    EXPECT_FALSE(img.Decode(static_cast<PxFile*>(nullptr), 0, 0));

    PxMemFile out;
    out.Open();
    EXPECT_FALSE(img.Encode(&out));
    EXPECT_STREQ(img.GetLastError(), "Save WMF not supported");
    PxImage any;
    any.Create(4, 4, 24);
    EXPECT_FALSE(any.Encode(&out, PXIMAGE_FORMAT_WMF));
    EXPECT_STREQ(any.GetLastError(), "Save WMF not supported");
}

// Metafiles inside a larger stream: the header is found at the stream's position, and the
// placeable size check counts from there.
TEST(WmfSize, PlaceableAndEnhancedFilesReadFromTheStreamPosition) {
    Buf prefix(37, 0xAB);
    Buf wmf = RedRect(0, 0, 720, 1440).Placeable(0, 0, 1440, 1440, 1440);
    Buf f = prefix;
    f.insert(f.end(), wmf.begin(), wmf.end());
    PxWmfCodec img;
    ASSERT_TRUE(DecodeBytes(img, f, 0, 0, 37));
    EXPECT_TRUE(Is(At(img, 10, 10), 255, 0, 0));
    EXPECT_TRUE(Is(At(img, 80, 10), 255, 255, 255));
    // The header claims the whole file but the records lack their last bytes.
    Buf cut(f.begin(), f.end() - 2);
    EXPECT_FALSE(DecodeBytes(img, cut, 0, 0, 37));
    EXPECT_STREQ(img.GetLastError(), "corrupted WMF");

    Buf emf = Empty().File(0, 0, 30, 20);
    f = prefix;
    f.insert(f.end(), emf.begin(), emf.end());
    ASSERT_TRUE(DecodeBytes(img, f, 0, 0, 37));
    EXPECT_EQ(img.GetWidth(), 30u);
}

TEST(WmfPlay, WmfShapesLandWhereTheWindowMapsThem) {
    // Window 0..200 x 0..100 on a box of 0..1440 x 0..720 units: 96 x 48 pixels.
    WmfWriter w;
    w.Rec(0x020B, {0, 0}).Rec(0x020C, {100, 200});
    w.Rec(0x02FC, {0, 0xFF00, 0x0000, 0});  // green brush
    w.Rec(0x012D, {0});
    w.Rec(0x02FA, {0, 0, 0, 0x00FF, 0x0000});  // red 1-pixel pen
    w.Rec(0x012D, {1});
    w.Rec(0x041B, {100, 100, 0, 0});  // left half
    w.Rec(0x02FC, {1, 0, 0, 0});      // null brush, slot 2
    w.Rec(0x012D, {2});
    w.Rec(0x0214, {50, 100}).Rec(0x0213, {50, 200});  // red line across the right half
    w.Rec(0x041F, {0xFF00 & 0, 0x00FF, 10, 190});     // blue pixel at (190, 10)
    PxWmfCodec img;
    ASSERT_TRUE(DecodeBytes(img, w.Placeable(0, 0, 1440, 720, 1440)));
    ASSERT_EQ(img.GetWidth(), 96u);
    ASSERT_EQ(img.GetHeight(), 48u);
    EXPECT_TRUE(Is(At(img, 0, 0), 255, 0, 0));     // the outline
    EXPECT_TRUE(Is(At(img, 20, 20), 0, 255, 0));   // the inside
    EXPECT_TRUE(Is(At(img, 47, 20), 255, 0, 0));   // outline's last column
    EXPECT_TRUE(Is(At(img, 49, 20), 255, 255, 255));
    EXPECT_TRUE(Is(At(img, 70, 24), 255, 0, 0));   // the line
    EXPECT_TRUE(Is(At(img, 70, 22), 255, 255, 255));
    EXPECT_TRUE(Is(At(img, 91, 4), 0, 0, 255));    // the pixel
}

TEST(WmfPlay, EmfShapesClipsTransformsAndSavedStates) {
    EmfWriter e;
    e.Rec(39, {1, 0, 0x0000FF, 0}).Rec(37, {1});            // red brush
    e.Rec(37, {static_cast<int64_t>(0x80000008u)});          // NULL_PEN
    e.Rec(33, {});                                           // SaveDC
    e.Rec(30, {0, 0, 50, 100});                              // clip to the left half
    e.Rec(43, {0, 0, 100, 50});                              // top band, cut at x = 50
    e.Rec(34, {-1});                                         // clip gone again
    // World transform: shift by (0, 60), then a blue hatched... solid blue square at (60, 0).
    const float xf[6] = {1, 0, 0, 1, 60, 60};
    Buf x(24);
    std::memcpy(x.data(), xf, 24);
    e.Raw(35, x);
    e.Rec(39, {2, 0, 0xFF0000, 0}).Rec(37, {2});
    e.Rec(43, {0, 0, 20, 20});
    e.Rec(36, {0, 0, 0, 0, 0, 0, 1});  // identity again (mode 1)
    e.Rec(42, {10, 60, 40, 90});       // blue ellipse
    PxWmfCodec img;
    ASSERT_TRUE(DecodeBytes(img, e.File(0, 0, 100, 100)));
    EXPECT_TRUE(Is(At(img, 10, 10), 255, 0, 0));
    EXPECT_TRUE(Is(At(img, 70, 10), 255, 255, 255));  // clipped away
    EXPECT_TRUE(Is(At(img, 70, 70), 0, 0, 255));      // moved by the transform
    EXPECT_TRUE(Is(At(img, 55, 70), 255, 255, 255));
    EXPECT_TRUE(Is(At(img, 25, 75), 0, 0, 255));      // the ellipse's centre
    EXPECT_TRUE(Is(At(img, 11, 61), 255, 255, 255));  // its bounding corner
}

TEST(WmfPlay, EmfPathsPolygonsAndBitmaps) {
    EmfWriter e;
    e.Rec(39, {1, 0, 0x00FF00, 0}).Rec(37, {1});
    e.Rec(37, {static_cast<int64_t>(0x80000008u)});
    e.Rec(59, {});  // BeginPath: triangle
    e.Rec(27, {0, 0}).Rec(54, {40, 0}).Rec(54, {0, 40});
    e.Rec(61, {}).Rec(60, {});
    e.Rec(62, {0, 0, 0, 0});  // FillPath
    // Polygon16 square at 60..90 x 0..30, thick black pen via ExtCreatePen (geometric, 6 wide).
    e.Rec(95, {2, 0, 0, 0, 0, 0x00010000, 6, 0, 0x000000, 0, 0}).Rec(37, {2});
    e.Rec(87, {0, 0, 0, 0, 2, (50 & 0xFFFF) | (int64_t{50} << 16), (90 & 0xFFFF) | (int64_t{50} << 16)});  // Polyline16
    // StretchDIBits: a 2 x 2 24-bit bottom-up DIB (blue, white / red, green) onto 40..60 x 60..80.
    Buf rec(80 - 8 + 40 + 16, 0);
    auto put = [&](size_t off, uint32_t v) { le::put32(rec.data() + off - 8, v); };
    put(24, 40), put(28, 60), put(32, 0), put(36, 0), put(40, 2), put(44, 2);
    put(48, 80), put(52, 40), put(56, 120), put(60, 16), put(64, 0), put(68, 0x00CC0020), put(72, 20), put(76, 20);
    uint8_t* bmi = rec.data() + 80 - 8;
    le::put32(bmi, 40), le::put32(bmi + 4, 2), le::put32(bmi + 8, 2), le::put16(bmi + 12, 1), le::put16(bmi + 14, 24);
    const uint8_t px[16] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};  // bottom row first
    std::memcpy(rec.data() + 120 - 8, px, 16);
    e.Raw(81, rec);
    PxWmfCodec img;
    ASSERT_TRUE(DecodeBytes(img, e.File(0, 0, 100, 100)));
    EXPECT_TRUE(Is(At(img, 5, 5), 0, 255, 0));
    EXPECT_TRUE(Is(At(img, 35, 35), 255, 255, 255));
    EXPECT_TRUE(Is(At(img, 70, 48), 0, 0, 0));  // 6-pixel line around y = 50
    EXPECT_TRUE(Is(At(img, 70, 52), 0, 0, 0));
    EXPECT_TRUE(Is(At(img, 70, 55), 255, 255, 255));
    EXPECT_TRUE(Is(At(img, 45, 65), 255, 0, 0));   // top-left: the DIB's top row, first pixel
    EXPECT_TRUE(Is(At(img, 55, 65), 0, 255, 0));
    EXPECT_TRUE(Is(At(img, 45, 75), 0, 0, 255));
    EXPECT_TRUE(Is(At(img, 55, 75), 255, 255, 255));
}

TEST(WmfPlay, TextDrawsInTheTextColourAtItsAlignment) {
    EmfWriter e;
    Buf font(4 + 92, 0);
    le::put32(font.data(), 1);
    le::put32(font.data() + 4, static_cast<uint32_t>(-20));  // 20-pixel characters
    le::put32(font.data() + 20, 400);
    const char* face = "DejaVu Sans";
    for (int i = 0; face[i]; i++) font[4 + 28 + 2 * i] = static_cast<uint8_t>(face[i]);
    e.Raw(82, font).Rec(37, {1});
    e.Rec(24, {0x0000FF}).Rec(18, {1});  // red, transparent
    e.Rec(22, {24});                     // TA_BASELINE
    Buf t(76 - 8 + 8, 0);
    auto put = [&](size_t off, uint32_t v) { le::put32(t.data() + off - 8, v); };
    put(28, 1), put(36, 10), put(40, 40), put(44, 4), put(48, 76);
    const char16_t s[4] = {u'H', u'H', u'H', u'H'};
    std::memcpy(t.data() + 76 - 8, s, 8);
    e.Raw(84, t);
    PxWmfCodec img;
    ASSERT_TRUE(DecodeBytes(img, e.File(0, 0, 100, 60)));
    int red = 0, below = 0, other = 0;
    for (LONG y = 0; y < 60; y++)
        for (LONG x = 0; x < 100; x++) {
            const RGBQUAD c = At(img, x, y);
            if (Is(c, 255, 255, 255)) continue;
            if (!Is(c, 255, 0, 0)) other++;
            else if (y >= 40) below++;
            else if (x >= 10 && y >= 20) red++;
        }
    EXPECT_GT(red, 60);    // capital letters standing on the baseline
    EXPECT_EQ(below, 0);
    EXPECT_EQ(other, 0);   // no smoothing
}

namespace {
// A font record (index 1, 20-pixel characters, the escapement given) and one ExtTextOut record.
Buf TextEmf(int escapement, bool wide, const Buf& chars, int x, int y) {
    EmfWriter e;
    Buf font(4 + 92, 0);
    le::put32(font.data(), 1);
    le::put32(font.data() + 4, static_cast<uint32_t>(-20));
    le::put32(font.data() + 12, static_cast<uint32_t>(escapement));
    le::put32(font.data() + 20, 400);
    e.Raw(82, font).Rec(37, {1}).Rec(18, {1});
    const size_t n = wide ? chars.size() / 2 : chars.size();
    Buf t(76 - 8 + chars.size(), 0);
    auto put = [&](size_t off, uint32_t v) { le::put32(t.data() + off - 8, v); };
    put(28, 1), put(36, static_cast<uint32_t>(x)), put(40, static_cast<uint32_t>(y)), put(44, static_cast<uint32_t>(n)), put(48, 76);
    std::copy(chars.begin(), chars.end(), t.begin() + 76 - 8);
    e.Raw(wide ? 84 : 83, t);
    return e.File(0, 0, 120, 120);
}

RECT InkBox(PxImage& img) {
    RECT r{10000, 10000, -1, -1};
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); y++)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); x++)
            if (!Is(At(img, x, y), 255, 255, 255))
                r = RECT{std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1), std::max(r.bottom, y + 1)};
    return r;
}
}  // namespace

TEST(WmfPlay, AnsiTextIsWindows1252AndEscapementTurnsIt) {
    PxWmfCodec a, w;
    ASSERT_TRUE(DecodeBytes(a, TextEmf(0, false, Buf{0x80, 0x9C}, 20, 20)));  // euro sign, oe ligature
    ASSERT_TRUE(DecodeBytes(w, TextEmf(0, true, Buf{0xAC, 0x20, 0x53, 0x01}, 20, 20)));
    const RECT ra = InkBox(a), rw = InkBox(w);
    ASSERT_GT(ra.right, ra.left);
    EXPECT_EQ(std::memcmp(&ra, &rw, sizeof ra), 0);
    EXPECT_EQ(std::memcmp(a.GetBits(), w.GetBits(), a.GetEffWidth() * a.GetHeight()), 0);

    // 90 degrees: the line runs upwards from the reference point.
    PxWmfCodec up;
    ASSERT_TRUE(DecodeBytes(up, TextEmf(900, false, Buf(6, 'H'), 60, 110)));
    const RECT r = InkBox(up);
    EXPECT_GT(r.bottom - r.top, 2 * (r.right - r.left));
    EXPECT_LE(r.bottom, 111);
    EXPECT_GE(r.left, 60);
}

TEST(WmfBadInput, BrokenRecordsEndPlayAndBudgetsHold) {
    PxWmfCodec img;
    // A record claiming more words than the file holds: what came before stays drawn.
    WmfWriter w = RedRect(0, 0, 1440, 1440);
    w.RecV(0x0324, {30000, 1, 2});
    w.body[w.body.size() - 10] = 0xFF, w.body[w.body.size() - 9] = 0xFF;  // record size
    ASSERT_TRUE(DecodeBytes(img, w.Placeable(0, 0, 1440, 1440, 1440)));
    EXPECT_TRUE(Is(At(img, 50, 50), 255, 0, 0));

    // Huge coordinates and many big polygons finish quickly.
    EmfWriter e;
    e.Rec(39, {1, 0, 0x00FF00, 0}).Rec(37, {1});
    for (int i = 0; i < 3000; i++)
        e.Rec(3, {0, 0, 0, 0, 4, -2000000000, -2000000000, 2000000000, -2000000000, 2000000000, 2000000000, -2000000000,
                  2000000000});
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(DecodeBytes(img, e.File(0, 0, 2000, 2000)));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    EXPECT_TRUE(Is(At(img, 1000, 1000), 0, 255, 0));

    // Saved states, objects and record sizes out of range are ignored or end play.
    EmfWriter d;
    for (int i = 0; i < 1000; i++) d.Rec(33, {});
    d.Rec(39, {100000000, 0, 0, 0}).Rec(37, {100000000}).Rec(34, {-5000}).Rec(34, {7});
    d.Raw(43, Buf(3));
    ASSERT_TRUE(DecodeBytes(img, d.File(0, 0, 10, 10)));

    // The escape flag cancels.
    PxWmfCodec esc;
    esc.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(esc, RedRect(0, 0, 10, 10).Placeable(0, 0, 1440, 1440, 1440)));
    EXPECT_STREQ(esc.GetLastError(), "Cancelled");
}

TEST(WmfTools, MatchesWmf2gdInPositionAndColour) {
    if (!HaveTool("wmf2gd") || !HaveTool("convert")) GTEST_SKIP() << "wmf2gd or ImageMagick missing (scripts/deps)";
    WmfWriter w;
    w.Rec(0x0103, {8}).Rec(0x020B, {0, 0}).Rec(0x020C, {1000, 1000});
    w.Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {0});
    // wmf2gd frames what was drawn: a pale background over the whole window fixes its frame.
    w.Rec(0x02FC, {0, 0xF0F0, 0x00F0, 0}).Rec(0x012D, {1});
    w.Rec(0x041B, {1000, 1000, 0, 0});
    w.Rec(0x02FC, {0, 0x00FF, 0x0000, 0}).Rec(0x012D, {2});  // red
    w.Rec(0x041B, {500, 500, 100, 100});
    w.Rec(0x02FC, {0, 0x8000, 0x00C0, 0}).Rec(0x012D, {3});  // RGB(0,128,192)
    w.Rec(0x041B, {900, 900, 600, 550});
    w.Rec(0x02FC, {0, 0xFF00, 0x0000, 0}).Rec(0x012D, {4});  // green triangle
    w.Rec(0x0324, {3, 100, 600, 400, 600, 100, 950});
    const Buf f = w.Placeable(0, 0, 1000, 1000, 1000);
    TempDir dir;
    const std::string path = dir.File("shapes.wmf");
    FILE* fp = std::fopen(path.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    std::fwrite(f.data(), 1, f.size(), fp);
    std::fclose(fp);
    ASSERT_EQ(Shell("wmf2gd -o '" + dir.File("shapes.png") + "' '" + path + "'"), 0);
    const Ppm ref = Render(dir.File("shapes.png"));
    ASSERT_GT(ref.w, 0);
    PxWmfCodec img;
    ASSERT_TRUE(DecodeBytes(img, f, ref.w, ref.h));
    // Compare at points well inside and outside each shape, in fractions of the picture.
    const double probes[][2] = {{0.3, 0.3}, {0.15, 0.15}, {0.725, 0.75}, {0.2, 0.7}, {0.6, 0.3}, {0.9, 0.1}, {0.5, 0.95}};
    for (const auto& pr : probes) {
        const int x = static_cast<int>(pr[0] * ref.w), y = static_cast<int>(pr[1] * ref.h);
        const RGBQUAD a = At(img, x, y), b = ref.At(x, y);
        EXPECT_LE(std::abs(a.rgbRed - b.rgbRed) + std::abs(a.rgbGreen - b.rgbGreen) + std::abs(a.rgbBlue - b.rgbBlue), 24)
            << pr[0] << "," << pr[1] << ": ours " << int(a.rgbRed) << " " << int(a.rgbGreen) << " " << int(a.rgbBlue)
            << ", wmf2gd " << int(b.rgbRed) << " " << int(b.rgbGreen) << " " << int(b.rgbBlue);
    }
}

TEST(WmfTools, GnuplotEmfShowsAxesCurveAndLabels) {
    if (!HaveTool("gnuplot")) GTEST_SKIP() << "gnuplot missing (scripts/deps)";
    TempDir dir;
    const std::string out = dir.File("plot.emf");
    ASSERT_EQ(Shell("gnuplot -e \"set terminal emf size 640,480; set output '" + out +
                    "'; set xlabel 'XLBL'; plot [0:10] sin(x) lw 2 lc rgb '#ff0000' notitle\""), 0);
    const Bytes f = ReadFile(out);
    ASSERT_GT(f.size(), 100u);
    PxWmfCodec img;
    ASSERT_TRUE(DecodeBytes(img, Buf(f.begin(), f.end())));
    const LONG W = static_cast<LONG>(img.GetWidth()), H = static_cast<LONG>(img.GetHeight());
    ASSERT_GT(W, 300);
    // Axes: a long dark row in the lower part and a long dark column in the left part.
    auto dark = [&](LONG x, LONG y) { const RGBQUAD c = At(img, x, y); return c.rgbRed < 80 && c.rgbGreen < 80 && c.rgbBlue < 80; };
    LONG bestRow = 0, bestRowY = -1, bestCol = 0, bestColX = -1;
    for (LONG y = H / 2; y < H; y++) {
        LONG n = 0;
        for (LONG x = 0; x < W; x++) n += dark(x, y);
        if (n > bestRow) bestRow = n, bestRowY = y;
    }
    for (LONG x = 0; x < W / 2; x++) {
        LONG n = 0;
        for (LONG y = 0; y < H; y++) n += dark(x, y);
        if (n > bestCol) bestCol = n, bestColX = x;
    }
    EXPECT_GT(bestRow, W / 2);
    EXPECT_GT(bestCol, H / 2);
    // The curve: red pixels inside the plot box, above and below its middle.
    LONG redHigh = 0, redLow = 0;
    for (LONG y = 0; y < bestRowY; y++)
        for (LONG x = bestColX + 1; x < W; x++) {
            const RGBQUAD c = At(img, x, y);
            if (c.rgbRed > 200 && c.rgbGreen < 60 && c.rgbBlue < 60) (y < bestRowY / 2 ? redHigh : redLow)++;
        }
    EXPECT_GT(redHigh, 100);
    EXPECT_GT(redLow, 100);
    // Labels: dark pixels left of the y axis (tick labels) and below the x axis (ticks and label).
    LONG left = 0, below = 0;
    for (LONG y = 0; y < H; y++)
        for (LONG x = 0; x + 2 < bestColX; x++) left += dark(x, y);
    for (LONG y = bestRowY + 3; y < H; y++)
        for (LONG x = 0; x < W; x++) below += dark(x, y);
    EXPECT_GT(left, 50);
    EXPECT_GT(below, 100);
}
