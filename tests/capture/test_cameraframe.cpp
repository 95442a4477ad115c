// The camera window on the real hub, the model driver and the simulated camera (id 28), opened
// by a test host in the main frame's place: white balance on first use, profile keys, mode
// gating, a time lapse reaching the host, and background-correction data.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QMenu>
#include <QPointer>
#include <QToolButton>

#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ui/promptservice.h"
#include "capture/cameraframe.h"
#include "capture/camerasettingdlg.h"
#include "capture/cameratables.h"
#include "capture/exposurepagebase.h"
#include "capture/exposurepanel.h"
#include "controls/bitmapslider.h"
#include "capture/cameraview.h"
#include "controls/flatprogressctrl.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "platform/le.h"
#include "simcam.h"
#include "vekcamera/VekCamera.h"
#include "camerawindowtest.h"
#include "camerathreadhold.h"

namespace {

class CameraFrameTest : public CameraWindowTest {
protected:
    void SetUp() override {
        CameraWindowTest::SetUp();
        QDir(dir.path()).mkpath("shots");
        // A save folder of our own.
        CProfile(ProfilePath()).WriteProfileString("FileSave", "sPath", Shots());
    }
    QString Shots() const { return dir.filePath("shots/"); }

    CCameraFrame* Relaunch() {
        host->OpenCameraFrame();
        return WaitOpen();
    }
    void CloseFrame() {
        if (CCameraFrame* f = Frame()) f->close();
        PumpUntil([this] { return !Frame(); });
    }
    const QStringList& Announced() const { return host->CameraFiles(); }
};

TEST_F(CameraFrameTest, AutomaticWhiteBalanceRunsOnTheFirstOpenOnlyAndProfileKeysAreWrittenAtClose) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeAutoWhiteBalance);
    // Busy: the commands that need an idle window do nothing.
    f->Settings().video.bConfig = 1;
    EXPECT_TRUE(f->OnCommand(CCameraFrame::ID_CAMERA_RECORD));
    EXPECT_EQ(f->m_bRecording, 0);
    EXPECT_FALSE(f->View()->IsRecording());
    EXPECT_TRUE(f->OnCommand(CCameraFrame::ID_VIDEO_FULLSCREEN));
    EXPECT_FALSE(f->isFullScreen());
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle(); }, 3000));

    f->Settings().snap.nCount = 7;
    f->Settings().snap.sFilename = "plate";
    f->Settings().byCaptureRes = 2;
    f->Controller().m_bCrossShow = 1;
    CloseFrame();
    CProfile profile(ProfilePath());
    EXPECT_EQ(profile.GetProfileInt("FileSave", "nCount", 0), 7);
    EXPECT_EQ(profile.GetProfileString("FileSave", "sFilename"), "plate");
    EXPECT_EQ(profile.GetProfileInt("LumoProf28", "Capture", 0), 2);
    EXPECT_EQ(profile.GetProfileInt("LumoProf28", "Preview", 0), 4);
    EXPECT_EQ(profile.GetProfileInt("Cross", "Show", 0), 1);

    // The second open keeps the camera's own parameters: no white balance.
    CCameraFrame* again = Relaunch();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Controller().Mode(), CCameraFrameController::kModeIdle);
    EXPECT_EQ(again->Settings().snap.nCount, 7);
    EXPECT_EQ(again->Controller().m_bCrossShow, 1);
}

