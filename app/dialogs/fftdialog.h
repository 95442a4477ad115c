// "FFT": the documents holding the real and imaginary parts and the transform's options.
#pragma once

#include <QDialog>

class CPelidorDoc;
class QCheckBox;
class QComboBox;

class CFftDialog : public QDialog {
public:
    static constexpr int kRealId = 1015, kImagId = 1016;
    static constexpr int kInverseId = 1002, kMagnitudeId = 1003, kForceId = 1004;

    explicit CFftDialog(QWidget* parent = nullptr);

    CPelidorDoc* Real() const { return m_real; }
    CPelidorDoc* Imaginary() const { return m_imag; }
    bool Force() const { return m_force; }
    bool Magnitude() const { return m_magnitude; }
    int Direction() const { return m_direction; }  // -1 inverse, else 1

    // With both lists on "(None)" OK does nothing and the dialog stays open.
    void accept() override;

private:
    QComboBox* m_realList = nullptr;
    QComboBox* m_imagList = nullptr;
    QCheckBox* m_inverse = nullptr;
    QCheckBox* m_magnitudeBox = nullptr;
    QCheckBox* m_forceBox = nullptr;
    CPelidorDoc* m_real = nullptr;
    CPelidorDoc* m_imag = nullptr;
    bool m_force = true;
    bool m_magnitude = false;
    int m_direction = 1;
};
