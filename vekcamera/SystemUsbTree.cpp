#include <libudev.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usbtransport.h"
#include "VideoDevice.h"
#include "simcam.h"
#include "vekcamera/UsbHostTree.h"

namespace {

std::string Attr(udev_device* dev, const char* name) {
    const char* v = udev_device_get_sysattr_value(dev, name);
    return v ? std::string(v) : std::string();
}

// Numbers in sysfs are short; anything that does not parse becomes the fallback.
long ParseNumber(const std::string& text, int base, long fallback) {
    if (text.empty() || text.size() > 16)
        return fallback;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    return end && (*end == '\0' || *end == '\n') ? v : fallback;
}

std::vector<UsbSysDevice> ReadUsbDevices() {
    std::vector<UsbSysDevice> devices;
    udev* u = udev_new();
    if (!u)
        return devices;
    udev_enumerate* e = udev_enumerate_new(u);
    if (e) {
        udev_enumerate_add_match_subsystem(e, "usb");
        udev_enumerate_add_match_property(e, "DEVTYPE", "usb_device");
        udev_enumerate_scan_devices(e);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
            udev_device* dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
            if (!dev)
                continue;
            UsbSysDevice d;
            const char* sysname = udev_device_get_sysname(dev);
            d.sysname = sysname ? sysname : "";
            d.busnum = static_cast<int>(ParseNumber(Attr(dev, "busnum"), 10, -1));
            d.devpath = Attr(dev, "devpath");
            while (!d.devpath.empty() && d.devpath.back() == '\n')
                d.devpath.pop_back();
            d.vendorId = static_cast<uint16_t>(ParseNumber(Attr(dev, "idVendor"), 16, 0) & 0xFFFF);
            d.productId = static_cast<uint16_t>(ParseNumber(Attr(dev, "idProduct"), 16, 0) & 0xFFFF);
            d.isHub = ParseNumber(Attr(dev, "bDeviceClass"), 16, 0) == 9;
            d.maxchild = static_cast<int>(std::clamp(ParseNumber(Attr(dev, "maxchild"), 10, 0), 0L, 255L));
            if (!d.sysname.empty() && d.busnum >= 0)
                devices.push_back(std::move(d));
            udev_device_unref(dev);
        }
        udev_enumerate_unref(e);
    }
    udev_unref(u);
    return devices;
}

// "1-2.3" is port 3 of the hub "1-2"; "1-2" is port 2 of the root hub "usb1".
bool ParentAndPort(const UsbSysDevice& d, std::string* parent, int* port) {
    const size_t sep = d.sysname.find_last_of("-.");
    if (sep == std::string::npos || sep + 1 >= d.sysname.size())
        return false;
    const long p = ParseNumber(d.sysname.substr(sep + 1), 10, -1);
    if (p < 1 || p > 255)
        return false;
    *port = static_cast<int>(p);
    *parent = d.sysname[sep] == '-' ? "usb" + std::to_string(d.busnum) : d.sysname.substr(0, sep);
    return true;
}

}  // namespace

UsbDeviceTree UsbTreeFromSysDevices(const std::vector<UsbSysDevice>& devices) {
    UsbDeviceTree tree;
    std::vector<const UsbSysDevice*> roots;
    for (const UsbSysDevice& d : devices) {
        if (d.devpath == "0")
            roots.push_back(&d);
    }
    std::sort(roots.begin(), roots.end(),
              [](const UsbSysDevice* a, const UsbSysDevice* b) { return a->busnum < b->busnum; });
    for (const UsbSysDevice* r : roots) {
        tree.AddHub(r->sysname, r->maxchild);
        tree.AddHostController(r->sysname);
    }
    for (const UsbSysDevice& d : devices) {
        if (d.devpath == "0")
            continue;
        std::string parent;
        int port = 0;
        if (!ParentAndPort(d, &parent, &port))
            continue;
        if (d.isHub) {
            tree.ConnectHub(parent, port, d.sysname, d.maxchild);
            // Its port reports its own ids too, and the scan classifies every connected device.
            UsbConnectionInfo& info = tree.PortAt(parent, port).info;
            info.idVendor = d.vendorId;
            info.idProduct = d.productId;
        } else
            tree.ConnectDevice(parent, port, d.vendorId, d.productId);
    }
    return tree;
}

UsbDeviceTree SystemUsbTree() {
    std::vector<UsbSysDevice> devices;
    const char* simulated = std::getenv("QUILLORY_SIMULATED_CAMERA");
    if (simulated && std::strcmp(simulated, "webcam") == 0) {
        // An ordinary video device: its ids on the tree and a test-pattern device behind them.
        static std::once_flag added;
        std::call_once(added, [] {
            videodev::TestPatternOptions options;
            options.friendlyName = "Simulated Webcam";
            options.sizes = {videodev::VideoSize{640, 480}, videodev::VideoSize{320, 240}};
            videodev::AddTestPatternDevice(options);
        });
        devices.push_back(UsbSysDevice{"usb0", 0, "0", 0, 0, true, 1});
        devices.push_back(UsbSysDevice{"0-1", 0, "1", 0x093A, 0x2468, false, 0});
    } else if (SimulatedCameraRequested() && SimCamIsPlugged()) {
        // On bus 0, which Linux never numbers, so it comes first among the controllers.
        devices.push_back(UsbSysDevice{"usb0", 0, "0", 0, 0, true, 1});
        devices.push_back(UsbSysDevice{"0-1", 0, "1", kSimCamVendorId, kSimCamProductId, false, 0});
    }
    std::vector<UsbSysDevice> system = ReadUsbDevices();
    devices.insert(devices.end(), system.begin(), system.end());
    return UsbTreeFromSysDevices(devices);
}
