// Palette files (RIFF read and written, JASC read), the palette grid, and the Palette command
// with its dialog: load, save, cell edits, and the three ways a changed palette is applied.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRadioButton>

#include <cstring>
#include <memory>

#include "app/dialogs/palettedialog.h"
#include "app/dialogs/palettegrid.h"
#include "app/palettefile.h"
#include "controls/syscolors.h"
#include "palettetest.h"

namespace {

void Fill(RGBQUAD* pal, int n, BYTE seed) {
    for (int i = 0; i < n; i++)
        pal[i] = RGBQUAD{static_cast<BYTE>(seed + i), static_cast<BYTE>(seed + 2 * i), static_cast<BYTE>(seed + 3 * i),
                         static_cast<BYTE>(255 - i)};
}

bool Same(const RGBQUAD& a, const RGBQUAD& b) { return memcmp(&a, &b, sizeof a) == 0; }

CPaletteFile::LoadResult ParseText(const std::string& s, RGBQUAD* pal, int count) {
    return CPaletteFile::Parse(reinterpret_cast<const uint8_t*>(s.data()), s.size(), pal, count);
}

std::vector<uint8_t> Riff(int declared, int present) {
    RGBQUAD pal[256];
    Fill(pal, 256, 10);
    std::vector<uint8_t> b = CPaletteFile::EncodeRiff(pal, present);
    b[22] = static_cast<uint8_t>(declared & 0xFF);
    b[23] = static_cast<uint8_t>(declared >> 8);
    return b;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

TEST(PaletteFile, RiffIsWrittenFieldByFieldAndReadsBackWhole) {
    RGBQUAD two[2] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    const std::vector<uint8_t> b = CPaletteFile::EncodeRiff(two, 2);
    const std::vector<uint8_t> want = {'R', 'I', 'F', 'F', 28, 0, 0, 0, 'P', 'A', 'L', ' ', 'd', 'a', 't', 'a', 16, 0, 0, 0,
                                       0,   3,   2,   0,   3, 2, 1, 4, 7,   6,   5,   8,   0,   0,   0,   0};
    EXPECT_EQ(b, want);

    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("all.pal"));
    RGBQUAD pal[256], back[256];
    Fill(pal, 256, 40);
    int err = -1;
    ASSERT_TRUE(CPaletteFile::SaveRiff(path.constData(), pal, 256, &err));
    EXPECT_EQ(err, 0);
    EXPECT_EQ(QFileInfo(dir.filePath("all.pal")).size(), 24 + 4 * 256 + 4);
    memset(back, 0, sizeof back);
    const CPaletteFile::LoadResult r = CPaletteFile::Load(path.constData(), back, 256);
    EXPECT_EQ(r.status, CPaletteFile::Status::Loaded);
    EXPECT_FALSE(r.countMismatch);
    EXPECT_EQ(memcmp(pal, back, sizeof pal), 0);
    // Saving again replaces the file and leaves no temporary file behind.
    ASSERT_TRUE(CPaletteFile::SaveRiff(path.constData(), two, 2, &err));
    EXPECT_EQ(QFileInfo(dir.filePath("all.pal")).size(), 36);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"all.pal"});
}

