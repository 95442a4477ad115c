// The rules of the white balance wizard without its widgets: the step state, the gains read
// when it opens and put back by "Redo" and by closing, where its controls go on a screen, what
// each step enables and shows, and where the live picture goes in the display area.
#pragma once

#include <QPoint>
#include <QRect>

class CWhiteBalanceWizardLogic {
public:
    enum State { kReference = 0, kBalance = 1, kFinish = 2 };
    // Resource ids of the step pictures.
    static constexpr int kReferencePicture = 263;
    static constexpr int kBalancePicture = 250;
    static constexpr int kFinishPicture = 251;
    static constexpr int kPanelWidth = 260;

    // Where the controls go on a screen of cx x cy (dialog coordinates). Buttons and markers
    // keep their own sizes: only their positions are given.
    struct Layout {
        QRect dialog, display, picture, text1, text2;
        QPoint balance, balanceMarker, finish, finishMarker, redo, redoMarker;
    };
    static Layout ForScreen(int cx, int cy);

    // What the controls show in a state.
    struct Controls {
        bool reference = false, balance = false, finish = false, redo = false;  // enabled
        bool marker[4] = {false, false, false, false};  // 1100 .. 1103 shown
        bool text1 = false, text2 = false;               // 1121, 1122 shown
        int picture = 0;                                 // bitmap of button 1112
    };
    static Controls ForState(int state);

    // The picture of width x height fitted into a display area of areaWidth x areaHeight:
    // scaled by the larger of the two ratios (in floating point, so a picture smaller than the
    // area is enlarged rather than lost), centred, 8 pixels narrower. Empty when nothing fits.
    static QRect FitDisplay(int areaWidth, int areaHeight, int width, int height);

    CWhiteBalanceWizardLogic(int width, int height) : m_nWidth(width), m_nHeight(height) {}

    // Reads the camera's gains as the ones to put back; false when the camera gave none (then
    // nothing is ever put back).
    bool ReadGains();
    int State() const { return m_nState; }
    int PictureWidth() const { return m_nWidth; }
    int PictureHeight() const { return m_nHeight; }
    int SavedRed() const { return m_nRed; }
    int SavedGreen() const { return m_nGreen; }
    int SavedBlue() const { return m_nBlue; }
    bool GainsRead() const { return m_bGainsRead; }

    // The buttons and closing. Each returns true when the state changed.
    bool OnWhiteBalance();  // the camera balances; finish step
    bool OnReference();     // balance step
    bool OnRedo();          // only in the finish step: the saved gains back, balance step
    void OnClose();         // the saved gains back

private:
    void RestoreGains();

    int m_nWidth;
    int m_nHeight;
    int m_nState = kBalance;
    int m_nRed = 0, m_nGreen = 0, m_nBlue = 0;
    bool m_bGainsRead = false;
};
