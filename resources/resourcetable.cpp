#include "resources/resourcetable.h"

#include <QApplication>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QStyle>

namespace {

struct StringRow {
    int id;
    const char* text;
};

// The string table. Texts are the program's own and are used exactly.
const StringRow kStrings[] = {
    {1237, "Standard"},
    {1238, "Measure"},
    {1239, "Image"},
    {1240, "Undo"},
    {1241, "Quillory_En.pdf"},
    {1257, "Quillory is running!"},
    {1258, "Start Page\xEF\xBC\x8C" "Cannot close!"},
    {1259, "Video"},
    {61459, "No Camera!"},
    {61457, "Color  Camera"},
    {61458, "Monochrome Camera"},
    {61461, "LUMOB-08 Color"},
    {61462, "LUMOB-08 CHS"},
    {1255, "Snap"},
    {1256, "Video"},
    {61446, "Resolution"},
    {61460, "Open the file of help failed!"},
    {59142, " "},
    {59143, "                            "},
    {59144, "        "},
    {59145, "                            "},
    {59137, "CAP"},
    {59138, "NUM"},
    {59139, "SCRL"},
};

// A small glyph drawn for a toolbar command: the standard style icon where one fits,
// else a letter on a tinted square.
QPixmap glyph(const QString& letters, QColor tint) {
    QPixmap pm(16, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(tint);
    p.setPen(tint.darker(150));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 14), 3, 3);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(letters.size() > 1 ? 8 : 11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 15), Qt::AlignCenter, letters);
    return pm;
}

QPixmap standard(QStyle::StandardPixmap sp) {
    QStyle* st = QApplication::style();
    return st ? st->standardIcon(sp).pixmap(16, 15) : QPixmap();
}

QPixmap banner(int w, int h, const QString& title, const QString& line) {
    QPixmap pm(w, h);
    QPainter p(&pm);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(216, 231, 252));
    g.setColorAt(1, QColor(40, 80, 150));
    p.fillRect(pm.rect(), g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(h / 5);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, w, h * 2 / 3), Qt::AlignCenter, title);
    f.setPixelSize(h / 14);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, h / 2, w, h / 3), Qt::AlignCenter, line);
    return pm;
}

// ---- Controls: slider, button and overlay bitmaps, and the camera panels' texts ----

const StringRow kControlStrings[] = {
    {1248, "Auto-Exposure"},
    {1249, "Main"},
    {1250, "Image Adjust"},
    {1251, "Parameter"},
    {61447, "Set"},
    {61448, "Update"},
    {61449, "Set time"},
    {61450, "Update time"},
};

// The colour a transparent thumb is keyed out by; it stands at pixel (0, 0) of every thumb.
const QColor kThumbKey(255, 0, 255);

// An opaque slider channel: the panel colour with a sunken groove filled by a gradient.
QPixmap SliderChannel(int w, int h, const QColor& left, const QColor& right) {
    QPixmap pm(w, h);
    pm.fill(QColor(216, 231, 252));
    QPainter p(&pm);
    const int top = h / 2 - 3, groove = 6;
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, left);
    g.setColorAt(1, right);
    p.fillRect(QRect(2, top, w - 4, groove), g);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(2, top - 1, w - 3, top - 1);
    p.drawLine(1, top - 1, 1, top + groove);
    p.setPen(Qt::white);
    p.drawLine(2, top + groove, w - 2, top + groove);
    p.drawLine(w - 2, top - 1, w - 2, top + groove);
    return pm;
}

// A thumb pointing down on the key colour, shaded from a light top to its body colour.
QPixmap SliderThumb(int w, int h, const QColor& body) {
    QPixmap pm(w, h);
    pm.fill(kThumbKey);
    QPainter p(&pm);
    const int shoulder = h * 2 / 3;
    const QPolygon shape({QPoint(1, 0), QPoint(w - 2, 0), QPoint(w - 2, shoulder), QPoint(w / 2, h - 1),
                          QPoint(1, shoulder)});
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, body.lighter(170));
    g.setColorAt(1, body);
    p.setBrush(g);
    p.setPen(body.darker(180));
    p.drawPolygon(shape);
    p.setPen(Qt::white);
    p.drawLine(2, 1, w - 3, 1);
    return pm;
}

