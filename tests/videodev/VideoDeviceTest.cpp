// Video-input devices: frame conversions into the bitmap layout (bounded by what the device
// delivered) and the test-pattern devices' life cycle.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/resource.h>

#include "FramePacer.h"
#include "VideoDevice.h"
#include "filebytes.h"
#include "tempdir.h"

namespace {

using namespace videodev;

std::vector<uint8_t> Yuyv(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
    std::vector<uint8_t> data;
    for (int i = 0; i < width * height / 2; ++i)
        data.insert(data.end(), {y, u, y, v});
    return data;
}

TEST(FrameConversions, YuyvBecomesBottomUpBgrWithStudioRange) {
    const int w = 4;
    const int h = 2;
    std::vector<uint8_t> src = Yuyv(w, h, 16, 128, 128);  // black
    // Top row: white on the left pair, red on the right pair.
    src[0] = 235, src[2] = 235;
    src[4] = 81, src[5] = 90, src[6] = 81, src[7] = 240;
    std::vector<uint8_t> dib(DibStride(w) * h, 0xEE);
    ConvertYuyvToDib(src.data(), src.size(), w, h, dib.data());
    const size_t top = DibStride(w);  // the source's first row is the bitmap's last
    EXPECT_EQ(std::vector<uint8_t>(dib.begin() + top, dib.begin() + top + 6), (std::vector<uint8_t>{255, 255, 255, 255, 255, 255}));
    EXPECT_LE(dib[top + 6], 2);      // blue
    EXPECT_LE(dib[top + 7], 2);      // green
    EXPECT_GE(dib[top + 8], 253);    // red
    EXPECT_EQ(std::vector<uint8_t>(dib.begin(), dib.begin() + 12), std::vector<uint8_t>(12, 0));
}

TEST(FrameConversions, AShortYuyvFrameLeavesTheRestBlackAndReadsNoFurther) {
    const int w = 6;
    const int h = 4;
    const std::vector<uint8_t> full = Yuyv(w, h, 235, 128, 128);
    // Only one and a half rows arrived; the copy on the heap lets the sanitizer see any overread.
    std::vector<uint8_t> partial(full.begin(), full.begin() + w * 2 + w);
    std::vector<uint8_t> dib(DibStride(w) * h, 0xEE);
    ConvertYuyvToDib(partial.data(), partial.size(), w, h, dib.data());
    const size_t stride = DibStride(w);
    EXPECT_EQ(dib[(h - 1) * stride], 255);           // first source row, white
    EXPECT_EQ(dib[(h - 2) * stride], 255);           // half of the second row arrived
    EXPECT_EQ(dib[(h - 2) * stride + (w - 1) * 3], 0);
    EXPECT_EQ(dib[0], 0);                            // the rows that never came
    // Nothing at all: black.
    ConvertYuyvToDib(nullptr, 0, w, h, dib.data());
    EXPECT_EQ(std::count(dib.begin(), dib.end(), 0), static_cast<long>(dib.size()));
}

TEST(FramePacer, FramesAreDueOnTheIntervalWhateverTheyTookToMake) {
    using std::chrono::milliseconds;
    const FramePacer::Clock::time_point t0{};
    FramePacer pacer(milliseconds(33), t0);
    // A frame that took 10 ms to make leaves 23 ms to wait, not 33.
    EXPECT_EQ(pacer.Next(t0 + milliseconds(10)), t0 + milliseconds(33));
    EXPECT_EQ(pacer.Next(t0 + milliseconds(40)), t0 + milliseconds(66));
    // Late by less than an interval: the next frame goes at once and the schedule holds.
    EXPECT_EQ(pacer.Next(t0 + milliseconds(120)), t0 + milliseconds(99));
    EXPECT_EQ(pacer.Next(t0 + milliseconds(125)), t0 + milliseconds(132));
    // After a long stall the schedule starts again from now rather than catching up in a burst.
    EXPECT_EQ(pacer.Next(t0 + milliseconds(500)), t0 + milliseconds(500));
    EXPECT_EQ(pacer.Next(t0 + milliseconds(505)), t0 + milliseconds(533));
}

TEST(FrameConversions, StrideIsPaddedToFourBytes) {
    EXPECT_EQ(DibStride(1), 4u);
    EXPECT_EQ(DibStride(4), 12u);
    EXPECT_EQ(DibStride(5), 16u);
    EXPECT_EQ(DibStride(0), 0u);
    EXPECT_EQ(DibStride(-3), 0u);
}

class Mjpeg : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("convert -version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "ImageMagick's convert makes the JPEG input";
        // Red over blue, 16 × 16.
        const std::string cmd = "convert -size 16x8 xc:red -size 16x8 xc:blue -append '" + path_.string() + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        jpeg_ = ReadFile(path_);
    }
    TempDir dir_;
    const std::filesystem::path path_ = dir_.Path() / "in.jpg";
    std::vector<uint8_t> jpeg_;
};

TEST_F(Mjpeg, DecodesBottomUpBgr) {
    std::vector<uint8_t> dib(DibStride(16) * 16);
    ASSERT_TRUE(DecodeMjpegToDib(jpeg_.data(), jpeg_.size(), 16, 16, dib.data()));
    const uint8_t* bottom = &dib[DibStride(16) * 1 + 8 * 3];  // blue half
    const uint8_t* top = &dib[DibStride(16) * 14 + 8 * 3];    // red half
    EXPECT_GT(bottom[0], 200);
    EXPECT_LT(bottom[2], 60);
    EXPECT_GT(top[2], 200);
    EXPECT_LT(top[0], 60);
}

