#include "capture/hubreadback.h"

#include "capture/camerasettings.h"
#include "capture/cameratables.h"
#include "vekcamera/VekCamera.h"

int ReadHubInt(HubIntGetter getter, int* result) {
    int value = 0;
    const int r = getter ? getter(&value) : 0;
    if (result)
        *result = r;
    return value;
}

BYTE ReadHubByte(HubByteGetter getter, int* result) {
    BYTE value = 0;
    const int r = getter ? getter(&value) : 0;
    if (result)
        *result = r;
    return value;
}

int ReadAeTargetLevel(int* result) {
    return AeTargetLevelFromDevice(ReadHubInt(VekCameraGetAeTarget, result));
}

int ReadAnalogGainLevel(int cameraId, int* result) {
    return GainLevelFromDevice(cameraId, ReadHubInt(VekCameraGetAnalogGain, result));
}

bool ReadWhiteBalanceGains(CameraSettings& s) {
    int r = 0, g = 0, b = 0;
    if (VekCameraGetGain(&r, &g, &b) != CAMERA_OK)
        return false;
    s.redGain.nValue = r;
    s.greenGain.nValue = g;
    s.blueGain.nValue = b;
    return true;
}
