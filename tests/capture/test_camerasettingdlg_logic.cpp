// The camera settings pages and dialog without widgets, on the recording stand-in drivers: the
// hub call of each control with its converted value, the enable rules, the exposure messages to
// the frame, Cancel and the balances.
#include <gtest/gtest.h>

#include "stubmodeltest.h"

#include <map>

#include "LumoStubHook.h"
#include "capture/cameraparamlogic.h"
#include "capture/camerasettinglogic.h"
#include "capture/cameratables.h"
#include "capture/exposurepagelogic.h"
#include "capture/imageadjustlogic.h"
#include "capture/resolutionlogic.h"
#include "ui/messages.h"
#include "vekcamera/VekCamera.h"

namespace {

class SettingsPages : public StubModelTest {
protected:
    // The setters the pages called, with their first argument.
    static std::vector<std::pair<std::string, int64_t>> Sets() {
        std::vector<std::pair<std::string, int64_t>> out;
        for (const LumoStubCall& c : lumostub::Calls())
            if (c.function.find("Set") != std::string::npos || c.function.find("Parameter") != std::string::npos)
                out.emplace_back(c.function, c.args.empty() ? -1 : c.args[0]);
        return out;
    }
    struct Sent {
        std::vector<std::pair<UINT, WPARAM>> messages;
        std::function<LRESULT(UINT, WPARAM)> Fn() {
            return [this](UINT m, WPARAM w) {
                messages.emplace_back(m, w);
                return LRESULT{0};
            };
        }
    };
};

}  // namespace

TEST_F(SettingsPages, TargetSliderSendsItsByteAndGainItsDeviceValue) {
    CameraSettings s = Model(10, false);
    CExposurePageLogic page(CExposurePageLogic::kExposureGainPage);
    page.Load(&s);
    // Loading only reads the camera.
    for (const auto& c : lumostub::CallNames()) EXPECT_EQ(c.find("Set"), std::string::npos) << c;
    lumostub::Reset();
    page.OnTargetSlider(-5);
    page.OnTargetSlider(0);
    page.OnTargetSlider(5);
    page.OnGainSlider(3);
    const auto sets = Sets();
    ASSERT_EQ(sets.size(), 4u);
    EXPECT_EQ(sets[0], std::make_pair(std::string("Lumo10CameraSetAeTarget"), int64_t{40}));
    EXPECT_EQ(sets[1].second, 100);
    EXPECT_EQ(sets[2].second, 200);
    EXPECT_EQ(sets[3], std::make_pair(std::string("Lumo10CameraSetAnalogGain"), int64_t{GainDeviceFromLevel(10, 3)}));
    EXPECT_EQ(s.aeTarget.nValue, 5);
    EXPECT_EQ(s.analogGain.nValue, 3);
    EXPECT_EQ(page.isoText, "ISO:300");
}

TEST_F(SettingsPages, AutoExposureDisablesExposureAndGainAndShowsTheCamerasValues) {
    CameraSettings s = Model(10, false);
    s.aeState.nValue = 0;
    CExposurePageLogic page(CExposurePageLogic::kExposureGainPage);
    page.Load(&s);
    EXPECT_TRUE(page.exposure.enabled);
    EXPECT_TRUE(page.gain.enabled);
    EXPECT_FALSE(page.target.enabled);  // the target matters only with auto exposure on
    lumostub::SetResult("Lumo10CameraGetExposureTime", 1);
    lumostub::SetOutValues("Lumo10CameraGetExposureTime", {123});
    lumostub::SetResult("Lumo10CameraGetAnalogGain", 1);
    lumostub::SetOutValues("Lumo10CameraGetAnalogGain", {static_cast<double>(GainDeviceFromLevel(10, 2))});
    page.OnAuto();
    EXPECT_EQ(s.aeState.nValue, 1);
    EXPECT_FALSE(page.exposure.enabled);
    EXPECT_FALSE(page.timeEnabled);
    EXPECT_FALSE(page.gain.enabled);
    EXPECT_TRUE(page.target.enabled);
    EXPECT_EQ(page.exposure.pos, 123);
    EXPECT_EQ(page.timeMs, 123u);
    EXPECT_EQ(page.gain.pos, 2);
    EXPECT_EQ(s.nExposureMs, 123);

    // Software auto exposure keeps the camera's own off.
    s.bSoftwareAe = 1;
    page.OnManual();
    lumostub::Reset();
    page.OnAuto();
    EXPECT_EQ(Sets().at(0), std::make_pair(std::string("Lumo10CameraSetAeState"), int64_t{0}));
}

