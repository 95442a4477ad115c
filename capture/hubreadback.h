// Reading camera values back through the hub. A driver writes only its own width through the
// pointer a getter receives (one byte, or 16 bits for the analog gain), so every read starts
// from a zeroed value.
#pragma once

#include "platform/wintypes.h"

struct CameraSettings;

using HubIntGetter = int (*)(int*);
using HubByteGetter = int (*)(BYTE*);

// The value the getter wrote, 0 when it wrote nothing. *result (optional) gets its return.
int ReadHubInt(HubIntGetter getter, int* result = nullptr);
BYTE ReadHubByte(HubByteGetter getter, int* result = nullptr);

// The camera's auto-exposure target as a level -5..5.
int ReadAeTargetLevel(int* result = nullptr);
// The camera's analog gain as a level of the model's gain table.
int ReadAnalogGainLevel(int cameraId, int* result = nullptr);
// The camera's white-balance gains into the record's red, green and blue gains; a failed read
// leaves them as they were. True when read.
bool ReadWhiteBalanceGains(CameraSettings& s);
