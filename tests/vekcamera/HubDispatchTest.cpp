// Which camera ids reach which driver function, export by export: a listed id calls its own
// library's operation once and gets the driver's result back unchanged; every other id gets the
// export's default and no driver is called. The id lists are the model tables of the hub.
#include <dlfcn.h>

#include <cstdio>
#include <functional>
#include <set>

#include "HubTestSupport.h"

namespace {

using IdList = std::set<int>;

IdList Range(int first, int last) {
    IdList s;
    for (int i = first; i <= last; ++i)
        s.insert(i);
    return s;
}
IdList Join(std::initializer_list<IdList> parts) {
    IdList s;
    for (const IdList& p : parts)
        s.insert(p.begin(), p.end());
    return s;
}
IdList Minus(IdList s, std::initializer_list<int> ids) {
    for (int id : ids)
        s.erase(id);
    return s;
}

const IdList kD = Join({{1, 3, 4, 8}, Range(10, 14), {16, 17, 18, 21}, Range(23, 38)});
const IdList kGain = Join({{1, 3, 4, 8}, Range(10, 14), {21, 23}, Range(25, 32), {35, 36}});

struct ExportCase {
    const char* name;
    std::string op;
    IdList ids;
    std::function<int()> call;
    int defaultResult;
    bool idZeroIsVideoDevice;  // id 0 is served by the video-device path, tested elsewhere
    IdList elsewhere = {};     // ids this export sends to another operation or library
};

std::vector<ExportCase> Cases() {
    static BYTE raw[16];
    static BYTE rgb[16];
    static int a, b, c;
    static BYTE byte;
    return {
        {"Init", "Init", kD, [] { return VekCameraInit(2, nullptr, nullptr); }, 0, true},
        {"UnInit", "UnInit", kD, [] { return VekCameraUnInit(); }, 0, true},
        {"Play", "Play", kD, [] { return VekCameraPlay(); }, 1, true},
        {"Stop", "Stop", Minus(kD, {32}), [] { return VekCameraStop(); }, 0, true, {32}},
        {"GrabFrame", "GrabFrame", kD, [] { return VekCameraGrabFrame(raw); }, 0, false},
        {"Decode", "Decode", kD, [] { return VekCameraDecode(raw, rgb, 4, 1); }, 0, false},
        {"CaptureFile", "CaptureFile", kD, [] { return VekCameraCaptureFile("/tmp/x", 2, 1); }, 0, true},
        {"GetImageSize", "GetImageSize", kD, [] { return VekCameraGetImageSize(&a, &b); }, 0, false},
        {"GetImageDataRGB24", "GetImageDataRGB24", Minus(kD, {28}), [] { return VekCameraGetImageDataRGB24(rgb); }, 0, false},
        {"GetImageData", "GetImageData", {1, 3, 4, 27, 30, 35}, [] { return VekCameraGetImageData(rgb); }, 0, false, {33, 34, 38}},
        {"GetImageData/RGB24", "GetImageDataRGB24", {33, 34, 38}, [] { return VekCameraGetImageData(rgb); }, 0, false,
         {1, 3, 4, 27, 30, 35}},
        {"SetResolution", "SetResolution", {29}, [] { return VekCameraSetResolution(1); }, 0, false},
        {"GetResolution", "GetResolution", {29}, [] { return VekCameraGetResolution(&a); }, 0, false},
        {"SetAeState", "SetAeState", Minus(kD, {33, 34}), [] { return VekCameraSetAeState(1); }, 0, false},
        {"GetAeState", "GetAeState", Minus(kD, {33, 34}), [] { return VekCameraGetAeState(&a); }, 0, false},
        {"SetAeTarget", "SetAeTarget", Minus(kD, {16, 33, 34}), [] { return VekCameraSetAeTarget(120); }, 0, false, {16}},
        {"GetAeTarget", "GetAeTarget", Minus(kD, {16, 33, 34}), [] { return VekCameraGetAeTarget(&a); }, 0, false, {16}},
        {"SetAWBState", "SetAWBState", Join({{1, 3, 4, 8, 11, 13, 14, 21, 23}, Range(25, 32), {35, 36}}),
         [] { return VekCameraSetAWBState(1); }, 0, false},
        {"SetExposureTime", "SetExposureTime", kD, [] { return VekCameraSetExposureTime(50); }, 0, false},
        {"GetExposureTime", "GetExposureTime", kD, [] { a = 7; return VekCameraGetExposureTime(&a); }, 0, false},
        {"GetRowTime", "GetRowTime", Minus(kD, {16}), [] { return VekCameraGetRowTime(&a); }, 0, false, {16}},
        {"ReStartLongExpTime/cancel", "CancelLongExposure", Range(10, 13), [] { return VekCameraReStartLongExpTime(0); }, 0, false,
         {14, 16, 17, 21, 23, 24, 25, 29, 33, 34, 37, 38}},
        {"ReStartLongExpTime/restart", "RestartLongExposure", {14, 16, 17, 21, 23, 24, 25, 29, 33, 34, 37, 38},
         [] { return VekCameraReStartLongExpTime(0); }, 0, false, Range(10, 13)},
        {"SetAnalogGain", "SetAnalogGain", kD, [] { return VekCameraSetAnalogGain(10); }, 0, false},
        {"GetAnalogGain", "GetAnalogGain", kD, [] { return VekCameraGetAnalogGain(&a); }, 0, false},
        {"SetGain", "SetGain", kGain, [] { return VekCameraSetGain(64, 64, 64); }, 0, false},
        {"GetGain", "GetGain", kGain, [] { return VekCameraGetGain(&a, &b, &c); }, 0, false},
        {"SetGamma", "SetGamma", kD, [] { return VekCameraSetGamma(50); }, 0, false},
        {"GetGamma", "GetGamma", kD, [] { return VekCameraGetGamma(&a); }, 0, false},
        {"SetSaturation", "SetSaturation", kGain, [] { return VekCameraSetSaturation(50); }, 0, false},
        {"GetSaturation", "GetSaturation", kGain, [] { return VekCameraGetSaturation(&a); }, 0, false},
        {"SetColorEnhancement", "SetColorEnhancement", Minus(kD, {18, 33, 34, 37, 38}),
         [] { return VekCameraSetColorEnhancement(1); }, 0, false},
        {"GetColorEnhancement", "GetColorEnhancement", Minus(kD, {18, 33, 34, 37, 38}),
         [] { return VekCameraGetColorEnhancement(&a); }, 0, false},
        {"SetDataWide", "SetDataWide", Join({Range(11, 14), {16, 17, 21, 23, 24, 25, 29}, Range(31, 34), {37, 38}}),
         [] { return VekCameraSetDataWide(1); }, 0, false, {10}},
        {"GetDataWide", "GetDataWide", Join({Range(11, 14), {16, 17, 21, 23, 24, 25, 29}, Range(31, 34), {37, 38}}),
         [] { return VekCameraGetDataWide(&a); }, 0, false, {10}},
        {"SetDataWide/10", "SetDataDataWide", {10}, [] { return VekCameraSetDataWide(1); }, 0, false,
         Join({Range(11, 14), {16, 17, 21, 23, 24, 25, 29}, Range(31, 34), {37, 38}})},
        {"GetDataWide/10", "GetDataDataWide", {10}, [] { return VekCameraGetDataWide(&a); }, 0, false,
         Join({Range(11, 14), {16, 17, 21, 23, 24, 25, 29}, Range(31, 34), {37, 38}})},
        {"SetContrast", "SetContrast", kD, [] { return VekCameraSetContrast(5); }, 0, false},
        {"GetContrast", "GetContrast", kD, [] { return VekCameraGetContrast(&a); }, 0, false},
        {"SetMirror", "SetMirror", kD, [] { return VekCameraSetMirror(1, 1); }, 0, false},
        {"GetMirror", "GetMirror", kD, [] { return VekCameraGetMirror(1, &a); }, 0, false},
        {"SetMonochrome", "SetMonochrome", Join({kGain, {18}}), [] { return VekCameraSetMonochrome(1); }, 0, false},
        {"GetMonochrome", "GetMonochrome", Join({kGain, {18}}), [] { return VekCameraGetMonochrome(&a); }, 0, false},
        {"SetFrameSpeed", "SetFrameSpeed", Join({{1, 3, 4, 8, 10, 11, 12, 18}, Range(26, 38)}),
         [] { return VekCameraSetFrameSpeed(1); }, 0, false},
        {"GetFrameSpeed", "GetFrameSpeed", Join({{1, 3, 4, 8, 10, 11, 12, 13, 18}, Range(26, 38)}),
         [] { return VekCameraGetFrameSpeed(&byte); }, 0, false},
        {"SetSpeedMode", "SetFrameSpeed", {14, 16, 17, 21, 23, 24, 25, 31, 32, 37},
         [] { return VekCameraSetSpeedMode(1); }, 0, false},
        {"GetSpeedMode", "GetFrameSpeed", {14, 16, 17, 21, 23, 24, 25, 28, 31, 32, 37},
         [] { return VekCameraGetSpeedMode(&byte); }, 0, false},
        {"SetLightFrquency", "SetLightFrquency", {1, 3, 4, 8, 18, 26, 27}, [] { return VekCameraSetLightFrquency(1); }, 0, false},
        {"GetLightFrquency", "GetLightFrquency", {1, 3, 4, 8, 18, 26, 27}, [] { return VekCameraGetLightFrquency(&a); }, 0, false},
        {"SetB2RGBMode", "SetB2RGBMode", {1, 3, 4, 27}, [] { return VekCameraSetB2RGBMode(1); }, 0, false},
        {"GetB2RGBMode", "GetB2RGBMode", {1, 3, 4, 27}, [] { return VekCameraGetB2RGBMode(&a); }, 0, false},
        {"GetFPS", "GetFPS", {1, 3, 4, 8, 26}, [] { return VekCameraGetFPS(&a); }, 0, false},
        {"SetVideoMessage", "SetVideoMessage", kD, [] { return VekCameraSetVideoMessage(1200); }, 0, false},
        {"DisplayEnable", "DisplayEnable", kD, [] { return VekCameraDisplayEnable(0); }, 0, false},
        {"SaveParameter", "SaveParameter", kD, [] { return VekCameraSaveParameter(2); }, 0, false},
        {"ReadParameter", "ReadParameter", kD, [] { return VekCameraReadParameter(2); }, 0, false},
        {"GetCurrentParameterTeam", "GetCurrentParameterTeam", kD, [] { return VekCameraGetCurrentParameterTeam(&byte); }, 0, false},
    };
}

class HubDispatch : public HubTest {};

TEST_F(HubDispatch, EachExportReachesExactlyItsListedIdsAndPassesTheResultThrough) {
    for (const ExportCase& c : Cases()) {
        for (int id = -1; id <= 40; ++id) {
            if (id == 28 || (id == 0 && c.idZeroIsVideoDevice) || c.elsewhere.count(id))
                continue;  // 28 is Ferrocam's; id 0's path has its own tests
            SCOPED_TRACE(std::string(c.name) + " id " + std::to_string(id));
            Select(id);
            const bool listed = c.ids.count(id) != 0;
            const std::string fn = LumoFn(id, c.op);
            if (listed)
                lumostub::SetResult(fn, 40 + id);  // a result no default could produce
            const int result = c.call();
            const std::vector<std::string> calls = lumostub::CallNames();
            if (!listed) {
                EXPECT_EQ(result, c.defaultResult);
                EXPECT_TRUE(calls.empty()) << calls.front();
                continue;
            }
            EXPECT_EQ(result, 40 + id);
            EXPECT_EQ(std::count(calls.begin(), calls.end(), fn), 1);
            for (const std::string& call : calls)
                EXPECT_EQ(call.rfind(LumoPrefix(id), 0), 0u) << call;
        }
    }
}

// The functions the hub takes from the outside libraries, as nm lists its undefined symbols.
std::set<std::string> ImportedLumoFunctions() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&VekCameraInit), &info) || !info.dli_fname)
        return {};
    const std::string command = std::string("nm -D --undefined-only '") + info.dli_fname + "' 2>/dev/null";
    std::set<std::string> names;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) {
            char type[8];
            char name[256];
            if (std::sscanf(line, "%7s %255s", type, name) == 2 && std::string(name).rfind("Lumo", 0) == 0)
                names.insert(name);
        }
        pclose(pipe);
    }
    return names;
}

