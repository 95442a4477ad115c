// The display child of the camera view: keeps the newest frame the display thread handed over
// and draws it, flipped upright and scaled to its own size, only in paintEvent.
#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/viewfinder.h"

class CCameraDisplay : public QWidget, public IViewFinder {
public:
    static constexpr int kControlId = 1234;
    explicit CCameraDisplay(QWidget* parent = nullptr);
    ~CCameraDisplay() override;

    void Configure(int width, int height) override;
    void PresentFrame(const BYTE* bgr24, const RECT& source, uint64_t sequence) override;

    // A cross through the centre of the picture, in a COLORREF colour.
    void SetCross(bool show, COLORREF colour);
    bool CrossShown() const { return m_bCross; }
    COLORREF CrossColour() const { return m_crCross; }

    // Sequence number of the last frame painted, and how many frames were painted.
    uint64_t PaintedSequence() const { return m_paintedSequence.load(); }
    uint64_t PaintedFrames() const { return m_paintedFrames.load(); }
    // The picture as last painted (widget size), for tests.
    QImage LastPainted() const { return m_scaled; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    struct Slot {
        std::vector<BYTE> pixels;  // the source rectangle, bottom-up, packed rows
        int width = 0;
        int height = 0;
        uint64_t sequence = 0;
    };
    void ScaleFrontInto(QImage& target) const;

    std::mutex m_lock;  // guards m_pSlot and m_bReady
    std::unique_ptr<Slot> m_pWrite, m_pSlot, m_pFront;
    bool m_bReady = false;
    int m_fullWidth = 0;
    int m_fullHeight = 0;
    std::atomic<bool> m_bUpdatePosted{false};
    QImage m_scaled;
    bool m_bCross = false;
    COLORREF m_crCross = 255;
    std::atomic<uint64_t> m_paintedSequence{0};
    std::atomic<uint64_t> m_paintedFrames{0};
};
