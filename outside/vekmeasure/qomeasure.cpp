#include "outside/vekmeasure/qomeasure.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QLineF>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {
int s_curSel = 0;
int s_curCode = 10;
CQoMeasure::DialogHook& Hook() {
    static CQoMeasure::DialogHook hook;
    return hook;
}

// The circle through three points as centre and a point on it; false when they are on a line.
bool CircleThrough(const QPointF& a, const QPointF& b, const QPointF& c, QPointF& centre) {
    const double d = 2 * (a.x() * (b.y() - c.y()) + b.x() * (c.y() - a.y()) + c.x() * (a.y() - b.y()));
    if (std::abs(d) < 1e-9) return false;
    const double a2 = a.x() * a.x() + a.y() * a.y(), b2 = b.x() * b.x() + b.y() * b.y(), c2 = c.x() * c.x() + c.y() * c.y();
    centre = QPointF((a2 * (b.y() - c.y()) + b2 * (c.y() - a.y()) + c2 * (a.y() - b.y())) / d,
                     (a2 * (c.x() - b.x()) + b2 * (a.x() - c.x()) + c2 * (b.x() - a.x())) / d);
    return true;
}
}  // namespace

CQoMeasure::CQoMeasure(QWidget* view) : m_pView(view) {
    m_cals.append(CQoCalibration{"Pixel", 1.0, "px"});
    m_calNames << "Pixel";
}

CQoMeasure::~CQoMeasure() = default;

void CQoMeasure::CreateCursor() {}

int CQoMeasure::MenuItemEvent(int code, CQoMeasure* m) {
    if (!m || code < 0 || code > 23) return 0;
    static const int kSel[24] = {-1, -1, 1, 2, 3, 3, 4, 5, 6, 7, 0, -1, -1, -1, -1, 8, -1, -1, 9, -1, 10, 11, 12, 13};
    m->FinishPending();
    if (code == DlgCalibrate || code == DlgCalibrateTable || code == DlgMeasureTable || code == DlgPrecision) {
        // These open a window and leave the drawing tool as it is.
        return Hook() ? Hook()(code, m) : 1;
    }
    s_curCode = code;
    if (kSel[code] >= 0) s_curSel = kSel[code];
    return 1;
}

int CQoMeasure::GetCurSelItem() { return s_curSel; }

void CQoMeasure::SetDialogHook(DialogHook hook) { Hook() = std::move(hook); }

QPointF CQoMeasure::ToImage(const QPoint& p) const { return QPointF(p) / (m_dScale > 0 ? m_dScale : 1.0); }

void CQoMeasure::FinishPending() {
    m_bThreePoint = false;
    if (!m_bPending) return;
    const int need = m_pending.type == KindPolygon ? 3 : m_pending.type == KindAngle ? 3 : 2;
    if (m_pending.points.size() >= need) m_units.append(m_pending);
    m_bPending = false;
    m_pending.points.clear();
}

void CQoMeasure::OnLButtonDown(const QPoint& p) {
    const QPointF ip = ToImage(p);
    switch (s_curSel) {
    case 0: {  // select: pick the nearest unit point for dragging
        m_nSelected = -1;
        for (int i = 0; i < m_units.size(); i++)
            for (const QPointF& q : m_units[i].points)
                if (QLineF(q, ip).length() * m_dScale < 6) m_nSelected = i;
        m_bDragging = m_nSelected >= 0;
        m_dragLast = ip;
        return;
    }
    case 3:
        if (s_curCode == 5) {  // three clicks on the circle
            if (!m_bPending) {
                m_pending = Unit{KindCircle, {ip}, {}};
                m_bPending = true;
                m_bThreePoint = true;
                return;
            }
            m_pending.points.append(ip);
            if (m_pending.points.size() == 3) {
                QPointF centre;
                if (CircleThrough(m_pending.points[0], m_pending.points[1], m_pending.points[2], centre))
                    m_units.append(Unit{KindCircle, {centre, m_pending.points[0]}, {}});
                m_bPending = false;
                m_bThreePoint = false;
                m_pending.points.clear();
            }
            return;
        }
        [[fallthrough]];
    case 1:
    case 2:
    case 11:
        m_pending = Unit{s_curSel == 1 ? KindLine : s_curSel == 2 ? KindRect : KindCircle, {ip, ip}, {}};
        m_bPending = true;
        return;
    case 4:
    case 5:
        if (!m_bPending) {
            m_pending = Unit{s_curSel == 4 ? KindPolygon : KindAngle, {ip, ip}, {}};
            m_bPending = true;
        } else {
            m_pending.points.last() = ip;
            m_pending.points.append(ip);
            if (m_pending.type == KindAngle && m_pending.points.size() > 3) {
                m_pending.points.removeLast();
                FinishPending();
            }
        }
        return;
    case 6: m_units.append(Unit{KindCount, {ip}, {}}); return;
    case 7: m_units.append(Unit{KindText, {ip}, "Text"}); return;
    case 8: {
        for (int i = m_units.size() - 1; i >= 0; i--)
            for (const QPointF& q : m_units[i].points)
                if (QLineF(q, ip).length() * m_dScale < 6) {
                    m_units.remove(i);
                    return;
                }
        return;
    }
    default: return;
    }
}

