#include "capture/resolutionpage.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>

#include "capture/hubcomboadapter.h"
#include "controls/iconbutton.h"
#include "controls/syscolors.h"
#include "vekcamera/VekCamera.h"

CResolutionPage::CResolutionPage(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(216, 231, 252));
    setPalette(pal);
    resize(320, 140);
    (new QLabel("Preview Resolution", this))->setGeometry(16, 10, 200, 18);
    m_preview = new QComboBox(this);
    m_preview->setGeometry(16, 30, 200, 24);
    (new QLabel("Capture Resolution", this))->setGeometry(16, 70, 200, 18);
    m_capture = new QComboBox(this);
    m_capture->setGeometry(16, 90, 200, 24);
    m_lock = new CIconButton(this, BS_AUTOCHECKBOX);
    m_lock->SetIcon(234, CIconButton::AlignCentre, 233);
    m_lock->setGeometry(240, 56, 30, 30);
    for (QComboBox* box : {m_preview, m_capture}) {
        CHubComboAdapter adapter(box);
        box->clear();
        VekCamera_Registerpixel(adapter.Handle());
    }
    QObject::connect(m_preview, &QComboBox::activated, this, [this](int i) { m_logic.OnPreviewChanged(i); Show(); });
    QObject::connect(m_capture, &QComboBox::activated, this, [this](int i) { m_logic.OnCaptureChanged(i); Show(); });
    QObject::connect(m_lock, &QAbstractButton::clicked, this, [this] {
        m_logic.OnLockClicked(m_lock->GetCheck() != 0);
        Show();
        update();
    });
}

void CResolutionPage::Load(CameraSettings* settings) {
    m_logic.Load(settings);
    Show();
}

void CResolutionPage::Store() {
    m_logic.Store();
}

void CResolutionPage::Show() {
    const QSignalBlocker a(m_preview), b(m_capture);
    m_preview->setCurrentIndex(m_logic.preview < m_preview->count() ? m_logic.preview : -1);
    m_capture->setCurrentIndex(m_logic.capture < m_capture->count() ? m_logic.capture : -1);
    m_lock->SetCheck(m_logic.locked ? 1 : 0);
    update();
}

void CResolutionPage::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    if (!m_logic.locked) return;
    QPainter p(this);
    p.setPen(QPen(CSysColors::Color(COLOR_3DDKSHADOW), 3));
    const QRect lock = m_lock->geometry();
    const int cx = lock.center().x();
    const QRect pr = m_preview->geometry(), cr = m_capture->geometry();
    p.drawLine(cx, lock.top(), cx, pr.center().y());
    p.drawLine(cx, pr.center().y(), pr.left(), pr.center().y());
    p.drawLine(cx, lock.bottom(), cx, cr.center().y());
    p.drawLine(cx, cr.center().y(), cr.left(), cr.center().y());
}
