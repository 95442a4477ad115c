#include "test_cameraview_support.h"

#include <unistd.h>

#include "capture/cameraview.h"
#include "ui/messages.h"
#include "simcam.h"
#include "vekcamera/VekCamera.h"

LRESULT RecordingWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    ViewMessage m{message, wParam, false, {}};
    if ((message == WM_CAMERA_STATUSTEXT || message == WM_CAMERA_FILESAVED) && lParam) {
        m.hasText = true;
        m.text = reinterpret_cast<const char*>(lParam);
    }
    messages.push_back(m);
    if (onMessage)
        onMessage(message, wParam, lParam);
    return 0;
}

int RecordingWindow::Count(UINT message) const { return static_cast<int>(Of(message).size()); }

std::vector<ViewMessage> RecordingWindow::Of(UINT message) const {
    std::vector<ViewMessage> out;
    for (const auto& m : messages)
        if (m.message == message)
            out.push_back(m);
    return out;
}

void CameraViewTest::SetUp() {
    ASSERT_TRUE(work_.isValid() && config_.isValid());
    char cwd[4096];
    oldCwd_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
    ASSERT_EQ(chdir(work_.path().toUtf8().constData()), 0);
    env_.Set("QUILLORY_SIMULATED_CAMERA", "1");
    env_.Set("XDG_CONFIG_HOME", config_.path().toStdString());
    prompts_.AnswerOk();
    oldPrompts_ = CPromptService::Replace(&prompts_);
    SimCamReset();
    SimCamSetRealTime(false);
    SimCamPlug();
    VekCamera_SetCamera(28);
    settings_.nCameraId = 28;
    settings_.byPreviewRes = 4;
    settings_.byCaptureRes = 4;
}

void CameraViewTest::TearDown() {
    VekCamera_SetCamera(28);
    VekCameraUnInit();
    SimCamUnplug();
    Pump(20);
    CPromptService::Replace(oldPrompts_);
    if (chdir(oldCwd_.c_str()) != 0)
        ADD_FAILURE() << "cannot return to " << oldCwd_;
}

bool CameraViewTest::OpenCamera(int preview) {
    settings_.byPreviewRes = static_cast<BYTE>(preview);
    settings_.byCaptureRes = static_cast<BYTE>(preview);
    return VekCameraInit(preview, nullptr, nullptr) == CAMERA_OK;
}

std::unique_ptr<CCameraView> CameraViewTest::StartView(int w, int h) {
    auto view = std::make_unique<CCameraView>();
    view->SetFrameWindow(frame_.GetSafeHwnd());
    view->SetMainWindow(main_.GetSafeHwnd());
    view->resize(w, h);
    view->show();
    if (!view->Init(&settings_))
        return nullptr;
    return view;
}
