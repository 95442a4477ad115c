#include "capture/camerasettinglogic.h"

#include "capture/hubreadback.h"
#include "ui/messages.h"
#include "vekcamera/VekCamera.h"

CCameraSettingLogic::CCameraSettingLogic(CameraSettings* settings) : m_s(settings) {
    if (m_s) m_snapshot = *m_s;
    m_snapshot.pBackPoints = nullptr;
    m_snapshot.nBackPoints = 0;
}

void CCameraSettingLogic::CopyParameters(CameraSettings& to, const CameraSettings& from) {
    to.bFineModeAvailable = from.bFineModeAvailable;
    to.bFineMode = from.bFineMode;
    to.aeState = from.aeState;
    to.exposure = from.exposure;
    to.aeTarget = from.aeTarget;
    to.analogGain = from.analogGain;
    to.bWhiteBalance = from.bWhiteBalance;
    to.gamma = from.gamma;
    to.contrast = from.contrast;
    to.saturation = from.saturation;
    to.colorEnhancement = from.colorEnhancement;
    to.bBackCorrApply = from.bBackCorrApply;
    to.mirrorH = from.mirrorH;
    to.mirrorV = from.mirrorV;
    to.monochrome = from.monochrome;
    to.redGain = from.redGain;
    to.greenGain = from.greenGain;
    to.blueGain = from.blueGain;
    to.frameSpeed = from.frameSpeed;
    to.lightFrequency = from.lightFrequency;
    to.b2rgbMode = from.b2rgbMode;
    to.byParamTeam = from.byParamTeam;
    to.byParamTeamAtOpen = from.byParamTeamAtOpen;
    to.nAeExpFloor = from.nAeExpFloor;
    to.nAeExpCeiling = from.nAeExpCeiling;
    to.nAeExpZone1 = from.nAeExpZone1;
    to.nAeExpZone2 = from.nAeExpZone2;
    to.nAeExpZone3 = from.nAeExpZone3;
    to.nAeGainMin = from.nAeGainMin;
    to.nAeGainMax = from.nAeGainMax;
    to.nAeGainLow = from.nAeGainLow;
    to.nAeGainHigh = from.nAeGainHigh;
    to.bSoftwareAe = from.bSoftwareAe;
    to.bSpeedSwitching = from.bSpeedSwitching;
    to.nRowLimit = from.nRowLimit;
    to.bUseRowLimit = from.bUseRowLimit;
    to.bDefaultGains = from.bDefaultGains;
    to.nDefaultRed = from.nDefaultRed;
    to.nDefaultGreen = from.nDefaultGreen;
    to.nDefaultBlue = from.nDefaultBlue;
}

void CCameraSettingLogic::OnOK() {
    VekCameraSaveParameter(0);
}

void CCameraSettingLogic::OnCancel() {
    if (!m_s) return;
    CopyParameters(*m_s, m_snapshot);
    VekCameraReadParameter(m_s->byParamTeam);
    if (sendToFrame) sendToFrame(WM_CAMERA_APPLYPARAMS, 0);
}

LRESULT CCameraSettingLogic::OnWhiteBalance() {
    VekCameraSetAWBState(1);
    auto finish = [this] {
        if (m_s) ReadWhiteBalanceGains(*m_s);
        if (reloadParamPage) reloadParamPage();
    };
    if (runLater)
        runLater(200, finish);
    else
        finish();
    return 0;
}

LRESULT CCameraSettingLogic::OnBlackBalance() {
    if (!m_s || !m_s->bDefaultGains) return 1;
    CameraSettings& s = *m_s;
    s.colorEnhancement.nValue = 0;
    VekCameraSetColorEnhancement(0);
    s.redGain.nValue = s.nDefaultRed;
    s.greenGain.nValue = s.nDefaultGreen;
    s.blueGain.nValue = s.nDefaultBlue;
    VekCameraSetGain(s.nDefaultRed & 0xFFFF, s.nDefaultGreen & 0xFFFF, s.nDefaultBlue & 0xFFFF);
    VekCameraSaveParameter(0);
    if (reloadImageAdjustPage) reloadImageAdjustPage();
    if (reloadParamPage) reloadParamPage();
    return 0;
}
