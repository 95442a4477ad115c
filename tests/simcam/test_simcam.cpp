#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include "simcam.h"

namespace {

class SimCam : public ::testing::Test {
protected:
    void SetUp() override {
        SimCamPlug();
        SimCamReset();
        SimCamSetRealTime(false);
        t_ = SimCamCreateTransport();
        ASSERT_TRUE(t_->Open(kSimCamVendorId, kSimCamProductId));
    }
    void TearDown() override {
        SimCamSetRealTime(false);
        SimCamReset();
        SimCamPlug();
    }
    void Request(uint8_t code, uint16_t value, uint16_t index) { ASSERT_TRUE(t_->VendorRequest(code, value, index, nullptr, 0, 100)); }
    std::vector<uint8_t> Frame() {
        std::vector<uint8_t> b(SimCamFrameBytes() + 4096, 0xCD);
        int64_t n = t_->BulkRead(b.data(), b.size(), 100);
        EXPECT_EQ(n, static_cast<int64_t>(SimCamFrameBytes()));
        b.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return b;
    }
    // Mean of the raw samples in the middle of the frame.
    static double CentreMean(const std::vector<uint8_t>& f, int w, int h) {
        double sum = 0;
        int n = 0;
        for (int y = h / 3; y < 2 * h / 3; ++y)
            for (int x = w / 3; x < 2 * w / 3; ++x, ++n)
                sum += f[512 + static_cast<size_t>(y) * w + x];
        return sum / n;
    }
    std::unique_ptr<UsbTransport> t_;
};

}  // namespace

TEST_F(SimCam, AnswersTheSensorRequests) {
    Request(0xB4, 0xC4, 0);
    Request(0xB5, 0xA1, 0);
    Request(0xB7, 0x1840, 0x305E);
    Request(0xB7, 1234, 0x3012);
    auto s = SimCamGetState();
    EXPECT_EQ(s.mode, 4);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.speed, 1);
    EXPECT_EQ(s.analogGain, 64);
    EXPECT_EQ(s.exposureRows, 1234);
    Request(0xB7, 0x1DFF, 0x305E);
    EXPECT_EQ(SimCamGetState().analogGain, 319);
    Request(0xBD, 400, 300);
    Request(0xBE, 320, 240);
    s = SimCamGetState();
    EXPECT_EQ(s.mode, 5);
    EXPECT_EQ(s.width, 320);
    EXPECT_EQ(s.height, 240);
    EXPECT_EQ(SimCamRequestLog().size(), 7u);
    EXPECT_EQ(SimCamRequestLog()[3].value, 1234);
}

TEST_F(SimCam, FramesHaveTheProtocolLayout) {
    Request(0xB4, 0xC4, 0);
    auto f = Frame();
    ASSERT_EQ(f.size(), ((640u * 480u >> 9) + 1) << 9);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(f[i], 0x88);
    EXPECT_EQ(f[10], 0);
    // No block of the picture starts like a header.
    for (size_t b = 512; b + 10 <= f.size(); b += 512) {
        bool allMarker = true;
        for (int i = 0; i < 10; ++i)
            allMarker &= f[b + i] == 0x88;
        EXPECT_FALSE(allMarker) << b;
    }
    // The largest mode reads a whole number of blocks, a little short of header plus pixels.
    Request(0xB4, 0xC0, 0);
    EXPECT_EQ(SimCamFrameBytes(), ((3664ull * 2740ull >> 9) + 1) << 9);
    SimCamSetButtonHeld(true);
    Request(0xB4, 0xC4, 0);
    EXPECT_EQ(Frame()[0], 0x99);
}

TEST_F(SimCam, BrightnessFollowsExposureAndGain) {
    Request(0xB4, 0xC4, 0);
    Request(0xB7, 100, 0x3012);
    const double base = CentreMean(Frame(), 640, 480);
    Request(0xB7, 200, 0x3012);
    const double twice = CentreMean(Frame(), 640, 480);
    EXPECT_NEAR(twice / base, 2.0, 0.1);
    Request(0xB7, 0x1068, 0x305E);  // gain 40: twice the power-on 20
    EXPECT_NEAR(CentreMean(Frame(), 640, 480) / twice, 2.0, 0.15);
    // The same settings give the same frame.
    EXPECT_EQ(Frame(), Frame());
}

