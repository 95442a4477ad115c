#include "resources/resourcetable.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QStyle>

#include <algorithm>

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
    {1244, "Camera Exposure\nHide Exposure"},
    {1245, "Camera Exposure\nExposure"},
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

// ---- Command icons: menus and toolbars of the main frame and the camera windows ----
//
// Each icon is a short drawing on a 16 x 16 grid, one row of the table below, played by one
// painter. Commands with a freedesktop name take the theme's icon when the theme has one;
// the drawing stands in otherwise, so the program looks the same with any theme.
// Steps, separated by ';' (colours "#rrggbb", "-" for none; points "x,y"):
//   R x y w h fill pen        rectangle          O x y w h fill pen    ellipse
//   D x y w h pen             dashed rectangle   P fill pen pt pt ...  polygon
//   L pen width pt pt ...     polyline           A x y w h from span pen width   arc (degrees)
//   T x y w h pen size text   bold text, centred
struct IconRow {
    int id;
    const char* themeName;  // nullptr: the program's own command
    const char* drawing;
};

#define MAGNIFIER "L #6b4e20 3 10.5,10.5 14.5,14.5;O 1.5 1.5 10 10 #eef5ff #2d5a96;"
#define FLOPPY "R 1.5 1.5 12 12 #3b6fb6 #1f3f70;R 4 1.5 7 4.5 #e8e8e8 #1f3f70;R 3.5 8 8 5.5 #ffffff #1f3f70;"
#define WB_DOTS "O 3 2.5 5 5 #e04040 -;O 8 2.5 5 5 #40b040 -;O 5.5 7.5 5 5 #4060e0 -"
#define CROSSHAIR "O 3.5 3.5 9 9 - #c03030;L #c03030 1.4 8,0.5 8,15.5;L #c03030 1.4 0.5,8 15.5,8;"
#define GEAR                                                                                         \
    "R 7 0.5 2 15 #6a7078 -;R 0.5 7 15 2 #6a7078 -;O 2.5 2.5 11 11 #9aa0a8 #4a4f55;"                   \
    "O 5.5 5.5 5 5 #ffffff #4a4f55"
#define FULLSCREEN                                                                                   \
    "R 1.5 2.5 13 11 #dfe8f5 #2d5a96;L #2d5a96 1.5 3.5,7.5 3.5,4.5 6.5,4.5;"                           \
    "L #2d5a96 1.5 12.5,8.5 12.5,11.5 9.5,11.5"
#define EYE                                                                                          \
    "P #ffffff #333333 1,8 4,4.5 8,3.5 12,4.5 15,8 12,11.5 8,12.5 4,11.5;O 5.5 5.5 5 5 #2d6cc0 #1d4c90;" \
    "O 7 7 2 2 #000000 -"

