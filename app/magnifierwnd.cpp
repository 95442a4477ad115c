#include "app/magnifierwnd.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QWindowStateChangeEvent>

#include "app/docview.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"

CMagnifierWnd::CMagnifierWnd(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("MagnifierWnd");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kClientWidth, kClientHeight);
    m_w = width();
    m_h = height();
    m_picture = QImage(m_w, m_h, QImage::Format_RGB32);
    m_picture.fill(Qt::black);
    m_timer.setSingleShot(true);
    m_timer.setInterval(kCaptureInterval);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        update();
        m_bReady = true;
    });
    m_echoTimer.setSingleShot(true);
    m_echoTimer.setInterval(kEchoWait);
    connect(&m_echoTimer, &QTimer::timeout, this, [this] { m_nEchoes = 0; });
    UpdateCaption();
}

void CMagnifierWnd::UpdateCaption() { setWindowTitle(QString::asprintf("Magnifier-%d00%%", m_nFactor)); }

QRect CMagnifierWnd::CentreMark() const {
    return QRect(QPoint((m_w - 4) / 2, (m_h - 4) / 2), QPoint((m_w + 4) / 2 - 1, (m_h + 4) / 2 - 1));
}

QWidget* CMagnifierWnd::Source() const {
    if (m_source) return m_source();
    CMainFrame* mf = AfxGetMainFrame();
    auto* view = mf ? dynamic_cast<QAbstractScrollArea*>(mf->ActiveView()) : nullptr;
    return view ? view->viewport() : nullptr;
}

void CMagnifierWnd::SetPosition(const QPoint& p) {
    const int dx = m_w / (2 * m_nFactor), dy = m_h / (2 * m_nFactor);
    m_rcSource = QRect(QPoint(p.x() - dx, p.y() - dy), QPoint(p.x() + dx - 1, p.y() + dy - 1));
    if (!m_bReady) return;
    m_bReady = false;
    Capture();
    m_timer.start();
}

void CMagnifierWnd::Capture() {
    QWidget* w = Source();
    if (!w) return;
    // w x h pixels of the view from the source's top-left corner; what lies outside the view
    // stays black.
    QImage pic(m_w, m_h, QImage::Format_RGB32);
    pic.fill(Qt::black);
    const QRect want(m_rcSource.topLeft(), QSize(m_w, m_h));
    const QRect have = want.intersected(w->rect());
    if (!have.isEmpty()) {
        QImage grabbed = w->grab(have).toImage();
        grabbed.setDevicePixelRatio(1);
        if (grabbed.size() != have.size()) grabbed = grabbed.scaled(have.size());
        QPainter p(&pic);
        p.drawImage(have.topLeft() - want.topLeft(), grabbed);
    }
    m_picture = pic;
    m_nCaptures++;
}

void CMagnifierWnd::Paint(QPainter& p) const {
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(0, 0, m_w, m_h), m_picture, QRect(0, 0, m_w / m_nFactor, m_h / m_nFactor));
    p.fillRect(CentreMark(), QColor(255, 0, 0));
}

void CMagnifierWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint(p);
}

QImage CMagnifierWnd::Render() const {
    QImage img(m_w, m_h, QImage::Format_RGB32);
    QPainter p(&img);
    Paint(p);
    return img;
}

bool CMagnifierWnd::OnSysCommand(int command) {
    if (command != SC_MAXIMIZE && command != SC_MINIMIZE) return false;
    m_nFactor = std::clamp(m_nFactor + (command == SC_MAXIMIZE ? 1 : -1), kMinFactor, kMaxFactor);
    UpdateCaption();
    update();
    return true;
}

void CMagnifierWnd::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowStateChange) {
        // The window manager maximised or minimised the window: undo that and step the factor.
        const Qt::WindowStates now = windowState();
        const Qt::WindowStates old = static_cast<QWindowStateChangeEvent*>(e)->oldState();
        const bool maximised = (now & Qt::WindowMaximized) && !(old & Qt::WindowMaximized);
        const bool minimised = (now & Qt::WindowMinimized) && !(old & Qt::WindowMinimized);
        if (maximised || minimised) {
            // A request made through the widget reaches the platform, which may report the
            // state back later (a spontaneous event): that echo is undone as well but does not
            // step the factor again. Requests of the window manager come spontaneously and
            // leave no echo, so each of them steps, however close together they come.
            if (e->spontaneous() && m_nEchoes > 0) {
                m_nEchoes--;
            } else {
                OnSysCommand(maximised ? SC_MAXIMIZE : SC_MINIMIZE);
                if (!e->spontaneous()) {
                    m_nEchoes++;
                    // A platform that does not echo must not swallow a later request.
                    m_echoTimer.start();
                }
            }
            setWindowState(now & ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
            setFixedSize(m_w, m_h);
            if (minimised) QTimer::singleShot(0, this, [this] { showNormal(); });
        }
    }
    QWidget::changeEvent(e);
}
