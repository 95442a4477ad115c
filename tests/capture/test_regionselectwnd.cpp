// The screen region overlay under Qt Test mouse and key events: where a region may start, the
// rubber band, the buttons under a large enough region, removing a region, the ways out with
// and without a result, the tracker kept in the allowed area, the cursors and the dimmed copy.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "capture/regionselectwnd.h"
#include "controls/hoverbitmapbutton.h"

namespace {

// Runs `step` on the overlay once its modal loop is up.
void WhenShown(CRegionSelectWnd* w, std::function<void()> step) {
    QTimer::singleShot(0, w, [w, step] {
        (void)QTest::qWaitForWindowExposed(w, 2000);  // the steps below do not need the exposure
        step();
    });
    QTimer::singleShot(5000, w, [w] { w->done(QDialog::Rejected); });  // never hangs
}

TEST(RegionSelectWnd, PressOutsideAreaStartsNothingAndDragShowsButtons) {
    CRegionSelectWnd w;
    w.SetAllowedArea(RECT{100, 100, 500, 400});
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_FALSE(w.RegionPresent());
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(150, 150));
    EXPECT_TRUE(w.RegionPresent());
    // The press alone gives the 80 x 80 square around the point.
    EXPECT_EQ(w.TrackerRect().left, 110);
    EXPECT_EQ(w.TrackerRect().bottom, 190);
    QTest::mouseMove(&w, QPoint(300, 260));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(300, 260));
    RECT r;
    ASSERT_TRUE(w.GetResult(&r));
    EXPECT_EQ(r.left, 154);
    EXPECT_EQ(r.top, 154);
    EXPECT_EQ(r.right, 300);
    EXPECT_EQ(r.bottom, 260);
    EXPECT_TRUE(w.OkButton()->isVisible());
    EXPECT_EQ(w.CancelButton()->geometry(), QRect(r.right - 90, r.bottom + 2, 34, 23));
    EXPECT_EQ(w.OkButton()->geometry(), QRect(r.right - 57, r.bottom + 2, 58, 23));
    EXPECT_EQ(w.CancelButton()->BitmapId(0), 264);
    EXPECT_EQ(w.OkButton()->BitmapId(1), 262);
}

TEST(RegionSelectWnd, TheRubberBandStopsAtTheAllowedArea) {
    CRegionSelectWnd w;
    w.SetAllowedArea(RECT{100, 100, 500, 400});
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(200, 200));
    QTest::mouseMove(&w, QPoint(700, 600));
    EXPECT_EQ(w.TrackerRect().right, 500);
    EXPECT_EQ(w.TrackerRect().bottom, 400);
    // Above and left of the area the point is raised to its edge: the band turns over.
    QTest::mouseMove(&w, QPoint(20, 30));
    EXPECT_EQ(w.TrackerRect().right, 100);
    EXPECT_EQ(w.TrackerRect().bottom, 100);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(20, 30));
    RECT r;
    ASSERT_TRUE(w.GetResult(&r));
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.right, 204);
}

TEST(RegionSelectWnd, ASmallDragLeavesTheButtonsHiddenButADoubleClickTakesIt) {
    CRegionSelectWnd w;
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseMove(&w, QPoint(408, 340));  // 4 pixels wide
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(408, 340));
    EXPECT_TRUE(w.RegionPresent());
    EXPECT_FALSE(w.OkButton()->isVisible());
    EXPECT_FALSE(w.CancelButton()->isVisible());
    // A double click outside the region does nothing, on its middle it is OK.
    QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(600, 500));
    EXPECT_TRUE(w.isVisible());
    RECT r;
    ASSERT_TRUE(w.GetResult(&r));
    QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(r.left + 2, (r.top + r.bottom) / 2));
    EXPECT_EQ(w.result(), QDialog::Accepted);
}

