// Mouse tools of the image view.
#include <QApplication>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "app/childframe.h"
#include "app/cmdids.h"
#include "app/mainframe.h"
#include "ui/messages.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "apptest.h"

namespace {

void Drag(QWidget* w, Qt::MouseButton button, const QList<QPoint>& path, Qt::KeyboardModifiers mods = {}) {
    QTest::mousePress(w, button, mods, path.first());
    for (const QPoint& p : path.mid(1)) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::NoButton, button, mods);
        QApplication::sendEvent(w, &move);
    }
    QTest::mouseRelease(w, button, mods, path.last());
}

class ViewTest : public AppTest {
protected:
    void Open(int w, int h) {
        doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
        doc->SetImage(MakeImage(w, h));
        doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
        view = doc->GetFirstPelidorView();
        app->DocTemplate()->FrameOf(doc)->resize(400, 300);
        Pump();
        doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    }
    // Window point of an image point (zoom 1, image centred).
    QPoint At(int x, int y) { return view->ImageRect().topLeft() - view->ScrollPosition() + QPoint(x, y); }
    CPelidorDoc* doc = nullptr;
    CPelidorView* view = nullptr;
};

}  // namespace

TEST_F(ViewTest, SelectToolBuildsPolygonsAndRectanglesThatCropUses) {
    ASSERT_TRUE(Start());
    Open(60, 40);
    doc->m_nTool = kToolSelect;
    QWidget* vp = view->viewport();
    Drag(vp, Qt::LeftButton, {At(10, 10), At(30, 10), At(30, 20), At(10, 20)});
    EXPECT_EQ(doc->m_nSelPoints, 4);  // three moves and the closing point
    EXPECT_EQ(doc->m_SelPoints[doc->m_nSelPoints - 1], doc->m_SelPoints[0]);
    EXPECT_TRUE(doc->GetImage()->SelectionIsValid());
    // Rows are counted from the bottom in the image's selection: row 40 - 1 - 15 is inside.
    EXPECT_TRUE(doc->GetImage()->SelectionIsInside(20, 40 - 1 - 15));
    EXPECT_FALSE(doc->GetImage()->SelectionIsInside(50, 40 - 1 - 15));

    // Two points are no selection.
    Drag(vp, Qt::LeftButton, {At(5, 5), At(6, 6)});
    EXPECT_EQ(doc->m_nSelPoints, 0);
    EXPECT_FALSE(doc->GetImage()->SelectionIsValid());

    // Shift builds a five-point rectangle.
    Drag(vp, Qt::LeftButton, {At(4, 6), At(4, 6), At(13, 9)}, Qt::ShiftModifier);
    ASSERT_EQ(doc->m_nSelPoints, 5);
    EXPECT_EQ(doc->m_SelPoints[2], QPoint(13, 9));
    app->MainFrame()->Router()->Execute(ID_IMAGE_CROP);
    EXPECT_EQ(doc->GetImage()->GetWidth(), 10u);
    EXPECT_EQ(doc->GetImage()->GetHeight(), 4u);
}

TEST_F(ViewTest, APressWithAnyToolEndsThePolygonUnlessItPicksTheTransparentColour) {
    ASSERT_TRUE(Start());
    Open(60, 40);
    QWidget* vp = view->viewport();
    for (int tool : {6, 4, 0}) {
        doc->m_nTool = kToolSelect;
        Drag(vp, Qt::LeftButton, {At(4, 6), At(4, 6), At(13, 9)}, Qt::ShiftModifier);
        ASSERT_EQ(doc->m_nSelPoints, 5);
        doc->m_nTool = static_cast<ViewTool>(tool);
        doc->m_bPickTransparency = 1;
        QTest::mouseClick(vp, Qt::LeftButton, {}, At(30, 30));
        EXPECT_EQ(doc->m_nSelPoints, 5) << tool;
        QTest::mouseClick(vp, Qt::LeftButton, {}, At(30, 30));
        EXPECT_EQ(doc->m_nSelPoints, 0) << tool;
    }
}

TEST_F(ViewTest, ControlRightDragMovesTheSelection) {
    ASSERT_TRUE(Start());
    Open(60, 40);
    doc->m_nTool = kToolSelect;
    QWidget* vp = view->viewport();
    Drag(vp, Qt::LeftButton, {At(4, 6), At(4, 6), At(13, 9)}, Qt::ShiftModifier);
    ASSERT_EQ(doc->m_nSelPoints, 5);
    Drag(vp, Qt::RightButton, {At(20, 20), At(25, 22)}, Qt::ControlModifier);
    EXPECT_EQ(doc->m_SelPoints[0], QPoint(9, 8));
    EXPECT_EQ(doc->m_SelPoints[2], QPoint(18, 11));
}

