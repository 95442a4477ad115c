// Neighbourhood filters and the unsharp mask on small images: exact values from the window
// rules, the border rules, the selection, escape, and the blur checked against a plain
// column-by-column reference of the separable blur.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

#include "imagelib/core/pxsimd.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"

#include "imagetest.h"

namespace {

struct FilterImage : SelectableImage {
    using PxImage::blur_line;
    using PxImage::gen_convolve_matrix;
    using PxImage::gen_lookup_table;
    using SelectableImage::SelectableImage;
};



// 8-bit grey image with index x + 10 y.
void MakeRamp(PxImage& img, LONG w, LONG h) {
    img.Create(w, h, 8);
    img.SetGrayPalette();
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) img.SetPixelIndex(x, y, static_cast<BYTE>(x + 10 * y));
}

void FillRandom(PxImage& img, uint32_t seed) {
    px::Rand15 r(seed);
    for (DWORD y = 0; y < img.GetHeight(); y++) {
        BYTE* row = img.GetBits(y);
        for (DWORD i = 0; i < img.GetWidth() * img.GetBpp() / 8; i++) row[i] = static_cast<BYTE>(r.Next());
    }
}

bool SamePixels(PxImage& a, PxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBpp() != b.GetBpp()) return false;
    const DWORD n = a.GetWidth() * a.GetBpp() / 8;
    for (DWORD y = 0; y < a.GetHeight(); y++)
        if (std::memcmp(a.GetBits(y), b.GetBits(y), n) != 0) return false;
    return true;
}

BYTE Red(PxImage& img, LONG x, LONG y) { return img.GetPixelColor(x, y, false).rgbRed; }

}  // namespace

TEST(Filter, GreyKernelSkipsTheBorderRowsAndColumns) {
    PxImage img;
    MakeRamp(img, 6, 6);
    LONG kernel[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};  // weight at dx = +1, dy = +1
    ASSERT_TRUE(img.Filter(kernel, 3, 0, 0));      // factor 0 is taken as 1
    for (LONG y = 0; y < 6; y++)
        for (LONG x = 0; x < 6; x++) {
            // Only pixels whose window stays off row 0, column 0 and the far edges change.
            const bool inner = x >= 2 && x <= 4 && y >= 2 && y <= 4;
            EXPECT_EQ(img.GetPixelIndex(x, y), inner ? x + 1 + 10 * (y + 1) : x + 10 * y) << x << "," << y;
        }
    LONG id[1] = {1};
    PxImage clamp;
    MakeRamp(clamp, 4, 4);
    ASSERT_TRUE(clamp.Filter(id, 1, 1, -100));
    EXPECT_EQ(clamp.GetPixelIndex(1, 1), 0);   // 11 - 100 clamps
    EXPECT_EQ(clamp.GetPixelIndex(3, 3), 0);   // the far edge passes with K = 1
    EXPECT_EQ(clamp.GetPixelIndex(0, 2), 20);  // column 0 never passes x - k2 >= 1
    EXPECT_EQ(clamp.GetPixelIndex(2, 0), 2);
}

TEST(Filter, ColourKernelReadsOutsideAsPixelZeroAndAddsRawSumWithoutFactor) {
    PxImage img(3, 3, 24);
    Fill(img, Rgb(10, 20, 30));
    LONG ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    PxImage raw(img);
    ASSERT_TRUE(raw.Filter(ones, 3, 0, 5));
    for (LONG y = 0; y < 3; y++)
        for (LONG x = 0; x < 3; x++) {
            const RGBQUAD c = raw.GetPixelColor(x, y, false);
            EXPECT_EQ(c.rgbRed, 95);
            EXPECT_EQ(c.rgbGreen, 185);
            EXPECT_EQ(c.rgbBlue, 255);
        }
    // Left neighbour: column 0 reads outside, which gives the colour of pixel (0, 0).
    PxImage edge(3, 2, 24);
    edge.SetPixelColor(0, 0, Rgb(90, 0, 0));
    edge.SetPixelColor(1, 1, Rgb(40, 0, 0));
    LONG left[9] = {0, 0, 0, 1, 0, 0, 0, 0, 0};
    ASSERT_TRUE(edge.Filter(left, 3, 1, 0));
    EXPECT_EQ(Red(edge, 0, 1), 90);
    EXPECT_EQ(Red(edge, 1, 0), 90);
    EXPECT_EQ(Red(edge, 2, 1), 40);
    EXPECT_EQ(Red(edge, 1, 1), 0);
    EXPECT_FALSE(edge.Filter(left, 0, 1, 0));
    EXPECT_FALSE(edge.Filter(nullptr, 3, 1, 0));
}

