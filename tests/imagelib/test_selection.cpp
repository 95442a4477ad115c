// Selection shapes, their bounding box, and the float rectangle used by area sampling.
#include <gtest/gtest.h>

#include "imagelib/ops/selection/pxrect2.h"
#include "imagelib/ops/selection/pxregion.h"
#include "imagelib/pximage.h"

namespace {

struct SelectableImage : PxImage {
    using PxImage::pSelection;
    using PxImage::PxImage;
};

// The selected pixels as a string, top row first, '#' selected.
std::string Mask(PxImage& img) {
    std::string s;
    for (LONG y = static_cast<LONG>(img.GetHeight()) - 1; y >= 0; --y) {
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x) s += img.SelectionIsInside(x, y) ? '#' : '.';
        s += '\n';
    }
    return s;
}

int CountSelected(PxImage& img) {
    int n = 0;
    for (LONG y = 0; y < static_cast<LONG>(img.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(img.GetWidth()); ++x) n += img.SelectionIsInside(x, y);
    return n;
}

void ExpectBox(PxImage& img, LONG left, LONG top, LONG right, LONG bottom) {
    RECT r;
    img.SelectionGetBox(r);
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

}  // namespace

TEST(Selection, RectangleIgnoresOrientationAndClampsToTheImage) {
    PxImage a(30, 30, 24), b(30, 30, 24);
    EXPECT_TRUE(a.SelectionIsInside(29, 29)) << "no plane: everything counts as selected";
    EXPECT_FALSE(a.SelectionIsInside(30, 0));
    ASSERT_TRUE(a.SelectionAddRect(RECT{10, 20, 0, 5}));
    ASSERT_TRUE(b.SelectionAddRect(RECT{0, 5, 10, 20}));
    EXPECT_EQ(Mask(a), Mask(b));
    EXPECT_EQ(CountSelected(a), 10 * 15);
    EXPECT_TRUE(a.SelectionIsInside(9, 19));
    EXPECT_FALSE(a.SelectionIsInside(10, 19));
    EXPECT_FALSE(a.SelectionIsInside(9, 20));
    ExpectBox(a, 0, 20, 10, 5);

    PxImage c(8, 6, 8);
    ASSERT_TRUE(c.SelectionAddRect(RECT{-5, 100, 3, -7}));
    EXPECT_EQ(CountSelected(c), 3 * 6);
    ExpectBox(c, 0, 6, 3, 0);
}

TEST(Selection, EllipseNeedsWidthAndStaysInsideWhenItsCentreIsOutside) {
    PxImage img(20, 10, 24);
    EXPECT_FALSE(img.SelectionIsValid());
    EXPECT_FALSE(img.SelectionAddEllipse(RECT{3, 0, 4, 8}));
    EXPECT_TRUE(img.SelectionIsValid()) << "the plane is made even when the ellipse is refused";

    // Centre (30, 12) lies beyond the right and top edges; only the inside part may be touched.
    ASSERT_TRUE(img.SelectionAddEllipse(RECT{15, 2, 45, 22}));
    EXPECT_TRUE(img.SelectionIsInside(19, 9));
    EXPECT_FALSE(img.SelectionIsInside(0, 0));
    ExpectBox(img, 15, 10, 20, 2);

    PxImage disc(11, 11, 8);
    ASSERT_TRUE(disc.SelectionAddEllipse(RECT{0, 0, 10, 10}));
    EXPECT_TRUE(disc.SelectionIsInside(5, 5));
    EXPECT_TRUE(disc.SelectionIsInside(1, 5));
    EXPECT_FALSE(disc.SelectionIsInside(0, 0)) << "corners lie outside the circle";
    EXPECT_FALSE(disc.SelectionIsInside(9, 9));
}

TEST(Selection, PolygonFillsOutlineAndInterior) {
    PxImage img(12, 12, 24);
    POINT two[2] = {{1, 1}, {5, 5}};
    EXPECT_FALSE(img.SelectionAddPolygon(two, 2));
    EXPECT_FALSE(img.SelectionAddPolygon(nullptr, 4));

    POINT square[4] = {{2, 2}, {7, 2}, {7, 7}, {2, 7}};
    ASSERT_TRUE(img.SelectionAddPolygon(square, 4));
    EXPECT_EQ(CountSelected(img), 36);
    EXPECT_TRUE(img.SelectionIsInside(2, 2));
    EXPECT_TRUE(img.SelectionIsInside(7, 7));
    EXPECT_FALSE(img.SelectionIsInside(8, 7));
    ExpectBox(img, 1, 9, 9, 1);

    // A concave L: the notch stays outside. Two sub-polygons separated by x = -1.
    PxImage l(12, 12, 24);
    POINT shapes[] = {{1, 1}, {8, 1}, {8, 3}, {3, 3}, {3, 8}, {1, 8}, {-1, 0}, {10, 10}, {11, 10}, {11, 11}};
    ASSERT_TRUE(l.SelectionAddPolygon(shapes, 10));
    EXPECT_TRUE(l.SelectionIsInside(2, 6));
    EXPECT_TRUE(l.SelectionIsInside(6, 2));
    EXPECT_FALSE(l.SelectionIsInside(6, 6));
    EXPECT_TRUE(l.SelectionIsInside(11, 11));

    // A lone point between separators is an edge of no length: it selects nothing.
    PxImage lone(12, 12, 24);
    POINT withPoint[] = {{2, 2}, {7, 2}, {7, 7}, {2, 7}, {-1, 0}, {10, 10}};
    ASSERT_TRUE(lone.SelectionAddPolygon(withPoint, 6));
    EXPECT_EQ(CountSelected(lone), 36);
    EXPECT_FALSE(lone.SelectionIsInside(10, 10));
}

TEST(Selection, PolygonReachingPastTheImageKeepsItsInside) {
    // Only the part inside the image exists: the corner square covers x and y 0..5.
    PxImage corner(16, 16, 24);
    POINT square[4] = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}};
    ASSERT_TRUE(corner.SelectionAddPolygon(square, 4));
    EXPECT_EQ(CountSelected(corner), 36);
    EXPECT_TRUE(corner.SelectionIsInside(0, 0));
    EXPECT_FALSE(corner.SelectionIsInside(6, 0));
    ExpectBox(corner, 0, 7, 7, 0);

    // A concave shape cut by the right edge: the notch between its arms stays outside.
    PxImage cut(16, 16, 24);
    POINT u[] = {{4, 2}, {30, 2}, {30, 5}, {9, 5}, {9, 10}, {30, 10}, {30, 13}, {4, 13}};
    ASSERT_TRUE(cut.SelectionAddPolygon(u, 8));
    EXPECT_TRUE(cut.SelectionIsInside(15, 3));
    EXPECT_TRUE(cut.SelectionIsInside(15, 12));
    EXPECT_TRUE(cut.SelectionIsInside(6, 7));
    EXPECT_FALSE(cut.SelectionIsInside(12, 7));
    EXPECT_FALSE(cut.SelectionIsInside(15, 7));
    EXPECT_FALSE(cut.SelectionIsInside(3, 7));

    PxImage all(16, 16, 24);
    POINT around[4] = {{-5, -5}, {50, -5}, {50, 50}, {-5, 50}};
    ASSERT_TRUE(all.SelectionAddPolygon(around, 4));
    EXPECT_EQ(CountSelected(all), 256);
}

