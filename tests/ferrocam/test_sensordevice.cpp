#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "ferrocam/sensordevice.h"
#include "ferrotestsupport.h"

namespace {

class SensorDevice : public SimulatedCameraTest {
protected:
    void SetUp() override {
        SimulatedCameraTest::SetUp();
        device_ = std::make_unique<CSensorDevice>(std::make_unique<CUsbTransport>(SimCamCreateTransport()));
        device_->SetRoi(360, 272, 640, 480);
        ASSERT_TRUE(device_->Open(nullptr, nullptr, nullptr, 4));
        device_->Start();
        SimCamClearRequestLog();
        Settle();
        buffer_.assign(2 * 640 * 480 + 512, 0);
    }
    void TearDown() override {
        device_.reset();
        SimulatedCameraTest::TearDown();
    }
    int Grab() {
        RawBuffer b;
        b.data = buffer_.data();
        b.capacity = buffer_.size();
        return device_->GrabFrame(b);
    }
    static int CountRequests(BYTE code) {
        int n = 0;
        for (auto& r : SimCamRequestLog())
            n += r.request == code;
        return n;
    }
    std::unique_ptr<CSensorDevice> device_;
    std::vector<BYTE> buffer_;
};

}  // namespace

TEST_F(SensorDevice, StartSendsModeSpeedGainAndExposure) {
    auto state = SimCamGetState();
    EXPECT_EQ(state.mode, 4);
    EXPECT_EQ(state.speed, 2);
    EXPECT_EQ(state.analogGain, 20);
    EXPECT_EQ(state.exposureRows, 100);
    EXPECT_EQ(device_->Width(), 640);
    EXPECT_EQ(device_->Height(), 480);
    EXPECT_EQ(device_->RawFrameBytes(), ((640u * 480u >> 9) + 1) << 9);
    EXPECT_NEAR(device_->GetRowTime(), 751 / 24.0, 1e-4);
}

TEST_F(SensorDevice, GoodFrameThenNextFrameRequest) {
    EXPECT_EQ(Grab(), CAMERA_OK);
    EXPECT_EQ(CountRequests(0xB3), 1);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(buffer_[i], 0x88);
}

TEST_F(SensorDevice, ReadFaultsGiveTheirCodes) {
    SimCamInjectFault(SimCamFault::EmptyRead);
    EXPECT_EQ(Grab(), CAMERA_READFAIL);
    EXPECT_EQ(CountRequests(0xB3), 1);  // sent whatever the read gave

    SimCamInjectFault(SimCamFault::BadHeader);
    EXPECT_EQ(Grab(), CAMERA_BADHEADER);
    SimCamInjectFault(SimCamFault::TornFrame);
    EXPECT_EQ(Grab(), CAMERA_TORNFRAME);
    EXPECT_EQ(Grab(), CAMERA_OK);

    // A setting that has not settled yet makes the frame no frame.
    device_->SetExposureRows(300);
    EXPECT_EQ(Grab(), CAMERA_NOFRAME);
    Settle();
    EXPECT_EQ(Grab(), CAMERA_OK);
}

TEST_F(SensorDevice, UnplugDuringReadIsAReadFailureNotAHang) {
    SimCamInjectFault(SimCamFault::UnplugDuringRead);
    EXPECT_EQ(Grab(), CAMERA_READFAIL);
    EXPECT_FALSE(SimCamIsPlugged());
    EXPECT_EQ(Grab(), CAMERA_READFAIL);
}

TEST_F(SensorDevice, StalledReadTimesOut) {
    SimCamInjectFault(SimCamFault::Stall, 1000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Grab(), CAMERA_READFAIL);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::seconds(3));
    SimCamReset();
}

TEST_F(SensorDevice, SnapshotButtonAlternatesAndKeepsItsParity) {
    SimCamSetButtonHeld(true);
    EXPECT_EQ(Grab(), CAMERA_SNAPFRAME);
    EXPECT_EQ(Grab(), CAMERA_OK);
    EXPECT_EQ(Grab(), CAMERA_SNAPFRAME);
    EXPECT_EQ(Grab(), CAMERA_OK);
    // Released after an OK frame: the press seen on that frame still fires once.
    SimCamSetButtonHeld(false);
    EXPECT_EQ(Grab(), CAMERA_SNAPFRAME);
    EXPECT_EQ(Grab(), CAMERA_OK);
    EXPECT_EQ(Grab(), CAMERA_OK);
}

TEST_F(SensorDevice, FastSpeedsSkipTheHeaderButStillSeeTornFrames) {
    device_->SetFrameSpeed(3);
    Settle();
    SimCamInjectFault(SimCamFault::BadHeader);
    EXPECT_EQ(Grab(), CAMERA_OK);
    SimCamInjectFault(SimCamFault::TornFrame);
    EXPECT_EQ(Grab(), CAMERA_TORNFRAME);
}

