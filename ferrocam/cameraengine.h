// The process-wide camera engine behind the driver's exported functions: opens the sensor,
// reads raw frames, runs the colour pipeline and corrections, keeps the settings, stores them
// as parameter teams and writes still files. Its own capture and display threads run only
// after Play.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ferrocam/autoexposure.h"
#include "ferrocam/ferrocam.h"
#include "ferrocam/imagecorrector.h"
#include "ferrocam/modegate.h"
#include "ferrocam/registrykey.h"
#include "ferrocam/sensordevice.h"
#include "platform/framemailbox.h"

enum RunState : BYTE { RunRunning = 0, RunPaused = 1, RunStopped = 2 };

// True on an engine's own capture or display thread (where a frame callback runs after Play).
bool OnAnEngineThread();

class CCameraEngine {
public:
    CCameraEngine();
    virtual ~CCameraEngine();

    int Initialize(FrameCallback callback, int resolution, HWND display, HWND notify);
    // Saves the current team and closes the device; stops the engine threads first if the
    // caller left them running.
    void Shutdown();

    int Play();
    int Pause();
    int Stop();
    int GrabFrame(BYTE* raw, uint64_t capacity = 0);
    int Decode(BYTE* raw, BYTE* rgb, bool runAe);
    void GetImageSize(int& width, int& height) const;
    int CaptureToFiles(const char* basePath, int flags, int resolution);

    // Once it returns, no auto-exposure step still running writes an exposure after it.
    void SetAeState(int on) {
        std::lock_guard<std::mutex> g(aeLock_);
        aeState_.store(on);
    }
    int AeState() const { return aeState_.load(); }
    void SetAeTarget(int target);
    BYTE AeTarget() const { return aeTarget_.load(); }
    void SetExposureTime(unsigned ms);
    unsigned ExposureTime() const;
    float RowTime() const { return device_->GetRowTime(); }
    void SetAnalogGain(int gain) { device_->SetAnalogGain(gain); }
    WORD AnalogGain() const { return static_cast<WORD>(device_->AnalogGain()); }
    void SetWhiteBalanceRequest(int on) { device_->RequestWhiteBalance(on); }
    int WhiteBalancePending() const { return device_->WhiteBalanceRequested(); }
    void GetWhiteBalanceResult(int& flag, int& result) const {
        flag = wbFlag_;
        result = wbResult_;
    }
    void SetGains(unsigned red, unsigned green, unsigned blue);
    void GetGains(int& red, int& green, int& blue) const;
    void SetGamma(int gamma) { device_->SetGamma(gamma & 0xFF); }
    BYTE Gamma() const { return static_cast<BYTE>(device_->Gamma()); }
    void SetSaturation(int saturation);
    BYTE Saturation() const { return static_cast<BYTE>(saturation_.load()); }
    void SetColorEnhancement(int on);
    int ColorEnhancement() const { return colorEnhancement_.load(); }
    void SetContrast(int contrast) { device_->SetContrast(contrast & 0xFF); }
    BYTE Contrast() const { return static_cast<BYTE>(device_->Contrast()); }
    void SetMirror(int axis, int on) { device_->SetMirror(axis, on); }
    int Mirror(int axis) const { return device_->GetMirror(axis); }
    void SetMonochrome(int on);
    int Monochrome() const { return monochrome_.load(); }
    void SetFrameSpeed(int speed);
    BYTE FrameSpeed() const { return static_cast<BYTE>(device_->FrameSpeed()); }
    void SetVideoMessage(int message) { videoMessage_.store(static_cast<UINT>(message)); }
    void DisplayEnable(int on) { displayEnable_.store(on); }

    int SaveParameterTeam(int team);
    int LoadParameterTeam(int team);
    // The team number stored in the registry ("paraTeam" of team 0), 0 when there is none.
    BYTE CurrentParameterTeam();

