#include "VideoDeviceList.h"

#include <atomic>
#include <cstdlib>

namespace videodev {

namespace {
std::atomic<bool> g_systemHidden{false};
}

void SetSystemDevicesHidden(bool hidden) { g_systemHidden = hidden; }

std::vector<VideoDeviceInfo> ListVideoDevices() {
    std::vector<VideoDeviceInfo> list;
    if (!g_systemHidden)
        list = ListV4l2Devices();
    for (VideoDeviceInfo& info : ListTestPatternDevices())
        list.push_back(std::move(info));
    return list;
}

std::unique_ptr<IVideoDevice> CreateVideoDevice(const VideoDeviceInfo& info) {
    if (info.path.rfind(kTestPatternPrefix, 0) == 0) {
        char* end = nullptr;
        const unsigned long index = std::strtoul(info.path.c_str() + kTestPatternPrefix.size(), &end, 10);
        if (!end || *end != '\0')
            return nullptr;
        return CreateTestPatternDevice(index);
    }
    return CreateV4l2Device(info.path);
}

}  // namespace videodev
