#include "ui/promptservice.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPointer>

#include <algorithm>
#include <cstring>


int CPromptService::MessageBox(QWidget* parent, const QString& text, const QString& caption, int type) {
    // On the heap and guarded: the parent may go away while the box runs its own loop.
    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setWindowTitle(caption);
    box->setText(text);
    if ((type & 0xF0) == MB_ICONQUESTION)
        box->setIcon(QMessageBox::Question);
    else if ((type & 0xF0) == MB_ICONSTOP)
        box->setIcon(QMessageBox::Critical);
    else
        box->setIcon((type & MB_ICONINFORMATION) ? QMessageBox::Information : QMessageBox::Warning);
    switch (type & 0xF) {
    case MB_OKCANCEL: box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNO: box->setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MB_YESNOCANCEL: box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    default: box->setStandardButtons(QMessageBox::Ok); break;
    }
    const int result = box->exec();
    delete box.data();
    switch (result) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDCANCEL;
    }
}

QString CPromptService::FilterSuffix(const QString& filter, const QString& fallback) {
    const int open = filter.lastIndexOf('('), close = filter.lastIndexOf(')');
    const QString patterns = open >= 0 && close > open ? filter.mid(open + 1, close - open - 1) : filter;
    for (const QString& pattern : patterns.split(' ', Qt::SkipEmptyParts)) {
        const QString ext = pattern.startsWith("*.") ? pattern.mid(2) : QString();
        if (!ext.isEmpty() && !ext.contains('*') && !ext.contains('?')) return ext;
        break;
    }
    return fallback;
}

QFileDialog* CPromptService::CreateFileDialog(QWidget* parent, const FileDialogRequest& r) {
    auto* dlg = new QFileDialog(parent, r.title, r.fileName);
    dlg->setAcceptMode(r.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg->setFileMode(r.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg->setNameFilters(r.filters);
    QString start = r.filterIndex >= 1 && r.filterIndex <= r.filters.size() ? r.filters[r.filterIndex - 1] : QString();
    if (!start.isEmpty()) dlg->selectNameFilter(start);
    if (r.open) {
        dlg->setDefaultSuffix(r.defaultExt);
    } else {
        // A name typed without an extension takes the one of the filter chosen at that moment,
        // so "BMP files" and "out" give "out.bmp", whatever format the image came in.
        const QString fallback = r.defaultExt;
        dlg->setDefaultSuffix(start.isEmpty() ? fallback : FilterSuffix(start, fallback));
        QObject::connect(dlg, &QFileDialog::filterSelected, dlg, [dlg, fallback](const QString& filter) {
            dlg->setDefaultSuffix(FilterSuffix(filter, fallback));
        });
    }
    if (!r.fileName.isEmpty()) dlg->selectFile(r.fileName);
    return dlg;
}

bool CPromptService::ReadFileDialog(QFileDialog& dlg, FileDialogRequest& r) {
    if (dlg.selectedFiles().isEmpty()) return false;
    r.fileName = dlg.selectedFiles().first();
    r.filterIndex = r.filters.indexOf(dlg.selectedNameFilter()) + 1;
    if (r.filterIndex < 1) r.filterIndex = 1;
    return true;
}

bool CPromptService::FileDialog(QWidget* parent, FileDialogRequest& r) {
    QPointer<QFileDialog> guard = CreateFileDialog(parent, r);
    const bool ok = guard->exec() == QDialog::Accepted && guard && ReadFileDialog(*guard, r);
    delete guard.data();
    return ok;
}

bool CPromptService::PrintDialog(QWidget* parent, QPrinter* printer) {
    QPrintDialog dlg(printer, parent);
    return dlg.exec() == QDialog::Accepted;
}

bool CPromptService::PageSetupDialog(QWidget* parent, QPrinter* printer) {
    QPageSetupDialog dlg(printer, parent);
    return dlg.exec() == QDialog::Accepted;
}

int CPromptService::ChooseWindow(QWidget* parent, const QStringList& titles, int current) {
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, "Select Window", "Select &Window:", titles,
                                                 std::max(0, current), false, &ok);
    return ok ? static_cast<int>(titles.indexOf(chosen)) : -1;
}

void CPromptService::PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& paint) {
    QPointer<QPrintPreviewDialog> dlg = new QPrintPreviewDialog(parent);
    QObject::connect(dlg.data(), &QPrintPreviewDialog::paintRequested, [paint](QPrinter* p) { paint(p); });
    dlg->exec();
    delete dlg.data();
}

