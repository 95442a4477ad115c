// The image document: zoom and pan, threaded commands with progress, the undo ring, closing
// during a command, saving with the image's settings kept.
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <thread>
#include <vector>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "ui/messages.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "apptest.h"
#include "outside/vekmeasure/qomeasure.h"

namespace {

class DocTest : public AppTest {
protected:
    CPelidorView* ViewOf(CPelidorDoc* d) { return d->GetFirstPelidorView(); }
};

BYTE Red(PxImage* img, int x, int y) { return img->GetPixelColor(x, y).rgbRed; }

}  // namespace

TEST_F(DocTest, ZoomLadderZoomListAndPanWithTheMoveTool) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(400, 300));
    CPelidorView* z = ViewOf(d);  // the zoom is the view's
    z->m_fZoom = 0.3f;
    z->ZoomIn();
    EXPECT_FLOAT_EQ(z->m_fZoom, 0.5f);
    z->m_fZoom = 0.3f;
    z->ZoomOut();
    EXPECT_FLOAT_EQ(z->m_fZoom, 0.25f);
    z->m_fZoom = 20;
    z->ZoomOut();
    EXPECT_FLOAT_EQ(z->m_fZoom, 16);
    EXPECT_FALSE(Enabled(ID_VIEW_ZOOMIN));

    EXPECT_TRUE(z->ZoomList(" 150% "));
    EXPECT_FLOAT_EQ(z->m_fZoom, 1.5f);
    EXPECT_EQ(app->MainFrame()->PaneText(2), "150%");
    EXPECT_EQ(app->MainFrame()->ZoomCombo()->currentText(), " 150%");
    z->ZoomList("37");
    EXPECT_EQ(app->MainFrame()->ZoomCombo()->currentText(), " 37%");
    z->ZoomIn();
    EXPECT_EQ(app->MainFrame()->ZoomCombo()->currentText(), " 50%");
    EXPECT_EQ(app->MainFrame()->ZoomCombo()->count(), 9);
    z->ZoomList("150%");
    EXPECT_FALSE(z->ZoomList("abc"));
    EXPECT_FALSE(z->ZoomList("%150"));
    EXPECT_EQ(prompts.messages.count("ERROR!"), 2);
    EXPECT_FLOAT_EQ(z->m_fZoom, 1.5f);
    EXPECT_TRUE(z->ZoomList("5000"));
    EXPECT_FLOAT_EQ(z->m_fZoom, 16);
    EXPECT_TRUE(z->ZoomList("99999999999999999999"));  // longer than an int: saturates
    EXPECT_FLOAT_EQ(z->m_fZoom, 16);
    EXPECT_TRUE(z->ZoomList(""));
    EXPECT_FLOAT_EQ(z->m_fZoom, 0.25f);

    // At zoom 4 the image is larger than the window: a Move drag scrolls by the mouse distance.
    z->ZoomList("400%");
    CPelidorView* v = ViewOf(d);
    QMdiSubWindow* f = app->DocTemplate()->FrameOf(d);
    f->resize(300, 250);
    Pump();
    v->OnUpdate(nullptr, WM_IMAGE_OP_DONE);
    ASSERT_GT(v->horizontalScrollBar()->maximum(), 100);
    v->SetScrollPosition(QPoint(100, 100));
    d->m_nTool = kToolMove;
    QWidget* vp = v->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(60, 60));
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 40), vp->mapToGlobal(QPointF(30, 40)), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(vp, &move);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(30, 40));
    EXPECT_EQ(v->ScrollPosition(), QPoint(130, 120));
    // The read-out names the pixel under the mouse.
    const QPoint pt = v->WindowToImage(QPoint(30, 40));
    EXPECT_EQ(pt, QPoint((30 + 130) / 4, (40 + 120) / 4));
    EXPECT_TRUE(v->PixelReadout(QPoint(30, 40)).startsWith(QString("x: %1 y: %2  idx: 0  RGBA: (").arg(pt.x()).arg(pt.y())));
    v->grab();
}

