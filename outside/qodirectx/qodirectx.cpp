// The webcam library over the generic video devices: one open device, its streaming thread
// keeping the newest frame, and the program's dialogs reached through the display's host.
#include "qodirectx.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VideoDevice.h"
#include "stillwriters.h"

namespace {

struct Camera {
    std::unique_ptr<videodev::IVideoDevice> device;
    IDSHost* host = nullptr;
    // Guarded by frameLock: the newest frame packed to width × 3 bytes a row.
    std::mutex frameLock;
    std::vector<BYTE> frame;
    int frameWidth = 0;
    int frameHeight = 0;
    uint64_t frameNumber = 0;
    uint64_t handedOut = 0;
    // The size the caller last read: no copy ever exceeds it.
    int reportedWidth = 0;
    int reportedHeight = 0;
    bool reported = false;
};

// Serialises the calls that open, close, start and stop against each other.
std::mutex g_callLock;
std::unique_ptr<Camera> g_camera;

bool StartStreaming(Camera& cam) {
    Camera* c = &cam;
    return cam.device->Start([c](const videodev::VideoFrame& f) {
        const size_t rowBytes = static_cast<size_t>(f.width) * 3u;
        {
            std::lock_guard<std::mutex> guard(c->frameLock);
            c->frame.resize(rowBytes * static_cast<size_t>(f.height));
            for (int y = 0; y < f.height; ++y)
                std::memcpy(c->frame.data() + rowBytes * static_cast<size_t>(y),
                            f.data + f.stride * static_cast<size_t>(y), rowBytes);
            c->frameWidth = f.width;
            c->frameHeight = f.height;
            ++c->frameNumber;
        }
        if (c->host)
            c->host->FrameArrived();
    });
}

class PropertyPages : public IDSPropertyPages {
public:
    explicit PropertyPages(videodev::IVideoDevice* device) : device_(device), controls_(device->Controls()) {}
    virtual ~PropertyPages() = default;

    int Count() override { return static_cast<int>(controls_.size()); }

    bool Get(int index, DSControlInfo* info) override {
        if (index < 0 || index >= Count() || !info)
            return false;
        const videodev::VideoControl& c = controls_[static_cast<size_t>(index)];
        *info = DSControlInfo{};
        info->id = c.id;
        std::snprintf(info->name, sizeof(info->name), "%s", c.name.c_str());
        info->type = static_cast<int>(c.type);
        info->minimum = c.minimum;
        info->maximum = c.maximum;
        info->step = c.step;
        info->defaultValue = c.defaultValue;
        info->value = c.value;
        return true;
    }

    bool MenuItem(int index, int item, char* text, int textSize) override {
        if (index < 0 || index >= Count() || !text || textSize <= 0)
            return false;
        for (const auto& [value, name] : controls_[static_cast<size_t>(index)].menu) {
            if (value == item) {
                std::snprintf(text, static_cast<size_t>(textSize), "%s", name.c_str());
                return true;
            }
        }
        return false;
    }

    bool Set(int index, int value) override {
        if (index < 0 || index >= Count())
            return false;
        videodev::VideoControl& c = controls_[static_cast<size_t>(index)];
        if (c.type != videodev::VideoControlType::Button && (value < c.minimum || value > c.maximum))
            return false;
        if (!device_->SetControl(c.id, value))
            return false;
        c.value = value;
        return true;
    }

private:
    videodev::IVideoDevice* device_;
    std::vector<videodev::VideoControl> controls_;
};

std::string DeviceLabel(const videodev::VideoDeviceInfo& info) {
    return info.friendlyName.empty() ? info.path : info.friendlyName;
}

}  // namespace

