// The engine under real timing: the simulated camera paces its reads like the sensor and the
// clock is the system's, so a lock held across a read shows up as a thread that starves.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

// The system's time, counting the reads: a grab reads the clock once as it starts, so the
// count is the number of grabs (and of anything else that polls the clock).
class CountingClock : public Clock {
public:
    uint64_t NowMs() override {
        reads.fetch_add(1);
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }
    void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    std::atomic<int> reads{0};
};

// A read on a gone camera waits 40 ms before it fails, so a loop that grabs again at once is
// paced by it; the bound allows twice as many. It holds however slow the machine (slowness
// only lowers a count), while a loop that does not wait grabs thousands of times.
int MostGrabsIn(std::chrono::steady_clock::duration d, int grabbers) {
    return grabbers * (static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()) / 20 + 4);
}

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
        // The settings sent at Init settle: a sleep lasts at least this long, however slow the machine.
        std::this_thread::sleep_for(250ms);
    }
    std::string Base(const char* name) const { return (out_ / name).string(); }

    fs::path out_;
    int width_ = 0, height_ = 0;
};

}  // namespace

TEST_F(RealTimeEngine, GrabAndDecodeOnTwoThreadsBothGetFrames) {
    InitAt(4);
    LiveView view(width_, height_);
    // A slow decode drops frames, never the grab: both threads go on getting frames.
    EXPECT_TRUE(WaitUntil([&] { return view.grabbed.load() >= 20 && view.decoded.load() >= 10; }, 30s));
    view.Stop();
    EXPECT_GE(view.grabbed.load(), 20);
    EXPECT_GE(view.decoded.load(), 10);
    EXPECT_EQ(view.failed.load(), 0);
}

TEST_F(RealTimeEngine, PlayShowsFramesAndACaptureWhilePlayingPlaysOn) {
    SetFerroWindowPort(&kPort);
    InitAt(4, kWindow);
    ASSERT_EQ(FerroCameraPlay(), 1);
    EXPECT_TRUE(WaitUntil([] { return g_frames.load() >= 10; }, 20s));
    EXPECT_GE(g_drawn.load(), 5);

    // A still at the engine's mode, then one at another mode: the play goes on after each.
    EXPECT_EQ(FerroCameraCaptureFile(Base("same").c_str(), CAPTURE_FILE_BMP, 4), CAMERA_OK);
    EXPECT_EQ(FerroCameraPlay(), 0);
    int before = g_frames.load();
    EXPECT_TRUE(WaitUntil([&] { return g_frames.load() >= before + 10; }, 20s));

    EXPECT_EQ(FerroCameraCaptureFile(Base("other").c_str(), CAPTURE_FILE_BMP, 3), CAMERA_OK);
    EXPECT_EQ(fs::file_size(out_ / "other.bmp"), 800u * 600u * 3u + 54u);
    before = g_frames.load();
    const int drawnBefore = g_drawn.load();
    EXPECT_TRUE(WaitUntil([&] { return g_frames.load() >= before + 10; }, 20s));
    EXPECT_GT(g_drawn.load(), drawnBefore);
    EXPECT_EQ(FerroCameraStop(), 1);
    EXPECT_TRUE(fs::exists(out_ / "same.bmp"));
}

TEST_F(RealTimeEngine, AModeSwitchHoldsTheLiveViewOnlyWhileItLasts) {
    InitAt(4);
    LiveView view(width_, height_);
    ASSERT_TRUE(WaitUntil([&] { return view.decoded.load() >= 3; }, 20s));
    // The view's buffers have the 640 x 480 size: a frame of the other size would overrun them.
    EXPECT_EQ(FerroCameraCaptureFile(Base("switch").c_str(), CAPTURE_FILE_RAW, 3), CAMERA_OK);
    EXPECT_EQ(fs::file_size(out_ / "switch.raw"), 800u * 600u);
    const int grabbed = view.grabbed.load(), decoded = view.decoded.load();
    EXPECT_TRUE(WaitUntil([&] { return view.grabbed.load() >= grabbed + 10 && view.decoded.load() >= decoded + 5; },
                          20s));
    view.Stop();
    // Held grabs wait rather than fail: only the frames of the settling time after the switch
    // come back as no frame, not a stream of instant refusals.
    EXPECT_LT(view.failed.load(), 100);
}