TEST_F(DocTest, ThreadedCommandIsBusyUntilDoneAndReportsProgress) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(1500, 1200));
    const RGBQUAD corner = d->GetImage()->GetPixelColor(0, 0);
    ASSERT_TRUE(d->StartImageCommand(ID_IMAGE_ROTATEL));
    // Busy before either thread could finish: nothing touching the image is enabled.
    EXPECT_TRUE(d->IsBusy());
    EXPECT_FALSE(Enabled(ID_IMAGE_FLIP));
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
    EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));
    EXPECT_FALSE(d->StartImageCommand(ID_IMAGE_FLIP));
    // While busy the view shows the state before the command.
    EXPECT_EQ(d->GetDisplayImage()->GetWidth(), 1500u);
    ViewOf(d)->grab();
    d->WaitForCommand();
    EXPECT_FALSE(d->IsBusy());
    EXPECT_EQ(d->GetImage()->GetWidth(), 1200u);
    EXPECT_EQ(d->GetImage()->GetHeight(), 1500u);
    // Rotating left moves the old bottom-left pixel to the bottom-right.
    const RGBQUAD moved = d->GetImage()->GetPixelColor(1199, 0);
    EXPECT_EQ(moved.rgbRed, corner.rgbRed);
    EXPECT_EQ(moved.rgbGreen, corner.rgbGreen);
    EXPECT_EQ(app->MainFrame()->PaneText(4), "(1200x1500x24)");
    EXPECT_TRUE(app->MainFrame()->PaneText(2).startsWith("Time (s): "));
    EXPECT_TRUE(Enabled(ID_EDIT_UNDO));
    EXPECT_TRUE(d->IsModified());
}

TEST_F(DocTest, ProgressIsPolledFromTheImageAndEndsWithHundredBeforeDone) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(8, 8));
    std::atomic<bool> release{false};
    CPelidorDoc::RegisterImageOperation(40010, [&](PxImage& img, const ImageCommandParams&) {
        img.SetProgress(40);
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    });
    ASSERT_TRUE(d->StartImageCommand(40010));
    auto pumpUntil = [&](const QString& text) {
        return PumpUntil([&] { return app->MainFrame()->PaneText(2) == text; }, 20000);
    };
    EXPECT_TRUE(pumpUntil("40 %"));
    EXPECT_TRUE(d->IsBusy());
    release = true;
    EXPECT_TRUE(pumpUntil("100 %"));
    EXPECT_TRUE(d->IsBusy());  // done comes 111 ms after the last report
    d->WaitForCommand();
    EXPECT_FALSE(d->IsBusy());
    EXPECT_TRUE(app->MainFrame()->PaneText(2).startsWith("Time (s): "));
}

// A save or a close that waits for the file handles no other message meanwhile: one posted
// before it arrives after it, not in the middle of it.
TEST_F(DocTest, MessagesPostedBeforeASaveOrACloseComeAfterIt) {
    struct Listener : QObject, CMessageTarget {
        Listener() { RegisterWindow(this); }
        LRESULT WindowProc(UINT, WPARAM wParam, LPARAM) override {
            seen.push_back(static_cast<int>(wParam));
            return 0;
        }
        std::vector<int> seen;
    } listener;
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(600, 400));
    PostMessage(listener.GetSafeHwnd(), WM_USER + 7, 1, 0);
    ASSERT_TRUE(d->OnSaveDocument(Path("waited.png")));
    EXPECT_TRUE(listener.seen.empty()) << "handled inside the save";
    EXPECT_TRUE(QFileInfo::exists(Path("waited.png")));

    // A background save, then the document's close while it runs: the close finishes the file.
    prompts.fileNames = {Path("background.png")};
    ASSERT_TRUE(d->SaveAsInBackground());
    ASSERT_TRUE(d->IsBusy());
    PostMessage(listener.GetSafeHwnd(), WM_USER + 7, 2, 0);
    QPointer<QWidget> frame = reinterpret_cast<QWidget*>(app->DocTemplate()->FrameOf(d));
    ASSERT_TRUE(frame);
    frame->close();
    EXPECT_TRUE(listener.seen.empty()) << "handled inside the close";
    PxImage back(QFile::encodeName(Path("background.png")).constData(), PXIMAGE_FORMAT_PNG);
    EXPECT_EQ(back.GetWidth(), 600u) << "the file is whole";
    Pump(50);
    EXPECT_EQ(listener.seen, (std::vector<int>{1, 2}));
}

