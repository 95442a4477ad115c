#include "eventpump.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

#include "ui/msgbridge.h"

namespace {

// One round: a handler that posts again (a control's notification from its handler of the
// edit's post) is answered within the same round.
void Deliver() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        PumpPrivateMessages();
    }
}

// Between rounds the threads a test waits for get the CPU instead of a spinning pump.
void Yield() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    Deliver();
    while (t.elapsed() < ms) {
        Yield();
        Deliver();
    }
}

bool PumpUntil(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > timeoutMs) return cond();
        Deliver();
        if (!cond()) Yield();
    }
    return true;
}
