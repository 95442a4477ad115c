// The exposure-time control driven as a user does: clicks, double-clicks and keys on its
// children, with a parent that records what the control posts to it.
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

#include "controls/exposuretimectrl.h"
#include "controls/shadebutton.h"
#include "controls/flatsliderctrl.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "eventpump.h"
#include "controls/timeedit.h"
#include "controls/timespinctrl.h"

namespace {

class RecordingParent : public QWidget, public CMessageTarget {
public:
    RecordingParent() {
        resize(300, 120);
        RegisterWindow(this);
    }
    ~RecordingParent() override { UnregisterWindow(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TIMECHANGE) {
            EXPECT_EQ(lParam, 0);
            ids.push_back(wParam);
            // What a parent reads when it handles the notification.
            if (ctrl) seen.push_back(ctrl->GetTime());
        }
        return 0;
    }
    CExposureTimeCtrl* ctrl = nullptr;
    std::vector<WPARAM> ids;
    std::vector<DWORD> seen;
};

class ExposureTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ctrl.Create(&parent, RECT{10, 10, 200, 62}, 1021));
        parent.ctrl = &ctrl;
        parent.show();
        Pump();
        Clear();
    }
    // Forgets what was posted so far.
    void Clear() {
        Pump();
        parent.ids.clear();
        parent.seen.clear();
    }
    QString Text() const { return ctrl.TimeEdit()->text(); }
    // A point of the time edit where a click puts the caret at the character position.
    QPoint AtChar(int c) {
        CTimeEdit* e = ctrl.TimeEdit();
        for (int x = 0; x < e->width(); ++x)
            if (e->cursorPositionAt(QPoint(x, e->height() / 2)) == c) return QPoint(x, e->height() / 2);
        ADD_FAILURE() << "no point for character " << c;
        return QPoint();
    }
    void DoubleClickField(int c) {
        QTest::mouseClick(ctrl.TimeEdit(), Qt::LeftButton, {}, AtChar(c));
        QTest::mouseDClick(ctrl.TimeEdit(), Qt::LeftButton, {}, AtChar(c));
        Pump();
    }
    // Replaces the edit mode's text by typing and presses Enter.
    void TypeAndEnter(const QString& keys) {
        ctrl.ValueEdit()->clear();
        QTest::keyClicks(ctrl.ValueEdit(), keys);
        QTest::keyClick(ctrl.ValueEdit(), Qt::Key_Return);
        Pump();
    }

    RecordingParent parent;
    CExposureTimeCtrl ctrl;
};

}  // namespace

TEST_F(ExposureTimeTest, SetTimeShowsTheMaskAndNotifiesAfterEveryWrite) {
    EXPECT_EQ(Text(), QStringLiteral(" 00 : 00 . 001"));
    EXPECT_EQ(Text().size(), 14);
    ASSERT_TRUE(ctrl.SetTime(1500));
    EXPECT_EQ(Text(), QStringLiteral(" 00 : 01 . 500"));
    EXPECT_EQ(ctrl.GetTime(), 1500u);
    EXPECT_EQ(ctrl.TimeEdit()->GetActiveField(), CTimeEdit::kMinutes);
    EXPECT_EQ(ctrl.TimeEdit()->selectionStart(), 1);
    Pump();
    // One notification per field written, each from the control with its id; every one of them
    // already reads the whole new time.
    ASSERT_EQ(parent.ids.size(), 3u);
    for (WPARAM id : parent.ids) EXPECT_EQ(id, 1021u);
    for (DWORD t : parent.seen) EXPECT_EQ(t, 1500u);

    Clear();
    ASSERT_TRUE(ctrl.SetTime(9 * 60000 + 5 * 1000 + 42));
    EXPECT_EQ(Text(), QStringLiteral(" 09 : 05 . 042"));
    ASSERT_TRUE(ctrl.SetTime(12 * 60000 + 7));
    EXPECT_EQ(Text(), QStringLiteral(" 12 : 00 . 007"));
    Pump();
    EXPECT_EQ(parent.ids.size(), 6u);

    // 100 minutes do not fit the mask: nothing changes, nobody is told.
    Clear();
    EXPECT_FALSE(ctrl.SetTime(100 * 60000));
    EXPECT_FALSE(ctrl.TimeEdit()->WriteField(CTimeEdit::kMinutes, 100, true));
    EXPECT_FALSE(ctrl.TimeEdit()->WriteField(CTimeEdit::kMilliseconds, 1000, true));
    Pump();
    EXPECT_TRUE(parent.ids.empty());
    EXPECT_EQ(Text(), QStringLiteral(" 12 : 00 . 007"));
    EXPECT_EQ(ctrl.GetTime(), 12u * 60000 + 7);

    // Seconds beyond the maximum seconds are refused as well.
    ctrl.SetMaxTime(0, 5, 500);
    EXPECT_FALSE(ctrl.SetTime(6000));
    EXPECT_EQ(ctrl.GetTime(), 12u * 60000 + 7);
}

