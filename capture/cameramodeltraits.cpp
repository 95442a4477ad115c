#include "capture/cameramodeltraits.h"

#include <array>
#include <initializer_list>

namespace {

constexpr int kLastId = 38;
using Table = std::array<CameraModelTraits, kLastId + 1>;

template <typename T>
constexpr void Set(Table& t, T CameraModelTraits::*trait, T value, std::initializer_list<int> ids) {
    for (int id : ids) t[static_cast<size_t>(id)].*trait = value;
}

constexpr void Mark(Table& t, bool CameraModelTraits::*trait, std::initializer_list<int> ids) {
    Set(t, trait, true, ids);
}

constexpr void Variants(Table& t, int color, int mono) {
    Set(t, &CameraModelTraits::colorVariant, color, {color, mono});
    Set(t, &CameraModelTraits::monoVariant, mono, {color, mono});
}

// Each trait is one list of ids; a model's record is what the lists say about it.
constexpr Table Build() {
    using M = CameraModelTraits;
    Table t{};

    Mark(t, &M::videoDevice, {0});
    Mark(t, &M::noCamera, {29});
    Mark(t, &M::opensInLongExposure, {9, 10, 11, 12, 13, 14, 16, 17, 21, 23, 24, 25, 37, 38});
    Variants(t, 3, 18);
    Variants(t, 13, 12);
    Variants(t, 23, 17);
    Mark(t, &M::colorAndChsEntries, {8});

    for (int id = 1; id <= kLastId; ++id) t[static_cast<size_t>(id)].hasModel = true;
    Set(t, &M::hasModel, false, {2, 5, 6, 7, 9, 15, 19, 20, 22, 29});
    for (M& m : t) m.saturationConversion = m.hasModel;
    Set(t, &M::saturationConversion, false, {18});
    Mark(t, &M::separateResolutions, {1, 3, 4, 27, 28, 30, 31, 32, 35, 36});
    Mark(t, &M::fineMode, {14});
    Mark(t, &M::monoWithWhiteBalance, {18});
    Set(t, &M::saturationLimit, 1, {10});
    Set(t, &M::aeTargetDefault, -5, {25});
    Set(t, &M::defaultPreviewRes, BYTE{2}, {1, 25, 27, 28});
    Set(t, &M::defaultPreviewRes, BYTE{1}, {3, 4, 21, 26, 30, 35});
    Set(t, &M::defaultPreviewRes, BYTE{4}, {14});
    Set(t, &M::defaultCaptureRes, BYTE{4}, {14});
    Set(t, &M::defaultCaptureRes, BYTE{1}, {21, 26});
    Set(t, &M::defaultCaptureRes, BYTE{2}, {25});
    Set(t, &M::profileSection, M::kLumoProfSection,
        {1, 3, 4, 8, 10, 11, 12, 13, 14, 16, 17, 21, 23, 24, 25, 26, 27, 28, 30, 33, 34, 35, 36, 37, 38});
    Set(t, &M::profileSection, M::kLumoDashSection, {31, 32});
    Mark(t, &M::firstUseKey,
         {1, 3, 4, 8, 10, 11, 12, 13, 14, 16, 17, 21, 23, 24, 25, 26, 30, 31, 32, 33, 34, 35, 36, 37, 38});

    Mark(t, &M::directExposure, {1, 3, 4, 8, 18, 26, 27, 28, 30, 31, 32, 35, 36});
    Mark(t, &M::pausedExposure, {10, 11, 12, 13, 14, 16, 17, 21, 23, 24, 25, 33, 34, 37, 38});

    // The models whose raw frames carry more than the picture.
    Set(t, &M::rawBytes, size_t{10506240}, {14});
    Set(t, &M::rawBytes, size_t{4177920}, {16, 17, 23});
    Set(t, &M::rawBytes, size_t{18337536}, {21});
    Set(t, &M::rawBytes, size_t{23970816}, {25});
    Set(t, &M::rawBytes, size_t{8355840}, {33, 34, 37, 38});
    Mark(t, &M::sensorWindowMean, {14});

    Mark(t, &M::snapIgnoresLongExposure, {37, 38});
    Mark(t, &M::delayedSnap, {9, 10, 11, 12, 13, 14, 16, 17, 21, 23, 24, 33, 34, 37, 38});
    // The delayed-snap models but 17, which captures every type to file.
    Mark(t, &M::decodedSnap, {9, 10, 11, 12, 13, 14, 16, 21, 23, 24, 33, 34, 37, 38});
    Mark(t, &M::wideTiffCapture, {16});
    Mark(t, &M::writesNoSnap, {29});
    return t;
}

constexpr Table kTraits = Build();

constexpr CameraModelTraits NoCamera() {
    CameraModelTraits m{};
    m.noCamera = true;
    return m;
}

constexpr CameraModelTraits kNoCamera = NoCamera();
constexpr CameraModelTraits kUnknown{};

}  // namespace

const CameraModelTraits& CameraModelTraits::Of(int id) {
    if (id == -1) return kNoCamera;
    if (id < 0 || id > kLastId) return kUnknown;
    return kTraits[static_cast<size_t>(id)];
}
