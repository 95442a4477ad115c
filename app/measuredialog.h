// The windows behind the measurement library's own menu codes: calibrating from a drawn line
// of known length, the calibration table, the measurement table and the label precision.
#pragma once

#include <QDialog>

class CQoMeasure;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;
class QTableWidget;

class CMeasureDialog : public QDialog {
public:
    CMeasureDialog(int code, CQoMeasure* measure, QWidget* parent = nullptr);
    // Writes the dialog's values into the measurement object (after OK).
    void Apply();
    // The library's dialog hook: runs the window of the code through the prompt service and
    // returns non-zero when the code is taken. Calibrating without a drawn line is refused.
    static int Run(int code, CQoMeasure* measure);

    QLineEdit* m_pName = nullptr;
    QLineEdit* m_pUnit = nullptr;
    QDoubleSpinBox* m_pLength = nullptr;
    QSpinBox* m_pPrecision = nullptr;
    QTableWidget* m_pTable = nullptr;

private:
    void FillCalibrations();
    int m_nCode;
    CQoMeasure* m_pMeasure;
    int m_nLine = -1;
};
