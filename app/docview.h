// The small document/view layer: a template makes a document, its child frame and its view;
// a document keeps its views and tells them about changes with update hints.
#pragma once

#include <QAbstractScrollArea>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "ui/commandrouter.h"
#include "platform/wintypes.h"

class CView;
class CDocTemplate;
class QMdiArea;
class QMdiSubWindow;

class CDocument : public QObject, public CCmdTarget {
public:
    CDocument() = default;
    ~CDocument() override;

    const QString& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(const QString& title);
    const QString& GetPathName() const { return m_strPathName; }
    void SetPathName(const QString& path, bool addToMru = true);
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }

    void AddView(CView* view);
    void RemoveView(CView* view);
    const QList<CView*>& Views() const { return m_views; }
    CView* FirstView() const { return m_views.isEmpty() ? nullptr : m_views.first(); }
    void UpdateAllViews(CView* sender, LPARAM hint = 0);
    CDocTemplate* GetDocTemplate() const { return m_pTemplate; }

    virtual bool OnNewDocument() { return true; }
    virtual bool OnOpenDocument(const QString& path) = 0;
    virtual bool OnSaveDocument(const QString& path) = 0;
    // May a frame of this document close? Asks about unsaved changes on the last frame.
    virtual bool CanCloseFrame();
    virtual bool SaveModified();
    // "Save changes to <name>?": IDYES, IDNO or IDCANCEL.
    int AskSaveChanges();
    virtual bool DoSave(const QString& path, bool replace = true);

private:
    friend class CDocTemplate;
    QString m_strTitle;
    QString m_strPathName;
    bool m_bModified = false;
    QList<CView*> m_views;
    CDocTemplate* m_pTemplate = nullptr;
};

class CView : public QAbstractScrollArea, public CCmdTarget {
public:
    explicit CView(CDocument* doc, QWidget* parent = nullptr);
    ~CView() override;
    CDocument* GetDocument() const { return m_pDocument; }
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0); }
    virtual void OnUpdate(CView* sender, LPARAM hint);
    // The view's document goes away before the view (closing the program).
    void DetachDocument() { m_pDocument = nullptr; }

private:
    CDocument* m_pDocument;
};

// The multi-document template: document, child frame and view factories.
class CDocTemplate {
public:
    using DocFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<QMdiSubWindow*(CDocument*, CView**)>;
    CDocTemplate(QMdiArea* area, DocFactory doc, FrameFactory frame);
    ~CDocTemplate();

    // Opens a file (an already open one is only activated) or, without a path, a new
    // document; nullptr when it fails.
    CDocument* OpenDocumentFile(const QString& path, bool makeVisible = true);
    QList<CDocument*> Documents() const;
    // Removes a document that has lost its last view; it is deleted.
    void RemoveDocument(CDocument* doc);
    // Closes every document (the closing program): false when one refuses.
    bool SaveAllModified();
    void CloseAllDocuments();
    QMdiSubWindow* FrameOf(CDocument* doc) const;
    std::function<void(const QString&)> onMru;  // a file opened or saved under a name

private:
    QMdiArea* m_area;
    DocFactory m_docFactory;
    FrameFactory m_frameFactory;
    QList<QPointer<CDocument>> m_docs;
};