const IconRow kCommandIcons[] = {
    // Standard actions.
    {57601, "document-open", "P #e8c25a #8a6a20 1,3.5 6,3.5 7,5 14,5 14,13.5 1,13.5;P #f5d77a #8a6a20 3,7.5 15.5,7.5 14,13.5 1,13.5"},
    {57603, "document-save", FLOPPY},
    {57604, "document-save-as", FLOPPY "L #c0392b 2.2 9,14.5 15,8.5;L #f0d060 2.2 8,15.5 9,14.5"},
    {57607, "document-print",
     "R 4 1.5 8 5 #ffffff #555555;R 1.5 6 13 6 #9aa0a8 #4a4f55;R 4 9.5 8 5 #ffffff #555555;O 11.5 7.5 1.5 1.5 #3ec43e -"},
    {57609, "document-print-preview", "R 2.5 1.5 9 12 #ffffff #555555;L #9aa0a8 1 4.5,4.5 9.5,4.5;" MAGNIFIER},
    {57634, "edit-copy", "R 1.5 1.5 8 10 #ffffff #555555;R 6.5 4.5 8 10 #ffffff #555555;L #8899aa 1 8.5,8 12.5,8;L #8899aa 1 8.5,11 12.5,11"},
    {57637, "edit-paste", "R 2 2.5 10 12 #c8a064 #6b4e20;R 5 1 4 3 #d0d0d0 #555555;R 7 6 7.5 9 #ffffff #555555"},
    {57643, "edit-undo", "L #2d6cc0 2.2 13,13 13,8.5 10.5,6 5,6;P #2d6cc0 - 1,6 6,2 6,10"},
    {57644, "edit-redo", "L #2d6cc0 2.2 3,13 3,8.5 5.5,6 11,6;P #2d6cc0 - 15,6 10,2 10,10"},
    {32786, "zoom-in", MAGNIFIER "L #2d5a96 1.6 4,6.5 9,6.5;L #2d5a96 1.6 6.5,4 6.5,9"},
    {32787, "zoom-out", MAGNIFIER "L #2d5a96 1.6 4,6.5 9,6.5"},
    {32872, "view-fullscreen", FULLSCREEN},
    {57665, "application-exit", "R 2 1.5 8 13 #b07a3c #5a3a10;O 7 8 1.5 1.5 #f0d060 -;L #c0392b 2 9,8 13.5,8;P #c0392b - 15.5,8 12,4.5 12,11.5"},
    {32975, "help-contents", "O 1 1 14 14 #2d6cc0 #1d4c90;T 1 1 14 14 #ffffff 11 ?"},
    {57664, "help-about", "O 1 1 14 14 #2d6cc0 #1d4c90;T 1 1 14 14 #ffffff 11 i"},
    // The views' tools and zoom.
    {32869, nullptr,
     "L #2d5a96 1.6 8,2.5 8,13.5;L #2d5a96 1.6 2.5,8 13.5,8;P #2d5a96 - 8,0.5 5,3.5 11,3.5;P #2d5a96 - 8,15.5 5,12.5 11,12.5;"
     "P #2d5a96 - 0.5,8 3.5,5 3.5,11;P #2d5a96 - 15.5,8 12.5,5 12.5,11"},
    {32871, nullptr, "D 2.5 2.5 11 11 #222222"},
    {32916, nullptr,
     "R 3 3 10 10 - #2d5a96;R 1.5 1.5 3 3 #2d5a96 -;R 11.5 1.5 3 3 #2d5a96 -;R 1.5 11.5 3 3 #2d5a96 -;R 11.5 11.5 3 3 #2d5a96 -;"
     "R 6.5 1.5 3 3 #2d5a96 -;R 6.5 11.5 3 3 #2d5a96 -;R 1.5 6.5 3 3 #2d5a96 -;R 11.5 6.5 3 3 #2d5a96 -"},
    {32785, nullptr, MAGNIFIER "O 4 4 5 5 #ffffff -"},
    {32788, nullptr, "R 1.5 2.5 13 11 #ffffff #2d5a96;T 1 2 14 12 #2d5a96 7 1:1"},
    {32922, nullptr, "O 2 3 12 12 #ffffff #444444;R 6.5 0.5 3 2.5 #444444 -;L #c0392b 1.6 8,9 8,5.5;L #444444 1.4 8,9 11,10.5"},
    // Image commands.
    {32774, nullptr, "L #888888 1 8,1 8,15;P #2d6cc0 #1d4c90 6.5,3 6.5,13 1.5,13;P #ffffff #1d4c90 9.5,3 9.5,13 14.5,13"},
    {32775, nullptr, "L #888888 1 1,8 15,8;P #2d6cc0 #1d4c90 3,6.5 13,6.5 13,1.5;P #ffffff #1d4c90 3,9.5 13,9.5 13,14.5"},
    {32855, nullptr, "R 6.5 6.5 8 8 #ffffff #555555;A 2 2 11 10 40 140 #2d6cc0 1.8;P #2d6cc0 - 0,6.5 5,6.5 2.5,10"},
    {32856, nullptr, "R 1.5 6.5 8 8 #ffffff #555555;A 3 2 11 10 0 140 #2d6cc0 1.8;P #2d6cc0 - 16,6.5 11,6.5 13.5,10"},
    {32777, nullptr, "R 1.5 1.5 13 13 #ffffff #333333;P #333333 - 14.5,1.5 14.5,14.5 1.5,14.5"},
    {32848, nullptr, "L #333333 1.8 4,1 4,12 15,12;L #333333 1.8 1,4 12,4 12,15"},
    {32776, nullptr, "R 1.5 1.5 9 8 #cfe3ff #2d5a96;R 5.5 6.5 9 8 #cfe3ff #2d5a96"},
    {32792, nullptr, "R 1.5 1.5 13 13 #ffffff #777777;R 1.5 1.5 6.5 6.5 #cccccc -;R 8 8 6.5 6.5 #cccccc -;O 5 5 6 6 #2d6cc0 #1d4c90"},
    {32793, nullptr, "R 1.5 1.5 13 13 #ffffff #777777;R 1.5 1.5 6.5 6.5 #cccccc -;R 8 8 6.5 6.5 #cccccc -;L #c0392b 2 4,4 12,12;L #c0392b 2 12,4 4,12"},
    {1236, nullptr, "L #c0392b 2.4 3,3 13,13;L #c0392b 2.4 13,3 3,13"},
    // The camera windows.
    {1230, nullptr, "R 1.5 4.5 13 9 #5a6470 #2a3038;R 5 2.5 5 2.5 #5a6470 #2a3038;O 5 6 6 6 #bfe0ff #1a2028;O 11.5 5.5 2 1.5 #ffd040 -"},
    {1234, nullptr, "O 2.5 2.5 11 11 #e03030 #801010;O 5 4.5 3 2.5 #ff9090 -"},
    {1231, nullptr, "R 1.5 1.5 13 13 #dfe8f5 #2d5a96;R 1.5 7.5 7 7 #2d6cc0 #2d5a96"},
    {1261, nullptr, "O 1.5 1.5 13 13 #f8f8f0 #555555;" WB_DOTS},
    {32995, nullptr, "O 4 4 8 8 #ffd040 #c09010;L #c09010 1.4 8,0.5 8,2.5;L #c09010 1.4 8,13.5 8,15.5;L #c09010 1.4 0.5,8 2.5,8;L #c09010 1.4 13.5,8 15.5,8"},
    {32994, nullptr, "L #5a3a10 2 2,14 9.5,6.5;P #ffd040 #c09010 11,1 12,4 15,5 12,6 11,9 10,6 7,5 10,4"},
    {32997, nullptr, "D 1.5 1.5 13 13 #333333;" WB_DOTS},
    {32927, nullptr, "D 1.5 1.5 13 13 #333333;" WB_DOTS},
    {32998, nullptr, "O 1.5 1.5 13 13 #202020 #000000;O 5 5 6 6 #707070 -"},
    {32940, nullptr, "O 1.5 1.5 13 13 #202020 #000000;O 5 5 6 6 #707070 -"},
    {32928, nullptr,
     "O 1.5 1.5 13 13 #ffe9a0 #7a6020;P #7a6020 - 14.5,1.5 14.5,14.5 1.5,14.5;L #ffffff 1.4 9,11.5 13,11.5;"
     "L #7a6020 1.4 3,4.5 7,4.5;L #7a6020 1.4 5,2.5 5,6.5"},
    {32930, nullptr,
     "L #555555 1.4 1.5,4 14.5,4;L #555555 1.4 1.5,8 14.5,8;L #555555 1.4 1.5,12 14.5,12;R 3.5 2.5 3 3 #2d6cc0 #1d4c90;"
     "R 9.5 6.5 3 3 #2d6cc0 #1d4c90;R 6 10.5 3 3 #2d6cc0 #1d4c90"},
    {32923, nullptr, "R 1.5 1.5 5.5 5.5 #9cc4f0 #2d5a96;R 9 1.5 5.5 5.5 #a8d8a0 #2d5a96;R 1.5 9 5.5 5.5 #f0d090 #2d5a96;R 9 9 5.5 5.5 #e0a0a0 #2d5a96"},
    {32983, nullptr, "O 1.5 10 4.5 4.5 - #333333;O 10 10 4.5 4.5 - #333333;L #555555 1.6 5,10.5 12,1.5;L #555555 1.6 11,10.5 4,1.5"},
    {32984, nullptr, "R 4.5 4.5 7 7 #dfe8f5 #2d5a96;L #2d5a96 1.4 1,1 4,4;L #2d5a96 1.4 15,1 12,4;L #2d5a96 1.4 1,15 4,12;L #2d5a96 1.4 15,15 12,12"},
    {32985, nullptr, FULLSCREEN},
    {32986, nullptr, "R 1.5 2.5 13 11 #dfe8f5 #2d5a96;T 1 2 14 12 #2d5a96 7 1:1"},
    {6003, nullptr, EYE},
    {32938, nullptr, "R 1.5 1.5 13 13 #404040 #222222;P #e0e0e0 - 2,14 14,2 14,14;O 5 5 3 3 #ffd040 -"},
    {284, nullptr, CROSSHAIR},
    {33008, nullptr, CROSSHAIR},
    {33009, nullptr, CROSSHAIR "L #333333 2 2,14 14,2"},
    {32999, nullptr, GEAR},
    {33001, nullptr, GEAR},
    {33002, nullptr, GEAR},
    {33003, nullptr, "R 1.5 1.5 6 6 #2d6cc0 #1d4c90;R 8.5 1.5 6 6 #9cc4f0 #1d4c90;R 1.5 8.5 6 6 #9cc4f0 #1d4c90;R 8.5 8.5 6 6 #2d6cc0 #1d4c90"},
    {33004, nullptr, "P #2d6cc0 #1d4c90 1.5,2 14.5,2 9.5,8 9.5,14.5 6.5,13 6.5,8"},
    // The "Image" toolbar's commands.
    {32797, nullptr, "R 1.5 1.5 13 13 #ffffff #555555;L #555555 1.2 4,5 12,5;L #555555 1.2 4,8 12,8;L #555555 1.2 4,11 12,11;R 9 3.5 2.5 3 #2d6cc0 -;R 5 6.5 2.5 3 #2d6cc0 -;R 8 9.5 2.5 3 #2d6cc0 -"},
    {32779, nullptr, "R 4.5 4.5 7 7 #cfe3ff #2d5a96;A 1.5 1.5 13 13 90 270 #2d6cc0 1.6;P #2d6cc0 - 8,0 11,2 8,4"},
    {32794, nullptr, "R 1.5 6.5 8 8 #cfe3ff #2d5a96;D 1.5 1.5 13 13 #2d5a96;L #2d6cc0 1.6 9,7 14,2;P #2d6cc0 - 14.5,1.5 14.5,6 10,1.5"},
    {32778, nullptr, "R 1.5 1.5 13 13 #ffffff #333333;R 1.5 1.5 4.3 13 #222222 -;R 5.8 1.5 4.4 13 #777777 -;R 10.2 1.5 4.3 13 #cccccc -"},
    {32795, nullptr, "R 1.5 1.5 6 6 #e04040 -;R 8.5 1.5 6 6 #40b040 -;R 1.5 8.5 6 6 #4060e0 -;R 8.5 8.5 6 6 #f0d040 -;L #333333 1.8 11.5,9 11.5,15;P #333333 - 9,12 14,12 11.5,15.5"},
    {32796, nullptr, "R 1.5 1.5 6 6 #e04040 -;R 8.5 1.5 6 6 #40b040 -;R 1.5 8.5 6 6 #4060e0 -;R 8.5 8.5 6 6 #f0d040 -;L #333333 1.8 11.5,15 11.5,9;P #333333 - 9,12 14,12 11.5,8.5"},
    {32877, nullptr, "P #e8d0a0 #7a5a20 8,1.5 14.5,5 14.5,11 9,14.5 6,12 3,14 1.5,9 2,4;O 4 4 3 3 #e04040 -;O 8.5 3.5 3 3 #40b040 -;O 10.5 7.5 3 3 #4060e0 -;O 4 8 3 3 #f0d040 -"},
    // The measurement bar: its command ids plus kMeasureIconBase, apart from the camera windows' ids.
    {kMeasureIconBase + 32969, nullptr, "P #ffffff #222222 3,1 3,13 6,10 8.5,15 10.5,14 8,9 12,9"},
    {kMeasureIconBase + 32959, nullptr, "L #333333 1.4 1,12 15,12;L #333333 1.2 1,9 1,15;L #333333 1.2 15,9 15,15;L #1f6f80 1.2 5,12 5,10;L #1f6f80 1.2 8,12 8,9;L #1f6f80 1.2 11,12 11,10;T 0 0 16 8 #1f6f80 7 cal"},
    {kMeasureIconBase + 32994, nullptr, "R 1.5 1.5 13 13 #ffffff #555555;L #8899aa 1 1.5,5.5 14.5,5.5;L #8899aa 1 1.5,9.5 14.5,9.5;L #8899aa 1 6.5,1.5 6.5,14.5;R 1.5 1.5 13 4 #1f6f80 #555555"},
    {kMeasureIconBase + 32961, nullptr, "L #1f6f80 1.8 2,14 14,2;O 0.5 12.5 3 3 #ffffff #1f6f80;O 12.5 0.5 3 3 #ffffff #1f6f80"},
    {kMeasureIconBase + 32995, nullptr, "L #1f6f80 1.8 1,11 11,1;L #1f6f80 1.8 5,15 15,5"},
    {kMeasureIconBase + 32996, nullptr, "L #1f6f80 1.8 2,14 14,14;L #1f6f80 1.8 8,14 8,2;R 8 10 4 4 - #1f6f80"},
    {kMeasureIconBase + 32962, nullptr, "R 2.5 3.5 11 9 #d8f0f4 #1f6f80"},
    {kMeasureIconBase + 32966, nullptr, "O 2.5 2.5 11 11 #d8f0f4 #1f6f80;O 2 7 2 2 #1f6f80 -;O 12 7 2 2 #1f6f80 -"},
    {kMeasureIconBase + 32965, nullptr, "O 2.5 2.5 11 11 #d8f0f4 #1f6f80;O 7 1.5 2 2 #1f6f80 -;O 2 10 2 2 #1f6f80 -;O 12 10 2 2 #1f6f80 -"},
    {kMeasureIconBase + 32997, nullptr, "O 2.5 2.5 11 11 #d8f0f4 #1f6f80;L #1f6f80 1.4 3,13 13,3"},
    {kMeasureIconBase + 32998, nullptr, "O 1.5 1.5 13 13 #d8f0f4 #1f6f80;O 5 5 6 6 #ffffff #1f6f80"},
    {kMeasureIconBase + 32964, nullptr, "P #d8f0f4 #1f6f80 8,1.5 14.5,6 12,14 4,14 1.5,6"},
    {kMeasureIconBase + 32967, nullptr, "L #1f6f80 1.8 14,14 2,14 11,3;A -4 8 12 12 0 55 #1f6f80 1.2"},
    {kMeasureIconBase + 32973, nullptr, "T 0 0 16 16 #1f6f80 12 #"},
    {kMeasureIconBase + 32968, nullptr, "P #fff4b0 #8a7020 1.5,1.5 14.5,1.5 14.5,11 7,11 3,14.5 4,11 1.5,11;L #8a7020 1 4,5 12,5;L #8a7020 1 4,8 10,8"},
    {kMeasureIconBase + 32985, nullptr, "A 2 4 12 16 20 140 #1f6f80 1.8;O 0.5 8.5 3 3 #ffffff #1f6f80;O 12.5 8.5 3 3 #ffffff #1f6f80"},
    {kMeasureIconBase + 32970, nullptr, "R 3.5 4.5 9 10 #e8e8e8 #555555;R 2 2.5 12 2 #c0392b #802010;L #555555 1 6.5,6.5 6.5,12.5;L #555555 1 9.5,6.5 9.5,12.5"},
    {kMeasureIconBase + 32972, nullptr, "L #1f6f80 1.8 2,13 11,4;R 9.5 1.5 5 5 #ffd040 #8a6a20"},
    {kMeasureIconBase + 32992, nullptr, "T 0 0 16 16 #1f6f80 9 .00"},
    {kMeasureIconBase + 32971, nullptr, "R 1.5 1.5 13 13 #ffffff #555555;R 1.5 1.5 13 3.5 #d8f0f4 #555555;L #8899aa 1 1.5,8 14.5,8;L #8899aa 1 1.5,11.5 14.5,11.5;L #8899aa 1 7,1.5 7,14.5"},
};

