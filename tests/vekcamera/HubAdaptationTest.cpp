// The per-model adaptations of the hub: argument shapes, rewritten values and substituted
// calls, each checked on the stand-in libraries' recorded calls.
#include <cmath>
#include <map>

#include "HubTestSupport.h"

namespace {

HWND FakeWindow(intptr_t v) { return reinterpret_cast<HWND>(v); }

class HubAdaptation : public HubTest {
protected:
    // The arguments of the only recorded call of fn.
    std::vector<int64_t> ArgsOf(const std::string& fn) {
        std::vector<int64_t> args;
        int seen = 0;
        for (const LumoStubCall& call : lumostub::Calls()) {
            if (call.function == fn) {
                args = call.args;
                ++seen;
            }
        }
        EXPECT_EQ(seen, 1) << fn;
        return args;
    }
};

TEST_F(HubAdaptation, InitPassesEachModelItsArgumentShape) {
    const int64_t display = 0x1000;
    const int64_t notify = 0x2000;
    const int resolution = 0x0102;  // only the low byte is meaningful to most models
    // Arguments after the callback (or all of them for id 29, which gets none).
    const std::map<int, std::vector<int64_t>> expected = {
        {1, {2, display, notify, 1}},  {3, {2, display, notify, 1}},   {4, {2, display, notify, 1}},
        {8, {2, display, notify, 1}},  {18, {2, display, notify, 1}},  {21, {2, display, notify, 1}},
        {26, {2, display, notify, 1}}, {10, {2, display, notify, 0}},  {12, {2, display, notify, 0}},
        {13, {2, display, notify, 0}}, {11, {2, display, notify}},     {16, {2, display, notify}},
        {17, {2, display, notify}},    {23, {2, display, notify}},     {24, {2, display, notify}},
        {25, {2, display, notify}},    {14, {2, display, notify}},     {27, {2, display, 1, notify}},
        {30, {resolution, display, notify}}, {31, {resolution, display, notify}},
        {32, {resolution, display, notify}}, {33, {resolution, display, notify}},
        {34, {resolution, display, notify}}, {35, {resolution, display, notify}},
        {36, {resolution, display, notify}}, {37, {resolution, display, notify}},
        {38, {resolution, display, notify}}, {29, {resolution, display, notify}},
    };
    for (const auto& [id, rest] : expected) {
        SCOPED_TRACE(id);
        Select(id);
        VekCameraInit(resolution, FakeWindow(display), FakeWindow(notify));
        std::vector<int64_t> args = ArgsOf(LumoFn(id, "Init"));
        if (id != 29) {
            ASSERT_FALSE(args.empty());
            EXPECT_NE(args.front(), 0) << "the hub's frame callback";
            args.erase(args.begin());
        }
        EXPECT_EQ(args, rest);
    }
}

TEST_F(HubAdaptation, InitOfId14SetsItsRegionFirst) {
    Select(14);
    VekCameraInit(1, nullptr, nullptr);
    const std::vector<std::string> calls = lumostub::CallNames();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "Lumo14CameraSetROI");
    EXPECT_EQ(calls[1], "Lumo14CameraInit");
    EXPECT_EQ(lumostub::Calls()[0].args, (std::vector<int64_t>{624, 100, 800, 500}));
}

TEST_F(HubAdaptation, PlayAndStopSubstitutions) {
    Select(17);
    lumostub::SetResult("Lumo17CameraPlay", 1);
    EXPECT_EQ(VekCameraPlay(), 1);
    EXPECT_EQ(lumostub::CallNames(), (std::vector<std::string>{"Lumo17CameraSetLongExpPower", "Lumo17CameraPlay"}));
    EXPECT_EQ(lumostub::Calls()[0].args, std::vector<int64_t>{1});

    Select(32);
    lumostub::SetResult("Lumo32CameraPlay", 5);
    EXPECT_EQ(VekCameraStop(), 5);
    EXPECT_EQ(lumostub::CallNames(), std::vector<std::string>{"Lumo32CameraPlay"});
}

TEST_F(HubAdaptation, DecodeGivesTheRunAeArgumentToItsModelsOnly) {
    BYTE raw[8];
    BYTE rgb[8];
    for (int id : StandInDriverIds()) {
        SCOPED_TRACE(id);
        Select(id);
        VekCameraDecode(raw, rgb, 640, 480);
        const std::vector<int64_t> args = ArgsOf(LumoFn(id, "Decode"));
        std::vector<int64_t> expected = {reinterpret_cast<intptr_t>(raw), reinterpret_cast<intptr_t>(rgb), 640, 480};
        if (id == 32 || id >= 35)
            expected.push_back(1);
        EXPECT_EQ(args, expected);
    }
}

