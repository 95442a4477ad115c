// A progress bar that paints itself through the gradient painter. The progress-bar operations
// are plain methods returning what the matching progress-bar messages return. UI thread only.
#pragma once

#include <QWidget>

#include "controls/progresspainter.h"
#include "platform/wintypes.h"

struct PBRANGE {
    int iLow;
    int iHigh;
};

class CGradientProgressCtrl : public QWidget {
public:
    explicit CGradientProgressCtrl(QWidget* parent = nullptr);

    CProgressPainter& Painter() { return m_painter; }
    const CProgressPainter& Painter() const { return m_painter; }

    // The window style's low word, which holds the painter's style bits.
    DWORD GetStyle() const { return m_style; }
    void ModifyStyle(DWORD remove, DWORD add);
    // The non-client frame: a black border and a one-pixel sunken static edge.
    void SetBorder(bool on);
    void SetStaticEdge(bool on);

    // Range from the low (lower) and high (upper) word of one value.
    DWORD SetRange(DWORD lowHigh);
    // Smaller value first; returns the old range (low word lower, high word upper).
    DWORD SetRange32(int a, int b);
    // Fills range when given; returns lower when wantLow, else upper.
    int GetRange(bool wantLow, PBRANGE* range = nullptr) const;
    int SetPos(int pos);          // returns the old position
    int DeltaPos(int delta);      // returns the old position
    int SetStep(int step);        // returns the old step
    int StepIt();                 // returns the old position
    int GetPos() const { return m_painter.GetPos(); }
    // Gradient from start to end (end 0: start again); returns CLR_DEFAULT.
    COLORREF SetBarColor(COLORREF start, COLORREF end = 0);
    COLORREF SetBkColor(COLORREF colour);
    // The text format; the text shown is formatted by the painter.
    bool SetWindowText(const QString& format);
    // Copies at most maxBytes UTF-8 bytes of the shown text; returns the smaller of maxBytes and its length.
    int GetWindowText(char* buffer, int maxBytes) const;
    int GetWindowTextLength() const;
    QString GetText() const { return m_painter.GetText(); }
    void SetFont(const QFont& font, bool redraw);
    const QFont* GetFont() const { return m_painter.GetFont(); }
    // Timer 11 steps, timer 12 moves the gradient; returns false for other timers.
    bool OnTimer(int id);
    void SetAnimationStep(int step) { m_animationStep = step; }
    // A tooltip with the formatted text while a non-empty text and a text mode are set.
    void SetTooltipFormat(const QString& format, DWORD mode);
    QString GetTooltipText() const;

    // The painted bar as an image of the widget's size (what paintEvent shows).
    QImage Render();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void PaintAll(QPainter& p);
    void PositionChanged();
    int FrameWidth() const { return (m_border ? 1 : 0) + (m_staticEdge ? 1 : 0); }

    DWORD m_style = 0;
    CProgressPainter m_painter;
    bool m_border = false;
    bool m_staticEdge = false;
    QString m_tooltipFormat;
    DWORD m_tooltipMode = 0;
    int m_animationStep = 0;
};
