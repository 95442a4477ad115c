// A horizontal slider drawn from resource bitmaps: a channel, an optional active channel left of
// the thumb, a thumb and an optional active thumb shown while it is dragged. It tells the nearest
// registered ancestor about changes only by posting WM_SLIDER_CHANGING (while dragging) and
// WM_SLIDER_CHANGED (after each release and navigation key). UI thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include "platform/wintypes.h"

class CBitmapSlider : public QWidget {
public:
    // The key colour that means "take the colour of the pixel at (x, y)".
    static constexpr COLORREF kColourAtPixel = 0xFF000000;

    explicit CBitmapSlider(QWidget* parent = nullptr, int dlgCtrlId = 0);

    // The dialog id that goes out as wParam of the notifications.
    void SetDlgCtrlID(int id) { m_ctrlId = id; }
    int GetDlgCtrlID() const { return m_ctrlId; }

    // Id 0 unloads. A transparent bitmap is drawn with its key colour left out. False when a
    // bitmap cannot be loaded; the pair is then unloaded.
    bool SetBitmapChannel(UINT id, UINT activeId, bool transparent = false, COLORREF key = kColourAtPixel,
                          int x = 0, int y = 0);
    bool SetBitmapThumb(UINT id, UINT activeId, bool transparent = false, COLORREF key = kColourAtPixel,
                        int x = 0, int y = 0);
    void SetMargin(int left, int top, int right, int bottom);
    // The position is not clamped here; the next SetPos or key does that.
    void SetRange(int minimum, int maximum, bool redraw = false);
    void SetPos(int pos);
    int GetPos() const { return m_pos; }
    int GetRangeMin() const { return m_min; }
    int GetRangeMax() const { return m_max; }
    void Enable(bool enabled);
    bool IsSliderEnabled() const { return m_enabled; }
    bool SetTickCount(int count);
    void SetCentreMark(bool on) { m_centreMark = on; update(); }
    void SetDrawFocusRect(bool on) { m_drawFocusRect = on; update(); }

    bool IsChannelLoaded() const { return m_channelLoaded; }
    bool IsThumbLoaded() const { return m_thumbLoaded; }
    bool IsDragging() const { return m_dragging; }
    // The x of the thumb centre for a position, and back.
    int PositionToPixel(int pos) const;
    int PixelToPosition(int pixel) const;

    // What a paint puts on the screen, at the widget's size.
    QImage Render() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    // A bitmap as loaded; transparent ones carry their key colour as alpha 0.
    static bool LoadBitmap(UINT id, bool transparent, COLORREF key, int x, int y, QImage* out);
    static bool LoadPair(UINT id, UINT activeId, bool transparent, COLORREF key, int x, int y, QImage* normal,
                         QImage* active);
    int Usable() const;
    void HandleMove(int x);
    void EndDrag();
    void Notify(UINT message);
    void PaintInto(QPainter& p, const QRect& client) const;

    int m_ctrlId = 0;
    int m_max = 100;
    int m_min = 0;
    int m_pos = 0;
    int m_page = 20;
    int m_tickCount = 0;
    int m_width = 0;
    int m_height = 0;
    int m_thumbWidth = 0;
    int m_thumbHeight = 0;
    int m_marginLeft = 0;
    int m_marginRight = 0;
    int m_marginTop = 0;
    int m_marginBottom = 0;
    int m_grabOffset = 0;
    bool m_hasActiveChannel = false;
    bool m_hasActiveThumb = false;
    bool m_channelTransparent = false;
    bool m_thumbTransparent = false;
    bool m_channelLoaded = false;
    bool m_thumbLoaded = false;
    bool m_dragging = false;
    bool m_hasFocus = false;
    bool m_drawFocusRect = true;
    bool m_enabled = true;
    bool m_centreMark = true;
    QImage m_channel;
    QImage m_channelActive;
    QImage m_thumb;
    QImage m_thumbActive;
};
