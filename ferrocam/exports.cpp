// The driver's 52 exported functions over the one process-wide engine.
#include <atomic>
#include <mutex>

#include "ferrocam/cameraengine.h"
#include "ferrocam/ferrocam.h"

namespace {

std::atomic<CCameraEngine*> g_engine{nullptr};
std::mutex g_lifecycle;  // Init and UnInit

CCameraEngine* Engine() {
    CCameraEngine* e = g_engine.load(std::memory_order_acquire);
    return e && e->Device() ? e : nullptr;
}

}  // namespace

#define ENGINE_OR_NODEVICE            \
    CCameraEngine* e = Engine();      \
    if (!e)                           \
        return CAMERA_NODEVICE

extern "C" {

int FerroCameraInit(FrameCallback callback, int resolution, HWND display, HWND notify) {
    std::lock_guard<std::mutex> lock(g_lifecycle);
    CCameraEngine* e = g_engine.load();
    const bool fresh = e == nullptr;
    if (fresh)
        e = new (std::nothrow) CCameraEngine();
    if (!e)
        return CAMERA_NODEVICE;
    if (!fresh)
        g_engine.store(nullptr, std::memory_order_release);
    if (e->Initialize(callback, resolution, display, notify) != CAMERA_OK) {
        delete e;
        return CAMERA_NODEVICE;
    }
    g_engine.store(e, std::memory_order_release);
    return CAMERA_OK;
}

int FerroCameraUnInit(void) {
    std::lock_guard<std::mutex> lock(g_lifecycle);
    CCameraEngine* e = g_engine.exchange(nullptr);
    if (!e)
        return CAMERA_NODEVICE;
    e->Shutdown();
    delete e;
    return CAMERA_OK;
}

int FerroCameraPlay(void) {
    ENGINE_OR_NODEVICE;
    return e->Play();
}

int FerroCameraPause(void) {
    ENGINE_OR_NODEVICE;
    return e->Pause();
}

int FerroCameraStop(void) {
    ENGINE_OR_NODEVICE;
    return e->Stop();
}

int FerroCameraGrabFrame(unsigned char* raw) {
    ENGINE_OR_NODEVICE;
    return e->GrabFrame(raw);
}

int FerroCameraDecode(unsigned char* raw, unsigned char* rgb, int, int, int runAe) {
    ENGINE_OR_NODEVICE;
    return e->Decode(raw, rgb, runAe != 0);
}

int FerroCameraGetImageSize(int* width, int* height) {
    ENGINE_OR_NODEVICE;
    int w, h;
    e->GetImageSize(w, h);
    if (width)
        *width = w;
    if (height)
        *height = h;
    return CAMERA_OK;
}

int FerroCameraCaptureFile(const char* basePath, int flags, int resolution) {
    ENGINE_OR_NODEVICE;
    return e->CaptureToFiles(basePath, flags, resolution);
}

int FerroCameraSetAeState(int on) {
    ENGINE_OR_NODEVICE;
    e->SetAeState(on);
    return CAMERA_OK;
}

int FerroCameraGetAeState(int* on) {
    ENGINE_OR_NODEVICE;
    if (on)
        *on = e->AeState();
    return CAMERA_OK;
}

int FerroCameraSetAeTarget(int target) {
    ENGINE_OR_NODEVICE;
    e->SetAeTarget(target);
    return CAMERA_OK;
}

int FerroCameraGetAeTarget(unsigned char* target) {
    ENGINE_OR_NODEVICE;
    if (target)
        *target = e->AeTarget();
    return CAMERA_OK;
}

int FerroCameraSetExposureTime(unsigned int ms) {
    ENGINE_OR_NODEVICE;
    e->SetExposureTime(ms);
    return CAMERA_OK;
}

int FerroCameraGetExposureTime(unsigned int* ms) {
    ENGINE_OR_NODEVICE;
    if (ms)
        *ms = e->ExposureTime();
    return CAMERA_OK;
}

int FerroCameraGetRowTime(float* microseconds) {
    ENGINE_OR_NODEVICE;
    if (microseconds)
        *microseconds = e->RowTime();
    return CAMERA_OK;
}

int FerroCameraSetAnalogGain(int gain) {
    ENGINE_OR_NODEVICE;
    e->SetAnalogGain(gain & 0xFFFF);
    return CAMERA_OK;
}

int FerroCameraGetAnalogGain(uint16_t* gain) {
    ENGINE_OR_NODEVICE;
    if (gain)
        *gain = e->AnalogGain();
    return CAMERA_OK;
}

int FerroCameraSetAWBState(int on) {
    ENGINE_OR_NODEVICE;
    e->SetWhiteBalanceRequest(on);
    return CAMERA_OK;
}

int FerroCameraGetAWBState(int* pending) {
    ENGINE_OR_NODEVICE;
    if (pending)
        *pending = e->WhiteBalancePending();
    return CAMERA_OK;
}

int FerroCameraGetAWBStateResult(int* flag, int* result) {
    ENGINE_OR_NODEVICE;
    int f, r;
    e->GetWhiteBalanceResult(f, r);
    if (flag)
        *flag = f;
    if (result)
        *result = r;
    return CAMERA_OK;
}

int FerroCameraSetGain(unsigned int red, unsigned int green, unsigned int blue) {
    ENGINE_OR_NODEVICE;
    e->SetGains(red, green, blue);
    return CAMERA_OK;
}

int FerroCameraGetGain(int* red, int* green, int* blue) {
    ENGINE_OR_NODEVICE;
    int r, g, b;
    e->GetGains(r, g, b);
    if (red)
        *red = r;
    if (green)
        *green = g;
    if (blue)
        *blue = b;
    return CAMERA_OK;
}

int FerroCameraSetGamma(int gamma) {
    ENGINE_OR_NODEVICE;
    e->SetGamma(gamma);
    return CAMERA_OK;
}

int FerroCameraGetGamma(unsigned char* gamma) {
    ENGINE_OR_NODEVICE;
    if (gamma)
        *gamma = e->Gamma();
    return CAMERA_OK;
}

int FerroCameraSetSaturation(int saturation) {
    ENGINE_OR_NODEVICE;
    e->SetSaturation(saturation);
    return CAMERA_OK;
}

int FerroCameraGetSaturation(unsigned char* saturation) {
    ENGINE_OR_NODEVICE;
    if (saturation)
        *saturation = e->Saturation();
    return CAMERA_OK;
}

int FerroCameraSetColorEnhancement(int on) {
    ENGINE_OR_NODEVICE;
    e->SetColorEnhancement(on);
    return CAMERA_OK;
}

int FerroCameraGetColorEnhancement(int* on) {
    ENGINE_OR_NODEVICE;
    if (on)
        *on = e->ColorEnhancement();
    return CAMERA_OK;
}

int FerroCameraSetContrast(int contrast) {
    ENGINE_OR_NODEVICE;
    e->SetContrast(contrast);
    return CAMERA_OK;
}

int FerroCameraGetContrast(unsigned char* contrast) {
    ENGINE_OR_NODEVICE;
    if (contrast)
        *contrast = e->Contrast();
    return CAMERA_OK;
}

int FerroCameraSetMirror(int axis, int on) {
    ENGINE_OR_NODEVICE;
    e->SetMirror(axis, on);
    return CAMERA_OK;
}

int FerroCameraGetMirror(int axis, int* on) {
    ENGINE_OR_NODEVICE;
    if (on && (axis == 0 || axis == 1))
        *on = e->Mirror(axis);
    return CAMERA_OK;
}

int FerroCameraSetMonochrome(int on) {
    ENGINE_OR_NODEVICE;
    e->SetMonochrome(on);
    return CAMERA_OK;
}

int FerroCameraGetMonochrome(int* on) {
    ENGINE_OR_NODEVICE;
    if (on)
        *on = e->Monochrome();
    return CAMERA_OK;
}

int FerroCameraSetFrameSpeed(int speed) {
    ENGINE_OR_NODEVICE;
    e->SetFrameSpeed(speed);
    return CAMERA_OK;
}

int FerroCameraGetFrameSpeed(unsigned char* speed) {
    ENGINE_OR_NODEVICE;
    if (speed)
        *speed = e->FrameSpeed();
    return CAMERA_OK;
}

int FerroCameraSaveParameter(int team) {
    ENGINE_OR_NODEVICE;
    return e->SaveParameterTeam(team);
}

int FerroCameraReadParameter(int team) {
    ENGINE_OR_NODEVICE;
    return e->LoadParameterTeam(team);
}

int FerroCameraGetCurrentParameterTeam(unsigned char* team) {
    ENGINE_OR_NODEVICE;
    if (team)
        *team = e->CurrentParameterTeam();
    return CAMERA_OK;
}

int FerroCameraSetVideoMessage(int message) {
    ENGINE_OR_NODEVICE;
    e->SetVideoMessage(message);
    return CAMERA_OK;
}

int FerroCameraDisplayEnable(int on) {
    ENGINE_OR_NODEVICE;
    e->DisplayEnable(on);
    return CAMERA_OK;
}

int FerroCameraCorrectionDead(void) {
    ENGINE_OR_NODEVICE;
    e->CorrectionDead();
    return CAMERA_OK;
}

int FerroCameraCalcFlatFielding(void) {
    ENGINE_OR_NODEVICE;
    e->CalcFlatFielding();
    return CAMERA_OK;
}

int FerroCameraGetCalcFlatFieldingState(int* request, int* done) {
    ENGINE_OR_NODEVICE;
    int r, d;
    e->GetCalcFlatFieldingState(r, d);
    if (request)
        *request = r;
    if (done)
        *done = d;
    return CAMERA_OK;
}

int FerroCameraSetFlatFieldingState(int on) {
    ENGINE_OR_NODEVICE;
    e->SetFlatFieldingState(on);
    return CAMERA_OK;
}

int FerroCameraGetFlatFieldingState(int* on) {
    ENGINE_OR_NODEVICE;
    if (on)
        *on = e->FlatFieldingState();
    return CAMERA_OK;
}

int FerroCameraSetLevelsValues(int low, int high) {
    ENGINE_OR_NODEVICE;
    return e->SetLevelsValues(low, high);
}

int FerroCameraGetLevelsValues(int* low, int* high) {
    ENGINE_OR_NODEVICE;
    int l, h;
    e->GetLevelsValues(l, h);
    if (low)
        *low = l;
    if (high)
        *high = h;
    return CAMERA_OK;
}

int FerroCameraSetAutoLevelsState(int on) {
    ENGINE_OR_NODEVICE;
    e->SetAutoLevelsState(on);
    return CAMERA_OK;
}

int FerroCameraGetAutoLevelsState(int* on) {
    ENGINE_OR_NODEVICE;
    if (on)
        *on = e->AutoLevelsState();
    return CAMERA_OK;
}

int FerroCameraGetLevelsCounts(int* counts256) {
    ENGINE_OR_NODEVICE;
    if (counts256)
        e->GetLevelsCounts(counts256);
    return CAMERA_OK;
}

}  // extern "C"
