// The window-capture dialog and command over a scripted window lister, and the image-process
// button page.
#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <QTreeView>

#include "apptest.h"
#include "app/capturedialog.h"
#include "app/cmdids.h"
#include "app/imageproctabhost.h"
#include "app/mainframe.h"
#include "app/pageimageproc.h"
#include "app/pelidordoc.h"
#include "controls/iconbutton.h"
#include "controls/shadebutton.h"

namespace {
ListedWindow Win(WindowHandle h, const char* title, int w = 100, int hgt = 80, bool visible = true, bool minimised = false) {
    ListedWindow lw;
    lw.handle = h;
    lw.title = title;
    lw.client = QSize(w, hgt);
    lw.visible = visible;
    lw.minimised = minimised;
    return lw;
}

struct FakeLister : IWindowLister {
    std::vector<ListedWindow> windows;
    std::map<WindowHandle, QRect> rects;
    QImage screen;
    std::vector<std::pair<WindowHandle, bool>> topmost;
    std::vector<QRect> grabs;
    WindowHandle Desktop() const override { return 1; }
    std::vector<ListedWindow> Enumerate() override { return windows; }
    QRect WindowRect(WindowHandle w) override { return rects.count(w) ? rects[w] : QRect(); }
    void SetTopmost(WindowHandle w, bool on) override { topmost.emplace_back(w, on); }
    QImage GrabScreen(const QRect& area) override {
        grabs.push_back(area);
        return screen.isNull() ? QImage() : screen.copy(area);
    }
};
FakeLister* g_lister = nullptr;
// The command makes its own lister; it gets a copy of the test's script and reports back through it.
struct ForwardingLister : IWindowLister {
    WindowHandle Desktop() const override { return g_lister->Desktop(); }
    std::vector<ListedWindow> Enumerate() override { return g_lister->Enumerate(); }
    QRect WindowRect(WindowHandle w) override { return g_lister->WindowRect(w); }
    void SetTopmost(WindowHandle w, bool on) override { g_lister->SetTopmost(w, on); }
    QImage GrabScreen(const QRect& a) override { return g_lister->GrabScreen(a); }
};
}  // namespace

TEST(CaptureDialog, ListsTheDesktopThenQualifyingWindowsAfterTheFirst) {
    const std::vector<ListedWindow> windows = {
        Win(10, "Top window"),              // the first one found is left out
        Win(11, "Editor"),
        Win(12, ""),                        // no title
        Win(13, "Thin", 4, 300),            // client 4 pixels wide
        Win(14, "Flat", 300, 4),
        Win(15, "Hidden", 100, 80, false),
        Win(16, "Minimised", 100, 80, true, true),
        Win(17, "Viewer", 5, 5),
    };
    const std::vector<ListedWindow> listed = CCaptureDialog::ListableWindows(windows);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].title, "Editor");
    EXPECT_EQ(listed[1].title, "Viewer");
    EXPECT_TRUE(CCaptureDialog::ListableWindows({Win(10, "Only")}).empty());

    // At most 254 are counted, the first of them then left out; long titles are cut.
    std::vector<ListedWindow> many;
    for (int i = 0; i < 300; i++) many.push_back(Win(100 + i, i == 5 ? std::string(400, 'x').c_str() : "w"));
    const std::vector<ListedWindow> capped = CCaptureDialog::ListableWindows(many);
    EXPECT_EQ(capped.size(), 253u);
    EXPECT_EQ(capped.back().handle, 353u);
    EXPECT_EQ(capped[4].title.size(), 259);

    FakeLister lister;
    lister.windows = windows;
    CCaptureDialog dlg(lister);
    EXPECT_EQ(dlg.windowTitle(), "Capture");
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
    QListWidget* list = dlg.findChild<QListWidget*>("1001");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "Desktop");
    EXPECT_EQ(list->currentRow(), 0);
    list->setCurrentRow(2);
    dlg.accept();
    EXPECT_EQ(dlg.ChosenWindow(), 17u);
    EXPECT_EQ(dlg.ChosenText(), "Viewer");
}