TEST(Filter, ErodeDilateEdgeWindows) {
    PxImage base(5, 5, 24);
    Fill(base, Rgb(255, 255, 255));
    base.SetPixelColor(2, 2, Rgb(0, 0, 0));

    PxImage one(base);
    ASSERT_TRUE(one.Erode(1));
    EXPECT_TRUE(SamePixels(one, base));
    ASSERT_TRUE(one.Dilate(1));
    EXPECT_TRUE(SamePixels(one, base));
    ASSERT_TRUE(one.Edge(1));
    for (LONG y = 0; y < 5; y++)
        for (LONG x = 0; x < 5; x++) EXPECT_EQ(Red(one, x, y), 255);

    PxImage e3(base);
    ASSERT_TRUE(e3.Erode(3));
    for (LONG y = 0; y < 5; y++)
        for (LONG x = 0; x < 5; x++) EXPECT_EQ(Red(e3, x, y), (std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1) ? 0 : 255);

    // An even window reaches one further back: offsets -1..0.
    PxImage e2(base);
    ASSERT_TRUE(e2.Erode(2));
    for (LONG y = 0; y < 5; y++)
        for (LONG x = 0; x < 5; x++) EXPECT_EQ(Red(e2, x, y), (x >= 2 && x <= 3 && y >= 2 && y <= 3) ? 0 : 255);

    PxImage ed(base);
    ASSERT_TRUE(ed.Edge(3));
    EXPECT_EQ(Red(ed, 1, 1), 0);
    EXPECT_EQ(Red(ed, 0, 0), 255);

    // Dilate only inside the selection.
    FilterImage sel(5, 5, 24);
    Fill(sel, Rgb(255, 255, 255));
    sel.SetPixelColor(2, 2, Rgb(0, 0, 0));
    sel.Select(0, 0, 5, 3);
    ASSERT_TRUE(sel.Erode(3));
    EXPECT_EQ(Red(sel, 2, 1), 0);
    EXPECT_EQ(Red(sel, 2, 3), 255);  // outside the selection
    EXPECT_FALSE(sel.Dilate(0));
}

TEST(Filter, MedianContourJitterNoise) {
    PxImage salt(5, 5, 24);
    salt.SetPixelColor(2, 2, Rgb(255, 255, 255));
    salt.SetPixelColor(0, 4, Rgb(200, 10, 10));
    PxImage m1(salt);
    ASSERT_TRUE(m1.Median(1));
    EXPECT_TRUE(SamePixels(m1, salt));
    ASSERT_TRUE(salt.Median(3));
    for (LONG y = 0; y < 5; y++)
        for (LONG x = 0; x < 5; x++) EXPECT_EQ(salt.GetPixelColor(x, y, false).rgbRed, 0) << x << "," << y;

    PxImage flat(4, 3, 24);
    Fill(flat, Rgb(90, 80, 70));
    ASSERT_TRUE(flat.Contour());
    EXPECT_EQ(Red(flat, 1, 1), 255);
    PxImage spot(3, 3, 24);
    spot.SetPixelColor(1, 1, Rgb(200, 0, 0));
    ASSERT_TRUE(spot.Contour());
    EXPECT_EQ(Red(spot, 1, 1), 255);  // neighbours are darker: m stays 0
    EXPECT_EQ(Red(spot, 0, 0), 55);   // the bright neighbour's value, not the difference
    EXPECT_EQ(Red(spot, 2, 2), 55);

    // Jitter copies each index from within the radius; 0 changes nothing.
    PxImage ramp;
    MakeRamp(ramp, 8, 8);
    PxImage j0(ramp);
    ASSERT_TRUE(j0.Jitter(0));
    EXPECT_TRUE(SamePixels(j0, ramp));
    px::srand15(7);
    PxImage j2(ramp);
    ASSERT_TRUE(j2.Jitter(2));
    int moved = 0;
    for (LONG y = 0; y < 8; y++)
        for (LONG x = 0; x < 8; x++) {
            const int v = j2.GetPixelIndex(x, y);
            EXPECT_LE(std::abs(v % 10 - x), 2);
            EXPECT_LE(std::abs(v / 10 - y), 2);
            moved += v != x + 10 * y;
        }
    EXPECT_GT(moved, 0);

    // Noise stays within level / 2 of each channel and repeats with the seed.
    PxImage n0(4, 4, 24);
    Fill(n0, Rgb(100, 5, 250));
    PxImage na(n0), nb(n0);
    px::srand15(3);
    ASSERT_TRUE(na.Noise(40));
    px::srand15(3);
    ASSERT_TRUE(nb.Noise(40));
    EXPECT_TRUE(SamePixels(na, nb));
    EXPECT_FALSE(SamePixels(na, n0));
    for (LONG y = 0; y < 4; y++)
        for (LONG x = 0; x < 4; x++) {
            const RGBQUAD c = na.GetPixelColor(x, y, false);
            EXPECT_LE(std::abs(c.rgbRed - 100), 20);
            EXPECT_LE(c.rgbGreen, 25);
            EXPECT_GE(c.rgbBlue, 230);
        }
}

