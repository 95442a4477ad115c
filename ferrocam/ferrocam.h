/* The Ferrocam model driver (camera id 28, "LUMO-28"): C functions with C linkage. Every
 * function returns an int result; without an engine (before a successful FerroCameraInit or
 * after FerroCameraUnInit) every one returns CAMERA_NODEVICE.
 *
 * Getter widths: the AE target, gamma, saturation, contrast, frame speed and current-team
 * getters write exactly ONE byte through their pointer, and the analog-gain getter writes 16
 * bits. Callers passing an int must zero it first; the remaining bytes are left untouched. */
#ifndef FERROCAM_H
#define FERROCAM_H

#include <stdint.h>

#ifndef QUILLORY_HWND_DEFINED
#define QUILLORY_HWND_DEFINED
typedef struct HWND__* HWND;
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define FERRO_API __attribute__((visibility("default")))

enum {
    CAMERA_OK = 1,
    CAMERA_NOFRAME = 0,
    CAMERA_SNAPFRAME = 2,
    CAMERA_NODEVICE = -1,
    CAMERA_NOMEMORY = -2,
    CAMERA_READFAIL = -3,
    CAMERA_BADRANGE = -4,
    CAMERA_BADHEADER = 8,
    CAMERA_TORNFRAME = 9
};

enum { CAPTURE_FILE_JPEG = 1, CAPTURE_FILE_BMP = 2, CAPTURE_FILE_RAW = 4, CAPTURE_FILE_TIFF = 8 };

/* Sensor modes: 0 3664 x 2740, 1 1600 x 1200, 2 1280 x 960, 3 800 x 600, 4 640 x 480,
 * 5 region of interest. */
enum { RESOLUTION_3664x2740 = 0, RESOLUTION_1600x1200, RESOLUTION_1280x960, RESOLUTION_800x600,
       RESOLUTION_640x480, RESOLUTION_ROI };

/* Receives each processed frame (width x height x 3 bytes, rows bottom-up, blue-green-red) on
 * the thread that runs the pipeline; the result is ignored. */
typedef int (*FrameCallback)(unsigned char* rgb24);

/* WM_USER + 101: posted to the notify window after each displayed frame (settable). */
#define WM_CAMERA_NEWFRAME (0x0400 + 101)

FERRO_API int FerroCameraInit(FrameCallback callback, int resolution, HWND display, HWND notify);
FERRO_API int FerroCameraUnInit(void);
FERRO_API int FerroCameraPlay(void);
FERRO_API int FerroCameraPause(void);
FERRO_API int FerroCameraStop(void);
/* raw: at least 2 x width x height + 512 bytes. */
FERRO_API int FerroCameraGrabFrame(unsigned char* raw);
/* rgb: width x height x 3 bytes of the current mode; width and height are not used. */
FERRO_API int FerroCameraDecode(unsigned char* raw, unsigned char* rgb, int width, int height, int runAe);
FERRO_API int FerroCameraGetImageSize(int* width, int* height);
FERRO_API int FerroCameraCaptureFile(const char* basePath, int flags, int resolution);
FERRO_API int FerroCameraSetAeState(int on);
FERRO_API int FerroCameraGetAeState(int* on);
FERRO_API int FerroCameraSetAeTarget(int target);
FERRO_API int FerroCameraGetAeTarget(unsigned char* target);
FERRO_API int FerroCameraSetExposureTime(unsigned int ms);
FERRO_API int FerroCameraGetExposureTime(unsigned int* ms);
FERRO_API int FerroCameraGetRowTime(float* microseconds);
FERRO_API int FerroCameraSetAnalogGain(int gain);
FERRO_API int FerroCameraGetAnalogGain(uint16_t* gain);
FERRO_API int FerroCameraSetAWBState(int on);
FERRO_API int FerroCameraGetAWBState(int* pending);
FERRO_API int FerroCameraGetAWBStateResult(int* flag, int* result);
FERRO_API int FerroCameraSetGain(unsigned int red, unsigned int green, unsigned int blue);
FERRO_API int FerroCameraGetGain(int* red, int* green, int* blue);
FERRO_API int FerroCameraSetGamma(int gamma);
FERRO_API int FerroCameraGetGamma(unsigned char* gamma);
FERRO_API int FerroCameraSetSaturation(int saturation);
FERRO_API int FerroCameraGetSaturation(unsigned char* saturation);
FERRO_API int FerroCameraSetColorEnhancement(int on);
FERRO_API int FerroCameraGetColorEnhancement(int* on);
FERRO_API int FerroCameraSetContrast(int contrast);
FERRO_API int FerroCameraGetContrast(unsigned char* contrast);
FERRO_API int FerroCameraSetMirror(int axis, int on);
FERRO_API int FerroCameraGetMirror(int axis, int* on);
FERRO_API int FerroCameraSetMonochrome(int on);
FERRO_API int FerroCameraGetMonochrome(int* on);
FERRO_API int FerroCameraSetFrameSpeed(int speed);
FERRO_API int FerroCameraGetFrameSpeed(unsigned char* speed);
FERRO_API int FerroCameraSaveParameter(int team);
FERRO_API int FerroCameraReadParameter(int team);
FERRO_API int FerroCameraGetCurrentParameterTeam(unsigned char* team);
FERRO_API int FerroCameraSetVideoMessage(int message);
FERRO_API int FerroCameraDisplayEnable(int on);
FERRO_API int FerroCameraCorrectionDead(void);
FERRO_API int FerroCameraCalcFlatFielding(void);
FERRO_API int FerroCameraGetCalcFlatFieldingState(int* request, int* done);
FERRO_API int FerroCameraSetFlatFieldingState(int on);
FERRO_API int FerroCameraGetFlatFieldingState(int* on);
FERRO_API int FerroCameraSetLevelsValues(int low, int high);
FERRO_API int FerroCameraGetLevelsValues(int* low, int* high);
FERRO_API int FerroCameraSetAutoLevelsState(int on);
FERRO_API int FerroCameraGetAutoLevelsState(int* on);
FERRO_API int FerroCameraGetLevelsCounts(int* counts256);

#ifdef __cplusplus
}
#endif

#endif
