#include "capture/camerapluglistener.h"

#include <libudev.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/promptservice.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "platform/usbtransport.h"
#include "outside/simcam/simcam.h"

namespace {

struct UsbCameraPair {
    const char* vid;
    const char* pid;
    int cameraId;
};

// Searched in this order; the first match counts.
constexpr UsbCameraPair kUsbCameras[] = {
    {"0547", "C003", 28}, {"0547", "92A0", 27}, {"0547", "5911", 1},  {"0547", "4D88", 2},
    {"0547", "4D35", 3},  {"0547", "C004", 30}, {"0547", "C005", 31}, {"0547", "C009", 32},
    {"0546", "4D33", 4},  {"0547", "4D33", 4},  {"0547", "E014", 6},  {"0547", "E013", 5},
    {"EB1A", "2750", 7},  {"0547", "6131", 8},  {"0547", "7413", 15}, {"04B4", "2121", 26},
    {"0547", "C008", 36}, {"0547", "C007", 35}, {"0547", "D004", 38}, {"0547", "D006", 37},
    {"0547", "4454", 9},  {"04B4", "3002", 11}, {"04B4", "3001", 10}, {"0547", "30A3", 16},
    {"0547", "5943", 13}, {"0547", "45B1", 17}, {"0547", "9310", 14}, {"0547", "D610", 21},
    {"0547", "B210", 24}, {"0547", "A801", 25}, {"EB1A", "2761", 0},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// The four characters after the first marker; false when the marker is missing or fewer than
// four characters follow it.
bool IdAfter(const std::string& upperPath, const char* marker, std::string* id) {
    const size_t at = upperPath.find(marker);
    if (at == std::string::npos)
        return false;
    const size_t start = at + std::strlen(marker);
    if (upperPath.size() - start < 4)
        return false;
    *id = upperPath.substr(start, 4);
    return true;
}

// One hexadecimal field of udev's PRODUCT ("547/c003/100": vendor, product, release).
bool HexField(std::string_view text, WORD* value) {
    if (text.empty() || text.size() > 4)
        return false;
    unsigned v = 0;
    for (char ch : text) {
        const int c = std::tolower(static_cast<unsigned char>(ch));
        if (c >= '0' && c <= '9')
            v = v * 16 + static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            v = v * 16 + static_cast<unsigned>(c - 'a' + 10);
        else
            return false;
    }
    *value = static_cast<WORD>(v);
    return true;
}

bool ParseProduct(const char* product, WORD* vid, WORD* pid) {
    if (!product)
        return false;
    const std::string_view text(product);
    const size_t first = text.find('/');
    if (first == std::string_view::npos)
        return false;
    const size_t second = text.find('/', first + 1);
    const std::string_view pidText =
        text.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    return HexField(text.substr(0, first), vid) && HexField(pidText, pid);
}

constexpr const char* kUsbClassSuffix = "#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";

std::string UsbDevicePath(WORD vid, WORD pid, const std::string& instance) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "VID_%04X&PID_%04X", vid, pid);
    return std::string("\\\\?\\USB#") + ids + "#" + instance + kUsbClassSuffix;
}

// The device's place in the tree ("1-2.3"), the instance part of its path.
std::string InstanceFromDevpath(const char* devpath) {
    if (!devpath || !devpath[0])
        return "0";
    const std::string_view text(devpath);
    const size_t slash = text.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? text : text.substr(slash + 1);
    std::string instance;
    for (char ch : last)
        instance += ch == '#' ? '_' : ch;
    return instance.empty() ? "0" : instance;
}

}  // namespace

CCameraPlugListener::CCameraPlugListener() = default;

CCameraPlugListener::~CCameraPlugListener() {
    if (m_simCamHook)
        SimCamRemovePlugCallback(m_simCamHook);
    CloseUdevMonitor();
}

bool CCameraPlugListener::Register(HWND hWnd) {
    Unregister();
    const bool simulated = SimulatedCameraRequested();
    // Where the simulated camera stands in, a machine without udev still has its camera events.
    if (!hWnd || (!OpenUdevMonitor() && !simulated)) {
        AfxMessageBox(QStringLiteral("Register Camera Listen make a error, Register Fail!"));
        return false;
    }
    m_hRecipient = hWnd;
    if (simulated)
        m_simCamHook = SimCamAddPlugCallback(&CCameraPlugListener::OnSimCamPlug, this);
    return true;
}

void CCameraPlugListener::Unregister() {
    if (m_simCamHook) {
        // Waits for a notification in flight, so none reaches the window after this.
        SimCamRemovePlugCallback(m_simCamHook);
        m_simCamHook = 0;
    }
    CloseUdevMonitor();
    m_hRecipient = nullptr;
}

bool CCameraPlugListener::OpenUdevMonitor() {
    m_udev = udev_new();
    if (!m_udev)
        return false;
    // Without the udev daemon its monitor stays silent; the kernel's own events still come.
    const char* source = access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
    m_monitor = udev_monitor_new_from_netlink(m_udev, source);
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        CloseUdevMonitor();
        return false;
    }
    const int fd = udev_monitor_get_fd(m_monitor);
    if (fd < 0) {
        CloseUdevMonitor();
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadUdevEvents(); });
    return true;
}

