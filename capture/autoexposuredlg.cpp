#include "capture/autoexposuredlg.h"

#include <QCheckBox>
#include <QPainter>
#include <QPushButton>

#include "capture/cameratables.h"
#include "capture/exposurepagelogic.h"
#include "controls/bitmapslider.h"
#include "controls/exposuretimectrl.h"
#include "ui/messages.h"
#include "resources/resourcetable.h"
#include "vekcamera/VekCamera.h"

CAutoExposureDlg::CAutoExposureDlg(CameraSettings* settings, HWND frame, QWidget* parent)
    : CExposurePopup(settings, frame, parent) {
    resize(210, 60);
    m_check = new QCheckBox(this);
    m_check->setGeometry(2, 8, 12, 14);
    m_slider = new CBitmapSlider(this, kSliderId);
    m_slider->SetBitmapChannel(200, 201, true);
    m_slider->SetBitmapThumb(202, 199, true);
    m_slider->SetMargin(2, 3, 2, 0);
    m_slider->setGeometry(95, 40, 115, 18);
    m_button = new QPushButton(ResourceString(61447), this);
    m_button->setGeometry(5, 35, 75, 22);
    m_time = new CExposureTimeCtrl();
    m_time->Create(this, RECT{90, 5, 295, 45}, 0);
    m_time->SetBkColor(RGB(177, 204, 247));
    m_time->SetEditHeight(18);
    m_time->SetActiveField(3);
    m_time->hide();
    QObject::connect(m_check, &QCheckBox::clicked, this, [this](bool on) { OnCheck(on); });
    QObject::connect(m_button, &QPushButton::clicked, this, [this] { OnButton(); });
    UpdateEnables();
    RegisterWindow(this);
}

void CAutoExposureDlg::SetRange(int minimum, int maximum, bool longExposure) {
    m_bLongExposure = longExposure ? 1 : 0;
    ApplyExposureRange(m_slider, m_time, minimum, maximum, longExposure);
}

void CAutoExposureDlg::EnableAuto(bool supported) {
    m_check->setEnabled(supported);
}

void CAutoExposureDlg::UpdateEnables() {
    m_button->setEnabled(!m_bAuto);
    m_slider->Enable(!m_bAuto && m_bEditing);
    m_time->EnableControl(!m_bAuto);
}

void CAutoExposureDlg::SetAuto(bool on) {
    m_bAuto = on ? 1 : 0;
    m_check->setChecked(on);
    UpdateEnables();
}

void CAutoExposureDlg::SetExposure(int index) {
    m_slider->SetPos(index);
    m_time->SetTime(static_cast<DWORD>(ExposureMsFromIndex(index)));
}

void CAutoExposureDlg::SetActiveField(int field) {
    m_time->SetActiveField(field);
}

void CAutoExposureDlg::OnCheck(bool on) {
    m_bAuto = on ? 1 : 0;
    m_bEditing = 0;
    m_time->hide();
    m_button->setText(ResourceString(61447));
    UpdateEnables();
    CameraSettings* s = Settings();
    if (!s) return;
    s->aeState.nValue = m_bAuto;
    VekCameraSetAeState(s->bSoftwareAe ? 0 : m_bAuto);
    int ms = 0;
    if (VekCameraGetExposureTime(&ms) == 1) {
        const int index = m_bLongExposure ? ExposureIndexFromMs(static_cast<unsigned>(ms)) : ms;
        m_slider->SetPos(index);
        m_time->SetTime(static_cast<DWORD>(ExposureMsFromIndex(m_slider->GetPos())));
    }
}

void CAutoExposureDlg::OnButton() {
    if (m_bEditing) {
        m_slider->SetPos(ExposureIndexFromMs(m_time->GetTime()));
        SendToFrame(WM_CAMERA_SETEXPOSURE, static_cast<WPARAM>(m_slider->GetPos()));
        m_bEditing = 0;
        m_time->hide();
        m_button->setText(ResourceString(61447));
    } else {
        m_bEditing = 1;
        m_button->setText(ResourceString(61448));
        m_time->show();
        m_slider->SetPos(ExposureIndexFromMs(m_time->GetTime()));
    }
    UpdateEnables();
}

LRESULT CAutoExposureDlg::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    if ((message == WM_SLIDER_CHANGING || message == WM_SLIDER_CHANGED) && static_cast<int>(wParam) == kSliderId) {
        m_time->SetTime(static_cast<DWORD>(ExposureMsFromIndex(m_slider->GetPos())));
        m_time->SetActiveField(3);
    }
    return 0;
}

void CAutoExposureDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(177, 204, 255));
    QFont f("MS Sans Serif");
    f.setPixelSize(13);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QPoint(15, 8 + 11), ResourceString(1248));
}
