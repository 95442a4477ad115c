// The USB host-controller and hub requests the camera scan makes, as an interface: the system's
// tree read through libudev (plus the simulated camera when asked for), or a tree a test builds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct UsbConnectionInfo {
    uint32_t connectionStatus = 0;  // 1: a device is connected
    uint16_t idVendor = 0;
    uint16_t idProduct = 0;
    bool deviceIsHub = false;
};

class IUsbHostTree {
public:
    virtual ~IUsbHostTree() = default;
    // Host controller n: false when it cannot be opened or has no root hub name.
    virtual bool OpenHostController(int n, std::string* rootHubName) = 0;
    // The hub's node information: false when the hub cannot be opened or the request fails.
    virtual bool GetHubPortCount(const std::string& hub, int* portCount) = 0;
    // Connection information of a port (from 1): false when the request fails.
    virtual bool GetConnectionInfo(const std::string& hub, int port, UsbConnectionInfo* info) = 0;
    // The name of the hub connected to a port: false when there is none.
    virtual bool GetConnectionName(const std::string& hub, int port, std::string* name) = 0;
};

// A tree held in memory: host controllers with their root hubs, hubs with their ports.
class UsbDeviceTree : public IUsbHostTree {
public:
    struct Port {
        UsbConnectionInfo info;
        std::string childHub;  // the name of the hub on this port, if it is one
        bool requestFails = false;
    };
    struct Hub {
        int portCount = 0;
        std::map<int, Port> ports;  // ports without an entry have nothing connected
    };

    // Controllers are numbered in the order they are added; an empty root hub name stands for
    // a controller that cannot be opened.
    void AddHostController(const std::string& rootHubName);
    void AddHub(const std::string& name, int portCount);
    void ConnectDevice(const std::string& hub, int port, uint16_t vendorId, uint16_t productId);
    // Connects a hub (created if needed) to a port of another.
    void ConnectHub(const std::string& hub, int port, const std::string& childHub, int childPortCount,
                    uint32_t connectionStatus = 1);
    Port& PortAt(const std::string& hub, int port);
    int HostControllerCount() const { return static_cast<int>(controllers_.size()); }

    bool OpenHostController(int n, std::string* rootHubName) override;
    bool GetHubPortCount(const std::string& hub, int* portCount) override;
    bool GetConnectionInfo(const std::string& hub, int port, UsbConnectionInfo* info) override;
    bool GetConnectionName(const std::string& hub, int port, std::string* name) override;

private:
    std::vector<std::string> controllers_;
    std::map<std::string, Hub> hubs_;
};

// One USB device as sysfs describes it.
struct UsbSysDevice {
    std::string sysname;  // "usb1" for a root hub, "1-2" for port 2 of it, "1-2.3" behind a hub
    int busnum = -1;
    std::string devpath;  // "0" for a root hub
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool isHub = false;
    int maxchild = 0;  // ports of a hub
};

// Root hubs become host controllers in bus order; every other device goes to its port.
UsbDeviceTree UsbTreeFromSysDevices(const std::vector<UsbSysDevice>& devices);

// The system's USB tree: every root hub as a host controller (by bus number), read through
// libudev. When the simulated camera is requested and plugged, it sits on port 1 of the root hub
// of an extra bus 0, numbered first, so that it is found even on a machine with many buses.
UsbDeviceTree SystemUsbTree();