#undef MAGNIFIER
#undef FLOPPY
#undef WB_DOTS
#undef CROSSHAIR
#undef GEAR
#undef FULLSCREEN
#undef EYE

const IconRow* FindIconRow(int id) {
    for (const IconRow& r : kCommandIcons)
        if (r.id == id) return &r;
    return nullptr;
}

// Plays one drawing of the table.
QPixmap PlayIcon(const char* drawing) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    auto colour = [](const QString& t) { return t == "-" ? QColor() : QColor(t); };
    auto brush = [&](const QString& t) { return t == "-" ? QBrush(Qt::NoBrush) : QBrush(colour(t)); };
    auto pen = [&](const QString& t, qreal w = 1) {
        return t == "-" ? QPen(Qt::NoPen) : QPen(colour(t), w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    };
    auto points = [](const QStringList& f, int from) {
        QPolygonF poly;
        for (int i = from; i < f.size(); ++i) {
            const QStringList xy = f[i].split(',');
            if (xy.size() == 2) poly << QPointF(xy[0].toDouble(), xy[1].toDouble());
        }
        return poly;
    };
    for (const QString& step : QString::fromLatin1(drawing).split(';', Qt::SkipEmptyParts)) {
        const QStringList f = step.trimmed().split(' ', Qt::SkipEmptyParts);
        if (f.isEmpty()) continue;
        const QChar op = f[0][0];
        auto num = [&f](int i) { return i < f.size() ? f[i].toDouble() : 0.0; };
        const QRectF box(num(1), num(2), num(3), num(4));
        if ((op == 'R' || op == 'O') && f.size() >= 7) {
            p.setBrush(brush(f[5]));
            p.setPen(pen(f[6]));
            if (op == 'R')
                p.drawRect(box);
            else
                p.drawEllipse(box);
        } else if (op == 'D' && f.size() >= 6) {
            p.setBrush(Qt::NoBrush);
            QPen dash = pen(f[5]);
            dash.setStyle(Qt::DashLine);
            dash.setCapStyle(Qt::FlatCap);
            dash.setDashPattern({2, 2});
            p.setPen(dash);
            p.drawRect(box);
        } else if (op == 'P' && f.size() >= 4) {
            p.setBrush(brush(f[1]));
            p.setPen(pen(f[2]));
            p.drawPolygon(points(f, 3));
        } else if (op == 'L' && f.size() >= 4) {
            p.setBrush(Qt::NoBrush);
            p.setPen(pen(f[1], num(2)));
            p.drawPolyline(points(f, 3));
        } else if (op == 'A' && f.size() >= 9) {
            p.setBrush(Qt::NoBrush);
            p.setPen(pen(f[7], num(8)));
            p.drawArc(box, static_cast<int>(num(5) * 16), static_cast<int>(num(6) * 16));
        } else if (op == 'T' && f.size() >= 8) {
            p.setPen(colour(f[5]));
            QFont font = p.font();
            font.setPixelSize(std::max(1, static_cast<int>(num(6))));
            font.setBold(true);
            p.setFont(font);
            p.drawText(box, Qt::AlignCenter, QStringList(f.mid(7)).join(' '));
        }
    }
    return pm;
}