extern "C" {

int DSCameraRegisterpixel(HWND comboBox) {
    const std::vector<videodev::VideoDeviceInfo> devices = videodev::ListVideoDevices();
    if (auto* combo = reinterpret_cast<IDSComboBox*>(comboBox))
        for (const videodev::VideoDeviceInfo& d : devices)
            combo->AddString(DeviceLabel(d).c_str());
    return static_cast<int>(devices.size());
}

int DSCameraInit(BYTE device, HWND display) {
    std::lock_guard<std::mutex> guard(g_callLock);
    if (g_camera)
        return 0;
    const std::vector<videodev::VideoDeviceInfo> devices = videodev::ListVideoDevices();
    if (device >= devices.size())
        return 0;
    auto cam = std::make_unique<Camera>();
    cam->device = videodev::CreateVideoDevice(devices[device]);
    if (!cam->device || !cam->device->Open())
        return 0;
    cam->host = reinterpret_cast<IDSHost*>(display);
    g_camera = std::move(cam);
    return 1;
}

int DSCameraPlay() {
    std::lock_guard<std::mutex> guard(g_callLock);
    if (!g_camera)
        return 0;
    if (g_camera->device->IsRunning())
        return 1;
    return StartStreaming(*g_camera) ? 1 : 0;
}

int DSCameraGetImageSize(int* width, int* height) {
    std::lock_guard<std::mutex> guard(g_callLock);
    if (!g_camera || !width || !height)
        return 0;
    const int w = g_camera->device->Width(), h = g_camera->device->Height();
    if (w <= 0 || h <= 0)
        return 0;
    std::lock_guard<std::mutex> frameGuard(g_camera->frameLock);
    g_camera->reportedWidth = *width = w;
    g_camera->reportedHeight = *height = h;
    g_camera->reported = true;
    return 1;
}

int DSGrabFrame(BYTE* buffer) {
    std::lock_guard<std::mutex> guard(g_callLock);
    if (!g_camera || !buffer)
        return 0;
    Camera& cam = *g_camera;
    std::lock_guard<std::mutex> frameGuard(cam.frameLock);
    if (!cam.reported || cam.frameNumber == cam.handedOut || cam.frame.empty())
        return 0;
    // A frame of another size than the caller allocated for is not handed out: it would
    // overrun the buffer or leave it half-filled.
    if (cam.frameWidth != cam.reportedWidth || cam.frameHeight != cam.reportedHeight)
        return 0;
    std::memcpy(buffer, cam.frame.data(), cam.frame.size());
    cam.handedOut = cam.frameNumber;
    return 1;
}

int DSCameraImageSave(BYTE* rgb, int fileType, int width, int height, const char* path) {
    if (!rgb || !path || !*path || width <= 0 || height <= 0)
        return 0;
    switch (fileType) {
    case 1: return SaveJpegFile(path, rgb, width, height) == 1 ? 1 : 0;
    case 2: return WriteBmpFile(path, rgb, width, height) == 1 ? 1 : 0;
    case 4:
        return WriteRawFile(path, rgb, static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3u) == 1 ? 1 : 0;
    case 8: return SaveTiffFile(path, rgb, width, height) == 1 ? 1 : 0;
    default: return 0;
    }
}

int DSResolution() {
    Camera* asked;
    IDSHost* host;
    std::vector<DSFrameSize> offered;
    int current = -1;
    {
        std::lock_guard<std::mutex> guard(g_callLock);
        if (!g_camera || !g_camera->host)
            return 0;
        Camera& cam = *g_camera;
        for (const videodev::VideoSize& s : cam.device->SupportedSizes()) {
            if (s.width == cam.device->Width() && s.height == cam.device->Height())
                current = static_cast<int>(offered.size());
            offered.push_back(DSFrameSize{s.width, s.height});
        }
        asked = &cam;
        host = cam.host;
    }
    if (offered.empty())
        return 0;
    // The dialog runs without the call lock: the program's other calls (a close among them)
    // must not wait for the user.
    const int chosen = host->ChooseResolution(offered.data(), static_cast<int>(offered.size()), current);
    if (chosen < 0 || chosen >= static_cast<int>(offered.size()) || chosen == current)
        return 0;
    std::lock_guard<std::mutex> guard(g_callLock);
    // The device closed (or another opened) while the dialog was shown: nothing to apply.
    if (g_camera.get() != asked)
        return 0;
    Camera& cam = *g_camera;
    const bool wasRunning = cam.device->IsRunning();
    cam.device->Stop();
    const bool applied = cam.device->SetSize(offered[static_cast<size_t>(chosen)].width,
                                             offered[static_cast<size_t>(chosen)].height);
    {
        // The old size's frame is no frame for the new size.
        std::lock_guard<std::mutex> frameGuard(cam.frameLock);
        cam.frame.clear();
        cam.handedOut = cam.frameNumber;
    }
    if (wasRunning)
        StartStreaming(cam);
    return applied ? 1 : 0;
}

int DSProperty() {
    videodev::IVideoDevice* device;
    IDSHost* host;
    {
        std::lock_guard<std::mutex> guard(g_callLock);
        if (!g_camera || !g_camera->host)
            return 0;
        device = g_camera->device.get();
        host = g_camera->host;
    }
    // Shown without the call lock, so the grab thread keeps running under the dialog; the
    // device is only closed by the thread that shows it.
    PropertyPages pages(device);
    host->ShowProperties(&pages);
    return 1;
}

int DSCameraStop() {
    std::lock_guard<std::mutex> guard(g_callLock);
    if (!g_camera || !g_camera->device->IsRunning())
        return 0;
    g_camera->device->Stop();
    return 1;
}

void DSCameraUnInit() {
    std::unique_ptr<Camera> cam;
    {
        std::lock_guard<std::mutex> guard(g_callLock);
        cam = std::move(g_camera);
    }
    if (cam)
        cam->device->Close();
}
}
