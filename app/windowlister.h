// What the window-capture dialog and command need from the windowing system: the top-level
// windows with their titles and states, top first; a window's place on the screen; raising a
// window above the others; and the picture of a part of the screen.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

using WindowHandle = uintptr_t;

struct ListedWindow {
    WindowHandle handle = 0;
    QString title;
    bool visible = true;
    bool minimised = false;
    QSize client;  // the client area's size
};

class IWindowLister {
public:
    virtual ~IWindowLister() = default;
    // The desktop: what "Desktop" captures.
    virtual WindowHandle Desktop() const = 0;
    // Every top-level window, top first.
    virtual std::vector<ListedWindow> Enumerate() = 0;
    // The window's rectangle on the screen; empty when the window is gone.
    virtual QRect WindowRect(WindowHandle window) = 0;
    // Keeps a window above the others, or lets it go back.
    virtual void SetTopmost(WindowHandle window, bool topmost) = 0;
    // The screen's pixels inside `area`; a null image when the system refuses to give them.
    virtual QImage GrabScreen(const QRect& area) = 0;

    // The lister of the running platform: X11 through xcb, elsewhere the program's own windows.
    static std::unique_ptr<IWindowLister> Create();
    // Tests put their own in place; nullptr goes back to the platform's.
    static void SetFactory(std::unique_ptr<IWindowLister> (*factory)());
};