QPixmap CommandPixmap(int id) {
    const IconRow* row = FindIconRow(id);
    return row ? PlayIcon(row->drawing) : QPixmap();
}

// Without a desktop session Qt knows no icon theme; the installed freedesktop theme serves.
void ChooseIconTheme() {
    static bool chosen = false;
    if (chosen) return;
    chosen = true;
    const QString current = QIcon::themeName();
    if (current.isEmpty() || current == QLatin1String("hicolor")) {
        for (const QString& dir : QIcon::themeSearchPaths())
            if (QFileInfo::exists(dir + QLatin1String("/Adwaita/index.theme"))) {
                QIcon::setThemeName(QStringLiteral("Adwaita"));
                break;
            }
    }
}

// ---- end of the command icons ----
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
// and scaled for the other sizes (the desktop's icon theme wants 16 to 256, and an SVG).
QPixmap programIcon(int size = 32) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    DrawProgramIcon(p);
    return pm;
}
// ---- end of the program's icon ----

// ---- end of measurement toolbar glyphs ----

}  // namespace

QPixmap ProgramIconPixmap(int size) { return programIcon(size); }

void DrawProgramIcon(QPainter& p) {
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
}

QString ResourceString(int id) {
    for (const StringRow& r : kStrings)
        if (r.id == id) return QString::fromUtf8(r.text);
    for (const StringRow& r : kControlStrings)
        if (r.id == id) return QString::fromUtf8(r.text);
    for (const StringRow& r : kWizardStrings)
        if (r.id == id) return QString::fromUtf8(r.text);
    return QString();
}

