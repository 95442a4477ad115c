// A flat owner-drawn push, check or radio button with an icon and text, a hover highlight and
// four small corner marks. Clicks go out as the button's clicked() signal; radio buttons of one
// group clear each other with a posted WM_ICONBUTTON_UNCHECK. UI thread only.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QPushButton>

#include <vector>

#include "controls/buttonstyles.h"
#include "ui/msgbridge.h"

class CIconButton : public QPushButton, public CMessageTarget {
public:
    enum Type { Push = 0, Check = 2, Radio = 4 };
    enum IconAlign { AlignLeft = 256, AlignRight = 512, AlignCentre = 768 };

    // style: the BS_* style the button was created with (push-like, flat, text alignment, type).
    explicit CIconButton(QWidget* parent = nullptr, DWORD style = BS_PUSHBUTTON);
    ~CIconButton() override;

    // Icons by resource id at their own size; pressed and hover 0 fall back to the normal icon.
    // Returns the hover icon, or a null pixmap (the button then shows text only) when the normal
    // icon cannot be loaded.
    QPixmap SetIcon(int normalId, int alignment = AlignCentre, int pressedId = 0, int hoverId = 0);
    void SetButtonStyle(DWORD style, bool redraw = true);
    void SetCornerFrame(bool on);
    int GetCheck() const { return m_checked ? 1 : 0; }
    void SetCheck(int state);

    // The radio group: each button clears the others of the list when it becomes checked.
    static void MakeRadioGroup(const std::vector<CIconButton*>& buttons);

    int GetType() const { return m_type; }
    bool IsHover() const { return m_hover; }
    bool IsPushed() const { return isDown(); }
    QRect GetIconRect() const { return m_iconRect; }
    UINT GetTextFormat() const { return m_textFormat; }
    // What a paint puts on the screen, at the widget's size.
    QImage Render() const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void PlaceIcon();
    void DrawCornerMarks(QPainter& p, const QRect& r, const QColor& colour, int shift) const;
    void PaintInto(QPainter& p, const QRect& item) const;

    int m_type = Push;
    bool m_checked = false;
    bool m_pushLike = false;
    bool m_flat = false;
    bool m_border = true;
    bool m_hover = false;
    bool m_buttonDown = false;
    int m_margin = 3;
    COLORREF m_textColour;
    UINT m_textFormat = DT_CENTER;
    int m_iconAlign = AlignCentre;
    bool m_cornerMarks = true;
    QPixmap m_iconNormal;
    QPixmap m_iconPressed;
    QPixmap m_iconHover;
    QRect m_iconRect;
    std::vector<QPointer<CIconButton>> m_group;
};
