// The "Image Adjust" tab: a thin shell over CImageAdjustLogic. A typed value out of -20..20 is
// refused through the prompt service when the user confirms it, never per keystroke.
#pragma once

#include <QWidget>

#include <utility>
#include <vector>

#include "capture/imageadjustlogic.h"
#include "ui/msgbridge.h"

class CBitmapSlider;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CImageAdjustPage : public QWidget, public CMessageTarget {
public:
    enum : int { IDC_GAMMA = 1043, IDC_CONTRAST = 1044, IDC_SATURATION = 1006 };
    static constexpr int kPageWidth = 380;

    explicit CImageAdjustPage(QWidget* parent = nullptr);
    ~CImageAdjustPage() override;

    void Load(CameraSettings* settings);
    // False (with the prompt shown) when a typed value is refused; nothing is stored then.
    bool Store();

    CImageAdjustLogic& Logic() { return m_logic; }
    CBitmapSlider* Slider(CImageAdjustLogic::Which w) const { return m_slider[w]; }
    QLineEdit* Edit(CImageAdjustLogic::Which w) const { return m_edit[w]; }
    QCheckBox* ColorEnhancement() const { return m_color; }
    QCheckBox* FlipH() const { return m_flipH; }
    QCheckBox* FlipV() const { return m_flipV; }
    QCheckBox* Monochrome() const { return m_mono; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void Show();
    bool Confirm(CImageAdjustLogic::Which w);

    CImageAdjustLogic m_logic;
    CBitmapSlider* m_slider[CImageAdjustLogic::kCount] = {};
    QLineEdit* m_edit[CImageAdjustLogic::kCount] = {};
    QLabel* m_satLabel = nullptr;
    QCheckBox* m_color = nullptr;
    QCheckBox* m_useBack = nullptr;
    QPushButton* m_backButton = nullptr;
    QCheckBox* m_flipH = nullptr;
    QCheckBox* m_flipV = nullptr;
    QCheckBox* m_mono = nullptr;
    QGroupBox* m_flipGroup = nullptr;
    bool m_prompting = false;
    // What widens by half of any change of the page width, with its width at the page's first size.
    std::vector<std::pair<QWidget*, int>> m_anchored;
};
