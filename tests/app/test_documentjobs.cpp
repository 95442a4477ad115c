// The image document's jobs on Qt's thread pool: an open that takes long goes on in the
// background while the program answers, a close waits for the job it depends on without an
// event loop of its own, and "Save changes?" is asked about the finished picture.
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSemaphore>
#include <QThreadPool>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "apptest.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"

namespace {

// Holds every thread of Qt's pool, so a job started meanwhile waits until Release.
class PoolHold {
public:
    PoolHold() : n_(QThreadPool::globalInstance()->maxThreadCount()) {
        for (int i = 0; i < n_; i++)
            QThreadPool::globalInstance()->start([this] {
                started_.release();
                gate_.acquire();
            });
        started_.acquire(n_);
    }
    ~PoolHold() { Release(); }
    void Release() {
        gate_.release(n_);
        n_ = 0;
    }

private:
    int n_;
    QSemaphore started_, gate_;
};

// A window that records the private messages it is sent.
struct Listener : QObject, CMessageTarget {
    Listener() { RegisterWindow(this); }
    ~Listener() override { UnregisterWindow(); }
    LRESULT WindowProc(UINT, WPARAM wParam, LPARAM) override {
        seen.push_back(static_cast<int>(wParam));
        return 0;
    }
    std::vector<int> seen;
};

class DocJobTest : public AppTest {
protected:
    CPelidorDoc* Open(const QString& name) {
        return dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(Path(name)));
    }
    QMdiSubWindow* FrameOf(CPelidorDoc* d) { return app->DocTemplate()->FrameOf(d); }
};

}  // namespace

TEST_F(DocJobTest, ASlowOpenGoesOnInTheBackgroundAndEndsShownOrRefused) {
    ASSERT_TRUE(Start());
    Pump();
    prompts.messages.clear();  // the camera launch's answer
    SaveBmp("a.bmp", 30, 20);
    SaveBmp("b.bmp", 5, 4);
    Listener listener;

    // A quick open ends before it returns, and a message posted before it waits until after.
    PostMessage(listener.GetSafeHwnd(), WM_USER + 7, 1, 0);
    CPelidorDoc* b = Open("b.bmp");
    ASSERT_TRUE(b && b->GetImage());
    EXPECT_TRUE(listener.seen.empty()) << "handled inside the open";
    Pump();
    EXPECT_EQ(listener.seen, (std::vector<int>{1}));

    CPelidorDoc::SetQuickOpenLimit(20);
    CPelidorDoc *a = nullptr, *missing = nullptr;
    {
        PoolHold hold;  // no file can be read until the hold ends
        a = Open("a.bmp");
        missing = Open("nothere.bmp");
        ASSERT_TRUE(a && missing);
        EXPECT_TRUE(a->IsLoading());
        EXPECT_EQ(a->GetImage(), nullptr);
        EXPECT_EQ(a->GetTitle(), "a.bmp");
        // The program answers meanwhile.
        PostMessage(listener.GetSafeHwnd(), WM_USER + 7, 2, 0);
        Pump();
        EXPECT_EQ(listener.seen, (std::vector<int>{1, 2}));
        EXPECT_TRUE(prompts.messages.isEmpty());
    }
    QPointer<QMdiSubWindow> missingFrame = FrameOf(missing);
    ASSERT_TRUE(PumpUntil([&] { return !a->IsLoading() && !missingFrame; }));
    ASSERT_TRUE(a->GetImage() && a->GetImage()->IsValid());
    EXPECT_EQ(a->GetImage()->GetWidth(), 30u);
    EXPECT_TRUE(FrameOf(a));
    // The file that is not there says why, and its window goes.
    ASSERT_EQ(prompts.messages.size(), 1) << prompts.messages.join(" | ").toStdString();
    EXPECT_EQ(prompts.messages[0], QString("Load: can't open \"nothere.bmp\": ") + QString::fromLocal8Bit(strerror(ENOENT)));
    EXPECT_EQ(app->DocTemplate()->Documents().size(), 3);  // the start page, b and a

    // A window closed while its file is read goes without a word, whatever the read gives.
    {
        PoolHold hold;
        CPelidorDoc* c = Open("a.bmp.copy");
        ASSERT_TRUE(c && c->IsLoading());
        QPointer<QMdiSubWindow> f = FrameOf(c);
        hold.Release();
        f->close();
        ASSERT_TRUE(PumpUntil([&] { return !f; }));
    }
    Pump(150);
    EXPECT_EQ(prompts.messages.size(), 1);
}

TEST_F(DocJobTest, ClosingWhileACommandRunsAsksAboutItsResultWhenItEnds) {
    ASSERT_TRUE(Start({SaveBmp("c.bmp", 900, 700)}));
    Pump();
    prompts.messages.clear();
    CPelidorDoc* d = app->MainFrame()->ActiveDocument();
    ASSERT_TRUE(d);
    d->SetModifiedFlag();
    ASSERT_TRUE(d->StartImageCommand(ID_IMAGE_ROTATER));
    QPointer<QMdiSubWindow> frame = FrameOf(d);
    frame->close();
    // Nothing is asked while the command runs, and the window stays.
    EXPECT_TRUE(frame);
    EXPECT_TRUE(prompts.messages.isEmpty());
    prompts.answerYesNo = IDNO;
    ASSERT_TRUE(PumpUntil([&] { return !frame; }));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0], "Save changes to c.bmp?");
    // No was answered: the file is what it was.
    PxImage onDisk(QFile::encodeName(Path("c.bmp")).constData(), PXIMAGE_FORMAT_BMP);
    EXPECT_EQ(onDisk.GetWidth(), 900u);
}

TEST_F(DocJobTest, YesToSaveChangesClosesTheWindowOnlyOnceTheFileIsWhole) {
    ASSERT_TRUE(Start());
    Pump();
    prompts.messages.clear();
    auto* d = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    d->SetImage(MakeImage(640, 480));
    d->SetTitle("Edited");
    d->SetModifiedFlag();
    QPointer<QMdiSubWindow> frame = FrameOf(d);
    prompts.answerYesNo = IDYES;

    // A save that cannot be written: the reason is shown and the window stays, still modified.
    prompts.fileNames = {Path("no/such/folder/e.png")};
    frame->close();
    EXPECT_TRUE(frame);
    ASSERT_TRUE(PumpUntil([&] { return !d->IsBusy(); }));
    Pump(50);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(d->IsModified());
    ASSERT_EQ(prompts.messages.size(), 2) << prompts.messages.join(" | ").toStdString();
    EXPECT_EQ(prompts.messages[0], "Save changes to Edited?");
    EXPECT_TRUE(prompts.messages[1].contains(QString::fromLocal8Bit(strerror(ENOENT)))) << prompts.messages[1].toStdString();

    // A save that works: the window goes once the file is there, whole.
    prompts.fileNames = {Path("e.png")};
    frame->close();
    EXPECT_TRUE(frame) << "closed before the file was written";
    ASSERT_TRUE(PumpUntil([&] { return !frame; }));
    PxImage back(QFile::encodeName(Path("e.png")).constData(), PXIMAGE_FORMAT_PNG);
    EXPECT_EQ(back.GetWidth(), 640u);
    EXPECT_EQ(back.GetHeight(), 480u);
}
