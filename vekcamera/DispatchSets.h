// Which camera ids each export serves, and from that which driver functions the hub binds.
// The exports decide by these sets at run time; the driver table binds a library's function
// only when one of the sets sends a call to it, so a library that exports just the operations
// its model uses still loads.
#pragma once

#include "vekcamera/IdSet.h"

namespace dispatch {

// The ids with a driver library.
constexpr IdSet kDriverIds = IdSet{1, 3, 4, 8} | IdSet::Range(10, 14) | IdSet{16, 17, 18, 21} | IdSet::Range(23, 38);
constexpr IdSet kGainIds = IdSet{1, 3, 4, 8} | IdSet::Range(10, 14) | IdSet{21, 23} | IdSet::Range(25, 32) | IdSet{35, 36};
constexpr IdSet kMonochromeIds = kGainIds | IdSet{18};
constexpr IdSet kAeIds = kDriverIds.Without({33, 34});
constexpr IdSet kAwbIds = IdSet{1, 3, 4, 8, 11, 13, 14, 21, 23} | IdSet::Range(25, 32) | IdSet{35, 36};
constexpr IdSet kColorEnhancementIds = kDriverIds.Without({18, 33, 34, 37, 38});
constexpr IdSet kDataDataWideIds = IdSet{10};
constexpr IdSet kDataWideIds = IdSet::Range(11, 14) | IdSet{16, 17, 21, 23, 24, 25, 29} | IdSet::Range(31, 34) | IdSet{37, 38};
constexpr IdSet kSetFrameSpeedIds = IdSet{1, 3, 4, 8, 10, 11, 12, 18} | IdSet::Range(26, 38);
constexpr IdSet kGetFrameSpeedIds = kSetFrameSpeedIds | IdSet{13};
constexpr IdSet kSetSpeedModeIds = IdSet{14, 16, 17, 21, 23, 24, 25, 31, 32, 37};
constexpr IdSet kGetSpeedModeIds = kSetSpeedModeIds | IdSet{28};
constexpr IdSet kLightFrequencyIds = IdSet{1, 3, 4, 8, 18, 26, 27};
constexpr IdSet kB2RGBIds = IdSet{1, 3, 4, 27};
constexpr IdSet kFpsIds = IdSet{1, 3, 4, 8, 26};
constexpr IdSet kCancelLongExposureIds = IdSet::Range(10, 13);
constexpr IdSet kRestartLongExposureIds = IdSet{14, 16, 17, 21, 23, 24, 25, 29, 33, 34, 37, 38};
constexpr IdSet kMaxExposureTimeIds = IdSet{1, 3, 4, 18, 26, 27, 29, 33, 34, 38};
constexpr IdSet kMaxExposureIds = IdSet{31, 32};
constexpr IdSet kDecodeRunAeIds = IdSet{28, 32, 35, 36, 37, 38};
constexpr IdSet kImageDataIds = IdSet{1, 3, 4, 27, 30, 35};
constexpr IdSet kImageDataRGB24Ids = IdSet{33, 34, 38};
constexpr IdSet kResolutionIds = IdSet{29};

// Models served by another model's library for some operations.
constexpr int kBorrowsLibraryOf10 = 16;  // AeTarget and RowTime
constexpr int kRegionBeforeInit = 14;    // SetROI before Init
constexpr int kLongExpPowerOnPlay = 17;  // SetLongExpPower(1) before Play
constexpr int kFrameSpeedFromExposure = 25;
constexpr int kStopsWithPlay = 32;  // its Stop export calls Play

// The libraries whose functions the hub calls, per operation (a library is named by its own id).
constexpr IdSet kBindStop = kDriverIds.Without({kStopsWithPlay});
constexpr IdSet kBindRegion = IdSet{kRegionBeforeInit};
constexpr IdSet kBindLongExpPower = IdSet{kLongExpPowerOnPlay};
constexpr IdSet kBindAeTarget = kAeIds.Without({kBorrowsLibraryOf10}) | IdSet{10};
constexpr IdSet kBindRowTime = kDriverIds.Without({kBorrowsLibraryOf10}) | IdSet{10};
constexpr IdSet kBindImageDataRGB24 = kDriverIds.Without({28});
constexpr IdSet kBindSetFrameSpeed = kSetFrameSpeedIds | kSetSpeedModeIds | IdSet{kFrameSpeedFromExposure};
constexpr IdSet kBindGetFrameSpeed = kGetFrameSpeedIds | kGetSpeedModeIds;

}  // namespace dispatch
