#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "ferrocam/colorprocessor.h"

namespace {

// A 4 × 4 mosaic (even rows G R, odd rows B G) of distinct samples.
std::vector<BYTE> Mosaic4x4() {
    return {10, 200, 12, 202,   //
            100, 14, 102, 16,   //
            18, 204, 20, 206,   //
            104, 22, 106, 24};
}

const BYTE* Px(const std::vector<BYTE>& rgb, int w, int x, int y) { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }

}  // namespace

TEST(ColorProcessor, NeutralTablesAndDefaultGamma) {
    CColorProcessor cp;
    EXPECT_EQ(cp.IdentityFlag(), 0);
    for (int i = 0; i < 256; i += 51)
        EXPECT_EQ(cp.Table(1)[i], i);

    cp.SetGains(64, 64, 64);
    cp.SetGamma(100);
    cp.SetContrast(0);
    cp.SetSaturation(128);
    EXPECT_EQ(cp.IdentityFlag(), 1);  // gamma 100 is not 1.0
    EXPECT_EQ(cp.Table(1)[255], 255);
    EXPECT_EQ(cp.Table(1)[0], 0);
    EXPECT_EQ(cp.Table(1)[128], static_cast<int>(std::pow(128 / 255.0, 1.15625) * 255));
}

TEST(ColorProcessor, SettingsMapToProcessorValues) {
    CColorProcessor cp;
    cp.SetContrast(255);
    EXPECT_FLOAT_EQ(cp.ContrastFactor(), 3.55f);
    cp.SetGamma(150);
    EXPECT_FLOAT_EQ(cp.BaseGamma(), (150 + 48) / 128.0f);
    cp.SetSaturation(255);
    EXPECT_EQ(cp.Saturation16(), static_cast<int>(255 / 128.0f * 65536));
    cp.SetGains(128, 64, 32);
    int r, g, b;
    cp.GetGains(r, g, b);
    EXPECT_EQ(r, 128);
    EXPECT_EQ(g, 64);
    EXPECT_EQ(b, 32);
    // A red gain of 2 doubles the red channel at full saturation; zero saturation ignores it.
    cp.SetContrast(0);
    cp.SetGamma(80);  // γ = 1.0
    cp.SetSaturation(128);
    EXPECT_EQ(cp.Table(2)[100], 200);
    EXPECT_EQ(cp.Table(0)[100], 50);
    cp.SetSaturation(0);
    EXPECT_EQ(cp.Table(2)[100], 100);
}

TEST(ColorProcessor, DemosaicTakesNeighbourMeans) {
    CColorProcessor cp;
    cp.SetSize(4, 4);
    auto m = Mosaic4x4();
    std::vector<BYTE> rgb(4 * 4 * 3);
    cp.Demosaic(m.data(), rgb.data());
    // Top-left green site: its three colours straight from the first 2 × 2 cell.
    EXPECT_EQ(Px(rgb, 4, 0, 0)[0], 100);
    EXPECT_EQ(Px(rgb, 4, 0, 0)[1], 10);
    EXPECT_EQ(Px(rgb, 4, 0, 0)[2], 200);
    // First-row red site x=1: green (left + right + below) / 3, blue (below-left + below-right) / 2.
    EXPECT_EQ(Px(rgb, 4, 1, 0)[2], 200);
    EXPECT_EQ(Px(rgb, 4, 1, 0)[1], (10 + 12 + 14) / 3);
    EXPECT_EQ(Px(rgb, 4, 1, 0)[0], (100 + 102) >> 1);
    // Interior blue site (2, 1): green from four neighbours, red from four diagonals.
    EXPECT_EQ(Px(rgb, 4, 2, 1)[0], 102);
    EXPECT_EQ(Px(rgb, 4, 2, 1)[1], (14 + 16 + 12 + 20) >> 2);
    EXPECT_EQ(Px(rgb, 4, 2, 1)[2], (200 + 202 + 204 + 206) >> 2);
    // Interior green site on a blue row (1, 1): blue left/right, red up/down.
    EXPECT_EQ(Px(rgb, 4, 1, 1)[1], 14);
    EXPECT_EQ(Px(rgb, 4, 1, 1)[0], (100 + 102) >> 1);
    EXPECT_EQ(Px(rgb, 4, 1, 1)[2], (200 + 204) >> 1);
}

