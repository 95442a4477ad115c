// ferrocam.h first: its result codes are enumerators, which the hub's header then leaves alone.
#include "ferrocam/ferrocam.h"

#include "vekcamera/DriverTable.h"

#include <array>

#include "vekcamera/DispatchSets.h"
#include "outside/drivers/DriverImports.h"

namespace {

#define SET_INIT_FLAG(e, P) e.InitFlag = LUMO_FN(P, Init);
#define SET_INIT_PLAIN(e, P) e.InitPlain = LUMO_FN(P, Init);
#define SET_INIT_FLAGFIRST(e, P) e.InitFlagFirst = LUMO_FN(P, Init);
#define SET_INIT_NOCALLBACK(e, P) e.InitNoCallback = LUMO_FN(P, Init);
#define SET_DECODE4(e, P) e.Decode4 = LUMO_FN(P, Decode);
#define SET_DECODE5(e, P) e.Decode5 = LUMO_FN(P, Decode);
#define SET_CAPTURE2(e, P) e.CaptureFile2 = LUMO_FN(P, CaptureFile);
#define SET_CAPTURE3(e, P) e.CaptureFile3 = LUMO_FN(P, CaptureFile);
#define SET_ROWTIME_INT(e, P, ID)                 \
    if constexpr (dispatch::kBindRowTime.Has(ID)) \
        e.GetRowTimeInt = LUMO_FN(P, GetRowTime);
#define SET_ROWTIME_FLOAT(e, P, ID)               \
    if constexpr (dispatch::kBindRowTime.Has(ID)) \
        e.GetRowTimeFloat = LUMO_FN(P, GetRowTime);

// A library's function is bound only when a camera id sends calls to it: the outside libraries
// need export nothing more than their models use, and an operation no id calls stays unbound.
#define BIND(e, P, ID, op, ids)              \
    if constexpr (dispatch::ids.Has(ID))     \
        e.op = LUMO_FN(P, op);

#define SET_COMMON(e, P, ID)                                                  \
    BIND(e, P, ID, UnInit, kDriverIds)                                        \
    BIND(e, P, ID, Play, kDriverIds)                                          \
    BIND(e, P, ID, Stop, kBindStop)                                           \
    BIND(e, P, ID, GrabFrame, kDriverIds)                                     \
    BIND(e, P, ID, GetImageSize, kDriverIds)                                  \
    BIND(e, P, ID, GetImageDataRGB24, kBindImageDataRGB24)                    \
    BIND(e, P, ID, GetImageData, kImageDataIds)                               \
    BIND(e, P, ID, SetResolution, kResolutionIds)                             \
    BIND(e, P, ID, GetResolution, kResolutionIds)                             \
    BIND(e, P, ID, SetROI, kBindRegion)                                       \
    BIND(e, P, ID, SetLongExpPower, kBindLongExpPower)                        \
    BIND(e, P, ID, SetAeState, kAeIds)                                        \
    BIND(e, P, ID, GetAeState, kAeIds)                                        \
    BIND(e, P, ID, SetAeTarget, kBindAeTarget)                                \
    BIND(e, P, ID, GetAeTarget, kBindAeTarget)                                \
    BIND(e, P, ID, SetAWBState, kAwbIds)                                      \
    BIND(e, P, ID, SetExposureTime, kDriverIds)                               \
    BIND(e, P, ID, GetExposureTime, kDriverIds)                               \
    BIND(e, P, ID, CancelLongExposure, kCancelLongExposureIds)                \
    BIND(e, P, ID, RestartLongExposure, kRestartLongExposureIds)              \
    BIND(e, P, ID, GetMaxExposureTime, kMaxExposureTimeIds)                   \
    BIND(e, P, ID, GetMaxExposure, kMaxExposureIds)                           \
    BIND(e, P, ID, SetAnalogGain, kDriverIds)                                 \
    BIND(e, P, ID, GetAnalogGain, kDriverIds)                                 \
    BIND(e, P, ID, SetGain, kGainIds)                                         \
    BIND(e, P, ID, GetGain, kGainIds)                                         \
    BIND(e, P, ID, SetGamma, kDriverIds)                                      \
    BIND(e, P, ID, GetGamma, kDriverIds)                                      \
    BIND(e, P, ID, SetSaturation, kGainIds)                                   \
    BIND(e, P, ID, GetSaturation, kGainIds)                                   \
    BIND(e, P, ID, SetColorEnhancement, kColorEnhancementIds)                 \
    BIND(e, P, ID, GetColorEnhancement, kColorEnhancementIds)                 \
    BIND(e, P, ID, SetDataWide, kDataWideIds)                                 \
    BIND(e, P, ID, GetDataWide, kDataWideIds)                                 \
    BIND(e, P, ID, SetDataDataWide, kDataDataWideIds)                         \
    BIND(e, P, ID, GetDataDataWide, kDataDataWideIds)                         \
    BIND(e, P, ID, SetContrast, kDriverIds)                                   \
    BIND(e, P, ID, GetContrast, kDriverIds)                                   \
    BIND(e, P, ID, SetMirror, kDriverIds)                                     \
    BIND(e, P, ID, GetMirror, kDriverIds)                                     \
    BIND(e, P, ID, SetMonochrome, kMonochromeIds)                             \
    BIND(e, P, ID, GetMonochrome, kMonochromeIds)                             \
    BIND(e, P, ID, SetFrameSpeed, kBindSetFrameSpeed)                         \
    BIND(e, P, ID, GetFrameSpeed, kBindGetFrameSpeed)                         \
    BIND(e, P, ID, SetLightFrquency, kLightFrequencyIds)                      \
    BIND(e, P, ID, GetLightFrquency, kLightFrequencyIds)                      \
    BIND(e, P, ID, SetB2RGBMode, kB2RGBIds)                                   \
    BIND(e, P, ID, GetB2RGBMode, kB2RGBIds)                                   \
    BIND(e, P, ID, GetFPS, kFpsIds)                                           \
    BIND(e, P, ID, SetVideoMessage, kDriverIds)                               \
    BIND(e, P, ID, DisplayEnable, kDriverIds)                                 \
    BIND(e, P, ID, SaveParameter, kDriverIds)                                 \
    BIND(e, P, ID, ReadParameter, kDriverIds)                                 \
    BIND(e, P, ID, GetCurrentParameterTeam, kDriverIds)

#define SET_LIBRARY(P, ID, INIT, DECODE, CAPTURE, ROWTIME) \
    {                                                      \
        DriverEntry& e = table[ID];                        \
        SET_COMMON(e, P, ID)                               \
        SET_##INIT(e, P) SET_##DECODE(e, P) SET_##CAPTURE(e, P) SET_##ROWTIME(e, P, ID)    \
        present[ID] = true;                                \
    }

// Ferrocam's getters write their own widths (one byte, 16 bits, unsigned); the hub hands the
// caller's pointer through as the driver expects it.
DriverEntry FerroEntry() {
    DriverEntry e;
    e.InitPlain = FerroCameraInit;
    e.Decode5 = FerroCameraDecode;
    e.CaptureFile3 = FerroCameraCaptureFile;
    e.GetRowTimeFloat = FerroCameraGetRowTime;
    e.UnInit = FerroCameraUnInit;
    e.Play = FerroCameraPlay;
    e.Stop = FerroCameraStop;
    e.GrabFrame = FerroCameraGrabFrame;
    e.GetImageSize = FerroCameraGetImageSize;
    e.SetAeState = FerroCameraSetAeState;
    e.GetAeState = FerroCameraGetAeState;
    e.SetAeTarget = FerroCameraSetAeTarget;
    e.GetAeTarget = [](int* v) { return FerroCameraGetAeTarget(reinterpret_cast<BYTE*>(v)); };
    e.SetAWBState = FerroCameraSetAWBState;
    e.SetExposureTime = FerroCameraSetExposureTime;
    e.GetExposureTime = [](int* v) { return FerroCameraGetExposureTime(reinterpret_cast<unsigned int*>(v)); };
    e.SetAnalogGain = FerroCameraSetAnalogGain;
    e.GetAnalogGain = [](int* v) { return FerroCameraGetAnalogGain(reinterpret_cast<uint16_t*>(v)); };
    e.SetGain = [](int r, int g, int b) {
        return FerroCameraSetGain(static_cast<unsigned int>(r), static_cast<unsigned int>(g),
                                  static_cast<unsigned int>(b));
    };
    e.GetGain = FerroCameraGetGain;
    e.SetGamma = FerroCameraSetGamma;
    e.GetGamma = [](int* v) { return FerroCameraGetGamma(reinterpret_cast<BYTE*>(v)); };
    e.SetSaturation = FerroCameraSetSaturation;
    e.GetSaturation = [](int* v) { return FerroCameraGetSaturation(reinterpret_cast<BYTE*>(v)); };
    e.SetColorEnhancement = FerroCameraSetColorEnhancement;
    e.GetColorEnhancement = FerroCameraGetColorEnhancement;
    e.SetContrast = FerroCameraSetContrast;
    e.GetContrast = [](int* v) { return FerroCameraGetContrast(reinterpret_cast<BYTE*>(v)); };
    e.SetMirror = FerroCameraSetMirror;
    e.GetMirror = FerroCameraGetMirror;
    e.SetMonochrome = FerroCameraSetMonochrome;
    e.GetMonochrome = FerroCameraGetMonochrome;
    e.SetFrameSpeed = FerroCameraSetFrameSpeed;
    e.GetFrameSpeed = FerroCameraGetFrameSpeed;
    e.SetVideoMessage = FerroCameraSetVideoMessage;
    e.DisplayEnable = FerroCameraDisplayEnable;
    e.SaveParameter = FerroCameraSaveParameter;
    e.ReadParameter = FerroCameraReadParameter;
    e.GetCurrentParameterTeam = FerroCameraGetCurrentParameterTeam;
    return e;
}

struct Table {
    std::array<DriverEntry, kHighestCameraId + 1> table{};
    std::array<bool, kHighestCameraId + 1> present{};
    Table() {
        LUMO_LIBRARIES(SET_LIBRARY)
        table[28] = FerroEntry();
        present[28] = true;
    }
};

}  // namespace

const DriverEntry* DriverFor(int cameraId) {
    static const Table t;
    if (cameraId < 0 || cameraId > kHighestCameraId || !t.present[cameraId])
        return nullptr;
    return &t.table[cameraId];
}