TEST(PaletteFile, RiffCountsAreUnsignedAndShortFilesChangeNothing) {
    RGBQUAD pal[256], before[256];
    Fill(pal, 256, 200);
    memcpy(before, pal, sizeof pal);
    // 0xFFFF read as signed would be -1 and pass the 256 check.
    std::vector<uint8_t> b = Riff(0xFFFF, 4);
    EXPECT_EQ(CPaletteFile::Parse(b.data(), b.size(), pal, 16).status, CPaletteFile::Status::TooManyColors);
    b = Riff(257, 4);
    EXPECT_EQ(CPaletteFile::Parse(b.data(), b.size(), pal, 16).status, CPaletteFile::Status::TooManyColors);
    // 16 promised, 8 present.
    b = Riff(16, 8);
    b.resize(24 + 4 * 8);
    EXPECT_EQ(CPaletteFile::Parse(b.data(), b.size(), pal, 16).status, CPaletteFile::Status::UnknownContents);
    b.resize(23);
    EXPECT_EQ(CPaletteFile::Parse(b.data(), b.size(), pal, 16).status, CPaletteFile::Status::UnknownContents);
    EXPECT_EQ(ParseText("riff and more bytes than twenty four", pal, 16).status, CPaletteFile::Status::UnknownContents);
    EXPECT_EQ(ParseText("jasc\n0100\n2\n1 2 3\n", pal, 16).status, CPaletteFile::Status::UnknownContents);
    EXPECT_EQ(ParseText("RIF", pal, 16).status, CPaletteFile::Status::UnknownContents);
    EXPECT_EQ(memcmp(pal, before, sizeof pal), 0);

    // A 256-entry file into a 16-entry palette: a warning and the first 16.
    b = Riff(256, 256);
    CPaletteFile::LoadResult r = CPaletteFile::Parse(b.data(), b.size(), pal, 16);
    EXPECT_EQ(r.status, CPaletteFile::Status::Loaded);
    EXPECT_TRUE(r.countMismatch);
    EXPECT_EQ(r.entries, 16);
    RGBQUAD src[256];
    Fill(src, 256, 10);
    EXPECT_EQ(memcmp(pal, src, 16 * sizeof(RGBQUAD)), 0);
    EXPECT_EQ(memcmp(pal + 16, before + 16, 240 * sizeof(RGBQUAD)), 0);
    // Fewer entries than the palette: those above keep their values.
    memcpy(pal, before, sizeof pal);
    b = Riff(4, 4);
    r = CPaletteFile::Parse(b.data(), b.size(), pal, 16);
    EXPECT_TRUE(r.countMismatch);
    EXPECT_EQ(r.entries, 4);
    EXPECT_TRUE(Same(pal[3], src[3]));
    EXPECT_TRUE(Same(pal[4], before[4]));
    // A true-colour image's empty palette takes nothing.
    r = CPaletteFile::Parse(b.data(), b.size(), pal, 0);
    EXPECT_EQ(r.status, CPaletteFile::Status::Loaded);
    EXPECT_EQ(r.entries, 0);
}

TEST(PaletteFile, JascTextIsReadAndItsFaultsAreRefused) {
    RGBQUAD pal[256], before[256];
    Fill(pal, 256, 100);
    memcpy(before, pal, sizeof pal);
    CPaletteFile::LoadResult r = ParseText("JASC-PAL\r\n0100\r\n3\r\n255 0 0\r\n0 255 0\r\n0 0 255\r\n", pal, 3);
    EXPECT_EQ(r.status, CPaletteFile::Status::Loaded);
    EXPECT_FALSE(r.countMismatch);
    EXPECT_TRUE(Same(pal[0], (RGBQUAD{0, 0, 255, before[0].rgbReserved})));
    EXPECT_TRUE(Same(pal[2], (RGBQUAD{255, 0, 0, before[2].rgbReserved})));

    memcpy(pal, before, sizeof pal);
    for (const char* bad : {"JASC", "JASC-PAL\n0100\n", "JASC-PAL\n0100\n-4\n1 2 3\n", "JASC-PAL\n0100\nabc\n1 2 3\n",
                            "JASC-PAL\n0100\n\n1 2 3\n", "JASC-PAL\n0100\n12x\n"}) {
        EXPECT_EQ(ParseText(bad, pal, 16).status, CPaletteFile::Status::UnknownContents) << bad;
    }
    EXPECT_EQ(ParseText("JASC-PAL\n0100\n300\n", pal, 16).status, CPaletteFile::Status::TooManyColors);
    EXPECT_EQ(ParseText("JASC-PAL\n0100\n99999999999999999999\n", pal, 16).status, CPaletteFile::Status::TooManyColors);
    EXPECT_EQ(memcmp(pal, before, sizeof pal), 0);

    // Low bytes of the numbers; a text that ends early keeps what it holds.
    r = ParseText("JASC-PAL\n0100\n4\n256 -1 1000000000007\n9 8\n", pal, 4);
    EXPECT_EQ(r.status, CPaletteFile::Status::Loaded);
    EXPECT_EQ(r.entries, 2);
    EXPECT_TRUE(Same(pal[0], (RGBQUAD{7, 255, 0, before[0].rgbReserved})));
    EXPECT_EQ(pal[1].rgbRed, 9);
    EXPECT_EQ(pal[1].rgbGreen, 8);
    EXPECT_EQ(pal[1].rgbBlue, before[1].rgbBlue);
    EXPECT_TRUE(Same(pal[2], before[2]));

    // The read is bounded: an entry beyond the limit is never reached.
    QTemporaryDir dir;
    const QString path = dir.filePath("long.pal");
    WriteFile(path, QByteArray("JASC-PAL\n0100\n2\n1 2 3\n") + QByteArray(CPaletteFile::kMaxJascBytes, ' ') + "4 5 6\n");
    memcpy(pal, before, sizeof pal);
    r = CPaletteFile::Load(QFile::encodeName(path).constData(), pal, 2);
    EXPECT_EQ(r.entries, 1);
    EXPECT_TRUE(Same(pal[1], before[1]));
    EXPECT_EQ(CPaletteFile::Load(QFile::encodeName(dir.filePath("none.pal")).constData(), pal, 2).status,
              CPaletteFile::Status::CannotOpen);
}

