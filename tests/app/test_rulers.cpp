// Rulers of the child frame.
#include <QFontMetrics>
#include <QMdiSubWindow>

#include "app/childframe.h"
#include "ui/messages.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "apptest.h"

TEST(Rulers, TicksAndLabelsFollowZoomAndScroll) {
    QWidget parent;
    CRulerBar h(true, &parent);
    h.resize(800, 22);
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

TEST(Rulers, LabelsNeverOverlapAndAtLeastTwoShowAtEveryZoom) {
    QWidget parent;
    for (bool horizontal : {true, false}) {
        CRulerBar r(horizontal, &parent);
        r.resize(horizontal ? QSize(900, 22) : QSize(22, 700));
        const int visible = horizontal ? 900 : 700;
        QFont f = r.font();
        f.setPixelSize(10);
        const QFontMetrics fm(f);
        for (float zoom : {0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 4.0f, 8.0f, 16.0f}) {
            SCOPED_TRACE(zoom);
            // A 4000 x 3000 image at this zoom, scrolled to its start.
            const QRect image(0, 0, static_cast<int>(4000 * zoom), static_cast<int>(3000 * zoom));
            r.Update(0, QPoint(), QPoint(), image, zoom);
            const QList<int> at = r.TickPositions(r.LabelStep());
            const QList<int> values = r.LabelValues();
            ASSERT_GE(values.size(), 2);
            EXPECT_EQ(values[1] - values[0], r.LabelStep());
            int shown = 0;
            for (int i = 0; i + 1 < at.size() && i + 1 < values.size(); i++) {
                EXPECT_LT(at[i] + fm.horizontalAdvance(QString::number(values[i])), at[i + 1]) << "labels overlap";
                if (at[i] < visible) shown++;
            }
            EXPECT_GE(shown, 2);
            // Short ticks divide the label step and never crowd closer than 3 pixels.
            if (r.MinorStep()) {
                EXPECT_EQ(r.LabelStep() % r.MinorStep(), 0);
                EXPECT_GE(r.MinorStep() * zoom, 3.0f);
            }
        }
    }
    // Where labels every 100 pixels fit, they stay every 100 pixels with short ticks every 5.
    CRulerBar h(true, &parent);
    h.resize(900, 22);
    h.Update(0, QPoint(), QPoint(), QRect(0, 0, 640, 480), 1.0f);
    EXPECT_EQ(h.LabelStep(), 100);
    EXPECT_EQ(h.MinorStep(), 5);
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
