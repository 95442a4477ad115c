// The hub's exported functions. Each reads the camera id once, and either forwards the call to
// the driver of that id with the model's adaptations, serves it itself (camera id 0, the still
// writers, the model tables) or answers with its default.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "outside/simcam/simcam.h"
#include "platform/usbtransport.h"
#include "stillwriters.h"
#include "vekcamera/CameraModels.h"
#include "vekcamera/DirectShowCapture.h"
#include "vekcamera/DispatchSets.h"
#include "outside/drivers/DriverImports.h"
#include "vekcamera/DriverTable.h"
#include "vekcamera/HubGui.h"
#include "vekcamera/IdSet.h"
#include "vekcamera/UsbCameraScanner.h"
#include "vekcamera/VekCamera.h"

namespace {

// Plain process-wide values; atomics only so that the driver's pipeline thread may read the
// negative-image flag while the UI thread sets it.
std::atomic<int> g_cameraId{CAMERA_ID_NONE};
std::atomic<int> g_negativeImage{0};

int CurrentId() { return g_cameraId.load(std::memory_order_relaxed); }

using namespace dispatch;

constexpr int kMaxExposureCap = 27000;
// The model driver of id 28 reads whole milliseconds and 0 until a value is available.
constexpr int kExposureRetries = 20;
constexpr auto kExposureRetryDelay = std::chrono::milliseconds(5);

// Calls a bound driver function, or answers 0 when the library lacks it.
template <typename R, typename... P, typename... A>
int Invoke(R (*fn)(P...), A&&... args) {
    return fn ? fn(std::forward<A>(args)...) : 0;
}

// The driver of the current id when the id is in the export's set, else nullptr.
const DriverEntry* Driver(int id, IdSet ids) { return ids.Has(id) ? DriverFor(id) : nullptr; }

// The plain case: the current id's own operation when the id is in the set, else 0.
template <typename Fn, typename... A>
int Forward(IdSet ids, Fn DriverEntry::*operation, A... args) {
    const DriverEntry* d = Driver(CurrentId(), ids);
    return d ? Invoke(d->*operation, args...) : 0;
}

void ShowWriterMessage(const char* text) { HubMessageBox(text); }

struct WriterMessagesInstalled {
    WriterMessagesInstalled() { SetStillWriterMessageBox(ShowWriterMessage); }
};
const WriterMessagesInstalled g_writerMessages;

// The simulated camera is plugged in by the hub: its detection sees it, and the model driver's
// transport opens it through the platform's factory slot when QUILLORY_SIMULATED_CAMERA is set.
struct SimulatedCameraInstalled {
    SimulatedCameraInstalled() { SetSimulatedUsbTransportFactory(&SimCamCreateTransport); }
};
const SimulatedCameraInstalled g_simulatedCamera;

// For the exports that allocate or call into the host: no exception may leave a C function,
// so running out of memory (or a host callback that throws) becomes the export's failure.
template <typename F>
int Guarded(int onFailure, F&& body) {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

// Given to every driver's Init: turns the processed frame into its negative when asked.
int HubFrameCallback(BYTE* frame) {
    if (g_negativeImage.load(std::memory_order_relaxed) == 0 || !frame)
        return 1;
    int width = 0;
    int height = 0;
    VekCameraGetImageSize(&width, &height);
    if (width <= 0 || height <= 0)
        return 1;
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3u;
    for (uint64_t i = 0; i < bytes; ++i)
        frame[i] = static_cast<BYTE>(255 - frame[i]);
    return 1;
}

// The caller's frame-speed numbers differ per model.
int MapSetFrameSpeed(int id, int speed) {
    if (id == 31 || id == 32) {
        if (speed == 0)
            return 1;
        if (speed == 1)
            return 0;
        return speed;
    }
    if (IdSet{30, 33, 34, 35, 36, 37, 38}.Has(id) && speed == 0)
        return 2;
    return speed;
}

BYTE MapGetFrameSpeed(int id, BYTE speed) {
    if (id == 31 || id == 32)
        return speed != 0 ? 0 : 1;
    if (id == 33)
        return speed != 0 ? 0 : speed;
    if (IdSet{30, 34, 35, 36, 37, 38}.Has(id) && speed >= 2)
        return 0;
    return speed;
}

// Toward zero; a value no int holds (or no number at all) from an outside driver must not be
// converted as it stands, which C++ leaves undefined.
int TruncateRowTime(float value) {
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<int>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

int Lumo25FrameSpeedFor(unsigned int ms) {
    if (ms <= 108)
        return 0;
    if (ms <= 218)
        return 1;
    if (ms <= 436)
        return 2;
    return 3;
}

}  // namespace

// Selection -------------------------------------------------------------------------------------

extern "C" VEKCAMERA_API int VekCamera_ReflashCamera(void) {
    const int found = Guarded(CAMERA_ID_NONE, [] {
        CUsbCameraScanner scanner;
        return scanner.Scan();
    });
    g_cameraId.store(found);
    return 1;
}

extern "C" VEKCAMERA_API int VekCamera_SetCamera(int id) {
    g_cameraId.store(id);
    return 1;
}

extern "C" VEKCAMERA_API CameraIdInfo VekCameraGetCameraID(void) {
    CameraIdInfo info{0, CurrentId(), nullptr};
    info.name = CameraDisplayName(info.cameraId);
    if (!info.name) {
        g_cameraId.store(CAMERA_ID_NONE);
        info.cameraId = CAMERA_ID_NONE;
        info.name = kUnknownDeviceName;
    }
    return info;
}

extern "C" VEKCAMERA_API int VekCamera_Registerpixel(HWND combo) {
    IHubComboBox* box = HubComboBoxFromHandle(combo);
    if (!box)
        return 1;
    const int id = CurrentId();
    return Guarded(1, [&] {
        if (id == CAMERA_ID_DIRECTSHOW) {
            CDirectShowCapture::ListVideoDevices(box);
            return 1;
        }
        const ResolutionChoices choices = ResolutionChoicesFor(id);
        for (const char* label : choices.labels)
            box->AddString(label);
        if (choices.selected >= 0)
            box->SetCurSel(choices.selected);
        return 1;
    });
}

// Streaming -------------------------------------------------------------------------------------

extern "C" VEKCAMERA_API int VekCameraInit(int resolution, HWND display, HWND notify) {
    const int id = CurrentId();
    if (id == CAMERA_ID_DIRECTSHOW)
        return Guarded(0, [&] { return CDirectShowCapture::HubInit(resolution, display); });
    const DriverEntry* d = Driver(id, kDriverIds);
    if (!d)
        return 0;
    const int res8 = resolution & 0xFF;
    switch (id) {
    case 1: case 3: case 4: case 8: case 18: case 21: case 26:
        return Invoke(d->InitFlag, HubFrameCallback, res8, display, notify, 1);
    case 10: case 12: case 13:
        return Invoke(d->InitFlag, HubFrameCallback, res8, display, notify, 0);
    case 14:
        Invoke(d->SetROI, 624, 100, 800, 500);
        return Invoke(d->InitPlain, HubFrameCallback, res8, display, notify);
    case 27:
        return Invoke(d->InitFlagFirst, HubFrameCallback, res8, display, 1, notify);
    case 29:
        return Invoke(d->InitNoCallback, resolution, display, notify);
    case 11: case 16: case 17: case 23: case 24: case 25:
        return Invoke(d->InitPlain, HubFrameCallback, res8, display, notify);
    default:  // 28, 30-38 take the resolution unchanged
        return Invoke(d->InitPlain, HubFrameCallback, resolution, display, notify);
    }
}

extern "C" VEKCAMERA_API int VekCameraUnInit(void) {
    const int id = CurrentId();
    if (id == CAMERA_ID_DIRECTSHOW)
        return CDirectShowCapture::HubUnInit();
    const DriverEntry* d = Driver(id, kDriverIds);
    return d ? Invoke(d->UnInit) : 0;
}

extern "C" VEKCAMERA_API int VekCameraPlay(void) {
    const int id = CurrentId();
    if (id == CAMERA_ID_DIRECTSHOW)
        return CDirectShowCapture::HubPlay();
    const DriverEntry* d = Driver(id, kDriverIds);
    if (!d)
        return 1;
    if (id == kLongExpPowerOnPlay)
        Invoke(d->SetLongExpPower, 1);
    return Invoke(d->Play);
}

extern "C" VEKCAMERA_API int VekCameraStop(void) {
    const int id = CurrentId();
    if (id == CAMERA_ID_DIRECTSHOW)
        return CDirectShowCapture::HubStop();
    const DriverEntry* d = Driver(id, kDriverIds);
    if (!d)
        return 0;
    // The model of id 32 toggles its stream with Play.
    return id == kStopsWithPlay ? Invoke(d->Play) : Invoke(d->Stop);
}

extern "C" VEKCAMERA_API int VekCameraGrabFrame(BYTE* raw) {
    return Forward(kDriverIds, &DriverEntry::GrabFrame, raw);
}

extern "C" VEKCAMERA_API int VekCameraDecode(BYTE* raw, BYTE* rgb24, int width, int height) {
    const int id = CurrentId();
    const DriverEntry* d = Driver(id, kDriverIds);
    if (!d)
        return 0;
    // These drivers may run their own auto exposure inside Decode.
    if (kDecodeRunAeIds.Has(id))
        return Invoke(d->Decode5, raw, rgb24, width, height, 1);
    return Invoke(d->Decode4, raw, rgb24, width, height);
}

extern "C" VEKCAMERA_API int VekCameraCaptureFile(const char* path, int fileTypes, int resolution) {
    const int id = CurrentId();
    if (id == CAMERA_ID_DIRECTSHOW)
        return Guarded(0, [&] { return CDirectShowCapture::HubCaptureFile(path); });
    const DriverEntry* d = Driver(id, kDriverIds);
    if (!d)
        return 0;
    switch (id) {
    case 3: case 4: case 27:
        return Invoke(d->CaptureFile3, path, fileTypes, resolution & 0xFF);
    case 25:
        return Invoke(d->CaptureFile3, path, fileTypes, 0);
    case 1: case 28: case 30: case 31: case 32: case 35: case 36: case 37:
        return Invoke(d->CaptureFile3, path, fileTypes, resolution);
    default:
        return Invoke(d->CaptureFile2, path, fileTypes);
    }
}

extern "C" VEKCAMERA_API int VekCameraGetImageSize(int* width, int* height) {
    return Forward(kDriverIds, &DriverEntry::GetImageSize, width, height);
}

extern "C" VEKCAMERA_API int VekCameraGetImageDataRGB24(BYTE* out) {
    return Forward(kDriverIds.Without({28}), &DriverEntry::GetImageDataRGB24, out);
}

extern "C" VEKCAMERA_API int VekCameraGetImageData(BYTE* out) {
    const int id = CurrentId();
    if (const DriverEntry* d = Driver(id, kImageDataIds))
        return Invoke(d->GetImageData, out);
    if (const DriverEntry* d = Driver(id, kImageDataRGB24Ids))
        return Invoke(d->GetImageDataRGB24, out);
    return 0;
}

extern "C" VEKCAMERA_API int VekCameraSetResolution(int resolution) {
    return Forward(kResolutionIds, &DriverEntry::SetResolution, resolution);
}

extern "C" VEKCAMERA_API int VekCameraGetResolution(int* resolution) {
    return Forward(kResolutionIds, &DriverEntry::GetResolution, resolution);
}

extern "C" VEKCAMERA_API BYTE VekCameraDecodeType(void) { return CameraDecodeType(CurrentId()); }

extern "C" VEKCAMERA_API int VekCameraFlip(void) { return CameraFlip(CurrentId()); }

// Parameters ------------------------------------------------------------------------------------

extern "C" VEKCAMERA_API int VekCameraSetAeState(int on) {
    return Forward(kAeIds, &DriverEntry::SetAeState, on);
}

extern "C" VEKCAMERA_API int VekCameraGetAeState(int* on) {
    return Forward(kAeIds, &DriverEntry::GetAeState, on);
}

extern "C" VEKCAMERA_API int VekCameraSetAeTarget(int target) {
    const int id = CurrentId();
    if (!kAeIds.Has(id))
        return 0;
    // The model of id 16 is served by the library of id 10.
    const DriverEntry* d = DriverFor(id == kBorrowsLibraryOf10 ? 10 : id);
    return d ? Invoke(d->SetAeTarget, target) : 0;
}

extern "C" VEKCAMERA_API int VekCameraGetAeTarget(int* target) {
    const int id = CurrentId();
    if (!kAeIds.Has(id))
        return 0;
    const DriverEntry* d = DriverFor(id == kBorrowsLibraryOf10 ? 10 : id);
    return d ? Invoke(d->GetAeTarget, target) : 0;
}

extern "C" VEKCAMERA_API int VekCameraSetAWBState(int on) {
    return Forward(kAwbIds, &DriverEntry::SetAWBState, on);
}

extern "C" VEKCAMERA_API int VekCameraSetExposureTime(unsigned int ms) {
    const int id = CurrentId();
    const DriverEntry* d = Driver(id, kDriverIds);
    if (!d)
        return 0;
    if (id == kFrameSpeedFromExposure)
        Invoke(d->SetFrameSpeed, Lumo25FrameSpeedFor(ms));
    return Invoke(d->SetExposureTime, ms);
}

extern "C" VEKCAMERA_API int VekCameraGetExposureTime(int* ms) {
    const int id = CurrentId();
    const DriverEntry* d = Driver(id, kDriverIds);
    if (!d)
        return 0;
    int result = Invoke(d->GetExposureTime, ms);
    if (id == 28 && ms) {
        // 0 means the driver has no whole-millisecond value yet; ask again, a bounded number of
        // times, and stop at once when the driver reports a failure.
        for (int i = 0; i < kExposureRetries && *ms == 0 && result == CAMERA_OK; ++i) {
            std::this_thread::sleep_for(kExposureRetryDelay);
            result = Invoke(d->GetExposureTime, ms);
        }
    }
    return result;
}

extern "C" VEKCAMERA_API int VekCameraGetRowTime(int* rowTime) {
    const int id = CurrentId();
    if (!kDriverIds.Has(id))
        return 0;
    const DriverEntry* d = DriverFor(id == kBorrowsLibraryOf10 ? 10 : id);
    if (!d)
        return 0;
    if (d->GetRowTimeFloat) {
        float value = 1.0f;
        const int result = d->GetRowTimeFloat(&value);
        if (rowTime)
            *rowTime = TruncateRowTime(value);
        return result;
    }
    return Invoke(d->GetRowTimeInt, rowTime);
}

extern "C" VEKCAMERA_API int VekCameraReStartLongExpTime(int value) {
    const int id = CurrentId();
    if (const DriverEntry* d = Driver(id, kCancelLongExposureIds))
        return Invoke(d->CancelLongExposure, value);
    if (const DriverEntry* d = Driver(id, kRestartLongExposureIds))
        return Invoke(d->RestartLongExposure, value);
    return 0;
}

extern "C" VEKCAMERA_API int VekCameraGetMaxExposureTime(void) {
    const int id = CurrentId();
    int value = 0;
    if (const DriverEntry* d = Driver(id, kMaxExposureTimeIds)) {
        Invoke(d->GetMaxExposureTime, &value);
        return value;
    }
    if (const DriverEntry* d = Driver(id, kMaxExposureIds)) {
        Invoke(d->GetMaxExposure, &value);
        return std::min(value, kMaxExposureCap);
    }
    return 0;
}

extern "C" VEKCAMERA_API int VekCameraSetAnalogGain(int gain) {
    return Forward(kDriverIds, &DriverEntry::SetAnalogGain, gain);
}

extern "C" VEKCAMERA_API int VekCameraGetAnalogGain(int* gain) {
    return Forward(kDriverIds, &DriverEntry::GetAnalogGain, gain);
}

extern "C" VEKCAMERA_API int VekCameraSetGain(int red, int green, int blue) {
    return Forward(kGainIds, &DriverEntry::SetGain, red, green, blue);
}

extern "C" VEKCAMERA_API int VekCameraGetGain(int* red, int* green, int* blue) {
    return Forward(kGainIds, &DriverEntry::GetGain, red, green, blue);
}

extern "C" VEKCAMERA_API int VekCameraSetGamma(int gamma) {
    return Forward(kDriverIds, &DriverEntry::SetGamma, gamma);
}

extern "C" VEKCAMERA_API int VekCameraGetGamma(int* gamma) {
    return Forward(kDriverIds, &DriverEntry::GetGamma, gamma);
}

extern "C" VEKCAMERA_API int VekCameraSetSaturation(int saturation) {
    return Forward(kGainIds, &DriverEntry::SetSaturation, saturation);
}

extern "C" VEKCAMERA_API int VekCameraGetSaturation(int* saturation) {
    return Forward(kGainIds, &DriverEntry::GetSaturation, saturation);
}

extern "C" VEKCAMERA_API int VekCameraSetColorEnhancement(int on) {
    return Forward(kColorEnhancementIds, &DriverEntry::SetColorEnhancement, on);
}

extern "C" VEKCAMERA_API int VekCameraGetColorEnhancement(int* on) {
    return Forward(kColorEnhancementIds, &DriverEntry::GetColorEnhancement, on);
}

extern "C" VEKCAMERA_API int VekCameraSetDataWide(int wide) {
    const int id = CurrentId();
    if (const DriverEntry* d = Driver(id, kDataDataWideIds))
        return Invoke(d->SetDataDataWide, wide);
    const DriverEntry* d = Driver(id, kDataWideIds);
    return d ? Invoke(d->SetDataWide, wide) : 0;
}

extern "C" VEKCAMERA_API int VekCameraGetDataWide(int* wide) {
    const int id = CurrentId();
    if (const DriverEntry* d = Driver(id, kDataDataWideIds))
        return Invoke(d->GetDataDataWide, wide);
    const DriverEntry* d = Driver(id, kDataWideIds);
    return d ? Invoke(d->GetDataWide, wide) : 0;
}

extern "C" VEKCAMERA_API int VekCameraSetContrast(int contrast) {
    return Forward(kDriverIds, &DriverEntry::SetContrast, contrast);
}

extern "C" VEKCAMERA_API int VekCameraGetContrast(int* contrast) {
    return Forward(kDriverIds, &DriverEntry::GetContrast, contrast);
}

extern "C" VEKCAMERA_API int VekCameraSetMirror(int axis, int on) {
    return Forward(kDriverIds, &DriverEntry::SetMirror, axis, on);
}

extern "C" VEKCAMERA_API int VekCameraGetMirror(int axis, int* on) {
    return Forward(kDriverIds, &DriverEntry::GetMirror, axis, on);
}

extern "C" VEKCAMERA_API int VekCameraSetMonochrome(int on) {
    return Forward(kMonochromeIds, &DriverEntry::SetMonochrome, on);
}

extern "C" VEKCAMERA_API int VekCameraGetMonochrome(int* on) {
    return Forward(kMonochromeIds, &DriverEntry::GetMonochrome, on);
}

extern "C" VEKCAMERA_API int VekCameraSetFrameSpeed(int speed) {
    const int id = CurrentId();
    const DriverEntry* d = Driver(id, kSetFrameSpeedIds);
    return d ? Invoke(d->SetFrameSpeed, MapSetFrameSpeed(id, speed)) : 0;
}

extern "C" VEKCAMERA_API int VekCameraGetFrameSpeed(BYTE* speed) {
    const int id = CurrentId();
    const DriverEntry* d = Driver(id, kGetFrameSpeedIds);
    if (!d)
        return 0;
    const int result = Invoke(d->GetFrameSpeed, speed);
    if (speed)
        *speed = MapGetFrameSpeed(id, *speed);
    return result;
}

extern "C" VEKCAMERA_API int VekCameraSetSpeedMode(int mode) {
    return Forward(kSetSpeedModeIds, &DriverEntry::SetFrameSpeed, mode);
}

extern "C" VEKCAMERA_API int VekCameraGetSpeedMode(BYTE* mode) {
    return Forward(kGetSpeedModeIds, &DriverEntry::GetFrameSpeed, mode);
}

extern "C" VEKCAMERA_API int VekCameraSetLightFrquency(int frequency) {
    return Forward(kLightFrequencyIds, &DriverEntry::SetLightFrquency, frequency);
}

extern "C" VEKCAMERA_API int VekCameraGetLightFrquency(int* frequency) {
    return Forward(kLightFrequencyIds, &DriverEntry::GetLightFrquency, frequency);
}

extern "C" VEKCAMERA_API int VekCameraSetB2RGBMode(int mode) {
    return Forward(kB2RGBIds, &DriverEntry::SetB2RGBMode, mode);
}

extern "C" VEKCAMERA_API int VekCameraGetB2RGBMode(int* mode) {
    return Forward(kB2RGBIds, &DriverEntry::GetB2RGBMode, mode);
}

extern "C" VEKCAMERA_API int VekCameraGetFPS(int* fps) {
    return Forward(kFpsIds, &DriverEntry::GetFPS, fps);
}

extern "C" VEKCAMERA_API int VekCameraSetVideoMessage(int message) {
    return Forward(kDriverIds, &DriverEntry::SetVideoMessage, message);
}

extern "C" VEKCAMERA_API int VekCameraDisplayEnable(int on) {
    return Forward(kDriverIds, &DriverEntry::DisplayEnable, on);
}

extern "C" VEKCAMERA_API int VekCameraSaveParameter(int team) {
    return Forward(kDriverIds, &DriverEntry::SaveParameter, team);
}

extern "C" VEKCAMERA_API int VekCameraReadParameter(int team) {
    return Forward(kDriverIds, &DriverEntry::ReadParameter, team);
}

extern "C" VEKCAMERA_API int VekCameraGetCurrentParameterTeam(BYTE* team) {
    return Forward(kDriverIds, &DriverEntry::GetCurrentParameterTeam, team);
}

// Files and image -------------------------------------------------------------------------------

namespace {

int SaveStill(unsigned int fileType, const char* path, const BYTE* rgb24, int width, int height) {
    switch (fileType) {
    case CAPTURE_FILE_JPEG:
        return SaveJpegFile(path, rgb24, width, height);
    case CAPTURE_FILE_BMP:
        return WriteBmpFile(path, rgb24, width, height);
    case CAPTURE_FILE_RAW: {
        // The whole 24-bit image: three bytes a pixel.
        if (!rgb24 || width <= 0 || height <= 0)
            return 0;
        return WriteRawFile(path, rgb24, static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3u);
    }
    case CAPTURE_FILE_TIFF:
        return SaveTiffFile(path, rgb24, width, height);
    default:
        return 1;  // not a still type: nothing to write
    }
}

}  // namespace

extern "C" VEKCAMERA_API int VekCameraSave(unsigned int fileType, const char* path, const BYTE* rgb24, int width,
                                           int height) {
    return Guarded(0, [&] { return SaveStill(fileType, path, rgb24, width, height); });
}

extern "C" VEKCAMERA_API int VekCameraWhite2Black(int on) {
    g_negativeImage.store(on, std::memory_order_relaxed);
    return 1;
}