TEST(ColorProcessor, DemosaicHandlesOddWidths) {
    CColorProcessor cp;
    cp.SetSize(5, 4);
    const std::vector<BYTE> m = {10, 200, 12, 202, 14,   //
                                 100, 16, 102, 18, 104,  //
                                 20, 204, 22, 206, 24,   //
                                 106, 26, 108, 28, 110};
    std::vector<BYTE> rgb(5 * 4 * 3);
    cp.Demosaic(m.data(), rgb.data());
    // Row 1, column 3: the last interior site, green on a blue row.
    EXPECT_EQ(Px(rgb, 5, 3, 1)[1], 18);
    EXPECT_EQ(Px(rgb, 5, 3, 1)[0], (102 + 104) >> 1);
    EXPECT_EQ(Px(rgb, 5, 3, 1)[2], (202 + 206) >> 1);
    // Row 2, column 3: red site.
    EXPECT_EQ(Px(rgb, 5, 3, 2)[2], 206);
    EXPECT_EQ(Px(rgb, 5, 3, 2)[1], (22 + 24 + 18 + 28) >> 2);
    EXPECT_EQ(Px(rgb, 5, 3, 2)[0], (102 + 104 + 108 + 110) >> 2);
    // Row 1, column 4 (right border, blue site): three green neighbours, two red diagonals.
    EXPECT_EQ(Px(rgb, 5, 4, 1)[1], (18 + 14 + 24) / 3);
    EXPECT_EQ(Px(rgb, 5, 4, 1)[2], (202 + 206) / 2);
}

TEST(ColorProcessor, SaturationPullsRedAndBlueTowardGreen) {
    CColorProcessor cp;
    cp.SetSize(2, 1);
    cp.SetGamma(80);       // γ = 1: neutral tables
    cp.SetSaturation(64);  // s = 0.5
    BYTE rgb[6] = {200, 100, 49, 0, 255, 255};
    cp.Finish(rgb);
    EXPECT_EQ(rgb[0], 150);  // 100 + 100 / 2
    EXPECT_EQ(rgb[1], 100);
    EXPECT_EQ(rgb[2], 75);  // 100 - 51 / 2, truncated toward zero
    EXPECT_EQ(rgb[3], 128);  // 255 - 255 / 2, truncated toward zero
    EXPECT_EQ(rgb[5], 255);
    // Above 1.0 the difference grows and clamps.
    cp.SetSaturation(255);
    BYTE vivid[6] = {250, 100, 10, 0, 0, 0};
    cp.Finish(vivid);
    EXPECT_EQ(vivid[0], 255);
    EXPECT_EQ(vivid[2], 0);
}

TEST(ColorProcessor, ZeroSaturationGivesGrey) {
    CColorProcessor cp;
    cp.SetSize(4, 4);
    cp.SetSaturation(0);
    std::vector<BYTE> rgb(4 * 4 * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = static_cast<BYTE>(i);
        rgb[i + 1] = 90;
        rgb[i + 2] = static_cast<BYTE>(255 - i);
    }
    cp.Finish(rgb.data());
    for (size_t i = 0; i < rgb.size(); i += 3) {
        EXPECT_EQ(rgb[i], rgb[i + 1]);
        EXPECT_EQ(rgb[i + 2], rgb[i + 1]);
    }
}

TEST(ColorProcessor, WhiteBalanceGainsNeverFallBelowOne) {
    CColorProcessor cp;
    cp.SetSize(10, 10);
    std::vector<BYTE> rgb(10 * 10 * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = 100;     // blue twice green
        rgb[i + 1] = 50;
        rgb[i + 2] = 25;  // red half green
    }
    cp.RequestWhiteBalance(1);
    EXPECT_EQ(cp.WhiteBalanceRequested(), 1);
    cp.Finish(rgb.data());
    EXPECT_EQ(cp.WhiteBalanceRequested(), 0);
    int r, g, b;
    cp.GetGains(r, g, b);
    EXPECT_EQ(b, 64);   // clamped at 1.0
    EXPECT_EQ(g, 64);
    EXPECT_EQ(r, 128);  // 50 / 25 = 2.0
}

