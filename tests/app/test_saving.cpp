// Saving as a user meets it: the dialog's extension, the encoder off the UI thread, the
// status bar afterwards, and the messages of failed opens and saves.
#include <QComboBox>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <cerrno>
#include <cstring>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "outside/vekmeasure/qomeasure.h"
#include "ui/messages.h"
#include "imagelib/pxrandom.h"
#include "apptest.h"

namespace {
// Runs the program's real file dialog: picks a filter row with the keyboard, as a user would,
// and types a name without an extension.
class DialogPrompts : public FakePrompts {
public:
    bool FileDialog(QWidget* parent, FileDialogRequest& r) override {
        requests.push_back(r);
        std::unique_ptr<QFileDialog> dlg(CPromptService::CreateFileDialog(parent, r));
        dlg->setOption(QFileDialog::DontUseNativeDialog);
        dlg->show();
        auto* combo = dlg->findChild<QComboBox*>("fileTypeCombo");
        auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
        if (!combo || !edit) return false;
        QTest::keyClick(combo, Qt::Key_Home);
        for (int i = 1; i < filterRow; i++) QTest::keyClick(combo, Qt::Key_Down);
        edit->clear();
        QTest::keyClicks(edit, typed);
        QMetaObject::invokeMethod(dlg.get(), "accept");
        return CPromptService::ReadFileDialog(*dlg, r);
    }
    int filterRow = 1;  // 1-based
    QString typed;
};
}  // namespace

class SaveDialogTest : public AppTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        oldPrompts = CPromptService::Replace(&dialogPrompts);
    }
    DialogPrompts dialogPrompts;
};

TEST_F(SaveDialogTest, EachFilterWritesItsFormatUnderItsExtension) {
    ASSERT_TRUE(Start({SaveBmp("src.bmp", 12, 10)}));
    CPelidorDoc* d = app->MainFrame()->ActiveDocument();
    ASSERT_TRUE(d);
    int count = 0;
    const CFormatRow* rows = FormatTable(&count);
    int position = 0;
    for (int i = 0; i < count; i++) {
        if (!rows[i].canSave) continue;
        position++;
        if (rows[i].id < 0) continue;
        const QString ext = QString(rows[i].pattern).section(';', 0, 0).mid(2);
        dialogPrompts.filterRow = position;
        dialogPrompts.typed = Path(QString("out_%1").arg(ext));
        SCOPED_TRACE(rows[i].description);
        dialogPrompts.messages.clear();
        // WMF has no writer, WBMP takes only 1-bit and PGX only grey pictures: they refuse this
        // 24-bit one with their message.
        const bool built = rows[i].id != 10 && rows[i].id != 9 && rows[i].id != 13;
        const QString written = Path(QString("out_%1.%2").arg(ext, ext));
        if (!built) {
            // A format that cannot hold the picture: its message, nothing written.
            EXPECT_FALSE(d->DoSave(QString(), false));
            ASSERT_FALSE(dialogPrompts.messages.isEmpty());
            EXPECT_FALSE(dialogPrompts.messages.last().trimmed().isEmpty());
            EXPECT_FALSE(QFileInfo::exists(written));
            continue;
        }
        ASSERT_TRUE(d->DoSave(QString(), false)) << dialogPrompts.messages.join("|").toStdString();
        ASSERT_TRUE(QFileInfo::exists(written));
        PxImage back(QFile::encodeName(written).constData(), 0);  // by its contents
        EXPECT_TRUE(back.IsValid()) << back.GetLastError();
        EXPECT_EQ(back.GetType(), static_cast<DWORD>(rows[i].id));
    }
    // The dialog started on the file's own format each time (BMP is the second save row).
    EXPECT_EQ(dialogPrompts.requests.front().filterIndex, 2);
}

