#include <QCoreApplication>
#include <QPushButton>
#include <QTest>

#include <QPointer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "controls/gradientprogressctrl.h"
#include "controls/progressdialog.h"
#include "controls/syscolors.h"

using namespace std::chrono_literals;

namespace {

// The bar's client area starts inside its border and static edge.
constexpr int kFrame = 2;

COLORREF BarPixel(CGradientProgressCtrl* bar, const QImage& img, int x) {
    return CSysColors::FromQColor(QColor(img.pixel(kFrame + x, bar->height() / 2)));
}

int BarLength(CGradientProgressCtrl* bar) { return bar->width() - 2 * kFrame; }

}  // namespace

TEST(ProgressDialog, TextsGetTheirPercentFormat) {
    CProgressDialog dlg;
    EXPECT_EQ(dlg.GetText(), QStringLiteral("Complete : %d%%"));
    dlg.SetText(QStringLiteral("Interval Complete"));
    EXPECT_EQ(dlg.GetText(), QStringLiteral("Interval Complete: %d%%"));
    dlg.SetRange(0, 1000);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.SetPos(500);
    EXPECT_EQ(dlg.Bar()->GetText(), QStringLiteral("Interval Complete: 50%"));
    // A text set after creation reaches the bar, a free text shows as it is.
    dlg.SetText(QStringLiteral("Complete"));
    EXPECT_EQ(dlg.Bar()->GetText(), QStringLiteral("Complete: 50%"));
    dlg.SetText(QStringLiteral("Wait a moment!"));
    EXPECT_EQ(dlg.Bar()->GetText(), QStringLiteral("Wait a moment!"));
    dlg.SetText(QStringLiteral("100% %s %n"));
    EXPECT_EQ(dlg.Bar()->GetText(), QStringLiteral("100% %s %n"));
    dlg.Close();
}

TEST(ProgressDialog, RangeKeepsAPositiveUpperBound) {
    CProgressDialog dlg;
    dlg.SetRange(0, 0);
    int lo = -1, hi = -1;
    dlg.GetRange(&lo, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 1);
    dlg.Create(nullptr);
    EXPECT_EQ(dlg.Bar()->GetRange(false), 1);
    EXPECT_EQ(dlg.Bar()->Painter().GetBlockLength(), 100);  // set by the creation
    dlg.SetRange(0, 200);
    EXPECT_EQ(dlg.Bar()->GetRange(false), 200);
    EXPECT_EQ(dlg.Bar()->Painter().GetBlockLength(), 100);  // half the range
    dlg.Close();
    EXPECT_EQ(dlg.Bar(), nullptr);
    dlg.SetPos(5);  // harmless once the window is gone
}

TEST(ProgressDialog, CancelSetsTheFlagOnlyWhenEnabledAndNeverCloses) {
    CProgressDialog dlg;
    dlg.Create(nullptr);
    ASSERT_TRUE(dlg.isVisible());
    ASSERT_EQ(dlg.CancelButton()->objectName(), QStringLiteral("1093"));
    dlg.CancelButton()->click();
    EXPECT_FALSE(dlg.IsCancelled());
    dlg.EnableCancel(true);
    dlg.CancelButton()->click();
    EXPECT_TRUE(dlg.IsCancelled());
    EXPECT_TRUE(dlg.isVisible());
    // Escape, Enter and a close request leave it open too.
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(&dlg, Qt::Key_Return);
    dlg.close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.IsCreated());
    // The flag stays until the owner clears it.
    EXPECT_TRUE(dlg.IsCancelled());
    dlg.SetCancelled(false);
    EXPECT_FALSE(dlg.IsCancelled());
    dlg.Close();
    EXPECT_FALSE(dlg.isVisible());
}

TEST(ProgressDialog, BarFillsFromTheLeftOrShowsABlock) {
    CProgressDialog dlg;
    dlg.SetText(QString());  // no text over the pixels
    dlg.Create(nullptr);
    CGradientProgressCtrl* bar = dlg.Bar();
    const int length = BarLength(bar);
    ASSERT_GT(length, 50);
    // Range 0..100: filled from the left edge, grey gradient getting darker up to the position.
    dlg.SetPos(60);
    QImage img = bar->Render();
    const int head = length * 60 / 100;
    EXPECT_EQ(BarPixel(bar, img, 0), RGB(192, 192, 192));
    EXPECT_LT(GetRValue(BarPixel(bar, img, head - 1)), 135);
    EXPECT_LT(GetRValue(BarPixel(bar, img, head / 2)), 165);
    EXPECT_EQ(BarPixel(bar, img, head), RGB(192, 192, 192));
    // Range 0..1000: a block of a tenth of the bar ending at the position.
    dlg.SetRange(0, 1000);
    bar->Painter().SetBlockLength(100);
    dlg.SetPos(300);
    img = bar->Render();
    const int blockHead = length * 300 / 1000, blockTail = length * 200 / 1000;
    EXPECT_EQ(BarPixel(bar, img, blockTail - 1), RGB(192, 192, 192));
    EXPECT_LT(GetRValue(BarPixel(bar, img, blockHead - 1)), 135);
    EXPECT_EQ(BarPixel(bar, img, blockHead), RGB(192, 192, 192));
    EXPECT_EQ(BarPixel(bar, img, blockTail / 2), RGB(192, 192, 192));
    dlg.Close();
}

