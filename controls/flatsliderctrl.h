// The small flat slider of the exposure-time control: one track over the whole time range in
// three equal segments (milliseconds below 1 s, seconds below 1 min, minutes up to the maximum).
// Its channel and thumb geometry are its own, so a thumb offset always means the same time.
// Dragging or a key writes the thumb's time into the bound time edit; the edit's writes tell
// the control. UI thread only.
#pragma once

#include <QWidget>

#include "platform/wintypes.h"

class CTimeEdit;

class CFlatSliderCtrl : public QWidget {
public:
    static constexpr int kThumbWidth = 11;
    static constexpr int kMargin = 5;  // from each end of the client area to the channel
    static constexpr int kPageSize = 20;

    explicit CFlatSliderCtrl(QWidget* parent = nullptr);

    void SetTimeEdit(CTimeEdit* edit) { m_edit = edit; }
    void SetBkColor(COLORREF c);
    // 0: the system colours (button face, and highlight while dragged).
    void SetThumbColor(COLORREF c);
    void SetSelectedThumbColor(COLORREF c);

    int GetRangeMin() const { return 0; }
    int GetRangeMax() const { return 100; }
    int GetPos() const { return m_pos; }
    void SetPos(int pos);
    bool IsDragging() const { return m_dragging; }

    QRect ChannelRect() const;
    QRect ThumbRect() const;
    // Travel of the thumb's left edge along the channel, and its offset now.
    int Travel() const { return ChannelRect().width() - kThumbWidth; }
    int ThumbOffset() const { return ThumbRect().left() - ChannelRect().left(); }

    // The time at a thumb offset, held to 1 ms .. the edit's time limit.
    void TimeAtOffset(int x, int* minutes, int* seconds, int* milliseconds) const;
    // Moves the thumb to the edit's time.
    void SyncToTime();

    QImage Render() const;
    QSize sizeHint() const override { return QSize(120, 20); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    // Writes the thumb's time into the edit, keeping its active field.
    void WriteTime();
    int PosAtOffset(int x) const;

    CTimeEdit* m_edit = nullptr;
    int m_pos = 0;
    COLORREF m_bkColor;
    COLORREF m_thumbColor = 0;
    COLORREF m_selThumbColor = 0;
    bool m_dragging = false;
    int m_grab = 0;  // mouse x minus thumb left while dragging
    // The slider's own copy of the time it was last synchronised to.
    int m_minutes = 0, m_seconds = 0, m_milliseconds = 1;
};
