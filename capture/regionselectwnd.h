// The full-screen overlay on which the user drags a rectangle over a frozen, dimmed copy of the
// screen; the rectangle shows at full brightness with a resize tracker and OK/Cancel under it.
// One overlay serves many choices: each ChooseRegion grabs the screen again and starts without
// a region. UI thread only.
#pragma once

#include <QDialog>
#include <QImage>

#include "capture/regionchooser.h"
#include "controls/regiontracker.h"

class CHoverBitmapButton;
class QScreen;

class CRegionSelectWnd : public QDialog, public IRegionChooser {
public:
    static constexpr UINT kTrackerStyle = 82;
    static constexpr int kWindowCursor = 228;

    explicit CRegionSelectWnd(QWidget* parent = nullptr);

    // Covers the screen and takes its picture (a screen that gives none is black), with no
    // region and the buttons hidden. ChooseRegion does this itself.
    void Prepare(QScreen* screen);
    // The frozen screen: the picture as it is and a copy dimmed to half over black; a null
    // picture is black. Covers the overlay's size.
    void SetScreenPicture(const QImage& picture);
    // The area a region may cover, in the overlay's coordinates; clipped to the screen.
    void SetAllowedArea(const RECT& area);
    const RECT& AllowedArea() const { return m_allowed; }
    // The region in the overlay's coordinates; true only for a non-empty rectangle.
    bool GetResult(RECT* result) const;
    // Runs modally over the screen holding `allowed` (global coordinates). True only on OK with
    // a non-empty region, given in global coordinates.
    bool ChooseRegion(const RECT& allowed, RECT* chosen) override;

    bool RegionPresent() const { return m_bRegion; }
    bool RubberBanding() const { return m_bRubber; }
    const RECT& TrackerRect() const { return m_tracker.m_rect; }
    const CRegionTracker& Tracker() const { return m_tracker; }
    CHoverBitmapButton* OkButton() const { return m_pOk; }
    CHoverBitmapButton* CancelButton() const { return m_pCancel; }
    const QImage& BrightScreen() const { return m_bright; }
    const QImage& DimmedScreen() const { return m_dimmed; }
    // The cursor resource the overlay shows at a point (228 off the region's handles).
    int CursorIdAt(POINT pt) const;
    // The overlay as painted.
    QImage Render() const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void RemoveRegion();
    void KeepInsideAllowed(SIZE before);
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
