#include "vekcamera/UsbHostTree.h"

void UsbDeviceTree::AddHostController(const std::string& rootHubName) { controllers_.push_back(rootHubName); }

void UsbDeviceTree::AddHub(const std::string& name, int portCount) { hubs_[name].portCount = portCount; }

void UsbDeviceTree::ConnectDevice(const std::string& hub, int port, uint16_t vendorId, uint16_t productId) {
    Port& p = PortAt(hub, port);
    p.info.connectionStatus = 1;
    p.info.idVendor = vendorId;
    p.info.idProduct = productId;
    p.info.deviceIsHub = false;
}

void UsbDeviceTree::ConnectHub(const std::string& hub, int port, const std::string& childHub, int childPortCount,
                               uint32_t connectionStatus) {
    Port& p = PortAt(hub, port);
    p.info.connectionStatus = connectionStatus;
    p.info.deviceIsHub = true;
    p.info.idVendor = 0;
    p.info.idProduct = 0;
    p.childHub = childHub;
    hubs_[childHub].portCount = childPortCount;
}

UsbDeviceTree::Port& UsbDeviceTree::PortAt(const std::string& hub, int port) { return hubs_[hub].ports[port]; }

bool UsbDeviceTree::OpenHostController(int n, std::string* rootHubName) {
    if (n < 0 || n >= static_cast<int>(controllers_.size()) || controllers_[n].empty())
        return false;
    *rootHubName = controllers_[n];
    return true;
}

bool UsbDeviceTree::GetHubPortCount(const std::string& hub, int* portCount) {
    auto it = hubs_.find(hub);
    if (it == hubs_.end())
        return false;
    *portCount = it->second.portCount;
    return true;
}

bool UsbDeviceTree::GetConnectionInfo(const std::string& hub, int port, UsbConnectionInfo* info) {
    auto it = hubs_.find(hub);
    if (it == hubs_.end() || port < 1 || port > it->second.portCount)
        return false;
    auto p = it->second.ports.find(port);
    if (p == it->second.ports.end()) {
        *info = UsbConnectionInfo{};  // nothing connected
        return true;
    }
    if (p->second.requestFails)
        return false;
    *info = p->second.info;
    return true;
}

bool UsbDeviceTree::GetConnectionName(const std::string& hub, int port, std::string* name) {
    auto it = hubs_.find(hub);
    if (it == hubs_.end())
        return false;
    auto p = it->second.ports.find(port);
    if (p == it->second.ports.end() || p->second.childHub.empty())
        return false;
    *name = p->second.childHub;
    return true;
}
