// The histogram window: its layout, the toggles, and the document's cache.
#include <QCheckBox>
#include <QDockWidget>
#include <QTest>

#include "app/cmdids.h"
#include "app/histogramwnd.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "controls/iconbutton.h"
#include "ui/messages.h"
#include "apptest.h"

namespace {

const bool kAll[4] = {true, true, true, true};

TEST(HistogramLayout, CurvesOnBothScalesAndTheGrid) {
    LONG red[256] = {}, gray[256] = {};
    red[0] = 100;
    red[255] = 9;
    gray[128] = 100;
    const LONG* counts[4] = {red, nullptr, nullptr, gray};
    const int H = 200;
    // Linear: the largest count reaches T + 40, half of it lies halfway.
    CHistogramWnd::Geometry g = CHistogramWnd::Layout(H, 0, counts, 100, false, kAll);
    ASSERT_EQ(g.curves[0].size(), 256);
    EXPECT_EQ(g.curves[0][0], QPoint(10, 40));
    EXPECT_EQ(g.curves[0][1], QPoint(11, 190));
    EXPECT_EQ(g.curves[0][255], QPoint(265, 176));  // 190 - 9 * 1.5 = 176.5, truncated
    EXPECT_TRUE(g.curves[1].isEmpty());
    EXPECT_EQ(g.curves[3][128], QPoint(138, 40));
    // Logarithmic: log10(v + 1) of log10(101).
    g = CHistogramWnd::Layout(H, 0, counts, 100, true, kAll);
    EXPECT_EQ(g.curves[0][0].y(), 40);
    EXPECT_EQ(g.curves[0][255].y(), static_cast<int>(190 - 1.0 * 150 / std::log10(101.0)));
    EXPECT_EQ(g.curves[0][1].y(), 190);
    // Grid: vertical lines 41..233 step 32, horizontal ones every (H - 40) / 10 from the base.
    EXPECT_EQ(g.gridX, (std::vector<int>{41, 73, 105, 137, 169, 201, 233}));
    ASSERT_EQ(g.gridY.size(), 10u);
    EXPECT_EQ(g.gridY.front(), H - 9);
    EXPECT_EQ(g.gridY[1], H - 9 - 16);
    EXPECT_EQ(g.frame.front(), QPoint(9, 38));
    EXPECT_EQ(g.frame[2], QPoint(266, H - 9));
    // A hidden channel and no counts at all give no curves.
    const bool noRed[4] = {false, true, true, true};
    g = CHistogramWnd::Layout(H, 0, counts, 100, false, noRed);
    EXPECT_TRUE(g.curves[0].isEmpty());
    EXPECT_FALSE(g.curves[3].isEmpty());
    g = CHistogramWnd::Layout(H, 0, counts, 0, false, kAll);
    for (const auto& c : g.curves) EXPECT_TRUE(c.isEmpty());
}

TEST(HistogramLayout, ALowClientAreaEndsItsGrid) {
    const LONG* counts[4] = {};
    for (int H : {0, 10, 40, 41, 45, 49, 50}) {
        const CHistogramWnd::Geometry g = CHistogramWnd::Layout(H, 0, counts, 0, true, kAll);
        if (H <= 40) EXPECT_TRUE(g.gridY.empty()) << H;
        else if (H < 50) EXPECT_EQ(g.gridY, std::vector<int>{H - 9}) << H;
        else EXPECT_EQ(g.gridY.size(), 10u);
    }
}

class HistogramWndTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(StartWithDocument(mf, doc));
        Pump();
    }
    // Pixels of the colour in the rendered window.
    static int Count(const QImage& img, QColor c) {
        int n = 0;
        for (int y = 0; y < img.height(); y++)
            for (int x = 0; x < img.width(); x++) n += img.pixelColor(x, y) == c;
        return n;
    }
    CMainFrame* mf = nullptr;
    CPelidorDoc* doc = nullptr;
};

TEST_F(HistogramWndTest, TogglesAndNoImage) {
    mf->Router()->Execute(ID_VIEW_HISTOGRAM);
    CHistogramWnd* w = mf->Histogram(false);
    ASSERT_TRUE(w);
    EXPECT_EQ(mf->Router()->Query(ID_VIEW_HISTOGRAM).m_nCheck, 1);
    w->resize(276, 200);
    const QColor red(222, 0, 0), green(0, 222, 0);
    // Without an image: grid and frame only.
    QImage img = w->Render();
    EXPECT_EQ(Count(img, red), 0);
    EXPECT_EQ(doc->m_lHistMax, 0);

    doc->SetImage(MakeImage(40, 30));
    img = w->Render();
    EXPECT_GT(doc->m_lHistMax, 0);
    EXPECT_GT(Count(img, red), 0);
    EXPECT_GT(Count(img, green), 0);
    EXPECT_EQ(w->Toggle(CHistogramWnd::Red)->text(), "R");
    EXPECT_EQ(w->Toggle(CHistogramWnd::Gray)->text(), "gray");
    EXPECT_EQ(w->Toggle(CHistogramWnd::Green)->geometry(), QRect(QPoint(60, 8), QPoint(108, 34)));
    QTest::mouseClick(w->Toggle(CHistogramWnd::Red), Qt::LeftButton);
    EXPECT_FALSE(w->IsShown(CHistogramWnd::Red));
    img = w->Render();
    EXPECT_EQ(Count(img, red), 0);
    EXPECT_GT(Count(img, green), 0);
    ASSERT_TRUE(w->LogCheck()->isChecked());
    w->LogCheck()->click();
    EXPECT_FALSE(w->IsLog());

    mf->HistogramPane()->hide();
    EXPECT_EQ(mf->Router()->Query(ID_VIEW_HISTOGRAM).m_nCheck, 0);
}

TEST_F(HistogramWndTest, AnImageChangeRecomputesWhileShownAndClearsOtherwise) {
    doc->SetImage(MakeImage(40, 30));
    // No window yet: the change leaves no cache behind.
    doc->m_lHistMax = 123;
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    EXPECT_EQ(doc->m_lHistMax, 0);

    mf->Router()->Execute(ID_VIEW_HISTOGRAM);
    Pump();
    ASSERT_TRUE(mf->Histogram(false)->isVisible());
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    const LONG large = doc->m_lHistMax;
    EXPECT_GT(large, 0);
    LONG pixels = 0;
    for (LONG c : doc->m_lHistGray) pixels += c;
    EXPECT_EQ(pixels, 40 * 30);

    // Hidden while the image changes: the cache is emptied, not left stale.
    mf->HistogramPane()->hide();
    doc->SetImage(MakeImage(4, 3));
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    EXPECT_EQ(doc->m_lHistMax, 0);
    mf->HistogramPane()->show();
    mf->Histogram(false)->Render();
    EXPECT_GT(doc->m_lHistMax, 0);
    EXPECT_LT(doc->m_lHistMax, large);
    LONG total = 0;
    for (LONG c : doc->m_lHistRed) total += c;
    EXPECT_EQ(total, 12);
}

}  // namespace
