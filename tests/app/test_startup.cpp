// Start-up, the start page, the profile and the single instance.
#include <QApplication>
#include <QEvent>
#include <QMdiArea>
#include <QDockWidget>
#include <QMdiSubWindow>

#include "app/docview.h"
#include "app/foldertreectrl.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "app/thumbnaillistctrl.h"
#include "ui/profile.h"
#include "apptest.h"

#include <QTemporaryDir>

TEST_F(AppTest, FileArgumentOpensBesideTheStartPage) {
    const QString bmp = SaveBmp("a.bmp", 40, 30);
    ASSERT_TRUE(Start({bmp}));
    Pump(50);
    QList<CDocument*> docs = app->DocTemplate()->Documents();
    ASSERT_EQ(docs.size(), 2);
    auto* start = dynamic_cast<CPelidorDoc*>(docs[0]);
    auto* image = dynamic_cast<CPelidorDoc*>(docs[1]);
    EXPECT_TRUE(start->m_bStartPage);
    EXPECT_EQ(start->GetImage(), nullptr);
    EXPECT_EQ(start->m_pMeasure, nullptr);
    ASSERT_NE(image->GetImage(), nullptr);
    EXPECT_FALSE(image->m_bStartPage);
    EXPECT_NE(image->m_pMeasure, nullptr);
    EXPECT_EQ(image->GetImage()->GetWidth(), 40u);
    // Both views paint without trouble.
    for (CDocument* d : docs) d->FirstView()->grab();
    // The camera launch finds no camera.
    EXPECT_TRUE(prompts.messages.contains("No Camera!"));
    EXPECT_EQ(app->MainFrame()->PaneText(4), "(40x30x24)");
    EXPECT_EQ(app->MainFrame()->PaneText(3), "BMP");

    // The start page refuses to close until the program exits.
    QMdiSubWindow* startFrame = app->DocTemplate()->FrameOf(start);
    startFrame->close();
    Pump();
    EXPECT_TRUE(prompts.messages.contains(QString::fromUtf8("Start Page\xEF\xBC\x8C" "Cannot close!")));
    EXPECT_EQ(app->DocTemplate()->Documents().size(), 2);
}

TEST_F(AppTest, ProfileDefaultsAndSettingsWrittenAtClose) {
    ASSERT_TRUE(Start());
    EXPECT_STREQ(app->m_TextInfo.lfont.lfFaceName, "Arial");
    EXPECT_EQ(app->m_TextInfo.lfont.lfCharSet, 238);
    EXPECT_EQ(app->m_TextInfo.lfont.lfHeight, -36);
    EXPECT_EQ(app->m_TextInfo.fcolor, 0xA0FFFFu);
    EXPECT_EQ(app->m_TextInfo.bcolor, 0x6020u);
    EXPECT_EQ(app->m_TextInfo.opaque, 1);
    EXPECT_EQ(app->m_TextInfo.r_radius, 25);
    EXPECT_EQ(app->m_nJpegQuality, 90);
    app->m_nJpegQuality = 77;
    app->m_TextInfo.b_opacity = 0.456f;
    app->MainFrame()->SaveSettings();
    CProfile reread(Path("cfg/Quillory.ini"));
    EXPECT_EQ(reread.GetProfileInt("Options", "JpegQuality", 0), 77);
    EXPECT_EQ(reread.GetProfileInt("TextTool", "opacity", 0), 46);
    EXPECT_EQ(reread.GetProfileInt("TextTool", "roundradius", 0), 25);
}

TEST_F(AppTest, SecondInstanceIsRefused) {
    ASSERT_TRUE(Start());
    CPelidorApp* first = app.release();
    {
        CPelidorApp second(Path("cfg/Quillory.ini"));
        EXPECT_FALSE(second.InitInstance({"-nologo"}));
        EXPECT_TRUE(prompts.messages.contains("Quillory is running!"));
    }
    app.reset(first);
    // Once the first one ends, the lock is free again.
    app->ExitInstance();
    app.reset();
    ASSERT_TRUE(Start());
}

