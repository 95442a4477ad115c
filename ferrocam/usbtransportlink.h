// The driver's connection to its camera: finds and opens the device through the platform's USB
// transport, sends the 10-byte vendor request record and reads the bulk-in pipe.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/usbtransport.h"
#include "platform/wintypes.h"

constexpr uint16_t kFerroVendorId = 0x0547;
constexpr uint16_t kFerroProductId = 0xC003;

class CUsbTransport {
public:
    CUsbTransport();
    // For tests: a transport of the caller's choosing instead of CreateUsbTransport().
    explicit CUsbTransport(std::unique_ptr<UsbTransport> transport);
    virtual ~CUsbTransport();

    bool Open();
    bool IsOpen() const;
    void Close();
    // Reads up to n bytes, waiting at most timeoutMs in slices, so Abort ends a wait at once.
    // Returns the bytes read; 0 when nothing came in time, the wait was aborted or the device
    // is gone.
    uint64_t Read(BYTE* buffer, uint64_t n, uint32_t timeoutMs);
    // The vendor request record: direction 0, type 2 (vendor), recipient 0, code, value, index.
    // Nothing is sent when the device is not open.
    bool SendVendorRequest(BYTE request, WORD value, WORD index, BYTE* output, DWORD length);
    void Abort() { abort_.store(true); }
    void ClearAbort() { abort_.store(false); }
    const std::string& DevicePath() const { return devicePath_; }

    static void BuildRequestRecord(BYTE record[10], BYTE request, WORD value, WORD index);

private:
    mutable std::mutex lock_;  // guards the transport object; reads and requests may overlap
    std::unique_ptr<UsbTransport> transport_;
    bool injected_ = false;
    bool deviceOpen_ = false;
    bool pipeOpen_ = false;
    std::string devicePath_;
    std::string pipePath_;
    std::atomic<bool> abort_{false};
};
