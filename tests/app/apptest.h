// Shared fixture: a started program on a temporary profile, with prompts answered by the test.
#pragma once

#include <QDir>
#include <QStringList>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <QDialog>

#include <deque>
#include <memory>

#include <gtest/gtest.h>

#include "app/pelidorapp.h"
#include "ui/promptservice.h"
#include "imagelib/pximage.h"

class FakePrompts : public CPromptService {
public:
    int MessageBox(QWidget*, const QString& text, const QString&, int type) override {
        messages << text;
        if ((type & 0xF) == MB_OKCANCEL) return answerOkCancel;
        if ((type & 0xF) == MB_YESNOCANCEL || (type & 0xF) == MB_YESNO) return answerYesNo;
        return IDOK;
    }
    bool FileDialog(QWidget*, FileDialogRequest& r) override {
        requests.push_back(r);
        if (fileNames.empty()) return false;
        r.fileName = fileNames.front();
        fileNames.pop_front();
        return true;
    }
    bool PrintDialog(QWidget*, QPrinter* printer) override;
    void PrintPreview(QWidget*, const std::function<void(QPrinter*)>& paint) override;
    int previews = 0;
    bool PageSetupDialog(QWidget*, QPrinter* printer) override;
    int pageSetups = 0;
    QPrinter* printedOn = nullptr;  // the printer the last print dialog was given
    int ChooseWindow(QWidget*, const QStringList& titles, int) override {
        chooserTitles = titles;
        return chosenWindow;
    }
    QStringList chooserTitles;
    int chosenWindow = -1;

    // Each dialog run through DoModal: the test's hook sets its controls and returns the result
    // (QDialog::Accepted or Rejected); without a hook the dialog is rejected.
    int DoModal(QDialog* dialog) override {
        dialogs << dialog->windowTitle();
        if (!onDialog) return QDialog::Rejected;
        return onDialog(dialog);
    }
    std::function<int(QDialog*)> onDialog;
    QStringList dialogs;
    // Each folder chooser: its title and start folder; answers with the next queued folder,
    // Cancel when none is left.
    bool ChooseFolder(QWidget*, const QString& title, QString& folder) override {
        folderRequests << title + "|" + folder;
        if (folders.empty()) return false;
        folder = folders.front();
        folders.pop_front();
        return true;
    }
    QStringList folderRequests;
    std::deque<QString> folders;

    QStringList messages;
    std::deque<QString> fileNames;
    std::vector<FileDialogRequest> requests;
    int answerOkCancel = IDCANCEL;
    int answerYesNo = IDNO;
    QString pdfPath;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the program with arguments; the profile lives in the temporary folder.
    bool Start(const QStringList& args = {});
    QString Path(const QString& name) const { return dir.filePath(name); }
    // A 24-bit test image with a gradient; saved as BMP when a name is given.
    static PxImage* MakeImage(int w, int h);
    QString SaveBmp(const QString& name, int w, int h);
    void Pump(int ms = 0);
    // Pumps until the condition holds; false when the deadline passed first.
    template <class Pred>
    bool PumpUntil(Pred pred, int timeoutMs = 8000) {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > timeoutMs) return false;
            Pump(0);
        }
        return true;
    }

    QTemporaryDir dir;
    FakePrompts prompts;
    CPromptService* oldPrompts = nullptr;
    std::unique_ptr<CPelidorApp> app;
};