TEST_F(CameraFrameTest, CommandsNeedAnOpenCameraAndPreviewReopensIt) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle(); }, 3000));
    EXPECT_TRUE(f->IsCommandEnabled(CCameraFrame::ID_CAMERA_SNAP));
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    EXPECT_FALSE(f->Controller().IsOpen());
    EXPECT_EQ(f->View()->GetRunState(), CCameraView::kStop);
    EXPECT_FALSE(f->IsCommandEnabled(CCameraFrame::ID_CAMERA_SNAP));
    EXPECT_FALSE(f->IsCommandEnabled(CCameraFrame::ID_CAMERA_RECORD));
    f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
    EXPECT_FALSE(f->IsSnapRunning());
    // A second close of a closed camera does nothing; Preview opens it again.
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    f->OnCommand(CCameraFrame::ID_CAMERA_PREVIEW);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsOpen(); }));
    EXPECT_TRUE(PumpUntil([f] { return f->View()->FramesShown() > 0; }));

    // Closed again while the opening still waits for its first frames: the camera is shut down,
    // not left running behind a closed state.
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_OPEN, 0, 0);
    EXPECT_TRUE(f->Controller().IsOpening());
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    EXPECT_FALSE(f->Controller().IsOpening());
    EXPECT_EQ(f->View()->GetRunState(), CCameraView::kStop);
    Pump(400);
    EXPECT_FALSE(f->Controller().IsOpen()) << "the pending rest of the opening does not run";
    f->OnCommand(CCameraFrame::ID_CAMERA_PREVIEW);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsOpen() && f->Controller().IsIdle(); }));

    // Quick black balance: colour enhancement off and the model's default gains.
    f->OnCommand(CCameraFrame::ID_QUICK_BLACKBALANCE);
    int r = 0, g = 0, b = 0;
    VekCameraGetGain(&r, &g, &b);
    EXPECT_EQ(r, 97);
    EXPECT_EQ(g, 64);
    EXPECT_EQ(b, 59);
    EXPECT_EQ(f->Settings().redGain.nValue, 97);
    EXPECT_EQ(f->Settings().colorEnhancement.nValue, 0);

    // Cross colour: the dialog is seeded with the current colour; Cancel keeps it.
    prompts.colors.clear();
    f->OnCommand(CCameraFrame::ID_CAMERA_CROSS);
    ASSERT_EQ(prompts.opened.size(), 1u);
    EXPECT_EQ(prompts.opened[0], 255u);
    prompts.colors = {RGB(0, 200, 0)};
    f->OnCommand(CCameraFrame::ID_CAMERA_CROSS);
    EXPECT_EQ(f->View()->CrossColour(), RGB(0, 200, 0));
}

TEST_F(CameraFrameTest, ATimeLapseSavesItsShotsUnderTheirNamesAndAnnouncesEachOnce) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle() && f->View()->FramesShown() > 0; }, 3000));
    CameraSettings& s = f->Settings();
    s.snap.bConfig = 1;
    s.snap.bLapse = 1;
    s.snap.nCount = 3;
    s.snap.nSpace = 0;
    s.snap.bTimeStamp = 0;
    s.snap.uiFiletype = 2;
    s.snap.sFilename = "lapse";
    f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
    EXPECT_TRUE(f->IsSnapRunning());
    ASSERT_TRUE(PumpUntil([f] { return !f->IsSnapRunning(); }, 60000));
    const QStringList expected = {Shots() + "lapse.bmp", Shots() + "lapse-1.bmp", Shots() + "lapse-2.bmp"};
    EXPECT_EQ(Announced(), expected);
    for (const QString& p : expected) EXPECT_TRUE(QFileInfo(p).size() > 640 * 480) << p.toStdString();

    // RAW snaps are written by the hub from the stem and never announced.
    s.snap.bLapse = 0;
    s.snap.uiFiletype = 4;
    s.snap.sFilename = "raw";
    f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
    ASSERT_TRUE(PumpUntil([f] { return !f->IsSnapRunning(); }, 60000));
    EXPECT_EQ(Announced().size(), 3);

    // A file dialog cancelled ends the shot without a file.
    s.snap.bConfig = 0;
    s.snap.uiFiletype = 1;
    f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
    ASSERT_TRUE(PumpUntil([f] { return !f->IsSnapRunning(); }, 5000));
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].title, "camera snap files");
    EXPECT_EQ(prompts.requests[0].filterIndex, 2) << "JPEG preselected";
    EXPECT_EQ(Announced().size(), 3);
}

TEST_F(CameraFrameTest, BackgroundCorrectionIsLoadedAtOpenFromCheckedData) {
    {
        QFile ini("BackCorr.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[CAMERA_28]\n640_480=1000\n");
        QFile bin("Camera_28_640_480.bin");
        ASSERT_TRUE(bin.open(QIODevice::WriteOnly));
        auto point = [&bin](int32_t x, int32_t y, BYTE p) {
            uint8_t b[12] = {};
            le::put32(b, static_cast<uint32_t>(x));
            le::put32(b + 4, static_cast<uint32_t>(y));
            b[8] = b[9] = b[10] = p;
            bin.write(reinterpret_cast<const char*>(b), 12);
        };
        point(10, 10, 50);
        point(100000, 3, 50);  // far outside the frame
        point(20, 20, 0);      // would divide by zero
        point(30, 40, 80);
    }
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Settings().bBackCorrLoaded, 1);
    EXPECT_EQ(f->Settings().bBackCorrApply, 0) << "the launch opens with apply flag 0";
    EXPECT_EQ(f->Settings().nBackPoints, 2);
    ASSERT_TRUE(PumpUntil([f] { return f->View()->FramesShown() > 2; }));
    // Reopened with the apply flag: the display thread corrects the points.
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    EXPECT_EQ(f->Settings().nBackPoints, 0);
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_OPEN, 1, 0);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsOpen(); }));
    EXPECT_EQ(f->Settings().bBackCorrApply, 1);
    EXPECT_TRUE(PumpUntil([f] { return f->View()->FramesShown() > 5; }));

    // Without the outside program the user is told and the camera stays open.
    CCameraFrame::s_backCorrectionProgram = "no-such-correction-program";
    f->OnCommand(CCameraFrame::ID_CAMERA_BACKCORRECTION);
    EXPECT_TRUE(f->Controller().IsOpen());
    ASSERT_FALSE(prompts.messages.isEmpty());
    EXPECT_TRUE(prompts.messages.last().contains("no-such-correction-program"));
}

