#include "app/foldertreeroots.h"

#include <QDir>
#include <QFileSystemModel>
#include <QStorageInfo>

namespace {
bool IsUnder(const QString& path, const QString& root) {
    if (root == "/") return path.startsWith('/');
    return path == root || path.startsWith(root + '/');
}
}  // namespace

CFolderTreeRoots::CFolderTreeRoots(QFileSystemModel* source, QObject* parent) : QAbstractProxyModel(parent), m_fs(source) {
    QAbstractProxyModel::setSourceModel(source);
    Connect();
}

bool CFolderTreeRoots::AddRoot(const QString& path, const QString& name) {
    const QString clean = QDir::cleanPath(path);
    if (m_rootPaths.contains(clean)) return false;
    const QModelIndex src = m_fs->index(clean);
    if (!src.isValid()) return false;
    beginInsertRows(QModelIndex(), m_rootPaths.size(), m_rootPaths.size());
    m_nodes.push_back(Node{static_cast<int>(m_rootPaths.size()), true, QPersistentModelIndex(src)});
    m_rootNodes << &m_nodes.back();
    m_rootPaths << clean;
    m_rootNames << name;
    endInsertRows();
    return true;
}

void CFolderTreeRoots::AddStandardRoots() {
    AddRoot("/", "/");
    AddRoot(QDir::homePath(), QDir::homePath());
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid() || !v.isReady() || v.rootPath() == "/") continue;
        // Real volumes sit on a block device; loop-mounted read-only images are packages, not disks.
        if (!v.device().startsWith("/dev/") || v.device().startsWith("/dev/loop")) continue;
        if (v.fileSystemType() == "squashfs") continue;
        AddRoot(v.rootPath(), v.displayName());
    }
}

QString CFolderTreeRoots::FilePath(const QModelIndex& proxy) const {
    const QModelIndex src = mapToSource(proxy);
    return src.isValid() ? m_fs->filePath(src) : QString();
}

CFolderTreeRoots::Node* CFolderTreeRoots::NodeFor(int root, const QModelIndex& src) const {
    const QModelIndex s = src.sibling(src.row(), 0);
    if (s == QModelIndex(m_rootNodes[root]->src)) return m_rootNodes[root];
    const auto key = qMakePair(root, reinterpret_cast<quintptr>(s.internalPointer()));
    auto it = m_byKey.find(key);
    if (it != m_byKey.end()) return it.value();
    m_nodes.push_back(Node{root, false, QPersistentModelIndex(s)});
    Node* n = &m_nodes.back();
    m_byKey.insert(key, n);
    return n;
}

int CFolderTreeRoots::RootOf(const QString& path) const {
    int best = -1;
    for (int i = 0; i < m_rootPaths.size(); i++)
        if (IsUnder(path, m_rootPaths[i]) && (best < 0 || m_rootPaths[i].size() > m_rootPaths[best].size())) best = i;
    return best;
}

QModelIndex CFolderTreeRoots::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0) return QModelIndex();
    if (!parent.isValid()) return row < m_rootNodes.size() ? createIndex(row, column, m_rootNodes[row]) : QModelIndex();
    Node* p = NodeOf(parent);
    if (!p || !p->src.isValid()) return QModelIndex();
    const QModelIndex s = m_fs->index(row, 0, p->src);
    if (!s.isValid()) return QModelIndex();
    return createIndex(row, column, NodeFor(p->root, s));
}

QModelIndex CFolderTreeRoots::parent(const QModelIndex& child) const {
    Node* n = child.isValid() ? NodeOf(child) : nullptr;
    if (!n || n->isRoot || !n->src.isValid()) return QModelIndex();
    const QModelIndex sp = n->src.parent();
    Node* p = NodeFor(n->root, sp);
    if (p->isRoot) return createIndex(p->root, 0, p);
    return createIndex(sp.row(), 0, p);
}

int CFolderTreeRoots::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return m_rootNodes.size();
    if (parent.column() > 0) return 0;
    Node* n = NodeOf(parent);
    return n && n->src.isValid() ? m_fs->rowCount(n->src) : 0;
}

int CFolderTreeRoots::columnCount(const QModelIndex&) const { return 1; }

bool CFolderTreeRoots::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return !m_rootNodes.isEmpty();
    Node* n = NodeOf(parent);
    return n && n->src.isValid() && m_fs->hasChildren(n->src);
}

bool CFolderTreeRoots::canFetchMore(const QModelIndex& parent) const {
    if (!parent.isValid()) return false;
    Node* n = NodeOf(parent);
    return n && n->src.isValid() && m_fs->canFetchMore(n->src);
}

