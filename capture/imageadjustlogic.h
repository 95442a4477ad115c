// The "Image Adjust" tab without its widgets: gamma, contrast and saturation by slider or typed
// number, colour enhancement, mirroring and monochrome, each sent to the camera at once.
#pragma once

#include <QString>

#include "capture/camerasettings.h"

// A typed integer: an optional '-' and digits. Over-long numbers saturate, so they read as out
// of range instead of wrapping. False for anything else (empty, "-" alone, letters).
bool ParseSaturatedInt(const QString& text, int* value);

class CImageAdjustLogic {
public:
    enum Which { kGamma, kContrast, kSaturation, kCount };
    enum EditResult { kApplied, kWaiting, kRefused };
    static constexpr int kEditMin = -20, kEditMax = 20;

    struct Level {
        bool enabled = false;
        int min = 0;
        int max = 0;
        int pos = 0;
        QString text;
    };
    struct Check {
        bool enabled = false;
        bool checked = false;
    };

    void Load(CameraSettings* settings);
    void OnSlider(Which which, int pos);
    // A keystroke in an edit: a valid number applies at once; anything else waits for the
    // user to confirm.
    EditResult OnEditChanged(Which which, const QString& text);
    // The user confirmed an edit (Enter, leaving it, OK): false with the prompt's text when
    // its value is refused.
    bool Validate(Which which, QString* message) const;
    void OnColorEnhancement(bool on);
    void OnFlipH(bool on);
    void OnFlipV(bool on);
    void OnMonochrome(bool on);
    void OnBackCorrection(bool on) { backCorr.checked = on; }
    void Store();

    Level level[kCount];
    Check colorEnhancement, backCorr, flipH, flipV, monochrome;
    bool flipGroupEnabled = false;

private:
    CameraParamRange& Range(Which which) const;
    void Apply(Which which, int pos);
    void UpdateSaturationEnable();

    CameraSettings* m_s = nullptr;
};