TEST_F(AppTest, LargeSaveRunsOffTheUiThreadAndRefusesASecondSaveAs) {
    ASSERT_TRUE(Start({SaveBmp("big.bmp", 4, 4)}));
    CMainFrame* mf = app->MainFrame();
    CPelidorDoc* d = mf->ActiveDocument();
    ASSERT_TRUE(d);
    // Noise: a smooth picture compresses so fast that the save could end before the UI ticks.
    PxImage* noisy = MakeImage(3000, 2000);
    px::Rand15 r(7);
    for (DWORD y = 0; y < noisy->GetHeight(); y++) {
        BYTE* row = noisy->GetBits(y);
        for (DWORD x = 0; x < noisy->GetEffWidth(); x++) row[x] = static_cast<BYTE>(r.Next());
    }
    d->SetImage(noisy);
    d->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    Pump(100);  // the first paint of the large image and the camera launch's answer come first
    prompts.messages.clear();
    prompts.fileNames = {Path("big.png"), Path("second.png")};

    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks++; });
    timer.start(5);
    ASSERT_TRUE(mf->Router()->Execute(ID_FILE_SAVE_AS));
    EXPECT_TRUE(d->IsBusy());  // returned with the encoder still running
    EXPECT_FALSE(mf->Router()->Action(ID_FILE_SAVE_AS)->isEnabled());
    // A click meanwhile opens nothing, neither by the button nor by the command.
    if (QWidget* button = mf->StandardBar()->widgetForAction(mf->Router()->Action(ID_FILE_SAVE_AS)))
        QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(mf->Router()->Execute(ID_FILE_SAVE_AS));
    // The window goes on while the file is written: the UI's own timer ticks meanwhile.
    ASSERT_TRUE(PumpUntil([&] { return !d->IsBusy(); }, 60000));
    timer.stop();
    Pump(50);

    EXPECT_EQ(prompts.requests.size(), 1u);
    EXPECT_GT(ticks, 5);
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path("second.png")));
    PxImage back(QFile::encodeName(Path("big.png")).constData(), 4);
    ASSERT_TRUE(back.IsValid());
    EXPECT_EQ(back.GetWidth(), 3000u);
    EXPECT_EQ(d->GetPathName(), Path("big.png"));
    // The stopwatch time and the new format reach the status bar.
    EXPECT_TRUE(mf->PaneText(2).startsWith("Time (s): ")) << mf->PaneText(2).toStdString();
    EXPECT_EQ(mf->PaneText(3), "PNG");
    EXPECT_TRUE(mf->Router()->Query(ID_FILE_SAVE_AS).m_bEnabled);
    // The next Save As starts on the format the file has now.
    prompts.fileNames = {Path("again.png")};
    ASSERT_TRUE(d->DoSave(QString(), true));
    EXPECT_EQ(prompts.requests.back().filterIndex, 5);  // "PNG files" among the save rows
}

TEST_F(AppTest, FailedOpensAndSavesNeverShowAnEmptyMessage) {
    ASSERT_TRUE(Start());
    Pump();
    prompts.messages.clear();  // the camera launch's answer
    EXPECT_EQ(app->DocTemplate()->OpenDocumentFile(Path("nothere.png")), nullptr);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains("nothere.png")) << prompts.messages[0].toStdString();
    EXPECT_TRUE(prompts.messages[0].contains(QString::fromLocal8Bit(strerror(ENOENT))));

    // A file that opens but holds no image: still a sentence, never an empty box.
    QFile junk(Path("junk.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not an image");
    junk.close();
    prompts.messages.clear();
    EXPECT_EQ(app->DocTemplate()->OpenDocumentFile(Path("junk.png")), nullptr);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_FALSE(prompts.messages[0].trimmed().isEmpty());

    // The library's own text wins; an empty one becomes a sentence with the system's reason.
    EXPECT_EQ(FileFailureText("PNG: write error", false, "/a/b.png", EACCES), "PNG: write error");
    const QString text = FileFailureText("", false, "/a/b.png", EACCES);
    EXPECT_TRUE(text.contains("/a/b.png") && text.contains(QString::fromLocal8Bit(strerror(EACCES))))
        << text.toStdString();
}

