// The X11 window lister against a real X server (scripts/test runs it under xvfb-run); skipped
// where no display is reachable.
#include <QApplication>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "app/capturedialog.h"
#include "app/xcbwindowlister.h"
#include "eventpump.h"

namespace {
std::unique_ptr<QWidget> Painted(const QString& title, QColor colour, QRect geometry) {
    auto w = std::make_unique<QWidget>();
    w->setWindowTitle(title);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
    w->setGeometry(geometry);
    return w;
}

const ListedWindow* Find(const std::vector<ListedWindow>& list, const QString& title) {
    for (const ListedWindow& w : list)
        if (w.title == title) return &w;
    return nullptr;
}
}  // namespace

TEST(XcbWindowLister, ListsMappedWindowsWithTitlesAndGrabsTheirPixels) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X display (set DISPLAY or run under xvfb-run)";
    CXcbWindowLister lister;
    ASSERT_TRUE(lister.IsConnected());

    auto shown = Painted("Quillory capture target", QColor(200, 30, 40), QRect(50, 60, 160, 120));
    auto hidden = Painted("Quillory hidden window", QColor(0, 200, 0), QRect(300, 60, 100, 100));
    shown->show();
    hidden->show();
    // The server maps and unmaps in its own time: wait for it to show what the test did.
    PumpUntil([&] {
        const std::vector<ListedWindow> now = lister.Enumerate();
        return Find(now, "Quillory capture target") && Find(now, "Quillory hidden window");
    });
    hidden->hide();
    PumpUntil([&] { return !Find(CCaptureDialog::ListableWindows(lister.Enumerate()), "Quillory hidden window"); });

    const std::vector<ListedWindow> all = lister.Enumerate();
    const ListedWindow* target = Find(all, "Quillory capture target");
    ASSERT_TRUE(target) << "the shown window is enumerated by its title";
    EXPECT_TRUE(target->visible);
    EXPECT_FALSE(target->minimised);
    EXPECT_EQ(target->client, QSize(160, 120));
    const std::vector<ListedWindow> listable = CCaptureDialog::ListableWindows(all);
    EXPECT_FALSE(Find(listable, "Quillory hidden window"));

    const QRect r = lister.WindowRect(target->handle);
    ASSERT_FALSE(r.isEmpty());
    EXPECT_EQ(r.size(), QSize(160, 120));
    EXPECT_FALSE(lister.WindowRect(lister.Desktop()).isEmpty());
    lister.SetTopmost(target->handle, true);
    PumpUntil([&] {
        const QImage now = lister.GrabScreen(r);
        return now.size() == QSize(160, 120) && now.pixelColor(80, 60) == QColor(200, 30, 40);
    });
    const QImage picture = lister.GrabScreen(r);
    ASSERT_FALSE(picture.isNull());
    ASSERT_EQ(picture.size(), QSize(160, 120));
    const QColor middle = picture.pixelColor(80, 60);
    EXPECT_EQ(middle.red(), 200);
    EXPECT_EQ(middle.green(), 30);
    EXPECT_EQ(middle.blue(), 40);
    lister.SetTopmost(target->handle, false);

    // A window that is gone has no rectangle.
    const WindowHandle gone = target->handle;
    shown.reset();
    PumpUntil([&] { return lister.WindowRect(gone).isEmpty(); });
    EXPECT_TRUE(lister.WindowRect(gone).isEmpty());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (std::getenv("DISPLAY")) qputenv("QT_QPA_PLATFORM", "xcb");
    else qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