TEST(PaletteFile, AFailedSaveLeavesWhatWasThere) {
    QTemporaryDir dir;
    RGBQUAD pal[4] = {};
    int err = 0;
    EXPECT_FALSE(CPaletteFile::SaveRiff(QFile::encodeName(dir.filePath("no/such/folder.pal")).constData(), pal, 4, &err));
    EXPECT_EQ(err, ENOENT);
    // A folder of that name cannot be replaced: it stays, with what it holds, and no temporary
    // file is left next to it.
    ASSERT_TRUE(QDir(dir.path()).mkpath("taken.pal"));
    WriteFile(dir.filePath("taken.pal/inside"), "x");
    EXPECT_FALSE(CPaletteFile::SaveRiff(QFile::encodeName(dir.filePath("taken.pal")).constData(), pal, 4, &err));
    EXPECT_NE(err, 0);
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.pal/inside")).exists());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

TEST(PaletteGrid, CellsAndHitTest) {
    const RECT r = CPaletteGrid::CellRect(17);
    EXPECT_EQ(r.left, 26);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.right, 37);
    EXPECT_EQ(r.bottom, 37);
    EXPECT_EQ(CPaletteGrid::HitTest(14, 14, 256), 0);
    EXPECT_EQ(CPaletteGrid::HitTest(13, 14, 256), -1);
    EXPECT_EQ(CPaletteGrid::HitTest(14 + 15 * 12 + 10, 14, 256), 15);
    // Right of the grid is no cell, not the next row's first.
    EXPECT_EQ(CPaletteGrid::HitTest(14 + 16 * 12, 14, 256), -1);
    EXPECT_EQ(CPaletteGrid::HitTest(14 + 40 * 12, 14, 256), -1);
    EXPECT_EQ(CPaletteGrid::HitTest(14, 14 + 12, 16), -1);
    EXPECT_EQ(CPaletteGrid::HitTest(14 + 12, 14 + 12, 256), 17);
}

namespace {

class PaletteCommandTest : public PaletteAppTest {
protected:
    // An 8-bit image of 16 colours whose pixels use every entry.
    static PxImage* Indexed() {
        auto* img = new PxImage(16, 8, 8, 1);
        RGBQUAD pal[256] = {};
        for (int i = 0; i < 256; i++) pal[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i / 2), 0};
        img->SetPalette(pal, 256);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 16; x++) img->SetPixelIndex(x, y, static_cast<BYTE>((x * 16 + y * 7) & 0xFF));
        return img;
    }
    // Loads `file` in the dialog and presses OK with load option `option`.
    void LoadAndAccept(const QString& file, int option) {
        prompts.fileNames.clear();
        prompts.fileNames = {file};
        prompts.onDialog = [option](QDialog* dlg) {
            Click(dlg, 1006);
            Click(dlg, 1002 + option);
            Click(dlg, IDOK);
            return dlg->result();
        };
    }
};

}  // namespace

