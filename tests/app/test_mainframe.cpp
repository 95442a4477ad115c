// The main frame's own behaviour: splash, full screen, tab context menu, dropped files.
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include "app/cmdids.h"
#include "app/docview.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "app/startupsplash.h"
#include "apptest.h"

TEST_F(AppTest, SplashTakesTheFirstKeyAndCanBeSwitchedOff) {
    ASSERT_TRUE(Start());
    CSplashFilter filter;
    qApp->installEventFilter(&filter);
    QLineEdit edit;
    CStartupSplash::EnableSplashScreen(true);
    CStartupSplash::ShowSplashScreen(app->MainFrame());
    ASSERT_NE(CStartupSplash::Current(), nullptr);
    QTest::keyClick(&edit, Qt::Key_A);
    EXPECT_EQ(CStartupSplash::Current(), nullptr);
    EXPECT_TRUE(edit.text().isEmpty());  // the key did not reach the window
    QTest::keyClick(&edit, Qt::Key_B);
    EXPECT_EQ(edit.text(), "b");
    CStartupSplash::EnableSplashScreen(false);
    CStartupSplash::ShowSplashScreen(app->MainFrame());
    EXPECT_EQ(CStartupSplash::Current(), nullptr);
    qApp->removeEventFilter(&filter);
}

TEST_F(AppTest, FullScreenHidesTheBarsAndComesBack) {
    ASSERT_TRUE(Start({SaveBmp("f.bmp", 4, 4)}));
    CMainFrame* mf = app->MainFrame();
    mf->Router()->Execute(ID_VIEW_FULLSCREEN);
    EXPECT_TRUE(mf->IsFullScreen());
    EXPECT_TRUE(mf->Router()->Query(ID_VIEW_FULLSCREEN).m_nCheck == 1);
    EXPECT_FALSE(mf->StandardBar()->isVisible());
    EXPECT_FALSE(mf->StatusBarWidget()->isVisible());
    // Escape in the view leaves full screen.
    QTest::keyClick(mf->ActiveView(), Qt::Key_Escape);
    Pump();
    EXPECT_FALSE(mf->IsFullScreen());
    EXPECT_TRUE(mf->StandardBar()->isVisible());
}

TEST_F(AppTest, TabContextMenuActivatesTheChildUnderTheMouse) {
    ASSERT_TRUE(Start({SaveBmp("t.bmp", 4, 4)}));
    CMainFrame* mf = app->MainFrame();
    QTabBar* tabs = mf->MdiArea()->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_FALSE(mf->OnTabClientMouse(QPoint(-50, -50), false));
    ASSERT_TRUE(mf->OnTabClientMouse(tabs->tabRect(0).center(), false));
    EXPECT_TRUE(mf->ActiveDocument()->m_bStartPage);
    ASSERT_TRUE(mf->OnTabClientMouse(tabs->tabRect(1).center(), false));
    EXPECT_FALSE(mf->ActiveDocument()->m_bStartPage);
}

TEST_F(AppTest, DroppedFilesOpenAndLongExposureTogglesWithoutACamera) {
    ASSERT_TRUE(Start());
    CMainFrame* mf = app->MainFrame();
    mf->OnDropFiles({QUrl::fromLocalFile(SaveBmp("d1.bmp", 3, 3)), QUrl::fromLocalFile(SaveBmp("d2.bmp", 5, 5))});
    EXPECT_EQ(app->DocTemplate()->Documents().size(), 3);
    EXPECT_EQ(mf->ActiveDocument()->GetImage()->GetWidth(), 5u);
    // Opening an open file again only activates it.
    app->DocTemplate()->OpenDocumentFile(Path("d1.bmp"));
    EXPECT_EQ(app->DocTemplate()->Documents().size(), 3);
    EXPECT_EQ(mf->ActiveDocument()->GetImage()->GetWidth(), 3u);
    EXPECT_EQ(app->Profile().RecentFiles().first(), Path("d2.bmp"));

    mf->Router()->Execute(ID_CAMERA_LONGEXPOSURE);
    EXPECT_EQ(mf->m_bLongExposure, 1);

    // "Cascade" staggers the windows at a size to work in, each wholly inside the area.
    mf->FillWindowMenu();
    mf->WindowMenu()->actions().at(0)->trigger();
    Pump();
    const QRect area(QPoint(), mf->MdiArea()->viewport()->size());
    const QList<QMdiSubWindow*> subs = mf->MdiArea()->subWindowList();
    ASSERT_EQ(subs.size(), 3);
    for (QMdiSubWindow* sub : subs) {
        EXPECT_GE(sub->width(), area.width() * 2 / 3);
        EXPECT_GE(sub->height(), area.height() * 2 / 3);
        EXPECT_TRUE(area.contains(sub->geometry()));
    }
    EXPECT_NE(subs[0]->pos(), subs[1]->pos());
}

