// The exposure pop-ups and the settings dialog as widgets: messages to a recording frame, one
// exposure message per change of value, deactivation reports, Enter swallowed, OK and Cancel.
#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include "LumoStubHook.h"
#include "capture/autoexposuredlg.h"
#include "capture/camerasettingdlg.h"
#include "capture/cameratables.h"
#include "capture/exposurepagebase.h"
#include "capture/exposurepanel.h"
#include "controls/bitmapslider.h"
#include "controls/exposuretimectrl.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "eventpump.h"
#include "messagerecorder.h"
#include "vekcamera/VekCamera.h"

namespace {

class Popups : public ::testing::Test {
protected:
    void SetUp() override {
        VekCamera_SetCamera(10);
        lumostub::Reset();
        s.nCameraId = 10;
        FillCameraModelInfo(s);
        s.aeState.nValue = 0;
    }
    void TearDown() override {
        Pump();
        VekCamera_SetCamera(CAMERA_ID_NONE);
        lumostub::Reset();
    }
    CameraSettings s;
    MessageRecorder frame;
};

}  // namespace

TEST_F(Popups, PanelSendsOneExposurePerChangeOfValue) {
    CExposurePanel panel(&s, frame.GetSafeHwnd());
    panel.SetRange(1, 2000, false);
    panel.SetExposure(100);
    Pump();
    frame.received.clear();
    for (int pos : {150, 150, 160}) {
        panel.Slider()->SetPos(pos);
        SendMessage(panel.GetSafeHwnd(), WM_SLIDER_CHANGING, CExposurePanel::kSliderId, pos);
        Pump();  // the time control's own notifications, one per field it wrote
    }
    EXPECT_EQ(frame.Of(WM_CAMERA_SETEXPOSURE), (std::vector<WPARAM>{150, 160}));
    EXPECT_EQ(panel.TimeCtrl()->GetTime(), 160u);
}

TEST_F(Popups, PanelAutoExposureDisablesAndShowsTheCamerasExposure) {
    CExposurePanel panel(&s, frame.GetSafeHwnd());
    panel.SetRange(1, 2000, false);
    panel.SetExposure(100);
    lumostub::SetResult("Lumo10CameraGetExposureTime", 1);
    lumostub::SetOutValues("Lumo10CameraGetExposureTime", {333});
    panel.AutoCheck()->click();
    EXPECT_EQ(s.aeState.nValue, 1);
    EXPECT_FALSE(panel.Slider()->IsSliderEnabled());
    EXPECT_EQ(panel.Slider()->GetPos(), 333);
    EXPECT_EQ(panel.TimeCtrl()->GetTime(), 333u);
    EXPECT_TRUE(panel.GetAuto());
}

TEST_F(Popups, DeactivationIsReportedAndEnterIgnored) {
    CExposurePanel panel(&s, frame.GetSafeHwnd());
    QEvent activation(QEvent::ActivationChange);
    QCoreApplication::sendEvent(&panel, &activation);  // not the active window: a deactivation
    EXPECT_EQ(frame.Of(WM_CAMERA_EXPOSUREPANEL), (std::vector<WPARAM>{1}));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &enter);
    EXPECT_TRUE(enter.isAccepted());
}

TEST_F(Popups, LongExposurePanelUpdateSelectsTheFirstEntryNotBelow) {
    s.bLongExposure = 1;
    FillCameraModelInfo(s);
    s.aeState.nValue = 0;
    CAutoExposureDlg dlg(&s, frame.GetSafeHwnd());
    dlg.SetRange(0, 99, true);
    dlg.SetAuto(false);
    dlg.SetExposure(10);
    dlg.SetButton()->click();
    EXPECT_TRUE(dlg.IsEditing());
    EXPECT_TRUE(dlg.Slider()->IsSliderEnabled());
    dlg.TimeCtrl()->SetTime(5000);
    dlg.SetButton()->click();
    EXPECT_FALSE(dlg.IsEditing());
    EXPECT_EQ(frame.Of(WM_CAMERA_SETEXPOSURE), (std::vector<WPARAM>{static_cast<WPARAM>(ExposureIndexFromMs(5000))}));
    EXPECT_EQ(ExposureIndexFromMs(5000), 56);
    dlg.SetAuto(true);
    EXPECT_FALSE(dlg.SetButton()->isEnabled());
    EXPECT_FALSE(dlg.Slider()->IsSliderEnabled());
}

TEST_F(Popups, SettingsDialogOkSavesTeamZeroAndCancelReapplies) {
    {
        CCameraSettingDlg dlg(&s, frame.GetSafeHwnd());
        EXPECT_EQ(dlg.Tabs()->count(), 3);
        EXPECT_EQ(dlg.Tabs()->tabText(0), "Main");
        EXPECT_EQ(dlg.MainPage()->Logic().GetKind(), CExposurePageLogic::kExposureGainPage);
        lumostub::Reset();
        dlg.OnOK();
        EXPECT_EQ(lumostub::CallNames(), (std::vector<std::string>{"Lumo10CameraSaveParameter"}));
        EXPECT_EQ(frame.Of(WM_CAMERA_SETTINGDLG_CLOSED).size(), 1u);
    }
    frame.received.clear();
    s.bLongExposure = 1;
    CCameraSettingDlg dlg(&s, frame.GetSafeHwnd());
    EXPECT_EQ(dlg.MainPage()->Logic().GetKind(), CExposurePageLogic::kExposurePage);
    EXPECT_NE(dlg.MainPage()->Button(CExposurePageBase::IDC_SETTIME), nullptr);
    const int gamma = s.gamma.nValue;
    s.gamma.nValue = gamma + 3;
    dlg.OnCancel();
    EXPECT_EQ(s.gamma.nValue, gamma);
    ASSERT_EQ(frame.received.size(), 2u);
    EXPECT_EQ(frame.received[0].message, WM_CAMERA_APPLYPARAMS);
    EXPECT_EQ(frame.received[1].message, WM_CAMERA_SETTINGDLG_CLOSED);
}

TEST_F(Popups, SettingsDialogClosedByItsCloseButtonOrEscapeKeepsTheChanges) {
    for (bool escape : {false, true}) {
        frame.received.clear();
        CCameraSettingDlg dlg(&s, frame.GetSafeHwnd());
        dlg.show();
        const int gamma = s.gamma.nValue;
        s.gamma.nValue = gamma + 3;
        lumostub::Reset();
        if (escape) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&dlg, &key);
        } else {
            dlg.close();
        }
        EXPECT_FALSE(dlg.isVisible()) << escape;
        EXPECT_EQ(s.gamma.nValue, gamma + 3) << escape;
        EXPECT_TRUE(lumostub::CallNames().empty()) << escape;
        ASSERT_EQ(frame.received.size(), 1u) << escape;
        EXPECT_EQ(frame.received[0].message, WM_CAMERA_SETTINGDLG_CLOSED);
        s.gamma.nValue = gamma;
    }
}
