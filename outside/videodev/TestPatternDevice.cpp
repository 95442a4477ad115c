// The test-pattern devices: synthetic video inputs with a known picture for tests.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "FramePacer.h"
#include "VideoDeviceList.h"

namespace videodev {

namespace {

using PatternSettings = TestPatternOptions;

constexpr uint32_t kBrightnessId = 0x00980900;  // the V4L2 brightness control id

std::mutex g_patternLock;
std::vector<PatternSettings> g_patterns;

class TestPatternDevice : public IVideoDevice {
public:
    explicit TestPatternDevice(PatternSettings settings) : settings_(std::move(settings)) {
        if (!settings_.sizes.empty()) {
            width_ = settings_.sizes.front().width;
            height_ = settings_.sizes.front().height;
        }
    }
    ~TestPatternDevice() override { Close(); }

    bool Open() override { return !settings_.busy && width_ > 0 && height_ > 0; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }

    std::vector<VideoSize> SupportedSizes() override { return settings_.sizes; }

    bool SetSize(int width, int height) override {
        if (running_)
            return false;
        for (const VideoSize& s : settings_.sizes) {
            if (s.width == width && s.height == height && width > 0 && height > 0) {
                width_ = width;
                height_ = height;
                return true;
            }
        }
        return false;
    }

    std::vector<VideoControl> Controls() override {
        return {VideoControl{kBrightnessId, "Brightness", VideoControlType::Integer, 0, 255, 1, 128, brightness_, {}}};
    }

    bool SetControl(uint32_t id, int value) override {
        if (id != kBrightnessId || value < 0 || value > 255)
            return false;
        brightness_ = value;
        return true;
    }

    bool Start(FrameSink sink) override {
        if (running_ || !Open() || !settings_.streams)
            return false;
        stop_ = false;
        running_ = true;
        thread_ = std::thread([this, sink = std::move(sink)] { Run(sink); });
        return true;
    }

    void Stop() override {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        running_ = false;
    }

    bool IsRunning() const override { return running_; }
    void Close() override { Stop(); }

private:
    void Run(const FrameSink& sink) {
        const int width = width_, height = height_;
        const size_t stride = DibStride(width);
        std::vector<uint8_t> frame(stride * static_cast<size_t>(height));
        FramePacer pacer(std::chrono::milliseconds(std::max(1, settings_.frameIntervalMs)), FramePacer::Clock::now());
        for (uint64_t n = 0; !stop_; ++n) {
            const int offset = brightness_ - 128;
            for (int y = 0; y < height; ++y) {
                uint8_t* row = frame.data() + static_cast<size_t>(height - 1 - y) * stride;
                for (int x = 0; x < width; ++x) {
                    uint8_t* px = row + static_cast<size_t>(x) * 3u;
                    TestPatternPixel(x, y, width, n, px);
                    if (offset != 0)
                        for (int c = 0; c < 3; ++c)
                            px[c] = static_cast<uint8_t>(std::clamp(px[c] + offset, 0, 255));
                }
            }
            sink(VideoFrame{frame.data(), width, height, stride, frame.size()});
            std::this_thread::sleep_until(pacer.Next(FramePacer::Clock::now()));
        }
    }

    PatternSettings settings_;
    int width_ = 0;
    int height_ = 0;
    std::atomic<int> brightness_{128};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
};

}  // namespace

void AddTestPatternDevice(const std::string& friendlyName, int width, int height, bool busy) {
    TestPatternOptions options;
    options.friendlyName = friendlyName;
    options.sizes = {VideoSize{width, height}};
    options.busy = busy;
    AddTestPatternDevice(options);
}

void AddTestPatternDevice(const TestPatternOptions& options) {
    std::lock_guard<std::mutex> guard(g_patternLock);
    g_patterns.push_back(options);
}

void RemoveTestPatternDevices() {
    std::lock_guard<std::mutex> guard(g_patternLock);
    g_patterns.clear();
}

std::vector<VideoDeviceInfo> ListTestPatternDevices() {
    std::lock_guard<std::mutex> guard(g_patternLock);
    std::vector<VideoDeviceInfo> list;
    for (size_t i = 0; i < g_patterns.size(); ++i)
        list.push_back(VideoDeviceInfo{g_patterns[i].friendlyName, kTestPatternPrefix + std::to_string(i)});
    return list;
}

std::unique_ptr<IVideoDevice> CreateTestPatternDevice(size_t index) {
    std::lock_guard<std::mutex> guard(g_patternLock);
    if (index >= g_patterns.size())
        return nullptr;
    return std::make_unique<TestPatternDevice>(g_patterns[index]);
}

}  // namespace videodev