TEST_F(CameraFrameTest, UnderTheSensorsOwnPacingFramesFlowAndASnapIsSavedAndAnnounced) {
    SimCamSetRealTime(true);
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle() && f->View()->FramesShown() > 3; }, 10000));
    f->Settings().snap.bConfig = 1;
    f->Settings().snap.bLapse = 0;
    f->Settings().snap.bTimeStamp = 0;
    f->Settings().snap.uiFiletype = kCaptureJpeg;
    f->Settings().snap.sFilename = "paced";
    f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
    ASSERT_TRUE(PumpUntil([f] { return !f->IsSnapRunning(); }, 60000));
    EXPECT_EQ(Announced(), QStringList{Shots() + "paced.jpg"});
    EXPECT_GT(QFileInfo(Shots() + "paced.jpg").size(), 0);
    // Live view goes on after the snap.
    const uint64_t shown = f->View()->FramesShown();
    EXPECT_TRUE(PumpUntil([f, shown] { return f->View()->FramesShown() > shown + 2; }, 10000));
}

// Real pacing, capture at the preview's own resolution after the camera was reopened as the
// resolution page does: every shot of a JPEG series and of TIFF snaps is written, none refused.
TEST_F(CameraFrameTest, ShotsAtThePreviewResolutionAreAllWritten) {
    CProfile(ProfilePath()).WriteProfileInt("LumoProf28", "Capture", 4);
    SimCamSetRealTime(true);
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    ASSERT_EQ(f->Settings().byCaptureRes, 4);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle() && f->View()->FramesShown() > 3; }, 10000));
    CameraSettings& s = f->Settings();
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_OPEN, 1, 0);
    const auto shown = f->View()->FramesShown();
    ASSERT_TRUE(PumpUntil([f, shown] { return f->View()->FramesShown() > shown + 2; }, 10000));
    s.snap.bConfig = 1;
    s.snap.bTimeStamp = 0;
    s.snap.nSpace = 0;
    const auto shoot = [&](int type, const char* name, int count) {
        s.snap.uiFiletype = type;
        s.snap.sFilename = name;
        s.snap.bLapse = count > 1;
        s.snap.nCount = count;
        f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
        EXPECT_TRUE(PumpUntil([f] { return !f->IsSnapRunning(); }, 60000));
    };
    shoot(kCaptureJpeg, "lapse", 3);
    shoot(kCaptureTiff, "tiff", 1);
    shoot(kCaptureTiff, "tiff", 1);
    const QStringList expected = {Shots() + "lapse.jpg", Shots() + "lapse-1.jpg", Shots() + "lapse-2.jpg",
                                  Shots() + "tiff.tif", Shots() + "tiff_1.tif"};
    EXPECT_EQ(Announced(), expected);
    for (const QString& p : expected) EXPECT_GT(QFileInfo(p).size(), 0) << p.toStdString();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('|').toStdString();
}

}  // namespace

