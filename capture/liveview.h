// What the two camera views share: the display child that shows the picture, the cut region
// (the part of the frame that is shown, snapped and recorded), the layout that keeps the
// display at the region's aspect ratio, and the recording of what is shown. The frames come
// from the view's frame source, which says whether its threads run and at what rate to record.
//
// Recording messages:
//   WM_CAMERA_STATUSTEXT (0, text)   posted to the frame window for every frame written
//   WM_CAMERA_RECORDLIMIT (0, 0)     posted to the frame window when the time limit runs out
//   WM_CAMERA_FILESAVED (1, path)    posted to the main window once a recording is finished
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/wintypes.h"
#include "ui/msgbridge.h"

struct CameraSettings;
class CAviFile;
class CProgressDialog;
class CCameraDisplay;
class IFrameSource;
class IRegionChooser;

class CLiveView : public QWidget, public CMessageTarget {
public:
    enum RunState : BYTE { kRun = 0, kPause = 1, kStop = 2 };

    ~CLiveView() override;

    // Where the view's messages go (see the views' headers).
    void SetFrameWindow(HWND frame) { m_hFrame = frame; }
    void SetMainWindow(HWND main) { m_hMain = main; }
    void SetRegionChooser(IRegionChooser* chooser) { m_pChooser = chooser; }
    IRegionChooser* RegionChooser() const { return m_pChooser; }

    BYTE GetRunState() const { return m_byRunState.load(); }
    int ImageWidth() const { return m_nWidth; }
    int ImageHeight() const { return m_nHeight; }
    CCameraDisplay* Display() const { return m_pDisplay; }

    // Region cut through the chooser; returns the crop flag. Refused while recording, while
    // not running and for an empty region.
    int CutRegion();
    // The whole frame again; refused while recording and while not running.
    void RestoreRegion();
    bool IsCropped() const;
    // The shown part of the frame in image pixels (top-down, right and bottom exclusive).
    RECT SourceRect() const;

    // Recording: 1 when started; 0 when already recording, not running or the file cannot be
    // written (then the user is told and nothing is announced).
    int StartRecording(const QString& path, CameraSettings* settings);
    // 1 when a recording was running. A frame being written finishes; a short thread then
    // closes the file, and WM_AVI_CLOSED announces it (when finished) on the UI thread.
    int StopRecording();
    bool IsRecording() const { return m_bRecording.load() != 0; }
    // Frames written to the current recording.
    int RecordedFrames() const;
    // The writer, for its frame rate and last error.
    const CAviFile& AviFile() const { return *m_pAvi; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // A cut region widened to a width that is a multiple of 4 and an even height inside a frame
    // of width x height; narrowed where the frame itself leaves no room.
    static RECT AlignCutRegion(RECT region, int width, int height);
    // Copies a region (image pixels, top-down) of a bottom-up frame of width x height into `out`
    // as packed bottom-up rows.
    static void CopyRegion(const BYTE* frame, int width, int height, const RECT& region, BYTE* out);

protected:
    struct Style {
        bool mapOnlyShown;     // a region is chosen only over a display child that is shown
        bool recordTimeLimit;  // the video settings' time limit ends a recording
    };
    // `source` is the view's own member: only its address is taken here.
    CLiveView(QWidget* parent, const Style& style, IFrameSource& source);

    // True while the source's threads exist (started and not yet joined).
    bool Streaming() const;

    // On the thread that has the frame: writes the shown region of a frame of the image size
    // to the recording and posts the frame count.
    void RecordFrame(const BYTE* frame);
    // Closes the file the close thread released, and announces it only when it was finished.
    void FinishPendingClose();

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

    void LayoutDisplay();
    RECT ScreenRect() const;
    bool MapScreenToImage(const RECT& screen, RECT* image) const;
    // A new frame size: the whole frame shown, the crop buffer of `cropBytes` (any region fits).
    void SetFrameSize(int width, int height, size_t cropBytes);
    void FreeCrop();
    // The source rectangle and crop flag, read together.
    int CurrentRegion(RECT* source) const;
    // A snap's progress window over the view's window, one at a time: `text` above the bar,
    // Cancel offered when asked.
    void CreateProgress(bool cancel, const QString& text = QString());
    void DestroyProgress();

    // Only the UI thread reads the record.
    CameraSettings* m_pSettings = nullptr;
    HWND m_hFrame = nullptr;
    HWND m_hMain = nullptr;
    IRegionChooser* m_pChooser = nullptr;
    std::atomic<BYTE> m_byRunState{kStop};
    int m_nWidth = 0;
    int m_nHeight = 0;
    CCameraDisplay* m_pDisplay = nullptr;
    std::atomic<int> m_bRecording{0};
    // The threads' copy of the cut region for recording; sized while the threads stop.
    std::vector<BYTE> m_crop;
    // Its parent is the window: it may be gone before the view is.
    QPointer<CProgressDialog> m_pProgress;

private:
    void OnRecordLimit();

    const Style m_style;
    IFrameSource& m_frameSource;
    std::unique_ptr<CAviFile> m_pAvi;
    QString m_strAviPath;
    QTimer m_recordLimitTimer;
    bool m_bClosePending = false;  // the close thread was started; WM_AVI_CLOSED finishes it
    mutable std::mutex m_cropLock;  // the source rectangle and m_bCrop
    RECT m_rcSource{0, 0, 0, 0};
    int m_bCrop = 0;
};
