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
    // The measurement table is no modal step: it opens (or comes to the front) beside the
    // image and follows the measurements while the user goes on measuring.
    static int Run(int code, CQoMeasure* measure);
    // The open table of a measurement object, or null.
    static CMeasureDialog* OpenTable(const CQoMeasure* measure);
    // Refills the object's open table, if any, after its units or calibration changed.
    static void RefreshTable(const CQoMeasure* measure);
    // Closes the object's table before the object goes.
    static void CloseTable(const CQoMeasure* measure);

    QLineEdit* m_pName = nullptr;
    QLineEdit* m_pUnit = nullptr;
    QDoubleSpinBox* m_pLength = nullptr;
    QSpinBox* m_pPrecision = nullptr;
    QTableWidget* m_pTable = nullptr;

private:
    void FillCalibrations();
    void FillUnits();
    int m_nCode;
    CQoMeasure* m_pMeasure;
    int m_nLine = -1;
};
