#include "capture/cameraparamlogic.h"

#include "capture/exposurepagelogic.h"
#include "capture/imageadjustlogic.h"
#include "ui/messages.h"
#include "vekcamera/VekCamera.h"

CameraParamRange& CCameraParamLogic::Range(Colour colour) const {
    switch (colour) {
    case kRed: return m_s->redGain;
    case kGreen: return m_s->greenGain;
    default: return m_s->blueGain;
    }
}

int CCameraParamLogic::RadioOfTeam(int team) {
    for (int r = 0; r < 4; ++r)
        if (kTeamOfRadio[r] == team) return r;
    return -1;
}

void CCameraParamLogic::Load(CameraSettings* settings) {
    m_s = settings;
    if (!m_s) return;
    for (int c = 0; c < kColours; ++c) {
        const CameraParamRange& r = Range(static_cast<Colour>(c));
        gain[c] = {r.bSupported != 0, r.nMin, r.nMax, ClampToRange(r.nValue, r.nMin, r.nMax), {}};
        gain[c].text = QString::number(gain[c].pos);
    }
    auto choice = [](const CameraParamSwitch& sw) {
        return Choice{sw.bSupported != 0, sw.bSupported ? (sw.nValue ? 1 : 0) : -1};
    };
    speed = choice(m_s->frameSpeed);
    frequency = choice(m_s->lightFrequency);
    quality = choice(m_s->b2rgbMode);
    team = m_s->byParamTeam;
    startup.enabled = team != 0;
    startup.checked = team != 0 && team == m_s->byParamTeamAtOpen;
}

void CCameraParamLogic::SendGains() {
    VekCameraSetGain(gain[kRed].pos, gain[kGreen].pos, gain[kBlue].pos);
    for (int c = 0; c < kColours; ++c) {
        gain[c].text = QString::number(gain[c].pos);
        Range(static_cast<Colour>(c)).nValue = gain[c].pos;
    }
}

void CCameraParamLogic::OnGainSlider(Colour colour, int pos) {
    if (!m_s) return;
    gain[colour].pos = pos;
    SendGains();
}

bool CCameraParamLogic::OnGainEdit(Colour colour, const QString& text) {
    if (!m_s) return false;
    int v = 0;
    if (!ParseSaturatedInt(text, &v) || v < gain[colour].min || v > gain[colour].max) return false;
    gain[colour].pos = v;
    SendGains();
    return true;
}

void CCameraParamLogic::OnFrameSpeed(int value) {
    if (!m_s) return;
    VekCameraSetFrameSpeed(value);
    speed.selected = value;
    m_s->frameSpeed.nValue = value;
}

void CCameraParamLogic::OnLightFrequency(int value) {
    if (!m_s) return;
    VekCameraSetLightFrquency(value);
    frequency.selected = value;
    m_s->lightFrequency.nValue = value;
}

void CCameraParamLogic::OnQuality(int value) {
    if (!m_s) return;
    VekCameraSetB2RGBMode(value);
    quality.selected = value;
    m_s->b2rgbMode.nValue = value;
}

void CCameraParamLogic::OnTeamRadio(Radio radio) {
    if (!m_s) return;
    team = kTeamOfRadio[radio];
    if (team == 0) return;
    startup.enabled = true;
    if (team == m_s->byParamTeamAtOpen) startup.checked = true;
}

void CCameraParamLogic::OnSave() {
    VekCameraSaveParameter(team);
}

void CCameraParamLogic::OnLoad() {
    if (!m_s) return;
    VekCameraReadParameter(team);
    m_s->byParamTeam = static_cast<BYTE>(team);
    if (sendToFrame) sendToFrame(WM_CAMERA_RELOADPARAMS, 0);
}

void CCameraParamLogic::Store() {
    if (!m_s) return;
    for (int c = 0; c < kColours; ++c) Range(static_cast<Colour>(c)).nValue = gain[c].pos;
    if (speed.selected >= 0) m_s->frameSpeed.nValue = speed.selected;
    if (frequency.selected >= 0) m_s->lightFrequency.nValue = frequency.selected;
    if (quality.selected >= 0) m_s->b2rgbMode.nValue = quality.selected;
    m_s->byParamTeam = static_cast<BYTE>(team);
    m_s->byParamTeamAtOpen = startup.checked ? static_cast<BYTE>(team) : 0;
}
