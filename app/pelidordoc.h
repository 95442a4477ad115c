// The image document: one image (none for the start page), the undo ring of eight, the image
// command that runs on a worker thread, and the view state all its views share.
#pragma once

#include <QPoint>
#include <QSizeF>
#include <QString>
#include <QTransform>

#include <atomic>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <thread>

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
    bool IsBusy() const { return m_hWorkerThread != 0; }
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
    bool CommandEnableImageIdle() const { return m_pImage != nullptr && m_hWorkerThread == 0; }
    // Waits until a running command has finished and handles its end (its result, its message)
    // at once; no other event is handled meanwhile (saves that must be whole, closing, tests).
    void WaitForCommand();
    // Save As from the menu: asks for the name, then encodes on the worker and returns at once;
    // the result (an error box, or the stopwatch time) comes back when the worker is done.
    bool SaveAsInBackground() { return SaveAs(QString(), true, false); }
    // The format the document's file has now: the image's own, or the one it was last saved as.
    DWORD FileFormat() const;

    void ZoomIn();
    void ZoomOut();
    // The zoom combo's text; false (and "ERROR!") for a text that is not a number.
    bool ZoomList(const QString& text);

    // ---- state shared with the views ----
    uintptr_t m_hWorkerThread = 0;
    uintptr_t m_hProgressThread = 0;
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
    int m_bStretch = 0;
    int m_bSmooth = 0;
    float m_fZoom = 1.0f;
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
    void RunImageCommand();  // worker body
    void PollProgress();     // progress thread body
    QString FinishImageCommand();  // the failure text of a save, else empty
    void EndCommand();             // the finished command shown: views, panes, commands, message
    void SetZoom(float zoom, bool showInCombo, const QString& text);
    // The last undo step moved the picture by `t`: the measurements follow.
    void RecordGeometry(const QTransform& t);
    PxImage* RenderMeasureOverlay();
    void Crop();
    void Duplicate();

    PxImage* m_pImage = nullptr;
    CUndoRing m_undo;
    std::thread m_worker;
    std::thread m_progress;
    std::mutex m_threadLock;
    std::condition_variable m_threadWake;
    bool m_bWorkerDone = false;
    int64_t m_llWorkerStart = 0, m_llWorkerStop = 0;  // written by the worker, read after it ends
    bool m_bStopPolling = false;
    bool m_bWorkerChangesImage = true;
    // The picture before the running command: the undo step it becomes when the command
    // succeeds, the picture put back when it fails.
    PxImage* m_pBefore = nullptr;
    bool m_bOperationOk = true;     // written by the worker, read after it ends
    QString m_operationError;       // likewise: why the operation failed, if it said
    SaveJob m_save;
    DWORD m_dwFileFormat = 0;  // 0: the image's own format
};

// The text shown for a failed open or save: the library's, or when that is empty a sentence
// naming the file and the system's reason.
QString FileFailureText(const QString& libraryText, bool opening, const QString& path, int errnoValue);

// Format id of an extension (lower case, without the point); 0 when none matches.
DWORD DocFormatFromExtension(const QString& ext);
// The text after the last point of the path, or empty.
QString PathExtension(const QString& path);