TEST_F(CameraFrameTest, AGainChangedInTheSettingsDialogIsSavedByOkAndThePopupReportsItsExposure) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle(); }, 3000));
    // Auto exposure off in the camera too: an exposure change reads the camera's state back,
    // and a running auto exposure would move the time before the check below.
    f->Settings().aeState.nValue = 0;
    VekCameraSetAeState(0);
    EXPECT_TRUE(f->OnCommand(CCameraFrame::ID_CAMERA_PROPERTY));
    CCameraSettingDlg* dlg = f->SettingDlg();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeSettingsDialog);
    CExposurePageBase* page = dlg->MainPage();
    page->Load(&f->Settings());
    const int level = std::min(3, f->Settings().analogGain.nMax);
    page->GainSlider()->SetPos(level);
    SendMessage(page->GetSafeHwnd(), WM_SLIDER_CHANGED, CExposurePageBase::IDC_GAIN, level);
    int native = 0;
    ASSERT_EQ(VekCameraGetAnalogGain(&native), 1);
    EXPECT_EQ(native & 0xFFFF, GainDeviceFromLevel(28, level));
    dlg->OnOK();
    PumpUntil([f] { return !f->SettingDlg(); });
    EXPECT_FALSE(f->SettingDlg());
    EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeIdle);
    QFile ini(dir.filePath("config/OSTREL/Ferrosens.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(ini.readAll());
    const QString setupa = text.section("[setupa]", 1).section("\n[", 0, 0);
    EXPECT_TRUE(setupa.contains(QString("analogGain=dword:%1").arg(GainDeviceFromLevel(28, level), 8, 16, QChar('0'))))
        << setupa.toStdString();

    // The exposure pop-up: its change reaches the camera, and closing it ends the mode.
    EXPECT_TRUE(f->OnCommand(CCameraFrame::ID_CAMERA_EXPOSURE));
    CExposurePanel* panel = f->ExposurePanel();
    ASSERT_TRUE(panel);
    // A time inside the range and away from the present one: under a slow run the camera's auto
    // exposure may have taken the time past the manual maximum before it was switched off.
    const CameraParamRange& range = f->Settings().exposure;
    const int target = range.nValue == (range.nMin + range.nMax) / 2 ? range.nMin + 1 : (range.nMin + range.nMax) / 2;
    panel->Slider()->SetPos(target);
    SendMessage(panel->GetSafeHwnd(), WM_SLIDER_CHANGED, CExposurePanel::kSliderId, target);
    EXPECT_TRUE(PumpUntil([f, target] { return f->Settings().nExposureMs == target; }, 5000))
        << f->Settings().nExposureMs << " ms, not " << target;
    SendMessage(f->GetSafeHwnd(), WM_CAMERA_EXPOSUREPANEL, 0, 0);
    PumpUntil([f] { return !f->ExposurePanel(); });
    EXPECT_FALSE(f->ExposurePanel());
    EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeIdle);
}

namespace {

// Opening, closing and a snap captured to a file wait on the camera thread: held there, the
// window has already answered and the camera has not moved yet; released, the work finishes.
TEST_F(CameraFrameTest, CameraWorkWaitsOnTheCameraThreadNotOnTheWindow) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle() && f->View()->FramesShown() > 0; }));
    auto cameraOpen = [] {
        int w = 0, h = 0;
        return VekCameraGetImageSize(&w, &h) == CAMERA_OK && w > 0;
    };
    {
        CameraThreadHold hold;
        SendMessage(f->GetSafeHwnd(), WM_CAMERA_CLOSE, 0, 0);
        EXPECT_FALSE(f->Controller().IsOpen());
        EXPECT_FALSE(f->IsCommandEnabled(CCameraFrame::ID_CAMERA_SNAP));
        Pump(50);
        EXPECT_TRUE(cameraOpen()) << "the hub closes the camera on the camera thread";
        SendMessage(f->GetSafeHwnd(), WM_CAMERA_OPEN, 0, 0);
        EXPECT_TRUE(f->Controller().IsOpening());
    }
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsOpen() && f->Controller().IsIdle(); }));
    EXPECT_TRUE(PumpUntil([f] { return f->View()->FramesShown() > 0; }));

    // A full-resolution BMP is captured by the camera to the file.
    CameraSettings& s = f->Settings();
    s.snap.bConfig = 1;
    s.snap.bLapse = 0;
    s.snap.bTimeStamp = 0;
    s.snap.uiFiletype = kCaptureBmp;
    s.snap.sFilename = "held";
    s.byCaptureRes = 0;
    {
        CameraThreadHold hold;
        f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
        Pump(100);
        EXPECT_TRUE(f->IsSnapRunning());
        EXPECT_TRUE(Announced().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(Shots() + "held.bmp"));
    }
    ASSERT_TRUE(PumpUntil([f] { return !f->IsSnapRunning(); }, 30000));
    EXPECT_EQ(Announced(), QStringList{Shots() + "held.bmp"});
    EXPECT_GT(QFileInfo(Shots() + "held.bmp").size(), 3664 * 2740 * 3);

    // Closing the window: the host hears of it at once and the window is out of sight; it is
    // deleted once the camera is closed.
    QPointer<CCameraFrame> window = f;
    {
        CameraThreadHold hold;
        f->close();
        EXPECT_FALSE(Frame());
        EXPECT_TRUE(window);
        EXPECT_FALSE(window->isVisible());
        Pump(50);
        EXPECT_TRUE(window) << "still in use by the camera thread's close";
        EXPECT_TRUE(cameraOpen());
    }
    EXPECT_TRUE(PumpUntil([&] { return !window; }));
    EXPECT_FALSE(cameraOpen());
}

}  // namespace
