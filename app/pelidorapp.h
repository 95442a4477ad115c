// The application object: single instance, profile, the document template, the main frame,
// the image-format table of every file dialog, and the user's text-tool and JPEG settings.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "ui/commandrouter.h"
#include "ui/profile.h"
#include "imagelib/pximage.h"
#include "platform/wintypes.h"

class CMainFrame;
class QPrinter;
class CDocTemplate;

struct CFormatRow {
    int id;
    bool canOpen;
    bool canSave;
    const char* description;
    const char* pattern;
};

// The 16 rows of the format table, in order; the first matching row wins.
const CFormatRow* FormatTable(int* count);
// The first row of a format id (-1 the summary row), or nullptr.
const CFormatRow* FindFormatRow(int id);
struct CExtensionRow {
    const char* ext;
    DWORD format;
};
// Every image file extension with its format id.
const CExtensionRow* ExtensionTable(int* count);
// Format id of a path by its last characters; 17 for "avi"; 0 when none matches.
DWORD FormatFromExtension(const QString& path);

class CPelidorApp : public QObject, public CCmdTarget {
public:
    explicit CPelidorApp(const QString& profilePath = QString());
    ~CPelidorApp() override;

    // Start-up with the program's arguments (without the program name); false ends the program.
    bool InitInstance(const QStringList& args);
    int ExitInstance();
    // Asks every document to save; sets the closing flag first so the start page may close.
    bool SaveAllModified();

    // The program's open or save dialog; format in/out (-1 the summary row).
    bool AskImageFileName(QString& fileName, bool open, int flags, DWORD& format);
    void OnFileOpen();
    // Downloads a file from a URL and opens it as an image document.
    void OnDownloadUrl();

    CProfile& Profile() { return *m_profile; }
    CMainFrame* MainFrame() const { return m_pMainFrame; }
    CDocTemplate* DocTemplate() const { return m_pDocTemplate; }
    // The printer and page set-up chosen by Print Setup, kept for every later print.
    QPrinter* Printer();

    int m_nNewImage = 1;
    int m_nJpegQuality = 90;
    PxImage::tagPxTextInfo m_TextInfo;
    int m_bClosing = 0;
    int m_bShowScaleLine = 1;
    bool m_bShowSplash = true;

private:
    void LoadSettings();
    std::unique_ptr<CProfile> m_profile;
    // The single-instance lock: an open file descriptor holding the lock, -1 when none is held.
    bool LockInstance(const QString& path);
    void UnlockInstance();
    int m_instanceLock = -1;
    std::unique_ptr<QPrinter> m_printer;
    CMainFrame* m_pMainFrame = nullptr;
    CDocTemplate* m_pDocTemplate = nullptr;
};

CPelidorApp* AfxGetPelidorApp();
CMainFrame* AfxGetMainFrame();
extern QString g_strSaveFolder;
