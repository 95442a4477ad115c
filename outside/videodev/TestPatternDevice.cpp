// The test-pattern devices: synthetic video inputs with a known picture for tests.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "VideoDeviceList.h"

namespace videodev {

namespace {

struct PatternSettings {
    std::string name;
    int width;
    int height;
    bool busy;
};

std::mutex g_patternLock;
std::vector<PatternSettings> g_patterns;

class TestPatternDevice : public IVideoDevice {
public:
    explicit TestPatternDevice(PatternSettings settings) : settings_(std::move(settings)) {}
    ~TestPatternDevice() override { Close(); }

    bool Open() override { return !settings_.busy && settings_.width > 0 && settings_.height > 0; }
    int Width() const override { return settings_.width; }
    int Height() const override { return settings_.height; }

    bool Start(FrameSink sink) override {
        if (running_ || !Open())
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
        const size_t stride = DibStride(settings_.width);
        std::vector<uint8_t> frame(stride * static_cast<size_t>(settings_.height));
        for (uint64_t n = 0; !stop_; ++n) {
            for (int y = 0; y < settings_.height; ++y) {
                uint8_t* row = frame.data() + static_cast<size_t>(settings_.height - 1 - y) * stride;
                for (int x = 0; x < settings_.width; ++x)
                    TestPatternPixel(x, y, settings_.width, n, row + static_cast<size_t>(x) * 3u);
            }
            sink(VideoFrame{frame.data(), settings_.width, settings_.height, stride, frame.size()});
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
    }

    PatternSettings settings_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
};

}  // namespace

void AddTestPatternDevice(const std::string& friendlyName, int width, int height, bool busy) {
    std::lock_guard<std::mutex> guard(g_patternLock);
    g_patterns.push_back(PatternSettings{friendlyName, width, height, busy});
}

void RemoveTestPatternDevices() {
    std::lock_guard<std::mutex> guard(g_patternLock);
    g_patterns.clear();
}

std::vector<VideoDeviceInfo> ListTestPatternDevices() {
    std::lock_guard<std::mutex> guard(g_patternLock);
    std::vector<VideoDeviceInfo> list;
    for (size_t i = 0; i < g_patterns.size(); ++i)
        list.push_back(VideoDeviceInfo{g_patterns[i].name, kTestPatternPrefix + std::to_string(i)});
    return list;
}

std::unique_ptr<IVideoDevice> CreateTestPatternDevice(size_t index) {
    std::lock_guard<std::mutex> guard(g_patternLock);
    if (index >= g_patterns.size())
        return nullptr;
    return std::make_unique<TestPatternDevice>(g_patterns[index]);
}

}  // namespace videodev
