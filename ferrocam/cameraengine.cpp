#include "ferrocam/cameraengine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>

#include "ferrocam/windowport.h"
#include "platform/clock.h"
#include "platform/debugout.h"
#include "stillwriters.h"

namespace {

constexpr int kDefaultRoi[4] = {360, 272, 640, 480};
constexpr int kCaptureAttempts = 55;

// Snapshot-button frames land in the user's home folder, the nearest thing to a drive root.
std::string DefaultSnapshotFolder() {
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : ".") + "/";
}

// rows at the new row time that keep the exposure of oldRows at the old row time. Row times
// are floats, and so is this arithmetic: in double, a row time that float rounds down gives
// one row less at exact multiples.
int64_t RescaleRows(float newRowTime, float oldRowTime, int64_t oldRows) {
    return static_cast<int64_t>((newRowTime + oldRowTime * static_cast<float>(oldRows) - 1.0f) / newRowTime);
}

thread_local bool t_engineThread = false;

}  // namespace

bool OnAnEngineThread() { return t_engineThread; }

CCameraEngine::CCameraEngine()
    : registry_(std::make_unique<CRegistryKey>(RegistryRoot::CurrentUser)),
      snapshotFolder_(DefaultSnapshotFolder()),
      autoExposure_(std::make_unique<CAutoExposure>()) {}

CCameraEngine::~CCameraEngine() {
    JoinThreads();
    FreeResources();
}

std::string CCameraEngine::TeamKey(int team) {
    char key[64];
    const auto letter = static_cast<unsigned char>('a' + (team & 0xFF));
    // A control character, key separator or closing bracket cannot stand in a key name of the
    // settings file (it would end the name or split the line): such a letter is spelled in hex.
    if (letter < 0x20 || letter == '\\' || letter == '/' || letter == ']')
        std::snprintf(key, sizeof key, "Software\\OSTREL\\Ferrosens\\setup%%%02X", letter);
    else
        std::snprintf(key, sizeof key, "Software\\OSTREL\\Ferrosens\\setup%c", letter);
    return key;
}

void CCameraEngine::FreeResources() {
    if (device_) {
        device_->Close();
        device_.reset();
    }
    for (auto& b : rawStore_) {
        b.clear();
        b.shrink_to_fit();
    }
    captureBuffer_ = processingBuffer_ = nullptr;
    frames_.Reset(nullptr);
    rawBufferBytes_ = 0;
    rgb_.clear();
    rgb_.shrink_to_fit();
    corrector_.FreeGainMap();
}

