// The histogram window: the red, green, blue and grey histograms of the active document's
// image as curves over a dotted grid, each channel switchable, linear or logarithmic. The
// counts are cached in the document and filled here when its cached largest count is 0.
#pragma once

#include <QPoint>
#include <QVector>
#include <QWidget>

#include <functional>
#include <vector>

#include "platform/wintypes.h"

class CIconButton;
class CPelidorDoc;
class QCheckBox;
class QPainter;

class CHistogramWnd : public QWidget {
public:
    enum Channel { Red = 0, Green = 1, Blue = 2, Gray = 3 };
    static constexpr int kLogCheckId = 1006;

    // Where everything goes for a client area of height H with top T.
    struct Geometry {
        std::vector<int> gridX;   // vertical dotted lines, from y gridTop to gridBottom
        std::vector<int> gridY;   // horizontal dotted lines, from x 8 to 268
        int gridTop = 40, gridBottom = 0;
        QVector<QPoint> frame;    // the solid frame, as a polyline
        QVector<QPoint> curves[4];  // empty for a hidden channel or without counts
    };
    // counts: the four 256-entry arrays (any may be null), largest: the cached largest count.
    static Geometry Layout(int clientHeight, int clientTop, const LONG* const counts[4], LONG largest, bool logScale,
                           const bool show[4]);
    // Fills the document's cache from the image the views show (never the one a worker may be
    // changing); returns the largest count, 0 when there is no image.
    static LONG Recompute(CPelidorDoc& doc);

    explicit CHistogramWnd(QWidget* parent = nullptr);
    // Paints the window's picture into an image of the widget's size (what paintEvent shows).
    QImage Render();
    bool IsShown(Channel c) const { return m_bShow[c]; }
    bool IsLog() const { return m_bLog; }
    CIconButton* Toggle(Channel c) const { return m_pToggle[c]; }
    QCheckBox* LogCheck() const { return m_pLog; }
    // The document whose histogram is shown: the active one of the main frame unless a test set one.
    void SetDocumentSource(std::function<CPelidorDoc*()> source) { m_source = std::move(source); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void Paint(QPainter& p);
    // A toggle or "log" was clicked: read all five again and repaint.
    void OnChildCommand();
    CPelidorDoc* Document() const;

    CIconButton* m_pToggle[4] = {};
    QCheckBox* m_pLog = nullptr;
    bool m_bShow[4] = {true, true, true, true};
    bool m_bLog = true;
    std::function<CPelidorDoc*()> m_source;
};