// Opening a camera holds the program for half a second: the launch posted at start-up waits until
// the main frame has drawn itself, or the new window would stay empty all that time.
TEST_F(AppTest, StartUpCameraLaunchWaitsForTheMainFramesFirstPicture) {
    struct PaintCount : QObject {
        int paints = 0;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Paint)
                if (auto* w = qobject_cast<QWidget*>(o); w && w->window()->objectName() == "MainFrame") paints++;
            return false;
        }
    } count;
    struct LaunchPrompts : FakePrompts {
        const PaintCount* count = nullptr;
        int paintsAtMessage = -1;
        int MessageBox(QWidget* w, const QString& text, const QString& caption, int type) override {
            if (text == "No Camera!" && paintsAtMessage < 0) paintsAtMessage = count->paints;
            return FakePrompts::MessageBox(w, text, caption, type);
        }
    } launch;
    launch.count = &count;
    CPromptService::Replace(&launch);
    qApp->installEventFilter(&count);
    ASSERT_TRUE(Start());
    for (int i = 0; i < 200 && launch.paintsAtMessage < 0; i++) Pump(5);
    qApp->removeEventFilter(&count);
    app->ExitInstance();
    app.reset();
    CPromptService::Replace(&prompts);
    ASSERT_GE(launch.paintsAtMessage, 0) << "the launch never ran";
    EXPECT_GT(launch.paintsAtMessage, 0);
}

// The "Folder" pane's tree (its file system model looks up an icon for every folder) is made
// after the frame's first picture, by itself, and follows the start page's list.
TEST_F(AppTest, FolderTreeComesAfterTheFirstPictureAndFollowsTheStartPage) {
    struct FirstPaint : QObject {
        int treeAtFirstPaint = -1;
        bool eventFilter(QObject* o, QEvent* e) override {
            CMainFrame* mf = AfxGetMainFrame();
            if (treeAtFirstPaint < 0 && e->type() == QEvent::Paint && mf)
                if (auto* w = qobject_cast<QWidget*>(o); w && w->window() == mf)
                    treeAtFirstPaint = mf->FolderPane()->widget() != nullptr;
            return false;
        }
    } first;
    qApp->installEventFilter(&first);
    ASSERT_TRUE(Start());
    CMainFrame* mf = app->MainFrame();
    const bool made = PumpUntil([&] { return mf->FolderPane()->widget() && first.treeAtFirstPaint >= 0; });
    qApp->removeEventFilter(&first);
    ASSERT_TRUE(made);
    EXPECT_EQ(first.treeAtFirstPaint, 0);
    auto* tree = dynamic_cast<CFolderTreeCtrl*>(mf->FolderPane()->widget());
    ASSERT_NE(tree, nullptr);
    EXPECT_FALSE(mf->FolderPane()->isHidden());
    EXPECT_EQ(tree->List(), CThumbnailListCtrl::Instance());
    EXPECT_EQ(CThumbnailListCtrl::Instance()->Tree(), tree);
    EXPECT_EQ(tree->SelectedFolder(), CThumbnailListCtrl::Instance()->CurrentFolder());
}

TEST_F(AppTest, CorruptFileReportsTheLibraryReasonAndKeepsOpenDocuments) {
    const QString good = SaveBmp("good.bmp", 8, 8);
    const QString bad = Path("bad.bmp");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("BM this is not a bitmap at all");
    f.close();
    ASSERT_TRUE(Start({good}));
    Pump();  // the camera launch's message comes first
    const int before = app->DocTemplate()->Documents().size();
    prompts.messages.clear();
    EXPECT_EQ(app->DocTemplate()->OpenDocumentFile(bad), nullptr);
    // A good file without an extension is read by detection.
    QFile::copy(good, Path("noext"));
    ASSERT_NE(app->DocTemplate()->OpenDocumentFile(Path("noext")), nullptr);
    app->DocTemplate()->FrameOf(app->MainFrame()->ActiveDocument())->close();
    Pump();
    ASSERT_EQ(prompts.messages.size(), 1) << prompts.messages.join("|").toStdString();
    EXPECT_FALSE(prompts.messages[0].isEmpty());
    EXPECT_EQ(app->DocTemplate()->Documents().size(), before);
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->Documents().last());
    ASSERT_NE(doc->GetImage(), nullptr);
    EXPECT_TRUE(doc->GetImage()->IsValid());
}

TEST_F(AppTest, JpegOpensWithItsExifReadAndPngWithItsType) {
    if (!PxImage::IsFormatSupported(3) || !PxImage::IsFormatSupported(4)) GTEST_SKIP() << "codecs not built";
    std::unique_ptr<PxImage> img(MakeImage(16, 12));
    ASSERT_TRUE(img->Save(QFile::encodeName(Path("p.jpg")).constData(), 3)) << img->GetLastError();
    ASSERT_TRUE(img->Save(QFile::encodeName(Path("p.png")).constData(), 4)) << img->GetLastError();
    ASSERT_TRUE(Start({Path("p.jpg"), Path("p.png")}));
    auto docs = app->DocTemplate()->Documents();
    ASSERT_EQ(docs.size(), 3);
    auto* jpg = dynamic_cast<CPelidorDoc*>(docs[1]);
    auto* png = dynamic_cast<CPelidorDoc*>(docs[2]);
    EXPECT_EQ(jpg->GetImage()->GetType(), 3u);
    EXPECT_FALSE(jpg->m_exifHolder.m_exifinfo.isExif);  // our encoder writes no EXIF block
    EXPECT_EQ(png->GetImage()->GetType(), 4u);
    EXPECT_EQ(app->MainFrame()->PaneText(3), "PNG");
}

