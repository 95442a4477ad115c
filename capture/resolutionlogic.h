// The resolution tab without its widgets: preview and capture resolution, optionally locked
// together (always locked on a model that needs equal resolutions).
#pragma once

#include "capture/camerasettings.h"

class CResolutionLogic {
public:
    void Load(CameraSettings* settings);
    void OnPreviewChanged(int index);
    void OnCaptureChanged(int index);
    void OnLockClicked(bool on);
    // A list without a selection (-1) keeps the record's resolution.
    void Store();

    int preview = -1;
    int capture = -1;
    bool locked = false;

private:
    CameraSettings* m_s = nullptr;
};
