// The colour step against a plain, pixel-by-pixel rendition of its rules: whatever the fast
// path does (bands, fused rows, pair tables, vector loops), its bytes must be these.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ferrocam/colorprocessor.h"

namespace {

struct Frame {
    int w, h;
    std::vector<BYTE> px;  // blue, green, red; rows top-down
    BYTE* at(int x, int y) { return px.data() + (static_cast<size_t>(y) * w + x) * 3; }
};

// Demosaic of the G R / B G mosaic: each missing colour is the truncated mean of the nearest
// samples of that colour that exist.
Frame ReferenceDemosaic(const std::vector<BYTE>& m, int w, int h) {
    Frame f{w, h, std::vector<BYTE>(static_cast<size_t>(w) * h * 3)};
    auto mean = [&](int x, int y, std::initializer_list<std::pair<int, int>> offsets) {
        int sum = 0, n = 0;
        for (auto [dx, dy] : offsets) {
            const int xx = x + dx, yy = y + dy;
            if (xx >= 0 && xx < w && yy >= 0 && yy < h) {
                sum += m[static_cast<size_t>(yy) * w + xx];
                ++n;
            }
        }
        return n ? sum / n : 0;
    };
    const std::initializer_list<std::pair<int, int>> cross = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    const std::initializer_list<std::pair<int, int>> diagonal = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    const std::initializer_list<std::pair<int, int>> across = {{-1, 0}, {1, 0}};
    const std::initializer_list<std::pair<int, int>> upDown = {{0, -1}, {0, 1}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int own = m[static_cast<size_t>(y) * w + x];
            int b, g, r;
            if (y % 2 == 0 && x % 2 == 0) {
                g = own, r = mean(x, y, across), b = mean(x, y, upDown);
            } else if (y % 2 == 0) {
                r = own, g = mean(x, y, cross), b = mean(x, y, diagonal);
            } else if (x % 2 == 0) {
                b = own, g = mean(x, y, cross), r = mean(x, y, diagonal);
            } else {
                g = own, b = mean(x, y, across), r = mean(x, y, upDown);
            }
            BYTE* p = f.at(x, y);
            p[0] = static_cast<BYTE>(b), p[1] = static_cast<BYTE>(g), p[2] = static_cast<BYTE>(r);
        }
    return f;
}

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Geometry, smoothing of the green sites, the lookup and the bottom-up flip.
std::vector<BYTE> ReferenceColourStep(const CColorProcessor& cp, const std::vector<BYTE>& mosaic, int w, int h,
                                      bool rotate, bool mirror, bool inverted = false) {
    Frame d = ReferenceDemosaic(mosaic, w, h);
    if (inverted)  // what the inverting hook below does to the demosaiced image
        for (BYTE& b : d.px)
            b = static_cast<BYTE>(255 - b);
    Frame g{w, h, d.px};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = (rotate != mirror) ? w - 1 - x : x;
            const int sy = rotate ? h - 1 - y : y;
            const BYTE* s = d.at(sx, sy);
            BYTE* o = g.at(x, y);
            o[0] = s[0], o[1] = s[1], o[2] = s[2];
        }
    Frame s = g;
    const int pairs = (h - 1) / 2;
    const int firstKind = mirror ? 2 : 1, secondKind = mirror ? 1 : 2;
    auto smooth = [&](int y, int startColumn, int count) {
        if (y <= 0 || y >= h - 1)
            return;
        for (int i = 0, x = startColumn; i < count && x < w - 1; ++i, x += 2)
            s.at(x, y)[1] = static_cast<BYTE>((g.at(x, y - 1)[1] + g.at(x - 1, y)[1] + g.at(x + 1, y)[1] +
                                               g.at(x, y + 1)[1]) >> 2);
    };
    for (int k = 0; k < pairs; ++k) {
        smooth(firstKind + 2 * k, 1, (w - 1) / 2);
        smooth(secondKind + 2 * k, 2, (w - 3) / 2);
    }
    const int64_t s16 = cp.Saturation16();
    std::vector<BYTE> out(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const BYTE* p = s.at(x, y);
            const int G = p[1];
            BYTE* o = out.data() + (static_cast<size_t>(h - 1 - y) * w + x) * 3;
            o[0] = cp.Table(0)[Clamp(G + static_cast<int>(s16 * (p[0] - G) / 65536))];
            o[1] = cp.Table(1)[G];
            o[2] = cp.Table(2)[Clamp(G + static_cast<int>((p[2] - G) * s16 / 65536))];
        }
    return out;
}

