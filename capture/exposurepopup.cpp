#include "capture/exposurepopup.h"

#include <algorithm>

#include <QKeyEvent>
#include <QMouseEvent>

#include "controls/bitmapslider.h"
#include "controls/exposuretimectrl.h"
#include "ui/messages.h"

CExposurePopup::CExposurePopup(CameraSettings* settings, HWND frame, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), m_s(settings), m_frame(frame) {}

CExposurePopup::~CExposurePopup() {
    UnregisterWindow();
}

LRESULT CExposurePopup::SendToFrame(UINT message, WPARAM wParam) {
    return m_frame ? SendMessage(m_frame, message, wParam, 0) : 0;
}

void CExposurePopup::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    m_dragging = true;
    m_grab = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CExposurePopup::mouseMoveEvent(QMouseEvent* e) {
    if (m_dragging && (e->buttons() & Qt::LeftButton)) move(e->globalPosition().toPoint() - m_grab);
}

void CExposurePopup::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) m_dragging = false;
}

void CExposurePopup::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

void CExposurePopup::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && !isActiveWindow()) SendToFrame(WM_CAMERA_EXPOSUREPANEL, 1);
}

void CExposurePopup::ApplyExposureRange(CBitmapSlider* slider, CExposureTimeCtrl* time, int minimum, int maximum,
                                        bool longExposure) {
    slider->SetRange(minimum, maximum);
    if (longExposure) {
        time->SetMaxTime(59, 59, 999);
    } else {
        const int ms = std::max(maximum, 0);
        time->SetMaxTime(ms / 60000, ms / 1000 % 60, ms % 1000);
    }
}
