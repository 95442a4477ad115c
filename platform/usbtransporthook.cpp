// The simulated camera's factory, kept once per process. The platform library is linked into
// each camera library as its own hidden copy; this slot lives in a small shared library of its
// own so that the factory the hub installs is the one the model driver's transport sees.
#include <atomic>

#include "platform/usbtransport.h"

namespace {
std::atomic<UsbTransportFactory> g_simulatedFactory{nullptr};
}

__attribute__((visibility("default"))) UsbTransportFactory SetSimulatedUsbTransportFactory(
    UsbTransportFactory factory) {
    return g_simulatedFactory.exchange(factory);
}

__attribute__((visibility("default"))) UsbTransportFactory SimulatedUsbTransportFactory() {
    return g_simulatedFactory.load();
}
