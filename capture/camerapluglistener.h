// Tells the main frame when a USB device is plugged in or removed, and which camera it is.
//
// The main frame registers the listener with its window handle. Device events come from a
// libudev monitor of USB devices and, when the simulated camera is requested, from the
// simulated camera's plug and unplug; each one is turned into the platform's device-interface
// record with a device path of the usual "\\?\USB#VID_xxxx&PID_yyyy#..." form and handled by
// OnDeviceChange, which reads the ids back from the path, maps them to a camera id and posts
// WM_CAMERA_ARRIVED or WM_CAMERA_REMOVED (wParam the id, -1 for an unknown device) to the window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

struct HWND__;
typedef HWND__* HWND;

class QSocketNotifier;
struct udev;
struct udev_monitor;

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr DWORD DBT_DEVTYP_VOLUME = 2;
constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}
constexpr GUID GUID_DEVINTERFACE_USB_DEVICE = {0xA5DCBF10, 0x6530, 0x11D2,
                                               {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

struct DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};

// The name runs on past the structure; dbcc_size counts the whole record.
struct DEV_BROADCAST_DEVICEINTERFACE {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    char dbcc_name[1];
};
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE) == 32, "the record is 32 bytes");
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name) == 28, "the name is at byte 28");

class CCameraPlugListener {
public:
    // One device event as the main frame's WM_DEVICECHANGE would carry it: the event and the
    // device-interface record its data points at.
    struct DeviceChange {
        WPARAM event = 0;
        std::vector<BYTE> record;
        LPARAM Data() const { return reinterpret_cast<LPARAM>(record.data()); }
    };
    // A udev property by name (ACTION, DEVTYPE, PRODUCT, DEVPATH), nullptr when absent.
    using UdevProperty = std::function<const char*(const char* name)>;

    CCameraPlugListener();
    // Releases the monitor and the simulated camera's hook: nothing may call into a deleted
    // listener.
    virtual ~CCameraPlugListener();
    CCameraPlugListener(const CCameraPlugListener&) = delete;
    CCameraPlugListener& operator=(const CCameraPlugListener&) = delete;

    // Starts the notifications to hWnd (call on the UI thread). On failure shows "Register
    // Camera Listen make a error, Register Fail!" and returns false. A second call moves the
    // notifications to the new window.
    bool Register(HWND hWnd);
    // Stops the notifications; once it returns nothing more is posted. Without a registration
    // it does nothing.
    void Unregister();
    bool IsRegistered() const { return m_hRecipient != nullptr; }
    // True while the libudev monitor is open.
    bool IsMonitoringUdev() const { return m_monitor != nullptr; }

    // Handles a device change (any thread); always returns 0.
    LRESULT OnDeviceChange(WPARAM nEventType, LPARAM dwData);
    // Handles one udev event of the monitor; a test feeds the properties itself.
    void HandleUdevEvent(const UdevProperty& property);

    // The vendor:product table, compared without regard to case; -1 when the pair is unknown.
    static int CameraIdFromUsbId(std::string_view vid, std::string_view pid);
    // The vendor:product pairs the table maps to a camera id, in the table's order.
    struct UsbIds {
        WORD vendorId;
        WORD productId;
    };
    static std::vector<UsbIds> UsbIdsOfCamera(int cameraId);
    // The ids read from a device path ("VID_" and "PID_", any case, each followed by four
    // characters); -1 when a marker is missing or its id is short.
    static int CameraIdFromDevicePath(std::string_view path);
    // The device-interface record of the USB device class for a device path.
    static std::vector<BYTE> MakeInterfaceRecord(const std::string& path);
    // A udev event of a USB device as a device change; false for events that are not the
    // arrival or removal of a USB device.
    static bool DeviceChangeFromUdev(const UdevProperty& property, DeviceChange* change);

private:
    static void OnSimCamPlug(bool plugged, void* context);
    bool OpenUdevMonitor();
    void CloseUdevMonitor();
    void ReadUdevEvents();

    HWND m_hRecipient = nullptr;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_simCamHook = 0;
};
