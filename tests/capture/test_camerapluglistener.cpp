#include "capture/camerapluglistener.h"

#include <libudev.h>

#include <QObject>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ui/promptservice.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "outside/simcam/simcam.h"
#include "fakeprompts.h"
#include "messagerecorder.h"
#include "scopedenv.h"

namespace {

struct Posted {
    UINT message;
    int cameraId;
    LPARAM lParam;
    bool operator==(const Posted&) const = default;
};

// The recorder's messages, with the camera id as the signed number it is.
class RecordingWindow : public MessageRecorder {
public:
    std::vector<Posted> Take() {
        std::vector<Posted> out;
        for (const RecordedMessage& m : MessageRecorder::Take())
            out.push_back({m.message, static_cast<int>(static_cast<intptr_t>(m.wParam)), m.lParam});
        return out;
    }
};

using Props = std::map<std::string, std::string>;
CCameraPlugListener::UdevProperty FromMap(const Props& props) {
    return [props](const char* name) -> const char* {
        auto it = props.find(name);
        return it == props.end() ? nullptr : it->second.c_str();
    };
}

std::string PathOf(const std::vector<BYTE>& record) {
    return reinterpret_cast<const char*>(record.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name));
}

class CameraPlugListenerTest : public ::testing::Test {
protected:
    // Registered with the simulated camera requested, so it works whether or not udev does.
    void RegisterSimulated(CCameraPlugListener& listener) {
        ScopedEnv sim("QUILLORY_SIMULATED_CAMERA", "1");
        ASSERT_TRUE(listener.Register(window_.GetSafeHwnd()));
    }

    RecordingWindow window_;
    FakePrompts prompts_;
    PromptsInstalled installed_{&prompts_};
};

