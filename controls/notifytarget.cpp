#include "controls/notifytarget.h"

HWND NearestMessageTarget(const QObject* from) {
    for (const QObject* o = from ? from->parent() : nullptr; o; o = o->parent()) {
        auto* target = dynamic_cast<const CMessageTarget*>(o);
        if (target && target->GetSafeHwnd()) return target->GetSafeHwnd();
    }
    return nullptr;
}

bool PostToParent(const QWidget* widget, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND target = NearestMessageTarget(widget);
    return target && PostMessage(target, message, wParam, lParam);
}
