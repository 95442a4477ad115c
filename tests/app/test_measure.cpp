// The measurement library: units, calibrations and drawing.
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "outside/vekmeasure/qomeasure.h"

namespace {
void Click(CQoMeasure& m, QPoint p) {
    m.OnLButtonDown(p);
    m.OnLButtonUp(p);
}
}  // namespace

TEST(Measure, UnitsMeasureInTheActiveCalibration) {
    CQoMeasure m(nullptr);
    m.SetScale(2.0);  // display points are twice the image pixels
    ASSERT_TRUE(CQoMeasure::MenuItemEvent(2, &m));
    EXPECT_EQ(CQoMeasure::GetCurSelItem(), 1);
    m.OnLButtonDown(QPoint(0, 0));
    m.OnMouseMove(QPoint(60, 80));
    m.OnLButtonUp(QPoint(60, 80));
    ASSERT_EQ(m.UnitCount(), 1);
    EXPECT_DOUBLE_EQ(m.UnitLength(0), 50.0);

    ASSERT_TRUE(CQoMeasure::MenuItemEvent(3, &m));
    m.OnLButtonDown(QPoint(0, 0));
    m.OnLButtonUp(QPoint(20, 10));
    EXPECT_DOUBLE_EQ(m.UnitArea(1), 50.0);

    ASSERT_TRUE(CQoMeasure::MenuItemEvent(6, &m));  // polygon, ended by a double click
    Click(m, QPoint(0, 0));
    Click(m, QPoint(20, 0));
    Click(m, QPoint(20, 20));
    m.OnLButtonDown(QPoint(20, 20));
    m.OnLButtonDblClk(QPoint(20, 20));
    ASSERT_EQ(m.UnitCount(), 3);
    EXPECT_DOUBLE_EQ(m.UnitArea(2), 50.0);

    ASSERT_TRUE(CQoMeasure::MenuItemEvent(7, &m));  // angle: arm, vertex, arm
    Click(m, QPoint(20, 0));
    Click(m, QPoint(0, 0));
    Click(m, QPoint(0, 30));
    ASSERT_EQ(m.UnitCount(), 4);
    EXPECT_NEAR(m.UnitAngle(3), 90.0, 1e-9);

    const int mm = m.AddCalibration("0.5 mm", 0.5, "mm");
    ASSERT_EQ(m.GetActiveCalibrateList()->size(), 2);
    m.SetActiveCalibrateList(mm);
    EXPECT_DOUBLE_EQ(m.UnitLength(0), 25.0);
    EXPECT_DOUBLE_EQ(m.UnitArea(1), 12.5);
    EXPECT_EQ(m.UnitLabel(0), "25.00 mm");
    m.SetActiveCalibrateList(7);  // beyond the list: nothing changes
    EXPECT_EQ(m.ActiveCalibration(), mm);

    ASSERT_TRUE(CQoMeasure::MenuItemEvent(15, &m));  // delete the unit under the point
    Click(m, QPoint(60, 80));
    EXPECT_EQ(m.UnitCount(), 3);
    EXPECT_FALSE(CQoMeasure::MenuItemEvent(24, &m));
    EXPECT_FALSE(CQoMeasure::MenuItemEvent(2, nullptr));
}

TEST(Measure, DrawingFollowsOffsetAndScale) {
    CQoMeasure m(nullptr);
    m.SetScale(1.0);
    CQoMeasure::MenuItemEvent(2, &m);
    m.OnLButtonDown(QPoint(0, 5));
    m.OnLButtonUp(QPoint(30, 5));
    QImage img(100, 40, QImage::Format_RGB32);
    img.fill(Qt::black);
    {
        QPainter p(&img);
        m.SetScale(2.0);
        m.DrawAllUnit(&p, QPoint(10, 0));
    }
    // The line runs at y = 10 from x = 10 to 70.
    EXPECT_NE(img.pixel(40, 10), QColor(Qt::black).rgb());
    EXPECT_NE(img.pixel(69, 10), QColor(Qt::black).rgb());
    EXPECT_EQ(img.pixel(5, 10), QColor(Qt::black).rgb());
    EXPECT_EQ(img.pixel(85, 10), QColor(Qt::black).rgb());
}

TEST(Measure, CirclesFromCentreDiameterOrThreePoints) {
    CQoMeasure m(nullptr);
    m.SetScale(1.0);
    ASSERT_TRUE(CQoMeasure::MenuItemEvent(4, &m));  // centre, then a point on the circle
    m.OnLButtonDown(QPoint(50, 50));
    m.OnLButtonUp(QPoint(50, 60));
    ASSERT_EQ(m.UnitCount(), 1);
    EXPECT_NEAR(m.UnitArea(0), M_PI * 100, 1e-9);

    ASSERT_TRUE(CQoMeasure::MenuItemEvent(21, &m));  // the two ends of a diameter
    m.OnLButtonDown(QPoint(0, 0));
    m.OnLButtonUp(QPoint(20, 0));
    ASSERT_EQ(m.UnitCount(), 2);
    EXPECT_EQ(m.UnitAt(1).points[0], QPointF(10, 0));
    EXPECT_NEAR(m.UnitArea(1), M_PI * 100, 1e-9);

    ASSERT_TRUE(CQoMeasure::MenuItemEvent(5, &m));  // three points on the circle
    EXPECT_EQ(CQoMeasure::GetCurSelItem(), 3);
    m.OnLButtonDown(QPoint(10, 0));
    m.OnLButtonUp(QPoint(10, 0));
    QImage img(40, 40, QImage::Format_RGB32);
    {
        QPainter p(&img);
        m.DrawAllUnit(&p, QPoint(0, 0));  // an unfinished three-point circle draws nothing
    }
    m.OnLButtonDown(QPoint(0, 10));
    m.OnLButtonDown(QPoint(-10, 0));
    ASSERT_EQ(m.UnitCount(), 3);
    EXPECT_NEAR(m.UnitAt(2).points[0].x(), 0, 1e-9);
    EXPECT_NEAR(m.UnitArea(2), M_PI * 100, 1e-9);
    // Three points on a line make no circle.
    m.OnLButtonDown(QPoint(0, 0));
    m.OnLButtonDown(QPoint(1, 1));
    m.OnLButtonDown(QPoint(2, 2));
    EXPECT_EQ(m.UnitCount(), 3);
}
