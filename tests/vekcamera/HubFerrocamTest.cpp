// The hub in front of the real model driver (id 28) and the simulated camera: detection, Init,
// grabbing and decoding through the hub's frame callback, and the id-28 rules of the hub.
// The driver's header first: it declares the result codes the hub's header then leaves alone.
#include "ferrocam/ferrocam.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "HubTestSupport.h"
#include "scopedenv.h"
#include "simcam.h"

namespace {

class HubFerrocam : public HubTest {
protected:
    void SetUp() override {
        HubTest::SetUp();
        env_.Set("QUILLORY_SIMULATED_CAMERA", "1");
        env_.Set("XDG_CONFIG_HOME", config_.Path().string());  // the driver's parameter teams
        SimCamReset();
        SimCamSetRealTime(false);
        SimCamPlug();
        VekCamera_ReflashCamera();
    }
    void TearDown() override {
        VekCamera_SetCamera(28);
        VekCameraUnInit();
        SimCamUnplug();
        env_.Restore();
        HubTest::TearDown();
    }

    TempDir config_;
    ScopedEnv env_;
};

TEST_F(HubFerrocam, DetectsInitsGrabsAndDecodesThroughTheHub) {
    const CameraIdInfo info = VekCameraGetCameraID();
    ASSERT_EQ(info.cameraId, 28);
    EXPECT_STREQ(info.name, "LUMO-28");

    ASSERT_EQ(VekCameraInit(4, nullptr, nullptr), CAMERA_OK);  // 640 × 480
    int w = 0, h = 0;
    ASSERT_EQ(VekCameraGetImageSize(&w, &h), CAMERA_OK);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);

    std::vector<BYTE> raw(2u * w * h + 512);
    ASSERT_EQ(VekCameraGrabFrame(raw.data()), CAMERA_OK);
    std::vector<BYTE> warmUp(3u * w * h), plain(3u * w * h), negative(3u * w * h);
    ASSERT_EQ(VekCameraDecode(raw.data(), warmUp.data(), w, h), CAMERA_OK);
    ASSERT_EQ(VekCameraDecode(raw.data(), plain.data(), w, h), CAMERA_OK);
    VekCameraWhite2Black(1);
    ASSERT_EQ(VekCameraDecode(raw.data(), negative.data(), w, h), CAMERA_OK);
    VekCameraWhite2Black(0);
    // The hub's callback turned the same frame into its negative, in place, before the driver
    // finished with it.
    size_t mismatches = 0;
    for (size_t i = 0; i < plain.size(); ++i)
        mismatches += negative[i] != static_cast<BYTE>(255 - plain[i]);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_NE(std::count(plain.begin(), plain.end(), 0), static_cast<long>(plain.size())) << "a real picture";

    EXPECT_EQ(VekCameraUnInit(), CAMERA_OK);
    EXPECT_EQ(VekCameraGrabFrame(raw.data()), CAMERA_NODEVICE) << "driver results pass through";
}

