#include <QSignalBlocker>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "controls/numberedit.h"

namespace {

class NumberEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        CNumberEdit::SetBeepHook([this] { ++beeps; });
    }
    void TearDown() override { CNumberEdit::SetBeepHook({}); }
    // Types at the caret, one key at a time, as a user does.
    void Type(const QString& keys) { QTest::keyClicks(&edit, keys); }
    void Clear() {
        edit.selectAll();
        QTest::keyClick(&edit, Qt::Key_Backspace);
    }

    CNumberEdit edit;
    int beeps = 0;
};

}  // namespace

TEST_F(NumberEditTest, OutOfRangeRestoresTheLastValidTextAndBeeps) {
    edit.SetRange(1, 100);
    Type(QStringLiteral("15"));
    EXPECT_EQ(edit.text(), QStringLiteral("15"));
    EXPECT_EQ(edit.GetLastValue(), 15);
    EXPECT_EQ(beeps, 0);
    Type(QStringLiteral("0"));
    EXPECT_EQ(edit.text(), QStringLiteral("15"));
    EXPECT_EQ(edit.cursorPosition(), 2);
    EXPECT_EQ(beeps, 1);
    Type(QStringLiteral("0"));  // "150" again: refused every time
    EXPECT_EQ(edit.text(), QStringLiteral("15"));
    EXPECT_EQ(beeps, 2);
    Clear();
    Type(QStringLiteral("100"));
    EXPECT_EQ(edit.text(), QStringLiteral("100"));
    EXPECT_EQ(edit.GetLastValue(), 100);
}

TEST_F(NumberEditTest, ClearingLeavesItEmptyAndEmptyIsWhatComesBack) {
    edit.SetRange(1, 100);
    EXPECT_EQ(edit.GetLastValue(), 1);
    Type(QStringLiteral("42"));
    Clear();
    EXPECT_EQ(edit.text(), QString());
    EXPECT_EQ(edit.GetLastValue(), -1);
    EXPECT_EQ(beeps, 0);
    Type(QStringLiteral("0"));
    EXPECT_EQ(edit.text(), QString());
    EXPECT_EQ(beeps, 1);
}

TEST_F(NumberEditTest, LeadingZerosAndOtherLeadingCharactersGo) {
    Type(QStringLiteral("000"));
    EXPECT_EQ(edit.text(), QStringLiteral("0"));
    EXPECT_EQ(beeps, 0);
    // "12" with zeros typed in front of it.
    edit.setText(QStringLiteral("12"));
    edit.setCursorPosition(0);
    Type(QStringLiteral("0"));
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    EXPECT_EQ(edit.cursorPosition(), 0);
    Type(QStringLiteral("0x"));
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    // Text that starts with a non-zero digit is left as it is and read up to the first non-digit.
    Clear();
    Type(QStringLiteral("7a"));
    EXPECT_EQ(edit.text(), QStringLiteral("7a"));
    EXPECT_EQ(edit.GetLastValue(), 7);
    EXPECT_EQ(beeps, 0);
}

TEST_F(NumberEditTest, OverLongNumbersAreOutOfRangeInsteadOfWrapping) {
    // 4294967297 wraps to 1 in 32 bits, which would pass a 0..100 range.
    edit.SetRange(0, 100);
    edit.setText(QStringLiteral("429496729"));
    edit.setCursorPosition(9);
    Type(QStringLiteral("7"));
    EXPECT_EQ(edit.text(), QStringLiteral("0"));
    EXPECT_EQ(beeps, 1);
    // At the very top of the int range the limit itself is accepted, one digit more is not.
    edit.SetRange(0, INT_MAX);
    Clear();
    Type(QStringLiteral("2147483647"));
    EXPECT_EQ(edit.GetLastValue(), INT_MAX);
    EXPECT_EQ(beeps, 1);
    Type(QStringLiteral("0"));
    EXPECT_EQ(edit.text(), QStringLiteral("2147483647"));
    EXPECT_EQ(beeps, 2);
}

TEST_F(NumberEditTest, TextSetByItsOwnerIsTheLastValidText) {
    // The page fills its fields with signals blocked; a refusal must still bring back that text.
    const std::tuple<int, int, const char*, const char*> cases[] = {
        {0, 7200, "30", "7201"}, {1, 1000, "5", "1001"}, {1, 60, "8", "61"}};
    for (const auto& [lo, hi, shown, typed] : cases) {
        SCOPED_TRACE(typed);
        edit.SetRange(lo, hi);
        {
            const QSignalBlocker block(&edit);
            edit.setText(QString::fromLatin1(shown));
        }
        edit.selectAll();
        edit.insert(QString::fromLatin1(typed));
        EXPECT_EQ(edit.text(), QString::fromLatin1(shown));
    }
    EXPECT_EQ(beeps, 3);
}
