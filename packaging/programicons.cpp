// Draws the program's icon (resource 128) for the icon theme: programicons OUT-DIR NAME SIZE...
// writes OUT-DIR/<size>x<size>/apps/NAME.png and, from the same drawing, OUT-DIR/scalable/apps/NAME.svg.
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgGenerator>

#include <cstdio>

#include "resources/resourcetable.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUT-DIR NAME SIZE...\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        const QString file = dir + '/' + name + ".png";
        if (size <= 0 || !QDir().mkpath(dir) || !ProgramIconPixmap(size).save(file, "PNG")) {
            std::fprintf(stderr, "%s: could not be written\n", qPrintable(file));
            return 1;
        }
    }
    const QString dir = outDir + "/scalable/apps";
    const QString file = dir + '/' + name + ".svg";
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "%s: could not be written\n", qPrintable(file));
        return 1;
    }
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(name);
    QPainter p;
    if (!p.begin(&svg)) {
        std::fprintf(stderr, "%s: could not be written\n", qPrintable(file));
        return 1;
    }
    p.setRenderHint(QPainter::Antialiasing);
    DrawProgramIcon(p);
    return p.end() ? 0 : 1;
}
