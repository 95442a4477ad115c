// The private-message bridge: a window that takes the system's private messages registers
// itself once and is reached through an HWND from any thread. PostMessage queues a custom
// QEvent and never blocks; SendMessage calls the handler directly on the UI thread and, from
// another thread, waits until the UI thread has handled it (or the target is gone).
#pragma once

#include <QEvent>
#include <QObject>

#include <functional>

#include "platform/wintypes.h"

struct HWND__;
typedef HWND__* HWND;

// Mix-in for a QObject that receives private messages.
class CMessageTarget {
public:
    CMessageTarget() = default;
    virtual ~CMessageTarget();
    CMessageTarget(const CMessageTarget&) = delete;
    CMessageTarget& operator=(const CMessageTarget&) = delete;

    // Registers the target; call once the QObject is fully built. Returns the handle.
    HWND RegisterWindow(QObject* self);
    // Unregisters; messages still queued for the handle are dropped. Called by the destructor too.
    void UnregisterWindow();
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The handler table of the window: returns the message's result.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

private:
    HWND m_hWnd = nullptr;
};

bool PostMessage(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
bool IsWindow(HWND hWnd);
// The object behind a live handle on the UI thread, or nullptr.
QObject* HandleToObject(HWND hWnd);
// Runs `call` on the UI thread in turn with the posted messages, unless `receiver` is gone by
// then. Threads use it instead of a queued lambda: what they wrote before reaches the UI thread
// through the bridge's own lock, which ThreadSanitizer sees (Qt's own is hidden from it).
void PostCall(QObject* receiver, std::function<void()> call);
// Delivers every posted private message now (tests and modal loops).
void PumpPrivateMessages();
