// The webcam library against test-pattern devices only.
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "VideoDevice.h"
#include "qodirectx.h"
#include "tempdir.h"

namespace {

// Waits until done() holds, 20 s at most.
template <typename Done>
bool WaitUntil(Done done) {
    for (int i = 0; i < 4000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

struct Combo : IDSComboBox {
    std::vector<std::string> items;
    int AddString(const char* text) override {
        items.emplace_back(text);
        return static_cast<int>(items.size()) - 1;
    }
};

struct ScriptedHost : IDSHost {
    std::atomic<int> arrivals{0};
    void FrameArrived() override { ++arrivals; }
    int choose = -1;
    std::vector<DSFrameSize> offered;
    int brightness = -1;  // value the property dialog sets, -1 none
    bool setResult = false;
    int ChooseResolution(const DSFrameSize* sizes, int count, int) override {
        offered.assign(sizes, sizes + count);
        return choose;
    }
    void ShowProperties(IDSPropertyPages* pages) override {
        for (int i = 0; i < pages->Count(); ++i) {
            DSControlInfo info;
            ASSERT_TRUE(pages->Get(i, &info));
            if (std::string(info.name) == "Brightness" && brightness >= 0)
                setResult = pages->Set(i, brightness);
        }
    }
};

class DSCamera : public ::testing::Test {
protected:
    void SetUp() override {
        videodev::SetSystemDevicesHidden(true);
        videodev::RemoveTestPatternDevices();
    }
    void TearDown() override {
        DSCameraStop();
        DSCameraUnInit();
        videodev::RemoveTestPatternDevices();
    }
    // The device's host lives until the device is closed: the library tells it of every frame.
    ScriptedHost host;
    static void AddPattern(std::vector<videodev::VideoSize> sizes, bool streams = true, const char* name = "Pattern") {
        videodev::TestPatternOptions o;
        o.friendlyName = name;
        o.sizes = std::move(sizes);
        o.frameIntervalMs = 5;
        o.streams = streams;
        videodev::AddTestPatternDevice(o);
    }
    // Waits for a frame not handed out before (a generous deadline: 20 s).
    static bool Grab(std::vector<BYTE>& buffer) {
        for (int i = 0; i < 4000; ++i) {
            if (DSGrabFrame(buffer.data()) == 1)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // True when the packed bottom-up frame is the pattern of some frame number.
    static bool IsPattern(const std::vector<BYTE>& f, int w, int h, int brightnessOffset = 0) {
        for (uint64_t n = 0; n < static_cast<uint64_t>(w); ++n) {
            bool same = true;
            for (int y = 0; y < h && same; ++y)
                for (int x = 0; x < w && same; ++x) {
                    BYTE px[3];
                    videodev::TestPatternPixel(x, y, w, n, px);
                    const BYTE* got = &f[(static_cast<size_t>(h - 1 - y) * w + x) * 3];
                    for (int c = 0; c < 3; ++c)
                        same = same && got[c] == std::clamp(px[c] + brightnessOffset, 0, 255);
                }
            if (same)
                return true;
        }
        return false;
    }
};

TEST_F(DSCamera, ListsDevicesInIndexOrderAndRefusesMissingOrUnusable) {
    AddPattern({{10, 3}}, true, "First");
    AddPattern({{10, 3}}, true, "");
    videodev::AddTestPatternDevice("Busy", 8, 2, true);
    AddPattern({{10, 3}}, false, "Silent");
    Combo combo;
    EXPECT_EQ(DSCameraRegisterpixel(DSComboBoxHandle(&combo)), 4);
    ASSERT_EQ(combo.items.size(), 4u);
    EXPECT_EQ(combo.items[0], "First");
    EXPECT_EQ(combo.items[1], "testpattern:1");
    EXPECT_EQ(combo.items[2], "Busy");

    EXPECT_EQ(DSCameraInit(4, nullptr), 0);
    EXPECT_EQ(DSCameraInit(255, nullptr), 0);
    EXPECT_EQ(DSCameraInit(2, nullptr), 0);  // busy
    int w = 0, h = 0;
    EXPECT_EQ(DSCameraGetImageSize(&w, &h), 0);

    ASSERT_EQ(DSCameraInit(3, nullptr), 1);  // opens but does not stream
    EXPECT_EQ(DSCameraInit(0, nullptr), 0);  // one device at a time
    EXPECT_EQ(DSCameraPlay(), 0);
    DSCameraUnInit();
    DSCameraUnInit();  // harmless when closed
    EXPECT_EQ(DSCameraPlay(), 0);
}

TEST_F(DSCamera, GrabsThePatternPackedAndOnlyNewFrames) {
    AddPattern({{10, 3}});  // 30 bytes a row, padded to 32 by the device
    ASSERT_EQ(DSCameraInit(0, nullptr), 1);
    ASSERT_EQ(DSCameraPlay(), 1);
    int w = 0, h = 0;
    ASSERT_EQ(DSCameraGetImageSize(&w, &h), 1);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 3);
    std::vector<BYTE> buffer(static_cast<size_t>(w * h * 3) + 16, 0xEE);
    ASSERT_TRUE(Grab(buffer));
    EXPECT_TRUE(IsPattern(buffer, w, h));
    for (size_t i = static_cast<size_t>(w * h * 3); i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], 0xEE) << "wrote past the frame";

    // Stopped: the frame handed out is not handed out again.
    ASSERT_EQ(DSCameraStop(), 1);
    DSGrabFrame(buffer.data());
    std::vector<BYTE> before = buffer;
    EXPECT_EQ(DSGrabFrame(buffer.data()), 0);
    EXPECT_EQ(buffer, before);
}

// Under real timing: the host hears of each new frame, and a grab after the word has one.
TEST_F(DSCamera, TheHostHearsOfEveryNewFrameAndThenAGrabHasIt) {
    AddPattern({{16, 8}});
    ASSERT_EQ(DSCameraInit(0, DSHostHandle(&host)), 1);
    ASSERT_EQ(DSCameraPlay(), 1);
    int w = 0, h = 0;
    ASSERT_EQ(DSCameraGetImageSize(&w, &h), 1);
    std::vector<BYTE> buffer(static_cast<size_t>(w * h * 3), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int grabbed = 0;
    for (int seen = host.arrivals.load(); grabbed < 3 && std::chrono::steady_clock::now() < deadline;) {
        if (host.arrivals.load() == seen) {
            std::this_thread::yield();
            continue;
        }
        seen = host.arrivals.load();
        // Only a grab right after the word: a frame that came with the word before it and was
        // already taken leaves this one empty.
        if (DSGrabFrame(buffer.data()) == 1) ++grabbed;
    }
    EXPECT_EQ(grabbed, 3);
    DSCameraStop();
    DSCameraUnInit();
    // Closed: the library tells the host nothing more, while a stream opened anew (as fast
    // as the closed one) sends word three times.
    const int atClose = host.arrivals.load();
    ScriptedHost next;
    ASSERT_EQ(DSCameraInit(0, DSHostHandle(&next)), 1);
    ASSERT_EQ(DSCameraPlay(), 1);
    EXPECT_TRUE(WaitUntil([&] { return next.arrivals.load() >= 3; }));
    DSCameraUnInit();
    EXPECT_EQ(host.arrivals.load(), atClose);
}

TEST_F(DSCamera, ResolutionChangeRestartsAndNeverOverrunsAnOldBuffer) {
    AddPattern({{8, 2}, {16, 4}});
    ASSERT_EQ(DSCameraInit(0, DSHostHandle(&host)), 1);
    ASSERT_EQ(DSCameraPlay(), 1);
    int w = 0, h = 0;
    ASSERT_EQ(DSCameraGetImageSize(&w, &h), 1);
    std::vector<BYTE> small(static_cast<size_t>(w * h * 3) + 64, 0xEE);

    host.choose = -1;
    EXPECT_EQ(DSResolution(), 0);  // cancelled
    ASSERT_EQ(host.offered.size(), 2u);
    EXPECT_EQ(host.offered[1].width, 16);

    host.choose = 1;
    ASSERT_EQ(DSResolution(), 1);
    // A frame of the new size has come, but the caller has not read the new size yet: nothing
    // is copied into its small buffer.
    const int atRestart = host.arrivals.load();
    ASSERT_TRUE(WaitUntil([&] { return host.arrivals.load() > atRestart; }));
    EXPECT_EQ(DSGrabFrame(small.data()), 0);
    for (size_t i = 8 * 2 * 3; i < small.size(); ++i)
        ASSERT_EQ(small[i], 0xEE);

    ASSERT_EQ(DSCameraGetImageSize(&w, &h), 1);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 4);
    std::vector<BYTE> large(static_cast<size_t>(w * h * 3));
    ASSERT_TRUE(Grab(large));
    EXPECT_TRUE(IsPattern(large, w, h));
}

TEST_F(DSCamera, PropertyDialogAppliesBrightnessAtOnce) {
    AddPattern({{8, 2}});
    EXPECT_EQ(DSProperty(), 0);  // nothing open
    ASSERT_EQ(DSCameraInit(0, DSHostHandle(&host)), 1);
    ASSERT_EQ(DSCameraPlay(), 1);
    int w = 0, h = 0;
    ASSERT_EQ(DSCameraGetImageSize(&w, &h), 1);
    host.brightness = 300;  // out of range: refused
    ASSERT_EQ(DSProperty(), 1);
    EXPECT_FALSE(host.setResult);
    host.brightness = 28;  // 100 below the neutral 128
    ASSERT_EQ(DSProperty(), 1);
    EXPECT_TRUE(host.setResult);
    std::vector<BYTE> buffer(static_cast<size_t>(w * h * 3));
    bool seen = false;
    for (int i = 0; i < 20 && !seen; ++i)
        seen = Grab(buffer) && IsPattern(buffer, w, h, -100);
    EXPECT_TRUE(seen);
}

TEST(DSCameraSave, WritesEachTypeAndLeavesNothingOnFailure) {
    TempDir dir;
    const int w = 5, h = 2;
    std::vector<BYTE> image(w * h * 3);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<BYTE>(i * 7);
    struct Case {
        int type;
        const char* name;
        const char* magic;
        size_t magicLength;
    };
    for (const Case& c : {Case{1, "a.jpg", "\xFF\xD8", 2}, Case{2, "a.bmp", "BM", 2}, Case{8, "a.tif", "II", 2},
                          Case{4, "a.raw", "\x00\x07", 2}}) {
        const std::string path = dir.File(c.name);
        ASSERT_EQ(DSCameraImageSave(image.data(), c.type, w, h, path.c_str()), 1) << c.type;
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<char> head(64);
        const size_t got = std::fread(head.data(), 1, head.size(), f);
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        std::fclose(f);
        ASSERT_GE(got, c.magicLength);
        EXPECT_EQ(std::memcmp(head.data(), c.magic, c.magicLength), 0) << c.type;
        if (c.type == 4) {
            EXPECT_EQ(size, w * h * 3);
        }
        if (c.type == 2) {
            int32_t width = 0;
            std::memcpy(&width, head.data() + 18, 4);
            EXPECT_EQ(width, w);
            EXPECT_GE(size, 54 + w * h * 3);
        }
        unlink(path.c_str());
    }
    EXPECT_EQ(DSCameraImageSave(image.data(), 3, w, h, dir.File("x").c_str()), 0);
    EXPECT_EQ(DSCameraImageSave(image.data(), 2, w, h, dir.File("missing/x.bmp").c_str()), 0);
    EXPECT_EQ(DSCameraImageSave(nullptr, 2, w, h, dir.File("y.bmp").c_str()), 0);
    EXPECT_EQ(DSCameraImageSave(image.data(), 2, 0, h, dir.File("z.bmp").c_str()), 0);
    EXPECT_EQ(dir.Count(), 0u) << "a failed save left a file";
}

}  // namespace
