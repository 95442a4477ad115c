// The functions the hub binds at load time from the 28 model driver libraries other than
// Ferrocam. Every library exports one family of functions, prefix "Camera" operation; most
// operations have one shape in all of them, and four come in per-model shapes (Init, Decode,
// CaptureFile, GetRowTime). The stand-in libraries of outside/drivers are compiled against
// these same declarations, so the two sides cannot drift apart.
#pragma once

#include "platform/cameratypes.h"
#include "platform/wintypes.h"

// What a driver function answers when its library finds no camera.
#define LUMO_NODEVICE (-1)

#define LUMO_FN(P, op) P##Camera##op

// The operations every library exports with one shape.
#define LUMO_COMMON_DECLS(P)                                                   \
    int LUMO_FN(P, UnInit)(void);                                              \
    int LUMO_FN(P, Play)(void);                                                \
    int LUMO_FN(P, Stop)(void);                                                \
    int LUMO_FN(P, GrabFrame)(BYTE * raw);                                     \
    int LUMO_FN(P, GetImageSize)(int* width, int* height);                     \
    int LUMO_FN(P, GetImageDataRGB24)(BYTE * out);                             \
    int LUMO_FN(P, GetImageData)(BYTE * out);                                  \
    int LUMO_FN(P, SetResolution)(int resolution);                             \
    int LUMO_FN(P, GetResolution)(int* resolution);                            \
    int LUMO_FN(P, SetROI)(int x, int y, int width, int height);               \
    int LUMO_FN(P, SetLongExpPower)(int on);                                   \
    int LUMO_FN(P, SetAeState)(int on);                                        \
    int LUMO_FN(P, GetAeState)(int* on);                                       \
    int LUMO_FN(P, SetAeTarget)(int target);                                   \
    int LUMO_FN(P, GetAeTarget)(int* target);                                  \
    int LUMO_FN(P, SetAWBState)(int on);                                       \
    int LUMO_FN(P, SetExposureTime)(unsigned int ms);                          \
    int LUMO_FN(P, GetExposureTime)(int* ms);                                  \
    int LUMO_FN(P, CancelLongExposure)(int value);                             \
    int LUMO_FN(P, RestartLongExposure)(int value);                            \
    int LUMO_FN(P, GetMaxExposureTime)(int* ms);                               \
    int LUMO_FN(P, GetMaxExposure)(int* ms);                                   \
    int LUMO_FN(P, SetAnalogGain)(int gain);                                   \
    int LUMO_FN(P, GetAnalogGain)(int* gain);                                  \
    int LUMO_FN(P, SetGain)(int red, int green, int blue);                     \
    int LUMO_FN(P, GetGain)(int* red, int* green, int* blue);                  \
    int LUMO_FN(P, SetGamma)(int gamma);                                       \
    int LUMO_FN(P, GetGamma)(int* gamma);                                      \
    int LUMO_FN(P, SetSaturation)(int saturation);                             \
    int LUMO_FN(P, GetSaturation)(int* saturation);                            \
    int LUMO_FN(P, SetColorEnhancement)(int on);                               \
    int LUMO_FN(P, GetColorEnhancement)(int* on);                              \
    int LUMO_FN(P, SetDataWide)(int wide);                                     \
    int LUMO_FN(P, GetDataWide)(int* wide);                                    \
    int LUMO_FN(P, SetDataDataWide)(int wide);                                 \
    int LUMO_FN(P, GetDataDataWide)(int* wide);                                \
    int LUMO_FN(P, SetContrast)(int contrast);                                 \
    int LUMO_FN(P, GetContrast)(int* contrast);                                \
    int LUMO_FN(P, SetMirror)(int axis, int on);                               \
    int LUMO_FN(P, GetMirror)(int axis, int* on);                              \
    int LUMO_FN(P, SetMonochrome)(int on);                                     \
    int LUMO_FN(P, GetMonochrome)(int* on);                                    \
    int LUMO_FN(P, SetFrameSpeed)(int speed);                                  \
    int LUMO_FN(P, GetFrameSpeed)(BYTE * speed);                               \
    int LUMO_FN(P, SetLightFrquency)(int frequency);                           \
    int LUMO_FN(P, GetLightFrquency)(int* frequency);                          \
    int LUMO_FN(P, SetB2RGBMode)(int mode);                                    \
    int LUMO_FN(P, GetB2RGBMode)(int* mode);                                   \
    int LUMO_FN(P, GetFPS)(int* fps);                                          \
    int LUMO_FN(P, SetVideoMessage)(int message);                              \
    int LUMO_FN(P, DisplayEnable)(int on);                                     \
    int LUMO_FN(P, SaveParameter)(int team);                                   \
    int LUMO_FN(P, ReadParameter)(int team);                                   \
    int LUMO_FN(P, GetCurrentParameterTeam)(BYTE * team);

