// A stand-in for one of the model driver libraries outside the system. Compiled once per
// library with LUMO_PREFIX (export prefix) and LUMO_ID (camera id): every function answers as a
// driver with no device and reports the call to the shared test hook.
#include <cstdint>
#include <type_traits>
#include <vector>

#include "LumoStubHook.h"
#include "outside/drivers/DriverImports.h"

#if !defined(LUMO_PREFIX) || !defined(LUMO_ID)
#error "LUMO_PREFIX and LUMO_ID name the library this stand-in is built as"
#endif

#define STUB_STR2(x) #x
#define STUB_STR(x) STUB_STR2(x)
#define STUB_CAT3(a, b, c) a##b##c
#define STUB_XCAT3(a, b, c) STUB_CAT3(a, b, c)
#define FN(op) STUB_XCAT3(LUMO_PREFIX, Camera, op)
#define NAME(op) STUB_STR(FN(op))

namespace {

int64_t Addr(const void* p) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(p)); }

template <typename T>
T Convert(double v) {
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(v);
    else
        return static_cast<T>(static_cast<int64_t>(v));  // a byte keeps the low byte
}

// Writes the scripted values of the function through its out-parameters, if any were scripted.
template <typename... T>
void WriteOut(const char* function, T*... out) {
    const std::vector<double> values = lumostub::OutValues(function);
    size_t i = 0;
    auto one = [&](auto* p) {
        using V = std::remove_pointer_t<decltype(p)>;
        if (p && i < values.size())
            *p = Convert<V>(values[i]);
        ++i;
    };
    (one(out), ...);
}

int Call(const char* function, std::vector<int64_t> args) { return lumostub::Record(function, std::move(args)); }

template <typename... T>
int CallOut(const char* function, std::vector<int64_t> args, T*... out) {
    const int result = lumostub::Record(function, std::move(args));
    WriteOut(function, out...);
    return result;
}

}  // namespace

