#include "app/pelidorapp.h"

#include "app/imagecommands.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/adjustcommands.h"
#include "app/aboutdialog.h"
#include "app/childframe.h"
#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/palettecommands.h"
#include "ui/messages.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "ui/promptservice.h"
#include "app/urldownloaddialog.h"
#include "app/startupsplash.h"
#include "outside/vekmeasure/qomeasure.h"
#include "resources/resourcetable.h"

QString g_strSaveFolder;

namespace {

CPelidorApp* g_app = nullptr;

const CFormatRow kFormats[] = {
    {-1, true, true, "Supported files",
     "*.bmp;*.gif;*.jpg;*.jpeg;*.png;*.ico;*.tif;*.tiff;*.tga;*.pcx;*.wbmp;*.wmf;*.emf;*.j2k;*.jp2;*.jbg;*.j2c;*.jpc;*.pgx;"
     "*.pnm;*.pgm;*.ppm;*.ras"},
    {1, true, true, "BMP files", "*.bmp"},
    {2, true, true, "GIF files", "*.gif"},
    {3, true, true, "JPG files", "*.jpg;*.jpeg"},
    {4, true, true, "PNG files", "*.png"},
    {5, true, true, "ICO CUR files", "*.ico;*.cur"},
    {6, true, true, "TIF files", "*.tif;*.tiff"},
    {7, true, true, "TGA files", "*.tga"},
    {8, true, true, "PCX files", "*.pcx"},
    {9, true, true, "WBMP files", "*.wbmp"},
    {10, true, false, "WMF EMF files", "*.wmf;*.emf"},
    {11, true, true, "JP2 files", "*.j2k;*.jp2"},
    {12, true, true, "JPC files", "*.j2c;*.jpc"},
    {13, true, true, "PGX files", "*.pgx"},
    {15, true, true, "RAS files", "*.ras"},
    {14, true, true, "PNM files", "*.pnm;*.pgm;*.ppm"},
};

}  // namespace

const CFormatRow* FormatTable(int* count) {
    if (count) *count = static_cast<int>(std::size(kFormats));
    return kFormats;
}

const CFormatRow* FindFormatRow(int id) {
    for (const CFormatRow& r : kFormats)
        if (r.id == id) return &r;
    return nullptr;
}

const CExtensionRow* ExtensionTable(int* count) {
    // "wbmp" before "bmp": the path variant compares the last characters.
    static const CExtensionRow rows[] = {
        {"wbmp", 9}, {"bmp", 1},  {"gif", 2},  {"jpg", 3},  {"jpeg", 3}, {"png", 4}, {"ico", 5},  {"tif", 6},
        {"tiff", 6}, {"tga", 7},  {"pcx", 8},  {"wmf", 10}, {"emf", 10}, {"j2k", 11}, {"jp2", 11}, {"jpc", 12},
        {"j2c", 12}, {"pgx", 13}, {"ras", 15}, {"pnm", 14}, {"pgm", 14}, {"ppm", 14},
    };
    if (count) *count = static_cast<int>(std::size(rows));
    return rows;
}

DWORD FormatFromExtension(const QString& path) {
    int n = 0;
    const CExtensionRow* rows = ExtensionTable(&n);
    for (int i = 0; i < n; i++)
        if (path.right(static_cast<int>(strlen(rows[i].ext))).compare(QLatin1String(rows[i].ext), Qt::CaseInsensitive) == 0)
            return rows[i].format;
    if (path.right(3).compare(QLatin1String("avi"), Qt::CaseInsensitive) == 0) return 17;
    return 0;
}

CPelidorApp* AfxGetPelidorApp() { return g_app; }
CMainFrame* AfxGetMainFrame() { return g_app ? g_app->MainFrame() : nullptr; }