void CFolderTreeRoots::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid()) return;
    Node* n = NodeOf(parent);
    if (n && n->src.isValid()) m_fs->fetchMore(n->src);
}

QVariant CFolderTreeRoots::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return QVariant();
    Node* n = NodeOf(index);
    if (n && n->isRoot && role == Qt::DisplayRole) return m_rootNames[n->root];
    return m_fs->data(mapToSource(index), role);
}

QVariant CFolderTreeRoots::headerData(int section, Qt::Orientation o, int role) const {
    if (section == 0 && o == Qt::Horizontal && role == Qt::DisplayRole) return QString("Folder");
    return QVariant();
}

Qt::ItemFlags CFolderTreeRoots::flags(const QModelIndex& index) const {
    return index.isValid() ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::NoItemFlags;
}

QModelIndex CFolderTreeRoots::mapToSource(const QModelIndex& proxy) const {
    Node* n = proxy.isValid() ? NodeOf(proxy) : nullptr;
    if (!n || !n->src.isValid()) return QModelIndex();
    return n->src.sibling(n->src.row(), proxy.column());
}

QModelIndex CFolderTreeRoots::mapFromSource(const QModelIndex& source) const {
    if (!source.isValid()) return QModelIndex();
    const int root = RootOf(m_fs->filePath(source));
    if (root < 0) return QModelIndex();
    // Above its root a directory is not shown under that root.
    const QString path = m_fs->filePath(source);
    if (path.size() < m_rootPaths[root].size()) return QModelIndex();
    Node* n = NodeFor(root, source);
    if (n->isRoot) return createIndex(root, 0, n);
    return createIndex(source.row(), 0, n);
}

void CFolderTreeRoots::Connect() {
    // Row changes pass on under the parent's innermost root; a parent shown nowhere passes nothing.
    auto begin = [this](const QModelIndex& parent, int first, int last, bool insert) {
        const QModelIndex p = mapFromSource(parent);
        const bool pass = p.isValid();
        m_began << pass;
        if (!pass) return;
        if (insert) beginInsertRows(p, first, last);
        else beginRemoveRows(p, first, last);
    };
    auto end = [this](bool insert) {
        if (m_began.isEmpty() || !m_began.takeLast()) return;
        if (insert) endInsertRows();
        else endRemoveRows();
    };
    connect(m_fs, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [begin](const QModelIndex& p, int f, int l) { begin(p, f, l, true); });
    connect(m_fs, &QAbstractItemModel::rowsInserted, this, [end] { end(true); });
    connect(m_fs, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [begin](const QModelIndex& p, int f, int l) { begin(p, f, l, false); });
    connect(m_fs, &QAbstractItemModel::rowsRemoved, this, [end] { end(false); });
    connect(m_fs, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& tl, const QModelIndex& br) {
        const QModelIndex a = mapFromSource(tl.sibling(tl.row(), 0)), b = mapFromSource(br.sibling(br.row(), 0));
        if (a.isValid() && b.isValid() && a.parent() == b.parent()) emit dataChanged(a, b);
    });
    connect(m_fs, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] { emit layoutAboutToBeChanged(); });
    connect(m_fs, &QAbstractItemModel::layoutChanged, this, [this] {
        // Each shown index follows its directory to its new row.
        const QModelIndexList old = persistentIndexList();
        QModelIndexList now;
        for (const QModelIndex& i : old) {
            Node* n = NodeOf(i);
            if (!n || !n->src.isValid()) now << QModelIndex();
            else if (n->isRoot) now << createIndex(n->root, i.column(), n);
            else now << createIndex(n->src.row(), i.column(), n);
        }
        changePersistentIndexList(old, now);
        emit layoutChanged();
    });
    connect(m_fs, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(m_fs, &QAbstractItemModel::modelReset, this, [this] {
        const QStringList paths = m_rootPaths, names = m_rootNames;
        m_byKey.clear();
        m_rootNodes.clear();
        m_nodes.clear();
        m_rootPaths.clear();
        m_rootNames.clear();
        for (int i = 0; i < paths.size(); i++) {
            const QModelIndex src = m_fs->index(paths[i]);
            if (!src.isValid()) continue;
            m_nodes.push_back(Node{static_cast<int>(m_rootPaths.size()), true, QPersistentModelIndex(src)});
            m_rootNodes << &m_nodes.back();
            m_rootPaths << paths[i];
            m_rootNames << names[i];
        }
        endResetModel();
    });
}
