#include "capture/cameradisplay.h"

#include <QMetaObject>
#include <QPainter>

#include <algorithm>
#include <cstring>

CCameraDisplay::CCameraDisplay(QWidget* parent)
    : QWidget(parent), m_pWrite(new Slot), m_pSlot(new Slot), m_pFront(new Slot) {
    setObjectName(QStringLiteral("1234"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CCameraDisplay::~CCameraDisplay() = default;

void CCameraDisplay::Configure(int width, int height) {
    const size_t bytes = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0) * 3;
    std::lock_guard<std::mutex> g(m_lock);
    m_fullWidth = std::max(width, 0);
    m_fullHeight = std::max(height, 0);
    for (Slot* s : {m_pWrite.get(), m_pSlot.get(), m_pFront.get()}) {
        s->pixels.assign(bytes, 0);
        s->width = s->height = 0;
        s->sequence = 0;
    }
    m_bReady = false;
}

// Copies the source rectangle into the write buffer without the lock (only this thread
// touches it), then exchanges it with the slot; the painter takes the slot when it runs.
void CCameraDisplay::PresentFrame(const BYTE* bgr24, const RECT& source, uint64_t sequence) {
    Slot& w = *m_pWrite;
    const int sw = source.right - source.left, sh = source.bottom - source.top;
    const size_t rowBytes = static_cast<size_t>(sw) * 3;
    if (!bgr24 || sw <= 0 || sh <= 0 || rowBytes * sh > w.pixels.size())
        return;
    if (source.left < 0 || source.top < 0 || source.right > m_fullWidth || source.bottom > m_fullHeight)
        return;
    w.width = sw;
    w.height = sh;
    w.sequence = sequence;
    const size_t frameRow = static_cast<size_t>(m_fullWidth) * 3;
    for (int y = 0; y < sh; ++y) {
        // The source rectangle is top-down while the rows are stored bottom-up.
        const int storedRow = m_fullHeight - 1 - (source.top + y);
        const BYTE* src = bgr24 + storedRow * frameRow + static_cast<size_t>(source.left) * 3;
        BYTE* dst = w.pixels.data() + static_cast<size_t>(sh - 1 - y) * rowBytes;  // bottom-up too
        std::memcpy(dst, src, rowBytes);
    }
    {
        std::lock_guard<std::mutex> g(m_lock);
        std::swap(m_pWrite, m_pSlot);
        m_bReady = true;
    }
    // By name: Qt builds the queued call itself, so nothing this thread wrote rides on Qt's
    // event queue, whose lock ThreadSanitizer cannot see.
    if (!m_bUpdatePosted.exchange(true))
        QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}

void CCameraDisplay::SetCross(bool show, COLORREF colour) {
    m_bCross = show;
    m_crCross = colour;
    update();
}

// Nearest-neighbour stretch of the bottom-up frame into the widget-sized image, upright.
void CCameraDisplay::ScaleFrontInto(QImage& target) const {
    const Slot& f = *m_pFront;
    const int tw = target.width(), th = target.height();
    if (f.width <= 0 || f.height <= 0) {
        target.fill(Qt::black);
        return;
    }
    const size_t rowBytes = static_cast<size_t>(f.width) * 3;
    for (int y = 0; y < th; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * f.height / th);
        const BYTE* src = f.pixels.data() + static_cast<size_t>(f.height - 1 - sy) * rowBytes;
        auto* dst = reinterpret_cast<QRgb*>(target.scanLine(y));
        for (int x = 0; x < tw; ++x) {
            const BYTE* p = src + static_cast<size_t>(static_cast<int64_t>(x) * f.width / tw) * 3;
            dst[x] = qRgb(p[2], p[1], p[0]);
        }
    }
}

void CCameraDisplay::paintEvent(QPaintEvent*) {
    m_bUpdatePosted = false;
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_bReady) {
            std::swap(m_pSlot, m_pFront);
            m_bReady = false;
        }
    }
    if (width() <= 0 || height() <= 0)
        return;
    if (m_scaled.size() != size())
        m_scaled = QImage(size(), QImage::Format_RGB32);  // only when the window is resized
    ScaleFrontInto(m_scaled);
    QPainter p(this);
    p.drawImage(0, 0, m_scaled);
    if (m_bCross) {
        p.setPen(QColor(GetRValue(m_crCross), GetGValue(m_crCross), GetBValue(m_crCross)));
        p.drawLine(0, height() / 2, width() - 1, height() / 2);
        p.drawLine(width() / 2, 0, width() / 2, height() - 1);
    }
    if (m_pFront->width > 0) {
        m_paintedSequence = m_pFront->sequence;
        ++m_paintedFrames;
    }
}
