#include "capture/resolutionlogic.h"

void CResolutionLogic::Load(CameraSettings* settings) {
    m_s = settings;
    if (!m_s) return;
    preview = m_s->byPreviewRes;
    locked = m_s->bResLock != 0;
    capture = m_s->byCaptureRes;
}

void CResolutionLogic::OnPreviewChanged(int index) {
    preview = index;
    if (locked) capture = index;
}

void CResolutionLogic::OnCaptureChanged(int index) {
    capture = index;
    if (locked) preview = index;
}

void CResolutionLogic::OnLockClicked(bool on) {
    locked = on;
    if (m_s && !m_s->bSeparateRes) locked = true;
    if (locked) capture = preview;
}

void CResolutionLogic::Store() {
    if (!m_s) return;
    m_s->bResLock = locked ? 1 : 0;
    if (preview >= 0 && preview <= 255) m_s->byPreviewRes = static_cast<BYTE>(preview);
    if (capture >= 0 && capture <= 255) m_s->byCaptureRes = static_cast<BYTE>(capture);
}