TEST_F(HubAdaptation, CaptureFileThirdArgumentPerModel) {
    const char* path = "/tmp/snap";
    const int resolution = 0x0203;
    std::map<int, std::vector<int64_t>> tail;  // arguments after the path
    for (int id : {8, 10, 11, 12, 13, 14, 16, 17, 18, 21, 23, 24, 26, 29, 33, 34, 38})
        tail[id] = {6};
    for (int id : {3, 4, 27})
        tail[id] = {6, 3};
    tail[25] = {6, 0};
    for (int id : {1, 30, 31, 32, 35, 36, 37})
        tail[id] = {6, resolution};
    for (const auto& [id, expected] : tail) {
        SCOPED_TRACE(id);
        Select(id);
        VekCameraCaptureFile(path, 6, resolution);
        std::vector<int64_t> args = ArgsOf(LumoFn(id, "CaptureFile"));
        ASSERT_FALSE(args.empty());
        EXPECT_EQ(args.front(), reinterpret_cast<intptr_t>(path));
        args.erase(args.begin());
        EXPECT_EQ(args, expected);
    }
}

TEST_F(HubAdaptation, Id25PicksItsFrameSpeedFromTheExposureBeforeSettingIt) {
    const std::vector<std::pair<unsigned, int64_t>> cases = {
        {0, 0}, {108, 0}, {109, 1}, {218, 1}, {219, 2}, {436, 2}, {437, 3}, {100000, 3}};
    for (const auto& [ms, speed] : cases) {
        SCOPED_TRACE(ms);
        Select(25);
        VekCameraSetExposureTime(ms);
        const std::vector<LumoStubCall> calls = lumostub::Calls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].function, "Lumo25CameraSetFrameSpeed");
        EXPECT_EQ(calls[0].args, std::vector<int64_t>{speed});
        EXPECT_EQ(calls[1].function, "Lumo25CameraSetExposureTime");
        EXPECT_EQ(calls[1].args, std::vector<int64_t>{ms});
    }
}

TEST_F(HubAdaptation, Id16UsesTheLibraryOfId10ForAeTargetAndRowTime) {
    Select(16);
    lumostub::SetResult("Lumo10CameraSetAeTarget", 3);
    lumostub::SetOutValues("Lumo10CameraGetAeTarget", {150});
    lumostub::SetOutValues("Lumo10CameraGetRowTime", {42});
    int target = 0;
    int rowTime = 0;
    EXPECT_EQ(VekCameraSetAeTarget(150), 3);
    VekCameraGetAeTarget(&target);
    VekCameraGetRowTime(&rowTime);
    EXPECT_EQ(target, 150);
    EXPECT_EQ(rowTime, 42);
    EXPECT_EQ(lumostub::CallNames(), (std::vector<std::string>{"Lumo10CameraSetAeTarget", "Lumo10CameraGetAeTarget",
                                                               "Lumo10CameraGetRowTime"}));
}

TEST_F(HubAdaptation, FloatRowTimesAreTruncatedTowardZero) {
    for (int id : {30, 31, 32, 33, 34, 35, 36, 37, 38}) {
        SCOPED_TRACE(id);
        Select(id);
        lumostub::SetResult(LumoFn(id, "GetRowTime"), 1);
        lumostub::SetOutValues(LumoFn(id, "GetRowTime"), {103.6});
        int rowTime = -5;
        EXPECT_EQ(VekCameraGetRowTime(&rowTime), 1);
        EXPECT_EQ(rowTime, 103);
    }
    // Whatever an outside driver writes, the int gets a defined value.
    Select(33);
    const std::vector<std::pair<double, int>> extremes = {
        {-3.7, -3}, {1e12, 2147483647}, {-1e12, -2147483647 - 1}, {std::nan(""), 0}};
    for (const auto& [written, stored] : extremes) {
        SCOPED_TRACE(written);
        lumostub::SetOutValues("Lumo33CameraGetRowTime", {written});
        int rowTime = 5;
        VekCameraGetRowTime(&rowTime);
        EXPECT_EQ(rowTime, stored);
    }
    // A driver that writes nothing leaves the preset 1.0.
    Select(31);
    int rowTime = -5;
    VekCameraGetRowTime(&rowTime);
    EXPECT_EQ(rowTime, 1);
    // Int row times pass through as written.
    Select(3);
    lumostub::SetOutValues("Lumo03CameraGetRowTime", {57});
    VekCameraGetRowTime(&rowTime);
    EXPECT_EQ(rowTime, 57);
}

TEST_F(HubAdaptation, MaxExposureTimeIsTheDriversValueNotItsResult) {
    for (int id : {1, 3, 4, 18, 26, 27, 29, 33, 34, 38}) {
        SCOPED_TRACE(id);
        Select(id);
        lumostub::SetResult(LumoFn(id, "GetMaxExposureTime"), 1);
        lumostub::SetOutValues(LumoFn(id, "GetMaxExposureTime"), {40000});
        EXPECT_EQ(VekCameraGetMaxExposureTime(), 40000);
    }
    // A driver that writes nothing: the preset 0.
    Select(1);
    EXPECT_EQ(VekCameraGetMaxExposureTime(), 0);
    // Ids 31 and 32 ask GetMaxExposure and are capped.
    for (int id : {31, 32}) {
        Select(id);
        lumostub::SetOutValues(LumoFn(id, "GetMaxExposure"), {40000});
        EXPECT_EQ(VekCameraGetMaxExposureTime(), 27000);
        EXPECT_EQ(lumostub::CallNames(), std::vector<std::string>{LumoFn(id, "GetMaxExposure")});
        lumostub::SetOutValues(LumoFn(id, "GetMaxExposure"), {26999});
        EXPECT_EQ(VekCameraGetMaxExposureTime(), 26999);
    }
    // Everyone else: 0 without asking.
    for (int id : {8, 10, 14, 16, 17, 21, 25, 30, 35, 36, 37}) {
        Select(id);
        EXPECT_EQ(VekCameraGetMaxExposureTime(), 0);
        EXPECT_TRUE(lumostub::Calls().empty()) << id;
    }
}

