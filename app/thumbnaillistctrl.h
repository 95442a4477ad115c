// The start page's image browser: a fixed "Video" tile that opens the camera window, then
// 200 x 180 tiles of the image files and recordings of one folder. The folder tree keeps it on
// the selected folder, the main frame hands it every file a camera saves; worker threads scan
// and draw, several tiles at once and those in view first, so a slow or broken file never holds
// the list up.
#pragma once

#include <QHash>
#include <QImage>
#include <QListView>
#include <QSet>
#include <QStringList>

#include <memory>

#include "ui/msgbridge.h"

class QProgressBar;
class QStandardItemModel;
class CFolderTreeCtrl;
class CThumbnailWorker;

class CThumbnailListCtrl : public QListView, public CMessageTarget {
public:
    static constexpr int kMaxEntries = 21;  // "Video" and 20 files
    static constexpr int kShownItems = 20;  // items shown, "Video" included
    static constexpr int kControlId = 103;

    explicit CThumbnailListCtrl(QWidget* parent = nullptr);
    ~CThumbnailListCtrl() override;
    // The one list of the process (the start page's), or null.
    static CThumbnailListCtrl* Instance();

    // Once: "Video" as entry 0 and a scan of the working folder (the process's current folder).
    void Initialise();
    // Rebuilds the items from the entries: "Video", then the files' tiles, 20 items at most.
    void Refresh();
    // Follows a folder (a trailing '/' is added): drops the files' entries (files kept) and scans
    // the folder on the worker. Returns at once; the tiles come as they are drawn. The same
    // folder (compared exactly) changes nothing.
    void SetFolder(const QString& folder);
    // A file a camera saved: a file of another folder switches to it (the file first); in the
    // current folder a file of the same name gets its tile drawn again, a new file becomes the
    // first file tile.
    void AddOrRefreshFile(const QString& path);
    // A file the program wrote (a document's save): its tile is drawn again, or the file is
    // added, when it lies in the folder on show; another folder is left as it is.
    void RefreshShownFile(const QString& path);
    // Entry 0 cannot be inserted, removed or replaced. A full list drops its last entry first
    // (its file stays). InsertEntry and ReplaceEntry with redraw draw the tile on the worker.
    void InsertEntry(int pos, const QString& path);
    // With deleteFile the file goes to the trash first; false (entry kept) when it cannot.
    bool RemoveEntry(int pos, bool deleteFile);
    void ReplaceEntry(int pos, const QString& path, bool redraw);
    // Entry 0 takes "Video" again (the camera went away).
    void ReloadVideoEntry();

    // Double-click on an item: "Video" opens the camera window, an image opens as a document, a
    // recording does nothing, a vanished file's entry goes.
    void OnItemActivated(int row);
    // "Do you want to delete the image?": the selected files go to the trash. A file the trash
    // refuses keeps its tile, and the list says which.
    void OnDeleteSelected();
    // Command 32987 (the menu's and the toolbar's "Delete") deletes the selection.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void SetTree(CFolderTreeCtrl* tree) { m_pTree = tree; }
    CFolderTreeCtrl* Tree() const { return m_pTree; }

    const QStringList& Entries() const { return m_entries; }
    QString CurrentFolder() const { return m_strFolder; }
    // A scan or tiles still to come.
    bool IsBusy() const { return m_bScanning || !m_pending.isEmpty(); }
    // The tile of entry i as drawn (null while pending or for an unreadable file), and whether
    // the entry shows the placeholder.
    QImage TileOf(int i) const;
    bool IsPlaceholder(int i) const;
    bool IsPending(int i) const;
    QStandardItemModel* ItemModel() const { return m_model; }
    QProgressBar* ProgressBar() const { return m_pProgress; }
    CThumbnailWorker* Worker() const { return m_worker.get(); }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void OnScanDone(quint64 generation, const QString& folder, const QStringList& paths);
    void OnTileDone(quint64 generation, const QString& path, const QImage& tile);
    void RequestTile(const QString& path, bool useCache);
    // Whether item i lies (partly) in the view.
    bool IsShown(int i) const;
    void ApplySavedFile(const QString& path);
    void UpdateItem(int i);
    void UpdateProgress();
    QPixmap PixmapOf(int i) const;
    static QString FileName(const QString& path);

    QStandardItemModel* m_model = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QStringList m_entries;
    QString m_strFolder;  // with a trailing '/'
    QHash<QString, QImage> m_tiles;
    QSet<QString> m_placeholders;
    QSet<QString> m_pending;
    int m_nRequested = 0;  // tiles asked for since the list was last idle
    bool m_bInitialised = false;
    bool m_bScanning = false;
    QStringList m_savedWhileScanning;
    quint64 m_generation = 0;
    CFolderTreeCtrl* m_pTree = nullptr;
    std::unique_ptr<CThumbnailWorker> m_worker;
};
