#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "controls/bitmapslider.h"
#include "ui/messages.h"
#include "messagerecorder.h"
#include "resources/resourcetable.h"

namespace {

constexpr int kId = 1080;

RecordedMessage Changing(int pos) { return {WM_SLIDER_CHANGING, kId, pos}; }
RecordedMessage Changed(int pos) { return {WM_SLIDER_CHANGED, kId, pos}; }

// The exposure panel's slider: 110 x 15 channels, 15 x 9 transparent thumbs, margins 2, 3, 2, 0.
// Travel: 110 - 2 - 15 - 2 = 91 pixels; the thumb centre is at 9 + trunc(91 * pos / 100).
class BitmapSliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent.resize(300, 100);
        slider = new CBitmapSlider(&parent, kId);
        next = new QLineEdit(&parent);
        next->move(0, 50);
        EXPECT_TRUE(slider->SetBitmapChannel(200, 201));
        EXPECT_TRUE(slider->SetBitmapThumb(202, 199, true));
        slider->SetMargin(2, 3, 2, 0);
        slider->SetRange(0, 100);
        parent.show();
        QApplication::setActiveWindow(&parent);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
        parent.Take();
    }
    void Press(int x) { QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, 7)); }
    void Move(int x) { QTest::mouseMove(slider, QPoint(x, 7)); }
    void Release(int x) { QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, 7)); }
    void Key(Qt::Key k) { QTest::keyClick(slider, k); }

    MessageRecorder parent;
    CBitmapSlider* slider = nullptr;
    QLineEdit* next = nullptr;
};

using Messages = std::vector<RecordedMessage>;

}  // namespace

TEST_F(BitmapSliderTest, LoadingSizesTheControlAndFailuresUnloadThePair) {
    EXPECT_EQ(slider->size(), QSize(110, 15));
    EXPECT_TRUE(slider->IsChannelLoaded());
    // A missing active bitmap fails the whole pair; nothing of it is drawn afterwards.
    EXPECT_FALSE(slider->SetBitmapChannel(200, 4242));
    EXPECT_FALSE(slider->IsChannelLoaded());
    EXPECT_FALSE(slider->SetBitmapThumb(4242, 0, true));
    EXPECT_FALSE(slider->IsThumbLoaded());
    slider->SetPos(50);
    const QImage blank = slider->Render();
    EXPECT_EQ(blank.pixel(5, 7), qRgb(255, 255, 255));
    EXPECT_EQ(blank.pixel(54, 7), qRgb(255, 255, 255));
    // A click still works out a position; nothing else breaks.
    Press(30);
    Release(30);
    EXPECT_FALSE(parent.Take().empty());
    EXPECT_TRUE(slider->SetBitmapChannel(0, 0));
    EXPECT_TRUE(slider->SetBitmapChannel(200, 201));
    EXPECT_TRUE(slider->IsChannelLoaded());
}

TEST_F(BitmapSliderTest, ClickAwayFromTheThumbJumpsThereAndReportsChangingThenChanged) {
    Press(60);  // trunc((60 - 7 - 2) / 91 * 100) = 56
    EXPECT_EQ(slider->GetPos(), 56);
    EXPECT_TRUE(slider->IsDragging());
    EXPECT_TRUE(slider->hasFocus());
    EXPECT_EQ(parent.Take(), (Messages{Changing(56)}));
    Release(60);
    EXPECT_FALSE(slider->IsDragging());
    EXPECT_EQ(parent.Take(), (Messages{Changed(56)}));
    // A release reports even when nothing moved.
    Press(slider->PositionToPixel(56));
    Release(slider->PositionToPixel(56));
    EXPECT_EQ(parent.Take(), (Messages{Changed(56)}));
}

TEST_F(BitmapSliderTest, GrabNearTheThumbKeepsItsDistanceAndDragsStopAtTheEnds) {
    slider->SetPos(50);
    ASSERT_EQ(slider->PositionToPixel(50), 54);
    Press(57);  // 3 pixels right of the centre: no jump
    EXPECT_EQ(slider->GetPos(), 50);
    Move(70);  // centre at 67: trunc(58 / 91 * 100) = 63
    EXPECT_EQ(slider->GetPos(), 63);
    Move(71);  // centre 68 gives 64
    Move(71);  // 64 maps back to pixel 67, not 68: reported again
    Move(500);
    EXPECT_EQ(slider->GetPos(), 100);
    Move(-50);
    EXPECT_EQ(slider->GetPos(), 0);
    Release(-50);
    EXPECT_EQ(parent.Take(), (Messages{Changing(63), Changing(64), Changing(64), Changing(100), Changing(0), Changed(0)}));
}

TEST_F(BitmapSliderTest, NavigationKeysReportEveryTimeAndTabStillLeaves) {
    slider->setFocus();
    slider->SetPos(10);
    Key(Qt::Key_Home);
    Key(Qt::Key_Home);  // already at the minimum: still reported
    Key(Qt::Key_Right);
    Key(Qt::Key_Down);
    Key(Qt::Key_Up);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_End);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageUp);
    Key(Qt::Key_Left);
    Key(Qt::Key_A);  // not a navigation key
    EXPECT_EQ(parent.Take(), (Messages{Changed(0), Changed(0), Changed(1), Changed(2), Changed(1), Changed(21),
                                       Changed(100), Changed(100), Changed(80), Changed(79)}));
    Key(Qt::Key_Tab);
    EXPECT_TRUE(next->hasFocus());
    EXPECT_TRUE(parent.Take().empty());
}

