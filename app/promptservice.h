// Every modal prompt of the program (message boxes, file dialogs, the print dialog) goes
// through one service, so tests replace it and run each dialog path headless.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "platform/wintypes.h"

class QPrinter;
class QWidget;

// Buttons and results keep the platform's values.
constexpr int MB_OK = 0;
constexpr int MB_OKCANCEL = 1;
constexpr int MB_YESNOCANCEL = 3;
constexpr int MB_YESNO = 4;
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
    // Shows a preview whose pages `paint` draws on the printer it is given.
    virtual void PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& paint);
    // The colour dialog seeded with `color` (0x00BBGGRR); true on OK with the chosen colour.
    virtual bool ColorDialog(QWidget* parent, COLORREF& color);

    static CPromptService& Instance();
    // Replaces the service (tests); nullptr restores the interactive one. Returns the old one.
    static CPromptService* Replace(CPromptService* service);
};

// AfxMessageBox's shape: the program's caption.
int AfxMessageBox(const QString& text, int type = MB_OK);
