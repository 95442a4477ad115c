#include "app/histogramwnd.h"

#include <QCheckBox>
#include <QImage>
#include <QPainter>
#include <QPaintEvent>

#include <cmath>

#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "controls/buttonstyles.h"
#include "controls/iconbutton.h"
#include "controls/syscolors.h"

namespace {
const QColor kCurveColour[4] = {QColor(222, 0, 0), QColor(0, 222, 0), QColor(0, 0, 222), QColor(64, 64, 64)};
}  // namespace

CHistogramWnd::Geometry CHistogramWnd::Layout(int H, int T, const LONG* const counts[4], LONG largest, bool logScale,
                                              const bool show[4]) {
    Geometry g;
    g.gridBottom = H - 6;
    for (int x = 41; x < 265; x += 32) g.gridX.push_back(x);
    // Ten rows of the grid; a client area too low for ten whole steps keeps only the base line.
    const int d = (H - 40) / 10;
    for (int s = 0; s < H - 40; s += d) {
        g.gridY.push_back(H - s - 9);
        if (d <= 0) break;
    }
    g.frame = {QPoint(9, 38), QPoint(9, H - 9), QPoint(266, H - 9), QPoint(266, 38)};
    if (largest <= 0) return g;
    const int y0 = H - 10;
    const int h = H - T - 50;
    const double kLog = h / std::log10(static_cast<double>(largest) + 1);
    const float kLin = static_cast<float>(h) / static_cast<float>(largest);
    auto y = [&](LONG v) {
        if (logScale) return static_cast<int>(y0 - std::log10(static_cast<double>(v) + 1) * kLog);
        return static_cast<int>(static_cast<float>(y0) - static_cast<float>(v) * kLin);
    };
    for (int c = 0; c < 4; c++) {
        if (!show[c] || !counts[c]) continue;
        QVector<QPoint>& poly = g.curves[c];
        poly.reserve(256);
        for (int i = 0; i < 256; i++) poly.append(QPoint(10 + i, y(counts[c][i])));
    }
    return g;
}

LONG CHistogramWnd::Recompute(CPelidorDoc& doc) {
    PxImage* image = doc.GetDisplayImage();
    if (!image || !image->IsValid()) {
        doc.m_lHistMax = 0;
        return 0;
    }
    doc.m_lHistMax = image->Histogram(doc.m_lHistRed, doc.m_lHistGreen, doc.m_lHistBlue, doc.m_lHistGray, 0);
    return doc.m_lHistMax;
}

CHistogramWnd::CHistogramWnd(QWidget* parent) : QWidget(parent) {
    setObjectName("HistogramWnd");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(276, 60);
    resize(276, 200);
    static const char* kCaptions[4] = {"R", "G", "B", "gray"};
    for (int c = 0; c < 4; c++) {
        auto* b = new CIconButton(this, BS_AUTOCHECKBOX | BS_PUSHLIKE | BS_FLAT);
        b->setText(kCaptions[c]);
        b->SetCornerFrame(false);
        b->SetCheck(1);
        b->setGeometry(10 + 50 * c, 8, 49, 27);
        connect(b, &QPushButton::clicked, this, [this] { OnChildCommand(); });
        m_pToggle[c] = b;
    }
    m_pLog = new QCheckBox("log", this);
    m_pLog->setObjectName(QString::number(kLogCheckId));
    m_pLog->setChecked(true);
    m_pLog->setGeometry(215, 12, 55, 20);
    connect(m_pLog, &QCheckBox::clicked, this, [this] { OnChildCommand(); });
}

void CHistogramWnd::OnChildCommand() {
    for (int c = 0; c < 4; c++) m_bShow[c] = m_pToggle[c]->GetCheck() != 0;
    m_bLog = m_pLog->isChecked();
    update();
}

CPelidorDoc* CHistogramWnd::Document() const {
    if (m_source) return m_source();
    CMainFrame* mf = AfxGetMainFrame();
    return mf ? mf->ActiveDocument() : nullptr;
}

void CHistogramWnd::Paint(QPainter& p) {
    const int H = height(), T = 0;
    p.fillRect(rect(), palette().window());
    CPelidorDoc* doc = Document();
    LONG largest = doc ? doc->m_lHistMax : 0;
    if (doc && doc->GetDisplayImage() && largest == 0) largest = Recompute(*doc);
    if (doc && !doc->GetDisplayImage()) largest = 0;
    const LONG* counts[4] = {nullptr, nullptr, nullptr, nullptr};
    if (doc) {
        counts[0] = doc->m_lHistRed;
        counts[1] = doc->m_lHistGreen;
        counts[2] = doc->m_lHistBlue;
        counts[3] = doc->m_lHistGray;
    }
    const Geometry g = Layout(H, T, counts, largest, m_bLog, m_bShow);
    p.setPen(QPen(CSysColors::Color(COLOR_APPWORKSPACE), 1, Qt::DotLine));
    for (int x : g.gridX) p.drawLine(x, g.gridTop, x, g.gridBottom);
    for (int y : g.gridY) p.drawLine(8, y, 268, y);
    p.setPen(QPen(CSysColors::Color(COLOR_BTNSHADOW), 1, Qt::SolidLine));
    p.drawPolyline(g.frame.constData(), static_cast<int>(g.frame.size()));
    for (int c = 0; c < 4; c++) {
        if (g.curves[c].isEmpty()) continue;
        p.setPen(QPen(kCurveColour[c], 1));
        p.drawPolyline(g.curves[c].constData(), static_cast<int>(g.curves[c].size()));
    }
}

void CHistogramWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint(p);
}

QImage CHistogramWnd::Render() {
    QImage img(size(), QImage::Format_RGB32);
    QPainter p(&img);
    Paint(p);
    return img;
}
