#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "controls/gradientprogressctrl.h"
#include "controls/progresspainter.h"
#include "controls/syscolors.h"

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);

// Paints the painter over a w x h image that starts out in `under`.
QImage Paint(CProgressPainter& p, int w, int h, QColor under = Qt::white) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(under);
    QPainter q(&img);
    p.Draw(&q, QRect(0, 0, w, h));
    return img;
}

COLORREF At(const QImage& img, int x, int y) { return CSysColors::FromQColor(QColor(img.pixel(x, y))); }

// The runs must tile [from, to) without gaps or overlaps.
void ExpectContiguous(const std::vector<GradientFill>& fills, int from, int to) {
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills.front().from, from);
    EXPECT_EQ(fills.back().to, to);
    for (size_t i = 1; i < fills.size(); ++i) EXPECT_EQ(fills[i].from, fills[i - 1].to) << "run " << i;
}

}  // namespace

TEST(ProgressPainterSteps, BlackToWhiteOverThreeHundredPixelsTakes255NarrowSteps) {
    CProgressPainter p;
    p.SetColors({kBlack, kWhite});
    const auto fills = p.Gradient(300, 0, 300, 0);
    ASSERT_EQ(fills.size(), 255u);
    ExpectContiguous(fills, 0, 300);
    for (size_t u = 0; u < fills.size(); ++u) {
        const int width = fills[u].to - fills[u].from;
        EXPECT_TRUE(width == 1 || width == 2) << u;
        EXPECT_EQ(fills[u].color, RGB(u, u, u));
    }
}

TEST(ProgressPainterSteps, StepCountIsCappedByLengthAndLimit) {
    CProgressPainter p;
    p.SetColors({kBlack, kWhite});
    // Fewer pixels than colour differences: one step per pixel.
    auto fills = p.Gradient(10, 0, 10, 0);
    ASSERT_EQ(fills.size(), 10u);
    EXPECT_EQ(fills[9].color, RGB(229, 229, 229));  // 9 * 255 / 10
    // A step limit of 4: four runs of 25 pixels, colours in quarters.
    fills = p.Gradient(100, 0, 100, 0, 4);
    ASSERT_EQ(fills.size(), 4u);
    EXPECT_EQ(fills[1], (GradientFill{25, 50, RGB(63, 63, 63)}));
    // Equal colours still give one run.
    p.SetColors({RGB(9, 9, 9), RGB(9, 9, 9)});
    fills = p.Gradient(50, 0, 50, 0);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0], (GradientFill{0, 50, RGB(9, 9, 9)}));
}

TEST(ProgressPainterSteps, DescendingChannelsTruncateTowardsTheStart) {
    CProgressPainter p;
    p.SetColors({RGB(10, 0, 0), RGB(0, 3, 0)});
    const auto fills = p.Gradient(10, 0, 10, 0);
    ASSERT_EQ(fills.size(), 10u);  // m = 10, the red difference
    EXPECT_EQ(fills[3].color, RGB(7, 0, 0));  // 10 + 3 * -10 / 10, green 3 * 3 / 10 = 0
    EXPECT_EQ(fills[9].color, RGB(1, 2, 0));
}

TEST(ProgressPainterSteps, ThreeStopsSplitAtTruncatedShares) {
    CProgressPainter p;
    p.SetColors({kBlack, RGB(100, 100, 100), kBlack});
    const auto fills = p.Gradient(101, 0, 101, 0);
    ExpectContiguous(fills, 0, 101);
    // The first segment ends at trunc(50 * 101 / 100) = 50 and has 50 one-pixel steps.
    EXPECT_EQ(fills[49], (GradientFill{49, 50, RGB(98, 98, 98)}));
    EXPECT_EQ(fills[50].from, 50);
    EXPECT_EQ(fills[50].color, RGB(100, 100, 100));
}

