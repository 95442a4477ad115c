#include "app/qtwindowlister.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "app/xcbwindowlister.h"

namespace {
std::unique_ptr<IWindowLister> (*g_factory)() = nullptr;

QWidget* WidgetOf(WindowHandle window) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && w->internalWinId() && static_cast<WindowHandle>(w->internalWinId()) == window) return w;
    return nullptr;
}
}  // namespace

std::unique_ptr<IWindowLister> IWindowLister::Create() {
    if (g_factory) return g_factory();
    if (QGuiApplication::platformName() == "xcb") {
        auto xcb = std::make_unique<CXcbWindowLister>();
        if (xcb->IsConnected()) return xcb;
    }
    return std::make_unique<CQtWindowLister>();
}

void IWindowLister::SetFactory(std::unique_ptr<IWindowLister> (*factory)()) { g_factory = factory; }

std::vector<ListedWindow> CQtWindowLister::Enumerate() {
    std::vector<ListedWindow> out;
    // Qt keeps no stacking order across windows: the active one counts as the top.
    QList<QWidget*> windows = QApplication::topLevelWidgets();
    if (QWidget* active = QApplication::activeWindow()) {
        windows.removeAll(active);
        windows.prepend(active);
    }
    for (QWidget* w : windows) {
        if (!w->isWindow() || !w->internalWinId()) continue;
        ListedWindow lw;
        lw.handle = static_cast<WindowHandle>(w->internalWinId());
        lw.title = w->windowTitle();
        lw.visible = w->isVisible();
        lw.minimised = w->isMinimized();
        lw.client = w->size();
        out.push_back(lw);
    }
    return out;
}

QRect CQtWindowLister::WindowRect(WindowHandle window) {
    if (window == Desktop()) {
        QScreen* s = QGuiApplication::primaryScreen();
        return s ? s->geometry() : QRect();
    }
    QWidget* w = WidgetOf(window);
    return w ? w->frameGeometry() : QRect();
}

void CQtWindowLister::SetTopmost(WindowHandle window, bool topmost) {
    if (QWidget* w = WidgetOf(window)) {
        if (topmost) w->raise();
    }
}

QImage CQtWindowLister::GrabScreen(const QRect& area) {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return QImage();
    return s->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}
