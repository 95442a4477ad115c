// Generic video-input devices: V4L2 capture devices (/dev/video*, mmap streaming, YUYV or MJPEG)
// and test-pattern devices that tests add. Frames are handed out in the bottom-up 24-bit
// blue-green-red layout of a device-independent bitmap (rows padded to 4 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#define VIDEODEV_API __attribute__((visibility("default")))

namespace videodev {

struct VideoDeviceInfo {
    std::string friendlyName;  // empty for a device that has none
    std::string path;          // "/dev/videoN", or "testpattern:N"
};

struct VideoFrame {
    const uint8_t* data;  // bottom-up rows, blue-green-red
    int width;
    int height;
    size_t stride;  // bytes per row, a multiple of 4
    size_t bytes;   // stride × height
};

struct VideoSize {
    int width;
    int height;
    bool operator==(const VideoSize&) const = default;
};

enum class VideoControlType { Integer = 1, Boolean = 2, Menu = 3, Button = 4 };

struct VideoControl {
    uint32_t id;
    std::string name;
    VideoControlType type;
    int minimum;
    int maximum;
    int step;
    int defaultValue;
    int value;
    std::vector<std::pair<int, std::string>> menu;  // menu controls: (index, text)
};

// Called on the device's streaming thread for every frame; the data lives until it returns.
using FrameSink = std::function<void(const VideoFrame&)>;

class IVideoDevice {
public:
    virtual ~IVideoDevice() = default;
    // Negotiates a format and prepares streaming; false when the device cannot be used (busy,
    // gone, no supported format).
    virtual bool Open() = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Starts the streaming thread; false when streaming cannot start.
    virtual bool Start(FrameSink sink) = 0;
    // Stops and joins the streaming thread; no sink call happens after it returns.
    virtual void Stop() = 0;
    virtual bool IsRunning() const = 0;
    virtual void Close() = 0;
    // Frame sizes the device offers (after Open); empty when unknown.
    virtual std::vector<VideoSize> SupportedSizes() { return {}; }
    // Changes the frame size; only while not running. False leaves the previous size.
    virtual bool SetSize(int /*width*/, int /*height*/) { return false; }
    // The user controls with their current values (after Open).
    virtual std::vector<VideoControl> Controls() { return {}; }
    // Applies a control value at once; false when the device refuses it.
    virtual bool SetControl(uint32_t /*id*/, int /*value*/) { return false; }
};

// The V4L2 capture devices in /dev in name order, then the test-pattern devices.
VIDEODEV_API std::vector<VideoDeviceInfo> ListVideoDevices();
VIDEODEV_API std::unique_ptr<IVideoDevice> CreateVideoDevice(const VideoDeviceInfo& info);

// Test-pattern devices: a moving colour-bar picture of the given size at about 30 frames a
// second. A busy device fails to open, as a device another program holds would.
VIDEODEV_API void AddTestPatternDevice(const std::string& friendlyName, int width, int height, bool busy = false);
struct TestPatternOptions {
    std::string friendlyName;
    std::vector<VideoSize> sizes;  // the first is the initial size
    int frameIntervalMs = 33;
    bool busy = false;             // fails to open
    bool streams = true;           // false: opens, but streaming cannot start
};
// Test-pattern devices have a "Brightness" control (0..255, default 128) that is added to
// every byte of the pattern, clamped: 128 leaves the pattern as TestPatternPixel gives it.
VIDEODEV_API void AddTestPatternDevice(const TestPatternOptions& options);
VIDEODEV_API void RemoveTestPatternDevices();
// Hides the system's V4L2 devices from ListVideoDevices, so tests see only their own.
VIDEODEV_API void SetSystemDevicesHidden(bool hidden);

// Conversions into the bitmap layout (exposed for tests). YUYV uses integer BT.601
// coefficients; MJPEG decoding is bounded by the given length and fails on a size mismatch.
VIDEODEV_API size_t DibStride(int width);
VIDEODEV_API void ConvertYuyvToDib(const uint8_t* yuyv, size_t length, int width, int height, uint8_t* dib);
VIDEODEV_API bool DecodeMjpegToDib(const uint8_t* jpeg, size_t length, int width, int height, uint8_t* dib);
// The test pattern's pixel (blue, green, red) at column x, row y from the top, in frame n.
VIDEODEV_API void TestPatternPixel(int x, int y, int width, uint64_t n, uint8_t bgr[3]);

}  // namespace videodev
