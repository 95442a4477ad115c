// The frame's window behaviour: keypad accelerators, the Window menu and caption, Print Setup,
// the program's icon.
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPrinter>
#include <QTest>

#include "app/cmdids.h"
#include "app/docview.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "apptest.h"

TEST_F(AppTest, KeypadKeysZoomAndNormalViewingFollowsTheZoom) {
    ASSERT_TRUE(Start({SaveBmp("k.bmp", 8, 8)}));
    CMainFrame* mf = app->MainFrame();
    CPelidorDoc* d = mf->ActiveDocument();
    QWidget* view = mf->ActiveView();
    ASSERT_TRUE(d && view);
    view->setFocus();
    EXPECT_FALSE(mf->Router()->Query(ID_VIEW_NORMALVIEWING11).m_bEnabled);  // at 100 %

    QTest::keyClick(view, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_FLOAT_EQ(static_cast<CPelidorView*>(view)->m_fZoom, 1.5f);
    QTest::keyClick(view, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_FLOAT_EQ(static_cast<CPelidorView*>(view)->m_fZoom, 2.0f);
    EXPECT_TRUE(mf->Router()->Query(ID_VIEW_NORMALVIEWING11).m_bEnabled);  // at 200 %
    QTest::keyClick(view, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_FLOAT_EQ(static_cast<CPelidorView*>(view)->m_fZoom, 1.5f);
    QTest::keyClick(view, Qt::Key_Slash, Qt::KeypadModifier);
    EXPECT_FLOAT_EQ(static_cast<CPelidorView*>(view)->m_fZoom, 1.0f);
    EXPECT_FALSE(mf->Router()->Query(ID_VIEW_NORMALVIEWING11).m_bEnabled);

    // The main keyboard's "+" is no accelerator.
    QTest::keyClick(view, Qt::Key_Plus);
    EXPECT_FLOAT_EQ(static_cast<CPelidorView*>(view)->m_fZoom, 1.0f);

    // A keypad press that the shortcut map did not take (as some key maps deliver it) still zooms.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier, "+");
    QApplication::sendEvent(view, &press);
    EXPECT_FLOAT_EQ(static_cast<CPelidorView*>(view)->m_fZoom, 1.5f);
    QKeyEvent slash(QEvent::KeyPress, Qt::Key_Slash, Qt::KeypadModifier, "/");
    QApplication::sendEvent(view, &slash);
    EXPECT_FLOAT_EQ(static_cast<CPelidorView*>(view)->m_fZoom, 1.0f);
}

TEST_F(AppTest, CaptionAndWindowMenuFollowTheActiveDocument) {
    ASSERT_TRUE(Start({SaveBmp("a.bmp", 4, 4), SaveBmp("b.bmp", 5, 5), SaveBmp("c.bmp", 6, 6)}));
    CMainFrame* mf = app->MainFrame();
    EXPECT_EQ(mf->windowTitle(), "Quillory - c.bmp");
    EXPECT_FALSE(mf->windowIcon().isNull());
    for (QMdiSubWindow* s : mf->MdiArea()->subWindowList()) EXPECT_FALSE(s->windowIcon().isNull());

    auto listed = [mf] {
        mf->FillWindowMenu();
        QStringList items;
        for (QAction* a : mf->WindowMenu()->actions())
            if (!a->isSeparator()) items << a->text() + (a->isChecked() ? "*" : "");
        return items;
    };
    EXPECT_EQ(listed(), QStringList({"&Cascade", "&Tile", "&1 Start Page", "&2 a.bmp", "&3 b.bmp", "&4 c.bmp*"}));

    // Choosing an entry activates it; caption and check mark follow.
    mf->WindowMenu()->actions().at(4)->trigger();  // "&2 a.bmp"
    EXPECT_EQ(mf->ActiveDocument()->GetTitle(), "a.bmp");
    EXPECT_EQ(mf->windowTitle(), "Quillory - a.bmp");
    EXPECT_TRUE(listed().contains("&2 a.bmp*"));

    // A rename of the active document reaches the caption.
    mf->ActiveDocument()->SetTitle("renamed");
    EXPECT_EQ(mf->windowTitle(), "Quillory - renamed");

    // Past nine documents the list stops and "More Windows..." chooses among all.
    for (int i = 0; i < 7; i++) app->DocTemplate()->OpenDocumentFile(SaveBmp(QString("m%1.bmp").arg(i), 3, 3));
    QStringList items = listed();
    EXPECT_EQ(items.size(), 2 + 9 + 1);
    EXPECT_EQ(items.last(), "&More Windows...");
    prompts.chosenWindow = 1;
    mf->WindowMenu()->actions().last()->trigger();
    EXPECT_EQ(prompts.chooserTitles.size(), 11);
    EXPECT_EQ(mf->ActiveDocument()->GetTitle(), "renamed");
}

TEST_F(AppTest, PrintSetupShowsThePageSetupAndThePrintKeepsIt) {
    ASSERT_TRUE(Start({SaveBmp("p.bmp", 4, 4)}));
    CMainFrame* mf = app->MainFrame();
    ASSERT_TRUE(mf->Router()->Execute(ID_FILE_PRINT_SETUP));
    EXPECT_EQ(prompts.pageSetups, 1);
    EXPECT_EQ(app->Printer()->pageLayout().orientation(), QPageLayout::Landscape);
    // The print dialog is handed the printer the page set-up changed.
    prompts.pdfPath = Path("p.pdf");
    ASSERT_TRUE(mf->Router()->Execute(ID_FILE_PRINT));
    EXPECT_EQ(prompts.printedOn, app->Printer());
    EXPECT_EQ(prompts.printedOn->pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_TRUE(QFileInfo(Path("p.pdf")).size() > 0);
}
