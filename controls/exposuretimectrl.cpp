#include "controls/exposuretimectrl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>

#include "controls/flatsliderctrl.h"
#include "ui/messages.h"
#include "controls/notifytarget.h"
#include "controls/numberedit.h"
#include "controls/shadebutton.h"
#include "controls/syscolors.h"
#include "controls/timeedit.h"
#include "controls/timespinctrl.h"
#include "platform/rectconv.h"

namespace {
const QString kDisplayCaption = QStringLiteral("  M :  S  .  m  ");
}

CExposureTimeCtrl::CExposureTimeCtrl() : m_bkColor(RGB(236, 233, 216)) {
    m_font = QFont(QStringLiteral("MS Sans Serif"));
    m_font.setPixelSize(12);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CExposureTimeCtrl::~CExposureTimeCtrl() { UnregisterWindow(); }

QString CExposureTimeCtrl::FieldCaption(int field) {
    switch (field) {
    case CTimeEdit::kMinutes: return QStringLiteral("Set Minute");
    case CTimeEdit::kSeconds: return QStringLiteral("Set Second");
    default: return QStringLiteral("Set MillSecond");
    }
}

bool CExposureTimeCtrl::Create(QWidget* parent, const RECT& rect, UINT id) {
    if (!parent || m_created) return false;
    setParent(parent);
    setGeometry(RectToQRect<QRect>(rect));
    m_id = id;

    m_timeEdit = new CTimeEdit(this);
    m_timeEdit->setObjectName(QString::number(kTimeEditId));
    m_timeEdit->setGeometry(0, 0, 90, 20);
    m_timeEdit->setText(CTimeEdit::Mask());

    m_slider = new CFlatSliderCtrl(this);
    m_slider->setObjectName(QString::number(kSliderId));
    m_slider->setGeometry(0, 0, 120, 20);
    m_slider->SetTimeEdit(m_timeEdit);
    m_slider->SetBkColor(m_bkColor);

    m_spin = new CTimeSpinCtrl(this);
    m_spin->setObjectName(QString::number(kSpinId));
    m_spin->setGeometry(0, 0, 20, 20);
    m_spin->SetTimeEdit(m_timeEdit);
    m_spin->SetRange(0, 1000);

    m_valueEdit = new QLineEdit(this);
    m_valueEdit->setObjectName(QString::number(kValueEditId));
    m_valueEdit->setGeometry(0, 0, 50, 20);
    m_valueEdit->setContextMenuPolicy(Qt::NoContextMenu);
    m_valueEdit->setAcceptDrops(false);
    m_valueEdit->installEventFilter(this);
    m_valueEdit->hide();

    m_apply = new CShadeButton(this);
    m_cancel = new CShadeButton(this);
    m_apply->setText(QStringLiteral("Y"));
    m_cancel->setText(QStringLiteral("N"));
    m_apply->setObjectName(QString::number(kApplyId));
    m_cancel->setObjectName(QString::number(kCancelId));
    for (CShadeButton* b : {m_apply, m_cancel}) {
        b->setGeometry(0, 0, 15, 20);
        b->SetShade(CShadeButton::ShadeVertical, 8, 20, 5, RGB(55, 55, 255));
        b->setFocusPolicy(Qt::NoFocus);
        b->hide();
    }
    QObject::connect(m_apply, &QPushButton::clicked, this, [this] { WindowProc(WM_COMMAND, kApplyId, 0); });
    QObject::connect(m_cancel, &QPushButton::clicked, this, [this] { WindowProc(WM_COMMAND, kCancelId, 0); });

    m_slider->SetThumbColor(m_bkColor);
    m_slider->SetSelectedThumbColor(m_bkColor);
    ApplyMaxTime();  // a maximum given before the children existed
    RegisterWindow(this);
    m_created = true;
    m_mode = kDisplayMode;
    Layout();
    show();
    return true;
}

void CExposureTimeCtrl::SetMaxTime(int minutes, int seconds, int milliseconds) {
    // The mask holds two digits of minutes and the fields their usual ranges.
    minutes = std::clamp(minutes, 0, 99);
    seconds = std::clamp(seconds, 0, 59);
    milliseconds = std::clamp(milliseconds, 0, 999);
    m_maxMinutes = minutes;
    m_maxSeconds = seconds;
    m_maxMilliseconds = milliseconds;
    m_maxTimeSet = true;
    ApplyMaxTime();
}

void CExposureTimeCtrl::ApplyMaxTime() {
    if (!m_timeEdit || !m_maxTimeSet) return;
    const int minutes = m_maxMinutes, seconds = m_maxSeconds, milliseconds = m_maxMilliseconds;
    m_timeEdit->SetMaxMinutes(minutes);
    if (minutes > 0) {
        m_timeEdit->SetMaxSeconds(59);
        m_timeEdit->SetMaxMilliseconds(999);
    } else {
        m_timeEdit->SetMaxSeconds(seconds);
        m_timeEdit->SetMaxMilliseconds(seconds > 0 ? 999 : milliseconds);
    }
    m_timeEdit->SetTimeLimit(static_cast<DWORD>(minutes) * 60000 + seconds * 1000 + milliseconds);
}

bool CExposureTimeCtrl::SetTime(DWORD ms) {
    if (!m_timeEdit) return false;
    const DWORD minutes = ms / 60000, seconds = ms / 1000 % 60, millis = ms % 1000;
    if (minutes >= 100 || seconds > static_cast<DWORD>(m_timeEdit->GetMaxSeconds()) ||
        millis > static_cast<DWORD>(m_timeEdit->GetMaxMilliseconds()))
        return false;
    m_timeEdit->WriteField(CTimeEdit::kMilliseconds, static_cast<int>(millis), true);
    m_timeEdit->WriteField(CTimeEdit::kSeconds, static_cast<int>(seconds), true);
    m_timeEdit->WriteField(CTimeEdit::kMinutes, static_cast<int>(minutes), true);
    m_timeEdit->SetActiveField(CTimeEdit::kMinutes);
    return true;
}

DWORD CExposureTimeCtrl::GetTime() const { return m_timeEdit ? m_timeEdit->GetTime() : 0; }

void CExposureTimeCtrl::SetActiveField(int field) {
    if (m_timeEdit) m_timeEdit->SetActiveField(field);
}

void CExposureTimeCtrl::EnableControl(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_timeEdit, m_slider, m_spin, m_apply, m_cancel, m_valueEdit})
        if (w) w->setEnabled(enabled);
    setEnabled(enabled);
}

