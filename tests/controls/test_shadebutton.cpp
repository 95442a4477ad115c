#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "controls/dibbuffer.h"
#include "ui/messages.h"
#include "controls/zarnmenu.h"
#include "controls/shadebutton.h"
#include "controls/syscolors.h"
#include "imagelib/pxrandom.h"
#include "messagerecorder.h"

#include "buttonwindowtest.h"

namespace {

QRgb Entry(const CDibBuffer& dib, int i) {
    const RGBQUAD q = dib.GetPaletteEntry(i);
    return qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

int Blend(int c, int e, int p) { return (c * p + e * (100 - p)) / 100; }

class ShadeButtonTest : public ButtonWindowTest {
protected:
    ShadeButtonTest() : ButtonWindowTest({200, 100}) {}
    CShadeButton* Make(int w, int h) {
        auto* b = new CShadeButton(&window);
        b->setGeometry(10, 10, w, h);
        b->show();
        return b;
    }
};

}  // namespace

TEST(DibBufferTest, RowsAreBottomUpWithTheirAlignedStrideAndThePaletteBlends) {
    CDibBuffer dib;
    for (auto [w, bpp, stride] : {std::tuple{3, 1, 4}, {33, 1, 8}, {9, 4, 8}, {5, 8, 8}, {3, 24, 12}, {2, 32, 8}}) {
        ASSERT_NE(dib.Create(w, 2, bpp), nullptr);
        EXPECT_EQ(dib.GetStride(), stride) << w << " x " << bpp;
        EXPECT_EQ(dib.GetPaletteSize(), bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0);
    }
    EXPECT_EQ(dib.Create(0, 5, 8), nullptr);
    EXPECT_EQ(dib.Create(5, 5, 7), nullptr);
    EXPECT_EQ(dib.GetBits(), nullptr);

    ASSERT_NE(dib.Create(5, 3, 8), nullptr);
    dib.SetPixelIndex(1, 0, 7);  // top row: the last row in storage
    dib.SetPixelIndex(5, 0, 9);  // outside: ignored
    dib.SetPixelIndex(-1, 2, 9);
    EXPECT_EQ(dib.GetBits()[2 * 8 + 1], 7);
    EXPECT_EQ(dib.GetPixelIndex(1, 0), 7);
    dib.SetPaletteIndex(7, 200, 100, 0);
    dib.SetPaletteIndex(256, 1, 2, 3);
    EXPECT_EQ(dib.ToImage().pixel(1, 0), qRgb(200, 100, 0));
    EXPECT_EQ(dib.ToImage().pixel(1, 2), qRgb(0, 0, 0));
    dib.BlendPalette(RGB(0, 0, 255), 150);  // capped at 100
    EXPECT_EQ(Entry(dib, 7), qRgb(0, 0, 255));

    CDibBuffer nibbles;
    ASSERT_NE(nibbles.Create(3, 2, 4), nullptr);
    nibbles.SetPixelIndex(0, 1, 0xA);
    nibbles.SetPixelIndex(1, 1, 0x5);
    EXPECT_EQ(nibbles.GetBits()[0], 0xA5);
    CDibBuffer copy;
    copy.CopyFrom(nibbles);
    EXPECT_EQ(copy.GetPixelIndex(1, 1), 5);
    EXPECT_EQ(copy.GetStride(), 4);
}

TEST_F(ShadeButtonTest, VerticalShadeIsDarkBelowLightAboveTintedAndNoisy) {
    CShadeButton* b = Make(15, 20);
    px::srand15(1234);
    b->SetShade(CShadeButton::ShadeVertical, 8, 20, 5, RGB(55, 55, 255));
    const CDibBuffer& face = b->GetNormalFace();
    ASSERT_EQ(face.GetWidth(), 15);
    ASSERT_EQ(face.GetHeight(), 20);
    // Storage row y (from the bottom) is 8 + y * 239 / 20 give or take 8 steps of noise.
    int lowSum = 0, highSum = 0, spread = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 15; ++x) {
            const int v = face.GetBits()[y * face.GetStride() + x];
            const int base = 8 + y * 239 / 20;
            EXPECT_LE(std::abs(v - base), 8) << x << "," << y;
            spread = std::max(spread, std::abs(v - base));
            if (y == 0) lowSum += v;
            if (y == 19) highSum += v;
        }
    EXPECT_GT(highSum, lowSum);
    EXPECT_GE(spread, 6);  // the noise is really there
    // The palette runs shadow - face - highlight, then 5 % towards the colour.
    const COLORREF shadow = CSysColors::GetSysColor(COLOR_BTNSHADOW);
    const COLORREF faceColour = CSysColors::GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(Entry(face, 0), qRgb(Blend(55, GetRValue(shadow), 5), Blend(55, GetGValue(shadow), 5),
                                   Blend(255, GetBValue(shadow), 5)));
    EXPECT_EQ(Entry(face, 127), qRgb(Blend(55, (GetRValue(shadow) + GetRValue(faceColour) * 127) / 128, 5),
                                     Blend(55, (GetGValue(shadow) + GetGValue(faceColour) * 127) / 128, 5),
                                     Blend(255, (GetBValue(shadow) + GetBValue(faceColour) * 127) / 128, 5)));
    // The hover face: the same pixels, its palette 20 % nearer the highlight.
    const CDibBuffer& hover = b->GetHoverFace();
    EXPECT_EQ(0, std::memcmp(hover.GetBits(), face.GetBits(), static_cast<size_t>(face.GetStride()) * 20));
    const COLORREF light = CSysColors::GetSysColor(COLOR_BTNHIGHLIGHT);
    for (int i : {0, 100, 255}) {
        const QRgb n = Entry(face, i);
        EXPECT_EQ(Entry(hover, i), qRgb(Blend(GetRValue(light), qRed(n), 20), Blend(GetGValue(light), qGreen(n), 20),
                                        Blend(GetBValue(light), qBlue(n), 20)));
    }
    // Same seed, same face; the painted button is light at the top and dark at the bottom.
    CShadeButton* twin = Make(15, 20);
    px::srand15(1234);
    twin->SetShade(CShadeButton::ShadeVertical, 8, 20, 5, RGB(55, 55, 255));
    EXPECT_EQ(twin->GetNormalFace().ToImage(), face.ToImage());
    const QImage shown = b->Render();
    EXPECT_GT(qGray(shown.pixel(7, 1)), qGray(shown.pixel(7, 18)));
}

