// The simulated camera: the camera model of the Ferrocam driver (USB 0547:C003) behind the USB
// transport interface. It answers the sensor's vendor requests, keeps mode, speed, gain,
// exposure and region, and returns frames with the protocol's read size, header block and
// markers, showing a deterministic microscope-like field whose brightness follows exposure time
// (rows times the mode's row time) and gain. Faults can be injected for tests.
//
// It starts plugged when QUILLORY_SIMULATED_CAMERA is set (non-empty, not "0"), unplugged
// otherwise; tests and the hub's detection plug and unplug it through this API.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/usbtransport.h"

#define SIMCAM_API __attribute__((visibility("default")))

constexpr uint16_t kSimCamVendorId = 0x0547;
constexpr uint16_t kSimCamProductId = 0xC003;

SIMCAM_API void SimCamPlug();
SIMCAM_API void SimCamUnplug();
SIMCAM_API bool SimCamIsPlugged();

// Plug notifications: each change of the plug state (an unplug during a read too) calls every
// added callback with the new state, on the thread that made the change and outside the
// camera's lock. Removing a callback waits for a call of it in flight, so its context may be
// freed once the removal returns. Returns the token for the removal, 0 for a null callback.
using SimCamPlugCallback = void (*)(bool plugged, void* context);
SIMCAM_API int SimCamAddPlugCallback(SimCamPlugCallback callback, void* context);
SIMCAM_API void SimCamRemovePlugCallback(int token);

// A transport that reaches the simulated camera (hand it to SetSimulatedUsbTransportFactory).
SIMCAM_API std::unique_ptr<UsbTransport> SimCamCreateTransport();

enum class SimCamFault {
    None,
    EmptyRead,         // the read returns 0 bytes
    BadHeader,         // the header's first ten bytes are neither all 0x88 nor all 0x99
    TornFrame,         // a block in the middle of the frame starts with ten marker bytes
    UnplugDuringRead,  // the camera disappears in the middle of the read
    Stall,             // nothing arrives until the read's time-out
};
// The next `count` frame reads show the fault.
SIMCAM_API void SimCamInjectFault(SimCamFault fault, int count = 1);
// While held, every frame's header carries the snapshot-button marker 0x99.
SIMCAM_API void SimCamSetButtonHeld(bool held);
// While set, the camera stays on the bus but every open is refused, as a real one is when its
// device node gives this user no permission (libusb's LIBUSB_ERROR_ACCESS).
SIMCAM_API void SimCamSetOpenRefused(bool refused);
// Reads are paced like the sensor (readout or exposure time, whichever is longer) unless
// switched off; tests switch it off.
SIMCAM_API void SimCamSetRealTime(bool on);

struct SimCamRequest {
    uint8_t request;
    uint16_t value;
    uint16_t index;
};
SIMCAM_API std::vector<SimCamRequest> SimCamRequestLog();
SIMCAM_API void SimCamClearRequestLog();

struct SimCamState {
    int mode;  // 0..4 sensor modes, 5 region of interest
    int speed;
    int analogGain;  // decoded from the gain code
    int exposureRows;
    int roiX, roiY, roiWidth, roiHeight;
    int width, height;  // of the current mode
    uint64_t framesRead;
};
SIMCAM_API SimCamState SimCamGetState();
// Waits until a real-time read waits for its frame, so that what the caller does next comes
// during that read; false when none did within timeoutMs.
SIMCAM_API bool SimCamWaitForWaitingRead(int timeoutMs = 20000);
// Back to power-on state: mode 0, speed 2, gain 20, 100 rows, no faults, empty log, opens not
// refused. The plug state is kept.
SIMCAM_API void SimCamReset();
// The byte count one frame read delivers in the current mode.
SIMCAM_API uint64_t SimCamFrameBytes();