// Cancel on one multi-page file's "Read all?" answers for that file only: every dropped file opens.
TEST_F(AppTest, CancellingReadAllForOneDroppedFileOpensTheRest) {
    if (!PxImage::IsFormatSupported(6)) GTEST_SKIP() << "TIFF codec not built";
    std::unique_ptr<PxImage> pages[3] = {std::unique_ptr<PxImage>(MakeImage(8, 6)), std::unique_ptr<PxImage>(MakeImage(8, 6)),
                                         std::unique_ptr<PxImage>(MakeImage(8, 6))};
    PxImage* list[3] = {pages[0].get(), pages[1].get(), pages[2].get()};
    FILE* fp = fopen(QFile::encodeName(Path("pages.tif")).constData(), "wb");
    ASSERT_NE(fp, nullptr);
    ASSERT_TRUE(PxImage().Encode(fp, list, 3, 6));
    fclose(fp);
    QList<QUrl> urls;
    for (int i = 0; i < 12; i++) {
        if (i == 4) urls << QUrl::fromLocalFile(Path("pages.tif"));
        urls << QUrl::fromLocalFile(SaveBmp(QString("f%1.bmp").arg(i), 4 + i, 4));
    }
    ASSERT_TRUE(Start());
    prompts.answerOkCancel = IDCANCEL;
    app->MainFrame()->OnDropFiles(urls);
    EXPECT_TRUE(prompts.messages.contains("File with 3 images. Read all?"));
    EXPECT_EQ(app->DocTemplate()->Documents().size(), 14);  // the start page and the 13 files
}

TEST_F(AppTest, BarLayoutIsKeptInTheProfile) {
    ASSERT_TRUE(Start());
    app->MainFrame()->StandardBar()->hide();
    app->MainFrame()->SaveSettings();
    app->ExitInstance();
    app.reset();
    ASSERT_TRUE(Start());
    Pump();
    EXPECT_TRUE(app->MainFrame()->StandardBar()->isHidden());
}

TEST_F(AppTest, ClosingAsksAboutUnsavedEditsAndNeverHangs) {
    ASSERT_TRUE(Start({SaveBmp("c.bmp", 900, 700)}));
    CMainFrame* mf = app->MainFrame();
    CPelidorDoc* d = mf->ActiveDocument();
    ASSERT_TRUE(d->StartImageCommand(ID_IMAGE_MIRROR));
    d->WaitForCommand();
    ASSERT_TRUE(d->IsModified());
    prompts.answerYesNo = IDCANCEL;
    EXPECT_FALSE(mf->close());
    EXPECT_EQ(app->DocTemplate()->Documents().size(), 2);
    EXPECT_TRUE(prompts.messages.last().startsWith("Save changes to c.bmp"));
    // Answer No while a command runs: everything closes without waiting for ever.
    ASSERT_TRUE(d->StartImageCommand(ID_IMAGE_ROTATEL));
    prompts.answerYesNo = IDNO;
    EXPECT_TRUE(mf->close());
    EXPECT_EQ(app->DocTemplate()->Documents().size(), 0);
    // The file on disk is what was saved before: untouched by the unsaved edits.
    PxImage onDisk(QFile::encodeName(Path("c.bmp")).constData(), 1);
    EXPECT_EQ(onDisk.GetWidth(), 900u);
}

TEST_F(AppTest, MenuStylesSwitchTheLook) {
    ASSERT_TRUE(Start());
    app->MainFrame()->Router()->Execute(ID_MENUSTYLE_XP);
    EXPECT_EQ(QApplication::style()->name().toLower(), "windows");
    app->MainFrame()->Router()->Execute(ID_MENUSTYLE_DEFAULT);
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    app->MainFrame()->SetMenuStyle("no such style");
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
}

TEST_F(AppTest, WindowRectangleComesBackOnlyFromAFullScreenSection) {
    ASSERT_TRUE(Start());
    CMainFrame* mf = app->MainFrame();
    mf->showNormal();
    mf->setGeometry(30, 60, 700, 500);
    Pump();
    mf->SaveSettings();
    app->ExitInstance();
    app.reset();
    ASSERT_TRUE(Start());
    Pump();
    EXPECT_EQ(app->MainFrame()->normalGeometry(), QRect(30, 60, 700, 500));

    // A rectangle with left 0 is not restored, whatever else the profile keeps.
    app->MainFrame()->SaveSettings();
    app->ExitInstance();
    app.reset();
    {
        CProfile stored(Path("cfg/Quillory.ini"));
        stored.WriteProfileInt("Screen", "left", 0);
    }
    ASSERT_TRUE(Start());
    Pump();
    EXPECT_NE(app->MainFrame()->normalGeometry().topLeft(), QPoint(0, 60));
    EXPECT_NE(app->MainFrame()->normalGeometry().size(), QSize(700, 500));
}
