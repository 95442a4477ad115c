// ferrocam.h first: its result codes are enumerators, which the hub's header then leaves alone.
#include "ferrocam/ferrocam.h"

#include "vekcamera/DriverTable.h"

#include <array>

#include "vekcamera/DriverImports.h"

namespace {

#define SET_INIT_FLAG(e, P) e.InitFlag = LUMO_FN(P, Init);
#define SET_INIT_PLAIN(e, P) e.InitPlain = LUMO_FN(P, Init);
#define SET_INIT_FLAGFIRST(e, P) e.InitFlagFirst = LUMO_FN(P, Init);
#define SET_INIT_NOCALLBACK(e, P) e.InitNoCallback = LUMO_FN(P, Init);
#define SET_DECODE4(e, P) e.Decode4 = LUMO_FN(P, Decode);
#define SET_DECODE5(e, P) e.Decode5 = LUMO_FN(P, Decode);
#define SET_CAPTURE2(e, P) e.CaptureFile2 = LUMO_FN(P, CaptureFile);
#define SET_CAPTURE3(e, P) e.CaptureFile3 = LUMO_FN(P, CaptureFile);
#define SET_ROWTIME_INT(e, P) e.GetRowTimeInt = LUMO_FN(P, GetRowTime);
#define SET_ROWTIME_FLOAT(e, P) e.GetRowTimeFloat = LUMO_FN(P, GetRowTime);

#define SET_COMMON(e, P)                                                \
    e.UnInit = LUMO_FN(P, UnInit);                                      \
    e.Play = LUMO_FN(P, Play);                                          \
    e.Stop = LUMO_FN(P, Stop);                                          \
    e.GrabFrame = LUMO_FN(P, GrabFrame);                                \
    e.GetImageSize = LUMO_FN(P, GetImageSize);                          \
    e.GetImageDataRGB24 = LUMO_FN(P, GetImageDataRGB24);                \
    e.GetImageData = LUMO_FN(P, GetImageData);                          \
    e.SetResolution = LUMO_FN(P, SetResolution);                        \
    e.GetResolution = LUMO_FN(P, GetResolution);                        \
    e.SetROI = LUMO_FN(P, SetROI);                                      \
    e.SetLongExpPower = LUMO_FN(P, SetLongExpPower);                    \
    e.SetAeState = LUMO_FN(P, SetAeState);                              \
    e.GetAeState = LUMO_FN(P, GetAeState);                              \
    e.SetAeTarget = LUMO_FN(P, SetAeTarget);                            \
    e.GetAeTarget = LUMO_FN(P, GetAeTarget);                            \
    e.SetAWBState = LUMO_FN(P, SetAWBState);                            \
    e.SetExposureTime = LUMO_FN(P, SetExposureTime);                    \
    e.GetExposureTime = LUMO_FN(P, GetExposureTime);                    \
    e.CancelLongExposure = LUMO_FN(P, CancelLongExposure);              \
    e.RestartLongExposure = LUMO_FN(P, RestartLongExposure);            \
    e.GetMaxExposureTime = LUMO_FN(P, GetMaxExposureTime);              \
    e.GetMaxExposure = LUMO_FN(P, GetMaxExposure);                      \
    e.SetAnalogGain = LUMO_FN(P, SetAnalogGain);                        \
    e.GetAnalogGain = LUMO_FN(P, GetAnalogGain);                        \
    e.SetGain = LUMO_FN(P, SetGain);                                    \
    e.GetGain = LUMO_FN(P, GetGain);                                    \
    e.SetGamma = LUMO_FN(P, SetGamma);                                  \
    e.GetGamma = LUMO_FN(P, GetGamma);                                  \
    e.SetSaturation = LUMO_FN(P, SetSaturation);                        \
    e.GetSaturation = LUMO_FN(P, GetSaturation);                        \
    e.SetColorEnhancement = LUMO_FN(P, SetColorEnhancement);            \
    e.GetColorEnhancement = LUMO_FN(P, GetColorEnhancement);            \
    e.SetDataWide = LUMO_FN(P, SetDataWide);                            \
    e.GetDataWide = LUMO_FN(P, GetDataWide);                            \
    e.SetDataDataWide = LUMO_FN(P, SetDataDataWide);                    \
    e.GetDataDataWide = LUMO_FN(P, GetDataDataWide);                    \
    e.SetContrast = LUMO_FN(P, SetContrast);                            \
    e.GetContrast = LUMO_FN(P, GetContrast);                            \
    e.SetMirror = LUMO_FN(P, SetMirror);                                \
    e.GetMirror = LUMO_FN(P, GetMirror);                                \
    e.SetMonochrome = LUMO_FN(P, SetMonochrome);                        \
    e.GetMonochrome = LUMO_FN(P, GetMonochrome);                        \
    e.SetFrameSpeed = LUMO_FN(P, SetFrameSpeed);                        \
    e.GetFrameSpeed = LUMO_FN(P, GetFrameSpeed);                        \
    e.SetLightFrquency = LUMO_FN(P, SetLightFrquency);                  \
    e.GetLightFrquency = LUMO_FN(P, GetLightFrquency);                  \
    e.SetB2RGBMode = LUMO_FN(P, SetB2RGBMode);                          \
    e.GetB2RGBMode = LUMO_FN(P, GetB2RGBMode);                          \
    e.GetFPS = LUMO_FN(P, GetFPS);                                      \
    e.SetVideoMessage = LUMO_FN(P, SetVideoMessage);                    \
    e.DisplayEnable = LUMO_FN(P, DisplayEnable);                        \
    e.SaveParameter = LUMO_FN(P, SaveParameter);                        \
    e.ReadParameter = LUMO_FN(P, ReadParameter);                        \
    e.GetCurrentParameterTeam = LUMO_FN(P, GetCurrentParameterTeam);

#define SET_LIBRARY(P, ID, INIT, DECODE, CAPTURE, ROWTIME) \
    {                                                      \
        DriverEntry& e = table[ID];                        \
        SET_COMMON(e, P)                                   \
        SET_##INIT(e, P) SET_##DECODE(e, P) SET_##CAPTURE(e, P) SET_##ROWTIME(e, P)    \
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
