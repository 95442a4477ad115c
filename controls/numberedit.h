// An edit for a non-negative integer within a range. Every edit by the user strips leading
// zeros and refuses a value outside the range: the last valid text comes back and it beeps.
// Text set by code is not checked, but an in-range one is the last valid text from then on.
// UI thread only.
#pragma once

#include <QLineEdit>

#include <functional>

class CNumberEdit : public QLineEdit {
public:
    explicit CNumberEdit(QWidget* parent = nullptr);

    // The last value becomes the minimum.
    void SetRange(int minimum, int maximum);
    int GetMinimum() const { return m_min; }
    int GetMaximum() const { return m_max; }
    // The last accepted value; -1 while the text is empty.
    int GetLastValue() const { return m_last; }

    // The text read as a decimal integer the way the edit's owner reads it: leading blanks and
    // a sign, then digits up to the first other character. Saturates at the int limits instead
    // of wrapping; overflow (when given) tells that it did.
    static int ParseDecimal(const QString& text, bool* overflow = nullptr);

    // Replaces the beep (tests); an empty function restores the system beep.
    static void SetBeepHook(std::function<void()> hook);

private:
    class TextWatcher;

    void OnEdited();
    // Takes the text as the last value when it is empty or in range.
    bool Accept(const QString& text);

    int m_min = 0;
    int m_max = 100;
    int m_last = 0;
};
