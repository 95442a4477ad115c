// The driver library of each camera id as a table of its bound functions. Which id may use
// which function, and how its arguments are adapted, is decided per export in HubExports.cpp;
// this table only says where each library's functions are.
#pragma once

#include "vekcamera/VekCamera.h"

struct DriverEntry {
    // Per-model shapes: exactly one of each group is set.
    int (*InitFlag)(FrameCallback, int, HWND, HWND, int) = nullptr;
    int (*InitPlain)(FrameCallback, int, HWND, HWND) = nullptr;
    int (*InitFlagFirst)(FrameCallback, int, HWND, int, HWND) = nullptr;
    int (*InitNoCallback)(int, HWND, HWND) = nullptr;
    int (*Decode4)(BYTE*, BYTE*, int, int) = nullptr;
    int (*Decode5)(BYTE*, BYTE*, int, int, int) = nullptr;
    int (*CaptureFile2)(const char*, int) = nullptr;
    int (*CaptureFile3)(const char*, int, int) = nullptr;
    int (*GetRowTimeInt)(int*) = nullptr;
    int (*GetRowTimeFloat)(float*) = nullptr;

    int (*UnInit)() = nullptr;
    int (*Play)() = nullptr;
    int (*Stop)() = nullptr;
    int (*GrabFrame)(BYTE*) = nullptr;
    int (*GetImageSize)(int*, int*) = nullptr;
    int (*GetImageDataRGB24)(BYTE*) = nullptr;
    int (*GetImageData)(BYTE*) = nullptr;
    int (*SetResolution)(int) = nullptr;
    int (*GetResolution)(int*) = nullptr;
    int (*SetROI)(int, int, int, int) = nullptr;
    int (*SetLongExpPower)(int) = nullptr;
    int (*SetAeState)(int) = nullptr;
    int (*GetAeState)(int*) = nullptr;
    int (*SetAeTarget)(int) = nullptr;
    int (*GetAeTarget)(int*) = nullptr;
    int (*SetAWBState)(int) = nullptr;
    int (*SetExposureTime)(unsigned int) = nullptr;
    int (*GetExposureTime)(int*) = nullptr;
    int (*CancelLongExposure)(int) = nullptr;
    int (*RestartLongExposure)(int) = nullptr;
    int (*GetMaxExposureTime)(int*) = nullptr;
    int (*GetMaxExposure)(int*) = nullptr;
    int (*SetAnalogGain)(int) = nullptr;
    int (*GetAnalogGain)(int*) = nullptr;
    int (*SetGain)(int, int, int) = nullptr;
    int (*GetGain)(int*, int*, int*) = nullptr;
    int (*SetGamma)(int) = nullptr;
    int (*GetGamma)(int*) = nullptr;
    int (*SetSaturation)(int) = nullptr;
    int (*GetSaturation)(int*) = nullptr;
    int (*SetColorEnhancement)(int) = nullptr;
    int (*GetColorEnhancement)(int*) = nullptr;
    int (*SetDataWide)(int) = nullptr;
    int (*GetDataWide)(int*) = nullptr;
    int (*SetDataDataWide)(int) = nullptr;
    int (*GetDataDataWide)(int*) = nullptr;
    int (*SetContrast)(int) = nullptr;
    int (*GetContrast)(int*) = nullptr;
    int (*SetMirror)(int, int) = nullptr;
    int (*GetMirror)(int, int*) = nullptr;
    int (*SetMonochrome)(int) = nullptr;
    int (*GetMonochrome)(int*) = nullptr;
    int (*SetFrameSpeed)(int) = nullptr;
    int (*GetFrameSpeed)(BYTE*) = nullptr;
    int (*SetLightFrquency)(int) = nullptr;
    int (*GetLightFrquency)(int*) = nullptr;
    int (*SetB2RGBMode)(int) = nullptr;
    int (*GetB2RGBMode)(int*) = nullptr;
    int (*GetFPS)(int*) = nullptr;
    int (*SetVideoMessage)(int) = nullptr;
    int (*DisplayEnable)(int) = nullptr;
    int (*SaveParameter)(int) = nullptr;
    int (*ReadParameter)(int) = nullptr;
    int (*GetCurrentParameterTeam)(BYTE*) = nullptr;
};

constexpr int kHighestCameraId = 38;

// The driver of a camera id, or nullptr for ids without one (0, -1, the ids without a driver
// library and every id out of the table).
const DriverEntry* DriverFor(int cameraId);
