#include "platform/atspi/TextOffsets.h"

namespace TextOffsets {

namespace {

qint64 codePointsIn(const QString& text, qint64 utf16End)
{
    qint64 count = 0;
    for (qint64 i = 0; i < utf16End; ++i) {
        if (!(QChar::isLowSurrogate(text.at(i).unicode()) && i > 0 && QChar::isHighSurrogate(text.at(i - 1).unicode())))
            ++count;
    }
    return count;
}

bool insideSurrogatePair(const QString& text, qint64 utf16)
{
    return utf16 > 0 && utf16 < text.size() && QChar::isHighSurrogate(text.at(utf16 - 1).unicode())
        && QChar::isLowSurrogate(text.at(utf16).unicode());
}

} // namespace

std::optional<qint64> toUtf16(const QString& text, qint64 offset, Unit unit)
{
    if (offset < 0) return std::nullopt;
    if (unit == Unit::utf16) {
        if (offset > text.size() || insideSurrogatePair(text, offset)) return std::nullopt;
        return offset;
    }
    qint64 i = 0;
    for (qint64 seen = 0; seen < offset; ++seen) {
        if (i >= text.size()) return std::nullopt;
        const bool pair = QChar::isHighSurrogate(text.at(i).unicode()) && i + 1 < text.size()
            && QChar::isLowSurrogate(text.at(i + 1).unicode());
        i += pair ? 2 : 1;
    }
    return i;
}

std::optional<qint64> fromUtf16(const QString& text, qint64 utf16, Unit unit)
{
    if (utf16 < 0 || utf16 > text.size() || insideSurrogatePair(text, utf16)) return std::nullopt;
    if (unit == Unit::utf16) return utf16;
    return codePointsIn(text, utf16);
}

qint64 length(const QString& text, LengthUnit unit)
{
    switch (unit) {
    case LengthUnit::utf8Byte: return text.toUtf8().size();
    case LengthUnit::utf16: return text.size();
    case LengthUnit::codePoint: return codePointsIn(text, text.size());
    }
    return text.size();
}

} // namespace TextOffsets