TEST(CameraPlugListenerIds, DevicePathsMapThroughTheTable) {
    EXPECT_EQ(28, CCameraPlugListener::CameraIdFromDevicePath(
                      "\\\\?\\USB#VID_0547&PID_C003#5&2ad1e9c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    // Markers and ids in lower case.
    EXPECT_EQ(28, CCameraPlugListener::CameraIdFromDevicePath("\\\\?\\usb#vid_0547&pid_c003#x"));
    EXPECT_EQ(4, CCameraPlugListener::CameraIdFromDevicePath("\\\\?\\USB#VID_0546&PID_4D33#x"));
    EXPECT_EQ(4, CCameraPlugListener::CameraIdFromDevicePath("\\\\?\\USB#VID_0547&PID_4D33#x"));
    // Not listed here, although the hub knows it.
    EXPECT_EQ(-1, CCameraPlugListener::CameraIdFromDevicePath("\\\\?\\USB#VID_0547&PID_D001#x"));
    // The first marker counts, whatever follows.
    EXPECT_EQ(0, CCameraPlugListener::CameraIdFromDevicePath("USB#VID_EB1A&PID_2761#VID_0547&PID_C003"));
}

TEST(CameraPlugListenerIds, BadPathsGiveNoCamera) {
    for (const char* path : {"", "\\\\?\\USB#0547&PID_C003#x", "\\\\?\\USB#VID_0547&C003#x",
                             "\\\\?\\USB#PID_C003", "USB#VID_0547&PID_C00", "USB#PID_C003&VID_054",
                             "VID_", "PID_C003VID_", "\\\\?\\STORAGE#Volume#{53f56307}"})
        EXPECT_EQ(-1, CCameraPlugListener::CameraIdFromDevicePath(path)) << path;
}

TEST(CameraPlugListenerIds, TableComparesWholeIdsWithoutCase) {
    EXPECT_EQ(28, CCameraPlugListener::CameraIdFromUsbId("0547", "c003"));
    EXPECT_EQ(0, CCameraPlugListener::CameraIdFromUsbId("eb1a", "2761"));
    EXPECT_EQ(13, CCameraPlugListener::CameraIdFromUsbId("0547", "5943"));
    EXPECT_EQ(38, CCameraPlugListener::CameraIdFromUsbId("0547", "D004"));
    // Of the hub's DirectShow pairs only one is listed.
    EXPECT_EQ(-1, CCameraPlugListener::CameraIdFromUsbId("EB1A", "2571"));
    EXPECT_EQ(-1, CCameraPlugListener::CameraIdFromUsbId("0547", "C00"));
    EXPECT_EQ(-1, CCameraPlugListener::CameraIdFromUsbId("0547", "C0031"));
    EXPECT_EQ(-1, CCameraPlugListener::CameraIdFromUsbId("C003", "0547"));
}

TEST_F(CameraPlugListenerTest, DeviceChangesPostTheCameraId) {
    CCameraPlugListener listener;
    RegisterSimulated(listener);
    window_.Take();

    auto arrival = CCameraPlugListener::MakeInterfaceRecord("\\\\?\\usb#vid_0547&pid_c003#1");
    auto removal = CCameraPlugListener::MakeInterfaceRecord("\\\\?\\USB#VID_0547&PID_D001#1");
    EXPECT_EQ(0, listener.OnDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(arrival.data())));
    EXPECT_EQ(0, listener.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(removal.data())));
    // Other events, other device types and no data post nothing.
    EXPECT_EQ(0, listener.OnDeviceChange(0x8001, reinterpret_cast<LPARAM>(arrival.data())));
    EXPECT_EQ(0, listener.OnDeviceChange(0x0007, 0));
    EXPECT_EQ(0, listener.OnDeviceChange(DBT_DEVICEARRIVAL, 0));
    std::vector<BYTE> volume(32, 0);
    const DEV_BROADCAST_HDR volumeHeader{32, DBT_DEVTYP_VOLUME, 0};
    std::memcpy(volume.data(), &volumeHeader, sizeof volumeHeader);
    EXPECT_EQ(0, listener.OnDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(volume.data())));
    // udev's events take the same way; a bind is no plug.
    listener.HandleUdevEvent(FromMap({{"ACTION", "add"}, {"DEVTYPE", "usb_device"}, {"PRODUCT", "547/c003/1"}}));
    listener.HandleUdevEvent(FromMap({{"ACTION", "bind"}, {"DEVTYPE", "usb_device"}, {"PRODUCT", "547/c003/1"}}));

    EXPECT_EQ((std::vector<Posted>{{WM_CAMERA_ARRIVED, 28, 0}, {WM_CAMERA_REMOVED, -1, 0}, {WM_CAMERA_ARRIVED, 28, 0}}),
              window_.Take());
}

TEST_F(CameraPlugListenerTest, NameIsReadNoFurtherThanTheRecord) {
    CCameraPlugListener listener;
    RegisterSimulated(listener);
    window_.Take();
    // An unterminated name filling the record exactly: read to its end, not past it.
    const std::string path = "USB#VID_0547&PID_C003";
    std::vector<BYTE> record(28 + path.size());
    const DEV_BROADCAST_HDR header{static_cast<DWORD>(record.size()), DBT_DEVTYP_DEVICEINTERFACE, 0};
    std::memcpy(record.data(), &header, sizeof header);
    std::memcpy(record.data() + 28, path.data(), path.size());
    listener.OnDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(record.data()));
    // A record too short to hold a name.
    const DEV_BROADCAST_HDR shortHeader{12, DBT_DEVTYP_DEVICEINTERFACE, 0};
    std::memcpy(record.data(), &shortHeader, sizeof shortHeader);
    listener.OnDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(record.data()));
    EXPECT_EQ((std::vector<Posted>{{WM_CAMERA_ARRIVED, 28, 0}}), window_.Take());
}

