#include "simcam.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <tuple>

namespace {

constexpr int kSensorWidth = 3664;
constexpr int kSensorHeight = 2748;

struct ModeSize {
    int width, height, lineClocks;
};
constexpr ModeSize kModes[5] = {{3664, 2740, 3776}, {1600, 1200, 1711}, {1280, 960, 1391}, {800, 600, 911},
                                {640, 480, 751}};
constexpr double kPixelClockMHz[5] = {36, 30, 24, 18, 12};
constexpr uint16_t kGainBases[5] = {0x1040, 0x1840, 0x1C40, 0x1CC0, 0x1DC0};
constexpr double kFullScaleExposureUs = 400.0 * 751.0 / 24.0;

bool EnvPlugged() {
    const char* v = std::getenv("QUILLORY_SIMULATED_CAMERA");
    return v && v[0] && std::strcmp(v, "0") != 0;
}

using Clock = std::chrono::steady_clock;

// The frame a handle is waiting for: when it is ready, and whether a read has begun it.
struct PendingFrame {
    bool waiting = false;
    Clock::time_point readyAt{};
};

struct Camera {
    std::mutex lock;
    // Wakes waiting reads when their frame may have come nearer (exposure cut) or gone (unplug).
    std::condition_variable changed;
    std::vector<PendingFrame*> pending;
    bool plugged = EnvPlugged();
    uint64_t plugGeneration = 1;
    bool realTime = true;
    bool buttonHeld = false;
    bool openRefused = false;
    std::deque<SimCamFault> faults;
    std::vector<SimCamRequest> log;

    int mode = 0, speed = 2, gain = 20, rows = 100;
    int roiX = 360, roiY = 272, roiW = 640, roiH = 480;
    uint64_t framesRead = 0;
    int readsWaiting = 0;

    // The scene's reflectance for the current geometry (12-bit, one value per mosaic site),
    // and the last rendered frame with the exposure and gain it was rendered at.
    std::vector<uint16_t> base;
    int baseWidth = 0, baseHeight = 0, baseMode = -1, baseRoiX = -1, baseRoiY = -1;
    std::vector<uint8_t> frame;
    double frameExposureUs = -1;
    int frameGain = -1;

    void Reset() {
        faults.clear();
        log.clear();
        buttonHeld = false;
        openRefused = false;
        mode = 0;
        speed = 2;
        gain = 20;
        rows = 100;
        roiX = 360;
        roiY = 272;
        roiW = 640;
        roiH = 480;
        framesRead = 0;
        frameExposureUs = -1;
        frameGain = -1;
    }
    int Width() const { return mode == 5 ? roiW : kModes[mode].width; }
    int Height() const { return mode == 5 ? roiH : kModes[mode].height; }
    uint64_t FrameBytes() const {
        return ((static_cast<uint64_t>(Width()) * static_cast<uint64_t>(Height()) >> 9) + 1) << 9;
    }
    double RowTimeUs() const {
        int clocks = mode == 5 ? 3776 : kModes[mode].lineClocks;
        return clocks / kPixelClockMHz[std::clamp(speed, 0, 4)];
    }
    Clock::duration FrameTime() const {
        const double us = std::max(Height(), rows) * RowTimeUs();
        return std::chrono::microseconds(static_cast<int64_t>(us));
    }
    // A frame being integrated when the exposure is cut ends one (shorter) frame time after
    // the cut; a longer exposure applies from the next frame on.
    void ExposureChanged() {
        const Clock::time_point cut = Clock::now() + FrameTime();
        for (PendingFrame* p : pending)
            if (p->waiting && cut < p->readyAt)
                p->readyAt = cut;
        changed.notify_all();
    }

    void BuildScene();
    void Render();
};

Camera& Cam() {
    static Camera camera;
    return camera;
}

// Taken before the camera's lock, never while holding it; recursive so a callback may plug,
// unplug or remove itself.
struct PlugHooks {
    std::recursive_mutex lock;
    std::vector<std::tuple<int, SimCamPlugCallback, void*>> callbacks;
    int next = 1;
};

PlugHooks& Hooks() {
    static PlugHooks hooks;
    return hooks;
}

// Called with the hooks' lock held, so notifications keep the order of the changes.
void NotifyPlug(bool plugged) {
    PlugHooks& h = Hooks();
    const auto callbacks = h.callbacks;
    for (const auto& [token, callback, context] : callbacks) {
        const bool stillAdded = std::any_of(h.callbacks.begin(), h.callbacks.end(),
                                            [t = token](const auto& c) { return std::get<0>(c) == t; });
        if (stillAdded)
            callback(plugged, context);
    }
}

// Cells of the specimen in sensor-relative coordinates: centre x, centre y, radius (of height).
struct Cell {
    double x, y, r;
};
std::vector<Cell> MakeCells() {
    std::vector<Cell> cells;
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 8) & 0xFFFF) / 65535.0;
    };
    for (int i = 0; i < 28; ++i)
        cells.push_back({0.15 + 0.7 * next(), 0.15 + 0.7 * next(), 0.02 + 0.05 * next()});
    return cells;
}

