// A flat level meter: a green bar, the button face beyond it and a 3-pixel red mark at the
// highest position reached so far. UI thread only; it tells its parent nothing.
#pragma once

#include <QWidget>

#include "platform/wintypes.h"

class CFlatProgressCtrl : public QWidget {
public:
    explicit CFlatProgressCtrl(QWidget* parent = nullptr);

    // The position goes to lower; the high mark is kept.
    void SetRange(int lower, int upper);
    void GetRange(int* lower, int* upper) const;
    void SetPos(UINT pos);
    UINT GetPos() const { return m_pos; }
    UINT GetHighMark() const { return m_highMark; }

    // The bar as painted, at the widget's size.
    QImage Render() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void PaintInto(QPainter& p, const QRect& client) const;

    int m_lower = 0;
    int m_upper = 100;
    UINT m_pos = 0;
    UINT m_highMark = 0;
    COLORREF m_bkColor;
};
