#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QSizeF>
#include <QString>

// The tray icon, drawn rather than loaded: the Hanja 字 with the syllable 글 set small at its
// upper right, in one colour. The same outlines make the application icon.
class TrayIconPainter {
public:
    TrayIconPainter() = delete;

    static constexpr double height = 18;
    static constexpr double largeSize = 15;
    static constexpr double smallSize = 8;
    static constexpr double gap = 0.5;

    // Noto Sans CJK KR bold at px pixels; the default font, bold, where it is not installed.
    static QFont glyphFont(double px);
    // 18 high; as wide as the two glyphs' advances and the gap, rounded up.
    static QSizeF size();
    // Both glyphs as outlines in a box of size(), origin at the top left.
    static QPainterPath glyphs();
    // The glyphs in one colour at a scale (2 for a doubled-density screen).
    static QImage image(double scale, const QColor& color = Qt::black);
    // Scales 1 and 2 in the ink given, also marked as a mask for desktops that tint one.
    static QIcon icon(const QColor& ink);

    // The application icon: the glyphs in white on a rounded square of the accent colour.
    static QImage applicationIcon(int px);
    static QString applicationIconSvg();
};
