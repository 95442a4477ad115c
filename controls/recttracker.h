// A rectangle the user moves and resizes with the mouse: its frame and handles, the hit test,
// tracking (driven by the owner's mouse events: no modal loop), normalising and the cursor.
// The rectangle is in the owner's client coordinates, right and bottom exclusive. While tracking
// m_rect follows the mouse and DrawTrackerRect is called on each change; the base version
// repaints the old and new frame areas so that the owner's paint, calling Draw, shows it.
// UI thread only.
#pragma once

#include "platform/wintypes.h"

class QPainter;
class QWidget;

class CRectTracker {
public:
    enum StyleFlags {
        solidLine = 1,
        dottedLine = 2,
        hatchedBorder = 4,
        resizeInside = 8,
        resizeOutside = 16,
        hatchInside = 32,
    };
    enum TrackerHit {
        hitNothing = -1,
        hitTopLeft = 0,
        hitTopRight = 1,
        hitBottomRight = 2,
        hitBottomLeft = 3,
        hitTop = 4,
        hitRight = 5,
        hitBottom = 6,
        hitLeft = 7,
        hitMiddle = 8,
    };

    CRectTracker();
    CRectTracker(const RECT& rect, UINT style);
    virtual ~CRectTracker() = default;

    RECT m_rect{0, 0, 0, 0};
    UINT m_nStyle = 0;
    int m_nHandleSize = 7;
    SIZE m_sizeMin{7, 7};

    // The frame, hatching and handles of the (normalised) rectangle.
    void Draw(QPainter* p) const;
    // The part of the point: a handle, the middle, or nothing.
    int HitTest(POINT pt) const;
    // A handle as it acts on a rectangle that is turned over (left right of right, ...).
    int NormalizeHit(int hit) const;
    // Sets the owner's cursor for the point; false (cursor untouched) when the point misses.
    bool SetCursor(QWidget* owner, POINT pt) const;
    // The rectangle with the handles and the border around it: all that Draw touches.
    void GetTrueRect(RECT* rect) const;
    void GetHandleRect(int hit, RECT* rect) const;
    // Bit i set: handle i (TrackerHit order) is shown; middle handles go on small rectangles.
    virtual UINT GetHandleMask() const;

    // Begins moving or resizing by the handle under the point; false when the point misses.
    bool Track(QWidget* owner, POINT pt, bool allowInvert = false);
    // Begins a new rectangle at the point (its bottom-right corner follows the mouse).
    bool TrackRubberBand(QWidget* owner, POINT pt, bool allowInvert = true);
    bool IsTracking() const { return m_owner != nullptr; }
    // The owner forwards the mouse while tracking.
    void TrackMouseMove(POINT pt);
    // Ends tracking at the point. True when committed: a rubber band that never moved is not,
    // and then m_rect is what it was before. The rectangle may be turned over if inversion was
    // allowed; NormalizeRect turns it back.
    bool TrackRelease(POINT pt);
    // Escape: the rectangle goes back to what it was.
    void TrackCancel();

    static void NormalizeRect(RECT* r);

protected:
    // Shows the rectangle while tracking (erase: the tracking ended).
    virtual void DrawTrackerRect(const RECT& rect, QWidget* owner, bool erase);
    // Where the handle leaves the rectangle: the min size is kept unless inversion is allowed.
    virtual void AdjustRect(int hit, RECT* rect);
    virtual void OnChangedRect(const RECT& rectOld);

private:
    bool Begin(QWidget* owner, int hit, POINT pt, bool allowInvert);
    // The frame area of a rectangle, as the repaint of the base drawing needs it.
    RECT TrueRectOf(const RECT& r) const;

    QWidget* m_owner = nullptr;
    int m_hit = hitNothing;
    bool m_allowInvert = false;
    bool m_moved = false;
    bool m_rubberBand = false;
    POINT m_start{0, 0};
    RECT m_rectSave{0, 0, 0, 0};
    RECT m_rectShown{0, 0, 0, 0};
};