TEST_F(DocTest, ProgressMessagesReachTheStatusBar) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(8, 8));
    SendMessage(d->GetSafeHwnd(), WM_IMAGE_OP_PROGRESS, 42, 0);
    EXPECT_EQ(app->MainFrame()->PaneText(2), "42 %");
    // A late done for an idle document changes nothing.
    SendMessage(d->GetSafeHwnd(), WM_IMAGE_OP_DONE, 0, 0);
    EXPECT_FALSE(d->IsBusy());
}

TEST_F(DocTest, UndoRingKeepsEightStepsAndRedoFollows) {
    ASSERT_TRUE(Start());
    auto* one = new PxImage(1, 1, 24, 1);
    CPelidorDoc* d = NewImageDoc(one);
    auto setValue = [&](int v) { d->GetImage()->SetPixelColor(0, 0, RGBQUAD{0, 0, static_cast<BYTE>(v), 0}); };
    setValue(0);
    for (int i = 1; i <= 9; i++) {
        ASSERT_TRUE(d->StartImageCommand(ID_IMAGE_FLIP));  // snapshot holds i - 1
        d->WaitForCommand();
        setValue(i);
    }
    EXPECT_EQ(d->UndoLevel(), 8);
    for (int expect = 8; expect >= 1; expect--) {
        ASSERT_TRUE(Enabled(ID_EDIT_UNDO));
        app->MainFrame()->Router()->Execute(ID_EDIT_UNDO);
        EXPECT_EQ(Red(d->GetImage(), 0, 0), expect);
    }
    EXPECT_EQ(d->UndoLevel(), 0);
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO));  // state 0 fell out of the ring
    for (int expect = 2; expect <= 9; expect++) {
        ASSERT_TRUE(Enabled(ID_EDIT_REDO));
        app->MainFrame()->Router()->Execute(ID_EDIT_REDO);
        EXPECT_EQ(Red(d->GetImage(), 0, 0), expect);
    }
    EXPECT_FALSE(Enabled(ID_EDIT_REDO));
    // Undo twice, then a new change: the redo states are gone.
    d->OnEditUndo();
    d->OnEditUndo();
    EXPECT_TRUE(Enabled(ID_EDIT_REDO));
    ASSERT_TRUE(d->StartImageCommand(ID_IMAGE_MIRROR));
    d->WaitForCommand();
    EXPECT_FALSE(Enabled(ID_EDIT_REDO));
    EXPECT_EQ(d->UndoLevel(), 7);
    app->MainFrame()->Router()->UpdateAll();
    EXPECT_EQ(app->MainFrame()->Router()->Action(ID_EDIT_UNDO)->text(), "Undo (7)");
}

TEST_F(DocTest, ClosingDuringACommandNeitherHangsNorLeaks) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(2000, 1500));
    d->SetModifiedFlag(false);
    ASSERT_TRUE(d->StartImageCommand(ID_IMAGE_ROTATER));
    QElapsedTimer t;
    t.start();
    QMdiSubWindow* f = app->DocTemplate()->FrameOf(d);
    f->close();
    Pump();
    EXPECT_LT(t.elapsed(), 20000);
    EXPECT_EQ(app->DocTemplate()->Documents().size(), 1);  // the start page stays
    Pump(200);  // a late message for the closed document finds nobody
}