void Camera::BuildScene() {
    const int w = Width(), h = Height();
    if (baseMode == mode && baseWidth == w && baseHeight == h && (mode != 5 || (baseRoiX == roiX && baseRoiY == roiY)))
        return;
    static const std::vector<Cell> cells = MakeCells();
    base.assign(static_cast<size_t>(w) * h, 0);
    const double aspect = static_cast<double>(kSensorWidth) / kSensorHeight;
    std::vector<const Cell*> rowCells;
    for (int y = 0; y < h; ++y) {
        double v = mode == 5 ? (roiY + y + 0.5) / kSensorHeight : (y + 0.5) / h;
        rowCells.clear();
        for (const Cell& c : cells)
            if (std::fabs(v - c.y) < c.r)
                rowCells.push_back(&c);
        for (int x = 0; x < w; ++x) {
            double u = mode == 5 ? (roiX + x + 0.5) / kSensorWidth : (x + 0.5) / w;
            double dx = (u - 0.5) * aspect, dy = v - 0.5;
            double r2 = dx * dx + dy * dy;
            // Bright circular field of view with a soft fall-off, dark outside.
            double light = r2 < 0.36 ? 1.0 - 0.9 * r2 : 0.08;
            // A warm lamp: the unstained background is yellowish, as under a halogen bulb.
            double red = 0.95, green = 0.85, blue = 0.60;
            for (const Cell* cp : rowCells) {
                const Cell& c = *cp;
                double cx = (u - c.x) * aspect, cy = v - c.y;
                double d2 = (cx * cx + cy * cy) / (c.r * c.r);
                if (d2 < 1.0) {
                    bool nucleus = d2 < 0.16;
                    red = nucleus ? 0.45 : 0.75;
                    green = nucleus ? 0.20 : 0.38;
                    blue = nucleus ? 0.40 : 0.55;
                    break;
                }
            }
            // Mosaic: even rows G R G R, odd rows B G B G.
            double refl = (y & 1) == 0 ? ((x & 1) == 0 ? green : red) : ((x & 1) == 0 ? blue : green);
            // A fixed fine texture, so flat areas are not perfectly flat.
            uint32_t hsh = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
            double texture = 1.0 + (static_cast<int>(hsh % 7) - 3) * 0.006;
            base[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(std::lround(std::clamp(refl * light * texture, 0.0, 1.0) * 4095.0));
        }
    }
    baseMode = mode;
    baseWidth = w;
    baseHeight = h;
    baseRoiX = roiX;
    baseRoiY = roiY;
    frameExposureUs = -1;
    frameGain = -1;
}

void Camera::Render() {
    BuildScene();
    // The sensor integrates light over time: the same exposure gives the same picture in every
    // mode and at every speed, however many rows it takes there.
    const double exposureUs = rows * RowTimeUs();
    if (frameExposureUs == exposureUs && frameGain == gain && frame.size() == base.size())
        return;
    // Linear in exposure time and gain: 400 rows of the 640 x 480 mode at speed 2 (12.5 ms)
    // at gain 20 put a white field at full scale.
    const double scale = 255.0 * exposureUs / kFullScaleExposureUs * gain / 20.0;
    const uint64_t scaleQ = static_cast<uint64_t>(scale * 65536.0);
    frame.resize(base.size());
    for (size_t i = 0; i < base.size(); ++i) {
        uint64_t v = (static_cast<uint64_t>(base[i]) * scaleQ) / (4095ull << 16);
        frame[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
    frameExposureUs = exposureUs;
    frameGain = gain;
}

bool RunOfTen(const uint8_t* p, uint8_t value) {
    for (int i = 0; i < 10; ++i)
        if (p[i] != value)
            return false;
    return true;
}

class SimTransport : public UsbTransport {
public:
    SimTransport() {
        Camera& c = Cam();
        std::lock_guard<std::mutex> g(c.lock);
        c.pending.push_back(&frame_);
    }
    ~SimTransport() override {
        SimTransport::Close();
        Camera& c = Cam();
        std::lock_guard<std::mutex> g(c.lock);
        std::erase(c.pending, &frame_);
    }

    bool Open(uint16_t vendorId, uint16_t productId) override {
        Camera& c = Cam();
        std::lock_guard<std::mutex> g(c.lock);
        refused_ = false;
        if (!c.plugged || vendorId != kSimCamVendorId || productId != kSimCamProductId)
            return false;
        if (c.openRefused) {
            refused_ = true;
            return false;
        }
        generation_ = c.plugGeneration;
        return true;
    }

    bool OpenRefused() const override { return refused_; }

    bool IsOpen() const override {
        Camera& c = Cam();
        std::lock_guard<std::mutex> g(c.lock);
        return Reachable(c);
    }

    bool VendorRequest(uint8_t request, uint16_t value, uint16_t index, const uint8_t*, uint16_t,
                       uint32_t) override {
        Camera& c = Cam();
        std::lock_guard<std::mutex> g(c.lock);
        if (!Reachable(c))
            return false;
        c.log.push_back({request, value, index});
        switch (request) {
        case 0xB4:
            if (value >= 0xC0 && value <= 0xC4)
                c.mode = value - 0xC0;
            break;
        case 0xB5:
            if (value >= 0xA0 && value <= 0xA4)
                c.speed = value - 0xA0;
            break;
        case 0xB7:
            if (index == 0x305E) {
                for (int i = 4; i >= 0; --i)
                    if (value >= kGainBases[i] && value - kGainBases[i] < 64) {
                        c.gain = i * 64 + (value - kGainBases[i]);
                        break;
                    }
            } else if (index == 0x3012) {
                c.rows = value;
                c.ExposureChanged();
            }
            break;
        case 0xBD:
            c.roiX = value;
            c.roiY = index;
            break;
        case 0xBE:
            if (value > 0 && index > 0 && value <= kSensorWidth && index <= kSensorHeight) {
                c.roiW = value;
                c.roiH = index;
                c.mode = 5;
            }
            break;
        default:
            break;
        }
        return true;
    }

    int64_t BulkRead(uint8_t* buffer, size_t length, uint32_t timeoutMs) override {
        Camera& c = Cam();
        std::unique_lock<std::mutex> g(c.lock);
        if (!Reachable(c))
            return kUsbGone;
        if (c.realTime) {
            // The sensor delivers a frame one frame time after the read began; a read that
            // gives up earlier times out and the next read goes on waiting for that frame.
            const Clock::time_point now = Clock::now();
            if (!frame_.waiting) {
                frame_.readyAt = now + c.FrameTime();
                frame_.waiting = true;
            }
            const Clock::time_point limit = now + std::chrono::milliseconds(timeoutMs);
            // The ready time may move nearer while we wait.
            ++c.readsWaiting;
            while (Reachable(c) && Clock::now() < std::min(frame_.readyAt, limit))
                c.changed.wait_until(g, std::min(frame_.readyAt, limit));
            --c.readsWaiting;
            if (!Reachable(c))
                return kUsbGone;
            if (Clock::now() < frame_.readyAt)
                return kUsbTimedOut;
            frame_.waiting = false;
        }
        SimCamFault fault = SimCamFault::None;
        if (!c.faults.empty()) {
            fault = c.faults.front();
            c.faults.pop_front();
        }
        switch (fault) {
        case SimCamFault::EmptyRead:
            return 0;
        case SimCamFault::UnplugDuringRead: {
            c.plugged = false;
            ++c.plugGeneration;
            c.changed.notify_all();
            c.lock.unlock();
            {
                std::lock_guard<std::recursive_mutex> hooks(Hooks().lock);
                NotifyPlug(false);
            }
            c.lock.lock();
            return kUsbGone;
        }
        case SimCamFault::Stall:
            // Nothing arrives: the whole time-out passes.
            c.lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            c.lock.lock();
            return kUsbTimedOut;
        default:
            return Fill(c, buffer, length, fault);
        }
    }

    void Close() override {
        std::lock_guard<std::mutex> g(Cam().lock);
        generation_ = 0;
    }

private:
    bool Reachable(const Camera& c) const { return generation_ != 0 && c.plugged && generation_ == c.plugGeneration; }

    static int64_t Fill(Camera& c, uint8_t* buffer, size_t length, SimCamFault fault) {
        c.Render();
        const uint64_t n = std::min<uint64_t>(length, c.FrameBytes());
        const uint8_t marker = c.buttonHeld ? 0x99 : 0x88;
        std::memset(buffer, 0, std::min<uint64_t>(n, 512));
        std::memset(buffer, fault == SimCamFault::BadHeader ? 0x12 : marker, std::min<uint64_t>(n, 10));
        if (n > 512) {
            const uint64_t pixels = std::min<uint64_t>(n - 512, c.frame.size());
            std::memcpy(buffer + 512, c.frame.data(), pixels);
            if (n > 512 + pixels)
                std::memset(buffer + 512 + pixels, 0, n - 512 - pixels);
            // A real scene seldom starts a block with ten marker bytes; the simulation never does,
            // so only an injected fault reads as a torn frame.
            for (uint64_t b = 512; b + 10 <= n; b += 512)
                if (RunOfTen(buffer + b, 0x88) || RunOfTen(buffer + b, 0x99))
                    buffer[b + 9] ^= 1;
            if (fault == SimCamFault::TornFrame && n >= 2048) {
                uint64_t b = (n / 512 / 2) * 512;
                std::memset(buffer + b, marker, 10);
            }
        }
        ++c.framesRead;
        return static_cast<int64_t>(n);
    }

    uint64_t generation_ = 0;
    bool refused_ = false;
    PendingFrame frame_;
};

}  // namespace

void SimCamPlug() {
    std::lock_guard<std::recursive_mutex> hooks(Hooks().lock);
    Camera& c = Cam();
    {
        std::lock_guard<std::mutex> g(c.lock);
        if (c.plugged)
            return;
        c.plugged = true;
        ++c.plugGeneration;
    }
    NotifyPlug(true);
}

void SimCamUnplug() {
    std::lock_guard<std::recursive_mutex> hooks(Hooks().lock);
    Camera& c = Cam();
    {
        std::lock_guard<std::mutex> g(c.lock);
        if (!c.plugged)
            return;
        c.plugged = false;
        ++c.plugGeneration;
        c.changed.notify_all();
    }
    NotifyPlug(false);
}

int SimCamAddPlugCallback(SimCamPlugCallback callback, void* context) {
    if (!callback)
        return 0;
    PlugHooks& h = Hooks();
    std::lock_guard<std::recursive_mutex> g(h.lock);
    const int token = h.next++;
    h.callbacks.emplace_back(token, callback, context);
    return token;
}

void SimCamRemovePlugCallback(int token) {
    PlugHooks& h = Hooks();
    std::lock_guard<std::recursive_mutex> g(h.lock);
    std::erase_if(h.callbacks, [token](const auto& c) { return std::get<0>(c) == token; });
}

bool SimCamIsPlugged() {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    return c.plugged;
}

std::unique_ptr<UsbTransport> SimCamCreateTransport() { return std::make_unique<SimTransport>(); }

void SimCamInjectFault(SimCamFault fault, int count) {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    for (int i = 0; i < count; ++i)
        c.faults.push_back(fault);
}

void SimCamSetButtonHeld(bool held) {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    c.buttonHeld = held;
}

void SimCamSetOpenRefused(bool refused) {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    c.openRefused = refused;
}

void SimCamSetRealTime(bool on) {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    c.realTime = on;
}

std::vector<SimCamRequest> SimCamRequestLog() {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    return c.log;
}

void SimCamClearRequestLog() {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    c.log.clear();
}

SimCamState SimCamGetState() {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    return {c.mode, c.speed, c.gain, c.rows, c.roiX, c.roiY, c.roiW, c.roiH, c.Width(), c.Height(), c.framesRead};
}

bool SimCamWaitForWaitingRead(int timeoutMs) {
    Camera& c = Cam();
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
        std::lock_guard<std::mutex> g(c.lock);
        if (c.readsWaiting > 0)
            return true;
        if (Clock::now() >= until)
            return false;
    }
}

void SimCamReset() {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    c.Reset();
}

uint64_t SimCamFrameBytes() {
    Camera& c = Cam();
    std::lock_guard<std::mutex> g(c.lock);
    return c.FrameBytes();
}
