// Icons of the commands: every command of the main frame's menus and toolbars that has a bitmap
// shows a drawn picture or the icon theme's one, never a blank; the drawings stand in for a
// theme that lacks the name.
#include <QMenuBar>
#include <QSet>
#include <QToolBar>

#include <gtest/gtest.h>

#include "apptest.h"
#include "app/cmdids.h"
#include "ui/commandrouter.h"
#include "app/mainframe.h"
#include "resources/resourcetable.h"

namespace {

// The commands with a bitmap: standard actions, the views' tools, the image commands and the
// camera windows' buttons.
const int kIconIds[] = {57601, 57603, 57604, 57607, 57609, 57634, 57637, 57643, 57644, 32786, 32787, 32872,
                        57665, 32975, 57664, 32869, 32871, 32916, 32785, 32788, 32922, 32774, 32775, 32855,
                        32856, 32777, 32848, 32776, 32792, 32793, 1236,  1230,  1234,  1231,  1261,  32995,
                        32994, 32997, 32927, 32998, 32940, 32928, 32930, 32923, 32983, 32984, 32985, 32986,
                        6003,  32938, 284,   33008, 33009, 32999, 33001, 33002, 33003, 33004};

int Colours(const QImage& image) {
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0) seen.insert(image.pixel(x, y));
    return seen.size();
}

}  // namespace

TEST(CommandIcons, EveryDrawingIsASixteenPixelPictureOfSeveralColours) {
    QSet<QByteArray> distinct;
    for (int id : kIconIds) {
        const QPixmap pm = ResourcePixmap(id);
        ASSERT_FALSE(pm.isNull()) << id;
        EXPECT_EQ(pm.size(), QSize(16, 16)) << id;
        const QImage image = pm.toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_GE(Colours(image), 3) << id;
        // Something is drawn, and not over the whole square (no letter tiles).
        int transparent = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (qAlpha(image.pixel(x, y)) == 0) ++transparent;
        EXPECT_GT(transparent, 0) << id;
        EXPECT_LT(transparent, 240) << id;
        distinct.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), static_cast<int>(image.sizeInBytes())));
    }
    // Commands that share a picture on purpose: full screen, area white balance, black balance,
    // the cross and its "Show", the three "Config..." items.
    EXPECT_GE(distinct.size(), static_cast<int>(std::size(kIconIds)) - 7);
}

TEST(CommandIcons, AThemeWithoutTheNameGetsTheDrawingAndTheProgramsOwnCommandsAlwaysDo) {
    const QString theme = QIcon::themeName();
    QIcon::setThemeName("no-such-theme");
    for (int id : {57601, 57643, 32786, 32872}) {
        ASSERT_TRUE(ResourceIconThemeName(id)) << id;
        const QIcon icon = ResourceCommandIcon(id);
        ASSERT_FALSE(icon.isNull()) << id;
        EXPECT_EQ(icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32),
                  ResourcePixmap(id).toImage().convertToFormat(QImage::Format_ARGB32))
            << id;
    }
    QIcon::setThemeName(theme);
    for (int id : {32869, 32774, 1230, 32928}) {
        EXPECT_EQ(ResourceIconThemeName(id), nullptr) << id;
        EXPECT_FALSE(ResourceCommandIcon(id).isNull()) << id;
    }
    EXPECT_TRUE(ResourceCommandIcon(12345).isNull());
}

TEST_F(AppTest, MenusAndToolbarsShowAnIconForEveryCommandWithABitmap) {
    ASSERT_TRUE(Start());
    CMainFrame* mf = app->MainFrame();
    const UINT ids[] = {ID_FILE_OPEN,      ID_FILE_SAVE,          ID_FILE_SAVE_AS,     ID_FILE_PRINT,
                        ID_EDIT_UNDO,      ID_EDIT_REDO,          ID_EDIT_COPY,        ID_EDIT_PASTE,
                        ID_VIEW_ZOOMIN,    ID_VIEW_ZOOMOUT,       ID_VIEW_FULLSCREEN,  ID_APP_EXIT,
                        ID_HELP_PDF,       ID_APP_ABOUT,          ID_VIEW_TOOLS_MOVE,  ID_VIEW_TOOLS_SELECT,
                        ID_VIEW_TOOLS_TRACKER, ID_VIEW_NORMALVIEWING11, ID_CAMERA_LONGEXPOSURE, ID_IMAGE_MIRROR,
                        ID_IMAGE_FLIP,     ID_IMAGE_ROTATEL,      ID_IMAGE_ROTATER,    ID_IMAGE_NEGATIVE,
                        ID_IMAGE_CROP,     ID_IMAGE_DUPLICATE,    ID_IMAGE_SETTRANSPARENCY, ID_IMAGE_REMOVETRANSPARENCY};
    for (UINT id : ids) {
        QAction* a = mf->Router()->Action(id);
        ASSERT_TRUE(a) << id;
        EXPECT_FALSE(a->icon().isNull()) << id;
        EXPECT_FALSE(a->icon().pixmap(16, 16).isNull()) << id;
    }
    // Every button of the standard bar carries a picture.
    for (QAction* a : mf->StandardBar()->actions()) {
        if (!a->isSeparator() && a->data().isValid()) {
            EXPECT_FALSE(a->icon().isNull()) << a->data().toUInt();
        }
    }
}
