// Holds CLIPBOARD with text, HTML and a PNG picture together, as a browser's copy does, and a
// 1.5 MB blob that only travels in pieces (INCR), until it is ended. Writes each format's bytes to <dir>/<n> first so the test can compare them, then
// prints "owned" and creates <dir>/owned. Once another program takes the clipboard, it creates <dir>/lost.
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    const QDir dir(QString::fromLocal8Bit(argv[1]));

    QImage image(64, 48, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(8, 8, 40, 24, QColor(200, 40, 40, 180));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");

    QByteArray blob(1536 * 1024, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char& c : blob) { // xorshift: no two pieces alike
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }

    const QList<QPair<QString, QByteArray>> formats{
        {QStringLiteral("text/plain"), QByteArrayLiteral("before: \xec\x88\x98\xeb\x8f\x84 \xf0\x9f\x98\x80")},
        {QStringLiteral("text/html"), QByteArrayLiteral("<p><b>before</b> \xec\x88\x98\xeb\x8f\x84</p>")},
        {QStringLiteral("image/png"), png},
        {QStringLiteral("application/x-sorelwick-blob"), blob},
    };
    auto* mime = new QMimeData;
    for (int i = 0; i < formats.size(); ++i) {
        QFile f(dir.filePath(QString::number(i)));
        if (!f.open(QIODevice::WriteOnly)) return 3;
        f.write(formats[i].first.toUtf8() + '\n' + formats[i].second);
        mime->setData(formats[i].first, formats[i].second);
    }
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    // A file, for a test that cannot read this program's output.
    QFile owned(dir.filePath(QStringLiteral("owned")));
    if (!owned.open(QIODevice::WriteOnly)) return 3;
    owned.close();
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::changed, [&dir](QClipboard::Mode mode) {
        if (mode != QClipboard::Clipboard || QGuiApplication::clipboard()->ownsClipboard()) return;
        QFile lost(dir.filePath(QStringLiteral("lost")));
        if (!lost.open(QIODevice::WriteOnly)) std::fprintf(stderr, "clipboard owner: cannot write %s\n", qPrintable(lost.fileName()));
    });
    std::printf("owned\n");
    std::fflush(stdout);
    return app.exec();
}
