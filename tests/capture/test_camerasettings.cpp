// Model defaults, the row limit, the first-use check in OSTREL.ini and the zeroed hub reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LumoStubHook.h"
#include "capture/camerafirstuse.h"
#include "capture/camerasettings.h"
#include "capture/hubreadback.h"
#include "platform/inifile.h"
#include "vekcamera/VekCamera.h"
#include "scopedenv.h"
#include "tempdir.h"

namespace {

class StubbedHub : public ::testing::Test {
protected:
    void SetUp() override {
        lumostub::Reset();
        VekCamera_SetCamera(CAMERA_ID_NONE);
    }
    void TearDown() override {
        VekCamera_SetCamera(CAMERA_ID_NONE);
        lumostub::Reset();
    }
    void Select(int id) {
        VekCamera_SetCamera(id);
        lumostub::Reset();
    }
};

// A record with values the model defaults would change or must keep.
CameraSettings Scribbled(int id) {
    CameraSettings s;
    s.nCameraId = id;
    s.nWidth = 1234;
    s.nOpenState = 0;
    s.byPreviewRes = 5;
    s.bResLock = 7;
    s.exposure = {5, 6, 7, 8};
    s.aeState = {9, 9};
    s.nAeAverage = 77;
    s.nExposureMs = 55;
    s.bySpeedMode = 9;
    s.snap.sFilename = "keep";
    return s;
}

}  // namespace

using ModelDefaults = StubbedHub;

TEST_F(ModelDefaults, IdsWithoutAModelLeaveTheRecordAlone) {
    for (int id : {-1, 0, 2, 5, 6, 7, 9, 15, 19, 20, 22, 29, 39, 100}) {
        SCOPED_TRACE(id);
        CameraSettings s = Scribbled(id);
        const CameraSettings before = s;
        EXPECT_EQ(FillCameraModelInfo(s), 0);
        EXPECT_TRUE(s == before);
    }
}

TEST_F(ModelDefaults, SoftwareAeModelKeepsTheWindowsStateInBothModes) {
    CameraSettings s = Scribbled(10);
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    EXPECT_EQ(s.nWidth, 1234);
    EXPECT_EQ(s.nOpenState, 0);
    EXPECT_EQ(s.byPreviewRes, 5);
    EXPECT_EQ(s.bResLock, 7);  // id 10 keeps the profile's lock
    EXPECT_EQ(s.nAeAverage, 77);
    EXPECT_EQ(s.nExposureMs, 55);
    EXPECT_EQ(s.snap.sFilename, "keep");
    EXPECT_EQ(s.exposure, (CameraParamRange{1, 1, 3000, 40}));
    EXPECT_EQ(s.aeState, (CameraParamSwitch{1, 1}));
    EXPECT_EQ(s.analogGain, (CameraParamRange{1, 1, 5, 1}));
    EXPECT_EQ(s.saturation, (CameraParamRange{0, -1, 1, 0}));
    EXPECT_EQ(s.bWhiteBalance, 0);
    EXPECT_EQ(s.bSoftwareAe, 1);
    EXPECT_EQ(s.bySpeedMode, 0);
    EXPECT_EQ(s.nAeExpCeiling, 2500);
    EXPECT_EQ(s.bUseRowLimit, 0);
    EXPECT_EQ(s.nRowLimit, 1000);
    EXPECT_EQ(s.bDefaultGains, 0);

    s.bLongExposure = 1;
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    EXPECT_EQ(s.exposure, (CameraParamRange{1, 0, 99, 30}));
    EXPECT_EQ(s.nAeExpFloor, 0);
    EXPECT_EQ(s.nAeExpCeiling, 70);
    EXPECT_EQ(s.nAeExpZone1, 30);
    EXPECT_EQ(s.nAeExpZone3, 55);
}

