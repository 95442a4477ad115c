#include "platform/usbtransport.h"

#include <cstdlib>
#include <cstring>

bool SimulatedCameraRequested() {
    const char* v = std::getenv("QUILLORY_SIMULATED_CAMERA");
    return v && v[0] && std::strcmp(v, "0") != 0;
}

std::unique_ptr<UsbTransport> CreateUsbTransport() {
    UsbTransportFactory simulated = SimulatedUsbTransportFactory();
    if (simulated && SimulatedCameraRequested())
        return simulated();
    return CreateLibusbTransport();
}

bool UsbOpenRefused(uint16_t vendorId, uint16_t productId) {
    std::unique_ptr<UsbTransport> transport = CreateUsbTransport();
    if (!transport || transport->Open(vendorId, productId))
        return false;
    return transport->OpenRefused();
}
