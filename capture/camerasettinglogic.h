// What the camera settings dialog does besides hosting its pages: Cancel puts the record and the
// camera back as they were when the dialog opened, white balance reads the camera's gains a
// moment after starting it, black balance returns to the model's default gains.
#pragma once

#include <functional>

#include "capture/camerasettings.h"
#include "platform/wintypes.h"

class CCameraSettingLogic {
public:
    // The snapshot is taken from the record at once.
    explicit CCameraSettingLogic(CameraSettings* settings);

    std::function<LRESULT(UINT message, WPARAM wParam)> sendToFrame;
    // Runs the continuation after ms milliseconds (a timer in the dialog, never a sleep).
    std::function<void(int ms, std::function<void()>)> runLater;
    // The pages to reload after a balance.
    std::function<void()> reloadParamPage;
    std::function<void()> reloadImageAdjustPage;

    void SetSettings(CameraSettings* settings) { m_s = settings; }
    CameraSettings* Settings() const { return m_s; }
    const CameraSettings& Snapshot() const { return m_snapshot; }

    // After the pages stored their values.
    void OnOK();
    void OnCancel();
    LRESULT OnWhiteBalance();
    LRESULT OnBlackBalance();

    // Every parameter field of from into to; never the correction points (the frame owns and
    // frees them), the camera's identity, open state and size, nor the exposure last applied
    // (the frame compares against it when re-applying).
    static void CopyParameters(CameraSettings& to, const CameraSettings& from);

private:
    CameraSettings* m_s;
    CameraSettings m_snapshot;
};
