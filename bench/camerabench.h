// The whole program on the simulated camera (hub camera id 28, the sensor's real pacing) for
// the camera benchmarks, driven only as a user or the system would: the main frame's launch
// message, the camera window's commands and private messages by id, its close button. Nothing
// here reaches into the camera window's members, so the benchmarks measure any design of it.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "capture/cameradisplay.h"
#include "simcam.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "ui/profile.h"
#include "ui/promptservice.h"
#include "vekcamera/VekCamera.h"

namespace camerabench {

// The camera window's command ids, as its toolbar sends them.
constexpr UINT kCmdSnap = 1230;
constexpr UINT kCmdRecord = 1234;

// Nobody answers prompts in a benchmark: every box is taken as OK, every dialog as cancelled.
class SilentPrompts : public CPromptService {
public:
    int MessageBox(QWidget*, const QString& text, const QString&, int) override {
        messages << text;
        return IDOK;
    }
    bool FileDialog(QWidget*, FileDialogRequest&) override { return false; }
    int DoModal(QDialog*) override { return 0; }
    QStringList messages;
};

// Delivers what is due, waiting at most a few milliseconds when nothing is.
inline void PumpOnce() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    PumpPrivateMessages();
}

template <class Pred>
bool PumpUntil(Pred done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        PumpOnce();
    }
    return true;
}

inline void PumpFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) PumpOnce();
}

// The program started on a temporary profile and folder; `configure` writes the profile first.
class Program {
public:
    template <class Configure>
    explicit Program(Configure configure) {
        oldDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        QDir(dir_.path()).mkpath("shots");
        setenv("QUILLORY_SIMULATED_CAMERA", "1", 1);
        setenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8().constData(), 1);
        setenv("HOME", dir_.path().toUtf8().constData(), 1);
        SimCamReset();
        SimCamSetRealTime(true);
        SimCamPlug();
        oldPrompts_ = CPromptService::Replace(&prompts_);
        {
            CProfile profile(ProfilePath());
            profile.WriteProfileString("FileSave", "sPath", Shots());
            profile.WriteProfileString("VideoSave", "sPath", Shots());
            configure(profile);
        }
        app_ = std::make_unique<CPelidorApp>(ProfilePath());
        started_ = app_->InitInstance({"-nologo"});
    }
    ~Program() {
        if (app_) app_->ExitInstance();
        app_.reset();
        PumpFor(50);
        VekCamera_SetCamera(28);
        VekCameraUnInit();
        SimCamUnplug();
        CPromptService::Replace(oldPrompts_);
        QDir::setCurrent(oldDir_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return started_; }
    CMainFrame* Main() const { return app_ ? app_->MainFrame() : nullptr; }
    HWND MainHandle() const { return Main()->GetSafeHwnd(); }
    QWidget* CameraWindow() const { return Main() ? Main()->m_pCameraFrame.data() : nullptr; }
    HWND CameraHandle() const {
        auto* target = dynamic_cast<CMessageTarget*>(CameraWindow());
        return target ? target->GetSafeHwnd() : nullptr;
    }
    // The live picture's widget in the open camera window, or null.
    CCameraDisplay* Display() const {
        QWidget* w = CameraWindow();
        if (!w) return nullptr;
        // The display has no meta-object of its own, so findChild cannot tell it apart.
        for (QWidget* child : w->findChildren<QWidget*>())
            if (auto* display = dynamic_cast<CCameraDisplay*>(child)) return display;
        return nullptr;
    }
    uint64_t FramesPainted() const {
        CCameraDisplay* d = Display();
        return d ? d->PaintedFrames() : 0;
    }
    // Every file the camera window announced to the main frame.
    const QStringList& Announced() const { return Main()->CameraFiles(); }
    const SilentPrompts& Prompts() const { return prompts_; }
    QString Shots() const { return dir_.filePath("shots/"); }

    // Waits for the camera window to be open and showing frames.
    bool WaitShowing(int timeoutMs = 20000) {
        return PumpUntil([this] { return FramesPainted() > 0; }, timeoutMs);
    }
    // Closes the camera window as its close button does and waits until it is gone.
    bool CloseCamera(int timeoutMs = 20000) {
        QPointer<QWidget> w = CameraWindow();
        if (w) w->close();
        return PumpUntil([&] { return !w && !CameraWindow(); }, timeoutMs);
    }

private:
    QString ProfilePath() const { return dir_.filePath("cfg/Quillory.ini"); }

    QTemporaryDir dir_;
    QString oldDir_;
    SilentPrompts prompts_;
    CPromptService* oldPrompts_ = nullptr;
    std::unique_ptr<CPelidorApp> app_;
    bool started_ = false;
};

}  // namespace camerabench
