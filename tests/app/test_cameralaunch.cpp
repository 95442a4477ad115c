// The program's main frame opening the camera windows: the hub camera on the simulated camera
// (id 28) and a video device through the chooser, a second launch raising the open window,
// unplugging closing it, and the launch without a camera.
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "capture/cameraframe.h"
#include "capture/cameraview.h"
#include "capture/dscameraframe.h"
#include "capture/dscameraview.h"
#include "capture/selectdscameradlg.h"
#include "controls/flatprogressctrl.h"
#include "VideoDevice.h"
#include "qodirectx.h"
#include "simcam.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "ui/profile.h"
#include "ui/promptservice.h"
#include "vekcamera/VekCamera.h"
#include "apptest.h"
#include "scopedenv.h"

namespace {

// The program started on a temporary profile whose save folder is shots/, with the camera
// driver's settings in the temporary folder too.
class CameraLaunch : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        oldDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
        QDir(dir.path()).mkpath("shots");
        SetEnv("XDG_CONFIG_HOME", dir.filePath("config"));
        SetEnv("HOME", dir.path());
        CProfile profile(ProfilePath());
        profile.WriteProfileString("FileSave", "sPath", Shots());
    }
    void TearDown() override {
        AppTest::TearDown();
        QDir::setCurrent(oldDir);
        env.Restore();
    }
    // Sets a variable for the test; TearDown puts back what it was.
    void SetEnv(const char* name, const QString& value) { env.Set(name, value.toStdString()); }
    QString ProfilePath() const { return Path("cfg/Quillory.ini"); }
    QString Shots() const { return dir.filePath("shots/"); }
    bool StartApp() {
        if (!Start()) return false;
        Pump(50);
        return true;
    }
    void ExitApp() {
        if (!app) return;
        app->ExitInstance();
        app.reset();
    }
    const QStringList& Announced() const { return app->MainFrame()->CameraFiles(); }

    QString oldDir;
    ScopedEnv env;
};

// The hub camera: the simulated camera in its small preview mode.
class CameraFrameTest : public CameraLaunch {
protected:
    void SetUp() override {
        CameraLaunch::SetUp();
        SetEnv("QUILLORY_SIMULATED_CAMERA", "1");
        SimCamReset();
        SimCamSetRealTime(false);
        SimCamPlug();
        CProfile profile(ProfilePath());
        profile.WriteProfileInt("LumoProf28", "Preview", 4);
    }
    void TearDown() override {
        ExitApp();
        Pump(0);
        VekCamera_SetCamera(28);
        VekCameraUnInit();
        SimCamUnplug();
        SimCamSetRealTime(true);
        CameraLaunch::TearDown();
    }
    // Starts the program; the launch message opens the camera window.
    CCameraFrame* Start() {
        if (!StartApp()) return nullptr;
        return WaitOpen();
    }
    CCameraFrame* Frame() const {
        return app && app->MainFrame() ? dynamic_cast<CCameraFrame*>(app->MainFrame()->m_pCameraFrame.data()) : nullptr;
    }
    CCameraFrame* WaitOpen() {
        if (!PumpUntil([this] { return Frame() && Frame()->Controller().IsOpen(); })) return nullptr;
        return Frame();
    }
    CCameraFrame* Relaunch() {
        SendMessage(app->MainFrame()->GetSafeHwnd(), WM_CAMERA_CREATEFRAME, 0, 0);
        return WaitOpen();
    }
};

// Video devices: test patterns only, the system's devices hidden.
class DSCameraTest : public CameraLaunch {
protected:
    void SetUp() override {
        CameraLaunch::SetUp();
        videodev::SetSystemDevicesHidden(true);
        videodev::RemoveTestPatternDevices();
    }
    void TearDown() override {
        if (CDSCameraFrame* f = Frame()) f->close();
        Pump(0);
        ExitApp();
        Pump(0);
        DSCameraStop();
        DSCameraUnInit();
        videodev::RemoveTestPatternDevices();
        CameraLaunch::TearDown();
    }
    CDSCameraFrame* Frame() const {
        return app && app->MainFrame() ? dynamic_cast<CDSCameraFrame*>(app->MainFrame()->m_pCameraFrame.data()) : nullptr;
    }
    static void AddPattern(const char* name, std::vector<videodev::VideoSize> sizes) {
        videodev::TestPatternOptions o;
        o.friendlyName = name;
        o.sizes = std::move(sizes);
        o.frameIntervalMs = 40;
        videodev::AddTestPatternDevice(o);
    }
};

