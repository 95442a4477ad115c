// The start page's thumbnail list: scan, tiles, recordings, cache, the saved-file hook, opening
// and deleting. The worker thread runs for real; the tests wait for it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QDockWidget>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QProgressBar>

#include <fcntl.h>
#include <sys/stat.h>
#include <QKeyEvent>
#include <utime.h>

#include <cmath>

#include "thumbtest.h"
#include "app/cmdids.h"
#include "app/docview.h"
#include "app/foldertreectrl.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "app/thumbnaillistctrl.h"
#include "app/thumbnailrenderer.h"
#include "app/thumbnailworker.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"

namespace {
QString Name(const QString& p) { return QFileInfo(p).fileName(); }
}  // namespace

TEST(ThumbnailGeometry, FitKeepsTheAspectAndNeverVanishes) {
    EXPECT_EQ(CThumbnailRenderer::FitRect(400, 100), QRect(0, 65, 200, 50));
    EXPECT_EQ(CThumbnailRenderer::FitRect(100, 400), QRect(77, 0, 45, 180));
    EXPECT_EQ(CThumbnailRenderer::FitRect(200, 180), QRect(0, 0, 200, 180));
    // A line of a picture still gets one pixel of the tile.
    EXPECT_EQ(CThumbnailRenderer::FitRect(100000, 1), QRect(0, 89, 200, 1));
    EXPECT_EQ(CThumbnailRenderer::FitRect(1, 100000), QRect(99, 0, 1, 180));
    EXPECT_TRUE(CThumbnailRenderer::FitRect(0, 10).isNull());
}

TEST(ThumbnailGeometry, FormatComesFromTheExtensionOnly) {
    EXPECT_EQ(CThumbnailRenderer::TileFormat("/a/b/Photo.JPG"), 3u);
    EXPECT_EQ(CThumbnailRenderer::TileFormat("/a/b/clip.AVI"), 17u);
    EXPECT_EQ(CThumbnailRenderer::TileFormat("/a/b.wbmp"), 9u);
    // A folder named like a video holds ordinary pictures.
    EXPECT_EQ(CThumbnailRenderer::TileFormat("/data/run.avi/cell.png"), 4u);
    EXPECT_EQ(CThumbnailRenderer::TileFormat("/data/navi"), 0u);
    EXPECT_EQ(CThumbnailRenderer::TileFormat("/data/x.xbmp"), 0u);
    EXPECT_EQ(CThumbnailRenderer::TileFormat("/data/notes.png.txt"), 0u);
}

class ThumbnailTest : public ThumbTest {};

TEST_F(ThumbnailTest, ScanTakesTwentyFilesByNameEachInFrontOfTheLast) {
    const QString f = Folder("many");
    for (int i = 0; i < 30; i++) WriteImage(f + QString("/f%1.png").arg(i, 2, 10, QChar('0')), 8, 8, Qt::red);
    WriteImage(f + "/A_Upper.PNG", 8, 8, Qt::red);  // sorts first, case kept
    WriteBytes(f + "/readme.txt", "text");
    QDir().mkpath(f + "/sub.png");                  // a folder is no file
    const QStringList paths = CThumbnailWorker::ScanFolder(f, 20);
    ASSERT_EQ(paths.size(), 20);
    EXPECT_EQ(paths.last(), f + "/A_Upper.PNG");
    EXPECT_EQ(paths.first(), f + "/f18.png");
    EXPECT_TRUE(CThumbnailWorker::ScanFolder(Path("gone"), 20).isEmpty());

    CThumbnailListCtrl list;
    list.Initialise();
    list.SetFolder(f);
    ASSERT_TRUE(WaitIdle(list));
    ASSERT_EQ(list.Entries().size(), CThumbnailListCtrl::kMaxEntries);
    EXPECT_EQ(list.Entries()[0], "Video");
    EXPECT_EQ(list.ItemModel()->rowCount(), CThumbnailListCtrl::kShownItems);
    EXPECT_EQ(list.ItemModel()->item(20 - 1)->text(), "f00.png");
    EXPECT_EQ(list.viewMode(), QListView::IconMode);
    EXPECT_EQ(list.iconSize(), QSize(200, 180));
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list.objectName(), "103");
}

