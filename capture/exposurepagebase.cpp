#include "capture/exposurepagebase.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>

#include "controls/bitmapslider.h"
#include "controls/exposuretimectrl.h"
#include "ui/messages.h"
#include "resources/resourcetable.h"

namespace {

CBitmapSlider* MakeSlider(QWidget* parent, int id, UINT channel, const QRect& r) {
    auto* s = new CBitmapSlider(parent, id);
    s->SetBitmapChannel(channel, 0);
    s->SetBitmapThumb(202, 199, true);
    s->SetMargin(2, 3, 2, 0);
    // The channel bitmap gives the slider its size: stretching the control left a bare strip.
    if (s->width() > 0 && s->height() > 0) s->move(r.topLeft()); else s->setGeometry(r);
    return s;
}

}  // namespace

CExposurePageBase::CExposurePageBase(CExposurePageLogic::Kind kind, QWidget* parent)
    : QWidget(parent), m_logic(kind) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(216, 231, 252));
    setPalette(pal);
    resize(380, 260);
    m_baseWidth = 380;

    m_expGroup = new QGroupBox("Exposure", this);
    m_expGroup->setGeometry(6, 4, 368, 170);
    m_auto = new QRadioButton("Auto Exposure", this);
    m_auto->setGeometry(16, 22, 130, 20);
    m_manual = new QRadioButton("Manual Exposure", this);
    m_manual->setGeometry(180, 22, 140, 20);
    m_dark = new QLabel("Dark", this);
    m_dark->setGeometry(16, 48, 40, 18);
    m_target = MakeSlider(this, IDC_TARGET, 191, QRect(60, 48, 220, 18));
    m_bright = new QLabel("Bright", this);
    m_bright->setGeometry(288, 48, 50, 18);
    m_expLabel = new QLabel("Exposure Time:", this);
    m_expLabel->setGeometry(16, 76, 100, 18);
    m_time = new CExposureTimeCtrl();
    m_time->Create(this, RECT{120, 72, 325, 112}, IDC_TIME);
    m_time->ShowSlider(false);
    m_time->SetBkColor(RGB(216, 231, 252));
    m_time->SetActiveField(3);
    m_exposure = MakeSlider(this, IDC_EXPOSURE, 189, QRect(16, 116, 300, 18));
    m_gainLabel = new QLabel("Gain:", this);
    m_gainLabel->setGeometry(16, 144, 40, 18);
    m_gain = MakeSlider(this, IDC_GAIN, 193, QRect(60, 144, 200, 18));
    m_iso = new QLineEdit(this);
    m_iso->setReadOnly(true);
    m_iso->setGeometry(268, 142, 90, 22);
    m_wbGroup = new QGroupBox("White Balance", this);
    m_wbGroup->setGeometry(6, 180, 368, 70);
    m_wb = new QPushButton("W.Balance", this);
    m_wb->setGeometry(16, 204, 90, 26);
    m_bb = new QPushButton("B.Balance", this);
    m_bb->setGeometry(116, 204, 90, 26);
    m_default = new QPushButton("Default", this);
    m_default->setGeometry(216, 204, 90, 26);
    if (kind == CExposurePageLogic::kExposurePage) {
        m_setTime = new QPushButton(ResourceString(61449), this);
        m_setTime->setGeometry(284, 76, 84, 26);
        m_time->setGeometry(120, 72, 160, 40);
    }

    QObject::connect(m_auto, &QRadioButton::clicked, this, [this] { m_logic.OnAuto(); Show(); });
    QObject::connect(m_manual, &QRadioButton::clicked, this, [this] { m_logic.OnManual(); Show(); });
    QObject::connect(m_wb, &QPushButton::clicked, this, [this] { m_logic.OnWhiteBalance(); });
    QObject::connect(m_bb, &QPushButton::clicked, this, [this] { m_logic.OnBlackBalance(); });
    QObject::connect(m_default, &QPushButton::clicked, this, [this] { m_logic.OnDefault(); });
    if (m_setTime)
        QObject::connect(m_setTime, &QPushButton::clicked, this, [this] {
            m_logic.OnSetTime(m_time->GetTime());
            Show();
        });

    m_logic.sendToDialog = [this](UINT msg, WPARAM w) { return m_dialog ? SendMessage(m_dialog, msg, w, 0) : 0; };
    m_logic.sendToFrame = [this](UINT msg, WPARAM w) { return m_frame ? SendMessage(m_frame, msg, w, 0) : 0; };
    RegisterWindow(this);
}

