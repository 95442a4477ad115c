#include "ferrocam/sensordevice.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "stillwriters.h"

namespace {

constexpr SensorMode kModeTable[5] = {
    {3664, 2740, 3776}, {1600, 1200, 1711}, {1280, 960, 1391}, {800, 600, 911}, {640, 480, 751}};
constexpr float kPixelClockMHz[5] = {36.0f, 30.0f, 24.0f, 18.0f, 12.0f};
constexpr WORD kGainBase[5] = {0x1040, 0x1840, 0x1C40, 0x1CC0, 0x1DC0};
// Beyond the frame time a read waits this long before it counts as failed.
constexpr uint32_t kReadMarginMs = 1000;

bool TenBytesAre(const BYTE* p, BYTE value) {
    for (int i = 0; i < 10; ++i)
        if (p[i] != value)
            return false;
    return true;
}

}  // namespace

BoardState::BoardState() {
    for (int i = 0; i < 5; ++i)
        modes[i] = kModeTable[i];
    modes[kModeRoi] = {640, 480, 3776};
}

// In the order of the sensor's routine table; empty slots are routines no operation has.
const CSensorDevice::Routine CSensorDevice::kSensorOps[16] = {
    &CSensorDevice::Nop,           &CSensorDevice::FillModeTable,     &CSensorDevice::StartRoutine,
    &CSensorDevice::StopRoutine,   nullptr,                           &CSensorDevice::ModeSelectRoutine,
    nullptr,                       &CSensorDevice::AnalogGainRoutine, nullptr,
    &CSensorDevice::ExposureRoutine, &CSensorDevice::FrameSpeedRoutine, &CSensorDevice::Nop,
    &CSensorDevice::Nop,           &CSensorDevice::RoiRoutine,        &CSensorDevice::NextFrameRoutine,
    &CSensorDevice::Nop};

enum SensorOp {
    OpNop = 0,
    OpFillModes = 1,
    OpStop = 3,
    OpModeSelect = 5,
    OpAnalogGain = 7,
    OpExposure = 9,
    OpFrameSpeed = 10,
    OpRoi = 13,
    OpNextFrame = 14
};

CSensorDevice::CSensorDevice() { state_.transport = std::make_unique<CUsbTransport>(); }

CSensorDevice::CSensorDevice(std::unique_ptr<CUsbTransport> transport) { state_.transport = std::move(transport); }

CSensorDevice::~CSensorDevice() = default;

int CSensorDevice::Run(int op) {
    Routine r = kSensorOps[op];
    return r ? (this->*r)() : 0;
}

void CSensorDevice::Send(BYTE request, WORD value, WORD index) {
    BYTE scratch[10] = {};
    state_.transport->SendVendorRequest(request, value, index, scratch, sizeof scratch);
}

WORD CSensorDevice::AnalogGainCode(int gain) {
    gain = std::clamp(gain, 1, 319);
    return static_cast<WORD>((gain & 63) + kGainBase[gain / 64]);
}

float CSensorDevice::RowTimeFor(int lineClocks, int speed) {
    return static_cast<float>(lineClocks) / kPixelClockMHz[std::clamp(speed, 0, 4)];
}

int CSensorDevice::FillModeTable() {
    for (int i = 0; i < 5; ++i)
        state_.modes[i] = kModeTable[i];
    state_.modes[kModeRoi] = {state_.roiWidth.load(), state_.roiHeight.load(), 3776};
    return 1;
}

int CSensorDevice::StopRoutine() {
    Send(0xBB, 0, 0);
    return 1;
}

int CSensorDevice::ModeSelectRoutine() {
    Send(0xB4, static_cast<WORD>(0xC0 + state_.modeIndex.load()), 0);
    SleepMs(500);
    return 1;
}

int CSensorDevice::AnalogGainRoutine() {
    Send(0xB7, AnalogGainCode(state_.analogGain.load()), 0x305E);
    SleepMs(10);
    return 1;
}

int CSensorDevice::ExposureRoutine() {
    Send(0xB7, static_cast<WORD>(state_.exposureRows.load()), 0x3012);
    SleepMs(10);
    return 1;
}

int CSensorDevice::FrameSpeedRoutine() {
    Send(0xB5, static_cast<WORD>(0xA0 + state_.frameSpeed.load()), 0);
    SleepMs(10);
    return 1;
}

int CSensorDevice::RoiRoutine() {
    Send(0xBD, state_.roiX.load(), state_.roiY.load());
    SleepMs(5);
    Send(0xBE, state_.roiWidth.load(), state_.roiHeight.load());
    SleepMs(200);
    Send(0xB3, 0, 0);
    return 1;
}