// ---- The start page's tiles: 195 the camera's "Video" entry, 210 a file that cannot be shown ----

// 200 x 180, as every tile of the start page.
QPixmap StartPageTile(int id) {
    QPixmap pm(200, 180);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (id == 195) {
        QLinearGradient bg(0, 0, 0, 180);
        bg.setColorAt(0, QColor(250, 252, 255));
        bg.setColorAt(1, QColor(205, 220, 240));
        p.fillRect(pm.rect(), bg);
        // A strip of film across the tile, its frames showing the live picture's glow.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(45, 50, 60));
        p.drawRect(QRectF(0, 38, 200, 84));
        p.setBrush(QColor(235, 235, 225));
        for (int x = 6; x < 200; x += 18) {
            p.drawRect(QRectF(x, 43, 9, 7));
            p.drawRect(QRectF(x, 110, 9, 7));
        }
        for (int i = 0; i < 3; ++i) {
            QRadialGradient glow(QPointF(38 + i * 62, 80), 28);
            glow.setColorAt(0, QColor(255, 240, 200));
            glow.setColorAt(1, QColor(120, 150, 200));
            p.setBrush(glow);
            p.drawRect(QRectF(12 + i * 62, 55, 52, 50));
        }
        // A camera in front of the strip.
        p.setPen(QPen(QColor(30, 40, 60), 2));
        p.setBrush(QColor(70, 90, 130));
        p.drawRoundedRect(QRectF(70, 64, 48, 34), 5, 5);
        p.drawPolygon(QPolygonF({QPointF(118, 74), QPointF(134, 66), QPointF(134, 96), QPointF(118, 88)}));
        p.setBrush(QColor(190, 220, 255));
        p.drawEllipse(QPointF(94, 81), 10, 10);
        p.setBrush(QColor(220, 40, 40));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(78, 71), 3, 3);
        p.setPen(QColor(40, 50, 70));
        QFont f = p.font();
        f.setPixelSize(22);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(0, 128, 200, 44), Qt::AlignCenter, QStringLiteral("Video"));
    } else {
        p.fillRect(pm.rect(), QColor(236, 236, 236));
        // A picture torn in two, and a question mark.
        const QRectF left(48, 36, 50, 80), right(104, 42, 50, 80);
        p.setPen(QPen(QColor(120, 120, 120), 2));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({left.topLeft(), QPointF(98, 36), QPointF(90, 60), QPointF(100, 84), QPointF(92, 116), left.bottomLeft()}));
        p.drawPolygon(QPolygonF({QPointF(104, 42), right.topRight(), right.bottomRight(), QPointF(98, 122), QPointF(106, 90), QPointF(96, 66)}));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 170, 220));
        p.drawEllipse(QPointF(66, 56), 8, 8);
        p.setBrush(QColor(90, 160, 90));
        p.drawPolygon(QPolygonF({QPointF(50, 114), QPointF(74, 80), QPointF(90, 104), QPointF(92, 114)}));
        p.drawPolygon(QPolygonF({QPointF(108, 120), QPointF(126, 88), QPointF(152, 120)}));
        p.setPen(QColor(200, 60, 50));
        QFont f = p.font();
        f.setPixelSize(34);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(0, 126, 200, 50), Qt::AlignCenter, QStringLiteral("?"));
    }
    p.setPen(QColor(130, 130, 130));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 199, 179));
    return pm;
}