TEST_F(ExposureTimeTest, CreateNeedsAParentAndHappensOnce) {
    CExposureTimeCtrl orphan;
    EXPECT_FALSE(orphan.Create(nullptr, RECT{0, 0, 100, 50}, 7));
    EXPECT_FALSE(orphan.SetBkColor(RGB(1, 2, 3)));
    EXPECT_FALSE(ctrl.Create(&parent, RECT{0, 0, 100, 50}, 8));
    EXPECT_EQ(ctrl.GetDlgCtrlID(), 1021u);
    EXPECT_TRUE(ctrl.SetBkColor(RGB(177, 204, 247)));
    EXPECT_EQ(ctrl.Slider()->Render().pixelColor(1, 1), QColor(177, 204, 247));
    // A maximum given before Create holds once the control exists.
    CExposureTimeCtrl early;
    early.SetMaxTime(0, 5, 500);
    ASSERT_TRUE(early.Create(&parent, RECT{0, 60, 190, 112}, 9));
    EXPECT_FALSE(early.SetTime(6000));
    EXPECT_TRUE(early.SetTime(5000));
}

TEST_F(ExposureTimeTest, ClicksPickTheFieldAndDoubleClicksOpenItsEditMode) {
    ctrl.SetMaxTime(10, 59, 999);
    ctrl.SetTime(4 * 60000 + 3 * 1000 + 250);
    QTest::mouseClick(ctrl.TimeEdit(), Qt::LeftButton, {}, AtChar(7));
    EXPECT_EQ(ctrl.TimeEdit()->GetActiveField(), CTimeEdit::kSeconds);
    EXPECT_EQ(ctrl.TimeEdit()->selectedText(), QStringLiteral("03"));
    QTest::mouseClick(ctrl.TimeEdit(), Qt::LeftButton, {}, AtChar(13));
    EXPECT_EQ(ctrl.TimeEdit()->GetActiveField(), CTimeEdit::kMilliseconds);
    EXPECT_EQ(ctrl.TimeEdit()->selectedText(), QStringLiteral("250"));

    DoubleClickField(2);
    ASSERT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kEditMode);
    EXPECT_EQ(ctrl.TimeEdit()->GetActiveField(), CTimeEdit::kMinutes);
    EXPECT_EQ(ctrl.ValueEdit()->text(), QStringLiteral("4"));
    EXPECT_TRUE(ctrl.ValueEdit()->isVisibleTo(&parent));
    EXPECT_FALSE(ctrl.TimeEdit()->isVisibleTo(&parent));
    EXPECT_TRUE(ctrl.ApplyButton()->isVisibleTo(&parent));
    // Both buttons carry their shaded faces at the 15 x 20 size.
    for (const CShadeButton* b : {ctrl.ApplyButton(), ctrl.CancelButton()}) {
        EXPECT_FALSE(b->GetNormalFace().IsEmpty());
        EXPECT_EQ(b->size(), QSize(15, 20));
    }
    // "N" goes back without a change.
    Clear();
    QTest::mouseClick(ctrl.CancelButton(), Qt::LeftButton);
    Pump();
    EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kDisplayMode);
    EXPECT_EQ(ctrl.GetTime(), 4u * 60000 + 3 * 1000 + 250);
    EXPECT_TRUE(parent.ids.empty());

    // "Y" applies: the field is written, the slider follows, the parent hears of it.
    DoubleClickField(12);
    ASSERT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kEditMode);
    ctrl.ValueEdit()->setText(QStringLiteral("7"));
    QTest::mouseClick(ctrl.ApplyButton(), Qt::LeftButton);
    Pump();
    EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kDisplayMode);
    EXPECT_EQ(Text(), QStringLiteral(" 04 : 03 . 007"));
    ASSERT_EQ(parent.ids.size(), 1u);
    EXPECT_EQ(parent.seen[0], 4u * 60000 + 3 * 1000 + 7);
}

