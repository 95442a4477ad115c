// The "Parameter" tab: a thin shell over CCameraParamLogic.
#pragma once

#include <QWidget>

#include <utility>
#include <vector>

#include "capture/cameraparamlogic.h"
#include "ui/msgbridge.h"

class CBitmapSlider;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CCameraParamDlg : public QWidget, public CMessageTarget {
public:
    enum : int { IDC_RED = 1012, IDC_GREEN = 1013, IDC_BLUE = 1014 };
    // The page's width unless its captions need more.
    static constexpr int kPageWidth = 380;

    explicit CCameraParamDlg(QWidget* parent = nullptr);
    ~CCameraParamDlg() override;

    void SetFrame(HWND frame) { m_frame = frame; }
    void Load(CameraSettings* settings);
    void Store();

    CCameraParamLogic& Logic() { return m_logic; }
    CBitmapSlider* Slider(CCameraParamLogic::Colour c) const { return m_slider[c]; }
    QLineEdit* Edit(CCameraParamLogic::Colour c) const { return m_edit[c]; }
    QRadioButton* TeamRadio(CCameraParamLogic::Radio r) const { return m_team[r]; }
    QRadioButton* SpeedRadio(int v) const { return m_speed[v]; }
    QCheckBox* StartupCheck() const { return m_startup; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* LoadButton() const { return m_load; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The width the page was laid out for, from which its group boxes widen.
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void Show();

    CCameraParamLogic m_logic;
    HWND m_frame = nullptr;
    CBitmapSlider* m_slider[3] = {};
    QLineEdit* m_edit[3] = {};
    QRadioButton* m_speed[2] = {};
    QRadioButton* m_freq[2] = {};
    QRadioButton* m_quality[2] = {};
    QRadioButton* m_team[4] = {};
    QCheckBox* m_startup = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_load = nullptr;
    // The four group boxes widen by half of any change of the page width (widths at the first size).
    std::vector<std::pair<QWidget*, int>> m_anchored;
    int m_baseWidth = kPageWidth;
};
