// The "Folder" pane's tree of directories: "/", home and the mounted volumes on top. It keeps the
// start page's thumbnail list on the folder selected, by the user or by SelectPath.
#pragma once

#include <QTreeView>

class QFileSystemModel;
class CFolderTreeRoots;
class CThumbnailListCtrl;

class CFolderTreeCtrl : public QTreeView {
public:
    explicit CFolderTreeCtrl(QWidget* parent = nullptr);

    // Associates the list (both ways) and selects the list's working folder.
    void SetList(CThumbnailListCtrl* list);
    CThumbnailListCtrl* List() const { return m_pList; }

    // Expands the tree down to a folder and selects it, then reports it once to the list. A path
    // that is no folder shows "Folder not found" with the path and changes nothing; the folder
    // already selected changes nothing either. False when the folder is missing.
    bool SelectPath(const QString& path);
    // The folder last selected, with a trailing '/'.
    QString SelectedFolder() const { return m_strSelected; }

    QFileSystemModel* FileModel() const { return m_pFs; }
    CFolderTreeRoots* Roots() const { return m_pRoots; }

private:
    void OnCurrentChanged(const QModelIndex& current);
    void KeepInSightLater();  // scrolls the walked-to folder back into sight once events settle
    void Report(const QString& folder);

    QFileSystemModel* m_pFs = nullptr;
    CFolderTreeRoots* m_pRoots = nullptr;
    CThumbnailListCtrl* m_pList = nullptr;
    QString m_strSelected;
    bool m_bWalking = false;
    bool m_bKeepInSight = false;  // the folder SelectPath walked to stays scrolled into view
};