TEST_F(ThumbnailTest, ImageTileIsFittedAndFramed) {
    const QString f = Folder("tiles");
    WriteImage(f + "/wide.png", 400, 100, QColor(200, 0, 0));
    CThumbnailRenderer r;
    r.SetCacheFolder(QString());
    const QImage t = r.Tile(f + "/wide.png");
    ASSERT_EQ(t.size(), QSize(200, 180));
    EXPECT_TRUE(Near(t.pixel(100, 90), QColor(200, 0, 0), 8));
    EXPECT_TRUE(Near(t.pixel(100, 30), Qt::white, 0));
    EXPECT_TRUE(Near(t.pixel(0, 0), QColor(130, 130, 130), 0));
    EXPECT_TRUE(Near(t.pixel(199, 179), QColor(130, 130, 130), 0));
    // One row of pixels still shows.
    WriteImage(f + "/line.png", 3000, 1, QColor(0, 150, 0));
    const QImage line = r.Tile(f + "/line.png");
    ASSERT_FALSE(line.isNull());
    EXPECT_TRUE(Near(line.pixel(100, 89), QColor(0, 150, 0), 30));
}

// Shrink-on-load (JPEG's DCT scaling, then the same resampling) against the tile of the whole
// decoded picture: the two sample the picture at points a few source pixels apart (about two
// levels on these pictures), never more than kTolerance levels per channel on average over the
// picture.
TEST_F(ThumbnailTest, ShrinkOnLoadTilesMatchTilesOfTheFullPicture) {
    constexpr double kTolerance = 3.0;
    const QString f = Folder("shrink");
    const struct {
        const char* name;
        int w, h;
        bool grey;
    } cases[] = {{"wide.jpg", 2001, 1333, false}, {"tall.jpg", 1333, 2001, true}, {"strip.jpg", 3001, 997, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QImage img(c.w, c.h, c.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                const int wave = static_cast<int>(128 + 100 * std::sin(x / 40.0) * std::cos(y / 60.0));
                if (c.grey) img.scanLine(y)[x] = static_cast<uchar>((x * 255 / c.w + wave) / 2);
                else reinterpret_cast<QRgb*>(img.scanLine(y))[x] = qRgb(x * 255 / c.w, y * 255 / c.h, wave);
            }
        const QString path = f + "/" + c.name;
        ASSERT_TRUE(img.save(path, "JPG", 90));
        const QImage full = CThumbnailRenderer::DrawImage(path, 3, false);
        const QImage shrunk = CThumbnailRenderer::DrawImage(path, 3, true);
        ASSERT_EQ(full.size(), QSize(200, 180));
        ASSERT_EQ(shrunk.size(), QSize(200, 180));
        const QRect fit = CThumbnailRenderer::FitRect(c.w, c.h);
        double sum = 0;
        for (int y = fit.top(); y <= fit.bottom(); y++)
            for (int x = fit.left(); x <= fit.right(); x++) {
                const QRgb a = full.pixel(x, y), b = shrunk.pixel(x, y);
                sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
            }
        const double mean = sum / (3.0 * fit.width() * fit.height());
        EXPECT_LE(mean, kTolerance);
        // Read reduced indeed: the whole picture's tile samples other pixels.
        EXPECT_GT(mean, 0.0);
        // The frame and the white above and left of the picture are as they were.
        EXPECT_EQ(shrunk.copy(0, 0, 200, fit.top()), full.copy(0, 0, 200, fit.top()));
        EXPECT_EQ(shrunk.copy(0, 0, fit.left(), 180), full.copy(0, 0, fit.left(), 180));
    }
}

TEST_F(ThumbnailTest, RecordingsShowTheirFirstFrameWithStripesAndLeaveNoFileBehind) {
    const QString f = Folder("video");
    const QString raw = f + "/raw.avi", mjpg = f + "/mjpeg.AVI";
    ASSERT_TRUE(WriteAvi(raw, FOURCC_DIB, 320, 240, {QColor(255, 0, 0), QColor(0, 255, 0)}));
    ASSERT_TRUE(WriteAvi(mjpg, MakeFourCC('M', 'J', 'P', 'G'), 320, 240, {QColor(255, 0, 0), QColor(0, 255, 0)}));
    WriteBytes(f + "/raw.avi.bmp", "a user's own file");
    CThumbnailRenderer r;
    r.SetCacheFolder(QString());
    for (const QString& p : {raw, mjpg}) {
        SCOPED_TRACE(p.toStdString());
        const QImage t = r.Tile(p);
        ASSERT_EQ(t.size(), QSize(200, 180));
        // 320 x 240 fits as 200 x 150 from y 15: stripes above it, the first frame in it,
        // red on top and blue below (the rows are not upside down).
        EXPECT_TRUE(Near(t.pixel(5, 5), QColor(155, 155, 155), 0));
        EXPECT_TRUE(Near(t.pixel(20, 5), Qt::white, 0));
        EXPECT_TRUE(Near(t.pixel(100, 40), QColor(255, 0, 0)));
        EXPECT_TRUE(Near(t.pixel(100, 150), QColor(0, 0, 255)));
    }
    QFile own(f + "/raw.avi.bmp");
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_EQ(own.readAll(), QByteArray("a user's own file"));
    EXPECT_EQ(QDir(f).entryList(QDir::Files).size(), 3);

    // An uncompressed recording soon outgrows what a picture may weigh; its first frame still
    // shows (the long tail is a hole in the file, so the test writes next to nothing).
    const QString big = f + "/long.avi";
    ASSERT_TRUE(WriteAvi(big, FOURCC_DIB, 64, 48, {QColor(255, 0, 0)}));
    ASSERT_TRUE(QFile::resize(big, CThumbnailRenderer::kMaxFileBytes + 4096));
    const QImage t = r.Tile(big);
    ASSERT_EQ(t.size(), QSize(200, 180));
    EXPECT_TRUE(Near(t.pixel(100, 40), QColor(255, 0, 0)));
    EXPECT_TRUE(Near(t.pixel(100, 150), QColor(0, 0, 255)));
}

TEST_F(ThumbnailTest, BrokenFilesGetThePlaceholderAndTheListGoesOn) {
    const QString f = Folder("bad");
    WriteBytes(f + "/a_corrupt.png", QByteArray("\x89PNG\r\n\x1a\n garbage", 17));
    WriteImage(f + "/b_good.jpg", 64, 48, Qt::yellow);
    {
        QFile good(f + "/b_good.jpg");
        ASSERT_TRUE(good.open(QIODevice::ReadOnly));
        WriteBytes(f + "/c_truncated.jpg", good.read(good.size() / 3));
    }
    WriteBytes(f + "/d_broken.avi", QByteArray("RIFF\x10\0\0\0AVI LIST", 16));
    WriteBytes(f + "/e_empty.bmp", QByteArray());
    WriteImage(f + "/f_locked.png", 8, 8, Qt::red);
    QFile::setPermissions(f + "/f_locked.png", QFileDevice::Permissions());
    CThumbnailListCtrl list;
    list.Initialise();
    list.SetFolder(f);
    ASSERT_TRUE(WaitIdle(list));
    ASSERT_EQ(list.Entries().size(), 7);
    for (int i = 1; i < 7; i++) {
        const QString name = Name(list.Entries()[i]);
        SCOPED_TRACE(name.toStdString());
        if (name == "b_good.jpg") {
            EXPECT_FALSE(list.IsPlaceholder(i));
            EXPECT_EQ(list.TileOf(i).size(), QSize(200, 180));
        } else if (name == "c_truncated.jpg" || (name == "f_locked.png" && getuid() == 0)) {
            // A decoder may show what it read of a truncated file; root reads any file.
            EXPECT_TRUE(list.IsPlaceholder(i) || !list.TileOf(i).isNull());
        } else {
            EXPECT_TRUE(list.IsPlaceholder(i));
        }
    }
    // A folder that vanishes leaves only "Video".
    list.SetFolder(Path("vanished"));
    ASSERT_TRUE(WaitIdle(list));
    EXPECT_EQ(list.Entries(), QStringList{"Video"});
    EXPECT_EQ(list.ItemModel()->rowCount(), 1);
}

TEST_F(ThumbnailTest, SetFolderReturnsBeforeTheTilesAreDrawn) {
    const QString f = Folder("slow");
    for (int i = 0; i < 6; i++) WriteImage(f + QString("/p%1.png").arg(i), 1600, 1200, QColor(20 * i, 90, 200));
    CThumbnailListCtrl list;
    list.Initialise();
    ASSERT_TRUE(WaitIdle(list));
    list.SetFolder(f);
    // Nothing drawn yet: the scan and the tiles are the worker's.
    EXPECT_TRUE(list.IsBusy());
    EXPECT_EQ(list.Entries().size(), 1);
    EXPECT_FALSE(list.ProgressBar()->isHidden());
    ASSERT_TRUE(WaitIdle(list));
    EXPECT_EQ(list.Entries().size(), 7);
    EXPECT_TRUE(list.ProgressBar()->isHidden());
    for (int i = 1; i < 7; i++) EXPECT_FALSE(list.TileOf(i).isNull());
    // A folder change drops what the old folder still had to come.
    list.SetFolder(Folder("other"));
    list.SetFolder(f + "/");
    list.SetFolder(Folder("other2"));
    ASSERT_TRUE(WaitIdle(list));
    EXPECT_EQ(list.Entries(), QStringList{"Video"});
}

TEST_F(ThumbnailTest, TilesComeFromTheCacheUntilTheFileChanges) {
    const QString f = Folder("cache");
    const QString p = WriteImage(f + "/c.png", 300, 200, Qt::cyan);
    CThumbnailRenderer r;
    const QString cacheFolder = r.CacheFolder();
    EXPECT_EQ(cacheFolder, Path("home/.cache") + "/Quillory/thumbnails");
    ASSERT_FALSE(r.Tile(p).isNull());
    EXPECT_EQ(r.m_nDrawn, 1);
    EXPECT_EQ(QDir(cacheFolder).entryList({"*.png"}, QDir::Files).size(), 1);
    EXPECT_TRUE(QDir(cacheFolder).entryList({"*.tmp", ".*"}, QDir::Files | QDir::Hidden).isEmpty());
    ASSERT_FALSE(r.Tile(p).isNull());
    EXPECT_EQ(r.m_nCacheHits, 1);
    EXPECT_EQ(r.m_nDrawn, 1);
    // Rewritten with new contents: the size or time differ, the tile is drawn again.
    WriteImage(p, 300, 200, Qt::magenta);
    struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(p).constData(), times, 0), 0);
    const QImage again = r.Tile(p);
    EXPECT_EQ(r.m_nDrawn, 2);
    EXPECT_TRUE(Near(again.pixel(100, 90), Qt::magenta, 8));
    // Without a cache the tiles are still drawn.
    WriteBytes(Path("cachefile"), "x");
    m_env.Set("XDG_CACHE_HOME", Path("cachefile").toStdString());
    CThumbnailRenderer none;
    EXPECT_TRUE(none.CacheFolder().isEmpty());
    EXPECT_FALSE(none.Tile(p).isNull());
    EXPECT_TRUE(none.CacheFile(p).isEmpty());
}

