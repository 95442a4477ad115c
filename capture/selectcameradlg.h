// "Select Camera": asks whether a plugged camera of a model sold in a colour and a monochrome
// variant is the colour or the monochrome one. The main frame selects the chosen id in the hub.
#pragma once

#include <QDialog>

class QComboBox;

class CSelectCameraDlg : public QDialog {
public:
    enum { IDD = 6000, IDC_CAMERA = 6002 };

    explicit CSelectCameraDlg(QWidget* parent = nullptr);

    // Fills the combo for the id; item 0 selected.
    void SetCameraId(int id);
    int GetCameraId() const { return m_nCameraId; }
    // Models with a colour and a monochrome variant; the main frame asks only for these.
    bool HasVariants() const;
    static bool HasVariants(int id);
    // The id the combo's item means for a camera reported as `id`.
    static int MapSelection(int id, int item);

    QComboBox* Combo() const { return m_combo; }
    void accept() override;

private:
    QComboBox* m_combo = nullptr;
    int m_nCameraId = 0;
};