TEST_F(PaletteCommandTest, DialogPaintsTheGridAndEditsCellsAndAlpha) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(Indexed());
    prompts.colors = {RGB(10, 20, 30), RGB(77, 0, 0)};
    prompts.onDialog = [&](QDialog* dlg) {
        auto* p = dynamic_cast<CPaletteDialog*>(dlg);
        EXPECT_NE(p, nullptr);
        if (!p) return int(QDialog::Rejected);
        EXPECT_EQ(dlg->windowTitle(), "Palette");
        EXPECT_EQ(Control<QLabel>(dlg, 1009)->text(), QString(" I = 0, RGBA = (0,0,0,0)"));
        EXPECT_TRUE(Control<QRadioButton>(dlg, 1003)->isChecked());
        EXPECT_EQ(p->Count(), 256);
        // Hover over entry 17.
        SendMouse(dlg, QEvent::MouseMove, QPoint(14 + 12 + 5, 14 + 12 + 5));
        EXPECT_EQ(Control<QLabel>(dlg, 1009)->text(), QString(" I : 17, RGBA : 8, 238, 17, 0"));
        // Right of the grid nothing changes.
        SendMouse(dlg, QEvent::MouseMove, QPoint(14 + 16 * 12 + 1, 14 + 12 + 5));
        EXPECT_EQ(Control<QLabel>(dlg, 1009)->text(), QString(" I : 17, RGBA : 8, 238, 17, 0"));
        // Double click on entry 1 takes the picked colour.
        SendMouse(dlg, QEvent::MouseButtonDblClick, QPoint(14 + 12 + 3, 14 + 3));
        EXPECT_EQ(prompts.opened.back(), RGB(0, 254, 1));
        EXPECT_TRUE(p->IsModified());
        EXPECT_EQ(p->Selected(), 1);
        EXPECT_TRUE(Same(p->Palette()[1], (RGBQUAD{30, 20, 10, 0})));
        const QImage shot = dlg->grab().toImage();
        EXPECT_EQ(shot.pixelColor(14 + 12 + 5, 14 + 5), QColor(10, 20, 30));
        EXPECT_EQ(shot.pixelColor(14 + 12, 14), CSysColors::Color(COLOR_3DDKSHADOW));
        EXPECT_EQ(shot.pixelColor(14 + 12 + 1, 14 + 1), CSysColors::Color(COLOR_3DDKSHADOW));
        EXPECT_EQ(shot.pixelColor(14, 14), CSysColors::Color(COLOR_BTNSHADOW));
        EXPECT_EQ(shot.pixelColor(15, 15), QColor(0, 255, 0));
        // Alpha mode: the cells show their alpha bytes in grey, the pick sets the alpha.
        Click(dlg, 1008);
        EXPECT_TRUE(p->EditAlpha());
        p->Palette();
        SendMouse(dlg, QEvent::MouseButtonDblClick, QPoint(14 + 2 * 12 + 3, 14 + 3));
        EXPECT_EQ(prompts.opened.back(), RGB(0, 0, 0));
        EXPECT_EQ(p->Palette()[2].rgbReserved, 77);
        const QImage alpha = dlg->grab().toImage();
        EXPECT_EQ(alpha.pixelColor(14 + 2 * 12 + 5, 14 + 5), QColor(77, 77, 77));
        // A cancelled pick changes nothing.
        SendMouse(dlg, QEvent::MouseButtonDblClick, QPoint(14 + 3 * 12 + 3, 14 + 3));
        EXPECT_EQ(p->Palette()[3].rgbReserved, 0);
        Click(dlg, IDOK);
        return dlg->result();
    };
    const int undo = d->UndoLevel();
    ASSERT_TRUE(Run(ID_IMAGE_PALETTE));
    EXPECT_EQ(prompts.dialogs, QStringList{"Palette"});
    // Option 1 keeps the indexes and sets the palette.
    EXPECT_EQ(d->UndoLevel(), undo + 1);
    EXPECT_TRUE(d->IsModified());
    const RGBQUAD c1 = d->GetImage()->GetPaletteColor(1);
    EXPECT_EQ(c1.rgbRed, 10);
    EXPECT_EQ(c1.rgbBlue, 30);
    EXPECT_EQ(d->GetImage()->GetPaletteColor(2).rgbReserved, 77);
}

