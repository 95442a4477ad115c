// Every modal prompt of the program (message boxes, file dialogs, the print dialog) goes
// through one service, so tests replace it and run each dialog path headless.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "platform/wintypes.h"

class QDialog;
class QFileDialog;
class QFont;
class QPrinter;
class QWidget;

// Buttons and results keep the platform's values.
constexpr int MB_OK = 0;
constexpr int MB_OKCANCEL = 1;
constexpr int MB_YESNOCANCEL = 3;
constexpr int MB_YESNO = 4;
constexpr int MB_ICONSTOP = 0x10;
constexpr int MB_ICONQUESTION = 0x20;
constexpr int MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct FileDialogRequest {
    bool open = true;
    QString title;
    QStringList filters;  // "Description (*.a *.b)"
    int filterIndex = 1;  // 1-based
    QString defaultExt;
    QString fileName;     // in: start name; out: chosen path
};

class CPromptService {
public:
    virtual ~CPromptService() = default;
    virtual int MessageBox(QWidget* parent, const QString& text, const QString& caption, int type);
    // True on OK; fills fileName and filterIndex.
    virtual bool FileDialog(QWidget* parent, FileDialogRequest& request);
    virtual bool PrintDialog(QWidget* parent, QPrinter* printer);
    // The page set-up (printer, paper, orientation); true on OK, the choice stays in `printer`.
    virtual bool PageSetupDialog(QWidget* parent, QPrinter* printer);
    // "More Windows...": the index of the chosen title, -1 on Cancel.
    virtual int ChooseWindow(QWidget* parent, const QStringList& titles, int current);
    // Shows a preview whose pages `paint` draws on the printer it is given.
    virtual void PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& paint);
    // Runs a dialog modally and returns its result (QDialog::Accepted or Rejected).
    virtual int DoModal(QDialog* dialog);
    // The colour picker with the full dialog and any colour: seeded with `color`, true on OK with
    // the chosen one. `custom` (16 entries, may be null) seeds the custom colours and gets them back.
    virtual bool ChooseColor(QWidget* parent, COLORREF& color, COLORREF* custom);
    // The font picker over a platform font; true on OK with `font` updated.
    virtual bool ChooseFont(QWidget* parent, LOGFONT& font);
    // The folder picker, opened on `folder`; true on OK with the chosen folder in `folder`.
    virtual bool ChooseFolder(QWidget* parent, const QString& title, QString& folder);

    // The edge between platform fonts and Qt's: what Qt lacks (character set, precisions) stays
    // as `base` holds it.
    static QFont FontFromLogFont(const LOGFONT& font);
    static LOGFONT LogFontFromFont(const QFont& font, const LOGFONT& base);

    // The file dialog FileDialog runs, and how its answer is read back (tests drive it headless).
    static QFileDialog* CreateFileDialog(QWidget* parent, const FileDialogRequest& request);
    static bool ReadFileDialog(QFileDialog& dialog, FileDialogRequest& request);
    // The extension a save dialog appends for a filter "Description (*.a *.b)": its first one,
    // or `fallback` when the filter names none ("*.*").
    static QString FilterSuffix(const QString& filter, const QString& fallback);

    // The window AfxMessageBox parents its boxes to: the program's main frame, when there is one.
    static void SetMainWindow(QWidget* (*mainWindow)());

    static CPromptService& Instance();
    // Replaces the service (tests); nullptr restores the interactive one. Returns the old one.
    static CPromptService* Replace(CPromptService* service);
};

// AfxMessageBox's shape: the program's caption.
int AfxMessageBox(const QString& text, int type = MB_OK);
