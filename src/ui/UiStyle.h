#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QLabel;
class QPainter;
class QRect;
class QString;
class QWidget;

// The look shared by our windows: the accent colour, fonts by pixel size, and the text colours
// of three strengths taken from the palette, so that a dark theme gets light text.
namespace UiStyle {

// sRGB 0.69, 0.27, 0.18.
QColor accent();
// A font whose size is given in logical pixels (the sizes our layouts are measured in); Korean
// and Hanja come from Noto Sans CJK KR where it is installed.
QFont font(double px, QFont::Weight weight = QFont::Normal);
QFont monoFont(double px);
// A label in that font and colour; wrapping lines unless told not to.
QLabel* label(const QString& text, double px, QFont::Weight weight, const QColor& color, QWidget* parent,
              bool wrap = true);

// The palette's text colour at the given opacity ("primary at 0.08").
QColor primary(const QPalette& palette, double opacity = 1.0);
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
// The background of text fields and of our option rows.
QColor textBackground(const QPalette& palette);

// The rounded card behind a choice in the settings: accent-tinted and outlined when selected,
// slightly darker under the pointer.
void paintOptionCard(QPainter& painter, const QRect& rect, const QPalette& palette, double radius,
                     bool selected, bool hover);

} // namespace UiStyle