std::vector<BYTE> RandomMosaic(int w, int h, uint32_t seed) {
    std::vector<BYTE> m(static_cast<size_t>(w) * h);
    for (auto& b : m) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<BYTE>(seed >> 24);
    }
    return m;
}

size_t FirstDifference(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i])
            return i;
    return a.size() == b.size() ? SIZE_MAX : std::min(a.size(), b.size());
}

}  // namespace

TEST(ColourStepReference, EveryPathGivesTheReferenceBytes) {
    struct Size {
        int w, h;
    };
    // Small frames run on the calling thread, large ones in bands; odd sizes end on odd sites.
    const Size sizes[] = {{2, 2}, {3, 3}, {7, 5}, {16, 9}, {640, 480}, {1024, 768}, {1001, 517}};
    struct Look {
        int red, green, blue, gamma, contrast, saturation;
    };
    const Look looks[] = {{64, 64, 64, 80, 0, 128}, {90, 64, 75, 120, 30, 170}, {64, 70, 64, 100, 255, 0}};
    uint32_t seed = 11;
    for (const Size& sz : sizes) {
        const std::vector<BYTE> mosaic = RandomMosaic(sz.w, sz.h, ++seed);
        for (const Look& look : looks)
            for (int geometry = 0; geometry < 4; ++geometry) {
                const bool rotate = geometry & 1, mirror = geometry & 2;
                CColorProcessor cp;
                cp.SetSize(sz.w, sz.h);
                cp.SetPattern(6);
                cp.SetGains(look.red, look.green, look.blue);
                cp.SetGamma(look.gamma);
                cp.SetContrast(look.contrast);
                cp.SetSaturation(look.saturation);
                cp.SetGeometry(rotate, mirror);
                const std::vector<BYTE> expected = ReferenceColourStep(cp, mosaic, sz.w, sz.h, rotate, mirror);
                std::vector<BYTE> direct(expected.size()), hooked(expected.size());
                cp.Process(mosaic.data(), direct.data(), nullptr, nullptr);
                cp.Process(mosaic.data(), hooked.data(), [](void*, BYTE*, int, int) {}, nullptr);
                const std::string where = std::to_string(sz.w) + "x" + std::to_string(sz.h) + " saturation " +
                                          std::to_string(look.saturation) + " geometry " + std::to_string(geometry);
                EXPECT_EQ(FirstDifference(direct, expected), SIZE_MAX) << where;
                EXPECT_EQ(FirstDifference(hooked, expected), SIZE_MAX) << where << " (hooked)";
                // A hook's changes (the flat field's, in the driver) reach the finished image.
                std::vector<BYTE> inverted(expected.size());
                cp.Process(mosaic.data(), inverted.data(),
                           [](void*, BYTE* rgb, int w, int h) {
                               for (size_t i = 0; i < static_cast<size_t>(w) * h * 3; ++i)
                                   rgb[i] = static_cast<BYTE>(255 - rgb[i]);
                           },
                           nullptr);
                EXPECT_EQ(FirstDifference(inverted,
                                          ReferenceColourStep(cp, mosaic, sz.w, sz.h, rotate, mirror, true)),
                          SIZE_MAX)
                    << where << " (inverting hook)";
            }
    }
}