TEST_F(PaletteCommandTest, LoadedPalettesApplyByEachOptionAsTheLibraryWould) {
    ASSERT_TRUE(Start());
    RGBQUAD pal[256];
    for (int i = 0; i < 256; i++) pal[i] = RGBQUAD{static_cast<BYTE>((i * 37) & 0xFF), static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 0};
    const QString file = Path("new.pal");
    ASSERT_TRUE(CPaletteFile::SaveRiff(QFile::encodeName(file).constData(), pal, 256, nullptr));
    for (int option = 1; option <= 3; option++) {
        std::unique_ptr<PxImage> want(Indexed());
        if (option == 1) {
            want->SetPalette(pal, 256);
        } else {
            ASSERT_TRUE(want->IncreaseBpp(24));
            ASSERT_TRUE(want->DecreaseBpp(8, option == 3, pal));
        }
        CPelidorDoc* d = NewImageDoc(Indexed());
        LoadAndAccept(file, option);
        ASSERT_TRUE(Run(ID_IMAGE_PALETTE));
        PxImage* got = d->GetImage();
        ASSERT_EQ(got->GetBpp(), 8);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 16; x++) {
                ASSERT_EQ(got->GetPixelIndex(x, y), want->GetPixelIndex(x, y)) << option << " " << x << "," << y;
                ASSERT_TRUE(Same(got->GetPixelColor(x, y), want->GetPixelColor(x, y)));
            }
        EXPECT_EQ(d->UndoLevel(), 1);
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(PaletteCommandTest, BadFilesGiveTheirMessageAndChangeNothing) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(Indexed());
    const QString unknown = Path("unknown.pal"), many = Path("many.pal"), shortRiff = Path("short.pal"),
                  noCount = Path("nocount.pal"), sixteen = Path("sixteen.pal");
    WriteFile(unknown, "jasc-pal\n0100\n1\n1 2 3\n");
    WriteFile(many, "JASC-PAL\n0100\n300\n");
    std::vector<uint8_t> b = Riff(256, 8);
    WriteFile(shortRiff, QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())));
    WriteFile(noCount, "JASC-PAL\n0100\n");
    b = Riff(16, 16);
    WriteFile(sixteen, QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())));
    std::unique_ptr<PxImage> before(new PxImage(*d->GetImage()));
    for (const QString& f : {unknown, many, shortRiff, noCount, Path("missing.pal")}) {
        prompts.messages.clear();
        prompts.fileNames = {f};
        prompts.onDialog = [](QDialog* dlg) {
            auto* p = dynamic_cast<CPaletteDialog*>(dlg);
            Click(dlg, 1006);
            EXPECT_FALSE(p->IsModified());
            Click(dlg, IDOK);
            return dlg->result();
        };
        ASSERT_TRUE(Run(ID_IMAGE_PALETTE));
        const QString want = f == many ? "Too much colors!" : f.endsWith("missing.pal") ? QString() : "Unknown contents!";
        EXPECT_EQ(prompts.messages, want.isEmpty() ? QStringList() : QStringList{want}) << f.toStdString();
        EXPECT_EQ(prompts.requests.back().title, "Open file");
        EXPECT_EQ(prompts.requests.back().filters, (QStringList{"*.pal (*.pal)", "*.* (*)"}));
    }
    // An unchanged palette runs nothing on OK.
    EXPECT_EQ(d->UndoLevel(), 0);
    EXPECT_EQ(memcmp(before->GetPalette(), d->GetImage()->GetPalette(), 256 * sizeof(RGBQUAD)), 0);

    // A 16-entry file on 256 colours warns and loads; Cancel still changes nothing.
    prompts.messages.clear();
    prompts.fileNames = {sixteen};
    prompts.onDialog = [](QDialog* dlg) {
        Click(dlg, 1006);
        EXPECT_TRUE(dynamic_cast<CPaletteDialog*>(dlg)->IsModified());
        Click(dlg, IDCANCEL);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_PALETTE));
    EXPECT_EQ(prompts.messages, QStringList{"Warning: numcolors doesn't match"});
    EXPECT_EQ(d->UndoLevel(), 0);
    EXPECT_FALSE(d->IsModified());
    EXPECT_EQ(memcmp(before->GetPalette(), d->GetImage()->GetPalette(), 256 * sizeof(RGBQUAD)), 0);
}

TEST_F(PaletteCommandTest, SaveWritesTheRiffPaletteAndSaysWhenItCannot) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(Indexed());
    const QString out = Path("saved.pal");
    prompts.fileNames = {out, Path("no/folder/x.pal")};
    prompts.onDialog = [](QDialog* dlg) {
        Click(dlg, 1007);
        Click(dlg, 1007);
        Click(dlg, IDCANCEL);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_PALETTE));
    ASSERT_EQ(prompts.requests.size(), 2u);
    EXPECT_FALSE(prompts.requests[0].open);
    EXPECT_EQ(prompts.requests[0].title, "Save file");
    RGBQUAD back[256] = {};
    EXPECT_EQ(CPaletteFile::Load(QFile::encodeName(out).constData(), back, 256).status, CPaletteFile::Status::Loaded);
    EXPECT_EQ(memcmp(back, d->GetImage()->GetPalette(), 256 * sizeof(RGBQUAD)), 0);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("Cannot save")) << prompts.messages[0].toStdString();

    // Busy or true colour: the command is off.
    CPelidorDoc* rgb = NewImageDoc(MakeImage(4, 4));
    EXPECT_FALSE(Enabled(ID_IMAGE_PALETTE));
    (void)rgb;
}