void CQoMeasure::OnMouseMove(const QPoint& p) {
    const QPointF ip = ToImage(p);
    if (m_bDragging && m_nSelected >= 0) {
        const QPointF d = ip - m_dragLast;
        for (QPointF& q : m_units[m_nSelected].points) q += d;
        m_dragLast = ip;
        return;
    }
    if (m_bPending && !m_bThreePoint && !m_pending.points.isEmpty()) m_pending.points.last() = ip;
}

void CQoMeasure::OnLButtonUp(const QPoint& p) {
    m_bDragging = false;
    if (!m_bPending) return;
    if (m_bThreePoint) return;
    if (m_pending.type == KindLine || m_pending.type == KindRect || m_pending.type == KindCircle) {
        m_pending.points.last() = ToImage(p);
        // A diameter circle is dragged from one end of the diameter to the other.
        if (s_curSel == 11 && m_pending.type == KindCircle)
            m_pending.points[0] = (m_pending.points[0] + m_pending.points[1]) / 2;
        if (QLineF(m_pending.points[0], m_pending.points[1]).length() > 0) m_units.append(m_pending);
        m_bPending = false;
        m_pending.points.clear();
    }
}

void CQoMeasure::OnLButtonDblClk(const QPoint&) {
    // A double click ends a polygon; the click before it already placed its last point.
    if (m_bPending && m_pending.type == KindPolygon) {
        if (m_pending.points.size() > 1) m_pending.points.removeLast();
        FinishPending();
    }
}

void CQoMeasure::SetScale(double scale) { m_dScale = scale > 0 ? scale : 1.0; }
void CQoMeasure::SetInfoFrmZoom(int on, double factor) { m_dLabelFactor = on ? (factor > 0 ? factor : 1.0) : 1.0; }
void CQoMeasure::ScaleLine(int show) { m_bScaleLine = show != 0; }

const QStringList* CQoMeasure::GetActiveCalibrateList() { return &m_calNames; }

void CQoMeasure::SetActiveCalibrateList(int index) {
    if (index >= 0 && index < m_cals.size()) m_nActive = index;
}

int CQoMeasure::AddCalibration(const QString& name, double unitsPerPixel, const QString& unit) {
    m_cals.append(CQoCalibration{name, unitsPerPixel > 0 ? unitsPerPixel : 1.0, unit});
    m_calNames << name;
    return m_cals.size() - 1;
}

bool CQoMeasure::RemoveCalibration(int index) {
    if (index <= 0 || index >= m_cals.size()) return false;
    m_cals.remove(index);
    m_calNames.removeAt(index);
    if (m_nActive == index) m_nActive = 0;
    else if (m_nActive > index) m_nActive--;
    return true;
}

int CQoMeasure::LastLineUnit() const {
    for (int i = m_units.size() - 1; i >= 0; i--)
        if (m_units[i].type == KindLine && m_units[i].points.size() >= 2) return i;
    return -1;
}

double CQoMeasure::LinePixels(int unit) const {
    if (unit < 0 || unit >= m_units.size() || m_units[unit].type != KindLine || m_units[unit].points.size() < 2) return 0;
    return QLineF(m_units[unit].points[0], m_units[unit].points[1]).length();
}

int CQoMeasure::CalibrateFromLine(int unit, double knownLength, const QString& unitName, const QString& name) {
    const double px = LinePixels(unit);
    if (px <= 0 || !(knownLength > 0) || !std::isfinite(knownLength)) return -1;
    const int index = AddCalibration(name.isEmpty() ? QString("%1 %2").arg(knownLength).arg(unitName) : name,
                                     knownLength / px, unitName.isEmpty() ? QString("px") : unitName);
    m_nActive = index;
    return index;
}

void CQoMeasure::TransformImage(const QTransform& t) {
    for (Unit& u : m_units)
        for (QPointF& p : u.points) p = t.map(p);
    for (QPointF& p : m_pending.points) p = t.map(p);
    m_dragLast = t.map(m_dragLast);
    // One image pixel now covers 1 / sqrt(|det|) of the old ones (an area ratio, so a resample
    // that changed the aspect a little still scales by its mean).
    const double det = std::abs(t.determinant());
    if (!(det > 0) || !std::isfinite(det)) return;
    for (int i = 1; i < m_cals.size(); i++) m_cals[i].unitsPerPixel /= std::sqrt(det);
}

void CQoMeasure::SetPrecision(int decimals) { m_nPrecision = std::clamp(decimals, 0, 6); }

double CQoMeasure::UnitLength(int i) const {
    const Unit& u = m_units[i];
    double px = 0;
    switch (u.type) {
    case KindLine:
    case KindAngle:
        for (int k = 1; k < u.points.size(); k++) px += QLineF(u.points[k - 1], u.points[k]).length();
        break;
    case KindPolygon:
        for (int k = 0; k < u.points.size(); k++) px += QLineF(u.points[k], u.points[(k + 1) % u.points.size()]).length();
        break;
    case KindRect: {
        const QPointF d = u.points[1] - u.points[0];
        px = 2 * (std::abs(d.x()) + std::abs(d.y()));
        break;
    }
    case KindCircle: px = 2 * M_PI * QLineF(u.points[0], u.points[1]).length(); break;
    default: break;
    }
    return px * Cal().unitsPerPixel;
}