TEST_F(ViewTest, TrackerRectangleBecomesTheSelectionWithoutAnOffByOneRow) {
    ASSERT_TRUE(Start());
    Open(60, 40);
    doc->m_nTool = kToolTracker;
    Drag(view->viewport(), Qt::LeftButton, {At(10, 5), At(20, 15)});
    ASSERT_EQ(doc->m_nSelPoints, 5);
    EXPECT_EQ(doc->m_SelPoints[0], QPoint(10, 5));
    EXPECT_EQ(doc->m_SelPoints[2], QPoint(19, 14));
    // The image's own selection covers exactly the tracked pixels: rows 5 to 14 from the top.
    PxImage* img = doc->GetImage();
    ASSERT_TRUE(img->SelectionIsValid());
    EXPECT_TRUE(img->SelectionIsInside(10, 40 - 1 - 5));
    EXPECT_TRUE(img->SelectionIsInside(19, 40 - 1 - 14));
    EXPECT_FALSE(img->SelectionIsInside(10, 40 - 1 - 4));
    EXPECT_FALSE(img->SelectionIsInside(10, 40 - 1 - 15));
    EXPECT_FALSE(img->SelectionIsInside(20, 40 - 1 - 10));
    // A press inside the tracker moves it; the selection follows.
    Drag(view->viewport(), Qt::LeftButton, {At(15, 10), At(20, 11), At(25, 12)});
    ASSERT_EQ(doc->m_nSelPoints, 5);
    EXPECT_EQ(doc->m_SelPoints[0], QPoint(20, 7));
    EXPECT_EQ(doc->m_SelPoints[2], QPoint(29, 16));
    EXPECT_TRUE(img->SelectionIsInside(29, 40 - 1 - 16));
    EXPECT_FALSE(img->SelectionIsInside(19, 40 - 1 - 10));
    // A press just outside its bottom-right corner resizes it.
    Drag(view->viewport(), Qt::LeftButton, {At(31, 18), At(36, 20), At(41, 23)});
    ASSERT_EQ(doc->m_nSelPoints, 5);
    EXPECT_EQ(doc->m_SelPoints[0], QPoint(20, 7));
    EXPECT_EQ(doc->m_SelPoints[2], QPoint(39, 21));
    // Dragged across its opposite edge it turns over and stays a proper rectangle.
    Drag(view->viewport(), Qt::LeftButton, {At(41, 23), At(10, 3)});
    EXPECT_EQ(doc->m_SelPoints[0], QPoint(9, 2));
    EXPECT_EQ(doc->m_SelPoints[2], QPoint(19, 6));
    // Back to the 10 x 10 rectangle for the crop below.
    Drag(view->viewport(), Qt::LeftButton, {At(50, 30), At(60, 40)});
    Drag(view->viewport(), Qt::LeftButton, {At(10, 5), At(20, 15)});
    app->MainFrame()->Router()->Execute(ID_IMAGE_CROP);
    EXPECT_EQ(doc->GetImage()->GetWidth(), 10u);
    EXPECT_EQ(doc->GetImage()->GetHeight(), 10u);
}

TEST_F(ViewTest, CropOfATurnedRectangleCutsTheTurnedRectangle) {
    ASSERT_TRUE(Start());
    Open(100, 80);
    doc->m_nTool = kToolSelect;
    QWidget* vp = view->viewport();
    Drag(vp, Qt::LeftButton, {At(30, 30), At(30, 30), At(70, 50)}, Qt::ShiftModifier);
    ASSERT_EQ(doc->m_nSelPoints, 5);
    // Turn it about its centre (50, 40) by about 7 degrees.
    Drag(vp, Qt::RightButton, {At(90, 40), At(90, 45)});
    EXPECT_NE(doc->m_SelPoints[1], QPoint(70, 30));
    app->MainFrame()->Router()->Execute(ID_IMAGE_CROP);
    // The 40 x 20 rectangle itself, not its larger upright bounding box (about 43 x 25).
    EXPECT_GE(doc->GetImage()->GetWidth(), 38u);
    EXPECT_LE(doc->GetImage()->GetWidth(), 41u);
    EXPECT_GE(doc->GetImage()->GetHeight(), 18u);
    EXPECT_LE(doc->GetImage()->GetHeight(), 21u);
    EXPECT_EQ(doc->UndoLevel(), 1);
}