TEST(CameraPlugListenerUdev, EventsBecomeInterfaceRecords) {
    Props add{{"ACTION", "add"}, {"DEVTYPE", "usb_device"}, {"PRODUCT", "547/c003/100"},
              {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb1/1-2"}};
    CCameraPlugListener::DeviceChange change;
    ASSERT_TRUE(CCameraPlugListener::DeviceChangeFromUdev(FromMap(add), &change));
    EXPECT_EQ(DBT_DEVICEARRIVAL, change.event);
    DEV_BROADCAST_DEVICEINTERFACE head;
    ASSERT_GE(change.record.size(), sizeof head);
    std::memcpy(&head, change.record.data(), sizeof head);
    EXPECT_EQ(change.record.size(), head.dbcc_size);
    EXPECT_EQ(DBT_DEVTYP_DEVICEINTERFACE, head.dbcc_devicetype);
    EXPECT_EQ(0, std::memcmp(&head.dbcc_classguid, &GUID_DEVINTERFACE_USB_DEVICE, sizeof(GUID)));
    EXPECT_EQ("\\\\?\\USB#VID_0547&PID_C003#1-2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}", PathOf(change.record));

    // Removals carry the ids too; short vendor ids are padded.
    Props remove{{"ACTION", "remove"}, {"DEVTYPE", "usb_device"}, {"PRODUCT", "eb1a/2761/0"}};
    ASSERT_TRUE(CCameraPlugListener::DeviceChangeFromUdev(FromMap(remove), &change));
    EXPECT_EQ(DBT_DEVICEREMOVECOMPLETE, change.event);
    EXPECT_EQ(0, CCameraPlugListener::CameraIdFromDevicePath(PathOf(change.record)));
    Props padded{{"ACTION", "add"}, {"DEVTYPE", "usb_device"}, {"PRODUCT", "546/4d33/1"}};
    ASSERT_TRUE(CCameraPlugListener::DeviceChangeFromUdev(FromMap(padded), &change));
    EXPECT_EQ(4, CCameraPlugListener::CameraIdFromDevicePath(PathOf(change.record)));

    // Ids udev does not tell, or tells badly, make an unknown device.
    for (const char* product : {"", "zz/c003/1", "10000/c003/1", "547", "547/", "547/c0031/1"}) {
        Props bad{{"ACTION", "add"}, {"DEVTYPE", "usb_device"}, {"PRODUCT", product}};
        ASSERT_TRUE(CCameraPlugListener::DeviceChangeFromUdev(FromMap(bad), &change)) << product;
        EXPECT_EQ(-1, CCameraPlugListener::CameraIdFromDevicePath(PathOf(change.record))) << product;
    }
    ASSERT_TRUE(CCameraPlugListener::DeviceChangeFromUdev(FromMap({{"ACTION", "add"}, {"DEVTYPE", "usb_device"}}), &change));
    EXPECT_EQ(-1, CCameraPlugListener::CameraIdFromDevicePath(PathOf(change.record)));

    // Neither an arrival nor a removal of a whole USB device.
    for (const Props& props : {Props{{"ACTION", "bind"}, {"DEVTYPE", "usb_device"}},
                               Props{{"ACTION", "change"}, {"DEVTYPE", "usb_device"}},
                               Props{{"ACTION", "add"}, {"DEVTYPE", "usb_interface"}},
                               Props{{"ACTION", "add"}}, Props{{"DEVTYPE", "usb_device"}}})
        EXPECT_FALSE(CCameraPlugListener::DeviceChangeFromUdev(FromMap(props), &change));
}

TEST_F(CameraPlugListenerTest, SimulatedCameraPlugsAndUnplugs) {
    CCameraPlugListener listener;
    RegisterSimulated(listener);
    SimCamUnplug();
    window_.Take();

    SimCamPlug();
    SimCamPlug();  // already plugged: no change, no post
    SimCamUnplug();
    EXPECT_EQ((std::vector<Posted>{{WM_CAMERA_ARRIVED, 28, 0}, {WM_CAMERA_REMOVED, 28, 0}}), window_.Take());

    // From another thread, as the hub or a test harness would.
    std::thread([] {
        SimCamPlug();
        SimCamUnplug();
    }).join();
    EXPECT_EQ((std::vector<Posted>{{WM_CAMERA_ARRIVED, 28, 0}, {WM_CAMERA_REMOVED, 28, 0}}), window_.Take());

    // The camera vanishing in the middle of a read is an unplug too.
    SimCamPlug();
    SimCamSetRealTime(false);
    {
        auto transport = SimCamCreateTransport();
        ASSERT_TRUE(transport->Open(kSimCamVendorId, kSimCamProductId));
        SimCamInjectFault(SimCamFault::UnplugDuringRead);
        std::vector<uint8_t> buffer(SimCamFrameBytes());
        EXPECT_EQ(UsbTransport::kUsbGone, transport->BulkRead(buffer.data(), buffer.size(), 1000));
    }
    SimCamSetRealTime(true);
    SimCamReset();
    EXPECT_FALSE(SimCamIsPlugged());
    EXPECT_EQ((std::vector<Posted>{{WM_CAMERA_ARRIVED, 28, 0}, {WM_CAMERA_REMOVED, 28, 0}}), window_.Take());
}

TEST_F(CameraPlugListenerTest, NothingIsPostedAfterUnregisterOrDeletion) {
    SimCamUnplug();
    {
        CCameraPlugListener listener;
        RegisterSimulated(listener);
        listener.Unregister();
        EXPECT_FALSE(listener.IsRegistered());
        SimCamPlug();
        SimCamUnplug();
        auto record = CCameraPlugListener::MakeInterfaceRecord("USB#VID_0547&PID_C003");
        listener.OnDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(record.data()));
        listener.Unregister();  // twice: nothing to undo, nothing shown
    }
    {
        // Deleted while registered: the camera's later plugs must not reach the dead listener.
        auto listener = std::make_unique<CCameraPlugListener>();
        RegisterSimulated(*listener);
        listener.reset();
        SimCamPlug();
        SimCamUnplug();
    }
    EXPECT_TRUE(window_.Take().empty());
    EXPECT_TRUE(prompts_.messages.isEmpty());
}

TEST_F(CameraPlugListenerTest, RegisteringAgainMovesThePosts) {
    RecordingWindow other;
    CCameraPlugListener listener;
    RegisterSimulated(listener);
    RegisterSimulated(listener);
    {
        ScopedEnv sim("QUILLORY_SIMULATED_CAMERA", "1");
        ASSERT_TRUE(listener.Register(other.GetSafeHwnd()));
    }
    SimCamUnplug();
    window_.Take();
    other.Take();
    SimCamPlug();
    SimCamUnplug();
    EXPECT_TRUE(window_.Take().empty());
    // One hook only, however often it was registered.
    EXPECT_EQ((std::vector<Posted>{{WM_CAMERA_ARRIVED, 28, 0}, {WM_CAMERA_REMOVED, 28, 0}}), other.Take());
}

TEST_F(CameraPlugListenerTest, RegisteringWithoutAWindowFails) {
    CCameraPlugListener listener;
    ScopedEnv sim("QUILLORY_SIMULATED_CAMERA", "1");
    EXPECT_FALSE(listener.Register(nullptr));
    EXPECT_FALSE(listener.IsRegistered());
    EXPECT_EQ(QStringList{"Register Camera Listen make a error, Register Fail!"}, prompts_.messages);
    SimCamPlug();
    SimCamUnplug();
    EXPECT_TRUE(window_.Take().empty());
}

TEST_F(CameraPlugListenerTest, OpensARealUdevMonitor) {
    udev* u = udev_new();
    udev_monitor* probe = u ? udev_monitor_new_from_netlink(u, "udev") : nullptr;
    const bool available = probe && udev_monitor_enable_receiving(probe) >= 0;
    if (probe)
        udev_monitor_unref(probe);
    if (u)
        udev_unref(u);
    if (!available)
        GTEST_SKIP() << "no udev device-event monitor can be opened in this environment";

    ScopedEnv sim("QUILLORY_SIMULATED_CAMERA", nullptr);
    CCameraPlugListener listener;
    ASSERT_TRUE(listener.Register(window_.GetSafeHwnd()));
    EXPECT_TRUE(listener.IsMonitoringUdev());
    EXPECT_TRUE(prompts_.messages.isEmpty());
    // Not requested: the simulated camera's plugs are not this machine's devices.
    SimCamPlug();
    SimCamUnplug();
    EXPECT_TRUE(window_.Take().empty());
    listener.Unregister();
    EXPECT_FALSE(listener.IsMonitoringUdev());
}

}  // namespace