void CCameraPlugListener::CloseUdevMonitor() {
    m_notifier.reset();
    if (m_monitor) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
    }
    if (m_udev) {
        udev_unref(m_udev);
        m_udev = nullptr;
    }
}

void CCameraPlugListener::ReadUdevEvents() {
    // The monitor's socket does not block: take every event that is queued.
    while (m_monitor) {
        udev_device* dev = udev_monitor_receive_device(m_monitor);
        if (!dev)
            break;
        HandleUdevEvent([dev](const char* name) { return udev_device_get_property_value(dev, name); });
        udev_device_unref(dev);
    }
}

void CCameraPlugListener::HandleUdevEvent(const UdevProperty& property) {
    DeviceChange change;
    if (DeviceChangeFromUdev(property, &change))
        OnDeviceChange(change.event, change.Data());
}

void CCameraPlugListener::OnSimCamPlug(bool plugged, void* context) {
    auto* self = static_cast<CCameraPlugListener*>(context);
    const std::vector<BYTE> record =
        MakeInterfaceRecord(UsbDevicePath(kSimCamVendorId, kSimCamProductId, "SIMCAM"));
    self->OnDeviceChange(plugged ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                         reinterpret_cast<LPARAM>(record.data()));
}

LRESULT CCameraPlugListener::OnDeviceChange(WPARAM nEventType, LPARAM dwData) {
    if (nEventType != DBT_DEVICEARRIVAL && nEventType != DBT_DEVICEREMOVECOMPLETE)
        return 0;
    const auto* data = reinterpret_cast<const BYTE*>(dwData);
    if (!data)
        return 0;
    DEV_BROADCAST_HDR header;
    std::memcpy(&header, data, sizeof header);
    if (header.dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return 0;
    const size_t nameAt = offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name);
    if (header.dbch_size <= nameAt)
        return 0;
    // The name is read no further than the record reaches, terminated or not.
    const char* name = reinterpret_cast<const char*>(data + nameAt);
    const std::string path(name, strnlen(name, header.dbch_size - nameAt));
    const int cameraId = CameraIdFromDevicePath(path);
    const UINT message = nEventType == DBT_DEVICEARRIVAL ? WM_CAMERA_ARRIVED : WM_CAMERA_REMOVED;
    if (m_hRecipient)
        PostMessage(m_hRecipient, message, static_cast<WPARAM>(static_cast<intptr_t>(cameraId)), 0);
    return 0;
}

int CCameraPlugListener::CameraIdFromUsbId(std::string_view vid, std::string_view pid) {
    for (const UsbCameraPair& pair : kUsbCameras) {
        if (EqualNoCase(vid, pair.vid) && EqualNoCase(pid, pair.pid))
            return pair.cameraId;
    }
    return -1;
}

std::vector<CCameraPlugListener::UsbIds> CCameraPlugListener::UsbIdsOfCamera(int cameraId) {
    std::vector<UsbIds> ids;
    for (const UsbCameraPair& pair : kUsbCameras) {
        UsbIds id{};
        if (pair.cameraId == cameraId && HexField(pair.vid, &id.vendorId) && HexField(pair.pid, &id.productId))
            ids.push_back(id);
    }
    return ids;
}

int CCameraPlugListener::CameraIdFromDevicePath(std::string_view path) {
    std::string upper(path);
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::string vid, pid;
    if (!IdAfter(upper, "VID_", &vid) || !IdAfter(upper, "PID_", &pid))
        return -1;
    return CameraIdFromUsbId(vid, pid);
}

std::vector<BYTE> CCameraPlugListener::MakeInterfaceRecord(const std::string& path) {
    const size_t nameAt = offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name);
    const size_t size = std::max(sizeof(DEV_BROADCAST_DEVICEINTERFACE), nameAt + path.size() + 1);
    std::vector<BYTE> record(size, 0);
    DEV_BROADCAST_HDR header{static_cast<DWORD>(size), DBT_DEVTYP_DEVICEINTERFACE, 0};
    std::memcpy(record.data(), &header, sizeof header);
    std::memcpy(record.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_classguid),
                &GUID_DEVINTERFACE_USB_DEVICE, sizeof(GUID));
    std::memcpy(record.data() + nameAt, path.data(), path.size());
    return record;
}

bool CCameraPlugListener::DeviceChangeFromUdev(const UdevProperty& property, DeviceChange* change) {
    const char* action = property("ACTION");
    const char* devtype = property("DEVTYPE");
    if (!action || !devtype || std::strcmp(devtype, "usb_device") != 0)
        return false;
    WPARAM event;
    if (std::strcmp(action, "add") == 0)
        event = DBT_DEVICEARRIVAL;
    else if (std::strcmp(action, "remove") == 0)
        event = DBT_DEVICEREMOVECOMPLETE;
    else
        return false;
    const std::string instance = InstanceFromDevpath(property("DEVPATH"));
    WORD vid = 0, pid = 0;
    // A device whose ids udev does not tell still arrives or leaves, as an unknown one.
    const std::string path = ParseProduct(property("PRODUCT"), &vid, &pid)
                                 ? UsbDevicePath(vid, pid, instance)
                                 : std::string("\\\\?\\USB#") + instance + kUsbClassSuffix;
    change->event = event;
    change->record = MakeInterfaceRecord(path);
    return true;
}