CPelidorApp::CPelidorApp(const QString& profilePath) : m_profile(std::make_unique<CProfile>(profilePath)) {
    memset(&m_TextInfo, 0, sizeof(m_TextInfo));
    g_app = this;
    CPromptService::SetMainWindow([]() -> QWidget* { return AfxGetMainFrame(); });
    OnCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
    OnCommand(ID_APP_ABOUT, [this] {
        CAboutDialog dlg(m_pMainFrame);
        CPromptService::Instance().DoModal(&dlg);
    });
    OnCommand(ID_FILE_PRINT_SETUP, [this] { CPromptService::Instance().PageSetupDialog(m_pMainFrame, Printer()); });
    OnCommand(ID_FILE_DOWNLOADURL, [this] { OnDownloadUrl(); });
    OnCommand(ID_HELP_PDF, [] {
        const QString path = QCoreApplication::applicationDirPath() + "/" + ResourceString(1241);
        if (!QFileInfo::exists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            AfxMessageBox(ResourceString(61460));
    });
}

void CPelidorApp::OnDownloadUrl() {
    CUrlDownloadDialog dlg(m_pMainFrame);
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    QByteArray data = dlg.Data();
    auto image = std::make_unique<PxImage>();
    if (!image->Decode(reinterpret_cast<BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0)) {
        AfxMessageBox(QString::fromUtf8(image->GetLastError()));
        return;
    }
    auto* doc = dynamic_cast<CPelidorDoc*>(DocTemplate()->OpenDocumentFile(QString()));
    if (!doc) return;
    doc->SetImage(image.release());
    doc->SetTitle(dlg.Url());
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
}

CPelidorApp::~CPelidorApp() {
    ExitInstance();
    if (g_app == this) g_app = nullptr;
}

void CPelidorApp::LoadSettings() {
    CProfile& p = *m_profile;
    g_strSaveFolder = p.GetProfileString("FileSave", "sPath", QDir::homePath());
    {
        PxImage defaults;
        defaults.InitTextInfo(&m_TextInfo);
    }
    const QByteArray face = p.GetProfileString("TextTool", "lfFaceName", "Arial").toUtf8().left(31);
    memset(m_TextInfo.lfont.lfFaceName, 0, sizeof(m_TextInfo.lfont.lfFaceName));
    memcpy(m_TextInfo.lfont.lfFaceName, face.constData(), static_cast<size_t>(face.size()));
    m_TextInfo.lfont.lfCharSet = static_cast<BYTE>(p.GetProfileInt("TextTool", "lfCharSet", 238));
    m_TextInfo.lfont.lfWeight = p.GetProfileInt("TextTool", "lfWeight", 0);
    m_TextInfo.lfont.lfItalic = static_cast<BYTE>(p.GetProfileInt("TextTool", "lfItalic", 0));
    m_TextInfo.lfont.lfUnderline = static_cast<BYTE>(p.GetProfileInt("TextTool", "lfUnderline", 0));
    m_TextInfo.fcolor = static_cast<COLORREF>(p.GetProfileInt("TextTool", "fcolor", 0xA0FFFF));
    m_TextInfo.bcolor = static_cast<COLORREF>(p.GetProfileInt("TextTool", "bcolor", 0x6020));
    m_TextInfo.opaque = static_cast<BYTE>(p.GetProfileInt("TextTool", "opaque", 1));
    m_TextInfo.b_opacity = static_cast<float>(p.GetProfileInt("TextTool", "opacity", 0) * 0.01);
    m_TextInfo.r_radius = static_cast<BYTE>(p.GetProfileInt("TextTool", "roundradius", 25));
    m_nJpegQuality = p.GetProfileInt("Options", "JpegQuality", 90);
    m_bShowScaleLine = p.GetProfileInt("Measure", "bShowScaleLine", 1);
}

// A kernel lock on the file rather than one written into it: writing the owner's details makes
// the lock wait for the disk (a sync), which costs a start-up tens of milliseconds on a busy disk.
// The kernel drops the lock when the process ends, however it ends. A second open of the file
// holds its own lock, so a second start inside the same process is refused as well.
bool CPelidorApp::LockInstance(const QString& path) {
    UnlockInstance();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_instanceLock = fd;
    return true;
}

void CPelidorApp::UnlockInstance() {
    // The file stays: removing it would let a start that opened it just now lock a file nobody sees.
    if (m_instanceLock >= 0) ::close(m_instanceLock);
    m_instanceLock = -1;
}

bool CPelidorApp::InitInstance(const QStringList& args) {
    // One instance per user: the lock dies with its process, so a crash never blocks a start.
    if (!LockInstance(QFileInfo(m_profile->FileName()).absolutePath() + "/Ostrel.lock")) {
        AfxMessageBox(ResourceString(1257));
        return false;
    }
    QStringList files;
    for (const QString& a : args) {
        if (a == "-nologo" || a == "/nologo")
            m_bShowSplash = false;
        else if (!a.isEmpty())
            files << a;
    }
    CStartupSplash::EnableSplashScreen(m_bShowSplash);
    LoadSettings();
    RegisterPaletteCommands();
    RegisterAdjustCommands();

    RegisterImageCommands();
    m_pMainFrame = new CMainFrame;
    if (!m_pMainFrame->OnCreate()) return false;
    m_pDocTemplate = new CDocTemplate(
        m_pMainFrame->MdiArea(), [] { return new CPelidorDoc; },
        [](CDocument* doc, CView** view) {
            auto* frame = new CChildFrame(static_cast<CPelidorDoc*>(doc));
            *view = frame->View();
            return static_cast<QMdiSubWindow*>(frame);
        });
    m_pDocTemplate->onMru = [this](const QString& path) { m_profile->AddRecentFile(path); };

    // The start page comes first, whatever the command line names.
    CPelidorDoc* start = static_cast<CPelidorDoc*>(m_pDocTemplate->OpenDocumentFile(QString()));
    if (!start) return false;
    start->SetTitle("Start Page");

    m_pMainFrame->showMaximized();
    m_pMainFrame->setAcceptDrops(true);
    for (const QString& f : files) m_pDocTemplate->OpenDocumentFile(f);
    CQoMeasure::CreateCursor();
    PostMessage(m_pMainFrame->GetSafeHwnd(), WM_CAMERA_CREATEFRAME, 0, 0);
    return true;
}

QPrinter* CPelidorApp::Printer() {
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printer.get();
}

int CPelidorApp::ExitInstance() {
    if (m_pDocTemplate) {
        m_bClosing = 1;
        m_pDocTemplate->CloseAllDocuments();
        delete m_pDocTemplate;
        m_pDocTemplate = nullptr;
    }
    delete m_pMainFrame;
    m_pMainFrame = nullptr;
    UnlockInstance();
    return 0;
}

bool CPelidorApp::SaveAllModified() {
    m_bClosing = 1;
    return !m_pDocTemplate || m_pDocTemplate->SaveAllModified();
}

bool CPelidorApp::AskImageFileName(QString& fileName, bool open, int, DWORD& format) {
    FileDialogRequest r;
    r.open = open;
    r.title = open ? "Open image file" : "Save image file";
    QList<const CFormatRow*> rows;
    for (const CFormatRow& row : kFormats) {
        if (open ? !row.canOpen : !row.canSave) continue;
        rows << &row;
        r.filters << QString("%1 (%2)").arg(row.description, QString(row.pattern).replace(';', ' '));
    }
    const int want = (format == 0 || static_cast<int>(format) == -1) ? (static_cast<int>(format) == -1 ? -1 : 1)
                                                                      : static_cast<int>(format);
    r.filterIndex = 1;
    for (int i = 0; i < rows.size(); i++)
        if (rows[i]->id == want) {
            r.filterIndex = i + 1;
            break;
        }
    // The default extension is the row's whole first extension ("wbmp", not "wbm").
    r.defaultExt = QString(rows[r.filterIndex - 1]->pattern).section(';', 0, 0).mid(2);
    r.fileName = fileName;
    if (!CPromptService::Instance().FileDialog(m_pMainFrame, r)) return false;
    fileName = r.fileName;
    if (r.filterIndex >= 1 && r.filterIndex <= rows.size()) format = static_cast<DWORD>(rows[r.filterIndex - 1]->id);
    return true;
}

void CPelidorApp::OnFileOpen() {
    QString name;
    DWORD format = static_cast<DWORD>(-1);
    if (AskImageFileName(name, true, 0, format)) m_pDocTemplate->OpenDocumentFile(name);
}
