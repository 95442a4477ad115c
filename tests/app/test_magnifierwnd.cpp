// The magnifier: caption and factor, what it captures and shows, and its capture rate.
#include <QPainter>
#include <QTest>
#include <QWindowStateChangeEvent>

#include "app/cmdids.h"
#include "app/magnifierwnd.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "ui/messages.h"
#include "apptest.h"

namespace {

// A source whose pixel (x, y) is (x, y, 77).
class Pattern : public QWidget {
public:
    Pattern() : m_image(300, 200, QImage::Format_RGB32) {
        resize(300, 200);
        for (int y = 0; y < height(); y++)
            for (int x = 0; x < width(); x++) m_image.setPixelColor(x, y, QColor(x & 255, y & 255, 77));
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(0, 0, m_image);
    }
    QImage m_image;
};

TEST(Magnifier, CaptionAndFactorLimits) {
    CMagnifierWnd w;
    EXPECT_EQ(w.windowTitle(), "Magnifier-400%");
    const QSize size = w.size();
    for (int i = 0; i < 5; i++) EXPECT_TRUE(w.OnSysCommand(CMagnifierWnd::SC_MAXIMIZE));
    EXPECT_EQ(w.windowTitle(), "Magnifier-800%");
    for (int i = 0; i < 7; i++) w.OnSysCommand(CMagnifierWnd::SC_MINIMIZE);
    EXPECT_EQ(w.Factor(), 2);
    EXPECT_EQ(w.windowTitle(), "Magnifier-200%");
    EXPECT_FALSE(w.OnSysCommand(0xF060));  // close goes on as usual
    // The window manager's maximise steps the factor and is undone.
    w.show();
    w.setWindowState(Qt::WindowMaximized);
    PumpUntil([&] { return w.Factor() == 3 && !(w.windowState() & Qt::WindowMaximized); });
    // A late echo of the platform would step the factor again.
    Pump(2 * CMagnifierWnd::kCaptureInterval);
    EXPECT_EQ(w.Factor(), 3);
    EXPECT_FALSE(w.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(w.size(), size);
    // Requests in quick succession each count once; the platform's echo of each counts not at all.
    w.setWindowState(Qt::WindowMaximized);
    Pump();
    w.setWindowState(Qt::WindowMaximized);
    w.setWindowState(Qt::WindowMaximized);
    Pump();
    w.setWindowState(Qt::WindowMinimized);
    PumpUntil([&] { return w.Factor() == 5 && !(w.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)); });
    Pump(2 * CMagnifierWnd::kCaptureInterval);
    EXPECT_EQ(w.Factor(), 5);
    EXPECT_EQ(w.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized), Qt::WindowNoState);
}

TEST(Magnifier, SourceAndMarkPixels) {
    Pattern src;
    CMagnifierWnd w;
    w.SetSourceWidget([&] { return static_cast<QWidget*>(&src); });
    w.SetPosition(QPoint(100, 80));
    const int w2 = CMagnifierWnd::kClientWidth / 8, h2 = CMagnifierWnd::kClientHeight / 8;
    EXPECT_EQ(w.SourceRect(), QRect(QPoint(100 - w2, 80 - h2), QPoint(100 + w2 - 1, 80 + h2 - 1)));
    EXPECT_EQ(w.Picture().pixelColor(0, 0), QColor(100 - w2, 80 - h2, 77));
    const QImage shown = w.Render();
    // Factor 4: each source pixel covers 4 x 4, without smoothing.
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(100 - w2, 80 - h2, 77));
    EXPECT_EQ(shown.pixelColor(3, 3), QColor(100 - w2, 80 - h2, 77));
    EXPECT_EQ(shown.pixelColor(4, 0), QColor(101 - w2, 80 - h2, 77));
    EXPECT_EQ(shown.pixelColor(41, 9), QColor(100 - w2 + 10, 80 - h2 + 2, 77));
    const QRect mark = w.CentreMark();
    EXPECT_EQ(mark.size(), QSize(4, 4));
    EXPECT_EQ(shown.pixelColor(mark.topLeft()), QColor(255, 0, 0));
    EXPECT_EQ(shown.pixelColor(mark.bottomRight()), QColor(255, 0, 0));
    EXPECT_NE(shown.pixelColor(mark.bottomRight() + QPoint(1, 1)), QColor(255, 0, 0));

    // Near the corner what lies outside the view stays black.
    ASSERT_TRUE(PumpUntil([&] { return w.IsReady(); }));
    w.SetPosition(QPoint(0, 0));
    EXPECT_EQ(w.Picture().pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_EQ(w.Picture().pixelColor(w2, h2), QColor(0, 0, 77));
}

TEST(Magnifier, OneCapturePerInterval) {
    Pattern src;
    CMagnifierWnd w;
    w.SetSourceWidget([&] { return static_cast<QWidget*>(&src); });
    // The first move captures at once; the moves until the interval's timer has run capture
    // nothing more, the first move after it captures once again.
    int expected = 0;
    for (int interval = 0; interval < 3; ++interval) {
        for (int x = 0; x < 20; ++x) w.SetPosition(QPoint(50 + x, 60 + interval));
        ++expected;
        EXPECT_EQ(w.Captures(), expected) << "interval " << interval;
        EXPECT_FALSE(w.IsReady());
        ASSERT_TRUE(PumpUntil([&] { return w.IsReady(); })) << "interval " << interval;
        EXPECT_EQ(w.Captures(), expected) << "the timer captures nothing itself";
    }
    EXPECT_EQ(w.Captures(), 3);
}

class MagnifierAppTest : public AppTest {};

TEST_F(MagnifierAppTest, TheCommandMakesOneWindowAndTheViewFeedsIt) {
    ASSERT_TRUE(Start());
    CMainFrame* mf = app->MainFrame();
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    doc->SetImage(MakeImage(100, 80));
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    Pump();
    EXPECT_TRUE(mf->Router()->Query(ID_VIEW_MAGNIFIER).m_bEnabled);
    mf->Router()->Execute(ID_VIEW_MAGNIFIER);
    CMagnifierWnd* m = mf->Magnifier(false);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->isVisible());
    mf->Router()->Execute(ID_VIEW_MAGNIFIER);
    EXPECT_EQ(mf->Magnifier(false), m);
    QWidget* vp = doc->GetFirstPelidorView()->viewport();
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 20), vp->mapToGlobal(QPointF(30, 20)), Qt::NoButton, Qt::NoButton, {});
    QCoreApplication::sendEvent(vp, &move);
    EXPECT_EQ(m->Captures(), 1);
    EXPECT_EQ(m->SourceRect().topLeft(), QPoint(30 - CMagnifierWnd::kClientWidth / 8, 20 - CMagnifierWnd::kClientHeight / 8));
    // Without an image the open window hides.
    doc->SetImage(nullptr);
    mf->Router()->Query(ID_VIEW_MAGNIFIER);
    EXPECT_FALSE(m->isVisible());
}

}  // namespace