bool CCameraEngine::AllocateBuffers(int width, int height) {
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    try {
        rawBufferBytes_ = 2 * pixels + kRawHeaderBytes;
        for (auto& b : rawStore_)
            b.assign(rawBufferBytes_, 0);
        rgb_.assign(pixels * 3, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    captureBuffer_ = rawStore_[0].data();
    frames_.Reset(rawStore_[1].data());
    processingBuffer_ = rawStore_[2].data();
    return true;
}

int CCameraEngine::Initialize(FrameCallback callback, int resolution, HWND display, HWND notify) {
    // A second Init reuses the engine: whatever the first one left is released first.
    JoinThreads();
    SetRunState(RunStopped);
    display_ = display;
    notify_ = notify;
    // Modes above 5 are applied as 5 by the device; the buffers are sized for what it applies.
    mode_ = std::min(resolution & 0xFF, static_cast<int>(kModeRoi));
    callback_ = callback;
    FreeResources();

    device_ = std::make_unique<CSensorDevice>();
    device_->SetRoi(kDefaultRoi[0], kDefaultRoi[1], kDefaultRoi[2], kDefaultRoi[3]);
    if (!device_->Open(callback, &CCameraEngine::FlatFieldHook, this, mode_)) {
        device_.reset();
        return CAMERA_NODEVICE;
    }
    currentTeam_ = CurrentParameterTeam();

    const SensorMode& m = device_->State().modes[mode_];
    if (!AllocateBuffers(m.width, m.height)) {
        FreeResources();
        return CAMERA_NODEVICE;
    }
    header_ = BITMAPINFOHEADER{};
    header_.biSize = 40;
    header_.biWidth = m.width;
    header_.biHeight = m.height;
    header_.biPlanes = 1;
    header_.biBitCount = 24;
    SetRunState(RunStopped);
    deadDetect_.store(1);

    device_->Start();
    LoadParameterTeam(currentTeam_);
    return CAMERA_OK;
}

void CCameraEngine::Shutdown() {
    if (!device_)
        return;
    Stop();
    JoinThreads();
    SaveParameterTeam(currentTeam_);
    flatRequest_.store(0);
    flatDone_.store(0);
    flatOn_.store(0);
    FreeResources();
}

void CCameraEngine::FlatFieldHook(void* context, BYTE* rgb, int width, int height) {
    auto* self = static_cast<CCameraEngine*>(context);
    if (self->flatRequest_.load()) {
        if (self->corrector_.CalibrateFlatField(rgb, width, height)) {
            self->flatDone_.store(1);
            self->flatOn_.store(1);
        }
        self->flatRequest_.store(0);
    }
    if (self->flatDone_.load() && self->flatOn_.load())
        self->corrector_.ApplyFlatField(rgb, width, height);
}

void CCameraEngine::ProcessFrame(BYTE* raw, BYTE* rgb, bool allowAe, int bytesPerSample) {
    std::lock_guard<std::recursive_mutex> lock(pipelineLock_);
    if (!device_)
        return;
    const int w = device_->Width(), h = device_->Height();
    BYTE* pixels = raw + kRawHeaderBytes;
    if (bytesPerSample != 2) {
        if (deadDetect_.load() && corrector_.DetectDeadPixels(pixels, w, h))
            deadDetect_.store(0);
        if (!corrector_.DeadPixels().empty())
            corrector_.RepairDeadPixels(pixels, w, h);
    }
    const bool flatFieldBusy = flatRequest_.load() || (flatDone_.load() && flatOn_.load());
    device_->ColorStep(pixels, rgb, flatFieldBusy);
    if (h >= 4) {
        const size_t stride = static_cast<size_t>(w) * 3;
        for (int y = 0; y < 3; ++y)
            std::memcpy(rgb + stride * y, rgb + stride * 3, stride);
        for (int y = h - 3; y < h; ++y)
            std::memcpy(rgb + stride * y, rgb + stride * (h - 4), stride);
    }
    if (allowAe && aeState_.load()) {
        std::lock_guard<std::mutex> g(aeLock_);
        if (!aeState_.load())
            return;
        const int rows = device_->ExposureRows();
        const int next = autoExposure_->Step(pixels, w, h, rows, aeTarget_.load());
        if (next != rows)
            device_->SetExposureRows(next);
    }
}

int CCameraEngine::GrabFrame(BYTE* raw, uint64_t capacity) {
    if (!raw)
        return CAMERA_READFAIL;
    // Waits out a mode switch: the caller's buffer has the engine's size.
    CModeGate::ReadScope read(modeGate_);
    RawBuffer buffer;
    buffer.data = raw;
    buffer.capacity = capacity;
    return device_->GrabFrame(buffer);
}

int CCameraEngine::Decode(BYTE* raw, BYTE* rgb, bool runAe) {
    if (!raw || !rgb)
        return CAMERA_NOFRAME;
    // The pipeline lock alone: a grab on another thread goes on meanwhile, and a mode switch
    // (which holds the pipeline lock) is waited out.
    ProcessFrame(raw, rgb, runAe, device_->BytesPerSample());
    return CAMERA_OK;
}

void CCameraEngine::GetImageSize(int& width, int& height) const {
    width = device_->Width();
    height = device_->Height();
}

bool CCameraEngine::OnEngineThread() const {
    const std::thread::id self = std::this_thread::get_id();
    return displayThreadId_.load() == self || captureThreadId_.load() == self;
}

int CCameraEngine::Play() {
    // From a frame callback: the control lock may be held by a Stop that waits for this very
    // thread, so nothing is started from here.
    if (OnEngineThread()) {
        std::lock_guard<std::mutex> exit(exitLock_);
        const BYTE state = runState_.load();
        if (state == RunRunning)
            return 0;
        if (state == RunPaused && (!captureLooping_ || !displayLooping_))
            return 0;  // a thread left after a Stop from a callback; only a Play from outside restarts
        if (state == RunStopped) {
            // Stopped from a callback: the threads go on only if both are still looping (and no
            // Stop from outside is waiting for them); their reads were aborted by that Stop.
            if (!stoppedFromInside_ || !captureLooping_ || !displayLooping_)
                return 0;
            stoppedFromInside_ = false;
            device_->ClearAbort();
        }
        frames_.Restart();  // a Stop from inside closed it
        SetRunState(RunRunning);
        return 1;
    }
    std::lock_guard<std::mutex> control(controlLock_);
    const BYTE state = runState_.load();
    if (state == RunRunning)
        return 0;
    if (state == RunPaused && !ThreadGone()) {
        // A frame from before the pause is not shown; a mailbox a Stop from inside closed opens.
        std::lock_guard<std::mutex> exit(exitLock_);
        frames_.Restart();
        SetRunState(RunRunning);
        return 1;
    }
    JoinThreads();  // threads stopped from inside themselves are still to be joined
    device_->ClearAbort();
    {
        std::lock_guard<std::mutex> exit(exitLock_);
        captureLooping_ = displayLooping_ = true;
        stoppedFromInside_ = false;
        frames_.Restart();
    }
    SetRunState(RunRunning);
    captureThread_ = std::thread(&CCameraEngine::CaptureThread, this);
    displayThread_ = std::thread(&CCameraEngine::DisplayThread, this);
    threadsStarted_ = true;
    return 1;
}

int CCameraEngine::Pause() {
    std::lock_guard<std::mutex> exit(exitLock_);
    if (runState_.load() == RunStopped && stoppedFromInside_) {
        // Threads still looping stay, paused; the reads the Stop aborted work again.
        stoppedFromInside_ = false;
        if (device_)
            device_->ClearAbort();
    }
    SetRunState(RunPaused);
    return 1;
}

void CCameraEngine::SetRunState(BYTE state) {
    runState_.store(state);
    runState_.notify_all();
}

void CCameraEngine::WaitWhilePaused() {
    while (runState_.load() == RunPaused)
        runState_.wait(RunPaused);
}

bool CCameraEngine::ThreadGone() {
    std::lock_guard<std::mutex> exit(exitLock_);
    return threadsStarted_ && (!captureLooping_ || !displayLooping_);
}

bool CCameraEngine::LeaveLoop(bool& looping) {
    std::lock_guard<std::mutex> exit(exitLock_);
    if (runState_.load() != RunStopped)
        return false;  // played again from a callback before this thread saw the stop
    looping = false;
    return true;
}

void CCameraEngine::JoinThreads() {
    if (!threadsStarted_)
        return;
    {
        std::lock_guard<std::mutex> exit(exitLock_);
        stoppedFromInside_ = false;
        SetRunState(RunStopped);
        frames_.Stop();  // the display thread waiting for a frame ends now
    }
    if (device_)
        device_->AbortRead();
    if (displayThread_.joinable())
        displayThread_.join();
    if (captureThread_.joinable())
        captureThread_.join();
    displayThreadId_.store(std::thread::id());
    captureThreadId_.store(std::thread::id());
    if (device_)
        device_->ClearAbort();
    threadsStarted_ = false;
}

int CCameraEngine::Stop() {
    if (OnEngineThread()) {
        // The threads see the state and end; the next call from outside joins them.
        std::lock_guard<std::mutex> exit(exitLock_);
        if (runState_.load() == RunStopped)
            return 0;
        SetRunState(RunStopped);
        stoppedFromInside_ = true;
        frames_.Stop();  // the display thread waiting for a frame sees the stop
        if (device_)
            device_->AbortRead();
        return 1;
    }
    std::lock_guard<std::mutex> control(controlLock_);
    if (runState_.load() == RunStopped) {
        JoinThreads();  // threads a frame callback stopped from inside
        return 0;
    }
    {
        std::lock_guard<std::mutex> exit(exitLock_);
        stoppedFromInside_ = false;
        SetRunState(RunStopped);
    }
    // Marked running after Pause and Play on a stopped engine, but no threads were started.
    JoinThreads();
    return 1;
}

void CCameraEngine::CaptureThread() {
    t_engineThread = true;
    captureThreadId_.store(std::this_thread::get_id());
    // Nothing may end the thread by an exception (that would end the process): a frame that
    // cannot be processed, for want of memory, is dropped and the loop goes on.
    for (;;) {
        try {
            while (runState_.load() != RunStopped) {
                if (runState_.load() == RunPaused) {
                    WaitWhilePaused();
                    continue;
                }
                int result;
                int bytesPerSample;
                {
                    // Only the read is inside the gate: the pipeline lock comes before it.
                    CModeGate::ReadScope read(modeGate_);
                    RawBuffer buffer;
                    buffer.data = captureBuffer_;
                    buffer.capacity = rawBufferBytes_;
                    result = device_->GrabFrame(buffer);
                    bytesPerSample = buffer.bytesPerSample;
                }
                if (result == CAMERA_SNAPFRAME) {
                    char path[4096];
                    std::time_t now = std::time(nullptr);
                    std::tm local{};
                    localtime_r(&now, &local);
                    std::snprintf(path, sizeof path, "%sP%02d%02d%02d%02d%02d.bmp", snapshotFolder_.c_str(),
                                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
                    std::lock_guard<std::recursive_mutex> pipeline(pipelineLock_);
                    ProcessFrame(captureBuffer_, rgb_.data(), false, bytesPerSample);
                    WriteBmpFile(path, rgb_.data(), device_->Width(), device_->Height());
                }
                // The capture never waits for the display: a frame not yet taken comes back as
                // the next capture buffer.
                if (result == CAMERA_OK)
                    frames_.Put(captureBuffer_);
            }
            if (LeaveLoop(captureLooping_))
                break;
        } catch (...) {
            SleepMs(10);  // a breather after a frame that could not be processed
        }
    }
}

void CCameraEngine::DisplayThread() {
    t_engineThread = true;
    displayThreadId_.store(std::this_thread::get_id());
    // As in the capture thread: a frame that cannot be processed is dropped.
    for (;;) {
        try {
            while (runState_.load() != RunStopped) {
                if (runState_.load() != RunRunning) {
                    WaitWhilePaused();
                    continue;
                }
                // Waits for the newest frame; a stop wakes it. A frame taken as the engine
                // pauses is dropped, as Play drops one left from before the pause.
                if (frames_.Take(processingBuffer_) != CFrameMailbox::kFrame || runState_.load() != RunRunning)
                    continue;
                // A frame taken is shown: during a mode switch this waits until the engine's
                // own size is back, which is the size of this frame.
                std::lock_guard<std::recursive_mutex> pipeline(pipelineLock_);
                ProcessFrame(processingBuffer_, rgb_.data(), true, device_->BytesPerSample());
                const FerroWindowPort* port = GetFerroWindowPort();
                if (port && display_ && displayEnable_.load() && port->isWindow && port->isWindow(display_) && port->drawFrame)
                    port->drawFrame(display_, header_, rgb_.data());
                if (port && notify_ && port->isWindow && port->isWindow(notify_) && port->postMessage)
                    port->postMessage(notify_, videoMessage_.load(), 0, 0);
            }
            if (LeaveLoop(displayLooping_))
                break;
        } catch (...) {
            SleepMs(10);  // a breather after a frame that could not be processed
        }
    }
}

int CCameraEngine::CaptureToFiles(const char* basePath, int flags, int resolution) {
    if (!device_)
        return CAMERA_NODEVICE;
    if (!basePath)
        return CAMERA_NOFRAME;
    bool wasRunning = false;
    if (OnEngineThread()) {
        // A frame callback. Stopping from here would abort this very still's reads and could
        // let the other thread end under a Play that starts none; a switch below waits for the
        // other engine thread's read in flight and holds its next one.
    } else {
        std::lock_guard<std::mutex> control(controlLock_);  // Play and Stop change the threads
        wasRunning = runState_.load() == RunRunning && threadsStarted_;
    }
    if (wasRunning)
        Stop();

    const int requested = std::min(resolution & 0xFF, static_cast<int>(kModeRoi));
    const bool switched = requested != mode_;
    int result = CAMERA_OK;
    {
        // A switch holds decodes (pipeline lock) and grabs (gate) apart until the engine's mode
        // is back; a still at the engine's mode only keeps a switch elsewhere from starting
        // under its grabs. The pipeline lock comes before the gate.
        std::unique_lock<std::recursive_mutex> pipeline(pipelineLock_, std::defer_lock);
        std::optional<CModeGate::SwitchScope> switching;
        std::optional<CModeGate::ReadScope> reading;
        // Whatever happens in between, the engine's own mode comes back before the locks go:
        // callers' buffers have its size.
        struct ModeBack {
            CCameraEngine* engine;
            int rows;
            bool armed = false;
            ~ModeBack() {
                if (!armed)
                    return;
                try {
                    engine->flatRequest_.store(engine->flatOn_.load());
                    engine->deadDetect_.store(1);
                    engine->device_->SelectMode(engine->mode_);
                    engine->device_->SetExposureRows(rows);
                } catch (...) {
                }
            }
        } modeBack{this, 0};
        if (switched) {
            pipeline.lock();
            switching.emplace(modeGate_);
            // Read only now: a switch on another thread rescales the exposure for its while.
            const int rows = device_->ExposureRows();
            modeBack.rows = rows;
            modeBack.armed = true;
            flatRequest_.store(flatOn_.load());
            deadDetect_.store(1);
            const float oldRowTime = device_->GetRowTime();
            device_->SelectMode(requested);
            const float newRowTime = device_->GetRowTime();
            device_->SetExposureRows(RescaleRows(newRowTime, oldRowTime, rows));
            SleepMs(300);  // the sensor settles in its new mode
        } else {
            reading.emplace(modeGate_);
        }

        const int w = device_->Width(), h = device_->Height();
        const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
        std::vector<BYTE> raw, rgb;
        try {
            raw.assign(std::max<uint64_t>(pixels + kRawHeaderBytes, device_->RawFrameBytes()), 0);
            rgb.assign(pixels * 3, 0);
        } catch (const std::bad_alloc&) {
            result = CAMERA_NOMEMORY;
        }

        if (result == CAMERA_OK) {
            int grab = CAMERA_NOFRAME;
            for (int attempt = 0; attempt < kCaptureAttempts && grab != CAMERA_OK; ++attempt) {
                RawBuffer buffer;
                buffer.data = raw.data();
                buffer.capacity = raw.size();
                grab = device_->GrabFrame(buffer);
                if (grab != CAMERA_OK && !device_->Connected())
                    break;  // unplugged: more attempts cannot bring a frame
            }
            reading.reset();  // the pipeline below takes its lock, which comes first
            // Without a good frame there is nothing worth writing: the grab's error is the answer.
            if (grab != CAMERA_OK) {
                result = grab;
            } else {
                const std::string base(basePath);
                bool ok = true;
                if (flags & CAPTURE_FILE_RAW)
                    ok &= WriteRawFile((base + ".raw").c_str(), raw.data() + kRawHeaderBytes,
                                       pixels * static_cast<uint64_t>(device_->BytesPerSample())) == 1;
                if (flags & (CAPTURE_FILE_JPEG | CAPTURE_FILE_BMP | CAPTURE_FILE_TIFF)) {
                    ProcessFrame(raw.data(), rgb.data(), false, device_->BytesPerSample());
                    if (flags & CAPTURE_FILE_JPEG)
                        ok &= SaveJpegFile((base + ".jpg").c_str(), rgb.data(), w, h) == 1;
                    if (flags & CAPTURE_FILE_BMP)
                        ok &= WriteBmpFile((base + ".bmp").c_str(), rgb.data(), w, h) == 1;
                    if (flags & CAPTURE_FILE_TIFF)
                        ok &= SaveTiffFile((base + ".tif").c_str(), rgb.data(), w, h) == 1;
                }
                // A file that could not be written is not reported as written.
                if (!ok)
                    result = CAMERA_NOFRAME;
            }
        }
    }
    if (wasRunning)
        Play();
    return result;
}

void CCameraEngine::SetAeTarget(int target) { aeTarget_.store(static_cast<BYTE>(std::clamp(target & 0xFF, 40, 200))); }

void CCameraEngine::SetExposureTime(unsigned ms) {
    // In float, as the row time is.
    const float rowTime = device_->GetRowTime();
    const float micro = static_cast<float>(static_cast<uint64_t>(ms) * 1000u);
    const int64_t rows = static_cast<int64_t>((micro + rowTime - 1.0f) / rowTime);
    const int64_t clamped = std::clamp<int64_t>(rows, 1, 65535);
    if (clamped != device_->ExposureRows())
        device_->SetExposureRows(clamped);
}

unsigned CCameraEngine::ExposureTime() const {
    // The product in float, then in double: 1125 rows of 104.88889 µs are 118 ms, not 117.
    const float micro = static_cast<float>(device_->ExposureRows()) * device_->GetRowTime();
    return static_cast<unsigned>(static_cast<double>(micro) * 0.001);
}

void CCameraEngine::SetGains(unsigned red, unsigned green, unsigned blue) {
    device_->SetGains(static_cast<int>(red & 0xFFFF), static_cast<int>(green & 0xFFFF), static_cast<int>(blue & 0xFFFF));
}

void CCameraEngine::GetGains(int& red, int& green, int& blue) const {
    // The driver's own bounded wait for a one-shot balance still pending (at most a second).
    for (int i = 0; i < 10 && device_->WhiteBalanceRequested(); ++i)
        SleepMs(100);
    device_->GetGains(red, green, blue);
}

void CCameraEngine::SetSaturation(int saturation) {
    if (!colorEnhancement_.load() || monochrome_.load())
        return;
    saturation_.store(saturation & 0xFF);
    device_->SetSaturation(saturation & 0xFF);
}

void CCameraEngine::SetColorEnhancement(int on) {
    colorEnhancement_.store(on);
    if (!monochrome_.load())
        device_->SetSaturation(on ? saturation_.load() : 128);
}

void CCameraEngine::SetMonochrome(int on) {
    monochrome_.store(on);
    if (on)
        device_->SetSaturation(0);
    else
        device_->SetSaturation(colorEnhancement_.load() ? saturation_.load() : 128);
}

void CCameraEngine::SetFrameSpeed(int speed) {
    const int next = std::min(speed & 0xFF, 4);
    if (next == device_->FrameSpeed())
        return;
    const float oldRowTime = device_->GetRowTime();
    const int oldRows = device_->ExposureRows();
    device_->SetFrameSpeed(next);
    device_->SetExposureRows(RescaleRows(device_->GetRowTime(), oldRowTime, oldRows));
}

int CCameraEngine::SaveParameterTeam(int team) {
    if (!device_)
        return CAMERA_NODEVICE;
    const int n = team & 0xFF;
    CRegistryKey key;
    const std::string path = TeamKey(n);
    if (!key.Open(path) && !key.Create(path))
        return CAMERA_OK;
    currentTeam_ = static_cast<BYTE>(n);
    // One rewrite of the file for the whole team.
    key.BeginBatch();
    int red, green, blue;
    device_->GetGains(red, green, blue);
    key.WriteDword("rGain", static_cast<DWORD>(red));
    key.WriteDword("gGain", static_cast<DWORD>(green));
    key.WriteDword("bGain", static_cast<DWORD>(blue));
    key.WriteDword("gamma", static_cast<DWORD>(device_->Gamma()));
    key.WriteDword("contrast", static_cast<DWORD>(device_->Contrast()));
    key.WriteDword("saturation", static_cast<DWORD>(saturation_.load()));
    key.WriteDword("horz", static_cast<DWORD>(device_->GetMirror(0)));
    key.WriteDword("vert", static_cast<DWORD>(device_->GetMirror(1)));
    key.WriteDword("analogGain", static_cast<DWORD>(device_->AnalogGain()));
    key.WriteDword("exposure", static_cast<DWORD>(device_->ExposureRows()));
    // The row time is stored with a '.' whatever the process's number format: the program runs
    // in the user's locale, and a comma written there would be misread in any other.
    char rowTime[32];
    const auto written = std::to_chars(rowTime, rowTime + sizeof rowTime - 1,
                                       static_cast<double>(device_->GetRowTime()), std::chars_format::fixed, 5);
    *written.ptr = '\0';
    key.WriteString("rowtime", rowTime);
    key.WriteDword("frameSpeed", static_cast<DWORD>(device_->FrameSpeed()));
    key.WriteDword("aeTarget", static_cast<DWORD>(aeTarget_.load()));
    key.WriteDword("aeState", static_cast<DWORD>(aeState_.load()));
    key.WriteDword("mono", static_cast<DWORD>(monochrome_.load()));
    key.WriteDword("enhance", static_cast<DWORD>(colorEnhancement_.load()));
    key.CommitBatch();
    key.Close();
    CRegistryKey first;
    if (first.Open(TeamKey(0)))
        first.WriteDword("paraTeam", static_cast<DWORD>(n));
    return CAMERA_OK;
}

int CCameraEngine::LoadParameterTeam(int team) {
    if (!device_)
        return CAMERA_NODEVICE;
    const int n = team & 0xFF;
    CRegistryKey key;
    if (!key.Open(TeamKey(n)))
        return CAMERA_OK;
    // A value missing from the key (or unreadable) keeps the current setting.
    int red, green, blue;
    device_->GetGains(red, green, blue);
    DWORD r = static_cast<DWORD>(red), g = static_cast<DWORD>(green), b = static_cast<DWORD>(blue);
    key.ReadDword("rGain", r);
    key.ReadDword("gGain", g);
    key.ReadDword("bGain", b);
    device_->SetGains(static_cast<int>(r & 0xFFFF), static_cast<int>(g & 0xFFFF), static_cast<int>(b & 0xFFFF));

    DWORD v;
    if (key.ReadDword("gamma", v = 0))
        device_->SetGamma(static_cast<int>(v & 0xFF));
    if (key.ReadDword("contrast", v = 0))
        device_->SetContrast(static_cast<int>(v & 0xFF));
    if (key.ReadDword("saturation", v = 0)) {
        device_->SetSaturation(static_cast<int>(v & 0xFF));
        saturation_.store(static_cast<int>(v & 0xFF));
    }
    if (key.ReadDword("horz", v = 0))
        device_->SetMirror(0, v ? 1 : 0);
    if (key.ReadDword("vert", v = 0))
        device_->SetMirror(1, v ? 1 : 0);
    // The team's speed goes to the sensor as it is; the exposure is rescaled once, below.
    if (key.ReadDword("frameSpeed", v = 0))
        device_->SetFrameSpeed(static_cast<int>(v & 0xFF));
    if (key.ReadDword("analogGain", v = 0))
        device_->SetAnalogGain(static_cast<int>(std::min<DWORD>(v, 0xFFFF)));

    DWORD rows = 0;
    std::string rowTimeText;
    if (key.ReadDword("exposure", rows) && key.ReadString("rowtime", rowTimeText)) {
        // A comma stands for the point in teams an earlier build saved under a comma locale.
        std::replace(rowTimeText.begin(), rowTimeText.end(), ',', '.');
        double stored = 0;
        const char* first = rowTimeText.c_str();
        while (*first == ' ' || *first == '\t') ++first;
        const auto parsed = std::from_chars(first, rowTimeText.c_str() + rowTimeText.size(), stored);
        const float current = device_->GetRowTime();
        if (parsed.ec == std::errc() && parsed.ptr != first && std::isfinite(stored) && stored > 0 && stored < 1e6)
            device_->SetExposureRows(RescaleRows(current, static_cast<float>(stored), rows));
    }
    if (key.ReadDword("mono", v = 0))
        monochrome_.store(v ? 1 : 0);
    if (key.ReadDword("enhance", v = 0))
        colorEnhancement_.store(v ? 1 : 0);
    if (key.ReadDword("aeState", v = 0))
        aeState_.store(v ? 1 : 0);
    if (key.ReadDword("aeTarget", v = 0))
        SetAeTarget(static_cast<int>(v & 0xFF));
    if (!colorEnhancement_.load())
        device_->SetSaturation(128);
    if (monochrome_.load())
        device_->SetSaturation(0);
    currentTeam_ = static_cast<BYTE>(n);
    return CAMERA_OK;
}

BYTE CCameraEngine::CurrentParameterTeam() {
    CRegistryKey key;
    if (!key.Open(TeamKey(0)))
        return 0;
    DWORD team = 0;
    key.ReadDword("paraTeam", team);
    return static_cast<BYTE>(team & 0xFF);
}

void CCameraEngine::CorrectionDead() {
    std::lock_guard<std::recursive_mutex> lock(pipelineLock_);
    corrector_.ClearDeadPixels();
    deadDetect_.store(1);
}

int CCameraEngine::SetLevelsValues(int low, int high) {
    if (autoLevels_)
        return CAMERA_OK;
    if (static_cast<unsigned>(low) > 254)
        low = 255;
    if (static_cast<unsigned>(high) > 254)
        high = 255;
    if (high < low)
        return CAMERA_BADRANGE;
    levelsLow_ = low;
    levelsHigh_ = high;
    return CAMERA_OK;
}

void CCameraEngine::GetLevelsCounts(int* counts) const { std::memcpy(counts, levelsCounts_, sizeof levelsCounts_); }
