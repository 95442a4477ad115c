// Shared set-up for the driver's tests: the simulated camera plugged in and reset, a manual
// clock (so settings' sleeps cost nothing), and the registry in a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "outside/simcam/simcam.h"
#include "platform/clock.h"
#include "platform/usbtransport.h"
#include "scopedenv.h"

class SimulatedCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.Set("QUILLORY_SIMULATED_CAMERA", "1");
        // The driver links no camera of its own: the program's hub installs this factory.
        previousFactory_ = SetSimulatedUsbTransportFactory(&SimCamCreateTransport);
        config_ = std::filesystem::temp_directory_path() /
                  ("ferrocam_cfg_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(config_);
        std::filesystem::create_directories(config_);
        env_.Set("XDG_CONFIG_HOME", config_.string());
        SimCamPlug();
        SimCamReset();
        SimCamSetRealTime(false);
        previous_ = SetClock(&clock_);
    }
    void TearDown() override {
        SetClock(previous_);
        SetSimulatedUsbTransportFactory(previousFactory_);
        SimCamReset();
        SimCamPlug();
        std::filesystem::remove_all(config_);
        env_.Restore();
    }
    // Lets a setting settle (the device refuses frames for 200 ms after one).
    void Settle() { clock_.Advance(250); }

    ManualClock clock_;
    Clock* previous_ = nullptr;
    UsbTransportFactory previousFactory_ = nullptr;
    std::filesystem::path config_;
    ScopedEnv env_;
};