bool CExposureTimeCtrl::SetBkColor(COLORREF c) {
    m_bkColor = c;
    if (!m_created) return false;
    m_slider->SetBkColor(c);
    m_slider->SetThumbColor(c);
    m_slider->SetSelectedThumbColor(c);
    repaint();
    return true;
}

void CExposureTimeCtrl::ShowSlider(bool shown) {
    m_sliderShown = shown;
    if (m_created) Layout();
}

void CExposureTimeCtrl::SetEditHeight(int pixels) {
    m_editHeight = pixels;
    if (m_created) Layout();
}

void CExposureTimeCtrl::SetMode(int mode) {
    m_mode = mode;
    Layout();
    update();
}

void CExposureTimeCtrl::Layout() {
    if (!m_created) return;
    const bool display = m_mode == kDisplayMode;
    if (display) {
        const int w = m_timeEdit->width(), h = m_slider->height();
        m_timeEdit->setGeometry(5, 0, w, m_editHeight);
        m_slider->setGeometry(0, h + 12, m_slider->width(), h);
        m_spin->move(w + 7, 0);
    } else {
        m_valueEdit->move(15, 1);
        m_apply->move(15 + m_valueEdit->width() + 5, 0);
        m_cancel->move(m_apply->x() + m_apply->width() + 1, 0);
    }
    m_timeEdit->setVisible(display);
    m_slider->setVisible(display && m_sliderShown);
    m_spin->setVisible(display);
    m_valueEdit->setVisible(!display);
    m_apply->setVisible(!display);
    m_cancel->setVisible(!display);
}