TEST(ProgressPainterSteps, OffsetRotatesThenClips) {
    CProgressPainter p;
    p.SetColors({kBlack, RGB(9, 9, 9)});
    const auto rotated = p.Gradient(10, 0, 10, 3);
    ExpectContiguous(rotated, 0, 10);
    EXPECT_EQ(rotated[0], (GradientFill{0, 1, RGB(7, 7, 7)}));
    EXPECT_EQ(rotated[2], (GradientFill{3, 4, kBlack}));  // the start moved to pixel 3
    // A negative offset wraps the other way; clipping keeps [start, end) only.
    const auto clipped = p.Gradient(10, 4, 6, -13);
    ASSERT_EQ(clipped.size(), 2u);
    EXPECT_EQ(clipped[0], (GradientFill{4, 5, RGB(7, 7, 7)}));
    EXPECT_EQ(clipped[1], (GradientFill{5, 6, RGB(8, 8, 8)}));
}

TEST(ProgressPainterBlock, BlockEndsAtThePositionAndTurnsRoundPastTheEnd) {
    CProgressPainter p;
    p.ModifyStyle(~0u, PBS_BLOCK);
    p.SetRange(0, 1000);
    p.SetBlockLength(100);
    p.SetPos(300);
    EXPECT_EQ(p.GetBlockTail(), 200);
    EXPECT_EQ(p.GetPos(), 300);
    EXPECT_FALSE(p.GetStyle() & PBS_REVERSE);
    // Up to upper + block length no turn; past it the direction toggles and it starts again.
    p.SetPos(1100);
    EXPECT_EQ(p.GetPos(), 1000);
    EXPECT_EQ(p.GetBlockTail(), 1000);
    EXPECT_FALSE(p.GetStyle() & PBS_REVERSE);
    p.SetPos(1150);
    EXPECT_TRUE(p.GetStyle() & PBS_REVERSE);
    EXPECT_EQ(p.GetPos(), 50);
    EXPECT_EQ(p.GetBlockTail(), 0);
    p.SetPos(1150);
    EXPECT_FALSE(p.GetStyle() & PBS_REVERSE);  // and back again
}

TEST(ProgressPainterBlock, SteppingRunsOutTheBlockBeforeTurning) {
    CProgressPainter p;
    p.ModifyStyle(~0u, PBS_BLOCK);
    p.SetBlockLength(40);
    p.SetStep(30);
    std::vector<int> positions, tails;
    std::vector<bool> reversed;
    for (int i = 0; i < 6; ++i) {
        p.StepIt();
        positions.push_back(p.GetPos());
        tails.push_back(p.GetBlockTail());
        reversed.push_back(p.GetStyle() & PBS_REVERSE);
    }
    EXPECT_EQ(positions, (std::vector<int>{30, 60, 90, 100, 10, 40}));
    EXPECT_EQ(tails, (std::vector<int>{0, 20, 50, 80, 0, 0}));
    EXPECT_EQ(reversed, (std::vector<bool>{false, false, false, false, true, true}));
    // A negative step moves the block forward just the same.
    p.OffsetPos(-30);
    EXPECT_EQ(p.GetPos(), 70);
}

TEST(ProgressPainterBlock, ReversedBlockIsDrawnFromTheOtherEnd) {
    CProgressPainter p;
    p.SetColors({RGB(200, 0, 0)});
    p.SetBkColor(kWhite);
    p.ModifyStyle(~0u, PBS_BLOCK | PBS_REVERSE);
    p.SetBlockLength(20);
    p.SetPos(50);  // block 30..50
    const QImage img = Paint(p, 100, 4);
    EXPECT_EQ(At(img, 49, 1), kWhite);
    EXPECT_EQ(At(img, 50, 1), RGB(200, 0, 0));
    EXPECT_EQ(At(img, 69, 1), RGB(200, 0, 0));
    EXPECT_EQ(At(img, 70, 1), kWhite);
}

