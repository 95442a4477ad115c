#include "vekcamera/UsbCameraScanner.h"

namespace {

constexpr KnownUsbCamera kKnownCameras[] = {
    {0x093A, 0x2468, 0}, {0x0AC8, 0x3420, 0}, {0x1578, 0x800C, 0}, {0x17EF, 0x4811, 0},
    {0xEB1A, 0x2571, 0}, {0xEB1A, 0x2761, 0}, {0x0547, 0x5911, 1}, {0x0547, 0x4D88, 2},
    {0x0547, 0x4D35, 3}, {0x0546, 0x4D33, 4}, {0x0547, 0x4D33, 4}, {0x0547, 0xE013, 5},
    {0x0547, 0xE014, 6}, {0xEB1A, 0x2750, 7}, {0x0547, 0x6131, 8}, {0x0547, 0x4454, 9},
    {0x04B4, 0x3001, 10}, {0x04B4, 0x3002, 11}, {0x0547, 0x5943, 12}, {0x0547, 0x9310, 14},
    {0x0547, 0x7413, 15}, {0x0547, 0x30A3, 16}, {0x0547, 0x45B1, 17}, {0x0547, 0xD610, 21},
    {0x0547, 0xB210, 24}, {0x0547, 0xA801, 25}, {0x04B4, 0x2121, 26}, {0x0547, 0x92A0, 27},
    {0x0547, 0xC003, 28}, {0x0547, 0xD001, 29}, {0x0547, 0xC004, 30}, {0x0547, 0xC005, 31},
    {0x0547, 0xC009, 32}, {0x0547, 0xC007, 35}, {0x0547, 0xC008, 36}, {0x0547, 0xD006, 37},
    {0x0547, 0xD004, 38},
};

}  // namespace

std::span<const KnownUsbCamera> CUsbCameraScanner::KnownCameras() { return kKnownCameras; }

CUsbCameraScanner::CUsbCameraScanner() : ownTree_(SystemUsbTree()), tree_(ownTree_) {}

CUsbCameraScanner::CUsbCameraScanner(IUsbHostTree& tree) : tree_(tree) {}

CUsbCameraScanner::~CUsbCameraScanner() = default;

int CUsbCameraScanner::Scan() {
    ScanHostControllers();
    return found_ ? cameraId_ : -1;
}

int CUsbCameraScanner::ClassifyUsbDevice(uint16_t vendorId, uint16_t productId) {
    for (const KnownUsbCamera& c : kKnownCameras) {
        if (c.vendorId == vendorId && c.productId == productId) {
            cameraId_ = c.cameraId;
            return 1;
        }
    }
    return 0;
}

void CUsbCameraScanner::ScanHostControllers() {
    for (int n = 0; n < kHostControllers && !found_; ++n) {
        std::string rootHub;
        if (tree_.OpenHostController(n, &rootHub))
            ScanHub(rootHub, 0);
    }
}

void CUsbCameraScanner::ScanHub(const std::string& name, int depth) {
    if (depth > kMaxHubDepth)
        return;
    int portCount = 0;
    if (tree_.GetHubPortCount(name, &portCount))
        ScanHubPorts(name, portCount, depth);
}

void CUsbCameraScanner::ScanHubPorts(const std::string& hub, int portCount, int depth) {
    for (int port = 1; port <= portCount && !found_; ++port) {
        UsbConnectionInfo info;
        if (!tree_.GetConnectionInfo(hub, port, &info))
            continue;
        if (info.connectionStatus == 1 && !found_)
            found_ = ClassifyUsbDevice(info.idVendor, info.idProduct);
        // A hub is descended into whatever its connection status says.
        if (info.deviceIsHub) {
            std::string child;
            if (tree_.GetConnectionName(hub, port, &child))
                ScanHub(child, depth + 1);
        }
    }
}