TEST_F(DocTest, SaveKeepsDepthPaletteAndResolutionAndTheOpenImageStaysClean) {
    ASSERT_TRUE(Start());
    auto* img = new PxImage(16, 8, 8, 1);
    img->SetGrayPalette();
    img->SetPaletteColor(3, 200, 10, 20);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 16; x++) img->SetPixelIndex(x, y, static_cast<BYTE>((x + y) & 7));
    img->SetXDPI(300);
    img->SetYDPI(150);
    CPelidorDoc* d = NewImageDoc(img, "gray");
    for (const char* ext : {"bmp", "png"}) {
        const QString out = Path(QString("kept.%1").arg(ext));
        prompts.fileNames.push_back(out);
        ASSERT_TRUE(d->DoSave(QString(), true)) << prompts.messages.join("|").toStdString();
        PxImage back(QFile::encodeName(out).constData(), 0);
        ASSERT_TRUE(back.IsValid()) << ext << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), 8) << ext;
        EXPECT_EQ(back.GetXDPI(), 300) << ext;
        EXPECT_EQ(back.GetYDPI(), 150) << ext;
        EXPECT_EQ(back.GetPaletteColor(3).rgbRed, 200) << ext;
        EXPECT_EQ(back.GetPixelIndex(5, 2), 7) << ext;
        EXPECT_EQ(d->GetPathName(), out);
    }

    // With a measurement unit the overlay is burnt into the saved file only.
    ASSERT_NE(d->m_pMeasure, nullptr);
    d->m_pMeasure->SetScale(1.0);
    ASSERT_TRUE(CQoMeasure::MenuItemEvent(2, d->m_pMeasure));
    d->m_pMeasure->OnLButtonDown(QPoint(0, 4));
    d->m_pMeasure->OnLButtonUp(QPoint(15, 4));
    ASSERT_EQ(d->m_pMeasure->UnitCount(), 1);
    const QString burnt = Path("burnt.bmp");
    prompts.fileNames.push_back(burnt);
    ASSERT_TRUE(d->DoSave(QString(), true));
    PxImage back(QFile::encodeName(burnt).constData(), 0);
    ASSERT_TRUE(back.IsValid());
    EXPECT_EQ(back.GetBpp(), 8);
    EXPECT_EQ(back.GetXDPI(), 300);
    int changed = 0;
    for (int x = 0; x < 16; x++) changed += back.GetPixelIndex(x, 8 - 1 - 4) != d->GetImage()->GetPixelIndex(x, 8 - 1 - 4);
    EXPECT_GT(changed, 4);  // the line is in the file
    for (int x = 0; x < 16; x++) EXPECT_EQ(d->GetImage()->GetPixelIndex(x, 3), static_cast<BYTE>((x + 3) & 7));
}

TEST_F(DocTest, SaveAsProposesOneExtensionAndAFailedSaveKeepsTheOldFile) {
    ASSERT_TRUE(Start());
    PxImage* img = MakeImage(4, 4);
    img->Create(4, 4, 24, 3);  // a JPEG image
    CPelidorDoc* d = NewImageDoc(img, "photo.jpg");
    ASSERT_FALSE(d->DoSave(QString(), true));  // the fake dialog is cancelled
    ASSERT_FALSE(prompts.requests.empty());
    EXPECT_EQ(prompts.requests.back().fileName, "photo.jpg");
    d->SetTitle("a#b");
    d->DoSave(QString(), true);
    EXPECT_EQ(prompts.requests.back().fileName, "UntitledImage.jpg");

    // A typed name without a known extension takes the chosen filter's one.
    prompts.fileNames.push_back(Path("typed"));
    ASSERT_TRUE(d->DoSave(QString(), true));
    EXPECT_EQ(d->GetPathName(), Path("typed.jpg"));

    // A save that fails leaves the file it would have replaced as it was.
    const QString old = Path("old.wmf");
    QFile before(old);
    ASSERT_TRUE(before.open(QIODevice::WriteOnly));
    before.write("previous contents");
    before.close();
    prompts.messages.clear();
    EXPECT_FALSE(d->OnSaveDocument(old));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0], "Save WMF not supported");
    QFile after(old);
    after.open(QIODevice::ReadOnly);
    EXPECT_EQ(after.readAll(), QByteArray("previous contents"));
    // A folder that does not exist, a place nobody may write to and a name no format claims:
    // each says why, and the document stays as it was.
    d->PushUndoSnapshot();
    d->SetModifiedFlag(true);
    const int level = d->UndoLevel();
    const auto saveFails = [&](const QString& path) {
        prompts.messages.clear();
        EXPECT_FALSE(d->OnSaveDocument(path)) << path.toStdString();
        EXPECT_TRUE(d->IsModified());
        EXPECT_EQ(d->UndoLevel(), level);
        return prompts.messages.size() == 1 ? prompts.messages[0] : QString("<%1 messages>").arg(prompts.messages.size());
    };
    EXPECT_EQ(saveFails(Path("missing/dir/x.bmp")),
              QString("Save: can't create the file: ") + QString::fromLocal8Bit(strerror(ENOENT)));
    EXPECT_TRUE(saveFails("/proc/quillory-test.bmp").startsWith("Save: can't create the file: "));
    EXPECT_EQ(saveFails(Path("plain.xyz")), "Encode: Unknown format");
    EXPECT_FALSE(QFile::exists(Path("plain.xyz")));

    // True colour as GIF: a warning, and the file is still written.
    if (PxImage::IsFormatSupported(2)) {
        prompts.messages.clear();
        EXPECT_TRUE(d->OnSaveDocument(Path("true.gif")));
        ASSERT_FALSE(prompts.messages.isEmpty());
        EXPECT_TRUE(prompts.messages[0].startsWith("The image will be saved as a true color GIF!"));
        EXPECT_TRUE(QFile::exists(Path("true.gif")));
    }
}