TEST_F(SettingsPages, ExposureGainPageSendsOneMessagePerNewValue) {
    CameraSettings s = Model(10, false);
    s.aeState.nValue = 0;
    CExposurePageLogic page(CExposurePageLogic::kExposureGainPage);
    Sent frame;
    page.sendToFrame = frame.Fn();
    page.Load(&s);
    const int start = page.exposure.pos;
    page.OnExposureSlider(start + 10);
    // The time control's notifications for the fields it wrote carry the same time.
    page.OnTimeChange(page.timeMs);
    page.OnTimeChange(page.timeMs);
    page.OnExposureSlider(start + 11);
    ASSERT_EQ(frame.messages.size(), 2u);
    EXPECT_EQ(frame.messages[0], std::make_pair(WM_CAMERA_SETEXPOSURE, static_cast<WPARAM>(start + 10)));
    EXPECT_EQ(frame.messages[1].second, static_cast<WPARAM>(start + 11));
    // A typed time beyond the maximum is taken at the maximum.
    page.OnTimeChange(0xFFFFFFFFu);
    EXPECT_EQ(frame.messages.back().second, static_cast<WPARAM>(s.exposure.nMax));
    EXPECT_EQ(s.exposure.nValue, s.exposure.nMax);
}

TEST_F(SettingsPages, LongExposurePageMovesOverTheTableAndAppliesOnlyOnUpdate) {
    CameraSettings s = Model(10, true);
    s.aeState.nValue = 0;
    CExposurePageLogic page(CExposurePageLogic::kExposurePage);
    Sent frame;
    page.sendToFrame = frame.Fn();
    page.Load(&s);
    EXPECT_EQ(page.maxMinutes, 59);
    EXPECT_FALSE(page.exposure.enabled);  // until "Set time"
    EXPECT_TRUE(page.target.enabled);
    EXPECT_TRUE(page.setTimeEnabled);
    EXPECT_EQ(page.setTimeStringId, 61449);
    page.OnSetTime(page.timeMs);
    EXPECT_TRUE(page.editMode);
    EXPECT_EQ(page.setTimeStringId, 61450);
    EXPECT_TRUE(page.exposure.enabled);
    page.OnExposureSlider(40);
    EXPECT_EQ(page.timeMs, static_cast<DWORD>(ExposureMsFromIndex(40)));
    EXPECT_TRUE(frame.messages.empty());
    page.OnTimeChange(1234);  // nothing on this page
    EXPECT_TRUE(frame.messages.empty());
    page.OnSetTime(5000);
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].second, static_cast<WPARAM>(ExposureIndexFromMs(5000)));
    EXPECT_FALSE(page.editMode);
    EXPECT_FALSE(page.exposure.enabled);
    EXPECT_EQ(page.setTimeStringId, 61449);
}

TEST_F(SettingsPages, DefaultKeepsTheBackgroundCorrectionAndReapplies) {
    CameraSettings s = Model(10, false);
    BackCorrPoint points[2];
    s.pBackPoints = points;
    s.nBackPoints = 2;
    s.bBackCorrLoaded = 1;
    s.bBackCorrApply = 1;
    s.gamma.nValue = 7;
    CExposurePageLogic page(CExposurePageLogic::kExposureGainPage);
    Sent frame;
    page.sendToFrame = frame.Fn();
    page.Load(&s);
    page.OnDefault();
    EXPECT_EQ(s.pBackPoints, points);
    EXPECT_EQ(s.nBackPoints, 2);
    EXPECT_EQ(s.bBackCorrLoaded, 1);
    EXPECT_EQ(s.bBackCorrApply, 1);
    EXPECT_EQ(s.gamma.nValue, 0);
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].first, WM_CAMERA_APPLYPARAMS);
}

TEST_F(SettingsPages, ImageAdjustEditsWaitOnDashAndRefuseOutOfRange) {
    CameraSettings s = Model(10, false);
    CImageAdjustLogic page;
    page.Load(&s);
    lumostub::Reset();
    using L = CImageAdjustLogic;
    EXPECT_EQ(page.OnEditChanged(L::kGamma, "-"), L::kWaiting);
    EXPECT_EQ(page.OnEditChanged(L::kGamma, "-7"), L::kApplied);
    EXPECT_EQ(s.gamma.nValue, -7);
    EXPECT_EQ(page.OnEditChanged(L::kGamma, "25"), L::kWaiting);
    EXPECT_EQ(page.OnEditChanged(L::kGamma, "99999999999999999999"), L::kWaiting);
    EXPECT_EQ(page.OnEditChanged(L::kGamma, "4x"), L::kWaiting);
    EXPECT_EQ(s.gamma.nValue, -7);
    const auto sets = Sets();
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0], std::make_pair(std::string("Lumo10CameraSetGamma"), int64_t{GammaDeviceFromLevel(10, -7)}));
    QString message;
    EXPECT_FALSE(page.Validate(L::kGamma, &message));
    EXPECT_TRUE(message.contains("-20"));
    page.OnEditChanged(L::kGamma, "20");
    EXPECT_TRUE(page.Validate(L::kGamma, nullptr));

    int v = 0;
    EXPECT_TRUE(ParseSaturatedInt("-99999999999", &v));
    EXPECT_EQ(v, INT_MIN);
    EXPECT_FALSE(ParseSaturatedInt("", &v));
}

