// Native values to slider levels and back, the exposure table, default resolutions and the
// models' profile names.
#include <gtest/gtest.h>

#include "capture/cameratables.h"

TEST(GainLevels, LookupAtTheTableEdges) {
    EXPECT_EQ(GainLevelFromDevice(10, 1000), 5);  // above every entry: the highest level
    EXPECT_EQ(GainLevelFromDevice(10, 0), 1);
    EXPECT_EQ(GainLevelFromDevice(10, 345), 2);
    EXPECT_EQ(GainLevelFromDevice(10, 346), 3);   // first level at least the value
    EXPECT_EQ(GainLevelFromDevice(10, 0x10000 + 216), 1);  // low 16 bits only
    EXPECT_EQ(GainLevelFromDevice(31, 0), 1);
    EXPECT_EQ(GainLevelFromDevice(21, 571), 9);
    EXPECT_EQ(GainLevelFromDevice(2, 500), 1);    // no table
    EXPECT_EQ(GainDeviceFromLevel(10, 9), 0);
    EXPECT_EQ(GainDeviceFromLevel(10, 0), 0);
    EXPECT_EQ(GainDeviceFromLevel(10, 5), 570);
    EXPECT_EQ(GainDeviceFromLevel(21, 1), 25);
    EXPECT_EQ(GainDeviceFromLevel(28, 8), 214);
    EXPECT_EQ(GainDeviceFromLevel(31, 1), 0);
    EXPECT_EQ(GainDeviceFromLevel(29, 1), 0);
}

TEST(GainLevels, EveryLevelRoundTripsForEveryModel) {
    const std::pair<int, int> counts[] = {{10, 5}, {11, 5}, {16, 5}, {33, 5}, {37, 5}, {38, 5}, {12, 8}, {13, 8},
                                          {17, 8}, {23, 8}, {34, 8}, {14, 4}, {21, 9}, {24, 4}, {25, 4}, {1, 8},
                                          {3, 8}, {18, 8}, {27, 8}, {30, 8}, {36, 8}, {28, 8}, {31, 7}, {32, 7}};
    for (const auto& [id, count] : counts) {
        SCOPED_TRACE(id);
        EXPECT_EQ(GainLevelCount(id), count);
        int previous = -1;
        for (int level = 1; level <= count; ++level) {
            const int native = GainDeviceFromLevel(id, level);
            EXPECT_GT(native, previous);
            previous = native;
            EXPECT_EQ(GainLevelFromDevice(id, native), level);
        }
    }
}

TEST(ImageLevels, GammaBothWays) {
    EXPECT_EQ(GammaLevelFromDevice(10, 100), 0);
    EXPECT_EQ(GammaLevelFromDevice(10, 150), 20);
    EXPECT_EQ(GammaLevelFromDevice(10, 112), 4);   // truncated (12 x 0.4)
    EXPECT_EQ(GammaLevelFromDevice(10, 99), 0);    // -1 / 4 toward zero
    EXPECT_EQ(GammaLevelFromDevice(10, 96), -1);
    EXPECT_EQ(GammaLevelFromDevice(10, 20), -20);
    EXPECT_EQ(GammaLevelFromDevice(10, 0x100 + 150), 20);  // low byte
    EXPECT_EQ(GammaDeviceFromLevel(10, -20), 20);
    EXPECT_EQ(GammaDeviceFromLevel(10, -1), 96);
    EXPECT_EQ(GammaDeviceFromLevel(10, 5), 112);
    EXPECT_EQ(GammaDeviceFromLevel(10, 20), 150);
    for (int level = -20; level <= 20; level += 2)
        EXPECT_EQ(GammaLevelFromDevice(1, GammaDeviceFromLevel(1, level)), level) << level;
    EXPECT_EQ(GammaLevelFromDevice(29, 150), -20);
    EXPECT_EQ(GammaDeviceFromLevel(15, 3), 0);
}

TEST(ImageLevels, ContrastBothWays) {
    EXPECT_EQ(ContrastLevelFromDevice(12, 0), 0);
    EXPECT_EQ(ContrastLevelFromDevice(12, 20), -20);
    EXPECT_EQ(ContrastLevelFromDevice(12, 1), -1);
    EXPECT_EQ(ContrastLevelFromDevice(12, 100), 20);
    EXPECT_EQ(ContrastLevelFromDevice(12, 24), 1);
    EXPECT_EQ(ContrastDeviceFromLevel(12, 20), 100);
    EXPECT_EQ(ContrastDeviceFromLevel(12, 0), 0);
    EXPECT_EQ(ContrastDeviceFromLevel(12, -20), 20);
    for (int level = -20; level <= 20; ++level)
        EXPECT_EQ(ContrastLevelFromDevice(12, ContrastDeviceFromLevel(12, level)), level) << level;
    EXPECT_EQ(ContrastLevelFromDevice(22, 0), -20);
    EXPECT_EQ(ContrastDeviceFromLevel(22, 5), 0);
}

