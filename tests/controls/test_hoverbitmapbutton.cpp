// The two hover buttons of an overlay-like owner: the highlight follows the mouse through the
// keyboard focus.
#include <QApplication>
#include <QEnterEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "controls/hoverbitmapbutton.h"

namespace {

void Enter(QWidget* w) {
    QEnterEvent e(QPointF(2, 2), w->window()->mapFromGlobal(w->mapToGlobal(QPointF(2, 2))), w->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(w, &e);
}

void Leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(HoverBitmapButton, HighlightFollowsTheMouseThroughTheFocus) {
    QWidget owner;
    owner.resize(200, 60);
    CHoverBitmapButton region(&owner), other(&owner), stranger(&owner);
    region.setObjectName(QString::number(CHoverBitmapButton::kRegionItem));
    other.setObjectName(QString::number(CHoverBitmapButton::kOtherItem));
    region.LoadBitmaps(264, 261, 264, 264);
    other.LoadBitmaps(265, 262, 265, 265);
    other.move(60, 0);
    stranger.move(120, 0);
    QLineEdit elsewhere(&owner);
    elsewhere.move(0, 30);
    owner.show();
    QApplication::setActiveWindow(&owner);
    if (!QTest::qWaitForWindowActive(&owner)) GTEST_SKIP() << "the platform gives no window the focus";

    EXPECT_EQ(region.OwnerItem(), CHoverBitmapButton::kRegionItem);
    EXPECT_EQ(stranger.OwnerItem(), 0);
    Enter(&region);
    EXPECT_TRUE(region.hasFocus());
    EXPECT_EQ(region.BitmapId(0), 261);
    EXPECT_EQ(region.BitmapId(1), 0);  // one bitmap serves every state
    Enter(&other);
    EXPECT_TRUE(other.hasFocus());
    EXPECT_EQ(other.BitmapId(0), 262);
    EXPECT_EQ(region.BitmapId(0), 264);
    // Leaving keeps the highlight; a button that is not one of the owner's two does nothing.
    Leave(&other);
    Enter(&stranger);
    EXPECT_TRUE(other.hasFocus());
    EXPECT_EQ(other.BitmapId(0), 262);
    EXPECT_EQ(stranger.BitmapId(0), 0);
    // The focus going elsewhere ends it.
    elsewhere.setFocus();
    EXPECT_EQ(other.BitmapId(0), 265);
    EXPECT_EQ(region.BitmapId(0), 264);
    // It draws without its bitmaps as well.
    EXPECT_FALSE(other.Render().isNull());
}
