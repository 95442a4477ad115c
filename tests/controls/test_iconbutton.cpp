#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

#include "controls/iconbutton.h"
#include "ui/messages.h"
#include "controls/syscolors.h"

#include "buttonwindowtest.h"

namespace {

class IconButtonTest : public ButtonWindowTest {
protected:
    IconButtonTest() : ButtonWindowTest({300, 200}) {}
    CIconButton* Make(DWORD style, int x, const QString& text = QStringLiteral("OK")) {
        auto* b = new CIconButton(&window, style);
        b->setText(text);
        b->setGeometry(x, 10, 60, 28);
        b->show();
        return b;
    }
    // Pixels within a small distance of the colour: text is antialiased.
    static int CountColour(const QImage& img, const QColor& c) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor p = img.pixelColor(x, y);
                n += std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) < 40;
            }
        return n;
    }

};

}  // namespace

TEST_F(IconButtonTest, CheckingOneRadioClearsTheOthersOfItsGroupOnlyOnceDelivered) {
    CIconButton* a = Make(BS_AUTORADIOBUTTON, 0);
    CIconButton* b = Make(BS_AUTORADIOBUTTON, 70);
    CIconButton* c = Make(BS_AUTORADIOBUTTON, 140);
    CIconButton* outsider = Make(BS_AUTORADIOBUTTON, 210);
    CIconButton::MakeRadioGroup({a, b, c});
    outsider->SetCheck(1);
    QTest::mouseClick(a, Qt::LeftButton);
    PumpPrivateMessages();
    EXPECT_EQ(a->GetCheck(), 1);
    QTest::mouseClick(b, Qt::LeftButton);
    // The others are cleared by a posted message, not at once.
    EXPECT_EQ(a->GetCheck(), 1);
    PumpPrivateMessages();
    EXPECT_EQ(a->GetCheck(), 0);
    EXPECT_EQ(b->GetCheck(), 1);
    EXPECT_EQ(c->GetCheck(), 0);
    EXPECT_EQ(outsider->GetCheck(), 1);
    // Clicking the checked one again changes nothing; Space checks as a click does.
    QTest::mouseClick(b, Qt::LeftButton);
    PumpPrivateMessages();
    EXPECT_EQ(b->GetCheck(), 1);
    c->setFocus();
    QTest::keyClick(c, Qt::Key_Space);
    PumpPrivateMessages();
    EXPECT_EQ(b->GetCheck(), 0);
    EXPECT_EQ(c->GetCheck(), 1);
    // A group member that is gone is skipped.
    delete a;
    b->SetCheck(1);
    PumpPrivateMessages();
    EXPECT_EQ(c->GetCheck(), 0);
}

TEST_F(IconButtonTest, PushedStateFollowsTheHeldCursorAndReleaseOutsideDoesNotToggle) {
    CIconButton* toggle = Make(BS_FLAT | BS_PUSHLIKE | BS_AUTOCHECKBOX, 0, QStringLiteral("R"));
    int clicks = 0;
    QObject::connect(toggle, &QAbstractButton::clicked, toggle, [&] { ++clicks; });
    QTest::mousePress(toggle, Qt::LeftButton, Qt::NoModifier, QPoint(30, 14));
    EXPECT_TRUE(toggle->IsPushed());
    const QImage down = toggle->Render();
    QTest::mouseMove(toggle, QPoint(200, 14));
    EXPECT_FALSE(toggle->IsPushed());
    const QImage off = toggle->Render();
    EXPECT_NE(down, off);
    QTest::mouseMove(toggle, QPoint(20, 14));
    EXPECT_TRUE(toggle->IsPushed());
    QTest::mouseMove(toggle, QPoint(200, 14));
    QTest::mouseRelease(toggle, Qt::LeftButton, Qt::NoModifier, QPoint(200, 14));
    EXPECT_EQ(toggle->GetCheck(), 0);
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(toggle, Qt::LeftButton, Qt::NoModifier, QPoint(30, 14));
    EXPECT_EQ(toggle->GetCheck(), 1);
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(toggle, Qt::LeftButton, Qt::NoModifier, QPoint(30, 14));
    EXPECT_EQ(toggle->GetCheck(), 0);
    // A push button never stays checked.
    CIconButton* push = Make(BS_PUSHBUTTON, 100);
    push->SetCheck(1);
    EXPECT_EQ(push->GetCheck(), 0);
}