TEST(Selection, ColourBoxIsExclusiveLikeTheOtherShapes) {
    PxImage img(10, 10, 24);
    const RGBQUAD red{0, 0, 255, 0};
    img.SetPixelColor(3, 4, red);
    img.SetPixelColor(5, 6, RGBQUAD{0, 0, 255, 77});  // reserved byte is ignored
    ASSERT_TRUE(img.SelectionAddColor(red));
    EXPECT_EQ(CountSelected(img), 2);
    ExpectBox(img, 3, 7, 6, 4);
}

TEST(Selection, PlaneOperations) {
    PxImage img(6, 4, 24);
    EXPECT_FALSE(img.SelectionInvert());
    EXPECT_FALSE(img.SelectionClear());
    ASSERT_TRUE(img.SelectionAddPixel(1, 1));
    EXPECT_FALSE(img.SelectionAddPixel(6, 0));
    ExpectBox(img, 6, 0, 0, 4);  // single pixels leave the box empty
    ASSERT_TRUE(img.SelectionInvert());
    EXPECT_EQ(CountSelected(img), 23);
    ASSERT_TRUE(img.SelectionClear());
    EXPECT_EQ(CountSelected(img), 0);

    img.SelectionAddRect(RECT{0, 0, 3, 2});
    PxImage other(6, 4, 8), small(5, 4, 8);
    EXPECT_FALSE(small.SelectionCopy(img));
    ASSERT_TRUE(other.SelectionCopy(img));
    EXPECT_EQ(Mask(other), Mask(img));

    PxImage split;
    ASSERT_TRUE(img.SelectionSplit(&split));
    EXPECT_EQ(split.GetBpp(), 8);
    EXPECT_EQ(split.GetPixelIndex(2, 1), 255);
    EXPECT_EQ(split.GetPixelIndex(3, 1), 0);
}