TEST_F(BitmapSliderTest, RangeDoesNotClampButTheNextPositionDoesWithTheMaximumFirst) {
    slider->SetPos(80);
    slider->SetRange(0, 50);
    EXPECT_EQ(slider->GetPos(), 80);
    slider->setFocus();
    Key(Qt::Key_Right);
    EXPECT_EQ(parent.Take(), (Messages{Changed(50)}));
    // With the bounds the wrong way round the minimum is applied last and wins.
    slider->SetRange(10, 0);
    slider->SetPos(5);
    EXPECT_EQ(slider->GetPos(), 10);
}

TEST_F(BitmapSliderTest, EqualBoundsOrNoTravelKeepTheThumbLeftAndThePositionAtTheMinimum) {
    slider->SetRange(5, 5);
    slider->SetPos(5);
    EXPECT_EQ(slider->PositionToPixel(5), 9);
    EXPECT_EQ(slider->PixelToPosition(80), 5);
    Press(80);
    Release(80);
    EXPECT_EQ(slider->GetPos(), 5);
    EXPECT_EQ(parent.Take(), (Messages{Changing(5), Changed(5)}));
    // A thumb wider than the control leaves no travel at all.
    CBitmapSlider narrow(&parent, 7);
    narrow.resize(10, 12);
    ASSERT_TRUE(narrow.SetBitmapThumb(186, 0, true));
    narrow.SetRange(-20, 20);
    narrow.SetPos(15);
    EXPECT_EQ(narrow.PositionToPixel(15), 11);
    EXPECT_EQ(narrow.PixelToPosition(3), -20);
    EXPECT_FALSE(narrow.Render().isNull());
}

TEST_F(BitmapSliderTest, PaintShowsActiveChannelLeftOfTheThumbAndTheKeyedThumb) {
    const QImage normal = ResourcePixmap(200).toImage();
    const QImage active = ResourcePixmap(201).toImage();
    const QImage thumb = ResourcePixmap(202).toImage();
    slider->SetCentreMark(false);
    slider->SetDrawFocusRect(false);
    slider->SetPos(50);  // centre 54, thumb from 47 to 61
    QImage img = slider->Render();
    EXPECT_EQ(img.pixel(20, 7), active.pixel(20, 7));
    EXPECT_EQ(img.pixel(90, 7), normal.pixel(90, 7));
    EXPECT_EQ(img.pixel(54, 3 + 4), thumb.pixel(7, 4) | 0xFF000000u);
    // The thumb's key-coloured corner shows the channel beneath it.
    EXPECT_EQ(img.pixel(47, 3), active.pixel(47, 3));
    EXPECT_EQ(img.pixel(61, 3), normal.pixel(61, 3));

    // Disabled: the whole normal channel and no thumb; mouse and keys do nothing.
    slider->Enable(false);
    img = slider->Render();
    EXPECT_EQ(img.pixel(20, 7), normal.pixel(20, 7));
    EXPECT_EQ(img.pixel(54, 7), normal.pixel(54, 7));
    Press(90);
    Release(90);
    Key(Qt::Key_Home);
    EXPECT_EQ(slider->GetPos(), 50);
    EXPECT_TRUE(parent.Take().empty());
}

TEST_F(BitmapSliderTest, ActiveThumbWhileDraggingAndMarksAlongTheTop) {
    const QImage activeThumb = ResourcePixmap(199).toImage();
    slider->SetDrawFocusRect(false);
    Press(54);
    EXPECT_EQ(slider->Render().pixel(54, 3 + 4), activeThumb.pixel(7, 4) | 0xFF000000u);
    Release(54);
    parent.Take();

    const QRgb black = qRgb(0, 0, 0);
    QImage img = slider->Render();
    EXPECT_EQ(img.pixel(55, 2), black);  // centre mark: 3 pixels at 55, 2 beside it
    EXPECT_EQ(img.pixel(54, 1), black);
    EXPECT_NE(img.pixel(54, 2), black);
    EXPECT_NE(img.pixel(55, 3), black);
    EXPECT_NE(img.pixel(27, 0), black);
    slider->SetTickCount(4);  // steps of 110 / 4 = 27
    img = slider->Render();
    for (int x : {27, 54, 81}) {
        EXPECT_EQ(img.pixel(x, 0), black) << x;
        EXPECT_EQ(img.pixel(x, 2), black) << x;
        EXPECT_EQ(img.pixel(x + 1, 1), black) << x;
    }
    slider->SetTickCount(1);
    slider->SetCentreMark(false);
    img = slider->Render();
    for (int x = 0; x < 110; ++x) EXPECT_NE(img.pixel(x, 0), black) << x;
}

TEST_F(BitmapSliderTest, FocusRectangleIsDrawnAfreshOnlyWhileFocused) {
    slider->setFocus();
    ASSERT_TRUE(slider->hasFocus());
    const QImage focused = slider->Render();
    next->setFocus();
    const QImage unfocused = slider->Render();
    int borderDiffs = 0;
    for (int x = 0; x < 110; ++x) borderDiffs += focused.pixel(x, 0) != unfocused.pixel(x, 0);
    EXPECT_GE(borderDiffs, 50);
    EXPECT_EQ(focused.copy(1, 1, 108, 13), unfocused.copy(1, 1, 108, 13));
    // Painting twice does not take the rectangle away again.
    slider->setFocus();
    slider->Render();
    EXPECT_EQ(slider->Render(), focused);
}