TEST(ProgressPainterText, ModesAndFormats) {
    CProgressPainter p;
    p.ModifyStyle(~0u, 0);
    p.SetRange(0, 1000);
    p.SetPos(339);
    EXPECT_EQ(p.GetText(), QString());  // no text mode

    p.SetTextFormat(QStringLiteral("Complete: %d%%"), PBS_TEXT_PERCENT);
    EXPECT_EQ(p.GetText(), QStringLiteral("Complete: 33%"));
    p.SetTextFormat(QStringLiteral("at %d"), PBS_TEXT_POSITION);
    EXPECT_EQ(p.GetText(), QStringLiteral("at 339"));
    p.SetTextFormat(QStringLiteral("only %d"), PBS_TEXT_ONLY);
    EXPECT_EQ(p.GetText(), QStringLiteral("only 0"));

    // Without a text or a mode the text bits are cleared.
    p.SetTextFormat(QString(), PBS_TEXT_PERCENT);
    EXPECT_EQ(p.GetStyle() & PBS_TEXT_MASK, 0u);
    EXPECT_EQ(p.GetText(), QString());
    p.SetTextFormat(QStringLiteral("x"), 0);
    EXPECT_EQ(p.GetStyle() & PBS_TEXT_MASK, 0u);

    // Text bits set directly with no format fall back to a number.
    p.SetTextFormat(QString(), 0);
    p.ModifyStyle(0, PBS_TEXT_PERCENT);
    EXPECT_EQ(p.GetText(), QStringLiteral("33%"));
    p.ModifyStyle(PBS_TEXT_MASK, PBS_TEXT_POSITION);
    EXPECT_EQ(p.GetText(), QStringLiteral("339"));
    p.ModifyStyle(PBS_TEXT_MASK, PBS_TEXT_ONLY);
    EXPECT_EQ(p.GetText(), QString());
}

TEST(ProgressPainterText, FreeTextIsNeverUsedAsAFormat) {
    EXPECT_EQ(CProgressPainter::FormatText(QStringLiteral("%s %n %x %5d 100%"), 7), QStringLiteral("%s %n %x %5d 100%"));
    EXPECT_EQ(CProgressPainter::FormatText(QStringLiteral("%d of %d%%%"), 4), QStringLiteral("4 of 4%%"));
    EXPECT_EQ(CProgressPainter::FormatText(QStringLiteral("Wait a moment!"), 50), QStringLiteral("Wait a moment!"));
}

TEST(ProgressPainterRange, EmptyRangeNeitherDividesNorFills) {
    CProgressPainter p;
    p.SetColors({RGB(200, 0, 0)});
    p.SetBkColor(kWhite);
    p.SetTextFormat(QStringLiteral("%d%%"), PBS_TEXT_PERCENT);
    p.SetRange(7, 7);
    p.SetPos(9);
    EXPECT_EQ(p.GetPos(), 7);
    EXPECT_EQ(p.GetText(), QStringLiteral("0%"));
    p.SetTextFormat(QString(), 0);
    const QImage img = Paint(p, 50, 5);
    EXPECT_EQ(At(img, 0, 2), kWhite);
    EXPECT_EQ(At(img, 49, 2), kWhite);
    // Block mode over an empty range as well.
    p.ModifyStyle(0, PBS_BLOCK);
    p.StepIt();
    EXPECT_EQ(At(Paint(p, 50, 5), 0, 2), kWhite);
}

TEST(ProgressPainterPixels, HalfFilledSolidBar) {
    CProgressPainter p;
    p.ModifyStyle(~0u, 0);
    p.SetColors({RGB(0, 0, 200)});
    p.SetBkColor(RGB(1, 2, 3));
    p.SetPos(50);
    const QImage img = Paint(p, 200, 10);
    for (int x = 0; x < 200; ++x) {
        EXPECT_EQ(At(img, x, 5), x < 100 ? RGB(0, 0, 200) : RGB(1, 2, 3)) << x;
    }
}

TEST(ProgressPainterPixels, GradientRevealedOrOverTheFilledPart) {
    CProgressPainter p;
    p.ModifyStyle(~0u, 0);
    p.SetColors({kBlack, kWhite});
    p.SetBkColor(RGB(255, 0, 0));
    p.SetPos(50);
    // Over the whole bar: the filled half shows the dark half of the gradient.
    QImage img = Paint(p, 256, 2);
    EXPECT_EQ(At(img, 0, 0), kBlack);
    EXPECT_EQ(At(img, 127, 0), RGB(127, 127, 127));
    EXPECT_EQ(At(img, 128, 0), RGB(255, 0, 0));
    // Over the filled part only: the whole gradient is squeezed into it.
    p.ModifyStyle(0, PBS_GRADIENT_FILLED);
    img = Paint(p, 256, 2);
    EXPECT_EQ(At(img, 0, 0), kBlack);
    EXPECT_EQ(At(img, 127, 0), RGB(253, 253, 253));
}

