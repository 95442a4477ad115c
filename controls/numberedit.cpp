#include "controls/numberedit.h"

#include <QApplication>
#include <QValidator>

#include <climits>

namespace {

std::function<void()>& BeepHook() {
    static std::function<void()> hook;
    return hook;
}

void Beep() {
    if (BeepHook()) {
        BeepHook()();
    } else {
        QApplication::beep();
    }
}

}  // namespace

// The line edit hands every new text to its validator, text set by code included and even while
// the edit's signals are blocked (as a page does while it fills its fields). This one refuses
// nothing: it only keeps the last value up to date.
class CNumberEdit::TextWatcher : public QValidator {
public:
    explicit TextWatcher(CNumberEdit* edit) : QValidator(edit), m_edit(edit) {}
    State validate(QString& text, int&) const override {
        m_edit->Accept(text);
        return Acceptable;
    }

private:
    CNumberEdit* m_edit;
};

CNumberEdit::CNumberEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new TextWatcher(this));
    QObject::connect(this, &QLineEdit::textEdited, this, [this] { OnEdited(); });
}

void CNumberEdit::SetRange(int minimum, int maximum) {
    m_min = minimum;
    m_max = maximum;
    m_last = minimum;
}

void CNumberEdit::SetBeepHook(std::function<void()> hook) { BeepHook() = std::move(hook); }

int CNumberEdit::ParseDecimal(const QString& text, bool* overflow) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        // Past every int either way: further digits cannot bring it back.
        if (value > static_cast<long long>(INT_MAX) + 2) value = static_cast<long long>(INT_MAX) + 2;
    }
    if (overflow) *overflow = negative ? value > static_cast<long long>(INT_MAX) + 1 : value > INT_MAX;
    if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

bool CNumberEdit::Accept(const QString& text) {
    if (text.isEmpty()) {
        m_last = -1;
        return true;
    }
    // A number too long for an int is out of range whatever the range, never wrapped into it.
    bool overflow = false;
    const int value = ParseDecimal(text, &overflow);
    if (overflow || value < m_min || value > m_max) return false;
    m_last = value;
    return true;
}

void CNumberEdit::OnEdited() {
    QString text = this->text();
    if (text.size() > 1 && !(text[0] >= u'1' && text[0] <= u'9')) {
        qsizetype p = -1;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] >= u'1' && text[i] <= u'9') {
                p = i;
                break;
            }
        }
        text = p > 0 ? text.mid(p) : QStringLiteral("0");
        setText(text);
        setCursorPosition(0);
    }
    if (Accept(text)) return;
    const QString restored = m_last == -1 ? QString() : QString::number(m_last);
    setText(restored);
    setCursorPosition(static_cast<int>(restored.size()));
    Beep();
}