TEST_F(SettingsPages, ImageAdjustSwitchesReachTheCameraAndGateSaturation) {
    CameraSettings s = Model(18, false);
    s.colorEnhancement.bSupported = 1;
    s.saturation.bSupported = 1;
    s.colorEnhancement.nValue = 1;
    s.mirrorH.bSupported = 1;
    CImageAdjustLogic page;
    page.Load(&s);
    EXPECT_TRUE(page.level[CImageAdjustLogic::kSaturation].enabled);
    EXPECT_TRUE(page.flipGroupEnabled);
    page.OnColorEnhancement(false);
    EXPECT_FALSE(page.level[CImageAdjustLogic::kSaturation].enabled);
    page.OnFlipH(true);
    page.OnFlipV(true);
    page.OnMonochrome(true);
    page.OnSlider(CImageAdjustLogic::kContrast, 3);
    const auto calls = lumostub::Calls();
    std::vector<std::string> names;
    for (const auto& c : calls)
        if (c.function.find("Set") != std::string::npos) names.push_back(c.function);
    // Model 18's driver has no colour-enhancement call: the hub drops it.
    EXPECT_EQ(names, (std::vector<std::string>{"Lumo18CameraSetMirror",
                                               "Lumo18CameraSetMirror", "Lumo18CameraSetMonochrome",
                                               "Lumo18CameraSetContrast"}));
    EXPECT_EQ(s.colorEnhancement.nValue, 0);
    EXPECT_EQ(s.mirrorV.nValue, 1);
    EXPECT_EQ(s.contrast.nValue, 3);
    EXPECT_EQ(page.level[CImageAdjustLogic::kContrast].text, "3");
}

TEST_F(SettingsPages, ParameterTeamsAreTheDriversTeams) {
    CameraSettings s = Model(10, false);
    s.byParamTeam = 3;
    s.byParamTeamAtOpen = 3;
    CCameraParamLogic page;
    Sent frame;
    page.sendToFrame = frame.Fn();
    page.Load(&s);
    EXPECT_EQ(CCameraParamLogic::RadioOfTeam(page.team), CCameraParamLogic::kTeamA);
    EXPECT_TRUE(page.startup.enabled);
    EXPECT_TRUE(page.startup.checked);
    page.OnTeamRadio(CCameraParamLogic::kTeamB);
    EXPECT_EQ(page.team, 1);
    page.OnSave();
    page.OnTeamRadio(CCameraParamLogic::kTeamD);
    EXPECT_EQ(page.team, 0);
    EXPECT_TRUE(page.startup.checked);  // D leaves the check as it was
    page.OnLoad();
    EXPECT_EQ(Sets(), (std::vector<std::pair<std::string, int64_t>>{{"Lumo10CameraSaveParameter", 1},
                                                                    {"Lumo10CameraReadParameter", 0}}));
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].first, WM_CAMERA_RELOADPARAMS);
    page.Store();
    EXPECT_EQ(s.byParamTeam, 0);
    EXPECT_EQ(s.byParamTeamAtOpen, 0);
}

TEST_F(SettingsPages, ParameterGainsAndRadios) {
    CameraSettings s = Model(10, false);
    s.frameSpeed.bSupported = 0;
    CCameraParamLogic page;
    page.Load(&s);
    EXPECT_FALSE(page.speed.enabled);
    EXPECT_EQ(page.speed.selected, -1);
    lumostub::Reset();
    page.OnGainSlider(CCameraParamLogic::kRed, 80);
    EXPECT_FALSE(page.OnGainEdit(CCameraParamLogic::kGreen, "99999999999"));
    EXPECT_FALSE(page.OnGainEdit(CCameraParamLogic::kGreen, "abc"));
    EXPECT_TRUE(page.OnGainEdit(CCameraParamLogic::kBlue, "90"));
    page.OnLightFrequency(1);
    page.OnQuality(1);
    const auto calls = lumostub::Calls();
    // Model 10's driver has no light-frequency or quality calls: the hub drops them.
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "Lumo10CameraSetGain");
    EXPECT_EQ(calls[1].args[2], 90);
    EXPECT_EQ(calls[1].args[0], 80);
    EXPECT_EQ(s.redGain.nValue, 80);
    EXPECT_EQ(s.blueGain.nValue, 90);
    EXPECT_EQ(s.lightFrequency.nValue, 1);
    EXPECT_EQ(s.b2rgbMode.nValue, 1);
}

