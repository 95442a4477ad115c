// The engine under real timing: the simulated camera paces its reads like the sensor and the
// clock is the system's, so a lock held across a read shows up as a thread that starves.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "ferrocam/ferrocam.h"
#include "ferrocam/windowport.h"
#include "ferrotestsupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::atomic<int> g_frames{0};
int CountFrames(unsigned char*) {
    g_frames.fetch_add(1);
    return 1;
}

HWND const kWindow = reinterpret_cast<HWND>(0x30);
std::atomic<int> g_drawn{0};
const FerroWindowPort kPort = {[](HWND) { return true; }, [](HWND, UINT, WPARAM, LPARAM) {},
                               [](HWND, const BITMAPINFOHEADER&, const BYTE*) { g_drawn.fetch_add(1); }};

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!pred() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(2ms);
    return pred();
}

// CPU seconds the whole process used (all threads).
double ProcessCpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// The program's live view: one thread grabs, the other decodes the newest frame handed over
// through one slot; a slow decode drops frames, never the grab.
class LiveView {
public:
    LiveView(int width, int height)
        : grab_(2u * width * height + 512), slot_(grab_.size()), shown_(grab_.size()),
          rgb_(3u * width * height), width_(width), height_(height) {
        grabber_ = std::thread([this] { GrabLoop(); });
        decoder_ = std::thread([this] { DecodeLoop(); });
    }
    ~LiveView() { Stop(); }
    void Stop() {
        stop_.store(true);
        if (grabber_.joinable())
            grabber_.join();
        if (decoder_.joinable())
            decoder_.join();
    }
    std::atomic<int> grabbed{0}, decoded{0}, failed{0};

private:
    void GrabLoop() {
        while (!stop_.load()) {
            if (FerroCameraGrabFrame(grab_.data()) != CAMERA_OK) {
                failed.fetch_add(1);
                continue;
            }
            grabbed.fetch_add(1);
            std::lock_guard<std::mutex> g(slotLock_);
            grab_.swap(slot_);
            ready_ = true;
        }
    }
    void DecodeLoop() {
        while (!stop_.load()) {
            bool have = false;
            {
                std::lock_guard<std::mutex> g(slotLock_);
                if (ready_) {
                    shown_.swap(slot_);
                    ready_ = false;
                    have = true;
                }
            }
            if (!have) {
                std::this_thread::sleep_for(2ms);
                continue;
            }
            if (FerroCameraDecode(shown_.data(), rgb_.data(), width_, height_, 1) == CAMERA_OK)
                decoded.fetch_add(1);
        }
    }

    std::vector<BYTE> grab_, slot_, shown_, rgb_;
    int width_, height_;
    std::mutex slotLock_;
    bool ready_ = false;
    std::atomic<bool> stop_{false};
    std::thread grabber_, decoder_;
};

class RealTimeEngine : public SimulatedCameraTest {
protected:
    void SetUp() override {
        SimulatedCameraTest::SetUp();
        SetClock(previous_);  // the system clock: settle times and sleeps really pass
        SimCamSetRealTime(true);
        g_frames.store(0);
        g_drawn.store(0);
        out_ = config_ / "out";
        fs::create_directories(out_);
    }
    void TearDown() override {
        FerroCameraStop();
        FerroCameraUnInit();
        SetFerroWindowPort(nullptr);
        SimCamSetRealTime(false);
        SimulatedCameraTest::TearDown();
    }
    void InitAt(int mode, HWND window = nullptr) {
        ASSERT_EQ(FerroCameraInit(&CountFrames, mode, window, nullptr), CAMERA_OK);
        FerroCameraGetImageSize(&width_, &height_);
        std::this_thread::sleep_for(250ms);  // the settings sent at Init settle
    }
    std::string Base(const char* name) const { return (out_ / name).string(); }

    fs::path out_;
    int width_ = 0, height_ = 0;
};

}  // namespace

TEST_F(RealTimeEngine, GrabAndDecodeOnTwoThreadsBothGetFrames) {
    InitAt(4);
    LiveView view(width_, height_);
    std::this_thread::sleep_for(1500ms);
    view.Stop();
    // About 60 frames a second come in; a slow decode drops some, but a good share is shown.
    EXPECT_GE(view.grabbed.load(), 20);
    EXPECT_GE(view.decoded.load(), 10);
    EXPECT_GE(view.decoded.load() * 5, view.grabbed.load());
}

