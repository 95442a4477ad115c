// The window lister of an X11 display, asked through xcb: the window manager's stacking list
// (top first, hidden windows marked minimised), or without a window manager the root window's
// mapped children.
#pragma once

#include "app/windowlister.h"

struct xcb_connection_t;

class CXcbWindowLister : public IWindowLister {
public:
    CXcbWindowLister();
    ~CXcbWindowLister() override;
    bool IsConnected() const { return m_pConnection != nullptr; }

    WindowHandle Desktop() const override { return m_root; }
    std::vector<ListedWindow> Enumerate() override;
    QRect WindowRect(WindowHandle window) override;
    void SetTopmost(WindowHandle window, bool topmost) override;
    QImage GrabScreen(const QRect& area) override;

private:
    uint32_t Atom(const char* name);
    std::vector<uint32_t> WindowListProperty(uint32_t window, uint32_t property);
    QString Title(uint32_t window);
    bool IsHidden(uint32_t window);

    xcb_connection_t* m_pConnection = nullptr;
    uint32_t m_root = 0;
};