TEST_F(ThumbnailTest, SavedFilesAreAddedOrRedrawn) {
    const QString f = Folder("saved");
    WriteImage(f + "/old.png", 40, 40, Qt::gray);
    CThumbnailListCtrl list;
    list.Initialise();
    list.SetFolder(f);
    ASSERT_TRUE(WaitIdle(list));
    ASSERT_EQ(list.Entries().size(), 2);
    // A new file of the folder becomes the first file tile; the name's case is kept.
    const QString snap = WriteImage(f + "/Snap_01.PNG", 40, 40, Qt::red);
    list.AddOrRefreshFile(snap);
    ASSERT_TRUE(WaitIdle(list));
    ASSERT_EQ(list.Entries().size(), 3);
    EXPECT_EQ(list.Entries()[1], snap);
    EXPECT_TRUE(Near(list.TileOf(1).pixel(100, 90), Qt::red, 8));
    // Saved again under the same name: the same entry, drawn again.
    WriteImage(snap, 40, 40, Qt::blue);
    list.AddOrRefreshFile(snap);
    ASSERT_TRUE(WaitIdle(list));
    EXPECT_EQ(list.Entries().size(), 3);
    EXPECT_EQ(list.Entries()[1], snap);
    EXPECT_TRUE(Near(list.TileOf(1).pixel(100, 90), Qt::blue, 8));
    // Into another folder of more than 20 files: the list moves there, the new file first.
    const QString big = Folder("big");
    for (int i = 0; i < 25; i++) WriteImage(big + QString("/a%1.png").arg(i, 2, 10, QChar('0')), 8, 8, Qt::green);
    const QString late = WriteImage(big + "/zz_last.png", 8, 8, Qt::red);
    list.AddOrRefreshFile(late);
    ASSERT_TRUE(WaitIdle(list));
    EXPECT_EQ(list.CurrentFolder(), big + "/");
    ASSERT_EQ(list.Entries().size(), CThumbnailListCtrl::kMaxEntries);
    EXPECT_EQ(list.Entries()[1], late);
    // Entry 0 stays.
    list.InsertEntry(0, snap);
    list.ReplaceEntry(0, snap, true);
    EXPECT_FALSE(list.RemoveEntry(0, true));
    EXPECT_EQ(list.Entries()[0], "Video");
}

