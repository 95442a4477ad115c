// The camera's image sensor, driven by vendor requests over the USB transport: mode, frame
// speed, analog gain, exposure and region of interest, and raw frames read from the bulk-in
// pipe with their marker blocks checked. Owns the colour processor and runs its colour step.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "ferrocam/colorprocessor.h"
#include "ferrocam/ferrocam.h"
#include "ferrocam/usbtransportlink.h"

// A raw frame buffer as the engine passes it: the data and its bytes per sample.
struct RawBuffer {
    BYTE* data = nullptr;
    int bytesPerSample = 1;
    uint64_t capacity = 0;  // bytes available at data; 0 when the caller did not say
};

// The engine's per-frame hook, run on the RGB image right after demosaicing (flat field).
using FrameHook = void (*)(void* context, BYTE* rgb, int width, int height);

struct SensorMode {
    int width;
    int height;
    int lineClocks;
};

constexpr int kModeRoi = 5;
constexpr int kSensorWidth = 3664;
constexpr int kSensorHeight = 2748;
constexpr uint64_t kRawHeaderBytes = 512;

// Everything the device works with. Values that a setter on one thread writes while a grab or
// a frame on another reads them are atomic.
struct BoardState {
    BoardState();
    std::unique_ptr<CUsbTransport> transport;
    std::atomic<BYTE> busy{0};
    std::atomic<int> modeIndex{0};
    SensorMode modes[6];
    std::atomic<WORD> roiX{360}, roiY{272}, roiWidth{640}, roiHeight{480};
    std::atomic<int> red{64}, green{64}, blue{64};
    std::atomic<int> contrast{0}, gamma{100}, saturation{128};
    std::atomic<int> frameSpeed{2};
    std::atomic<int> analogGain{20};
    std::atomic<int> exposureRows{100};
    int bytesPerSample = 1;
    BYTE rotation = 0, mirror = 0;
    std::atomic<uint64_t> readStartTick{0}, readEndTick{0}, settleUntilTick{0};
    std::atomic<uint64_t> framePixels{0};
    std::atomic<int> width{0}, height{0};
    std::atomic<int> horizontalMirror{0}, verticalMirror{0};
    BYTE buttonPressed = 0, buttonArmed = 1, marker = 0x88;
};

class CSensorDevice {
public:
    CSensorDevice();
    // For tests: the device over a transport of the caller's choosing.
    explicit CSensorDevice(std::unique_ptr<CUsbTransport> transport);
    virtual ~CSensorDevice();

    bool Open(FrameCallback callback, FrameHook hook, void* hookContext, int mode);
    void SetRoi(int x, int y, int width, int height);
    void Start();
    void SelectMode(int mode);
    void SetFrameSpeed(int speed);
    void SetAnalogGain(int gain);
    void SetExposureRows(int64_t rows);
    float GetRowTime() const;
    static float RowTimeFor(int lineClocks, int speed);
    int GrabFrame(RawBuffer& buffer);
    // runHook false skips the per-frame hook (it has nothing to do).
    void ColorStep(const BYTE* raw, BYTE* rgb, bool runHook = true);
    void Close();
    // Ends a read in progress (Stop must not wait on a long exposure).
    void AbortRead() { state_.transport->Abort(); }
    void ClearAbort() { state_.transport->ClearAbort(); }
    // False once the camera is gone (unplugged) or was never opened.
    bool Connected() const { return state_.transport->IsOpen(); }

    void SetMirror(int axis, int on);
    int GetMirror(int axis) const;
    void SetGains(int red, int green, int blue);
    void GetGains(int& red, int& green, int& blue) const { cp_.GetGains(red, green, blue); }
    void SetGamma(int gamma);
    int Gamma() const { return state_.gamma.load(); }
    void SetContrast(int contrast);
    int Contrast() const { return state_.contrast.load(); }
    void SetSaturation(int saturation);
    void RequestWhiteBalance(int state) { cp_.RequestWhiteBalance(state); }
    int WhiteBalanceRequested() const { return cp_.WhiteBalanceRequested(); }

    int Mode() const { return state_.modeIndex.load(); }
    int Width() const { return state_.width.load(); }
    int Height() const { return state_.height.load(); }
    int FrameSpeed() const { return state_.frameSpeed.load(); }
    int AnalogGain() const { return state_.analogGain.load(); }
    int ExposureRows() const { return state_.exposureRows.load(); }
    int BytesPerSample() const { return state_.bytesPerSample; }
    // The byte count of one bulk read in the current mode.
    uint64_t RawFrameBytes() const;
    BoardState& State() { return state_; }
    CColorProcessor& Processor() { return cp_; }

    static WORD AnalogGainCode(int gain);

private:
    using Routine = int (CSensorDevice::*)();
    int Nop() { return 0; }
    int FillModeTable();
    int StartRoutine() { return 0; }
    int StopRoutine();
    int ModeSelectRoutine();
    int AnalogGainRoutine();
    int ExposureRoutine();
    int FrameSpeedRoutine();
    int RoiRoutine();
    int NextFrameRoutine();
    int Run(int op);
    void ModeSetup();
    void ApplyMirror();
    void Send(BYTE request, WORD value, WORD index);

    static const Routine kSensorOps[16];

    BoardState state_;
    CColorProcessor cp_;
    FrameCallback callback_ = nullptr;
    FrameHook hook_ = nullptr;
    void* hookContext_ = nullptr;
    bool opened_ = false;
    std::mutex frameCheckLock_;  // the marker and button fields of the state
};
