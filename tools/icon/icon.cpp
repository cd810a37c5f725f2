// Writes the application icon: sorelwick_icon OUTPUT_DIR puts hicolor/NxN/apps/sorelwick.png
// (16 to 256 pixels) and hicolor/scalable/apps/sorelwick.svg under OUTPUT_DIR. The build runs it.
#include "ui/TrayIconPainter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: sorelwick_icon OUTPUT_DIR\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (int px : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = root.filePath(QStringLiteral("hicolor/%1x%1/apps").arg(px));
        const QString path = dir + QStringLiteral("/sorelwick.png");
        if (!QDir().mkpath(dir) || !TrayIconPainter::applicationIcon(px).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
        }
    }
    const QString svgDir = root.filePath(QStringLiteral("hicolor/scalable/apps"));
    QFile svg(svgDir + QStringLiteral("/sorelwick.svg"));
    if (!QDir().mkpath(svgDir) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || svg.write(TrayIconPainter::applicationIconSvg().toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        ok = false;
    }
    return ok ? 0 : 1;
}
