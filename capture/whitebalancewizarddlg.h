// The two-step white balance wizard: full screen on the camera view's screen, the live picture
// on the left, the steps on a panel at the right. Step 1: the sample out of view, "White
// Balance" lets the camera compute its gains; step 2: the sample back, "Finish" keeps them.
// "Redo" and closing the window (Esc included) put back the gains read at opening.
// UI thread only.
#pragma once

#include <QDialog>

#include "capture/cameraview.h"
#include "capture/whitebalancewizardlogic.h"

class CCameraDisplay;
class QLabel;
class QPushButton;
class QToolButton;

class CWhiteBalanceWizardDlg : public QDialog {
public:
    enum : int {
        IDD = 236,
        IDC_PICTURE = 1112,
        IDC_REFERENCE = 1098,
        IDC_WHITEBALANCE = 1010,
        IDC_REDO = 1095,
        IDC_FINISH = 1099,
        IDC_DISPLAY = 1094,
        IDC_MARKER0 = 1100,  // .. 1103
        IDC_STEP1 = 1121,
        IDC_STEP2 = 1122,
    };
    static constexpr QRgb kPanelColour = 0xFFD8E7FE;  // RGB(216, 231, 254)

    // The picture's width and height; the wizard covers the screen of `parent`.
    CWhiteBalanceWizardDlg(QWidget* parent, int width, int height);
    ~CWhiteBalanceWizardDlg() override;

    // How the camera view makes its wizard: the dialog and its display area as the view's
    // picture target.
    static CCameraView::WizardHandle Create(QWidget* parent, int width, int height);

    const CWhiteBalanceWizardLogic& Logic() const { return m_logic; }
    CCameraDisplay* Display() const { return m_pDisplay; }
    int PictureId() const { return m_nPicture; }
    QPushButton* Button(int id) const;
    QLabel* Marker(int index) const;
    QLabel* StepText(int id) const;
    QToolButton* PictureButton() const { return m_pPicture; }
    // The dialog as painted (its own background and children).
    QImage Render();

    void reject() override;  // closing the window, Esc included

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void UpdateControls();
    void PlaceDisplay();

    CWhiteBalanceWizardLogic m_logic;
    CCameraDisplay* m_pDisplay = nullptr;
    QToolButton* m_pPicture = nullptr;
    QPushButton* m_pReference = nullptr;
    QPushButton* m_pBalance = nullptr;
    QPushButton* m_pRedo = nullptr;
    QPushButton* m_pFinish = nullptr;
    QLabel* m_pMarkers[4] = {};
    QLabel* m_pText1 = nullptr;
    QLabel* m_pText2 = nullptr;
    int m_nPicture = 0;
};