TEST_F(ExposureTimeTest, TypingADigitOpensTheEditModeAndOnlyNumbersPassIt) {
    ctrl.SetActiveField(CTimeEdit::kMilliseconds);
    QTest::keyClicks(ctrl.TimeEdit(), QStringLiteral("ab"));
    QTest::keyClick(ctrl.TimeEdit(), Qt::Key_Backspace);
    QTest::keyClick(ctrl.TimeEdit(), Qt::Key_Delete);
    Pump();
    EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kDisplayMode);
    EXPECT_EQ(Text(), QStringLiteral(" 00 : 00 . 001"));

    QTest::keyClick(ctrl.TimeEdit(), Qt::Key_7);
    Pump();
    ASSERT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kEditMode);
    EXPECT_EQ(ctrl.ValueEdit()->text(), QStringLiteral("7"));
    EXPECT_EQ(ctrl.ValueEdit()->cursorPosition(), 1);
    EXPECT_EQ(Text(), QStringLiteral(" 00 : 00 . 001"));  // never typed into
    // Of the characters only digits, '.' and Backspace reach the value edit; paste is a
    // character too.
    QTest::keyClicks(ctrl.ValueEdit(), QStringLiteral("x5-+ "));
    QTest::keyClick(ctrl.ValueEdit(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(ctrl.ValueEdit()->text(), QStringLiteral("75"));
    QTest::keyClick(ctrl.ValueEdit(), Qt::Key_Backspace);
    EXPECT_EQ(ctrl.ValueEdit()->text(), QStringLiteral("7"));
    QTest::keyClick(ctrl.ValueEdit(), Qt::Key_Return);
    Pump();
    EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kDisplayMode);
    EXPECT_EQ(Text(), QStringLiteral(" 00 : 00 . 007"));
}

TEST_F(ExposureTimeTest, ApplyRefusesValuesPastTheMaximumZeroAndNonNumbers) {
    ctrl.SetMaxTime(0, 5, 500);
    ctrl.SetTime(4900);
    Clear();
    // Seconds: 6 is past the maximum seconds; 5 with 900 ms is past 5.500 s.
    DoubleClickField(7);
    ASSERT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kEditMode);
    for (const QString& typed : {QStringLiteral("6"), QStringLiteral("5"), QStringLiteral("."), QStringLiteral(""),
                                 QStringLiteral("99999999999999999999"), QStringLiteral("4294967301")}) {
        TypeAndEnter(typed);
        EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kEditMode) << typed.toStdString();
        EXPECT_EQ(ctrl.ValueEdit()->text(), typed);
    }
    EXPECT_EQ(ctrl.GetTime(), 4900u);
    EXPECT_TRUE(parent.ids.empty());
    TypeAndEnter(QStringLiteral("0"));
    EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kDisplayMode);
    EXPECT_EQ(Text(), QStringLiteral(" 00 : 00 . 900"));

    // Milliseconds 0 at 00:00 is no time at all; neither is seconds 0 at 00:xx.000.
    DoubleClickField(12);
    TypeAndEnter(QStringLiteral("0"));
    EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kEditMode);
    TypeAndEnter(QStringLiteral("501"));  // within 999, but past the total maximum only with 5 s
    EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kDisplayMode);
    EXPECT_EQ(ctrl.GetTime(), 501u);
    ctrl.SetTime(3000);
    DoubleClickField(7);
    TypeAndEnter(QStringLiteral("0"));
    EXPECT_EQ(ctrl.GetMode(), CExposureTimeCtrl::kEditMode);
    EXPECT_EQ(ctrl.GetTime(), 3000u);
}

