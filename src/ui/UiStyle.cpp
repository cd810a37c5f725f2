#include "ui/UiStyle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace {

// Point sizes are converted with the screen's logical DPI; pixel sizes would round 11.5 to 12.
double pointsFor(double px)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return px * 72.0 / (dpi > 0 ? dpi : 96.0);
}

} // namespace

namespace UiStyle {

QColor accent() { return QColor::fromRgbF(0.69f, 0.27f, 0.18f); }

QFont font(double px, QFont::Weight weight)
{
    QFont f = QGuiApplication::font();
    f.setFamilies({QStringLiteral("Noto Sans CJK KR"), f.family()});
    f.setPointSizeF(pointsFor(px));
    f.setWeight(weight);
    return f;
}

QLabel* label(const QString& text, double px, QFont::Weight weight, const QColor& color, QWidget* parent, bool wrap)
{
    auto* l = new QLabel(text, parent);
    l->setFont(font(px, weight));
    l->setWordWrap(wrap);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, color);
    l->setPalette(pal);
    return l;
}

QFont monoFont(double px)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setFamilies({f.family(), QStringLiteral("Noto Sans Mono CJK KR")});
    f.setPointSizeF(pointsFor(px));
    return f;
}

QColor primary(const QPalette& palette, double opacity)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(float(opacity));
    return c;
}

QColor secondary(const QPalette& palette) { return primary(palette, 0.55); }
QColor tertiary(const QPalette& palette) { return primary(palette, 0.32); }
QColor textBackground(const QPalette& palette) { return palette.color(QPalette::Base); }

} // namespace UiStyle

void UiStyle::paintOptionCard(QPainter& painter, const QRect& rect, const QPalette& palette, double radius,
                              bool selected, bool hover)
{
    const QColor accent = UiStyle::accent();
    const QRectF box = QRectF(rect).adjusted(0.75, 0.75, -0.75, -0.75);
    QPainterPath shape;
    shape.addRoundedRect(box, radius, radius);
    QColor fill = textBackground(palette);
    if (selected) {
        fill = accent;
        fill.setAlphaF(0.08f);
    } else if (hover) {
        fill = primary(palette, 0.04);
    }
    painter.fillPath(shape, fill);
    painter.setPen(QPen(selected ? accent : primary(palette, 0.08), 1.5));
    painter.drawPath(shape);
}