TEST(Selection, RegionTakesOnlyFullySelectedRuns) {
    SelectableImage img(8, 3, 24);
    img.SelectionAddRect(RECT{1, 0, 4, 1});
    img.SelectionAddRect(RECT{6, 2, 8, 3});
    img.pSelection[1 * 8 + 2] = 128;  // selected for the filters, but not outlined
    EXPECT_TRUE(img.SelectionIsInside(2, 1));
    PxRegion region;
    PxImage::HRGN h = &region;
    ASSERT_TRUE(img.SelectionToHRGN(h));
    ASSERT_EQ(region.rects.size(), 2u);
    EXPECT_TRUE(region.Contains(1, 0));
    EXPECT_TRUE(region.Contains(3, 0));
    EXPECT_FALSE(region.Contains(4, 0));
    EXPECT_FALSE(region.Contains(2, 1));
    EXPECT_TRUE(region.Contains(7, 2));
    PxImage::HRGN none = nullptr;
    EXPECT_FALSE(img.SelectionToHRGN(none));
}

TEST(Selection, FloatRectangleCrossSection) {
    const PxRect2 a(0, 0, 2, 2);
    const PxRect2 touch = a.CrossSection(PxRect2(2, 0, 4, 2));
    EXPECT_FLOAT_EQ(touch.botLeft.x, 2);
    EXPECT_FLOAT_EQ(touch.topRight.x, 2);
    EXPECT_FLOAT_EQ(touch.topRight.y, 2);
    const PxRect2 apart = a.CrossSection(PxRect2(3, 0, 4, 2));
    EXPECT_FLOAT_EQ(apart.Width(), 0);
    EXPECT_FLOAT_EQ(apart.topRight.y, 0);
    const PxRect2 part = a.CrossSection(PxRect2(1.5f, -1, 5, 0.5f));
    EXPECT_FLOAT_EQ(part.Surface(), 0.25f);
    EXPECT_FLOAT_EQ(part.Center().x, 1.75f);
    EXPECT_FLOAT_EQ(PxPoint2(0, 0).Distance(PxPoint2(3, 4)), 5);
}

TEST(Selection, ExtremeCoordinatesStayInsideThePlane) {
    PxImage img(16, 16, 8);
    POINT huge[3] = {{-2000000000, -2000000000}, {2000000000, 5}, {7, 2000000000}};
    ASSERT_TRUE(img.SelectionAddPolygon(huge, 3));
    ASSERT_TRUE(img.SelectionAddEllipse(RECT{-2147483647, -2147483647, 2147483647, 2147483647}));
    RECT box;
    img.SelectionGetBox(box);
    EXPECT_GE(box.left, 0);
    EXPECT_GE(box.bottom, 0);
    EXPECT_LE(box.right, 16);
    EXPECT_LE(box.top, 16);
    EXPECT_TRUE(img.SelectionIsInside(8, 8)) << "the ellipse's middle covers the image";
}