TEST(CaptureDialog, TheButtonsShowTheirWholeLabels) {
    FakeLister lister;
    CCaptureDialog dlg(lister);
    dlg.show();
    QApplication::processEvents();
    for (const char* id : {"1", "2"}) {
        auto* b = dlg.findChild<CIconButton*>(id);
        ASSERT_TRUE(b);
        // The label's ink: where the button drawn with and without its text differ.
        const QString text = b->text();
        const QImage with = b->grab().toImage();
        b->setText(QString());
        const QImage without = b->grab().toImage();
        QRect ink;
        for (int y = 0; y < with.height(); y++)
            for (int x = 0; x < with.width(); x++)
                if (with.pixel(x, y) != without.pixel(x, y)) ink |= QRect(x, y, 1, 1);
        const QFontMetrics fm(b->font());
        EXPECT_GE(ink.width(), fm.horizontalAdvance(text) * 3 / 4);
        EXPECT_GE(ink.height(), fm.capHeight());
        EXPECT_TRUE(QRect(QPoint(1, 1), with.size() - QSize(2, 2)).contains(ink));
    }
}

class CaptureCommandTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        g_lister = &lister;
        IWindowLister::SetFactory([]() -> std::unique_ptr<IWindowLister> { return std::make_unique<ForwardingLister>(); });
        lister.windows = {Win(10, "Top"), Win(20, "Target", 200, 100)};
        lister.rects = {{1, QRect(0, 0, 640, 480)}, {20, QRect(-30, 400, 200, 100)}};
        lister.screen = QImage(640, 480, QImage::Format_RGB32);
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++) lister.screen.setPixel(x, y, qRgb(x % 256, y % 256, 77));
    }
    void TearDown() override {
        IWindowLister::SetFactory(nullptr);
        g_lister = nullptr;
        AppTest::TearDown();
    }
    // Answers the dialog by choosing the entry with `text` (none: Cancel).
    void Choose(const QString& text) {
        prompts.onDialog = [text](QDialog* d) {
            auto* dlg = dynamic_cast<CCaptureDialog*>(d);
            if (!dlg || text.isEmpty()) return int(QDialog::Rejected);
            const QList<QListWidgetItem*> found = dlg->List()->findItems(text, Qt::MatchExactly);
            if (found.isEmpty()) return int(QDialog::Rejected);
            dlg->List()->setCurrentItem(found[0]);
            dlg->accept();
            return dlg->result();
        };
    }
    FakeLister lister;
};

TEST_F(CaptureCommandTest, TheChosenWindowClippedToTheScreenBecomesACapturedImage) {
    ASSERT_TRUE(Start());
    Pump(50);
    prompts.messages.clear();  // the start-up's camera search
    Choose("Target");
    const int counter = app->m_nNewImage;
    const int before = app->DocTemplate()->Documents().size();
    ASSERT_TRUE(app->MainFrame()->Router()->Execute(ID_FILE_CAPTURE));
    // The screen is read from the event loop once the window is in front.
    ASSERT_TRUE(PumpUntil([&] { return app->DocTemplate()->Documents().size() == before + 1; }));
    ASSERT_EQ(lister.grabs.size(), 1u);
    EXPECT_EQ(lister.grabs[0], QRect(0, 400, 170, 80));  // left cut at 0, bottom at the screen's edge
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->Documents().back());
    ASSERT_TRUE(doc && doc->GetImage());
    EXPECT_EQ(doc->GetTitle(), QString("Captured Image %1").arg(counter));
    EXPECT_EQ(app->m_nNewImage, counter + 1);
    EXPECT_EQ(doc->GetImage()->GetWidth(), 170u);
    EXPECT_EQ(doc->GetImage()->GetHeight(), 80u);
    // Pixel (5, 3) from the top is screen pixel (5, 403); the image is stored bottom-up.
    const RGBQUAD c = doc->GetImage()->GetPixelColor(5, 80 - 1 - 3);
    EXPECT_EQ(c.rgbRed, 5);
    EXPECT_EQ(c.rgbGreen, 403 % 256);
    EXPECT_EQ(c.rgbBlue, 77);
    const std::vector<std::pair<WindowHandle, bool>> raised = {{20, true}, {20, false}};
    EXPECT_EQ(lister.topmost, raised);
}

