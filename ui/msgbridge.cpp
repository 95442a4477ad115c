#include "ui/msgbridge.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <condition_variable>
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

// A sender waiting on another thread; released when the event is handled or destroyed unhandled.
struct SendWait {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    LRESULT result = 0;
};

class BridgeEvent : public QEvent {
public:
    BridgeEvent(HWND h, UINT m, WPARAM w, LPARAM l, std::shared_ptr<SendWait> wait = nullptr)
        : QEvent(kBridgeEvent), hwnd(h), msg(m), wParam(w), lParam(l), waiter(std::move(wait)) {}
    ~BridgeEvent() override { finish(0); }
    void finish(LRESULT r) {
        if (!waiter) return;
        {
            std::lock_guard<std::mutex> g(waiter->lock);
            if (waiter->finished) return;
            waiter->result = r;
            waiter->finished = true;
        }
        waiter->done.notify_all();
        waiter.reset();
    }
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    std::shared_ptr<SendWait> waiter;
};

// One filter object on the UI thread receives every bridge event and dispatches it to the
// target that is registered for the handle at that moment.
class Dispatcher : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != kBridgeEvent) return QObject::event(e);
        auto* be = static_cast<BridgeEvent*>(e);
        CMessageTarget* target = nullptr;
        {
            std::lock_guard<std::mutex> g(registry().lock);
            auto it = registry().targets.find(reinterpret_cast<uintptr_t>(be->hwnd));
            if (it != registry().targets.end() && it->second.first) target = it->second.second;
        }
        be->finish(target ? target->WindowProc(be->msg, be->wParam, be->lParam) : 0);
        return true;
    }
};

Dispatcher* dispatcher() {
    static std::mutex lock;
    static QPointer<Dispatcher> d;
    std::lock_guard<std::mutex> g(lock);
    if (!d) {
        d = new Dispatcher;
        if (QCoreApplication::instance()) {
            d->moveToThread(QCoreApplication::instance()->thread());
        }
    }
    return d;
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
    QCoreApplication::postEvent(dispatcher(), new BridgeEvent(hWnd, message, wParam, lParam));
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
    QCoreApplication::postEvent(dispatcher(), new BridgeEvent(hWnd, message, wParam, lParam, wait));
    std::unique_lock<std::mutex> g(wait->lock);
    wait->done.wait(g, [&] { return wait->finished; });
    return wait->result;
}

void PumpPrivateMessages() { QCoreApplication::sendPostedEvents(dispatcher(), kBridgeEvent); }
