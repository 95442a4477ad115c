#include "app/thumbnaillistctrl.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QStandardItemModel>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "app/docview.h"
#include "ui/promptservice.h"
#include "app/thumbnailrenderer.h"
#include "app/thumbnailworker.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "resources/resourcetable.h"

namespace {

CThumbnailListCtrl* g_list = nullptr;

// The wait cursor for the length of a scope, whichever way it is left.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QPixmap VideoTile() { return ResourcePixmap(195); }

// Bitmap 210: a file that cannot be shown.
QPixmap PlaceholderTile() { return ResourcePixmap(210); }

// A tile whose picture is still being drawn.
QPixmap PendingTile() {
    QImage tile(CThumbnailRenderer::kTileWidth, CThumbnailRenderer::kTileHeight, QImage::Format_RGB32);
    tile.fill(QColor(246, 246, 246));
    QPainter p(&tile);
    p.setPen(QColor(130, 130, 130));
    p.drawRect(0, 0, tile.width() - 1, tile.height() - 1);
    p.end();
    return QPixmap::fromImage(tile);
}

QString WithSlash(const QString& folder) { return folder.endsWith('/') ? folder : folder + '/'; }

}  // namespace

CThumbnailListCtrl::CThumbnailListCtrl(QWidget* parent) : QListView(parent) {
    g_list = this;
    setObjectName(QString::number(kControlId));
    setViewMode(QListView::IconMode);
    setIconSize(QSize(CThumbnailRenderer::kTileWidth, CThumbnailRenderer::kTileHeight));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setSpacing(6);
    m_model = new QStandardItemModel(this);
    setModel(m_model);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setTextVisible(false);
    m_pProgress->hide();
    m_worker = std::make_unique<CThumbnailWorker>(
        this, [this](quint64 g, const QString& f, const QStringList& p) { OnScanDone(g, f, p); },
        [this](quint64 g, const QString& p, const QImage& t) { OnTileDone(g, p, t); });
    m_generation = m_worker->Generation();
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) {
        if (i.isValid()) OnItemActivated(i.row());
    });
    RegisterWindow(this);
}

CThumbnailListCtrl::~CThumbnailListCtrl() {
    UnregisterWindow();
    m_worker.reset();  // joins the thread before anything it reports to goes
    if (g_list == this) g_list = nullptr;
}

CThumbnailListCtrl* CThumbnailListCtrl::Instance() { return g_list; }

QString CThumbnailListCtrl::FileName(const QString& path) { return path.mid(path.lastIndexOf('/') + 1); }

void CThumbnailListCtrl::Initialise() {
    if (m_bInitialised) return;
    m_bInitialised = true;
    m_entries = QStringList{ResourceString(1259)};
    m_strFolder = WithSlash(QDir::currentPath());
    m_bScanning = true;
    m_worker->Scan(m_generation, m_strFolder, kMaxEntries - 1);
    UpdateProgress();
}

void CThumbnailListCtrl::Refresh() {
    setUpdatesEnabled(false);
    m_model->clear();
    const int n = std::min<int>(std::min<int>(m_entries.size(), kMaxEntries), kShownItems);
    for (int i = 0; i < n; i++) {
        auto* item = new QStandardItem(QIcon(PixmapOf(i)), i == 0 ? m_entries[0] : FileName(m_entries[i]));
        item->setEditable(false);
        item->setToolTip(i == 0 ? m_entries[0] : m_entries[i]);
        m_model->appendRow(item);
    }
    setUpdatesEnabled(true);
    viewport()->update();
}

QPixmap CThumbnailListCtrl::PixmapOf(int i) const {
    if (i == 0) return VideoTile();
    if (i < 0 || i >= m_entries.size()) return QPixmap();
    const QString& path = m_entries[i];
    auto it = m_tiles.find(path);
    if (it != m_tiles.end()) return QPixmap::fromImage(it.value());
    if (m_placeholders.contains(path)) return PlaceholderTile();
    return PendingTile();
}

QImage CThumbnailListCtrl::TileOf(int i) const {
    if (i <= 0 || i >= m_entries.size()) return QImage();
    return m_tiles.value(m_entries[i]);
}

bool CThumbnailListCtrl::IsPlaceholder(int i) const {
    return i > 0 && i < m_entries.size() && m_placeholders.contains(m_entries[i]) && !m_tiles.contains(m_entries[i]);
}

