// What the camera windows know about each camera model, by the hub's camera id: 0 a video
// device, 1..38 the hub's models. Windows and the main frame ask for a trait by name and never
// compare ids themselves; the hub keeps its own per-model dispatch.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

struct CameraModelTraits {
    // Profile section of the model: "LumoProf%02d", "LUMO-%d", or "UNKNOW".
    enum ProfileSection { kUnknownSection, kLumoProfSection, kLumoDashSection };

    // ---- launch (main frame, "Select Camera") ----
    bool videoDevice = false;          // opens the video-device window, not the hub's
    bool noCamera = false;             // "No Camera!": nothing plugged, or the model that writes nothing
    bool opensInLongExposure = false;  // the only models with a window in long-exposure mode
    int colorVariant = 0;              // a model sold in colour and monochrome: the two ids, else 0
    int monoVariant = 0;
    bool colorAndChsEntries = false;   // offers "Color" and "CHS" entries that both keep the id

    // ---- model tables and settings record ----
    bool hasModel = false;             // gamma and contrast conversions (and a defaults row)
    bool saturationConversion = false; // saturation conversion (the monochrome model 18 has none)
    bool separateResolutions = false;  // capture and preview resolutions may differ
    bool fineMode = false;             // offers the fine-mode snap
    bool monoWithWhiteBalance = false; // white balance and saturation without colour gains
    int saturationLimit = 20;          // saturation range -limit..limit
    int aeTargetDefault = 0;           // auto-exposure target level of the defaults
    BYTE defaultPreviewRes = 0;
    BYTE defaultCaptureRes = 0;
    ProfileSection profileSection = kUnknownSection;
    bool firstUseKey = false;          // own key in the camera ini file's "CAMERA" section

    // ---- exposure ----
    bool directExposure = false;       // goes straight to the camera and is saved
    bool pausedExposure = false;       // the view pauses around it, with speed switching

    // ---- live view ----
    size_t rawBytes = 0;               // raw frame size; 0: width x height x 3
    bool sensorWindowMean = false;     // at preview 2 and 3 the mean covers 2048 x 1536 bytes

    // ---- snaps ----
    bool snapIgnoresLongExposure = false;  // a snap in long-exposure mode goes as in normal mode
    bool delayedSnap = false;          // long-exposure snap waits out the exposure on the timer
    bool decodedSnap = false;          // saves the decoded frame; RAW is captured to file, wide
    bool wideTiffCapture = false;      // TIFF too is captured to file, wide
    bool writesNoSnap = false;         // a snap writes nothing

    // Ids outside the table get a record with every trait off (-1 is "no camera").
    static const CameraModelTraits& Of(int id);
};
