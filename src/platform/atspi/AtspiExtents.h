#pragma once

#include <QRectF>
#include <QString>

#include <atspi/atspi.h>

#include <optional>

// Rectangles an application reports over AT-SPI, in its screen coordinates; nothing when it
// gives none.
namespace AtspiExtents {

std::optional<QRectF> range(AtspiText* text, gint start, gint end);
// From the first character's box to the last one's, for toolkits whose range extents are off.
std::optional<QRectF> characterSpan(AtspiText* text, const QString& whole, gint first, gint last);
// The top-level window the object is in (its application's child).
std::optional<QRectF> window(AtspiAccessible* object);

} // namespace AtspiExtents
