// Where a control's notifications go: the nearest ancestor widget that takes private messages.
#pragma once

#include <QWidget>

#include "ui/msgbridge.h"

// The handle of the closest registered ancestor of the object (the object itself excluded),
// or nullptr when none of them is registered.
HWND NearestMessageTarget(const QObject* from);
// Posts to that ancestor; false when there is none.
bool PostToParent(const QWidget* widget, UINT message, WPARAM wParam, LPARAM lParam);
