// The masked time field of the exposure-time control: " 00 : 00 . 001", minutes in characters
// 0-3, seconds in 5-8, milliseconds in 10-13. Nothing is typed into it: a digit asks its control
// for the edit mode, a click picks the active field (always shown selected), a double-click asks
// to edit that field. Every field write goes through WriteField, which tells the control.
// UI thread only.
#pragma once

#include <QLineEdit>

#include "platform/wintypes.h"

class CTimeEdit : public QLineEdit {
public:
    enum Field { kMinutes = 1, kSeconds = 2, kMilliseconds = 3 };
    // The longest time the mask can show.
    static constexpr DWORD kMaskMaxTime = 99 * 60000 + 59 * 1000 + 999;

    explicit CTimeEdit(QWidget* parent = nullptr);

    static QString Mask() { return QStringLiteral(" 00 : 00 . 001"); }

    int GetActiveField() const { return m_activeField; }
    // Also selects the field's characters.
    void SetActiveField(int field);
    int GetMinutes() const { return m_minutes; }
    int GetSeconds() const { return m_seconds; }
    int GetMilliseconds() const { return m_milliseconds; }
    int GetField(int field) const;
    // Store a value without touching the text or telling anyone.
    void SetMinutes(int v) { m_minutes = v; }
    void SetSeconds(int v) { m_seconds = v; }
    void SetMilliseconds(int v) { m_milliseconds = v; }
    DWORD GetTime() const { return static_cast<DWORD>(m_minutes) * 60000 + m_seconds * 1000 + m_milliseconds; }

    int GetMaxMinutes() const { return m_maxMinutes; }
    int GetMaxSeconds() const { return m_maxSeconds; }
    int GetMaxMilliseconds() const { return m_maxMilliseconds; }
    void SetMaxMinutes(int v) { m_maxMinutes = v; }
    void SetMaxSeconds(int v) { m_maxSeconds = v; }
    void SetMaxMilliseconds(int v) { m_maxMilliseconds = v; }
    // The longest time the slider and the spin may set (the control's total maximum).
    DWORD GetTimeLimit() const { return m_timeLimit; }
    void SetTimeLimit(DWORD ms) { m_timeLimit = ms > kMaskMaxTime ? kMaskMaxTime : ms; }

    // Writes a field into the text and stores it; posts WM_TIMECHANGE (0) to the control and,
    // with syncSlider (typing, spin, SetTime), WM_TIMEEDIT_SYNCSLIDER. A value the mask cannot
    // hold (minutes or seconds outside 0..99, milliseconds outside 0..999) changes nothing.
    bool WriteField(int field, int value, bool syncSlider);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    void SelectActiveField();
    void Post(UINT message, WPARAM wParam);

    int m_activeField = kMilliseconds;
    int m_minutes = 0, m_seconds = 0, m_milliseconds = 1;
    int m_maxMinutes = 10, m_maxSeconds = 59, m_maxMilliseconds = 999;
    DWORD m_timeLimit = kMaskMaxTime;
};