double CQoMeasure::UnitArea(int i) const {
    const Unit& u = m_units[i];
    double px = 0;
    if (u.type == KindRect) {
        const QPointF d = u.points[1] - u.points[0];
        px = std::abs(d.x() * d.y());
    } else if (u.type == KindCircle) {
        const double r = QLineF(u.points[0], u.points[1]).length();
        px = M_PI * r * r;
    } else if (u.type == KindPolygon) {
        for (int k = 0; k < u.points.size(); k++) {
            const QPointF a = u.points[k], b = u.points[(k + 1) % u.points.size()];
            px += a.x() * b.y() - b.x() * a.y();
        }
        px = std::abs(px) / 2;
    }
    return px * Cal().unitsPerPixel * Cal().unitsPerPixel;
}

double CQoMeasure::UnitAngle(int i) const {
    const Unit& u = m_units[i];
    if (u.type != KindAngle || u.points.size() < 3) return 0;
    const double a = QLineF(u.points[1], u.points[0]).angleTo(QLineF(u.points[1], u.points[2]));
    return a > 180 ? 360 - a : a;
}

QString CQoMeasure::UnitLabel(int i) const {
    const Unit& u = m_units[i];
    const QString unit = Cal().unit;
    switch (u.type) {
    case KindLine: return QString("%1 %2").arg(UnitLength(i), 0, 'f', m_nPrecision).arg(unit);
    case KindRect:
    case KindCircle:
    // The square sign goes after the unit, not into the pattern: "²" is a digit to arg().
    case KindPolygon: return QString("%1 %2").arg(UnitArea(i), 0, 'f', m_nPrecision).arg(unit + QChar(0x00B2));
    case KindAngle: return QString("%1\u00B0").arg(UnitAngle(i), 0, 'f', 1);
    case KindCount: {
        int n = 0;
        for (int k = 0; k <= i; k++) n += m_units[k].type == KindCount;
        return QString::number(n);
    }
    case KindText: return u.text;
    }
    return QString();
}

void CQoMeasure::DrawAllUnit(QPainter* dc, const QPoint& offset) {
    if (!dc) return;
    dc->save();
    QFont f = dc->font();
    f.setPixelSize(std::max(6, static_cast<int>(12 * m_dLabelFactor)));
    dc->setFont(f);
    auto map = [&](const QPointF& p) { return QPointF(offset) + p * m_dScale; };
    QVector<Unit> all = m_units;
    if (m_bPending && !m_bThreePoint) all.append(m_pending);
    for (int i = 0; i < all.size(); i++) {
        const Unit& u = all[i];
        dc->setPen(QPen(QColor(255, 40, 40), std::max(1.0, m_dLabelFactor)));
        dc->setBrush(Qt::NoBrush);
        if (u.points.isEmpty()) continue;
        if ((u.type == KindLine || u.type == KindRect || u.type == KindCircle) && u.points.size() < 2) continue;
        QPointF labelAt = map(u.points.last());
        switch (u.type) {
        case KindLine: dc->drawLine(map(u.points[0]), map(u.points[1])); break;
        case KindRect: dc->drawRect(QRectF(map(u.points[0]), map(u.points[1])).normalized()); break;
        case KindCircle: {
            const double r = QLineF(u.points[0], u.points[1]).length() * m_dScale;
            dc->drawEllipse(map(u.points[0]), r, r);
            break;
        }
        case KindPolygon:
        case KindAngle: {
            QPolygonF poly;
            for (const QPointF& p : u.points) poly << map(p);
            if (u.type == KindPolygon && i < m_units.size())
                dc->drawPolygon(poly);
            else
                dc->drawPolyline(poly);
            break;
        }
        case KindCount: dc->drawEllipse(map(u.points[0]), 3, 3); break;
        case KindText: break;
        }
        if (i < m_units.size()) {
            dc->setPen(QColor(255, 255, 0));
            dc->drawText(labelAt + QPointF(4, -4), UnitLabel(i));
        }
    }
    if (m_bScaleLine && m_pView) {
        // A bar of 100 image pixels, labelled in the active calibration. The label sits below
        // the image's top edge with all of its ascent, whatever the label factor makes its size.
        const double len = 100 * m_dScale, margin = 10 * m_dLabelFactor, pen = 3 * std::max(1.0, m_dLabelFactor);
        const QFontMetricsF fm(dc->font());
        const QPointF text = QPointF(offset) + QPointF(margin, margin + fm.ascent());
        const QPointF a(text.x(), text.y() + fm.descent() + pen), b = a + QPointF(len, 0);
        dc->setPen(QPen(Qt::white, pen));
        dc->drawLine(a, b);
        dc->drawText(text, QString("%1 %2").arg(100 * Cal().unitsPerPixel, 0, 'g', 4).arg(Cal().unit));
    }
    dc->restore();
}
