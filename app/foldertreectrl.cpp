#include "app/foldertreectrl.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>

#include "app/foldertreeroots.h"
#include "ui/promptservice.h"
#include "app/thumbnaillistctrl.h"

namespace {
QString WithSlash(const QString& folder) { return folder.endsWith('/') ? folder : folder + '/'; }
}  // namespace

CFolderTreeCtrl::CFolderTreeCtrl(QWidget* parent) : QTreeView(parent) {
    setObjectName("FolderTree");
    m_pFs = new QFileSystemModel(this);
    m_pFs->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_pFs->setRootPath("/");
    m_pRoots = new CFolderTreeRoots(m_pFs, this);
    m_pRoots->AddStandardRoots();
    setModel(m_pRoots);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { OnCurrentChanged(current); });
    // The model fills folders on its own thread: the rows above a folder just walked to arrive
    // after the walk scrolled to it and push it out of sight. Scroll again as they come in, until
    // the user picks something else.
    connect(m_pFs, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (!m_bKeepInSight || !m_strSelected.startsWith(WithSlash(QDir::cleanPath(loaded)))) return;
        KeepInSightLater();
    });
    // The model sorts a loaded folder later, on a timer of its own, which moves rows again.
    connect(m_pFs, &QAbstractItemModel::layoutChanged, this, [this] {
        if (m_bKeepInSight) KeepInSightLater();
    });
}

void CFolderTreeCtrl::KeepInSightLater() {
    QMetaObject::invokeMethod(this, [this] {
        if (m_bKeepInSight && currentIndex().isValid()) scrollTo(currentIndex());
    }, Qt::QueuedConnection);
}

void CFolderTreeCtrl::SetList(CThumbnailListCtrl* list) {
    m_pList = list;
    if (!list) return;
    list->SetTree(this);
    SelectPath(list->CurrentFolder().isEmpty() ? QDir::currentPath() : list->CurrentFolder());
}

bool CFolderTreeCtrl::SelectPath(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    if (clean.isEmpty() || !QFileInfo(clean).isDir()) {
        CPromptService::Instance().MessageBox(this, path, "Folder not found", MB_OK | MB_ICONSTOP);
        return false;
    }
    const QString folder = WithSlash(clean);
    if (folder == m_strSelected) return true;
    const QModelIndex target = m_pRoots->mapFromSource(m_pFs->index(clean));
    m_bWalking = true;
    if (target.isValid()) {
        QModelIndexList chain;
        for (QModelIndex a = target.parent(); a.isValid(); a = a.parent()) chain.prepend(a);
        for (const QModelIndex& a : chain) expand(a);
        expand(target);
        setCurrentIndex(target);
        scrollTo(target);
    }
    m_bWalking = false;
    m_bKeepInSight = target.isValid();
    Report(folder);
    return true;
}

void CFolderTreeCtrl::OnCurrentChanged(const QModelIndex& current) {
    if (m_bWalking || !current.isValid()) return;
    m_bKeepInSight = false;
    const QString path = m_pRoots->FilePath(current);
    if (path.isEmpty()) return;
    Report(WithSlash(path));
}

void CFolderTreeCtrl::Report(const QString& folder) {
    m_strSelected = folder;
    if (m_pList) m_pList->SetFolder(folder);
}
