// The window a child control notifies: its nearest ancestor registered with the message bridge.
#pragma once

#include <QObject>

#include "controls/msgbridge.h"

inline HWND NearestMessageTarget(const QObject* from) {
    for (const QObject* o = from ? from->parent() : nullptr; o; o = o->parent()) {
        if (auto* t = dynamic_cast<const CMessageTarget*>(o)) {
            if (t->GetSafeHwnd()) return t->GetSafeHwnd();
        }
    }
    return nullptr;
}