TEST_F(CameraFrameTest, LaunchShowsLiveFramesAndTheBrightnessBar) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f) << prompts.messages.join("; ").toStdString();
    EXPECT_FALSE(prompts.messages.contains("No Camera!"));
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->isWindow()) << "a top-level window, not a document";
    EXPECT_EQ(f->Settings().nCameraId, 28);
    EXPECT_EQ(f->Settings().nWidth, 640);
    EXPECT_EQ(f->Settings().nHeight, 480);
    ASSERT_TRUE(PumpUntil([f] { return f->View()->FramesShown() > 2 && f->BrightnessBar()->GetPos() > 0; }));
    EXPECT_LE(f->BrightnessBar()->GetPos(), 255u);
    // The title names the folder the next snap goes to.
    EXPECT_EQ(f->windowTitle(), Shots());
    // The split buttons carry their drop-downs.
    ASSERT_TRUE(f->Button(CCameraFrame::ID_CAMERA_AUTOWB));
    EXPECT_EQ(f->Button(CCameraFrame::ID_CAMERA_AUTOWB)->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_FALSE(f->Button(CCameraFrame::ID_CAMERA_AUTOWB)->menu()->actions().isEmpty());
    // A second launch only raises the open window.
    SendMessage(app->MainFrame()->GetSafeHwnd(), WM_CAMERA_CREATEFRAME, 0, 0);
    EXPECT_EQ(Frame(), f);
}

TEST_F(CameraFrameTest, UnpluggingClosesTheWindowDuringLiveViewATimeLapseAndARecording) {
    CCameraFrame* f = Start();
    ASSERT_TRUE(f);
    ASSERT_TRUE(PumpUntil([f] { return f->View()->FramesShown() > 0; }));
    SimCamUnplug();
    ASSERT_TRUE(PumpUntil([this] { return !Frame(); })) << "WM_CAMERA_REMOVED (28) closes it";

    // A time lapse waiting out a long interval.
    SimCamPlug();
    f = Relaunch();
    ASSERT_TRUE(f);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle(); }, 3000));
    f->Settings().snap.bConfig = 1;
    f->Settings().snap.bLapse = 1;
    f->Settings().snap.nCount = 5;
    f->Settings().snap.nSpace = 60;
    f->Settings().snap.bTimeStamp = 0;
    f->OnCommand(CCameraFrame::ID_CAMERA_SNAP);
    ASSERT_TRUE(PumpUntil([this] { return Announced().size() == 1; }, 10000));
    SimCamUnplug();
    ASSERT_TRUE(PumpUntil([this] { return !Frame(); }));

    // A recording is finished and announced although its window goes.
    SimCamPlug();
    f = Relaunch();
    ASSERT_TRUE(f);
    ASSERT_TRUE(PumpUntil([f] { return f->Controller().IsIdle(); }, 3000));
    f->Settings().video.bConfig = 0;
    prompts.fileNames.push_back(Shots() + "clip.avi");
    f->OnCommand(CCameraFrame::ID_CAMERA_RECORD);
    ASSERT_EQ(f->m_bRecording, 1);
    EXPECT_EQ(f->Controller().Mode(), CCameraFrameController::kModeRecording);
    ASSERT_TRUE(PumpUntil([f] { return f->View()->RecordedFrames() >= 3; }, 10000));
    SimCamUnplug();
    ASSERT_TRUE(PumpUntil([this] { return !Frame(); }));
    ASSERT_TRUE(PumpUntil([this] { return Announced().contains(Shots() + "clip.avi"); }, 10000));
    EXPECT_GT(QFileInfo(Shots() + "clip.avi").size(), 0);
}

