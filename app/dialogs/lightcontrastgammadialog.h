// "Light/Contrast/Gamma": three sliders with a live before/after thumbnail of the image.
#pragma once

#include <QDialog>

#include "app/dialogs/previewpair.h"
#include "ui/msgbridge.h"

class CBitmapSlider;
class QLabel;
class QLineEdit;

class CLightContrastGammaDialog : public QDialog, public CMessageTarget {
public:
    static constexpr int kLightId = 1066;
    static constexpr int kContrastId = 1070;
    static constexpr int kGammaId = 1071;
    static constexpr int kLightEditId = 1068;
    static constexpr int kContrastEditId = 1073;
    static constexpr int kGammaEditId = 1069;
    static constexpr int kBeforeId = 1067;
    static constexpr int kAfterId = 1072;
    static constexpr int kGammaStart = 123;

    explicit CLightContrastGammaDialog(PxImage& source, QWidget* parent = nullptr);
    ~CLightContrastGammaDialog() override;

    // The slider positions; gamma is in hundredths.
    int Lighten() const;
    int Contrast() const;
    int GammaPosition() const;
    const CPreviewPair& Preview() const { return m_preview; }

    // One preview step: the after image of the current positions (the benchmark's unit).
    void UpdatePreview();

    void accept() override;
    void reject() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CPreviewPair m_preview;
    CBitmapSlider* m_light = nullptr;
    CBitmapSlider* m_contrast = nullptr;
    CBitmapSlider* m_gamma = nullptr;
    QLineEdit* m_lightEdit = nullptr;
    QLineEdit* m_contrastEdit = nullptr;
    QLineEdit* m_gammaEdit = nullptr;
    QLabel* m_before = nullptr;
    QLabel* m_after = nullptr;
};
