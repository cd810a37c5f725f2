#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Text positions between the core (UTF-16 code units) and an application's accessibility layer,
// which counts in code points (ATK, GTK) or in UTF-16 units (Qt). Conversions are exact: a
// position past the end, or inside a surrogate pair, has no counterpart and gives nothing.
namespace TextOffsets {

enum class Unit { codePoint, utf16 };

// The UTF-16 position in text of an offset counted in unit.
std::optional<qint64> toUtf16(const QString& text, qint64 offset, Unit unit);
// The offset, counted in unit, of a UTF-16 position in text.
std::optional<qint64> fromUtf16(const QString& text, qint64 utf16, Unit unit);

// Lengths of a string as toolkits count the length argument of insert_text.
enum class LengthUnit { utf8Byte, utf16, codePoint };
qint64 length(const QString& text, LengthUnit unit);

} // namespace TextOffsets