TEST(Filter, MedianTakesTheMiddleOfAStableSortByGrey) {
    // Few colours, some of them different with one grey value, so ties decide the result:
    // equal greys keep their collection order (dx outer, dy inner).
    const RGBQUAD colours[] = {Rgb(0, 0, 0),         Rgb(255, 255, 255), Rgb(102, 0, 0), Rgb(0, 52, 0),
                               Rgb(0, 0, 267 - 255), Rgb(60, 60, 60),    Rgb(30, 0, 200)};
    for (LONG K : {3, 4, 5}) {
        SCOPED_TRACE(K);
        PxImage img(9, 7, 24);
        px::Rand15 r(static_cast<uint32_t>(K));
        for (LONG y = 0; y < 7; y++)
            for (LONG x = 0; x < 9; x++) img.SetPixelColor(x, y, colours[r.Next() % 7]);
        PxImage got(img);
        ASSERT_TRUE(got.Median(K));
        const LONG k2 = K / 2, kmax = K - k2;
        for (LONG y = 0; y < 7; y++)
            for (LONG x = 0; x < 9; x++) {
                std::vector<RGBQUAD> win;
                for (LONG dx = -k2; dx < kmax; dx++)
                    for (LONG dy = -k2; dy < kmax; dy++) win.push_back(img.GetPixelColor(x + dx, y + dy, false));
                std::stable_sort(win.begin(), win.end(), [](const RGBQUAD& a, const RGBQUAD& b) {
                    return ((306 * a.rgbRed + 601 * a.rgbGreen + 117 * a.rgbBlue) >> 10) <
                           ((306 * b.rgbRed + 601 * b.rgbGreen + 117 * b.rgbBlue) >> 10);
                });
                const RGBQUAD want = win[win.size() / 2];
                const RGBQUAD c = got.GetPixelColor(x, y, false);
                ASSERT_TRUE(c.rgbRed == want.rgbRed && c.rgbGreen == want.rgbGreen && c.rgbBlue == want.rgbBlue)
                    << x << "," << y;
            }
    }
}

TEST(Filter, Median3MatchesAPlainStableSortOnEveryDepthWithAndWithoutSelection) {
    // Sizes that leave partial bands of rows; few grey levels so ties are common; images from
    // the bottom row's padding up to the far edges, the out-of-range colour on the borders.
    struct Case {
        LONG w, h;
        WORD bpp;
        bool select;
        LONG trans;  // transparent index (-1 none)
    } cases[] = {{37, 23, 24, false, -1}, {131, 70, 24, true, -1}, {41, 53, 8, false, -1}, {29, 67, 8, true, -1},
                 {19, 21, 8, false, 7},   {23, 17, 4, true, -1},   {40, 400, 24, true, -1}};  // enough bands for every
                                                                                              // worker thread
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w * 1000 + c.bpp);
        FilterImage img(c.w, c.h, c.bpp);
        if (c.bpp < 24) img.SetGrayPalette();
        px::Rand15 r(static_cast<uint32_t>(c.w));
        for (LONG y = 0; y < c.h; y++)
            for (LONG x = 0; x < c.w; x++) {
                if (c.bpp == 24)
                    img.SetPixelColor(x, y,
                                      Rgb(static_cast<BYTE>(r.Next() % 5 * 60), static_cast<BYTE>(r.Next() % 3 * 100),
                                          static_cast<BYTE>(r.Next() % 4 * 80)));
                else
                    img.SetPixelIndex(x, y, static_cast<BYTE>(r.Next() % 6 * 3));
            }
        img.SetTransIndex(c.trans);
        if (c.select) img.Select(3, 2, c.w - 4, c.h - 5);
        FilterImage got(img);
        ASSERT_TRUE(got.Median(3));
        for (LONG y = 0; y < c.h; y++)
            for (LONG x = 0; x < c.w; x++) {
                RGBQUAD want = img.GetPixelColor(x, y, false);
                if (img.SelectionIsInside(x, y)) {
                    std::vector<RGBQUAD> win;
                    for (LONG dx = -1; dx <= 1; dx++)
                        for (LONG dy = -1; dy <= 1; dy++) win.push_back(img.GetPixelColor(x + dx, y + dy, false));
                    std::stable_sort(win.begin(), win.end(), [](const RGBQUAD& a, const RGBQUAD& b) {
                        return ((306 * a.rgbRed + 601 * a.rgbGreen + 117 * a.rgbBlue) >> 10) <
                               ((306 * b.rgbRed + 601 * b.rgbGreen + 117 * b.rgbBlue) >> 10);
                    });
                    want = win[4];
                }
                const RGBQUAD g = got.GetPixelColor(x, y, false);
                ASSERT_TRUE(g.rgbRed == want.rgbRed && g.rgbGreen == want.rgbGreen && g.rgbBlue == want.rgbBlue)
                    << x << "," << y;
            }
    }
}

