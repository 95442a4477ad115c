// Fixture of the tests that open the camera window of the simulated camera (id 28) as the
// program's launch does: a temporary working folder, profile and HOME, the small preview mode,
// prompts answered by the test, and the hub closed again afterwards.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

#include "eventpump.h"
#include "fakeprompts.h"
#include "scopedenv.h"
#include "testcamerahost.h"

class CCameraFrame;

class CameraWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    QString ProfilePath() const { return dir.filePath("config/Quillory/Quillory.ini"); }
    CCameraFrame* Frame() const;
    // Opens the camera window through the host; null when it is not open before the deadline.
    CCameraFrame* Start();
    CCameraFrame* WaitOpen();

    QTemporaryDir dir;
    QString oldDir;
    ScopedEnv env;
    FakePrompts prompts;
    CPromptService* oldPrompts = nullptr;
    std::unique_ptr<TestCameraHost> host;
};
