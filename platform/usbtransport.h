// The connection to one USB device: open it by vendor and product id, send vendor control
// requests, read its bulk-in pipe with a time-out, close. Implemented over libusb for a real
// camera and by the simulated camera (outside/simcam) for machines without one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class UsbTransport {
public:
    virtual ~UsbTransport() = default;
    virtual bool Open(uint16_t vendorId, uint16_t productId) = 0;
    virtual bool IsOpen() const = 0;
    // True when the last Open found the device on the bus but the system refused to open it
    // (no permission on its device node for this user).
    virtual bool OpenRefused() const { return false; }
    // A vendor request to the device (host to device, recipient device). False when the
    // device is not open or the request failed.
    virtual bool VendorRequest(uint8_t request, uint16_t value, uint16_t index, const uint8_t* data,
                               uint16_t length, uint32_t timeoutMs) = 0;
    // One bulk-in read of at most length bytes; returns the bytes read (0 for an empty read),
    // kUsbTimedOut when nothing arrived within the time-out, kUsbGone when the device is gone
    // or not open.
    static constexpr int64_t kUsbGone = -1;
    static constexpr int64_t kUsbTimedOut = -2;
    virtual int64_t BulkRead(uint8_t* buffer, size_t length, uint32_t timeoutMs) = 0;
    virtual void Close() = 0;
};

// libusb-1.0; nullptr when the library was not available at build time.
std::unique_ptr<UsbTransport> CreateLibusbTransport();

// The simulated camera's factory, installed by the camera hub (or a test); CreateUsbTransport
// uses it when QUILLORY_SIMULATED_CAMERA is set to a non-empty value other than "0". One slot per
// process (the shared library usbtransporthook), whichever library installs or reads it.
using UsbTransportFactory = std::unique_ptr<UsbTransport> (*)();
// Returns the factory it replaces, so a caller can put it back.
UsbTransportFactory SetSimulatedUsbTransportFactory(UsbTransportFactory factory);
UsbTransportFactory SimulatedUsbTransportFactory();
bool SimulatedCameraRequested();
std::unique_ptr<UsbTransport> CreateUsbTransport();
// Whether the device is on the bus but this user may not open it: an open through the transport
// CreateUsbTransport picks, closed again at once. Asked after an open failed, to say why.
bool UsbOpenRefused(uint16_t vendorId, uint16_t productId);