TEST(Filter, ColourKernelMatchesPlainSumsForSmallAndHugeWeights) {
    // Factors of every sign and 0, weights small enough for 32-bit sums and far too large for
    // them, odd and even windows, several bands, with and without a selection.
    struct Case {
        LONG w, h, K, factor, offset;
        LONG scale;  // weights are multiplied by it
        bool select;
    } cases[] = {{37, 71, 3, 16, 0, 1, false},      {30, 45, 3, -7, 20, 1, true},      {41, 50, 2, 0, -300, 1, false},
                 {29, 40, 5, 3, 5, 1 << 22, false}, {23, 61, 4, 1000, 0, 99999, true}, {19, 33, 1, 2, 1, 1, false},
                 {31, 500, 3, 16, 0, 1, true}};  // enough bands for every worker thread
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " K " << c.K << " factor " << c.factor);
        FilterImage img(c.w, c.h, 24);
        FillRandom(img, static_cast<uint32_t>(c.w * 7 + c.K));
        if (c.select) img.Select(3, 1, c.w - 2, c.h - 4);
        std::vector<LONG> kernel(static_cast<size_t>(c.K * c.K));
        px::Rand15 r(static_cast<uint32_t>(c.K + 40));
        for (LONG& k : kernel) k = (static_cast<LONG>(r.Next() % 11) - 4) * c.scale;
        FilterImage got(img);
        ASSERT_TRUE(got.Filter(kernel.data(), c.K, c.factor, c.offset));
        const LONG k2 = c.K / 2;
        for (LONG y = 0; y < c.h; y++)
            for (LONG x = 0; x < c.w; x++) {
                RGBQUAD want = img.GetPixelColor(x, y, false);
                if (img.SelectionIsInside(x, y)) {
                    int64_t sum[3] = {0, 0, 0};
                    for (LONG dy = -k2; dy < c.K - k2; dy++)
                        for (LONG dx = -k2; dx < c.K - k2; dx++) {
                            const RGBQUAD n = img.GetPixelColor(x + dx, y + dy, false);
                            const int64_t kw = kernel[static_cast<size_t>((dy + k2) * c.K + dx + k2)];
                            sum[0] += kw * n.rgbBlue;
                            sum[1] += kw * n.rgbGreen;
                            sum[2] += kw * n.rgbRed;
                        }
                    BYTE v[3];
                    for (int i = 0; i < 3; i++) {
                        const int64_t t = c.offset + (c.factor != 0 ? sum[i] / c.factor : sum[i]);
                        v[i] = static_cast<BYTE>(t < 0 ? 0 : t > 255 ? 255 : t);
                    }
                    want = Rgb(v[2], v[1], v[0]);
                }
                const RGBQUAD g = got.GetPixelColor(x, y, false);
                ASSERT_TRUE(g.rgbRed == want.rgbRed && g.rgbGreen == want.rgbGreen && g.rgbBlue == want.rgbBlue)
                    << x << "," << y;
            }
    }
}

TEST(Filter, ErodeDilateEdgeContourMatchPlainWindowsOnEveryDepthWithAndWithoutSelection) {
    // Windows of odd and even sizes over images cut into several bands, the out-of-range colour
    // (pixel 0, 0 or the transparent entry) on the borders.
    struct Case {
        LONG w, h;
        WORD bpp;
        bool select;
        LONG trans;
    } cases[] = {{37, 83, 24, false, -1}, {30, 71, 24, true, -1}, {41, 67, 8, false, -1},  {29, 45, 8, true, -1},
                 {19, 40, 8, false, 200}, {23, 17, 4, true, -1},  {33, 400, 24, false, -1}};  // enough bands for every
                                                                                              // worker thread
    for (const Case& c : cases) {
        FilterImage img(c.w, c.h, c.bpp);
        if (c.bpp < 24) img.SetGrayPalette();
        FillRandom(img, static_cast<uint32_t>(c.w + c.bpp));
        img.SetTransIndex(c.trans);
        if (c.select) img.Select(2, 3, c.w - 5, c.h - 2);
        for (LONG K : {1, 2, 3, 4, 7}) {
            for (int kind = 0; kind < 3; kind++) {
                SCOPED_TRACE(testing::Message()
                             << c.w << "x" << c.h << " bpp " << c.bpp << " K " << K << " kind " << kind);
                FilterImage got(img);
                ASSERT_TRUE(kind == 0 ? got.Erode(K) : kind == 1 ? got.Dilate(K) : got.Edge(K));
                const LONG k2 = K / 2;
                for (LONG y = 0; y < c.h; y++)
                    for (LONG x = 0; x < c.w; x++) {
                        RGBQUAD want = img.GetPixelColor(x, y, false);
                        if (img.SelectionIsInside(x, y)) {
                            BYTE lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
                            for (LONG dy = -k2; dy < K - k2; dy++)
                                for (LONG dx = -k2; dx < K - k2; dx++) {
                                    const RGBQUAD n = img.GetPixelColor(x + dx, y + dy, false);
                                    const BYTE v[3] = {n.rgbBlue, n.rgbGreen, n.rgbRed};
                                    for (int i = 0; i < 3; i++) {
                                        lo[i] = std::min(lo[i], v[i]);
                                        hi[i] = std::max(hi[i], v[i]);
                                    }
                                }
                            BYTE r[3];
                            for (int i = 0; i < 3; i++)
                                r[i] = kind == 0 ? lo[i] : kind == 1 ? hi[i] : static_cast<BYTE>(255 - (hi[i] - lo[i]));
                            want = Rgb(r[2], r[1], r[0]);
                            if (c.bpp < 24) want = img.GetPaletteColor(img.GetNearestIndex(want));
                        }
                        const RGBQUAD g = got.GetPixelColor(x, y, false);
                        ASSERT_TRUE(g.rgbRed == want.rgbRed && g.rgbGreen == want.rgbGreen && g.rgbBlue == want.rgbBlue)
                            << x << "," << y;
                    }
            }
        }
        // Contour: the running value over the 3 x 3 window, dx outer, dy inner.
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " bpp " << c.bpp << " contour");
        FilterImage got(img);
        ASSERT_TRUE(got.Contour());
        for (LONG y = 0; y < c.h; y++)
            for (LONG x = 0; x < c.w; x++) {
                RGBQUAD want = img.GetPixelColor(x, y, false);
                if (img.SelectionIsInside(x, y)) {
                    const RGBQUAD cc = want;
                    const int cv[3] = {cc.rgbBlue, cc.rgbGreen, cc.rgbRed};
                    int m[3] = {0, 0, 0};
                    for (LONG dx = -1; dx <= 1; dx++)
                        for (LONG dy = -1; dy <= 1; dy++) {
                            const RGBQUAD n = img.GetPixelColor(x + dx, y + dy, false);
                            const int nv[3] = {n.rgbBlue, n.rgbGreen, n.rgbRed};
                            for (int i = 0; i < 3; i++)
                                if (nv[i] - cv[i] > m[i]) m[i] = nv[i];
                        }
                    want = Rgb(static_cast<BYTE>(255 - m[2]), static_cast<BYTE>(255 - m[1]),
                               static_cast<BYTE>(255 - m[0]));
                    if (c.bpp < 24) want = img.GetPaletteColor(img.GetNearestIndex(want));
                }
                const RGBQUAD g = got.GetPixelColor(x, y, false);
                ASSERT_TRUE(g.rgbRed == want.rgbRed && g.rgbGreen == want.rgbGreen && g.rgbBlue == want.rgbBlue)
                    << x << "," << y;
            }
    }
}