TEST_F(RealTimeEngine, UnpluggingDuringLiveViewFailsGrabsWithoutSpinning) {
    InitAt(4);
    LiveView view(width_, height_);
    ASSERT_TRUE(WaitUntil([&] { return view.decoded.load() >= 3; }, 20s));
    SimCamInjectFault(SimCamFault::UnplugDuringRead);
    ASSERT_TRUE(WaitUntil([] { return !SimCamIsPlugged(); }, 20s));
    ASSERT_TRUE(WaitUntil([&] { return view.failed.load() >= 1; }, 20s));

    // Counted, not timed against the CPU: each failed grab returns, but only after the gone
    // read's wait, so the caller's loop cannot spin through more failures than that allows.
    const int failedBefore = view.failed.load();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitUntil([&] { return view.failed.load() >= failedBefore + 5; }, 30s)) << "each grab returns";
    const int failures = view.failed.load() - failedBefore;
    EXPECT_LE(failures, MostGrabsIn(std::chrono::steady_clock::now() - start, 1))
        << "a grab that fails at once makes the caller's loop spin";

    EXPECT_EQ(FerroCameraUnInit(), CAMERA_OK);
    view.Stop();
}

TEST_F(RealTimeEngine, UnpluggingWhilePlayingNeitherSpinsNorHangs) {
    InitAt(4);
    ASSERT_EQ(FerroCameraPlay(), 1);
    ASSERT_TRUE(WaitUntil([] { return g_frames.load() >= 3; }, 20s));
    SimCamUnplug();
    // Every grab reads the clock as it starts: a capture loop that spins on the gone camera
    // grabs far more often than the gone read's wait allows; the display thread waits for
    // frames without polling the clock.
    CountingClock counting;
    Clock* system = SetClock(&counting);
    const auto start = std::chrono::steady_clock::now();
    // The bound below is built on the time that really passed until these grabs.
    EXPECT_TRUE(WaitUntil([&] { return counting.reads.load() >= 10; }, 30s)) << "the capture loop goes on";
    EXPECT_LE(counting.reads.load(), MostGrabsIn(std::chrono::steady_clock::now() - start, 1));

    // A still on the gone camera gives up at once rather than after all its attempts (the play
    // stops first: the still's grabs are the only ones).
    EXPECT_EQ(FerroCameraCaptureFile(Base("gone").c_str(), CAPTURE_FILE_BMP, 4), CAMERA_READFAIL);
    counting.reads.store(0);
    EXPECT_EQ(FerroCameraCaptureFile(Base("gone").c_str(), CAPTURE_FILE_BMP, 4), CAMERA_READFAIL);
    EXPECT_LE(counting.reads.load(), 10) << "grabs of one still on a gone camera (it may make 55)";
    EXPECT_FALSE(fs::exists(out_ / "gone.bmp"));
    SetClock(system);

    EXPECT_EQ(FerroCameraStop(), 1);
    EXPECT_EQ(FerroCameraUnInit(), CAMERA_OK);
}

TEST_F(RealTimeEngine, AGrabInALongExposureEndsSoonAfterTheExposureIsCut) {
    InitAt(4);
    ASSERT_EQ(FerroCameraSetFrameSpeed(4), 1);
    ASSERT_EQ(FerroCameraSetExposureTime(4000), 1);
    std::this_thread::sleep_for(250ms);  // the settings settle (a sleep lasts at least this long)
    std::vector<unsigned char> raw(SimCamFrameBytes());
    const auto start = std::chrono::steady_clock::now();
    std::thread cutter([] {
        EXPECT_TRUE(SimCamWaitForWaitingRead());  // the cut comes while the grab waits for the old exposure
        FerroCameraSetExposureTime(1);
    });
    const int result = FerroCameraGrabFrame(raw.data());
    const auto took = std::chrono::steady_clock::now() - start;
    cutter.join();
    // Against the old exposure, not a rate: only a grab that waited for it takes this long.
    EXPECT_LT(took, 3800ms) << "the grab waited for the old exposure";
    // The frame began before the cut settled: it is no frame, and the next one comes at the new time.
    EXPECT_NE(result, CAMERA_OK);
    std::this_thread::sleep_for(250ms);  // the cut settles (a sleep lasts at least this long)
    const auto next = std::chrono::steady_clock::now();
    EXPECT_EQ(FerroCameraGrabFrame(raw.data()), CAMERA_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - next, 3800ms) << "the frame came at the old exposure";
}
