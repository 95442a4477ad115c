// "Select DSCamera": picks one of the ordinary video devices for the webcam window. The combo
// is filled by the qodirectx library in its device-index order; nothing is preselected.
#pragma once

#include <QDialog>

class QComboBox;

class CSelectDSCameraDlg : public QDialog {
public:
    enum { IDD = 273, IDC_DEVICE = 1123 };

    explicit CSelectDSCameraDlg(QWidget* parent = nullptr);

    QComboBox* Combo() const { return m_combo; }
    void accept() override;

    // The chosen device after OK: the combo's selection, -1 when nothing was selected.
    int m_nDevice = 0;

private:
    QComboBox* m_combo = nullptr;
};