TEST_F(ThumbnailTest, DeleteSendsToTheTrashAndARefusalKeepsTheTile) {
    const QString f = Folder("del");
    const QString a = WriteImage(f + "/a.png", 8, 8, Qt::red);
    const QString b = WriteImage(f + "/b.png", 8, 8, Qt::red);
    CThumbnailListCtrl list;
    list.Initialise();
    list.SetFolder(f);
    ASSERT_TRUE(WaitIdle(list));
    ASSERT_EQ(list.Entries(), (QStringList{"Video", b, a}));
    auto selectRow = [&](int row) {
        list.selectionModel()->select(list.ItemModel()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    };
    // "No" keeps everything.
    selectRow(2);
    prompts.answerYesNo = IDNO;
    list.OnDeleteSelected();
    EXPECT_EQ(prompts.messages.value(0), "Do you want to delete the image?");
    EXPECT_TRUE(QFileInfo::exists(a));
    // The Delete key asks the same; "Yes" moves the file to the trash.
    prompts.answerYesNo = IDYES;
    selectRow(2);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(&list, &del);
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_TRUE(QFileInfo::exists(Path("home/.local/share/Trash/files/a.png")));
    EXPECT_EQ(list.Entries(), (QStringList{"Video", b}));
    // The trash refuses a file moved away behind the list's back: its tile stays, and the list
    // says which file it kept.
    ASSERT_TRUE(QFile::rename(b, f + "/moved.png"));
    prompts.messages.clear();
    selectRow(1);
    list.OnDeleteSelected();
    EXPECT_TRUE(QFileInfo::exists(f + "/moved.png"));
    EXPECT_EQ(list.Entries(), (QStringList{"Video", b}));
    EXPECT_EQ(list.ItemModel()->rowCount(), 2);
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_TRUE(prompts.messages[1].contains("b.png")) << prompts.messages[1].toStdString();
}

TEST_F(ThumbnailTest, TheStartPageListOpensImagesAndNotRecordings) {
    const QString f = Folder("open");
    const QString img = WriteImage(f + "/Image.PNG", 30, 20, Qt::red);
    ASSERT_TRUE(WriteAvi(f + "/clip.avi", FOURCC_DIB, 32, 24, {Qt::red}));
    const QString gone = WriteImage(f + "/gone.png", 30, 20, Qt::red);
    const QString doomed = WriteImage(f + "/doomed.png", 30, 20, Qt::red);
    ASSERT_TRUE(Start());
    CThumbnailListCtrl* list = CThumbnailListCtrl::Instance();
    ASSERT_NE(list, nullptr);
    // The start page fills its tab, and the "Folder" pane shows its tree on the list's folder.
    CMainFrame* mf = AfxGetMainFrame();
    QMdiSubWindow* page = mf->MdiArea()->subWindowList().value(0);
    ASSERT_NE(page, nullptr);
    Pump(20);
    EXPECT_TRUE(page->isMaximized());
    EXPECT_FALSE(mf->FolderPane()->isHidden());
    EXPECT_EQ(mf->FolderPane()->widget(), mf->FolderTree());
    EXPECT_EQ(mf->FolderTree()->List(), list);
    EXPECT_EQ(list->Tree(), mf->FolderTree());
    EXPECT_EQ(mf->FolderTree()->SelectedFolder(), list->CurrentFolder());

    mf->FolderTree()->SelectPath(f);
    ASSERT_TRUE(WaitIdle(*list));
    ASSERT_EQ(list->Entries().size(), 5);
    auto rowOf = [&](const QString& name) {
        for (int i = 0; i < list->Entries().size(); i++)
            if (Name(list->Entries()[i]) == name) return i;
        return -1;
    };
    const int docs = app->DocTemplate()->Documents().size();
    list->OnItemActivated(rowOf("clip.avi"));
    EXPECT_EQ(app->DocTemplate()->Documents().size(), docs);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_TRUE(QFile::remove(gone));
    list->OnItemActivated(rowOf("gone.png"));
    EXPECT_EQ(rowOf("gone.png"), -1);
    EXPECT_EQ(list->ItemModel()->rowCount(), 4);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // "Video" asks the main frame for the camera; there is none.
    prompts.messages.clear();
    list->OnItemActivated(0);
    EXPECT_EQ(prompts.messages.value(0), "No Camera!");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The toolbar's "Image Delete" deletes the list's selection.
    list->selectionModel()->select(list->ItemModel()->index(rowOf("doomed.png"), 0), QItemSelectionModel::ClearAndSelect);
    prompts.messages.clear();
    prompts.answerYesNo = IDYES;
    auto* startPage = static_cast<CPelidorDoc*>(app->DocTemplate()->Documents().first());
    ASSERT_TRUE(startPage->m_bStartPage);
    EXPECT_TRUE(startPage->OnCmdMsg(ID_IMAGE_DELETE));
    EXPECT_EQ(prompts.messages.value(0), "Do you want to delete the image?");
    EXPECT_FALSE(QFileInfo::exists(doomed));
    EXPECT_TRUE(QFileInfo::exists(Path("home/.local/share/Trash/files/doomed.png")));
    EXPECT_EQ(rowOf("doomed.png"), -1);
    EXPECT_EQ(list->ItemModel()->rowCount(), 3);
    // An image opens (its upper-case name as it is); the pane closes for the image view.
    list->OnItemActivated(rowOf("Image.PNG"));
    Pump(20);
    ASSERT_EQ(app->DocTemplate()->Documents().size(), docs + 1);
    EXPECT_EQ(app->DocTemplate()->Documents().last()->GetPathName(), img);
    EXPECT_TRUE(mf->FolderPane()->isHidden());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A camera's saved file reaches the list through the main frame.
    const QString snap = WriteImage(f + "/snap.png", 10, 10, Qt::green);
    const QByteArray utf8 = snap.toUtf8();
    EXPECT_EQ(SendMessage(mf->GetSafeHwnd(), WM_CAMERA_FILESAVED, 0, reinterpret_cast<LPARAM>(utf8.constData())), 0);
    EXPECT_EQ(list->Entries().value(1), snap);
    EXPECT_EQ(SendMessage(mf->GetSafeHwnd(), WM_CAMERA_FILESAVED, 0, reinterpret_cast<LPARAM>("")), 1);
    ASSERT_TRUE(WaitIdle(*list));

    // An image saved over its file shows as it is now; one saved elsewhere moves nothing.
    auto* doc = static_cast<CPelidorDoc*>(app->DocTemplate()->Documents()[docs]);
    ASSERT_TRUE(doc->StartImageCommand(ID_IMAGE_NEGATIVE));
    doc->WaitForCommand();
    ASSERT_TRUE(doc->DoSave(img, true));
    ASSERT_TRUE(WaitIdle(*list));
    ASSERT_GE(rowOf("Image.PNG"), 1);
    EXPECT_TRUE(Near(list->TileOf(rowOf("Image.PNG")).pixel(100, 90), Qt::cyan, 8));
    const int shown = list->Entries().size();
    ASSERT_TRUE(doc->DoSave(Folder("elsewhere") + "/copy.png", true));
    ASSERT_TRUE(WaitIdle(*list));
    EXPECT_EQ(list->CurrentFolder(), f + "/");
    EXPECT_EQ(list->Entries().size(), shown);
}
