#include "capture/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include "capture/cameraframecontroller.h"

QMargins WindowFrameMargins(const QWidget* window) {
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins drawn(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    if (window->isVisible() && !drawn.isNull()) return drawn;
    const int border = window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
    const int caption = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return QMargins(border, caption + border, border, border);
}

QRect WindowPlacementOnScreen(const QWidget* window, int imageWidth, int imageHeight, int chrome) {
    QScreen* sc = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!sc) return window->geometry();
    const QRect room = sc->availableGeometry().marginsRemoved(WindowFrameMargins(window));
    return CCameraFrameController::WindowLayout(imageWidth, imageHeight, room, chrome);
}