// The profile is the one INI format of the platform: names compare without case, as the Windows
// profile calls do, and every write is on disk before the next start reads it.
TEST(Profile, NamesIgnoreCaseAndWritesSurviveARestart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/Quillory.ini");
    {
        CProfile p(path);
        p.WriteProfileInt("Options", "JpegQuality", 77);
        p.WriteProfileString("TextTool", "lfFaceName", QString::fromUtf8("Dejav\xC3\xBC Sans"));
        p.WriteProfileBinary("CommandBars", "State", QByteArray("\x00\x01\xFFlayout", 9));
        for (int i = 0; i < 11; i++) p.AddRecentFile(QString("/img/%1.bmp").arg(i));
    }
    CProfile again(path);
    EXPECT_EQ(again.GetProfileInt("OPTIONS", "jpegquality", 0), 77);
    EXPECT_EQ(again.GetProfileString("texttool", "LFFACENAME"), QString::fromUtf8("Dejav\xC3\xBC Sans"));
    EXPECT_EQ(again.GetProfileBinary("CommandBars", "State"), QByteArray("\x00\x01\xFFlayout", 9));
    const QStringList recent = again.RecentFiles();
    ASSERT_EQ(recent.size(), 9);
    EXPECT_EQ(recent.front(), "/img/10.bmp");
    EXPECT_EQ(recent.back(), "/img/2.bmp");
    // A value that is not a number falls back to the default instead of reading as 0.
    again.WriteProfileString("Options", "JpegQuality", "high");
    EXPECT_EQ(again.GetProfileInt("Options", "JpegQuality", 90), 90);
}

// Every format the image library writes comes back as a document through the program's open path,
// chosen by the file's extension, with the picture's size and no message.
TEST_F(AppTest, EveryWrittenFormatOpensAsADocument) {
    struct Case {
        const char* name;
        DWORD type;
        WORD bpp;
    };
    const Case cases[] = {{"f.bmp", 1, 24}, {"f.gif", 2, 8},  {"f.jpg", 3, 24}, {"f.png", 4, 24}, {"f.ico", 5, 24},
                          {"f.tif", 6, 24}, {"f.tga", 7, 24}, {"f.pcx", 8, 24}, {"f.wbmp", 9, 1}, {"f.jp2", 11, 24},
                          {"f.jpc", 12, 24}, {"f.pgx", 13, 8}, {"f.ppm", 14, 24}, {"f.ras", 15, 24}};
    QStringList files;
    QList<const Case*> written;
    for (const Case& c : cases) {
        if (!PxImage::IsFormatSupported(c.type)) continue;
        std::unique_ptr<PxImage> img(MakeImage(24, 16));
        if (c.bpp == 8) {
            ASSERT_TRUE(img->GrayScale());
        }
        if (c.bpp == 1) {
            ASSERT_TRUE(img->DecreaseBpp(1, false));
        }
        ASSERT_TRUE(img->Save(QFile::encodeName(Path(c.name)).constData(), c.type)) << c.name << ": " << img->GetLastError();
        files << Path(c.name);
        written << &c;
    }
    ASSERT_GE(files.size(), 5);  // BMP, GIF, JPEG, PNG and TIFF at least; the others as their codecs exist
    ASSERT_TRUE(Start(files));
    auto docs = app->DocTemplate()->Documents();
    ASSERT_EQ(docs.size(), files.size() + 1);
    for (int i = 0; i < written.size(); i++) {
        auto* d = dynamic_cast<CPelidorDoc*>(docs[i + 1]);
        ASSERT_NE(d->GetImage(), nullptr) << written[i]->name;
        EXPECT_EQ(d->GetImage()->GetWidth(), 24u) << written[i]->name;
        EXPECT_EQ(d->GetImage()->GetHeight(), 16u) << written[i]->name;
        EXPECT_EQ(d->GetImage()->GetType(), written[i]->type) << written[i]->name;
    }
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(" | ").toStdString();
}