TEST_F(IconButtonTest, HoverHighlightsWithCornerMarksAndEndsOnLeaveOrPress) {
    CIconButton* b = Make(BS_PUSHBUTTON, 0);
    CIconButton* other = Make(BS_PUSHBUTTON, 100);
    const QColor text = CSysColors::Color(COLOR_BTNTEXT);
    const QColor highlight = CSysColors::Color(COLOR_BTNHIGHLIGHT);
    QTest::mouseMove(b, QPoint(30, 14));
    ASSERT_TRUE(b->IsHover());
    QImage img = b->Render();
    EXPECT_EQ(img.pixelColor(30, 1), highlight);
    // Corner marks: corner pixel 3 in, arms 4 along and 3 down (not push-like: 4 from the far edges).
    for (QPoint p : {QPoint(3, 3), QPoint(7, 3), QPoint(3, 6), QPoint(56, 3), QPoint(52, 3), QPoint(56, 24),
                     QPoint(3, 21)})
        EXPECT_EQ(img.pixelColor(p), text) << p.x() << "," << p.y();
    EXPECT_NE(img.pixelColor(8, 3), text);
    EXPECT_NE(img.pixelColor(3, 7), text);
    b->SetCornerFrame(false);
    EXPECT_NE(b->Render().pixelColor(3, 3), text);
    QTest::mouseMove(other, QPoint(10, 10));
    EXPECT_FALSE(b->IsHover());
    EXPECT_TRUE(other->IsHover());
    EXPECT_EQ(b->Render().pixelColor(30, 1), CSysColors::Color(COLOR_BTNFACE));
    QTest::mousePress(other, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(other->IsHover());
    QTest::mouseRelease(other, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
}

TEST_F(IconButtonTest, MissingIconDrawsTextOnlyAndDisabledLooksTheSameHoveredOrNot) {
    CIconButton* b = Make(BS_LEFT, 0, QStringLiteral("Cancel"));
    EXPECT_TRUE(b->SetIcon(4242, CIconButton::AlignLeft).isNull());
    EXPECT_TRUE(b->GetIconRect().isNull());
    const QImage textOnly = b->Render();
    EXPECT_GT(CountColour(textOnly, CSysColors::Color(COLOR_BTNTEXT)), 10);

    EXPECT_FALSE(b->SetIcon(154, CIconButton::AlignLeft).isNull());
    EXPECT_EQ(b->GetIconRect(), QRect(3, 6, 16, 16));
    EXPECT_NE(b->Render(), textOnly);
    b->setEnabled(false);
    const QImage disabled = b->Render();
    EXPECT_GT(CountColour(disabled, CSysColors::Color(COLOR_GRAYTEXT)), 10);
    EXPECT_GT(CountColour(disabled, CSysColors::Color(COLOR_BTNHIGHLIGHT)), 10);
    EXPECT_EQ(CountColour(disabled, CSysColors::Color(COLOR_BTNTEXT)), 0);
    QTest::mouseMove(b, QPoint(30, 14));
    EXPECT_EQ(b->Render(), disabled);
}

TEST_F(IconButtonTest, IconPlacementFollowsTheAlignment) {
    CIconButton* b = Make(BS_PUSHBUTTON, 0);
    b->resize(80, 40);
    b->SetIcon(155, CIconButton::AlignRight);
    EXPECT_EQ(b->GetIconRect(), QRect(80 - 16 - 3, 12, 16, 16));
    b->SetIcon(155, 0);
    EXPECT_EQ(b->GetIconRect(), QRect(32, 12, 16, 16));
    // A dialog layout that resizes the button later keeps the icon in place.
    b->resize(100, 20);
    EXPECT_EQ(b->GetIconRect(), QRect(42, 2, 16, 16));
}