TEST_F(SimCam, FaultsAndUnplugging) {
    uint8_t b[1024];
    SimCamInjectFault(SimCamFault::EmptyRead);
    EXPECT_EQ(t_->BulkRead(b, sizeof b, 50), 0);
    SimCamInjectFault(SimCamFault::Stall);
    EXPECT_EQ(t_->BulkRead(b, sizeof b, 20), UsbTransport::kUsbTimedOut);
    SimCamInjectFault(SimCamFault::BadHeader);
    EXPECT_GT(t_->BulkRead(b, sizeof b, 50), 0);
    EXPECT_NE(b[0], 0x88);

    SimCamUnplug();
    EXPECT_FALSE(SimCamIsPlugged());
    EXPECT_EQ(t_->BulkRead(b, sizeof b, 50), UsbTransport::kUsbGone);
    EXPECT_FALSE(t_->VendorRequest(0xB3, 0, 0, nullptr, 0, 10));
    auto other = SimCamCreateTransport();
    EXPECT_FALSE(other->Open(kSimCamVendorId, kSimCamProductId));
    // Plugged again, an old handle stays dead; a new open works.
    SimCamPlug();
    EXPECT_FALSE(t_->IsOpen());
    EXPECT_TRUE(other->Open(kSimCamVendorId, kSimCamProductId));
    auto wrong = SimCamCreateTransport();
    EXPECT_FALSE(wrong->Open(0x1234, 0x5678));

    SimCamInjectFault(SimCamFault::UnplugDuringRead);
    EXPECT_EQ(other->BulkRead(b, sizeof b, 50), UsbTransport::kUsbGone);
    EXPECT_FALSE(SimCamIsPlugged());
}

// Real timing: a read waits for the frame the sensor is integrating.
TEST_F(SimCam, CuttingTheExposureBringsTheFrameBeingWaitedForNearer) {
    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;
    Request(0xB4, 0xC4, 0);
    Request(0xB5, 0xA4, 0);         // 62.6 us a row
    Request(0xB7, 65535, 0x3012);  // a frame of about 4.1 s
    SimCamSetRealTime(true);
    std::vector<uint8_t> b(SimCamFrameBytes());

    // One long read, the cut made while it waits: it wakes and gets the frame one short
    // frame time (480 rows, 30 ms) after the cut.
    const auto t0 = Clock::now();
    auto read = std::async(std::launch::async, [&] { return t_->BulkRead(b.data(), b.size(), 10000); });
    ASSERT_TRUE(SimCamWaitForWaitingRead());
    const auto cut = Clock::now();
    Request(0xB7, 100, 0x3012);
    EXPECT_EQ(read.get(), static_cast<int64_t>(b.size()));
    const auto took = Clock::now() - t0;
    EXPECT_GE(Clock::now() - cut, 30ms);
    // Bounds against the old exposure (4.1 s), not rates: only a read that waited for it takes this long.
    EXPECT_LT(took, 3500ms) << "the read waited for the old exposure";

    // Between short reads that time out, the cut still moves the pending frame.
    Request(0xB7, 65535, 0x3012);
    EXPECT_EQ(t_->BulkRead(b.data(), b.size(), 50), UsbTransport::kUsbTimedOut);
    Request(0xB7, 100, 0x3012);
    const auto t1 = Clock::now();
    int64_t n = UsbTransport::kUsbTimedOut;
    while (n == UsbTransport::kUsbTimedOut && Clock::now() - t1 < 3s)
        n = t_->BulkRead(b.data(), b.size(), 50);
    EXPECT_EQ(n, static_cast<int64_t>(b.size()));
    EXPECT_LT(Clock::now() - t1, 3500ms);

    // A longer exposure does not delay a frame already on its way (full size: 2740 rows, 0.86 s).
    Request(0xB4, 0xC0, 0);
    b.resize(SimCamFrameBytes());
    const auto t2 = Clock::now();
    auto shortRead = std::async(std::launch::async, [&] { return t_->BulkRead(b.data(), b.size(), 10000); });
    ASSERT_TRUE(SimCamWaitForWaitingRead());
    Request(0xB7, 65535, 0x3012);
    EXPECT_EQ(shortRead.get(), static_cast<int64_t>(b.size()));
    EXPECT_LT(Clock::now() - t2, 0.86s + 3500ms) << "the frame waited for the new exposure";

    // Unplugging wakes a waiting read at once.
    const auto t3 = Clock::now();
    auto gone = std::async(std::launch::async, [&] { return t_->BulkRead(b.data(), b.size(), 10000); });
    ASSERT_TRUE(SimCamWaitForWaitingRead());
    SimCamUnplug();
    EXPECT_EQ(gone.get(), UsbTransport::kUsbGone);
    EXPECT_LT(Clock::now() - t3, 8s) << "the read waited for its time-out (10 s)";
}