TEST_F(DocTest, OneBitImageWithMeasurementsKeepsItsDepthAndShowsTheLine) {
    ASSERT_TRUE(Start());
    auto* img = new PxImage(24, 8, 1, 1);
    img->SetGrayPalette();
    CPelidorDoc* d = NewImageDoc(img, "mono");
    d->m_pMeasure->ScaleLine(0);
    d->m_pMeasure->SetScale(1.0);
    CQoMeasure::MenuItemEvent(2, d->m_pMeasure);
    d->m_pMeasure->OnLButtonDown(QPoint(0, 3));
    d->m_pMeasure->OnLButtonUp(QPoint(23, 3));
    QStringList exts{"bmp"};
    if (PxImage::IsFormatSupported(9)) exts << "wbmp";  // a format that only holds one bit
    for (const QString& ext : exts) {
        const QString out = Path("m." + ext);
        ASSERT_TRUE(d->OnSaveDocument(out)) << prompts.messages.join("|").toStdString();
        PxImage back(QFile::encodeName(out).constData(), 0);
        ASSERT_TRUE(back.IsValid());
        EXPECT_EQ(back.GetBpp(), 1);
        int white = 0, elsewhere = 0;
        for (int x = 0; x < 24; x++) white += back.GetPixelIndex(x, 8 - 1 - 3) != 0;
        for (int x = 0; x < 24; x++) elsewhere += back.GetPixelIndex(x, 0) != 0;
        EXPECT_GT(white, 10) << ext.toStdString();  // the measured line is in the file
        EXPECT_EQ(elsewhere, 0) << ext.toStdString();
    }
}

TEST_F(DocTest, CropToTheSelectionWithUndo) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(20, 10));
    EXPECT_FALSE(Enabled(ID_IMAGE_CROP));
    // A rectangle selection drawn with Shift, in image coordinates (y downwards).
    d->m_SelPoints[0] = QPoint(2, 1);
    d->m_SelPoints[1] = QPoint(11, 1);
    d->m_SelPoints[2] = QPoint(11, 4);
    d->m_SelPoints[3] = QPoint(2, 4);
    d->m_SelPoints[4] = QPoint(2, 1);
    d->m_nSelPoints = 5;
    const RGBQUAD topLeft = d->GetImage()->GetPixelColor(2, 10 - 1 - 1);
    ASSERT_TRUE(Enabled(ID_IMAGE_CROP));
    app->MainFrame()->Router()->Execute(ID_IMAGE_CROP);
    EXPECT_EQ(d->GetImage()->GetWidth(), 10u);
    EXPECT_EQ(d->GetImage()->GetHeight(), 4u);
    EXPECT_EQ(d->GetImage()->GetPixelColor(0, 3).rgbRed, topLeft.rgbRed);
    d->OnEditUndo();
    EXPECT_EQ(d->GetImage()->GetWidth(), 20u);
}

// A crop the library refuses takes back only the snapshot it added: over an image without
// pixels nothing was pushed, so the earlier undo state must stay.
TEST_F(DocTest, RefusedCropKeepsTheEarlierUndoStates) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(20, 10));
    d->PushUndoSnapshot();
    ASSERT_EQ(d->UndoLevel(), 1);
    d->SetImage(new PxImage());  // an image left without pixels
    for (int i = 0; i < 5; i++) d->m_SelPoints[i] = QPoint(i % 2 ? 8 : 2, i < 2 || i == 4 ? 1 : 4);
    d->m_nSelPoints = 5;
    prompts.messages.clear();
    app->MainFrame()->Router()->Execute(ID_IMAGE_CROP);
    EXPECT_EQ(prompts.messages.size(), 1) << "the refusal is shown";
    EXPECT_EQ(d->UndoLevel(), 1);
    ASSERT_NE(d->UndoRing().At(0), nullptr);
    d->OnEditUndo();
    ASSERT_TRUE(d->GetImage()->IsValid());
    EXPECT_EQ(d->GetImage()->GetWidth(), 20u);
}

