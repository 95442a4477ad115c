#include <gtest/gtest.h>

#include <vector>

#include "ferrocam/autoexposure.h"
#include "ferrocam/imagecorrector.h"

TEST(DeadPixels, DetectionThresholdIsTwiceTheBrighterNeighbour) {
    CImageCorrector c;
    const BYTE hot[5] = {10, 10, 60, 10, 10};
    ASSERT_TRUE(c.DetectDeadPixels(hot, 5, 1));
    ASSERT_EQ(c.DeadPixels().size(), 1u);
    EXPECT_EQ(c.DeadPixels()[0].column, 2);
    EXPECT_EQ(c.DeadPixels()[0].row, 0);

    const BYTE fine[5] = {10, 10, 20, 10, 10};
    ASSERT_TRUE(c.DetectDeadPixels(fine, 5, 1));
    EXPECT_TRUE(c.DeadPixels().empty());

    // Neighbours of 128 and more put the threshold at 255: nothing can exceed it.
    const BYTE bright[5] = {128, 0, 255, 0, 128};
    ASSERT_TRUE(c.DetectDeadPixels(bright, 5, 1));
    EXPECT_TRUE(c.DeadPixels().empty());
}

TEST(DeadPixels, RepairCopiesTheSampleTwoColumnsLeft) {
    CImageCorrector c;
    BYTE row[7] = {10, 11, 12, 13, 250, 15, 16};
    ASSERT_TRUE(c.DetectDeadPixels(row, 7, 1));
    c.RepairDeadPixels(row, 7, 1);
    EXPECT_EQ(row[4], 12);
}

TEST(DeadPixels, ANewDetectionReplacesTheListAndRepairStaysInsideTheFrame) {
    CImageCorrector c;
    // A big frame with a hot sample far from the origin.
    const int bw = 64, bh = 48;
    std::vector<BYTE> big(bw * bh, 20);
    big[40 * bw + 50] = 250;
    ASSERT_TRUE(c.DetectDeadPixels(big.data(), bw, bh));
    ASSERT_EQ(c.DeadPixels().size(), 1u);

    // The same list on a smaller frame must not write past it.
    const int sw = 16, sh = 8;
    std::vector<BYTE> small(sw * sh + 16, 7);
    c.RepairDeadPixels(small.data(), sw, sh);
    for (BYTE b : small)
        EXPECT_EQ(b, 7);

    // Detection at the new size forgets the old entries.
    ASSERT_TRUE(c.DetectDeadPixels(small.data(), sw, sh));
    EXPECT_TRUE(c.DeadPixels().empty());
}

TEST(DeadPixels, TooManyFailsAndKeepsTheOldList) {
    CImageCorrector c;
    const BYTE hot[5] = {10, 10, 60, 10, 10};
    ASSERT_TRUE(c.DetectDeadPixels(hot, 5, 1));
    // Every fourth sample hot between dark ones: about 10000 candidates.
    const int w = 40016, h = 1;
    std::vector<BYTE> noisy(w);
    for (int x = 0; x < w; ++x)
        noisy[x] = (x % 4 == 2) ? 200 : 0;
    EXPECT_FALSE(c.DetectDeadPixels(noisy.data(), w, h));
    ASSERT_EQ(c.DeadPixels().size(), 1u);
    EXPECT_EQ(c.DeadPixels()[0].column, 2);
}

TEST(FlatField, CalibrationEvensOutAVignettedField) {
    CImageCorrector c;
    const int w = 32, h = 16;
    std::vector<BYTE> rgb(w * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < 3; ++ch)
                rgb[(y * w + x) * 3 + ch] = static_cast<BYTE>(x < w / 2 ? 60 : 120);
    EXPECT_FALSE(c.HasGainMap(w, h));
    ASSERT_TRUE(c.CalibrateFlatField(rgb.data(), w, h));
    ASSERT_TRUE(c.HasGainMap(w, h));
    c.ApplyFlatField(rgb.data(), w, h);
    // Both halves end up near the field's mean of 90.
    EXPECT_NEAR(rgb[(5 * w + 2) * 3], 90, 2);
    EXPECT_NEAR(rgb[(5 * w + 30) * 3 + 2], 90, 2);

    // A map of another size is never applied.
    std::vector<BYTE> other(8 * 8 * 3, 60);
    c.ApplyFlatField(other.data(), 8, 8);
    EXPECT_EQ(other[0], 60);

    std::vector<BYTE> dark(w * h * 3, 2);
    EXPECT_FALSE(c.CalibrateFlatField(dark.data(), w, h));
    EXPECT_FALSE(c.HasGainMap(w, h));
}

namespace {

// A raw frame whose centre samples (histogram A) all read `mean`.
std::vector<BYTE> FlatRaw(int w, int h, BYTE mean) { return std::vector<BYTE>(static_cast<size_t>(w) * h, mean); }

}  // namespace

TEST(AutoExposure, StepsTowardTheTarget) {
    CAutoExposure ae;
    auto dark = FlatRaw(64, 48, 64);
    EXPECT_EQ(ae.Step(dark.data(), 64, 48, 200, 128), 400);
    EXPECT_EQ(ae.LastMean(), 64);
    auto ok = FlatRaw(64, 48, 110);
    EXPECT_EQ(ae.Step(ok.data(), 64, 48, 200, 128), 200);  // inside 103..153
    // The ratio is a float and so is its product with the rows: 150 / 90 rounds just below 5 / 3,
    // and 300 rows still become 500, not 499.
    auto third = FlatRaw(64, 48, 90);
    EXPECT_EQ(ae.Step(third.data(), 64, 48, 300, 150), 500);
}

TEST(AutoExposure, LimitsPerStepAndCeiling) {
    CAutoExposure ae;
    // Mean 100 against 120: r = 1.2.
    auto dark = FlatRaw(64, 48, 100);
    EXPECT_EQ(ae.Step(dark.data(), 64, 48, 2900, 126), 3000);
    // Already above the ceiling and still too dark: stepped down to it.
    EXPECT_EQ(ae.Step(dark.data(), 64, 48, 5000, 126), 3000);
    // At most 500 rows more per step.
    auto veryDark = FlatRaw(64, 48, 20);
    EXPECT_EQ(ae.Step(veryDark.data(), 64, 48, 1000, 200), 1500);
    // Too bright: at most 500 rows less, never below 1.
    auto bright = FlatRaw(64, 48, 200);
    EXPECT_EQ(ae.Step(bright.data(), 64, 48, 2000, 40), 1500);
    EXPECT_EQ(ae.Step(bright.data(), 64, 48, 3, 40), 1);
}

TEST(AutoExposure, MeasuresOnlyTheCentre) {
    CAutoExposure ae;
    const int w = 64, h = 48;
    std::vector<BYTE> raw(w * h, 250);
    for (int y = h / 4; y < 3 * h / 4; ++y)
        for (int x = w / 4; x < 3 * w / 4; ++x)
            raw[y * w + x] = 90;
    EXPECT_EQ(ae.MeasureCentre(raw.data(), w, h), 90);
    std::vector<BYTE> black(w * h, 0);
    EXPECT_EQ(ae.MeasureCentre(black.data(), w, h), 1);
}
