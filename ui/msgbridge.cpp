#include "ui/msgbridge.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace {

const QEvent::Type kBridgeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Handles are numbers that are never reused, so a stale handle can never reach a new window.
struct Registry {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::pair<QPointer<QObject>, CMessageTarget*>> targets;
    uintptr_t next = 0x1000;
};

Registry& registry() {
    static Registry r;
    return r;
}

// A sender waiting on another thread; released when the message is handled or dropped.
struct SendWait {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    LRESULT result = 0;
};

// A message (or a call) on its way to the UI thread. It travels in the queue below, under its lock, and not
// inside the event Qt carries: Qt hands events between threads under a lock of its own that
// ThreadSanitizer cannot see, so nothing the sender wrote may ride on it.
struct Pending {
    HWND hwnd = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::shared_ptr<SendWait> waiter;
    QPointer<QObject> receiver;
    std::function<void()> call;

    void finish(LRESULT r) {
        if (!waiter) return;
        {
            std::lock_guard<std::mutex> g(waiter->lock);
            waiter->result = r;
            waiter->finished = true;
        }
        waiter->done.notify_all();
        waiter.reset();
    }
};

struct PendingQueue {
    std::mutex lock;
    std::deque<Pending> items;
};

PendingQueue& pending() {
    static PendingQueue q;
    return q;
}

// Drops every queued message and releases its sender (the UI thread's event queue is gone).
void dropPending() {
    std::deque<Pending> dropped;
    {
        std::lock_guard<std::mutex> g(pending().lock);
        dropped.swap(pending().items);
    }
    for (Pending& p : dropped) p.finish(0);
}

// One filter object on the UI thread receives one bare event per queued message, takes the
// oldest message and dispatches it to the target that is registered for the handle at that moment.
class Dispatcher : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != kBridgeEvent) return QObject::event(e);
        Pending p;
        {
            std::lock_guard<std::mutex> g(pending().lock);
            if (pending().items.empty()) return true;
            p = std::move(pending().items.front());
            pending().items.pop_front();
        }
        if (p.call) {
            if (p.receiver) p.call();
            return true;
        }
        CMessageTarget* target = nullptr;
        {
            std::lock_guard<std::mutex> g(registry().lock);
            auto it = registry().targets.find(reinterpret_cast<uintptr_t>(p.hwnd));
            if (it != registry().targets.end() && it->second.first) target = it->second.second;
        }
        p.finish(target ? target->WindowProc(p.msg, p.wParam, p.lParam) : 0);
        return true;
    }
};

Dispatcher* dispatcher() {
    static std::mutex lock;
    static QPointer<Dispatcher> d;
    std::lock_guard<std::mutex> g(lock);
    if (!d) {
        d = new Dispatcher;
        if (QCoreApplication* app = QCoreApplication::instance()) {
            d->moveToThread(app->thread());
            // The application drops its posted events when it goes; their messages go with them.
            QObject::connect(app, &QObject::destroyed, [] { dropPending(); });
        }
    }
    return d;
}

// Queues the message and posts the bare event that delivers it. Qt allocates that event itself
// (a clone), so the only data crossing threads is what the queue's lock hands over; one lock
// around both keeps the queue in the order of the events.
void post(Pending p) {
    static const QEvent wake(kBridgeEvent);
    Dispatcher* d = dispatcher();
    std::lock_guard<std::mutex> g(pending().lock);
    pending().items.push_back(std::move(p));
    QCoreApplication::postEvent(d, wake.clone());
}

CMessageTarget* lookup(HWND h) {
    std::lock_guard<std::mutex> g(registry().lock);
    auto it = registry().targets.find(reinterpret_cast<uintptr_t>(h));
    if (it == registry().targets.end() || !it->second.first) return nullptr;
    return it->second.second;
}

}  // namespace

CMessageTarget::~CMessageTarget() { UnregisterWindow(); }

HWND CMessageTarget::RegisterWindow(QObject* self) {
    if (m_hWnd) return m_hWnd;
    dispatcher();
    std::lock_guard<std::mutex> g(registry().lock);
    uintptr_t id = registry().next++;
    registry().targets[id] = {QPointer<QObject>(self), this};
    m_hWnd = reinterpret_cast<HWND>(id);
    return m_hWnd;
}

void CMessageTarget::UnregisterWindow() {
    if (!m_hWnd) return;
    std::lock_guard<std::mutex> g(registry().lock);
    registry().targets.erase(reinterpret_cast<uintptr_t>(m_hWnd));
    m_hWnd = nullptr;
}

bool IsWindow(HWND hWnd) { return hWnd && lookup(hWnd) != nullptr; }

QObject* HandleToObject(HWND hWnd) {
    std::lock_guard<std::mutex> g(registry().lock);
    auto it = registry().targets.find(reinterpret_cast<uintptr_t>(hWnd));
    return it == registry().targets.end() ? nullptr : it->second.first.data();
}

bool PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(hWnd) || !QCoreApplication::instance()) return false;
    post({hWnd, message, wParam, lParam, nullptr, {}, {}});
    return true;
}

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!QCoreApplication::instance()) return 0;
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
        CMessageTarget* t = lookup(hWnd);
        return t ? t->WindowProc(message, wParam, lParam) : 0;
    }
    if (!IsWindow(hWnd)) return 0;
    auto wait = std::make_shared<SendWait>();
    post({hWnd, message, wParam, lParam, wait, {}, {}});
    std::unique_lock<std::mutex> g(wait->lock);
    wait->done.wait(g, [&] { return wait->finished; });
    return wait->result;
}

void PostCall(QObject* receiver, std::function<void()> call) {
    if (!receiver || !QCoreApplication::instance()) return;
    Pending p;
    p.receiver = receiver;
    p.call = std::move(call);
    post(std::move(p));
}

void PumpPrivateMessages() { QCoreApplication::sendPostedEvents(dispatcher(), kBridgeEvent); }