TEST_F(HubDispatch, BindsOnlyTheDriverFunctionsItsModelsUse) {
    // A library that exports just what its models are called for must be enough for the hub to
    // load, so the hub may import nothing else.
    std::set<std::string> expected;
    auto add = [&](const IdList& ids, const std::string& op) {
        for (int id : ids)
            if (id != 28)
                expected.insert(LumoFn(id, op));
    };
    for (const ExportCase& c : Cases())
        add(c.ids, c.op);
    add({1, 3, 4, 18, 26, 27, 29, 33, 34, 38}, "GetMaxExposureTime");
    add({31, 32}, "GetMaxExposure");
    add({14}, "SetROI");
    add({17}, "SetLongExpPower");
    add({10}, "GetRowTime");  // also for id 16
    add({25}, "SetFrameSpeed");
    const std::set<std::string> imported = ImportedLumoFunctions();
    if (imported.empty())
        GTEST_SKIP() << "nm cannot read the hub's symbol table";
    std::vector<std::string> extra, missing;
    std::set_difference(imported.begin(), imported.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    std::set_difference(expected.begin(), expected.end(), imported.begin(), imported.end(), std::back_inserter(missing));
    EXPECT_TRUE(extra.empty()) << extra.size() << " unused, first " << extra.front();
    EXPECT_TRUE(missing.empty()) << missing.size() << " missing, first " << missing.front();
}

TEST_F(HubDispatch, AModelLibraryThatDoesNotAnswerReportsNoDevice) {
    // Without a scripted result the stand-ins answer as drivers with no device.
    Select(1);
    EXPECT_EQ(VekCameraInit(0, nullptr, nullptr), CAMERA_NODEVICE);
    BYTE raw[4];
    EXPECT_EQ(VekCameraGrabFrame(raw), CAMERA_NODEVICE);
}

TEST_F(HubDispatch, IdsWithoutDriverAnswerEveryExportWithItsDefault) {
    for (int id : {2, 5, 6, 7, 9, 15, 19, 20, 22, 39, 99, -7}) {
        SCOPED_TRACE(id);
        Select(id);
        BYTE byte = 0;
        int v = 0;
        EXPECT_EQ(VekCameraPlay(), 1);
        EXPECT_EQ(VekCameraStop(), 0);
        EXPECT_EQ(VekCameraInit(1, nullptr, nullptr), 0);
        EXPECT_EQ(VekCameraGetFrameSpeed(&byte), 0);
        EXPECT_EQ(VekCameraGetMaxExposureTime(), 0);
        EXPECT_EQ(VekCameraGetRowTime(&v), 0);
        EXPECT_EQ(VekCameraDecodeType(), 4);
        EXPECT_TRUE(lumostub::Calls().empty());
    }
}

}  // namespace