// ---- end of the start page's tiles ----

QPixmap ResourcePixmap(int id) {
    static QHash<int, QPixmap> cache;
    auto it = cache.find(id);
    if (it != cache.end()) return it.value();
    QPixmap pm;
    switch (id) {
    case 216: pm = banner(400, 240, "Quillory", "Imaging workstation for microscope cameras"); break;
    case 209: pm = banner(120, 90, "Quillory", ""); break;
    case 195:
    case 210: pm = StartPageTile(id); break;
    case kProgramIconId: pm = programIcon(); break;
    case 57600: pm = standard(QStyle::SP_FileIcon); break;
    default:
        pm = CommandPixmap(id);
        if (pm.isNull()) pm = ControlPixmap(id);
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

QIcon ResourceCommandIcon(int id) {
    const IconRow* row = FindIconRow(id);
    const QIcon drawn = ResourceIcon(id);
    if (!row || !row->themeName) return drawn;
    ChooseIconTheme();
    const QString name = QString::fromLatin1(row->themeName);
    // A theme of symbolic icons only (Adwaita) names them with the "-symbolic" suffix.
    return QIcon::fromTheme(name, QIcon::fromTheme(name + QLatin1String("-symbolic"), drawn));
}

const char* ResourceIconThemeName(int id) {
    const IconRow* row = FindIconRow(id);
    return row ? row->themeName : nullptr;
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