TEST_F(DocTest, RegisteredOperationsRunOnTheWorkerAndFailuresAreShownAndUndone) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(10, 10));
    std::atomic<int> seenParam{0};
    CPelidorDoc::RegisterImageOperation(40001, [&](PxImage& img, const ImageCommandParams& p) {
        seenParam = p.P2;
        img.SetPixelColor(0, 0, RGBQUAD{1, 2, 3, 0});
        return true;
    });
    ImageCommandParams params;
    params.P2 = 33333;
    ASSERT_TRUE(d->StartImageCommand(40001, params));
    d->WaitForCommand();
    EXPECT_EQ(seenParam, 33333);
    EXPECT_EQ(d->GetImage()->GetPixelColor(0, 0).rgbRed, 3);
    EXPECT_EQ(d->UndoLevel(), 1);
    d->SetModifiedFlag(false);
    prompts.messages.clear();

    // Failures: an operation that throws, one that runs out of memory, one that returns false
    // with the library's text, one that returns false saying nothing. Each is shown, its half-done
    // change is taken back, and the ring and the modified flag stay as they were.
    CPelidorDoc::RegisterImageOperation(40002, [](PxImage& img, const ImageCommandParams&) -> bool {
        img.SetPixelColor(0, 0, RGBQUAD{9, 9, 9, 0});
        throw 7;
    });
    CPelidorDoc::RegisterImageOperation(40003, [](PxImage&, const ImageCommandParams&) -> bool {
        throw std::bad_alloc();
    });
    CPelidorDoc::RegisterImageOperation(40004, [](PxImage& img, const ImageCommandParams&) {
        img.SetPixelColor(0, 0, RGBQUAD{9, 9, 9, 0});
        return img.Resample2(0, 0, PxImage::IM_BILINEAR, PxImage::OM_REPEAT);
    });
    CPelidorDoc::RegisterImageOperation(40005, [](PxImage&, const ImageCommandParams&) { return false; });
    for (int id : {40002, 40003, 40004, 40005}) {
        ASSERT_TRUE(d->StartImageCommand(id)) << id;
        d->WaitForCommand();
        EXPECT_FALSE(d->IsBusy()) << id;
        EXPECT_EQ(d->GetImage()->GetPixelColor(0, 0).rgbRed, 3) << id;
        EXPECT_EQ(d->UndoLevel(), 1) << id;
        EXPECT_FALSE(d->IsModified()) << id;
    }
    ASSERT_EQ(prompts.messages.size(), 4) << prompts.messages.join("|").toStdString();
    EXPECT_EQ(prompts.messages[0], CPelidorDoc::kCommandFailedText);
    EXPECT_EQ(prompts.messages[1], "Not enough memory for this command.");
    EXPECT_EQ(prompts.messages[2], "Resample : the new width and height must be greater than zero");
    EXPECT_EQ(prompts.messages[3], CPelidorDoc::kCommandFailedText) << "not the text left from before";
    // Undo still goes back to the picture before the one command that worked.
    d->OnEditUndo();
    EXPECT_NE(d->GetImage()->GetPixelColor(0, 0).rgbRed, 3);

    // An id without an operation runs nothing and still finishes as a step.
    ASSERT_TRUE(d->StartImageCommand(49999));
    d->WaitForCommand();
    EXPECT_FALSE(d->IsBusy());
    EXPECT_EQ(d->UndoLevel(), 1);
}

TEST_F(DocTest, CommandsRegisteredForEveryDocumentRouteThroughTheActiveOne) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(4, 4));
    CPelidorDoc* seen = nullptr;
    CPelidorDoc::RegisterDocumentCommand(
        41001, [&](CPelidorDoc& doc) { seen = &doc; },
        [](CPelidorDoc& doc, CCmdUI* ui) { ui->Enable(doc.CommandEnableImageIdle()); });
    EXPECT_TRUE(Enabled(41001));
    EXPECT_TRUE(app->MainFrame()->Router()->Execute(41001));
    EXPECT_EQ(seen, d);
    // On the start page (no image) the rule disables it.
    app->MainFrame()->MdiArea()->setActiveSubWindow(app->DocTemplate()->FrameOf(app->DocTemplate()->Documents().first()));
    EXPECT_FALSE(Enabled(41001));
}

