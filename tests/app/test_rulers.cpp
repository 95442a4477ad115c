// Rulers of the child frame.
#include <QMdiSubWindow>

#include "app/childframe.h"
#include "controls/messages.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "apptest.h"

TEST(Rulers, TicksAndLabelsFollowZoomAndScroll) {
    QWidget parent;
    CRulerBar h(true, &parent);
    h.Update(0, QPoint(0, 0), QPoint(), QRect(0, 0, 400, 100), 2.0f);
    QList<int> minor = h.TickPositions(5);
    ASSERT_GE(minor.size(), 3);
    EXPECT_EQ(minor[1] - minor[0], 10);
    QList<int> labels = h.LabelValues();
    EXPECT_EQ(labels.mid(0, 3), (QList<int>{0, 100, 200}));
    EXPECT_EQ(h.TickPositions(100)[1] - h.TickPositions(100)[0], 200);
    // Scrolled by 50: the ticks move left by 50.
    h.Update(2, QPoint(50, 0), QPoint(), QRect(0, 0, 400, 100), 2.0f);
    EXPECT_EQ(h.TickPositions(5)[0], minor[0] - 50);
    // A mouse move only moves the mark.
    h.Update(3, QPoint(50, 0), QPoint(33, 7), QRect(0, 0, 400, 100), 2.0f);
    EXPECT_EQ(h.Mark(), 34);
    EXPECT_EQ(h.TickPositions(5)[0], minor[0] - 50);
}

TEST_F(AppTest, RulersStayHiddenOnTheStartPageAndShowWithAnImage) {
    ASSERT_TRUE(Start({SaveBmp("r.bmp", 50, 40)}));
    auto docs = app->DocTemplate()->Documents();
    auto* startFrame = dynamic_cast<CChildFrame*>(app->DocTemplate()->FrameOf(docs[0]));
    auto* imageFrame = dynamic_cast<CChildFrame*>(app->DocTemplate()->FrameOf(docs[1]));
    ASSERT_NE(startFrame, nullptr);
    ASSERT_NE(imageFrame, nullptr);
    EXPECT_TRUE(startFrame->HorzRuler()->isHidden());
    EXPECT_FALSE(imageFrame->HorzRuler()->isHidden());
    EXPECT_FALSE(imageFrame->VertRuler()->isHidden());
}