TEST_F(SettingsPages, ResolutionLockRules) {
    CameraSettings s;
    s.bSeparateRes = 1;
    s.byPreviewRes = 2;
    s.byCaptureRes = 0;
    s.bResLock = 1;
    CResolutionLogic page;
    page.Load(&s);
    page.OnPreviewChanged(1);
    EXPECT_EQ(page.capture, 1);
    page.OnCaptureChanged(3);
    EXPECT_EQ(page.preview, 3);
    page.OnLockClicked(false);
    page.OnPreviewChanged(0);
    EXPECT_EQ(page.capture, 3);
    // No selection keeps the old value instead of storing 255.
    page.capture = -1;
    page.Store();
    EXPECT_EQ(s.byPreviewRes, 0);
    EXPECT_EQ(s.byCaptureRes, 0);
    EXPECT_EQ(s.bResLock, 0);
    // A model that needs equal resolutions keeps the lock.
    s.bSeparateRes = 0;
    page.Load(&s);
    page.OnLockClicked(false);
    EXPECT_TRUE(page.locked);
    EXPECT_EQ(page.capture, page.preview);
}

TEST_F(SettingsPages, CancelRestoresEveryParameterButNeverTheCorrectionPoints) {
    CameraSettings s = Model(10, false);
    s.nExposureMs = s.exposure.nValue;
    CCameraSettingLogic dlg(&s);
    Sent frame;
    dlg.sendToFrame = frame.Fn();
    const CameraSettings before = s;
    s.gamma.nValue = 9;
    s.exposure.nValue = 77;
    s.nExposureMs = 77;
    s.redGain.nValue = 150;
    s.byParamTeam = 2;
    s.aeState.nValue = 0;
    // The frame reloaded the correction data meanwhile.
    BackCorrPoint points[1];
    s.pBackPoints = points;
    s.nBackPoints = 1;
    lumostub::Reset();
    dlg.OnCancel();
    EXPECT_EQ(s.gamma, before.gamma);
    EXPECT_EQ(s.exposure, before.exposure);
    EXPECT_EQ(s.redGain, before.redGain);
    EXPECT_EQ(s.aeState, before.aeState);
    EXPECT_EQ(s.byParamTeam, before.byParamTeam);
    EXPECT_EQ(s.pBackPoints, points);
    EXPECT_EQ(s.nBackPoints, 1);
    // The exposure last applied stays, so the re-apply sees the change and sets it again.
    EXPECT_EQ(s.nExposureMs, 77);
    EXPECT_EQ(Sets().at(0), std::make_pair(std::string("Lumo10CameraReadParameter"), int64_t{before.byParamTeam}));
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].first, WM_CAMERA_APPLYPARAMS);
}

TEST_F(SettingsPages, BalancesOfTheDialog) {
    CameraSettings s = Model(21, false);
    CCameraSettingLogic dlg(&s);
    std::function<void()> later;
    int laterMs = 0;
    dlg.runLater = [&](int ms, std::function<void()> f) {
        laterMs = ms;
        later = std::move(f);
    };
    int reloads = 0;
    dlg.reloadParamPage = [&] { ++reloads; };
    lumostub::SetResult("Lumo21CameraGetGain", 1);
    lumostub::SetOutValues("Lumo21CameraGetGain", {70, 71, 72});
    EXPECT_EQ(dlg.OnWhiteBalance(), 0);
    ASSERT_FALSE(lumostub::CallNames().empty());
    EXPECT_EQ(lumostub::CallNames().back(), "Lumo21CameraSetAWBState");
    EXPECT_EQ(laterMs, 200);
    EXPECT_EQ(reloads, 0);
    ASSERT_TRUE(later);
    later();
    EXPECT_EQ(s.redGain.nValue, 70);
    EXPECT_EQ(s.blueGain.nValue, 72);
    EXPECT_EQ(reloads, 1);

    s.bDefaultGains = 0;
    lumostub::Reset();
    EXPECT_EQ(dlg.OnBlackBalance(), 1);
    EXPECT_TRUE(lumostub::Calls().empty());
    s.bDefaultGains = 1;
    s.nDefaultRed = 60, s.nDefaultGreen = 61, s.nDefaultBlue = 62;
    s.colorEnhancement.nValue = 1;
    EXPECT_EQ(dlg.OnBlackBalance(), 0);
    EXPECT_EQ(s.colorEnhancement.nValue, 0);
    EXPECT_EQ(s.greenGain.nValue, 61);
    EXPECT_EQ(Sets(), (std::vector<std::pair<std::string, int64_t>>{{"Lumo21CameraSetColorEnhancement", 0},
                                                                    {"Lumo21CameraSetGain", 60},
                                                                    {"Lumo21CameraSaveParameter", 0}}));
}