TEST_F(ShadeButtonTest, EveryShadeStaysInsideTheImageAndUnshadeableSizesLeaveThePlainFace) {
    for (int type = 0; type <= 9; ++type) {
        for (QSize size : {QSize(15, 20), QSize(40, 23), QSize(6, 2), QSize(1, 1)}) {
            CShadeButton* b = Make(size.width(), size.height());
            b->SetShade(type, 8, 20, 5, RGB(55, 55, 255));
            const bool tooSmall = type == CShadeButton::ShadeHardBump && (size.width() < 6 || size.height() < 2);
            EXPECT_EQ(b->GetNormalFace().IsEmpty(), tooSmall) << type << " " << size.width() << "x" << size.height();
            EXPECT_FALSE(b->Render().isNull());
            delete b;
        }
    }
    const QColor plain = CSysColors::Color(COLOR_BTNFACE);
    for (QSize size : {QSize(0, 20), QSize(15, 0), QSize(40000, 2)}) {
        CShadeButton* b = Make(size.width(), size.height());
        b->SetShade(CShadeButton::ShadeMetal, 8, 20, 5, RGB(55, 55, 255));
        EXPECT_TRUE(b->GetNormalFace().IsEmpty()) << size.width() << "x" << size.height();
        EXPECT_TRUE(b->GetHoverFace().IsEmpty());
        if (size.width() > 2 && size.height() > 0) {
            EXPECT_EQ(b->Render().pixelColor(1, 0), plain);
        }
        delete b;
    }
    // A granularity whose noise step would be zero is refused the same way.
    CShadeButton* coarse = Make(15, 20);
    coarse->SetShade(CShadeButton::ShadeVertical, 20000, 20, 5, 0);
    EXPECT_TRUE(coarse->GetNormalFace().IsEmpty());
}

