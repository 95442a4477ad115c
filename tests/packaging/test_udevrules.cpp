// The camera access rules made at build time grant exactly the hub's vendor:product pairs.
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "vekcamera/UsbCameraScanner.h"

TEST(UdevRules, GrantEveryPairOfTheHubsTableAndNothingElse) {
    std::ifstream in(QUILLORY_UDEV_RULES);
    ASSERT_TRUE(in) << QUILLORY_UDEV_RULES << " was not made";
    const char* const rule = R"(SUBSYSTEM=="usb", ATTR{idVendor}=="%04x", ATTR{idProduct}=="%04x", TAG+="uaccess")";
    std::set<std::pair<unsigned, unsigned>> granted;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        unsigned vid = 0, pid = 0;
        char canonical[160];
        ASSERT_EQ(std::sscanf(line.c_str(), rule, &vid, &pid), 2) << "not a rule: " << line;
        std::snprintf(canonical, sizeof canonical, rule, vid, pid);
        ASSERT_EQ(line, canonical) << "not a rule of the expected form";
        EXPECT_TRUE(granted.insert({vid, pid}).second) << "granted twice: " << line;
        UsbDeviceTree empty;
        CUsbCameraScanner scanner(empty);
        EXPECT_EQ(scanner.ClassifyUsbDevice(static_cast<uint16_t>(vid), static_cast<uint16_t>(pid)), 1)
            << "the hub does not know " << line;
    }
    std::set<std::pair<unsigned, unsigned>> table;
    for (const KnownUsbCamera& c : CUsbCameraScanner::KnownCameras()) table.insert({c.vendorId, c.productId});
    EXPECT_EQ(granted, table);
    EXPECT_GE(table.size(), 30u) << "the hub's table looks cut short";
}