namespace {
// Points every strip of the TIFF's page `page` past the end of the file.
bool BreakTiffPage(const QString& path, int page) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) return false;
    QByteArray d = f.readAll();
    auto u16 = [&](qsizetype o) { return o + 2 <= d.size() ? quint16(uchar(d[o]) | uchar(d[o + 1]) << 8) : 0; };
    auto u32 = [&](qsizetype o) { return o + 4 <= d.size() ? quint32(u16(o) | quint32(u16(o + 2)) << 16) : 0; };
    auto put = [&](qsizetype o, quint32 v, int size) {
        for (int i = 0; i < size && o + i < d.size(); i++) d[o + i] = char((v >> (8 * i)) & 0xFF);
    };
    if (!d.startsWith("II")) return false;
    quint32 ifd = u32(4);
    for (int n = 0; ifd && n < page; n++) ifd = u32(ifd + 2 + u16(ifd) * 12);
    if (!ifd) return false;
    bool done = false;
    for (int i = 0; i < u16(ifd); i++) {
        const qsizetype e = ifd + 2 + i * 12;
        if (u16(e) != 273) continue;  // strip offsets
        const int size = u16(e + 2) == 3 ? 2 : 4;
        const quint32 count = u32(e + 4);
        const qsizetype at = count * size <= 4 ? e + 8 : u32(e + 8);
        for (quint32 k = 0; k < count; k++) put(at + k * size, size == 2 ? 0xFFF0 : 0x7FFFFFF0, size);
        done = true;
    }
    f.seek(0);
    return done && f.write(d) == d.size();
}
}  // namespace

TEST_F(DocTest, EveryFrameOfAMultiPageFileOpensAndABrokenFrameSaysWhy) {
    if (!PxImage::IsFormatSupported(6)) GTEST_SKIP() << "TIFF codec not built";
    std::unique_ptr<PxImage> pages[3] = {std::unique_ptr<PxImage>(MakeImage(24, 16)), std::unique_ptr<PxImage>(MakeImage(24, 16)),
                                         std::unique_ptr<PxImage>(MakeImage(24, 16))};
    PxImage* list[3] = {pages[0].get(), pages[1].get(), pages[2].get()};
    for (const char* name : {"pages.tif", "broken.tif"}) {
        FILE* fp = fopen(QFile::encodeName(Path(name)).constData(), "wb");
        ASSERT_NE(fp, nullptr);
        ASSERT_TRUE(PxImage().Encode(fp, list, 3, 6));
        fclose(fp);
    }
    ASSERT_TRUE(BreakTiffPage(Path("broken.tif"), 2));
    prompts.answerOkCancel = IDOK;
    ASSERT_TRUE(Start({Path("pages.tif")}));
    QStringList titles;
    for (CDocument* d : app->DocTemplate()->Documents()) titles << d->GetTitle();
    EXPECT_EQ(titles, (QStringList{"Start Page", "pages.tif", "pages.tif (2)", "pages.tif (3)"}));
    EXPECT_TRUE(prompts.messages.contains("File with 3 images. Read all?"));

    // The third frame does not read: its reason is shown, its document goes, the others stay.
    Pump();  // the camera launch's message first
    prompts.messages.clear();
    app->DocTemplate()->OpenDocumentFile(Path("broken.tif"));
    Pump();
    titles.clear();
    for (CDocument* d : app->DocTemplate()->Documents()) titles << d->GetTitle();
    EXPECT_EQ(titles.mid(4), (QStringList{"broken.tif", "broken.tif (2)"}));
    ASSERT_EQ(prompts.messages.size(), 2) << prompts.messages.join(" | ").toStdString();
    EXPECT_EQ(prompts.messages[1], "Corrupted TIFF file!");
    for (CDocument* d : app->DocTemplate()->Documents()) {
        if (d->GetTitle() != "Start Page") {
            EXPECT_TRUE(static_cast<CPelidorDoc*>(d)->GetImage()->IsValid());
        }
    }
}

namespace {
// The centre of the bright pixels of a dark image, y growing downwards (pixel centres at +0.5).
QPointF BrightCentre(PxImage* img) {
    double sx = 0, sy = 0, n = 0;
    const int w = static_cast<int>(img->GetWidth()), h = static_cast<int>(img->GetHeight());
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (img->GetPixelColor(x, h - 1 - y).rgbGreen > 128) {
                sx += x + 0.5;
                sy += y + 0.5;
                n++;
            }
    return n ? QPointF(sx / n, sy / n) : QPointF(-1, -1);
}
}  // namespace