TEST_F(ShadeButtonTest, HoverShowsTheLighterFaceAndEndsWhenTheFocusGoes) {
    CShadeButton* b = Make(40, 20);
    b->setText(QStringLiteral("Y"));
    auto* edit = new QLineEdit(&window);
    edit->move(100, 10);
    edit->show();
    px::srand15(7);
    b->SetShade(CShadeButton::ShadeVertical, 8, 20, 5, RGB(55, 55, 255));
    const QImage normal = b->Render();
    QTest::mouseMove(b, QPoint(20, 10));
    ASSERT_TRUE(b->IsHover());
    const QImage hovered = b->Render();
    EXPECT_GT(qGray(hovered.pixel(30, 10)), qGray(normal.pixel(30, 10)));
    EXPECT_EQ(hovered.pixel(30, 10), b->GetHoverFace().ToImage().pixel(30, 10));
    b->setFocus();
    edit->setFocus();
    EXPECT_FALSE(b->IsHover());
    EXPECT_EQ(b->Render(), normal);
}

TEST_F(ShadeButtonTest, FlatButtonChecksWithoutShiftingAndPassesTheFocusOnWhenDisabled) {
    auto* check = new CFlatButton(&window, BS_CHECKBOX);
    check->setGeometry(10, 10, 50, 24);
    check->setText(QStringLiteral("N"));
    check->show();
    auto* next = new CFlatButton(&window);
    next->setGeometry(70, 10, 50, 24);
    next->show();
    ASSERT_TRUE(check->IsCheckMode());
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_EQ(check->GetCheck(), 1);
    EXPECT_TRUE(check->IsPressed());
    EXPECT_TRUE(check->hasFocus());
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_EQ(check->GetCheck(), 0);
    check->SetCheck(2);
    EXPECT_EQ(check->GetCheck(), 1);
    // A plain button has no check state.
    next->SetCheck(1);
    EXPECT_EQ(next->GetCheck(), 0);
    // Pressed colours come from the hover pair.
    check->SetHoverColor(RGB(255, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(check->Render().pixel(25, 2), qRgb(255, 0, 0));
    check->setFocus();
    check->setEnabled(false);
    EXPECT_TRUE(next->hasFocus());
}

TEST_F(ShadeButtonTest, AMenuPopsUpOnlyWithItemsAndPostsTheChosenCommand) {
    MessageRecorder receiver;
    auto* b = new CFlatButton(&window);
    b->setGeometry(10, 10, 50, 24);
    b->show();
    auto* menu = new ZarnMenu(&window);
    b->SetMenu(menu, receiver.GetSafeHwnd());
    // Whatever pops up is noted and answered with the first item (Return), so a wait ends.
    int popups = 0;
    auto answerPopup = [&] {
        QTimer::singleShot(50, &window, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popups++;
                QTest::keyClick(popup, Qt::Key_Down);
                QTest::keyClick(popup, Qt::Key_Return);
                popup->close();
            }
        });
    };
    answerPopup();
    QTest::mouseClick(b, Qt::LeftButton);
    bool answerDue = false;  // falls due after the answer: a popup would have been answered by then
    QTimer::singleShot(100, &window, [&] { answerDue = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answerDue; }, 10000));
    EXPECT_EQ(popups, 0);
    EXPECT_TRUE(receiver.Take().empty());
    menu->addAction(QStringLiteral("Item"))->setData(32770);
    answerPopup();
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(receiver.Take(), (std::vector<RecordedMessage>{{WM_COMMAND, 32770, 0}}));
}