bool CThumbnailListCtrl::IsPending(int i) const { return i > 0 && i < m_entries.size() && m_pending.contains(m_entries[i]); }

void CThumbnailListCtrl::UpdateItem(int i) {
    if (i < 0 || i >= m_model->rowCount()) return;
    if (QStandardItem* item = m_model->item(i)) item->setIcon(QIcon(PixmapOf(i)));
}

void CThumbnailListCtrl::RequestTile(const QString& path, bool useCache) {
    m_pending.insert(path);
    m_nRequested++;
    m_worker->Render(m_generation, path, useCache, IsShown(m_entries.indexOf(path)));
    UpdateProgress();
}

bool CThumbnailListCtrl::IsShown(int i) const {
    if (i < 0 || i >= m_model->rowCount()) return false;
    return viewport()->rect().intersects(visualRect(m_model->index(i, 0)));
}

void CThumbnailListCtrl::UpdateProgress() {
    if (!IsBusy()) {
        m_nRequested = 0;
        m_pProgress->hide();
        return;
    }
    if (m_bScanning) {
        m_pProgress->setRange(0, 0);  // a scan does not know its length
    } else {
        m_pProgress->setRange(0, std::max(1, m_nRequested));
        m_pProgress->setValue(m_nRequested - static_cast<int>(m_pending.size()));
    }
    m_pProgress->show();
    m_pProgress->raise();
}

void CThumbnailListCtrl::resizeEvent(QResizeEvent* e) {
    QListView::resizeEvent(e);
    m_pProgress->setGeometry(4, height() - 14, std::min(width() - 8, 240), 10);
}

void CThumbnailListCtrl::SetFolder(const QString& folder) {
    const QString f = WithSlash(folder);
    if (f == m_strFolder) return;
    m_strFolder = f;
    m_entries = m_entries.mid(0, 1);
    if (m_entries.isEmpty()) m_entries << ResourceString(1259);
    m_tiles.clear();
    m_placeholders.clear();
    m_pending.clear();
    m_nRequested = 0;
    m_savedWhileScanning.clear();
    m_generation = m_worker->NewGeneration();
    m_bScanning = true;
    m_worker->Scan(m_generation, f, kMaxEntries - 1);
    Refresh();
    UpdateProgress();
}

void CThumbnailListCtrl::OnScanDone(quint64 generation, const QString& folder, const QStringList& paths) {
    if (generation != m_generation || folder != m_strFolder) return;
    m_bScanning = false;
    m_entries = m_entries.mid(0, 1) + paths;
    // The items first, so that the tiles in view are asked for ahead of the rest.
    Refresh();
    for (const QString& p : paths) RequestTile(p, true);
    const QStringList saved = m_savedWhileScanning;
    m_savedWhileScanning.clear();
    for (const QString& p : saved) ApplySavedFile(p);
    if (!saved.isEmpty()) Refresh();
    UpdateProgress();
}

void CThumbnailListCtrl::OnTileDone(quint64 generation, const QString& path, const QImage& tile) {
    if (generation != m_generation || !m_pending.contains(path)) return;
    m_pending.remove(path);
    if (tile.isNull()) {
        m_tiles.remove(path);
        m_placeholders.insert(path);
    } else {
        m_tiles.insert(path, tile);
        m_placeholders.remove(path);
    }
    for (int i = 1; i < m_entries.size(); i++)
        if (m_entries[i] == path) UpdateItem(i);
    UpdateProgress();
}

void CThumbnailListCtrl::InsertEntry(int pos, const QString& path) {
    if (pos <= 0 || m_entries.isEmpty()) return;
    if (m_entries.size() >= kMaxEntries) {
        const QString last = m_entries.takeLast();
        if (!m_entries.contains(last)) {
            m_tiles.remove(last);
            m_placeholders.remove(last);
        }
    }
    m_entries.insert(std::min<int>(pos, m_entries.size()), path);
    RequestTile(path, true);
}

bool CThumbnailListCtrl::RemoveEntry(int pos, bool deleteFile) {
    if (pos <= 0 || pos >= m_entries.size()) return false;
    const QString path = m_entries[pos];
    // Only ever to the trash: a file the trash refuses stays where it is.
    if (deleteFile && !QFile::moveToTrash(path)) return false;
    m_entries.removeAt(pos);
    if (!m_entries.contains(path)) {
        m_tiles.remove(path);
        m_placeholders.remove(path);
        m_pending.remove(path);
    }
    UpdateProgress();
    return true;
}

