// Conversions between the camera's native values (as the hub takes and returns them) and the
// slider levels of the settings record, by hub camera id; the exposure table of long-exposure
// mode; default resolutions and the models' profile section names.
#pragma once

#include <string>

#include "platform/wintypes.h"

// Analog gain: levels run from 1. A native value is taken as its low 16 bits.
int GainLevelFromDevice(int cameraId, int nativeGain);
int GainDeviceFromLevel(int cameraId, int level);  // 0 for an unknown level or id
int GainLevelCount(int cameraId);                  // 0 for an id without a gain table

// Gamma, contrast, saturation: natives are taken as their low byte. Ids without a model give
// level -20 when reading and native 0 when writing.
int GammaLevelFromDevice(int cameraId, int native);
int GammaDeviceFromLevel(int cameraId, int level);
int ContrastLevelFromDevice(int cameraId, int native);
int ContrastDeviceFromLevel(int cameraId, int level);
int SaturationLevelFromDevice(int cameraId, int native);
int SaturationDeviceFromLevel(int cameraId, int level);

// Auto-exposure target: level -5..5 to the camera's 8-bit native value and back (the native
// is taken as its low byte).
int AeTargetDeviceFromLevel(int level);
int AeTargetLevelFromDevice(int native);

// Long-exposure table: 100 entries, index 0..99.
constexpr int kExposureTableSize = 100;
// First index whose entry is at least ms (unsigned comparison); above the last entry gives 0.
int ExposureIndexFromMs(unsigned int ms);
// Indexes outside 0..99 are clamped to the table.
int ExposureMsFromIndex(int index);

BYTE DefaultPreviewRes(int cameraId);
BYTE DefaultCaptureRes(int cameraId);

// Profile section of the model: "LumoProf01" ..., "LUMO-31", "LUMO-32", else "UNKNOW".
std::string CameraModelName(int cameraId);
