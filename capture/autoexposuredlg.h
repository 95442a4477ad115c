// The exposure pop-up of the camera window in long-exposure mode: the auto-exposure check, a
// slider over the exposure table and, while editing ("Set" / "Update"), the time control for an
// exact time, applied as the first table entry not below it.
#pragma once

#include "capture/exposurepopup.h"

class CBitmapSlider;
class CExposureTimeCtrl;
class QCheckBox;
class QPushButton;

class CAutoExposureDlg : public CExposurePopup {
public:
    static constexpr int kSliderId = 1080, kCheckId = 1037, kButtonId = 1119;

    CAutoExposureDlg(CameraSettings* settings, HWND frame, QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum, bool longExposure);
    void EnableAuto(bool supported);
    void SetAuto(bool on);
    void SetExposure(int index);
    void SetActiveField(int field);
    bool GetAuto() const override { return m_bAuto != 0; }
    bool IsEditing() const { return m_bEditing != 0; }

    CBitmapSlider* Slider() const { return m_slider; }
    CExposureTimeCtrl* TimeCtrl() const { return m_time; }
    QCheckBox* AutoCheck() const { return m_check; }
    QPushButton* SetButton() const { return m_button; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void OnCheck(bool on);
    void OnButton();
    void UpdateEnables();

    CBitmapSlider* m_slider = nullptr;
    CExposureTimeCtrl* m_time = nullptr;
    QCheckBox* m_check = nullptr;
    QPushButton* m_button = nullptr;
    int m_bAuto = 0;
    int m_bLongExposure = 1;
    int m_bEditing = 0;
};