TEST(ProgressDialogThreads, OtherThreadOnlyQueuesTheUpdate) {
    CProgressDialog dlg;
    dlg.Create(nullptr);
    std::thread t([&] {
        for (int i = 1; i <= 1000; ++i) dlg.SetPos(i % 90);
        dlg.SetPos(42);
        dlg.ShowWindow(CProgressDialog::SW_HIDE);
    });
    t.join();
    // Nothing reached the widgets from that thread.
    EXPECT_EQ(dlg.Bar()->GetPos(), 0);
    EXPECT_TRUE(dlg.isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg.Bar()->GetPos(), 42);
    EXPECT_FALSE(dlg.isVisible());
    dlg.Close();
}

TEST(ProgressDialogThreads, UpdateQueuedForADeletedDialogIsDropped) {
    auto dlg = std::make_unique<CProgressDialog>();
    dlg->Create(nullptr);
    CProgressDialog kept;
    kept.Create(nullptr);
    // The deleted dialog's update is queued first, the kept one's after it.
    std::thread t([&] {
        dlg->SetPos(7);
        kept.SetPos(7);
    });
    t.join();
    QPointer<CGradientProgressCtrl> bar = dlg->Bar();
    dlg.reset();
    ASSERT_TRUE(bar.isNull());
    QCoreApplication::processEvents();
    // The queue was delivered past the deleted dialog's update; that update itself was dropped:
    // running it would read the freed dialog, which the sanitizer reports.
    EXPECT_EQ(kept.Bar()->GetPos(), 7);
    kept.Close();
}

// The time-lapse interval: the capture thread shows the dialog and sets the per-mille position
// every millisecond, polling the Cancel flag, while the UI thread pumps and the user cancels.
TEST(ProgressDialogThreads, CaptureThreadHammersWhileTheUiThreadPumps) {
    CProgressDialog dlg;
    dlg.SetText(QStringLiteral("Interval Complete"));
    dlg.SetRange(0, 1000);
    dlg.Create(nullptr);
    dlg.SetPos(0);
    dlg.EnableCancel(true);
    dlg.SetFlag(1);
    dlg.ShowWindow(CProgressDialog::SW_HIDE);
    ASSERT_FALSE(dlg.isVisible());

    std::atomic<bool> sawCancel{false}, finished{false};
    std::atomic<int> calls{0};
    std::thread capture([&] {
        dlg.ShowWindow(CProgressDialog::SW_SHOW);
        dlg.SetPos(0);
        dlg.SetCancelled(false);
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < 10s) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            dlg.SetPos(static_cast<int>(ms.count() % 1000));
            ++calls;
            if (dlg.IsCancelled()) {
                sawCancel = true;
                break;
            }
            if (calls % 50 == 0) {
                dlg.ShowWindow(CProgressDialog::SW_HIDE);
                dlg.ShowWindow(CProgressDialog::SW_SHOW);
            }
            std::this_thread::sleep_for(1ms);  // the capture's pace; the cancel ends it at any pace
        }
        dlg.SetPos(777);
        finished = true;
    });

    const auto start = std::chrono::steady_clock::now();
    bool clicked = false;
    while (!finished) {
        QCoreApplication::processEvents();
        if (!clicked && std::chrono::steady_clock::now() - start > 200ms && calls > 20) {
            dlg.CancelButton()->click();
            clicked = true;
        }
        std::this_thread::sleep_for(2ms);
    }
    capture.join();
    QCoreApplication::processEvents();

    EXPECT_TRUE(sawCancel);
    EXPECT_GT(calls.load(), 20);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.GetFlag(), 1);
    EXPECT_EQ(dlg.Bar()->GetPos(), 777);
    EXPECT_EQ(dlg.Bar()->GetText(), QStringLiteral("Interval Complete: 77%"));
    dlg.Close();
}
