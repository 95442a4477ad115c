// The software auto exposure: one step per frame on the stand-in drivers of ids 10 and 21.
#include <gtest/gtest.h>

#include "stubmodeltest.h"

#include "LumoStubHook.h"
#include "capture/autoexposure.h"
#include "capture/cameratables.h"
#include "vekcamera/VekCamera.h"

namespace {

class AutoExposure : public StubModelTest {
protected:
    // Sets the state a step starts from.
    static void Start(CameraSettings& s, int exposure, int gain, int average) {
        s.exposure.nValue = exposure;
        s.analogGain.nValue = gain;
        s.nAeAverage = average;
        s.nExposureMs = s.bLongExposure ? ExposureMsFromIndex(exposure) : exposure;
    }
    static std::pair<int, int> EG(const CameraSettings& s) { return {s.exposure.nValue, s.analogGain.nValue}; }
};

}  // namespace

TEST_F(AutoExposure, TargetBrightnessPerLevel) {
    const int expected[] = {40, 52, 64, 76, 88, 100, 120, 140, 160, 180, 200};
    for (int t = -5; t <= 5; ++t)
        EXPECT_EQ(AeTargetBrightness(t), expected[t + 5]) << t;
}

TEST_F(AutoExposure, WithinToleranceIsNotAGiveUp) {
    CameraSettings s = Model(10, false);
    Start(s, 100, 2, 100);
    int skip = 0;
    const AeStepResult r = AutoExposureStepResult(s, 104);
    EXPECT_EQ(r.outcome, AeStepOutcome::kWithinTolerance);
    EXPECT_EQ(s.nAeAverage, 100);  // forced to the target
    EXPECT_EQ(EG(s), std::make_pair(100, 2));
    EXPECT_TRUE(lumostub::Calls().empty());

    // Bright scene at the floor exposure and the lowest gain: the search gives up.
    Start(s, 1, 1, 200);
    EXPECT_EQ(AutoExposureStepResult(s, 250).outcome, AeStepOutcome::kGaveUp);
    EXPECT_EQ(s.nAeAverage, 100);
    EXPECT_TRUE(lumostub::Calls().empty());

    // The plain result is 0 for both, as callers that only test for a change expect.
    Start(s, 100, 2, 100);
    EXPECT_EQ(AutoExposureStep(s, 104, &skip), 0);
    Start(s, 1, 1, 200);
    EXPECT_EQ(AutoExposureStep(s, 250, &skip), 0);
    EXPECT_EQ(skip, 0);
}

TEST_F(AutoExposure, BlackFrameOnId10WritesGainAndExposure) {
    CameraSettings s = Model(10, false);
    Start(s, 40, 1, 0);
    int skip = 0;
    // Mean 0 counts as 1: d x e / m = 4000, limited to 100 in the second zone.
    EXPECT_EQ(AutoExposureStep(s, 0, &skip), 1);
    EXPECT_EQ(EG(s), std::make_pair(140, 1));
    EXPECT_EQ(s.nExposureMs, 140);
    EXPECT_EQ(s.bySpeedMode, 1);
    EXPECT_EQ(skip, 1);
    // The hub has no speed mode for id 10: only gain and exposure reach its driver.
    const std::vector<LumoStubCall> calls = lumostub::Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "Lumo10CameraSetAnalogGain");
    EXPECT_EQ(calls[0].args, std::vector<int64_t>{216});
    EXPECT_EQ(calls[1].function, "Lumo10CameraSetExposureTime");
    EXPECT_EQ(calls[1].args, std::vector<int64_t>{140});

    // Same speed mode next time: the flag is not set again, and never cleared.
    lumostub::Reset();
    skip = 0;
    Start(s, 140, 1, 0);
    EXPECT_EQ(AutoExposureStep(s, 0, &skip), 1);
    EXPECT_EQ(EG(s), std::make_pair(240, 1));
    EXPECT_EQ(skip, 0);
    skip = 1;
    Start(s, 140, 1, 0);
    AutoExposureStep(s, 0, &skip);
    EXPECT_EQ(skip, 1);
}

