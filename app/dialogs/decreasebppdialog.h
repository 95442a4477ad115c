// The Decrease Bpp dialog: target depth, standard or optimised palette, error diffusion and a
// limit on the number of colours.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

class CDecreaseBppDialog : public QDialog {
public:
    // `bits` and `maxColors` are the start values.
    CDecreaseBppDialog(int bits, int maxColors, QWidget* parent = nullptr);

    int m_bits = 4;
    int m_paletteKind = 0;  // 0 standard, 1 optimised
    bool m_errorDiffusion = false;
    int m_maxColors = 256;

    void accept() override;

private:
    QRadioButton* m_standard = nullptr;
    QRadioButton* m_optimized = nullptr;
    QCheckBox* m_diffusion = nullptr;
    QCheckBox* m_limit = nullptr;
    QLineEdit* m_colors = nullptr;
    QRadioButton* m_bits1 = nullptr;
    QRadioButton* m_bits4 = nullptr;
    QRadioButton* m_bits8 = nullptr;
};
