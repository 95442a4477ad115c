#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/usbtransport.h"
#include "scopedenv.h"

namespace {

class MarkerTransport : public UsbTransport {
public:
    bool Open(uint16_t, uint16_t) override { return true; }
    bool IsOpen() const override { return true; }
    bool VendorRequest(uint8_t, uint16_t, uint16_t, const uint8_t*, uint16_t, uint32_t) override { return true; }
    int64_t BulkRead(uint8_t*, size_t, uint32_t) override { return 42; }
    void Close() override {}
};

int g_made = 0;

// Leaves the variable and the factory as the test found them, whatever ran before or after.
class SimulatedCameraSetting {
public:
    SimulatedCameraSetting() : factory_(SetSimulatedUsbTransportFactory(nullptr)) {
        SetSimulatedUsbTransportFactory(factory_);
        // Remembered here, put back when the test ends.
        env_.Set("QUILLORY_SIMULATED_CAMERA", std::getenv("QUILLORY_SIMULATED_CAMERA"));
    }
    ~SimulatedCameraSetting() { SetSimulatedUsbTransportFactory(factory_); }

private:
    UsbTransportFactory factory_;
    ScopedEnv env_;
};
std::unique_ptr<UsbTransport> MakeMarker() {
    ++g_made;
    return std::make_unique<MarkerTransport>();
}

}  // namespace

TEST(UsbTransport, SimulatedCameraOnlyWhenAskedFor) {
    SimulatedCameraSetting restore;
    SetSimulatedUsbTransportFactory(&MakeMarker);
    g_made = 0;

    setenv("QUILLORY_SIMULATED_CAMERA", "1", 1);
    EXPECT_TRUE(SimulatedCameraRequested());
    auto t = CreateUsbTransport();
    ASSERT_NE(t, nullptr);
    uint8_t b[4];
    EXPECT_EQ(t->BulkRead(b, 4, 10), 42);
    EXPECT_EQ(g_made, 1);

    for (const char* off : {"0", ""}) {
        setenv("QUILLORY_SIMULATED_CAMERA", off, 1);
        EXPECT_FALSE(SimulatedCameraRequested()) << off;
        auto real = CreateUsbTransport();
        EXPECT_EQ(g_made, 1);
    }
    // Without a factory, asking for the simulated camera falls back to the real transport.
    setenv("QUILLORY_SIMULATED_CAMERA", "1", 1);
    SetSimulatedUsbTransportFactory(nullptr);
    auto fallback = CreateUsbTransport();
    EXPECT_EQ(g_made, 1);
}

TEST(UsbTransport, LibusbWithoutTheDeviceFailsCleanly) {
    auto t = CreateLibusbTransport();
    if (!t)
        GTEST_SKIP() << "built without libusb";
    // No such device on any machine: open fails, and nothing works on a closed transport.
    EXPECT_FALSE(t->Open(0xFFFE, 0xFFFE));
    EXPECT_FALSE(t->IsOpen());
    uint8_t b[8];
    EXPECT_EQ(t->BulkRead(b, sizeof b, 10), UsbTransport::kUsbGone);
    EXPECT_FALSE(t->VendorRequest(0xB3, 0, 0, nullptr, 0, 10));
    t->Close();
}