int CSensorDevice::NextFrameRoutine() {
    // The next-frame request after a read carries no output buffer.
    state_.transport->SendVendorRequest(0xB3, 0, 0, nullptr, 0);
    return 1;
}

bool CSensorDevice::Open(FrameCallback callback, FrameHook hook, void* hookContext, int mode) {
    callback_ = callback;
    hook_ = hook;
    hookContext_ = hookContext;
    state_.modeIndex.store(mode & 0xFF);
    if (!state_.transport->Open())
        return false;
    Run(OpNop);
    Run(OpFillModes);
    opened_ = true;
    return true;
}

void CSensorDevice::SetRoi(int x, int y, int width, int height) {
    x = std::max(x, 0) & ~3;
    y = std::max(y, 0) & ~3;
    x = std::min(x, kSensorWidth);
    y = std::min(y, kSensorHeight);
    width = std::min(kSensorWidth - x, std::max(width, 0) & ~3);
    height = std::min(kSensorHeight - y, std::max(height, 0) & ~3);
    state_.roiX.store(static_cast<WORD>(x));
    state_.roiY.store(static_cast<WORD>(y));
    state_.roiWidth.store(static_cast<WORD>(width));
    state_.roiHeight.store(static_cast<WORD>(height));
}

void CSensorDevice::ModeSetup() {
    const int mode = state_.modeIndex.load();
    if (mode == kModeRoi)
        state_.modes[kModeRoi] = {state_.roiWidth.load(), state_.roiHeight.load(), 3776};
    const SensorMode& m = state_.modes[mode];
    state_.width.store(m.width);
    state_.height.store(m.height);
    state_.framePixels.store(static_cast<uint64_t>(m.width) * static_cast<uint64_t>(m.height));
    cp_.SetPattern(6);
    cp_.SetSize(m.width, m.height);
}

void CSensorDevice::Start() {
    const uint64_t now = GetTickCountMs();
    state_.readStartTick.store(now);
    state_.settleUntilTick.store(now);
    SelectMode(state_.modeIndex.load());
    cp_.SetGains(state_.red.load(), state_.green.load(), state_.blue.load());
    cp_.SetGamma(state_.gamma.load());
    cp_.SetContrast(state_.contrast.load());
    cp_.SetSaturation(state_.saturation.load());
}

void CSensorDevice::SelectMode(int mode) {
    state_.busy.store(1);
    state_.modeIndex.store(std::clamp(mode, 0, kModeRoi));
    Run(state_.modeIndex.load() == kModeRoi ? OpRoi : OpModeSelect);
    ModeSetup();
    Run(OpFrameSpeed);
    Run(OpAnalogGain);
    Run(OpExposure);
    state_.busy.store(0);
}

void CSensorDevice::SetFrameSpeed(int speed) {
    state_.busy.store(1);
    state_.settleUntilTick.store(GetTickCountMs() + 200);
    state_.frameSpeed.store(std::min(speed & 0xFF, 4));
    Run(OpFrameSpeed);
    state_.busy.store(0);
}

void CSensorDevice::SetAnalogGain(int gain) {
    state_.busy.store(1);
    state_.analogGain.store(gain >= 320 ? 319 : gain <= 0 ? 1 : gain);
    Run(OpAnalogGain);
    state_.settleUntilTick.store(GetTickCountMs() + 200);
    state_.busy.store(0);
}

void CSensorDevice::SetExposureRows(int64_t rows) {
    state_.busy.store(1);
    // The register is 16 bits: the stored value is the one the sensor really uses.
    state_.exposureRows.store(static_cast<int>(std::clamp<int64_t>(rows, 1, 65535)));
    Run(OpExposure);
    state_.settleUntilTick.store(GetTickCountMs() + 200);
    state_.busy.store(0);
}

float CSensorDevice::GetRowTime() const {
    const int mode = state_.modeIndex.load();
    const int clocks = mode >= 0 && mode <= kModeRoi ? state_.modes[mode].lineClocks : 3776;
    return RowTimeFor(clocks, state_.frameSpeed.load());
}

uint64_t CSensorDevice::RawFrameBytes() const {
    const uint64_t samples = static_cast<uint64_t>(state_.bytesPerSample) * state_.framePixels.load();
    return ((samples >> 9) + 1) << 9;
}

