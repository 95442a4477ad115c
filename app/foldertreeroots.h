// The folder tree's model: the file system's directories under a few roots side by side on top
// ("/", the home folder and each real mounted volume), each root's subtree taken from one
// QFileSystemModel. A directory under two roots (home is also under "/") is shown under both;
// the source model's changes reach it under its innermost root.
#pragma once

#include <QAbstractProxyModel>
#include <QHash>
#include <QPersistentModelIndex>
#include <QStringList>

#include <deque>

class QFileSystemModel;

class CFolderTreeRoots : public QAbstractProxyModel {
public:
    explicit CFolderTreeRoots(QFileSystemModel* source, QObject* parent = nullptr);
    // Adds a root with its shown name; false for a path the model does not know.
    bool AddRoot(const QString& path, const QString& name);
    // "/", home and the real mounted volumes (block devices, not read-only images), in that order.
    void AddStandardRoots();
    QStringList RootPaths() const { return m_rootPaths; }
    QFileSystemModel* FileModel() const { return m_fs; }
    // The directory of a proxy index, or empty.
    QString FilePath(const QModelIndex& proxy) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QModelIndex mapToSource(const QModelIndex& proxy) const override;
    QModelIndex mapFromSource(const QModelIndex& source) const override;

private:
    struct Node {
        int root;
        bool isRoot;
        QPersistentModelIndex src;  // column 0
    };
    Node* NodeFor(int root, const QModelIndex& src) const;
    Node* NodeOf(const QModelIndex& proxy) const { return static_cast<Node*>(proxy.internalPointer()); }
    int RootOf(const QString& path) const;  // innermost root holding the path, or -1
    void Connect();

    QFileSystemModel* m_fs;
    QStringList m_rootPaths;
    QStringList m_rootNames;
    mutable std::deque<Node> m_nodes;  // stable addresses
    QList<Node*> m_rootNodes;
    mutable QHash<QPair<int, quintptr>, Node*> m_byKey;
    QList<bool> m_began;  // a begin of rows passed on for the matching end
};
