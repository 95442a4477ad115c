#include "controls/timeedit.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/messages.h"
#include "controls/notifytarget.h"

namespace {

// Start of each field's characters in the mask and its selection (start, end exclusive).
int FieldStart(int field) { return field == CTimeEdit::kMinutes ? 0 : field == CTimeEdit::kSeconds ? 5 : 10; }

void FieldSelection(int field, int* start, int* end) {
    switch (field) {
    case CTimeEdit::kMinutes: *start = 1; *end = 3; break;
    case CTimeEdit::kSeconds: *start = 6; *end = 8; break;
    default: *start = 11; *end = 14; break;
    }
}

QFont TimeFont() {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(12);
    f.setWeight(QFont::Thin);
    return f;
}

}  // namespace

CTimeEdit::CTimeEdit(QWidget* parent) : QLineEdit(parent) {
    setFont(TimeFont());
    setAlignment(Qt::AlignCenter);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    // No length limit: the mask is 14 characters and a limit below that would cut it.
    setText(Mask());
    SelectActiveField();
}

int CTimeEdit::GetField(int field) const {
    return field == kMinutes ? m_minutes : field == kSeconds ? m_seconds : m_milliseconds;
}

void CTimeEdit::SetActiveField(int field) {
    if (field < kMinutes || field > kMilliseconds) return;
    m_activeField = field;
    SelectActiveField();
}

void CTimeEdit::SelectActiveField() {
    int start = 0, end = 0;
    FieldSelection(m_activeField, &start, &end);
    setSelection(start, end - start);
}

void CTimeEdit::Post(UINT message, WPARAM wParam) {
    if (HWND h = NearestMessageTarget(this)) PostMessage(h, message, wParam, 0);
}

bool CTimeEdit::WriteField(int field, int value, bool syncSlider) {
    QString part;
    if (field == kMinutes || field == kSeconds) {
        if (value < 0 || value > 99) return false;
        part = value < 10 ? QStringLiteral(" 0%1 ").arg(value) : QStringLiteral(" %1 ").arg(value);
    } else if (field == kMilliseconds) {
        if (value < 0 || value > 999) return false;
        part = value < 10 ? QStringLiteral(" 00%1").arg(value) : value < 100 ? QStringLiteral(" 0%1").arg(value) : QStringLiteral(" %1").arg(value);
    } else {
        return false;
    }
    QString t = text();
    if (t.size() != Mask().size()) t = Mask();
    t.replace(FieldStart(field), 4, part);
    if (field == kMinutes) m_minutes = value;
    else if (field == kSeconds) m_seconds = value;
    else m_milliseconds = value;
    Post(WM_TIMECHANGE, 0);
    if (syncSlider) Post(WM_TIMEEDIT_SYNCSLIDER, 0);
    setText(t);
    SelectActiveField();
    return true;
}

void CTimeEdit::mousePressEvent(QMouseEvent* e) {
    QLineEdit::mousePressEvent(e);
    const int c = cursorPosition();
    if (c <= 3) m_activeField = kMinutes;
    else if (c >= 6 && c <= 8) m_activeField = kSeconds;
    else if (c > 10) m_activeField = kMilliseconds;
    SelectActiveField();
    update();
}

void CTimeEdit::mouseMoveEvent(QMouseEvent* e) {
    QLineEdit::mouseMoveEvent(e);
    SelectActiveField();
}

void CTimeEdit::mouseReleaseEvent(QMouseEvent* e) {
    QLineEdit::mouseReleaseEvent(e);
    SelectActiveField();
}

void CTimeEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    const int c = selectionStart() >= 0 ? selectionStart() : cursorPosition();
    if (c <= 3) Post(WM_TIMEEDIT_SETMINUTE, 1);
    else if (c >= 6 && c <= 8) Post(WM_TIMEEDIT_SETSECOND, 2);
    else if (c > 10) Post(WM_TIMEEDIT_SETMSEC, 3);
    QLineEdit::mouseDoubleClickEvent(e);
    SelectActiveField();
}

void CTimeEdit::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    // Caret movement is the only editing key; the active field shows selected again after it.
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        QLineEdit::keyPressEvent(e);
        SelectActiveField();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:  // the dialog's
        e->ignore();
        return;
    default:
        break;
    }
    // The text is never typed into: a digit asks the control for the edit mode.
    const QString t = e->text();
    if (t.size() == 1 && t[0] >= u'0' && t[0] <= u'9' && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        Post(WM_TIMEEDIT_DIGIT, t[0].unicode());
    e->accept();
}

void CTimeEdit::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    SelectActiveField();
}
