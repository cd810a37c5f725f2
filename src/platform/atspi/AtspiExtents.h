#pragma once

#include <QRectF>
#include <QString>

#include <atspi/atspi.h>

#include <optional>

// Rectangles an application reports over AT-SPI, in its screen coordinates; nothing when it
// gives none.
namespace AtspiExtents {

std::optional<QRectF> range(AtspiText* text, gint start, gint end);
// A long range's rectangle from three characters' boxes: its first, its last, and the one its
// last line starts with. ATK's own range extents add up every character's box, each with a round
// trip to the display server inside the application: tens of milliseconds for a paragraph.
inline constexpr gint kLongRange = 40;
std::optional<QRectF> longRange(AtspiText* text, gint start, gint end);
// From the first character's box to the last one's, for toolkits whose range extents are off.
std::optional<QRectF> characterSpan(AtspiText* text, const QString& whole, gint first, gint last);
// The top-level window the object is in (its application's child).
std::optional<QRectF> window(AtspiAccessible* object);

} // namespace AtspiExtents
