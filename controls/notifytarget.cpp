#include "controls/notifytarget.h"

HWND NearestMessageTarget(const QWidget* widget) {
    for (QWidget* w = widget ? widget->parentWidget() : nullptr; w; w = w->parentWidget()) {
        auto* target = dynamic_cast<CMessageTarget*>(w);
        if (target && target->GetSafeHwnd()) return target->GetSafeHwnd();
    }
    return nullptr;
}

bool PostToParent(const QWidget* widget, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND target = NearestMessageTarget(widget);
    return target && PostMessage(target, message, wParam, lParam);
}
