#include "capture/exposurepanel.h"

#include <QCheckBox>
#include <QPainter>

#include "capture/cameratables.h"
#include "capture/exposurepagelogic.h"
#include "controls/bitmapslider.h"
#include "controls/exposuretimectrl.h"
#include "ui/messages.h"
#include "resources/resourcetable.h"
#include "vekcamera/VekCamera.h"

CExposurePanel::CExposurePanel(CameraSettings* settings, HWND frame, QWidget* parent)
    : CExposurePopup(settings, frame, parent) {
    resize(125, 72);
    m_time = new CExposureTimeCtrl();
    m_time->Create(this, RECT{2, 5, 142, 40}, static_cast<UINT>(-1));
    m_time->SetBkColor(RGB(177, 204, 247));
    m_time->SetActiveField(3);
    m_time->ShowSlider(false);
    m_time->SetEditHeight(18);
    m_slider = new CBitmapSlider(this, kSliderId);
    m_slider->SetBitmapChannel(200, 201, true);
    m_slider->SetBitmapThumb(202, 199, true);
    m_slider->SetMargin(2, 3, 2, 0);
    m_slider->SetRange(0, 10000);
    m_slider->setGeometry(5, 40, 115, 18);
    m_check = new QCheckBox(this);
    m_check->setGeometry(10, 58, 14, 14);
    QObject::connect(m_check, &QCheckBox::clicked, this, [this](bool on) { OnCheck(on); });
    m_time->EnableControl(!m_bAuto);
    RegisterWindow(this);
}

int CExposurePanel::PosFromTime(DWORD ms) const {
    const int pos = m_bLongExposure ? ExposureIndexFromMs(ms) : static_cast<int>(std::min<DWORD>(ms, 0x7FFFFFFF));
    return ClampToRange(pos, m_slider->GetRangeMin(), m_slider->GetRangeMax());
}

void CExposurePanel::SetRange(int minimum, int maximum, bool longExposure) {
    m_bLongExposure = longExposure;
    ApplyExposureRange(m_slider, m_time, minimum, maximum, longExposure);
}

void CExposurePanel::SetAuto(bool on) {
    m_bAuto = on;
    m_time->EnableControl(!on);
    m_slider->Enable(!on);
    m_check->setChecked(on);
}

void CExposurePanel::EnableAuto(bool enabled) {
    m_check->setEnabled(enabled);
}

void CExposurePanel::SetExposure(int value) {
    m_slider->SetPos(value);
    m_lastSent = m_slider->GetPos();
    ShowPosition();
}

void CExposurePanel::SetTime(DWORD ms) {
    m_time->SetTime(ms);
}

void CExposurePanel::ShowPosition() {
    const int pos = m_slider->GetPos();
    const DWORD ms = m_bLongExposure ? static_cast<DWORD>(ExposureMsFromIndex(pos)) : static_cast<DWORD>(std::max(pos, 0));
    if (m_time->GetTime() != ms) m_time->SetTime(ms);
    m_time->SetActiveField(3);
}

void CExposurePanel::OnCheck(bool on) {
    m_bAuto = on;
    m_time->EnableControl(!on);
    m_slider->Enable(!on);
    CameraSettings* s = Settings();
    if (!s) return;
    s->aeState.nValue = on ? 1 : 0;
    VekCameraSetAeState(s->bSoftwareAe ? 0 : (on ? 1 : 0));
    int ms = 0;
    if (VekCameraGetExposureTime(&ms) == 1) {
        m_slider->SetPos(m_bLongExposure ? ExposureIndexFromMs(static_cast<unsigned>(ms)) : ms);
        m_lastSent = m_slider->GetPos();
    }
    ShowPosition();
}

LRESULT CExposurePanel::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_SLIDER_CHANGING:
    case WM_SLIDER_CHANGED:
        if (static_cast<int>(wParam) != kSliderId) return 0;
        ShowPosition();
        SendMessage(GetSafeHwnd(), WM_TIMECHANGE, 0, 0);
        return 0;
    case WM_TIMECHANGE: {
        m_slider->SetPos(PosFromTime(m_time->GetTime()));
        const int pos = m_slider->GetPos();
        // The time control notifies once per field it writes: one message per new value.
        if (pos != m_lastSent) {
            m_lastSent = pos;
            SendToFrame(WM_CAMERA_SETEXPOSURE, static_cast<WPARAM>(pos));
        }
        return 0;
    }
    default: return 0;
    }
}

void CExposurePanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(177, 204, 255));
    QFont f("MS Sans Serif");
    f.setPixelSize(13);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(26, 58, width() - 26, 14), Qt::AlignLeft | Qt::AlignVCenter, ResourceString(1248));
}
