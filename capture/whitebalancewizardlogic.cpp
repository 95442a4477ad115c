#include "capture/whitebalancewizardlogic.h"

#include <algorithm>
#include <cmath>

#include "vekcamera/VekCamera.h"

CWhiteBalanceWizardLogic::Layout CWhiteBalanceWizardLogic::ForScreen(int cx, int cy) {
    Layout l;
    l.dialog = QRect(0, 0, cx, cy);
    l.display = QRect(0, 0, cx - kPanelWidth, cy - 30);
    l.picture = QRect(cx - 263, 0, 260, 200);
    l.text1 = QRect(cx - 254, 230, 240, 70);
    l.text2 = l.text1;
    l.balance = QPoint(cx - 230, 320);
    l.balanceMarker = QPoint(cx - 80, 318);
    l.finish = QPoint(cx - 230, 380);
    l.finishMarker = QPoint(cx - 80, 378);
    l.redo = QPoint(cx - 230, 440);
    l.redoMarker = QPoint(cx - 80, 438);
    return l;
}

CWhiteBalanceWizardLogic::Controls CWhiteBalanceWizardLogic::ForState(int state) {
    Controls c;
    switch (state) {
    case kReference:
        c.reference = true;
        c.marker[0] = true;
        c.picture = kReferencePicture;
        break;
    case kBalance:
        c.balance = true;
        c.marker[1] = true;
        c.text1 = true;
        c.picture = kBalancePicture;
        break;
    case kFinish:
        c.finish = true;
        c.marker[2] = true;
        c.text2 = true;
        c.picture = kFinishPicture;
        break;
    default: break;
    }
    c.redo = c.marker[3] = state == kReference || state == kFinish;
    return c;
}

QRect CWhiteBalanceWizardLogic::FitDisplay(int areaWidth, int areaHeight, int width, int height) {
    if (areaWidth <= 0 || areaHeight <= 0 || width <= 0 || height <= 0)
        return QRect();
    const double d = std::max(double(width) / areaWidth, double(height) / areaHeight);
    const int fw = std::min(areaWidth, int(std::lround(width / d)));
    const int fh = std::min(areaHeight, int(std::lround(height / d)));
    if (fw - 8 <= 0 || fh <= 0)
        return QRect();
    return QRect((areaWidth - fw) / 2, (areaHeight - fh) / 2, fw - 8, fh);
}

bool CWhiteBalanceWizardLogic::ReadGains() {
    int r = 0, g = 0, b = 0;
    m_bGainsRead = VekCameraGetGain(&r, &g, &b) == CAMERA_OK;
    if (m_bGainsRead) {
        m_nRed = r;
        m_nGreen = g;
        m_nBlue = b;
    }
    return m_bGainsRead;
}

void CWhiteBalanceWizardLogic::RestoreGains() {
    // Gains are 16-bit values in the camera; ones never read are not put back as zeros.
    if (m_bGainsRead)
        VekCameraSetGain(m_nRed & 0xFFFF, m_nGreen & 0xFFFF, m_nBlue & 0xFFFF);
}

bool CWhiteBalanceWizardLogic::OnWhiteBalance() {
    VekCameraSetAWBState(1);
    const bool changed = m_nState != kFinish;
    m_nState = kFinish;
    return changed;
}

bool CWhiteBalanceWizardLogic::OnReference() {
    const bool changed = m_nState != kBalance;
    m_nState = kBalance;
    return changed;
}

bool CWhiteBalanceWizardLogic::OnRedo() {
    if (m_nState != kFinish)
        return false;
    RestoreGains();
    m_nState = kBalance;
    return true;
}

void CWhiteBalanceWizardLogic::OnClose() { RestoreGains(); }
