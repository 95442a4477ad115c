// The GUI layer: message bridge, command routing and the format table of the file dialogs.
#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <thread>

#include "ui/commandrouter.h"
#include "ui/msgbridge.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "apptest.h"

namespace {
class Receiver : public QObject, public CMessageTarget {
public:
    Receiver() { RegisterWindow(this); }
    LRESULT WindowProc(UINT m, WPARAM w, LPARAM) override {
        received.push_back({m, w});
        return static_cast<LRESULT>(w * 2);
    }
    std::vector<std::pair<UINT, WPARAM>> received;
};
}  // namespace

TEST(MessageBridge, PostIsQueuedAndDroppedForAGoneTarget) {
    auto* r = new Receiver;
    HWND h = r->GetSafeHwnd();
    std::thread t([h] {
        EXPECT_TRUE(PostMessage(h, WM_USER + 5, 7));
    });
    t.join();
    EXPECT_TRUE(r->received.empty());  // posting never calls the handler at once
    PumpPrivateMessages();
    ASSERT_EQ(r->received.size(), 1u);
    EXPECT_EQ(r->received[0].second, 7u);
    PostMessage(h, WM_USER + 5, 8);
    delete r;
    EXPECT_FALSE(IsWindow(h));
    PumpPrivateMessages();  // the queued message finds no receiver and is dropped
    EXPECT_FALSE(PostMessage(h, WM_USER + 5, 9));
}

TEST(MessageBridge, CrossThreadSendWaitsForTheResultOrTheTargetsEnd) {
    Receiver r;
    std::atomic<LRESULT> result{-1};
    std::thread t([&] { result = SendMessage(r.GetSafeHwnd(), WM_USER + 6, 21); });
    while (result == -1) PumpPrivateMessages();
    t.join();
    EXPECT_EQ(result, 42);

    auto* gone = new Receiver;
    HWND h = gone->GetSafeHwnd();
    std::atomic<bool> started{false};
    result = -1;
    std::thread t2([&] {
        started = true;
        result = SendMessage(h, WM_USER + 6, 5);
    });
    while (!started) std::this_thread::yield();
    // Only lets the send reach the bridge before the target goes; either way it answers 0.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    delete gone;
    while (result == -1) PumpPrivateMessages();
    t2.join();
    EXPECT_EQ(result, 0);
}

namespace {
class Target : public CCmdTarget {
public:
    explicit Target(bool enable) {
        OnCommand(100, [this] { ran++; });
        OnUpdateUI(100, [enable](CCmdUI* ui) { ui->Enable(enable); ui->SetCheck(1); });
        OnCommand(200, [this] { ran += 10; });
    }
    int ran = 0;
};
}  // namespace

TEST(CommandRouter, FirstTargetDecidesAndUnhandledCommandsAreDisabled) {
    CCommandRouter router;
    Target doc(false), frame(true);
    router.SetChain([&] { return std::vector<CCmdTarget*>{&doc, &frame}; });
    CCmdUI ui = router.Query(100);
    EXPECT_FALSE(ui.m_bEnabled);  // the document's update rule wins over the frame's handler
    EXPECT_EQ(ui.m_nCheck, 1);
    EXPECT_FALSE(router.Execute(100));
    EXPECT_EQ(doc.ran + frame.ran, 0);
    EXPECT_TRUE(router.Query(200).m_bEnabled);  // a handler without update rule is enabled
    EXPECT_TRUE(router.Execute(200));
    EXPECT_EQ(doc.ran, 10);
    EXPECT_EQ(frame.ran, 0);
    EXPECT_FALSE(router.Query(300).m_bEnabled);
    QAction* a = router.Action(100);
    router.UpdateAll();
    EXPECT_FALSE(a->isEnabled());
    EXPECT_TRUE(a->isChecked());
}

TEST(FormatTable, ExtensionsMapInBothVariants) {
    EXPECT_EQ(FormatFromExtension("/x/photo.JPEG"), 3u);
    EXPECT_EQ(FormatFromExtension("/x/scan.Tiff"), 6u);
    EXPECT_EQ(FormatFromExtension("/x/phone.WBMP"), 9u);
    EXPECT_EQ(FormatFromExtension("/x/a.bmp"), 1u);
    EXPECT_EQ(FormatFromExtension("/x/clip.avi"), 17u);
    EXPECT_EQ(FormatFromExtension("/x/noext"), 0u);
    EXPECT_EQ(DocFormatFromExtension(PathExtension("/x/photo.JPEG").toLower()), 3u);
    EXPECT_EQ(DocFormatFromExtension("JPEG"), 0u);  // the caller lower-cases
    EXPECT_EQ(PathExtension("/x/noext"), "");
    // A dot in a folder's name is no extension of the file in it.
    EXPECT_EQ(PathExtension("a.b/c"), "");
    EXPECT_EQ(PathExtension("/x/v1.2/scan.tif"), "tif");
    EXPECT_EQ(DocFormatFromExtension("ppm"), 14u);
    EXPECT_EQ(DocFormatFromExtension("ras"), 15u);
}

TEST_F(AppTest, FileDialogsListTheTableAndDefaultToTheFormatsWholeExtension) {
    ASSERT_TRUE(Start());
    QString name;
    DWORD format = static_cast<DWORD>(-1);
    prompts.fileNames.push_back(Path("x.bmp"));
    ASSERT_TRUE(app->AskImageFileName(name, true, 0, format));
    const FileDialogRequest& open = prompts.requests.back();
    EXPECT_EQ(open.title, "Open image file");
    EXPECT_EQ(open.filters.size(), 16);
    EXPECT_TRUE(open.filters[0].startsWith("Supported files"));
    EXPECT_EQ(open.defaultExt, "bmp");

    format = 9;  // WBMP
    prompts.fileNames.push_back(Path("y.wbmp"));
    ASSERT_TRUE(app->AskImageFileName(name, false, 0, format));
    const FileDialogRequest& save = prompts.requests.back();
    EXPECT_EQ(save.title, "Save image file");
    EXPECT_EQ(save.filters.size(), 15);  // no WMF EMF row when saving
    EXPECT_FALSE(save.filters.join("|").contains("WMF"));
    EXPECT_EQ(save.defaultExt, "wbmp");
    EXPECT_EQ(save.filterIndex, 10);
    EXPECT_EQ(format, 9u);
    // RAS stands before PNM: filter positions are not format ids.
    EXPECT_TRUE(save.filters[13].startsWith("RAS files"));
}
