// The window lister where the windowing system cannot be asked (Wayland and others): the
// desktop and the program's own top-level windows.
#pragma once

#include "app/windowlister.h"

class CQtWindowLister : public IWindowLister {
public:
    WindowHandle Desktop() const override { return 0; }
    std::vector<ListedWindow> Enumerate() override;
    QRect WindowRect(WindowHandle window) override;
    void SetTopmost(WindowHandle window, bool topmost) override;
    QImage GrabScreen(const QRect& area) override;
};