TEST_F(CaptureCommandTest, CancelAGoneWindowOrARefusedGrabMakeNoImage) {
    ASSERT_TRUE(Start());
    Pump(50);
    prompts.messages.clear();  // the start-up's camera search
    const int before = app->DocTemplate()->Documents().size();
    Choose(QString());
    app->MainFrame()->Router()->Execute(ID_FILE_CAPTURE);
    Pump(200);
    EXPECT_TRUE(lister.grabs.empty());

    lister.rects.erase(20);  // closed before OK
    Choose("Target");
    app->MainFrame()->Router()->Execute(ID_FILE_CAPTURE);
    Pump(200);
    EXPECT_TRUE(lister.grabs.empty());

    lister.rects[20] = QRect(700, 10, 50, 50);  // wholly right of the screen
    app->MainFrame()->Router()->Execute(ID_FILE_CAPTURE);
    Pump(200);
    EXPECT_TRUE(lister.grabs.empty());
    EXPECT_TRUE(prompts.messages.isEmpty());

    lister.rects[20] = QRect(10, 10, 50, 50);
    lister.screen = QImage();  // a display that gives no pixels
    app->MainFrame()->Router()->Execute(ID_FILE_CAPTURE);
    ASSERT_TRUE(PumpUntil([&] { return !prompts.messages.isEmpty(); }));
    EXPECT_EQ(lister.grabs.size(), 1u);
    EXPECT_EQ(prompts.messages.size(), 1) << prompts.messages.join('|').toStdString();
    EXPECT_EQ(app->DocTemplate()->Documents().size(), before);
}

TEST_F(AppTest, TheImageProcessPageSendsItsCommandsToTheMainWindow) {
    const QString path = SaveBmp("p.bmp", 6, 4);
    ASSERT_TRUE(Start({path}));
    CImageProcTabHost host;
    ASSERT_EQ(host.Tabs()->count(), 1);
    EXPECT_EQ(host.Tabs()->tabText(0), "ImageProcess");
    EXPECT_TRUE(host.findChild<QTreeView*>("255"));
    host.resize(300, 400);
    host.show();
    EXPECT_EQ(host.Tabs()->geometry(), host.rect());

    CPageImageProc* page = host.Page();
    EXPECT_EQ(page->findChildren<CShadeButton*>().size(), 16);
    EXPECT_EQ(CPageImageProc::CommandOf(1032), int(ID_IMAGE_ROTATEL));
    EXPECT_EQ(CPageImageProc::CommandOf(1040), int(ID_IMAGE_LIGHTCONTRASTGAMMA));
    EXPECT_EQ(CPageImageProc::CommandOf(1042), 0);
    EXPECT_EQ(page->Button(1043)->text(), "Mirror");
    EXPECT_FALSE(page->Button(1043)->GetNormalFace().IsEmpty());

    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->Documents().back());
    ASSERT_TRUE(doc && doc->GetImage());
    const RGBQUAD left = doc->GetImage()->GetPixelColor(0, 0);
    page->Button(1043)->click();  // Mirror, on the worker
    doc->WaitForCommand();
    const RGBQUAD right = doc->GetImage()->GetPixelColor(5, 0);
    EXPECT_EQ(right.rgbRed, left.rgbRed);
    EXPECT_EQ(right.rgbGreen, left.rgbGreen);
    EXPECT_EQ(doc->UndoLevel(), 1);
    page->Button(1042)->click();  // sends nothing
    page->Button(1049)->click();
    EXPECT_FALSE(doc->IsBusy());
    EXPECT_EQ(doc->UndoLevel(), 1);
}
