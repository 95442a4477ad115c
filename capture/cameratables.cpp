#include "capture/cameratables.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "capture/cameramodeltraits.h"

namespace {

// Native gains of levels 1, 2, 3, ... per model group.
struct GainTable {
    std::vector<int> ids;
    std::vector<int> natives;
};

const std::vector<GainTable>& GainTables() {
    static const std::vector<GainTable> tables = {
        {{10, 11, 16, 33, 37, 38}, {216, 345, 445, 504, 570}},
        {{12, 13, 17, 23, 34}, {87, 171, 274, 345, 399, 445, 504, 570}},
        {{14}, {180, 345, 445, 504}},
        {{21}, {25, 87, 171, 274, 345, 399, 445, 504, 570}},
        {{24, 25}, {228, 400, 500, 571}},
        {{1, 3, 4, 8, 18, 26, 27, 30, 35, 36}, {1, 8, 16, 32, 36, 40, 44, 48}},
        {{28}, {20, 28, 44, 68, 100, 140, 188, 214}},
        {{31, 32}, {0, 20, 28, 44, 68, 100, 120}},
    };
    return tables;
}

const std::vector<int>* GainsOf(int id) {
    for (const GainTable& t : GainTables())
        for (int v : t.ids)
            if (v == id)
                return &t.natives;
    return nullptr;
}

bool HasModel(int id) { return CameraModelTraits::Of(id).hasModel; }

int LowByte(int v) { return v & 0xFF; }

constexpr int kExposureTable[kExposureTableSize] = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    24, 28, 33, 39, 45, 53, 61, 71, 83, 97, 113, 132, 154, 179, 209, 244, 284, 331, 386, 449,
    524, 610, 711, 828, 965, 1124, 1310, 1526, 1778, 2071, 2413, 2811, 3275, 3815, 4445, 5179,
    6033, 7029, 8188, 9540, 11114, 12948, 15084, 17573, 20473, 23851, 27786, 32371, 37712,
    43935, 51184, 59630, 69469, 80931, 94285, 109842, 127966, 149080, 173678, 202335, 235721,
    274615, 319926, 372714, 434212, 505857, 589324, 686562, 799845, 931819, 1085570, 1264689,
    1473363, 1716467, 1999684, 2329632, 2714022, 3161835, 3599999,
};
static_assert(sizeof(kExposureTable) / sizeof(kExposureTable[0]) == kExposureTableSize);

}  // namespace

int GainLevelFromDevice(int cameraId, int nativeGain) {
    const std::vector<int>* gains = GainsOf(cameraId);
    if (!gains)
        return 1;
    const int native = nativeGain & 0xFFFF;
    const int count = static_cast<int>(gains->size());
    for (int i = 0; i < count; ++i)
        if ((*gains)[i] >= native)
            return i + 1;
    return count;
}

int GainDeviceFromLevel(int cameraId, int level) {
    const std::vector<int>* gains = GainsOf(cameraId);
    if (!gains || level < 1 || level > static_cast<int>(gains->size()))
        return 0;
    return (*gains)[level - 1];
}

int GainLevelCount(int cameraId) {
    const std::vector<int>* gains = GainsOf(cameraId);
    return gains ? static_cast<int>(gains->size()) : 0;
}

int GammaLevelFromDevice(int cameraId, int native) {
    if (!HasModel(cameraId))
        return -20;
    const int n = LowByte(native);
    if (n >= 100)
        return static_cast<int>((n - 100) * 0.4);
    return (n - 100) / 4;
}

int GammaDeviceFromLevel(int cameraId, int level) {
    if (!HasModel(cameraId))
        return 0;
    if (level < 0)
        return level * 4 + 100;
    return static_cast<int>(level * 2.5 + 100);
}

int ContrastLevelFromDevice(int cameraId, int native) {
    if (!HasModel(cameraId))
        return -20;
    const int n = LowByte(native);
    return n > 20 ? (n - 20) / 4 : -n;
}

int ContrastDeviceFromLevel(int cameraId, int level) {
    if (!HasModel(cameraId))
        return 0;
    return level > 0 ? level * 4 + 20 : -level;
}

int SaturationLevelFromDevice(int cameraId, int native) {
    if (!CameraModelTraits::Of(cameraId).saturationConversion)
        return -20;
    return (LowByte(native) - 128) / 6;
}

int SaturationDeviceFromLevel(int cameraId, int level) {
    if (!CameraModelTraits::Of(cameraId).saturationConversion)
        return 0;
    return level * 6 + 128;
}

int AeTargetDeviceFromLevel(int level) {
    const int v = level < 0 ? 100 + 12 * level : 100 + 20 * level;
    return v & 0xFF;
}

int AeTargetLevelFromDevice(int native) {
    const int n = LowByte(native);
    return n >= 100 ? (n - 81) / 20 : (n - 111) / 12;
}

int ExposureIndexFromMs(unsigned int ms) {
    for (int i = 0; i < kExposureTableSize; ++i)
        if (static_cast<unsigned int>(kExposureTable[i]) >= ms)
            return i;
    return 0;
}

int ExposureMsFromIndex(int index) {
    if (index < 0)
        index = 0;
    if (index >= kExposureTableSize)
        index = kExposureTableSize - 1;
    return kExposureTable[index];
}

BYTE DefaultPreviewRes(int cameraId) { return CameraModelTraits::Of(cameraId).defaultPreviewRes; }

BYTE DefaultCaptureRes(int cameraId) { return CameraModelTraits::Of(cameraId).defaultCaptureRes; }

std::string CameraModelName(int cameraId) {
    char name[16];
    switch (CameraModelTraits::Of(cameraId).profileSection) {
    case CameraModelTraits::kLumoProfSection:
        std::snprintf(name, sizeof name, "LumoProf%02d", cameraId);
        return name;
    case CameraModelTraits::kLumoDashSection:
        std::snprintf(name, sizeof name, "LUMO-%d", cameraId);
        return name;
    default:
        return "UNKNOW";
    }
}