TEST_F(Mjpeg, RefusesWrongSizesAndDamagedData) {
    std::vector<uint8_t> dib(DibStride(32) * 32);
    EXPECT_FALSE(DecodeMjpegToDib(jpeg_.data(), jpeg_.size(), 32, 32, dib.data()));
    EXPECT_FALSE(DecodeMjpegToDib(jpeg_.data(), 3, 16, 16, dib.data()));
    EXPECT_FALSE(DecodeMjpegToDib(nullptr, 100, 16, 16, dib.data()));
    // Cut short at every length and with a damaged header: never a read past the end.
    for (size_t cut = 4; cut < jpeg_.size(); cut += 7) {
        std::vector<uint8_t> part(jpeg_.begin(), jpeg_.begin() + cut);
        DecodeMjpegToDib(part.data(), part.size(), 16, 16, dib.data());
    }
    std::vector<uint8_t> damaged = jpeg_;
    for (size_t i = 2; i < std::min<size_t>(damaged.size(), 200); i += 3)
        damaged[i] ^= 0x5A;
    EXPECT_FALSE(DecodeMjpegToDib(damaged.data(), damaged.size(), 16, 16, dib.data()));
}

TEST_F(Mjpeg, AFrameClaimingAHugePictureIsRefusedBeforeItsMemoryIsTaken) {
    // A progressive frame of a few hundred bytes whose header claims 6000 × 6000: decoding it
    // would allocate and zero the coefficients of the whole claimed picture (some 220 MB).
    const std::filesystem::path progressive = path_.string() + ".p.jpg";
    const std::string cmd = "convert '" + path_.string() + "' -interlace JPEG '" + progressive.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::vector<uint8_t> frame = ReadFile(progressive);
    bool patched = false;
    for (size_t i = 0; i + 8 < frame.size() && !patched; ++i) {
        if (frame[i] == 0xFF && frame[i + 1] == 0xC2) {
            frame[i + 5] = 6000 >> 8, frame[i + 6] = 6000 & 0xFF;  // height
            frame[i + 7] = 6000 >> 8, frame[i + 8] = 6000 & 0xFF;  // width
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    std::vector<uint8_t> dib(DibStride(16) * 16);
    EXPECT_FALSE(DecodeMjpegToDib(frame.data(), frame.size(), 16, 16, dib.data()));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes taken by one refused frame";
}

class TestPatterns : public ::testing::Test {
protected:
    void SetUp() override {
        SetSystemDevicesHidden(true);
        RemoveTestPatternDevices();
    }
    void TearDown() override {
        RemoveTestPatternDevices();
        SetSystemDevicesHidden(false);
    }
};

TEST_F(TestPatterns, ListedInOrderAndCreatedByTheirPath) {
    EXPECT_TRUE(ListVideoDevices().empty());
    AddTestPatternDevice("one", 8, 4);
    AddTestPatternDevice("two", 16, 8, true);
    const std::vector<VideoDeviceInfo> list = ListVideoDevices();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].friendlyName, "one");
    EXPECT_EQ(list[1].friendlyName, "two");
    std::unique_ptr<IVideoDevice> one = CreateVideoDevice(list[0]);
    ASSERT_TRUE(one);
    EXPECT_TRUE(one->Open());
    EXPECT_EQ(one->Width(), 8);
    std::unique_ptr<IVideoDevice> busy = CreateVideoDevice(list[1]);
    ASSERT_TRUE(busy);
    EXPECT_FALSE(busy->Open());
    EXPECT_FALSE(busy->Start([](const VideoFrame&) {}));
    EXPECT_EQ(CreateVideoDevice(VideoDeviceInfo{"x", "testpattern:9"}), nullptr);
    EXPECT_EQ(CreateVideoDevice(VideoDeviceInfo{"x", "testpattern:1x"}), nullptr);
}

TEST_F(TestPatterns, StreamsFramesUntilStopReturns) {
    AddTestPatternDevice("one", 10, 6);
    std::unique_ptr<IVideoDevice> dev = CreateVideoDevice(ListVideoDevices()[0]);
    ASSERT_TRUE(dev->Open());
    std::atomic<int> frames{0};
    std::atomic<bool> stopped{false};
    std::atomic<bool> lateFrame{false};
    std::atomic<bool> badFrame{false};
    ASSERT_TRUE(dev->Start([&](const VideoFrame& f) {
        if (stopped)
            lateFrame = true;
        if (f.width != 10 || f.height != 6 || f.stride != 32 || f.bytes != 192)
            badFrame = true;
        ++frames;
    }));
    EXPECT_TRUE(dev->IsRunning());
    EXPECT_FALSE(dev->Start([](const VideoFrame&) {})) << "already running";
    for (int i = 0; i < 2000 && frames < 2; ++i)  // a generous deadline: 20 s
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    dev->Stop();
    stopped = true;
    // A stream left running would have sent a frame while another one, as fast, sends three.
    std::unique_ptr<IVideoDevice> other = CreateVideoDevice(ListVideoDevices()[0]);
    std::atomic<int> otherFrames{0};
    ASSERT_TRUE(other->Start([&](const VideoFrame&) { ++otherFrames; }));
    for (int i = 0; i < 2000 && otherFrames < 3; ++i)  // a generous deadline: 20 s
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    other->Stop();
    EXPECT_GE(otherFrames, 3);
    EXPECT_GE(frames, 2);
    EXPECT_FALSE(lateFrame);
    EXPECT_FALSE(badFrame);
    EXPECT_FALSE(dev->IsRunning());
}

}  // namespace