// A padlock; open when the shackle is lifted.
QPixmap Padlock(bool locked) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 100), 2));
    p.setBrush(Qt::NoBrush);
    if (locked) {
        p.drawArc(QRectF(4, 1.5, 8, 9), 0, 180 * 16);
        p.drawLine(QPointF(4, 6), QPointF(4, 8));
        p.drawLine(QPointF(12, 6), QPointF(12, 8));
    } else {
        p.drawArc(QRectF(8, 0.5, 7, 8), 0, 180 * 16);
        p.drawLine(QPointF(15, 4.5), QPointF(15, 7));
    }
    QLinearGradient g(0, 7, 0, 15);
    g.setColorAt(0, locked ? QColor(250, 210, 80) : QColor(200, 220, 250));
    g.setColorAt(1, locked ? QColor(190, 130, 20) : QColor(100, 140, 200));
    p.setPen(QColor(80, 60, 20));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2.5, 7.5, 11, 8), 1.5, 1.5);
    p.setPen(QPen(QColor(40, 30, 10), 1.5));
    p.drawLine(QPointF(8, 10), QPointF(8, 13));
    return pm;
}

// The tick and cross of OK and Cancel, and the colour dots of "Colors..." and "Exif".
QPixmap DialogIcon(int size, int kind) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    p.scale(s, s);
    if (kind == 0) {  // cross
        p.setBrush(QColor(210, 50, 40));
        p.setPen(QColor(120, 20, 20));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
    } else if (kind == 1) {  // tick
        p.setBrush(QColor(60, 170, 60));
        p.setPen(QColor(20, 90, 20));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5)}));
    } else {  // three colour dots on a palette
        p.setBrush(QColor(235, 220, 190));
        p.setPen(QColor(130, 100, 60));
        p.drawEllipse(QRectF(1, 2, 14, 12));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(3.5, 4, 3.5, 3.5));
        p.setBrush(QColor(40, 170, 40));
        p.drawEllipse(QRectF(8, 3.5, 3.5, 3.5));
        p.setBrush(QColor(40, 70, 220));
        p.drawEllipse(QRectF(9.5, 8, 3.5, 3.5));
    }
    return pm;
}

// A quarter-turn arrow around a small picture, for the rotate buttons.
QPixmap RotateIcon(bool clockwise) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(250, 250, 240));
    p.setPen(QColor(100, 100, 100));
    p.drawRect(QRectF(10.5, 12.5, 12, 14));
    p.fillRect(QRectF(12, 19, 9, 6), QColor(90, 160, 90));
    p.setBrush(QColor(240, 200, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(17, 14.5, 3, 3));
    p.setPen(QPen(QColor(40, 90, 200), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF arc(5, 3, 22, 20);
    p.drawArc(arc, clockwise ? 150 * 16 : 30 * 16, clockwise ? -120 * 16 : 120 * 16);
    const QPointF tip = clockwise ? QPointF(25.5, 8) : QPointF(6.5, 8);
    const qreal dir = clockwise ? -1 : 1;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 90, 200));
    p.drawPolygon(QPolygonF({tip + QPointF(0, 5), tip + QPointF(dir * 4.5, 0), tip + QPointF(-dir * 4, -1)}));
    return pm;
}