extern "C" {

#define VISIBLE __attribute__((visibility("default")))

#if LUMO_ID == 29
VISIBLE int FN(Init)(int res, HWND display, HWND notify) {
    return Call(NAME(Init), {res, Addr(display), Addr(notify)});
}
#elif LUMO_ID == 27
VISIBLE int FN(Init)(FrameCallback cb, int res, HWND display, int flag, HWND notify) {
    return lumostub::Record(NAME(Init), {Addr(reinterpret_cast<void*>(cb)), res, Addr(display), flag, Addr(notify)}, cb);
}
#elif LUMO_ID == 1 || LUMO_ID == 3 || LUMO_ID == 4 || LUMO_ID == 8 || LUMO_ID == 10 || LUMO_ID == 12 || \
    LUMO_ID == 13 || LUMO_ID == 18 || LUMO_ID == 21 || LUMO_ID == 26
VISIBLE int FN(Init)(FrameCallback cb, int res, HWND display, HWND notify, int flag) {
    return lumostub::Record(NAME(Init), {Addr(reinterpret_cast<void*>(cb)), res, Addr(display), Addr(notify), flag}, cb);
}
#else
VISIBLE int FN(Init)(FrameCallback cb, int res, HWND display, HWND notify) {
    return lumostub::Record(NAME(Init), {Addr(reinterpret_cast<void*>(cb)), res, Addr(display), Addr(notify)}, cb);
}
#endif

#if LUMO_ID == 32 || LUMO_ID >= 35
VISIBLE int FN(Decode)(BYTE* raw, BYTE* rgb, int width, int height, int runAe) {
    return Call(NAME(Decode), {Addr(raw), Addr(rgb), width, height, runAe});
}
#else
VISIBLE int FN(Decode)(BYTE* raw, BYTE* rgb, int width, int height) {
    return Call(NAME(Decode), {Addr(raw), Addr(rgb), width, height});
}
#endif

#if LUMO_ID == 1 || LUMO_ID == 3 || LUMO_ID == 4 || LUMO_ID == 25 || LUMO_ID == 27 || LUMO_ID == 30 || \
    LUMO_ID == 31 || LUMO_ID == 32 || LUMO_ID == 35 || LUMO_ID == 36 || LUMO_ID == 37
VISIBLE int FN(CaptureFile)(const char* path, int fileTypes, int resolution) {
    return Call(NAME(CaptureFile), {Addr(path), fileTypes, resolution});
}
#else
VISIBLE int FN(CaptureFile)(const char* path, int fileTypes) {
    return Call(NAME(CaptureFile), {Addr(path), fileTypes});
}
#endif

#if LUMO_ID >= 30
VISIBLE int FN(GetRowTime)(float* rowTime) { return CallOut(NAME(GetRowTime), {}, rowTime); }
#else
VISIBLE int FN(GetRowTime)(int* rowTime) { return CallOut(NAME(GetRowTime), {}, rowTime); }
#endif

VISIBLE int FN(UnInit)(void) { return Call(NAME(UnInit), {}); }
VISIBLE int FN(Play)(void) { return Call(NAME(Play), {}); }
VISIBLE int FN(Stop)(void) { return Call(NAME(Stop), {}); }
VISIBLE int FN(GrabFrame)(BYTE* raw) { return Call(NAME(GrabFrame), {Addr(raw)}); }
VISIBLE int FN(GetImageSize)(int* width, int* height) { return CallOut(NAME(GetImageSize), {}, width, height); }
VISIBLE int FN(GetImageDataRGB24)(BYTE* out) { return Call(NAME(GetImageDataRGB24), {Addr(out)}); }
VISIBLE int FN(GetImageData)(BYTE* out) { return Call(NAME(GetImageData), {Addr(out)}); }
VISIBLE int FN(SetResolution)(int resolution) { return Call(NAME(SetResolution), {resolution}); }
VISIBLE int FN(GetResolution)(int* resolution) { return CallOut(NAME(GetResolution), {}, resolution); }
VISIBLE int FN(SetROI)(int x, int y, int width, int height) { return Call(NAME(SetROI), {x, y, width, height}); }
VISIBLE int FN(SetLongExpPower)(int on) { return Call(NAME(SetLongExpPower), {on}); }
VISIBLE int FN(SetAeState)(int on) { return Call(NAME(SetAeState), {on}); }
VISIBLE int FN(GetAeState)(int* on) { return CallOut(NAME(GetAeState), {}, on); }
VISIBLE int FN(SetAeTarget)(int target) { return Call(NAME(SetAeTarget), {target}); }
VISIBLE int FN(GetAeTarget)(int* target) { return CallOut(NAME(GetAeTarget), {}, target); }
VISIBLE int FN(SetAWBState)(int on) { return Call(NAME(SetAWBState), {on}); }
VISIBLE int FN(SetExposureTime)(unsigned int ms) { return Call(NAME(SetExposureTime), {ms}); }
VISIBLE int FN(GetExposureTime)(int* ms) { return CallOut(NAME(GetExposureTime), {}, ms); }
VISIBLE int FN(CancelLongExposure)(int value) { return Call(NAME(CancelLongExposure), {value}); }
VISIBLE int FN(RestartLongExposure)(int value) { return Call(NAME(RestartLongExposure), {value}); }
VISIBLE int FN(GetMaxExposureTime)(int* ms) { return CallOut(NAME(GetMaxExposureTime), {}, ms); }
VISIBLE int FN(GetMaxExposure)(int* ms) { return CallOut(NAME(GetMaxExposure), {}, ms); }
VISIBLE int FN(SetAnalogGain)(int gain) { return Call(NAME(SetAnalogGain), {gain}); }
VISIBLE int FN(GetAnalogGain)(int* gain) { return CallOut(NAME(GetAnalogGain), {}, gain); }
VISIBLE int FN(SetGain)(int red, int green, int blue) { return Call(NAME(SetGain), {red, green, blue}); }
VISIBLE int FN(GetGain)(int* red, int* green, int* blue) { return CallOut(NAME(GetGain), {}, red, green, blue); }
VISIBLE int FN(SetGamma)(int gamma) { return Call(NAME(SetGamma), {gamma}); }
VISIBLE int FN(GetGamma)(int* gamma) { return CallOut(NAME(GetGamma), {}, gamma); }
VISIBLE int FN(SetSaturation)(int saturation) { return Call(NAME(SetSaturation), {saturation}); }
VISIBLE int FN(GetSaturation)(int* saturation) { return CallOut(NAME(GetSaturation), {}, saturation); }
VISIBLE int FN(SetColorEnhancement)(int on) { return Call(NAME(SetColorEnhancement), {on}); }
VISIBLE int FN(GetColorEnhancement)(int* on) { return CallOut(NAME(GetColorEnhancement), {}, on); }
VISIBLE int FN(SetDataWide)(int wide) { return Call(NAME(SetDataWide), {wide}); }
VISIBLE int FN(GetDataWide)(int* wide) { return CallOut(NAME(GetDataWide), {}, wide); }
VISIBLE int FN(SetDataDataWide)(int wide) { return Call(NAME(SetDataDataWide), {wide}); }
VISIBLE int FN(GetDataDataWide)(int* wide) { return CallOut(NAME(GetDataDataWide), {}, wide); }
VISIBLE int FN(SetContrast)(int contrast) { return Call(NAME(SetContrast), {contrast}); }
VISIBLE int FN(GetContrast)(int* contrast) { return CallOut(NAME(GetContrast), {}, contrast); }
VISIBLE int FN(SetMirror)(int axis, int on) { return Call(NAME(SetMirror), {axis, on}); }
VISIBLE int FN(GetMirror)(int axis, int* on) { return CallOut(NAME(GetMirror), {axis}, on); }
VISIBLE int FN(SetMonochrome)(int on) { return Call(NAME(SetMonochrome), {on}); }
VISIBLE int FN(GetMonochrome)(int* on) { return CallOut(NAME(GetMonochrome), {}, on); }
VISIBLE int FN(SetFrameSpeed)(int speed) { return Call(NAME(SetFrameSpeed), {speed}); }
VISIBLE int FN(GetFrameSpeed)(BYTE* speed) { return CallOut(NAME(GetFrameSpeed), {}, speed); }
VISIBLE int FN(SetLightFrquency)(int frequency) { return Call(NAME(SetLightFrquency), {frequency}); }
VISIBLE int FN(GetLightFrquency)(int* frequency) { return CallOut(NAME(GetLightFrquency), {}, frequency); }
VISIBLE int FN(SetB2RGBMode)(int mode) { return Call(NAME(SetB2RGBMode), {mode}); }
VISIBLE int FN(GetB2RGBMode)(int* mode) { return CallOut(NAME(GetB2RGBMode), {}, mode); }
VISIBLE int FN(GetFPS)(int* fps) { return CallOut(NAME(GetFPS), {}, fps); }
VISIBLE int FN(SetVideoMessage)(int message) { return Call(NAME(SetVideoMessage), {message}); }
VISIBLE int FN(DisplayEnable)(int on) { return Call(NAME(DisplayEnable), {on}); }
VISIBLE int FN(SaveParameter)(int team) { return Call(NAME(SaveParameter), {team}); }
VISIBLE int FN(ReadParameter)(int team) { return Call(NAME(ReadParameter), {team}); }
VISIBLE int FN(GetCurrentParameterTeam)(BYTE* team) { return CallOut(NAME(GetCurrentParameterTeam), {}, team); }

}  // extern "C"