TEST_F(HubFerrocam, SettingsReachTheDriverWithItsOwnWidths) {
    ASSERT_EQ(VekCameraInit(4, nullptr, nullptr), CAMERA_OK);
    EXPECT_EQ(VekCameraSetAeTarget(250), CAMERA_OK);
    EXPECT_EQ(VekCameraSetGamma(100), CAMERA_OK);
    EXPECT_EQ(VekCameraSetAnalogGain(50), CAMERA_OK);
    int target = 0, gamma = 0, gain = 0;
    EXPECT_EQ(VekCameraGetAeTarget(&target), CAMERA_OK);
    EXPECT_EQ(VekCameraGetGamma(&gamma), CAMERA_OK);
    EXPECT_EQ(VekCameraGetAnalogGain(&gain), CAMERA_OK);
    EXPECT_EQ(target, 200);
    EXPECT_EQ(gamma, 100);
    EXPECT_EQ(gain, 50);

    // Frame speed: unmapped for id 28, and the speed mode reads the same byte.
    EXPECT_EQ(VekCameraSetFrameSpeed(3), CAMERA_OK);
    BYTE speed = 0, mode = 0;
    EXPECT_EQ(VekCameraGetFrameSpeed(&speed), CAMERA_OK);
    EXPECT_EQ(VekCameraGetSpeedMode(&mode), CAMERA_OK);
    EXPECT_EQ(speed, 3);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(VekCameraSetSpeedMode(1), 0) << "not a speed-mode model";

    // The row time is the driver's float, truncated.
    float rowTime = 0;
    ASSERT_EQ(FerroCameraGetRowTime(&rowTime), CAMERA_OK);
    int hubRowTime = -1;
    EXPECT_EQ(VekCameraGetRowTime(&hubRowTime), CAMERA_OK);
    EXPECT_EQ(hubRowTime, static_cast<int>(std::trunc(rowTime)));

    EXPECT_EQ(VekCameraSetExposureTime(40), CAMERA_OK);
    int ms = -1;
    EXPECT_EQ(VekCameraGetExposureTime(&ms), CAMERA_OK);
    EXPECT_GE(ms, 39);
    EXPECT_LE(ms, 41);
    // An exposure that reads 0 is asked again a bounded number of times, then reported.
    EXPECT_EQ(VekCameraSetExposureTime(0), CAMERA_OK);
    ms = -1;
    EXPECT_EQ(VekCameraGetExposureTime(&ms), CAMERA_OK);
    EXPECT_EQ(ms, 0);

    EXPECT_EQ(VekCameraGetMaxExposureTime(), 0);
    std::vector<BYTE> out(3u * 640 * 480);
    EXPECT_EQ(VekCameraGetImageDataRGB24(out.data()), 0) << "the one driver id without it";
}

TEST_F(HubFerrocam, CaptureFileWritesTheDriversStills) {
    ASSERT_EQ(VekCameraInit(4, nullptr, nullptr), CAMERA_OK);
    TempDir dir;
    const std::string base = dir.File("still");
    EXPECT_EQ(VekCameraCaptureFile(base.c_str(), CAPTURE_FILE_BMP | CAPTURE_FILE_RAW, 4), CAMERA_OK);
    EXPECT_EQ(ReadFile(base + ".bmp").size(), 54u + 640u * 480u * 3u);
    EXPECT_TRUE(std::filesystem::exists(base + ".raw"));
}

TEST_F(HubFerrocam, GrabAndDecodeOnTwoThreadsRunSideBySideInRealTime) {
    // As the program's camera view: one thread grabs, the other decodes the newest frame.
    SimCamSetRealTime(true);
    ASSERT_EQ(VekCameraInit(4, nullptr, nullptr), CAMERA_OK);
    int w = 0, h = 0;
    ASSERT_EQ(VekCameraGetImageSize(&w, &h), CAMERA_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));  // Init's settings settle; earlier grabs retry
    std::vector<BYTE> grab(2u * w * h + 512), slot(grab.size()), shown(grab.size()), rgb(3u * w * h);
    std::mutex slotLock;
    bool ready = false;
    std::atomic<bool> stop{false};
    std::atomic<int> grabbed{0}, decoded{0};
    std::thread grabber([&] {
        while (!stop.load())
            if (VekCameraGrabFrame(grab.data()) == CAMERA_OK) {
                grabbed.fetch_add(1);
                std::lock_guard<std::mutex> g(slotLock);
                grab.swap(slot);
                ready = true;
            }
    });
    std::thread decoder([&] {
        while (!stop.load()) {
            bool have = false;
            {
                std::lock_guard<std::mutex> g(slotLock);
                std::swap(have, ready);
                if (have)
                    shown.swap(slot);
            }
            if (!have)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            else if (VekCameraDecode(shown.data(), rgb.data(), w, h) == CAMERA_OK)
                decoded.fetch_add(1);
        }
    });
    // Progress before a generous deadline, not a rate: both threads go on getting frames.
    const auto progress = [&](int grabs, int decodes) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while ((grabbed.load() < grabs || decoded.load() < decodes) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return grabbed.load() >= grabs && decoded.load() >= decodes;
    };
    EXPECT_TRUE(progress(8, 3));
    VekCameraWhite2Black(1);  // the hub's callback now asks for the size from inside the pipeline
    EXPECT_TRUE(progress(grabbed.load() + 7, decoded.load() + 2)) << "the decode thread starves";
    stop.store(true);
    grabber.join();
    decoder.join();
    VekCameraWhite2Black(0);
    SimCamSetRealTime(false);
    EXPECT_GE(grabbed.load(), 15);
    EXPECT_GE(decoded.load(), 5);
}

}  // namespace
