// Finds the first known camera on the USB tree: host controllers in order, each root hub's
// ports in order, and the devices behind an external hub when its port is reached.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "vekcamera/UsbHostTree.h"

// One vendor:product pair the hub knows, and the camera id it stands for.
struct KnownUsbCamera {
    uint16_t vendorId;
    uint16_t productId;
    int cameraId;
};

class CUsbCameraScanner {
public:
    CUsbCameraScanner();  // scans the system's tree
    explicit CUsbCameraScanner(IUsbHostTree& tree);
    virtual ~CUsbCameraScanner();

    // The found camera id, or -1 when no known camera is plugged.
    int Scan();
    // Looks a VID:PID pair up; on a hit stores its camera id and returns 1, else returns 0.
    int ClassifyUsbDevice(uint16_t vendorId, uint16_t productId);
    // The hub's table of pairs, in lookup order (the camera access rules are made from it).
    static std::span<const KnownUsbCamera> KnownCameras();

    static constexpr int kHostControllers = 10;
    // A deeper chain of hubs than USB allows means a looping tree: stop there.
    static constexpr int kMaxHubDepth = 8;

private:
    void ScanHostControllers();
    void ScanHub(const std::string& name, int depth);
    void ScanHubPorts(const std::string& hub, int portCount, int depth);

    UsbDeviceTree ownTree_;
    IUsbHostTree& tree_;
    int found_ = 0;
    int cameraId_ = -1;
};