CExposurePageBase::~CExposurePageBase() {
    UnregisterWindow();

}

QPushButton* CExposurePageBase::Button(int id) const {
    switch (id) {
    case IDC_WHITEBALANCE: return m_wb;
    case IDC_BLACKBALANCE: return m_bb;
    case IDC_DEFAULT: return m_default;
    case IDC_SETTIME: return m_setTime;
    default: return nullptr;
    }
}

void CExposurePageBase::SetTargets(HWND dialog, HWND frame) {
    m_dialog = dialog;
    m_frame = frame;
}

void CExposurePageBase::Load(CameraSettings* settings) {
    m_logic.Load(settings);
    Show();
}

void CExposurePageBase::Refresh() {
    m_logic.Refresh();
    Show();
}

void CExposurePageBase::Store() {
    m_logic.Store();
}

void CExposurePageBase::Show() {
    const CExposurePageLogic& l = m_logic;
    m_auto->setEnabled(l.radiosEnabled);
    m_manual->setEnabled(l.radiosEnabled);
    m_auto->setChecked(l.autoOn);
    m_manual->setChecked(!l.autoOn);
    auto slider = [](CBitmapSlider* s, const CExposurePageLogic::Slider& v) {
        s->SetRange(v.min, v.max);
        s->SetPos(v.pos);
        s->Enable(v.enabled);
    };
    slider(m_target, l.target);
    m_dark->setEnabled(l.target.enabled);
    m_bright->setEnabled(l.target.enabled);
    slider(m_exposure, l.exposure);
    m_expLabel->setEnabled(l.exposure.enabled);
    m_time->SetMaxTime(l.maxMinutes, l.maxSeconds, l.maxMilliseconds);
    if (m_time->GetTime() != l.timeMs) m_time->SetTime(l.timeMs);
    m_time->SetActiveField(3);
    m_time->EnableControl(l.timeEnabled);
    slider(m_gain, l.gain);
    m_gain->SetTickCount(l.gainTicks);
    m_gainLabel->setEnabled(l.gain.enabled);
    m_iso->setEnabled(l.gain.enabled);
    m_iso->setText(l.isoText);
    m_wbGroup->setEnabled(true);
    m_wb->setEnabled(l.whiteBalanceEnabled);
    m_bb->setEnabled(l.blackBalanceEnabled);
    if (m_setTime) {
        m_setTime->setEnabled(l.setTimeEnabled);
        m_setTime->setText(ResourceString(l.setTimeStringId));
    }
}

LRESULT CExposurePageBase::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SLIDER_CHANGING:
    case WM_SLIDER_CHANGED: {
        const int pos = static_cast<int>(lParam);
        switch (static_cast<int>(wParam)) {
        case IDC_TARGET: m_logic.OnTargetSlider(m_target->GetPos()); break;
        case IDC_EXPOSURE: m_logic.OnExposureSlider(m_exposure->GetPos()); break;
        case IDC_GAIN: m_logic.OnGainSlider(m_gain->GetPos()); break;
        default: (void)pos; return 0;
        }
        Show();
        return 0;
    }
    case WM_TIMECHANGE:
        if (m_logic.GetKind() == CExposurePageLogic::kExposureGainPage) {
            m_logic.OnTimeChange(m_time->GetTime());
            m_exposure->SetPos(m_logic.exposure.pos);
        }
        return 0;
    default: return 0;
    }
}

void CExposurePageBase::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // The group boxes widen by half of any change of the page width.
    const int grow = (e->size().width() - m_baseWidth) / 2;
    m_expGroup->resize(std::max(368 + grow, 100), m_expGroup->height());
    m_wbGroup->resize(std::max(368 + grow, 100), m_wbGroup->height());
}