// Init shapes.
#define LUMO_INIT_FLAG_DECL(P) int LUMO_FN(P, Init)(FrameCallback cb, int res, HWND display, HWND notify, int flag);
#define LUMO_INIT_PLAIN_DECL(P) int LUMO_FN(P, Init)(FrameCallback cb, int res, HWND display, HWND notify);
#define LUMO_INIT_FLAGFIRST_DECL(P) int LUMO_FN(P, Init)(FrameCallback cb, int res, HWND display, int flag, HWND notify);
#define LUMO_INIT_NOCALLBACK_DECL(P) int LUMO_FN(P, Init)(int res, HWND display, HWND notify);
// Decode with or without the run-AE argument.
#define LUMO_DECODE4_DECL(P) int LUMO_FN(P, Decode)(BYTE * raw, BYTE * rgb, int width, int height);
#define LUMO_DECODE5_DECL(P) int LUMO_FN(P, Decode)(BYTE * raw, BYTE * rgb, int width, int height, int runAe);
// CaptureFile with or without the resolution argument.
#define LUMO_CAPTURE2_DECL(P) int LUMO_FN(P, CaptureFile)(const char* path, int fileTypes);
#define LUMO_CAPTURE3_DECL(P) int LUMO_FN(P, CaptureFile)(const char* path, int fileTypes, int resolution);
// Row time as an int or as a float.
#define LUMO_ROWTIME_INT_DECL(P) int LUMO_FN(P, GetRowTime)(int* rowTime);
#define LUMO_ROWTIME_FLOAT_DECL(P) int LUMO_FN(P, GetRowTime)(float* rowTime);

// One line per library: prefix, camera id, Init, Decode, CaptureFile and GetRowTime shapes.
#define LUMO_LIBRARIES(X)                        \
    X(Lumo01, 1, INIT_FLAG, DECODE4, CAPTURE3, ROWTIME_INT)       \
    X(Lumo03, 3, INIT_FLAG, DECODE4, CAPTURE3, ROWTIME_INT)       \
    X(Lumo04, 4, INIT_FLAG, DECODE4, CAPTURE3, ROWTIME_INT)       \
    X(Lumo08, 8, INIT_FLAG, DECODE4, CAPTURE2, ROWTIME_INT)       \
    X(Lumo10, 10, INIT_FLAG, DECODE4, CAPTURE2, ROWTIME_INT)       \
    X(Lumo11, 11, INIT_PLAIN, DECODE4, CAPTURE2, ROWTIME_INT)      \
    X(Lumo12, 12, INIT_FLAG, DECODE4, CAPTURE2, ROWTIME_INT)       \
    X(Lumo13, 13, INIT_FLAG, DECODE4, CAPTURE2, ROWTIME_INT)       \
    X(Lumo14, 14, INIT_PLAIN, DECODE4, CAPTURE2, ROWTIME_INT)      \
    X(Lumo16, 16, INIT_PLAIN, DECODE4, CAPTURE2, ROWTIME_INT)      \
    X(Lumo17, 17, INIT_PLAIN, DECODE4, CAPTURE2, ROWTIME_INT)      \
    X(Lumo18, 18, INIT_FLAG, DECODE4, CAPTURE2, ROWTIME_INT)       \
    X(Lumo21, 21, INIT_FLAG, DECODE4, CAPTURE2, ROWTIME_INT)       \
    X(Lumo23, 23, INIT_PLAIN, DECODE4, CAPTURE2, ROWTIME_INT)      \
    X(Lumo24, 24, INIT_PLAIN, DECODE4, CAPTURE2, ROWTIME_INT)      \
    X(Lumo25, 25, INIT_PLAIN, DECODE4, CAPTURE3, ROWTIME_INT)      \
    X(Lumo26, 26, INIT_FLAG, DECODE4, CAPTURE2, ROWTIME_INT)       \
    X(Lumo27, 27, INIT_FLAGFIRST, DECODE4, CAPTURE3, ROWTIME_INT)  \
    X(Lumo29, 29, INIT_NOCALLBACK, DECODE4, CAPTURE2, ROWTIME_INT) \
    X(Lumo30, 30, INIT_PLAIN, DECODE4, CAPTURE3, ROWTIME_FLOAT)    \
    X(Lumo31, 31, INIT_PLAIN, DECODE4, CAPTURE3, ROWTIME_FLOAT)    \
    X(Lumo32, 32, INIT_PLAIN, DECODE5, CAPTURE3, ROWTIME_FLOAT)    \
    X(Lumo33, 33, INIT_PLAIN, DECODE4, CAPTURE2, ROWTIME_FLOAT)    \
    X(Lumo34, 34, INIT_PLAIN, DECODE4, CAPTURE2, ROWTIME_FLOAT)    \
    X(Lumo35, 35, INIT_PLAIN, DECODE5, CAPTURE3, ROWTIME_FLOAT)    \
    X(Lumo36, 36, INIT_PLAIN, DECODE5, CAPTURE3, ROWTIME_FLOAT)    \
    X(Lumo37, 37, INIT_PLAIN, DECODE5, CAPTURE3, ROWTIME_FLOAT)    \
    X(Lumo38, 38, INIT_PLAIN, DECODE5, CAPTURE2, ROWTIME_FLOAT)

#define LUMO_LIBRARY_DECLS(P, ID, INIT, DECODE, CAPTURE, ROWTIME) \
    LUMO_COMMON_DECLS(P)                                      \
    LUMO_##INIT##_DECL(P) LUMO_##DECODE##_DECL(P) LUMO_##CAPTURE##_DECL(P) LUMO_##ROWTIME##_DECL(P)

#ifdef __cplusplus
extern "C" {
#endif
LUMO_LIBRARIES(LUMO_LIBRARY_DECLS)
#ifdef __cplusplus
}
#endif
