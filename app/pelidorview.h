// The scrolling image view: paints the document's image at its zoom with the measurement
// overlay, turns mouse input into the document's tools, shows the pixel read-out and prints.
#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>

#include "app/docview.h"
#include "controls/recttracker.h"

class CPelidorDoc;
class CChildFrame;
class QPrinter;
class QMenu;
class CCommandRouter;
class CThumbnailListCtrl;

class CPelidorView : public CView {
public:
    explicit CPelidorView(CPelidorDoc* doc, QWidget* parent = nullptr);
    ~CPelidorView() override;
    const CRectTracker& Tracker() const { return m_tracker; }

    CPelidorDoc* GetDocument() const;
    void OnUpdate(CView* sender, LPARAM hint) override;
    // Window point to image point (y growing downwards).
    QPoint WindowToImage(const QPoint& p) const;
    QRect ImageRect() const { return m_rcImage; }
    QPoint ScrollPosition() const;
    void SetScrollPosition(const QPoint& p);
    // Device size of an image printed at its physical size: 96 image pixels per inch, times the zoom.
    static QSize PrintedSize(int width, int height, int dpiX, int dpiY, float zoom);
    // Prints the image at its physical size (and the overlay) on an open printer.
    void OnPrint(QPrinter* printer);
    // The pixel read-out text of a window point.
    QString PixelReadout(const QPoint& windowPoint) const;
    bool IsStartPage() const;
    // The start page's thumbnail list (null in image views).
    CThumbnailListCtrl* ThumbnailList() const { return m_pThumbList; }

    // ---- zoom, this view's own ----
    void ZoomIn();
    void ZoomOut();
    // The zoom combo's text; false (and "ERROR!") for a text that is not a number.
    bool ZoomList(const QString& text);
    float m_fZoom = 1.0f;
    int m_bStretch = 0;
    int m_bSmooth = 0;

    // The image context menu: Copy, the "Image" menu's commands and the filters.
    static void BuildContextMenu(QMenu* menu, CCommandRouter* router);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    void SetZoom(float zoom, bool showInCombo, const QString& text);
    void RegisterZoomCommands();
    void ComputeImageRect();
    void UpdateScrollSizes();
    void NotifyRulers(int code, const QPoint& mouse = QPoint());
    QPoint CenterOffset() const;
    QPoint MeasurePoint(const QPoint& windowPoint) const;
    // Repaints after the measurement library took the mouse; an open table follows.
    void MeasureEdited();
    CChildFrame* ParentFrame() const;

    QRect m_rcImage;
    // The rectangle tracker tool's rectangle, in viewport coordinates.
    CRectTracker m_tracker;
    bool m_bTrackerCursor = false;  // the viewport shows the cursor the tracker set
    QPoint m_ptAnchor, m_ptAnchorScroll;
    bool m_bLeftDown = false;
    int m_nOutlinePhase = 0;
    QTimer m_selTimer;
    // Right-drag of the Select tool: move (Ctrl) or rotate a rectangle about its centre.
    bool m_bRightDrag = false;
    QPointF m_ptLast;
    QPointF m_ptCentre;
    QPointF m_corners[5];
    QElapsedTimer m_magnifierTick;  // since the magnifier last got the mouse
    CThumbnailListCtrl* m_pThumbList = nullptr;
};