TEST_F(ExposureTimeTest, SpinStepsTheActiveFieldWithinItsLimits) {
    ctrl.SetMaxTime(2, 0, 0);
    CTimeSpinCtrl* spin = ctrl.Spin();
    ctrl.SetTime(999);
    ctrl.SetActiveField(CTimeEdit::kMilliseconds);
    EXPECT_FALSE(spin->OnDeltaPos(1));
    EXPECT_EQ(ctrl.GetTime(), 999u);
    // Down to 1 ms but never to 0.
    ctrl.SetTime(2);
    ctrl.SetActiveField(CTimeEdit::kMilliseconds);
    QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(10, 15));
    EXPECT_EQ(ctrl.GetTime(), 1u);
    QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(10, 15));
    EXPECT_EQ(ctrl.GetTime(), 1u);
    QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(10, 4));
    EXPECT_EQ(Text(), QStringLiteral(" 00 : 00 . 002"));
    // A field at 0 does not step down.
    ctrl.SetTime(5000);
    ctrl.SetActiveField(CTimeEdit::kMilliseconds);
    EXPECT_FALSE(spin->OnDeltaPos(-1));
    // Minutes reach the maximum only with nothing beyond it, and nothing steps past it.
    ctrl.SetTime(60000 + 1);
    ctrl.SetActiveField(CTimeEdit::kMinutes);
    EXPECT_FALSE(spin->OnDeltaPos(1));
    ctrl.SetTime(60000);
    ctrl.SetActiveField(CTimeEdit::kMinutes);
    EXPECT_TRUE(spin->OnDeltaPos(1));
    EXPECT_EQ(ctrl.GetTime(), 120000u);
    for (int field : {CTimeEdit::kMinutes, CTimeEdit::kSeconds, CTimeEdit::kMilliseconds}) {
        ctrl.SetActiveField(field);
        EXPECT_FALSE(spin->OnDeltaPos(1)) << field;
    }
    EXPECT_EQ(ctrl.GetTime(), 120000u);
    // The spin's own position wraps over 0..1000 whatever the field does.
    const int before = spin->GetPos();
    spin->OnDeltaPos(1);
    EXPECT_EQ(spin->GetPos(), before == 1000 ? 0 : before + 1);
}