// The screen overlay's OK and Cancel buttons; the highlighted ones are lighter with a bright rim.
QPixmap OverlayButton(int w, int h, bool ok, bool highlighted) {
    QPixmap pm(w, h);
    pm.fill(QColor(40, 40, 40));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base = ok ? QColor(40, 120, 50) : QColor(160, 40, 40);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, highlighted ? base.lighter(190) : base.lighter(130));
    g.setColorAt(1, highlighted ? base.lighter(120) : base.darker(130));
    p.setBrush(g);
    p.setPen(highlighted ? QPen(QColor(255, 240, 150), 1.5) : QPen(base.darker(200), 1));
    p.drawRoundedRect(QRectF(1, 1, w - 2, h - 2), 4, 4);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (ok) {
        p.drawPolyline(QPolygonF({QPointF(8, 12), QPointF(12, 16), QPointF(19, 7)}));
        QFont f = p.font();
        f.setPixelSize(12);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(22, 0, w - 24, h), Qt::AlignCenter, QStringLiteral("OK"));
    } else {
        const qreal cx = w / 2.0, cy = h / 2.0;
        p.drawLine(QPointF(cx - 5, cy - 5), QPointF(cx + 5, cy + 5));
        p.drawLine(QPointF(cx + 5, cy - 5), QPointF(cx - 5, cy + 5));
    }
    return pm;
}

QPixmap ControlPixmap(int id) {
    switch (id) {
    // Channels: 189/190 the image dialogs' and exposure page's pair; single channels for the
    // target and gain sliders and the three colour gains; 200/201 the exposure panels' pair.
    case 189: return SliderChannel(240, 17, QColor(170, 170, 180), QColor(235, 235, 240));
    case 190: return SliderChannel(240, 17, QColor(30, 70, 170), QColor(110, 160, 240));
    case 191: return SliderChannel(162, 17, QColor(20, 20, 20), QColor(250, 250, 250));
    case 193: return SliderChannel(162, 17, QColor(200, 200, 200), QColor(240, 140, 30));
    case 194: return SliderChannel(100, 17, QColor(60, 0, 0), QColor(255, 60, 60));
    case 192: return SliderChannel(100, 17, QColor(0, 60, 0), QColor(60, 220, 60));
    case 188: return SliderChannel(100, 17, QColor(0, 0, 70), QColor(70, 110, 255));
    case 200: return SliderChannel(110, 15, QColor(160, 170, 190), QColor(230, 235, 245));
    case 201: return SliderChannel(110, 15, QColor(20, 110, 60), QColor(120, 220, 140));
    // Thumbs: 186/187 for the 17-pixel channels, 202/199 for the 15-pixel ones.
    case 186: return SliderThumb(23, 11, QColor(70, 100, 160));
    case 187: return SliderThumb(23, 11, QColor(230, 120, 30));
    case 202: return SliderThumb(15, 9, QColor(70, 100, 160));
    case 199: return SliderThumb(15, 9, QColor(230, 120, 30));
    case 233: return Padlock(true);
    case 234: return Padlock(false);
    case 154: return DialogIcon(16, 0);
    case 155: return DialogIcon(16, 1);
    case 156: return DialogIcon(16, 2);
    case 214: return RotateIcon(false);
    case 215: return RotateIcon(true);
    case 261: return OverlayButton(34, 24, false, true);
    case 264: return OverlayButton(38, 24, false, false);
    case 262: return OverlayButton(57, 24, true, true);
    case 265: return OverlayButton(57, 24, true, false);
    default: return QPixmap();
    }
}

// ---- end of the controls' block ----

// ---- White balance wizard and screen overlay: step pictures 263/250/251, step texts, cursors ----

const StringRow kWizardStrings[] = {
    {61453, "Step1:Move the sample out of the view, then click the button of balance"},
    {61454, "Step2:Move the sample back , then click the button of finish"},
};