TEST_F(HubAdaptation, FrameSpeedNumbersAreMappedPerModel) {
    // Speed the caller sets -> speed the driver receives.
    const std::map<int, std::map<int, int>> sent = {
        {30, {{0, 2}, {1, 1}, {2, 2}, {3, 3}}}, {31, {{0, 1}, {1, 0}, {2, 2}, {3, 3}}},
        {32, {{0, 1}, {1, 0}, {2, 2}}},         {33, {{0, 2}, {1, 1}, {3, 3}}},
        {34, {{0, 2}, {1, 1}}},                 {35, {{0, 2}, {1, 1}}},
        {36, {{0, 2}, {4, 4}}},                 {37, {{0, 2}, {1, 1}}},
        {38, {{0, 2}, {1, 1}}},                 {1, {{0, 0}, {1, 1}, {2, 2}}},
        {29, {{0, 0}, {3, 3}}},                 {10, {{0, 0}, {2, 2}}},
    };
    for (const auto& [id, mapping] : sent) {
        for (const auto& [in, out] : mapping) {
            SCOPED_TRACE(std::to_string(id) + " sets " + std::to_string(in));
            Select(id);
            VekCameraSetFrameSpeed(in);
            EXPECT_EQ(ArgsOf(LumoFn(id, "SetFrameSpeed")), std::vector<int64_t>{out});
        }
    }
    // Byte the driver reports -> byte the caller reads.
    const std::map<int, std::map<int, int>> read = {
        {30, {{0, 0}, {1, 1}, {2, 0}, {3, 0}}}, {31, {{0, 1}, {1, 0}, {2, 0}}},
        {32, {{0, 1}, {1, 0}, {5, 0}}},         {33, {{0, 0}, {1, 0}, {2, 0}}},
        {34, {{1, 1}, {2, 0}}},                 {35, {{1, 1}, {2, 0}}},
        {36, {{1, 1}, {3, 0}}},                 {37, {{1, 1}, {2, 0}}},
        {38, {{1, 1}, {2, 0}}},                 {13, {{0, 0}, {3, 3}}},
        {27, {{2, 2}}},
    };
    for (const auto& [id, mapping] : read) {
        for (const auto& [driver, caller] : mapping) {
            SCOPED_TRACE(std::to_string(id) + " reads " + std::to_string(driver));
            Select(id);
            lumostub::SetOutValues(LumoFn(id, "GetFrameSpeed"), {static_cast<double>(driver)});
            BYTE speed = 99;
            VekCameraGetFrameSpeed(&speed);
            EXPECT_EQ(speed, caller);
        }
    }
    // The speed mode reaches the same driver function unmapped.
    Select(31);
    VekCameraSetSpeedMode(0);
    EXPECT_EQ(ArgsOf("Lumo31CameraSetFrameSpeed"), std::vector<int64_t>{0});
    lumostub::SetOutValues("Lumo31CameraGetFrameSpeed", {0});
    BYTE mode = 99;
    VekCameraGetSpeedMode(&mode);
    EXPECT_EQ(mode, 0);
}

TEST_F(HubAdaptation, ValuesAndOutParametersPassThroughUnchanged) {
    Select(3);
    VekCameraSetGain(70, 64, 90);
    VekCameraSetMirror(1, 1);
    VekCameraSetExposureTime(4000000000u);
    const std::vector<LumoStubCall> calls = lumostub::Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].args, (std::vector<int64_t>{70, 64, 90}));
    EXPECT_EQ(calls[1].args, (std::vector<int64_t>{1, 1}));
    EXPECT_EQ(calls[2].args, std::vector<int64_t>{4000000000LL});

    lumostub::SetOutValues("Lumo03CameraGetGain", {71, 65, 91});
    lumostub::SetOutValues("Lumo03CameraGetImageSize", {2592, 1944});
    lumostub::SetOutValues("Lumo03CameraGetExposureTime", {0});
    int r = 0, g = 0, b = 0, w = 0, h = 0, ms = 5;
    VekCameraGetGain(&r, &g, &b);
    VekCameraGetImageSize(&w, &h);
    VekCameraGetExposureTime(&ms);
    EXPECT_EQ((std::vector<int>{r, g, b, w, h, ms}), (std::vector<int>{71, 65, 91, 2592, 1944, 0}));
    // Only id 28 asks again for an exposure of 0.
    const std::vector<std::string> names = lumostub::CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Lumo03CameraGetExposureTime"), 1);
}

}  // namespace