TEST_F(ExposureTimeTest, SliderSegmentsCoverMillisecondsSecondsAndMinutes) {
    ctrl.SetMaxTime(10, 0, 0);
    CFlatSliderCtrl* s = ctrl.Slider();
    const int L = s->Travel();
    ASSERT_EQ(L % 3, 0);
    struct Case {
        int x, m, sec, ms;
    } cases[] = {{0, 0, 0, 1}, {L / 3, 0, 0, 999}, {2 * L / 3, 0, 59, 999}, {L, 9, 59, 0}};
    for (const Case& c : cases) {
        int m = -1, sec = -1, ms = -1;
        s->TimeAtOffset(c.x, &m, &sec, &ms);
        EXPECT_EQ(m, c.m) << c.x;
        EXPECT_EQ(sec, c.sec) << c.x;
        EXPECT_EQ(ms, c.ms) << c.x;
    }
    // Dragging the thumb to the right end writes the time; the parent hears of every field.
    Clear();
    const QPoint grip = s->ThumbRect().center();
    QTest::mousePress(s, Qt::LeftButton, {}, grip);
    QMouseEvent move(QEvent::MouseMove, QPointF(grip + QPoint(L + 20, 0)), s->mapToGlobal(QPointF(grip + QPoint(L + 20, 0))),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(s, &move);
    QTest::mouseRelease(s, Qt::LeftButton, {}, grip + QPoint(L + 20, 0));
    Pump();
    EXPECT_EQ(s->GetPos(), s->GetRangeMax());
    EXPECT_EQ(Text(), QStringLiteral(" 09 : 59 . 000"));
    EXPECT_EQ(parent.ids.size(), 3u);
    EXPECT_EQ(parent.seen.back(), 9u * 60000 + 59000);
    // Home puts it at the left end: 1 ms.
    QTest::keyClick(s, Qt::Key_Home);
    Pump();
    EXPECT_EQ(Text(), QStringLiteral(" 00 : 00 . 001"));
    // The time moves the thumb back into its segment.
    ctrl.SetTime(999);
    Pump();
    EXPECT_EQ(s->GetPos(), 33);
    ctrl.SetTime(59999);
    Pump();
    EXPECT_EQ(s->GetPos(), 66);
}

TEST_F(ExposureTimeTest, SliderStaysWithinTheMaximumWhenTheMinutesAreFew) {
    CFlatSliderCtrl* s = ctrl.Slider();
    const int L = s->Travel();
    struct Max {
        int m, sec, ms;
    } maxima[] = {{1, 0, 0}, {0, 5, 500}, {0, 0, 300}, {1, 30, 0}};
    for (const Max& mx : maxima) {
        ctrl.SetMaxTime(mx.m, mx.sec, mx.ms);
        const long long limit = mx.m * 60000LL + mx.sec * 1000 + mx.ms;
        long long last = -1;
        for (int x = 0; x <= L; ++x) {
            int m = -1, sec = -1, ms = -1;
            s->TimeAtOffset(x, &m, &sec, &ms);
            const long long t = m * 60000LL + sec * 1000 + ms;
            EXPECT_GE(t, 1) << mx.m << ":" << mx.sec << "." << mx.ms << " at " << x;
            EXPECT_LE(t, limit) << mx.m << ":" << mx.sec << "." << mx.ms << " at " << x;
            last = t;
        }
        EXPECT_EQ(last, limit);
        // The thumb at the right end shows the maximum in a whole mask.
        QTest::keyClick(s, Qt::Key_End);
        EXPECT_EQ(Text().size(), 14);
        EXPECT_EQ(ctrl.GetTime(), static_cast<DWORD>(limit));
        ctrl.SetTime(static_cast<DWORD>(limit));
        EXPECT_GE(s->GetPos(), s->GetRangeMin());
        EXPECT_LE(s->GetPos(), s->GetRangeMax());
    }
}

namespace {

// Stands in for the control: records what its time edit and slider post to it.
class EditOwner : public QWidget, public CMessageTarget {
public:
    EditOwner() {
        RegisterWindow(this);
        slider.SetTimeEdit(&edit);
        slider.setGeometry(0, 30, 120, 20);
    }
    ~EditOwner() override { UnregisterWindow(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        messages.push_back({message, wParam});
        return 0;
    }
    CTimeEdit edit{this};
    CFlatSliderCtrl slider{this};
    std::vector<std::pair<UINT, WPARAM>> messages;
};

}  // namespace

TEST(TimeEdit, WritesTellTheControlAndOnlyTypingSpinAndSetTimeMoveTheSlider) {
    EditOwner owner;
    using M = std::pair<UINT, WPARAM>;
    ASSERT_TRUE(owner.edit.WriteField(CTimeEdit::kSeconds, 7, true));
    ASSERT_TRUE(owner.edit.WriteField(CTimeEdit::kMilliseconds, 45, false));
    PumpPrivateMessages();
    EXPECT_EQ(owner.messages, (std::vector<M>{{WM_TIMECHANGE, 0}, {WM_TIMEEDIT_SYNCSLIDER, 0}, {WM_TIMECHANGE, 0}}));
    EXPECT_EQ(owner.edit.text(), QStringLiteral(" 00 : 07 . 045"));

    // The slider's writes do not ask for the slider to follow; a key adds one notification.
    owner.messages.clear();
    QTest::keyClick(&owner.slider, Qt::Key_End);
    PumpPrivateMessages();
    EXPECT_EQ(owner.messages, (std::vector<M>(4, M{WM_TIMECHANGE, 0})));
    EXPECT_EQ(owner.edit.text(), QStringLiteral(" 09 : 59 . 000"));

    // A digit asks for the edit mode and leaves the active field.
    owner.messages.clear();
    owner.edit.SetActiveField(CTimeEdit::kSeconds);
    QTest::keyClick(&owner.edit, Qt::Key_3);
    PumpPrivateMessages();
    EXPECT_EQ(owner.messages, (std::vector<M>{{WM_TIMEEDIT_DIGIT, '3'}}));
    EXPECT_EQ(owner.edit.GetActiveField(), CTimeEdit::kSeconds);
}
