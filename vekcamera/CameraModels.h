// What the hub knows of each camera id besides its driver: display name, the raw-frame decode
// type, the orientation flag and the resolution labels offered to the user.
#pragma once

#include <vector>

#include "platform/wintypes.h"

// The display name of an id, or nullptr for an id without one.
const char* CameraDisplayName(int cameraId);
extern const char* const kUnknownDeviceName;  // "Unknow Device"

// 0, 2 and 3: the Bayer pattern code of the model's raw frames; 4: no Bayer path.
BYTE CameraDecodeType(int cameraId);
// 1 for the models whose picture callers turn over.
int CameraFlip(int cameraId);

struct ResolutionChoices {
    std::vector<const char*> labels;
    int selected = -1;  // -1: the hub selects nothing
};
ResolutionChoices ResolutionChoicesFor(int cameraId);