TEST_F(RealTimeEngine, PlayShowsFramesAndACaptureWhilePlayingPlaysOn) {
    SetFerroWindowPort(&kPort);
    InitAt(4, kWindow);
    ASSERT_EQ(FerroCameraPlay(), 1);
    EXPECT_TRUE(WaitUntil([] { return g_frames.load() >= 10; }, 3000ms));
    EXPECT_GE(g_drawn.load(), 5);

    // A still at the engine's mode, then one at another mode: the play goes on after each.
    EXPECT_EQ(FerroCameraCaptureFile(Base("same").c_str(), CAPTURE_FILE_BMP, 4), CAMERA_OK);
    EXPECT_EQ(FerroCameraPlay(), 0);
    int before = g_frames.load();
    EXPECT_TRUE(WaitUntil([&] { return g_frames.load() >= before + 10; }, 3000ms));

    EXPECT_EQ(FerroCameraCaptureFile(Base("other").c_str(), CAPTURE_FILE_BMP, 3), CAMERA_OK);
    EXPECT_EQ(fs::file_size(out_ / "other.bmp"), 800u * 600u * 3u + 54u);
    before = g_frames.load();
    const int drawnBefore = g_drawn.load();
    EXPECT_TRUE(WaitUntil([&] { return g_frames.load() >= before + 10; }, 3000ms));
    EXPECT_GT(g_drawn.load(), drawnBefore);
    EXPECT_EQ(FerroCameraStop(), 1);
    EXPECT_TRUE(fs::exists(out_ / "same.bmp"));
}

TEST_F(RealTimeEngine, AModeSwitchHoldsTheLiveViewOnlyWhileItLasts) {
    InitAt(4);
    LiveView view(width_, height_);
    ASSERT_TRUE(WaitUntil([&] { return view.decoded.load() >= 3; }, 3000ms));
    // The view's buffers have the 640 x 480 size: a frame of the other size would overrun them.
    EXPECT_EQ(FerroCameraCaptureFile(Base("switch").c_str(), CAPTURE_FILE_RAW, 3), CAMERA_OK);
    EXPECT_EQ(fs::file_size(out_ / "switch.raw"), 800u * 600u);
    const int grabbed = view.grabbed.load(), decoded = view.decoded.load();
    EXPECT_TRUE(WaitUntil([&] { return view.grabbed.load() >= grabbed + 10 && view.decoded.load() >= decoded + 5; },
                          3000ms));
    view.Stop();
    // Held grabs wait rather than fail: only the frames of the settling time after the switch
    // come back as no frame, not a stream of instant refusals.
    EXPECT_LT(view.failed.load(), 100);
}

TEST_F(RealTimeEngine, UnpluggingDuringLiveViewFailsGrabsWithoutSpinning) {
    InitAt(4);
    LiveView view(width_, height_);
    ASSERT_TRUE(WaitUntil([&] { return view.decoded.load() >= 3; }, 3000ms));
    SimCamInjectFault(SimCamFault::UnplugDuringRead);
    ASSERT_TRUE(WaitUntil([] { return !SimCamIsPlugged(); }, 2000ms));
    ASSERT_TRUE(WaitUntil([&] { return view.failed.load() >= 1; }, 2000ms));

    // Counted, not timed against the CPU: a grab that fails at once makes the caller's loop
    // spin through thousands of failures in this time.
    const int failedBefore = view.failed.load();
    std::this_thread::sleep_for(600ms);
    const int failures = view.failed.load() - failedBefore;
    EXPECT_GE(failures, 2) << "each grab returns";
    EXPECT_LT(failures, 200) << "a grab that fails at once makes the caller's loop spin";

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FerroCameraUnInit(), CAMERA_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    view.Stop();
}

TEST_F(RealTimeEngine, UnpluggingWhilePlayingNeitherSpinsNorHangs) {
    InitAt(4);
    ASSERT_EQ(FerroCameraPlay(), 1);
    ASSERT_TRUE(WaitUntil([] { return g_frames.load() >= 3; }, 3000ms));
    SimCamUnplug();
    std::this_thread::sleep_for(100ms);
    // A spinning capture loop takes a whole core; the engine's own waiting threads, even under
    // a sanitizer's slowdown, take well under three quarters of one.
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(600ms);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.45) << "seconds of CPU in 0.6 s";

    // A still on the gone camera gives up at once rather than after all its attempts.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FerroCameraCaptureFile(Base("gone").c_str(), CAPTURE_FILE_BMP, 4), CAMERA_READFAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(fs::exists(out_ / "gone.bmp"));

    start = std::chrono::steady_clock::now();
    EXPECT_EQ(FerroCameraStop(), 1);
    EXPECT_EQ(FerroCameraUnInit(), CAMERA_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(RealTimeEngine, AGrabInALongExposureEndsSoonAfterTheExposureIsCut) {
    InitAt(4);
    ASSERT_EQ(FerroCameraSetFrameSpeed(4), 1);
    ASSERT_EQ(FerroCameraSetExposureTime(4000), 1);
    std::this_thread::sleep_for(250ms);
    std::vector<unsigned char> raw(SimCamFrameBytes());
    const auto start = std::chrono::steady_clock::now();
    std::thread cutter([] {
        std::this_thread::sleep_for(300ms);
        FerroCameraSetExposureTime(1);
    });
    const int result = FerroCameraGrabFrame(raw.data());
    const auto took = std::chrono::steady_clock::now() - start;
    cutter.join();
    EXPECT_LT(took, 1500ms) << "the grab waited for the old exposure";
    // The frame began before the cut settled: it is no frame, and the next one comes at the new time.
    EXPECT_NE(result, CAMERA_OK);
    std::this_thread::sleep_for(250ms);
    const auto next = std::chrono::steady_clock::now();
    EXPECT_EQ(FerroCameraGrabFrame(raw.data()), CAMERA_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - next, 500ms);
}
