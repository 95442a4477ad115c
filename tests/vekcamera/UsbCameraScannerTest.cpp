// The USB scan over trees built in memory: order of controllers, ports and hubs, the VID:PID
// table, and the requests that fail.
#include <gtest/gtest.h>

#include "vekcamera/UsbCameraScanner.h"

namespace {

int ScanOf(UsbDeviceTree& tree) {
    CUsbCameraScanner scanner(tree);
    return scanner.Scan();
}

TEST(UsbCameraScanner, NothingToOpenOrNothingKnownFindsNoCamera) {
    UsbDeviceTree none;
    EXPECT_EQ(ScanOf(none), -1);

    UsbDeviceTree unopenable;
    unopenable.AddHostController("");
    EXPECT_EQ(ScanOf(unopenable), -1);

    UsbDeviceTree unknown;
    unknown.AddHostController("root");
    unknown.AddHub("root", 4);
    unknown.ConnectDevice("root", 1, 0x046D, 0xC077);  // a mouse
    EXPECT_EQ(ScanOf(unknown), -1);
}

TEST(UsbCameraScanner, EveryKnownPairMapsToItsCameraId) {
    const std::vector<std::tuple<uint16_t, uint16_t, int>> table = {
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
    for (const auto& [vid, pid, id] : table) {
        UsbDeviceTree tree;
        tree.AddHostController("root");
        tree.AddHub("root", 2);
        tree.ConnectDevice("root", 2, vid, pid);
        EXPECT_EQ(ScanOf(tree), id) << std::hex << vid << ":" << pid;
    }
    // Near misses are not cameras, and a miss leaves the stored id alone.
    UsbDeviceTree empty;
    CUsbCameraScanner scanner(empty);
    EXPECT_EQ(scanner.ClassifyUsbDevice(0x0547, 0xC006), 0);
    EXPECT_EQ(scanner.ClassifyUsbDevice(0x0548, 0xC003), 0);
    EXPECT_EQ(scanner.ClassifyUsbDevice(0x0547, 0xC003), 1);
    EXPECT_EQ(scanner.ClassifyUsbDevice(0x0000, 0x0000), 0);
    EXPECT_EQ(scanner.Scan(), -1) << "a classification alone is not a find";
}

TEST(UsbCameraScanner, FirstKnownDeviceInControllerPortAndHubOrderWins) {
    // Two cameras on one root hub: the lower port.
    UsbDeviceTree ports;
    ports.AddHostController("root");
    ports.AddHub("root", 6);
    ports.ConnectDevice("root", 5, 0x0547, 0x5911);
    ports.ConnectDevice("root", 3, 0x0547, 0xC003);
    EXPECT_EQ(ScanOf(ports), 28);

    // A camera behind a hub on port 1 beats one on port 2 of the root hub.
    UsbDeviceTree hubs;
    hubs.AddHostController("root");
    hubs.AddHub("root", 4);
    hubs.ConnectHub("root", 1, "hub-a", 4);
    hubs.ConnectDevice("hub-a", 4, 0x0547, 0xD004);
    hubs.ConnectDevice("root", 2, 0x0547, 0xC003);
    EXPECT_EQ(ScanOf(hubs), 38);

    // Controller order comes first: an unopenable controller is skipped.
    UsbDeviceTree controllers;
    controllers.AddHostController("");
    controllers.AddHostController("r1");
    controllers.AddHostController("r2");
    controllers.AddHub("r1", 1);
    controllers.AddHub("r2", 1);
    controllers.ConnectDevice("r2", 1, 0x0547, 0x5911);
    controllers.ConnectDevice("r1", 1, 0x0547, 0x4D88);
    EXPECT_EQ(ScanOf(controllers), 2) << "found although the hub has no driver for it";
}

TEST(UsbCameraScanner, HubsAreDescendedWhateverTheirStatusAndFailedPortsSkipped) {
    UsbDeviceTree tree;
    tree.AddHostController("root");
    tree.AddHub("root", 3);
    tree.ConnectHub("root", 1, "hub-a", 2, /*connectionStatus=*/4);
    tree.ConnectDevice("hub-a", 2, 0x0547, 0xC009);
    EXPECT_EQ(ScanOf(tree), 32);

    UsbDeviceTree failing;
    failing.AddHostController("root");
    failing.AddHub("root", 3);
    failing.ConnectDevice("root", 1, 0x0547, 0x5911);
    failing.PortAt("root", 1).requestFails = true;
    failing.ConnectDevice("root", 2, 0x0547, 0xD006);
    EXPECT_EQ(ScanOf(failing), 37);

    // A connected device that reports another status is not classified.
    UsbDeviceTree notConnected;
    notConnected.AddHostController("root");
    notConnected.AddHub("root", 2);
    notConnected.ConnectDevice("root", 1, 0x0547, 0x5911);
    notConnected.PortAt("root", 1).info.connectionStatus = 2;
    EXPECT_EQ(ScanOf(notConnected), -1);
}

TEST(UsbCameraScanner, OnlyTenControllersAreTriedAndALoopingTreeEnds) {
    UsbDeviceTree many;
    for (int i = 0; i < 11; ++i) {
        const std::string root = "r" + std::to_string(i);
        many.AddHostController(root);
        many.AddHub(root, 1);
    }
    many.ConnectDevice("r10", 1, 0x0547, 0xC003);
    EXPECT_EQ(ScanOf(many), -1);
    many.ConnectDevice("r9", 1, 0x0547, 0xC004);
    EXPECT_EQ(ScanOf(many), 30);

    // A hub that names itself as its own child.
    UsbDeviceTree loop;
    loop.AddHostController("root");
    loop.AddHub("root", 2);
    loop.ConnectHub("root", 1, "root", 2);
    loop.ConnectDevice("root", 2, 0x0547, 0xC005);
    EXPECT_EQ(ScanOf(loop), 31);
}

}  // namespace

namespace {

TEST(UsbTreeFromSysDevices, RootHubsInBusOrderAndDevicesOnTheirPorts) {
    std::vector<UsbSysDevice> devices = {
        {"2-1", 2, "1", 0x0547, 0x5911, false, 0},       // id 1, on bus 2
        {"usb2", 2, "0", 0x1D6B, 0x0002, true, 4},
        {"1-1.3", 1, "1.3", 0x0547, 0xD001, false, 0},   // id 29, behind the hub on bus 1
        {"usb1", 1, "0", 0x1D6B, 0x0002, true, 2},
        {"1-1", 1, "1", 0x05E3, 0x0608, true, 4},
        {"1-bogus", 1, "1", 0x0547, 0xC003, false, 0},    // a name that is no port: ignored
    };
    UsbDeviceTree tree = UsbTreeFromSysDevices(devices);
    EXPECT_EQ(tree.HostControllerCount(), 2);
    std::string root;
    ASSERT_TRUE(tree.OpenHostController(0, &root));
    EXPECT_EQ(root, "usb1");
    EXPECT_EQ(ScanOf(tree), 29);

    // Without bus 1's camera, bus 2's is next.
    devices.erase(devices.begin() + 2);
    UsbDeviceTree second = UsbTreeFromSysDevices(devices);
    EXPECT_EQ(ScanOf(second), 1);

    // A hub keeps its own ids on its port: a known pair there is found like any other device.
    devices.push_back({"2-2", 2, "2", 0x0547, 0x4D35, true, 2});
    devices.erase(devices.begin());
    UsbDeviceTree third = UsbTreeFromSysDevices(devices);
    EXPECT_EQ(ScanOf(third), 3);
}

}  // namespace