// A step picture of the white balance wizard, 260 x 200: the microscope's field of view with or
// without the sample, the slide, and an arrow for the move the step asks for.
// step 0: reference (sample in view), 1: move the sample out, 2: move it back.
QPixmap WizardStepPicture(int step) {
    QPixmap pm(260, 200);
    QLinearGradient bg(0, 0, 0, 200);
    bg.setColorAt(0, QColor(236, 243, 255));
    bg.setColorAt(1, QColor(190, 210, 240));
    QPainter p(&pm);
    p.fillRect(pm.rect(), bg);
    p.setRenderHint(QPainter::Antialiasing);
    // The eyepiece's view: a white disc in a dark rim.
    p.setPen(QPen(QColor(40, 50, 70), 6));
    p.setBrush(QColor(255, 255, 250));
    const QPointF centre(95, 100);
    p.drawEllipse(centre, 72, 72);
    // The slide under the view: in the view for steps 0 and 2, pushed to the right for step 1.
    const qreal slideX = step == 1 ? 150 : 35;
    p.setPen(QPen(QColor(90, 120, 150), 1.5));
    p.setBrush(QColor(170, 215, 235, 150));
    p.drawRoundedRect(QRectF(slideX, 78, 120, 44), 4, 4);
    // The specimen on the slide: a few stained cells.
    const QColor cells[] = {QColor(200, 50, 110), QColor(140, 40, 160), QColor(220, 110, 40)};
    const QPointF offsets[] = {{38, 16}, {60, 28}, {80, 14}};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(cells[i].darker(150), 1));
        p.setBrush(cells[i]);
        p.drawEllipse(QPointF(slideX, 78) + offsets[i], 9, 7);
        p.setBrush(cells[i].darker(170));
        p.drawEllipse(QPointF(slideX, 78) + offsets[i], 2.5, 2.5);
    }
    // The rim again over the slide, so the view stays a disc.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 50, 70), 6));
    p.drawEllipse(centre, 72, 72);
    if (step != 0) {
        // The move: out to the right (step 1) or back to the left (step 2).
        const bool out = step == 1;
        const qreal y = 168, x0 = out ? 120 : 240, x1 = out ? 240 : 120;
        const QColor arrow = out ? QColor(230, 120, 20) : QColor(30, 150, 60);
        p.setPen(QPen(arrow, 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x0, y), QPointF(x1 - (out ? 12 : -12), y));
        p.setPen(Qt::NoPen);
        p.setBrush(arrow);
        const qreal d = out ? 1 : -1;
        p.drawPolygon(QPolygonF({QPointF(x1, y), QPointF(x1 - d * 18, y - 11), QPointF(x1 - d * 18, y + 11)}));
    }
    // The step number in a badge.
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(step == 0 ? QColor(90, 90, 110) : step == 1 ? QColor(40, 90, 200) : QColor(30, 150, 60));
    p.drawEllipse(QPointF(228, 28), 20, 20);
    QFont f = p.font();
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(208, 8, 40, 40), Qt::AlignCenter, step == 0 ? QStringLiteral("R") : QString::number(step));
    return pm;
}

QPixmap WizardPixmap(int id) {
    switch (id) {
    case 263: return WizardStepPicture(0);
    case 250: return WizardStepPicture(1);
    case 251: return WizardStepPicture(2);
    default: return QPixmap();
    }
}

// ---- end of the white balance wizard's and screen overlay's block ----

// ---- The program's icon (id 128): a microscope objective over a slide, drawn at 32 x 32 ----
QPixmap programIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 32, 32);
    bg.setColorAt(0, QColor(216, 231, 252));
    bg.setColorAt(1, QColor(40, 80, 150));
    p.setPen(QColor(30, 60, 110));
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    // The objective: a barrel narrowing to its lens.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 245, 245));
    p.drawRect(QRectF(11, 5, 10, 9));
    p.drawPolygon(QPolygonF({QPointF(11, 14), QPointF(21, 14), QPointF(18, 20), QPointF(14, 20)}));
    p.setBrush(QColor(250, 200, 60));
    p.drawEllipse(QPointF(16, 21), 2.5, 1.5);
    // The slide with its specimen.
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawRect(QRectF(5, 24, 22, 3));
    p.setBrush(QColor(200, 60, 90));
    p.drawEllipse(QPointF(16, 25.5), 3, 1.2);
    return pm;
}
// ---- end of the program's icon ----

}  // namespace

