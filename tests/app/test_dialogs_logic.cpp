// The field logic of the geometry dialogs and the edit exchange, without a running program.
#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/dialogs/dataexchange.h"
#include "app/dialogs/resamplelogic.h"
#include "app/dialogs/rotatelogic.h"
#include "app/dialogs/skewlogic.h"
#include "apptest.h"

TEST(RotateLogic, ClampRewritesOnlyWhenClamped) {
    bool changed = true;
    EXPECT_FLOAT_EQ(CRotateLogic::ClampAngle(u"33.5", &changed), 33.5f);
    EXPECT_FALSE(changed);
    EXPECT_FLOAT_EQ(CRotateLogic::ClampAngle(u"400", &changed), 360.0f);
    EXPECT_TRUE(changed);
    EXPECT_FLOAT_EQ(CRotateLogic::ClampAngle(u"-5", &changed), 0.0f);
    EXPECT_TRUE(changed);
    EXPECT_FLOAT_EQ(CRotateLogic::ClampAngle(u"abc", &changed), 0.0f);
    EXPECT_TRUE(changed);
    EXPECT_FLOAT_EQ(CRotateLogic::ClampAngle(u"0", &changed), 0.0f);
    EXPECT_FALSE(changed);
}

TEST(RotateLogic, QuarterTurnsWrap) {
    int pos = 0;
    for (int i = 0; i < 4; i++) pos = CRotateLogic::QuarterRight(pos);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(CRotateLogic::QuarterLeft(0), 270);
    EXPECT_EQ(CRotateLogic::QuarterLeft(360), 270);
    EXPECT_EQ(CRotateLogic::QuarterRight(300), 30);
}

TEST(RotateLogic, ThumbnailNeverEmptyAndIndexMapsRefuseUnknown) {
    int w = 0, h = 0;
    CRotateLogic::ThumbnailSize(1000, 3, 200, &w, &h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 1);  // trunc(0.6) would be an empty image
    CRotateLogic::ThumbnailSize(150, 80, 200, &w, &h);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 80);
    EXPECT_EQ(CRotateLogic::InterpolationMethod(2), 4);
    EXPECT_EQ(CRotateLogic::InterpolationMethod(7), -1);
    EXPECT_EQ(CRotateLogic::OverflowMethod(6), 3);
    EXPECT_EQ(CRotateLogic::OverflowMethod(-1), -1);
    EXPECT_EQ(CRotateLogic::ResampleInterpolation(5), 3);
    EXPECT_EQ(CRotateLogic::ResampleInterpolation(8), -1);
}

TEST(ResampleLogic, TypedWidthKeepsItsValue) {
    CResampleLogic l(300, 200);  // ratio 1.5
    EXPECT_EQ(l.height, 66);
    EXPECT_TRUE(l.WidthTyped("100"));
    EXPECT_EQ(l.width, 100);  // not rewritten from the derived height (would give 99)
    EXPECT_EQ(l.height, 66);
    EXPECT_FALSE(l.factorMode);
    EXPECT_TRUE(l.HeightTyped("10"));
    EXPECT_EQ(l.width, 15);
    EXPECT_FALSE(l.WidthTyped(""));  // skipped while typing
    EXPECT_EQ(l.height, 10);
}

TEST(ResampleLogic, FactorStillBeingTypedChangesNothing) {
    CResampleLogic l(101, 51);
    EXPECT_FALSE(l.FactorTyped("1."));
    EXPECT_FALSE(l.FactorTyped("1.50"));
    EXPECT_EQ(l.width, 100);
    EXPECT_TRUE(l.FactorTyped("0.5"));
    EXPECT_EQ(l.width, 50);
    EXPECT_EQ(l.height, 25);
    CResampleLogic thin(1000, 3);
    EXPECT_TRUE(thin.FactorTyped("0.1"));
    EXPECT_EQ(thin.height, 1);
}

TEST(SkewLogic, SlopesAndAnglesKeepSmallSkews) {
    CSkewLogic s;
    s.imageWidth = 100;
    s.imageHeight = 50;
    s.Update();
    EXPECT_DOUBLE_EQ(s.slopeX, 0.055);
    EXPECT_DOUBLE_EQ(s.slopeY, -0.1);
    EXPECT_NEAR(s.angleY, -5.7106, 1e-3);
    s.imageWidth = 6000;
    s.skewX = 3;
    s.Update();
    EXPECT_GT(s.slopeX, 0.0);  // ×1000 truncation would make it 0
}

TEST(DataExchange, OneMessageAndValueStoredBeforeRangeCheck) {
    FakePrompts prompts;
    CPromptService* old = CPromptService::Replace(&prompts);
    QWidget dlg;
    QLineEdit a(&dlg), b(&dlg);
    a.setText("500");
    b.setText("x");
    CDataExchange dx(&dlg);
    int32_t va = 0;
    float vb = 1;
    EXPECT_FALSE(dx.Int(&a, va, 0, 360));
    EXPECT_EQ(va, 500);
    EXPECT_FALSE(dx.Float(&b, vb, 0, 1));
    EXPECT_EQ(prompts.messages, QStringList{CDataExchange::IntegerRangeMessage(0, 360)});
    CDataExchange dx2(&dlg);
    uint32_t u = 0;
    a.setText("-1");
    EXPECT_FALSE(dx2.UInt(&a, u, 0, 10));
    EXPECT_EQ(prompts.messages.last(), CDataExchange::IntegerMessage());
    CDataExchange dx3(&dlg);
    b.setText("2.5");
    EXPECT_TRUE(dx3.Float(&b, vb, 0, 10));
    EXPECT_FLOAT_EQ(vb, 2.5f);
    CPromptService::Replace(old);
}
