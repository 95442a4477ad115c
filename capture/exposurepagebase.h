// The widgets of the "Main" tab, shared by both exposure pages: a thin shell over
// CExposurePageLogic that forwards each user action and then shows the logic's values. Showing
// values never fires a handler: the sliders notify only on user input, and buttons use clicked.
#pragma once

#include <QWidget>

#include "capture/exposurepagelogic.h"
#include "ui/msgbridge.h"

class CBitmapSlider;
class CExposureTimeCtrl;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CExposurePageBase : public QWidget, public CMessageTarget {
public:
    enum : int {
        IDC_MANUAL = 1022, IDC_AUTO = 1023, IDC_TARGET = 1005, IDC_EXPOSURE = 1002, IDC_TIME = 1021,
        IDC_GAIN = 1009, IDC_ISO = 1051, IDC_WHITEBALANCE = 1047, IDC_BLACKBALANCE = 1093,
        IDC_DEFAULT = 1007, IDC_SETTIME = 1118,
    };

    ~CExposurePageBase() override;

    // The dialog and the frame this page reports to.
    void SetTargets(HWND dialog, HWND frame);
    void Load(CameraSettings* settings);
    void Refresh();
    void Store();

    CExposurePageLogic& Logic() { return m_logic; }
    CBitmapSlider* TargetSlider() const { return m_target; }
    CBitmapSlider* ExposureSlider() const { return m_exposure; }
    CBitmapSlider* GainSlider() const { return m_gain; }
    CExposureTimeCtrl* TimeCtrl() const { return m_time; }
    QRadioButton* AutoRadio() const { return m_auto; }
    QRadioButton* ManualRadio() const { return m_manual; }
    QLineEdit* IsoEdit() const { return m_iso; }
    QPushButton* Button(int id) const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    CExposurePageBase(CExposurePageLogic::Kind kind, QWidget* parent);
    void resizeEvent(QResizeEvent* e) override;

private:
    void Show();

    CExposurePageLogic m_logic;
    HWND m_dialog = nullptr;
    HWND m_frame = nullptr;
    QRadioButton* m_auto = nullptr;
    QRadioButton* m_manual = nullptr;
    CBitmapSlider* m_target = nullptr;
    CBitmapSlider* m_exposure = nullptr;
    CBitmapSlider* m_gain = nullptr;
    CExposureTimeCtrl* m_time = nullptr;
    QLabel* m_dark = nullptr;
    QLabel* m_bright = nullptr;
    QLabel* m_expLabel = nullptr;
    QLabel* m_gainLabel = nullptr;
    QLineEdit* m_iso = nullptr;
    QPushButton* m_wb = nullptr;
    QPushButton* m_bb = nullptr;
    QPushButton* m_default = nullptr;
    QPushButton* m_setTime = nullptr;
    QGroupBox* m_expGroup = nullptr;
    QGroupBox* m_wbGroup = nullptr;
    int m_baseWidth = 0;
};