TEST_F(CameraFrameTest, WithoutACameraTheLaunchSaysSo) {
    SimCamUnplug();
    app = std::make_unique<CPelidorApp>(ProfilePath());
    ASSERT_TRUE(app->InitInstance({"-nologo"}));
    ASSERT_TRUE(PumpUntil([this] { return prompts.messages.contains("No Camera!"); }));
    EXPECT_FALSE(Frame());
}

TEST_F(CameraFrameTest, ACameraThisUserMayNotOpenIsNamedWithTheRulesThatGrantIt) {
    SimCamSetOpenRefused(true);
    ASSERT_TRUE(StartApp());
    auto refusal = [this] { return prompts.messages.filter("no permission"); };
    ASSERT_TRUE(PumpUntil([&] { return !refusal().isEmpty(); })) << prompts.messages.join("; ").toStdString();
    const QString text = refusal().value(0);
    EXPECT_TRUE(text.contains("0547:C003")) << text.toStdString();
    EXPECT_TRUE(text.contains("70-quillory-cameras.rules")) << text.toStdString();
    EXPECT_TRUE(text.contains("plug it in again")) << text.toStdString();
    EXPECT_FALSE(prompts.messages.contains("No Camera!"));
    EXPECT_TRUE(PumpUntil([this] { return !Frame(); })) << "the window without a camera goes";
    // Once the rules are in place the camera opens.
    SimCamSetOpenRefused(false);
    ASSERT_TRUE(Relaunch());
    EXPECT_EQ(refusal().size(), 1);
}

TEST_F(DSCameraTest, LaunchOfAVideoDeviceGoesThroughTheChooser) {
    SetEnv("QUILLORY_SIMULATED_CAMERA", "webcam");
    AddPattern("Pattern", {{32, 16}});
    // OK without a choice opens nothing (not device 255).
    prompts.onDialog = [](QDialog* d) {
        if (d->windowTitle() != "Select DSCamera") return int(QDialog::Rejected);
        d->accept();
        return int(QDialog::Accepted);
    };
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(PumpUntil([this] { return prompts.dialogs.contains("Select DSCamera"); }));
    Pump(50);
    EXPECT_FALSE(app->MainFrame()->m_pCameraFrame);
    EXPECT_FALSE(prompts.messages.contains("No Camera!"));
    // Cancel opens nothing either.
    prompts.onDialog = {};
    SendMessage(app->MainFrame()->GetSafeHwnd(), WM_CAMERA_CREATEFRAME, 0, 0);
    EXPECT_EQ(prompts.dialogs.count("Select DSCamera"), 2);
    EXPECT_FALSE(app->MainFrame()->m_pCameraFrame);
    // The chosen device opens.
    prompts.onDialog = [](QDialog* d) {
        auto* dlg = dynamic_cast<CSelectDSCameraDlg*>(d);
        if (!dlg) return int(QDialog::Rejected);
        dlg->Combo()->setCurrentIndex(0);
        dlg->accept();
        return int(QDialog::Accepted);
    };
    SendMessage(app->MainFrame()->GetSafeHwnd(), WM_CAMERA_CREATEFRAME, 0, 0);
    CDSCameraFrame* f = Frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Device(), 0);
    EXPECT_EQ(f->Settings().nCameraId, 0);
    EXPECT_TRUE(PumpUntil([f] { return f->IsOpen(); }));
    EXPECT_EQ(f->View()->ImageWidth(), 32);
    // The chooser's closing hands the activation back to the main window: the webcam window
    // still ends up in front.
    app->MainFrame()->activateWindow();
    EXPECT_TRUE(PumpUntil([f] { return f->isActiveWindow(); }, 2000));
    // A second launch only raises it.
    SendMessage(app->MainFrame()->GetSafeHwnd(), WM_CAMERA_CREATEFRAME, 0, 0);
    EXPECT_EQ(prompts.dialogs.count("Select DSCamera"), 3);
    EXPECT_EQ(Frame(), f);
}

}  // namespace