TEST(ImageLevels, SaturationBothWaysAndId18) {
    EXPECT_EQ(SaturationLevelFromDevice(1, 128), 0);
    EXPECT_EQ(SaturationLevelFromDevice(1, 127), 0);
    EXPECT_EQ(SaturationLevelFromDevice(1, 122), -1);
    EXPECT_EQ(SaturationLevelFromDevice(1, 248), 20);
    EXPECT_EQ(SaturationDeviceFromLevel(1, -20), 8);
    for (int level = -20; level <= 20; ++level)
        EXPECT_EQ(SaturationLevelFromDevice(11, SaturationDeviceFromLevel(11, level)), level) << level;
    // 18 is in the gamma and contrast lists but not in saturation's.
    EXPECT_EQ(SaturationLevelFromDevice(18, 128), -20);
    EXPECT_EQ(SaturationDeviceFromLevel(18, 0), 0);
    EXPECT_EQ(GammaDeviceFromLevel(18, 0), 100);
}

TEST(ImageLevels, AeTargetLevelsRoundTripThroughEightBits) {
    const int natives[] = {40, 52, 64, 76, 88, 100, 120, 140, 160, 180, 200};
    for (int level = -5; level <= 5; ++level) {
        SCOPED_TRACE(level);
        EXPECT_EQ(AeTargetDeviceFromLevel(level), natives[level + 5]);
        EXPECT_EQ(AeTargetLevelFromDevice(natives[level + 5]), level);
        // Bits above the byte, as a driver leaves them in an int, do not change the level.
        EXPECT_EQ(AeTargetLevelFromDevice(0x5A00 | natives[level + 5]), level);
    }
    EXPECT_EQ(AeTargetLevelFromDevice(150), 3);  // a native between levels reads as the level below
}

TEST(ExposureTable, IndexFromMs) {
    EXPECT_EQ(ExposureIndexFromMs(0), 0);
    EXPECT_EQ(ExposureIndexFromMs(1), 0);
    EXPECT_EQ(ExposureIndexFromMs(21), 20);
    EXPECT_EQ(ExposureIndexFromMs(22), 21);  // the next entry at least the time: 24 ms
    EXPECT_EQ(ExposureIndexFromMs(24), 21);
    EXPECT_EQ(ExposureIndexFromMs(3599999), 99);
    EXPECT_EQ(ExposureIndexFromMs(3600000), 0);
    EXPECT_EQ(ExposureIndexFromMs(static_cast<unsigned int>(-5)), 0);
    for (int i = 0; i < kExposureTableSize; ++i) {
        EXPECT_EQ(ExposureIndexFromMs(static_cast<unsigned int>(ExposureMsFromIndex(i))), i) << i;
        if (i > 0) {
            EXPECT_GT(ExposureMsFromIndex(i), ExposureMsFromIndex(i - 1)) << i;
        }
    }
}

TEST(ExposureTable, MsFromIndexStaysInsideTheTable) {
    EXPECT_EQ(ExposureMsFromIndex(0), 1);
    EXPECT_EQ(ExposureMsFromIndex(20), 21);
    EXPECT_EQ(ExposureMsFromIndex(21), 24);
    EXPECT_EQ(ExposureMsFromIndex(50), 2071);
    EXPECT_EQ(ExposureMsFromIndex(99), 3599999);
    // Id 25's long-exposure range reaches 870: clamped, never read past the table.
    EXPECT_EQ(ExposureMsFromIndex(100), 3599999);
    EXPECT_EQ(ExposureMsFromIndex(870), 3599999);
    EXPECT_EQ(ExposureMsFromIndex(-1), 1);
}

TEST(ModelNames, ResolutionsAndSections) {
    EXPECT_EQ(DefaultPreviewRes(1), 2);
    EXPECT_EQ(DefaultPreviewRes(28), 2);
    EXPECT_EQ(DefaultPreviewRes(35), 1);
    EXPECT_EQ(DefaultPreviewRes(14), 4);
    EXPECT_EQ(DefaultPreviewRes(10), 0);
    EXPECT_EQ(DefaultCaptureRes(14), 4);
    EXPECT_EQ(DefaultCaptureRes(26), 1);
    EXPECT_EQ(DefaultCaptureRes(25), 2);
    EXPECT_EQ(DefaultCaptureRes(1), 0);
    EXPECT_EQ(CameraModelName(1), "LumoProf01");
    EXPECT_EQ(CameraModelName(27), "LumoProf27");
    EXPECT_EQ(CameraModelName(38), "LumoProf38");
    EXPECT_EQ(CameraModelName(31), "LUMO-31");
    EXPECT_EQ(CameraModelName(32), "LUMO-32");
    for (int id : {-1, 0, 2, 9, 18, 29, 39})
        EXPECT_EQ(CameraModelName(id), "UNKNOW") << id;
}
