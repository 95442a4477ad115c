#include "camerawindowtest.h"

#include <QDir>

#include "capture/cameraframe.h"
#include "simcam.h"
#include "ui/profile.h"
#include "vekcamera/VekCamera.h"

void CameraWindowTest::SetUp() {
    ASSERT_TRUE(dir.isValid());
    oldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    prompts.AnswerOk();
    oldPrompts = CPromptService::Replace(&prompts);
    SimCamReset();
    SimCamSetRealTime(false);
    SimCamPlug();
    env.Set("QUILLORY_SIMULATED_CAMERA", "1");
    env.Set("XDG_CONFIG_HOME", dir.filePath("config").toStdString());
    env.Set("HOME", dir.path().toStdString());
    CProfile profile(ProfilePath());
    profile.WriteProfileInt("LumoProf28", "Preview", 4);
}

void CameraWindowTest::TearDown() {
    host.reset();
    Pump();
    VekCamera_SetCamera(28);
    VekCameraUnInit();
    SimCamUnplug();
    SimCamSetRealTime(true);
    CPromptService::Replace(oldPrompts);
    QDir::setCurrent(oldDir);
    env.Restore();
}

CCameraFrame* CameraWindowTest::Frame() const {
    return host ? dynamic_cast<CCameraFrame*>(host->Frame()) : nullptr;
}

CCameraFrame* CameraWindowTest::Start() {
    host = std::make_unique<TestCameraHost>(ProfilePath());
    host->OpenCameraFrame();
    return WaitOpen();
}

CCameraFrame* CameraWindowTest::WaitOpen() {
    if (!PumpUntil([this] { return Frame() && Frame()->Controller().IsOpen(); })) return nullptr;
    return Frame();
}
