// The driver's 52 exported functions over the one process-wide engine.
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "ferrocam/cameraengine.h"
#include "ferrocam/ferrocam.h"
#include "platform/debugout.h"
#include "stillwriters.h"

extern "C" {
// The program that loads the camera libraries defines this (and exports it from its executable)
// to show their message boxes; without it the texts go to the debug output.
__attribute__((weak)) void VekHostMessageBox(const char* text, const char* caption);
}

namespace {

// The still writers' "Memory error" and "Can't open" boxes; the driver's SaveJpegFile itself
// stays silent.
void ShowWriterMessage(const char* text) {
    if (VekHostMessageBox)
        VekHostMessageBox(text, "Ferrocam");
    else
        OutputDebugStringA(text);
}

struct WriterMessagesInstalled {
    WriterMessagesInstalled() { SetStillWriterMessageBox(ShowWriterMessage, false); }
};
const WriterMessagesInstalled g_writerMessages;

std::atomic<CCameraEngine*> g_engine{nullptr};
std::mutex g_lifecycle;  // Init and UnInit

// Exports under way on any thread, and on this one (a frame callback may call in again). Init
// and UnInit take the engine away first and then wait for the others to leave it, so no call
// on another thread is left holding a deleted engine.
std::atomic<int> g_users{0};
thread_local int t_depth = 0;

class EngineUse {
public:
    EngineUse() {
        g_users.fetch_add(1);
        ++t_depth;
        CCameraEngine* e = g_engine.load();
        engine_ = e && e->Device() ? e : nullptr;
    }
    ~EngineUse() {
        --t_depth;
        g_users.fetch_sub(1);
    }
    EngineUse(const EngineUse&) = delete;
    EngineUse& operator=(const EngineUse&) = delete;
    CCameraEngine* get() const { return engine_; }

private:
    CCameraEngine* engine_;
};

// Takes the engine out of reach and waits until no other thread is inside it (a grab waiting
// on the camera is ended first). Null when there is none.
CCameraEngine* RetireEngine() {
    CCameraEngine* e = g_engine.exchange(nullptr);
    if (!e)
        return nullptr;
    if (e->Device())
        e->Device()->AbortRead();
    while (g_users.load() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (e->Device())
        e->Device()->ClearAbort();
    return e;
}

// No exception may leave the library: an allocation that fails deep inside (a writer's image
// copy, a registry file, a buffer) becomes CAMERA_NOMEMORY, anything else CAMERA_READFAIL.
template <typename Fn>
int Guarded(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return CAMERA_NOMEMORY;
    } catch (...) {
        return CAMERA_READFAIL;
    }
}

}  // namespace

#define ENGINE_OR_NODEVICE            \
    EngineUse use;                    \
    CCameraEngine* e = use.get();     \
    if (!e)                           \
        return CAMERA_NODEVICE

extern "C" {

int FerroCameraInit(FrameCallback callback, int resolution, HWND display, HWND notify) {
    // From a frame callback the engine is still in use further up this thread's stack (or the
    // thread is the engine's own, which UnInit joins); and the lock may be held by an UnInit
    // that waits for this very call.
    if (t_depth > 0 || OnAnEngineThread())
        return CAMERA_NODEVICE;
    std::lock_guard<std::mutex> lock(g_lifecycle);
    CCameraEngine* e = RetireEngine();
    try {
        if (!e)
            e = new CCameraEngine();
        if (e->Initialize(callback, resolution, display, notify) == CAMERA_OK) {
            g_engine.store(e, std::memory_order_release);
            return CAMERA_OK;
        }
    } catch (...) {
        // Out of memory half way: the engine goes, as after any failed Init.
    }
    delete e;
    return CAMERA_NODEVICE;
}

int FerroCameraUnInit(void) {
    if (t_depth > 0 || OnAnEngineThread())
        return g_engine.load() ? CAMERA_NOFRAME : CAMERA_NODEVICE;  // as in Init
    std::lock_guard<std::mutex> lock(g_lifecycle);
    CCameraEngine* e = RetireEngine();
    if (!e)
        return CAMERA_NODEVICE;
    try {
        e->Shutdown();
    } catch (...) {
        // The team could not be saved; the engine is released all the same.
    }
    delete e;
    return CAMERA_OK;
}

int FerroCameraPlay(void) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->Play();
    });
}

int FerroCameraPause(void) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->Pause();
    });
}

int FerroCameraStop(void) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->Stop();
    });
}

int FerroCameraGrabFrame(unsigned char* raw) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->GrabFrame(raw);
    });
}

int FerroCameraDecode(unsigned char* raw, unsigned char* rgb, int, int, int runAe) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->Decode(raw, rgb, runAe != 0);
    });
}

int FerroCameraGetImageSize(int* width, int* height) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        int w, h;
        e->GetImageSize(w, h);
        if (width)
            *width = w;
        if (height)
            *height = h;
        return CAMERA_OK;
    });
}

int FerroCameraCaptureFile(const char* basePath, int flags, int resolution) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->CaptureToFiles(basePath, flags, resolution);
    });
}

int FerroCameraSetAeState(int on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetAeState(on);
        return CAMERA_OK;
    });
}

int FerroCameraGetAeState(int* on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (on)
            *on = e->AeState();
        return CAMERA_OK;
    });
}

int FerroCameraSetAeTarget(int target) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetAeTarget(target);
        return CAMERA_OK;
    });
}

int FerroCameraGetAeTarget(unsigned char* target) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (target)
            *target = e->AeTarget();
        return CAMERA_OK;
    });
}

int FerroCameraSetExposureTime(unsigned int ms) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetExposureTime(ms);
        return CAMERA_OK;
    });
}