    void CorrectionDead();
    void CalcFlatFielding() { flatRequest_.store(1); }
    void GetCalcFlatFieldingState(int& request, int& done) const {
        request = flatRequest_.load();
        done = flatDone_.load();
    }
    void SetFlatFieldingState(int on) { flatOn_.store(on); }
    int FlatFieldingState() const { return flatOn_.load(); }
    int SetLevelsValues(int low, int high);
    void GetLevelsValues(int& low, int& high) const {
        low = levelsLow_;
        high = levelsHigh_;
    }
    void SetAutoLevelsState(int on) { autoLevels_ = on; }
    int AutoLevelsState() const { return autoLevels_; }
    void GetLevelsCounts(int* counts) const;

    // The pipeline on one raw buffer (pixels 512 bytes in) into rgb, under the pipeline lock.
    void ProcessFrame(BYTE* raw, BYTE* rgb, bool allowAe, int bytesPerSample = 1);

    CSensorDevice* Device() { return device_.get(); }
    RunState State() const { return static_cast<RunState>(runState_.load()); }
    int Mode() const { return mode_; }
    const CImageCorrector& Corrector() const { return corrector_; }
    static std::string TeamKey(int team);

private:
    static void FlatFieldHook(void* context, BYTE* rgb, int width, int height);
    void CaptureThread();
    void DisplayThread();
    void FreeResources();
    void JoinThreads();
    bool OnEngineThread() const;
    bool AllocateBuffers(int width, int height);

    std::unique_ptr<CSensorDevice> device_;
    std::atomic<BYTE> runState_{RunStopped};
    int mode_ = 0;
    HWND display_ = nullptr, notify_ = nullptr;
    std::atomic<UINT> videoMessage_{WM_CAMERA_NEWFRAME};
    std::atomic<int> displayEnable_{1};
    // Three raw buffers rotate between the capture, shared and processing slots by pointer.
    std::vector<BYTE> rawStore_[3];
    BYTE* captureBuffer_ = nullptr;
    BYTE* processingBuffer_ = nullptr;
    CFrameMailbox frames_;  // holds the shared buffer between the capture and the display
    uint64_t rawBufferBytes_ = 0;
    std::vector<BYTE> rgb_;
    BITMAPINFOHEADER header_{};
    // Locking: a grab is inside the mode gate and takes nothing else; a decode takes the
    // pipeline lock only, so grabs and decodes run side by side. A mode switch (a still at
    // another mode) takes the pipeline lock and then the gate for itself, holding both until
    // the engine's mode is back. Nothing waits for the pipeline lock inside the gate.
    std::recursive_mutex pipelineLock_;
    CModeGate modeGate_;
    std::thread captureThread_, displayThread_;
    std::atomic<std::thread::id> captureThreadId_{}, displayThreadId_{};
    bool threadsStarted_ = false;
    std::mutex controlLock_;  // Play, Pause and Stop from several threads
    // Whether each thread is still in its loop, and whether the last Stop came from a frame
    // callback: only then may a Play from a callback take the play up again in those threads.
    std::mutex exitLock_;
    bool captureLooping_ = false, displayLooping_ = false, stoppedFromInside_ = false;
    bool LeaveLoop(bool& looping);
    bool ThreadGone();  // one of the started threads has left its loop
    // Every change of the run state wakes a thread that waits out a pause.
    void SetRunState(BYTE state);
    void WaitWhilePaused();

    std::atomic<int> colorEnhancement_{1}, monochrome_{0}, saturation_{128};
    std::atomic<int> deadDetect_{0};
    std::atomic<int> flatRequest_{0}, flatDone_{0}, flatOn_{0};
    int wbFlag_ = 0, wbResult_ = 0;
    std::atomic<int> aeState_{0};
    std::mutex aeLock_;  // an auto-exposure step, and the switch turning it off under it
    std::atomic<BYTE> aeTarget_{128};
    int levelsLow_ = 0, levelsHigh_ = 255, autoLevels_ = 0;
    int levelsCounts_[256] = {};
    FrameCallback callback_ = nullptr;
    BYTE currentTeam_ = 0;
    std::unique_ptr<CRegistryKey> registry_;
    std::string snapshotFolder_;
    std::unique_ptr<CAutoExposure> autoExposure_;
    CImageCorrector corrector_;
};
