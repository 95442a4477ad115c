// Camera id 0: the hub's own path to an ordinary video-input device, run on test-pattern
// devices.
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "HubTestSupport.h"
#include "VideoDevice.h"
#include "platform/le.h"
#include "vekcamera/HubGui.h"

namespace {

class RecordingCombo : public IHubComboBox {
public:
    int AddString(const char* text) override {
        items.emplace_back(text);
        return 0;
    }
    int SetCurSel(int index) override { return selected = index; }
    std::vector<std::string> items;
    int selected = -1;
};

class RecordingVideoWindow : public IHubVideoWindow {
public:
    void GetClientSize(int* width, int* height) override {
        *width = 320;
        *height = 200;
    }
    void PresentFrame(const BYTE* bgr24, int width, int height, size_t stride) override {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (bgr24 && height > 0)
                lastFrame.assign(bgr24, bgr24 + stride * static_cast<size_t>(height));
            lastStride = stride;
        }
        frames++;
        lastWidth = width;
        lastHeight = height;
    }
    void PlaceVideo(int x, int y, int width, int height, bool visible) override {
        placed = {x, y, width, height};
        shown = visible;
    }
    std::atomic<int> frames{0};
    std::atomic<int> lastWidth{0};
    std::atomic<int> lastHeight{0};
    std::vector<int> placed;
    bool shown = false;
    std::mutex lock;
    std::vector<uint8_t> lastFrame;
    size_t lastStride = 0;
};

const char* kPreviewFailed =
    "Can't build the preview-graph!Maybe another application is using the capture device.";

class HubVideoDevice : public HubTest {
protected:
    void SetUp() override {
        HubTest::SetUp();
        videodev::SetSystemDevicesHidden(true);
        videodev::RemoveTestPatternDevices();
        Select(CAMERA_ID_DIRECTSHOW);
    }
    void TearDown() override {
        VekCamera_SetCamera(CAMERA_ID_DIRECTSHOW);
        VekCameraUnInit();
        videodev::RemoveTestPatternDevices();
        videodev::SetSystemDevicesHidden(false);
        HubTest::TearDown();
    }
};

// A generous deadline (20 s): a passing test returns as soon as the condition holds.
bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 2000; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(HubVideoDevice, CallsWithoutACaptureObjectReportNoDevice) {
    EXPECT_EQ(VekCameraPlay(), CAMERA_NODEVICE);
    EXPECT_EQ(VekCameraStop(), CAMERA_NODEVICE);
    EXPECT_EQ(VekCameraCaptureFile("/tmp/x", CAPTURE_FILE_BMP, 1), CAMERA_NODEVICE);
    EXPECT_EQ(VekCameraUnInit(), CAMERA_NODEVICE);
    // The driver exports answer id 0 with their defaults.
    BYTE raw[4];
    int w = 0, h = 0;
    EXPECT_EQ(VekCameraGrabFrame(raw), 0);
    EXPECT_EQ(VekCameraGetImageSize(&w, &h), 0);
    EXPECT_TRUE(lumostub::Calls().empty());
}

TEST_F(HubVideoDevice, DeviceListStartsWithSupportCamera) {
    RecordingCombo empty;
    VekCamera_Registerpixel(HubComboBoxHandle(&empty));
    EXPECT_EQ(empty.items, std::vector<std::string>{"Support Camera"});

    videodev::AddTestPatternDevice("Pattern A", 64, 48);
    videodev::AddTestPatternDevice("", 64, 48);  // no friendly name: not listed
    videodev::AddTestPatternDevice("Pattern B", 32, 16);
    RecordingCombo combo;
    VekCamera_Registerpixel(HubComboBoxHandle(&combo));
    EXPECT_EQ(combo.items, (std::vector<std::string>{"Support Camera", "Pattern A", "Pattern B"}));
    EXPECT_EQ(combo.selected, -1);
}

TEST_F(HubVideoDevice, InitBuildsOnceAndAFailedBuildIsNotRetriedBeforeUnInit) {
    videodev::AddTestPatternDevice("Pattern A", 64, 48);
    // List position 0 is "Support Camera": it asks for device 255, which is not there.
    EXPECT_EQ(VekCameraInit(0, nullptr, nullptr), 0);
    EXPECT_EQ(HostMessages(), std::vector<std::string>{kPreviewFailed});
    EXPECT_EQ(VekCameraInit(1, nullptr, nullptr), 0);
    EXPECT_EQ(HostMessages().size(), 1u);
    // Play on the failed graph says so, and still answers 1.
    EXPECT_EQ(VekCameraPlay(), 1);
    EXPECT_EQ(HostMessages().back(), "Couldn't run the graph!");

    EXPECT_EQ(VekCameraUnInit(), 1);
    EXPECT_EQ(VekCameraInit(1, nullptr, nullptr), 1);
    EXPECT_EQ(VekCameraInit(1, nullptr, nullptr), 0);
}

