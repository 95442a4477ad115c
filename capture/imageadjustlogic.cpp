#include "capture/imageadjustlogic.h"

#include <climits>

#include "capture/cameratables.h"
#include "capture/exposurepagelogic.h"
#include "vekcamera/VekCamera.h"

bool ParseSaturatedInt(const QString& raw, int* value) {
    const QString text = raw.trimmed();
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!text[i].isDigit() || text[i].unicode() > '9') return false;
        v = v * 10 + (text[i].unicode() - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) v = -v;
    *value = static_cast<int>(std::max<long long>(std::min<long long>(v, INT_MAX), INT_MIN));
    return true;
}

CameraParamRange& CImageAdjustLogic::Range(Which which) const {
    switch (which) {
    case kGamma: return m_s->gamma;
    case kContrast: return m_s->contrast;
    default: return m_s->saturation;
    }
}

void CImageAdjustLogic::UpdateSaturationEnable() {
    level[kSaturation].enabled = m_s->saturation.bSupported && m_s->colorEnhancement.nValue;
}

void CImageAdjustLogic::Load(CameraSettings* settings) {
    m_s = settings;
    if (!m_s) return;
    for (int w = 0; w < kCount; ++w) {
        const CameraParamRange& r = Range(static_cast<Which>(w));
        Level& l = level[w];
        l.enabled = r.bSupported != 0;
        l.min = r.nMin;
        l.max = r.nMax;
        l.pos = ClampToRange(r.nValue, r.nMin, r.nMax);
        l.text = QString::number(l.pos);
    }
    colorEnhancement = {m_s->colorEnhancement.bSupported != 0, m_s->colorEnhancement.nValue != 0};
    UpdateSaturationEnable();
    backCorr = {m_s->bBackCorrLoaded != 0, m_s->bBackCorrApply != 0};
    flipH = {m_s->mirrorH.bSupported != 0, m_s->mirrorH.nValue != 0};
    flipV = {m_s->mirrorV.bSupported != 0, m_s->mirrorV.nValue != 0};
    monochrome = {m_s->monochrome.bSupported != 0, m_s->monochrome.nValue != 0};
    flipGroupEnabled = m_s->mirrorH.bSupported || m_s->mirrorV.bSupported;
}

void CImageAdjustLogic::Apply(Which which, int pos) {
    const int id = m_s->nCameraId;
    switch (which) {
    case kGamma: VekCameraSetGamma(GammaDeviceFromLevel(id, pos)); break;
    case kContrast: VekCameraSetContrast(ContrastDeviceFromLevel(id, pos)); break;
    default: VekCameraSetSaturation(SaturationDeviceFromLevel(id, pos)); break;
    }
    Range(which).nValue = pos;
}

void CImageAdjustLogic::OnSlider(Which which, int pos) {
    if (!m_s) return;
    level[which].pos = pos;
    level[which].text = QString::number(pos);
    Apply(which, pos);
}

CImageAdjustLogic::EditResult CImageAdjustLogic::OnEditChanged(Which which, const QString& text) {
    if (!m_s) return kRefused;
    level[which].text = text;
    int v = 0;
    if (!ParseSaturatedInt(text, &v)) return kWaiting;
    if (v < kEditMin || v > kEditMax) return kWaiting;
    const int pos = ClampToRange(v, level[which].min, level[which].max);
    level[which].pos = pos;
    Apply(which, pos);
    return kApplied;
}

bool CImageAdjustLogic::Validate(Which which, QString* message) const {
    int v = 0;
    if (ParseSaturatedInt(level[which].text, &v) && v >= kEditMin && v <= kEditMax) return true;
    if (message) *message = QString("Please enter an integer between %1 and %2.").arg(kEditMin).arg(kEditMax);
    return false;
}

void CImageAdjustLogic::OnColorEnhancement(bool on) {
    if (!m_s) return;
    colorEnhancement.checked = on;
    m_s->colorEnhancement.nValue = on ? 1 : 0;
    VekCameraSetColorEnhancement(on ? 1 : 0);
    UpdateSaturationEnable();
}

void CImageAdjustLogic::OnFlipH(bool on) {
    if (!m_s) return;
    flipH.checked = on;
    m_s->mirrorH.nValue = on ? 1 : 0;
    VekCameraSetMirror(0, on ? 1 : 0);
}

void CImageAdjustLogic::OnFlipV(bool on) {
    if (!m_s) return;
    flipV.checked = on;
    m_s->mirrorV.nValue = on ? 1 : 0;
    VekCameraSetMirror(1, on ? 1 : 0);
}

void CImageAdjustLogic::OnMonochrome(bool on) {
    if (!m_s) return;
    monochrome.checked = on;
    m_s->monochrome.nValue = on ? 1 : 0;
    VekCameraSetMonochrome(on ? 1 : 0);
}

void CImageAdjustLogic::Store() {
    if (!m_s) return;
    m_s->gamma.nValue = level[kGamma].pos;
    m_s->contrast.nValue = level[kContrast].pos;
    m_s->saturation.nValue = level[kSaturation].pos;
    m_s->colorEnhancement.nValue = colorEnhancement.checked;
    m_s->bBackCorrApply = backCorr.checked;
    m_s->mirrorH.nValue = flipH.checked;
    m_s->mirrorV.nValue = flipV.checked;
    m_s->monochrome.nValue = monochrome.checked;
}
