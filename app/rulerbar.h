// A ruler along the view's top or left edge: image-pixel coordinates scaled by the zoom and
// shifted by the scroll position, with a one-pixel mark that follows the mouse.
#pragma once

#include <QRect>
#include <QWidget>

class CRulerBar : public QWidget {
public:
    CRulerBar(bool horizontal, QWidget* parent);
    void SetPartner(CRulerBar* partner) { m_pPartner = partner; }
    void SetBackgroundColor(const QColor& c);
    // Stores the view's state; code 3 only moves the mark, other codes repaint.
    void Update(int code, const QPoint& scroll, const QPoint& mouse, const QRect& imageRect, float zoom);
    int Mark() const { return m_nMark; }
    QPoint Scroll() const { return m_scroll; }
    // Tick positions (widget coordinates) of the last paint, for the minor and major steps.
    QList<int> TickPositions(int step) const;
    QList<int> LabelValues() const;
    // The image-pixel distance between labels and long ticks: 100 where those fit, else the
    // nearest step of 1, 2, 5 x 10^n whose labels never overlap and of which at least two show.
    int LabelStep() const;
    // The distance of the short ticks between labels; 0 when they would crowd into a band.
    int MinorStep() const;

protected:
    void paintEvent(QPaintEvent* e) override;
    QSize sizeHint() const override;

private:
    int Inset() const;
    bool m_bHorz;
    CRulerBar* m_pPartner = nullptr;
    QPoint m_scroll;
    int m_nMark = -1;
    QRect m_rcImage;
    float m_fZoom = 1.0f;
    QColor m_bg;
};