int CSensorDevice::GrabFrame(RawBuffer& buffer) {
    if (state_.busy.load())
        return CAMERA_NOFRAME;
    buffer.bytesPerSample = state_.bytesPerSample;
    const uint64_t readStart = GetTickCountMs();
    state_.readStartTick.store(readStart);
    uint64_t n = RawFrameBytes();
    if (buffer.capacity && buffer.capacity < n)
        n = buffer.capacity & ~static_cast<uint64_t>(511);
    const double frameUs = std::max(state_.exposureRows.load(), state_.height.load()) * static_cast<double>(GetRowTime());
    const uint32_t timeoutMs = static_cast<uint32_t>(frameUs / 1000.0) + kReadMarginMs;
    const uint64_t got = state_.transport->Read(buffer.data, n, timeoutMs);
    Run(OpNextFrame);
    if (got == 0)
        return CAMERA_READFAIL;
    state_.readEndTick.store(GetTickCountMs());
    if (state_.settleUntilTick.load() >= readStart)
        return CAMERA_NOFRAME;
    // Two threads may grab at once (the engine's thread and a caller's, or a still): the
    // marker and the button's press and re-arm are one state, checked and changed together.
    std::lock_guard<std::mutex> check(frameCheckLock_);
    if (state_.frameSpeed.load() <= 2) {
        if (got < 10)
            return CAMERA_BADHEADER;
        if (TenBytesAre(buffer.data, 0x88)) {
            state_.marker = 0x88;
        } else if (TenBytesAre(buffer.data, 0x99)) {
            state_.marker = 0x99;
            state_.buttonPressed = 1;
        } else {
            return CAMERA_BADHEADER;
        }
    }
    if (got >= 1024) {
        const uint64_t blocks = got / 512 - 1;
        for (uint64_t b = 0; b < blocks; ++b)
            if (TenBytesAre(buffer.data + kRawHeaderBytes + b * 512, state_.marker))
                return CAMERA_TORNFRAME;
    }
    int result;
    if (state_.buttonArmed && state_.buttonPressed) {
        state_.buttonArmed = 0;
        state_.buttonPressed = 0;
        result = CAMERA_SNAPFRAME;
    } else {
        state_.buttonArmed = 1;
        result = CAMERA_OK;
    }
    if (state_.busy.load())
        return CAMERA_READFAIL;
    return result;
}

void CSensorDevice::ColorStep(const BYTE* raw, BYTE* rgb, bool runHook) {
    // Demosaic, hook, geometry, white balance, smoothing, lookup and the bottom-up flip.
    cp_.Process(raw, rgb, runHook ? hook_ : nullptr, hookContext_);
    if (callback_)
        callback_(rgb);
}

void CSensorDevice::Close() {
    if (opened_) {
        Run(OpStop);
        state_.transport->Close();
        opened_ = false;
    }
}

void CSensorDevice::ApplyMirror() {
    const int h = state_.horizontalMirror.load(), v = state_.verticalMirror.load();
    // A vertical flip is a rotation by 180 degrees followed by a left-right mirror.
    state_.rotation = v ? 1 : 0;
    state_.mirror = (h != v) ? 1 : 0;
    cp_.SetGeometry(state_.rotation != 0, state_.mirror != 0);
}

void CSensorDevice::SetMirror(int axis, int on) {
    if (axis == 0)
        state_.horizontalMirror.store(on ? 1 : 0);
    else if (axis == 1)
        state_.verticalMirror.store(on ? 1 : 0);
    else
        return;
    ApplyMirror();
}

int CSensorDevice::GetMirror(int axis) const {
    return axis == 0 ? state_.horizontalMirror.load() : axis == 1 ? state_.verticalMirror.load() : 0;
}

void CSensorDevice::SetGains(int red, int green, int blue) {
    state_.red.store(red & 0xFFFF);
    state_.green.store(green & 0xFFFF);
    state_.blue.store(blue & 0xFFFF);
    cp_.SetGains(red & 0xFFFF, green & 0xFFFF, blue & 0xFFFF);
}

void CSensorDevice::SetGamma(int gamma) {
    gamma = std::clamp(gamma, 20, 150);
    state_.gamma.store(gamma);
    cp_.SetGamma(gamma);
}

void CSensorDevice::SetContrast(int contrast) {
    state_.contrast.store(contrast & 0xFF);
    cp_.SetContrast(contrast & 0xFF);
}

void CSensorDevice::SetSaturation(int saturation) {
    state_.saturation.store(saturation & 0xFF);
    cp_.SetSaturation(saturation & 0xFF);
}