TEST_F(ViewTest, ScrollingRepaintsOnlyTheRulerOfItsDirection) {
    ASSERT_TRUE(Start());
    Open(1200, 900);
    auto* frame = dynamic_cast<CChildFrame*>(app->DocTemplate()->FrameOf(doc));
    ASSERT_NE(frame, nullptr);
    view->verticalScrollBar()->setValue(100);
    EXPECT_EQ(frame->VertRuler()->Scroll(), QPoint(0, 100));
    EXPECT_EQ(frame->HorzRuler()->Scroll(), QPoint(0, 0));
    view->horizontalScrollBar()->setValue(50);
    EXPECT_EQ(frame->HorzRuler()->Scroll(), QPoint(50, 100));
    EXPECT_EQ(frame->VertRuler()->Scroll(), QPoint(0, 100));
}

TEST_F(ViewTest, ToolsLeaveABusyImageAlone) {
    ASSERT_TRUE(Start());
    Open(1200, 900);
    doc->m_bPickTransparency = 1;
    ASSERT_TRUE(doc->StartImageCommand(ID_IMAGE_FLIP));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
    doc->m_nTool = kToolText;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
    doc->WaitForCommand();
    EXPECT_EQ(doc->GetImage()->GetTransIndex(), -1);
    EXPECT_EQ(doc->UndoLevel(), 1);  // only the command's own snapshot
}

TEST_F(ViewTest, TextToolDrawsTheApplicationsRecordOnce) {
    ASSERT_TRUE(Start());
    Open(300, 100);
    doc->m_nTool = kToolText;
    const RGBQUAD before = doc->GetImage()->GetPixelColor(150, 100 - 1 - 70);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, At(150, 80));
    EXPECT_EQ(doc->m_nTool, kToolNone);
    EXPECT_EQ(doc->UndoLevel(), 1);
    const RGBQUAD after = doc->GetImage()->GetPixelColor(150, 100 - 1 - 70);
    EXPECT_TRUE(after.rgbRed != before.rgbRed || after.rgbGreen != before.rgbGreen);
}

// The polygon never outgrows its 8000 slots: a press that picks the transparent colour keeps the
// closed polygon, and a drag after it must not write past the last slot.
TEST_F(ViewTest, FreeHandSelectionStaysWithinItsSlotsAcrossTransparencyPicks) {
    ASSERT_TRUE(Start());
    Open(60, 40);
    doc->m_nTool = kToolSelect;
    QWidget* vp = view->viewport();
    QList<QPoint> path{At(10, 10)};
    for (int i = 0; i < 8100; i++) path << At(10 + i % 30, 10 + (i / 30) % 20);
    Drag(vp, Qt::LeftButton, path);
    ASSERT_EQ(doc->m_nSelPoints, 7999);  // 7998 points and the closing one
    for (int round = 0; round < 3; round++) {
        doc->m_bPickTransparency = 1;
        Drag(vp, Qt::LeftButton, {At(40, 30), At(41, 30), At(42, 31)});
        ASSERT_LE(doc->m_nSelPoints, 7999) << round;
        EXPECT_EQ(doc->m_SelPoints[doc->m_nSelPoints - 1], doc->m_SelPoints[0]) << round;
    }
    EXPECT_TRUE(doc->GetImage()->SelectionIsValid());
}

TEST_F(ViewTest, TrackerShowsItsCursorsAndEscapeGivesTheRectangleBack) {
    ASSERT_TRUE(Start());
    Open(60, 40);
    doc->m_nTool = kToolTracker;
    QWidget* vp = view->viewport();
    Drag(vp, Qt::LeftButton, {At(10, 5), At(30, 25)});
    ASSERT_EQ(doc->m_nSelPoints, 5);
    auto hover = [&](QPoint p) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), vp->mapToGlobal(QPointF(p)), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(vp, &move);
        return vp->cursor().shape();
    };
    EXPECT_EQ(hover(At(20, 15)), Qt::SizeAllCursor);
    EXPECT_EQ(hover(At(32, 27)), Qt::SizeFDiagCursor);
    EXPECT_EQ(hover(At(7, 27)), Qt::SizeBDiagCursor);
    EXPECT_EQ(hover(At(50, 35)), Qt::ArrowCursor);
    // A move that Escape ends leaves the tracker and the selection where they were.
    QTest::mousePress(vp, Qt::LeftButton, {}, At(20, 15));
    QMouseEvent move(QEvent::MouseMove, QPointF(At(25, 18)), vp->mapToGlobal(QPointF(At(25, 18))), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(vp, &move);
    EXPECT_EQ(view->Tracker().m_rect.left, At(15, 0).x());
    QTest::keyClick(view, Qt::Key_Escape);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, At(25, 18));
    EXPECT_EQ(view->Tracker().m_rect.left, At(10, 0).x());
    EXPECT_EQ(view->Tracker().m_rect.bottom, At(0, 25).y());
    EXPECT_EQ(doc->m_SelPoints[0], QPoint(10, 5));
    EXPECT_EQ(doc->m_SelPoints[2], QPoint(29, 24));
}