TEST_F(DocTest, MeasurementsFollowResampleTurnAndCropAndTheirUndo) {
    ASSERT_TRUE(Start());
    auto* img = new PxImage(200, 100, 24, 1);
    for (int y = 18; y < 24; y++)  // a bright 6 x 6 spot centred at (150, 21), y downwards
        for (int x = 147; x < 153; x++) img->SetPixelColor(x, 99 - y, RGBQUAD{255, 255, 255, 0});
    CPelidorDoc* d = NewImageDoc(img);
    CQoMeasure* m = d->m_pMeasure;
    ASSERT_TRUE(m);
    m->SetActiveCalibrateList(m->AddCalibration("10x", 0.5, "um"));
    m->SetScale(1.0);
    ASSERT_TRUE(CQoMeasure::MenuItemEvent(2, m));
    m->OnLButtonDown(QPoint(150, 21));
    m->OnLButtonUp(QPoint(50, 21));
    ASSERT_DOUBLE_EQ(m->UnitLength(0), 50.0);
    auto run = [&](int id, ImageCommandParams p) {
        ASSERT_TRUE(d->StartImageCommand(id, p));
        d->WaitForCommand();
        ASSERT_FALSE(d->IsBusy());
    };
    auto onSpot = [&](const char* what) {
        const QPointF spot = BrightCentre(d->GetImage()), unit = m->UnitAt(0).points[0];
        EXPECT_LT(QLineF(spot, unit).length(), 1.5) << what << " spot " << spot.x() << "," << spot.y() << " unit "
                                                   << unit.x() << "," << unit.y();
        EXPECT_NEAR(m->UnitLength(0), 50.0, 1e-6) << what;  // the same line in the same units
    };

    // Half size: the line lies on the same spot and a pixel is worth twice as much.
    run(ID_IMAGE_RESAMPLE, ImageCommandParams{100, 50, 0, 0, 0});
    onSpot("resample");
    EXPECT_DOUBLE_EQ(m->CalibrationAt(1).unitsPerPixel, 1.0);
    EXPECT_DOUBLE_EQ(m->CalibrationAt(0).unitsPerPixel, 1.0);  // "Pixel" counts the new pixels
    d->OnEditUndo();
    EXPECT_EQ(m->UnitAt(0).points[0], QPointF(150, 21));
    EXPECT_DOUBLE_EQ(m->CalibrationAt(1).unitsPerPixel, 0.5);
    d->OnEditRedo();
    onSpot("redo");
    d->OnEditUndo();

    // Turns (free and by quarters), mirror and flip, each undone again.
    const std::pair<UINT, ImageCommandParams> moves[] = {
        {ID_IMAGE_ROTATE, {30000, 0, 1, 0, 0}}, {ID_IMAGE_ROTATE, {90000, 0, 1, 0, 0}}, {ID_IMAGE_ROTATEL, {}},
        {ID_IMAGE_MIRROR, {}}, {ID_IMAGE_FLIP, {}}};
    for (const auto& [id, params] : moves) {
        run(static_cast<int>(id), params);
        onSpot(QString("command %1 angle %2").arg(id).arg(params.P0).toUtf8().constData());
        d->OnEditUndo();
        onSpot("undone");
    }

    // A crop moves the picture's origin; a turned one turns it too.
    d->m_SelPoints[0] = QPoint(100, 10);
    d->m_SelPoints[1] = QPoint(180, 10);
    d->m_SelPoints[2] = QPoint(180, 40);
    d->m_nSelPoints = 3;
    app->MainFrame()->Router()->Execute(ID_IMAGE_CROP);
    ASSERT_EQ(d->GetImage()->GetWidth(), 81u);
    onSpot("crop");
    d->OnEditUndo();
    const QPoint turned[5] = {{129, 6}, {185, 27}, {172, 64}, {115, 44}, {129, 6}};  // 60 x 40 at 20 degrees
    std::copy(turned, turned + 5, d->m_SelPoints);
    d->m_nSelPoints = 5;
    d->m_bRotatedSelection = true;
    app->MainFrame()->Router()->Execute(ID_IMAGE_CROP);
    ASSERT_LT(d->GetImage()->GetWidth(), 70u);
    onSpot("turned crop");
}
