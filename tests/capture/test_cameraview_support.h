// Shared by the camera view's tests: the real hub on the simulated camera (id 28), a window
// that records the private messages it gets, and the prompt service of the tests.
#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "eventpump.h"
#include "fakeprompts.h"
#include "scopedenv.h"
#include "capture/cameradisplay.h"
#include "capture/regionchooser.h"
#include "capture/camerasettings.h"
#include "ui/msgbridge.h"
#include "platform/wintypes.h"

class CCameraView;

struct ViewMessage {
    UINT message;
    WPARAM wParam;
    bool hasText;
    std::string text;
};

class RecordingWindow : public QObject, public CMessageTarget {
public:
    RecordingWindow() { RegisterWindow(this); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Count(UINT message) const;
    std::vector<ViewMessage> Of(UINT message) const;
    std::vector<ViewMessage> messages;
    std::function<void(UINT, WPARAM, LPARAM)> onMessage;
};

// Picks a fixed rectangle, given in the display child's coordinates.
class FixedChooser : public IRegionChooser {
public:
    FixedChooser(const CCameraDisplay* display, RECT local) : display_(display), local_(local) {}
    bool ChooseRegion(const RECT& allowed, RECT* chosen) override {
        allowed_ = allowed;
        const QPoint o = display_->mapToGlobal(QPoint(0, 0));
        *chosen = RECT{local_.left + o.x(), local_.top + o.y(), local_.right + o.x(), local_.bottom + o.y()};
        ++calls;
        return true;
    }
    const CCameraDisplay* display_;
    RECT local_;
    RECT allowed_{};
    int calls = 0;
};

class CameraViewTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens the hub camera in a preview mode (4: 640 x 480, 0: full resolution).
    bool OpenCamera(int preview = 4);
    // A view attached to the recording windows, sized and shown, with its threads running.
    std::unique_ptr<CCameraView> StartView(int w = 640, int h = 480);
    std::string Dir() const { return work_.path().toStdString(); }

    CameraSettings settings_;
    RecordingWindow frame_;
    RecordingWindow main_;
    FakePrompts prompts_;
    CPromptService* oldPrompts_ = nullptr;
    QTemporaryDir work_;
    QTemporaryDir config_;
    std::string oldCwd_;
    ScopedEnv env_;
};
