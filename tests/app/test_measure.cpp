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