TEST(ProgressPainterPixels, VerticalBarMarginsAndNoBackground) {
    CProgressPainter p;
    p.ModifyStyle(~0u, PBS_VERTICAL);
    p.SetColors({RGB(0, 200, 0)});
    p.SetBkColor(CLR_NONE);
    p.SetMargins(2, 10, 2, 10);
    p.SetPos(25);
    // 80 pixels of bar between the margins, filled from the top: 20 of them.
    const QImage img = Paint(p, 8, 100, QColor(9, 9, 9));
    EXPECT_EQ(At(img, 4, 9), RGB(9, 9, 9));  // margin, untouched underneath
    EXPECT_EQ(At(img, 4, 10), RGB(0, 200, 0));
    EXPECT_EQ(At(img, 4, 29), RGB(0, 200, 0));
    EXPECT_EQ(At(img, 4, 30), RGB(9, 9, 9));
    EXPECT_EQ(At(img, 1, 15), RGB(9, 9, 9));
    // Reversed vertical fills from the bottom.
    p.ModifyStyle(0, PBS_REVERSE);
    const QImage up = Paint(p, 8, 100, QColor(9, 9, 9));
    EXPECT_EQ(At(up, 4, 89), RGB(0, 200, 0));
    EXPECT_EQ(At(up, 4, 70), RGB(0, 200, 0));
    EXPECT_EQ(At(up, 4, 69), RGB(9, 9, 9));
}

TEST(ProgressPainterPixels, TextIsDrawnInBothColours) {
    CProgressPainter p;
    p.ModifyStyle(~0u, 0);
    p.SetColors({kBlack});
    p.SetBkColor(kWhite);
    p.SetTextColors(kWhite, kBlack);
    p.SetTextFormat(QStringLiteral("MMMMMMMM"), PBS_TEXT_ONLY);
    p.SetPos(50);
    const QImage img = Paint(p, 200, 30);
    // Text over the black half is white and over the white half black: both halves carry
    // pixels of the other colour.
    int whiteOnLeft = 0, darkOnRight = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 100; ++x) whiteOnLeft += qGray(img.pixel(x, y)) > 128;
        for (int x = 100; x < 200; ++x) darkOnRight += qGray(img.pixel(x, y)) < 128;
    }
    if (whiteOnLeft == 0 && darkOnRight == 0) GTEST_SKIP() << "no font renders text on this platform";
    EXPECT_GT(whiteOnLeft, 0);
    EXPECT_GT(darkOnRight, 0);
}

TEST(GradientProgressCtrl, WindowTextAndTimers) {
    CGradientProgressCtrl c;
    c.ModifyStyle(0, PBS_TEXT_POSITION);
    c.SetWindowText(QStringLiteral("pos %d"));
    c.SetPos(42);
    char buf[5];
    EXPECT_EQ(c.GetWindowTextLength(), 6);
    EXPECT_EQ(c.GetWindowText(buf, 5), 5);
    EXPECT_STREQ(buf, "pos ");
    // Timer 11 steps, 12 moves the gradient modulo the range, others are not ours.
    c.SetAnimationStep(70);
    EXPECT_TRUE(c.OnTimer(11));
    EXPECT_EQ(c.GetPos(), 52);
    EXPECT_TRUE(c.OnTimer(12));
    EXPECT_TRUE(c.OnTimer(12));
    EXPECT_EQ(c.Painter().GetGradientOffset(), 40);
    EXPECT_FALSE(c.OnTimer(13));
    c.SetRange32(3, 3);
    EXPECT_TRUE(c.OnTimer(12));  // an empty range leaves the offset alone
    EXPECT_EQ(c.Painter().GetGradientOffset(), 40);
    // The tooltip follows the position.
    c.SetRange32(0, 200);
    c.SetTooltipFormat(QStringLiteral("%d%% done"), PBS_TEXT_PERCENT);
    c.SetPos(50);
    EXPECT_EQ(c.toolTip(), QStringLiteral("25% done"));
    c.SetTooltipFormat(QString(), PBS_TEXT_PERCENT);
    EXPECT_TRUE(c.toolTip().isEmpty());
}
