#include "app/promptservice.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPointer>

#include "app/mainframe.h"
#include "app/pelidorapp.h"

int CPromptService::MessageBox(QWidget* parent, const QString& text, const QString& caption, int type) {
    // On the heap and guarded: the parent may go away while the box runs its own loop.
    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setWindowTitle(caption);
    box->setText(text);
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

bool CPromptService::FileDialog(QWidget* parent, FileDialogRequest& r) {
    QPointer<QFileDialog> guard = new QFileDialog(parent, r.title, r.fileName);
    QFileDialog& dlg = *guard;
    dlg.setAcceptMode(r.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg.setFileMode(r.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setNameFilters(r.filters);
    if (r.filterIndex >= 1 && r.filterIndex <= r.filters.size()) dlg.selectNameFilter(r.filters[r.filterIndex - 1]);
    dlg.setDefaultSuffix(r.defaultExt);
    if (!r.fileName.isEmpty()) dlg.selectFile(r.fileName);
    const bool ok = dlg.exec() == QDialog::Accepted && guard && !dlg.selectedFiles().isEmpty();
    if (ok) {
        r.fileName = dlg.selectedFiles().first();
        r.filterIndex = r.filters.indexOf(dlg.selectedNameFilter()) + 1;
        if (r.filterIndex < 1) r.filterIndex = 1;
    }
    delete guard.data();
    return ok;
}

bool CPromptService::PrintDialog(QWidget* parent, QPrinter* printer) {
    QPrintDialog dlg(printer, parent);
    return dlg.exec() == QDialog::Accepted;
}

void CPromptService::PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& paint) {
    QPointer<QPrintPreviewDialog> dlg = new QPrintPreviewDialog(parent);
    QObject::connect(dlg.data(), &QPrintPreviewDialog::paintRequested, [paint](QPrinter* p) { paint(p); });
    dlg->exec();
    delete dlg.data();
}

bool CPromptService::ColorDialog(QWidget* parent, COLORREF& color) {
    QPointer<QColorDialog> dlg = new QColorDialog(QColor(GetRValue(color), GetGValue(color), GetBValue(color)), parent);
    const bool ok = dlg->exec() == QDialog::Accepted && dlg;
    if (ok) {
        const QColor c = dlg->selectedColor();
        color = RGB(c.red(), c.green(), c.blue());
    }
    delete dlg.data();
    return ok;
}

namespace {
CPromptService g_defaultPrompts;
CPromptService* g_prompts = &g_defaultPrompts;
}  // namespace

CPromptService& CPromptService::Instance() { return *g_prompts; }

CPromptService* CPromptService::Replace(CPromptService* service) {
    CPromptService* old = g_prompts;
    g_prompts = service ? service : &g_defaultPrompts;
    return old;
}

int AfxMessageBox(const QString& text, int type) {
    return CPromptService::Instance().MessageBox(AfxGetMainFrame(), text, "Quillory", type);
}
