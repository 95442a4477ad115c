// The rectangle tracker in a small owner widget that forwards its mouse as the screen-region
// overlay and the image view do.
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include "controls/recttracker.h"
#include "controls/regiontracker.h"

namespace {

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

::testing::AssertionResult SameRect(const RECT& got, const RECT& want) {
    if (got == want) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.left << "," << got.top << ")-(" << got.right << "," << got.bottom << ") instead of ("
                                         << want.left << "," << want.top << ")-(" << want.right << "," << want.bottom << ")";
}

POINT P(int x, int y) { return POINT{x, y}; }

template <class Tracker>
class Owner : public QWidget {
public:
    explicit Owner(UINT style) : tracker(RECT{40, 30, 100, 80}, style) { resize(300, 200); }
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(this, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(this, &move);
        QTest::mouseRelease(this, Qt::LeftButton, {}, to);
    }
    // What the paints since the last call covered.
    QRegion TakePainted() {
        QApplication::processEvents();
        QRegion r = painted;
        painted = QRegion();
        return r;
    }

    Tracker tracker;
    bool committed = false;
    bool allowInvert = false;
    QRegion painted;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        const POINT pt = P(e->position().toPoint().x(), e->position().toPoint().y());
        if (!tracker.Track(this, pt, allowInvert)) tracker.TrackRubberBand(this, pt, true);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        tracker.TrackMouseMove(P(e->position().toPoint().x(), e->position().toPoint().y()));
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        committed = tracker.TrackRelease(P(e->position().toPoint().x(), e->position().toPoint().y()));
    }
    void paintEvent(QPaintEvent* e) override {
        painted += e->region();
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        tracker.Draw(&p);
    }
};

}  // namespace

TEST(RectTracker, HitTestFindsHandlesTheMiddleAndNothingElse) {
    CRectTracker t(RECT{40, 30, 100, 80}, CRectTracker::solidLine | CRectTracker::resizeOutside);
    EXPECT_EQ(t.HitTest(P(35, 25)), CRectTracker::hitTopLeft);
    EXPECT_EQ(t.HitTest(P(100, 25)), CRectTracker::hitTopRight);
    EXPECT_EQ(t.HitTest(P(106, 86)), CRectTracker::hitBottomRight);
    EXPECT_EQ(t.HitTest(P(33, 80)), CRectTracker::hitBottomLeft);
    EXPECT_EQ(t.HitTest(P(70, 25)), CRectTracker::hitTop);
    EXPECT_EQ(t.HitTest(P(103, 55)), CRectTracker::hitRight);
    EXPECT_EQ(t.HitTest(P(70, 84)), CRectTracker::hitBottom);
    EXPECT_EQ(t.HitTest(P(36, 55)), CRectTracker::hitLeft);
    EXPECT_EQ(t.HitTest(P(40, 30)), CRectTracker::hitMiddle);
    EXPECT_EQ(t.HitTest(P(99, 79)), CRectTracker::hitMiddle);
    EXPECT_EQ(t.HitTest(P(50, 25)), CRectTracker::hitNothing);  // the border between handles
    EXPECT_EQ(t.HitTest(P(107, 87)), CRectTracker::hitNothing);
    EXPECT_EQ(t.HitTest(P(200, 150)), CRectTracker::hitNothing);

    // A small rectangle has no middle handles; handles inside are hit before the middle.
    CRectTracker small(RECT{10, 10, 20, 20}, CRectTracker::resizeOutside);
    EXPECT_EQ(small.HitTest(P(14, 5)), CRectTracker::hitNothing);
    CRectTracker inside(RECT{40, 30, 100, 80}, CRectTracker::resizeInside);
    EXPECT_EQ(inside.HitTest(P(41, 31)), CRectTracker::hitTopLeft);
    EXPECT_EQ(inside.HitTest(P(35, 25)), CRectTracker::hitNothing);
    // A hatched border is a grip for moving.
    CRectTracker hatched(RECT{40, 30, 100, 80}, CRectTracker::hatchedBorder);
    EXPECT_EQ(hatched.HitTest(P(50, 25)), CRectTracker::hitMiddle);

    // On a turned-over rectangle the handle drawn top-left drags its stored right and bottom.
    CRectTracker turned(RECT{100, 80, 40, 30}, CRectTracker::resizeOutside);
    EXPECT_EQ(turned.HitTest(P(35, 25)), CRectTracker::hitBottomRight);
    EXPECT_EQ(turned.NormalizeHit(CRectTracker::hitBottomRight), CRectTracker::hitTopLeft);
    EXPECT_EQ(turned.HitTest(P(70, 25)), CRectTracker::hitBottom);
}