TEST_F(AutoExposure, MillisecondSearchTooDark) {
    CameraSettings s = Model(10, false);  // zones 40, 800, 2000, ceiling 2500, gain 1..5, high 3
    // Below zone 1: a small difference steps by 1, a large one by d x e / m.
    Start(s, 10, 1, 90);
    AutoExposureStepResult(s, 80);  // average 85, d 15
    EXPECT_EQ(EG(s), std::make_pair(11, 1));
    Start(s, 10, 1, 0);
    AutoExposureStepResult(s, 30);  // average 15, d 85, f 28
    EXPECT_EQ(EG(s), std::make_pair(38, 1));
    // From zone 2 the gain goes up first, by a bigger exposure step on a black frame.
    Start(s, 900, 1, 0);
    AutoExposureStepResult(s, 0);
    EXPECT_EQ(EG(s), std::make_pair(1000, 2));
    Start(s, 900, 1, 0);
    AutoExposureStepResult(s, 50);  // average 25, d 75, f 1350
    EXPECT_EQ(EG(s), std::make_pair(950, 2));
    Start(s, 900, 3, 0);
    AutoExposureStepResult(s, 50);
    EXPECT_EQ(EG(s), std::make_pair(1000, 3));
    // From zone 3 within the ceiling: gain and a small step.
    Start(s, 2100, 3, 0);
    AutoExposureStepResult(s, 50);
    EXPECT_EQ(EG(s), std::make_pair(2150, 4));
    // Beyond the ceiling: gain up and the full step, clamped to the ceiling...
    Start(s, 2600, 3, 0);
    EXPECT_EQ(AutoExposureStepResult(s, 50).outcome, AeStepOutcome::kChanged);
    EXPECT_EQ(EG(s), std::make_pair(2500, 4));
    // ...until the gain is at its maximum.
    Start(s, 2600, 5, 0);
    EXPECT_EQ(AutoExposureStepResult(s, 50).outcome, AeStepOutcome::kGaveUp);
    EXPECT_EQ(EG(s), std::make_pair(2600, 5));
}

TEST_F(AutoExposure, MillisecondSearchTooBright) {
    CameraSettings s = Model(10, false);
    // Above the high gain on a saturated frame: two exposure steps and one gain level down.
    Start(s, 1000, 4, 255);
    AutoExposureStepResult(s, 255);  // d limited to 100, f 392
    EXPECT_EQ(EG(s), std::make_pair(500, 3));
    Start(s, 1000, 4, 200);
    AutoExposureStepResult(s, 200);  // f 500
    EXPECT_EQ(EG(s), std::make_pair(900, 3));
    Start(s, 2400, 2, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(1900, 2));
    Start(s, 1000, 2, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(700, 2));
    // Gain comes down before short exposures do.
    Start(s, 500, 2, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(500, 1));
    Start(s, 500, 1, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(400, 1));
    Start(s, 30, 1, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(20, 1));
    // Never below 1 ms.
    Start(s, 3, 1, 250);
    s.nExposureMs = 2;
    AutoExposureStepResult(s, 30);  // average 140, d 40, m 30: f 4 > e
    EXPECT_EQ(EG(s), std::make_pair(1, 1));
    EXPECT_EQ(s.nExposureMs, 1);
}

