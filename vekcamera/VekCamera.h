// The camera hub's C interface: 62 functions that find the plugged camera and forward every
// camera call to the driver library of its model, to the video-device path (camera id 0) or to
// the still-image writers. Every function returns a 32-bit int unless stated.
#pragma once

// HWND and FrameCallback; the two window handles the hub does look into are described in
// vekcamera/HubGui.h.
#include "platform/cameratypes.h"
#include "platform/wintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

// Camera ids.
#define CAMERA_ID_NONE (-1)
#define CAMERA_ID_DIRECTSHOW 0

// Results passed through from the drivers unchanged (the model driver's header declares the
// same values).
#ifndef FERROCAM_H
#define CAMERA_OK 1
#define CAMERA_NOFRAME 0
#define CAMERA_SNAPFRAME 2
#define CAMERA_NODEVICE (-1)
#define CAMERA_NOMEMORY (-2)
#define CAMERA_READFAIL (-3)
#define CAMERA_BADRANGE (-4)
#define CAMERA_BADHEADER 8
#define CAMERA_TORNFRAME 9

// Still-file type flags.
#define CAPTURE_FILE_JPEG 1
#define CAPTURE_FILE_BMP 2
#define CAPTURE_FILE_RAW 4
#define CAPTURE_FILE_TIFF 8
#endif

// Returned by value from VekCameraGetCameraID; the name is static and owned by the hub.
typedef struct CameraIdInfo {
    int32_t reserved;
    int32_t cameraId;
    const char* name;
} CameraIdInfo;

#if defined(VEKCAMERA_BUILD)
#define VEKCAMERA_API __attribute__((visibility("default")))
#else
#define VEKCAMERA_API
#endif

// Selection.
VEKCAMERA_API int VekCamera_ReflashCamera(void);
VEKCAMERA_API int VekCamera_SetCamera(int id);
VEKCAMERA_API CameraIdInfo VekCameraGetCameraID(void);
// combo: a handle made by HubComboBoxHandle (vekcamera/HubGui.h).
VEKCAMERA_API int VekCamera_Registerpixel(HWND combo);

// Streaming.
VEKCAMERA_API int VekCameraInit(int resolution, HWND display, HWND notify);
VEKCAMERA_API int VekCameraUnInit(void);
VEKCAMERA_API int VekCameraPlay(void);
VEKCAMERA_API int VekCameraStop(void);
VEKCAMERA_API int VekCameraGrabFrame(BYTE* raw);
VEKCAMERA_API int VekCameraDecode(BYTE* raw, BYTE* rgb24, int width, int height);
VEKCAMERA_API int VekCameraCaptureFile(const char* path, int fileTypes, int resolution);
VEKCAMERA_API int VekCameraGetImageSize(int* width, int* height);
VEKCAMERA_API int VekCameraGetImageDataRGB24(BYTE* out);
VEKCAMERA_API int VekCameraGetImageData(BYTE* out);
VEKCAMERA_API int VekCameraSetResolution(int resolution);
VEKCAMERA_API int VekCameraGetResolution(int* resolution);
VEKCAMERA_API BYTE VekCameraDecodeType(void);
VEKCAMERA_API int VekCameraFlip(void);

// Parameters. Getters pass the caller's pointer to the driver, which writes its own width: the
// model driver's byte getters write one byte and its analog-gain getter 16 bits, so callers
// zero the int they pass.
VEKCAMERA_API int VekCameraSetAeState(int on);
VEKCAMERA_API int VekCameraGetAeState(int* on);
VEKCAMERA_API int VekCameraSetAeTarget(int target);
VEKCAMERA_API int VekCameraGetAeTarget(int* target);
VEKCAMERA_API int VekCameraSetAWBState(int on);
VEKCAMERA_API int VekCameraSetExposureTime(unsigned int ms);
VEKCAMERA_API int VekCameraGetExposureTime(int* ms);
VEKCAMERA_API int VekCameraGetRowTime(int* rowTime);
VEKCAMERA_API int VekCameraReStartLongExpTime(int value);
VEKCAMERA_API int VekCameraGetMaxExposureTime(void);
VEKCAMERA_API int VekCameraSetAnalogGain(int gain);
VEKCAMERA_API int VekCameraGetAnalogGain(int* gain);
VEKCAMERA_API int VekCameraSetGain(int red, int green, int blue);
VEKCAMERA_API int VekCameraGetGain(int* red, int* green, int* blue);
VEKCAMERA_API int VekCameraSetGamma(int gamma);
VEKCAMERA_API int VekCameraGetGamma(int* gamma);
VEKCAMERA_API int VekCameraSetSaturation(int saturation);
VEKCAMERA_API int VekCameraGetSaturation(int* saturation);
VEKCAMERA_API int VekCameraSetColorEnhancement(int on);
VEKCAMERA_API int VekCameraGetColorEnhancement(int* on);
VEKCAMERA_API int VekCameraSetDataWide(int wide);
VEKCAMERA_API int VekCameraGetDataWide(int* wide);
VEKCAMERA_API int VekCameraSetContrast(int contrast);
VEKCAMERA_API int VekCameraGetContrast(int* contrast);
VEKCAMERA_API int VekCameraSetMirror(int axis, int on);
VEKCAMERA_API int VekCameraGetMirror(int axis, int* on);
VEKCAMERA_API int VekCameraSetMonochrome(int on);
VEKCAMERA_API int VekCameraGetMonochrome(int* on);
VEKCAMERA_API int VekCameraSetFrameSpeed(int speed);
VEKCAMERA_API int VekCameraGetFrameSpeed(BYTE* speed);
VEKCAMERA_API int VekCameraSetSpeedMode(int mode);
VEKCAMERA_API int VekCameraGetSpeedMode(BYTE* mode);
VEKCAMERA_API int VekCameraSetLightFrquency(int frequency);
VEKCAMERA_API int VekCameraGetLightFrquency(int* frequency);
VEKCAMERA_API int VekCameraSetB2RGBMode(int mode);
VEKCAMERA_API int VekCameraGetB2RGBMode(int* mode);
VEKCAMERA_API int VekCameraGetFPS(int* fps);
VEKCAMERA_API int VekCameraSetVideoMessage(int message);
VEKCAMERA_API int VekCameraDisplayEnable(int on);
VEKCAMERA_API int VekCameraSaveParameter(int team);
VEKCAMERA_API int VekCameraReadParameter(int team);
VEKCAMERA_API int VekCameraGetCurrentParameterTeam(BYTE* team);

// Files and image.
VEKCAMERA_API int VekCameraSave(unsigned int fileType, const char* path, const BYTE* rgb24, int width, int height);
VEKCAMERA_API int VekCameraWhite2Black(int on);

#ifdef __cplusplus
}
#endif
