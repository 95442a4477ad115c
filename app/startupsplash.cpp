#include "app/startupsplash.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

#include "resources/resourcetable.h"

bool CStartupSplash::s_bEnabled = true;
QPointer<CStartupSplash> CStartupSplash::s_pSplash;

void CStartupSplash::EnableSplashScreen(bool enable) { s_bEnabled = enable; }
CStartupSplash* CStartupSplash::Current() { return s_pSplash; }

CStartupSplash::CStartupSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
}

void CStartupSplash::ShowSplashScreen(QWidget* parent) {
    if (!s_bEnabled || s_pSplash) return;
    QPixmap pm = ResourcePixmap(216);
    if (pm.isNull()) return;
    s_pSplash = new CStartupSplash(parent);
    s_pSplash->resize(pm.size());
    if (parent) s_pSplash->move(parent->geometry().center() - QPoint(pm.width() / 2, pm.height() / 2));
    s_pSplash->show();
    QTimer::singleShot(100, s_pSplash.data(), [] { HideSplashScreen(); });
}

void CStartupSplash::HideSplashScreen() {
    if (!s_pSplash) return;
    QWidget* owner = s_pSplash->parentWidget();
    // Hidden and deleted outright: a close() asked for while the frame is still being built is
    // refused by Qt, which left the splash over the program for good.
    s_pSplash->hide();
    s_pSplash->deleteLater();
    s_pSplash = nullptr;
    if (owner) owner->update();
}

void CStartupSplash::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, ResourcePixmap(216));
}

bool CStartupSplash::PreTranslateAppMessage(QEvent* e) {
    if (!s_pSplash) return false;
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::KeyPress:
        HideSplashScreen();
        return true;
    default: return false;
    }
}

bool CSplashFilter::eventFilter(QObject* o, QEvent* e) {
    if (CStartupSplash::PreTranslateAppMessage(e)) return true;
    return QObject::eventFilter(o, e);
}
