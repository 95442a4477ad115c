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
    case 155: pm = standard(QStyle::SP_DialogOkButton); break;
    default: break;
    }
    cache.insert(id, pm);
    return pm;
}

QIcon ResourceIcon(int id) {
    QPixmap pm = ResourcePixmap(id);
    return pm.isNull() ? QIcon() : QIcon(pm);
}
