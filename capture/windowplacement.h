// Where a camera window goes once its picture's size is known. The window manager's caption and
// borders take room on the screen as well, so they count against it: the whole window, title
// bar included, lands on the screen's available area.
#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

// The caption and borders around the window's client area: as the window manager drew them once
// the window is shown, else the style's caption height and frame width.
QMargins WindowFrameMargins(const QWidget* window);

// The client geometry for a picture of the given size (0 x 0: 640 x 480) below chrome pixels of
// menu, tool and status bars, inside the screen of the window.
QRect WindowPlacementOnScreen(const QWidget* window, int imageWidth, int imageHeight, int chrome);
