// The prompt service of the tests: records every box and dialog it is shown and answers as the
// test scripted it. With nothing scripted a dialog is cancelled.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include "ui/promptservice.h"

class FakePrompts : public CPromptService {
public:
    // Records the text, caption and type; OK boxes answer IDOK, the others as scripted below.
    int MessageBox(QWidget* parent, const QString& text, const QString& caption, int type) override;
    // Records the request; answers with the next queued name, Cancel when none is left.
    bool FileDialog(QWidget* parent, FileDialogRequest& request) override;
    // Prints to pdfPath when one is set, otherwise Cancel.
    bool PrintDialog(QWidget* parent, QPrinter* printer) override;
    // Turns the page to landscape, as a user choosing it would.
    bool PageSetupDialog(QWidget* parent, QPrinter* printer) override;
    void PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& paint) override;
    int ChooseWindow(QWidget* parent, const QStringList& titles, int current) override;
    // Each dialog run through DoModal: onDialog sets its controls and returns the result
    // (QDialog::Accepted or Rejected); without it the dialog is rejected.
    int DoModal(QDialog* dialog) override;
    // Records the colour it opened on and the custom colours, shifts the custom colours as the
    // picker does and answers with the next queued colour.
    bool ChooseColor(QWidget* parent, COLORREF& color, COLORREF* custom) override;
    // Records the font; with `font` set only what the picker shows changes.
    bool ChooseFont(QWidget* parent, LOGFONT& font) override;
    // Records the start folder; answers with the next queued folder.
    bool ChooseFolder(QWidget* parent, const QString& title, QString& folder) override;

    QStringList messages;
    QStringList captions;
    std::vector<int> types;
    int answerOkCancel = IDCANCEL;
    int answerYesNo = IDNO;
    // Every box answers IDOK, whatever its buttons (as the camera windows' tests want).
    void AnswerOk() { answerOkCancel = answerYesNo = IDOK; }

    QStringList fileNames;
    std::vector<FileDialogRequest> requests;

    QString pdfPath;
    QPrinter* printedOn = nullptr;  // the printer the last print dialog was given
    int previews = 0;
    int pageSetups = 0;

    QStringList chooserTitles;
    int chosenWindow = -1;

    std::function<int(QDialog*)> onDialog;
    QStringList dialogs;

    std::vector<COLORREF> colors;
    std::vector<COLORREF> opened;
    std::vector<std::vector<COLORREF>> customSeen;

    std::optional<LOGFONT> font;
    std::vector<LOGFONT> fontsOpened;

    QStringList folders;
    QStringList startFolders;
};

// Puts a prompt service in place for its life, and the one before it back when it goes.
class PromptsInstalled {
public:
    explicit PromptsInstalled(CPromptService* prompts) : m_previous(CPromptService::Replace(prompts)) {}
    ~PromptsInstalled() { CPromptService::Replace(m_previous); }
    PromptsInstalled(const PromptsInstalled&) = delete;
    PromptsInstalled& operator=(const PromptsInstalled&) = delete;

private:
    CPromptService* m_previous;
};