QImage CExposureTimeCtrl::Render() const {
    QImage img(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.fillRect(rect(), CSysColors::ToQColor(m_bkColor));
    if (!m_created) return img;
    p.setFont(m_font);
    p.setPen(CSysColors::Color(isEnabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip;
    if (m_mode == kDisplayMode) {
        p.drawText(QRect(17, m_spin->height() + 1, width(), height()), flags, kDisplayCaption);
    } else {
        p.drawText(QRect(15, m_apply->y() + m_apply->height(), width(), height()), flags,
                   FieldCaption(m_timeEdit->GetActiveField()));
    }
    return img;
}

void CExposureTimeCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Render());
}

void CExposureTimeCtrl::EditField(int field, const QString& text, int selectFrom) {
    SetMode(kEditMode);
    m_valueEdit->setText(text);
    m_valueEdit->setFocus(Qt::OtherFocusReason);
    const int len = static_cast<int>(text.size());
    const int from = std::min(selectFrom, len);
    if (from < len) m_valueEdit->setSelection(from, len - from);
    else m_valueEdit->setCursorPosition(len);
    (void)field;
}

bool CExposureTimeCtrl::Apply() {
    const QString text = m_valueEdit->text();
    // Nothing numeric, or a number too long for an int, is out of range; never read as 0 or wrapped.
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9') return false;
    bool overflow = false;
    const int v = CNumberEdit::ParseDecimal(text, &overflow);
    if (overflow) return false;

    const int field = m_timeEdit->GetActiveField();
    const int M = m_maxMinutes, S = m_maxSeconds, L = m_maxMilliseconds;
    const int m = m_timeEdit->GetMinutes(), s = m_timeEdit->GetSeconds(), l = m_timeEdit->GetMilliseconds();
    bool ok = false;
    long long total = 0;
    if (field == CTimeEdit::kMinutes) {
        ok = v >= 0 && v <= m_timeEdit->GetMaxMinutes() && !(v == M && (s > S || (s == S && l > L)));
        total = v * 60000LL + s * 1000LL + l;
    } else if (field == CTimeEdit::kSeconds) {
        ok = v >= 0 && v <= m_timeEdit->GetMaxSeconds() && !(m == M && (v > S || (v == S && l > L)));
        total = m * 60000LL + v * 1000LL + l;
    } else {
        ok = v >= 0 && v <= m_timeEdit->GetMaxMilliseconds() && !(v == 0 && m == 0 && s == 0) && !(m == M && s == S && v > L);
        total = m * 60000LL + s * 1000LL + v;
    }
    // No field may bring the time to 0 ms.
    if (!ok || total < 1) return false;
    SetMode(kDisplayMode);
    m_timeEdit->WriteField(field, v, true);
    m_timeEdit->setFocus(Qt::OtherFocusReason);
    return true;
}

bool CExposureTimeCtrl::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_valueEdit && e->type() == QEvent::KeyPress && m_mode == kEditMode) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            Apply();
            return false;
        }
        if (k->key() == Qt::Key_Backspace || k->key() == Qt::Key_Escape) return false;
        const QString t = k->text();
        // Keys that make no character (caret movement, Delete) pass; of the characters only
        // digits and '.' do. Ctrl+V and the like make a control character and are swallowed.
        if (t.isEmpty()) return false;
        if (t.size() == 1 && ((t[0] >= u'0' && t[0] <= u'9') || t[0] == u'.') &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            return false;
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

LRESULT CExposureTimeCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_TIMECHANGE:
        if (HWND h = NearestMessageTarget(this)) PostMessage(h, WM_TIMECHANGE, m_id, 0);
        return 0;
    case WM_COMMAND:
        if ((wParam & 0xFFFF) == kApplyId) {
            Apply();
        } else if ((wParam & 0xFFFF) == kCancelId) {
            SetMode(kDisplayMode);
        }
        return 0;
    case WM_TIMEEDIT_SETMINUTE:
    case WM_TIMEEDIT_SETSECOND:
    case WM_TIMEEDIT_SETMSEC: {
        const int field = message == WM_TIMEEDIT_SETMINUTE ? CTimeEdit::kMinutes
                          : message == WM_TIMEEDIT_SETSECOND ? CTimeEdit::kSeconds
                                                             : CTimeEdit::kMilliseconds;
        m_timeEdit->SetActiveField(field);
        EditField(field, QString::number(m_timeEdit->GetField(field)), field == CTimeEdit::kMilliseconds ? 4 : 2);
        return 0;
    }
    case WM_TIMEEDIT_SYNCSLIDER:
        m_slider->SyncToTime();
        return 0;
    case WM_TIMEEDIT_DIGIT:
        EditField(m_timeEdit->GetActiveField(), QString(QChar(static_cast<char16_t>(wParam))), 1);
        return 0;
    default:
        return 0;
    }
}