TEST_F(ModelDefaults, PerModelQuirks) {
    // Millisecond models keep milliseconds in long-exposure mode.
    CameraSettings s;
    s.nCameraId = 25;
    s.bLongExposure = 1;
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    EXPECT_EQ(s.exposure, (CameraParamRange{1, 1, 870, 1}));
    EXPECT_EQ(s.aeTarget.nValue, -5);
    EXPECT_EQ(s.analogGain.nMax, 4);

    // 14: the fine-mode snap, a forced resolution lock, default gains.
    s = CameraSettings{};
    s.nCameraId = 14;
    s.bLongExposure = 1;
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    EXPECT_EQ(s.bFineModeAvailable, 1);
    EXPECT_EQ(s.bResLock, 1);
    EXPECT_EQ(s.exposure.nMax, 93);
    EXPECT_EQ(s.bDefaultGains, 1);
    EXPECT_EQ(s.nDefaultRed, 83);
    EXPECT_EQ(s.nDefaultBlue, 97);

    // 18: balance and saturation without colour gains.
    s = CameraSettings{};
    s.nCameraId = 18;
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    EXPECT_EQ(s.bWhiteBalance, 1);
    EXPECT_EQ(s.saturation.bSupported, 1);
    EXPECT_EQ(s.redGain.bSupported, 0);
    EXPECT_EQ(s.monochrome.bSupported, 0);
    EXPECT_EQ(s.nRowLimit, 65535);
    EXPECT_EQ(s.bUseRowLimit, 1);

    // 28: mirrored by default, lock cleared, separate resolutions.
    s = CameraSettings{};
    s.nCameraId = 28;
    s.bResLock = 1;
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    EXPECT_EQ(s.mirrorV, (CameraParamSwitch{1, 1}));
    EXPECT_EQ(s.frameSpeed, (CameraParamSwitch{1, 1}));
    EXPECT_EQ(s.bResLock, 0);
    EXPECT_EQ(s.bSeparateRes, 1);
    EXPECT_EQ(s.nAeExpCeiling, 750);

    // 30 leaves the speed mode as it was.
    s = CameraSettings{};
    s.nCameraId = 30;
    s.bySpeedMode = 2;
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    EXPECT_EQ(s.bySpeedMode, 2);
    EXPECT_EQ(s.nAeGainMax, 8);
    EXPECT_EQ(s.nDefaultRed, 132);
}

TEST_F(ModelDefaults, Ids31And32AskTheHubForTheirRowLimitAtEachOpen) {
    for (int id : {31, 32}) {
        SCOPED_TRACE(id);
        Select(id);
        lumostub::SetOutValues((id == 31 ? std::string("Lumo31") : std::string("Lumo32")) + "CameraGetMaxExposure",
                               {1200});
        CameraSettings s;
        s.nCameraId = id;
        ASSERT_EQ(FillCameraModelInfo(s), 1);
        EXPECT_EQ(s.bUseRowLimit, 1);
        EXPECT_EQ(s.nRowLimit, VekCameraGetMaxExposureTime());
        EXPECT_GT(s.nRowLimit, 0);
        const int first = s.nRowLimit;
        lumostub::SetOutValues((id == 31 ? std::string("Lumo31") : std::string("Lumo32")) + "CameraGetMaxExposure",
                               {600});
        ASSERT_EQ(FillCameraModelInfo(s), 1);
        EXPECT_NE(s.nRowLimit, first);
    }
}

TEST_F(ModelDefaults, RowLimitBecomesTheExposureMaximum) {
    Select(1);
    CameraSettings s;
    s.nCameraId = 1;
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    lumostub::SetOutValues("Lumo01CameraGetRowTime", {75});
    ASSERT_EQ(ApplyRowLimit(s), 1);
    EXPECT_EQ(s.exposure.nMax, 300);  // 4000 rows x 75 µs
    EXPECT_EQ(s.nAeExpCeiling, 300);

    // No row time from the hub: the maximum is kept rather than set to 0.
    lumostub::Reset();
    s.exposure.nMax = 304;
    EXPECT_EQ(ApplyRowLimit(s), 0);
    EXPECT_EQ(s.exposure.nMax, 304);

    // Models without a row limit are untouched.
    s.nCameraId = 10;
    ASSERT_EQ(FillCameraModelInfo(s), 1);
    EXPECT_EQ(ApplyRowLimit(s), 0);
    EXPECT_EQ(s.exposure.nMax, 3000);
}