TEST_F(AutoExposure, SpeedModeFollowsTheExposure) {
    CameraSettings s = Model(21, false);  // zones 40, 800, 2000; gain high 2, max 9
    s.bySpeedMode = 1;
    Start(s, 2100, 2, 0);
    AeStepResult r = AutoExposureStepResult(s, 50);
    EXPECT_TRUE(r.speedChanged);
    EXPECT_EQ(s.bySpeedMode, 2);
    ASSERT_FALSE(lumostub::Calls().empty());
    EXPECT_EQ(lumostub::Calls()[0].function, "Lumo21CameraSetFrameSpeed");
    EXPECT_EQ(lumostub::Calls()[0].args, std::vector<int64_t>{2});
    Start(s, 30, 1, 200);
    r = AutoExposureStepResult(s, 200);
    EXPECT_TRUE(r.speedChanged);
    EXPECT_EQ(s.bySpeedMode, 0);
    // Without switching no speed mode is written.
    s.bSpeedSwitching = 0;
    lumostub::Reset();
    Start(s, 2100, 2, 0);
    r = AutoExposureStepResult(s, 50);
    EXPECT_FALSE(r.speedChanged);
    EXPECT_EQ(lumostub::CallNames(),
              (std::vector<std::string>{"Lumo21CameraSetAnalogGain", "Lumo21CameraSetExposureTime"}));
}

TEST_F(AutoExposure, LongExposureSearchOnId21) {
    CameraSettings s = Model(21, true);  // indexes: floor 0, ceiling 70, zones 30, 50, 55; gain high 2
    int skip = 0;
    Start(s, 10, 1, 0);
    EXPECT_EQ(AutoExposureStep(s, 0, &skip), 1);  // d 100: a quarter of it
    EXPECT_EQ(EG(s), std::make_pair(35, 1));
    EXPECT_EQ(s.nExposureMs, 209);  // the table's value of index 35
    EXPECT_EQ(skip, 1);
    const std::vector<LumoStubCall> calls = lumostub::Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].function, "Lumo21CameraSetFrameSpeed");
    EXPECT_EQ(calls[1].function, "Lumo21CameraSetAnalogGain");
    EXPECT_EQ(calls[1].args, std::vector<int64_t>{25});
    EXPECT_EQ(calls[2].function, "Lumo21CameraSetExposureTime");
    EXPECT_EQ(calls[2].args, std::vector<int64_t>{209});

    Start(s, 35, 1, 0);
    AutoExposureStepResult(s, 0);
    EXPECT_EQ(EG(s), std::make_pair(47, 1));
    Start(s, 52, 1, 0);
    AutoExposureStepResult(s, 0);
    EXPECT_EQ(EG(s), std::make_pair(58, 1));
    Start(s, 60, 1, 0);
    AutoExposureStepResult(s, 0);
    EXPECT_EQ(EG(s), std::make_pair(61, 2));
    Start(s, 60, 2, 0);
    EXPECT_EQ(AutoExposureStepResult(s, 0).outcome, AeStepOutcome::kGaveUp);
    Start(s, 70, 2, 0);
    AutoExposureStepResult(s, 0);
    EXPECT_EQ(EG(s), std::make_pair(70, 3));
    // Below the low gain the gain goes up first, with exposure only on a black frame.
    s.nAeGainLow = 3;
    Start(s, 10, 1, 0);
    AutoExposureStepResult(s, 0);
    EXPECT_EQ(EG(s), std::make_pair(35, 2));
    Start(s, 10, 1, 0);
    AutoExposureStepResult(s, 50);
    EXPECT_EQ(EG(s), std::make_pair(10, 2));
}

TEST_F(AutoExposure, LongExposureSearchTooBright) {
    CameraSettings s = Model(21, true);
    Start(s, 80, 1, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(70, 1));  // one index down, then the ceiling
    Start(s, 60, 2, 255);
    AutoExposureStepResult(s, 255);  // 59, then a quarter of d 100
    EXPECT_EQ(EG(s), std::make_pair(34, 1));
    Start(s, 60, 2, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(59, 1));
    Start(s, 52, 1, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(51, 1));
    Start(s, 40, 1, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(15, 1));
    Start(s, 20, 1, 200);
    AutoExposureStepResult(s, 200);  // half of d: below index 0, clamped to 1
    EXPECT_EQ(EG(s), std::make_pair(1, 1));
    EXPECT_EQ(s.nExposureMs, 2);
    s.nAeGainHigh = 3;
    Start(s, 20, 2, 200);
    AutoExposureStepResult(s, 200);
    EXPECT_EQ(EG(s), std::make_pair(20, 1));
}
