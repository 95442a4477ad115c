// The image document: one image (none for the start page), the undo ring of eight, the image
// job (a command, a save or an open) that runs on Qt's thread pool, and the view state all its
// views share.
#pragma once

#include <QFutureWatcher>
#include <QPoint>
#include <QSizeF>
#include <QString>
#include <QTimer>
#include <QTransform>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "app/docview.h"
#include "app/undoring.h"
#include "app/viewtool.h"
#include "ui/msgbridge.h"
#include "imagelib/codecs/PxImageJPG.h"
#include "imagelib/pximage.h"

class CQoMeasure;
class CPelidorView;

struct ImageCommandParams {
    int32_t P0 = 0, P1 = 0, P2 = 0, P3 = 0, P4 = 0;
};

class CPelidorDoc : public CDocument, public CMessageTarget {
public:
    // The image-library call of a threaded command, run on the worker with the stored parameters.
    // False (or an exception) is a failure: the document shows the library's last-error text,
    // puts the picture from before the command back and stays as it was.
    using ImageOperation = std::function<bool(PxImage& image, const ImageCommandParams& params)>;
    // How an operation moves the picture: old image pixels to new ones (y growing downwards),
    // given its parameters and the image sizes before and after. Operations that change
    // geometry give one, so the measurements stay on what they measured.
    using ImageGeometry = std::function<QTransform(const ImageCommandParams& params, const QSizeF& before,
                                                   const QSizeF& after)>;
    // The turn of the picture by `degrees` clockwise about its centre into an image of size `after`.
    static QTransform TurnGeometry(double degrees, const QSizeF& before, const QSizeF& after);
    // Commands of other parts of the program add their worker operations here.
    static void RegisterImageOperation(int id, ImageOperation op, ImageGeometry geometry = nullptr);
    // Commands of other parts of the program that every document handles (dialogs, filters):
    // a handler and an optional update rule; without one the command is enabled.
    using DocCommand = std::function<void(CPelidorDoc& doc)>;
    using DocCommandUpdate = std::function<void(CPelidorDoc& doc, CCmdUI* ui)>;
    static void RegisterDocumentCommand(UINT id, DocCommand handler, DocCommandUpdate update = nullptr);
    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI* ui) override;

    static constexpr int kMaxSelPoints = 8000;
    static constexpr int kUndoSlots = CUndoRing::kSlots;

    CPelidorDoc();
    ~CPelidorDoc() override;

    bool OnNewDocument() override;
    bool OnOpenDocument(const QString& path) override;
    bool OnSaveDocument(const QString& path) override;
    bool DoSave(const QString& path, bool replace = true) override;
    bool CanCloseFrame() override;
    bool SaveModified() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    PxImage* GetImage() const { return m_pImage; }
    // Gives the document a new image (it takes ownership); used for documents made without a file.
    void SetImage(PxImage* image);
    // What the views draw and read: the image, or while a command runs the state before it.
    PxImage* GetDisplayImage() const;
    // A command or a save runs on the thread pool.
    bool IsBusy() const { return m_bBusy; }
    // The file is still being read: the document has no image yet.
    bool IsLoading() const { return m_load != nullptr; }
    // How long an open waits for its file before it goes on in the background (the window
    // usable meanwhile) and ends when the file is read; 100 ms unless a test sets it.
    static void SetQuickOpenLimit(int ms);
    void RefreshStatusPanes();
    void CommandTimer(bool start);
    CPelidorView* GetFirstPelidorView() const;

    // Starts a threaded image command; false when the document has no image or is busy.
    bool StartImageCommand(int id, const ImageCommandParams& params = ImageCommandParams());
    // False when the image is not valid and nothing was pushed.
    bool PushUndoSnapshot();
    const CUndoRing& UndoRing() const { return m_undo; }
    int UndoLevel() const { return m_undo.Level(); }
    // The text shown when an image command fails and the library gives no reason.
    static const char* const kCommandFailedText;
    void OnEditUndo();
    void OnEditRedo();
    bool CommandEnableImageIdle() const { return m_pImage != nullptr && !m_bBusy; }
    // Waits until a running command has finished and handles its end (its result, its message)
    // at once; no other event is handled meanwhile (saves that must be whole, closing, tests).
    void WaitForCommand();
    // Likewise for a file being read: the open ends at once, shown or refused.
    void WaitForLoad();
    // Save As from the menu: asks for the name, then encodes on the worker and returns at once;
    // the result (an error box, or the stopwatch time) comes back when the worker is done.
    bool SaveAsInBackground() { return SaveAs(QString(), true, false); }
    // The format the document's file has now: the image's own, or the one it was last saved as.
    DWORD FileFormat() const;

    // ---- state shared with the views ----
    ImageCommandParams m_ImageCommandParams;
    int m_ImageCommandId = 0;
    QPoint m_SelPoints[kMaxSelPoints];
    int m_nSelPoints = 0;
    bool m_bRectSelection = false;
    // Set when the view has turned a rectangular selection: Crop then cuts the turned rectangle.
    bool m_bRotatedSelection = false;
    ViewTool m_nTool = kToolMove;
    int m_nCurMeasureItem = 10;
    CQoMeasure* m_pMeasure = nullptr;
    int m_bShowScaleLine = 0;
    int m_bMeasureLock = 0;
    int m_nCurMeasureSel = 0;
    // The histogram of the shown image; a largest count of 0 means "not computed".
    LONG m_lHistRed[256] = {}, m_lHistGreen[256] = {}, m_lHistBlue[256] = {}, m_lHistGray[256] = {};
    LONG m_lHistMax = 0;
    int m_bStartPage = 0;
    int m_bPickTransparency = 0;
    int64_t m_llFrequency = 0, m_llStart = 0, m_llStop = 0;
    float m_fElapsed = 0;
    // EXIF of an opened JPEG file; the options dialog shows it.
    PxImageJPG m_exifHolder;

