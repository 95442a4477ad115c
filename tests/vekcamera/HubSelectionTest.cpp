// Selecting a camera: detection, the id record, the model tables the hub answers from itself,
// the resolution lists and the hub's own frame callback.
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>

#include "HubTestSupport.h"
#include "scopedenv.h"
#include "simcam.h"
#include "vekcamera/HubGui.h"

namespace {

class RecordingCombo : public IHubComboBox {
public:
    int AddString(const char* text) override {
        items.emplace_back(text);
        return static_cast<int>(items.size()) - 1;
    }
    int SetCurSel(int index) override {
        selected = index;
        return index;
    }
    std::vector<std::string> items;
    int selected = -1;
};

class HubSelection : public HubTest {};

TEST_F(HubSelection, CameraIdRecordNamesEveryModel) {
    const std::map<int, std::string> names = {
        {0, "Directshow"}, {1, "LUMO-01"},  {3, "LUMO-03"},  {4, "LUMO-04"},  {8, "LUMO-08"},  {10, "LUMO-10"},
        {11, "LUMO-11"},   {12, "LUMO-12"}, {13, "LUMO-13"}, {14, "LUMO-14"}, {16, "LUMO-16"}, {17, "LUMO-17"},
        {18, "LUMO-18"},   {21, "LUMO-21"}, {23, "LUMO-23"}, {24, "LUMO-24"}, {25, "LUMO-25"}, {26, "LUMO-26"},
        {27, "LUMO-27"},   {28, "LUMO-28"}, {29, "LUMO-29"}, {30, "LUMO-30"}, {31, "LUMO-31"}, {32, "LUMO-32"},
        {33, "LUMO-33"},   {34, "LUMO-34"}, {35, "LUMO-04"}, {36, "LUMO-08"}, {37, "LUMO-17"}, {38, "LUMO-38"},
    };
    for (int id = -3; id <= 45; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(VekCamera_SetCamera(id), 1);
        const CameraIdInfo info = VekCameraGetCameraID();
        ASSERT_NE(info.name, nullptr);
        auto it = names.find(id);
        if (it != names.end()) {
            EXPECT_EQ(info.cameraId, id);
            EXPECT_STREQ(info.name, it->second.c_str());
        } else {
            EXPECT_EQ(info.cameraId, -1);
            EXPECT_STREQ(info.name, "Unknow Device");
        }
    }
}

TEST_F(HubSelection, AnIdWithoutNameIsResetSoLaterCallsFallToTheirDefaults) {
    VekCamera_SetCamera(99);
    EXPECT_EQ(VekCameraGetCameraID().cameraId, -1);
    // Had the id stayed 99 and been mistaken for a model, a driver would have been called.
    EXPECT_EQ(VekCameraPlay(), 1);
    EXPECT_EQ(VekCameraStop(), 0);
    // An id with a USB id but no driver keeps its id but has no name.
    VekCamera_SetCamera(2);
    EXPECT_EQ(VekCameraGetCameraID().cameraId, -1);
    EXPECT_TRUE(lumostub::Calls().empty());
}

TEST_F(HubSelection, DecodeTypeAndFlipComeFromTheModelTable) {
    std::map<int, int> decode;
    for (int id : {1, 4, 8, 26, 27, 28, 29, 31, 32})
        decode[id] = 2;
    for (int id : {3, 11, 23})
        decode[id] = 3;
    for (int id : {14, 21, 25, 30, 35, 36})
        decode[id] = 0;
    const std::set<int> flipped = {5, 6, 8, 11, 13, 14, 15, 16, 17, 21, 23, 25, 36, 37};
    for (int id = -1; id <= 40; ++id) {
        SCOPED_TRACE(id);
        Select(id);
        EXPECT_EQ(VekCameraDecodeType(), decode.count(id) ? decode[id] : 4);
        EXPECT_EQ(VekCameraFlip(), flipped.count(id) ? 1 : 0);
    }
    EXPECT_TRUE(lumostub::Calls().empty());
}

TEST_F(HubSelection, ResolutionListsAddTheModelsLabelsAndSelectTheDefault) {
    struct Expect {
        std::vector<std::string> labels;
        int selected;
    };
    const std::map<int, Expect> lists = {
        {1, {{"3488*2616", "1600*1200", "1280*960", "800*600", "640*480"}, 0}},
        {18, {{"2592*1944", "1280*960", "1024*768", "640*480"}, 0}},
        {35, {{"2048*1536", "1024*768", "640*480"}, 0}},
        {36, {{"1280*1024", "640*480", "320*240 "}, 0}},
        {23, {{"1360*1024"}, 0}},
        {14, {{"320*240 ", "2048*1536 ", "1024*768_BIN", "512*384_BIN", "800*500 ROI"}, 1}},
        {17, {{"1360*1024", "680*512 2*2Bin", "452*340 3*3Bin", "340*256 4*4Bin"}, 0}},
        {28, {{"3664*2748", "1600*1200", "1280*960", "800*600", "640*480"}, -1}},
        {29, {{"2568*1954", "1024*768", "1280*960 2X2Bin", "640*480 4X4Bin"}, 1}},
        {30, {{"2592*1944", "1280 X 960", "1024 X 768", "640 X 480"}, 1}},
        {38, {{"1360*1024", "680*512 2*2Bin", "340*250 4*4Bin"}, 1}},
        {37, {{"1360*1024", "680*512 2*2Bin", "340*256 4*4Bin"}, 0}},
        {2, {{}, -1}},
        {-1, {{}, -1}},
        {50, {{}, -1}},
    };
    for (const auto& [id, expect] : lists) {
        SCOPED_TRACE(id);
        Select(id);
        RecordingCombo combo;
        EXPECT_EQ(VekCamera_Registerpixel(HubComboBoxHandle(&combo)), 1);
        EXPECT_EQ(combo.items, expect.labels);
        EXPECT_EQ(combo.selected, expect.selected);
    }
    // Earlier content stays: a second call adds the labels again.
    Select(21);
    RecordingCombo combo;
    VekCamera_Registerpixel(HubComboBoxHandle(&combo));
    VekCamera_Registerpixel(HubComboBoxHandle(&combo));
    EXPECT_EQ(combo.items, (std::vector<std::string>{"3032*2016", "1516*1008", "3032*2016", "1516*1008"}));
    // No combo box: nothing to fill, still 1.
    EXPECT_EQ(VekCamera_Registerpixel(nullptr), 1);
}

TEST_F(HubSelection, AHostComboBoxThatThrowsStopsTheListButNotTheCaller) {
    // The hub is a C interface: nothing the host throws at it may come back out.
    class ThrowingCombo : public IHubComboBox {
    public:
        int AddString(const char*) override {
            if (++added == 1)
                throw std::runtime_error("list full");
            return added - 1;
        }
        int SetCurSel(int) override { return ++selections; }
        int added = 0;
        int selections = 0;
    } combo;
    for (int id : {1, CAMERA_ID_DIRECTSHOW}) {
        SCOPED_TRACE(id);
        Select(id);
        combo.added = 0;
        int result = 0;
        EXPECT_NO_THROW(result = VekCamera_Registerpixel(HubComboBoxHandle(&combo)));
        EXPECT_EQ(result, 1);
    }
    EXPECT_EQ(combo.selections, 0);
}

TEST_F(HubSelection, NegativeImageFlagInvertsEveryFrameTheDriverDelivers) {
    Select(30);
    VekCameraInit(1, nullptr, nullptr);
    FrameCallback callback = lumostub::LastFrameCallback();
    ASSERT_NE(callback, nullptr);
    lumostub::SetOutValues("Lumo30CameraGetImageSize", {2, 1});

    BYTE frame[6] = {0, 10, 255, 1, 2, 3};
    EXPECT_EQ(callback(frame), 1);
    EXPECT_EQ(std::vector<BYTE>(frame, frame + 6), (std::vector<BYTE>{0, 10, 255, 1, 2, 3}));

    EXPECT_EQ(VekCameraWhite2Black(1), 1);
    EXPECT_EQ(callback(frame), 1);
    EXPECT_EQ(std::vector<BYTE>(frame, frame + 6), (std::vector<BYTE>{255, 245, 0, 254, 253, 252}));

    // A driver that reports no size leaves the frame alone instead of guessing its length.
    lumostub::SetOutValues("Lumo30CameraGetImageSize", {0, 0});
    EXPECT_EQ(callback(frame), 1);
    EXPECT_EQ(frame[0], 255);
}

TEST_F(HubSelection, DetectionFindsTheSimulatedCameraOnlyWhilePlugged) {
    ScopedEnv sim("QUILLORY_SIMULATED_CAMERA", "1");
    SimCamPlug();
    EXPECT_EQ(VekCamera_ReflashCamera(), 1);
    CameraIdInfo info = VekCameraGetCameraID();
    EXPECT_EQ(info.cameraId, 28);
    EXPECT_STREQ(info.name, "LUMO-28");

    SimCamUnplug();
    EXPECT_EQ(VekCamera_ReflashCamera(), 1);
    EXPECT_NE(VekCameraGetCameraID().cameraId, 28);

    // Plugged, but not asked for: the simulated camera is not part of the tree.
    SimCamPlug();
    sim.Set("QUILLORY_SIMULATED_CAMERA", "0");
    VekCamera_ReflashCamera();
    EXPECT_NE(VekCameraGetCameraID().cameraId, 28);

    SimCamUnplug();
}

}  // namespace