TEST(RectTracker, TrackingMovesResizesAndKeepsOrRestoresTheRectangle) {
    Owner<CRectTracker> w(CRectTracker::solidLine | CRectTracker::resizeOutside);
    w.Drag(QPoint(50, 40), QPoint(60, 45));
    EXPECT_TRUE(w.committed);
    EXPECT_TRUE(SameRect(w.tracker.m_rect, RECT{50, 35, 110, 85}));
    // The bottom-right handle, dragged past the top-left corner without inversion, stops at
    // the minimum size.
    w.Drag(QPoint(112, 88), QPoint(1, 1));
    EXPECT_TRUE(SameRect(w.tracker.m_rect, RECT{50, 35, 57, 42}));
    // With inversion the rectangle turns over, and normalising turns it back.
    w.tracker.m_rect = RECT{50, 35, 110, 85};
    w.allowInvert = true;
    w.Drag(QPoint(112, 88), QPoint(20, 10));
    EXPECT_TRUE(SameRect(w.tracker.m_rect, RECT{50, 35, 18, 7}));
    CRectTracker::NormalizeRect(&w.tracker.m_rect);
    EXPECT_TRUE(SameRect(w.tracker.m_rect, RECT{18, 7, 50, 35}));

    // A new rectangle from a press that misses; a click without moving is no rectangle and
    // leaves the old one.
    w.Drag(QPoint(200, 150), QPoint(240, 170));
    EXPECT_TRUE(w.committed);
    EXPECT_TRUE(SameRect(w.tracker.m_rect, RECT{200, 150, 240, 170}));
    w.Drag(QPoint(5, 190), QPoint(5, 190));
    EXPECT_FALSE(w.committed);
    EXPECT_TRUE(SameRect(w.tracker.m_rect, RECT{200, 150, 240, 170}));
    // Cancelling gives the rectangle from before the press back.
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(210, 160));
    w.tracker.TrackMouseMove(P(250, 180));
    EXPECT_TRUE(SameRect(w.tracker.m_rect, RECT{240, 170, 280, 190}));
    w.tracker.TrackCancel();
    EXPECT_FALSE(w.tracker.IsTracking());
    EXPECT_TRUE(SameRect(w.tracker.m_rect, RECT{200, 150, 240, 170}));
}

TEST(RectTracker, DrawShowsTheFrameAndHandles) {
    CRectTracker t(RECT{20, 20, 60, 50}, CRectTracker::solidLine | CRectTracker::resizeOutside);
    QImage img(100, 80, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        t.Draw(&p);
    }
    EXPECT_EQ(img.pixelColor(30, 20), QColor(Qt::black));  // top edge
    EXPECT_EQ(img.pixelColor(59, 40), QColor(Qt::black));  // right edge, the last pixel inside
    EXPECT_EQ(img.pixelColor(60, 40), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(40, 35), QColor(Qt::white));  // inside
    EXPECT_EQ(img.pixelColor(15, 15), QColor(Qt::black));  // top-left handle
    EXPECT_EQ(img.pixelColor(63, 53), QColor(Qt::black));  // bottom-right handle
    EXPECT_EQ(img.pixelColor(30, 15), QColor(Qt::white));  // between handles
}

TEST(RectTracker, TrackingRepaintsTheFrameAreaAndTheRegionTrackerTheWholeOwner) {
    Owner<CRectTracker> base(CRectTracker::solidLine | CRectTracker::resizeOutside);
    base.show();
    base.TakePainted();
    base.Drag(QPoint(50, 40), QPoint(60, 45));
    const QRegion r = base.TakePainted();
    // Where the frame was and where it is now, handles included; nothing far from both.
    for (QPoint p : {QPoint(33, 23), QPoint(106, 86), QPoint(43, 28), QPoint(116, 91)}) EXPECT_TRUE(r.contains(p)) << p.x() << "," << p.y();
    EXPECT_FALSE(r.contains(QPoint(250, 180)));

    Owner<CRegionTracker> region(CRectTracker::solidLine);
    region.show();
    region.TakePainted();
    region.Drag(QPoint(50, 40), QPoint(60, 45));
    EXPECT_TRUE(region.committed);
    EXPECT_TRUE(SameRect(region.tracker.m_rect, RECT{50, 35, 110, 85}));
    const QRegion all = region.TakePainted();
    EXPECT_TRUE(all.contains(region.rect()));
    // A rubber band too.
    region.Drag(QPoint(200, 150), QPoint(210, 160));
    EXPECT_TRUE(region.TakePainted().contains(region.rect()));
}