int CPromptService::DoModal(QDialog* dialog) { return dialog->exec(); }

bool CPromptService::ChooseColor(QWidget* parent, COLORREF& color, COLORREF* custom) {
    // Qt's custom colours are process-wide: set them before and read them after each pick.
    if (custom)
        for (int i = 0; i < 16 && i < QColorDialog::customCount(); i++)
            QColorDialog::setCustomColor(i, QColor(GetRValue(custom[i]), GetGValue(custom[i]), GetBValue(custom[i])));
    QPointer<QColorDialog> dlg = new QColorDialog(QColor(GetRValue(color), GetGValue(color), GetBValue(color)), parent);
    const bool ok = dlg->exec() == QDialog::Accepted && dlg;
    if (ok) {
        const QColor c = dlg->selectedColor();
        color = RGB(c.red(), c.green(), c.blue());
    }
    delete dlg.data();
    if (custom)
        for (int i = 0; i < 16 && i < QColorDialog::customCount(); i++) {
            const QColor c = QColorDialog::customColor(i);
            custom[i] = RGB(c.red(), c.green(), c.blue());
        }
    return ok;
}

QFont CPromptService::FontFromLogFont(const LOGFONT& lf) {
    QFont f(QString::fromLocal8Bit(lf.lfFaceName, static_cast<int>(strnlen(lf.lfFaceName, LF_FACESIZE))));
    if (lf.lfHeight < 0)
        f.setPixelSize(-lf.lfHeight);
    else if (lf.lfHeight > 0)
        f.setPixelSize(lf.lfHeight);  // a cell height: near enough to the character height
    if (lf.lfWeight > 0) f.setWeight(static_cast<QFont::Weight>(std::clamp<int>(lf.lfWeight, 1, 1000)));
    f.setItalic(lf.lfItalic != 0);
    f.setUnderline(lf.lfUnderline != 0);
    f.setStrikeOut(lf.lfStrikeOut != 0);
    return f;
}

LOGFONT CPromptService::LogFontFromFont(const QFont& f, const LOGFONT& base) {
    LOGFONT lf = base;
    if (f.pixelSize() > 0)
        lf.lfHeight = -f.pixelSize();
    else if (f.pointSizeF() > 0)
        lf.lfHeight = -static_cast<LONG>(f.pointSizeF() * 96.0 / 72.0 + 0.5);
    lf.lfWeight = f.weight();
    lf.lfItalic = f.italic() ? 1 : 0;
    lf.lfUnderline = f.underline() ? 1 : 0;
    lf.lfStrikeOut = f.strikeOut() ? 1 : 0;
    const QByteArray face = f.family().toLocal8Bit().left(LF_FACESIZE - 1);
    std::fill(std::begin(lf.lfFaceName), std::end(lf.lfFaceName), '\0');
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    return lf;
}

bool CPromptService::ChooseFont(QWidget* parent, LOGFONT& font) {
    QPointer<QFontDialog> dlg = new QFontDialog(FontFromLogFont(font), parent);
    const bool ok = dlg->exec() == QDialog::Accepted && dlg;
    if (ok) font = LogFontFromFont(dlg->selectedFont(), font);
    delete dlg.data();
    return ok;
}

bool CPromptService::ChooseFolder(QWidget* parent, const QString& title, QString& folder) {
    const QString chosen = QFileDialog::getExistingDirectory(parent, title, folder);
    if (chosen.isEmpty()) return false;
    folder = chosen;
    return true;
}

namespace {
CPromptService g_defaultPrompts;
CPromptService* g_prompts = &g_defaultPrompts;
QWidget* (*g_mainWindow)() = nullptr;
}  // namespace

CPromptService& CPromptService::Instance() { return *g_prompts; }

CPromptService* CPromptService::Replace(CPromptService* service) {
    CPromptService* old = g_prompts;
    g_prompts = service ? service : &g_defaultPrompts;
    return old;
}

void CPromptService::SetMainWindow(QWidget* (*mainWindow)()) { g_mainWindow = mainWindow; }

int AfxMessageBox(const QString& text, int type) {
    return CPromptService::Instance().MessageBox(g_mainWindow ? g_mainWindow() : nullptr, text, "Quillory", type);
}