TEST_F(HubVideoDevice, DeviceNumberIsTheListPositionLessOneInItsLowByte) {
    videodev::AddTestPatternDevice("Pattern A", 64, 48);
    // Position 257 wraps to device 0.
    EXPECT_EQ(VekCameraInit(257, nullptr, nullptr), 1);
    EXPECT_EQ(VekCameraUnInit(), 1);
    // The lowest int wraps to device 255, which is not there, instead of overflowing.
    EXPECT_EQ(VekCameraInit(INT_MIN, nullptr, nullptr), 0);
    EXPECT_EQ(HostMessages(), std::vector<std::string>{kPreviewFailed});
}

TEST_F(HubVideoDevice, TheWindowGetsPaddedRowsWithTheirStride) {
    // 42 pixels make 126 bytes, padded to 128 in the bitmap layout the device delivers.
    videodev::AddTestPatternDevice("Pattern A", 42, 6);
    RecordingVideoWindow window;
    ASSERT_EQ(VekCameraInit(1, HubVideoWindowHandle(&window), nullptr), 1);
    ASSERT_EQ(VekCameraPlay(), 1);
    ASSERT_TRUE(WaitFor([&] { return window.frames > 0; }));
    EXPECT_EQ(VekCameraUnInit(), 1);  // the hub lets the window go before it does
    std::lock_guard<std::mutex> guard(window.lock);
    ASSERT_EQ(window.lastStride, 128u);
    ASSERT_EQ(window.lastFrame.size(), 128u * 6u);
    // The pattern is the same on every row: read with the stride, each row repeats the first.
    for (size_t row = 1; row < 6; ++row)
        EXPECT_TRUE(std::equal(window.lastFrame.begin(), window.lastFrame.begin() + 126,
                               window.lastFrame.begin() + row * 128))
            << row;
}

TEST_F(HubVideoDevice, TheHostMayCallTheHubWhileAMessageIsShown) {
    // A message box runs the host's event loop, from which the camera window may well call the
    // hub again.
    std::vector<int> answers;
    SetHostMessageHook([&] { answers.push_back(VekCameraStop()); });
    EXPECT_EQ(VekCameraInit(1, nullptr, nullptr), 0);  // no device
    EXPECT_EQ(VekCameraPlay(), 1);                     // "Couldn't run the graph!"
    EXPECT_EQ(HostMessages().size(), 2u);
    EXPECT_EQ(answers, (std::vector<int>{1, 1}));
}

TEST_F(HubVideoDevice, AWindowThatThrowsNeitherEndsTheStreamNorLosesTheSnapshot) {
    class ThrowingWindow : public RecordingVideoWindow {
    public:
        void PresentFrame(const BYTE*, int, int, size_t) override {
            ++frames;
            throw std::runtime_error("window gone");
        }
    } window;
    videodev::AddTestPatternDevice("Pattern A", 16, 8);
    ASSERT_EQ(VekCameraInit(1, HubVideoWindowHandle(&window), nullptr), 1);
    ASSERT_EQ(VekCameraPlay(), 1);
    ASSERT_TRUE(WaitFor([&] { return window.frames >= 2; }));
    TempDir dir;
    const std::string base = dir.File("snap");
    EXPECT_EQ(VekCameraCaptureFile(base.c_str(), CAPTURE_FILE_BMP, 1), 1);
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(base + ".bmp"); }));
    EXPECT_EQ(VekCameraUnInit(), 1);
}

TEST_F(HubVideoDevice, AWindowAskingForASnapshotWhileTheCallerStopsDoesNotHang) {
    // The window may ask the hub for a snapshot from its frame handler; a stop on another
    // thread waits for that handler to return, so it must not hold what the snapshot needs.
    class SnappingWindow : public RecordingVideoWindow {
    public:
        void PresentFrame(const BYTE*, int, int, size_t) override {
            ++frames;
            // A slow handler fills the stream's time, so the stop below lands in one.
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            VekCameraCaptureFile(path.c_str(), CAPTURE_FILE_BMP, 1);
        }
        std::string path;
    } window;
    TempDir dir;
    window.path = dir.File("snap");
    videodev::AddTestPatternDevice("Pattern A", 16, 8);
    ASSERT_EQ(VekCameraInit(1, HubVideoWindowHandle(&window), nullptr), 1);
    ASSERT_EQ(VekCameraPlay(), 1);
    ASSERT_TRUE(WaitFor([&] { return window.frames > 0; }));
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    std::thread([stopped] {
        VekCameraStop();
        *stopped = true;
    }).detach();
    if (!WaitFor([&] { return stopped->load(); })) {
        ADD_FAILURE() << "VekCameraStop and the window's snapshot request wait for each other";
        std::_Exit(1);  // the two threads stay locked; nothing more can run
    }
    EXPECT_EQ(VekCameraUnInit(), 1);
}

