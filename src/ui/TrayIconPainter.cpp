#include "ui/TrayIconPainter.h"

#include "ui/UiStyle.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextStream>

#include <cmath>

namespace {

const QString kFamily = QStringLiteral("Noto Sans CJK KR");
const QString kLarge = QStringLiteral("字");
const QString kSmall = QStringLiteral("글");

// The application icon is designed on a 256 grid.
constexpr double kGrid = 256;
constexpr double kCorner = 56;
constexpr double kInk = 0.62; // share of the square the glyphs' ink may take

// The outlines scaled and centred on the 256 grid.
QPainterPath iconGlyphs()
{
    const QPainterPath path = TrayIconPainter::glyphs();
    const QRectF ink = path.boundingRect();
    const double scale = kGrid * kInk / std::max(ink.width(), ink.height());
    QTransform t;
    t.translate(kGrid / 2, kGrid / 2);
    t.scale(scale, scale);
    t.translate(-ink.center().x(), -ink.center().y());
    return t.map(path);
}

QString number(double v) { return QString::number(v, 'f', 2); }

} // namespace

QFont TrayIconPainter::glyphFont(double px)
{
    QFont font = QFontDatabase::hasFamily(kFamily) ? QFont(kFamily) : QFont();
    font.setPixelSize(int(px));
    font.setBold(true);
    return font;
}

QSizeF TrayIconPainter::size()
{
    const double w1 = QFontMetricsF(glyphFont(largeSize)).horizontalAdvance(kLarge);
    const double w2 = QFontMetricsF(glyphFont(smallSize)).horizontalAdvance(kSmall);
    return QSizeF(std::ceil(w1 + gap + w2), height);
}

QPainterPath TrayIconPainter::glyphs()
{
    const QFont large = glyphFont(largeSize);
    const QFont small = glyphFont(smallSize);
    const QFontMetricsF m1(large);
    const QFontMetricsF m2(small);
    const double h1 = m1.height();
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    // 字's line centred vertically; 글's line starting at the top edge, right after 字.
    path.addText(QPointF(0, (height - h1) / 2 + m1.ascent()), large, kLarge);
    path.addText(QPointF(m1.horizontalAdvance(kLarge) + gap, m2.ascent()), small, kSmall);
    return path;
}

QImage TrayIconPainter::image(double scale, const QColor& color)
{
    const QSizeF logical = size();
    QImage img((logical * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(scale);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(glyphs(), color);
    return img;
}

QIcon TrayIconPainter::icon(const QColor& ink)
{
    QIcon icon;
    for (double scale : {1.0, 2.0}) icon.addPixmap(QPixmap::fromImage(image(scale, ink)));
    icon.setIsMask(true);
    return icon;
}

QImage TrayIconPainter::applicationIcon(int px)
{
    QImage img(px, px, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(px / kGrid, px / kGrid);
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, kGrid, kGrid), kCorner, kCorner);
    p.fillPath(square, UiStyle::accent());
    p.fillPath(iconGlyphs(), Qt::white);
    return img;
}

QString TrayIconPainter::applicationIconSvg()
{
    // The glyphs go in as outlines, so the file draws the same without the font.
    const QPainterPath path = iconGlyphs();
    QString d;
    QTextStream out(&d);
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            out << 'M' << number(e.x) << ' ' << number(e.y);
        } else if (e.isLineTo()) {
            out << 'L' << number(e.x) << ' ' << number(e.y);
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            out << 'C' << number(e.x) << ' ' << number(e.y) << ' ' << number(c2.x) << ' ' << number(c2.y) << ' '
                << number(end.x) << ' ' << number(end.y);
            i += 2;
        }
    }
    out.flush();
    const QString accent = UiStyle::accent().name(QColor::HexRgb);
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 256 256\" width=\"256\" height=\"256\">\n"
                          "  <rect width=\"256\" height=\"256\" rx=\"%1\" fill=\"%2\"/>\n"
                          "  <path fill=\"#ffffff\" fill-rule=\"nonzero\" d=\"%3\"/>\n"
                          "</svg>\n")
        .arg(number(kCorner), accent, d);
}
