// Internal: the two kinds of device behind ListVideoDevices and CreateVideoDevice.
#pragma once

#include "VideoDevice.h"

namespace videodev {

inline const std::string kTestPatternPrefix = "testpattern:";

std::vector<VideoDeviceInfo> ListV4l2Devices();
std::unique_ptr<IVideoDevice> CreateV4l2Device(const std::string& path);
std::vector<VideoDeviceInfo> ListTestPatternDevices();
std::unique_ptr<IVideoDevice> CreateTestPatternDevice(size_t index);

}  // namespace videodev
