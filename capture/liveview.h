// What the two camera views share: the display child that shows the picture, the cut region
// (the part of the frame that is shown, snapped and recorded) and the layout that keeps the
// display at the region's aspect ratio. A view says through Streaming() whether its threads run.
#pragma once

#include <QWidget>

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/wintypes.h"
#include "ui/msgbridge.h"

class CCameraDisplay;
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
    bool IsRecording() const { return m_bRecording.load() != 0; }

    // A cut region widened to a width that is a multiple of 4 and an even height inside a frame
    // of width x height; narrowed where the frame itself leaves no room.
    static RECT AlignCutRegion(RECT region, int width, int height);
    // Copies a region (image pixels, top-down) of a bottom-up frame of width x height into `out`
    // as packed bottom-up rows.
    static void CopyRegion(const BYTE* frame, int width, int height, const RECT& region, BYTE* out);

protected:
    // `mapOnlyShown`: a region is chosen only over a display child that is shown.
    explicit CLiveView(QWidget* parent, bool mapOnlyShown);

    // True while the view's threads exist (started and not yet joined).
    virtual bool Streaming() const = 0;

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

private:
    const bool m_bMapOnlyShown;
    mutable std::mutex m_cropLock;  // the source rectangle and m_bCrop
    RECT m_rcSource{0, 0, 0, 0};
    int m_bCrop = 0;
};