private:
    // What a save on the worker needs and gives back; touched by the worker only while it runs.
    struct SaveJob {
        QString path;
        DWORD type = 0;
        PxImage* burnt = nullptr;  // the copy with the measurement overlay, owned
        bool rename = false;       // the document takes the name (Save As)
        bool wasModified = false;
        bool ok = false;
        QString error;
        int errnoValue = 0;
    };
    static constexpr int kSaveCommand = -1;  // the worker's id for a save
    bool SaveAs(const QString& path, bool replace, bool wait);
    // Checks the name, burns the overlay and starts the encoder on the worker; false when it
    // cannot start (a failed check has shown its message already).
    bool StartSave(const QString& path, bool rename);
    // The failure text to show, empty on success.
    QString FinishSave();
    bool StartWorker(int id, const ImageCommandParams& params, bool changesImage);
    void RegisterCommands();
    void RunImageCommand();  // the job's body, on a pool thread
    void ShowProgress();     // the progress timer: the image's progress field to the status bar
    void JobFinished(uint64_t command);  // the watcher's signal: 100 %, and the end shortly after
    QString FinishImageCommand();  // the failure text of a save, else empty
    void EndCommand();             // the finished command shown: views, panes, commands, message
    // ---- opening ----
    struct LoadJob;
    // Reads frame `frame` of the file on the thread pool; `frames` is the number of frames the
    // open reads, the later ones each in a document of its own. False when the file failed at
    // once (shown already); true when it is shown or still being read.
    bool StartLoad(const QString& path, DWORD type, LONG frame, LONG frames);
    // The read ended: the image shown, or the failure shown and false.
    bool FinishLoad();
    // The next frame of a multi-frame open, in a new document.
    void OpenFrame(const QString& path, DWORD type, LONG frame, LONG frames);
    // A file being read that nobody wants any more: waited for and dropped, without a word.
    void DiscardLoad();
    // Closes this document's window from the event loop (after a failed background open, or
    // when a close waited for a command or a save).
    void CloseLater();
    // The last undo step moved the picture by `t`: the measurements follow.
    void RecordGeometry(const QTransform& t);
    PxImage* RenderMeasureOverlay();
    void Crop();
    void Duplicate();

    PxImage* m_pImage = nullptr;
    CUndoRing m_undo;
    bool m_bBusy = false;
    uint64_t m_nCommand = 0;  // counts jobs; progress reports and late ends name theirs
    std::unique_ptr<QFutureWatcher<void>> m_job;
    QTimer m_progressTimer;
    int64_t m_llWorkerStart = 0, m_llWorkerStop = 0;  // written by the job, read after it ends
    bool m_bWorkerChangesImage = true;
    // The user closed the window while a command or a save ran: it closes when that ends.
    bool m_bCloseWhenDone = false;
    std::unique_ptr<LoadJob> m_load;
    // The picture before the running command: the undo step it becomes when the command
    // succeeds, the picture put back when it fails.
    PxImage* m_pBefore = nullptr;
    bool m_bOperationOk = true;     // written by the worker, read after it ends
    QString m_operationError;       // likewise: why the operation failed, if it said
    SaveJob m_save;
    DWORD m_dwFileFormat = 0;  // 0: the image's own format
};

// A file being read on the thread pool, and what the read gave.
struct CPelidorDoc::LoadJob {
    QString path;
    DWORD type = 0;
    LONG frame = 0;
    LONG frames = 0;  // of a multi-frame open, 0 while the first frame is read
    // Written by the job, read once it has finished.
    PxImage* image = nullptr;
    bool loaded = false;
    QString error;
    QFutureWatcher<void> watcher;
    // The quick wait on the UI thread: the job says when it is done.
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
};

// The text shown for a failed open or save: the library's, or when that is empty a sentence
// naming the file and the system's reason.
QString FileFailureText(const QString& libraryText, bool opening, const QString& path, int errnoValue);

// Format id of an extension (lower case, without the point); 0 when none matches.
DWORD DocFormatFromExtension(const QString& ext);
// The text after the last point of the path, or empty.
QString PathExtension(const QString& path);
