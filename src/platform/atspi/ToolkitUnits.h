#pragma once

#include "platform/atspi/TextOffsets.h"

#include <QString>

// How an application's toolkit counts text through AT-SPI: its offsets, and the length argument
// of insert_text. ATK-based toolkits (GTK, and those that bridge through ATK) count offsets in
// characters and insert_text's length in UTF-8 bytes; Qt counts both in UTF-16 units. A wrong
// insert length pads the text with NULs or inserts nothing.
struct ToolkitUnits {
    TextOffsets::Unit offsets = TextOffsets::Unit::codePoint;
    TextOffsets::LengthUnit insertLength = TextOffsets::LengthUnit::utf8Byte;
    // Qt's range extents keep the first line's y and take one character more; its character
    // extents are right, so a range's rectangle is built from its first and last characters.
    bool rangeFromCharacters = false;

    // From the toolkit name the application reports ("GTK", "Qt", "gtk", "Gecko", ...).
    static ToolkitUnits forToolkit(const QString& toolkitName);
    bool operator==(const ToolkitUnits&) const = default;
};
