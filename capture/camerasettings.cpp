#include "capture/camerasettings.h"

#include "capture/cameramodeltraits.h"
#include "capture/cameratables.h"
#include "vekcamera/VekCamera.h"

namespace {

// Row limit of ids 31 and 32: taken from the hub at each open.
constexpr int kRowsFromHub = -1;
constexpr int kNoRowLimit = 0;
constexpr int kKeepResLock = -1;

struct ModelRow {
    int id;
    // Exposure in ms, and in long-exposure mode (table indexes); the same limits in both modes
    // for the models that keep milliseconds.
    int expMin, expMax, expDefault;
    int longMin, longMax, longDefault;
    bool colour;
    int frameSpeedSupported, frameSpeedValue;
    bool lightAndB2rgb;
    int mirrorVDefault;
    int resLock;  // kKeepResLock: the profile value stays
    // Software auto exposure tuning, in ms and in long-exposure mode.
    int floor, ceiling, zone1, zone2, zone3;
    int longFloor, longCeiling, longZone1, longZone2, longZone3;
    int gainMax, gainLow, gainHigh;
    int softwareAe;
    int speedSwitching, speedMode;  // speedMode -1: not written
    int rowLimit;                   // kNoRowLimit, kRowsFromHub or rows
    int defRed, defGreen, defBlue;  // 0: no default gains
};

#define MS_ONLY(min, max, def) min, max, def, min, max, def
#define MS_LONG(def, longMax, longDef) 1, 3000, def, 0, longMax, longDef
#define AE_NONE 0, 0, 1, 1, 1, 0, 0, 1, 1, 1
#define AE_STD 1, 2500, 40, 800, 2000, 0, 70, 30, 50, 55
#define AE_750 1, 750, 1, 500, 700, 1, 750, 1, 500, 700
#define NO_GAINS 0, 0, 0

// clang-format off
const ModelRow kModels[] = {
    // id  exposure                 colour speed  lf/b2 mirV resLock       AE tuning  gain max,low,high  swAE  speed  rows          default gains
    {1,  MS_ONLY(1, 304, 155),     true,  1, 0, true,  0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  4000,         97, 64, 59},
    {3,  MS_ONLY(1, 756, 200),     true,  1, 0, true,  0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  2000,         132, 64, 82},
    {4,  MS_ONLY(1, 456, 100),     true,  1, 0, true,  0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  3072,         68, 64, 76},
    {8,  MS_ONLY(1, 250, 80),      true,  1, 0, true,  0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  2048,         68, 64, 76},
    {10, MS_LONG(40, 99, 30),      false, 0, 0, false, 0, kKeepResLock, AE_STD,  5, 1, 3, 1, 1, 0,  kNoRowLimit,  NO_GAINS},
    {11, MS_LONG(40, 99, 30),      true,  0, 0, false, 0, kKeepResLock, AE_STD,  5, 1, 3, 0, 1, 0,  kNoRowLimit,  93, 64, 90},
    {12, MS_LONG(40, 99, 30),      false, 0, 0, false, 0, 1,            AE_STD,  8, 1, 3, 0, 1, 0,  kNoRowLimit,  NO_GAINS},
    {13, MS_LONG(40, 99, 30),      true,  0, 0, false, 0, kKeepResLock, AE_STD,  8, 1, 3, 0, 1, 0,  kNoRowLimit,  82, 64, 99},
    {14, MS_LONG(40, 93, 30),      true,  0, 0, false, 0, 1,            AE_STD,  4, 1, 2, 0, 1, 0,  kNoRowLimit,  83, 64, 97},
    {16, MS_LONG(40, 93, 30),      false, 0, 0, false, 0, 1,            AE_STD,  5, 1, 3, 0, 1, 0,  kNoRowLimit,  NO_GAINS},
    {17, MS_LONG(40, 93, 30),      false, 0, 0, false, 0, 1,            AE_STD,  8, 1, 3, 0, 1, 0,  kNoRowLimit,  NO_GAINS},
    {18, MS_ONLY(1, 756, 200),     false, 1, 0, true,  0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  65535,        NO_GAINS},
    {21, MS_LONG(20, 99, 10),      true,  0, 0, false, 0, kKeepResLock, AE_STD,  9, 1, 2, 1, 1, 0,  kNoRowLimit,  103, 64, 109},
    {23, MS_LONG(40, 99, 30),      true,  0, 0, false, 0, kKeepResLock, AE_STD,  8, 1, 3, 0, 1, 0,  kNoRowLimit,  82, 64, 99},
    {24, MS_LONG(20, 99, 20),      true,  0, 0, false, 0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  kNoRowLimit,  NO_GAINS},
    {25, MS_ONLY(1, 870, 1),       true,  0, 0, false, 0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  kNoRowLimit,  NO_GAINS},
    {26, MS_ONLY(1, 456, 100),     true,  1, 0, true,  0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  5000,         NO_GAINS},
    {27, MS_ONLY(1, 304, 155),     true,  0, 0, true,  0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  kNoRowLimit,  97, 64, 59},
    {28, MS_ONLY(1, 750, 155),     true,  1, 1, false, 1, 0,            AE_750,  8, 1, 3, 0, 0, 0,  3000,         97, 64, 59},
    {30, MS_ONLY(1, 756, 200),     true,  1, 0, false, 0, kKeepResLock, AE_NONE, 8, 1, 1, 0, 0, -1, 1500,         132, 64, 82},
    {31, MS_ONLY(1, 750, 155),     true,  1, 1, false, 1, 0,            AE_750,  7, 1, 3, 0, 0, 0,  kRowsFromHub, 71, 64, 69},
    {32, MS_ONLY(1, 750, 155),     true,  1, 1, false, 1, 0,            AE_750,  7, 1, 3, 0, 0, 0,  kRowsFromHub, 71, 64, 69},
    {33, MS_LONG(40, 99, 30),      false, 0, 0, false, 0, 1,            AE_STD,  5, 1, 3, 0, 1, 0,  kNoRowLimit,  NO_GAINS},
    {34, MS_LONG(40, 99, 30),      false, 1, 1, false, 0, 1,            AE_STD,  8, 1, 3, 0, 1, 1,  kNoRowLimit,  NO_GAINS},
    {35, MS_ONLY(1, 456, 100),     true,  1, 0, false, 0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  3072,         68, 64, 76},
    {36, MS_ONLY(1, 250, 80),      true,  1, 0, false, 0, kKeepResLock, AE_NONE, 1, 1, 1, 0, 0, 0,  2048,         68, 64, 76},
    {37, MS_LONG(40, 99, 30),      false, 1, 1, false, 0, 1,            AE_STD,  5, 1, 3, 0, 0, 1,  kNoRowLimit,  NO_GAINS},
    {38, MS_LONG(40, 99, 30),      false, 0, 0, false, 0, 1,            AE_STD,  5, 1, 3, 0, 0, 0,  kNoRowLimit,  NO_GAINS},
};
// clang-format on

#undef MS_ONLY
#undef MS_LONG
#undef AE_NONE
#undef AE_STD
#undef AE_750
#undef NO_GAINS

const ModelRow* FindModel(int id) {
    for (const ModelRow& row : kModels)
        if (row.id == id)
            return &row;
    return nullptr;
}

void SetRange(CameraParamRange& r, int supported, int min, int max, int value) {
    r.bSupported = supported;
    r.nMin = min;
    r.nMax = max;
    r.nValue = value;
}

void SetSwitch(CameraParamSwitch& s, int supported, int value) {
    s.bSupported = supported;
    s.nValue = value;
}

}  // namespace