TEST(ColorProcessor, MirrorAndRotationPasses) {
    // Green smoothing changes green bytes, so the layout is checked on blue and red.
    auto run = [](bool rotate, bool mirror) {
        CColorProcessor cp;
        cp.SetSize(4, 2);
        cp.SetGeometry(rotate, mirror);
        std::vector<BYTE> rgb(4 * 2 * 3);
        for (int i = 0; i < 8; ++i) {
            rgb[i * 3] = static_cast<BYTE>(i);
            rgb[i * 3 + 2] = static_cast<BYTE>(100 + i);
        }
        cp.Finish(rgb.data());
        std::vector<int> blue;
        for (int i = 0; i < 8; ++i)
            blue.push_back(rgb[i * 3]);
        return blue;
    };
    EXPECT_EQ(run(false, false), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(run(false, true), (std::vector<int>{3, 2, 1, 0, 7, 6, 5, 4}));
    EXPECT_EQ(run(true, true), (std::vector<int>{4, 5, 6, 7, 0, 1, 2, 3}));   // vertical flip
    EXPECT_EQ(run(true, false), (std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0}));  // 180 degrees
}

TEST(ColorProcessor, GreenSmoothingUsesTheMovedSitesWhenMirrored) {
    for (bool mirror : {false, true}) {
        CColorProcessor cp;
        cp.SetSize(6, 4);
        cp.SetGeometry(false, mirror);
        std::vector<BYTE> rgb(6 * 4 * 3, 0);
        // Green bytes 8 * (x + y * 6): each site's four-neighbour mean differs from its own.
        for (int i = 0; i < 24; ++i)
            rgb[i * 3 + 1] = static_cast<BYTE>(i * 8 + (i % 3));
        auto before = rgb;
        // Geometry applies first; compute the expected image from the mirrored input.
        std::vector<BYTE> work = before;
        if (mirror)
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 3; ++x)
                    for (int c = 0; c < 3; ++c)
                        std::swap(work[(y * 6 + x) * 3 + c], work[(y * 6 + 5 - x) * 3 + c]);
        cp.Finish(rgb.data());
        auto g = [&](const std::vector<BYTE>& v, int x, int y) { return static_cast<int>(v[(y * 6 + x) * 3 + 1]); };
        auto mean = [&](int x, int y) { return (g(work, x, y - 1) + g(work, x - 1, y) + g(work, x + 1, y) + g(work, x, y + 1)) >> 2; };
        const int oddRowCol = mirror ? 2 : 1;  // first column smoothed in row 1
        const int evenRowCol = mirror ? 1 : 2;  // first column smoothed in row 2
        EXPECT_EQ(g(rgb, oddRowCol, 1), mean(oddRowCol, 1)) << mirror;
        EXPECT_EQ(g(rgb, evenRowCol, 2), mean(evenRowCol, 2)) << mirror;
        // A non-green site keeps its own green byte.
        EXPECT_EQ(g(rgb, oddRowCol + 1, 1), g(work, oddRowCol + 1, 1)) << mirror;
    }
}

TEST(ColorProcessor, OnePassStepMatchesTheStepByStepPipeline) {
    // Large enough to run in bands on several threads.
    const int w = 1024, h = 768;
    std::vector<BYTE> mosaic(static_cast<size_t>(w) * h);
    uint32_t seed = 7;
    for (auto& b : mosaic) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<BYTE>(seed >> 24);
    }
    for (bool mirror : {false, true}) {
        CColorProcessor a, b;
        for (CColorProcessor* cp : {&a, &b}) {
            cp->SetSize(w, h);
            cp->SetPattern(6);
            cp->SetGains(90, 64, 75);
            cp->SetGamma(120);
            cp->SetContrast(30);
            cp->SetSaturation(170);
            cp->SetGeometry(mirror, mirror);
        }
        std::vector<BYTE> stepwise(static_cast<size_t>(w) * h * 3), onePass(stepwise.size());
        a.Demosaic(mosaic.data(), stepwise.data());
        a.Finish(stepwise.data());
        // Rows bottom-up, as the device hands frames on.
        for (int y = 0; y < h / 2; ++y)
            std::swap_ranges(stepwise.begin() + static_cast<size_t>(y) * w * 3,
                             stepwise.begin() + static_cast<size_t>(y + 1) * w * 3,
                             stepwise.begin() + static_cast<size_t>(h - 1 - y) * w * 3);
        b.Process(mosaic.data(), onePass.data(), nullptr, nullptr);
        EXPECT_TRUE(stepwise == onePass) << "mirror " << mirror;
        // With a hook the frame goes through the whole working image instead: same result.
        std::vector<BYTE> hooked(stepwise.size());
        b.Process(mosaic.data(), hooked.data(), [](void*, BYTE*, int, int) {}, nullptr);
        EXPECT_TRUE(stepwise == hooked) << "mirror " << mirror;
    }
}