TEST_F(HubVideoDevice, AWindowThatThrowsWhenPlacedLeavesTheDeviceUsable) {
    class ThrowingWindow : public RecordingVideoWindow {
    public:
        void PlaceVideo(int, int, int, int, bool) override {
            ++placements;
            throw std::runtime_error("window gone");
        }
        int placements = 0;
    } window;
    videodev::AddTestPatternDevice("Pattern A", 16, 8);
    EXPECT_EQ(VekCameraInit(1, HubVideoWindowHandle(&window), nullptr), 1);
    EXPECT_EQ(VekCameraPlay(), 1);
    EXPECT_TRUE(WaitFor([&] { return window.frames > 0; }));
    EXPECT_EQ(VekCameraStop(), 1);
    EXPECT_EQ(VekCameraUnInit(), 1);  // tearing down hides the window again
    EXPECT_EQ(window.placements, 3);
}

TEST_F(HubVideoDevice, LongDeviceNamesAreCutBetweenCharacters) {
    std::string name;
    for (int i = 0; i < 1200; ++i)
        name += "\xC3\xA9";  // two bytes each: the 2047-byte limit falls inside one
    videodev::AddTestPatternDevice(name, 8, 8);
    RecordingCombo combo;
    VekCamera_Registerpixel(HubComboBoxHandle(&combo));
    ASSERT_EQ(combo.items.size(), 2u);
    EXPECT_EQ(combo.items[1], name.substr(0, 2046));
}

TEST_F(HubVideoDevice, ABusyDeviceEndsWithThePreviewMessage) {
    videodev::AddTestPatternDevice("Held elsewhere", 64, 48, true);
    EXPECT_EQ(VekCameraInit(1, nullptr, nullptr), 0);
    EXPECT_EQ(HostMessages(), std::vector<std::string>{kPreviewFailed});
}

TEST_F(HubVideoDevice, SnapshotIsTheNextFrameAsABitmapOfTheChosenDevice) {
    videodev::AddTestPatternDevice("Pattern A", 64, 48);
    videodev::AddTestPatternDevice("Pattern B", 40, 20);
    RecordingVideoWindow window;
    ASSERT_EQ(VekCameraInit(2, HubVideoWindowHandle(&window), nullptr), 1);
    EXPECT_EQ(window.placed, (std::vector<int>{0, 0, 320, 200}));
    EXPECT_TRUE(window.shown);

    TempDir dir;
    const std::string base = dir.File("snap");
    // A request made while stopped is served once the device runs.
    EXPECT_EQ(VekCameraCaptureFile(base.c_str(), CAPTURE_FILE_JPEG, 7), 1);
    EXPECT_EQ(VekCameraPlay(), 1);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(base + ".bmp"); }));
    EXPECT_TRUE(WaitFor([&] { return window.frames > 0; }));
    EXPECT_EQ(window.lastWidth, 40);
    EXPECT_EQ(VekCameraStop(), 1);

    const std::vector<uint8_t> bmp = ReadFile(base + ".bmp");
    const size_t pixels = 40 * 20 * 3;
    ASSERT_EQ(bmp.size(), 54 + pixels);
    EXPECT_EQ(le::get32(&bmp[2]), 54 + pixels);
    EXPECT_EQ(le::get32(&bmp[14]), 40u);
    EXPECT_EQ(le::get32s(&bmp[18]), 40);
    EXPECT_EQ(le::get32s(&bmp[22]), 20);
    EXPECT_EQ(le::get16(&bmp[28]), 24);
    // The pixels are one frame of the pattern.
    bool matched = false;
    for (uint64_t n = 0; n < 40 && !matched; ++n) {
        matched = true;
        for (int x = 0; x < 40 && matched; ++x) {
            uint8_t bgr[3];
            videodev::TestPatternPixel(x, 0, 40, n, bgr);
            for (int row = 0; row < 20 && matched; ++row)
                matched = std::equal(bgr, bgr + 3, &bmp[54 + (row * 40 + x) * 3]);
        }
    }
    EXPECT_TRUE(matched);

    EXPECT_EQ(VekCameraUnInit(), 1);
    EXPECT_FALSE(window.shown);
}

}  // namespace