namespace {

// A grey 8-bit image and its 24-bit copy, the same window operations run on both; check(g, c, x, y)
// compares each pixel of the results.
template <class Check>
void GreyAgainstColour(PxImage& grey, PxImage& colour, std::initializer_list<std::function<bool(PxImage&)>> ops,
                       Check check) {
    int n = 0;
    for (const auto& op : ops) {
        SCOPED_TRACE(n++);
        PxImage g(grey), c(colour);
        ASSERT_TRUE(op(g) && op(c));
        ASSERT_EQ(g.GetBpp(), 8);
        for (LONG y = 0; y < static_cast<LONG>(grey.GetHeight()); y++)
            for (LONG x = 0; x < static_cast<LONG>(grey.GetWidth()); x++) check(g, c, x, y);
    }
}

PxImage ColourCopy(PxImage& grey) {
    PxImage colour(grey.GetWidth(), grey.GetHeight(), 24);
    for (LONG y = 0; y < static_cast<LONG>(grey.GetHeight()); y++)
        for (LONG x = 0; x < static_cast<LONG>(grey.GetWidth()); x++)
            colour.SetPixelColor(x, y, grey.GetPixelColor(x, y, false));
    return colour;
}

}  // namespace

TEST(Filter, GreyImagesGiveTheSameLevelsAsTheirColourCopies) {
    PxImage grey(23, 21, 8);
    grey.SetGrayPalette();
    FillRandom(grey, 4);
    PxImage colour = ColourCopy(grey);
    GreyAgainstColour(grey, colour,
                      {[](PxImage& i) { return i.Median(3); }, [](PxImage& i) { return i.Erode(4); },
                       [](PxImage& i) { return i.Edge(3); }, [](PxImage& i) { return i.Contour(); }},
                      [](PxImage& g, PxImage& c, LONG x, LONG y) {
                          ASSERT_EQ(g.GetPixelIndex(x, y), Red(c, x, y)) << x << "," << y;
                      });
}

TEST(Filter, GreyImagesReadAColouredOutsideAsThatColour) {
    // A transparent index beyond the palette makes the stored transparent colour the colour of
    // every position outside the image, grey palette or not: the window sees that colour, and
    // the result is the grey nearest to what the colour copy gets.
    PxImage grey(13, 11, 8);
    grey.SetGrayPalette();
    FillRandom(grey, 6);
    grey.SetTransIndex(300);
    grey.SetTransColor(Rgb(250, 10, 120));
    PxImage colour = ColourCopy(grey);
    colour.SetTransIndex(300);
    colour.SetTransColor(Rgb(250, 10, 120));
    GreyAgainstColour(grey, colour,
                      {[](PxImage& i) { return i.Median(3); }, [](PxImage& i) { return i.Erode(3); },
                       [](PxImage& i) { return i.Dilate(2); }, [](PxImage& i) { return i.Edge(4); },
                       [](PxImage& i) { return i.Contour(); }},
                      [&grey](PxImage& g, PxImage& c, LONG x, LONG y) {
                          ASSERT_EQ(g.GetPixelIndex(x, y), grey.GetNearestIndex(c.GetPixelColor(x, y, false)))
                              << x << "," << y;
                      });
}

