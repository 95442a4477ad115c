// Why a camera the hub found does not open: the system refuses this user its device (the device
// node gives no permission), which the udev rules installed with Quillory grant to the user at
// the seat.
#pragma once

#include <QString>

#include "platform/wintypes.h"

struct RefusedCamera {
    WORD vendorId = 0;
    WORD productId = 0;
};

// Asked after the camera's open failed (on the camera thread: it opens the device once more):
// true, with the device's ids, when a USB device of that camera id is on the bus but refuses
// this user.
bool FindRefusedCamera(int cameraId, RefusedCamera* refused);
// What the camera window's launch says instead.
QString CameraAccessRefusedText(const RefusedCamera& refused);
