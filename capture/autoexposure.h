// The program's own auto exposure for models that do not run it in the camera: one bounded
// step of exposure time and analog gain per grabbed frame, written through the hub.
#pragma once

#include "capture/camerasettings.h"
#include "platform/wintypes.h"

enum class AeStepOutcome {
    kWithinTolerance,  // brightness close enough: nothing written, auto exposure stays on
    kChanged,          // new gain and exposure written to the camera
    kGaveUp,           // the search reached its limit: the caller switches auto exposure off
};

struct AeStepResult {
    AeStepOutcome outcome = AeStepOutcome::kWithinTolerance;
    bool speedChanged = false;  // the speed mode changed: drop the next frame
};

AeStepResult AutoExposureStepResult(CameraSettings& settings, BYTE mean);

// Returns 1 when new values were written, else 0 (within tolerance or given up). Sets
// *speedChanged to 1 when the speed mode changed; never clears it. speedChanged may be null.
int AutoExposureStep(CameraSettings& settings, BYTE mean, int* speedChanged);

// The target brightness (0..255) of an auto-exposure target level -5..5.
int AeTargetBrightness(int level);
