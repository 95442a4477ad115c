// Base of the tests on the stand-in model drivers: a model's defaults with its camera selected in
// the hub, and the stubs' records cleared around each test.
#pragma once

#include <gtest/gtest.h>

#include "LumoStubHook.h"
#include "capture/camerasettings.h"
#include "vekcamera/VekCamera.h"

class StubModelTest : public ::testing::Test {
protected:
    void SetUp() override { lumostub::Reset(); }
    void TearDown() override {
        VekCamera_SetCamera(CAMERA_ID_NONE);
        lumostub::Reset();
    }
    // The model's defaults with the camera selected in the hub.
    CameraSettings Model(int id, bool longExposure) {
        VekCamera_SetCamera(id);
        lumostub::Reset();
        CameraSettings s;
        s.nCameraId = id;
        s.bLongExposure = longExposure ? 1 : 0;
        EXPECT_EQ(FillCameraModelInfo(s), 1);
        return s;
    }
};
