// The "Folder" pane's tree: its roots, walking to a folder, a missing folder, and a click that
// the thumbnail list follows.
#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QScrollBar>

#include "thumbtest.h"
#include "app/foldertreectrl.h"
#include "app/foldertreeroots.h"
#include "app/thumbnaillistctrl.h"

class FolderTreeTest : public ThumbTest {
protected:
    // Pumps until the model has loaded a folder (its directoryLoaded) or the time is up.
    bool WaitLoaded(QFileSystemModel* fs, const QString& folder, int ms = 20000) {
        bool loaded = false;
        auto c = QObject::connect(fs, &QFileSystemModel::directoryLoaded, fs, [&](const QString& p) {
            if (QDir::cleanPath(p) == QDir::cleanPath(folder)) loaded = true;
        });
        QElapsedTimer t;
        t.start();
        while (!loaded && t.elapsed() < ms) Pump(5);
        QObject::disconnect(c);
        return loaded;
    }
};

TEST_F(FolderTreeTest, RootsComeFirstAndTheWalkSelectsOnce) {
    const QString deep = Folder("tree/a/b/c");
    WriteImage(deep + "/x.png", 8, 8, Qt::red);
    Folder("tree/a/b2");
    CThumbnailListCtrl list;
    list.Initialise();
    CFolderTreeCtrl tree;
    CFolderTreeRoots* roots = tree.Roots();
    ASSERT_GE(roots->rowCount(), 2);
    EXPECT_EQ(roots->index(0, 0).data().toString(), "/");
    EXPECT_EQ(roots->RootPaths().value(0), "/");
    EXPECT_EQ(roots->RootPaths().value(1), QDir::cleanPath(Path("home")));
    for (int i = 0; i < roots->rowCount(); i++) EXPECT_FALSE(roots->parent(roots->index(i, 0)).isValid());

    // At start the tree takes the list's working folder; the list keeps it.
    tree.SetList(&list);
    EXPECT_EQ(list.Tree(), &tree);
    EXPECT_EQ(tree.SelectedFolder(), list.CurrentFolder());

    ASSERT_TRUE(tree.SelectPath(deep));
    EXPECT_EQ(tree.SelectedFolder(), deep + "/");
    EXPECT_EQ(list.CurrentFolder(), deep + "/");
    EXPECT_EQ(roots->FilePath(tree.currentIndex()), deep);
    for (QModelIndex a = tree.currentIndex().parent(); a.isValid(); a = a.parent()) EXPECT_TRUE(tree.isExpanded(a));
    ASSERT_TRUE(WaitIdle(list));
    ASSERT_EQ(list.Entries().size(), 2);
    // The same folder again changes nothing (the list is not rescanned).
    ASSERT_TRUE(tree.SelectPath(deep + "/"));
    EXPECT_FALSE(list.IsBusy());
    // The tree's model fills its folders on its own thread.
    ASSERT_TRUE(WaitLoaded(tree.FileModel(), Path("tree/a")) || tree.FileModel()->rowCount(tree.FileModel()->index(Path("tree/a"))) == 2);
    Pump(50);
    const QModelIndex b2 = roots->mapFromSource(tree.FileModel()->index(Path("tree/a/b2")));
    ASSERT_TRUE(b2.isValid());
    EXPECT_EQ(roots->FilePath(b2), Path("tree/a/b2"));
    EXPECT_EQ(roots->parent(b2), roots->mapFromSource(tree.FileModel()->index(Path("tree/a"))));

    // A click: the list follows the folder clicked.
    tree.setCurrentIndex(b2);
    EXPECT_EQ(tree.SelectedFolder(), Path("tree/a/b2") + "/");
    EXPECT_EQ(list.CurrentFolder(), Path("tree/a/b2") + "/");
    ASSERT_TRUE(WaitIdle(list));
    EXPECT_EQ(list.Entries(), QStringList{"Video"});
}

TEST_F(FolderTreeTest, TheFolderWalkedToStaysInSightAsItsSiblingsLoad) {
    // Many folders sort above the one walked to; they arrive after the walk has scrolled.
    for (int i = 0; i < 150; i++) Folder(QString("crowd/a%1").arg(i, 3, 10, QChar('0')));
    const QString target = Folder("crowd/zz/inner");
    CFolderTreeCtrl tree;
    tree.resize(240, 300);
    tree.show();
    ASSERT_TRUE(tree.SelectPath(target));
    ASSERT_TRUE(WaitLoaded(tree.FileModel(), Path("crowd")) ||
                tree.FileModel()->rowCount(tree.FileModel()->index(Path("crowd"))) == 151);
    // The model sorts the folder it loaded on a timer of its own: wait until "zz" has moved below
    // the 150 others, then for the tree to bring the walked-to folder back into sight.
    const QPersistentModelIndex zz = tree.FileModel()->index(Path("crowd/zz"));
    auto inSight = [&] { return tree.viewport()->rect().intersects(tree.visualRect(tree.currentIndex())); };
    QElapsedTimer sorting;
    sorting.start();
    while (!(zz.row() == 150 && inSight()) && sorting.elapsed() < 20000) Pump(5);
    ASSERT_EQ(zz.row(), 150) << "the model never sorted the folder";
    ASSERT_EQ(tree.Roots()->FilePath(tree.currentIndex()), target);
    EXPECT_TRUE(inSight()) << "the folder walked to is in sight";

    // Once the user picks another folder, later loads leave the scrolling alone.
    const QModelIndex first = tree.Roots()->mapFromSource(tree.FileModel()->index(Path("crowd/a000")));
    ASSERT_TRUE(first.isValid());
    tree.setCurrentIndex(first);
    tree.scrollTo(first);
    const int at = tree.verticalScrollBar()->value();
    Folder("crowd/zz/inner/new");
    Pump(300);
    EXPECT_EQ(tree.verticalScrollBar()->value(), at);
}

TEST_F(FolderTreeTest, AMissingFolderIsReportedAndChangesNothing) {
    const QString here = Folder("here");
    CThumbnailListCtrl list;
    list.Initialise();
    CFolderTreeCtrl tree;
    tree.SetList(&list);
    ASSERT_TRUE(tree.SelectPath(here));
    prompts.messages.clear();
    const QString missing = Path("nowhere/at/all");
    EXPECT_FALSE(tree.SelectPath(missing));
    EXPECT_EQ(prompts.messages, QStringList{missing});
    EXPECT_EQ(tree.SelectedFolder(), here + "/");
    EXPECT_EQ(list.CurrentFolder(), here + "/");
    // A file is no folder either.
    WriteBytes(here + "/file", "x");
    EXPECT_FALSE(tree.SelectPath(here + "/file"));
    EXPECT_EQ(prompts.messages.size(), 2);
    ASSERT_TRUE(WaitIdle(list));
}

TEST_F(FolderTreeTest, TheHomeRootShowsItsFolders) {
    Folder("home/Pictures");
    CFolderTreeCtrl tree;
    CFolderTreeRoots* roots = tree.Roots();
    const QModelIndex home = roots->index(1, 0);
    ASSERT_TRUE(home.isValid());
    if (roots->canFetchMore(home)) roots->fetchMore(home);
    tree.expand(home);
    ASSERT_TRUE(WaitLoaded(tree.FileModel(), Path("home")) || roots->rowCount(home) > 0);
    Pump(50);
    QStringList names;
    for (int i = 0; i < roots->rowCount(home); i++) names << roots->index(i, 0, home).data().toString();
    EXPECT_TRUE(names.contains("Pictures")) << names.join(',').toStdString();
    // Only folders: the file in home is not listed.
    EXPECT_FALSE(names.contains("x"));
}
