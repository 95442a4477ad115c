// The exposure pop-up of the camera window in normal mode: a slider over the range the frame
// hands it, the exposure-time control and the auto-exposure check. Each change of the value
// goes to the frame once as WM_CAMERA_SETEXPOSURE with the slider position.
#pragma once

#include "capture/exposurepopup.h"

class CBitmapSlider;
class CExposureTimeCtrl;
class QCheckBox;

class CExposurePanel : public CExposurePopup {
public:
    static constexpr int kSliderId = 1080, kCheckId = 1037;

    CExposurePanel(CameraSettings* settings, HWND frame, QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum, bool longExposure);
    void SetAuto(bool on);
    void EnableAuto(bool enabled);
    // The slider's value (ms, or a table index in long-exposure mode).
    void SetExposure(int value);
    void SetTime(DWORD ms);
    bool GetAuto() const override { return m_bAuto; }

    CBitmapSlider* Slider() const { return m_slider; }
    CExposureTimeCtrl* TimeCtrl() const { return m_time; }
    QCheckBox* AutoCheck() const { return m_check; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void OnCheck(bool on);
    void ShowPosition();
    int PosFromTime(DWORD ms) const;

    CBitmapSlider* m_slider = nullptr;
    CExposureTimeCtrl* m_time = nullptr;
    QCheckBox* m_check = nullptr;
    bool m_bAuto = false;
    bool m_bLongExposure = false;
    int m_lastSent = -1;
};