QString ResourceString(int id) {
    for (const StringRow& r : kStrings)
        if (r.id == id) return QString::fromUtf8(r.text);
    for (const StringRow& r : kControlStrings)
        if (r.id == id) return QString::fromUtf8(r.text);
    for (const StringRow& r : kWizardStrings)
        if (r.id == id) return QString::fromUtf8(r.text);
    return QString();
}

QPixmap ResourcePixmap(int id) {
    static QHash<int, QPixmap> cache;
    auto it = cache.find(id);
    if (it != cache.end()) return it.value();
    QPixmap pm;
    switch (id) {
    case 216: pm = banner(400, 240, "Quillory", "Imaging workstation for microscope cameras"); break;
    case 209: pm = banner(120, 90, "Quillory", ""); break;
    case kProgramIconId: pm = programIcon(); break;
    case 57600: pm = standard(QStyle::SP_FileIcon); break;
    case 57601: pm = standard(QStyle::SP_DialogOpenButton); break;
    case 57604: pm = standard(QStyle::SP_DialogSaveButton); break;
    case 57643: pm = standard(QStyle::SP_ArrowBack); break;
    case 57644: pm = standard(QStyle::SP_ArrowForward); break;
    case 57607: pm = glyph("P", QColor(90, 90, 90)); break;
    case 32869: pm = glyph("\u2725", QColor(70, 110, 170)); break;
    case 32785: pm = glyph("M", QColor(70, 140, 90)); break;
    case 32786: pm = glyph("+", QColor(70, 110, 170)); break;
    case 32787: pm = glyph("\u2212", QColor(70, 110, 170)); break;
    case 32788: pm = glyph("1:1", QColor(70, 110, 170)); break;
    case 32922: pm = glyph("LE", QColor(150, 90, 40)); break;
    case 1236: pm = glyph("\u2715", QColor(170, 50, 50)); break;
    case 32975: pm = standard(QStyle::SP_DialogHelpButton); break;
    case 32774: pm = glyph("\u2194", QColor(120, 80, 160)); break;
    case 32775: pm = glyph("\u2195", QColor(120, 80, 160)); break;
    case 32855: pm = glyph("\u21BA", QColor(120, 80, 160)); break;
    case 32856: pm = glyph("\u21BB", QColor(120, 80, 160)); break;
    case 32777: pm = glyph("N", QColor(120, 80, 160)); break;
    case 32848: pm = glyph("C", QColor(120, 80, 160)); break;
    case 32776: pm = glyph("D", QColor(120, 80, 160)); break;
    case 32792: pm = glyph("T", QColor(120, 80, 160)); break;
    case 32793: pm = glyph("t", QColor(120, 80, 160)); break;
    case 32871: pm = glyph("S", QColor(70, 110, 170)); break;
    case 32916: pm = glyph("R", QColor(70, 110, 170)); break;
    default:
        pm = ControlPixmap(id);
        if (pm.isNull()) pm = WizardPixmap(id);
        break;
    }
    cache.insert(id, pm);
    return pm;
}

QIcon ResourceIcon(int id) {
    QPixmap pm = ResourcePixmap(id);
    return pm.isNull() ? QIcon() : QIcon(pm);
}

// The screen overlay's cursors as the shapes they stand for: 228 the window's cross, 229 moving,
// 230/231 the corner pairs, 227/232 the side pairs of the region tracker.
QCursor ResourceCursor(int id) {
    switch (id) {
    case 227: return QCursor(Qt::SizeVerCursor);
    case 228: return QCursor(Qt::CrossCursor);
    case 229: return QCursor(Qt::SizeAllCursor);
    case 230: return QCursor(Qt::SizeBDiagCursor);
    case 231: return QCursor(Qt::SizeFDiagCursor);
    case 232: return QCursor(Qt::SizeHorCursor);
    default: return QCursor(Qt::ArrowCursor);
    }
}