// Each failed open shows the library's own reason, exactly, and the file stays as it was.
TEST_F(AppTest, FailedOpensShowTheLibrarysReasonAndLeaveTheFile) {
    ASSERT_TRUE(Start());
    Pump();
    auto openFails = [&](const QString& name) {
        prompts.messages.clear();
        EXPECT_EQ(app->DocTemplate()->OpenDocumentFile(Path(name)), nullptr) << name.toStdString();
        return prompts.messages.size() == 1 ? prompts.messages[0] : QString("<%1 messages>").arg(prompts.messages.size());
    };
    EXPECT_EQ(openFails("gone.png"), QString("Load: can't open \"gone.png\": ") + QString::fromLocal8Bit(strerror(ENOENT)));

    // What the PNG reader says of these bytes is what the user reads.
    auto writeFile = [&](const QString& name, const QByteArray& bytes) {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    auto pngReason = [](QByteArray bytes) {
        PxImage probe;
        probe.Decode(reinterpret_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), PXIMAGE_FORMAT_PNG);
        return QString::fromUtf8(probe.GetLastError());
    };
    const QByteArray text = "plain text, not a picture\n";
    writeFile("text.png", text);
    EXPECT_FALSE(pngReason(text).isEmpty());
    EXPECT_EQ(openFails("text.png"), pngReason(text));

    const QString whole = SaveBmp("whole.bmp", 200, 100);
    PxImage picture(QFile::encodeName(whole).constData(), PXIMAGE_FORMAT_BMP);
    ASSERT_TRUE(picture.Save(QFile::encodeName(Path("cut.png")).constData(), PXIMAGE_FORMAT_PNG));
    QFile cut(Path("cut.png"));
    ASSERT_TRUE(cut.open(QIODevice::ReadOnly));
    const QByteArray half = cut.read(cut.size() / 2);
    cut.close();
    writeFile("cut.png", half);
    EXPECT_FALSE(pngReason(half).isEmpty());
    EXPECT_EQ(openFails("cut.png"), pngReason(half));
    QFile after(Path("cut.png"));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), half) << "the file is only read";
}

TEST_F(AppTest, SaveAsBurnsTheMeasurementsIntoTheFileOnlyWithTheScaleLabelWhole) {
    const QString source = SaveBmp("measured.bmp", 400, 300);
    ASSERT_TRUE(Start({source}));
    CMainFrame* mf = app->MainFrame();
    CPelidorDoc* d = mf->ActiveDocument();
    ASSERT_TRUE(d && d->m_pMeasure);
    // A line drawn with the mouse on a calibrated image shown at a quarter, with the scale line.
    d->m_pMeasure->SetActiveCalibrateList(d->m_pMeasure->AddCalibration("10x", 0.27, "um"));
    ASSERT_TRUE(mf->Router()->Execute(ID_MEASURE_LINE));
    if (!d->m_bShowScaleLine) {
        ASSERT_TRUE(mf->Router()->Execute(ID_MEASURE_SHOWSCALELINE));
    }
    CPelidorView* view = d->GetFirstPelidorView();
    view->ZoomList("25");
    Pump(50);
    const QPoint at = view->ImageRect().topLeft();
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at + QPoint(10, 40));
    QTest::mouseMove(view->viewport(), at + QPoint(80, 40));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at + QPoint(80, 40));
    ASSERT_EQ(d->m_pMeasure->UnitCount(), 1);

    prompts.messages.clear();  // the camera launch's answer
    prompts.fileNames = {Path("measured.png")};
    ASSERT_TRUE(mf->Router()->Execute(ID_FILE_SAVE_AS));
    d->WaitForCommand();
    Pump(50);
    ASSERT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();

    PxImage original(QFile::encodeName(source).constData(), 1), saved(QFile::encodeName(Path("measured.png")).constData(), 4);
    ASSERT_TRUE(saved.IsValid());
    PxImage* open = d->GetImage();
    int openChanged = 0, savedChanged = 0, topRowChanged = 0;
    for (DWORD y = 0; y < original.GetHeight(); y++)
        for (DWORD x = 0; x < original.GetWidth(); x++) {
            const RGBQUAD o = original.GetPixelColor(x, y), p = open->GetPixelColor(x, y), s = saved.GetPixelColor(x, y);
            openChanged += memcmp(&o, &p, 3) != 0;
            const bool burnt = memcmp(&o, &s, 3) != 0;
            savedChanged += burnt;
            topRowChanged += burnt && y == original.GetHeight() - 1;
        }
    EXPECT_EQ(openChanged, 0);    // the open image stays clean
    EXPECT_GT(savedChanged, 100);  // the line, its label and the scale line are in the file
    EXPECT_EQ(topRowChanged, 0);   // the scale line's label is not cut by the top edge
}