namespace {
// A camera that shows a perfectly flat field of 0x88: every block starts like a header.
class FlatTransport : public UsbTransport {
public:
    bool Open(uint16_t, uint16_t) override { return open_ = true; }
    bool IsOpen() const override { return open_; }
    bool VendorRequest(uint8_t, uint16_t, uint16_t, const uint8_t*, uint16_t, uint32_t) override { return open_; }
    int64_t BulkRead(uint8_t* buffer, size_t length, uint32_t) override {
        std::memset(buffer, 0x88, length);
        return static_cast<int64_t>(length);
    }
    void Close() override { open_ = false; }
    bool open_ = false;
};
}  // namespace

TEST_F(SensorDevice, AFlatFieldOfTheMarkerValueReadsAsTorn) {
    CSensorDevice flat(std::make_unique<CUsbTransport>(std::make_unique<FlatTransport>()));
    ASSERT_TRUE(flat.Open(nullptr, nullptr, nullptr, 4));
    flat.Start();
    Settle();
    RawBuffer b;
    b.data = buffer_.data();
    b.capacity = buffer_.size();
    EXPECT_EQ(flat.GrabFrame(b), CAMERA_TORNFRAME);
}

namespace {
// A transport that claims more bytes than it was asked for.
class OverclaimingTransport : public FlatTransport {
public:
    int64_t BulkRead(uint8_t* buffer, size_t length, uint32_t timeoutMs) override {
        return FlatTransport::BulkRead(buffer, length, timeoutMs) + 4096;
    }
};
}  // namespace

TEST_F(SensorDevice, AReadNeverCountsMoreThanTheBufferHolds) {
    CUsbTransport link(std::make_unique<OverclaimingTransport>());
    ASSERT_TRUE(link.Open());
    std::vector<BYTE> small(1024);
    EXPECT_EQ(link.Read(small.data(), small.size(), 100), small.size());
    // The device then checks only the blocks of its own buffer (ASan sees any read past it).
    CSensorDevice over(std::make_unique<CUsbTransport>(std::make_unique<OverclaimingTransport>()));
    ASSERT_TRUE(over.Open(nullptr, nullptr, nullptr, 4));
    over.Start();
    Settle();
    std::vector<BYTE> exact(over.RawFrameBytes());
    RawBuffer b;
    b.data = exact.data();
    b.capacity = exact.size();
    EXPECT_EQ(over.GrabFrame(b), CAMERA_TORNFRAME);
}

TEST_F(SensorDevice, RegionRules) {
    device_->SetRoi(362, 271, 641, 481);
    auto& s = device_->State();
    EXPECT_EQ(s.roiX.load(), 360);
    EXPECT_EQ(s.roiY.load(), 268);
    EXPECT_EQ(s.roiWidth.load(), 640);
    EXPECT_EQ(s.roiHeight.load(), 480);
    device_->SetRoi(3600, 0, 640, 480);
    EXPECT_EQ(s.roiWidth.load(), 64);
    device_->SetRoi(0, 2700, 640, 480);
    EXPECT_EQ(s.roiHeight.load(), 48);

    device_->SetRoi(400, 300, 320, 240);
    SimCamClearRequestLog();
    device_->SelectMode(5);
    auto log = SimCamRequestLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].request, 0xBD);
    EXPECT_EQ(log[0].value, 400);
    EXPECT_EQ(log[0].index, 300);
    EXPECT_EQ(log[1].request, 0xBE);
    EXPECT_EQ(log[1].value, 320);
    EXPECT_EQ(log[1].index, 240);
    EXPECT_EQ(log[2].request, 0xB3);
    EXPECT_EQ(device_->Width(), 320);
    EXPECT_EQ(SimCamGetState().width, 320);
    EXPECT_NEAR(device_->GetRowTime(), 3776 / 24.0, 1e-3);
    // Modes past the region are applied as the region.
    device_->SelectMode(9);
    EXPECT_EQ(device_->Mode(), 5);
}

TEST_F(SensorDevice, AnalogGainCodesAndClamps) {
    EXPECT_EQ(CSensorDevice::AnalogGainCode(20), 0x1054);
    EXPECT_EQ(CSensorDevice::AnalogGainCode(64), 0x1840);
    device_->SetAnalogGain(0);
    auto log = SimCamRequestLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().value, 0x1041);
    EXPECT_EQ(log.back().index, 0x305E);
    device_->SetAnalogGain(400);
    EXPECT_EQ(SimCamRequestLog().back().value, 0x1DFF);
    EXPECT_EQ(device_->AnalogGain(), 319);
    EXPECT_EQ(SimCamGetState().analogGain, 319);
}

TEST_F(SensorDevice, ExposureRowsAreClampedToTheRegister) {
    device_->SetExposureRows(70000);
    EXPECT_EQ(device_->ExposureRows(), 65535);
    EXPECT_EQ(SimCamRequestLog().back().value, 65535);
    device_->SetExposureRows(0);
    EXPECT_EQ(device_->ExposureRows(), 1);
}

TEST(VendorRequestRecord, LayoutIsLittleEndian) {
    BYTE r[10];
    CUsbTransport::BuildRequestRecord(r, 0xB7, 0x1054, 0x305E);
    const BYTE expected[10] = {0, 2, 0, 0, 0xB7, 0, 0x54, 0x10, 0x5E, 0x30};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(r[i], expected[i]) << i;
}
