#pragma once

#include <QtGlobal>

// A range of UTF-16 code units (location, length), as accessibility APIs count text positions.
struct TextRange {
    qint64 location = 0;
    qint64 length = 0;

    qint64 end() const { return location + length; }
    bool operator==(const TextRange&) const = default;
};
