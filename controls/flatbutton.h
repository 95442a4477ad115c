// An owner-drawn push button with a flat look that lights up while the mouse is over it, with an
// optional check mode, icons and per-state colours. Clicks go out as clicked(); a button can
// also carry a drop-down menu or a web address (nothing in the program sets either). UI thread.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QString>

#include "controls/buttonstyles.h"
#include "ui/msgbridge.h"

class ZarnMenu;

class CFlatButton : public QPushButton {
public:
    enum IconAlign { IconLeft = 0, IconAbove = 1, IconRight = 2 };

    // style: the BS_* style of the button (default push button, check box bit).
    explicit CFlatButton(QWidget* parent = nullptr, DWORD style = BS_PUSHBUTTON);
    ~CFlatButton() override;

    void SetFlat(bool flat);
    void SetDrawBorder(bool on) { m_drawBorder = on; update(); }
    void SetDrawFlatFocus(bool on) { m_drawFlatFocus = on; update(); }
    void SetAlwaysTrack(bool on) { m_alwaysTrack = on; }
    // A push or default-push style switches the default look.
    void SetButtonStyle(DWORD style, bool redraw = true);
    bool IsDefaultLook() const { return m_defaultLook; }
    bool IsCheckMode() const { return m_checkMode; }
    // Check mode only: 1 and 2 check, 0 clears.
    void SetCheck(int state);
    int GetCheck() const { return m_checked ? 1 : 0; }

    void SetHoverColor(COLORREF background, COLORREF text);
    void SetNormalColor(COLORREF background, COLORREF text);
    void SetFocusColor(COLORREF background, COLORREF text);
    // Icons by resource id; hover 0 uses the normal icon. False when the normal icon is missing
    // (the button then shows text only).
    bool SetIcon(int normalId, int hoverId = 0, int alignment = IconLeft);
    // The parent shows through instead of the background colour.
    void SetDrawTransparent(bool on) { m_drawTransparent = on; update(); }
    void SetHoverCursor(const QCursor& cursor);
    void SetURL(const QString& url);
    QString GetURL() const { return m_url; }
    // The menu's chosen command goes to the receiver as a posted WM_COMMAND.
    void SetMenu(ZarnMenu* menu, HWND receiver);

    bool IsHover() const { return m_mouseOver; }
    bool IsPressed() const;
    // What a paint puts on the screen, at the widget's size.
    QImage Render() const;

protected:
    // The two drawing steps a derived button may replace.
    virtual void DrawBackground(QPainter& p, const QRect& r) const;
    virtual void DrawBorder(QPainter& p, const QRect& r) const;

    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void EndHover();
    void OnClicked();
    void PaintInto(QPainter& p, const QRect& item) const;

    bool m_flat = true;
    bool m_drawBorder = true;
    bool m_drawFlatFocus = false;
    bool m_alwaysTrack = true;
    bool m_defaultLook = false;
    bool m_checkMode = false;
    bool m_checked = false;
    bool m_mouseOver = false;
    bool m_drawTransparent = false;
    COLORREF m_hoverBk, m_hoverText, m_normalBk, m_normalText, m_focusBk, m_focusText;
    int m_iconAlign = IconLeft;
    QPixmap m_icon;
    QPixmap m_iconHover;
    QString m_url;
    QPointer<ZarnMenu> m_menu;
    HWND m_menuReceiver = nullptr;
};
