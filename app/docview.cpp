#include "app/docview.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "ui/promptservice.h"

CDocument::~CDocument() {
    for (CView* v : m_views) v->DetachDocument();
}

void CDocument::SetTitle(const QString& title) {
    m_strTitle = title;
    for (CView* v : m_views)
        if (QWidget* w = v->parentWidget()) {
            while (w && !qobject_cast<QMdiSubWindow*>(w)) w = w->parentWidget();
            if (w) w->setWindowTitle(title);
        }
}

void CDocument::SetPathName(const QString& path, bool addToMru) {
    m_strPathName = path;
    SetTitle(QFileInfo(path).fileName());
    if (addToMru && m_pTemplate && m_pTemplate->onMru) m_pTemplate->onMru(path);
}

void CDocument::AddView(CView* view) {
    if (!m_views.contains(view)) m_views.append(view);
}

void CDocument::RemoveView(CView* view) {
    m_views.removeAll(view);
    if (m_views.isEmpty() && m_pTemplate) m_pTemplate->RemoveDocument(this);
}

void CDocument::UpdateAllViews(CView* sender, LPARAM hint) {
    const QList<CView*> views = m_views;
    for (CView* v : views)
        if (v != sender) v->OnUpdate(sender, hint);
}

bool CDocument::CanCloseFrame() { return m_views.size() > 1 || SaveModified(); }

int CDocument::AskSaveChanges() {
    const QString name = m_strPathName.isEmpty() ? m_strTitle : QFileInfo(m_strPathName).fileName();
    return AfxMessageBox(QString("Save changes to %1?").arg(name), MB_YESNOCANCEL);
}

bool CDocument::SaveModified() {
    if (!IsModified()) return true;
    switch (AskSaveChanges()) {
    case IDCANCEL: return false;
    case IDYES: return DoSave(m_strPathName, true);
    default: return true;
    }
}

bool CDocument::DoSave(const QString& path, bool replace) {
    if (path.isEmpty() || !OnSaveDocument(path)) return false;
    if (replace) SetPathName(path);
    SetModifiedFlag(false);
    return true;
}

CView::CView(CDocument* doc, QWidget* parent) : QAbstractScrollArea(parent), m_pDocument(doc) {
    if (doc) doc->AddView(this);
}

CView::~CView() {
    if (m_pDocument) m_pDocument->RemoveView(this);
}

void CView::OnUpdate(CView*, LPARAM) { viewport()->update(); }

CDocTemplate::CDocTemplate(QMdiArea* area, DocFactory doc, FrameFactory frame)
    : m_area(area), m_docFactory(std::move(doc)), m_frameFactory(std::move(frame)) {}

CDocTemplate::~CDocTemplate() { CloseAllDocuments(); }

QList<CDocument*> CDocTemplate::Documents() const {
    QList<CDocument*> out;
    for (const auto& d : m_docs)
        if (d) out << d.data();
    return out;
}

QMdiSubWindow* CDocTemplate::FrameOf(CDocument* doc) const {
    if (!doc || !doc->FirstView()) return nullptr;
    QWidget* w = doc->FirstView();
    while (w && !qobject_cast<QMdiSubWindow*>(w)) w = w->parentWidget();
    return qobject_cast<QMdiSubWindow*>(w);
}

CDocument* CDocTemplate::OpenDocumentFile(const QString& path, bool makeVisible) {
    if (!path.isEmpty()) {
        const QString abs = QFileInfo(path).absoluteFilePath();
        for (CDocument* d : Documents())
            if (!d->GetPathName().isEmpty() && QFileInfo(d->GetPathName()).absoluteFilePath() == abs) {
                if (QMdiSubWindow* f = FrameOf(d)) m_area->setActiveSubWindow(f);
                return d;
            }
    }
    CDocument* doc = m_docFactory();
    doc->m_pTemplate = this;
    m_docs.append(doc);
    CView* view = nullptr;
    QMdiSubWindow* frame = m_frameFactory(doc, &view);
    bool ok = path.isEmpty() ? doc->OnNewDocument() : doc->OnOpenDocument(path);
    if (!ok) {
        // The failed document goes away with its frame; nothing else changes.
        m_docs.removeAll(doc);
        doc->m_pTemplate = nullptr;
        delete frame;
        delete doc;
        return nullptr;
    }
    if (path.isEmpty()) {
        if (doc->GetTitle().isEmpty()) doc->SetTitle("Untitled");
    } else {
        doc->SetPathName(QFileInfo(path).absoluteFilePath());
    }
    frame->setWindowTitle(doc->GetTitle());
    m_area->addSubWindow(frame);
    if (makeVisible) {
        frame->show();
        m_area->setActiveSubWindow(frame);
    }
    if (view) view->OnInitialUpdate();
    return doc;
}

void CDocTemplate::RemoveDocument(CDocument* doc) {
    // Called as the last view goes; nothing of the document is touched after this.
    m_docs.removeAll(doc);
    doc->m_pTemplate = nullptr;
    delete doc;
}

bool CDocTemplate::SaveAllModified() {
    for (CDocument* d : Documents())
        if (!d->SaveModified()) return false;
    return true;
}

void CDocTemplate::CloseAllDocuments() {
    for (CDocument* d : Documents()) {
        if (QMdiSubWindow* f = FrameOf(d)) {
            f->setAttribute(Qt::WA_DeleteOnClose, false);
            delete f;  // the view goes with it and removes the document
        } else {
            RemoveDocument(d);
        }
    }
    const QList<QPointer<CDocument>> rest = m_docs;
    m_docs.clear();
    for (const auto& d : rest) delete d.data();
}