namespace {
// Fails unless the int it receives is zero, then writes one byte as a byte getter does.
int ByteWidthGetter(int* value) {
    if (*value != 0)
        return -99;
    *reinterpret_cast<BYTE*>(value) = 120;
    return 1;
}
}  // namespace

using HubReadback = StubbedHub;

TEST_F(HubReadback, ReadsStartFromZero) {
    int result = 0;
    EXPECT_EQ(ReadHubInt(ByteWidthGetter, &result), 120);
    EXPECT_EQ(result, 1);
    // Through the hub: the AE target readback gives the exact level.
    Select(10);
    lumostub::SetOutValues("Lumo10CameraGetAeTarget", {140});
    EXPECT_EQ(ReadAeTargetLevel(), 2);
    lumostub::SetOutValues("Lumo10CameraGetAnalogGain", {445});
    EXPECT_EQ(ReadAnalogGainLevel(10), 3);
    // A driver that writes nothing reads as 0.
    lumostub::Reset();
    EXPECT_EQ(ReadHubInt(VekCameraGetAeTarget), 0);
}

namespace {

class TempConfigHome : public ::testing::Test {
protected:
    void SetUp() override { env_.Set("XDG_CONFIG_HOME", dir_.string()); }
    void TearDown() override { env_.Restore(); }
    std::string Stored(const std::string& key) {
        IniFile ini(OstrelIniPath());
        ini.Load();
        std::string v;
        return ini.GetValue("CAMERA", key, v) ? v : std::string("<missing>");
    }
    TempDir scratch_;
    const std::filesystem::path& dir_ = scratch_.Path();
    ScopedEnv env_;
};

}  // namespace

using FirstCameraUse = TempConfigHome;

TEST_F(FirstCameraUse, FirstOpenOnlyAndPerModel) {
    EXPECT_EQ(OstrelIniPath(), (dir_ / "OSTREL" / "OSTREL.ini").string());
    EXPECT_EQ(IsFirstCameraUse(10), 1);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "OSTREL" / "OSTREL.ini"));
    EXPECT_EQ(Stored("CAMERA_LUMO10"), "0");
    EXPECT_EQ(IsFirstCameraUse(10), 0);
    EXPECT_EQ(IsFirstCameraUse(1), 1);
    EXPECT_EQ(IsFirstCameraUse(1), 0);
    EXPECT_EQ(IsFirstCameraUse(10), 0);
}

TEST_F(FirstCameraUse, UnknownModelsShareOneKey) {
    EXPECT_EQ(FirstUseKey(1), "CAMERA_LUMO01");
    EXPECT_EQ(FirstUseKey(26), "CAMERA_LUMO26");
    EXPECT_EQ(FirstUseKey(30), "CAMERA_LUMO30");
    EXPECT_EQ(FirstUseKey(38), "CAMERA_LUMO38");
    for (int id : {2, 27, 28, 29, 39, -1})
        EXPECT_EQ(FirstUseKey(id), "CAMERA_UNKNOW") << id;
    EXPECT_EQ(IsFirstCameraUse(27), 1);
    EXPECT_EQ(IsFirstCameraUse(28), 0);
    EXPECT_EQ(IsFirstCameraUse(29), 0);
}

TEST_F(FirstCameraUse, OnlyTheValueOneCountsAsFirstUse) {
    IniFile ini(OstrelIniPath());
    ini.SetValue("camera", "camera_lumo21", "2");
    ini.SetValue("CAMERA", "CAMERA_LUMO23", "1");
    ini.SetValue("Other", "Keep", "yes");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(IsFirstCameraUse(21), 0);
    EXPECT_EQ(Stored("CAMERA_LUMO21"), "2");
    EXPECT_EQ(IsFirstCameraUse(23), 1);
    EXPECT_EQ(Stored("CAMERA_LUMO23"), "0");
    IniFile again(OstrelIniPath());
    ASSERT_TRUE(again.Load());
    std::string v;
    EXPECT_TRUE(again.GetValue("Other", "Keep", v));
    EXPECT_EQ(v, "yes");
}