TEST(Filter, EscapeKeepsTheSourcePixels) {
    PxImage img(6, 4, 24);
    FillRandom(img, 11);
    PxImage before(img);
    img.SetEscape(1);
    ASSERT_TRUE(img.Erode(3));
    EXPECT_TRUE(SamePixels(img, before));
    ASSERT_TRUE(img.Median(3));
    EXPECT_TRUE(SamePixels(img, before));
    ASSERT_TRUE(img.UnsharpMask(2.0f, 1.0f, 0));
    EXPECT_TRUE(SamePixels(img, before));
}

namespace {

// One blurred line, plainly by the definition: table look-ups in the middle, products rescaled
// by the weights used at the ends and on lines shorter than the kernel.
void PlainBlurLine(const float* t, const float* m, int L, const BYTE* src, BYTE* dst, int count, int b) {
    const int mid = L / 2;
    auto out = [](float v) {
        const float r = 0.5f + v;
        return static_cast<BYTE>(r <= 0 ? 0 : r >= 255 ? 255 : static_cast<int>(r));
    };
    for (int c = 0; c < b; c++) {
        for (int p = 0; p < count; p++) {
            float sum = 0, scale = 0;
            if (L > count || p < mid || p >= count - mid) {
                for (int j = 0; j < count; j++) {
                    const int k = j + mid - p;
                    if (k < 0 || k >= L) continue;
                    sum += src[j * b + c] * m[k];
                    scale += m[k];
                }
                dst[p * b + c] = out(sum / scale);
            } else {
                for (int j = 0; j < L; j++) sum += t[j * 256 + src[(p - mid + j) * b + c]];
                dst[p * b + c] = out(sum);
            }
        }
    }
}

// The blur exactly as defined: a blurred line along every row of the image into the copy, then
// along every column of that row-blurred copy, then the merge.
void ReferenceUnsharp(FilterImage& img, float radius, float amount, int threshold) {
    const int b = img.GetBpp() / 8, w = img.GetWidth(), h = img.GetHeight();
    float* m = nullptr;
    const int L = img.gen_convolve_matrix(radius, &m);
    float* t = img.gen_lookup_table(m, L);
    PxImage copy(img);
    for (int y = 0; y < h; y++) PlainBlurLine(t, m, L, img.GetBits(y), copy.GetBits(y), w, b);
    std::vector<BYTE> col(static_cast<size_t>(h) * b), out(col.size());
    for (int x = 0; x < w; x++) {
        for (int y = 0; y < h; y++) std::memcpy(&col[y * b], copy.GetBits(y) + x * b, b);
        PlainBlurLine(t, m, L, col.data(), out.data(), h, b);
        for (int y = 0; y < h; y++) std::memcpy(copy.GetBits(y) + x * b, &out[y * b], b);
    }
    for (int y = 0; y < h; y++) {
        BYTE* s = img.GetBits(y);
        BYTE* d = copy.GetBits(y);
        for (int i = 0; i < w * b; i++) {
            const int diff = s[i] - d[i];
            if (2 * std::abs(diff) < threshold) {
                d[i] = s[i];
            } else {
                const float v = s[i] + amount * diff;
                d[i] = static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    img.Transfer(copy);
    delete[] m;
    delete[] t;
}

// An image's size and depth with the sharpening asked of it.
struct UnsharpCase {
    LONG w, h;
    WORD bpp;
    float radius, amount;
    int threshold;
};

}  // namespace

TEST(UnsharpMask, MatchesTheSeparableBlurOfRowsThenColumns) {
    const UnsharpCase cases[] = {
        {37, 29, 24, 1.5f, 0.7f, 4},    // kernel of 11 taps, line ends on both axes
        {300, 40, 8, 0.0f, 2.0f, 0},    // grey image, 5 taps, a second, partial column block
        {7, 40, 24, 5.0f, 0.5f, 10},    // rows shorter than the 25-tap kernel
        {40, 6, 8, 5.0f, 1.0f, 0},      // columns shorter than the kernel
        {201, 157, 24, 1.0f, 0.5f, 0},  // several bands of rows, each blurring its neighbours' rows
        {133, 211, 8, -2.5f, 1.3f, 3},  // grey, odd sizes, a negative radius
        {57, 300, 24, 0.3f, -0.8f, 1},  // negative amount: the merge moves towards the blur
        {3, 2, 24, 0.0f, 1.0f, 0},      // smaller than the kernel both ways
        {50, 260, 24, 5.0f, 1.0f, 0},   // a 25-tap kernel reaching twelve rows into the next band
        {61, 700, 24, 1.0f, 0.5f, 0},   // enough bands for every worker thread
        {90, 70, 24, 1.0f, 3.0f, -7},   // a negative threshold sharpens every byte
        {80, 75, 8, 0.5f, 2.5f, 2147483647},  // no difference reaches the largest threshold
        {150, 40, 24, 1.0f, 5.0e6f, 2},       // amounts whose products leave int range
        {140, 33, 8, 0.5f, -3.0e9f, 0},
        {130, 35, 24, 1.0f, 9.0e5f, 1},       // the largest amounts merged in whole numbers
    };
    for (const UnsharpCase& c : cases) {
        SCOPED_TRACE(c.w * 1000 + c.h);
        FilterImage img(c.w, c.h, c.bpp);
        if (c.bpp == 8) img.SetGrayPalette();
        FillRandom(img, static_cast<uint32_t>(c.w));
        FilterImage ref(img);
        ReferenceUnsharp(ref, c.radius, c.amount, c.threshold);
        ASSERT_TRUE(img.UnsharpMask(c.radius, c.amount, c.threshold));
        EXPECT_TRUE(SamePixels(img, ref));
    }
    // Row padding comes through as it was.
    FilterImage pad(5, 40, 24);
    FillRandom(pad, 9);
    for (DWORD y = 0; y < pad.GetHeight(); y++) pad.GetBits(y)[15] = static_cast<BYTE>(y + 1);
    ASSERT_TRUE(pad.UnsharpMask(1.0f, 1.0f, 0));
    for (DWORD y = 0; y < pad.GetHeight(); y++) ASSERT_EQ(pad.GetBits(y)[15], y + 1) << y;
}

TEST(UnsharpMask, WideAndPlainLoopsGiveTheBytesOfTheReference) {
    // Sizes around the 16- and 32-byte blocks and their tails, images of one pixel and one row
    // or column, every kernel length with its own loop (5 to 13 taps) and one without, rows
    // wide enough to go through in several column strips, and each way of merging.
    const UnsharpCase cases[] = {
        {1, 1, 24, 1.0f, 3.0f, 0},       {1, 1, 8, 0.0f, 2.0f, 0},      {1, 37, 24, 1.0f, 0.5f, 0},
        {45, 1, 8, 0.5f, 1.5f, 0},        {11, 17, 24, 0.2f, 0.9f, 0},   {33, 29, 8, 0.7f, 1.2f, 3},
        {53, 61, 24, 1.0f, 0.5f, 0},      {71, 40, 24, 1.2f, -0.7f, 2},  {97, 35, 8, 1.7f, 2.0f, 1500},
        {39, 43, 24, 2.2f, 0.5f, 1},      {2251, 23, 24, 1.0f, 0.5f, 0},  // two strips and a part
        {5003, 21, 8, 1.0f, 1.0f, 5},     {700, 19, 24, 5.0f, 1.0f, 0},   // strips of a 25-tap kernel
        {83, 67, 24, 1.0f, 2.0e6f, 0},    {77, 5, 24, 2.0f, 1.0f, 0},     // amount in floats; few rows
    };
    for (const UnsharpCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bpp << " r " << c.radius);
        FilterImage src(c.w, c.h, c.bpp);
        if (c.bpp == 8) src.SetGrayPalette();
        FillRandom(src, static_cast<uint32_t>(c.w * 31 + c.h));
        FilterImage ref(src), wide(src), plain(src);
        ReferenceUnsharp(ref, c.radius, c.amount, c.threshold);
        ASSERT_TRUE(wide.UnsharpMask(c.radius, c.amount, c.threshold));
        pxgeo::SetSimdCeiling(pxgeo::Simd::Plain);
        const bool plainDone = plain.UnsharpMask(c.radius, c.amount, c.threshold);
        pxgeo::SetSimdCeiling(pxgeo::Simd::Avx512);
        ASSERT_TRUE(plainDone);
        EXPECT_TRUE(SamePixels(wide, ref));
        EXPECT_TRUE(SamePixels(plain, ref));
    }
    // The merge's limits: thresholds around 2 |d| (at most 510) and the int range, amounts at
    // and beyond the largest merged in whole numbers.
    const int thresholds[] = {-2147483647 - 1, 1, 2, 509, 510, 511, 1021, 1022, 2147483647};
    const float amounts[] = {0.0f, 1.0e6f, -1.0e6f, 1.0000001e6f, 0.37f};
    FilterImage noisy(61, 23, 24);
    FillRandom(noisy, 61);
    for (int t : thresholds) {
        for (float a : amounts) {
            SCOPED_TRACE(testing::Message() << "threshold " << t << " amount " << a);
            FilterImage ref(noisy), wide(noisy), plain(noisy);
            ReferenceUnsharp(ref, 0.6f, a, t);
            ASSERT_TRUE(wide.UnsharpMask(0.6f, a, t));
            pxgeo::SetSimdCeiling(pxgeo::Simd::Plain);
            const bool plainDone = plain.UnsharpMask(0.6f, a, t);
            pxgeo::SetSimdCeiling(pxgeo::Simd::Avx512);
            ASSERT_TRUE(plainDone);
            EXPECT_TRUE(SamePixels(wide, ref));
            EXPECT_TRUE(SamePixels(plain, ref));
        }
    }
    // An image with alpha sharpens its colours as one without and keeps its alpha; colour
    // palettes are refused and left as they were.
    FilterImage rgba(37, 19, 32);
    FillRandom(rgba, 3);
    rgba.AlphaCreate();
    for (LONG y = 0; y < 19; y++)
        for (LONG x = 0; x < 37; x++) rgba.AlphaSet(x, y, static_cast<BYTE>(7 * x + y));
    FilterImage colours(rgba);
    colours.AlphaDelete();
    ReferenceUnsharp(colours, 1.0f, 0.5f, 0);
    PxImage pal(9, 7, 8);
    pal.SetStdPalette();
    FillRandom(pal, 4);
    for (bool use : {true, false}) {
        SCOPED_TRACE(use);
        pxgeo::SetSimdCeiling(use ? pxgeo::Simd::Avx512 : pxgeo::Simd::Plain);
        PxImage a(rgba), p(pal);
        EXPECT_TRUE(a.UnsharpMask(1.0f, 0.5f, 0));
        EXPECT_TRUE(SamePixels(a, colours));
        ASSERT_TRUE(a.AlphaIsValid());
        EXPECT_EQ(std::memcmp(a.AlphaGetPointer(), rgba.AlphaGetPointer(), 37 * 19), 0);
        EXPECT_FALSE(p.UnsharpMask(1.0f, 1.0f, 0));
        EXPECT_TRUE(SamePixels(p, pal));
    }
    pxgeo::SetSimdCeiling(pxgeo::Simd::Avx512);
}

TEST(UnsharpMask, KernelAndRefusals) {
    FilterImage img(4, 4, 24);
    float* m = nullptr;
    EXPECT_EQ(img.gen_convolve_matrix(0.0f, &m), 5);
    delete[] m;
    const int L = img.gen_convolve_matrix(5.0f, &m);
    ASSERT_EQ(L, 25);
    float sum = 0;
    for (int i = 0; i < L; i++) {
        sum += m[i];
        EXPECT_FLOAT_EQ(m[i], m[L - 1 - i]);
        if (i > 0 && i <= L / 2) {
            EXPECT_GT(m[i], m[i - 1]);
        }
    }
    EXPECT_NEAR(sum, 1.0f, 1e-5f);
    delete[] m;

    Fill(img, Rgb(70, 140, 210));
    PxImage before(img);
    ASSERT_TRUE(img.UnsharpMask(3.0f, 5.0f, 0));
    EXPECT_TRUE(SamePixels(img, before));  // nothing to sharpen on a flat image

    PxImage pal(4, 4, 4);
    pal.SetStdPalette();
    EXPECT_FALSE(pal.UnsharpMask(1.0f, 1.0f, 0));
    PxImage grey4(4, 4, 4);
    grey4.SetGrayPalette();
    EXPECT_FALSE(grey4.UnsharpMask(1.0f, 1.0f, 0));  // 4 bits: not a whole byte per pixel

    // Above any possible 2 |d| nothing changes.
    PxImage noisy(9, 9, 24);
    FillRandom(noisy, 5);
    PxImage keep(noisy);
    ASSERT_TRUE(noisy.UnsharpMask(1.0f, 3.0f, 511));
    EXPECT_TRUE(SamePixels(noisy, keep));
}

TEST(UnsharpMask, BlurLineEndsRescaleByTheWeightsUsed) {
    FilterImage img;
    float m[5] = {0.1f, 0.2f, 0.4f, 0.2f, 0.1f};
    float* t = img.gen_lookup_table(m, 5);
    // Longer than the kernel: ends rescale, the middle sums the table.
    BYTE line[6] = {10, 20, 30, 40, 50, 60}, out[6] = {};
    img.blur_line(t, m, 5, line, out, 6, 1);
    const BYTE want[6] = {16, 22, 30, 40, 48, 54};  // e.g. p = 1: (2 + 8 + 6 + 4) / 0.9 = 22.2
    for (int i = 0; i < 6; i++) EXPECT_EQ(out[i], want[i]) << i;
    // Shorter than the kernel: every position rescales by the weights that fall on the line.
    BYTE shortLine[3] = {10, 20, 30}, shortOut[3] = {};
    img.blur_line(t, m, 5, shortLine, shortOut, 3, 1);
    EXPECT_EQ(shortOut[0], 16);  // (4 + 4 + 3) / 0.7 = 15.7, + 0.5
    EXPECT_EQ(shortOut[1], 20);
    EXPECT_EQ(shortOut[2], 24);
    // Three bytes per pixel blur each channel on its own.
    BYTE rgb[9] = {10, 0, 5, 20, 0, 5, 30, 0, 5}, rgbOut[9] = {};
    img.blur_line(t, m, 5, rgb, rgbOut, 3, 3);
    EXPECT_EQ(rgbOut[3], 20);
    EXPECT_EQ(rgbOut[4], 0);
    EXPECT_EQ(rgbOut[8], 5);
    delete[] t;
}