TEST(RegionSelectWnd, RightClickRemovesTheRegionThenEndsWithOkAndNoResult) {
    CRegionSelectWnd w;
    w.SetAllowedArea(RECT{-100, -100, 400, 300});  // partly off screen: clipped
    EXPECT_EQ(w.AllowedArea().left, 0);
    EXPECT_EQ(w.AllowedArea().top, 0);
    w.show();
    // a press at the clipped corner keeps the square inside the screen
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(w.TrackerRect().left, 0);
    EXPECT_EQ(w.TrackerRect().top, 0);
    QTest::mouseMove(&w, QPoint(200, 150));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(200, 150));
    ASSERT_TRUE(w.GetResult(nullptr));
    QTest::mouseClick(&w, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_FALSE(w.RegionPresent());
    EXPECT_EQ(w.TrackerRect().left, -1);
    EXPECT_FALSE(w.OkButton()->isVisible());
    EXPECT_TRUE(w.isVisible());
    QTest::mouseClick(&w, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(w.result(), QDialog::Accepted);
    RECT r;
    EXPECT_FALSE(w.GetResult(&r));
}

TEST(RegionSelectWnd, ChooseRegionGivesAResultOnlyForARegionTakenWithOk) {
    CRegionSelectWnd w;
    RECT chosen{1, 2, 3, 4};
    // OK by right-click without a region: no result, chosen untouched.
    WhenShown(&w, [&w] { QTest::mouseClick(&w, Qt::RightButton, {}, QPoint(500, 300)); });
    EXPECT_FALSE(w.ChooseRegion(RECT{300, 100, 900, 600}, &chosen));
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_EQ(chosen.left, 1);
    // A dragged region and the OK button.
    WhenShown(&w, [&w] {
        QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(400, 200));
        QTest::mouseMove(&w, QPoint(600, 400));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(600, 400));
        QTest::mouseClick(w.OkButton(), Qt::LeftButton);
    });
    ASSERT_TRUE(w.ChooseRegion(RECT{300, 100, 900, 600}, &chosen));
    const QPoint o = w.geometry().topLeft();
    EXPECT_EQ(chosen.left, 404 + o.x());
    EXPECT_EQ(chosen.bottom, 400 + o.y());
    // Each run starts without a region: Cancel on a region removes it, Escape then cancels.
    WhenShown(&w, [&w] {
        EXPECT_FALSE(w.RegionPresent());
        QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(400, 200));
        QTest::mouseMove(&w, QPoint(600, 400));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(600, 400));
        QTest::mouseClick(w.CancelButton(), Qt::LeftButton);
        EXPECT_FALSE(w.RegionPresent());
        QTest::mouseClick(w.CancelButton(), Qt::LeftButton);  // hidden now: nothing
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    EXPECT_FALSE(w.ChooseRegion(RECT{300, 100, 900, 600}, &chosen));
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

TEST(RegionSelectWnd, EscapeRemovesRegionThenCancels) {
    CRegionSelectWnd w;
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(400, 300));
    EXPECT_TRUE(w.RegionPresent());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.RegionPresent());
    EXPECT_FALSE(w.GetResult(nullptr));
    EXPECT_TRUE(w.isVisible());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

TEST(RegionSelectWnd, AMovedRegionStaysInTheAllowedAreaAndAResizedOneIsCut) {
    CRegionSelectWnd w;
    w.SetAllowedArea(RECT{100, 100, 500, 400});
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(196, 196));
    QTest::mouseMove(&w, QPoint(300, 300));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(300, 300));
    ASSERT_EQ(w.TrackerRect().left, 200);
    // Dragged by its middle far to the lower right: it keeps its size against the edges.
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(250, 250));
    QTest::mouseMove(&w, QPoint(650, 650));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(650, 650));
    RECT r;
    ASSERT_TRUE(w.GetResult(&r));
    EXPECT_EQ(r.right, 500);
    EXPECT_EQ(r.bottom, 400);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 100);
    EXPECT_TRUE(w.OkButton()->isVisible());
    // Resized by its top-left handle past the area's corner: cut at the edges.
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(r.left - 1, r.top - 1));
    QTest::mouseMove(&w, QPoint(20, 20));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(w.GetResult(&r));
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 500);
}

TEST(RegionSelectWnd, CursorsFollowTheTrackerHandles) {
    CRegionSelectWnd w;
    w.show();
    EXPECT_EQ(w.CursorIdAt(POINT{400, 300}), 228);
    EXPECT_EQ(w.cursor().shape(), Qt::CrossCursor);
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(396, 296));
    QTest::mouseMove(&w, QPoint(600, 500));
    EXPECT_EQ(w.CursorIdAt(POINT{450, 400}), 228) << "while the band is drawn";
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(600, 500));
    EXPECT_EQ(w.CursorIdAt(POINT{500, 400}), 229);
    EXPECT_EQ(w.CursorIdAt(POINT{399, 299}), 231);
    EXPECT_EQ(w.CursorIdAt(POINT{600, 299}), 230);
    EXPECT_EQ(w.CursorIdAt(POINT{500, 299}), 227);
    EXPECT_EQ(w.CursorIdAt(POINT{399, 400}), 232);
    EXPECT_EQ(w.CursorIdAt(POINT{800, 700}), 228);
    QTest::mouseMove(&w, QPoint(399, 400));
    EXPECT_EQ(w.cursor().shape(), Qt::SizeHorCursor);
}

TEST(RegionSelectWnd, OutsideTheRegionTheScreenIsDimmedToHalf) {
    CRegionSelectWnd w;
    QImage screen(w.size(), QImage::Format_RGB32);
    screen.fill(QColor(200, 100, 250));
    w.SetScreenPicture(screen);
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(396, 296));
    QTest::mouseMove(&w, QPoint(600, 500));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(600, 500));
    const QImage shown = w.Render();
    const QColor in = shown.pixelColor(500, 400), out = shown.pixelColor(310, 310);
    EXPECT_EQ(in, QColor(200, 100, 250));
    EXPECT_NEAR(out.red(), 100, 2);
    EXPECT_NEAR(out.green(), 50, 2);
    EXPECT_NEAR(out.blue(), 125, 2);
    // The frame in the tracker's red along the region's edge, none inside.
    auto redOnRow = [&shown](int y) {
        int n = 0;
        for (int x = 420; x < 580; ++x)
            if (shown.pixelColor(x, y) == QColor(255, 0, 50)) ++n;
        return n;
    };
    EXPECT_GT(redOnRow(301), 20);
    EXPECT_EQ(redOnRow(350), 0);
}

}  // namespace
