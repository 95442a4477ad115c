#include <gtest/gtest.h>

#include <QTest>

#include "capture/regionselectwnd.h"
#include "controls/hoverbitmapbutton.h"

TEST(RegionSelectWnd, PressOutsideAreaStartsNothingAndDragShowsButtons) {
    CRegionSelectWnd w;
    w.SetAllowedArea(RECT{100, 100, 500, 400});
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_FALSE(w.RegionPresent());
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(150, 150));
    EXPECT_TRUE(w.RegionPresent());
    QTest::mouseMove(&w, QPoint(300, 260));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(300, 260));
    RECT r;
    ASSERT_TRUE(w.GetResult(&r));
    EXPECT_EQ(r.left, 154);
    EXPECT_EQ(r.top, 154);
    EXPECT_TRUE(w.OkButton()->isVisible());
    EXPECT_EQ(w.CancelButton()->geometry(), QRect(r.right - 90, r.bottom + 2, 34, 23));
}

TEST(RegionSelectWnd, RightClickWithoutRegionGivesNoResult) {
    CRegionSelectWnd w;
    w.SetAllowedArea(RECT{-100, -100, 400, 300});  // partly off screen: clipped
    w.show();
    QTest::mouseClick(&w, Qt::RightButton, {}, QPoint(10, 10));
    RECT r;
    EXPECT_FALSE(w.GetResult(&r));
    EXPECT_EQ(w.result(), QDialog::Rejected);
    // a press at the clipped corner centres the square inside the screen
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(w.TrackerRect().left, 0);
    EXPECT_EQ(w.TrackerRect().top, 0);
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
}