int FillCameraModelInfo(CameraSettings& s) {
    const ModelRow* m = FindModel(s.nCameraId);
    if (!m)
        return 0;
    const int id = m->id;
    const CameraModelTraits& traits = CameraModelTraits::Of(id);
    const int colour = m->colour ? 1 : 0;
    const bool longMode = s.bLongExposure != 0;

    s.bSeparateRes = traits.separateResolutions ? 1 : 0;
    if (m->resLock != kKeepResLock)
        s.bResLock = m->resLock;
    s.bFineModeAvailable = traits.fineMode ? 1 : 0;
    s.bFineMode = 0;
    s.pBackPoints = nullptr;
    s.nBackPoints = 0;

    SetSwitch(s.aeState, 1, 1);
    if (longMode)
        SetRange(s.exposure, 1, m->longMin, m->longMax, m->longDefault);
    else
        SetRange(s.exposure, 1, m->expMin, m->expMax, m->expDefault);
    SetRange(s.aeTarget, 1, -5, 5, traits.aeTargetDefault);
    SetRange(s.analogGain, 1, 1, GainLevelCount(id), 1);
    const int balanceAndSaturation = traits.monoWithWhiteBalance ? 1 : colour;
    s.bWhiteBalance = balanceAndSaturation;
    SetRange(s.gamma, 1, -20, 20, 0);
    SetRange(s.contrast, 1, -20, 20, 0);
    SetRange(s.saturation, balanceAndSaturation, -traits.saturationLimit, traits.saturationLimit, 0);
    SetSwitch(s.colorEnhancement, colour, colour);
    s.bBackCorrLoaded = 0;
    s.bBackCorrApply = 0;
    SetSwitch(s.mirrorH, 1, 0);
    SetSwitch(s.mirrorV, 1, m->mirrorVDefault);
    SetSwitch(s.monochrome, colour, 0);
    SetRange(s.redGain, colour, 20, 200, 64);
    SetRange(s.greenGain, colour, 20, 200, 64);
    SetRange(s.blueGain, colour, 20, 200, 64);
    SetSwitch(s.frameSpeed, m->frameSpeedSupported, m->frameSpeedValue);
    SetSwitch(s.lightFrequency, m->lightAndB2rgb ? 1 : 0, 0);
    SetSwitch(s.b2rgbMode, m->lightAndB2rgb ? 1 : 0, 0);
    s.byParamTeam = 0;
    s.byParamTeamAtOpen = 0;

    if (longMode) {
        s.nAeExpFloor = m->longFloor;
        s.nAeExpCeiling = m->longCeiling;
        s.nAeExpZone1 = m->longZone1;
        s.nAeExpZone2 = m->longZone2;
        s.nAeExpZone3 = m->longZone3;
    } else {
        s.nAeExpFloor = m->floor;
        s.nAeExpCeiling = m->ceiling;
        s.nAeExpZone1 = m->zone1;
        s.nAeExpZone2 = m->zone2;
        s.nAeExpZone3 = m->zone3;
    }
    s.nAeGainMin = 1;
    s.nAeGainMax = m->gainMax;
    s.nAeGainLow = m->gainLow;
    s.nAeGainHigh = m->gainHigh;
    s.bSoftwareAe = m->softwareAe;
    s.bSpeedSwitching = m->speedSwitching;
    if (m->speedMode >= 0)
        s.bySpeedMode = static_cast<BYTE>(m->speedMode);

    if (m->rowLimit == kNoRowLimit) {
        s.bUseRowLimit = 0;
        s.nRowLimit = 1000;
    } else {
        s.bUseRowLimit = 1;
        s.nRowLimit = m->rowLimit == kRowsFromHub ? VekCameraGetMaxExposureTime() : m->rowLimit;
    }

    s.bDefaultGains = m->defRed != 0 ? 1 : 0;
    s.nDefaultRed = m->defRed ? m->defRed : 64;
    s.nDefaultGreen = m->defRed ? m->defGreen : 64;
    s.nDefaultBlue = m->defRed ? m->defBlue : 64;
    return 1;
}

int ApplyRowLimit(CameraSettings& s) {
    if (s.bUseRowLimit != 1)
        return 0;
    // The driver may write fewer bytes than an int: start from zero.
    int rowTimeUs = 0;
    VekCameraGetRowTime(&rowTimeUs);
    if (rowTimeUs <= 0)
        return 0;
    const int maxMs = static_cast<int>(static_cast<double>(s.nRowLimit) * rowTimeUs * 0.001);
    s.exposure.nMax = maxMs;
    s.nAeExpCeiling = maxMs;
    return 1;
}
