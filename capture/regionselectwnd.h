// The full-screen overlay on which the user drags a rectangle over a frozen, dimmed copy of the
// screen; the rectangle shows at full brightness with a resize tracker and OK/Cancel under it.
// UI thread only.
#pragma once

#include <QDialog>
#include <QImage>

#include "capture/regionchooser.h"
#include "controls/regiontracker.h"

class CHoverBitmapButton;

class CRegionSelectWnd : public QDialog, public IRegionChooser {
public:
    explicit CRegionSelectWnd(QWidget* parent = nullptr);

    // The area a region may cover (screen coordinates); clipped to the screen.
    void SetAllowedArea(const RECT& area);
    // True only for a non-empty rectangle.
    bool GetResult(RECT* result) const;
    bool ChooseRegion(const RECT& allowed, RECT* chosen) override;

    bool RegionPresent() const { return m_bRegion; }
    const RECT& TrackerRect() const { return m_tracker.m_rect; }
    CHoverBitmapButton* OkButton() const { return m_pOk; }
    CHoverBitmapButton* CancelButton() const { return m_pCancel; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void RemoveRegion();
    void UpdateCursor(POINT pt);

    QImage m_bright, m_dimmed;
    CRegionTracker m_tracker;
    RECT m_allowed{300, 100, 900, 600};
    POINT m_start{0, 0};
    bool m_bRubber = false;
    bool m_bRegion = false;
    CHoverBitmapButton* m_pOk = nullptr;
    CHoverBitmapButton* m_pCancel = nullptr;
};