int FerroCameraGetExposureTime(unsigned int* ms) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (ms)
            *ms = e->ExposureTime();
        return CAMERA_OK;
    });
}

int FerroCameraGetRowTime(float* microseconds) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (microseconds)
            *microseconds = e->RowTime();
        return CAMERA_OK;
    });
}

int FerroCameraSetAnalogGain(int gain) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetAnalogGain(gain & 0xFFFF);
        return CAMERA_OK;
    });
}

int FerroCameraGetAnalogGain(uint16_t* gain) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (gain)
            *gain = e->AnalogGain();
        return CAMERA_OK;
    });
}

int FerroCameraSetAWBState(int on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetWhiteBalanceRequest(on);
        return CAMERA_OK;
    });
}

int FerroCameraGetAWBState(int* pending) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (pending)
            *pending = e->WhiteBalancePending();
        return CAMERA_OK;
    });
}

int FerroCameraGetAWBStateResult(int* flag, int* result) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        int f, r;
        e->GetWhiteBalanceResult(f, r);
        if (flag)
            *flag = f;
        if (result)
            *result = r;
        return CAMERA_OK;
    });
}

int FerroCameraSetGain(unsigned int red, unsigned int green, unsigned int blue) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetGains(red, green, blue);
        return CAMERA_OK;
    });
}

int FerroCameraGetGain(int* red, int* green, int* blue) {
    return Guarded([&]() -> int {
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
    });
}

int FerroCameraSetGamma(int gamma) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetGamma(gamma);
        return CAMERA_OK;
    });
}

int FerroCameraGetGamma(unsigned char* gamma) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (gamma)
            *gamma = e->Gamma();
        return CAMERA_OK;
    });
}

int FerroCameraSetSaturation(int saturation) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetSaturation(saturation);
        return CAMERA_OK;
    });
}

int FerroCameraGetSaturation(unsigned char* saturation) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (saturation)
            *saturation = e->Saturation();
        return CAMERA_OK;
    });
}

int FerroCameraSetColorEnhancement(int on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetColorEnhancement(on);
        return CAMERA_OK;
    });
}

int FerroCameraGetColorEnhancement(int* on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (on)
            *on = e->ColorEnhancement();
        return CAMERA_OK;
    });
}

int FerroCameraSetContrast(int contrast) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetContrast(contrast);
        return CAMERA_OK;
    });
}

int FerroCameraGetContrast(unsigned char* contrast) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (contrast)
            *contrast = e->Contrast();
        return CAMERA_OK;
    });
}

int FerroCameraSetMirror(int axis, int on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetMirror(axis, on);
        return CAMERA_OK;
    });
}

int FerroCameraGetMirror(int axis, int* on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (on && (axis == 0 || axis == 1))
            *on = e->Mirror(axis);
        return CAMERA_OK;
    });
}

int FerroCameraSetMonochrome(int on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetMonochrome(on);
        return CAMERA_OK;
    });
}

int FerroCameraGetMonochrome(int* on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (on)
            *on = e->Monochrome();
        return CAMERA_OK;
    });
}

int FerroCameraSetFrameSpeed(int speed) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetFrameSpeed(speed);
        return CAMERA_OK;
    });
}

int FerroCameraGetFrameSpeed(unsigned char* speed) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (speed)
            *speed = e->FrameSpeed();
        return CAMERA_OK;
    });
}

int FerroCameraSaveParameter(int team) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->SaveParameterTeam(team);
    });
}

int FerroCameraReadParameter(int team) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->LoadParameterTeam(team);
    });
}

int FerroCameraGetCurrentParameterTeam(unsigned char* team) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (team)
            *team = e->CurrentParameterTeam();
        return CAMERA_OK;
    });
}

int FerroCameraSetVideoMessage(int message) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetVideoMessage(message);
        return CAMERA_OK;
    });
}

int FerroCameraDisplayEnable(int on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->DisplayEnable(on);
        return CAMERA_OK;
    });
}

int FerroCameraCorrectionDead(void) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->CorrectionDead();
        return CAMERA_OK;
    });
}

int FerroCameraCalcFlatFielding(void) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->CalcFlatFielding();
        return CAMERA_OK;
    });
}

int FerroCameraGetCalcFlatFieldingState(int* request, int* done) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        int r, d;
        e->GetCalcFlatFieldingState(r, d);
        if (request)
            *request = r;
        if (done)
            *done = d;
        return CAMERA_OK;
    });
}

int FerroCameraSetFlatFieldingState(int on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetFlatFieldingState(on);
        return CAMERA_OK;
    });
}

int FerroCameraGetFlatFieldingState(int* on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (on)
            *on = e->FlatFieldingState();
        return CAMERA_OK;
    });
}

int FerroCameraSetLevelsValues(int low, int high) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        return e->SetLevelsValues(low, high);
    });
}

int FerroCameraGetLevelsValues(int* low, int* high) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        int l, h;
        e->GetLevelsValues(l, h);
        if (low)
            *low = l;
        if (high)
            *high = h;
        return CAMERA_OK;
    });
}

int FerroCameraSetAutoLevelsState(int on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        e->SetAutoLevelsState(on);
        return CAMERA_OK;
    });
}

int FerroCameraGetAutoLevelsState(int* on) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (on)
            *on = e->AutoLevelsState();
        return CAMERA_OK;
    });
}

int FerroCameraGetLevelsCounts(int* counts256) {
    return Guarded([&]() -> int {
        ENGINE_OR_NODEVICE;
        if (counts256)
            e->GetLevelsCounts(counts256);
        return CAMERA_OK;
    });
}

}  // extern "C"
