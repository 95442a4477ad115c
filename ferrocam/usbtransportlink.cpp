#include "ferrocam/usbtransportlink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/le.h"

namespace {
// A wait is cut into slices this long so that Stop never waits on a long exposure.
constexpr uint32_t kReadSliceMs = 100;
// How long a read on a camera that is gone takes before it fails.
constexpr uint32_t kGoneReadMs = 40;
}

// The simulated camera is reachable when QUILLORY_SIMULATED_CAMERA asks for it and the hub (or a
// test) has installed its factory.
CUsbTransport::CUsbTransport() = default;

CUsbTransport::CUsbTransport(std::unique_ptr<UsbTransport> transport)
    : transport_(std::move(transport)), injected_(true) {}

CUsbTransport::~CUsbTransport() { Close(); }

bool CUsbTransport::Open() {
    std::lock_guard<std::mutex> g(lock_);
    if (deviceOpen_ && pipeOpen_)
        return true;
    if (!transport_ && !injected_)
        transport_ = CreateUsbTransport();
    char path[64];
    std::snprintf(path, sizeof path, "usb:%04x:%04x", kFerroVendorId, kFerroProductId);
    devicePath_ = path;
    std::printf("Attempting to open %s\n", devicePath_.c_str());
    if (!transport_ || !transport_->Open(kFerroVendorId, kFerroProductId)) {
        std::printf("FAILED to open %s\n", devicePath_.c_str());
        devicePath_.clear();
        return false;
    }
    std::printf("%s Opened successfully\n", devicePath_.c_str());
    deviceOpen_ = true;
    // The bulk-in pipe comes with the device on this transport; it is reported the same way.
    pipePath_ = devicePath_ + "\\PIPE00";
    std::printf("Attempting to open %s\n", pipePath_.c_str());
    std::printf("%s Opened successfully\n", pipePath_.c_str());
    pipeOpen_ = true;
    std::fflush(stdout);
    return true;
}

bool CUsbTransport::IsOpen() const {
    std::lock_guard<std::mutex> g(lock_);
    return deviceOpen_ && transport_ && transport_->IsOpen();
}

void CUsbTransport::Close() {
    std::lock_guard<std::mutex> g(lock_);
    if (transport_ && deviceOpen_)
        transport_->Close();
    deviceOpen_ = pipeOpen_ = false;
}

uint64_t CUsbTransport::Read(BYTE* buffer, uint64_t n, uint32_t timeoutMs) {
    if (!buffer || !n)
        return 0;
    // Real time, not the replaceable clock: this bounds a wait on hardware.
    const auto start = std::chrono::steady_clock::now();
    UsbTransport* t;
    {
        std::lock_guard<std::mutex> g(lock_);
        t = deviceOpen_ ? transport_.get() : nullptr;
    }
    if (!t) {
        // The camera is gone: the read fails, but only after a while, so that a caller that
        // grabs again at once (as live views do) does not spin a core.
        const auto until = start + std::chrono::milliseconds(std::min(timeoutMs, kGoneReadMs));
        while (!abort_.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<uint32_t>(kGoneReadMs, 10)));
        return 0;
    }
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    uint64_t got = 0;
    while (got < n) {
        if (abort_.load())
            return 0;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return 0;  // a frame cut short by the time-out is no frame
        uint32_t slice = static_cast<uint32_t>(std::min<int64_t>(left.count(), kReadSliceMs));
        int64_t r = t->BulkRead(buffer + got, static_cast<size_t>(n - got), slice ? slice : 1);
        if (r == UsbTransport::kUsbTimedOut)
            continue;
        if (r < 0) {
            // Gone: a half frame is no frame.
            Close();
            return 0;
        }
        if (r == 0)
            return got;
        const uint64_t wanted = n - got;
        // A count beyond what was asked for would send the frame checks past the buffer.
        got += std::min(static_cast<uint64_t>(r), wanted);
        if (static_cast<uint64_t>(r) < wanted)
            return got;  // a short transfer ends the frame
    }
    return got;
}

void CUsbTransport::BuildRequestRecord(BYTE record[10], BYTE request, WORD value, WORD index) {
    record[0] = 0;  // host to device
    record[1] = 2;  // vendor
    record[2] = 0;  // device
    record[3] = 0;
    record[4] = request;
    record[5] = 0;
    le::put16(record + 6, value);
    le::put16(record + 8, index);
}

bool CUsbTransport::SendVendorRequest(BYTE request, WORD value, WORD index, BYTE* output, DWORD length) {
    BYTE record[10];
    BuildRequestRecord(record, request, value, index);
    std::lock_guard<std::mutex> g(lock_);
    if (!deviceOpen_ || !transport_)
        return false;
    (void)output;
    (void)length;  // the scratch output area of the kernel driver has no counterpart here
    return transport_->VendorRequest(record[4], le::get16(record + 6), le::get16(record + 8), nullptr, 0, 1000);
}
