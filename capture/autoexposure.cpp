#include "capture/autoexposure.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "capture/cameratables.h"
#include "vekcamera/VekCamera.h"

namespace {

// What a search step asks for: new values, or the search has reached its limit.
enum class Search { kStep, kGiveUp };

struct AeInputs {
    int c;  // target brightness
    int d;  // brightness difference, limited to c
    int m;  // clipped mean
    bool tooDark;
};

int Limit(int64_t value, int64_t cap) { return static_cast<int>(std::min(value, cap)); }

// A ceiling of 0 or less, or a result of 0 or less, gives 1.
int ClampToCeiling(int value, int ceiling) {
    if (ceiling <= 0 || value <= 0)
        return 1;
    return std::min(value, ceiling);
}

bool AtFloor(const CameraSettings& s) {
    return s.nExposureMs == s.nAeExpFloor && s.analogGain.nValue == s.nAeGainMin;
}

Search SearchMs(const CameraSettings& s, const AeInputs& in, int& e, int& g) {
    const int z1 = s.nAeExpZone1, z2 = s.nAeExpZone2, z3 = s.nAeExpZone3;
    const int ceiling = s.nAeExpCeiling;
    const int d = in.d, m = in.m;
    // m is at least 1 after clipping for every valid target; the guard keeps odd targets safe.
    const int64_t f = static_cast<int64_t>(d) * e / std::max(m, 1);

    if (in.tooDark) {
        if (e < z1) {
            e = d <= 43 ? e + 1 : e + Limit(f, 300);
        } else if (e < z2) {
            e += Limit(f, 100);
        } else if (g < s.nAeGainHigh) {
            ++g;
            e += Limit(f, m == 1 ? 100 : 50);
        } else if (e < z3) {
            e += Limit(f, 100);
        } else if (e > ceiling) {
            if (g >= s.nAeGainMax)
                return Search::kGiveUp;
            ++g;
            e += static_cast<int>(f);
        } else {
            if (g < s.nAeGainMax)
                ++g;
            e += Limit(f, 50);
        }
    } else {
        if (AtFloor(s))
            return Search::kGiveUp;
        if (g > s.nAeGainHigh) {
            if (m == 255) {
                if (e > z2)
                    e -= Limit(f, 300);
                if (e > z1)
                    e -= Limit(f, 200);
                else if (e > s.nAeExpFloor)
                    e -= Limit(f, 100);
            } else {
                e -= Limit(f, 100);
            }
            --g;
        } else if (e > z3) {
            e -= Limit(f, 500);
        } else if (e > z2) {
            e -= Limit(f, 300);
        } else if (g > s.nAeGainLow) {
            --g;
        } else {
            e -= Limit(f, e > z1 ? 100 : 10);
        }
    }
    e = ClampToCeiling(e, ceiling);
    g = ClampToCeiling(g, s.nAeGainMax);
    return Search::kStep;
}

// Exposure is a table index here; the steps come from the brightness difference.
Search SearchLong(const CameraSettings& s, const AeInputs& in, int& e, int& g) {
    const int z1 = s.nAeExpZone1, z2 = s.nAeExpZone2, z3 = s.nAeExpZone3;
    const int ceiling = s.nAeExpCeiling;
    const int d = in.d, m = in.m;

    if (in.tooDark) {
        if (g < s.nAeGainLow) {
            ++g;
            if (m == 1)
                e = std::min(e + (d > 3 ? d / 4 : 1), ceiling);
        } else if (e < z1) {
            e += d > 43 ? d / 4 : 1;
        } else if (e < z2) {
            e += d > 7 ? d / 8 : 1;
        } else if (e < z3) {
            e += d > 15 ? d / 16 : 1;
        } else {
            ++e;
            if (e <= ceiling) {
                if (g >= s.nAeGainHigh)
                    return Search::kGiveUp;
                ++g;
            } else if (g < s.nAeGainMax) {
                ++g;
            }
        }
    } else {
        if (AtFloor(s))
            return Search::kGiveUp;
        if (e > ceiling) {
            --e;
        } else if (g >= s.nAeGainHigh) {
            if (m == 255) {
                if (e > z2)
                    --e;
                if (e > z1)
                    e -= d > 3 ? d / 4 : 1;
                else if (e > s.nAeExpFloor)
                    e -= d > 1 ? d / 2 : 1;
            } else {
                --e;
            }
            --g;
        } else if (e > z3 || e > z2) {
            --e;
        } else if (g > s.nAeGainLow) {
            --g;
        } else if (e <= z1) {
            e -= d > 1 ? d / 2 : 1;
        } else {
            e -= d > 3 ? d / 4 : 1;
        }
    }
    e = ClampToCeiling(e, ceiling);
    g = ClampToCeiling(g, s.nAeGainMax);
    return Search::kStep;
}

}  // namespace

int AeTargetBrightness(int level) {
    const int c = level < 0 ? 100 + 12 * level : (level + 5) * 20;
    return c & 0xFF;
}

AeStepResult AutoExposureStepResult(CameraSettings& s, BYTE mean) {
    AeStepResult result;
    const int c = AeTargetBrightness(s.aeTarget.nValue);

    int m = mean;
    if (m < (c < 84 ? c / 4 : 20))
        m = 1;
    else if (m > (c < 56 ? 4 * c : 220))
        m = 255;

    s.nAeAverage = (s.nAeAverage + m) / 2;
    const int d = std::min(std::abs(s.nAeAverage - c) & 0xFF, c);
    if (d < 8) {
        s.nAeAverage = c;
        result.outcome = AeStepOutcome::kWithinTolerance;
        return result;
    }

    const AeInputs in{c, d, m, s.nAeAverage < c};
    int e = s.exposure.nValue;
    int g = s.analogGain.nValue & 0xFFFF;
    const Search search = s.bLongExposure ? SearchLong(s, in, e, g) : SearchMs(s, in, e, g);
    if (search == Search::kGiveUp) {
        s.nAeAverage = c;
        result.outcome = AeStepOutcome::kGaveUp;
        return result;
    }

    s.analogGain.nValue = std::clamp(g, s.nAeGainMin, std::max(s.nAeGainMin, s.nAeGainMax));
    s.exposure.nValue = e;
    s.nExposureMs = s.bLongExposure ? ExposureMsFromIndex(e) : e;

    if (s.bSpeedSwitching) {
        const BYTE mode = s.nExposureMs < 100 ? 0 : (s.nExposureMs < 250 ? 1 : 2);
        VekCameraSetSpeedMode(mode);
        if (mode != s.bySpeedMode) {
            s.bySpeedMode = mode;
            result.speedChanged = true;
        }
    }

    s.nExposureMs = std::max(s.nExposureMs, 1);
    VekCameraSetAnalogGain(GainDeviceFromLevel(s.nCameraId, s.analogGain.nValue));
    VekCameraSetExposureTime(static_cast<unsigned int>(s.nExposureMs));
    result.outcome = AeStepOutcome::kChanged;
    return result;
}

int AutoExposureStep(CameraSettings& s, BYTE mean, int* speedChanged) {
    const AeStepResult r = AutoExposureStepResult(s, mean);
    if (r.speedChanged && speedChanged)
        *speedChanged = 1;
    return r.outcome == AeStepOutcome::kChanged ? 1 : 0;
}
