// Every id's traits against the model lists, written here as the lists give them ("9-14, 16"),
// with "ids: value; ids: value" for the traits that carry a value.
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "capture/cameramodeltraits.h"

namespace {

using M = CameraModelTraits;

// "ids: value; ids: value", ids as "-1, 3-5"; an entry without a value means 1.
std::map<int, long long> Values(const std::string& spec) {
    std::map<int, long long> out;
    std::stringstream entries(spec);
    std::string entry, item;
    while (std::getline(entries, entry, ';')) {
        const size_t colon = entry.find(':');
        const long long value = colon == std::string::npos ? 1 : std::stoll(entry.substr(colon + 1));
        std::stringstream ids(entry.substr(0, colon));
        while (std::getline(ids, item, ',')) {
            const size_t dash = item.find('-', item.find_first_of("0123456789"));  // not a minus sign
            const int first = std::stoi(item);
            const int last = dash == std::string::npos ? first : std::stoi(item.substr(dash + 1));
            for (int id = first; id <= last; ++id) out[id] = value;
        }
    }
    return out;
}

// Ids -1..40: listed ids have their value, every other id `otherwise`.
template <typename T>
void Expect(T M::*trait, const std::map<int, long long>& listed, long long otherwise, const char* name) {
    for (int id = -1; id <= 40; ++id) {
        const auto it = listed.find(id);
        EXPECT_EQ(static_cast<long long>(M::Of(id).*trait), it == listed.end() ? otherwise : it->second)
            << name << " of id " << id;
    }
}

void ExpectSet(bool M::*trait, const std::string& ids, const char* name) { Expect(trait, Values(ids), 0, name); }

}  // namespace

TEST(CameraModelTraits, EveryIdIsInExactlyTheListedSets) {
    ExpectSet(&M::videoDevice, "0", "videoDevice");
    ExpectSet(&M::noCamera, "-1, 29", "noCamera");
    ExpectSet(&M::opensInLongExposure, "9-14, 16, 17, 21, 23-25, 37, 38", "opensInLongExposure");
    ExpectSet(&M::colorAndChsEntries, "8", "colorAndChsEntries");
    ExpectSet(&M::hasModel, "1, 3, 4, 8, 10-14, 16-18, 21, 23-28, 30-38", "hasModel");
    ExpectSet(&M::saturationConversion, "1, 3, 4, 8, 10-14, 16, 17, 21, 23-28, 30-38", "saturationConversion");
    ExpectSet(&M::separateResolutions, "1, 3, 4, 27, 28, 30-32, 35, 36", "separateResolutions");
    ExpectSet(&M::fineMode, "14", "fineMode");
    ExpectSet(&M::monoWithWhiteBalance, "18", "monoWithWhiteBalance");
    ExpectSet(&M::firstUseKey, "1, 3, 4, 8, 10-14, 16, 17, 21, 23-26, 30-38", "firstUseKey");
    ExpectSet(&M::directExposure, "1, 3, 4, 8, 18, 26-28, 30-32, 35, 36", "directExposure");
    ExpectSet(&M::pausedExposure, "10-14, 16, 17, 21, 23-25, 33, 34, 37, 38", "pausedExposure");
    ExpectSet(&M::sensorWindowMean, "14", "sensorWindowMean");
    ExpectSet(&M::snapIgnoresLongExposure, "37, 38", "snapIgnoresLongExposure");
    ExpectSet(&M::delayedSnap, "9-14, 16, 17, 21, 23, 24, 33, 34, 37, 38", "delayedSnap");
    ExpectSet(&M::decodedSnap, "9-14, 16, 21, 23, 24, 33, 34, 37, 38", "decodedSnap");
    ExpectSet(&M::wideTiffCapture, "16", "wideTiffCapture");
    ExpectSet(&M::writesNoSnap, "29", "writesNoSnap");
}

TEST(CameraModelTraits, ValuesOfEveryIdMatchTheLists) {
    Expect(&M::rawBytes, Values("14: 10506240; 16, 17, 23: 4177920; 21: 18337536; 25: 23970816; 33, 34, 37, 38: 8355840"),
           0, "rawBytes");
    Expect(&M::defaultPreviewRes, Values("1, 25, 27, 28: 2; 3, 4, 21, 26, 30, 35: 1; 14: 4"), 0, "defaultPreviewRes");
    Expect(&M::defaultCaptureRes, Values("14: 4; 21, 26: 1; 25: 2"), 0, "defaultCaptureRes");
    Expect(&M::saturationLimit, Values("10: 1"), 20, "saturationLimit");
    Expect(&M::aeTargetDefault, Values("25: -5"), 0, "aeTargetDefault");
    Expect(&M::profileSection,
           Values("1, 3, 4, 8, 10-14, 16, 17, 21, 23-28, 30, 33-38: " + std::to_string(M::kLumoProfSection) +
                  "; 31, 32: " + std::to_string(M::kLumoDashSection)),
           M::kUnknownSection, "profileSection");
    // "Color  Camera" and "Monochrome Camera" of each pair, asked from either id of the pair.
    Expect(&M::colorVariant, Values("3, 18: 3; 12, 13: 13; 17, 23: 23"), 0, "colorVariant");
    Expect(&M::monoVariant, Values("3, 18: 18; 12, 13: 12; 17, 23: 17"), 0, "monoVariant");
}
