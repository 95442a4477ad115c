#include <gtest/gtest.h>

#include <climits>

#include "controls/flatprogressctrl.h"
#include "controls/syscolors.h"

namespace {

// What the widget itself paints (through its paint event).
QImage Shown(CFlatProgressCtrl& c) { return c.grab().toImage().convertToFormat(QImage::Format_RGB32); }

COLORREF At(const QImage& img, int x) { return CSysColors::FromQColor(QColor(img.pixel(x, img.height() / 2))); }

const COLORREF kGreen = RGB(0, 255, 0);
const COLORREF kRed = RGB(255, 0, 0);

}  // namespace

TEST(FlatProgressCtrl, BarFaceAndHighMark) {
    CFlatProgressCtrl c;
    c.resize(200, 8);
    const COLORREF face = CSysColors::GetSysColor(COLOR_BTNFACE);
    c.SetPos(50);
    QImage img = Shown(c);
    EXPECT_EQ(At(img, 0), kGreen);
    EXPECT_EQ(At(img, 99), kGreen);
    for (int x = 100; x <= 102; ++x) EXPECT_EQ(At(img, x), kRed) << x;
    EXPECT_EQ(At(img, 103), face);
    EXPECT_EQ(At(img, 199), face);
    // Going down keeps the mark at the highest position.
    c.SetPos(80);
    c.SetPos(20);
    img = Shown(c);
    EXPECT_EQ(At(img, 39), kGreen);
    EXPECT_EQ(At(img, 40), face);
    EXPECT_EQ(At(img, 159), face);
    EXPECT_EQ(At(img, 160), kRed);
    EXPECT_EQ(c.Render(), img);
}

TEST(FlatProgressCtrl, RangeResetsPositionButNotTheMark) {
    CFlatProgressCtrl c;
    c.resize(100, 4);
    c.SetPos(90);
    c.SetRange(0, 200);
    EXPECT_EQ(c.GetPos(), 0u);
    EXPECT_EQ(c.GetHighMark(), 90u);
    const QImage img = Shown(c);
    EXPECT_EQ(At(img, 0), CSysColors::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(At(img, 45), kRed);  // 90 of 200
}

TEST(FlatProgressCtrl, NoPositiveUpperBoundShowsAnEmptyMeter) {
    CFlatProgressCtrl c;
    c.resize(60, 4);
    c.SetPos(30);
    c.SetRange(0, 0);
    c.SetPos(10);
    const COLORREF face = CSysColors::GetSysColor(COLOR_BTNFACE);
    QImage img = Shown(c);
    for (int x = 0; x < 60; ++x) EXPECT_EQ(At(img, x), face) << x;
    // Huge positions are clipped to the bar rather than overflowing.
    c.SetRange(0, 100);
    c.SetPos(UINT_MAX);
    img = Shown(c);
    EXPECT_EQ(At(img, 59), kGreen);
}
