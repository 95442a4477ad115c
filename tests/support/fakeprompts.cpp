#include "fakeprompts.h"

#include <QPrinter>

#include <algorithm>
#include <iterator>

int FakePrompts::MessageBox(QWidget*, const QString& text, const QString& caption, int type) {
    messages << text;
    captions << caption;
    types.push_back(type);
    if ((type & 0xF) == MB_OKCANCEL) return answerOkCancel;
    if ((type & 0xF) == MB_YESNOCANCEL || (type & 0xF) == MB_YESNO) return answerYesNo;
    return IDOK;
}

bool FakePrompts::FileDialog(QWidget*, FileDialogRequest& r) {
    requests.push_back(r);
    if (fileNames.isEmpty()) return false;
    r.fileName = fileNames.takeFirst();
    return true;
}

bool FakePrompts::PrintDialog(QWidget*, QPrinter* printer) {
    printedOn = printer;
    if (pdfPath.isEmpty()) return false;
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdfPath);
    return true;
}

bool FakePrompts::PageSetupDialog(QWidget*, QPrinter* printer) {
    pageSetups++;
    printer->setPageOrientation(QPageLayout::Landscape);
    return true;
}

void FakePrompts::PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& paint) {
    previews++;
    QPrinter printer;
    if (PrintDialog(parent, &printer)) paint(&printer);
}

int FakePrompts::ChooseWindow(QWidget*, const QStringList& titles, int) {
    chooserTitles = titles;
    return chosenWindow;
}

int FakePrompts::DoModal(QDialog* dialog) {
    dialogs << dialog->windowTitle();
    return onDialog ? onDialog(dialog) : QDialog::Rejected;
}

bool FakePrompts::ChooseColor(QWidget*, COLORREF& color, COLORREF* custom) {
    opened.push_back(color);
    if (custom) {
        customSeen.emplace_back(custom, custom + 16);
        for (int i = 15; i > 0; i--) custom[i] = custom[i - 1];
        custom[0] = color;
    }
    if (colors.empty()) return false;
    color = colors.front();
    colors.erase(colors.begin());
    return true;
}

bool FakePrompts::ChooseFont(QWidget*, LOGFONT& f) {
    fontsOpened.push_back(f);
    if (!font) return false;
    // The character set stays as it was.
    f.lfHeight = font->lfHeight;
    f.lfWeight = font->lfWeight;
    f.lfItalic = font->lfItalic;
    std::copy(std::begin(font->lfFaceName), std::end(font->lfFaceName), f.lfFaceName);
    return true;
}

bool FakePrompts::ChooseFolder(QWidget*, const QString&, QString& folder) {
    startFolders << folder;
    if (folders.isEmpty()) return false;
    folder = folders.takeFirst();
    return true;
}