void CThumbnailListCtrl::ReplaceEntry(int pos, const QString& path, bool redraw) {
    if (pos <= 0 || pos >= m_entries.size()) return;
    m_entries[pos] = path;
    // The old tile stays up until the new one is drawn.
    if (redraw) RequestTile(path, false);
}

void CThumbnailListCtrl::ReloadVideoEntry() {
    if (m_entries.isEmpty()) m_entries << ResourceString(1259);
    else m_entries[0] = ResourceString(1259);
}

void CThumbnailListCtrl::AddOrRefreshFile(const QString& path) {
    if (path.isEmpty() || m_entries.isEmpty()) return;
    const QString abs = QFileInfo(path).absoluteFilePath();
    const QString folder = WithSlash(QFileInfo(abs).absolutePath());
    if (folder != m_strFolder) {
        SetFolder(folder);
        // However many files the folder holds, the new one is listed first once the scan is in.
        m_savedWhileScanning << abs;
        return;
    }
    if (m_bScanning) {
        m_savedWhileScanning << abs;
        return;
    }
    ApplySavedFile(abs);
    Refresh();
}

void CThumbnailListCtrl::RefreshShownFile(const QString& path) {
    const QString abs = QFileInfo(path).absoluteFilePath();
    if (m_entries.isEmpty() || WithSlash(QFileInfo(abs).absolutePath()) != m_strFolder) return;
    AddOrRefreshFile(abs);
}

void CThumbnailListCtrl::ApplySavedFile(const QString& path) {
    const QString name = FileName(path);
    for (int i = 1; i < m_entries.size(); i++)
        if (FileName(m_entries[i]) == name) {
            ReplaceEntry(i, path, true);
            return;
        }
    InsertEntry(1, path);
}

void CThumbnailListCtrl::OnItemActivated(int row) {
    if (row < 0 || row >= m_entries.size()) return;
    WaitCursor wait;
    if (row == 0) {
        if (CMainFrame* mf = AfxGetMainFrame()) SendMessage(mf->GetSafeHwnd(), WM_CAMERA_CREATEFRAME, 0, 0);
        return;
    }
    const QString path = m_entries[row];
    if (CThumbnailRenderer::TileFormat(path) == 17) return;  // recordings are not opened here
    if (QFileInfo(path).isFile()) {
        if (CPelidorApp* app = AfxGetPelidorApp())
            if (app->DocTemplate()) app->DocTemplate()->OpenDocumentFile(path, true);
        return;
    }
    RemoveEntry(row, false);
    Refresh();
}

void CThumbnailListCtrl::OnDeleteSelected() {
    QList<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedIndexes())
        if (i.row() > 0 && i.row() < m_entries.size() && !rows.contains(i.row())) rows << i.row();
    if (CPromptService::Instance().MessageBox(this, "Do you want to delete the image?", "Attention",
                                              MB_YESNO | MB_ICONQUESTION) == IDNO)
        return;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    QStringList refused;
    {
        WaitCursor wait;
        for (int r : rows) {
            const QString path = m_entries[r];
            if (!RemoveEntry(r, true)) refused.prepend(QDir::toNativeSeparators(path));
        }
    }
    Refresh();
    if (!refused.isEmpty())
        CPromptService::Instance().MessageBox(this, "Could not move to the trash:\n" + refused.join('\n'), "Attention",
                                              MB_OK);
}

LRESULT CThumbnailListCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == ID_THUMBNAIL_DELETE) OnDeleteSelected();
    return 0;
}

void CThumbnailListCtrl::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Delete) {
        SendMessage(GetSafeHwnd(), WM_COMMAND, ID_THUMBNAIL_DELETE, 0);
        return;
    }
    QListView::keyPressEvent(e);
}

void CThumbnailListCtrl::contextMenuEvent(QContextMenuEvent* e) {
    const QModelIndex i = indexAt(e->pos());
    if (!i.isValid() || i.row() == 0) return;
    if (!selectionModel()->isSelected(i)) selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
    QMenu menu(this);
    QAction* del = menu.addAction("&Delete");
    if (menu.exec(e->globalPos()) == del) SendMessage(GetSafeHwnd(), WM_COMMAND, ID_THUMBNAIL_DELETE, 0);
}
