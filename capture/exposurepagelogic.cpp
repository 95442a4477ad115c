#include "capture/exposurepagelogic.h"

#include <algorithm>

#include "capture/cameratables.h"
#include "ui/messages.h"
#include "vekcamera/VekCamera.h"

int ClampToRange(int value, int minimum, int maximum) {
    return std::max(std::min(value, maximum), minimum);
}

void CExposurePageLogic::Load(CameraSettings* settings) {
    m_s = settings;
    if (!m_s) return;
    CameraSettings& s = *m_s;
    radiosEnabled = s.aeState.bSupported != 0;
    autoOn = s.aeState.nValue != 0;
    target = {s.aeTarget.bSupported != 0, s.aeTarget.nMin, s.aeTarget.nMax,
              ClampToRange(s.aeTarget.nValue, s.aeTarget.nMin, s.aeTarget.nMax)};
    exposure = {s.exposure.bSupported != 0, s.exposure.nMin, s.exposure.nMax,
                ClampToRange(s.exposure.nValue, s.exposure.nMin, s.exposure.nMax)};
    timeEnabled = s.exposure.bSupported != 0;
    if (s.bLongExposure) {
        maxMinutes = 59, maxSeconds = 59, maxMilliseconds = 999;
    } else {
        const int ms = std::max(s.exposure.nMax, 0);
        maxMinutes = ms / 60000, maxSeconds = ms / 1000 % 60, maxMilliseconds = ms % 1000;
    }
    timeMs = TimeForPos(exposure.pos);
    gain = {s.analogGain.bSupported != 0, s.analogGain.nMin, s.analogGain.nMax,
            ClampToRange(s.analogGain.nValue, s.analogGain.nMin, s.analogGain.nMax)};
    gainTicks = s.analogGain.nMax;
    isoText = QString("ISO:%1").arg(gain.pos) + "00";
    whiteBalanceEnabled = s.bWhiteBalance != 0;
    blackBalanceEnabled = IsLongPage() ? s.bDefaultGains != 0 : s.bWhiteBalance != 0;
    m_lastSent = exposure.pos;
    Refresh();
}

DWORD CExposurePageLogic::TimeForPos(int pos) const {
    if (IsLongPage()) return static_cast<DWORD>(ExposureMsFromIndex(pos));
    return static_cast<DWORD>(std::max(pos, 0));
}

void CExposurePageLogic::UpdateEnables() {
    const CameraSettings& s = *m_s;
    target.enabled = s.aeTarget.bSupported && (IsLongPage() || autoOn);
    exposure.enabled = !autoOn && s.exposure.bSupported && (!IsLongPage() || editMode);
    timeEnabled = exposure.enabled;
    gain.enabled = !autoOn && s.analogGain.bSupported;
    setTimeEnabled = IsLongPage() && !autoOn;
}

void CExposurePageLogic::Refresh() {
    if (!m_s) return;
    CameraSettings& s = *m_s;
    autoOn = s.aeState.nValue != 0;
    UpdateEnables();
    // A failing read keeps what the record holds, so the page stays usable.
    int ms = 0;
    if (VekCameraGetExposureTime(&ms) == 1) {
        s.nExposureMs = ms;
        const int value = s.bLongExposure ? ExposureIndexFromMs(static_cast<unsigned>(ms)) : ms;
        s.exposure.nValue = value;
    }
    exposure.pos = ClampToRange(s.exposure.nValue, exposure.min, exposure.max);
    m_lastSent = exposure.pos;
    timeMs = TimeForPos(exposure.pos);
    int native = 0;
    if (VekCameraGetAnalogGain(&native) == 1) s.analogGain.nValue = GainLevelFromDevice(s.nCameraId, native & 0xFFFF);
    gain.pos = ClampToRange(s.analogGain.nValue, gain.min, gain.max);
    isoText = QString("ISO:%1").arg(gain.pos) + "00";
}

void CExposurePageLogic::Store() {
    if (!m_s) return;
    m_s->aeTarget.nValue = target.pos;
    m_s->exposure.nValue = exposure.pos;
    m_s->analogGain.nValue = gain.pos;
}

void CExposurePageLogic::OnManual() {
    if (!m_s || !m_s->aeState.nValue) return;
    m_s->aeState.nValue = 0;
    VekCameraSetAeState(0);
    Refresh();
}

void CExposurePageLogic::OnAuto() {
    if (!m_s || m_s->aeState.nValue) return;
    m_s->aeState.nValue = 1;
    VekCameraSetAeState(m_s->bSoftwareAe ? 0 : 1);
    Refresh();
}

void CExposurePageLogic::OnTargetSlider(int pos) {
    if (!m_s) return;
    target.pos = pos;
    m_s->aeTarget.nValue = pos;
    VekCameraSetAeTarget(static_cast<BYTE>(pos >= 0 ? 100 + 20 * pos : 100 + 12 * pos));
}

void CExposurePageLogic::SendExposure(int pos) {
    // The time control notifies once per field it writes: only a new value goes out.
    if (pos == m_lastSent) return;
    m_lastSent = pos;
    if (sendToFrame) sendToFrame(WM_CAMERA_SETEXPOSURE, static_cast<WPARAM>(pos));
}

void CExposurePageLogic::OnExposureSlider(int pos) {
    if (!m_s) return;
    exposure.pos = pos;
    m_s->exposure.nValue = pos;
    timeMs = TimeForPos(pos);
    if (!IsLongPage()) OnTimeChange(timeMs);
}

void CExposurePageLogic::OnTimeChange(DWORD ms) {
    if (!m_s || IsLongPage()) return;
    const int pos = ClampToRange(static_cast<int>(std::min<DWORD>(ms, 0x7FFFFFFF)), exposure.min, exposure.max);
    exposure.pos = pos;
    m_s->exposure.nValue = pos;
    SendExposure(pos);
}

void CExposurePageLogic::OnSetTime(DWORD timeControlMs) {
    if (!m_s || !IsLongPage()) return;
    if (editMode) {
        const int pos = ClampToRange(ExposureIndexFromMs(timeControlMs), exposure.min, exposure.max);
        exposure.pos = pos;
        m_s->exposure.nValue = pos;
        m_lastSent = -1;
        SendExposure(pos);
        editMode = false;
        setTimeStringId = 61449;
    } else {
        editMode = true;
        setTimeStringId = 61450;
    }
    Refresh();
}

void CExposurePageLogic::OnGainSlider(int pos) {
    if (!m_s) return;
    gain.pos = pos;
    isoText = QString("ISO:%1").arg(pos) + "00";
    m_s->analogGain.nValue = pos;
    VekCameraSetAnalogGain(GainDeviceFromLevel(m_s->nCameraId, pos));
}

void CExposurePageLogic::OnWhiteBalance() {
    if (sendToDialog) sendToDialog(WM_CAMERA_WHITEBALANCE, 0);
}

void CExposurePageLogic::OnBlackBalance() {
    if (sendToDialog) sendToDialog(WM_CAMERA_BLACKBALANCE, 0);
}

void CExposurePageLogic::OnDefault() {
    if (!m_s) return;
    CameraSettings& s = *m_s;
    // The display thread may be using the correction points: the defaults never drop them.
    BackCorrPoint* points = s.pBackPoints;
    const int count = s.nBackPoints, loaded = s.bBackCorrLoaded, apply = s.bBackCorrApply;
    FillCameraModelInfo(s);
    s.pBackPoints = points;
    s.nBackPoints = count;
    s.bBackCorrLoaded = loaded;
    s.bBackCorrApply = apply;
    if (sendToFrame) sendToFrame(WM_CAMERA_APPLYPARAMS, 0);
}
